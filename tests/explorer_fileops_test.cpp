#include "explorer/ExploreModel.h"
#include "explorer/ImageExplore.h"
#include "support/FileOpsFixture.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

using namespace lumora;
using Answer = Prompter::Answer;

namespace
{

struct Grid {
    test::FileOpsFixture ops; // first: the Trash lives under its XDG_DATA_HOME
    test::ScriptedPrompter prompter;
    ImageExplore control{prompter};
    test::TempDir dir;
    QStringList announced;
    int menusOpened = 0;
    QStringList menuEntries; // object names, in order
    QString pick;            // the entry the next menu answers with

    explicit Grid(int images)
    {
        QObject::connect(&control, &ImageExplore::CurrSelectedImage,
                         [this](const QString &p) { announced << p; });
        control.SetExt(QString::fromLatin1(kExplorerExtensions));
        control.setFileOperations(ops.services(prompter));
        control.trackMenu = [this](QMenu &menu, const QPoint &) -> QAction * {
            ++menusOpened;
            menuEntries.clear();
            QAction *chosen = nullptr;
            for (QAction *a : menu.actions()) {
                menuEntries << a->objectName();
                if (a->objectName() == pick)
                    chosen = a;
            }
            return chosen;
        };
        control.resize(1200, 500);
        control.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&control));
        for (int i = 1; i <= images; ++i) {
            QImage img(120 + i, 90, QImage::Format_RGB32);
            img.fill(QColor::fromHsv(i * 40, 200, 200));
            img.save(p(i));
        }
    }
    QString p(int i) const { return dir.file(QStringLiteral("p%1.png").arg(i)); }
    void list()
    {
        control.ExplorePath(dir.path());
        QCoreApplication::processEvents();
        announced.clear();
    }
    QListView *grid() { return control.grid(); }
    QStringList tags()
    {
        QStringList out;
        for (int i = 1; i <= control.itemCount(); ++i)
            out << control.itemPath(i);
        return out;
    }
    QPoint centre(int row) { return grid()->visualRect(control.model()->index(row)).center(); }
    void rightClick(int row, const char *entry)
    {
        pick = QString::fromLatin1(entry);
        QTest::mouseClick(grid()->viewport(), Qt::RightButton, {}, centre(row));
    }
    void pressDelete(Qt::KeyboardModifiers mods = {})
    {
        QTest::keyClick(grid(), Qt::Key_Delete, mods);
    }
    int selectedCount() { return int(grid()->selectionModel()->selectedRows().size()); }
    int asked(const QString &kind) const
    {
        int n = 0;
        for (const auto &a : prompter.asked)
            n += a.kind == kind;
        return n;
    }
};

} // namespace

TEST(ExplorerFileOps, ContextMenuOpensOnlyOverAnItem)
{
    Grid g(3);
    g.list();
    QMenu *menu = g.control.contextMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), QStringLiteral("MENU"));
    QStringList captions;
    for (QAction *a : menu->actions())
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(captions, (QStringList{"Copy Image", "-", "Copy To", "Move To", "Delete", "Rename"}));

    QTest::mouseClick(
        g.grid()->viewport(), Qt::RightButton, {},
        QPoint(g.grid()->viewport()->width() - 5, g.grid()->viewport()->height() - 5));
    EXPECT_EQ(g.menusOpened, 0);

    g.rightClick(2, "");
    EXPECT_EQ(g.menusOpened, 1);
    EXPECT_EQ(g.menuEntries, (QStringList{"mnuCopyImage", "mnuSep1", "mnuCopyTo", "mnuMoveTo",
                                          "mnuDelete", "mnuRename"}));
    EXPECT_EQ(g.control.SelectedIndex(), 2); // current before the menu opened
    EXPECT_EQ(g.selectedCount(), 1);
    EXPECT_TRUE(g.announced.isEmpty()); // the right button announces nothing
    EXPECT_TRUE(g.prompter.asked.isEmpty());
}

