#include "explorer/ExploreModel.h"
#include "explorer/ImageExplore.h"
#include "imaging/Twips.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace lumora;

namespace
{

void saveImage(const QString &path, int w = 400, int h = 300, QColor color = Qt::darkCyan)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(color);
    ASSERT_TRUE(img.save(path)) << path.toStdString();
}

struct Explorer {
    test::ScriptedPrompter prompter;
    ImageExplore control{prompter};
    QStringList announced;

    Explorer()
    {
        QObject::connect(&control, &ImageExplore::CurrSelectedImage,
                         [this](const QString &p) { announced << p; });
        control.SetExt(QString::fromLatin1(kExplorerExtensions));
        control.resize(900, 600);
    }
    QStringList tags() const
    {
        QStringList out;
        for (int i = 1; i <= control.itemCount(); ++i)
            out << control.itemPath(i);
        return out;
    }
};

} // namespace

TEST(ExplorerListing, RefusesToListWithoutExtensions)
{
    test::ScriptedPrompter prompter;
    ImageExplore control(prompter);
    QStringList announced;
    QObject::connect(&control, &ImageExplore::CurrSelectedImage,
                     [&](const QString &p) { announced << p; });
    test::TempDir dir;
    control.ExplorePath(dir.path());
    ASSERT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.asked[0].text, "You must call function 'SetExt' first");
    EXPECT_EQ(prompter.asked[0].icon, Prompter::Icon::Warning);
    EXPECT_TRUE(announced.isEmpty());

    control.SetExt("");
    ASSERT_EQ(prompter.asked.size(), 2);
    EXPECT_EQ(prompter.asked[1].text,
              "Extrsntions should be exist and separtated by spaces only like 'bmp jpg gif'");
    control.SetExt("PNG Jpg");
    EXPECT_EQ(control.extensionList(), "png jpg");
}

TEST(ExplorerListing, EmptyFolderAnnouncesOnceAndShowsTheNote)
{
    Explorer e;
    test::TempDir dir;
    dir.write("notes.txt"); // not an image: nothing to show
    e.control.ExplorePath(dir.path());
    EXPECT_EQ(e.announced, QStringList{QString()});
    EXPECT_EQ(e.control.itemCount(), 0);
    EXPECT_EQ(e.control.SelectedIndex(), -1);
    EXPECT_TRUE(e.control.note()->isVisibleTo(&e.control));
    EXPECT_EQ(e.control.note()->text(), "there are no items to show.");
    EXPECT_TRUE(e.control.listingStopped());

    // A folder holding only sub-folders keeps the note hidden.
    test::TempDir only;
    only.mkdir("sub");
    e.control.ExplorePath(only.path());
    EXPECT_FALSE(e.control.note()->isVisibleTo(&e.control));
    EXPECT_EQ(e.control.itemCount(), 1);
}

TEST(ExplorerListing, SubFoldersFirstThenImagesInListOrder)
{
    Explorer e;
    test::TempDir dir;
    dir.mkdir("Zeta");
    dir.mkdir("alpha");
    saveImage(dir.file("img10.png"));
    saveImage(dir.file("img2.jpg"));
    saveImage(dir.file("B.bmp"));
    saveImage(dir.file(".hidden.png"));
    dir.write("readme.txt");
    dir.mkdir("looks-like.jpg"); // a folder, never an image item

    e.control.ExplorePath(dir.path());
    const QString base = dir.path() + '/';
    ASSERT_EQ(e.control.itemCount(), 7);
    EXPECT_EQ(e.tags().mid(0, 3),
              (QStringList{base + "alpha", base + "looks-like.jpg", base + "Zeta"}));

    QString folder = dir.path();
    const QStringList images = e.control.GetImageList(folder);
    EXPECT_EQ(folder, base);
    EXPECT_EQ(images, e.tags().mid(3));
    EXPECT_EQ(images, (QStringList{base + ".hidden.png", base + "B.bmp", base + "img2.jpg",
                                   base + "img10.png"}));

    const ExploreModel *m = e.control.model();
    EXPECT_EQ(m->iconKey(0), "Folder");
    EXPECT_EQ(m->iconKey(4), base + "B.bmp");
    EXPECT_EQ(m->index(4).data(Qt::DisplayRole).toString(), "B.bmp");
    EXPECT_EQ(m->thumbnail(4).size(), QSize(140, 105));
    EXPECT_EQ(e.control.addedCount(), 7);
}

