// How long `lumora photo.jpg` takes to put the photo on screen, with the
// decoders in their loader processes against the same decoders in the
// program itself. Each sample is a fresh process, so the loaders start cold
// as they do for a user; the two take turns, so a busy machine slows both
// alike, and the medians and their ratio are printed.
//
//   lumora-firstimagebench PHOTO [ROUNDS]
//
// A sample runs what the program runs for a path on its command line: the
// loaders are started first (they load their libraries while the windows are
// built), then the viewer opens the photo among its folder's images and
// paints it. The time runs from the start of main() to the end of that paint.
#include "explorer/ExtensionFilter.h"
#include "imaging/Decoder.h"
#include "loader/LoaderClient.h"
#include "platform/SqliteRegistryStore.h"
#include "viewer/frmViwer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace lumora;

namespace
{

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One sample: prints "first_image_ms=<n>" or an error.
int runSample(QElapsedTimer &clock, const QString &photo, bool inProcess)
{
    loader::LoaderSettings settings = loader::currentSettings();
    settings.inProcess = inProcess;
    loader::configure(settings);
    loader::startLoaders();

    QTemporaryDir tmp;
    platform::SqliteRegistryStore registry(tmp.path() + QStringLiteral("/registry.db"));
    ViewerContext ctx;
    ctx.registry = &registry;
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
    viewer.ImgX->repaint();
    const double ms = clock.nsecsElapsed() / 1e6;
    if (viewer.ImgX->document()->currentImage().isNull()) {
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    imaging::applyDecodeLimits();
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args.at(1) == QLatin1String("--sample"))
        return runSample(clock, args.at(3), args.at(2) == QLatin1String("in-process"));
    if (args.size() < 2 || !QFileInfo(args.at(1)).isFile()) {
        std::fprintf(stderr, "usage: lumora-firstimagebench PHOTO [ROUNDS]\n");
        return 2;
    }
    const int rounds = args.size() > 2 ? std::max(1, args.at(2).toInt()) : 7;
    std::vector<double> ours, reference;
    for (int round = 0; round < rounds; ++round) {
        for (const bool inProcess : {true, false}) {
            QProcess sample;
            sample.start(QCoreApplication::applicationFilePath(),
                         {QStringLiteral("--sample"),
                          inProcess ? QStringLiteral("in-process") : QStringLiteral("loaders"),
                          args.at(1)});
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
            (inProcess ? reference : ours).push_back(ms);
        }
    }
    const double a = median(ours), b = median(reference);
    std::printf("rounds=%d first_image_ms=%.1f in_process_ms=%.1f ratio=%.2f\n", rounds, a, b,
                b > 0 ? a / b : 0.0);
    return 0;
}
