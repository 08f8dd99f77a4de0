#include "explorer/ExploreModel.h"
#include "explorer/ImageExplore.h"
#include "platform/FileOperations.h"
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
#include <memory>

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

namespace
{

struct RawNamed {
    Grid g{2};
    QByteArray folder;
    QByteArray raw; // the photo's real name: "caf" 0xE9 ".png", Latin-1 from an old disk
    QByteArray bytes;
    RawNamed()
    {
        folder = QFile::encodeName(g.dir.path()) + "/";
        raw = folder + "caf\xe9.png";
        bytes = test::fileBytes(g.p(1));
        EXPECT_EQ(::rename(QFile::encodeName(g.p(1)).constData(), raw.constData()), 0);
        g.list();
    }
    static bool there(const QByteArray &path)
    {
        struct stat st;
        return ::lstat(path.constData(), &st) == 0;
    }
    static QByteArray read(const QByteArray &path)
    {
        QByteArray out;
        if (FILE *f = std::fopen(path.constData(), "rb")) {
            char buf[4096];
            for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
                out.append(buf, qsizetype(n));
            std::fclose(f);
        }
        return out;
    }
    int rawRow() const { return g.control.itemCount(); } // listed last, 1-based
};

} // namespace

TEST(ExplorerFileOps, NamesThatAreNotTextAreListedWithTheReasonAndWorkedOnByTheirBytes)
{
    {
        RawNamed r;
        ASSERT_EQ(r.g.control.itemCount(), 2);
        const QString tag = r.g.control.itemPath(r.rawRow());
        EXPECT_EQ(platform::pathBytes(tag), r.raw); // the real bytes, not U+FFFD's
        EXPECT_TRUE(r.g.control.isUndecodable(tag));
        const QModelIndex i = r.g.control.model()->index(r.rawRow() - 1);
        EXPECT_EQ(r.g.control.model()->data(i, Qt::DisplayRole).toString(),
                  QStringLiteral("caf\uFFFD.png"));
        EXPECT_TRUE(r.g.control.model()
                        ->data(i, Qt::ToolTipRole)
                        .toString()
                        .contains(QStringLiteral("not valid text")));
        // A drag carries the real bytes.
        std::unique_ptr<QMimeData> drag(r.g.control.model()->mimeData({i}));
        ASSERT_TRUE(drag);
        EXPECT_TRUE(drag->data(QStringLiteral("text/uri-list")).contains("caf%E9.png"))
            << drag->data(QStringLiteral("text/uri-list")).constData();
        // Opening it cannot work: the reason is told, nothing opens.
        QStringList opened;
        QObject::connect(&r.g.control, &ImageExplore::ItemOpened,
                         [&](const QString &p, bool) { opened << p; });
        r.g.control.SelectItem(r.rawRow(), false);
        QTest::mouseDClick(r.g.grid()->viewport(), Qt::LeftButton, {}, r.g.centre(r.rawRow() - 1));
        EXPECT_TRUE(opened.isEmpty());
        ASSERT_EQ(r.g.asked(QStringLiteral("message")), 1);
        EXPECT_TRUE(r.g.prompter.asked.last().text.contains(QStringLiteral("caf\uFFFD.png")));

        // Delete sends those bytes to the Trash, and Ctrl+Z brings them back.
        r.g.prompter.asked.clear();
        r.g.control.SelectItem(r.rawRow(), false);
        r.g.prompter.answers = {Answer::Yes};
        r.g.pressDelete();
        ASSERT_EQ(r.g.asked(QStringLiteral("message")), 1);
        EXPECT_TRUE(r.g.prompter.asked.last().text.contains(QStringLiteral("caf\uFFFD.png")))
            << r.g.prompter.asked.last().text.toStdString();
        EXPECT_FALSE(RawNamed::there(r.raw));
        const QByteArray trashed = QFile::encodeName(r.g.ops.trashFolder()) + "/files/caf\xe9.png";
        EXPECT_EQ(RawNamed::read(trashed), r.bytes);
        EXPECT_TRUE(
            RawNamed::read(QFile::encodeName(r.g.ops.trashFolder()) + "/info/caf\xe9.png.trashinfo")
                .contains("/caf%E9.png\n"));
        EXPECT_EQ(r.g.control.itemCount(), 1);
        QTest::keyClick(r.g.grid(), Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(RawNamed::read(r.raw), r.bytes);
        EXPECT_FALSE(RawNamed::there(trashed));
        EXPECT_EQ(r.g.control.itemCount(), 2);
        EXPECT_EQ(platform::pathBytes(r.g.control.itemPath(r.rawRow())), r.raw);
    }
    {
        // Rename to a readable name: the file keeps its bytes, and the item
        // now shows a picture instead of the cross.
        RawNamed r;
        r.g.control.SelectItem(r.rawRow(), false);
        r.g.prompter.inputs = {QStringLiteral("cafe.png")};
        r.g.control.contextMenu()->findChild<QAction *>(QStringLiteral("mnuRename"))->trigger();
        EXPECT_FALSE(RawNamed::there(r.raw));
        EXPECT_EQ(test::fileBytes(r.g.dir.file(QStringLiteral("cafe.png"))), r.bytes);
        const QString renamed = r.g.dir.file(QStringLiteral("cafe.png"));
        EXPECT_TRUE(r.g.control.model()->findExactTag(renamed) >= 0);
        EXPECT_FALSE(r.g.control.isUndecodable(renamed));
        EXPECT_EQ(r.g.control.itemCount(), 2);
        // Given back as it was offered, the name is no new name: nothing is asked of the service.
        RawNamed again;
        again.g.control.SelectItem(again.rawRow(), false);
        again.g.prompter.inputs = {QStringLiteral("caf\uFFFD.png")};
        again.g.control.contextMenu()->findChild<QAction *>(QStringLiteral("mnuRename"))->trigger();
        EXPECT_EQ(RawNamed::read(again.raw), again.bytes);
        EXPECT_EQ(again.g.asked(QStringLiteral("message")), 0);
    }
    {
        // Copy To and Move To write the same bytes under the same name.
        RawNamed r;
        test::TempDir target;
        const QByteArray there = QFile::encodeName(target.path()) + "/caf\xe9.png";
        r.g.control.SelectItem(r.rawRow(), false);
        r.g.ops.chooseFolder(target.path() + QLatin1Char('/'));
        r.g.control.contextMenu()->findChild<QAction *>(QStringLiteral("mnuCopyTo"))->trigger();
        EXPECT_EQ(RawNamed::read(there), r.bytes);
        EXPECT_EQ(RawNamed::read(r.raw), r.bytes);
        EXPECT_EQ(r.g.control.itemCount(), 2);

        // A second copy meets the first: the collision box names both as they show.
        r.g.ops.chooseFolder(target.path() + QLatin1Char('/'));
        r.g.prompter.chosen = {-1}; // Escape: Cancel
        r.g.control.contextMenu()->findChild<QAction *>(QStringLiteral("mnuCopyTo"))->trigger();
        ASSERT_EQ(r.g.asked(QStringLiteral("choose")), 1);
        const QString box = r.g.prompter.asked.last().text;
        EXPECT_TRUE(box.contains(QStringLiteral("\"caf\uFFFD.png\""))) << box.toStdString();
        EXPECT_FALSE(box.contains(QStringLiteral("no longer there"))) << box.toStdString();

        ASSERT_EQ(::unlink(there.constData()), 0);
        r.g.ops.chooseFolder(target.path() + QLatin1Char('/'));
        r.g.control.contextMenu()->findChild<QAction *>(QStringLiteral("mnuMoveTo"))->trigger();
        EXPECT_EQ(RawNamed::read(there), r.bytes);
        EXPECT_FALSE(RawNamed::there(r.raw));
        EXPECT_EQ(r.g.control.itemCount(), 1);
    }
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
