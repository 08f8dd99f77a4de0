#include "support/FileOpsFixture.h"
#include "support/ViewerFixture.h"
#include "viewer/TypeRule.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>

#include <gtest/gtest.h>

using namespace lumora;
using Answer = Prompter::Answer;

namespace
{

// Records the default text the rename box was opened with.
class RecordingPrompter : public test::ScriptedPrompter
{
public:
    QStringList initials;
    std::optional<QString> inputText(QWidget *parent, const QString &title, const QString &prompt,
                                     const QString &initial) override
    {
        initials << initial;
        return ScriptedPrompter::inputText(parent, title, prompt, initial);
    }
};

struct Viewer {
    test::FileOpsFixture ops; // first: the Trash lives under its XDG_DATA_HOME
    test::TempDir dir;
    RecordingPrompter prompter;
    test::FakeBrowser browser;
    std::unique_ptr<platform::SqliteRegistryStore> registry;
    std::unique_ptr<frmViwer> viewer;
    QStringList files;

    explicit Viewer(int count)
    {
        // Windowed to begin with, whatever the stored setting of the machine.
        registry = std::make_unique<platform::SqliteRegistryStore>(
            dir.file(QStringLiteral("registry.db")));
        const QString key = QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings");
        registry->createKey(platform::RegistryRoot::LocalMachine, key);
        registry->setValue(platform::RegistryRoot::LocalMachine, key, QStringLiteral("FullScreen"),
                           {QStringLiteral("0"), platform::RegSz});
        ViewerContext ctx;
        ctx.registry = registry.get();
        ctx.prompter = &prompter;
        ctx.browser = &browser;
        ctx.fileOps = ops.services(prompter);
        viewer = std::make_unique<frmViwer>(ctx);
        viewer->setPreloading(false);
        for (int i = 0; i < count; ++i)
            files << test::writeImage(dir, QStringLiteral("img%1.png").arg(i), 40 + i, 30,
                                      QColor::fromHsv(i * 50 % 360, 200, 200));
    }
    void view(int index) { viewer->ViewImage(files, index); }
    void run(const char *entry) { viewer->action(QString::fromLatin1(entry))->trigger(); }
    QString caption(const QString &path) const { return viewerCaption(path); }
    int questionsAsked(const QString &kind) const
    {
        int n = 0;
        for (const auto &a : prompter.asked)
            n += a.kind == kind;
        return n;
    }
};

} // namespace

TEST(ViewerFileOps, DeleteAsksThenTrashesAndShowsTheNextEntry)
{
    Viewer v(5);
    v.view(2);
    v.prompter.answers = {Answer::No};
    v.run("mnuDelete");
    EXPECT_TRUE(QFile::exists(v.files[2])); // said no: nothing happens
    EXPECT_EQ(v.viewer->pathList().size(), 5);
    EXPECT_TRUE(v.browser.refreshed.isEmpty());
    ASSERT_EQ(v.questionsAsked(QStringLiteral("message")), 1);
    EXPECT_EQ(v.prompter.asked.last().buttons, Prompter::Buttons::YesNo);

    const QByteArray bytes = test::fileBytes(v.files[2]);
    v.prompter.answers = {Answer::Yes};
    v.run("mnuDelete");
    EXPECT_FALSE(QFile::exists(v.files[2]));
    ASSERT_EQ(v.ops.trashed(), QStringList{QStringLiteral("img2.png")});
    EXPECT_TRUE(v.ops.hasTrashInfo(QStringLiteral("img2.png")));
    EXPECT_EQ(test::fileBytes(v.ops.trashFolder() + QStringLiteral("/files/img2.png")), bytes);

    const QStringList left = {v.files[0], v.files[1], v.files[3], v.files[4]};
    EXPECT_EQ(v.viewer->pathList(), left);
    EXPECT_EQ(v.viewer->currentIndex(), 2);
    EXPECT_EQ(v.viewer->windowTitle(), v.caption(v.files[3]));
    EXPECT_EQ(v.viewer->ImgX->document()->ImageWidth(), 43);
    ASSERT_EQ(v.browser.refreshed.size(), 1);
    EXPECT_EQ(v.browser.refreshed[0], qMakePair(v.files[2], QString()));
}

