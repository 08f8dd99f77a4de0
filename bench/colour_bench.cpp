// What colour management costs a folder listing: thumbnails of the same
// photos as unprofiled JPEGs, as JPEGs with an sRGB profile and as JPEGs
// with an Adobe RGB profile, each made with colour management on and off,
// in alternating rounds so the machine's load falls on both alike.
//
//   lumora-colourbench [N [SIDE]]   N photos of SIDE x 3/4 SIDE (40, 2400)
//
// Prints the time per thumbnail for each kind and the ratios on/off: the
// goal is at most 1.10 for profiled photos and 1.00 (within the noise) for
// unprofiled and sRGB ones.

#include "explorer/ThumbnailMaker.h"
#include "imaging/ColourManagement.h"
#include "imaging/Decoder.h"
#include "imaging/EmbeddedProfiles.h"
#include "imaging/ImageWriter.h"
#include "loader/LoaderClient.h"

#include <QApplication>
#include <QColorSpace>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace lumora;

namespace
{

// A photo-like picture: smooth gradients with detail, so JPEG has work to do.
QImage photo(int side, int seed)
{
    QImage img(side, side * 3 / 4, QImage::Format_RGB32);
    QRandomGenerator rng{quint32(seed)};
    QPainter p(&img);
    QLinearGradient g(0, 0, img.width(), img.height());
    g.setColorAt(0, QColor::fromHsv(int(rng.bounded(360)), 200, 230));
    g.setColorAt(1, QColor::fromHsv(int(rng.bounded(360)), 160, 90));
    p.fillRect(img.rect(), g);
    for (int i = 0; i < 400; ++i) {
        p.setBrush(QColor::fromHsv(int(rng.bounded(360)), int(rng.bounded(256)), 200, 120));
        p.setPen(Qt::NoPen);
        const int r = int(rng.bounded(side / 20)) + 4;
        p.drawEllipse(QPoint(int(rng.bounded(img.width())), int(rng.bounded(img.height()))), r, r);
    }
    return img;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Milliseconds for one pass of thumbnails over the files.
double pass(const QStringList &files)
{
    QElapsedTimer t;
    t.start();
    for (const QString &f : files) {
        if (!makeThumbnail(f).ok()) {
            std::fprintf(stderr, "no thumbnail for %s\n", qPrintable(f));
            std::exit(1);
        }
    }
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    imaging::applyDecodeLimits();
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 40;
    const int side = argc > 2 ? std::max(64, atoi(argv[2])) : 2400;

    const QByteArray adobe =
        fileBytes(QStringLiteral("/usr/share/color/icc/colord/AdobeRGB1998.icc"));
    const QByteArray srgb = QColorSpace(QColorSpace::SRgb).iccProfile();
    if (adobe.isEmpty()) {
        std::fprintf(stderr, "colord-data's AdobeRGB1998.icc is missing\n");
        return 1;
    }
    QTemporaryDir dir;
    struct Kind {
        const char *name;
        QByteArray profile;
        QStringList files;
    };
    Kind kinds[] = {{"unprofiled", {}, {}}, {"srgb-profile", srgb, {}}, {"adobe-rgb", adobe, {}}};
    for (int i = 0; i < count; ++i) {
        const QByteArray plain =
            imaging::encodeImage(photo(side, i), imaging::FormatCode::Jpeg, {}, nullptr);
        for (Kind &k : kinds) {
            const QString path = dir.filePath(QStringLiteral("%1-%2.jpg").arg(k.name).arg(i));
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly) ||
                out.write(k.profile.isEmpty()
                              ? plain
                              : imaging::profiles::jpegWithProfile(plain, k.profile)) <= 0)
                return 1;
            k.files << path;
        }
    }
    loader::startLoaders();
    for (const Kind &k : kinds)
        pass(k.files); // warm the page cache and the loaders

    constexpr int kRounds = 5;
    double best[3][2];
    for (auto &b : best)
        b[0] = b[1] = 1e300;
    for (int round = 0; round < kRounds; ++round) {
        for (int on = 0; on < 2; ++on) {
            imaging::colour::setManagementEnabled(on != 0);
            for (int k = 0; k < 3; ++k)
                best[k][on] = std::min(best[k][on], pass(kinds[k].files));
        }
    }
    imaging::colour::setManagementEnabled(true);
    std::printf("%d photos of %dx%d, best of %d rounds, ms per thumbnail:\n", count, side,
                side * 3 / 4, kRounds);
    for (int k = 0; k < 3; ++k)
        std::printf("  %-13s off %.2f  on %.2f  ratio on/off %.3f\n", kinds[k].name,
                    best[k][0] / count, best[k][1] / count, best[k][1] / best[k][0]);
    std::printf("adobe-rgb managed / unprofiled managed: %.3f\n", best[2][1] / best[0][1]);
    return 0;
}
