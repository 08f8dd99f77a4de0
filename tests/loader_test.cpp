// The loader processes: every decode result crosses the socket whole, a
// reply that does not add up is refused, and a file that crashes, hangs or
// floods its decoder costs that file alone, in the grid, the viewer and the
// converter. The misbehaving files are read by lumora-loader-test.
#include "app/ConvertTool.h"
#include "dialogs/frmAbout.h"
#include "explorer/CachedThumbnail.h"
#include "explorer/ExploreModel.h"
#include "explorer/ImageExplore.h"
#include "explorer/ThumbnailCache.h"
#include "imaging/Decoder.h"
#include "loader/LoaderClient.h"
#include "loader/LoaderPool.h"
#include "loader/LoaderProtocol.h"
#include "loader/LoaderSetting.h"
#include "platform/SqliteRegistryStore.h"
#include "settings/CRegister.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompter.h"
#include "support/TempDir.h"
#include "support/ViewerFixture.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QPushButton>
#include <QTest>
#include <QTextStream>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>

using namespace lumora;

namespace
{

QString besideTests(const char *name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
}

// Routes this process's decodes to the test loader for the scope's time.
struct TestLoader {
    loader::LoaderSettings saved = loader::currentSettings();
    explicit TestLoader(int timeLimitMs = 1500)
    {
        loader::LoaderSettings s;
        s.program = besideTests("lumora-loader-test");
        s.timeLimitMs = timeLimitMs;
        loader::configure(s);
    }
    ~TestLoader() { loader::configure(saved); }
};

// A 16-bit BI_BITFIELDS BMP whose blue mask is zero: the reader divides by
// the mask's width.
QByteArray zeroMaskBmp()
{
    QByteArray pixels(4 * 4 * 2, '\x34');
    QByteArray out;
    auto le16 = [&](quint16 v) { out.append(char(v & 0xFF)).append(char(v >> 8)); };
    auto le32 = [&](quint32 v) { le16(quint16(v & 0xFFFF)), le16(quint16(v >> 16)); };
    out.append("BM");
    le32(14 + 40 + 12 + pixels.size());
    le32(0);
    le32(14 + 40 + 12);
    for (quint32 v : {40u, 4u, 4u})
        le32(v);
    le16(1);
    le16(16);
    for (quint32 v : {3u, quint32(pixels.size()), 2835u, 2835u, 0u, 0u, 0xF800u, 0x07E0u, 0u})
        le32(v);
    return out + pixels;
}

struct BadFile {
    const char *name;
    QByteArray content;
    const char *expected; // part of the error its decode must give
};

// The test loader misbehaves for these; each costs its own file.
QList<BadFile> badFiles(const test::TempDir &dir)
{
    const QByteArray written = QFile::encodeName(dir.file("written-by-decoder"));
    const QByteArray ran = QFile::encodeName(dir.file("program-ran"));
    return {
        {"fpe.jpg", "LUMORA-TEST fpe",
         "the decoder stopped on this file: signal 8 (arithmetic fault)"},
        {"crash.jpg", "LUMORA-TEST crash",
         "the decoder stopped on this file: signal 11 (memory fault)"},
        {"abort.png", "LUMORA-TEST abort", "the decoder stopped on this file: signal 6 (aborted)"},
        {"hang.jpg", "LUMORA-TEST hang", "the decoder stopped on this file: it took longer than"},
        {"spin.gif", "LUMORA-TEST spin", "the decoder stopped on this file: it took longer than"},
        {"huge.jpg", "LUMORA-TEST allocate",
         "the decoder stopped on this file: it needed more than its memory limit"},
        {"write.jpg", "LUMORA-TEST write " + written, "writing a file refused"},
        {"socket.jpg", "LUMORA-TEST socket", "opening a socket refused"},
        {"exec.jpg", "LUMORA-TEST exec " + ran, "starting a program refused"},
    };
}

QString writePhoto(const test::TempDir &dir, int i)
{
    QImage img(400 + i, 300, QImage::Format_RGB32);
    img.fill(QColor::fromHsv(i * 17 % 360, 200, 220));
    const QString path = dir.file(QStringLiteral("photo%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
    EXPECT_TRUE(img.save(path, "jpg", 90));
    return path;
}

void expectSameResult(const imaging::DecodedImage &a, const imaging::DecodedImage &b)
{
    EXPECT_EQ(a.error, b.error);
    EXPECT_EQ(a.damage, b.damage);
    EXPECT_EQ(a.format, b.format);
    EXPECT_EQ(a.bitsPerPixel, b.bitsPerPixel);
    EXPECT_EQ(a.originalSize, b.originalSize);
    ASSERT_EQ(a.pages.size(), b.pages.size());
    for (qsizetype i = 0; i < a.pages.size(); ++i) {
        const QImage &p = a.pages[i], &q = b.pages[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(p.format(), q.format());
        EXPECT_EQ(p.size(), q.size());
        EXPECT_EQ(p.colorTable(), q.colorTable());
        EXPECT_EQ(p.dotsPerMeterX(), q.dotsPerMeterX());
        EXPECT_EQ(p.dotsPerMeterY(), q.dotsPerMeterY());
        EXPECT_EQ(p.colorSpace(), q.colorSpace());
        EXPECT_EQ(p.textKeys(), q.textKeys());
        EXPECT_TRUE(p == q) << "pixels differ";
    }
}

} // namespace

TEST(Loader, EveryFactOfADecodeCrossesTheSocket)
{
    test::TempDir dir;
    QStringList files;
    for (const QFileInfo &f : QDir(QStringLiteral(LUMORA_SAMPLES)).entryInfoList(QDir::Files))
        files << f.absoluteFilePath();
    // What the samples may lack: a palette, resolution and text, a colour
    // space from an ICC profile, 16 bits a sample.
    QImage indexed(33, 17, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(1, 2, 3), qRgb(200, 100, 50), qRgb(9, 250, 9)});
    for (int y = 0; y < indexed.height(); ++y)
        for (int x = 0; x < indexed.width(); ++x)
            indexed.setPixel(x, y, uint((x + y) % 3));
    indexed.setDotsPerMeterX(3000);
    indexed.setDotsPerMeterY(4000);
    indexed.setText(QStringLiteral("Comment"), QStringLiteral("kept"));
    ASSERT_TRUE(indexed.save(dir.file("indexed.png")));
    QImage deep(31, 7, QImage::Format_RGBA64);
    deep.fill(QColor::fromRgba64(1000, 30000, 65000, 40000));
    deep.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    ASSERT_TRUE(deep.save(dir.file("deep.png")));
    // A JPEG cut short: what was read, and the word that it is damaged.
    QFile photo(writePhoto(dir, 7));
    ASSERT_TRUE(photo.open(QIODevice::ReadWrite));
    ASSERT_TRUE(photo.resize(photo.size() * 3 / 5));
    photo.close();
    ASSERT_FALSE(imaging::decodeFileInProcess(photo.fileName()).damage.isEmpty());
    files << dir.file("indexed.png") << dir.file("deep.png") << photo.fileName();
    // Pictures large enough for the worker to bring their pages in ahead of
    // the decoder, whole and cut off part-way through.
    QImage large(2400, 1600, QImage::Format_RGB32);
    for (int y = 0; y < large.height(); ++y)
        for (int x = 0; x < large.width(); ++x)
            large.setPixel(x, y, qRgb(x & 255, y & 255, (x ^ y) & 255));
    ASSERT_TRUE(large.save(dir.file("large.jpg"), "jpg", 85));
    ASSERT_TRUE(large.save(dir.file("large.png")));
    ASSERT_TRUE(QFile::copy(dir.file("large.jpg"), dir.file("large-cut.jpg")));
    QFile cut(dir.file("large-cut.jpg"));
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    ASSERT_TRUE(cut.resize(cut.size() / 3));
    cut.close();
    files << dir.file("large.jpg") << dir.file("large.png") << dir.file("large-cut.jpg");
    ASSERT_GT(files.size(), 20);

    for (const QString &path : files) {
        SCOPED_TRACE(path.toStdString());
        imaging::DecodeOptions first;
        first.allPages = false;
        first.scaledSize = QSize(140, 252);
        for (const imaging::DecodeOptions &options : {imaging::DecodeOptions{}, first}) {
            const imaging::DecodedImage there = imaging::decodeFile(path, options);
            const imaging::DecodedImage here = imaging::decodeFileInProcess(path, options);
            if (here.error.contains(QStringLiteral("lumora-loader-emf"))) {
                // Only lumora-loader-emf carries the EMF reader.
                EXPECT_TRUE(there.ok()) << there.error.toStdString();
                EXPECT_EQ(there.format, imaging::FormatCode::Emf);
                continue;
            }
            ASSERT_TRUE(here.ok()) << here.error.toStdString();
            expectSameResult(there, here);
        }
    }
    // Bytes in memory go the same way, as a sealed memfd.
    QFile png(dir.file("indexed.png"));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));
    const QByteArray bytes = png.readAll();
    expectSameResult(imaging::decodeData(bytes, {}, QStringLiteral("x.png")),
                     imaging::decodeDataInProcess(bytes, {}, QStringLiteral("x.png")));
}

