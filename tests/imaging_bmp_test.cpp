#include "imaging/Decoder.h"

#include "imaging_samples.h"
#include "support/ExternalWriters.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QtEndian>

#include <functional>

using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

const QList<QRgb> kQuadrantPalette{kTopLeft.rgb(), kTopRight.rgb(), kBottomLeft.rgb(),
                                   kBottomRight.rgb()};

int quadrantIndex(int x, int y, int w, int h)
{
    return (y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0);
}

void put16(QByteArray &b, quint16 v)
{
    char c[2];
    qToLittleEndian(v, c);
    b.append(c, 2);
}

void put32(QByteArray &b, quint32 v)
{
    char c[4];
    qToLittleEndian(v, c);
    b.append(c, 4);
}

// Packs one value a pixel into rows as the file stores them: padded to four
// bytes, bottom row first unless topDown.
QByteArray packRows(int w, int h, int bits, bool topDown,
                    const std::function<quint32(int, int)> &value)
{
    QByteArray out;
    const int stride = (w * bits + 31) / 32 * 4;
    for (int r = 0; r < h; ++r) {
        const int y = topDown ? r : h - 1 - r;
        QByteArray row(stride, '\0');
        for (int x = 0; x < w; ++x) {
            const quint32 v = value(x, y);
            if (bits < 8) {
                const int bit = x * bits;
                row[bit / 8] = char(quint8(row[bit / 8]) | (v << (8 - bits - bit % 8)));
            } else {
                for (int i = 0; i < bits / 8; ++i)
                    row[x * bits / 8 + i] = char((v >> (8 * i)) & 0xFF);
            }
        }
        out += row;
    }
    return out;
}

// A bitmap file put together field by field, for variants no tool writes.
struct Bitmap {
    int headerSize = 40;
    int width = 8;
    int height = 6; // positive; topDown stores it negated
    bool topDown = false;
    int bits = 24;
    quint32 compression = 0;
    QList<QRgb> palette;
    int paletteEntries = -1; // entries written; -1: the palette's size
    quint32 colorsUsed = 0;
    QList<quint32> masks; // after a 40-byte header, inside a longer one
    QByteArray pixels;
    bool fileHeader = true;

    QByteArray bytes() const
    {
        QByteArray info;
        const bool os2v1 = headerSize == 12;
        put32(info, quint32(headerSize));
        if (os2v1) {
            put16(info, quint16(width));
            put16(info, quint16(height));
            put16(info, 1);
            put16(info, quint16(bits));
        } else {
            put32(info, quint32(width));
            put32(info, quint32(topDown ? -height : height));
            put16(info, 1);
            put16(info, quint16(bits));
            put32(info, compression);
            put32(info, quint32(pixels.size()));
            put32(info, 2835);
            put32(info, 2835);
            put32(info, colorsUsed);
            put32(info, 0);
            for (int i = 0; headerSize > 40 && i < masks.size(); ++i)
                put32(info, masks[i]);
            info.append(qMax(0, headerSize - int(info.size())), '\0');
            info.truncate(headerSize);
            if (headerSize == 40)
                for (quint32 m : masks)
                    put32(info, m);
        }
        const int n = paletteEntries < 0 ? int(palette.size()) : paletteEntries;
        for (int i = 0; i < n; ++i) {
            const QRgb c = palette.value(i, qRgb(1, 2, 3));
            info.append(char(qBlue(c)));
            info.append(char(qGreen(c)));
            info.append(char(qRed(c)));
            if (!os2v1)
                info.append('\0');
        }
        if (!fileHeader)
            return info + pixels;
        QByteArray file("BM");
        put32(file, quint32(14 + info.size() + pixels.size()));
        put32(file, 0);
        put32(file, quint32(14 + info.size()));
        return file + info + pixels;
    }
};

Bitmap indexed(int bits, bool topDown)
{
    Bitmap b;
    b.bits = bits;
    b.topDown = topDown;
    b.palette = kQuadrantPalette;
    if (bits == 1) // two colours: top and bottom halves
        b.palette = {kTopLeft.rgb(), kBottomLeft.rgb()};
    b.pixels = packRows(b.width, b.height, bits, topDown, [&](int x, int y) {
        return quint32(bits == 1 ? (y >= 3 ? 1 : 0) : quadrantIndex(x, y, 8, 6));
    });
    return b;
}

// Pixel value of a quadrant colour under the given masks.
quint32 packed(QRgb c, const QList<quint32> &masks, int alpha)
{
    quint32 v = 0;
    const int channels[] = {qRed(c), qGreen(c), qBlue(c), alpha};
    for (int i = 0; i < masks.size(); ++i) {
        const quint32 m = masks[i];
        if (!m)
            continue;
        const int shift = qCountTrailingZeroBits(m);
        const quint32 top = m >> shift;
        v |= ((quint32(channels[i]) * top + 127) / 255) << shift;
    }
    return v;
}

