#include "explorer/ThumbnailCache.h"
#include "explorer/ThumbnailCacheSetting.h"
#include "explorer/ThumbnailCacheUpkeep.h"
#include "explorer/ThumbnailPng.h"
#include "platform/MountKind.h"
#include "platform/SqliteRegistryStore.h"
#include "platform/linux/LinuxMountKind.h"
#include "settings/CRegister.h"
#include "support/ScriptedFileOpQuestions.h"
#include "support/TempDir.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>
#include <zlib.h>

using namespace lumora;

namespace
{

struct FixedMounts : platform::MountKind {
    bool removable = false;
    bool isRemovable(const QString &) const override { return removable; }
};

// A picture whose every pixel says where it is, so a wrong or shifted
// thumbnail cannot pass for the right one.
QImage gradient(int w, int h, int tint = 0)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y,
                         qRgb(x * 255 / std::max(1, w - 1), y * 255 / std::max(1, h - 1), tint));
    return img;
}

QString savePicture(const test::TempDir &dir, const QString &name, const QImage &img)
{
    const QString path = dir.file(name);
    EXPECT_TRUE(img.save(path, "PNG"));
    return path;
}

void setMTime(const QString &path, qint64 secs)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        f.setFileTime(QDateTime::fromSecsSinceEpoch(secs), QFileDevice::FileModificationTime));
}

QFile::Permissions ownerBits(const QString &path)
{
    return QFileInfo(path).permissions() & (QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                            QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
}

// The colour type byte of a PNG's header: 2 RGB, 6 RGBA.
int pngColorType(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = f.read(26);
    return head.size() == 26 ? int(quint8(head[25])) : -1;
}

// Writes a thumbnail the way the desktop's standard describes, with our own
// PNG writer kept out of it: Qt's writer and its text chunks.
void writeForeignThumbnail(const QString &file, const QImage &img, const QByteArray &uri,
                           qint64 mtime)
{
    QDir().mkpath(QFileInfo(file).path());
    QImage copy = img;
    copy.setText(QStringLiteral("Thumb::URI"), QString::fromLatin1(uri));
    copy.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
    ASSERT_TRUE(copy.save(file, "PNG"));
}

// The same, with the text chunks after the picture data (the PNG format
// allows either place; some writers put them last).
void writeThumbnailTextLast(const QString &file, const QImage &img, const QByteArray &uri,
                            qint64 mtime)
{
    QDir().mkpath(QFileInfo(file).path());
    ASSERT_TRUE(img.save(file, "PNG"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    QByteArray bytes = f.readAll();
    ASSERT_TRUE(bytes.endsWith(QByteArray("IEND\xAE\x42\x60\x82", 8)));
    QByteArray chunks;
    for (const auto &[key, value] : {std::pair<QByteArray, QByteArray>{"Thumb::URI", uri},
                                     {"Thumb::MTime", QByteArray::number(mtime)}}) {
        const QByteArray body = QByteArray("tEXt") + key + '\0' + value;
        const quint32 len = quint32(body.size() - 4);
        const quint32 crc =
            quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size())));
        for (int shift = 24; shift >= 0; shift -= 8)
            chunks += char((len >> shift) & 0xff);
        chunks += body;
        for (int shift = 24; shift >= 0; shift -= 8)
            chunks += char((crc >> shift) & 0xff);
    }
    bytes.insert(bytes.size() - 12, chunks);
    f.seek(0);
    f.write(bytes);
}

struct Cache {
    test::TempDir home;
    std::shared_ptr<FixedMounts> mounts = std::make_shared<FixedMounts>();
    ThumbnailCache cache{home.file("thumbnails"), mounts};
};

} // namespace

TEST(ThumbnailCache, NamesFilesByTheUriTheDesktopUses)
{
    // The standard's own example.
    EXPECT_EQ(ThumbnailCache::fileName("file:///home/jens/photos/me.png"),
              QStringLiteral("c6ee772d9e49320e97ec29a7eb5b1697.png"));
    // Escaped exactly as GLib escapes a file path (checked against gio elsewhere).
    EXPECT_EQ(ThumbnailCache::fileUri(QStringLiteral("/tmp/a b;#$&+,=@[~\u00e9%.png")),
              QByteArray("file:///tmp/a%20b%3B%23$&+,=@%5B~%C3%A9%25.png"));
    EXPECT_EQ(ThumbnailCache::failFolderName(), QStringLiteral("lumora-2.1"));
}