TEST(Loader, AFreshWorkersFirstFileOfAnyKindIsReadInsideItsSandbox)
{
    // A worker warms only the photo readers before its sandbox closes; any
    // other kind loads its libraries and data files under the filter, when
    // its first file comes or the worker is idle. Each sample here is the
    // first file of a new worker, before any idle warming.
    const loader::LoaderSettings saved = loader::currentSettings();
    loader::LoaderSettings fresh = saved;
    for (const QFileInfo &f : QDir(QStringLiteral(LUMORA_SAMPLES)).entryInfoList(QDir::Files)) {
        SCOPED_TRACE(f.fileName().toStdString());
        const imaging::DecodedImage here = imaging::decodeFileInProcess(f.absoluteFilePath());
        if (here.error.contains(QStringLiteral("lumora-loader-emf")))
            continue; // not this loader's kind
        // Other settings, so new workers.
        fresh.workers = fresh.workers == 1 ? 2 : 1;
        loader::configure(fresh);
        const imaging::DecodedImage there = imaging::decodeFile(f.absoluteFilePath());
        ASSERT_TRUE(here.ok()) << here.error.toStdString();
        expectSameResult(there, here);
        EXPECT_EQ(loader::loadersStarted(), 1);
    }
    loader::configure(saved);
}

TEST(Loader, PagesAreMappedAndAWriteNeverReachesTheOtherCopies)
{
    test::TempDir dir;
    QImage img(64, 48, QImage::Format_RGB32);
    img.fill(Qt::darkCyan);
    ASSERT_TRUE(img.save(dir.file("a.png")));
    imaging::DecodedImage d = imaging::decodeFile(dir.file("a.png"));
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    QImage page = d.pages.front();
    const uchar *mapped = page.constBits();
    page.setPixelColor(0, 0, Qt::red); // detaches: the result's page stays as decoded
    EXPECT_NE(page.constBits(), mapped);
    EXPECT_EQ(d.pages.front().pixelColor(0, 0), QColor(Qt::darkCyan));
    EXPECT_EQ(page.pixelColor(0, 0), QColor(Qt::red));
}

