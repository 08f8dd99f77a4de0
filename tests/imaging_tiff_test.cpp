#include "imaging/Decoder.h"

#include "imaging_samples.h"
#include "support/ExternalWriters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

// An old-style JPEG TIFF: the whole JFIF stream sits in the file and the
// JPEGInterchangeFormat tag points at it, as early scanner software wrote them.
QByteArray oldStyleJpegTiff(const QImage &image)
{
    const QByteArray jpeg = encodeWithQt(image, "jpeg");
    LeWriter w;
    w.bytes() = QByteArray("II*\0", 4);
    const quint32 bitsAt = 8, jpegAt = 16;
    w.u32(8 + 8 + quint32(jpeg.size()) + (jpeg.size() % 2)); // IFD after the data
    w.u16(8);
    w.u16(8);
    w.u16(8);
    w.u16(0);
    w.bytes() += jpeg;
    if (jpeg.size() % 2)
        w.bytes().append('\0');
    struct Tag {
        quint16 tag, type;
        quint32 count, value;
    };
    const quint32 width = quint32(image.width()), height = quint32(image.height());
    const Tag tags[] = {
        {256, 4, 1, width},  {257, 4, 1, height},
        {258, 3, 3, bitsAt}, {259, 3, 1, 6}, // old-style JPEG
        {262, 3, 1, 6},                      // YCbCr
        {273, 4, 1, jpegAt}, {277, 3, 1, 3},
        {278, 4, 1, height}, {279, 4, 1, quint32(jpeg.size())},
        {512, 3, 1, 1}, // baseline process
        {513, 4, 1, jpegAt}, {514, 4, 1, quint32(jpeg.size())},
    };
    w.u16(quint16(std::size(tags)));
    for (const Tag &t : tags) {
        w.u16(t.tag);
        w.u16(t.type);
        w.u32(t.count);
        if (t.type == 3 && t.count == 1) {
            w.u16(quint16(t.value));
            w.u16(0);
        } else {
            w.u32(t.value);
        }
    }
    w.u32(0);
    return w.bytes();
}

} // namespace

TEST(Tiff, DeepTiledPlanarCmykJpegAndTwelveBitFilesFromOtherWriters)
{
    TempDir dir;
    const QImage source = quadrants(40, 30);
    const QString png = dir.file("src.png");
    ASSERT_TRUE(source.save(png, "PNG"));
    auto im = [&](const QStringList &args, const char *out) {
        return runTool("convert", QStringList{png} + args + QStringList{dir.file(out)});
    };
    ASSERT_TRUE(im({"-depth", "16"}, "im-16.tif"));
    ASSERT_TRUE(
        im({"-depth", "16", "-interlace", "Plane", "-compress", "None"}, "im-16-planar.tif"));
    ASSERT_TRUE(im({"-depth", "16", "-colorspace", "Gray"}, "im-16-grey.tif"));
    ASSERT_TRUE(im({"-depth", "12"}, "im-12.tif"));
    ASSERT_TRUE(im({"-depth", "12", "-interlace", "Plane"}, "im-12-planar.tif"));
    ASSERT_TRUE(im({"-colorspace", "CMYK", "-compress", "JPEG"}, "im-cmyk-jpeg.tif"));
    ASSERT_TRUE(im({"-colorspace", "CMYK"}, "im-cmyk.tif"));
    ASSERT_TRUE(runTool("gm", {"convert", png, "-depth", "12", dir.file("gm-12.tif")}));
    ASSERT_TRUE(runTool("gm", {"convert", png, "-depth", "16", "-interlace", "Plane",
                               dir.file("gm-16-planar.tif")}));
    for (const char *from : {"im-16.tif", "im-16-grey.tif"}) {
        const QString tiled = dir.file(QStringLiteral("tiled-%1").arg(QLatin1String(from)));
        ASSERT_TRUE(
            runTool("tiffcp", {"-c", "lzw", "-t", "-w", "16", "-l", "16", dir.file(from), tiled}));
    }
    ASSERT_TRUE(runTool("tiffcp",
                        {"-c", "jpeg", dir.file("im-cmyk.tif"), dir.file("tiffcp-cmyk-jpeg.tif")}));
    ASSERT_TRUE(runPillow("import sys\nfrom PIL import Image\n"
                          "im = Image.open(sys.argv[1]).convert('CMYK')\n"
                          "im.save(sys.argv[2], compression='jpeg')\n",
                          {png, dir.file("pil-cmyk-jpeg.tif")}));
    writeFile(dir.file("old-style-jpeg.tif"), oldStyleJpegTiff(source));

    const QStringList names = QDir(dir.path()).entryList({"*.tif"}, QDir::Files);
    ASSERT_EQ(names.size(), 14);
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const DecodedImage d = decodeFile(dir.file(name));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_EQ(d.format, FormatCode::Tiff);
        EXPECT_EQ(d.pages.front().size(), QSize(40, 30));
        if (name.contains(QLatin1String("grey"))) {
            // Grey quadrants: only the brightness order is left.
            const QImage &p = d.pages.front();
            EXPECT_GT(qGray(p.pixel(30, 22)), qGray(p.pixel(10, 22)));
            EXPECT_GT(qGray(p.pixel(10, 7)), qGray(p.pixel(10, 22)));
        } else if (name.contains(QLatin1String("cmyk"))) {
            // Inks without a profile go through the default press profile.
            EXPECT_TRUE(
                matchesAtQuadrants(d.pages.front(), pressReading(dir.file(name), dir.path()),
                                   name.contains(QLatin1String("jpeg")) ? 12 : kPressTolerance));
        } else {
            EXPECT_TRUE(
                hasQuadrants(d.pages.front(), name.contains(QLatin1String("jpeg")) ? 40 : 4));
        }
    }
}

// ImageMagick's TIFF coder replaces libtiff's process-wide error handlers
// when it is first used; TIFF decoding must go on working afterwards.
TEST(Tiff, DecodingStillWorksAfterImageMagickReadATiff)
{
    const QImage source = quadrants(24, 16);
    const QByteArray plain = encodeWithQt(source, "tiff");
    Magick::Image magick;
    magick.quiet(true);
    magick.read(Magick::Blob(plain.constData(), size_t(plain.size())));
    EXPECT_EQ(magick.columns(), 24u);
    try { // a damaged TIFF makes ImageMagick's handlers report an error
        Magick::Image broken;
        broken.quiet(true);
        broken.read(Magick::Blob(plain.constData(), size_t(plain.size() / 2)));
    } catch (const Magick::Exception &) {
    }

    for (const QByteArray &bytes :
         {plain, oldStyleJpegTiff(source), plain.left(plain.size() / 2)}) {
        const DecodedImage d = decodeData(bytes);
        if (bytes.size() == plain.size() / 2) {
            // Cut short: libtiff reports errors, which must not end the process.
            EXPECT_TRUE(d.ok() || !d.error.isEmpty());
            continue;
        }
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_TRUE(hasQuadrants(d.pages.front(), 40));
    }
}
