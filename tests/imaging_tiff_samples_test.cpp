// TIFF variants read sample by sample: alpha (associated and not) in every
// layout, 16-bit tiles in separate planes, signed-integer and floating-point
// samples, uncompressed tiles, and the orientation tag. Every file is written
// by another program (ImageMagick, GraphicsMagick, Pillow, libtiff's tools).
#include "imaging/Decoder.h"
#include "support/PixelCompare.h"

#include "imaging_samples.h"
#include "support/ExternalWriters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

// Quadrants, three of them partly transparent.
const QColor kAlphaQuadrants[4] = {QColor(220, 30, 30, 128), QColor(30, 200, 40, 255),
                                   QColor(30, 40, 220, 64), QColor(240, 230, 40, 200)};

QImage alphaQuadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, kAlphaQuadrants[(y >= height / 2) * 2 + (x >= width / 2)].rgba());
    return image;
}

QPoint quadrantCentre(const QSize &size, int q)
{
    return {(q % 2 ? 3 : 1) * size.width() / 4, (q / 2 ? 3 : 1) * size.height() / 4};
}

// Straight colour and alpha at each quadrant's centre; grey files compare
// the brightness the writer made of the colour.
::testing::AssertionResult hasAlphaQuadrants(const QImage &decoded, bool grey, int tolerance)
{
    const QImage image = decoded.convertToFormat(QImage::Format_ARGB32);
    for (int q = 0; q < 4; ++q) {
        const QColor want = kAlphaQuadrants[q];
        const QRgb got = image.pixel(quadrantCentre(image.size(), q));
        const int wantGrey =
            (want.red() * 299 + want.green() * 587 + want.blue() * 114 + 500) / 1000;
        const bool colourOk = grey ? std::abs(qRed(got) - wantGrey) <= tolerance &&
                                         qRed(got) == qGreen(got) && qGreen(got) == qBlue(got)
                                   : near(got, want, tolerance);
        if (!colourOk || std::abs(qAlpha(got) - want.alpha()) > 2)
            return ::testing::AssertionFailure()
                   << "quadrant " << q << " is " << qRed(got) << "," << qGreen(got) << ","
                   << qBlue(got) << " alpha " << qAlpha(got) << ", written " << want.red() << ","
                   << want.green() << "," << want.blue() << " alpha " << want.alpha();
    }
    return ::testing::AssertionSuccess();
}

// The picture ImageMagick makes of a file, as a reference from another reader.
QImage magickReading(const TempDir &dir, const QString &file)
{
    const QString out = dir.file(QFileInfo(file).completeBaseName() + QStringLiteral("-im.png"));
    if (!runTool("convert", {file + QStringLiteral("[0]"), "-auto-orient", "-depth", "8",
                             QStringLiteral("PNG32:") + out}))
        return {};
    return QImage(out).convertToFormat(QImage::Format_ARGB32);
}

} // namespace