TEST(ExplorerFileOps, DeleteTheThirdOfFive)
{
    Grid g(5);
    g.list();
    g.control.SelectItem(3, false);
    g.announced.clear();
    const QByteArray bytes = test::fileBytes(g.p(3));
    g.prompter.answers = {Answer::Yes};
    g.pressDelete();
    EXPECT_FALSE(QFile::exists(g.p(3)));
    EXPECT_EQ(g.ops.trashed(), QStringList{QStringLiteral("p3.png")});
    EXPECT_TRUE(g.ops.hasTrashInfo(QStringLiteral("p3.png")));
    EXPECT_EQ(test::fileBytes(g.ops.trashFolder() + QStringLiteral("/files/p3.png")), bytes);
    EXPECT_EQ(g.tags(), (QStringList{g.p(1), g.p(2), g.p(4), g.p(5)}));
    EXPECT_EQ(g.control.SelectedIndex(), 1);
    EXPECT_EQ(g.selectedCount(), 1);
    // Announced by the removal, and again by the key's release.
    EXPECT_EQ(g.announced, (QStringList{g.p(2), g.p(2)}));
}

TEST(ExplorerFileOps, DeleteTheFirstSelectsNothing)
{
    Grid g(3);
    g.list();
    g.prompter.answers = {Answer::Yes};
    g.rightClick(0, "mnuDelete");
    EXPECT_FALSE(QFile::exists(g.p(1)));
    EXPECT_EQ(g.tags(), (QStringList{g.p(2), g.p(3)}));
    EXPECT_EQ(g.selectedCount(), 0);
    EXPECT_TRUE(g.announced.isEmpty());

    // Nothing selected now: Delete asks nothing and changes nothing.
    g.prompter.asked.clear();
    g.pressDelete();
    EXPECT_TRUE(g.prompter.asked.isEmpty());
    EXPECT_EQ(g.control.itemCount(), 2);
}

TEST(ExplorerFileOps, DeleteTheLastOfThreeAndAnsweredNo)
{
    Grid g(3);
    g.list();
    g.control.SelectItem(3, false);
    g.prompter.answers = {Answer::No};
    g.pressDelete();
    EXPECT_TRUE(QFile::exists(g.p(3)));
    EXPECT_EQ(g.control.itemCount(), 3);
    g.prompter.answers = {Answer::Yes};
    g.pressDelete();
    EXPECT_EQ(g.tags(), (QStringList{g.p(1), g.p(2)}));
    EXPECT_EQ(g.control.SelectedIndex(), 1);
    EXPECT_EQ(g.announced.last(), g.p(2));
}

TEST(ExplorerFileOps, ShiftDeleteIsForGood)
{
    Grid g(2);
    g.list();
    g.control.SelectItem(2, false);
    // The question's default (and Escape) keeps the file.
    g.pressDelete(Qt::ShiftModifier);
    EXPECT_TRUE(QFile::exists(g.p(2)));
    ASSERT_EQ(g.asked(QStringLiteral("choose")), 1);
    EXPECT_EQ(g.prompter.asked[0].choices,
              (QStringList{QStringLiteral("Delete Permanently"), QStringLiteral("Cancel")}));
    EXPECT_EQ(g.prompter.asked[0].safe, 1);
    EXPECT_EQ(g.tags(), (QStringList{g.p(1), g.p(2)}));

    g.prompter.chosen = {0};
    g.pressDelete(Qt::ShiftModifier);
    EXPECT_FALSE(QFile::exists(g.p(2)));
    EXPECT_TRUE(g.ops.trashed().isEmpty());
    ASSERT_EQ(g.asked(QStringLiteral("choose")), 2);
    EXPECT_TRUE(g.prompter.asked[1].text.contains(QStringLiteral("permanently")));
    EXPECT_EQ(g.tags(), QStringList{g.p(1)});
}

