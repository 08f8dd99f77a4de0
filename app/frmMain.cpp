#include "app/frmMain.h"

#include "viewer/Preloader.h"

#include "app/BrowserLayout.h"
#include "app/FolderTree.h"
#include "app/KeyboardSplitter.h"
#include "app/NamedFile.h"
#include "app/Splash.h"
#include "app/StartupHelpers.h"
#include "assoc/AssocWorkflow.h"
#include "dialogs/Skin.h"
#include "explorer/ExtensionFilter.h"
#include "explorer/ImageExplore.h"
#include "imaging/ImageView.h"
#include "imaging/Twips.h"
#include "viewer/AnimationPlayer.h"
#include "viewer/frmViwer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QToolBar>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace lumora
{

namespace
{

constexpr int kTreeWidth = 260;
constexpr int kPreviewHeight = 300;
constexpr QSize kDefaultSize(1200, 800);
// Grid, preview and button strip each keep a useful part of the window.
constexpr int kSmallestUsableHeight = 420;

} // namespace

frmMain::frmMain(WindowHost &host, QWidget *parent)
    : QMainWindow(parent), m_host(host), m_previewAhead(std::make_unique<Preloader>())
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Lumora"));
    buildUi();
    connectParts();
}

frmMain::~frmMain() = default;

void frmMain::buildUi()
{
    // The outer splitter is placed by the window's own resize rule, so the
    // central widget has no layout.
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));
    setCentralWidget(central);

    Splitter2 = new KeyboardSplitter(Qt::Horizontal, central);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setChildrenCollapsible(false);

    TV1 = new FolderTree(m_host.folderPlaces(), Splitter2);
    TV1->setObjectName(QStringLiteral("TV1"));
    TV1->setMinimumWidth(120);

    // The right-hand area: grid over preview, the button strip under them.
    // Its children are placed by the container's resize rule.
    container = new QWidget(Splitter2);
    container->setObjectName(QStringLiteral("container"));
    container->installEventFilter(this);

    Splitter1 = new KeyboardSplitter(Qt::Vertical, container);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);

    ImageExplore1 = new ImageExplore(m_host.prompter(), Splitter1);
    ImageExplore1->setObjectName(QStringLiteral("ImageExplore1"));

    ImgX = new imaging::ImageView(Splitter1);
    ImgX->setObjectName(QStringLiteral("ImgX"));
    ImgX->setDisplayMode(imaging::DisplayMode::Preview);
    // The preview plays an animation too (held by any open dialog).
    new AnimationPlayer(*ImgX->document(), *ImgX);
    ImgX->setAcceptDrops(false);
    ImgX->setMinimumHeight(80);
    ImgX->installEventFilter(this);

    Toolbar = new QToolBar(container);
    Toolbar->setObjectName(QStringLiteral("Toolbar"));
    Toolbar->setMovable(false);
    Toolbar->setFloatable(false);
    buildToolbar();

    lblStatus = new QLabel(central);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblStatus->setStyleSheet(QStringLiteral("color: #a3a7ad; padding-left: 4px;"));

    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);

    // A comfortable first size, smaller on small screens.
    QSize size = kDefaultSize;
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 0.9);
    holdButtonStrip();
    resize(size);
    Splitter2->setSizes({kTreeWidth, std::max(200, size.width() - kTreeWidth)});
    Splitter1->setSizes({std::max(120, size.height() - kPreviewHeight - 120), kPreviewHeight});
}

void frmMain::buildToolbar()
{
    auto make = [this](QPushButton *&button, const char *name, const QString &caption) {
        button = new QPushButton(caption, Toolbar);
        button->setObjectName(QLatin1String(name));
        button->setFocusPolicy(Qt::TabFocus);
        button->setAutoDefault(false);
    };
    make(cmdPrev, "cmdPrev", QStringLiteral("Previous"));
    make(cmdNext, "cmdNext", QStringLiteral("Next"));
    make(cmdZoomIn, "cmdZoomIn", QStringLiteral("Zoom In"));
    make(cmdZoomOut, "cmdZoomOut", QStringLiteral("Zoom Out"));
    make(cmdWallPaper, "cmdWallPaper", QStringLiteral("Set as wallpaper"));
    make(cmdView, "cmdView", QStringLiteral("View Image"));
    cmdPrev->setToolTip(QStringLiteral("Previous item"));
    cmdNext->setToolTip(QStringLiteral("Next item"));
    cmdZoomIn->setToolTip(QStringLiteral("Zoom the preview in (Ctrl++)"));
    cmdZoomOut->setToolTip(QStringLiteral("Zoom the preview out (Ctrl+-)"));
    cmdWallPaper->setToolTip(QStringLiteral("Make the previewed picture the desktop wallpaper"));
    cmdView->setToolTip(QStringLiteral("Open the previewed picture in the viewer"));

    // Positions 1..8: the toolbar button notification counts them this way,
    // so the zoom buttons are 4 and 5 and the wallpaper button is 7.
    auto gap = [this] {
        auto *g = new QWidget(Toolbar);
        g->setFixedWidth(12);
        Toolbar->addWidget(g);
    };
    Toolbar->addWidget(cmdPrev);
    Toolbar->addWidget(cmdNext);
    gap();
    Toolbar->addWidget(cmdZoomIn);
    Toolbar->addWidget(cmdZoomOut);
    gap();
    Toolbar->addWidget(cmdWallPaper);
    Toolbar->addWidget(cmdView);
}

