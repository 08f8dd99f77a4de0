#include "viewer/frmViwer.h"

#include "dialogs/Prompter.h"
#include "dialogs/Skin.h"
#include "platform/ProgramStarter.h"
#include "viewer/AnimationPlayer.h"
#include "viewer/BrowserLink.h"
#include "viewer/FirstPicture.h"
#include "viewer/FullScreenHint.h"
#include "viewer/Preloader.h"
#include "viewer/TypeRule.h"
#include "viewer/ViewerGeometry.h"
#include "viewer/modMain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

namespace lumora
{

// The Open dialog's filter, pairs of description and patterns.
static const char kOpenFilter[] =
    "All Images|*.jpg;*.jpeg;*.gif;*.bmp;*.dib;*.png;*.psd;*.tif;*.pcx;*.tga;*.wbmp;*.wmf;*.ico;"
    "*.cur;*.emf;*.tla|Joint Photographic Experts Group  <JPG,JPEG>|*.jpg;*.jpeg|Graphics "
    "Interchange Format  <GIF>|*.gif|Windows Bitmap  <BMP,DIB>|*.bmp;*.dib|Portable Network "
    "Graphics  <PNG>|*.png|Photoshop  <PSD>|*.psd|Tagged Image File  <TIF>|*.tif|ZSoft "
    "PaintBrush  <PCX>|*.pcx|Truevision Targa  <TGA>|*.tga|Wireless Bitmap  <WBMP>|*.wbmp|Windows "
    "Meta File  <WMF>|*.wmf|ICO Files  <ICO>|*.ICO|Windows Enhanced Meta File <EMF>|*.emf|All "
    "Files|*.*";

QString openDialogFilter()
{
    return QString::fromLatin1(kOpenFilter);
}

frmViwer::frmViwer(const ViewerContext &context, QWidget *parent)
    : QMainWindow(parent), programFolder(QCoreApplication::applicationDirPath()), m_ctx(context),
      m_preloader(std::make_unique<Preloader>()),
      m_programs(std::make_unique<platform::DetachedProgramStarter>()),
      m_documents(std::make_unique<platform::XdgDocumentOpener>())
{
    setObjectName(QStringLiteral("frmViwer"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_promptPause =
        std::make_unique<PromptPause>(m_slides.timer(), [this] { return slideShowRunning(); });
    if (m_ctx.prompter) {
        m_pausingPrompter = std::make_unique<PausingPrompter>(*m_ctx.prompter, *m_promptPause);
        m_ctx.prompter = m_pausingPrompter.get();
    }
    buildUi();
    // Load handler: dress the window, then the settings; the list starts empty.
    skinWindow();
    LoadSettings();
    m_paths.clear();
}

frmViwer::~frmViwer() = default;

void frmViwer::buildUi()
{
    ImgX = new imaging::ImageView(this);
    ImgX->setObjectName(QStringLiteral("ImgX"));
    ImgX->installEventFilter(this);
    m_fullScreenHint = new FullScreenHint(ImgX);
    // An animation stands still under every prompt, as the slide show does.
    auto *animation = new AnimationPlayer(*ImgX->document(), *ImgX);
    m_promptPause->onHeldChanged([animation](bool held) { animation->setHeld(held); });
    setCentralWidget(ImgX);

    MenuContainer = new QWidget(this);
    MenuContainer->setObjectName(QStringLiteral("MenuContainer"));
    auto *box = new QVBoxLayout(MenuContainer);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    m_menuBar = new QMenuBar(MenuContainer);
    box->addWidget(m_menuBar);
    Toolbar = new QToolBar(MenuContainer);
    Toolbar->setObjectName(QStringLiteral("Toolbar"));
    box->addWidget(Toolbar);
    setMenuWidget(MenuContainer);
    buildMenus();
    buildToolbar();

    auto *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    const int stretch[5] = {0, 1, 0, 0, 0};
    for (int i = 0; i < 5; ++i) {
        m_panels[i] = new QLabel(bar);
        m_panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        m_panels[i]->setMinimumWidth(kPanelMinWidth);
        m_panels[i]->setSizePolicy(i == 1 ? QSizePolicy::Ignored : QSizePolicy::Preferred,
                                   QSizePolicy::Preferred);
        bar->addWidget(m_panels[i], stretch[i]);
    }

    connect(&m_slides.timer(), &QTimer::timeout, this, &frmViwer::onSlideTimer);

    connect(ImgX, &imaging::ImageView::viewChanged, this, &frmViwer::onViewChanged);
    connect(ImgX, &imaging::ImageView::doubleClicked, this, &frmViwer::ReturnToBrowser);
    connect(ImgX, &imaging::ImageView::filesDropped, this, &frmViwer::dropFiles);
    connect(ImgX, &imaging::ImageView::zoomStepRequested, this, &frmViwer::zoomAtPointer);
    connect(ImgX, &imaging::ImageView::mouseDown, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, int x, int y) {
                if (button == Qt::RightButton)
                    showContextMenu(x, y);
            });
    installEventFilter(this);
}

void frmViwer::skinWindow()
{
    if (!m_ctx.skin)
        return;
    m_ctx.skin->ApplySkin(this);
    m_ctx.skin->ApplySkinByName(statusBar(), QStringLiteral("StatusBar"));
    m_ctx.skin->ApplySkinByName(MenuContainer, QStringLiteral("Toolbar"));
}

void frmViwer::pumpEvents(int times)
{
    for (int i = 0; i < times; ++i)
        QCoreApplication::processEvents();
}

// Loads one entry by the type rule. A file that vanished or cannot be decoded
// leaves an empty display that says why, so the user can move on with Next.
void frmViwer::loadEntry(const QString &path)
{
    // Only the first load may find the start-up's decode; it lets go of it.
    auto fromStart = takeFirstPicture(std::exchange(m_ctx.firstPicture, nullptr), path);
    if (!takesPictureRoute(path)) {
        auto ready = m_preloader->take(path);
        if (!ready)
            ready = std::move(fromStart);
        if (ready) {
            imaging::DecodedImage &d = ready->decoded;
            ImgX->document()->adopt(std::move(d), path);
            ImgX->setProxy(ready->proxy);
            ImgX->setErrorText({});
            return;
        }
    }
    const Result<> r = loadByTypeRule(*ImgX->document(), path);
    if (r.ok()) {
        ImgX->setErrorText({});
    } else {
        ImgX->document()->ResetImages();
        ImgX->document()->setSourcePath(path);
        ImgX->setErrorText(QStringLiteral("%1\n%2").arg(QFileInfo(path).fileName(), r.error()));
        // An empty display may not signal a change of view; the panels must
        // not go on showing the image before.
        refreshStatus();
    }
}

void frmViwer::ViewImage(const QStringList &FilePaths, int &Index)
{
    m_paths = FilePaths;
    Index = wrapIndex(Index, int(m_paths.size()));
    if (Index < 0 || Index >= m_paths.size() || m_paths.at(Index).isEmpty()) {
        ImgX->document()->ResetImages();
        return;
    }
    m_current = Index;
    const QString path = m_paths.at(Index);
    loadEntry(path);
    setWindowTitle(viewerCaption(path));
    // The window is refitted in place rather than hidden and shown again: on a
    // desktop with a window manager that would lose focus and position.
    // A window about to go full screen for the first time still gets its
    // windowed size, so leaving full screen later has one to return to.
    if (!m_fullScreen || !isVisible())
        windowFitting();
    applyFitRule();
    if (m_fullScreen) {
        m_fullScreen = false;
        m_entryFresh = true;
        ToggleFullScreen();
        m_entryFresh = false;
    }
    show();
    raise();
    activateWindow();
    preloadNeighbours();
}

void frmViwer::setPreloading(bool on)
{
    m_preloader->setEnabled(on);
}

void frmViwer::preloadNeighbours()
{
    if (QScreen *s = screen())
        m_preloader->setProxyLimit(s->size() * s->devicePixelRatio());
    // Next is the likelier step, so it decodes first. Icons and the like take
    // the picture route and are quick to read anyway.
    QStringList wanted;
    for (int i : {m_current + 1, m_current - 1}) {
        if (i >= 0 && i < m_paths.size() && !takesPictureRoute(m_paths.at(i)))
            wanted << m_paths.at(i);
    }
    m_preloader->keep(wanted);
}

bool frmViwer::LoadImage()
{
    if (!m_ctx.prompter)
        return false;
    const auto choice =
        m_ctx.prompter->openFiles(this, QStringLiteral("Open"), openDialogFilter(), true);
    if (!choice || choice->fileNames.isEmpty())
        return false;

    QStringList chosen;
    for (const QString &name : choice->fileNames)
        chosen << choice->folder + name;
    // Each file is loaded in turn; the first is loaded last, so the display
    // shows the file the caption names.
    for (auto it = chosen.crbegin(); it != chosen.crend(); ++it) {
        ImgX->document()->ResetImages();
        loadEntry(*it);
    }
    // The first file opened is the one on screen, so the commands act on it.
    m_current = int(m_paths.size());
    m_paths += chosen;
    ImgX->document()->SetCurrentImage(0);
    setWindowTitle(viewerCaption(chosen.first()));
    return true;
}

void frmViwer::ReturnToBrowser()
{
    hide();
    if (!m_ctx.browser)
        return;
    m_ctx.browser->showBrowser();
    if (m_current >= 0 && m_current < m_paths.size())
        m_ctx.browser->CheckPath(m_paths.at(m_current));
}

void frmViwer::ReloadCurrentImage()
{
    const int i = wrapIndex(m_current, int(m_paths.size()));
    if (i >= 0 && i < m_paths.size())
        loadEntry(m_paths.at(i));
}

void frmViwer::dropFiles(const QStringList &paths)
{
    QStringList kept;
    for (const QString &p : paths) {
        if (QFileInfo(p).isDir() || !IsSupportedImage(p))
            continue;
        kept << p;
    }
    if (kept.isEmpty())
        return;
    int index = 0;
    ViewImage(kept, index);
}

void frmViwer::removeListEntry(int index)
{
    if (index >= 0 && index < m_paths.size())
        m_paths.removeAt(index);
}

void frmViwer::closeEvent(QCloseEvent *e)
{
    // The close request: remember full screen, drop the list, stop the show,
    // then end the program (command line) or go back to the browser.
    saveFullScreenSetting();
    m_paths.clear();
    m_preloader->keep({});
    m_slides.stop();
    m_promptPause->stayStopped();
    pumpEvents(2);
    e->accept();
    if (bCommand) {
        emit viewerClosed(true);
        return;
    }
    if (m_ctx.browser)
        m_ctx.browser->showBrowser();
    emit viewerClosed(false);
}

} // namespace lumora