TEST(ExplorerFileOps, DeleteActsOnEverySelectedItemAndEachLeavesTheGrid)
{
    Grid g(4);
    g.list();
    g.control.SelectItem(2, false);
    QTest::mouseClick(g.grid()->viewport(), Qt::LeftButton, Qt::ControlModifier, g.centre(3));
    ASSERT_EQ(g.selectedCount(), 2);
    EXPECT_EQ(g.control.SelectedPaths(), g.p(2) + QChar(0) + g.p(4) + QChar(0));
    g.prompter.answers = {Answer::Yes};
    g.pressDelete();
    EXPECT_FALSE(QFile::exists(g.p(2)));
    EXPECT_FALSE(QFile::exists(g.p(4)));
    EXPECT_EQ(g.ops.trashed(), (QStringList{QStringLiteral("p2.png"), QStringLiteral("p4.png")}));
    // Every item that left goes, not only the current one (p4); the one
    // before the current item becomes current, as with one item.
    EXPECT_EQ(g.tags(), (QStringList{g.p(1), g.p(3)}));
    EXPECT_EQ(g.control.SelectedIndex(), 1);
    EXPECT_EQ(g.announced.last(), g.p(3));
}

TEST(ExplorerFileOps, DeleteAfterArrowKeysDuringAListingActsOnOneItem)
{
    Grid g(45); // the listing lets events run at items 1, 21 and 41
    QObject::connect(&g.control, &ImageExplore::listingYield, [&](int pos, int) {
        if (pos > 1) {
            QTest::keyClick(g.grid(), Qt::Key_Right);
            QTest::keyClick(g.grid(), Qt::Key_Right);
        }
    });
    g.list();
    ASSERT_EQ(g.selectedCount(), 1);
    const int row = g.control.SelectedIndex();
    const QString current = g.control.itemPath(row + 1);
    g.prompter.answers = {Answer::Yes};
    g.pressDelete();
    ASSERT_EQ(g.asked(QStringLiteral("message")), 1);
    EXPECT_TRUE(g.prompter.asked[0].text.contains(QFileInfo(current).fileName()));
    EXPECT_EQ(g.ops.trashed().size(), 1);
    EXPECT_FALSE(QFile::exists(current));
    EXPECT_EQ(g.control.itemCount(), 44);
}

TEST(ExplorerFileOps, CopyToLeavesTheGridMoveToTakesTheItemOut)
{
    Grid g(3);
    const QString target = g.ops.home.mkdir(QStringLiteral("target"));
    g.list();
    g.ops.chooseFolder(target + QLatin1Char('/'));
    g.rightClick(1, "mnuCopyTo");
    EXPECT_EQ(g.ops.chooserCaptions.last(), QStringLiteral("Copy To"));
    EXPECT_EQ(g.ops.chooserSources.last(), g.p(2));
    EXPECT_EQ(test::fileBytes(target + QStringLiteral("/p2.png")), test::fileBytes(g.p(2)));
    EXPECT_EQ(g.tags(), (QStringList{g.p(1), g.p(2), g.p(3)}));

    g.announced.clear();
    const QByteArray bytes = test::fileBytes(g.p(3));
    g.ops.chooseFolder(target); // typed without the separator
    g.rightClick(2, "mnuMoveTo");
    EXPECT_EQ(g.ops.chooserCaptions.last(), QStringLiteral("Move To"));
    EXPECT_EQ(g.ops.chooserOffered.last(), target + QLatin1Char('/'));
    EXPECT_FALSE(QFile::exists(g.p(3)));
    EXPECT_EQ(test::fileBytes(target + QStringLiteral("/p3.png")), bytes);
    EXPECT_EQ(g.tags(), (QStringList{g.p(1), g.p(2)}));
    EXPECT_EQ(g.control.SelectedIndex(), 1);
    EXPECT_EQ(g.announced, QStringList{g.p(2)});

    // Cancelled chooser: nothing; the next Move To is not cancelled by it.
    g.ops.cancelChooser();
    g.rightClick(0, "mnuMoveTo");
    EXPECT_TRUE(QFile::exists(g.p(1)));
    g.ops.acceptOffered();
    g.rightClick(0, "mnuMoveTo");
    EXPECT_FALSE(QFile::exists(g.p(1)));
    EXPECT_EQ(g.tags(), QStringList{g.p(2)});
}