void frmMain::applySkinInOrder()
{
    Skin &skin = m_host.skin();
    skin.ApplySkinByName(Toolbar, QStringLiteral("Toolbar"));
    skin.ApplySkin(this);
    skin.ApplySkinByName(Toolbar, QStringLiteral("Toolbar"));
    skin.ApplySkinByName(TV1, QStringLiteral("Splitter"));
    skin.ApplySkinByName(Splitter2, QStringLiteral("Splitter"));
    skin.ApplySkinByName(Splitter1, QStringLiteral("Splitter"));
    skin.ApplySkinByName(container, QStringLiteral("Splitter"));
    // The skin's padding and fonts widen the buttons: measure again.
    holdButtonStrip();
}

void frmMain::holdButtonStrip()
{
    // The right pane never gets narrower than its button strip, so dragging
    // the outer splitter neither collapses it nor hides "Set as wallpaper" and
    // "View Image" behind the strip's overflow.
    Toolbar->ensurePolished();
    for (QWidget *w : Toolbar->findChildren<QWidget *>())
        w->ensurePolished();
    Toolbar->updateGeometry();
    const Twips tw = Twips::forScreen();
    container->setMinimumWidth(
        std::max(ImageExplore1->minimumWidth(),
                 Toolbar->sizeHint().width() + tw.toPixelsX(BrowserLayout::kSplitter1WidthInset)));
    // Nor can the window be made so small that the tree, the strip or the
    // preview is cut off.
    const int width = TV1->minimumWidth() + Splitter2->handleWidth() + container->minimumWidth() +
                      tw.toPixelsX(BrowserLayout::kSplitter2WidthInset);
    const int height = kSmallestUsableHeight;
    setMinimumSize(std::max(int(std::ceil(BrowserLayout::kMinWidth / tw.tpx)), width),
                   std::max(int(std::ceil(BrowserLayout::kMinHeight / tw.tpy)), height));
}

bool frmMain::Form_Load(const QString &commandLine)
{
    if (m_host.anotherInstanceRuns())
        return false;

    const QString folder = m_host.programFolder();
    m_host.splash().ShowSplash(folder + QStringLiteral("/viewer.spl"));
    QApplication::setApplicationName(QStringLiteral("Lumora"));
    // Qt adds the display name to every title the window manager sees; the
    // program's titles are its own texts, and an empty one still reads
    // "Lumora" there (the platform falls back to the application name).
    QApplication::setApplicationDisplayName(QString());

    // A missing or broken skin leaves the default look; start-up goes on.
    m_host.skin().LoadSkin(folder + QStringLiteral("/ORXMain.skn"));
    applySkinInOrder();

    ImageExplore1->SetExt(QString::fromLatin1(kExplorerExtensions));
    sCommandLine = commandLine;

    // The switches are the whole command line, compared exactly.
    const bool deAssociate = sCommandLine == QLatin1String("/DeAssociate");
    const bool associate = sCommandLine == QLatin1String("/Associate");
    if (deAssociate)
        DeAssociateTypes();
    else
        CheckAssociations();
    if (associate || deAssociate) {
        m_host.splash().CloseSplash(0);
        return false;
    }

    if (PathExists(sCommandLine)) {
        viewFromCommandLine(sCommandLine);
        return true;
    }
    showBrowser();
    // The tree starts on the home folder; like any selection the user did not
    // click, it lists nothing.
    const QModelIndex home = TV1->folderModel()->indexForPath(QDir::homePath());
    if (home.isValid())
        TV1->selectInitialNode(home);
    m_host.splash().CloseSplash(0, this);
    return true;
}

void frmMain::CheckAssociations()
{
    // The question must not hide behind the start-up picture.
    if (assoc::ModAssoc *a = m_host.associations())
        assoc::CheckAssociations(*a, m_host.prompter(), nullptr,
                                 [this] { m_host.splash().CloseSplash(0); });
}

void frmMain::DeAssociateTypes()
{
    if (assoc::ModAssoc *a = m_host.associations())
        assoc::DeAssociateTypes(*a);
}

