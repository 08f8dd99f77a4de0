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