Bitmap bitFields(int bits, int headerSize, const QList<quint32> &masks, bool topDown = false)
{
    Bitmap b;
    b.headerSize = headerSize;
    b.bits = bits;
    b.compression = masks.size() == 4 && headerSize == 40 ? 6 : 3;
    b.masks = masks;
    b.topDown = topDown;
    b.pixels = packRows(b.width, b.height, bits, topDown, [&](int x, int y) {
        // The left half is transparent where there is an alpha mask.
        return packed(kQuadrantPalette[quadrantIndex(x, y, 8, 6)], masks, x < 4 ? 0 : 255);
    });
    return b;
}

::testing::AssertionResult decodesToQuadrants(const QByteArray &bytes, int tolerance,
                                              const char *name = "x.bmp")
{
    const DecodedImage d = decodeData(bytes, {}, QString::fromLatin1(name));
    if (!d.ok())
        return ::testing::AssertionFailure() << d.error.toStdString();
    return hasQuadrants(d.pages.front(), tolerance);
}

// One-bit files hold only the two top/bottom colours.
::testing::AssertionResult decodesToHalves(const QByteArray &bytes)
{
    const DecodedImage d = decodeData(bytes, {}, QStringLiteral("x.bmp"));
    if (!d.ok())
        return ::testing::AssertionFailure() << d.error.toStdString();
    const QImage &p = d.pages.front();
    if (!near(p.pixel(1, 1), kTopLeft, 0) || !near(p.pixel(6, 4), kBottomLeft, 0))
        return ::testing::AssertionFailure() << "halves swapped or wrong";
    return ::testing::AssertionSuccess();
}

// Run-length rows: each half of a row one run, then end of line.
QByteArray rleRows(int bits, int w, int h)
{
    QByteArray out;
    for (int r = 0; r < h; ++r) {
        const int y = h - 1 - r;
        for (int half = 0; half < 2; ++half) {
            const int index = quadrantIndex(half * w / 2, y, w, h);
            out.append(char(w / 2));
            if (bits == 24) {
                const QRgb c = kQuadrantPalette[index];
                out.append(char(qBlue(c)));
                out.append(char(qGreen(c)));
                out.append(char(qRed(c)));
            } else {
                out.append(char(bits == 4 ? index * 0x11 : index));
            }
        }
        out.append(2, '\0');
    }
    out.append('\0');
    out.append('\1');
    return out;
}

} // namespace

TEST(Bmp, TopDownRowsAtEveryDepth)
{
    for (int bits : {1, 2, 4, 8}) {
        SCOPED_TRACE(bits);
        const QByteArray bytes = indexed(bits, true).bytes();
        EXPECT_TRUE(bits == 1 ? decodesToHalves(bytes) : decodesToQuadrants(bytes, 0));
        // The same picture stored bottom-up decodes the same.
        EXPECT_TRUE(bits == 1 ? decodesToHalves(indexed(bits, false).bytes())
                              : decodesToQuadrants(indexed(bits, false).bytes(), 0));
    }
    for (int bits : {16, 24, 32}) {
        SCOPED_TRACE(bits);
        Bitmap b;
        b.bits = bits;
        b.topDown = true;
        const QList<quint32> masks = bits == 16 ? QList<quint32>{0x7C00, 0x3E0, 0x1F}
                                                : QList<quint32>{0xFF0000, 0xFF00, 0xFF};
        b.pixels = packRows(8, 6, bits, true, [&](int x, int y) {
            return packed(kQuadrantPalette[quadrantIndex(x, y, 8, 6)], masks, 0);
        });
        EXPECT_TRUE(decodesToQuadrants(b.bytes(), bits == 16 ? 8 : 0));
    }
}

