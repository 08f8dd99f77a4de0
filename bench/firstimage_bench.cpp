// How long `lumora photo.jpg` takes to put the photo on screen, with the
// decoders in their loader processes against the same decoders in the
// program itself. Each sample is a fresh process, so the loaders start cold
// as they do for a user; the two take turns, so a busy machine slows both
// alike, and the medians and their ratio are printed.
//
//   lumora-firstimagebench PHOTO [ROUNDS]
//   (QT_QPA_PLATFORM=xcb with a DISPLAY for real windows; offscreen otherwise)
//
// A sample runs what the program runs for a path on its command line: the
// photo's decode starts on one loader before the QApplication
// (viewer/FirstPicture.h) and goes on while the viewer window is built; then
// the viewer opens the photo among its folder's images and paints it. The
// time runs from the start of main() to the end of that paint. The reference
// is the program before the loaders: the same decoders in process, called
// when the viewer opens the photo. A third figure, the early start with the
// decoders in process, tells what the early start alone is worth.
#include "explorer/ExtensionFilter.h"
#include "imaging/Decoder.h"
#include "loader/LoaderClient.h"
#include "platform/SqliteRegistryStore.h"
#include "viewer/FirstPicture.h"
#include "viewer/Preloader.h"
#include "viewer/frmViwer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

using namespace lumora;

namespace
{

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

enum class Kind { Loaders, InProcess, InProcessEarly };
const char *const kKindNames[] = {"loaders", "in-process", "in-process-early"};

std::optional<Kind> sampleKind(int argc, char **argv)
{
    if (argc < 4 || std::strcmp(argv[1], "--sample") != 0)
        return std::nullopt;
    for (const Kind kind : {Kind::Loaders, Kind::InProcess, Kind::InProcessEarly}) {
        if (std::strcmp(argv[2], kKindNames[int(kind)]) == 0)
            return kind;
    }
    return std::nullopt;
}

// What the program's main() does before its QApplication.
std::unique_ptr<Preloader> beforeTheApplication(Kind kind, const QString &photo)
{
    loader::LoaderSettings settings = loader::currentSettings();
    settings.inProcess = kind != Kind::Loaders;
    loader::configure(settings);
    // The program before the loaders decoded when the viewer asked.
    return kind == Kind::InProcess ? nullptr : decodeFirstPicture(photo);
}

// One sample: prints "first_image_ms=<n>" or an error.
int runSample(QElapsedTimer &clock, const QString &photo, std::unique_ptr<Preloader> first)
{
    startOtherDecoders(first.get());

    QTemporaryDir tmp;
    platform::SqliteRegistryStore registry(tmp.path() + QStringLiteral("/registry.db"));
    ViewerContext ctx;
    ctx.registry = &registry;
    ctx.firstPicture = first.get();
    frmViwer viewer(ctx);
    const QString folder = QFileInfo(photo).absolutePath();
    QStringList patterns;
    for (const QString &ext : QString::fromLatin1(kExplorerExtensions).split(QLatin1Char(' ')))
        patterns << QStringLiteral("*.") + ext;
    QStringList list;
    for (const QString &name : QDir(folder).entryList(patterns, QDir::Files, QDir::Name))
        list << QDir(folder).filePath(name);
    int index = std::max(0, int(list.indexOf(QFileInfo(photo).absoluteFilePath())));
    if (list.isEmpty())
        list << photo;
    viewer.ViewImage(list, index);
    // What the window shows, painted now (an offscreen window need not be
    // exposed yet, so a repaint may draw nothing).
    const QPixmap shown = viewer.ImgX->grab();
    const double ms = clock.nsecsElapsed() / 1e6;
    if (shown.isNull() || viewer.ImgX->document()->currentImage().isNull()) {
        std::printf("error: the photo was not shown\n");
        return 1;
    }
    std::printf("first_image_ms=%.1f\n", ms);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QElapsedTimer clock;
    clock.start();
    const std::optional<Kind> kind = sampleKind(argc, argv);
    std::unique_ptr<Preloader> first;
    if (kind)
        first = beforeTheApplication(*kind, QString::fromLocal8Bit(argv[3]));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    imaging::applyDecodeLimits();
    const QStringList args = app.arguments();
    if (kind)
        return runSample(clock, args.at(3), std::move(first));
    if (args.size() < 2 || !QFileInfo(args.at(1)).isFile()) {
        std::fprintf(stderr, "usage: lumora-firstimagebench PHOTO [ROUNDS]\n");
        return 2;
    }
    const int rounds = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 7;
    std::vector<double> samples[3];
    for (int round = 0; round < rounds; ++round) {
        for (const Kind kind : {Kind::InProcess, Kind::Loaders, Kind::InProcessEarly}) {
            QProcess sample;
            sample.start(
                QCoreApplication::applicationFilePath(),
                {QStringLiteral("--sample"), QLatin1String(kKindNames[int(kind)]), args.at(1)});
            if (!sample.waitForFinished(120000) || sample.exitCode() != 0) {
                std::fprintf(stderr, "a sample failed: %s\n", sample.readAll().constData());
                return 1;
            }
            const QByteArray out = sample.readAllStandardOutput();
            const qsizetype at = out.indexOf("first_image_ms=");
            if (at < 0) {
                std::fprintf(stderr, "a sample said: %s\n", out.constData());
                return 1;
            }
            const double ms = out.mid(at + 15).trimmed().toDouble();
            samples[int(kind)].push_back(ms);
        }
    }
    const double a = median(samples[int(Kind::Loaders)]);
    const double b = median(samples[int(Kind::InProcess)]);
    const double c = median(samples[int(Kind::InProcessEarly)]);
    std::printf("rounds=%d first_image_ms=%.1f in_process_ms=%.1f ratio=%.2f "
                "in_process_early_ms=%.1f ratio_to_early=%.2f\n",
                rounds, a, b, b > 0 ? a / b : 0.0, c, c > 0 ? a / c : 0.0);
    return 0;
}