TEST(ViewerFileOps, DeletingTheFirstOrTheLastEntry)
{
    Viewer v(3);
    v.view(0);
    v.prompter.answers = {Answer::Yes};
    v.run("mnuDelete");
    EXPECT_EQ(v.viewer->pathList(), (QStringList{v.files[1], v.files[2]}));
    EXPECT_EQ(v.viewer->currentIndex(), 0);
    EXPECT_EQ(v.viewer->windowTitle(), v.caption(v.files[1]));

    // The last of the list: the first entry is shown.
    Viewer w(3);
    w.view(2);
    w.prompter.answers = {Answer::Yes};
    w.run("mnuDelete");
    EXPECT_FALSE(QFile::exists(w.files[2]));
    EXPECT_EQ(w.viewer->pathList(), (QStringList{w.files[0], w.files[1]}));
    EXPECT_EQ(w.viewer->currentIndex(), 0);
    EXPECT_EQ(w.viewer->windowTitle(), w.caption(w.files[0]));
}

TEST(ViewerFileOps, DeleteKeyOnlyInFullScreen)
{
    Viewer v(3);
    v.view(1);
    // Windowed, the key is left to the menu's shortcut.
    EXPECT_FALSE(v.viewer->handleKey(Qt::Key_Delete, Qt::NoModifier));
    EXPECT_TRUE(QFile::exists(v.files[1]));
    EXPECT_TRUE(v.prompter.asked.isEmpty());

    v.viewer->ToggleFullScreen();
    v.prompter.answers = {Answer::Yes};
    EXPECT_TRUE(v.viewer->handleKey(Qt::Key_Delete, Qt::NoModifier));
    EXPECT_FALSE(QFile::exists(v.files[1]));
    EXPECT_EQ(v.viewer->pathList().size(), 2);
    EXPECT_TRUE(v.viewer->isFullScreenFlag()); // the next image is shown full screen too
    EXPECT_EQ(v.viewer->windowTitle(), v.caption(v.files[2]));
}

TEST(ViewerFileOps, MoveToLeavesTheFolderAndCopyToKeepsEverything)
{
    Viewer v(3);
    const QString target = v.dir.mkdir(QStringLiteral("target")) + QLatin1Char('/');
    v.view(1);
    const QByteArray bytes = test::fileBytes(v.files[1]);

    v.ops.chooseFolder(target);
    v.run("mnuCopyTo");
    EXPECT_EQ(v.ops.chooserCaptions.last(), QStringLiteral("Copy To"));
    EXPECT_EQ(v.ops.chooserSources.last(), v.files[1]);
    EXPECT_EQ(test::fileBytes(target + QStringLiteral("img1.png")), bytes);
    EXPECT_TRUE(QFile::exists(v.files[1]));
    EXPECT_EQ(v.viewer->pathList(), v.files);
    EXPECT_EQ(v.viewer->currentIndex(), 1);
    EXPECT_TRUE(v.browser.refreshed.isEmpty());

    // Moving the copied name onto the copy is a collision; Cancel keeps both files.
    v.ops.acceptOffered();
    v.prompter.chosen = {-1};
    v.run("mnuMoveTo");
    EXPECT_EQ(v.ops.chooserOffered.last(), target); // remembered
    EXPECT_TRUE(QFile::exists(v.files[1]));
    EXPECT_EQ(v.viewer->pathList(), v.files);

    const QString other = v.dir.mkdir(QStringLiteral("other"));
    v.ops.chooseFolder(other); // typed without its separator
    v.run("mnuMoveTo");
    EXPECT_EQ(v.ops.chooserCaptions.last(), QStringLiteral("Move To"));
    EXPECT_FALSE(QFile::exists(v.files[1]));
    EXPECT_EQ(test::fileBytes(other + QStringLiteral("/img1.png")), bytes);
    EXPECT_EQ(v.viewer->pathList(), (QStringList{v.files[0], v.files[2]}));
    EXPECT_EQ(v.viewer->windowTitle(), v.caption(v.files[2]));
    ASSERT_EQ(v.browser.refreshed.size(), 1);
    EXPECT_EQ(v.browser.refreshed[0], qMakePair(v.files[1], QString()));
}