TEST(ExplorerListing, FirstSubFolderBecomesCurrentAndIsAnnounced)
{
    Explorer e;
    test::TempDir dir;
    dir.mkdir("one");
    dir.mkdir("two");
    for (const char *n : {"a.png", "b.png", "c.png"})
        saveImage(dir.file(n));
    e.control.ExplorePath(dir.path());
    EXPECT_EQ(e.control.itemCount(), 5);
    EXPECT_EQ(e.announced, (QStringList{QString(), dir.file("one")}));
    EXPECT_EQ(e.control.SelectedIndex(), 0);
    EXPECT_TRUE(e.control.grid()->selectionModel()->isRowSelected(0, {}));
}

// A JPEG cut short gets the thumbnail of what could be read, and its tooltip
// says the file is damaged, on the second visit as well (a damaged file is
// never taken from or put into the thumbnail cache as if it were whole).
TEST(ExplorerListing, ADamagedImageHasAThumbnailAndATooltipSayingSo)
{
    Explorer e;
    test::TempDir dir;
    saveImage(dir.file("1.png"));
    QImage photo(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, ((x ^ y) * 3) % 256));
    ASSERT_TRUE(photo.save(dir.file("2.jpg"), "JPEG", 90));
    QFile file(dir.file("2.jpg"));
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(file.size() / 2));
    file.close();
    for (int visit = 0; visit < 2; ++visit) {
        SCOPED_TRACE(visit);
        e.control.ExplorePath(dir.path());
        ASSERT_EQ(e.control.itemCount(), 2);
        const ExploreModel *m = e.control.model();
        EXPECT_FALSE(m->thumbnail(1).isNull());
        EXPECT_TRUE(m->index(1)
                        .data(Qt::ToolTipRole)
                        .toString()
                        .startsWith(QLatin1String("Damaged file: ")))
            << m->index(1).data(Qt::ToolTipRole).toString().toStdString();
        EXPECT_TRUE(m->index(0).data(Qt::ToolTipRole).toString().isEmpty());
    }
}

TEST(ExplorerListing, UnreadableImageDoesNotStopTheListing)
{
    Explorer e;
    test::TempDir dir;
    saveImage(dir.file("1.png"));
    saveImage(dir.file("2.png"));
    dir.write("3.jpg", QByteArray("\xFF\xD8\xFF garbage"));
    saveImage(dir.file("4.png"), 1000, 500);
    saveImage(dir.file("5.png"));
    e.control.ExplorePath(dir.path());

    EXPECT_TRUE(e.prompter.asked.isEmpty()); // no modal box
    ASSERT_EQ(e.control.itemCount(), 5);
    EXPECT_EQ(e.control.addedCount(), 5);
    const ExploreModel *m = e.control.model();
    EXPECT_EQ(m->iconKey(2), dir.file("3.jpg"));
    EXPECT_TRUE(m->thumbnail(2).isNull());
    EXPECT_FALSE(m->index(2).data(Qt::ToolTipRole).toString().isEmpty());
    EXPECT_FALSE(m->index(2).data(ExploreModel::PictureRole).value<QImage>().isNull());
    EXPECT_EQ(m->thumbnail(3).size(), QSize(140, 140));
    EXPECT_EQ(m->thumbnail(4).size(), QSize(140, 105));
    EXPECT_EQ(e.announced, (QStringList{QString(), dir.file("1.png")}));
}

TEST(ExplorerListing, LetsEventsRunEveryTwentyItems)
{
    Explorer e;
    test::TempDir dir;
    for (int i = 0; i < 45; ++i)
        dir.mkdir(QStringLiteral("d%1").arg(i));
    QList<int> yields;
    QList<int> placeholdersAtFirstYield;
    QObject::connect(&e.control, &ImageExplore::listingYield, [&](int pos, int total) {
        yields << pos;
        EXPECT_EQ(total, 45);
        if (yields.size() == 1) {
            // The grid has its final size before it is filled.
            placeholdersAtFirstYield
                << e.control.itemCount()
                << e.control.model()->index(1).data(ExploreModel::IsPlaceholderRole).toBool();
        }
    });
    int addedWhenTimerRan = -1;
    QTimer::singleShot(0, [&] { addedWhenTimerRan = e.control.addedCount(); });
    e.control.ExplorePath(dir.path());
    EXPECT_EQ(yields, (QList<int>{1, 21, 41}));
    EXPECT_EQ(placeholdersAtFirstYield, (QList<int>{45, 1}));
    // A pending event ran while the first item was filled, not after the listing.
    EXPECT_EQ(addedWhenTimerRan, 0);
}

