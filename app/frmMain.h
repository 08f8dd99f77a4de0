#pragma once

#include "explorer/ExtensionFilter.h"
#include "viewer/BrowserLink.h"

#include <QMainWindow>
#include <QString>

class QPushButton;
class QSplitter;
class QToolBar;
class QTreeView;
class QFileSystemModel;

namespace lumora {

class Skin;
class Splash;
class frmViwer;
namespace imaging {
class ImageView;
}

// What the browser needs of the application object that owns the windows.
class WindowHost {
public:
    virtual ~WindowHost() = default;
    virtual frmViwer *viewer() = 0;            // created on first use
    virtual frmViwer *existingViewer() = 0;    // null when not loaded
    virtual void unloadViewer() = 0;
    virtual void unloadFolderChooser() = 0;
    virtual void terminate() = 0;              // ends the process's event loop
    virtual bool anotherInstanceRuns() = 0;
    virtual Skin &skin() = 0;
    virtual Splash &splash() = 0;
    virtual QString programFolder() = 0;
};

// The browser window and the program's start-up form.
class frmMain : public QMainWindow, public BrowserLink {
    Q_OBJECT
public:
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

    // Until the grid control is in place the window keeps the extension list.
    ExtensionFilter &extensions() { return m_ext; }

    QToolBar *Toolbar = nullptr;
    QTreeView *TV1 = nullptr;
    QSplitter *Splitter2 = nullptr;
    QSplitter *Splitter1 = nullptr;
    QWidget *container = nullptr;
    imaging::ImageView *ImgX = nullptr;

protected:
    void closeEvent(QCloseEvent *) override;

private:
    void buildUi();
    void applySkinInOrder();
    void viewFromCommandLine(const QString &path);

    WindowHost &m_host;
    QString sCommandLine;
    ExtensionFilter m_ext;
    QFileSystemModel *m_fsModel = nullptr;
    bool m_shuttingDown = false;
};

} // namespace lumora
