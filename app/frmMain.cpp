#include "app/frmMain.h"

#include "app/Splash.h"
#include "app/StartupHelpers.h"
#include "dialogs/Skin.h"
#include "imaging/ImageView.h"
#include "viewer/frmViwer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QPushButton>
#include <QSplitter>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace lumora {

frmMain::frmMain(WindowHost &host, QWidget *parent) : QMainWindow(parent), m_host(host)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Lumora"));
    buildUi();
}

frmMain::~frmMain() = default;

void frmMain::buildUi()
{
    Splitter2 = new QSplitter(Qt::Horizontal, this);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));

    TV1 = new QTreeView(Splitter2);
    TV1->setObjectName(QStringLiteral("TV1"));
    m_fsModel = new QFileSystemModel(this);
    m_fsModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    TV1->setModel(m_fsModel);
    for (int c = 1; c < m_fsModel->columnCount(); ++c)
        TV1->hideColumn(c);
    TV1->header()->hide();

    container = new QWidget(Splitter2);
    container->setObjectName(QStringLiteral("container"));
    auto *box = new QVBoxLayout(container);
    box->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new QSplitter(Qt::Vertical, container);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    box->addWidget(Splitter1, 1);
    ImgX = new imaging::ImageView(Splitter1);
    ImgX->setObjectName(QStringLiteral("ImgX"));
    ImgX->setDisplayMode(0);

    Toolbar = new QToolBar(container);
    Toolbar->setObjectName(QStringLiteral("Toolbar"));
    box->addWidget(Toolbar);

    setCentralWidget(Splitter2);
    resize(1100, 720);
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
}

bool frmMain::Form_Load(const QString &commandLine)
{
    if (m_host.anotherInstanceRuns())
        return false;

    const QString folder = m_host.programFolder();
    m_host.splash().ShowSplash(folder + QStringLiteral("/viewer.spl"));
    QApplication::setApplicationName(QStringLiteral("Lumora"));
    QApplication::setApplicationDisplayName(QStringLiteral("Lumora"));

    // A missing or broken skin leaves the default look; start-up goes on.
    m_host.skin().LoadSkin(folder + QStringLiteral("/ORXMain.skn"));
    applySkinInOrder();

    m_ext.SetExt(QString::fromLatin1(kExplorerExtensions));
    sCommandLine = commandLine;

    // The association switches and the association check come with the
    // association workflow; until then the switches only end the program.
    if (sCommandLine == QLatin1String("/Associate") || sCommandLine == QLatin1String("/DeAssociate")) {
        m_host.splash().CloseSplash(0);
        return false;
    }

    if (PathExists(sCommandLine)) {
        viewFromCommandLine(sCommandLine);
        return true;
    }
    showBrowser();
    m_host.splash().CloseSplash(0, this);
    return true;
}

void frmMain::viewFromCommandLine(const QString &commandPath)
{
    // A relative path from a terminal is taken from the current folder.
    const QString path = QFileInfo(commandPath).isRelative() ? QFileInfo(commandPath).absoluteFilePath()
                                                             : commandPath;
    hide();
    QString folder = GetParentFolderName(path);
    const QStringList list = m_ext.GetImageList(folder, QStringLiteral("*.*"));
    if (list.isEmpty()) {
        // Nothing to view there: browse that folder instead.
        showBrowser();
        CheckPath(folder + QStringLiteral("/"));
        m_host.splash().CloseSplash(0, this);
        return;
    }
    frmViwer *viewer = m_host.viewer();
    viewer->ImgX->setZoom(1.0);
    viewer->bCommand = true;
    int index = FindImageIndex(list, path);
    viewer->ViewImage(list, index);
    m_host.splash().CloseSplash(0, viewer);
    for (int i = 0; i < 9; ++i)
        QCoreApplication::processEvents();
}

void frmMain::showBrowser()
{
    show();
    raise();
    activateWindow();
}

void frmMain::CheckPath(const QString &s)
{
    const QString folder = GetParentFolderName(s);
    const QModelIndex idx = m_fsModel->index(folder);
    if (idx.isValid()) {
        TV1->setCurrentIndex(idx);
        TV1->scrollTo(idx);
    }
}

void frmMain::RefreshImages(const QString &, const QString &) {}

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

} // namespace lumora