TEST(ThumbnailCache, DefaultFolderFollowsXdgCacheHome)
{
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", "/some/where");
    EXPECT_EQ(ThumbnailCache::defaultRoot(), QStringLiteral("/some/where/thumbnails"));
    qputenv("XDG_CACHE_HOME", "  ");
    EXPECT_EQ(ThumbnailCache::defaultRoot(),
              QDir::homePath() + QStringLiteral("/.cache/thumbnails"));
    qputenv("XDG_CACHE_HOME", saved);
}

TEST(ThumbnailCache, WrittenThumbnailIsReadBackWithItsSizeAndPrivately)
{
    Cache c;
    test::TempDir pics;
    const QString path = savePicture(pics, "photo one.png", gradient(400, 300));
    const auto src = c.cache.describe(path);
    ASSERT_TRUE(src);
    EXPECT_TRUE(src->largeFile.startsWith(c.home.file("thumbnails/large/")));
    EXPECT_EQ(QFileInfo(src->largeFile).fileName(), ThumbnailCache::fileName(src->uri));
    EXPECT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Miss);

    const QImage large = gradient(256, 192, 40);
    ASSERT_TRUE(c.cache.store(*src, large, QSize(400, 300)));
    const CacheLookup hit = c.cache.lookup(*src);
    ASSERT_EQ(hit.state, CacheLookup::State::Hit);
    EXPECT_EQ(hit.original, QSize(400, 300));
    EXPECT_EQ(hit.image.format(), QImage::Format_RGB32); // opaque stays opaque
    EXPECT_EQ(hit.image, large.convertToFormat(QImage::Format_RGB32));
    EXPECT_TRUE(c.cache.hasCurrentEntry(*src));

    const QFile::Permissions dir = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    EXPECT_EQ(ownerBits(c.home.file("thumbnails")), dir);
    EXPECT_EQ(ownerBits(c.home.file("thumbnails/large")), dir);
    EXPECT_EQ(ownerBits(src->largeFile), QFile::ReadOwner | QFile::WriteOwner);
    // Written under a temporary name and renamed: nothing else is left behind.
    EXPECT_EQ(QDir(c.home.file("thumbnails/large")).entryList(QDir::Files).size(), 1);

    // Our own text is what the standard asks for.
    QImage plain(src->largeFile);
    EXPECT_EQ(plain.text(QStringLiteral("Thumb::URI")).toLatin1(), src->uri);
    EXPECT_EQ(plain.text(QStringLiteral("Thumb::MTime")),
              QString::number(QFileInfo(path).lastModified().toSecsSinceEpoch()));
    EXPECT_EQ(plain.text(QStringLiteral("Thumb::Size")), QString::number(QFileInfo(path).size()));
    // Opaque pictures are stored as RGB (colour type 2 in the header), not RGBA.
    EXPECT_FALSE(plain.hasAlphaChannel());
    EXPECT_EQ(pngColorType(src->largeFile), 2);
}

TEST(ThumbnailCache, TransparencySurvivesTheRoundTrip)
{
    Cache c;
    test::TempDir pics;
    const QString path = savePicture(pics, "a.png", gradient(10, 10));
    const auto src = c.cache.describe(path);
    ASSERT_TRUE(src);
    QImage large(256, 128, QImage::Format_ARGB32);
    large.fill(qRgba(10, 200, 30, 255));
    large.setPixel(5, 5, qRgba(255, 0, 0, 64));
    large.setPixel(6, 5, qRgba(0, 0, 0, 0));
    ASSERT_TRUE(c.cache.store(*src, large, QSize(512, 256)));
    const CacheLookup hit = c.cache.lookup(*src);
    ASSERT_EQ(hit.state, CacheLookup::State::Hit);
    EXPECT_EQ(hit.image.format(), QImage::Format_ARGB32);
    EXPECT_EQ(hit.image.pixel(5, 5), qRgba(255, 0, 0, 64));
    EXPECT_EQ(qAlpha(hit.image.pixel(6, 5)), 0);
    EXPECT_EQ(hit.image.pixel(100, 100), qRgba(10, 200, 30, 255));
    EXPECT_EQ(pngColorType(src->largeFile), 6); // RGBA
    // An alpha channel with nothing transparent in it is opaque all the same.
    QImage opaque(64, 32, QImage::Format_ARGB32);
    opaque.fill(qRgba(1, 2, 3, 255));
    ASSERT_TRUE(c.cache.store(*src, opaque, QSize(64, 32)));
    EXPECT_EQ(pngColorType(src->largeFile), 2);
    EXPECT_EQ(c.cache.lookup(*src).image.pixel(3, 3), qRgb(1, 2, 3));
}

