// Widget-free parts of the browser: preview zoom steps, layout rules, and the
// folder tree's places and lazy folders.
#include "app/BrowserLayout.h"
#include "app/BrowserPreview.h"
#include "app/FolderTreeModel.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace lumora;

namespace
{

const Twips kTw; // 15 twips per pixel
// A small picture in a large control: it fits until far above 100 %.
const QSize kPicture(40, 30);
const QSizeF kControl(15000, 6000); // 1000 x 400 px

} // namespace

TEST(PreviewZoom, InGoesBy125PercentAndStopsAboveSixteenHundred)
{
    auto step = BrowserPreview::zoomIn(1.0, kPicture, kControl, kTw);
    ASSERT_TRUE(step);
    EXPECT_DOUBLE_EQ(step->zoom, 1.25);
    step = BrowserPreview::zoomIn(step->zoom, kPicture, kControl, kTw);
    ASSERT_TRUE(step);
    EXPECT_DOUBLE_EQ(step->zoom, 1.5625);

    double zoom = 1.0;
    int steps = 0;
    double lastStart = 0;
    while (auto s = BrowserPreview::zoomIn(zoom, kPicture, kControl, kTw)) {
        lastStart = zoom;
        zoom = s->zoom;
        ASSERT_LT(++steps, 100);
    }
    // The step from about 1455 % still runs (to about 1819 %), the next does not.
    EXPECT_EQ(steps, 13);
    EXPECT_NEAR(lastStart * 100, 1455.19, 0.01);
    EXPECT_NEAR(zoom * 100, 1818.99, 0.01);
    // Exactly at the limit still acts.
    EXPECT_TRUE(BrowserPreview::zoomIn(16.0, kPicture, kControl, kTw));
    EXPECT_FALSE(BrowserPreview::zoomIn(16.0001, kPicture, kControl, kTw));
}

TEST(PreviewZoom, OutRunsNineteenTimesFromOneHundredPercent)
{
    double zoom = 1.0;
    int steps = 0;
    double lastStart = 0;
    while (auto s = BrowserPreview::zoomOut(zoom, kPicture, kControl, kTw)) {
        EXPECT_DOUBLE_EQ(s->zoom, zoom * 0.75);
        lastStart = zoom;
        zoom = s->zoom;
        ASSERT_LT(++steps, 100);
    }
    EXPECT_EQ(steps, 19);
    EXPECT_NEAR(lastStart * 100, 0.5637, 0.0001);
    EXPECT_NEAR(zoom * 100, 0.4228, 0.0001);
    EXPECT_TRUE(BrowserPreview::zoomOut(0.005, kPicture, kControl, kTw));
}

TEST(PreviewZoom, ScrollsOnlyWhenThePictureOutgrowsTheControl)
{
    // 40 x 30 px in 1000 x 400 px: height runs out first, at zoom 400/30.
    EXPECT_EQ(BrowserPreview::displayModeFor(1.0, kPicture, kControl, kTw),
              lumora::imaging::DisplayMode::Preview);
    EXPECT_EQ(BrowserPreview::displayModeFor(400.0 / 30.0, kPicture, kControl, kTw),
              lumora::imaging::DisplayMode::Preview);
    EXPECT_EQ(BrowserPreview::displayModeFor(13.4, kPicture, kControl, kTw),
              lumora::imaging::DisplayMode::Scrolls);
    // Width alone is enough too.
    EXPECT_EQ(BrowserPreview::displayModeFor(1.0, QSize(1001, 1), kControl, kTw),
              lumora::imaging::DisplayMode::Scrolls);
    // A product a hair above the control in double precision is equal in single.
    EXPECT_EQ(BrowserPreview::displayModeFor(1.0 + 1e-12, QSize(1000, 1), kControl, kTw),
              lumora::imaging::DisplayMode::Preview);

    const auto step = BrowserPreview::zoomIn(12.0, kPicture, kControl, kTw);
    ASSERT_TRUE(step);
    EXPECT_EQ(step->displayMode, lumora::imaging::DisplayMode::Scrolls);
    const auto back = BrowserPreview::zoomOut(step->zoom, kPicture, kControl, kTw);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->displayMode, lumora::imaging::DisplayMode::Preview);
}

TEST(PreviewZoom, ShownScaleIsTheFitNeverEnlarged)
{
    EXPECT_DOUBLE_EQ(BrowserPreview::shownScale(QSize(40, 30), QSize(400, 300)), 1.0);
    EXPECT_DOUBLE_EQ(BrowserPreview::shownScale(QSize(2000, 1000), QSize(400, 300)), 0.2);
    EXPECT_DOUBLE_EQ(BrowserPreview::shownScale(QSize(1000, 3000), QSize(400, 300)), 0.1);
    EXPECT_DOUBLE_EQ(BrowserPreview::shownScale(QSize(), QSize(400, 300)), 1.0);
}

