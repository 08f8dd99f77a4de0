#include "imaging/Decoder.h"

#include "imaging_samples.h"
#include "support/ExternalWriters.h"
#include "support/PixelCompare.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

using namespace lumora::imaging;
using namespace lumora::test;

// Sound files from other writers that Lumora once refused or read otherwise
// than the format's other readers do.

// A true-colour TGA may carry a colour map its pixels do not use (the format
// allows it; some paint programs write one). ImageMagick took the map for the
// pixels. Pillow's true-colour files, given a 16-entry map.
TEST(OtherReaders, TrueColourTgaWithAnUnusedColourMap)
{
    TempDir dir;
    const QString png = dir.file("src.png");
    ASSERT_TRUE(quadrants(40, 30).save(png, "PNG"));
    const char *pillow = "import sys\n"
                         "from PIL import Image\n"
                         "im = Image.open(sys.argv[1]).convert('RGB')\n"
                         "im.save(sys.argv[2] + '/pil.tga')\n"
                         "im.save(sys.argv[2] + '/pil-rle.tga', compression='tga_rle')\n"
                         "im.save(sys.argv[2] + '/pil-top.tga', orientation=1)\n";
    ASSERT_TRUE(runPillow(pillow, {png, dir.path()}));
    for (const char *name : {"pil.tga", "pil-rle.tga", "pil-top.tga"}) {
        SCOPED_TRACE(name);
        QByteArray tga = readAllOf(dir.file(QString::fromLatin1(name)));
        ASSERT_GT(tga.size(), 18);
        const int idLength = quint8(tga.at(0));
        tga[1] = 1;                                  // a colour map is present
        qToLittleEndian<quint16>(0, tga.data() + 3); // first entry
        qToLittleEndian<quint16>(16, tga.data() + 5);
        tga[7] = 24;
        QByteArray map;
        for (int i = 0; i < 16 * 3; ++i)
            map += char(i * 5);
        tga.insert(18 + idLength, map);
        const DecodedImage d = decodeData(tga, {}, QStringLiteral("a.tga"));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_EQ(d.pages.front().size(), QSize(40, 30));
        EXPECT_TRUE(hasQuadrants(d.pages.front(), 0));
        EXPECT_FALSE(d.damaged());
    }
}

// A PCX a few bytes short in its trailing palette: ImageMagick's tools and
// Pillow show it; Lumora refused it. It is read, and said to be damaged.
TEST(OtherReaders, PcxSlightlyShortInItsPalette)
{
    TempDir dir;
    const QString png = dir.file("src.png");
    ASSERT_TRUE(quadrants(64, 48).save(png, "PNG"));
    ASSERT_TRUE(runPillow("import sys\n"
                          "from PIL import Image\n"
                          "Image.open(sys.argv[1]).convert('RGB').quantize(8).save(sys.argv[2])\n",
                          {png, dir.file("pil.pcx")}));
    ASSERT_TRUE(runTool("convert", {png, "-colors", "8", "-type", "Palette", dir.file("im.pcx")}));
    for (const char *name : {"pil.pcx", "im.pcx"}) {
        const QByteArray whole = readAllOf(dir.file(QString::fromLatin1(name)));
        ASSERT_GT(whole.size(), 128 + 769);
        for (int missing : {1, 3, 40}) {
            SCOPED_TRACE(std::string(name) + " less " + std::to_string(missing));
            const QByteArray cut = whole.left(whole.size() - missing);
            const DecodedImage d = decodeData(cut, {}, QStringLiteral("a.pcx"));
            ASSERT_TRUE(d.ok()) << d.error.toStdString();
            EXPECT_EQ(d.pages.front().size(), QSize(64, 48));
            EXPECT_TRUE(d.damaged());
            // The colours in use come first in the palette, before the cut.
            EXPECT_TRUE(hasQuadrants(d.pages.front(), 12));
        }
    }
}