TEST(ThumbnailCache, DeletedMovedAndRenamedFilesTakeTheirEntriesAlong)
{
    Cache c;
    test::TempDir pics;
    const QString a = savePicture(pics, "a.png", gradient(300, 200));
    const QString b = savePicture(pics, "b.png", gradient(300, 200, 90));
    const QString bad = pics.write(QStringLiteral("bad.png"), "not a picture");
    const auto sa = c.cache.describe(a), sb = c.cache.describe(b), sbad = c.cache.describe(bad);
    ASSERT_TRUE(sa && sb && sbad);
    ASSERT_TRUE(c.cache.store(*sa, gradient(256, 171), QSize(300, 200)));
    ASSERT_TRUE(c.cache.store(*sb, gradient(256, 171, 90), QSize(300, 200)));
    ASSERT_TRUE(c.cache.storeFailure(*sbad, QStringLiteral("The image could not be read.")));
    // Another program's normal-size thumbnail of the same file.
    const QString normalA = c.home.file("thumbnails/normal/") + ThumbnailCache::fileName(sa->uri);
    QDir().mkpath(QFileInfo(normalA).path());
    ASSERT_TRUE(gradient(128, 85).save(normalA, "PNG"));

    // Delete: every size goes, the other files' entries stay.
    ASSERT_TRUE(QFile::remove(a));
    c.cache.forget(a);
    EXPECT_FALSE(QFileInfo::exists(sa->largeFile));
    EXPECT_FALSE(QFileInfo::exists(normalA));
    EXPECT_TRUE(QFileInfo::exists(sb->largeFile));

    // Rename: the thumbnail follows under the new name, the old one goes.
    const QString renamed = pics.file("renamed.png");
    ASSERT_TRUE(QFile::rename(b, renamed));
    c.cache.moveEntry(b, renamed);
    EXPECT_FALSE(QFileInfo::exists(sb->largeFile));
    const auto sr = c.cache.describe(renamed);
    ASSERT_TRUE(sr);
    const CacheLookup moved = c.cache.lookup(*sr);
    ASSERT_EQ(moved.state, CacheLookup::State::Hit);
    EXPECT_EQ(moved.image, gradient(256, 171, 90));
    EXPECT_EQ(moved.original, QSize(300, 200));
    EXPECT_EQ(QImage(sr->largeFile).text(QStringLiteral("Thumb::URI")).toLatin1(), sr->uri);

    // Move to another folder: the failure record follows too.
    test::TempDir other;
    const QString badMoved = other.file("bad.png");
    ASSERT_TRUE(QFile::rename(bad, badMoved));
    c.cache.moveEntry(bad, badMoved);
    EXPECT_FALSE(QFileInfo::exists(sbad->failFile));
    EXPECT_EQ(c.cache.lookup(*c.cache.describe(badMoved)).state, CacheLookup::State::Failed);

    // A file changed on the way keeps no thumbnail of its old content.
    const QString again = pics.file("again.png");
    ASSERT_TRUE(QFile::rename(renamed, again));
    setMTime(again, sr->mtime - 100);
    c.cache.moveEntry(renamed, again);
    EXPECT_FALSE(QFileInfo::exists(sr->largeFile));
    EXPECT_EQ(c.cache.lookup(*c.cache.describe(again)).state, CacheLookup::State::Miss);

    // Nothing is written for a file on removable media, but the old entry goes.
    const QString c1 = savePicture(pics, "c.png", gradient(50, 50));
    const auto sc = c.cache.describe(c1);
    ASSERT_TRUE(c.cache.store(*sc, gradient(50, 50), QSize(50, 50)));
    c.mounts->removable = true;
    test::TempDir stick;
    const QString onStick = stick.file("c.png");
    ASSERT_TRUE(QFile::rename(c1, onStick));
    c.cache.moveEntry(c1, onStick);
    EXPECT_FALSE(QFileInfo::exists(sc->largeFile));
    EXPECT_EQ(QDir(c.home.file("thumbnails/large")).entryList(QDir::Files).size(), 0);
}