TEST(ExplorerFileOps, RenameKeepsThePlace)
{
    Grid g(3);
    g.dir.mkdir(QStringLiteral("sub"));
    g.list(); // sub, p1, p2, p3
    ASSERT_EQ(g.control.itemCount(), 4);
    g.prompter.inputs = {QStringLiteral("zebra.png")};
    g.rightClick(2, "mnuRename");
    ASSERT_EQ(g.asked(QStringLiteral("input")), 1);
    EXPECT_EQ(g.prompter.asked[0].title, QStringLiteral("Rename File"));
    EXPECT_EQ(g.prompter.asked[0].text, QStringLiteral("File Name:"));
    const QString renamed = g.dir.file(QStringLiteral("zebra.png"));
    EXPECT_TRUE(QFile::exists(renamed));
    EXPECT_FALSE(QFile::exists(g.p(2)));
    EXPECT_EQ(g.control.itemPath(3), renamed);
    EXPECT_EQ(g.control.model()->data(g.control.model()->index(2), Qt::DisplayRole).toString(),
              QStringLiteral("zebra.png"));
    EXPECT_EQ(g.control.SelectedIndex(), 2);

    // Same name, empty, Cancel, a folder's name: no request at all.
    g.prompter.asked.clear();
    g.prompter.inputs = {QStringLiteral("zebra.png"), QString(), std::nullopt,
                         QStringLiteral("sub")};
    for (int i = 0; i < 4; ++i)
        g.rightClick(2, "mnuRename");
    EXPECT_EQ(g.asked(QStringLiteral("input")), 4);
    EXPECT_EQ(g.prompter.asked.size(), 4);
    EXPECT_TRUE(QFile::exists(renamed));
    EXPECT_EQ(g.control.itemPath(3), renamed);

    // A name with a separator is refused by the service with a message.
    g.prompter.asked.clear();
    g.prompter.inputs = {QStringLiteral("sub/x.png")};
    g.rightClick(2, "mnuRename");
    EXPECT_TRUE(QFile::exists(renamed));
    EXPECT_FALSE(QFile::exists(g.dir.file(QStringLiteral("sub/x.png"))));
    EXPECT_EQ(g.asked(QStringLiteral("message")), 1);
    EXPECT_EQ(g.control.itemPath(3), renamed);
}

TEST(ExplorerFileOps, CopyImageOfAnImageAndOfAFolder)
{
    Grid g(2);
    g.dir.mkdir(QStringLiteral("sub"));
    g.list();
    QGuiApplication::clipboard()->clear();
    g.rightClick(2, "mnuCopyImage");
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    ASSERT_TRUE(data && data->hasImage());
    EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).size(), QSize(122, 90));
    ASSERT_EQ(data->urls().size(), 1);
    EXPECT_EQ(data->urls()[0].toLocalFile(), g.p(2));
    EXPECT_TRUE(g.prompter.asked.isEmpty());
    EXPECT_EQ(g.control.itemCount(), 3);

    // A folder is no picture: the clipboard keeps what it had, and the user is told.
    g.rightClick(0, "mnuCopyImage");
    EXPECT_EQ(g.asked(QStringLiteral("message")), 1);
    EXPECT_EQ(qvariant_cast<QImage>(QGuiApplication::clipboard()->mimeData()->imageData()).size(),
              QSize(122, 90));
}