TEST(ExplorerListing, NewerListingSupersedesTheRunningOne)
{
    Explorer e;
    test::TempDir first, second;
    for (int i = 0; i < 30; ++i)
        saveImage(first.file(QStringLiteral("f%1.png").arg(i)), 200, 150);
    saveImage(second.file("s1.png"));
    saveImage(second.file("s2.png"));
    bool switched = false;
    QObject::connect(&e.control, &ImageExplore::listingYield, [&](int pos, int) {
        if (!switched && pos == 1) {
            switched = true;
            e.control.ExplorePath(second.path());
        }
    });
    e.control.ExplorePath(first.path());
    ASSERT_TRUE(switched);
    EXPECT_EQ(e.tags(), (QStringList{second.file("s1.png"), second.file("s2.png")}));
    EXPECT_TRUE(e.control.listingStopped());
    EXPECT_EQ(e.control.addedCount(), 2);
    EXPECT_EQ(e.control.model()->thumbnail(1).size(), QSize(140, 105));
    // The outer call still makes the new grid's first item current once more.
    EXPECT_EQ(e.announced,
              (QStringList{QString(), QString(), second.file("s1.png"), second.file("s1.png")}));
}

TEST(ExplorerListing, DropsFarThumbnailsOverBudgetAndRemakesThemWhenPainted)
{
    Explorer e;
    test::TempDir dir;
    for (int i = 0; i < 12; ++i)
        saveImage(dir.file(QStringLiteral("p%1.png").arg(i, 2, 10, QChar('0'))));
    const qint64 one = 140 * 105 * 3;
    e.control.setThumbnailBudget(4 * one);
    e.control.ExplorePath(dir.path());
    ExploreModel *m = e.control.model();
    EXPECT_LE(m->bytesHeld(), 4 * one);
    int dropped = -1;
    for (int r = 0; r < m->rowCount(); ++r) {
        if (m->thumbnail(r).isNull())
            dropped = r;
    }
    ASSERT_GE(dropped, 0);
    // Asking for the picture shows the placeholder and has the thumbnail made again.
    QSignalSpy wanted(m, &ExploreModel::thumbnailWanted);
    m->setByteBudget(qint64(64) << 20);
    m->index(dropped).data(ExploreModel::PictureRole);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m->thumbnail(dropped).isNull(); }, 5000));
    EXPECT_EQ(wanted.size(), 1);
    EXPECT_EQ(m->thumbnail(dropped).size(), QSize(140, 105));
}

TEST(ExplorerListing, MoreThan32767EntriesListCompletely)
{
    // Empty files are the cheapest entries the file system makes; each one is
    // an unreadable image, so this also runs 33,000 failures through the pool.
    Explorer e;
    test::TempDir dir;
    const int count = 33000;
    for (int i = 0; i < count; ++i) {
        QFile f(dir.file(QStringLiteral("e%1.jpg").arg(i, 5, 10, QChar('0'))));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    saveImage(dir.file("last.png"));
    e.control.ExplorePath(dir.path());
    EXPECT_TRUE(e.prompter.asked.isEmpty());
    EXPECT_EQ(e.control.itemCount(), count + 1);
    EXPECT_EQ(e.control.addedCount(), count + 1);
    EXPECT_EQ(e.control.itemPath(count), dir.file("e32999.jpg"));
    EXPECT_EQ(e.control.itemPath(count + 1), dir.file("last.png"));
    EXPECT_EQ(e.control.FindItem(dir.file("last.png")), count + 1);
    EXPECT_EQ(e.control.model()->iconKey(count - 1), dir.file("e32999.jpg"));
    EXPECT_EQ(e.control.model()->thumbnail(count).size(), QSize(140, 105));
}