// CIE L*a*b* TIFFs from ImageMagick and Pillow, 8 and 16 bits: the colours
// libtiff's own converter (tiff2rgba) gives.
TEST(OtherReaders, CieLabTiffsAsLibtiffConvertsThem)
{
    TempDir dir;
    QImage source(64, 16, QImage::Format_RGB32);
    const QRgb colours[] = {qRgb(220, 30, 30),  qRgb(30, 200, 40),   qRgb(30, 40, 220),
                            qRgb(240, 230, 40), qRgb(128, 128, 128), qRgb(250, 250, 250),
                            qRgb(10, 10, 10),   qRgb(200, 120, 60)};
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 64; ++x)
            source.setPixel(x, y, colours[x / 8]);
    const QString png = dir.file("src.png");
    ASSERT_TRUE(source.save(png, "PNG"));
    ASSERT_TRUE(runTool("convert", {png, "-colorspace", "Lab", dir.file("im8.tif")}));
    ASSERT_TRUE(
        runTool("convert", {png, "-colorspace", "Lab", "-depth", "16", dir.file("im16.tif")}));
    ASSERT_TRUE(
        runPillow("import sys\n"
                  "from PIL import Image\n"
                  "Image.open(sys.argv[1]).convert('RGB').convert('LAB').save(sys.argv[2])\n",
                  {png, dir.file("pil8.tif")}));
    for (const char *name : {"im8.tif", "im16.tif", "pil8.tif"}) {
        SCOPED_TRACE(name);
        const QString file = dir.file(QString::fromLatin1(name));
        const QString rgba = file + QStringLiteral(".rgba.tif");
        ASSERT_TRUE(runTool("tiff2rgba", {file, rgba}));
        const DecodedImage reference = decodeFile(rgba);
        ASSERT_TRUE(reference.ok()) << reference.error.toStdString();
        const DecodedImage d = decodeFile(file);
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_LE(largestDifference(reference.pages.front().convertToFormat(QImage::Format_RGB32),
                                    d.pages.front().convertToFormat(QImage::Format_RGB32), false),
                  1);
    }
}

// An icon whose entry is a BMP V5 bitmap (32 bits in bit fields, with alpha)
// carrying an embedded ICC profile after its pixels and mask, the layout
// Windows' icon writers use: read as Pillow reads it. ImageMagick writes the
// V5 bitmap with the profile; it is put into an icon here.
TEST(OtherReaders, IconEntriesInBmpV5WithAnIccProfile)
{
    TempDir dir;
    QImage source = quadrants(32, 32).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if ((x + y) % 5 == 0)
                source.setPixel(x, y, (source.pixel(x, y) & 0xFFFFFF) | 0x80000000u);
    const QString png = dir.file("src.png");
    ASSERT_TRUE(source.save(png, "PNG"));
    const QString profile = QStringLiteral("/usr/share/color/icc/ghostscript/srgb.icc");
    ASSERT_TRUE(QFile::exists(profile)) << "ghostscript's colour profiles are missing";
    ASSERT_TRUE(runTool("convert", {png, "-profile", profile, dir.file("v5.bmp")}));
    const char *pillow =
        "import struct, sys\n"
        "from PIL import Image\n"
        "d = open(sys.argv[1], 'rb').read()\n"
        "hs = struct.unpack('<I', d[14:18])[0]\n"
        "assert hs == 124, hs\n"
        "hdr = bytearray(d[14:14 + hs])\n"
        "off = struct.unpack('<I', d[10:14])[0]\n"
        "pix = d[off:off + 4096]\n"
        "poff, psize = struct.unpack('<II', hdr[112:120])\n"
        "assert psize > 0\n"
        "prof = d[14 + poff:14 + poff + psize]\n"
        "hdr[8:12] = struct.pack('<i', 64)\n"
        "hdr[112:116] = struct.pack('<I', hs + 4096 + 128)\n"
        "dib = bytes(hdr) + pix + bytes(128) + prof\n"
        "ico = struct.pack('<HHHBBBBHHII', 0, 1, 1, 32, 32, 0, 0, 1, 32, len(dib), 22) + dib\n"
        "open(sys.argv[2], 'wb').write(ico)\n"
        "Image.open(sys.argv[2]).convert('RGBA').save(sys.argv[3])\n";
    ASSERT_TRUE(runPillow(pillow, {dir.file("v5.bmp"), dir.file("v5.ico"), dir.file("pil.png")}));
    const DecodedImage d = decodeFile(dir.file("v5.ico"));
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    const QImage pil = QImage(dir.file("pil.png")).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(d.pages.front().size(), pil.size());
    EXPECT_EQ(largestDifference(pil, d.pages.front().convertToFormat(QImage::Format_ARGB32)), 0);
    EXPECT_TRUE(hasQuadrants(d.pages.front(), 0));
}

