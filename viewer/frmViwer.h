#pragma once

#include "dialogs/FileDialog.h"
#include "dialogs/FileOpCommand.h"
#include "dialogs/FileOpServices.h"
#include "imaging/ImageView.h"
#include "viewer/PromptPause.h"
#include "viewer/SlideShow.h"

#include <QDialog>
#include <QHash>
#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <QRect>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class QAction;
class QUrl;
class QLabel;
class QMenu;
class QMenuBar;
class QToolBar;

namespace lumora::platform
{
class DocumentOpener;
class ProgramStarter;
class RegistryStore;
} // namespace lumora::platform

namespace lumora
{

class BrowserLink;
class FullScreenHint;
class Preloader;
class Prompter;
class Skin;
class ViewerPrint;
std::shared_ptr<ViewerPrint> makeViewerPrint();

// What the viewer is given by its owner.
struct ViewerContext {
    Prompter *prompter = nullptr;
    BrowserLink *browser = nullptr;              // may be null (no browser yet)
    const Skin *skin = nullptr;                  // may be null (no skin loaded)
    platform::RegistryStore *registry = nullptr; // may be null: defaults, nothing stored
    FileOpServices fileOps;                      // Copy To, Move To, Rename, Delete
    // The command line's file, decoding since start-up (viewer/FirstPicture.h);
    // consulted by the first load only, so it must outlive that alone.
    Preloader *firstPicture = nullptr;
};

// The viewer window: one image of a path list at a time, with navigation,
// slide show, zoom, rotation and full screen.
QString openDialogFilter();

class frmViwer : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmViwer(const ViewerContext &context, QWidget *parent = nullptr);
    ~frmViwer() override;

    // --- list and loading
    void ViewImage(const QStringList &FilePaths, int &Index);
    bool LoadImage();
    void ReturnToBrowser();
    void ReloadCurrentImage();
    void dropFiles(const QStringList &paths);

    // --- display
    void ZoomIn();
    void ZoomOut();
    // Ctrl+0: every pixel of the picture on one pixel of the screen.
    void ZoomActualPixels();
    // Ctrl+9: the whole picture in the window, never enlarged.
    void ZoomToFit();
    // Ctrl+wheel: zoom steps with the point under the pointer kept in place.
    void zoomAtPointer(int steps, QPointF pos);
    void RotatePlus90();
    void RotateMinus90();
    void scrollByKey(int key);
    void windowFitting();
    void applyPlacement();
    void applyFitRule();
    void resizeLayout();

    // --- navigation and slide show
    void ShowNextImage();
    void ShowPreviousImage();
    void ToggleSlideShow();
    void ShowSlide(bool fromTimer);
    void onSlideTimer(); // the slide-show timer's tick
    bool slideShowRunning() const;
    // Holds the slide show still until the hold goes. Every prompt of the
    // viewer's prompter holds it already; a command that opens a window of
    // its own, or works on between prompts, holds it for its whole length.
    PromptPause::Hold pauseSlideShow() { return m_promptPause->hold(); }
    bool slideShowPaused() const { return m_promptPause->held(); }

    // --- commands
    void ToggleFullScreen();
    bool handleKey(int key, Qt::KeyboardModifiers modifiers);
    void showContextMenu(int x, int y);
    void runContextCommand(int id);
    void setWallpaper();
    void SaveAs();

    // --- file operations on the shown file
    void DoFileOperation(FileOpType type, QString &destination);
    void CopyImage();
    // Ctrl+Z: the last Delete to the Trash put back and shown.
    void UndoTrash();
    // The list entry of the image on screen ("" when none): what every
    // command acts on, and where Next and Previous go on from.
    QString shownPath() const;

    // --- settings
    void LoadSettings();
    void ToggleAntiAlias();
    void PromptSlideShowDelay();
    void saveFullScreenSetting();

    // --- status bar
    void refreshStatus();
    void removeListEntry(int index);

    // --- encryption, printing, about and help
    void Encrypt();
    void Decrypt();
    void PageSetup();
    void Print(short placement); // 0 top left, 1 centred, 2 fit to page
    void ShowAbout();
    void HelpIndex();
    void RunUpdate();
    ViewerPrint &printing() const { return *m_print; }
    QDialog *aboutBox() const { return m_about; }
    QWidget *helpWindow() const { return m_help; }
    // Where the help file and the updater are looked for: the program's folder.
    QString programFolder;