TEST(BrowserLayoutRules, SnapAndSplitterSizes)
{
    EXPECT_EQ(BrowserLayout::snapWindow({3000, 1000}), QSizeF(3700, 2400));
    EXPECT_EQ(BrowserLayout::snapWindow({3000, 9000}), QSizeF(3700, 9000));
    EXPECT_EQ(BrowserLayout::snapWindow({5000, 2000}), QSizeF(5000, 2400));
    EXPECT_EQ(BrowserLayout::snapWindow({3700, 2400}), QSizeF(3700, 2400));
    EXPECT_EQ(BrowserLayout::splitter2Size({18000, 12000}), QSizeF(17700, 11000));
    EXPECT_EQ(BrowserLayout::splitter1Size({12000, 9000}, 600), QSizeF(11980, 8320));
}

// ------------------------------------------------------------- folder tree

namespace
{

struct TreeFolders {
    test::TempDir dir;
    QString home, desktop;
    TreeFolders()
    {
        home = dir.mkdir(QStringLiteral("home"));
        desktop = dir.mkdir(QStringLiteral("home/Desktop"));
        for (const char *rel :
             {"home/img10", "home/img2", "home/Img1", "home/.cache", "home/Desktop/Trip/Day 1"})
            dir.mkdir(QLatin1String(rel));
    }
    FolderTreeModel model() const
    {
        return FolderTreeModel(
            {{FolderTreeModel::Kind::Desktop, QStringLiteral("Desktop"), desktop},
             {FolderTreeModel::Kind::Home, QStringLiteral("Home"), home + QLatin1Char('/')},
             {FolderTreeModel::Kind::Root, QStringLiteral("File System"), QStringLiteral("/")}});
    }
};

QStringList childNames(const FolderTreeModel &m, const QModelIndex &parent)
{
    QStringList names;
    for (int r = 0; r < m.rowCount(parent); ++r)
        names << m.index(r, 0, parent).data().toString();
    return names;
}

} // namespace

TEST(FolderTree, PlacesFirstThenFoldersReadWhenOpened)
{
    TreeFolders f;
    FolderTreeModel m = f.model();
    ASSERT_EQ(m.rowCount(), 3);
    EXPECT_EQ(childNames(m, {}), QStringList({"Desktop", "Home", "File System"}));
    const QModelIndex home = m.index(1, 0);
    EXPECT_EQ(m.pathOf(home), f.home); // trailing separator dropped
    EXPECT_EQ(m.kindOf(home), FolderTreeModel::Kind::Home);
    // Nothing read yet, but the tree knows there is something to open.
    EXPECT_EQ(m.rowCount(home), 0);
    EXPECT_TRUE(m.hasChildren(home));
    ASSERT_TRUE(m.canFetchMore(home));
    m.fetchMore(home);
    EXPECT_FALSE(m.canFetchMore(home));
    // Natural, case-insensitive order; dot folders are not shown.
    EXPECT_EQ(childNames(m, home), QStringList({"Desktop", "Img1", "img2", "img10"}));
    const QModelIndex img1 = m.index(1, 0, home);
    EXPECT_EQ(m.parent(img1), home);
    EXPECT_FALSE(m.hasChildren(img1));
}

TEST(FolderTree, PathLookupPrefersTheClosestPlaceAndSeesNewFolders)
{
    TreeFolders f;
    FolderTreeModel m = f.model();
    // A folder on the Desktop is found under the Desktop place, not under home.
    const QModelIndex day = m.indexForPath(f.desktop + QStringLiteral("/Trip/Day 1/"));
    ASSERT_TRUE(day.isValid());
    EXPECT_EQ(m.pathOf(day), f.desktop + QStringLiteral("/Trip/Day 1"));
    QModelIndex top = day;
    while (top.parent().isValid())
        top = top.parent();
    EXPECT_EQ(m.kindOf(top), FolderTreeModel::Kind::Desktop);

    // Under no place but the root.
    const QModelIndex tmp = m.indexForPath(f.dir.path());
    ASSERT_TRUE(tmp.isValid());
    EXPECT_EQ(m.pathOf(tmp), QDir::cleanPath(f.dir.path()));

    // A folder made after its parent was read is found; a removed one goes.
    const QModelIndex home = m.indexForPath(f.home);
    m.fetchMore(home);
    f.dir.mkdir(QStringLiteral("home/img3"));
    QDir(f.home).rmdir(QStringLiteral("Img1"));
    const QModelIndex img3 = m.indexForPath(f.home + QStringLiteral("/img3"));
    ASSERT_TRUE(img3.isValid());
    EXPECT_EQ(childNames(m, home), QStringList({"Desktop", "img2", "img3", "img10"}));
    EXPECT_EQ(img3.row(), 2);

    EXPECT_FALSE(m.indexForPath(f.home + QStringLiteral("/missing")).isValid());
    EXPECT_FALSE(m.indexForPath(QString()).isValid());
}

TEST(FolderTree, DefaultPlacesStartWithHomeAndRootOnce)
{
    const QList<FolderTreeModel::Place> places = FolderTreeModel::defaultPlaces();
    QStringList paths;
    int roots = 0;
    for (const auto &p : places) {
        EXPECT_FALSE(paths.contains(p.path)) << p.path.toStdString();
        paths << p.path;
        roots += p.kind == FolderTreeModel::Kind::Root ? 1 : 0;
        EXPECT_TRUE(QFileInfo(p.path).isDir()) << p.path.toStdString();
    }
    EXPECT_EQ(roots, 1);
    EXPECT_TRUE(paths.contains(QStringLiteral("/")));
}
