// Lists a folder through the explorer control exactly as the grid does
// (placeholders, worker-pool thumbnails taken in order, yields every 20
// items), headless, and reports the time per image and the peak memory.
//
//   lumora-thumbbench [--in-process] DIR  -> ms_per_image=<n> peak_rss_mb=<n>
//
// peak_rss_mb is the program's and its loader processes' together.
//   lumora-thumbbench --explorer-demo DIR   shows the control in a window
//
// The demo mode is here so the control can be looked at on its own before a
// browser window hosts it.

#include "dialogs/DialogPrompter.h"
#include "explorer/ExploreModel.h"
#include "explorer/ImageExplore.h"
#include "imaging/Decoder.h"
#include "loader/LoaderClient.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

using namespace lumora;

namespace
{

double peakRssMb()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss / 1024.0; // kilobytes on Linux
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

} // namespace

int main(int argc, char **argv)
{
    const bool demo = argc >= 3 && QByteArray(argv[1]) == "--explorer-demo";
    if (!demo && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora"));
    imaging::applyDecodeLimits();

    const QStringList args = QApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: lumora-thumbbench [--explorer-demo] DIR\n");
        return 2;
    }
    const QString dir = args.last();
    DialogPrompter prompter;
    ImageExplore explorer(prompter);
    explorer.SetExt(QString::fromLatin1(kExplorerExtensions));

    if (demo) {
        explorer.setWindowTitle(QStringLiteral("Lumora.ImageExplore"));
        explorer.resize(1100, 760);
        explorer.show();
        QObject::connect(&explorer, &ImageExplore::CurrSelectedImage, [](const QString &p) {
            std::printf("current: %s\n", qPrintable(p));
            std::fflush(stdout);
        });
        QTimer::singleShot(0, &explorer, [&] { explorer.ExplorePath(dir); });
        return app.exec();
    }

    // --in-process: the same decoders in this process, the reference for
    // what the loader processes cost in time and memory.
    if (args.contains(QStringLiteral("--in-process"))) {
        loader::LoaderSettings settings = loader::currentSettings();
        settings.inProcess = true;
        loader::configure(settings);
    }
    // The program starts its loader processes while its window is built;
    // that start is timed on its own here.
    QElapsedTimer start;
    start.start();
    loader::startLoaders();
    loader::sandboxDescription(); // one worker ready
    const double startMs = start.nsecsElapsed() / 1e6;

    GapWatch gaps;
    QElapsedTimer t;
    t.start();
    explorer.ExplorePath(dir);
    const double ms = t.nsecsElapsed() / 1e6;
    QString folder = dir;
    const qsizetype images = explorer.GetImageList(folder).size();
    int failed = 0;
    for (int r = 0; r < explorer.itemCount(); ++r) {
        if (!explorer.model()->index(r).data(Qt::ToolTipRole).toString().isEmpty())
            ++failed;
    }
    std::printf("items=%d images=%lld unreadable=%d total_ms=%.0f max_event_gap_ms=%.1f\n",
                explorer.itemCount(), qlonglong(images), failed, ms, gaps.maxGapMs());
    const double loadersMb = loader::loadersPeakMemoryKb() / 1024.0;
    std::printf("loader_start_ms=%.0f loaders_peak_rss_mb=%.0f\n", startMs, loadersMb);
    std::printf("ms_per_image=%.2f peak_rss_mb=%.0f\n", images > 0 ? ms / double(images) : 0.0,
                peakRssMb() + loadersMb);
    return 0;
}
