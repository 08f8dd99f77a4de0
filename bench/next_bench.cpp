// How fast Next shows the following photo: a cold load (decode on demand)
// and a Next whose image was decoded ahead while the previous one was on
// screen, each through the loader processes against the same decoders run in
// this process, taking turns; the ratios are the point. Each ratio is the
// median over the rounds of one round's pair, so use several rounds.
//
//   lumora-nextbench [DIR] [COUNT] [ROUNDS]
//
// DIR holds the 12-megapixel JPEGs to use; without it, COUNT (default 8) are
// made from the bundled sample photos in a temporary folder.
#include "imaging/Decoder.h"
#include "loader/LoaderClient.h"
#include "platform/SqliteRegistryStore.h"
#include "viewer/Preloader.h"
#include "viewer/frmViwer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

using namespace lumora;

static QStringList makePhotos(const QString &dir, int count)
{
    const QString samples =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../../resources/samples");
    QStringList sources;
    for (const QString &name :
         QDir(samples).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name))
        sources << samples + QLatin1Char('/') + name;
    QStringList out;
    for (int i = 0; i < count; ++i) {
        QImage base(sources.isEmpty() ? QString() : sources.at(i % sources.size()));
        if (base.isNull()) {
            base = QImage(400, 300, QImage::Format_RGB32);
            base.fill(QColor::fromHsv(i * 37 % 360, 180, 200));
        }
        // 4000 x 3000, mirrored and tinted per file so no two are alike.
        QImage photo = base.scaled(4000, 3000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_RGB32);
        if (i % 2)
            photo = photo.mirrored(true, false);
        QPainter p(&photo);
        p.fillRect(photo.rect(), QColor::fromHsv(i * 53 % 360, 255, 255, 30));
        p.end();
        const QString path =
            QStringLiteral("%1/photo%2.jpg").arg(dir).arg(i, 3, 10, QLatin1Char('0'));
        photo.save(path, "jpg", 90);
        out << path;
    }
    return out;
}

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Times Next from each photo to the following one, paint included.
static std::vector<double> timeNext(frmViwer &viewer, const QStringList &photos, bool preloaded)
{
    viewer.setPreloading(preloaded);
    std::vector<double> ms;
    for (int i = 0; i + 1 < photos.size(); ++i) {
        int index = i;
        viewer.ImgX->setZoom(1.0);
        viewer.ViewImage(photos, index);
        viewer.ImgX->repaint();
        if (preloaded)
            viewer.preloader().waitForAll(); // the user looks at the photo meanwhile
        QElapsedTimer t;
        t.start();
        viewer.ShowNextImage();
        viewer.ImgX->repaint();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        // A Next that showed nothing would be the fastest of all.
        const imaging::ImageDocument &shown = *viewer.ImgX->document();
        if (shown.ImageFilePath() != photos.at(i + 1) || shown.currentImage().isNull()) {
            std::fprintf(stderr, "Next did not show %s\n", qPrintable(photos.at(i + 1)));
            std::exit(1);
        }
    }
    return ms;
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The offscreen platform's notes about raise() and size hints are noise here.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    imaging::applyDecodeLimits();

    QTemporaryDir tmp;
    QStringList photos;
    const QStringList args = app.arguments();
    const int count = args.size() > 2 ? args.at(2).toInt() : 8;
    if (args.size() > 1 && QDir(args.at(1)).exists()) {
        const QDir dir(args.at(1));
        for (const QString &name :
             dir.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name))
            photos << dir.filePath(name);
        photos = photos.mid(0, std::max(2, count));
    } else {
        std::printf("making %d photos of 4000x3000...\n", count);
        photos = makePhotos(tmp.path(), std::max(2, count));
    }

    platform::SqliteRegistryStore registry(tmp.path() + QStringLiteral("/registry.db"));
    const QString key = QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings");
    registry.createKey(platform::RegistryRoot::LocalMachine, key);
    const QImage first(photos.first());
    const int rounds = args.size() > 3 ? std::max(1, args.at(3).toInt()) : 3;
    std::printf("files=%lld size=%dx%d rounds=%d\n", qlonglong(photos.size()), first.width(),
                first.height(), rounds);
    // The same decoders in this process are the reference: the loader
    // processes should cost next to nothing on top. The two take turns
    // within each round and the ratio is the median of the rounds' ratios,
    // so a machine whose speed drifts (a VM, a neighbour's build) slows both
    // sides of a pair alike.
    std::map<QString, std::vector<double>> samples; // every Next, for the times
    std::map<QString, std::vector<double>> ratios;  // one a round
    auto setMode = [&](bool inProcess) {
        loader::LoaderSettings settings = loader::currentSettings();
        settings.inProcess = inProcess;
        loader::configure(settings);
    };
    for (int round = 0; round < rounds; ++round) {
        // Windowed and full screen (the default on a fresh profile) differ
        // in what a Next does besides loading: refitting the window or
        // re-entering full screen.
        for (const char *mode : {"windowed", "fullscreen"}) {
            const bool full = QByteArray(mode) == "fullscreen";
            registry.setValue(platform::RegistryRoot::LocalMachine, key,
                              QStringLiteral("FullScreen"),
                              {full ? QStringLiteral("-1") : QStringLiteral("0"), platform::RegSz});
            std::map<QString, double> pair;
            for (const bool inProcess : {true, false}) {
                setMode(inProcess);
                ViewerContext ctx;
                ctx.registry = &registry;
                frmViwer viewer(ctx);
                timeNext(viewer, photos.mid(0, 2), false); // warm the caches and the code
                const QString side = inProcess ? QStringLiteral("/in-process") : QString();
                for (const char *kind : {"cold", "preloaded"}) {
                    const std::vector<double> ms =
                        timeNext(viewer, photos, QByteArray(kind) == "preloaded");
                    const QString name = QStringLiteral("%1%2 %3").arg(mode, side, kind);
                    samples[name].insert(samples[name].end(), ms.begin(), ms.end());
                    pair[name] = median(ms);
                }
            }
            for (const char *kind : {"cold", "preloaded"}) {
                const double ref = pair[QStringLiteral("%1/in-process %2").arg(mode, kind)];
                ratios[QStringLiteral("%1 %2").arg(mode, kind)].push_back(
                    ref > 0 ? pair[QStringLiteral("%1 %2").arg(mode, kind)] / ref : 0.0);
            }
        }
        // The decode alone, without the viewer: what the loaders add to it.
        std::map<bool, double> pair;
        for (const bool inProcess : {true, false}) {
            setMode(inProcess);
            imaging::decodeFile(photos.first()); // a started worker, as the viewer had
            std::vector<double> ms;
            for (const QString &photo : photos) {
                QElapsedTimer t;
                t.start();
                const imaging::DecodedImage decoded = imaging::decodeFile(photo);
                ms.push_back(double(t.nsecsElapsed()) / 1e6);
                if (!decoded.ok()) {
                    std::fprintf(stderr, "%s: %s\n", qPrintable(photo), qPrintable(decoded.error));
                    return 1;
                }
            }
            const QString name =
                inProcess ? QStringLiteral("decode/in-process") : QStringLiteral("decode");
            samples[name].insert(samples[name].end(), ms.begin(), ms.end());
            pair[inProcess] = median(ms);
        }
        ratios[QStringLiteral("decode")].push_back(pair[true] > 0 ? pair[false] / pair[true] : 0.0);
    }
    for (const char *mode : {"windowed", "fullscreen"}) {
        for (const char *kind : {"cold", "preloaded"}) {
            const QString name = QStringLiteral("%1 %2").arg(mode, kind);
            std::printf("%s %s_next_ms=%.1f in_process_ms=%.1f ratio=%.2f\n", mode, kind,
                        median(samples[name]),
                        median(samples[QStringLiteral("%1/in-process %2").arg(mode, kind)]),
                        median(ratios[name]));
        }
    }
    std::printf("decode_only_ms=%.1f in_process_ms=%.1f ratio=%.2f\n",
                median(samples[QStringLiteral("decode")]),
                median(samples[QStringLiteral("decode/in-process")]),
                median(ratios[QStringLiteral("decode")]));
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    const double loadersMb = loader::loadersPeakMemoryKb() / 1024.0;
    std::printf("peak_rss_mb=%.0f (program %.0f, loader processes %.0f)\n",
                ru.ru_maxrss / 1024.0 + loadersMb, ru.ru_maxrss / 1024.0, loadersMb);
    return 0;
}