void frmMain::viewFromCommandLine(const QString &commandPath)
{
    // A relative path from a terminal is taken from the current folder.
    const QString path = QFileInfo(commandPath).isRelative()
                             ? QFileInfo(commandPath).absoluteFilePath()
                             : commandPath;
    hide();
    QString folder = GetParentFolderName(path);
    QStringList list = ImageExplore1->GetImageList(folder, QStringLiteral("*.*"));
    if (list.isEmpty()) {
        // Nothing to view there: browse that folder instead.
        showBrowser();
        showFolder(folder);
        m_host.splash().CloseSplash(0, this);
        return;
    }
    frmViwer *viewer = m_host.viewer();
    viewer->ImgX->setZoom(1.0);
    viewer->bCommand = true;
    // The file the user opened is the one shown, also when the listing leaves
    // its type out or spells its name otherwise.
    int index = placeNamedFile(list, path);
    viewer->ViewImage(list, index);
    m_host.splash().CloseSplash(0, viewer);
    for (int i = 0; i < 9; ++i)
        QCoreApplication::processEvents();
}

void frmMain::showBrowser()
{
    // The viewer's close handler asks for the browser; not while it closes.
    if (m_shuttingDown)
        return;
    // However the viewer was left, the browser is where the user had it. A
    // place given to the hidden widget alone is mapped without a position
    // hint on X11 and the window manager places the window anew; given to
    // its native window it goes out as the user's own position.
    const bool restore =
        !isVisible() && m_placeBeforeHide.isValid() && !isMaximized() && !isFullScreen();
    if (restore) {
        setGeometry(m_placeBeforeHide);
        if (QWindow *native = windowHandle())
            native->setGeometry(m_placeBeforeHide);
    }
    show();
    raise();
    activateWindow();
}

void frmMain::hideEvent(QHideEvent *e)
{
    QMainWindow::hideEvent(e);
    if (!e->spontaneous() && !isMinimized())
        m_placeBeforeHide = geometry();
}

void frmMain::EndMe()
{
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    m_host.unloadViewer();
    m_host.unloadFolderChooser();
    m_host.terminate();
}

void frmMain::closeEvent(QCloseEvent *e)
{
    e->accept();
    EndMe();
}

// ------------------------------------------------------------------ layout

void frmMain::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    Form_Resize();
}

void frmMain::Form_Resize()
{
    const Twips tw = Twips::forScreen();
    // The rules are written for the outer size of the window, frame included.
    const QSize outer = frameGeometry().size().expandedTo(size());
    const QSize frameExtra = outer - size();
    const QSizeF outerTw(tw.fromPixelsX(outer.width()), tw.fromPixelsY(outer.height()));

    {
        const QSizeF snapped = BrowserLayout::snapWindow(outerTw);
        if (snapped != outerTw) {
            const QSize px(int(std::ceil(snapped.width() / tw.tpx)),
                           int(std::ceil(snapped.height() / tw.tpy)));
            resize(px - frameExtra);
        }
    }
    {
        const QSizeF s = BrowserLayout::splitter2Size(outerTw);
        QWidget *area = centralWidget();
        const int w = std::clamp(tw.toPixelsX(s.width()), 0, area->width());
        const int h = std::clamp(tw.toPixelsY(s.height()), 0, area->height());
        // What the rule leaves over at the sides is shared evenly; below
        // the splitter it holds the status line.
        const int margin = std::max(0, (area->width() - w) / 2);
        const int top = std::min(margin, std::max(0, area->height() - h));
        Splitter2->setGeometry(margin, top, w, h);
    }
    {
        const QRect s = Splitter2->geometry();
        lblStatus->setGeometry(s.left(), s.bottom() + 1, s.width(),
                               std::max(0, centralWidget()->height() - s.bottom() - 1));
    }
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        if (watched == container)
            container_Resize(container->width(), container->height());
        else if (watched == ImgX)
            placeToolbar();
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::container_Resize(int w, int h)
{
    const Twips tw = Twips::forScreen();
    const int toolbarHeight = Toolbar->sizeHint().height();
    {
        const QSizeF s = BrowserLayout::splitter1Size(QSizeF(tw.fromPixelsX(w), tw.fromPixelsY(h)),
                                                      tw.fromPixelsY(toolbarHeight));
        Splitter1->setGeometry(0, 0, std::max(0, tw.toPixelsX(s.width())),
                               std::max(0, tw.toPixelsY(s.height())));
    }
    placeToolbar();
}

void frmMain::placeToolbar()
{
    // The strip sits at the bottom of the container, as wide as the preview.
    const int toolbarHeight = Toolbar->sizeHint().height();
    const int x = ImgX->mapTo(container, QPoint(0, 0)).x();
    // It may use the inset beside the preview rather than hide a button.
    const int width =
        std::min(container->width() - x, std::max(ImgX->width(), Toolbar->sizeHint().width()));
    Toolbar->setGeometry(x, container->height() - toolbarHeight, width, toolbarHeight);
}

} // namespace lumora