TEST(ThumbnailCache, TheProgramsFileOperationsKeepTheCacheInStep)
{
    Cache c;
    test::TempDir pics;
    auto shared = std::shared_ptr<const ThumbnailCache>(&c.cache, [](const ThumbnailCache *) {});
    ThumbnailCacheUpkeep ops(platform::createFileOperations(), shared);
    test::ScriptedFileOpQuestions answers;
    auto thumb = [&](const QString &path) {
        const auto s = c.cache.describe(path);
        EXPECT_TRUE(s && c.cache.store(*s, gradient(64, 64), QSize(64, 64)));
        return s ? s->largeFile : QString();
    };
    using platform::FileOpRequest;

    const QString a = savePicture(pics, "a.png", gradient(64, 64));
    const QString thumbA = thumb(a);
    const QString b = pics.file("b.png");
    ASSERT_EQ(ops.perform(FileOpRequest::forOperation(5, {a}, b), answers), 0);
    EXPECT_FALSE(QFileInfo::exists(thumbA));
    EXPECT_EQ(c.cache.lookup(*c.cache.describe(b)).state, CacheLookup::State::Hit);

    test::TempDir dest;
    const QString thumbB = c.cache.describe(b)->largeFile;
    ASSERT_EQ(ops.perform(FileOpRequest::forOperation(4, {b}, dest.path()), answers), 0);
    EXPECT_FALSE(QFileInfo::exists(thumbB));
    const QString moved = dest.file("b.png");
    EXPECT_EQ(c.cache.lookup(*c.cache.describe(moved)).state, CacheLookup::State::Hit);

    // A copy leaves the original's thumbnail alone.
    const QString thumbMoved = c.cache.describe(moved)->largeFile;
    ASSERT_EQ(ops.perform(FileOpRequest::forOperation(1, {moved}, pics.path()), answers), 0);
    EXPECT_TRUE(QFileInfo::exists(thumbMoved));

    // Delete for good, after the confirmation.
    answers.confirms.push_back(true);
    ASSERT_EQ(ops.perform(FileOpRequest::forOperation(3, {moved}, {}), answers), 0);
    EXPECT_FALSE(QFileInfo::exists(thumbMoved));

    // Declined: the file and its thumbnail stay.
    const QString kept = pics.file("b.png");
    const QString thumbKept = thumb(kept);
    ASSERT_NE(ops.perform(FileOpRequest::forOperation(3, {kept}, {}), answers), 0);
    EXPECT_TRUE(QFileInfo::exists(thumbKept));

    // With writing turned off the cache is not touched: nothing moves along.
    ThumbnailCacheUpkeep readOnly(platform::createFileOperations(), shared, false);
    const QString renamed = pics.file("c.png");
    ASSERT_EQ(readOnly.perform(FileOpRequest::forOperation(5, {kept}, renamed), answers), 0);
    EXPECT_TRUE(QFileInfo::exists(thumbKept));
    EXPECT_FALSE(QFileInfo::exists(c.cache.describe(renamed)->largeFile));
}

TEST(ThumbnailCache, ChangedFileMakesItsThumbnailStale)
{
    Cache c;
    test::TempDir pics;
    const QString path = savePicture(pics, "p.png", gradient(300, 200));
    setMTime(path, 1700000000);
    auto src = c.cache.describe(path);
    ASSERT_TRUE(src);
    ASSERT_TRUE(c.cache.store(*src, gradient(256, 171), QSize(300, 200)));
    ASSERT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Hit);

    setMTime(path, 1700000009);
    src = c.cache.describe(path);
    EXPECT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Miss);
    EXPECT_FALSE(c.cache.hasCurrentEntry(*src));

    // Same second, different content length: still not this file's picture.
    setMTime(path, 1700000000);
    src = c.cache.describe(path);
    ASSERT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Hit);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write("tail");
    }
    setMTime(path, 1700000000);
    src = c.cache.describe(path);
    EXPECT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Miss);
}

