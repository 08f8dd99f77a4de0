// The grid and the desktop's thumbnail cache together: what a listing writes,
// what the next listing takes from it, and when it decodes again.
#include "explorer/ExploreModel.h"
#include "explorer/ImageExplore.h"
#include "explorer/ThumbnailCache.h"
#include "explorer/ThumbnailCacheWriter.h"
#include "explorer/ThumbnailPipeline.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

using namespace lumora;

namespace
{

// Each test gets a cache of its own under a temporary XDG_CACHE_HOME.
class CacheHome
{
public:
    CacheHome() : m_saved(qgetenv("XDG_CACHE_HOME"))
    {
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_dir.path()));
    }
    ~CacheHome() { qputenv("XDG_CACHE_HOME", m_saved); }
    QString root() const { return m_dir.file("thumbnails"); }

private:
    test::TempDir m_dir;
    QByteArray m_saved;
};

struct Explorer {
    test::ScriptedPrompter prompter;
    ImageExplore control{prompter};
    Explorer()
    {
        control.SetExt(QString::fromLatin1(kExplorerExtensions));
        control.resize(900, 600);
    }
    void list(const QString &dir)
    {
        control.ExplorePath(dir);
        ASSERT_TRUE(control.pipeline()->cacheWriter().waitUntilIdle(20000));
    }
    QImage thumb(int row) const { return control.model()->thumbnail(row); }
    QString tooltip(int row) const
    {
        return control.model()->index(row).data(Qt::ToolTipRole).toString();
    }
};

QImage filled(int w, int h, QColor c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

void setMTime(const QString &path, qint64 secs)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        f.setFileTime(QDateTime::fromSecsSinceEpoch(secs), QFileDevice::FileModificationTime));
}

QByteArray bytesOf(const QImage &img)
{
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, "PNG");
    return out;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

CacheLookup lookup(const CacheHome &home, const QString &path)
{
    ThumbnailCache cache(home.root());
    const auto src = cache.describe(path);
    return src ? cache.lookup(*src) : CacheLookup{};
}

} // namespace

TEST(ExplorerThumbCache, ListingWritesLargeThumbnailsAndTheNextListingUsesThem)
{
    CacheHome home;
    test::TempDir dir;
    ASSERT_TRUE(filled(400, 300, Qt::red).save(dir.file("a.png")));
    ASSERT_TRUE(filled(1000, 500, Qt::red).save(dir.file("b.png")));
    ASSERT_TRUE(filled(300, 400, Qt::red).save(dir.file("c.png")));
    ASSERT_TRUE(filled(60, 30, Qt::red).save(dir.file("d.png")));
    QList<QSize> coldSizes;
    {
        Explorer e;
        e.list(dir.path());
        for (int r = 0; r < 4; ++r)
            coldSizes << e.thumb(r).size();
        EXPECT_EQ(e.control.pipeline()->cacheWriter().thumbnailsWritten(), 4);
    }
    EXPECT_EQ(coldSizes, (QList<QSize>{{140, 105}, {140, 140}, {140, 187}, {140, 140}}));
    const QList<QSize> largeSizes{{256, 192}, {256, 128}, {192, 256}, {60, 30}};
    const QStringList names{"a.png", "b.png", "c.png", "d.png"};
    for (int i = 0; i < 4; ++i) {
        const CacheLookup l = lookup(home, dir.file(names[i]));
        ASSERT_EQ(l.state, CacheLookup::State::Hit) << names[i].toStdString();
        EXPECT_EQ(l.image.size(), largeSizes[i]);
    }

    // Paint the cached pictures green: the next grid shows green, so it read
    // them instead of decoding the red files, and in the same three shapes.
    ThumbnailCache cache(home.root());
    for (int i = 0; i < 4; ++i) {
        const auto src = cache.describe(dir.file(names[i]));
        const CacheLookup l = cache.lookup(*src);
        ASSERT_TRUE(
            cache.store(*src, filled(l.image.width(), l.image.height(), Qt::green), l.original));
    }
    Explorer warm;
    warm.list(dir.path());
    for (int r = 0; r < 4; ++r) {
        EXPECT_EQ(warm.thumb(r).size(), coldSizes[r]);
        EXPECT_EQ(warm.thumb(r).pixelColor(70, 70), QColor(Qt::green)) << r;
    }
    EXPECT_EQ(warm.control.pipeline()->cacheWriter().thumbnailsWritten(), 0);
}

TEST(ExplorerThumbCache, ModifiedFileGetsAFreshThumbnail)
{
    CacheHome home;
    test::TempDir dir;
    const QString path = dir.file("p.png");
    ASSERT_TRUE(filled(400, 300, Qt::red).save(path));
    setMTime(path, 1700000000);
    {
        Explorer e;
        e.list(dir.path());
    }
    ASSERT_EQ(lookup(home, path).image.pixelColor(5, 5), QColor(Qt::red));

    ASSERT_TRUE(filled(400, 300, Qt::blue).save(path));
    setMTime(path, 1700000060);
    Explorer e;
    e.list(dir.path());
    EXPECT_EQ(e.thumb(0).pixelColor(70, 50), QColor(Qt::blue));
    const CacheLookup l = lookup(home, path);
    ASSERT_EQ(l.state, CacheLookup::State::Hit);
    EXPECT_EQ(l.image.pixelColor(5, 5), QColor(Qt::blue));
}

