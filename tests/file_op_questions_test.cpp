// The file-operation service's questions as the user sees them, answered by script.

#include "dialogs/PromptedFileOpQuestions.h"
#include "support/ScriptedPrompter.h"

#include <QApplication>
#include <QProgressDialog>

#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::ScriptedPrompter;
using Collision = platform::FileOpQuestions::Collision;

TEST(PromptedFileOpQuestionsTest, TrashAndDeleteNameOneFileOrCountSeveral)
{
    ScriptedPrompter p;
    PromptedFileOpQuestions q(p, nullptr);
    p.answers = {Prompter::Answer::Yes, Prompter::Answer::No, Prompter::Answer::Yes};
    EXPECT_TRUE(q.confirmTrash({"/x/holiday.jpg"}));
    EXPECT_FALSE(q.confirmTrash({"/x/a.jpg", "/x/b.jpg", "/x/c.jpg"}));
    EXPECT_TRUE(q.confirmDelete({"/x/a.jpg"}));
    ASSERT_EQ(p.asked.size(), 3);
    EXPECT_TRUE(p.asked[0].text.contains("\"holiday.jpg\""));
    EXPECT_TRUE(p.asked[0].text.contains("Trash"));
    EXPECT_EQ(p.asked[0].buttons, Prompter::Buttons::YesNo);
    EXPECT_TRUE(p.asked[1].text.contains("3 items"));
    EXPECT_TRUE(p.asked[2].text.contains("permanently"));
    // An unanswered (closed) box is a no.
    EXPECT_FALSE(q.confirmDelete({"/x/a.jpg"}));
}

TEST(PromptedFileOpQuestionsTest, CollisionButtonsMapToTheirAnswers)
{
    ScriptedPrompter p;
    PromptedFileOpQuestions q(p, nullptr);
    // One file: Replace, Skip, Keep Both, Cancel.
    p.chosen = {0, 1, 2, 3, -1};
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", false), Collision::Replace);
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", false), Collision::Skip);
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", false), Collision::KeepBoth);
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", false), Collision::Cancel);
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", false), Collision::Cancel);
    EXPECT_EQ(p.asked[0].choices, (QStringList{"Replace", "Skip", "Keep Both", "Cancel"}));
    EXPECT_TRUE(p.asked[0].text.contains("\"x.jpg\" already exists in \"/b\""));
    // More to come: the "All" answers as well.
    p.chosen = {1, 3};
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", true), Collision::ReplaceAll);
    EXPECT_EQ(q.askCollision("/a/x.jpg", "/b/x.jpg", true), Collision::SkipAll);
    EXPECT_EQ(p.asked.last().choices,
              (QStringList{"Replace", "Replace All", "Skip", "Skip All", "Keep Both", "Cancel"}));
}

TEST(PromptedFileOpQuestionsTest, UntrashableOffersPermanentDeleteOrCancel)
{
    ScriptedPrompter p;
    PromptedFileOpQuestions q(p, nullptr);
    p.chosen = {1, 0};
    EXPECT_FALSE(q.confirmDeleteUntrashable("/m/a.jpg", "no Trash"));
    EXPECT_TRUE(q.confirmDeleteUntrashable("/m/a.jpg", "no Trash"));
    EXPECT_EQ(p.asked[0].choices, (QStringList{"Delete Permanently", "Cancel"}));
    EXPECT_TRUE(p.asked[0].text.contains("no Trash"));
    q.showError("It broke.");
    EXPECT_EQ(p.asked.last().text, "It broke.");
    EXPECT_EQ(p.asked.last().icon, Prompter::Icon::Critical);
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