// Animated GIFs from three writers, as ImageMagick's -coalesce composes them:
// restore to background (cleared to transparent) and to previous, frames
// smaller than the canvas, local palettes, a transparent index, interlacing.
// Each frame's delay and the loop count come as the file states them.
namespace
{

struct GifCase {
    const char *name;
    QList<int> delays; // ms, as written
    int playCount;     // 0: for ever
};

QList<QImage> coalescedByMagick(const QString &gif, const QString &dir)
{
    const QString pattern = dir + QStringLiteral("/coalesced-%d.png");
    if (!runTool(QStringLiteral("convert"),
                 {gif, QStringLiteral("-coalesce"), QStringLiteral("png32:") + pattern}))
        return {};
    QList<QImage> frames;
    for (int i = 0;; ++i) {
        const QImage frame(dir + QStringLiteral("/coalesced-%1.png").arg(i));
        if (frame.isNull())
            break;
        frames << frame;
    }
    return frames;
}

// A GIF of `frames` one-pixel frames on a `side`-square canvas, built by
// hand: what it costs composed grows with the canvas, not with the file.
QByteArray onePixelFrames(int side, int frames)
{
    QByteArray gif("GIF89a");
    gif += char(side & 0xff);
    gif += char(side >> 8);
    gif += char(side & 0xff);
    gif += char(side >> 8);
    gif += QByteArray::fromHex("800000"); // a two-colour global palette
    gif += QByteArray::fromHex("ff0000"
                               "0000ff");
    for (int i = 0; i < frames; ++i) {
        gif += QByteArray::fromHex("21f904000a000000"); // 100 ms
        gif += char(0x2c);
        gif += char(i % 256);
        gif += QByteArray::fromHex("0000000100010000"); // at (i, 0), 1x1
        gif += QByteArray::fromHex("0202440100");       // the pixel, LZW
    }
    gif += ';';
    return gif;
}

} // namespace

TEST(OtherReaders, AnimatedGifsComposedAsImageMagickCoalescesThem)
{
    TempDir dir;
    const QString d = dir.path() + QLatin1Char('/');
    // ImageMagick: partial frames restored to background or to the frame
    // before, over a transparent canvas.
    auto magick = [&](const char *command, const char *name) {
        return runTool(QStringLiteral("convert"),
                       QString::fromLatin1(command).split(QLatin1Char(' '), Qt::SkipEmptyParts)
                           << d + QString::fromLatin1(name));
    };
    ASSERT_TRUE(magick("-delay 5 -size 40x30 xc:red -dispose background "
                       "( -size 10x10 xc:blue -repage +5+5 ) "
                       "( -size 12x8 xc:lime -repage +20+10 ) -loop 3",
                       "im-background.gif"));
    // -draw takes one argument with blanks: drawn first, then animated.
    ASSERT_TRUE(
        runTool(QStringLiteral("convert"),
                {QStringLiteral("-size"), QStringLiteral("40x30"), QStringLiteral("xc:none"),
                 QStringLiteral("-fill"), QStringLiteral("red"), QStringLiteral("-draw"),
                 QStringLiteral("circle 20,15 20,5"), d + QStringLiteral("circle.png")}));
    ASSERT_TRUE(magick(qPrintable(QStringLiteral("-delay 20 -dispose none %1circle.png "
                                                 "-dispose previous "
                                                 "( -size 10x10 xc:blue -repage +5+5 ) "
                                                 "( -size 10x10 xc:yellow -repage +22+12 ) "
                                                 "-loop 0 -interlace gif")
                                      .arg(d)),
                       "im-previous.gif"));
    // Pillow: restore to background with a transparent index, its own
    // delays (one of 10 ms), and a frame of local colours.
    ASSERT_TRUE(runPillow(
        "import sys\n"
        "from PIL import Image, ImageDraw\n"
        "frames = []\n"
        "for i in range(4):\n"
        "    im = Image.new('RGBA', (32, 24), (0, 0, 0, 0))\n"
        "    ImageDraw.Draw(im).rectangle([i * 6, 2, i * 6 + 8, 20],\n"
        "                                 fill=(255 * (i % 2), 80 * i, 255 - 60 * i, 255))\n"
        "    frames.append(im)\n"
        "frames[0].save(sys.argv[1] + 'pil-background.gif', save_all=True,\n"
        "               append_images=frames[1:], duration=[30, 10, 200, 70], loop=2,\n"
        "               disposal=2, transparency=0)\n"
        "out = []\n"
        "for c in [(250, 10, 10), (10, 250, 10), (10, 10, 250)]:\n"
        "    im = Image.new('RGB', (20, 20), c)\n"
        "    ImageDraw.Draw(im).ellipse([2, 2, 17, 17], fill=(c[2], c[0], c[1]))\n"
        "    out.append(im)\n"
        "out[0].save(sys.argv[1] + 'pil-local.gif', save_all=True, append_images=out[1:],\n"
        "            duration=100, loop=0)\n",
        {d}));
    // gifsicle: its optimiser cuts frames down to what changed, with
    // transparency for what stays; frames restored to the one before.
    ASSERT_TRUE(
        runTool(QStringLiteral("gifsicle"),
                {QStringLiteral("-O3"), QStringLiteral("--delay"), QStringLiteral("7"),
                 QStringLiteral("--loopcount=forever"), d + QStringLiteral("im-background.gif"),
                 d + QStringLiteral("im-previous.gif"), QStringLiteral("-o"),
                 d + QStringLiteral("gifsicle-optimised.gif")}));
    ASSERT_TRUE(runTool(QStringLiteral("gifsicle"),
                        {QStringLiteral("--disposal=previous"), QStringLiteral("--loopcount=1"),
                         d + QStringLiteral("pil-local.gif"), QStringLiteral("-o"),
                         d + QStringLiteral("gifsicle-previous.gif")}));

    const GifCase cases[] = {
        {"im-background.gif", {50, 50, 50}, 3},
        {"im-previous.gif", {200, 200, 200}, 0},
        {"pil-background.gif", {30, 10, 200, 70}, 3},
        {"pil-local.gif", {100, 100, 100}, 0},
        {"gifsicle-optimised.gif", {70, 70, 70, 70, 70, 70}, 0},
        {"gifsicle-previous.gif", {100, 100, 100}, 2},
    };
    for (const GifCase &c : cases) {
        SCOPED_TRACE(c.name);
        const QString gif = d + QString::fromLatin1(c.name);
        const QList<QImage> expected =
            coalescedByMagick(gif, dir.mkdir(QString::fromLatin1(c.name) + ".frames"));
        ASSERT_EQ(expected.size(), c.delays.size());
        const DecodedImage decoded = decodeFile(gif);
        ASSERT_TRUE(decoded.ok()) << decoded.error.toStdString();
        EXPECT_FALSE(decoded.damaged());
        ASSERT_EQ(decoded.pages.size(), expected.size());
        EXPECT_EQ(decoded.frameDelays, c.delays);
        EXPECT_EQ(decoded.playCount, c.playCount);
        EXPECT_TRUE(decoded.animationNote.isEmpty());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            const PixelDiff diff = comparePixels(expected[i], decoded.pages[i]);
            EXPECT_TRUE(diff.sameSize) << diff.where.toStdString();
            EXPECT_LE(diff.maxDiff, 1) << diff.where.toStdString();
        }
        // A thumbnail or a first page alone is the first frame, as before.
        DecodeOptions first;
        first.allPages = false;
        const DecodedImage still = decodeFile(gif, first);
        ASSERT_TRUE(still.ok());
        EXPECT_EQ(still.pages.size(), 1);
        EXPECT_TRUE(still.frameDelays.isEmpty());
        EXPECT_LE(comparePixels(expected[0], still.pages[0]).maxDiff, 1);
    }
}