TEST(ViewerFileOps, CancelledChooserDoesNothingAndDoesNotStick)
{
    Viewer v(2);
    const QString target = v.dir.mkdir(QStringLiteral("t")) + QLatin1Char('/');
    v.view(0);
    v.ops.cancelChooser(target); // typed, then cancelled
    v.run("mnuCopyTo");
    EXPECT_FALSE(QFile::exists(target + QStringLiteral("img0.png")));
    EXPECT_TRUE(v.prompter.asked.isEmpty());

    v.ops.acceptOffered();
    v.run("mnuCopyTo");
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("img0.png")));
    EXPECT_EQ(v.ops.chooserShown, 2);
}

TEST(ViewerFileOps, RenameToAFreeNameKeepsThePicture)
{
    Viewer v(3);
    v.view(1);
    const QImage before = v.viewer->ImgX->document()->currentImage();
    v.prompter.inputs = {QStringLiteral("holiday.png")};
    v.run("mnuRename");
    ASSERT_EQ(v.prompter.asked.size(), 1);
    EXPECT_EQ(v.prompter.asked[0].title, QStringLiteral("Rename File"));
    EXPECT_EQ(v.prompter.asked[0].text, QStringLiteral("File Name:"));
    EXPECT_EQ(v.prompter.initials, QStringList{QStringLiteral("img1.png")});

    const QString renamed = v.dir.file(QStringLiteral("holiday.png"));
    EXPECT_FALSE(QFile::exists(v.files[1]));
    EXPECT_TRUE(QFile::exists(renamed));
    EXPECT_EQ(v.viewer->pathList(), (QStringList{v.files[0], renamed, v.files[2]}));
    EXPECT_EQ(v.viewer->currentIndex(), 1);
    EXPECT_EQ(v.viewer->windowTitle(), QStringLiteral("holiday.png- Lumora 2.1"));
    EXPECT_EQ(v.viewer->ImgX->document()->currentImage(), before);
    ASSERT_EQ(v.browser.refreshed.size(), 1);
    EXPECT_EQ(v.browser.refreshed[0], qMakePair(v.files[1], renamed));
}

TEST(ViewerFileOps, RenameRefusals)
{
    Viewer v(2);
    v.dir.mkdir(QStringLiteral("album"));
    v.view(0);
    // Cancel, an empty answer, the same name, a sub-folder's name.
    v.prompter.inputs = {std::nullopt, QString(), QStringLiteral("img0.png"),
                         QStringLiteral("album")};
    for (int i = 0; i < 4; ++i)
        v.run("mnuRename");
    EXPECT_EQ(v.questionsAsked(QStringLiteral("input")), 4);
    EXPECT_EQ(v.questionsAsked(QStringLiteral("message")), 0);
    EXPECT_EQ(v.questionsAsked(QStringLiteral("choose")), 0);
    EXPECT_TRUE(QFile::exists(v.files[0]));
    EXPECT_EQ(v.viewer->pathList(), v.files);
    EXPECT_EQ(v.viewer->windowTitle(), v.caption(v.files[0]));
    EXPECT_TRUE(v.browser.refreshed.isEmpty());

    // Onto the other file's name: asked, and Cancel leaves both as they were.
    const QByteArray other = test::fileBytes(v.files[1]);
    v.prompter.inputs = {QStringLiteral("img1.png")};
    v.prompter.chosen = {-1};
    v.run("mnuRename");
    EXPECT_EQ(v.questionsAsked(QStringLiteral("choose")), 1);
    EXPECT_TRUE(QFile::exists(v.files[0]));
    EXPECT_EQ(test::fileBytes(v.files[1]), other);
    EXPECT_EQ(v.viewer->pathList(), v.files);
}

TEST(ViewerFileOps, FromTheCommandLineTheBrowserIsNotTold)
{
    Viewer v(2);
    v.viewer->bCommand = true;
    v.view(0);
    v.prompter.inputs = {QStringLiteral("renamed.png")};
    v.run("mnuRename");
    EXPECT_TRUE(QFile::exists(v.dir.file(QStringLiteral("renamed.png"))));
    v.prompter.answers = {Answer::Yes};
    v.run("mnuDelete");
    EXPECT_EQ(v.viewer->pathList(), QStringList{v.files[1]});
    EXPECT_TRUE(v.browser.refreshed.isEmpty());
}

