// The file-operation service's questions as the user sees them, answered by script.

#include "dialogs/PromptedFileOpQuestions.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>

#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::ScriptedPrompter;
using Collision = platform::FileOpQuestions::Collision;

TEST(PromptedFileOpQuestionsTest, TrashAndDeleteNameOneFileOrCountSeveral)
{
    ScriptedPrompter p;
    PromptedFileOpQuestions q(p, nullptr);
    p.answers = {Prompter::Answer::Yes, Prompter::Answer::No};
    p.chosen = {0};
    EXPECT_TRUE(q.confirmTrash({"/x/holiday.jpg"}));
    EXPECT_FALSE(q.confirmTrash({"/x/a.jpg", "/x/b.jpg", "/x/c.jpg"}));
    EXPECT_TRUE(q.confirmDelete({"/x/a.jpg"}));
    ASSERT_EQ(p.asked.size(), 3);
    EXPECT_TRUE(p.asked[0].text.contains("\"holiday.jpg\""));
    EXPECT_TRUE(p.asked[0].text.contains("Trash"));
    EXPECT_EQ(p.asked[0].buttons, Prompter::Buttons::YesNo);
    EXPECT_TRUE(p.asked[1].text.contains("3 items"));
    EXPECT_TRUE(p.asked[2].text.contains("permanently"));
    // Deleting for good: Cancel is the default, and Escape or the close box give it.
    EXPECT_EQ(p.asked[2].choices, (QStringList{"Delete Permanently", "Cancel"}));
    EXPECT_EQ(p.asked[2].safe, 1);
    EXPECT_FALSE(q.confirmDelete({"/x/a.jpg"}));
    EXPECT_FALSE(q.confirmDelete({"/x/a.jpg", "/x/b.jpg"}));
    EXPECT_TRUE(p.asked.last().text.contains("2 items"));
}

TEST(PromptedFileOpQuestionsTest, CollisionButtonsMapToTheirAnswersAndCancelIsTheDefault)
{
    ScriptedPrompter p;
    PromptedFileOpQuestions q(p, nullptr);
    // One file: Replace, Skip, Keep Both, Cancel.
    p.chosen = {0, 1, 2, 3, -1};
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", false), Collision::Replace);
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", false), Collision::Skip);
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", false), Collision::KeepBoth);
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", false), Collision::Cancel);
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", false), Collision::Cancel); // Escape
    EXPECT_EQ(p.asked[0].choices, (QStringList{"Replace", "Skip", "Keep Both", "Cancel"}));
    EXPECT_EQ(p.asked[0].safe, 3);
    EXPECT_TRUE(p.asked[0].text.contains("\"x.jpg\" already exists in \"/b\""));
    // More to come: the "All" answers as well; Cancel stays the default.
    p.chosen = {1, 3};
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", true), Collision::ReplaceAll);
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", true), Collision::SkipAll);
    EXPECT_EQ(p.asked.last().choices,
              (QStringList{"Replace", "Replace All", "Skip", "Skip All", "Keep Both", "Cancel"}));
    EXPECT_EQ(p.asked.last().safe, 5);
}

TEST(PromptedFileOpQuestionsTest, CollisionShowsSizeAndTimeOfBothFiles)
{
    test::TempDir d;
    const QString mine = d.write("a/x.jpg", QByteArray(2048, 'a'));
    const QString theirs = d.write("b/x.jpg", QByteArray(3 * 1024 * 1024, 'b'));
    QFile f(theirs);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2019, 7, 4), QTime(8, 30, 15)),
                              QFileDevice::FileModificationTime));
    f.close();
    ScriptedPrompter p;
    PromptedFileOpQuestions q(p, nullptr);
    q.askCollision(mine, theirs, false);
    ASSERT_EQ(p.asked.size(), 1);
    const QString text = p.asked[0].text;
    EXPECT_TRUE(text.contains("Existing file: 3.0 MB, modified 2019-07-04 08:30:15"))
        << text.toStdString();
    EXPECT_TRUE(
        text.contains("2.0 kB, modified " + QFileInfo(mine).lastModified().toString("yyyy-MM-dd")))
        << text.toStdString();
}

TEST(PromptedFileOpQuestionsTest, RenameOntoATakenNameNeverOffersReplace)
{
    ScriptedPrompter p;
    PromptedFileOpQuestions q(p, nullptr);
    q.setOperation(5, "/d/i.jpg");
    p.chosen = {0, 1, -1};
    EXPECT_EQ(q.askCollision("/d/IMG_0002.jpg", "/d/i.jpg", false), Collision::KeepBoth);
    EXPECT_EQ(q.askCollision("/d/IMG_0002.jpg", "/d/i.jpg", false), Collision::Cancel);
    EXPECT_EQ(q.askCollision("/d/IMG_0002.jpg", "/d/i.jpg", false), Collision::Cancel);
    for (const auto &a : p.asked) {
        EXPECT_EQ(a.choices, (QStringList{"Keep Both", "Cancel"}));
        EXPECT_EQ(a.safe, 1);
        EXPECT_TRUE(a.text.contains("never replaces")) << a.text.toStdString();
    }
}

