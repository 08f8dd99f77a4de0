// Thumbnails of today's formats against vipsthumbnail, measured in the same
// run on the same files: for each format folder of PHOTOS (webp, heic, avif,
// jxl; make them with bench/make-format-photos.sh), Lumora's thumbnail
// decodes (loader processes, 140 px box, two requests at a time as the
// grid's two workers make them) and vipsthumbnail -s 140 as two parallel
// processes, each on half of the files. Best of RUNS runs (default 3).
// FORMATS=jxl,heic measures only those.
//
//   lumora-formatsbench PHOTOS
//   -> format=heic files=100 lumora_ms_per_image=.. vips_ms_per_image=.. ratio=..
//
// A ratio of at most 1.0 means Lumora is as fast as vips or faster.
#include "imaging/Decoder.h"
#include "loader/LoaderClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QtConcurrent>

#include <atomic>
#include <cstdio>

using namespace lumora;

namespace
{

double lumoraMs(const QStringList &files, int *failed)
{
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    std::atomic_int bad{0};
    QElapsedTimer t;
    t.start();
    QtConcurrent::blockingMap(&pool, files, [&bad](const QString &file) {
        imaging::DecodeOptions options;
        options.scaledSize = QSize(140, 140);
        options.allPages = false;
        if (!imaging::decodeFile(file, options).ok())
            ++bad;
    });
    *failed = bad;
    return t.nsecsElapsed() / 1e6;
}

double vipsMs(const QStringList &files)
{
    QTemporaryDir out;
    const qsizetype half = (files.size() + 1) / 2;
    const QList<QStringList> parts{files.mid(0, half), files.mid(half)};
    QList<QProcess *> processes;
    QElapsedTimer t;
    t.start();
    for (const QStringList &part : parts) {
        auto *p = new QProcess;
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // Its note on every HEIF file ("ignoring nclx profile") would bury
        // the figures.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VIPS_WARNING"), QStringLiteral("0"));
        p->setProcessEnvironment(env);
        p->start(QStringLiteral("vipsthumbnail"),
                 QStringList{QStringLiteral("-s"), QStringLiteral("140"), QStringLiteral("-o"),
                             out.path() + QStringLiteral("/%s.jpg")} +
                     part);
        processes << p;
    }
    bool ok = true;
    for (QProcess *p : processes) {
        ok = p->waitForFinished(-1) && p->exitCode() == 0 && ok;
        delete p;
    }
    const double ms = t.nsecsElapsed() / 1e6;
    return ok ? ms : -1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: lumora-formatsbench PHOTOS\n");
        return 2;
    }
    imaging::applyDecodeLimits();
    // A loaded machine stretches a six-megapixel decode past the program's
    // 20 s limit; the benchmark measures speed, not that limit.
    loader::LoaderSettings settings = loader::currentSettings();
    settings.timeLimitMs = 600000;
    loader::configure(settings);
    loader::startLoaders();
    loader::sandboxDescription(); // one worker ready before the clock starts
    const int runs = qMax(1, qEnvironmentVariableIntValue("RUNS") ?: 3);
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (const QString &format : {QStringLiteral("webp"), QStringLiteral("heic"),
                                  QStringLiteral("avif"), QStringLiteral("jxl")}) {
        const QStringList only =
            qEnvironmentVariable("FORMATS").split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (!only.isEmpty() && !only.contains(format))
            continue;
        QDir dir(root.filePath(format));
        QStringList files;
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name))
            files << dir.filePath(name);
        if (files.isEmpty())
            continue;
        for (const QString &f : files) { // warm the page cache for both
            QFile file(f);
            if (file.open(QIODevice::ReadOnly))
                file.readAll();
        }
        double ours = 1e300, vips = 1e300;
        int failed = 0;
        for (int r = 0; r < runs; ++r) {
            ours = qMin(ours, lumoraMs(files, &failed));
            const double v = vipsMs(files);
            if (v >= 0)
                vips = qMin(vips, v);
        }
        const double n = double(files.size());
        std::printf("format=%s files=%lld failed=%d lumora_ms_per_image=%.1f "
                    "vips_ms_per_image=%.1f ratio=%.2f\n",
                    qPrintable(format), qlonglong(files.size()), failed, ours / n, vips / n,
                    vips < 1e300 ? ours / vips : 0.0);
        std::fflush(stdout);
    }
    return 0;
}
