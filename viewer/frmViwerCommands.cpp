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
using Handler = void (*)(frmViwer &);

struct MenuEntry {
    const char *menu;    // name of the menu it belongs to
    const char *name;    // entry name
    const char *caption; // exactly as shown, trailing blanks included
    const char *shortcut;
    Handler run;
    // Where the window keeps the entry when it reads or sets it later.
    QAction *frmViwer::Actions::*kept = nullptr;
};

void fileOp(frmViwer &v, FileOpType type)
{
    QString destination;
    v.DoFileOperation(type, destination);
}

const MenuEntry kEntries[] = {
    {"mnufile", "mnuopen", "Open     ", "Ctrl+O", [](frmViwer &v) { v.LoadImage(); }},
    {"mnufile", "mnuBrowse", "Browse     ", "Ctrl+B", [](frmViwer &v) { v.ReturnToBrowser(); }},
    {"mnufile", "mnuSaveAs", "Save As     ", "Ctrl+S", [](frmViwer &v) { v.SaveAs(); }},
    {"mnufile", "mnuPageSetup", "Page Setup", "", [](frmViwer &v) { v.PageSetup(); }},
    {"mnuPrint", "mnuTopLeft", "Top Left", "", [](frmViwer &v) { v.Print(0); }},
    {"mnuPrint", "mnuCentered", "Centered", "", [](frmViwer &v) { v.Print(1); }},
    {"mnuPrint", "mnuFitToPage", "Fit To Page", "", [](frmViwer &v) { v.Print(2); }},
    {"mnufile", "mnuExit", "Exit         ", "Ctrl+Q", [](frmViwer &v) { v.ReturnToBrowser(); }},
    {"mnuEdit", "mnuCopyTo", "Copy To", "Ctrl+C", [](frmViwer &v) { fileOp(v, FileOpType::Copy); }},
    {"mnuEdit", "mnuMoveTo", "Move To", "Ctrl+M", [](frmViwer &v) { fileOp(v, FileOpType::Move); }},
    {"mnuEdit", "mnuCopyImage", "Copy Image", "Ctrl+G", [](frmViwer &v) { v.CopyImage(); }},
    {"mnuEdit", "mnuDelete", "Delete     ", "Del",
     [](frmViwer &v) { fileOp(v, FileOpType::Trash); }},
    {"mnuEdit", "mnuRename", "Rename", "F2", [](frmViwer &v) { fileOp(v, FileOpType::Rename); }},
    {"mnuView", "mnuFullScreen", "Full Screen", "Ctrl+F",
     [](frmViwer &v) { v.ToggleFullScreen(); }},
    {"mnuView", "mnuZoomIn", "Zoom In     ", "Ctrl+N", [](frmViwer &v) { v.ZoomIn(); }},
    {"mnuView", "mnuZoomOut", "Zoom Out     ", "Ctrl+U", [](frmViwer &v) { v.ZoomOut(); }},
    {"mnuImage", "mnuNext", "Next", "", [](frmViwer &v) { v.ShowNextImage(); }},
    {"mnuImage", "mnuPrevious", "Previous", "", [](frmViwer &v) { v.ShowPreviousImage(); }},
    {"mnuTools", "mnuSlideShow", "Slide Show", "", [](frmViwer &v) { v.ToggleSlideShow(); },
     &frmViwer::Actions::slideShowEntry},
    {"mnuTools", "mnuSlideShowDelay", "Slide Show Delay", "",
     [](frmViwer &v) { v.PromptSlideShowDelay(); }},
    {"mnuTools", "mnuAntiAliasDisplay", "AntiAlias Display", "",
     [](frmViwer &v) { v.ToggleAntiAlias(); }, &frmViwer::Actions::antiAlias},
    {"mnuTools", "mnuRotate1", "Rotate +90", "", [](frmViwer &v) { v.RotatePlus90(); }},
    {"mnuTools", "mnuRotate2", "Rotate -90", "", [](frmViwer &v) { v.RotateMinus90(); }},
    {"mnuTools", "mnuSetAsWallpaper", "Set As Wallpaper", "",
     [](frmViwer &v) { v.setWallpaper(); }},
    {"mnuTools", "mnuEncrypt", "Encrypt...", "", [](frmViwer &v) { v.Encrypt(); }},
    {"mnuTools", "mnuDecrypt", "Decrypt...", "", [](frmViwer &v) { v.Decrypt(); }},
    {"mnuHelp", "mnuAbout", "About", "", [](frmViwer &v) { v.ShowAbout(); }},
    {"mnuHelp", "mnuHelpIndex", "Help Index", "", [](frmViwer &v) { v.HelpIndex(); }},
    {"mnuHelp", "mnuupdate", "update", "", [](frmViwer &v) { v.RunUpdate(); }},
};