    // --- state, for the owner and for tests
    bool bCommand = false;
    imaging::ImageView *ImgX = nullptr;
    // The save dialog, kept so the file type chosen last is offered again.
    // PNG until then: it holds every image losslessly, alpha included.
    FileDialog Dialog{2};
    const QStringList &pathList() const { return m_paths; }
    int currentIndex() const { return m_current; }
    int slideIndex() const { return m_slides.nextIndex(); }
    bool isFullScreenFlag() const { return m_fullScreen; }
    FullScreenHint *fullScreenHint() const { return m_fullScreenHint; }
    QTimer *slideTimer() { return &m_slides.timer(); }
    QString statusText(int panel) const; // 1-based
    // The actions the window reads or sets itself.
    struct Actions {
        QAction *antiAlias = nullptr;      // Tools, "AntiAlias Display"
        QAction *slideShowEntry = nullptr; // Tools, "Slide Show"
        QAction *slideShowButton = nullptr;
        QAction *fullScreenButton = nullptr;
        QAction *nextButton = nullptr;
        QAction *previousButton = nullptr;
    };
    const Actions &actions() const { return m_act; }
    // Any menu entry or button by its object name (null when there is none).
    QAction *action(const QString &name) const { return m_actions.value(name); }
    QMenu *menu(const QString &name) const { return m_menus.value(name); }
    QToolBar *toolBar() const { return Toolbar; }
    QWidget *menuContainer() const { return MenuContainer; }
    QRect savedGeometryTwips() const { return m_saved; }
    // Builds the context menu as the right button shows it.
    QMenu *buildContextMenu();
    // Decoding the neighbours ahead (on by default).
    void setPreloading(bool on);
    Preloader &preloader() { return *m_preloader; }
    // Tests replace the modal tracking of the context menu; it returns the id.
    std::function<int(QMenu &, const QPoint &)> trackMenu;

signals:
    // The window closed; `endProgram` when it was opened from the command line.
    void viewerClosed(bool endProgram);

protected:
    void closeEvent(QCloseEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void moveEvent(QMoveEvent *) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildUi();
    void buildMenus();
    void buildToolbar();
    void skinWindow();
    void loadEntry(const QString &path);
    void onViewChanged();
    QSizeF windowTwips() const;
    double menuAreaTwips() const;
    void pumpEvents(int times);
    // Takes an entry out of the list, keeping the positions after it.
    void forgetEntry(int at);
    void preloadNeighbours();
    void showOwnHelp(const QString &tried);
    // Window placement within the screen's work area (frmViwerPlacement.cpp).
    QMargins frameEstimate() const;
    QRect workArea() const;
    void placeCapped(const QRect &wanted);
    void capOnceFramed();
    void keepPanelsReadable();
    static constexpr int kPanelMinWidth = 60;
    // The status bar's resize grip and margins.
    static constexpr int kStatusGripRoom = 24;

    ViewerContext m_ctx;
    // The timer waits while any prompt is open; m_ctx.prompter is the
    // pausing one, the owner's prompter behind it.
    std::unique_ptr<PromptPause> m_promptPause;
    std::unique_ptr<PausingPrompter> m_pausingPrompter;
    QWidget *MenuContainer = nullptr;
    QMenuBar *m_menuBar = nullptr;
    QToolBar *Toolbar = nullptr;
    QLabel *m_panels[5] = {};
    SlideShow m_slides;
    QHash<QString, QAction *> m_actions;
    Actions m_act;
    QHash<QString, QMenu *> m_menus;
    std::unique_ptr<Preloader> m_preloader;

    QStringList m_paths;
    int m_current = 0;
    bool m_fullScreen = false;
    FullScreenHint *m_fullScreenHint = nullptr;
    bool m_fitting = false;
    bool m_closing = false;
    bool m_entryFresh = false; // ViewImage has just loaded the entry
    QRect m_saved;             // twips
    // The window manager's frame, as last seen; and whether a window placed
    // before its frame was known still waits to be cut to the work area.
    QMargins m_frame;
    bool m_capPending = false;
    // One print object for the viewer's lifetime: the page set up once
    // serves every later print.
    std::shared_ptr<ViewerPrint> m_print = makeViewerPrint();
    QPointer<QDialog> m_dialog; // the key prompt while it is up
    QPointer<QDialog> m_about;
    QPointer<QWidget> m_help;
    std::unique_ptr<platform::ProgramStarter> m_programs;
    std::unique_ptr<platform::DocumentOpener> m_documents;
};

} // namespace lumora