TEST(Bmp, BitFieldMasksOfAnyWidthWithAndWithoutAlpha)
{
    struct Case {
        const char *name;
        Bitmap bitmap;
        int tolerance;
        bool alpha;
    };
    const QList<quint32> argb8888{0xFF0000, 0xFF00, 0xFF, 0xFF000000};
    const Case cases[] = {
        {"565", bitFields(16, 40, {0xF800, 0x7E0, 0x1F}), 8, false},
        {"555", bitFields(16, 40, {0x7C00, 0x3E0, 0x1F}), 8, false},
        {"4444 in V5", bitFields(16, 124, {0xF00, 0xF0, 0xF, 0xF000}), 17, true},
        {"1555 alpha bit fields", bitFields(16, 40, {0x7C00, 0x3E0, 0x1F, 0x8000}), 8, true},
        {"11-11-10", bitFields(32, 40, {0xFFE00000, 0x1FFC00, 0x3FF}), 1, false},
        {"8888 in V4", bitFields(32, 108, argb8888), 1, true},
        {"8888 in V5, top-down", bitFields(32, 124, argb8888, true), 1, true},
        {"888 in the 56-byte header", bitFields(32, 56, {0xFF, 0xFF00, 0xFF0000, 0}), 1, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedImage d = decodeData(c.bitmap.bytes(), {}, QStringLiteral("x.bmp"));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        const QImage &p = d.pages.front();
        EXPECT_TRUE(hasQuadrants(p, c.tolerance));
        EXPECT_EQ(d.bitsPerPixel, c.bitmap.bits);
        // Left half stored transparent: seen only where a mask says so.
        const int leftAlpha = qAlpha(p.pixel(1, 1));
        if (c.alpha) {
            EXPECT_EQ(leftAlpha, 0);
            EXPECT_EQ(qAlpha(p.pixel(6, 1)), 255);
        } else {
            EXPECT_EQ(leftAlpha, 255);
        }
    }
}

TEST(Bmp, RunLengthFourEightAndTwentyFourBits)
{
    for (int bits : {4, 8, 24}) {
        SCOPED_TRACE(bits);
        Bitmap b;
        b.bits = bits;
        b.compression = bits == 8 ? 1 : bits == 4 ? 2 : 4;
        if (bits == 24)
            b.headerSize = 64; // OS/2 2.x, where compression 4 is RLE24
        else
            b.palette = kQuadrantPalette;
        b.pixels = rleRows(bits, 8, 6);
        EXPECT_TRUE(decodesToQuadrants(b.bytes(), 0));
    }
    // Delta and literal runs: the skipped pixels take the first colour.
    Bitmap b;
    b.bits = 8;
    b.compression = 1;
    b.width = 4;
    b.height = 2;
    b.palette = kQuadrantPalette;
    b.pixels = QByteArray("\0\3\1\2\3\0" // literal 1 2 3, padded
                          "\0\0"         // end of line
                          "\0\2\2\0"     // delta two right
                          "\2\3"         // two of colour 3
                          "\0\1",
                          16);
    const DecodedImage d = decodeData(b.bytes(), {}, QStringLiteral("x.bmp"));
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    const QImage &p = d.pages.front();
    EXPECT_EQ(p.pixel(0, 1), kTopRight.rgb());
    EXPECT_EQ(p.pixel(2, 1), kBottomRight.rgb());
    EXPECT_EQ(p.pixel(3, 1), kTopLeft.rgb());
    EXPECT_EQ(p.pixel(0, 0), kTopLeft.rgb());
    EXPECT_EQ(p.pixel(2, 0), kBottomRight.rgb());
    EXPECT_EQ(p.pixel(3, 0), kBottomRight.rgb());
}

TEST(Bmp, OldHeadersAndPalettesOfOddLengths)
{
    Bitmap os2v1 = indexed(8, false);
    os2v1.headerSize = 12;
    EXPECT_TRUE(decodesToQuadrants(os2v1.bytes(), 0));

    Bitmap os2v2 = indexed(4, false);
    os2v2.headerSize = 64;
    EXPECT_TRUE(decodesToQuadrants(os2v2.bytes(), 0));

    Bitmap shortOs2; // 16-byte OS/2 2.x header: size, depth and nothing else
    shortOs2.headerSize = 16;
    shortOs2.pixels = packRows(8, 6, 24, false, [](int x, int y) {
        return kQuadrantPalette[quadrantIndex(x, y, 8, 6)] & 0xFFFFFF;
    });
    EXPECT_TRUE(decodesToQuadrants(shortOs2.bytes(), 0));

    Bitmap longPalette = indexed(1, false); // 256 entries for a 1-bit picture
    longPalette.paletteEntries = 256;
    longPalette.colorsUsed = 256;
    EXPECT_TRUE(decodesToHalves(longPalette.bytes()));

    Bitmap shortPalette = indexed(8, false); // four entries for an 8-bit one
    shortPalette.colorsUsed = 4;
    EXPECT_TRUE(decodesToQuadrants(shortPalette.bytes(), 0));

    // A DIB without its file header, top-down, and one named .dib.
    Bitmap bare = indexed(8, true);
    bare.fileHeader = false; // nothing says where the pixels start: the count must
    bare.colorsUsed = 4;
    const DecodedImage d = decodeData(bare.bytes(), {}, QStringLiteral("x.dib"));
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_EQ(d.format, FormatCode::Dib);
    EXPECT_TRUE(hasQuadrants(d.pages.front(), 0));
    EXPECT_TRUE(decodesToQuadrants(indexed(4, true).bytes(), 0, "x.dib"));
}

TEST(Bmp, FilesFromOtherWriters)
{
    TempDir dir;
    const QImage source = quadrants(40, 30);
    const QString png = dir.file("src.png"), ppm = dir.file("src.ppm");
    ASSERT_TRUE(source.save(png, "PNG"));
    ASSERT_TRUE(source.save(ppm, "PPM"));
    // The output may name ImageMagick's coder: "BMP3:name".
    auto im = [&](const QStringList &args, const QString &out) {
        const int colon = int(out.indexOf(QLatin1Char(':')));
        const QString target = out.left(colon + 1) + dir.file(out.mid(colon + 1));
        return runTool("convert", QStringList{png} + args + QStringList{target});
    };
    ASSERT_TRUE(im({"-type", "Palette", "-compress", "RLE"}, "BMP3:im-rle8.bmp"));
    ASSERT_TRUE(im({"-define", "bmp:subtype=RGB565"}, "im-565.bmp"));
    ASSERT_TRUE(im({"-define", "bmp:subtype=RGB555"}, "im-555.bmp"));
    ASSERT_TRUE(im({"-alpha", "on", "-define", "bmp:subtype=ARGB4444"}, "im-4444.bmp"));
    ASSERT_TRUE(im({"-alpha", "on"}, "im-v5-alpha.bmp"));
    ASSERT_TRUE(im({}, "BMP2:im-v2.bmp"));
    ASSERT_TRUE(im({"-type", "Palette"}, "BMP3:im-palette.dib"));
    ASSERT_TRUE(runTool("gm", {"convert", png, dir.file("gm.bmp")}));
    ASSERT_TRUE(runTool("gm", {"convert", png, "-type", "Palette", dir.file("gm-palette.bmp")}));
    const char *pillow = "import sys\n"
                         "from PIL import Image\n"
                         "im = Image.open(sys.argv[1]).convert('RGB')\n"
                         "d = sys.argv[2]\n"
                         "im.save(d + '/pil.bmp')\n"
                         "im.convert('RGBA').save(d + '/pil-rgba.bmp')\n"
                         "im.quantize(4).save(d + '/pil-palette.bmp')\n";
    ASSERT_TRUE(runPillow(pillow, {png, dir.path()}));
    for (const QStringList &args :
         {QStringList{"-bpp", "24"}, QStringList{"-bpp", "8"}, QStringList{"-bpp", "4"},
          QStringList{"-os2", "-bpp", "4"}, QStringList{"-os2", "-bpp", "24"}}) {
        QByteArray out;
        ASSERT_TRUE(runTool("ppmtobmp", args + QStringList{ppm}, {}, &out));
        writeFile(dir.file("netpbm" + args.join(QString()) + ".bmp"), out);
    }
    const QStringList names = QDir(dir.path()).entryList({"*.bmp", "*.dib"}, QDir::Files);
    ASSERT_GE(names.size(), 15);
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        const DecodedImage d = decodeFile(dir.file(name));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_EQ(d.pages.front().size(), QSize(40, 30));
        EXPECT_TRUE(hasQuadrants(d.pages.front(), 17));
        EXPECT_EQ(qAlpha(d.pages.front().pixel(3, 3)), 255);
    }
}

