// The browser's behaviour: folder tree, preview, buttons and the way to and
// from the viewer.
#include "app/frmMain.h"

#include "app/BrowserPreview.h"
#include "app/FolderTree.h"
#include "app/StartupHelpers.h"
#include "explorer/ExploreModel.h"
#include "explorer/ImageExplore.h"
#include "imaging/ImageView.h"
#include "imaging/Twips.h"
#include "viewer/Preloader.h"
#include "viewer/TypeRule.h"
#include "viewer/frmViwer.h"
#include "viewer/modMain.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>

namespace lumora
{

namespace
{

// A folder path with exactly one trailing '/', as the tree gives its paths.
QString withSlash(const QString &folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

} // namespace

void frmMain::connectParts()
{
    connect(TV1, &FolderTree::Click, this, &frmMain::TV1_Click);
    connect(TV1, &FolderTree::NodeClick, this, &frmMain::TV1_NodeClick);
    connect(TV1, &FolderTree::SelectionChange, this, &frmMain::TV1_SelectionChange);
    connect(TV1, &FolderTree::DesktopClick, this, &frmMain::TV1_DesktopClick);
    // The expand arrow is part of the tree too: after it, keyboard moves list.
    connect(TV1, &FolderTree::ArrowClick, this, [this] { bTreeClicked = true; });

    connect(ImageExplore1, &ImageExplore::CurrSelectedImage, this,
            &frmMain::ImageExplore1_CurrSelectedImage);
    connect(ImageExplore1, &ImageExplore::ItemOpened, this, &frmMain::openGridItem);
    connect(ImageExplore1, &ImageExplore::listingYield, this, [this] { updateStatus(); });
    connect(ImageExplore1, &ImageExplore::itemRemoved, this, &frmMain::updateStatus);

    connect(ImgX, &imaging::ImageView::doubleClicked, this, &frmMain::ViewPreviewedImage);
    connect(ImgX, &imaging::ImageView::viewChanged, this, &frmMain::updateStatus);

    connect(cmdNext, &QPushButton::clicked, ImageExplore1, &ImageExplore::NextItem);
    connect(cmdPrev, &QPushButton::clicked, ImageExplore1, &ImageExplore::PrevItem);
    connect(cmdZoomIn, &QPushButton::clicked, this, &frmMain::PreviewZoomIn);
    connect(cmdZoomOut, &QPushButton::clicked, this, &frmMain::PreviewZoomOut);
    connect(cmdWallPaper, &QPushButton::clicked, this, &frmMain::SetPreviewAsWallpaper);
    connect(cmdView, &QPushButton::clicked, this, &frmMain::ViewPreviewedImage);

    // The keyboard reaches the toolbar's zoom buttons by their indexes.
    auto *zoomIn = new QShortcut(QKeySequence::ZoomIn, this);
    connect(zoomIn, &QShortcut::activated, this, [this] { Toolbar_ButtonClick(kToolbarZoomIn); });
    auto *zoomInAlt = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Equal), this);
    connect(zoomInAlt, &QShortcut::activated, this,
            [this] { Toolbar_ButtonClick(kToolbarZoomIn); });
    auto *zoomOut = new QShortcut(QKeySequence::ZoomOut, this);
    connect(zoomOut, &QShortcut::activated, this, [this] { Toolbar_ButtonClick(kToolbarZoomOut); });
}

// --------------------------------------------------------------- the tree

void frmMain::listTreeFolder()
{
    const QString path = TV1->currentPath();
    if (path.isEmpty())
        return;
    // Walking the tree with the keyboard lists each folder and stays in the
    // tree; the grid takes the focus on a click or Tab.
    if (TV1->hasFocus()) {
        ImageExplore::FocusStays stays(*ImageExplore1);
        explore(path);
        return;
    }
    explore(path);
}

void frmMain::explore(const QString &folder)
{
    m_listedFolder = folder;
    QPointer<frmMain> alive(this);
    ImageExplore1->ExplorePath(folder);
    if (alive)
        updateStatus();
}

