// PSD: the merged picture of files ImageMagick refuses (its own
// indexed-colour PSDs), and our reading of that picture checked against
// ImageMagick's and Pillow's on files in every mode.
#include "imaging/Decoder.h"
#include "imaging/PsdComposite.h"
#include "support/PixelCompare.h"

#include "imaging_samples.h"
#include "support/ExternalWriters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

} // namespace

TEST(Psd, IndexedFilesImageMagickRefusesOpenAsPillowShowsThem)
{
    TempDir dir;
    const QString png = dir.file("src.png");
    ASSERT_TRUE(quadrants(40, 30).save(png, "PNG"));
    ASSERT_TRUE(runTool("convert", {png, "-type", "Palette", dir.file("indexed.psd")}));
    ASSERT_TRUE(runTool(
        "convert", {png, "-type", "Palette", "-compress", "RLE", dir.file("indexed-rle.psd")}));
    for (const char *name : {"indexed.psd", "indexed-rle.psd"}) {
        SCOPED_TRACE(name);
        const QByteArray bytes = readAllOf(dir.file(name));
        ASSERT_EQ(bytes.mid(24, 2), QByteArray("\0\2", 2)) << "not an indexed-colour file";
        const DecodedImage d = decodeFile(dir.file(name));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_EQ(d.format, FormatCode::Psd);
        EXPECT_EQ(d.bitsPerPixel, 8);
        const QString pil = dir.file(QStringLiteral("%1-pil.png").arg(QLatin1String(name)));
        ASSERT_TRUE(runPillow("import sys\nfrom PIL import Image\n"
                              "Image.open(sys.argv[1]).convert('RGB').save(sys.argv[2])\n",
                              {dir.file(name), pil}));
        EXPECT_EQ(largestDifference(d.pages.front(), QImage(pil), false), 0);
        EXPECT_TRUE(hasQuadrants(d.pages.front(), 0));
    }
}

TEST(Psd, MergedPictureInEveryModeAgreesWithImageMagick)
{
    TempDir dir;
    const QString png = dir.file("src.png");
    QImage source = quadrants(41, 29); // odd width: rows of bitmaps end mid-byte
    for (int x = 0; x < source.width(); ++x)
        source.setPixel(x, 0, qRgb(x * 6, 255 - x * 6, 128)); // more than 256 colours overall
    ASSERT_TRUE(source.save(png, "PNG"));
    const QList<QStringList> variants = {
        {},
        {"-compress", "RLE"},
        {"-colorspace", "Gray"},
        {"-colorspace", "Gray", "-depth", "16"},
        {"-depth", "16"},
        {"-colorspace", "CMYK"},
        {"-colorspace", "CMYK", "-compress", "RLE"},
        {"-monochrome"},
    };
    for (int i = 0; i < variants.size(); ++i) {
        SCOPED_TRACE(variants[i].join(' ').toStdString());
        const QString psd = dir.file(QStringLiteral("v%1.psd").arg(i));
        ASSERT_TRUE(runTool("convert", QStringList{png} + variants[i] + QStringList{psd}));
        const DecodedImage magick = decodeFile(psd); // ImageMagick reads these
        ASSERT_TRUE(magick.ok()) << magick.error.toStdString();
        int bits = 0;
        const QImage ours = readPsdComposite(readAllOf(psd), &bits);
        ASSERT_FALSE(ours.isNull());
        // CMYK goes through the press profile on both sides, at 8 and at 16
        // bits: a clipped channel lands a few steps apart.
        const bool inks = variants[i].contains(QStringLiteral("CMYK"));
        EXPECT_LE(largestDifference(
                      ours, magick.pages.front().convertToFormat(QImage::Format_RGB32), false),
                  inks ? kPressTolerance : 1);
        EXPECT_GT(bits, 0);
    }
}

TEST(Psd, CutShortOrOfAnotherKind)
{
    TempDir dir;
    const QString png = dir.file("src.png");
    ASSERT_TRUE(quadrants(40, 30).save(png, "PNG"));
    ASSERT_TRUE(runTool("convert",
                        {png, "-type", "Palette", "-compress", "None", dir.file("indexed.psd")}));
    const QByteArray whole = readAllOf(dir.file("indexed.psd"));
    // The merged picture is last: a compression word of 0, then 40 x 30 indices.
    ASSERT_GT(whole.size(), 40 * 30 + 2);
    ASSERT_EQ(whole.mid(whole.size() - 40 * 30 - 2, 2), QByteArray("\0\0", 2));
    int bits = 0;
    // The top half of the rows is there: it shows, the rest is the first colour.
    const QImage half = readPsdComposite(whole.left(whole.size() - 40 * 15), &bits);
    ASSERT_FALSE(half.isNull());
    EXPECT_TRUE(near(half.pixel(10, 7), kTopLeft, 0));
    EXPECT_TRUE(near(half.pixel(30, 7), kTopRight, 0));
    // Nothing of the picture, a damaged header, a mode we do not read.
    EXPECT_TRUE(readPsdComposite(whole.left(whole.size() - 40 * 30), &bits).isNull());
    QByteArray noChannels = whole;
    noChannels[13] = 0;
    EXPECT_TRUE(readPsdComposite(noChannels, &bits).isNull());
    QByteArray lab = whole;
    lab[25] = 9;
    EXPECT_TRUE(readPsdComposite(lab, &bits).isNull());
    // Damaged throughout: refused with the usual message, no crash.
    writeFile(dir.file("broken.psd"), whole.left(40));
    const DecodedImage d = decodeFile(dir.file("broken.psd"));
    EXPECT_FALSE(d.ok());
    EXPECT_FALSE(d.error.isEmpty());
}