TEST(ThumbnailCache, DamagedOrForeignSizedFilesAreIgnored)
{
    Cache c;
    test::TempDir pics;
    const QString path = savePicture(pics, "p.png", gradient(800, 600));
    const auto src = c.cache.describe(path);
    ASSERT_TRUE(src);
    ASSERT_TRUE(c.cache.store(*src, gradient(256, 192), QSize(800, 600)));
    QFile f(src->largeFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();

    auto replace = [&](const QByteArray &bytes) {
        QFile out(src->largeFile);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    };
    replace(good.left(good.size() / 2)); // cut off mid-picture
    EXPECT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Miss);
    QByteArray flipped = good;
    flipped[flipped.size() - 40] = char(flipped[flipped.size() - 40] ^ 0x5a); // bad checksum
    replace(flipped);
    EXPECT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Miss);
    replace("not a png at all");
    EXPECT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Miss);

    // The right file, but a normal (128) thumbnail in the large folder, or one
    // bigger than large: both belong elsewhere.
    writeForeignThumbnail(src->largeFile, gradient(128, 96), src->uri, src->mtime);
    EXPECT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Miss);
    writeForeignThumbnail(src->largeFile, gradient(512, 384), src->uri, src->mtime);
    EXPECT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Miss);
    // Another file's thumbnail under this name.
    writeForeignThumbnail(src->largeFile, gradient(256, 192), "file:///elsewhere.png", src->mtime);
    EXPECT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Miss);

    // A small picture keeps its own size; the thumbnail says so.
    const QString small = savePicture(pics, "small.png", gradient(100, 80));
    const auto smallSrc = c.cache.describe(small);
    ASSERT_TRUE(c.cache.store(*smallSrc, gradient(100, 80), QSize(100, 80)));
    const CacheLookup hit = c.cache.lookup(*smallSrc);
    ASSERT_EQ(hit.state, CacheLookup::State::Hit);
    EXPECT_EQ(hit.image.size(), QSize(100, 80));
}

TEST(ThumbnailCache, ThumbnailOfAnotherProgramIsUsed)
{
    Cache c;
    test::TempDir pics;
    const QString path = savePicture(pics, "r.png", gradient(1200, 900));
    const auto src = c.cache.describe(path);
    ASSERT_TRUE(src);
    QImage green(256, 192, QImage::Format_RGB32);
    green.fill(Qt::green);
    writeForeignThumbnail(src->largeFile, green, src->uri, src->mtime);
    CacheLookup hit = c.cache.lookup(*src);
    ASSERT_EQ(hit.state, CacheLookup::State::Hit);
    EXPECT_EQ(hit.image.pixel(10, 10), QColor(Qt::green).rgb());
    EXPECT_EQ(hit.original, QSize(256, 192)); // it did not say, so its own proportions

    // Text after the picture is found too, and still checked.
    green.fill(Qt::darkGreen);
    writeThumbnailTextLast(src->largeFile, green, src->uri, src->mtime);
    hit = c.cache.lookup(*src);
    ASSERT_EQ(hit.state, CacheLookup::State::Hit);
    EXPECT_EQ(hit.image.pixel(10, 10), QColor(Qt::darkGreen).rgb());
    writeThumbnailTextLast(src->largeFile, green, src->uri, src->mtime - 1);
    EXPECT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Miss);
}

TEST(ThumbnailCache, FailureRecordHoldsUntilTheFileChanges)
{
    Cache c;
    test::TempDir pics;
    const QString path = pics.write("broken.jpg", QByteArray("\xFF\xD8\xFF not really"));
    setMTime(path, 1600000000);
    auto src = c.cache.describe(path);
    ASSERT_TRUE(src);
    EXPECT_TRUE(src->failFile.contains(QStringLiteral("/thumbnails/fail/lumora-2.1/")));
    ASSERT_TRUE(c.cache.storeFailure(*src, QStringLiteral("The file is damaged.")));
    const CacheLookup failed = c.cache.lookup(*src);
    EXPECT_EQ(failed.state, CacheLookup::State::Failed);
    EXPECT_EQ(failed.error, QStringLiteral("The file is damaged."));
    EXPECT_EQ(ownerBits(c.home.file("thumbnails/fail")),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ownerBits(src->failFile), QFile::ReadOwner | QFile::WriteOwner);

    setMTime(path, 1600000100);
    src = c.cache.describe(path);
    EXPECT_EQ(c.cache.lookup(*src).state, CacheLookup::State::Miss);
}

TEST(ThumbnailCache, FilesInsideTheCacheAreNotCached)
{
    Cache c;
    QDir().mkpath(c.home.file("thumbnails/large"));
    const QString inside = c.home.file("thumbnails/large/0123.png");
    ASSERT_TRUE(gradient(256, 192).save(inside));
    EXPECT_FALSE(c.cache.describe(inside));
    // Also when reached through a link to the cache folder.
    const QString link = c.home.file("view");
    ASSERT_TRUE(QFile::link(c.home.file("thumbnails/large"), link));
    EXPECT_FALSE(c.cache.describe(link + QStringLiteral("/0123.png")));
    EXPECT_FALSE(c.cache.describe(c.home.file("missing.png")));
}

