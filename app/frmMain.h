#pragma once

#include "app/FolderTreeModel.h"
#include "viewer/BrowserLink.h"

#include <QMainWindow>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>

class QLabel;
class QPushButton;
class QSplitter;
class QToolBar;

namespace lumora
{

class FolderTree;
class ImageExplore;
class Preloader;
class Prompter;
class Skin;
class Splash;
class frmViwer;
namespace assoc
{
class ModAssoc;
}
namespace imaging
{
class ImageView;
}

// What the browser needs of the application object that owns the windows.
class WindowHost
{
public:
    virtual ~WindowHost() = default;
    virtual frmViwer *viewer() = 0;         // created on first use
    virtual frmViwer *existingViewer() = 0; // null when not loaded
    virtual void unloadViewer() = 0;
    virtual void unloadFolderChooser() = 0;
    virtual void terminate() = 0; // ends the process's event loop
    virtual bool anotherInstanceRuns() = 0;
    virtual Skin &skin() = 0;
    virtual Splash &splash() = 0;
    virtual QString programFolder() = 0;
    // Asked while the browser is being built; must already be usable then.
    virtual Prompter &prompter() = 0;
    // The places at the top of the folder tree.
    virtual QList<FolderTreeModel::Place> folderPlaces()
    {
        return FolderTreeModel::defaultPlaces();
    }
    // The file-type associations; null leaves them alone.
    virtual assoc::ModAssoc *associations() { return nullptr; }
};

// The browser window and the program's start-up form: the folder tree, the
// thumbnail grid, the preview of the current item and its buttons.
class frmMain : public QMainWindow, public BrowserLink
{
    Q_OBJECT
public:
    // Toolbar button indexes the window acts on.
    static constexpr int kToolbarZoomIn = 4;
    static constexpr int kToolbarZoomOut = 5;
    static constexpr int kToolbarWallpaper = 7;

    explicit frmMain(WindowHost &host, QWidget *parent = nullptr);
    ~frmMain() override;

    // The start-up sequence; returns false when the program is to end at once.
    bool Form_Load(const QString &commandLine);
    const QString &commandLine() const { return sCommandLine; }

    // BrowserLink
    void showBrowser() override;
    void CheckPath(const QString &s) override;
    void RefreshImages(const QString &p, const QString &pTo) override;
    void EndMe() override;

    // --- folder tree notifications
    void TV1_Click();
    void TV1_NodeClick(const QModelIndex &node);
    void TV1_SelectionChange(const QModelIndex &node);
    void TV1_DesktopClick();
    bool treeClicked() const { return bTreeClicked; }

    // --- explorer notifications
    void ImageExplore1_CurrSelectedImage(const QString &path);
    // The item-opening event: a folder (folderPath not empty) is listed here,
    // otherwise the viewer opens on list[index].
    void ImageExplore1_ItemOpened(const QStringList &list, int index, const QString &folderPath);
    // Double click or Enter on a grid item.
    void openGridItem(const QString &path, bool isFolder);

    // --- preview and buttons
    void PreviewZoomIn();
    void PreviewZoomOut();
    void ViewPreviewedImage();
    void SetPreviewAsWallpaper();
    void Toolbar_ButtonClick(int index);

    FolderTree *TV1 = nullptr;
    ImageExplore *ImageExplore1 = nullptr;
    imaging::ImageView *ImgX = nullptr;
    QSplitter *Splitter2 = nullptr;
    QSplitter *Splitter1 = nullptr;
    QWidget *container = nullptr;
    QToolBar *Toolbar = nullptr;
    QPushButton *cmdNext = nullptr;
    QPushButton *cmdPrev = nullptr;
    QPushButton *cmdZoomOut = nullptr;
    QPushButton *cmdZoomIn = nullptr;
    QPushButton *cmdWallPaper = nullptr;
    QPushButton *cmdView = nullptr;
    // The line under the panes: the listed folder, its items, the preview.
    QLabel *lblStatus = nullptr;

protected:
    void closeEvent(QCloseEvent *) override;
    void hideEvent(QHideEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildUi();
    void buildToolbar();
    void connectParts();
    void applySkinInOrder();
    void holdButtonStrip();
    void viewFromCommandLine(const QString &path);
    void CheckAssociations();
    void DeAssociateTypes();
    void listTreeFolder();
    void explore(const QString &folder);
    void updateStatus();
    void showFolder(const QString &folder);
    void openViewer(const QStringList &list, int index);
    void Form_Resize();
    void container_Resize(int w, int h);
    void placeToolbar();

    WindowHost &m_host;
    QString sCommandLine;
    bool bTreeClicked = false;
    bool m_shuttingDown = false;
    // Where the window was when the viewer took its place; it comes back there.
    QRect m_placeBeforeHide;
    QString m_listedFolder;
    // The grid's neighbours of the previewed picture, decoded ahead so that
    // stepping through a folder of large photos previews them at once.
    std::unique_ptr<Preloader> m_previewAhead;
    void previewNeighbours(const QString &path);

public:
    Preloader &previewAhead() { return *m_previewAhead; }
};

} // namespace lumora