TEST(ViewerFileOps, TheOnlyEntryGoneClosesTheViewer)
{
    // Opened from the browser: back to it, nothing left to act on.
    Viewer v(1);
    v.view(0);
    QSignalSpy closed(v.viewer.get(), &frmViwer::viewerClosed);
    v.prompter.answers = {Answer::Yes};
    v.run("mnuDelete");
    EXPECT_FALSE(QFile::exists(v.files[0]));
    ASSERT_EQ(closed.count(), 1);
    EXPECT_FALSE(closed.at(0).at(0).toBool());
    EXPECT_EQ(v.browser.shown, 1);
    EXPECT_FALSE(v.viewer->isVisible());
    EXPECT_TRUE(v.viewer->pathList().isEmpty());
    v.prompter.asked.clear();
    v.run("mnuDelete"); // nothing to act on any more
    v.run("mnuRename");
    EXPECT_TRUE(v.prompter.asked.isEmpty());

    // From the command line: the program ends.
    Viewer c(1);
    c.viewer->bCommand = true;
    c.view(0);
    const QString target = c.dir.mkdir(QStringLiteral("out"));
    QSignalSpy ended(c.viewer.get(), &frmViwer::viewerClosed);
    c.ops.chooseFolder(target + QLatin1Char('/'));
    c.run("mnuMoveTo");
    EXPECT_TRUE(QFile::exists(target + QStringLiteral("/img0.png")));
    ASSERT_EQ(ended.count(), 1);
    EXPECT_TRUE(ended.at(0).at(0).toBool());
}

TEST(ViewerFileOps, CopyImagePutsPictureAndFileOnTheClipboard)
{
    Viewer v(2);
    v.view(1);
    QGuiApplication::clipboard()->clear();
    v.run("mnuCopyImage");
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    ASSERT_TRUE(data->hasImage());
    const QImage copied = qvariant_cast<QImage>(data->imageData());
    EXPECT_EQ(copied.size(), QSize(41, 30));
    EXPECT_EQ(copied.pixelColor(3, 3).rgb(), QImage(v.files[1]).pixelColor(3, 3).rgb());
    ASSERT_EQ(data->urls().size(), 1);
    EXPECT_EQ(data->urls()[0].toLocalFile(), v.files[1]);
    EXPECT_TRUE(QFile::exists(v.files[1]));
}

TEST(ViewerFileOps, RenameWithKeepBothFollowsTheNameTheFileReallyGot)
{
    // img1 renamed onto img2's name, answered Keep Both: the file is now
    // "img2 (2).png", and every part of the viewer says so; the other photo
    // (img2.png) is untouched and is not what a later Delete acts on.
    Viewer v(3);
    v.view(1);
    const QByteArray mine = test::fileBytes(v.files[1]);
    const QByteArray other = test::fileBytes(v.files[2]);
    v.prompter.inputs = {QStringLiteral("img2.png")};
    v.prompter.chosen = {0}; // Keep Both, the first button of a rename collision
    v.run("mnuRename");
    const QString kept = v.dir.file(QStringLiteral("img2 (2).png"));
    ASSERT_EQ(test::fileBytes(kept), mine);
    EXPECT_EQ(test::fileBytes(v.files[2]), other);
    ASSERT_EQ(v.questionsAsked(QStringLiteral("choose")), 1);
    EXPECT_EQ(v.prompter.asked.last().choices,
              (QStringList{QStringLiteral("Keep Both"), QStringLiteral("Cancel")}));
    EXPECT_EQ(v.viewer->pathList(), (QStringList{v.files[0], kept, v.files[2]}));
    EXPECT_EQ(v.viewer->windowTitle(), v.caption(kept));
    EXPECT_EQ(v.viewer->statusText(2), QStringLiteral("img2 (2).png"));
    EXPECT_EQ(v.viewer->ImgX->document()->ImageFilePath(), kept);
    ASSERT_EQ(v.browser.refreshed.size(), 1);
    EXPECT_EQ(v.browser.refreshed[0], qMakePair(v.files[1], kept));

    v.prompter.answers = {Answer::Yes};
    v.run("mnuDelete");
    EXPECT_FALSE(QFile::exists(kept));
    EXPECT_EQ(test::fileBytes(v.files[2]), other);
    EXPECT_TRUE(v.prompter.asked.last().text.contains(QStringLiteral("\"img2 (2).png\"")));
}

