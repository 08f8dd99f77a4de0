#pragma once

#include "platform/DesktopAssociations.h"
#include "platform/RegistryStore.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace lumora::platform
{
class DesktopAssociations;
}

namespace lumora::assoc
{

// The registry work behind the program's file-type associations: file-type
// classes (ProgIDs) that open files with the program, extensions pointed at
// them with their previous owners remembered, and giving extensions back.
//
// The classes root is a store of our own that no file manager reads, so when
// a desktop layer is given, every association is also made, tested and given
// back there: an extension counts as associated only when both the store and
// the desktop say so. Holds no association state of its own.
class ModAssoc
{
public:
    // `programPath`: the executable that is running, absolute. `desktop` may
    // be null (the store alone).
    ModAssoc(platform::RegistryStore &store, platform::DesktopAssociations *desktop,
             QString programPath);

    // --- registry primitives; an empty value name is the default value
    // A REG_EXPAND_SZ value comes back with its references expanded.
    QString GetRegString(std::uint32_t root, const QString &key, const QString &valueName,
                         const QString &sDefault);
    void SetRegString(std::uint32_t root, const QString &key, const QString &valueName,
                      const QString &text);
    void DeleteRegValue(std::uint32_t root, const QString &key, const QString &valueName);
    void DeleteRegKey(std::uint32_t root, const QString &key);

    // --- string helpers
    // "%NAME%" replaced by the variable's value; unknown names stay as written.
    static QString ExpandEnvString(const QString &text);
    static QString TrimAtNull(const QString &text);
    // There is no short form here: the path itself when it exists, "" when not.
    static QString GetShortPath(const QString &path);
    // The program folder, ending in '/'.
    QString GetAppFolder() const;

    // --- associations
    void RegisterProgID(const QString &ProgID, const QString &description, const QString &verb,
                        const QString &icon);
    void AssociateExtension(const QString &extension, const QString &ProgID);
    void RestoreExtension(const QString &extension, const QString &ProgID);
    // 1 when the extension belongs to the ProgID (exact, case-sensitive), else 0.
    int IsAssociated(const QString &extension, const QString &ProgID);
    void NotifyAssocChanged();

    // --- what the desktop would not take
    // Why the extension's type is not the program's on the desktop, when the
    // desktop says why; nothing when it is the program's or there is no
    // desktop layer.
    std::optional<platform::DefaultRefusal> desktopRefusal(const QString &extension);
    // The MIME type the desktop gives the extension; "" without a desktop layer.
    QString desktopMimeType(const QString &extension);
    // The user was told that the type could not be taken, and nothing about
    // it has changed since.
    bool refusalStands(const QString &extension);
    void rememberRefusal(const QString &mimeType, const QString &fingerprint);
    void forgetRefusal(const QString &mimeType);
    // Everything the program put into the user's desktop folders goes, so
    // the desktop chooses as though it had never been there.
    void releaseDesktop();

    // The open command: the quoted program path followed by " %1"; "" when
    // the program cannot be found (no command is better than one that starts
    // nothing).
    QString openCommand() const;
    const QString &programPath() const { return m_programPath; }
    platform::DesktopAssociations *desktop() const { return m_desktop; }

    static constexpr const char *kFileExtsKey =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\";
    // Where the desktop's previous default of each MIME type is kept (value
    // name: the MIME type).
    static constexpr const char *kDesktopDefaultsKey =
        "Software\\Quorvane\\Lumora\\Desktop Defaults";
    // Types whose default the desktop would not give the program, each with
    // the fingerprint of the file that decided (value name: the MIME type).
    static constexpr const char *kRefusedDefaultsKey =
        "Software\\Quorvane\\Lumora\\Refused Defaults";

private:
    int storeAssociated(const QString &extension, const QString &ProgID);
    QString programIcon() const;

    platform::RegistryStore &m_store;
    platform::DesktopAssociations *m_desktop;
    QString m_programPath;
};

} // namespace lumora::assoc