TEST(PromptedFileOpQuestionsTest, UntrashableOffersPermanentDeleteOnlyWhereItCanWork)
{
    test::TempDir d;
    const QString file = d.write("m/a.jpg");
    ScriptedPrompter p;
    PromptedFileOpQuestions q(p, nullptr);
    p.chosen = {1, 0, -1};
    EXPECT_FALSE(q.confirmDeleteUntrashable(file, "no Trash"));
    EXPECT_TRUE(q.confirmDeleteUntrashable(file, "no Trash"));
    EXPECT_FALSE(q.confirmDeleteUntrashable(file, "no Trash")); // Escape: kept
    EXPECT_EQ(p.asked[0].choices, (QStringList{"Delete Permanently", "Cancel"}));
    EXPECT_EQ(p.asked[0].safe, 1);
    EXPECT_TRUE(p.asked[0].text.contains("no Trash"));

    // A read-only folder: deleting would fail too, so it is not offered.
    const QString folder = d.file("m");
    ASSERT_TRUE(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
    if (QFileInfo(folder).isWritable())
        GTEST_SKIP() << "running as root: permissions do not bind";
    p.asked.clear();
    p.chosen = {0};
    EXPECT_FALSE(q.confirmDeleteUntrashable(file, "no Trash"));
    ASSERT_EQ(p.asked.size(), 1);
    EXPECT_EQ(p.asked[0].kind, "message");
    EXPECT_EQ(p.asked[0].buttons, Prompter::Buttons::Ok);
    EXPECT_TRUE(p.asked[0].text.contains("read-only")) << p.asked[0].text.toStdString();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST(PromptedFileOpQuestionsTest, ErrorsHaveATitleOfTheirOwn)
{
    ScriptedPrompter p;
    PromptedFileOpQuestions q(p, nullptr);
    const std::pair<int, const char *> titles[] = {{1, "Could Not Copy"},
                                                   {2, "Could Not Move to the Trash"},
                                                   {3, "Could Not Delete"},
                                                   {4, "Could Not Move"},
                                                   {5, "Could Not Rename"}};
    for (const auto &[op, title] : titles) {
        q.setOperation(op, "/t/");
        q.begin("Copying", 1, 10); // the progress title never reaches the error box
        q.showError("It broke.");
        q.end();
        EXPECT_EQ(p.asked.last().text, "It broke.");
        EXPECT_EQ(p.asked.last().title, title);
        EXPECT_EQ(p.asked.last().icon, Prompter::Icon::Critical);
    }
}

TEST(PromptedFileOpQuestionsTest, ProgressAppearsOnlyAfterTheDelay)
{
    ScriptedPrompter p;
    PromptedFileOpQuestions slow(p, nullptr);
    slow.setProgressDelay(60000);
    slow.begin("Copying", 2, 100);
    EXPECT_TRUE(slow.progress(0, 50, "/a/x.jpg"));
    EXPECT_FALSE(slow.progressShown());
    slow.end();

    PromptedFileOpQuestions quick(p, nullptr);
    quick.setProgressDelay(0);
    quick.begin("Copying", 2, 100);
    EXPECT_TRUE(quick.progress(0, 50, "/a/x.jpg"));
    ASSERT_TRUE(quick.progressShown());
    // The user presses Cancel: the next progress answers stop.
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *d = qobject_cast<QProgressDialog *>(w))
            d->cancel();
    EXPECT_FALSE(quick.progress(1, 60, "/a/y.jpg"));
    quick.end();
    EXPECT_FALSE(quick.progressShown());
}

TEST(PromptedFileOpQuestionsTest, ProgressNamesTheDestinationAndTheSizes)
{
    test::TempDir d;
    ScriptedPrompter p;
    PromptedFileOpQuestions q(p, nullptr);
    q.setProgressDelay(0);
    q.setOperation(1, d.path() + "/");
    q.begin("Copying", 3, 3 * 1024 * 1024);
    EXPECT_TRUE(q.progress(1, 1024 * 1024, "/a/y.jpg"));
    ASSERT_TRUE(q.progressShown());
    const QString label = q.progressDialog()->findChild<QLabel *>()->text();
    EXPECT_TRUE(label.contains("2 of 3: y.jpg")) << label.toStdString();
    EXPECT_TRUE(label.contains("To: " + d.path())) << label.toStdString();
    EXPECT_TRUE(label.contains("1.0 MB of 3.0 MB")) << label.toStdString();
    // The figure is drawn in the window's text colour, not a faded one.
    const auto *bar = q.progressDialog()->findChild<QProgressBar *>();
    ASSERT_TRUE(bar);
    EXPECT_TRUE(bar->isTextVisible());
    EXPECT_EQ(bar->palette().color(QPalette::Text), bar->palette().color(QPalette::WindowText));
    EXPECT_EQ(bar->palette().color(QPalette::HighlightedText),
              bar->palette().color(QPalette::WindowText));
    q.end();
    // Deleting has no destination to name.
    q.setOperation(2);
    q.begin("Moving to the Trash", 2, 0);
    EXPECT_FALSE(q.progressText(0, 0, "/a/x.jpg").contains("To:"));
    q.end();
}