namespace
{

// An icon file holding the given entries, each a DIB or PNG stream.
QByteArray iconFile(const QList<QByteArray> &entries, int side, int type = 1)
{
    QByteArray out;
    put16(out, 0);
    put16(out, quint16(type));
    put16(out, quint16(entries.size()));
    quint32 offset = quint32(6 + 16 * entries.size());
    for (const QByteArray &e : entries) {
        out.append(char(side));
        out.append(char(side));
        out.append(2, '\0');
        put16(out, 1);
        put16(out, 32);
        put32(out, quint32(e.size()));
        put32(out, offset);
        offset += quint32(e.size());
    }
    for (const QByteArray &e : entries)
        out += e;
    return out;
}

// An icon bitmap: colour rows, then the AND mask marking the left half
// transparent. The header counts both in its height.
QByteArray iconDib(int bits, int side, int alpha)
{
    Bitmap b;
    b.fileHeader = false;
    b.width = side;
    b.height = side * 2;
    b.bits = bits;
    if (bits <= 8) {
        b.palette = kQuadrantPalette;
        b.paletteEntries = 1 << bits; // icons store the whole palette
    }
    b.pixels = packRows(side, side, bits, false, [&](int x, int y) {
        const int q = quadrantIndex(x, y, side, side);
        if (bits <= 8)
            return quint32(q);
        return (kQuadrantPalette[q] & 0xFFFFFF) | (bits == 32 ? quint32(alpha) << 24 : 0);
    });
    b.pixels += packRows(side, side, 1, false, [&](int x, int) { return quint32(x < side / 2); });
    return b.bytes();
}

} // namespace

