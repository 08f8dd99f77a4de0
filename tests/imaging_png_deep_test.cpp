// 16-bit PNGs, above all those with one colour marked transparent (a tRNS
// chunk), written by netpbm and ImageMagick.
#include "imaging/Decoder.h"

#include "imaging_samples.h"
#include "support/ExternalWriters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

// Colour and alpha at each quadrant's centre against the picture the file
// was made from; `clear` is the quadrant whose colour the file marks
// transparent (-1: none).
::testing::AssertionResult quadrantsWithClear(const QImage &decoded, const QImage &made, int clear)
{
    const QImage image = decoded.convertToFormat(QImage::Format_ARGB32);
    if (image.size() != made.size())
        return ::testing::AssertionFailure() << "size " << image.width() << "x" << image.height();
    for (int q = 0; q < 4; ++q) {
        const QPoint at((q % 2 ? 3 : 1) * image.width() / 4, (q / 2 ? 3 : 1) * image.height() / 4);
        const QRgb got = image.pixel(at);
        if (q == clear) {
            if (qAlpha(got) != 0)
                return ::testing::AssertionFailure()
                       << "quadrant " << q << " has alpha " << qAlpha(got);
            continue;
        }
        if (!near(got, QColor(made.pixel(at)), 1) || qAlpha(got) != 255)
            return ::testing::AssertionFailure()
                   << "quadrant " << q << " is " << qRed(got) << "," << qGreen(got) << ","
                   << qBlue(got) << " alpha " << qAlpha(got);
    }
    return ::testing::AssertionSuccess();
}

// The 16-bit sample at (x, y) of a binary PGM.
int pgmSample(const QByteArray &pgm, int x, int y)
{
    const QList<QByteArray> fields = pgm.left(64).simplified().split(' ');
    if (fields.size() < 4 || fields[0] != "P5")
        return -1;
    const qsizetype data =
        pgm.indexOf(fields[3], pgm.indexOf(fields[2]) + fields[2].size()) + fields[3].size() + 1;
    const qsizetype at = data + (qsizetype(y) * fields[1].toInt() + x) * 2;
    return at + 1 < pgm.size() ? quint8(pgm[at]) << 8 | quint8(pgm[at + 1]) : -1;
}

} // namespace

TEST(DeepPng, OneTransparentColourFromNetpbmAndImageMagick)
{
    TempDir dir;
    const QImage source = quadrants(40, 30);
    const QString ppm = dir.file("src.ppm");
    ASSERT_TRUE(source.save(ppm, "PPM"));
    // 16-bit samples that are not 8-bit ones widened (v * 257 + 1), so no
    // writer can store them in 8 bits.
    QByteArray deep = QByteArray("P6\n40 30\n65535\n");
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QRgb p = source.pixel(x, y);
            for (int v : {qRed(p), qGreen(p), qBlue(p)}) {
                const int w = v * 257 + (v < 255);
                deep.append(char(w >> 8)).append(char(w & 0xFF));
            }
        }
    }
    writeFile(dir.file("deep.ppm"), deep);
    QByteArray deepGrey;
    ASSERT_TRUE(runTool("ppmtopgm", {dir.file("deep.ppm")}, {}, &deepGrey));
    writeFile(dir.file("deep.pgm"), deepGrey);

    // The bottom-left colour as stored above.
    const QColor c = kBottomLeft;
    auto deep16 = [](int v) {
        return QStringLiteral("%1").arg(v * 257 + (v < 255), 4, 16, QLatin1Char('0'));
    };
    const QString rgb16 =
        QStringLiteral("rgb:%1/%2/%3").arg(deep16(c.red()), deep16(c.green()), deep16(c.blue()));
    QByteArray png;
    ASSERT_TRUE(runTool("pnmtopng", {"-transparent", "=" + rgb16, dir.file("deep.ppm")}, {}, &png));
    writeFile(dir.file("netpbm-rgb.png"), png);
    ASSERT_TRUE(runTool("pnmtopng", {dir.file("deep.ppm")}, {}, &png));
    writeFile(dir.file("netpbm-rgb-opaque.png"), png);
    // ImageMagick marks a colour transparent when the picture's alpha is
    // all or nothing; the bottom-left quadrant is made see-through first.
    ASSERT_TRUE(runTool("convert", {dir.file("deep.ppm"), "-fuzz", "1%", "-transparent", c.name(),
                                    "PNG64:" + dir.file("im-rgba.png")}));
    ASSERT_TRUE(runTool("convert", {dir.file("deep.ppm"), "-fuzz", "1%", "-transparent", c.name(),
                                    "PNG48:" + dir.file("im-rgb.png")}));

    struct Case {
        const char *name;
        int clear;
    };
    for (const Case &k : {Case{"netpbm-rgb.png", 2}, Case{"netpbm-rgb-opaque.png", -1},
                          Case{"im-rgba.png", 2}, Case{"im-rgb.png", 2}}) {
        SCOPED_TRACE(k.name);
        const QByteArray bytes = readAllOf(dir.file(k.name));
        ASSERT_EQ(quint8(bytes.at(24)), 16) << "not a 16-bit file";
        const DecodedImage d = decodeFile(dir.file(k.name));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_EQ(d.pages.front().size(), source.size());
        EXPECT_TRUE(quadrantsWithClear(d.pages.front(), source, k.clear));
        EXPECT_EQ(d.bitsPerPixel, quint8(bytes.at(25)) == 6 ? 64 : 48);
    }

    // Grey: the transparent level is the bottom-left quadrant's grey as
    // ppmtopgm made it.
    const int level = pgmSample(deepGrey, 10, 22);
    ASSERT_GE(level, 0);
    const QString grey16 = QStringLiteral("%1").arg(level, 4, 16, QLatin1Char('0'));
    QByteArray greyPng;
    ASSERT_TRUE(runTool(
        "pnmtopng",
        {"-transparent", "=rgb:" + grey16 + "/" + grey16 + "/" + grey16, dir.file("deep.pgm")}, {},
        &greyPng));
    writeFile(dir.file("netpbm-grey.png"), greyPng);
    const QImage greyPicture(dir.file("deep.pgm"));
    ASSERT_FALSE(greyPicture.isNull());
    const DecodedImage d = decodeFile(dir.file("netpbm-grey.png"));
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_TRUE(quadrantsWithClear(d.pages.front(), greyPicture, 2));
    EXPECT_EQ(d.bitsPerPixel, 16);
}
