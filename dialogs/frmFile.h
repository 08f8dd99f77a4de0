#pragma once

#include <QDialog>
#include <QString>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace lumora
{

class Skin;

// The folder chooser of Copy To and Move To. One instance serves the whole
// run and is only hidden after a use, so the destination typed or picked
// last time is offered again.
class frmFile : public QDialog
{
    Q_OBJECT
public:
    static inline const QString kInitialCaption =
        QStringLiteral("Caption will be set at run time!!");

    explicit frmFile(const Skin *skin = nullptr, QWidget *parent = nullptr);
    ~frmFile() override;

    // Shows the chooser for operation 1 ("Copy To") or 4 ("Move To") with the
    // source shown; the chosen folder, or "" when the user cancelled.
    QString ShowFileForm(int opType, const QString &sSource);

    // --- the tree's notices
    void FolderTree_DesktopClick();
    void FolderTree_FolderClick(const QString &folderPath);

    // --- buttons
    void cmdOK_Click();
    void cmdCancel_Click();

    // The Desktop folder the tree's root stands for ("" when there is none).
    QString desktopPath() const { return m_desktop; }
    QTreeWidgetItem *desktopItem() const { return m_root; }
    // Reads the sub-folders of an item of the tree (once).
    void expandItem(QTreeWidgetItem *item);
    void revealFolder(const QString &folder);

    // Tests replace the modal run; the default shows the window modally.
    std::function<void(frmFile &)> runModal;

    QLabel *Label1 = nullptr;
    QLineEdit *txtSource = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtDestination = nullptr;
    QTreeWidget *FolderTree = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildUi();
    void buildTree();
    void onCurrentItemChanged(QTreeWidgetItem *item);

    const Skin *m_skin;
    QString m_desktop;
    QTreeWidgetItem *m_root = nullptr;
    bool m_cancel = false;
};

} // namespace lumora