void frmMain::updateStatus()
{
    if (m_listedFolder.isEmpty()) {
        lblStatus->clear();
        return;
    }
    QString text = QDir::toNativeSeparators(m_listedFolder);
    // Counts only once the grid holds this folder's entries, never the ones
    // of the folder listed before.
    if (!ImageExplore1->holdsShownFolder() ||
        ImageExplore1->shownFolder() != withSlash(m_listedFolder)) {
        lblStatus->setText(text);
        return;
    }
    const int folders = ImageExplore1->folderItemCount();
    const int images = ImageExplore1->itemCount() - folders;
    text += QStringLiteral("    %1 %2, %3 %4")
                .arg(folders)
                .arg(folders == 1 ? QStringLiteral("folder") : QStringLiteral("folders"))
                .arg(images)
                .arg(images == 1 ? QStringLiteral("image") : QStringLiteral("images"));
    const imaging::ImageDocument *doc = ImgX->document();
    if (!doc->isEmpty()) {
        const QSize px(doc->ImageWidth(), doc->ImageHeight());
        // Both modes draw the picture at the zoom (a new preview starts at its fit).
        const double shown = ImgX->Zoom();
        text += QStringLiteral("    %1  %2 \u00d7 %3  at %4 %")
                    .arg(doc->ImageFileName())
                    .arg(px.width())
                    .arg(px.height())
                    .arg(qRound(shown * 100));
    }
    lblStatus->setText(text);
}

void frmMain::TV1_Click()
{
    if (TV1->currentPath().isEmpty())
        return;
    bTreeClicked = true;
    listTreeFolder();
}

void frmMain::TV1_NodeClick(const QModelIndex &)
{
    listTreeFolder();
}

void frmMain::TV1_SelectionChange(const QModelIndex &)
{
    // The tree's own selection at start-up lists nothing; once the user has
    // clicked it, moving with the keyboard lists each folder.
    if (bTreeClicked)
        listTreeFolder();
}

void frmMain::TV1_DesktopClick()
{
    const QString desktop = GetSpecialFolderPath(0);
    if (!desktop.isEmpty())
        explore(desktop);
}

void frmMain::showFolder(const QString &folder)
{
    // A folder the tree cannot show (a hidden one, say) is still listed.
    if (TV1->setCurrentPath(folder))
        explore(TV1->currentPath());
    else
        explore(withSlash(folder));
}

void frmMain::CheckPath(const QString &s)
{
    const QString folder = GetParentFolderName(s);
    if (folder.isEmpty())
        return;
    // Same folder: leave the grid and its current item as they are.
    if (withSlash(folder) == TV1->currentPath())
        return;
    QPointer<frmMain> alive(this);
    showFolder(folder);
    if (!alive)
        return;
    ImageExplore1->SetSelectedFocus(s);
    // The listing previewed its first item; show the one now current.
    if (ImageExplore1->FindItem(s) > 0)
        ImageExplore1_CurrSelectedImage(s);
}

void frmMain::RefreshImages(const QString &p, const QString &pTo)
{
    ImageExplore1->UpdateAfterOperation(p, pTo);
    updateStatus();
}

// ------------------------------------------------------------- the preview

void frmMain::ImageExplore1_CurrSelectedImage(const QString &path)
{
    imaging::ImageDocument *doc = ImgX->document();
    if (path.isEmpty() || QFileInfo(path).isDir()) {
        doc->ResetImages();
        updateStatus();
        return;
    }
    // Icons, cursors and DIBs come through the picture loader, the rest by path.
    Result<> r;
    std::optional<Preloaded> ready;
    if (!takesPictureRoute(path))
        ready = m_previewAhead->take(path);
    if (ready) {
        imaging::DecodedImage &d = ready->decoded;
        doc->adopt(std::move(d), path);
        ImgX->setProxy(ready->proxy);
    } else {
        r = loadByTypeRule(*doc, path);
    }
    previewNeighbours(path);
    ImgX->setDisplayMode(imaging::DisplayMode::Preview);
    if (!r.ok() || doc->isEmpty()) {
        doc->ResetImages(); // nothing is reported: the preview stays empty
        updateStatus();
        return;
    }
    // Zoom steps start from the scale the picture is shown at.
    ImgX->setZoom(
        BrowserPreview::shownScale(QSize(doc->ImageWidth(), doc->ImageHeight()), ImgX->size()));
    updateStatus();
}

