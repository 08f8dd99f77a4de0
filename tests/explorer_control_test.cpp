#include "explorer/ExploreModel.h"
#include "explorer/ImageExplore.h"
#include "imaging/Twips.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace lumora;

namespace
{

struct Shown {
    test::ScriptedPrompter prompter;
    ImageExplore control{prompter};
    QStringList announced;
    test::TempDir dir;

    // Six images in one row (the control is wide enough for all of them).
    explicit Shown(int images = 6)
    {
        QObject::connect(&control, &ImageExplore::CurrSelectedImage,
                         [this](const QString &p) { announced << p; });
        control.SetExt(QString::fromLatin1(kExplorerExtensions));
        control.resize(1200, 500);
        control.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&control));
        for (int i = 1; i <= images; ++i) {
            QImage img(120, 90, QImage::Format_RGB32);
            img.fill(Qt::gray);
            img.save(dir.file(QStringLiteral("p%1.png").arg(i)));
        }
    }
    QString p(int i) const { return dir.file(QStringLiteral("p%1.png").arg(i)); }
    void list()
    {
        control.ExplorePath(dir.path());
        QCoreApplication::processEvents(); // let the view lay out
        announced.clear();
    }
    QWidget *grid() { return control.grid(); }
};

void drain()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

} // namespace

TEST(ExplorerControl, NextAndPrevAnnounceOldThenNew)
{
    Shown s(0);
    s.control.NextItem();
    s.control.PrevItem();
    drain();
    EXPECT_TRUE(s.announced.isEmpty()); // empty grid: nothing

    Shown f;
    f.list();
    f.control.NextItem();
    // The synthetic key is handled only after the call returns.
    EXPECT_EQ(f.announced, QStringList{f.p(1)});
    drain();
    EXPECT_EQ(f.announced, (QStringList{f.p(1), f.p(2)}));
    EXPECT_EQ(f.control.SelectedIndex(), 1);

    f.announced.clear();
    f.control.NextItem();
    f.control.NextItem();
    drain();
    // Both keys were queued behind the calls: two old items, then the moves.
    EXPECT_EQ(f.announced, (QStringList{f.p(2), f.p(2), f.p(3), f.p(4)}));

    f.announced.clear();
    f.control.PrevItem();
    drain();
    EXPECT_EQ(f.announced, (QStringList{f.p(4), f.p(3)}));
}

TEST(ExplorerControl, SetSelectedFocusIgnoresCaseAndRaisesNothing)
{
    Shown s;
    s.list();
    s.control.SetSelectedFocus(s.p(4).toUpper().replace(s.dir.path().toUpper(), s.dir.path()));
    EXPECT_EQ(s.control.SelectedIndex(), 3);
    const QModelIndexList sel = s.control.grid()->selectionModel()->selectedRows();
    ASSERT_EQ(sel.size(), 1);
    EXPECT_EQ(sel[0].row(), 3);
    EXPECT_TRUE(s.announced.isEmpty());

    s.control.SetSelectedFocus(s.dir.file("nothing.png"));
    EXPECT_TRUE(s.control.grid()->selectionModel()->selectedRows().isEmpty());
    EXPECT_TRUE(s.announced.isEmpty());
}

TEST(ExplorerControl, UpdateAfterOperationRenamesInPlaceOrRemoves)
{
    Shown s;
    s.list();
    s.control.SelectItem(2, false);
    const QString renamed = s.dir.file("renamed.png");
    s.control.UpdateAfterOperation(s.p(3).toUpper().replace(s.dir.path().toUpper(), s.dir.path()),
                                   renamed);
    EXPECT_EQ(s.control.itemPath(3), renamed);
    EXPECT_EQ(s.control.model()->index(2).data(Qt::DisplayRole).toString(), "renamed.png");
    EXPECT_EQ(s.control.model()->thumbnail(2).size(), QSize(140, 105));
    EXPECT_EQ(s.control.itemCount(), 6);

    s.control.UpdateAfterOperation(s.p(5));
    EXPECT_EQ(s.control.itemCount(), 5);
    EXPECT_EQ(s.control.FindItem(s.p(5)), -1);
    EXPECT_EQ(s.control.itemPath(5), s.p(6));
    EXPECT_EQ(s.control.itemPath(4), s.p(4));

    s.control.UpdateAfterOperation(s.dir.file("unknown.png"));
    EXPECT_EQ(s.control.itemCount(), 5);
    EXPECT_EQ(s.control.SelectedIndex(), 1); // selection untouched
    EXPECT_TRUE(s.announced.isEmpty());
}