TEST(ThumbnailCache, RemovableMediaAreReadButNeverWritten)
{
    Cache c;
    c.mounts->removable = true;
    test::TempDir stick;
    const QString path = savePicture(stick, "holiday.png", gradient(640, 480));
    const auto src = c.cache.describe(path);
    ASSERT_TRUE(src);
    EXPECT_FALSE(src->writable);
    EXPECT_FALSE(c.cache.store(*src, gradient(256, 192), QSize(640, 480)));
    EXPECT_FALSE(c.cache.storeFailure(*src, QStringLiteral("x")));
    EXPECT_FALSE(QFileInfo::exists(c.home.file("thumbnails")));

    // A repository on the medium itself names the file relative to it.
    EXPECT_EQ(src->sharedUri, QByteArray("./holiday.png"));
    EXPECT_EQ(src->sharedFile,
              stick.file(".sh_thumbnails/large/") + ThumbnailCache::fileName("./holiday.png"));
    QImage blue(256, 192, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    writeForeignThumbnail(src->sharedFile, blue, "./holiday.png", src->mtime);
    const CacheLookup hit = c.cache.lookup(*src);
    ASSERT_EQ(hit.state, CacheLookup::State::Hit);
    EXPECT_EQ(hit.image.pixel(3, 3), QColor(Qt::blue).rgb());
    // Thumbnails of that repository are not thumbnailed themselves.
    EXPECT_FALSE(c.cache.describe(src->sharedFile));
}

TEST(LinuxMountKind, HotplugFoldersAndRemovableDevices)
{
    using platform::LinuxMountKind;
    EXPECT_TRUE(LinuxMountKind::isHotplugMountPoint(QStringLiteral("/media/ann/STICK")));
    EXPECT_TRUE(LinuxMountKind::isHotplugMountPoint(QStringLiteral("/run/media/ann/CARD")));
    EXPECT_FALSE(LinuxMountKind::isHotplugMountPoint(QStringLiteral("/")));
    EXPECT_FALSE(LinuxMountKind::isHotplugMountPoint(QStringLiteral("/home")));

    // A sysfs-like tree: sdb is removable, its partition links into it; sda is not.
    test::TempDir sys;
    sys.write("devices/sdb/removable", "1\n");
    sys.mkdir("devices/sdb/sdb1");
    sys.write("devices/sda/removable", "0\n");
    sys.mkdir("devices/sda/sda2");
    const QString block = sys.mkdir("block");
    ASSERT_TRUE(QFile::link(sys.file("devices/sdb"), block + QStringLiteral("/sdb")));
    ASSERT_TRUE(QFile::link(sys.file("devices/sdb/sdb1"), block + QStringLiteral("/sdb1")));
    ASSERT_TRUE(QFile::link(sys.file("devices/sda/sda2"), block + QStringLiteral("/sda2")));
    EXPECT_TRUE(LinuxMountKind::sysfsSaysRemovable(block, QStringLiteral("/dev/sdb")));
    EXPECT_TRUE(LinuxMountKind::sysfsSaysRemovable(block, QStringLiteral("/dev/sdb1")));
    EXPECT_FALSE(LinuxMountKind::sysfsSaysRemovable(block, QStringLiteral("/dev/sda2")));
    EXPECT_FALSE(LinuxMountKind::sysfsSaysRemovable(block, QStringLiteral("tmpfs")));
    EXPECT_FALSE(LinuxMountKind::sysfsSaysRemovable(block, QStringLiteral("/dev/../etc")));
}

TEST(ThumbnailCacheSetting, WritingIsOnUnlessTheStoredValueSaysZero)
{
    test::TempDir dir;
    platform::SqliteRegistryStore store(dir.file("registry.db"));
    settings::CRegister reg(store);
    const QString key = QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings\\");
    EXPECT_TRUE(thumbnailCacheWritingAllowed(nullptr));
    EXPECT_TRUE(thumbnailCacheWritingAllowed(&store)); // missing value
    ASSERT_TRUE(reg.REGSaveSetting(platform::HKEY_LOCAL_MACHINE, key,
                                   QStringLiteral("Thumbnail Cache"), QStringLiteral("0")));
    EXPECT_FALSE(thumbnailCacheWritingAllowed(&store));
    ASSERT_TRUE(reg.REGSaveSetting(platform::HKEY_LOCAL_MACHINE, key,
                                   QStringLiteral("Thumbnail Cache"), QStringLiteral("-1")));
    EXPECT_TRUE(thumbnailCacheWritingAllowed(&store));
}