TEST(ExplorerFileOps, RenameWithKeepBothShowsTheNumberedName)
{
    Grid g(3);
    g.list();
    g.control.SelectItem(1, false);
    const QByteArray mine = test::fileBytes(g.p(1));
    const QByteArray other = test::fileBytes(g.p(2));
    g.prompter.inputs = {QStringLiteral("p2.png")};
    g.prompter.chosen = {0}; // Keep Both
    g.rightClick(0, "mnuRename");
    const QString kept = g.dir.file(QStringLiteral("p2 (2).png"));
    ASSERT_EQ(test::fileBytes(kept), mine);
    EXPECT_EQ(test::fileBytes(g.p(2)), other);
    // One item per file, each named as on disk; the renamed one keeps its place.
    EXPECT_EQ(g.tags(), (QStringList{kept, g.p(2), g.p(3)}));
    EXPECT_EQ(g.control.model()->data(g.control.model()->index(0), Qt::DisplayRole).toString(),
              QStringLiteral("p2 (2).png"));

    // Shift+Delete on it now destroys the renamed photo, never the other one.
    g.control.SelectItem(1, false);
    g.prompter.chosen = {0};
    g.pressDelete(Qt::ShiftModifier);
    EXPECT_FALSE(QFile::exists(kept));
    EXPECT_EQ(test::fileBytes(g.p(2)), other);
    EXPECT_EQ(g.tags(), (QStringList{g.p(2), g.p(3)}));
}

TEST(ExplorerFileOps, MoveOfSeveralCancelledPartWayShowsWhatWasDone)
{
    // Three selected, moved into a folder that already holds the second:
    // the first moves, Cancel at the collision stops there. The grid loses
    // exactly the item that left, and the count follows.
    Grid g(4);
    const QString target = g.dir.mkdir(QStringLiteral("zz-target"));
    QFile::copy(g.p(2), target + QStringLiteral("/p2.png"));
    g.list();
    int removedSignals = 0;
    QObject::connect(&g.control, &ImageExplore::itemRemoved, [&] { ++removedSignals; });
    const int folderItems = 1;
    g.control.SelectItem(folderItems + 1, false);
    QTest::mouseClick(g.grid()->viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      g.centre(folderItems + 2));
    ASSERT_EQ(g.selectedCount(), 3);
    g.ops.chooseFolder(target + QLatin1Char('/'));
    g.prompter.chosen = {-1}; // the collision box closed: Cancel
    g.rightClick(folderItems + 2, "mnuMoveTo");
    EXPECT_FALSE(QFile::exists(g.p(1)));
    EXPECT_TRUE(QFile::exists(g.p(2)));
    EXPECT_TRUE(QFile::exists(g.p(3)));
    EXPECT_EQ(g.tags(), (QStringList{target, g.p(2), g.p(3), g.p(4)}));
    EXPECT_GE(removedSignals, 1);
}

TEST(ExplorerFileOps, TheGridFollowsItsFolderOnDisk)
{
    Grid g(3);
    g.control.setSyncDelay(0);
    g.list();
    g.control.SelectItem(3, false);
    // Another program adds one file and removes another.
    QImage img(20, 20, QImage::Format_RGB32);
    img.fill(Qt::blue);
    ASSERT_TRUE(img.save(g.dir.file(QStringLiteral("p10.png"))));
    ASSERT_TRUE(QFile::remove(g.p(2)));
    const QStringList want = {g.p(1), g.p(3), g.dir.file(QStringLiteral("p10.png"))};
    for (int i = 0; i < 200 && g.tags() != want; ++i)
        QTest::qWait(5);
    EXPECT_EQ(g.tags(), want); // natural name order: p10 after p3
    EXPECT_EQ(g.control.itemPath(g.control.SelectedIndex() + 1), g.p(3)); // still current

    // Copy To its own folder, Keep Both: the copy appears beside it at once.
    g.ops.chooseFolder(g.dir.path() + QLatin1Char('/'));
    g.prompter.chosen = {2}; // Replace, Skip, Keep Both, Cancel
    g.rightClick(1, "mnuCopyTo");
    EXPECT_TRUE(QFile::exists(g.dir.file(QStringLiteral("p3 (2).png"))));
    EXPECT_TRUE(g.tags().contains(g.dir.file(QStringLiteral("p3 (2).png"))));
    EXPECT_EQ(g.tags().size(), 4);
}

