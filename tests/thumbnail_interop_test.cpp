// The cache as the GNOME side sees it: file names and URIs as GLib computes
// them (gio), thumbnails from gdk-pixbuf-thumbnailer stored the way the
// desktop's thumbnail factory stores them, and our files read by Pillow and
// gdk-pixbuf.
#include "explorer/ExploreModel.h"
#include "explorer/ImageExplore.h"
#include "explorer/ThumbnailCache.h"
#include "explorer/ThumbnailCacheWriter.h"
#include "explorer/ThumbnailPipeline.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace lumora;

namespace
{

struct Run {
    int code = -1;
    QByteArray out;
};

Run run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(60000))
        return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    return r;
}

bool have(const QString &tool)
{
    return QFileInfo::exists(tool);
}

const QString kThumbnailer = QStringLiteral("/usr/bin/gdk-pixbuf-thumbnailer");
const QString kGio = QStringLiteral("/usr/bin/gio");
const QString kPython = QStringLiteral("/usr/bin/python3");

// What GLib calls the file's URI.
QByteArray gioUri(const QString &path)
{
    const Run r = run(kGio, {QStringLiteral("info"), QStringLiteral("-a"),
                             QStringLiteral("standard::name"), path});
    for (const QByteArray &line : r.out.split('\n')) {
        if (line.startsWith("uri: "))
            return line.mid(5).trimmed();
    }
    return {};
}

// Pillow's view of a PNG: mode, size, interlacing and text, one per line.
QMap<QByteArray, QByteArray> pillowInfo(const QString &png)
{
    const char *script = "import sys\n"
                         "from PIL import Image\n"
                         "im = Image.open(sys.argv[1]); im.load()\n"
                         "print('mode=' + im.mode)\n"
                         "print('size=%dx%d' % im.size)\n"
                         "print('interlace=%d' % im.info.get('interlace', 0))\n"
                         "for k, v in im.text.items(): print('text:' + k + '=' + v)\n";
    const Run r = run(kPython, {QStringLiteral("-c"), QString::fromLatin1(script), png});
    QMap<QByteArray, QByteArray> out;
    for (const QByteArray &line : r.out.split('\n')) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            out.insert(line.left(eq), line.mid(eq + 1));
    }
    return out;
}

// The desktop's factory saves a thumbnailer's output with the URI and the
// time added; Pillow stands in for it here.
bool saveLikeTheFactory(const QString &thumbnailerOut, const QString &target, const QByteArray &uri,
                        qint64 mtime)
{
    const char *script = "import sys, os\n"
                         "from PIL import Image, PngImagePlugin\n"
                         "im = Image.open(sys.argv[1])\n"
                         "info = PngImagePlugin.PngInfo()\n"
                         "info.add_text('Thumb::URI', sys.argv[3])\n"
                         "info.add_text('Thumb::MTime', sys.argv[4])\n"
                         "info.add_text('Software', 'GNOME::ThumbnailFactory')\n"
                         "os.makedirs(os.path.dirname(sys.argv[2]), mode=0o700, exist_ok=True)\n"
                         "im.save(sys.argv[2], pnginfo=info)\n";
    return run(kPython, {QStringLiteral("-c"), QString::fromLatin1(script), thumbnailerOut, target,
                         QString::fromLatin1(uri), QString::number(mtime)})
               .code == 0;
}

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

QString photo(const test::TempDir &dir, const QString &name, QColor c)
{
    QImage img(1600, 1200, QImage::Format_RGB32);
    img.fill(c);
    const QString path = dir.file(name);
    EXPECT_TRUE(img.save(path, "JPG"));
    return path;
}

} // namespace

TEST(ThumbnailInterop, FileNamesAndUrisMatchGlib)
{
    if (!have(kGio))
        GTEST_SKIP() << "gio not installed";
    test::TempDir dir;
    for (const QString &name :
         {QStringLiteral("plain.jpg"), QStringLiteral("with space;#&+=@[]~%.jpg"),
          QStringLiteral("ros\u00e9e du matin.png"), QStringLiteral("a$b,c(d)'e!.tif")}) {
        const QString path = dir.write(name);
        const QByteArray glib = gioUri(path);
        ASSERT_FALSE(glib.isEmpty()) << name.toStdString();
        EXPECT_EQ(ThumbnailCache::fileUri(path), glib) << name.toStdString();
    }
}