struct ToolButton {
    const char *key;
    const char *tooltip;
    Handler run;
    QAction *frmViwer::Actions::*kept = nullptr;
};

const ToolButton kButtons[] = {
    {"open32", "Open", [](frmViwer &v) { v.LoadImage(); }},
    {"browsed32", "Browse", [](frmViwer &v) { v.ReturnToBrowser(); }},
    {"previous32", "Prevoius", [](frmViwer &v) { v.ShowPreviousImage(); },
     &frmViwer::Actions::previousButton},
    {"next32", "Next", [](frmViwer &v) { v.ShowNextImage(); }, &frmViwer::Actions::nextButton},
    {"slidshow32", "Slide Show",
     [](frmViwer &v) {
         // The button has already flipped itself; the toggle flips it again.
         QAction *button = v.actions().slideShowButton;
         button->setChecked(!button->isChecked());
         v.ToggleSlideShow();
     },
     &frmViwer::Actions::slideShowButton},
    {"zoomin32", "Zoom In", [](frmViwer &v) { v.ZoomIn(); }},
    {"zoomiout32", "Zoom Out", [](frmViwer &v) { v.ZoomOut(); }},
    {"fullscreen32", "Full Screen", [](frmViwer &v) { v.ToggleFullScreen(); },
     &frmViwer::Actions::fullScreenButton},
};

// The right button's menu. The ids are what a tracked menu returns.
struct ContextEntry {
    int id;
    const char *caption;
    Handler run;
    bool separatorBefore = false;
    // The entry follows this action: enabled with it, checked with it.
    QAction *frmViwer::Actions::*enabledWith = nullptr;
    QAction *frmViwer::Actions::*checkedWith = nullptr;
};

const ContextEntry kContextEntries[] = {
    {10, "Full Screen", [](frmViwer &v) { v.ToggleFullScreen(); }, false,
     &frmViwer::Actions::fullScreenButton},
    {7, "Next", [](frmViwer &v) { v.ShowNextImage(); }, false, &frmViwer::Actions::nextButton},
    {8, "Previous", [](frmViwer &v) { v.ShowPreviousImage(); }, false,
     &frmViwer::Actions::previousButton},
    {9, "Slide Show", [](frmViwer &v) { v.ToggleSlideShow(); }, true, nullptr,
     &frmViwer::Actions::slideShowButton},
    {1, "Antialias Display", [](frmViwer &v) { v.ToggleAntiAlias(); }, false, nullptr,
     &frmViwer::Actions::antiAlias},
    {2, "Rotate +90", [](frmViwer &v) { v.RotatePlus90(); }, true},
    {3, "Rotate -90", [](frmViwer &v) { v.RotateMinus90(); }},
    {4, "Zoom In", [](frmViwer &v) { v.ZoomIn(); }, true},
    {5, "Zoom Out", [](frmViwer &v) { v.ZoomOut(); }},
    {6, "Set As Wallpaper", [](frmViwer &v) { v.setWallpaper(); }, true},
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
        if (e.kept)
            m_act.*e.kept = a;
        connect(a, &QAction::triggered, this, [this, run = e.run] { run(*this); });
    }
    m_act.antiAlias->setCheckable(true);
    // The entry shows a running show as the button does.
    m_act.slideShowEntry->setCheckable(true);
}

void frmViwer::buildToolbar()
{
    Toolbar->setIconSize(QSize(32, 32));
    Toolbar->setMovable(false);
    for (const ToolButton &b : kButtons) {
        QAction *a = Toolbar->addAction(toolbarIcon(QString::fromLatin1(b.key)),
                                        QString::fromLatin1(b.tooltip));
        a->setObjectName(QString::fromLatin1(b.key));
        a->setToolTip(QString::fromLatin1(b.tooltip));
        m_actions.insert(QString::fromLatin1(b.key), a);
        if (b.kept)
            m_act.*b.kept = a;
        connect(a, &QAction::triggered, this, [this, run = b.run] { run(*this); });
    }
    m_act.slideShowButton->setCheckable(true);
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
        fileOp(*this, FileOpType::Trash);
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
    for (const ContextEntry &e : kContextEntries) {
        if (e.separatorBefore)
            menu->addSeparator();
        QAction *a = menu->addAction(QString::fromLatin1(e.caption));
        a->setData(e.id);
        if (e.enabledWith)
            a->setEnabled((m_act.*e.enabledWith)->isEnabled());
        if (e.checkedWith) {
            a->setCheckable(true);
            a->setChecked((m_act.*e.checkedWith)->isChecked());
        }
    }
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
    // 0 is a menu closed without a choice.
    for (const ContextEntry &e : kContextEntries) {
        if (e.id == id) {
            e.run(*this);
            return;
        }
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