TEST(Loader, AWorkerOutlivesTheThreadThatStartedIt)
{
    test::TempDir dir;
    const QString photo = writePhoto(dir, 3);
    loader::LoaderSettings one = loader::currentSettings();
    one.workers = 1;
    loader::configure(one); // a fresh pool: its worker starts below
    std::thread([&] { EXPECT_TRUE(imaging::decodeFile(photo).ok()); }).join();
    const int started = loader::loadersStarted();
    const imaging::DecodedImage d = imaging::decodeFile(photo);
    EXPECT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_EQ(loader::loadersStarted(), started) << "the worker died with its thread";
    loader::configure({});
}

TEST(LoaderProtocol, RepliesThatDoNotAddUpAreRefused)
{
    imaging::DecodedImage decoded;
    QImage page(100, 50, QImage::Format_RGB32); // 20000 bytes, five memory pages
    page.fill(Qt::blue);
    decoded.pages << page;
    decoded.format = imaging::FormatCode::Png;
    loader::PackedReply reply;
    QString error;
    ASSERT_TRUE(loader::packReply(loader::ReplyKind::Decoded, decoded, &reply, &error));
    ASSERT_GE(reply.pixelFd, 0);
    ASSERT_EQ(fcntl(reply.pixelFd, F_GET_SEALS) & (F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE),
              F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE);

    // The same pixels in a memfd a worker could still change or shrink.
    const auto unsealed = [&](qint64 size) {
        const int fd = memfd_create("test", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        EXPECT_EQ(ftruncate(fd, size), 0);
        return fd;
    };
    const auto sealedShort = [&] {
        const int fd = unsealed(4096);
        fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE);
        return fd;
    };
    struct Case {
        const char *what;
        QByteArray message;
        int fd;
        bool refused;
    };
    const Case cases[] = {
        {"sealed, whole", reply.message, dup(reply.pixelFd), false},
        {"not sealed", reply.message, unsealed(8192), true},
        {"sealed but shorter than its pages", reply.message, sealedShort(), true},
        {"no memfd at all", reply.message, -1, true},
        {"a message cut short", reply.message.left(reply.message.size() - 3), dup(reply.pixelFd),
         true},
        {"not a reply", loader::encodeRequest({}), dup(reply.pixelFd), true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        loader::ReplyKind kind{};
        const imaging::DecodedImage out = loader::unpackReply(c.message, c.fd, &kind);
        if (c.refused) {
            EXPECT_TRUE(out.pages.isEmpty());
            EXPECT_TRUE(out.error.contains(QStringLiteral("does not add up")))
                << out.error.toStdString();
        } else {
            ASSERT_TRUE(out.ok()) << out.error.toStdString();
            EXPECT_TRUE(out.pages.front() == page);
            EXPECT_EQ(kind, loader::ReplyKind::Decoded);
        }
    }
    close(reply.pixelFd);
}

TEST(Loader, AFileThatBreaksItsDecoderCostsThatFileOnly)
{
    test::TempDir dir;
    TestLoader testLoader;
    const QString good = writePhoto(dir, 1);
    const ThumbnailCache cache(dir.file("thumbnails"));
    QList<BadFile> bad = badFiles(dir);
    for (const BadFile &b : bad) {
        SCOPED_TRACE(b.name);
        const int before = loader::loadersStarted();
        const imaging::DecodedImage d = imaging::decodeFile(dir.write(b.name, b.content));
        EXPECT_FALSE(d.ok());
        EXPECT_TRUE(d.pages.isEmpty());
        EXPECT_TRUE(d.error.startsWith(QString::fromLatin1(b.expected))) << d.error.toStdString();
        // Running out of time may be the machine's fault rather than the
        // file's: the thumbnail cache must not keep it as the file's failure.
        const bool outOfTime = d.error.contains(QStringLiteral("took longer"));
        EXPECT_EQ(d.transient, outOfTime);
        const CachedResult thumb = cachedThumbnail(dir.file(b.name), cache, true);
        EXPECT_FALSE(thumb.result.error.isEmpty());
        EXPECT_EQ(thumb.toCache == nullptr, outOfTime);
        // The next file finds a worker, a new one where the old one died.
        const imaging::DecodedImage next = imaging::decodeFile(good);
        ASSERT_TRUE(next.ok()) << next.error.toStdString();
        EXPECT_EQ(next.pages.front().width(), 401);
        if (d.error.startsWith(QStringLiteral("the decoder stopped"))) {
            EXPECT_GT(loader::loadersStarted(), before);
        }
    }
    EXPECT_FALSE(QFile::exists(dir.file("written-by-decoder")));
    EXPECT_FALSE(QFile::exists(dir.file("program-ran")));

    // The real loader on a file that really crashed its reader: whatever it
    // makes of it now, the program goes on.
    configure(testLoader.saved);
    const imaging::DecodedImage bmp = imaging::decodeFile(dir.write("zero.bmp", zeroMaskBmp()));
    EXPECT_TRUE(bmp.ok() || !bmp.error.isEmpty());
    EXPECT_TRUE(imaging::decodeFile(good).ok());
}

TEST(Loader, TheSandboxIsReportedAndTheTimeLimitIsASetting)
{
    const QString sandbox = loader::sandboxDescription();
    EXPECT_TRUE(sandbox.startsWith(QStringLiteral("on (")) ||
                sandbox.startsWith(QStringLiteral("off: ")))
        << sandbox.toStdString();
    // About's System Info button says it too.
    frmAbout about(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(about.cmdSysInfo()->toolTip(), QStringLiteral("Decoder sandbox: ") + sandbox);

    test::TempDir dir;
    // A new time limit keeps the loaders running (the program sets the
    // user's after starting the first) and holds from the next file.
    {
        TestLoader testLoader(20000);
        const QString hang = dir.write("hang.jpg", "LUMORA-TEST hang");
        ASSERT_TRUE(imaging::decodeFile(writePhoto(dir, 2)).ok());
        const int started = loader::loadersStarted();
        loader::LoaderSettings shorter = loader::currentSettings();
        shorter.timeLimitMs = 300;
        loader::configure(shorter);
        EXPECT_EQ(loader::loadersStarted(), started);
        const imaging::DecodedImage d = imaging::decodeFile(hang);
        EXPECT_EQ(d.error, QStringLiteral("the decoder stopped on this file: it took longer "
                                          "than 0.3 s"));
    }
    platform::SqliteRegistryStore store(dir.file("registry.db"));
    settings::CRegister reg(store);
    const QString key = QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings\\");
    EXPECT_EQ(loader::decoderTimeLimitMs(nullptr), 20000);
    EXPECT_EQ(loader::decoderTimeLimitMs(&store), 20000); // missing value
    const struct {
        const char *text;
        int ms;
    } cases[] = {{"5", 5000}, {" 90 ", 90000}, {"0", 20000}, {"-3", 20000}, {"soon", 20000}};
    for (const auto &c : cases) {
        ASSERT_TRUE(reg.REGSaveSetting(platform::HKEY_LOCAL_MACHINE, key,
                                       QStringLiteral("Decoder Time Limit"),
                                       QString::fromLatin1(c.text)));
        EXPECT_EQ(loader::decoderTimeLimitMs(&store), c.ms) << c.text;
    }
}

TEST(Loader, WorkerEndsAreNamed)
{
    const struct {
        int status;
        const char *text;
    } cases[] = {{SIGFPE, "signal 8 (arithmetic fault)"},
                 {SIGSEGV, "signal 11 (memory fault)"},
                 {SIGSYS, "signal 31 (forbidden system call)"},
                 {SIGUSR1, "signal 10"},
                 {3 << 8, "it ended with status 3"}};
    for (const auto &c : cases)
        EXPECT_EQ(loader::describeEnd(c.status), QString::fromLatin1(c.text));
}

// The folder of the issue: twenty photos and a file of every bad kind. The
// browser lists them all, the viewer steps over the bad ones, the converter
// converts the twenty and names the rest.
TEST(LoaderWidgets, TwentyPhotosAndEveryKindOfBadFileInOneFolder)
{
    test::ViewerFixture f;
    TestLoader testLoader(2000);
    const test::TempDir &dir = f.dir;
    QStringList photos, broken;
    for (int i = 0; i < 20; ++i)
        photos << writePhoto(dir, i);
    for (const BadFile &b : badFiles(dir))
        broken << dir.write(b.name, b.content);
    broken << dir.write("zero-mask.bmp", zeroMaskBmp());

    {
        test::ScriptedPrompter prompter;
        ImageExplore grid(prompter);
        grid.SetExt(QString::fromLatin1(kExplorerExtensions));
        grid.resize(900, 600);
        grid.ExplorePath(dir.path());
        EXPECT_TRUE(prompter.asked.isEmpty());
        const ExploreModel *m = grid.model();
        QStringList listed;
        for (int row = 0; row < m->rowCount(); ++row) {
            const QString path = m->iconKey(row);
            if (!QFileInfo(path).isFile() || path.endsWith(QStringLiteral(".db")))
                continue;
            listed << path;
            SCOPED_TRACE(path.toStdString());
            ASSERT_TRUE(QTest::qWaitFor(
                [&] { return !m->index(row).data(ExploreModel::IsPlaceholderRole).toBool(); },
                20000));
            const QString tooltip = m->index(row).data(Qt::ToolTipRole).toString();
            if (photos.contains(path)) {
                EXPECT_FALSE(m->thumbnail(row).isNull());
            } else if (path.endsWith(QStringLiteral(".bmp"))) {
                // Once a crash of its reader, now read or refused; either way
                // the listing went on.
                EXPECT_TRUE(!m->thumbnail(row).isNull() || !tooltip.isEmpty());
            } else {
                EXPECT_TRUE(m->thumbnail(row).isNull());
                EXPECT_FALSE(m->index(row).data(ExploreModel::PictureRole).value<QImage>().isNull())
                    << "the red cross";
                EXPECT_TRUE(tooltip.contains(QStringLiteral("the decoder stopped")) ||
                            tooltip.contains(QStringLiteral("refused")))
                    << tooltip.toStdString();
            }
        }
        EXPECT_EQ(listed.size(), photos.size() + broken.size());
    }

    {
        QStringList all = photos + broken;
        all.sort();
        int index = 0;
        f.viewer->ViewImage(all, index);
        for (int i = 1; i < all.size(); ++i) {
            f.viewer->ShowNextImage();
            SCOPED_TRACE(all.at(i).toStdString());
            EXPECT_EQ(f.viewer->currentIndex(), i);
            if (photos.contains(all.at(i))) {
                EXPECT_EQ(f.viewer->ImgX->document()->ImageFilePath(), all.at(i));
            } else if (!all.at(i).endsWith(QStringLiteral(".bmp"))) {
                EXPECT_TRUE(f.viewer->ImgX->document()->isEmpty());
                EXPECT_FALSE(f.viewer->ImgX->errorText().isEmpty());
            }
        }
    }

    {
        ConvertRequest request;
        request.mode = ConvertRequest::Mode::Batch;
        request.inputs = photos + broken;
        request.outDir = dir.mkdir(QStringLiteral("out"));
        request.format = imaging::FormatCode::Png;
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        EXPECT_EQ(runConvert(request, outStream, errStream, false), 1);
        outStream.flush();
        errStream.flush();
        EXPECT_EQ(QDir(request.outDir).entryList(QDir::Files).size(),
                  photos.size() + (imaging::decodeFile(broken.back()).ok() ? 1 : 0));
        for (const QString &b : broken) {
            if (!b.endsWith(QStringLiteral(".bmp"))) {
                EXPECT_TRUE((out + err).contains(QFileInfo(b).fileName())) << b.toStdString();
            }
        }
    }
    EXPECT_FALSE(QFile::exists(dir.file("written-by-decoder")));
    EXPECT_FALSE(QFile::exists(dir.file("program-ran")));
}