TEST(TiffSamples, AlphaKeepsItsColoursInEveryLayoutAndFromEveryWriter)
{
    TempDir dir;
    const QString png = dir.file("src.png");
    ASSERT_TRUE(alphaQuadrants(40, 30).save(png, "PNG"));
    auto im = [&](const QStringList &args, const char *out) {
        return runTool("convert", QStringList{png} + args + QStringList{dir.file(out)});
    };
    ASSERT_TRUE(im({}, "im-chunky.tif"));
    ASSERT_TRUE(im({"-interlace", "Plane"}, "im-planar.tif"));
    ASSERT_TRUE(
        im({"-depth", "16", "-interlace", "Plane", "-compress", "None"}, "im-planar-16.tif"));
    ASSERT_TRUE(im({"-depth", "16", "-interlace", "Plane", "-define", "tiff:tile-geometry=16x16"},
                   "im-planar-16-tiled.tif"));
    ASSERT_TRUE(im({"-define", "tiff:alpha=associated"}, "im-associated.tif"));
    ASSERT_TRUE(im({"-colorspace", "CMYK"}, "im-cmyk.tif"));
    ASSERT_TRUE(im({"-colorspace", "CMYK", "-interlace", "Plane"}, "im-cmyk-planar.tif"));
    ASSERT_TRUE(im({"-compress", "JPEG", "-quality", "95"}, "im-jpeg.tif"));
    ASSERT_TRUE(runTool("gm", {"convert", png, "-interlace", "Plane", dir.file("gm-planar.tif")}));
    ASSERT_TRUE(runTool("tiffcp", {"-c", "none", "-p", "separate", dir.file("im-chunky.tif"),
                                   dir.file("tiffcp-separate.tif")}));
    ASSERT_TRUE(runTool("tiffcp", {"-t", "-w", "16", "-l", "16", dir.file("tiffcp-separate.tif"),
                                   dir.file("tiffcp-tiled-separate.tif")}));
    ASSERT_TRUE(runPillow("import sys\nfrom PIL import Image\n"
                          "Image.open(sys.argv[1]).convert('LA').save(sys.argv[2])\n",
                          {png, dir.file("pil-grey.tif")}));

    const QStringList names = QDir(dir.path()).entryList({"*.tif"}, QDir::Files);
    ASSERT_EQ(names.size(), 12);
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const DecodedImage d = decodeFile(dir.file(name));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        ASSERT_EQ(d.pages.front().size(), QSize(40, 30));
        EXPECT_TRUE(d.pages.front().hasAlphaChannel());
        // Associated alpha keeps colours only to 255/alpha steps; JPEG is lossy.
        const int tolerance = name.contains(QLatin1String("jpeg"))         ? 12
                              : name.contains(QLatin1String("associated")) ? 4
                                                                           : 2;
        if (name.contains(QLatin1String("cmyk"))) {
            // Inks without a profile go through the default press profile.
            EXPECT_TRUE(matchesAtQuadrants(
                d.pages.front(), pressReading(dir.file(name), dir.path()), kPressTolerance));
            continue;
        }
        EXPECT_TRUE(hasAlphaQuadrants(d.pages.front(), name.startsWith(QLatin1String("pil-grey")),
                                      tolerance));
    }
}

TEST(TiffSamples, GreyWithAlphaFromImageMagickMatchesItsOwnReading)
{
    TempDir dir;
    const QString png = dir.file("src.png");
    ASSERT_TRUE(alphaQuadrants(40, 30).save(png, "PNG"));
    const QStringList variants[] = {{"-colorspace", "Gray"},
                                    {"-colorspace", "Gray", "-depth", "16"},
                                    {"-colorspace", "Gray", "-interlace", "Plane"}};
    for (int i = 0; i < int(std::size(variants)); ++i) {
        const QStringList &args = variants[i];
        SCOPED_TRACE(args.join(' ').toStdString());
        const QString tif = dir.file(QStringLiteral("grey-%1.tif").arg(i));
        ASSERT_TRUE(runTool("convert", QStringList{png} + args + QStringList{tif}));
        const DecodedImage d = decodeFile(tif);
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        const QImage reference = magickReading(dir, tif);
        ASSERT_FALSE(reference.isNull());
        EXPECT_LE(largestDifference(d.pages.front(), reference), 1);
        EXPECT_EQ(qAlpha(d.pages.front().pixel(quadrantCentre(QSize(40, 30), 2))), 64);
    }
}