TEST(Icon, TheAndMaskIsTransparentAtEveryDepth)
{
    struct Case {
        int bits;
        int alpha; // stored in 32-bit pixels
        bool maskCounts;
    };
    for (const Case c : {Case{24, 0, true}, Case{8, 0, true}, Case{4, 0, true}, Case{32, 0, true},
                         Case{32, 255, false}}) {
        SCOPED_TRACE(c.bits);
        SCOPED_TRACE(c.alpha);
        const QByteArray ico = iconFile({iconDib(c.bits, 16, c.alpha)}, 16);
        for (const char *name : {"x.ico", "x.cur"}) {
            QByteArray bytes = ico;
            if (name[2] == 'c')
                bytes[2] = 2;
            const DecodedImage d = decodeData(bytes, {}, QString::fromLatin1(name));
            ASSERT_TRUE(d.ok()) << d.error.toStdString();
            const QImage &p = d.pages.front();
            ASSERT_EQ(p.size(), QSize(16, 16));
            EXPECT_EQ(d.bitsPerPixel, c.bits);
            EXPECT_EQ(qAlpha(p.pixel(3, 3)), c.maskCounts ? 0 : 255);
            EXPECT_EQ(qAlpha(p.pixel(12, 3)), 255);
            EXPECT_TRUE(near(p.pixel(12, 3), kTopRight, 0));
            EXPECT_TRUE(near(p.pixel(12, 12), kBottomRight, 0));
        }
    }
}

TEST(Icon, BitmapAndPngEntriesFromOtherWriters)
{
    TempDir dir;
    // A PNG entry next to a bitmap one, by hand: both pages, in order.
    const QByteArray pngEntry = encodeWithQt(quadrants(32, 32), "png");
    const QByteArray mixed = iconFile({iconDib(24, 16, 0), pngEntry}, 16);
    const DecodedImage both = decodeData(mixed, {}, QStringLiteral("x.ico"));
    ASSERT_TRUE(both.ok()) << both.error.toStdString();
    ASSERT_EQ(both.pages.size(), 2);
    EXPECT_EQ(both.pages[1].size(), QSize(32, 32));
    EXPECT_TRUE(hasQuadrants(both.pages[1], 0));

    // netpbm writes bitmap entries with the AND mask it is given.
    QImage mask(32, 32, QImage::Format_Grayscale8);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            mask.setPixel(x, y, x < 16 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    const QString ppm = dir.file("src.ppm"), pgm = dir.file("mask.pgm");
    ASSERT_TRUE(quadrants(32, 32).save(ppm, "PPM"));
    ASSERT_TRUE(mask.save(pgm, "PGM"));
    ASSERT_TRUE(runTool("ppmtowinicon", {"-andpgms", "-output", dir.file("netpbm.ico"), ppm, pgm}));
    const QString png = dir.file("src.png");
    ASSERT_TRUE(quadrants(32, 32).save(png, "PNG"));
    ASSERT_TRUE(runTool("convert", {png, dir.file("im.ico")}));
    ASSERT_TRUE(runPillow("import sys\nfrom PIL import Image\n"
                          "Image.open(sys.argv[1]).save(sys.argv[2], sizes=[(32, 32)])\n",
                          {png, dir.file("pil.ico")}));
    for (const char *name : {"netpbm.ico", "im.ico", "pil.ico"}) {
        SCOPED_TRACE(name);
        const DecodedImage d = decodeFile(dir.file(QString::fromLatin1(name)));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        const QImage &p = d.pages.front();
        EXPECT_EQ(p.size(), QSize(32, 32));
        EXPECT_TRUE(near(p.pixel(24, 8), kTopRight, 0));
        EXPECT_TRUE(near(p.pixel(24, 24), kBottomRight, 0));
        EXPECT_EQ(qAlpha(p.pixel(24, 24)), 255);
        if (QByteArray(name) == "netpbm.ico")
            EXPECT_EQ(qAlpha(p.pixel(8, 8)), 0); // black in the AND mask: transparent
        else
            EXPECT_TRUE(near(p.pixel(8, 8), kTopLeft, 0));
    }
}
