// The desktop thumbnail cache under a real listing: a folder of photos
// visited with cache writing off (the listing as it was before the cache),
// then for the first time with writing on (cold cache), then again (warm
// cache), each time until every thumbnail is in the grid, with the longest
// stretch the event loop went without a turn. The floor for a warm visit is
// a plain libpng read of the same cached files on every core, measured in
// the same run. The cache lives in a temporary XDG_CACHE_HOME.
//
//   lumora-thumbcachebench DIR [ROUNDS]
//
// ROUNDS (default 1) repeats the writing-off and cold visits alternately and
// keeps the best of each, so a neighbour's build spoils fewer of them; the
// warm visit is made ROUNDS times with the loader processes and ROUNDS times
// with the decoders in this process, and the best of each compared.

#include "dialogs/DialogPrompter.h"
#include "explorer/ExploreModel.h"
#include "explorer/ImageExplore.h"
#include "explorer/ThumbnailCache.h"
#include "explorer/ThumbnailCacheWriter.h"
#include "explorer/ThumbnailPipeline.h"
#include "imaging/Decoder.h"
#include "loader/LoaderClient.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <png.h>
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

using namespace lumora;

namespace
{

double peakRssMb()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss / 1024.0;
}

// Longest stretch without the event loop getting a turn, seen by a 5 ms timer.
class GapWatch : public QObject
{
public:
    GapWatch()
    {
        m_timer.setInterval(5);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last > 0)
                m_maxGapNs = std::max(m_maxGapNs, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    double maxGapMs() const { return m_maxGapNs / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_maxGapNs = 0;
};

struct Visit {
    double ms = 0;
    double gapMs = 0;
    double drainMs = 0; // writing after the grid was full
    int items = 0;
    int unreadable = 0;
    int written = 0;
};

Visit visit(const QString &dir, bool writing)
{
    DialogPrompter prompter;
    ImageExplore explorer(prompter);
    explorer.SetExt(QString::fromLatin1(kExplorerExtensions));
    explorer.setThumbnailCacheWriting(writing);
    Visit v;
    {
        GapWatch gaps;
        QElapsedTimer t;
        t.start();
        explorer.ExplorePath(dir);
        v.ms = t.nsecsElapsed() / 1e6;
        v.gapMs = gaps.maxGapMs();
    }
    v.items = explorer.itemCount();
    for (int r = 0; r < v.items; ++r) {
        if (explorer.model()->thumbnail(r).isNull())
            ++v.unreadable;
    }
    QElapsedTimer d;
    d.start();
    ThumbnailCacheWriter &writer = explorer.pipeline()->cacheWriter();
    while (!writer.waitUntilIdle(100))
        QCoreApplication::processEvents();
    v.drainMs = d.nsecsElapsed() / 1e6;
    v.written = writer.thumbnailsWritten();
    return v;
}

std::vector<unsigned char> readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray b = f.readAll();
    return {b.begin(), b.end()};
}

bool decodePng(const std::vector<unsigned char> &data)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size()))
        return false;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
    const bool ok = png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) != 0;
    png_image_free(&image);
    return ok;
}

// Plain libpng over the cached files, one thread per core.
double libpngMsPerFile(const QStringList &files, int threads)
{
    std::atomic<qsizetype> next{0};
    std::atomic<int> failed{0};
    QElapsedTimer t;
    t.start();
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; ++i) {
        pool.emplace_back([&] {
            for (qsizetype k; (k = next++) < files.size();) {
                if (!decodePng(readAll(files.at(k))))
                    ++failed;
            }
        });
    }
    for (auto &th : pool)
        th.join();
    if (failed)
        std::fprintf(stderr, "libpng could not read %d cached files\n", failed.load());
    return files.isEmpty() ? 0 : t.nsecsElapsed() / 1e6 / double(files.size());
}