TEST(TiffSamples, DeepTilesInSeparatePlanes)
{
    TempDir dir;
    const QString png = dir.file("src.png");
    ASSERT_TRUE(quadrants(40, 30).save(png, "PNG"));
    // tiffcp changes the planar layout of 8-bit files only, and tiles only
    // from uncompressed strips: its source is both already.
    ASSERT_TRUE(runTool("convert", {png, "-depth", "16", "-interlace", "Plane", "-compress", "None",
                                    dir.file("im-16.tif")}));
    ASSERT_TRUE(runTool("tiffcp", {"-t", "-w", "16", "-l", "16", "-p", "separate",
                                   dir.file("im-16.tif"), dir.file("tiffcp-tiled-separate.tif")}));
    ASSERT_TRUE(
        runTool("tiffcp", {"-c", "zip", "-t", "-w", "32", "-l", "16", "-p", "separate",
                           dir.file("im-16.tif"), dir.file("tiffcp-tiled-separate-zip.tif")}));
    ASSERT_TRUE(runTool("convert", {png, "-depth", "16", "-interlace", "Plane", "-define",
                                    "tiff:tile-geometry=16x16", dir.file("im-tiled-planar.tif")}));
    ASSERT_TRUE(runTool("gm", {"convert", png, "-depth", "16", "-interlace", "Plane", "-define",
                               "tiff:tile-geometry=16x16", dir.file("gm-tiled-planar.tif")}));
    for (const char *name : {"im-tiled-planar.tif", "gm-tiled-planar.tif"}) {
        SCOPED_TRACE(name);
        const DecodedImage d = decodeFile(dir.file(name));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_EQ(d.bitsPerPixel, 48);
        // Lossless 16 bits from 8: every pixel is exactly the source's.
        EXPECT_EQ(largestDifference(d.pages.front(), quadrants(40, 30)), 0);
    }
    // tiffcp 4.5 mixes the bytes of neighbouring samples when it cuts 16-bit
    // planes into tiles (a plane's first sample holds the high bytes of red
    // and green): its files are read as stored, the way ImageMagick does.
    for (const char *name : {"tiffcp-tiled-separate.tif", "tiffcp-tiled-separate-zip.tif"}) {
        SCOPED_TRACE(name);
        const DecodedImage d = decodeFile(dir.file(name));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_EQ(d.bitsPerPixel, 48);
        EXPECT_LE(largestDifference(d.pages.front(), magickReading(dir, dir.file(name))), 1);
    }
}

TEST(TiffSamples, UncompressedTilesThatLibtiffsReadPathRefuses)
{
    // 16x16 tiles of RGB are 768 bytes, which libtiff 4.5 calls an invalid
    // tile byte count when it reads them through its read procedure.
    TempDir dir;
    const QString plain = writeFile(dir.file("qt.tif"), encodeWithQt(quadrants(40, 30), "tiff"));
    ASSERT_TRUE(runTool("tiffcp", {"-c", "none", "-t", "-w", "16", "-l", "16", plain,
                                   dir.file("tiffcp-tiled.tif")}));
    ASSERT_TRUE(runTool("convert", {plain, "-compress", "None", "-define",
                                    "tiff:tile-geometry=16x16", dir.file("im-tiled.tif")}));
    for (const char *name : {"tiffcp-tiled.tif", "im-tiled.tif"}) {
        SCOPED_TRACE(name);
        const DecodedImage d = decodeFile(dir.file(name));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_EQ(largestDifference(d.pages.front(), quadrants(40, 30)), 0);
    }
}

