#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>

class QLabel;
class QPushButton;

namespace lumora
{

class Prompter;
class Skin;
namespace platform
{
class ProgramStarter;
class RegistryStore;
} // namespace platform

// The about box: name, version, what the program does, a copyright warning,
// the maker's contact line, and a button that starts System Information.
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    // Any argument may be null: no registry (System Information is then not
    // found), no prompter (no message), no skin; without a starter a real
    // process is started.
    frmAbout(platform::RegistryStore *registry, Prompter *prompter, const Skin *skin,
             QWidget *owner, platform::ProgramStarter *starter = nullptr);
    ~frmAbout() override;

    void StartSysInfo();
    // Reads one value; false (and KeyVal empty) when the key cannot be
    // opened for full access or the value cannot be read.
    bool GetKeyValue(std::uint32_t KeyRoot, const QString &KeyName, const QString &SubKeyRef,
                     QString &KeyVal);

    QLabel *SkinLabel(int n) const; // 1..5
    QLabel *picIcon() const { return m_icon; }
    QPushButton *cmdOK() const { return m_ok; }
    QPushButton *cmdSysInfo() const { return m_sysInfo; }

    static const char *const kUnavailable;

private:
    platform::RegistryStore *m_registry;
    Prompter *m_prompter;
    platform::ProgramStarter *m_starter;
    std::unique_ptr<platform::ProgramStarter> m_ownStarter;
    QLabel *m_labels[5] = {};
    QLabel *m_icon = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_sysInfo = nullptr;
};

} // namespace lumora