void frmMain::previewNeighbours(const QString &path)
{
    const int position = ImageExplore1->FindItem(path);
    QStringList wanted;
    for (int p : {position + 1, position - 1}) {
        if (position < 1 || p < 1 || p > ImageExplore1->itemCount())
            continue;
        const QString next = ImageExplore1->itemPath(p);
        if (!next.isEmpty() && !takesPictureRoute(next) && QFileInfo(next).isFile())
            wanted << next;
    }
    m_previewAhead->keep(wanted);
}

void frmMain::PreviewZoomIn()
{
    imaging::ImageDocument *doc = ImgX->document();
    if (doc->isEmpty())
        return;
    const Twips tw = Twips::forScreen();
    const auto step = BrowserPreview::zoomIn(
        ImgX->Zoom(), QSize(doc->ImageWidth(), doc->ImageHeight()),
        QSizeF(tw.fromPixelsX(ImgX->width()), tw.fromPixelsY(ImgX->height())), tw);
    if (!step)
        return;
    ImgX->setDisplayMode(step->displayMode);
    ImgX->setZoom(step->zoom);
    updateStatus();
}

void frmMain::PreviewZoomOut()
{
    imaging::ImageDocument *doc = ImgX->document();
    if (doc->isEmpty())
        return;
    const Twips tw = Twips::forScreen();
    const auto step = BrowserPreview::zoomOut(
        ImgX->Zoom(), QSize(doc->ImageWidth(), doc->ImageHeight()),
        QSizeF(tw.fromPixelsX(ImgX->width()), tw.fromPixelsY(ImgX->height())), tw);
    if (!step)
        return;
    ImgX->setDisplayMode(step->displayMode);
    ImgX->setZoom(step->zoom);
    updateStatus();
}

void frmMain::SetPreviewAsWallpaper()
{
    SetAsWallpaper(*ImgX->document(), m_host.prompter(), this);
}

void frmMain::Toolbar_ButtonClick(int index)
{
    switch (index) {
    case kToolbarZoomIn:
        PreviewZoomIn();
        break;
    case kToolbarZoomOut:
        PreviewZoomOut();
        break;
    case kToolbarWallpaper:
        SetPreviewAsWallpaper();
        break;
    default:
        break;
    }
}

// ------------------------------------------------------------- the viewer

void frmMain::openViewer(const QStringList &list, int index)
{
    frmViwer *viewer = m_host.viewer();
    if (!viewer)
        return;
    hide();
    m_previewAhead->keep({}); // the viewer reads ahead for itself
    viewer->ImgX->setZoom(1.0);
    // Opened from the browser, closing the viewer comes back here.
    viewer->bCommand = false;
    viewer->ViewImage(list, index);
}

void frmMain::ViewPreviewedImage()
{
    const QString path = ImgX->document()->ImageFilePath();
    if (path.isEmpty() || ImgX->document()->isEmpty())
        return;
    openViewer({path}, 0);
}

void frmMain::ImageExplore1_ItemOpened(const QStringList &list, int index,
                                       const QString &folderPath)
{
    if (!folderPath.isEmpty()) {
        showFolder(folderPath);
        return;
    }
    if (index >= 0 && index < list.size() && !list.at(index).isEmpty())
        openViewer(list, index);
    else
        ImgX->document()->ResetImages();
}

void frmMain::openGridItem(const QString &path, bool isFolder)
{
    if (isFolder) {
        ImageExplore1_ItemOpened({}, 0, path);
        return;
    }
    // The folder's images in grid order, so the viewer's next and previous
    // walk the grid.
    QString folder = GetParentFolderName(path);
    QStringList list = ImageExplore1->GetImageList(folder, QStringLiteral("*.*"));
    int index = int(list.indexOf(path));
    if (index < 0) {
        // Not a listed image after all (renamed meanwhile, say): just that one.
        list = QStringList{path};
        index = 0;
    }
    ImageExplore1_ItemOpened(list, index, QString());
}

} // namespace lumora
