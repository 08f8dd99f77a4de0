#pragma once

#include "app/Splash.h"
#include "app/frmMain.h"
#include "dialogs/Skin.h"
#include "explorer/ExtensionFilter.h"
#include "explorer/ImageExplore.h"
#include "platform/SqliteRegistryStore.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "viewer/frmViwer.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QTest>

#include <memory>

namespace lumora::test
{

// The application object as the browser sees it, with a real viewer, a
// scripted prompter, a registry in a temporary file and a folder tree whose
// places are folders of the test.
class TestWindowHost : public WindowHost
{
public:
    ScriptedPrompter prompts;
    Skin skinSheet;
    Splash splashScreen;
    std::unique_ptr<platform::SqliteRegistryStore> registry;
    QList<FolderTreeModel::Place> places;
    QPointer<frmViwer> viewerWindow;
    BrowserLink *browser = nullptr;
    int terminated = 0;
    int viewersMade = 0;

    frmViwer *viewer() override
    {
        if (!viewerWindow) {
            ViewerContext ctx;
            ctx.prompter = &prompts;
            ctx.browser = browser;
            ctx.registry = registry.get();
            viewerWindow = new frmViwer(ctx);
            ++viewersMade;
        }
        return viewerWindow;
    }
    frmViwer *existingViewer() override { return viewerWindow; }
    void unloadViewer() override { delete viewerWindow.data(); }
    void unloadFolderChooser() override {}
    void terminate() override { ++terminated; }
    bool anotherInstanceRuns() override { return false; }
    Skin &skin() override { return skinSheet; }
    Splash &splash() override { return splashScreen; }
    QString programFolder() override { return QStringLiteral(LUMORA_SAMPLES "/.."); }
    Prompter &prompter() override { return prompts; }
    QList<FolderTreeModel::Place> folderPlaces() override { return places; }
};

// A browser over a temporary folder tree:
//   home/Photos/{Trips/, Winter/, a.png, b.jpg, c.png, broken.jpg}
//   Desktop/
struct BrowserFixture {
    TempDir dir;
    TestWindowHost host;
    std::unique_ptr<frmMain> main;
    QString home, desktop, photos, trips, winter;

    BrowserFixture()
    {
        home = dir.mkdir(QStringLiteral("home"));
        desktop = dir.mkdir(QStringLiteral("Desktop"));
        photos = dir.mkdir(QStringLiteral("home/Photos"));
        trips = dir.mkdir(QStringLiteral("home/Photos/Trips"));
        winter = dir.mkdir(QStringLiteral("home/Photos/Winter"));
        picture(QStringLiteral("home/Photos/a.png"), 120, 80, Qt::red);
        picture(QStringLiteral("home/Photos/b.jpg"), 64, 48, Qt::green);
        picture(QStringLiteral("home/Photos/c.png"), 2000, 1500, Qt::blue);
        dir.write(QStringLiteral("home/Photos/broken.jpg"),
                  QByteArray("\xff\xd8\xff\xe0 not really", 16));
        picture(QStringLiteral("home/Photos/Trips/t1.png"), 50, 50, Qt::yellow);

        host.registry = std::make_unique<platform::SqliteRegistryStore>(
            dir.file(QStringLiteral("registry.db")));
        const QString key = QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings");
        host.registry->createKey(platform::RegistryRoot::LocalMachine, key);
        host.registry->setValue(platform::RegistryRoot::LocalMachine, key,
                                QStringLiteral("FullScreen"),
                                {QStringLiteral("0"), platform::RegSz});
        host.places = {
            {FolderTreeModel::Kind::Desktop, QStringLiteral("Desktop"), desktop},
            {FolderTreeModel::Kind::Home, QStringLiteral("Home"), home},
            {FolderTreeModel::Kind::Root, QStringLiteral("File System"), QStringLiteral("/")}};
        main = std::make_unique<frmMain>(host);
        host.browser = main.get();
    }
    ~BrowserFixture()
    {
        delete host.viewerWindow.data();
        main.reset();
    }

    // Shows the window as the start-up does, without a command line.
    void show()
    {
        main->ImageExplore1->SetExt(QString::fromLatin1(kExplorerExtensions));
        main->showBrowser();
        (void)QTest::qWaitForWindowExposed(main.get());
    }

    QString picture(const QString &rel, int w, int h, QColor color)
    {
        QImage img(w, h, QImage::Format_RGB32);
        img.fill(color);
        const QString p = dir.file(rel);
        img.save(p);
        return p;
    }
    QString file(const QString &rel) const { return dir.file(rel); }
};

} // namespace lumora::test
