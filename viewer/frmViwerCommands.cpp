// Menus, toolbar, keys, the context menu and full screen of the viewer.
#include "viewer/frmViwer.h"

#include "dialogs/Skin.h"
#include "imaging/Twips.h"
#include "viewer/FullScreenHint.h"
#include "viewer/ToolbarIcons.h"
#include "viewer/modMain.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

namespace lumora
{

namespace
{
struct MenuEntry {
    const char *menu;    // name of the menu it belongs to
    const char *name;    // entry name
    const char *caption; // exactly as shown, trailing blanks included
    const char *shortcut;
};

// Entries whose operations come later are present and do nothing yet.
const MenuEntry kEntries[] = {
    {"mnufile", "mnuopen", "Open     ", "Ctrl+O"},
    {"mnufile", "mnuBrowse", "Browse     ", "Ctrl+B"},
    {"mnufile", "mnuSaveAs", "Save As     ", "Ctrl+S"},
    {"mnufile", "mnuPageSetup", "Page Setup", ""},
    {"mnuPrint", "mnuTopLeft", "Top Left", ""},
    {"mnuPrint", "mnuCentered", "Centered", ""},
    {"mnuPrint", "mnuFitToPage", "Fit To Page", ""},
    {"mnufile", "mnuExit", "Exit         ", "Ctrl+Q"},
    {"mnuEdit", "mnuCopyTo", "Copy To", "Ctrl+C"},
    {"mnuEdit", "mnuMoveTo", "Move To", "Ctrl+M"},
    {"mnuEdit", "mnuCopyImage", "Copy Image", "Ctrl+G"},
    {"mnuEdit", "mnuDelete", "Delete     ", "Del"},
    {"mnuEdit", "mnuRename", "Rename", "F2"},
    {"mnuView", "mnuFullScreen", "Full Screen", "Ctrl+F"},
    {"mnuView", "mnuZoomIn", "Zoom In     ", "Ctrl+N"},
    {"mnuView", "mnuZoomOut", "Zoom Out     ", "Ctrl+U"},
    {"mnuImage", "mnuNext", "Next", ""},
    {"mnuImage", "mnuPrevious", "Previous", ""},
    {"mnuTools", "mnuSlideShow", "Slide Show", ""},
    {"mnuTools", "mnuSlideShowDelay", "Slide Show Delay", ""},
    {"mnuTools", "mnuAntiAliasDisplay", "AntiAlias Display", ""},
    {"mnuTools", "mnuRotate1", "Rotate +90", ""},
    {"mnuTools", "mnuRotate2", "Rotate -90", ""},
    {"mnuTools", "mnuSetAsWallpaper", "Set As Wallpaper", ""},
    {"mnuTools", "mnuEncrypt", "Encrypt...", ""},
    {"mnuTools", "mnuDecrypt", "Decrypt...", ""},
    {"mnuHelp", "mnuAbout", "About", ""},
    {"mnuHelp", "mnuHelpIndex", "Help Index", ""},
    {"mnuHelp", "mnuupdate", "update", ""},
};

struct ToolButton {
    const char *key;
    const char *tooltip;
};

const ToolButton kButtons[8] = {
    {"open32", "Open"},         {"browsed32", "Browse"},         {"previous32", "Prevoius"},
    {"next32", "Next"},         {"slidshow32", "Slide Show"},    {"zoomin32", "Zoom In"},
    {"zoomiout32", "Zoom Out"}, {"fullscreen32", "Full Screen"},
};
} // namespace

void frmViwer::buildMenus()
{
    const struct {
        const char *name;
        const char *caption;
    } menus[] = {{"mnufile", "File"},   {"mnuEdit", "Edit"},   {"mnuView", "View"},
                 {"mnuImage", "Image"}, {"mnuTools", "Tools"}, {"mnuHelp", "Help"}};
    for (const auto &m : menus) {
        QMenu *menu = m_menuBar->addMenu(QString::fromLatin1(m.caption));
        menu->setObjectName(QString::fromLatin1(m.name));
        m_menus.insert(QString::fromLatin1(m.name), menu);
    }
    for (const MenuEntry &e : kEntries) {
        const QString menuName = QString::fromLatin1(e.menu);
        if (menuName == QLatin1String("mnuPrint") && !m_menus.contains(menuName)) {
            QMenu *print =
                m_menus.value(QStringLiteral("mnufile"))->addMenu(QStringLiteral("Print"));
            print->setObjectName(QStringLiteral("mnuPrint"));
            m_menus.insert(menuName, print);
        }
        QAction *a = m_menus.value(menuName)->addAction(QString::fromLatin1(e.caption));
        a->setObjectName(QString::fromLatin1(e.name));
        if (*e.shortcut)
            a->setShortcut(QKeySequence(QString::fromLatin1(e.shortcut)));
        m_actions.insert(QString::fromLatin1(e.name), a);
    }
    action(QStringLiteral("mnuAntiAliasDisplay"))->setCheckable(true);

    auto on = [this](const char *name, auto fn) {
        connect(action(QString::fromLatin1(name)), &QAction::triggered, this, fn);
    };
    on("mnuopen", [this] { LoadImage(); });
    on("mnuBrowse", [this] { ReturnToBrowser(); });
    on("mnuSaveAs", [this] { SaveAs(); });
    on("mnuExit", [this] { ReturnToBrowser(); });
    on("mnuFullScreen", [this] { ToggleFullScreen(); });
    on("mnuZoomIn", [this] { ZoomIn(); });
    on("mnuZoomOut", [this] { ZoomOut(); });
    on("mnuNext", [this] { ShowNextImage(); });
    on("mnuPrevious", [this] { ShowPreviousImage(); });
    on("mnuSlideShow", [this] { ToggleSlideShow(); });
    on("mnuSlideShowDelay", [this] { PromptSlideShowDelay(); });
    on("mnuAntiAliasDisplay", [this] { ToggleAntiAlias(); });
    on("mnuRotate1", [this] { RotatePlus90(); });
    on("mnuRotate2", [this] { RotateMinus90(); });
    on("mnuSetAsWallpaper", [this] { setWallpaper(); });
    on("mnuEncrypt", [this] { Encrypt(); });
    on("mnuDecrypt", [this] { Decrypt(); });
    on("mnuPageSetup", [this] { PageSetup(); });
    on("mnuTopLeft", [this] { Print(0); });
    on("mnuCentered", [this] { Print(1); });
    on("mnuFitToPage", [this] { Print(2); });
    on("mnuAbout", [this] { ShowAbout(); });
    on("mnuHelpIndex", [this] { HelpIndex(); });
    on("mnuupdate", [this] { RunUpdate(); });
    auto fileOp = [this](int opType) {
        QString destination;
        DoFileOperation(opType, destination);
    };
    on("mnuCopyTo", [fileOp] { fileOp(1); });
    on("mnuMoveTo", [fileOp] { fileOp(4); });
    on("mnuDelete", [fileOp] { fileOp(2); });
    on("mnuRename", [fileOp] { fileOp(5); });
    on("mnuCopyImage", [this] { CopyImage(); });
}

void frmViwer::buildToolbar()
{
    Toolbar->setIconSize(QSize(32, 32));
    Toolbar->setMovable(false);
    for (int i = 0; i < 8; ++i) {
        const ToolButton &b = kButtons[i];
        QAction *a = Toolbar->addAction(toolbarIcon(QString::fromLatin1(b.key)),
                                        QString::fromLatin1(b.tooltip));
        a->setObjectName(QString::fromLatin1(b.key));
        a->setToolTip(QString::fromLatin1(b.tooltip));
        a->setData(i + 1);
        m_actions.insert(QString::fromLatin1(b.key), a);
    }
    action(QStringLiteral("slidshow32"))->setCheckable(true);
    connect(Toolbar, &QToolBar::actionTriggered, this, [this](QAction *a) {
        switch (a->data().toInt()) {
        case 1:
            LoadImage();
            break;
        case 2:
            ReturnToBrowser();
            break;
        case 3:
            ShowPreviousImage();
            break;
        case 4:
            ShowNextImage();
            break;
        case 5:
            // The button has already flipped itself; the toggle flips it again.
            a->setChecked(!a->isChecked());
            ToggleSlideShow();
            break;
        case 6:
            ZoomIn();
            break;
        case 7:
            ZoomOut();
            break;
        case 8:
            ToggleFullScreen();
            break;
        default:
            break;
        }
    });
}

bool frmViwer::eventFilter(QObject *watched, QEvent *event)
{
    // Key preview: the window sees keys before its controls, and the image's
    // own keys reach the same handler; either way each press is handled once.
    // In full screen the pointer near the top brings back the keys that leave it.
    if (event->type() == QEvent::MouseMove && watched == ImgX && m_fullScreen &&
        static_cast<QMouseEvent *>(event)->position().y() < FullScreenHint::kTopBand &&
        !m_fullScreenHint->isVisible())
        m_fullScreenHint->flash();
    if (event->type() == QEvent::KeyPress && (watched == this || watched == ImgX)) {
        auto *ke = static_cast<QKeyEvent *>(event);
        if (handleKey(ke->key(), ke->modifiers()))
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmViwer::handleKey(int key, Qt::KeyboardModifiers modifiers)
{
    switch (key) {
    case Qt::Key_Escape:
        close();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        ReturnToBrowser();
        return true;
    case Qt::Key_Space:
    case Qt::Key_PageDown:
        ShowNextImage();
        pumpEvents(8);
        return true;
    case Qt::Key_Backspace:
    case Qt::Key_PageUp:
        ShowPreviousImage();
        pumpEvents(2);
        return true;
    case Qt::Key_Delete:
        // Windowed, the menu's Del shortcut deletes; full screen hides the menu.
        if (!m_fullScreen)
            return false;
        {
            QString destination;
            DoFileOperation(2, destination);
        }
        return true;
    case Qt::Key_F:
        ToggleFullScreen();
        return true;
    case Qt::Key_Z:
        if (!(modifiers & Qt::ControlModifier))
            return false;
        UndoTrash();
        return true;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomIn();
        return true;
    case Qt::Key_Minus:
        ZoomOut();
        return true;
    case Qt::Key_0:
        if (!(modifiers & Qt::ControlModifier))
            return false;
        ZoomActualPixels();
        return true;
    case Qt::Key_9:
        if (!(modifiers & Qt::ControlModifier))
            return false;
        ZoomToFit();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        scrollByKey(key);
        return true;
    default:
        return false;
    }
}

QMenu *frmViwer::buildContextMenu()
{
    auto *menu = new QMenu(this);
    auto add = [menu](int id, const char *text) {
        QAction *a = menu->addAction(QString::fromLatin1(text));
        a->setData(id);
        return a;
    };
    add(10, "Full Screen")->setEnabled(action(QStringLiteral("fullscreen32"))->isEnabled());
    add(7, "Next")->setEnabled(action(QStringLiteral("next32"))->isEnabled());
    add(8, "Previous")->setEnabled(action(QStringLiteral("previous32"))->isEnabled());
    menu->addSeparator();
    QAction *show = add(9, "Slide Show");
    show->setCheckable(true);
    show->setChecked(action(QStringLiteral("slidshow32"))->isChecked());
    QAction *aa = add(1, "Antialias Display");
    aa->setCheckable(true);
    aa->setChecked(action(QStringLiteral("mnuAntiAliasDisplay"))->isChecked());
    menu->addSeparator();
    add(2, "Rotate +90");
    add(3, "Rotate -90");
    menu->addSeparator();
    add(4, "Zoom In");
    add(5, "Zoom Out");
    menu->addSeparator();
    add(6, "Set As Wallpaper");
    return menu;
}

void frmViwer::showContextMenu(int x, int y)
{
    QMenu *menu = buildContextMenu();
    // At the pointer: the event's position is one of the image control.
    const QPoint at = ImgX->mapToGlobal(QPoint(x, y));
    int id = 0;
    if (trackMenu) {
        id = trackMenu(*menu, at);
    } else if (QAction *chosen = menu->exec(at)) {
        id = chosen->data().toInt();
    }
    delete menu;
    runContextCommand(id);
}

void frmViwer::runContextCommand(int id)
{
    switch (id) {
    case 1:
        ToggleAntiAlias();
        break;
    case 2:
        RotatePlus90();
        break;
    case 3:
        RotateMinus90();
        break;
    case 4:
        ZoomIn();
        break;
    case 5:
        ZoomOut();
        break;
    case 6:
        setWallpaper();
        break;
    case 7:
        ShowNextImage();
        break;
    case 8:
        ShowPreviousImage();
        break;
    case 9:
        ToggleSlideShow();
        break;
    case 10:
        ToggleFullScreen();
        break;
    default:
        break;
    }
}

void frmViwer::setWallpaper()
{
    if (m_ctx.prompter)
        SetAsWallpaper(*ImgX->document(), *m_ctx.prompter);
}

void frmViwer::ToggleFullScreen()
{
    const Twips t = Twips::forScreen();
    const QStringList hidden = {QStringLiteral("mnufile"), QStringLiteral("mnuEdit"),
                                QStringLiteral("mnuView"), QStringLiteral("mnuTools"),
                                QStringLiteral("mnuHelp")};
    if (!m_fullScreen) {
        m_fullScreen = true;
        // Each image shown while full screen enters it again; the windowed
        // geometry saved on the first entry is what leaving returns to.
        if (!isFullScreen()) {
            const QRect g = geometry();
            m_saved = QRect(int(t.fromPixelsX(g.x())), int(t.fromPixelsY(g.y())),
                            int(t.fromPixelsX(g.width())), int(t.fromPixelsY(g.height())));
        }
        if (isMaximized())
            showNormal();
        // An image that was loaded a moment ago is not decoded a second time.
        if (!m_entryFresh)
            ReloadCurrentImage();
        Toolbar->hide();
        statusBar()->hide();
        for (const QString &name : hidden)
            m_menus.value(name)->menuAction()->setVisible(false);
        // The "Image" menu stays reachable, so the menu bar remains above the
        // image while the toolbar part of the container goes.
        QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen)
            setGeometry(screen->geometry());
        showFullScreen();
        ImgX->setMouseTracking(true);
        m_fullScreenHint->flash();
        return;
    }

    m_fullScreen = false;
    m_fullScreenHint->dismiss();
    ImgX->setMouseTracking(false);
    showNormal();
    skinWindow();
    setWindowTitle(QString());
    for (const QString &name : hidden)
        m_menus.value(name)->menuAction()->setVisible(true);
    Toolbar->show();
    statusBar()->show();
    MenuContainer->show();
    ReloadCurrentImage();
    // Back where it was, 510 twips lower, as the window has always come back.
    placeCapped(QRect(t.toPixelsX(m_saved.x()), t.toPixelsY(m_saved.y() + 510),
                      t.toPixelsX(m_saved.width()), t.toPixelsY(m_saved.height())));
}

} // namespace lumora