TEST(ThumbnailInterop, OurThumbnailsCarryWhatTheDesktopChecks)
{
    if (!have(kThumbnailer) || !have(kPython) || !have(kGio))
        GTEST_SKIP() << "gdk-pixbuf-thumbnailer, python3-pil or gio missing";
    CacheHome home;
    test::TempDir dir;
    const QString path = photo(dir, "holiday photo.jpg", QColor(200, 120, 40));
    {
        test::ScriptedPrompter prompter;
        ImageExplore e(prompter);
        e.SetExt(QString::fromLatin1(kExplorerExtensions));
        e.ExplorePath(dir.path());
        ASSERT_TRUE(e.pipeline()->cacheWriter().waitUntilIdle(20000));
    }
    // The file name is the MD5 of the URI that GLib gives the file.
    const QByteArray uri = gioUri(path);
    const QString ours = home.root() + QStringLiteral("/large/") + ThumbnailCache::fileName(uri);
    ASSERT_TRUE(QFileInfo::exists(ours));

    // The thumbnailer on the same file, stored the way the factory does.
    const QString gnomeOut = dir.file("gnome.png");
    ASSERT_EQ(run(kThumbnailer,
                  {QStringLiteral("-s"), QStringLiteral("256"), QString::fromLatin1(uri), gnomeOut})
                  .code,
              0);
    const QString gnome = dir.file("gnome-cache/large/") + ThumbnailCache::fileName(uri);
    ASSERT_TRUE(saveLikeTheFactory(gnomeOut, gnome, uri,
                                   QFileInfo(path).lastModified().toSecsSinceEpoch()));

    const auto mine = pillowInfo(ours);
    const auto theirs = pillowInfo(gnome);
    ASSERT_FALSE(mine.isEmpty());
    ASSERT_FALSE(theirs.isEmpty());
    EXPECT_EQ(mine.value("size"), theirs.value("size")); // both 256 x 192
    EXPECT_EQ(mine.value("mode"), QByteArray("RGB"));    // opaque: 8-bit RGB, no alpha channel
    EXPECT_EQ(mine.value("interlace"), QByteArray("0"));
    for (const QByteArray &key : {QByteArray("text:Thumb::URI"), QByteArray("text:Thumb::MTime")}) {
        EXPECT_TRUE(theirs.contains(key));
        EXPECT_EQ(mine.value(key), theirs.value(key)) << key.constData();
    }
    EXPECT_EQ(mine.value("text:Thumb::Size"), QByteArray::number(QFileInfo(path).size()));

    // gdk-pixbuf itself decodes our file.
    const QString again = dir.file("again.png");
    EXPECT_EQ(run(kThumbnailer, {QStringLiteral("-s"), QStringLiteral("128"), ours, again}).code,
              0);
    EXPECT_EQ(QImage(again).size(), QSize(128, 96));
}

TEST(ThumbnailInterop, GridUsesThumbnailsTheDesktopMade)
{
    if (!have(kThumbnailer) || !have(kPython) || !have(kGio))
        GTEST_SKIP() << "gdk-pixbuf-thumbnailer, python3-pil or gio missing";
    CacheHome home;
    test::TempDir dir, work;
    const QString path = photo(dir, "made elsewhere.jpg", Qt::blue);
    // A different picture given to the thumbnailer, stored under this file's
    // name: if the grid shows it, the grid read the desktop's thumbnail.
    const QString decoy = photo(work, "decoy.jpg", Qt::yellow);
    const QByteArray uri = gioUri(path);
    const QString out = work.file("out.png");
    ASSERT_EQ(run(kThumbnailer, {QStringLiteral("-s"), QStringLiteral("256"), decoy, out}).code, 0);
    const QString target = home.root() + QStringLiteral("/large/") + ThumbnailCache::fileName(uri);
    ASSERT_TRUE(
        saveLikeTheFactory(out, target, uri, QFileInfo(path).lastModified().toSecsSinceEpoch()));

    test::ScriptedPrompter prompter;
    ImageExplore e(prompter);
    e.SetExt(QString::fromLatin1(kExplorerExtensions));
    e.ExplorePath(dir.path());
    ASSERT_TRUE(e.pipeline()->cacheWriter().waitUntilIdle(20000));
    const QImage t = e.model()->thumbnail(0);
    ASSERT_EQ(t.size(), QSize(140, 105));
    const QColor c = t.pixelColor(70, 50);
    EXPECT_GT(c.red(), 200);
    EXPECT_GT(c.green(), 200);
    EXPECT_LT(c.blue(), 60);
    EXPECT_EQ(e.pipeline()->cacheWriter().thumbnailsWritten(), 0);
}