TEST(ExplorerFileOps, CtrlZBringsTheLastDeleteBack)
{
    Grid g(3);
    g.list();
    g.control.SelectItem(2, false);
    QTest::mouseClick(g.grid()->viewport(), Qt::LeftButton, Qt::ControlModifier, g.centre(2));
    const QByteArray two = test::fileBytes(g.p(2));
    const QByteArray three = test::fileBytes(g.p(3));
    g.prompter.answers = {Answer::Yes};
    g.pressDelete();
    ASSERT_EQ(g.tags(), QStringList{g.p(1)});
    QTest::keyClick(g.grid(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(test::fileBytes(g.p(2)), two);
    EXPECT_EQ(test::fileBytes(g.p(3)), three);
    EXPECT_TRUE(g.ops.trashed().isEmpty());
    EXPECT_EQ(g.tags(), (QStringList{g.p(1), g.p(2), g.p(3)}));
    EXPECT_EQ(g.announced.last(), g.p(2));
}

TEST(ExplorerFileOps, NamesThatAreNotTextAreListedWithTheReason)
{
    Grid g(2);
    const QByteArray raw = QFile::encodeName(g.dir.path()) + "/caf\xe9.png";
    {
        ASSERT_TRUE(QFile::copy(g.p(1), g.dir.file(QStringLiteral("tmp.png"))));
        ASSERT_EQ(::rename(QFile::encodeName(g.dir.file(QStringLiteral("tmp.png"))).constData(),
                           raw.constData()),
                  0);
    }
    g.list();
    ASSERT_EQ(g.control.itemCount(), 3);
    const QString shown = g.control.itemPath(3);
    EXPECT_TRUE(shown.endsWith(QStringLiteral("caf\uFFFD.png"))) << shown.toStdString();
    EXPECT_TRUE(g.control.isUndecodable(shown));
    const QString tip =
        g.control.model()->data(g.control.model()->index(2), Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains(QStringLiteral("not valid text"))) << tip.toStdString();

    // Acting on it is refused with the reason; the file stays as it is.
    g.control.SelectItem(3, false);
    g.pressDelete();
    ASSERT_EQ(g.asked(QStringLiteral("message")), 1);
    EXPECT_TRUE(g.prompter.asked.last().text.contains(QStringLiteral("not valid text")));
    struct stat st;
    EXPECT_EQ(::stat(raw.constData(), &st), 0);
    EXPECT_EQ(g.control.itemCount(), 3);
}

TEST(ExplorerFileOps, CopyOfASelectionWithoutTheCurrentItemKeepsEachName)
{
    // Ctrl+click twice on p3: p3 is current but no longer selected; only p2
    // is. Copy To must copy p2 under its own name, not as "p3.png".
    Grid g(3);
    test::TempDir target;
    g.list();
    g.control.SelectItem(2, false);
    QTest::mouseClick(g.grid()->viewport(), Qt::LeftButton, Qt::ControlModifier, g.centre(2));
    QTest::mouseClick(g.grid()->viewport(), Qt::LeftButton, Qt::ControlModifier, g.centre(2));
    ASSERT_EQ(g.control.selectedPathList(), QStringList{g.p(2)});
    ASSERT_EQ(g.control.SelectedIndex(), 2);
    g.ops.chooseFolder(target.path() + QLatin1Char('/'));
    g.control.contextMenu()->findChild<QAction *>(QStringLiteral("mnuCopyTo"))->trigger();
    EXPECT_EQ(test::fileBytes(target.file(QStringLiteral("p2.png"))), test::fileBytes(g.p(2)));
    EXPECT_FALSE(QFile::exists(target.file(QStringLiteral("p3.png"))));
}