TEST(ExplorerControl, KeyReleasesAnnounceExceptCtrlItself)
{
    Shown s;
    s.list();
    s.control.SelectItem(3, false);
    QTest::keyRelease(s.grid(), Qt::Key_Control);
    EXPECT_TRUE(s.announced.isEmpty());
    QTest::keyRelease(s.grid(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(s.announced, QStringList{s.p(3)});
    QTest::keyRelease(s.grid(), Qt::Key_Down);
    EXPECT_EQ(s.announced, (QStringList{s.p(3), s.p(3)}));
    // A typed arrow moves the grid's current item and its release announces it.
    QTest::keyClick(s.grid(), Qt::Key_Right);
    EXPECT_EQ(s.announced.last(), s.p(4));
}

TEST(ExplorerControl, LeftMouseReleaseAnnouncesTheCurrentItem)
{
    Shown s;
    s.list();
    QListView *grid = s.control.grid();
    const QRect r = grid->visualRect(s.control.model()->index(4));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(s.control.SelectedIndex(), 4);
    EXPECT_EQ(s.announced, QStringList{s.p(5)});
    int menus = 0;
    s.control.trackMenu = [&menus](QMenu &, const QPoint &) -> QAction * {
        ++menus;
        return nullptr;
    };
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, r.center());
    EXPECT_EQ(s.announced, QStringList{s.p(5)});
    EXPECT_EQ(menus, 1);
    // Over empty space the left button still announces the current item.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      QPoint(5, grid->viewport()->height() - 5));
    EXPECT_EQ(s.announced.size(), 2);
}

TEST(ExplorerControl, EnterAndDoubleClickOpenTheItem)
{
    Shown s(2);
    s.dir.mkdir("sub");
    s.list();
    QSignalSpy opened(&s.control, &ImageExplore::ItemOpened);
    QTest::keyClick(s.grid(), Qt::Key_Return);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0][0].toString(), s.dir.file("sub"));
    EXPECT_TRUE(opened[0][1].toBool());

    QListView *grid = s.control.grid();
    const QRect r = grid->visualRect(s.control.model()->index(2));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, r.center());
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[1][0].toString(), s.p(2));
    EXPECT_FALSE(opened[1][1].toBool());
}

TEST(ExplorerControl, SelectionHelpers)
{
    Shown s;
    s.list();
    EXPECT_EQ(s.control.FindItem(s.p(2).toUpper().replace(s.dir.path().toUpper(), s.dir.path())),
              2);
    s.control.SelectItem(0, true); // below 1: nothing
    EXPECT_TRUE(s.announced.isEmpty());
    s.control.SelectItem(6, true);
    EXPECT_EQ(s.announced, QStringList{s.p(6)});
    EXPECT_EQ(s.control.SelectedIndex(), 5);
    s.control.SetAllSelected(true);
    EXPECT_EQ(s.control.grid()->selectionModel()->selectedRows().size(), 6);
    s.control.SetAllSelected(false);
    EXPECT_TRUE(s.control.grid()->selectionModel()->selectedRows().isEmpty());
}

TEST(ExplorerControl, KeepsItsMinimumWidth)
{
    test::ScriptedPrompter prompter;
    ImageExplore control(prompter);
    control.show();
    const Twips tw = Twips::forScreen();
    control.resize(tw.toPixelsX(1000), 300);
    EXPECT_EQ(control.width(), tw.toPixelsX(1600));
    EXPECT_EQ(control.grid()->geometry(), QRect(0, 0, control.width(), control.height()));
    control.resize(tw.toPixelsX(4000), 300);
    EXPECT_EQ(control.width(), tw.toPixelsX(4000));
    EXPECT_EQ(control.note()->width(), tw.toPixelsX(4000) - tw.toPixelsX(400));
}

// The grid keeps one selected item, the current one, whatever the program
// does meanwhile; only the user's own Ctrl/Shift gestures select more.
TEST(ExplorerControl, ArrowKeysDuringAListingLeaveOneSelectedItem)
{
    Shown s(45); // yields at items 1, 21 and 41
    int pressed = 0;
    QObject::connect(&s.control, &ImageExplore::listingYield, [&](int pos, int) {
        if (pos > 1) { // the grid has filled items to move over now
            QTest::keyClick(s.grid(), Qt::Key_Right);
            QTest::keyClick(s.grid(), Qt::Key_Right);
            ++pressed;
        }
    });
    s.list();
    ASSERT_EQ(pressed, 2);
    QItemSelectionModel *sel = s.control.grid()->selectionModel();
    ASSERT_EQ(sel->selectedRows().size(), 1);
    EXPECT_EQ(sel->selectedRows()[0], s.control.grid()->currentIndex());
    EXPECT_EQ(s.control.SelectedIndex(), 0);

    // Program moves never add to the selection either.
    s.control.SelectItem(5, true);
    s.control.NextItem();
    drain();
    ASSERT_EQ(sel->selectedRows().size(), 1);
    EXPECT_EQ(sel->selectedRows()[0].row(), 5);

    // Shift+arrow extends the selection, and its releases keep it extended.
    QTest::keyClick(s.grid(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyRelease(s.grid(), Qt::Key_Shift);
    EXPECT_EQ(sel->selectedRows().size(), 2);
    EXPECT_EQ(s.control.SelectedIndex(), 6);
    EXPECT_EQ(s.announced.last(), s.p(7));
    // Ctrl+click adds one more; a plain arrow afterwards is back to one item.
    const QRect r = s.control.grid()->visualRect(s.control.model()->index(1));
    QTest::mouseClick(s.control.grid()->viewport(), Qt::LeftButton, Qt::ControlModifier,
                      r.center());
    EXPECT_EQ(sel->selectedRows().size(), 3);
    QTest::keyClick(s.grid(), Qt::Key_Right);
    ASSERT_EQ(sel->selectedRows().size(), 1);
    EXPECT_EQ(sel->selectedRows()[0].row(), 2);
}