TEST(ViewerFileOps, CommandsActOnTheSlideOnScreenAndNextGoesOnFromIt)
{
    Viewer v(5);
    v.view(0);
    v.viewer->ToggleSlideShow();
    v.viewer->onSlideTimer();
    v.viewer->onSlideTimer(); // img2 on screen
    v.viewer->ToggleSlideShow();
    ASSERT_EQ(v.viewer->ImgX->document()->ImageFilePath(), v.files[2]);
    EXPECT_EQ(v.viewer->shownPath(), v.files[2]);

    // The question names what is on screen, and the answer acts on it.
    v.prompter.answers = {Answer::Yes};
    v.run("mnuDelete");
    ASSERT_FALSE(v.prompter.asked.isEmpty());
    EXPECT_TRUE(v.prompter.asked.last().text.contains(QStringLiteral("\"img2.png\"")));
    EXPECT_FALSE(QFile::exists(v.files[2]));
    EXPECT_TRUE(QFile::exists(v.files[0]));
    EXPECT_EQ(v.viewer->windowTitle(), v.caption(v.files[3]));

    // Copy Image carries the file on screen too.
    v.run("mnuCopyImage");
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->urls().size() == 1);
    EXPECT_EQ(data->urls()[0].toLocalFile(), v.files[3]);

    v.viewer->ShowNextImage();
    EXPECT_EQ(v.viewer->windowTitle(), v.caption(v.files[4]));
    v.viewer->ShowPreviousImage();
    v.viewer->ShowPreviousImage();
    EXPECT_EQ(v.viewer->windowTitle(), v.caption(v.files[1]));
}

TEST(ViewerFileOps, CtrlZPutsTheLastDeleteBackAndShowsIt)
{
    Viewer v(3);
    v.view(1);
    const QByteArray bytes = test::fileBytes(v.files[1]);
    v.prompter.answers = {Answer::Yes};
    v.run("mnuDelete");
    ASSERT_FALSE(QFile::exists(v.files[1]));
    ASSERT_EQ(v.ops.trashed(), QStringList{QStringLiteral("img1.png")});

    EXPECT_TRUE(v.viewer->handleKey(Qt::Key_Z, Qt::ControlModifier));
    EXPECT_EQ(test::fileBytes(v.files[1]), bytes);
    EXPECT_TRUE(v.ops.trashed().isEmpty());
    EXPECT_FALSE(v.ops.hasTrashInfo(QStringLiteral("img1.png")));
    EXPECT_EQ(v.viewer->pathList(), v.files);
    EXPECT_EQ(v.viewer->windowTitle(), v.caption(v.files[1]));
    EXPECT_EQ(v.browser.refreshed.last(), qMakePair(v.files[1], v.files[1]));

    // Nothing left to undo: nothing happens.
    EXPECT_TRUE(v.viewer->handleKey(Qt::Key_Z, Qt::ControlModifier));
    EXPECT_EQ(v.viewer->pathList(), v.files);

    // The place taken meanwhile: the file stays in the Trash, and the user hears why.
    v.prompter.answers = {Answer::Yes};
    v.run("mnuDelete");
    test::writeImage(v.dir, QStringLiteral("img1.png"), 9, 9);
    const int before = v.questionsAsked(QStringLiteral("message"));
    EXPECT_TRUE(v.viewer->handleKey(Qt::Key_Z, Qt::ControlModifier));
    EXPECT_EQ(v.questionsAsked(QStringLiteral("message")), before + 1);
    EXPECT_TRUE(v.prompter.asked.last().text.contains(QStringLiteral("stays in the Trash")));
    EXPECT_EQ(v.ops.trashed(), QStringList{QStringLiteral("img1.png")});
    EXPECT_TRUE(v.ops.hasTrashInfo(QStringLiteral("img1.png")));
    EXPECT_EQ(QImage(v.files[1]).width(), 9);
}