void print(const char *name, const Visit &v, qsizetype images)
{
    std::printf(
        "%-24s total_ms=%.0f ms_per_image=%.2f max_event_gap_ms=%.1f items=%d unreadable=%d "
        "written=%d write_after_grid_ms=%.0f\n",
        name, v.ms, images ? v.ms / double(images) : 0.0, v.gapMs, v.items, v.unreadable, v.written,
        v.drainMs);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir cacheHome;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome.path()));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora"));
    imaging::applyDecodeLimits();
    const QStringList args = QApplication::arguments();
    const char *usage = "usage: lumora-thumbcachebench DIR [ROUNDS]\n"
                        "Lists the photos in DIR with the thumbnail cache off, cold and warm\n"
                        "(ROUNDS times, default 1) and prints each against plain libpng.\n";
    if (args.size() >= 2 && (args.at(1) == "--help" || args.at(1) == "-h")) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (args.size() < 2 || args.at(1).startsWith(QLatin1Char('-'))) {
        std::fputs(usage, stderr);
        return 2;
    }
    const QString dir = args.at(1);
    const int rounds = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 1;
    const QString root = cacheHome.path() + QStringLiteral("/thumbnails");
    const int cores = std::max(1, QThread::idealThreadCount());

    // Every visit finds the photos in the page cache alike.
    qint64 bytes = 0;
    QStringList photos;
    for (QDirIterator it(dir, QDir::Files); it.hasNext();) {
        photos << it.next();
        bytes += QFile(photos.last()).size();
        readAll(photos.last());
    }
    std::printf("photos=%lld (%.0f MB) cores=%d rounds=%d cache=%s\n", qlonglong(photos.size()),
                bytes / 1e6, cores, rounds, qPrintable(root));

    Visit off, cold;
    for (int r = 0; r < rounds; ++r) {
        QDir(root).removeRecursively();
        const Visit o = visit(dir, false);
        print("writing off", o, photos.size());
        if (QDir(root + QStringLiteral("/large")).exists())
            std::printf("  (the cache was written with writing off!)\n");
        QDir(root).removeRecursively();
        const Visit c = visit(dir, true);
        print("first visit (cold)", c, photos.size());
        if (r == 0 || o.ms < off.ms)
            off = o;
        if (r == 0 || c.ms < cold.ms)
            cold = c;
    }
    // Warm visits with the decoders in their loader processes (which stay
    // up between visits, as in a session) and then in this process, the
    // reference for what the loaders cost; the best of ROUNDS each.
    Visit warm, warmHere;
    for (int r = 0; r < rounds; ++r) {
        const Visit w = visit(dir, true);
        if (r == 0 || w.ms < warm.ms)
            warm = w;
    }
    print("second visit (warm)", warm, photos.size());
    loader::LoaderSettings here = loader::currentSettings();
    here.inProcess = true;
    loader::configure(here);
    for (int r = 0; r < rounds; ++r) {
        const Visit w = visit(dir, true);
        if (r == 0 || w.ms < warmHere.ms)
            warmHere = w;
    }
    print("warm, decoding in process", warmHere, photos.size());

    QStringList cached;
    for (QDirIterator it(root + QStringLiteral("/large"), {QStringLiteral("*.png")}, QDir::Files);
         it.hasNext();)
        cached << it.next();
    const double floor = libpngMsPerFile(cached, cores);
    const double warmPer = photos.isEmpty() ? 0 : warm.ms / double(photos.size());
    std::printf("libpng x%d threads        ms_per_file=%.2f over %lld cached files\n", cores, floor,
                qlonglong(cached.size()));
    std::printf("\nsecond/first visit        = %.4f  (first is %.1fx slower; goal: second at least "
                "20x faster)\n",
                warm.ms / cold.ms, cold.ms / warm.ms);
    std::printf("warm per thumb / libpng   = %.2f  (goal <= 1.50)\n", warmPer / floor);
    std::printf("first visit / writing off = %.3f  (goal <= 1.10)\n", cold.ms / off.ms);
    std::printf("warm visit / in process   = %.3f  (goal <= 1.10)\n", warm.ms / warmHere.ms);
    std::printf("longest event-loop gap    off=%.1f ms cold=%.1f ms warm=%.1f ms\n", off.gapMs,
                cold.gapMs, warm.gapMs);
    std::printf("peak_rss_mb=%.0f\n", peakRssMb());
    return 0;
}