TEST(ExplorerThumbCache, DamagedCacheFileIsIgnoredAndReplaced)
{
    CacheHome home;
    test::TempDir dir;
    const QString path = dir.file("p.png");
    ASSERT_TRUE(filled(400, 300, Qt::red).save(path));
    {
        Explorer e;
        e.list(dir.path());
    }
    ThumbnailCache cache(home.root());
    const QString cached = cache.describe(path)->largeFile;
    QFile f(cached);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    writeFile(cached, good.left(good.size() - 30));

    Explorer e;
    e.list(dir.path());
    EXPECT_EQ(e.thumb(0).size(), QSize(140, 105));
    EXPECT_EQ(e.thumb(0).pixelColor(70, 50), QColor(Qt::red));
    EXPECT_EQ(e.control.pipeline()->cacheWriter().thumbnailsWritten(), 1);
    EXPECT_EQ(lookup(home, path).state, CacheLookup::State::Hit);
}

TEST(ExplorerThumbCache, FailureRecordStopsDecodingUntilTheFileChanges)
{
    CacheHome home;
    test::TempDir dir;
    const QString path = dir.file("x.png");
    const QByteArray good = bytesOf(filled(400, 300, Qt::red));
    QByteArray broken = good;
    broken[1] = 'X'; // no longer a PNG signature, same length
    writeFile(path, broken);
    setMTime(path, 1650000000);
    QString firstError;
    {
        Explorer e;
        e.list(dir.path());
        ASSERT_TRUE(e.thumb(0).isNull());
        firstError = e.tooltip(0);
        EXPECT_FALSE(firstError.isEmpty());
        EXPECT_EQ(e.control.pipeline()->cacheWriter().failuresWritten(), 1);
    }
    ASSERT_EQ(lookup(home, path).state, CacheLookup::State::Failed);

    // Mend the file behind the cache's back (same size, same time): the
    // record still stands, so the file is not decoded again.
    writeFile(path, good);
    setMTime(path, 1650000000);
    {
        Explorer e;
        e.list(dir.path());
        EXPECT_TRUE(e.thumb(0).isNull());
        EXPECT_EQ(e.tooltip(0), firstError);
        EXPECT_EQ(e.control.pipeline()->cacheWriter().failuresWritten(), 0);
    }
    // Once the file changes, it is decoded and thumbnailed.
    setMTime(path, 1650000100);
    Explorer e;
    e.list(dir.path());
    EXPECT_EQ(e.thumb(0).size(), QSize(140, 105));
    EXPECT_TRUE(e.tooltip(0).isEmpty());
    EXPECT_EQ(lookup(home, path).state, CacheLookup::State::Hit);
}

TEST(ExplorerThumbCache, WritingOffStillReads)
{
    CacheHome home;
    test::TempDir dir;
    const QString a = dir.file("a.png");
    const QString b = dir.file("b.png");
    ASSERT_TRUE(filled(400, 300, Qt::red).save(a));
    ASSERT_TRUE(filled(400, 300, Qt::red).save(b));
    dir.write("c.jpg", "broken");
    ThumbnailCache cache(home.root());
    ASSERT_TRUE(cache.store(*cache.describe(a), filled(256, 192, Qt::green), QSize(400, 300)));

    Explorer e;
    e.control.setThumbnailCacheWriting(false);
    e.list(dir.path());
    EXPECT_EQ(e.thumb(0).pixelColor(70, 50), QColor(Qt::green));
    EXPECT_EQ(e.thumb(1).pixelColor(70, 50), QColor(Qt::red));
    EXPECT_EQ(lookup(home, b).state, CacheLookup::State::Miss);
    EXPECT_EQ(lookup(home, dir.file("c.jpg")).state, CacheLookup::State::Miss);
    EXPECT_FALSE(QFileInfo::exists(home.root() + QStringLiteral("/fail")));
}

TEST(ExplorerThumbCache, WaitingWorkIsBoundedInBytesAndNothingIsLost)
{
    CacheHome home;
    test::TempDir dir;
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(filled(800, 600, QColor(40 * i, 0, 0))
                        .save(dir.file(QStringLiteral("p%1.png").arg(i))));
    auto cache = std::make_shared<ThumbnailCache>(home.root());
    // Room for one waiting picture: the rest wait as names and are decoded again.
    ThumbnailCacheWriter writer(cache, 256 * 192 * 4);
    std::vector<std::shared_ptr<CacheWork>> works;
    for (int i = 0; i < 6; ++i) {
        auto w = std::make_shared<CacheWork>();
        w->source = *cache->describe(dir.file(QStringLiteral("p%1.png").arg(i)));
        w->large = filled(256, 192, QColor(40 * i, 0, 0));
        w->original = QSize(800, 600);
        works.push_back(w);
    }
    for (auto &w : works) {
        writer.enqueue(w);
        EXPECT_LE(writer.bytesHeld(), 256 * 192 * 4);
    }
    ASSERT_TRUE(writer.waitUntilIdle(20000));
    EXPECT_EQ(writer.thumbnailsWritten(), 6);
    EXPECT_GE(writer.decodedAgain(), 1);
    for (int i = 0; i < 6; ++i) {
        const CacheLookup l =
            cache->lookup(*cache->describe(dir.file(QStringLiteral("p%1.png").arg(i))));
        ASSERT_EQ(l.state, CacheLookup::State::Hit);
        EXPECT_EQ(l.image.pixelColor(3, 3), QColor(40 * i, 0, 0));
    }
}