TEST(TiffSamples, SignedAndFloatingPointSamplesAsImageMagickShowsThem)
{
    TempDir dir;
    const QString png = dir.file("src.png");
    ASSERT_TRUE(quadrants(40, 30).save(png, "PNG"));
    // Floating point from 0 to 1: the full brightness range.
    ASSERT_TRUE(runTool("convert", {png, "-depth", "32", "-define", "quantum:format=floating-point",
                                    dir.file("im-float32.tif")}));
    ASSERT_TRUE(runTool("convert", {png, "-depth", "16", "-define", "quantum:format=floating-point",
                                    dir.file("im-float16.tif")}));
    ASSERT_TRUE(runPillow("import sys\nfrom PIL import Image\n"
                          "im = Image.open(sys.argv[1]).convert('L').convert('F')\n"
                          "im.point(lambda v: v * (1 / 255.0)).save(sys.argv[2])\n",
                          {png, dir.file("pil-float.tif")}));
    // Signed 32-bit grey: 8-bit levels moved to the top of the positive
    // range, the same with a negative quadrant, and Pillow's usual 'I' file
    // whose values (0..255) are next to nothing in that range.
    ASSERT_TRUE(runPillow("import sys\nfrom PIL import Image\n"
                          "im = Image.open(sys.argv[1]).convert('L').convert('I')\n"
                          "full = im.point(lambda v: v * 8388608)\n"
                          "full.save(sys.argv[2])\n"
                          "im.save(sys.argv[3])\n"
                          "full.paste(-5, (0, 0, 20, 15))\n"
                          "full.save(sys.argv[4])\n",
                          {png, dir.file("pil-int32-full.tif"), dir.file("pil-int32-small.tif"),
                           dir.file("pil-int32-negative.tif")}));
    for (const char *name : {"im-float32.tif", "im-float16.tif"}) {
        SCOPED_TRACE(name);
        const DecodedImage d = decodeFile(dir.file(name));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_TRUE(hasQuadrants(d.pages.front(), 1));
    }
    // Pillow's own grey levels of the quadrants.
    auto luma = [](const QColor &c) {
        return (c.red() * 299 + c.green() * 587 + c.blue() * 114 + 500) / 1000;
    };
    for (const char *name :
         {"pil-float.tif", "pil-int32-small.tif", "pil-int32-full.tif", "pil-int32-negative.tif"}) {
        SCOPED_TRACE(name);
        const DecodedImage d = decodeFile(dir.file(name));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        const QImage &p = d.pages.front();
        const QByteArray n(name);
        if (!n.contains("int32-")) {
            const QImage reference = magickReading(dir, dir.file(name));
            ASSERT_FALSE(reference.isNull());
            EXPECT_LE(largestDifference(p, reference), 1);
        }
        if (n.contains("small")) {
            // ImageMagick shows this file black too.
            const QImage reference = magickReading(dir, dir.file(name));
            ASSERT_FALSE(reference.isNull());
            EXPECT_LE(largestDifference(p, reference), 0);
            EXPECT_EQ(qGray(p.pixel(30, 22)), 0);
            continue;
        }
        // 255 << 23 is 0.996 of the positive range.
        EXPECT_NEAR(qRed(p.pixel(30, 22)), luma(kBottomRight), 2);
        EXPECT_NEAR(qRed(p.pixel(10, 22)), luma(kBottomLeft), 2);
        EXPECT_NEAR(qRed(p.pixel(30, 7)), luma(kTopRight), 2);
        if (n.contains("negative"))
            EXPECT_EQ(qRed(p.pixel(10, 7)), 0);
        else
            EXPECT_NEAR(qRed(p.pixel(10, 7)), luma(kTopLeft), 2);
    }
}

TEST(TiffSamples, OrientationTagTurnsThePicture)
{
    TempDir dir;
    const QImage source = quadrants(40, 30);
    const QString plain = writeFile(dir.file("qt.tif"), encodeWithQt(source, "tiff"));
    // Where display pixel (x, y) comes from in the stored picture, for each
    // value of the tag (the same table as EXIF's).
    auto storedFor = [&](int orientation, int x, int y) {
        const int w = source.width(), h = source.height();
        switch (orientation) {
        case 2:
            return QPoint(w - 1 - x, y);
        case 3:
            return QPoint(w - 1 - x, h - 1 - y);
        case 4:
            return QPoint(x, h - 1 - y);
        case 5:
            return QPoint(y, x);
        case 6:
            return QPoint(y, h - 1 - x);
        case 7:
            return QPoint(w - 1 - y, h - 1 - x);
        case 8:
            return QPoint(w - 1 - y, x);
        default:
            return QPoint(x, y);
        }
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        // Separate planes go through our own reading, not Qt's reader.
        const QString tif = dir.file(QStringLiteral("o%1.tif").arg(orientation));
        ASSERT_TRUE(runTool("tiffcp", {"-p", "separate", plain, tif}));
        ASSERT_TRUE(runTool("tiffset", {"-s", "274", QString::number(orientation), tif}));
        const DecodedImage d = decodeFile(tif);
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        const QImage &p = d.pages.front();
        const QSize want = orientation >= 5 ? source.size().transposed() : source.size();
        ASSERT_EQ(p.size(), want);
        int wrong = 0;
        for (int y = 0; y < p.height(); ++y)
            for (int x = 0; x < p.width(); ++x)
                wrong +=
                    (p.pixel(x, y) | 0xFF000000u) != source.pixel(storedFor(orientation, x, y));
        EXPECT_EQ(wrong, 0);
        EXPECT_EQ(d.originalSize, want);
        EXPECT_LE(largestDifference(p, magickReading(dir, tif)), 0);
    }
}