// Frames that would take more than the memory kept for an animation: the
// first frame shows as a still and the result says why; the file is sound.
TEST(OtherReaders, AnimatedGifTooLargeToPlayShowsItsFirstFrame)
{
    const DecodedImage fits = decodeData(onePixelFrames(64, 300), {}, QStringLiteral("a.gif"));
    ASSERT_TRUE(fits.ok()) << fits.error.toStdString();
    EXPECT_EQ(fits.pages.size(), 300);
    EXPECT_EQ(fits.frameDelays.size(), 300);
    EXPECT_TRUE(fits.animationNote.isEmpty());
    EXPECT_EQ(fits.pages[299].pixel(43, 0), qRgb(0xff, 0, 0));

    // 4000x4000 is 64 MB a frame composed: five pass the allowance.
    const DecodedImage big = decodeData(onePixelFrames(4000, 5), {}, QStringLiteral("a.gif"));
    ASSERT_TRUE(big.ok()) << big.error.toStdString();
    EXPECT_EQ(big.pages.size(), 1);
    EXPECT_TRUE(big.frameDelays.isEmpty());
    EXPECT_FALSE(big.animationNote.isEmpty());
    EXPECT_FALSE(big.damaged());
    EXPECT_EQ(big.pages[0].size(), QSize(4000, 4000));
    EXPECT_EQ(big.pages[0].pixel(0, 0), qRgb(0xff, 0, 0));
    EXPECT_EQ(qAlpha(big.pages[0].pixel(1, 0)), 0);

    // One 12000x12000 frame (576 MB) fits the picture budget, two do not:
    // the second is never decoded beside the first.
    const DecodedImage huge = decodeData(onePixelFrames(12000, 2), {}, QStringLiteral("a.gif"));
    ASSERT_TRUE(huge.ok()) << huge.error.toStdString();
    EXPECT_EQ(huge.pages.size(), 1);
    EXPECT_FALSE(huge.animationNote.isEmpty());
}
