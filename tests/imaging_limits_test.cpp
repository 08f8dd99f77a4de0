#include "imaging/DecodeSupport.h"
#include "imaging/Decoder.h"

#include "imaging_samples.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QImageReader>
#include <QtEndian>

#include <zlib.h>

using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

void appendBigEndian(QByteArray &out, quint32 value)
{
    char b[4];
    qToBigEndian(value, b);
    out.append(b, 4);
}

void appendChunk(QByteArray &png, const char *type, const QByteArray &data)
{
    appendBigEndian(png, quint32(data.size()));
    QByteArray typed(type, 4);
    typed += data;
    png += typed;
    appendBigEndian(png, quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()),
                                       uInt(typed.size()))));
}

QByteArray pngHeader(quint32 width, quint32 height, char bitsPerChannel = 8)
{
    QByteArray png("\x89PNG\r\n\x1A\n", 8);
    QByteArray ihdr;
    appendBigEndian(ihdr, width);
    appendBigEndian(ihdr, height);
    ihdr += bitsPerChannel;
    ihdr += QByteArray("\x02\x00\x00\x00", 4); // RGB
    appendChunk(png, "IHDR", ihdr);
    return png;
}

// A real, complete RGB PNG of black rows, compressed row by row so the test
// never holds the raw pixels.
QByteArray blackPng(int width, int height)
{
    QByteArray png = pngHeader(quint32(width), quint32(height));
    z_stream z{};
    deflateInit(&z, 9);
    QByteArray row(1 + width * 3, '\0');
    QByteArray idat;
    char chunk[1 << 16];
    for (int y = 0; y <= height; ++y) {
        const bool last = y == height;
        z.next_in = reinterpret_cast<Bytef *>(last ? nullptr : row.data());
        z.avail_in = last ? 0 : uInt(row.size());
        do {
            z.next_out = reinterpret_cast<Bytef *>(chunk);
            z.avail_out = sizeof chunk;
            deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            idat.append(chunk, qsizetype(sizeof chunk - z.avail_out));
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    appendChunk(png, "IDAT", idat);
    appendChunk(png, "IEND", {});
    return png;
}

QByteArray bmpHeader(qint32 width, qint32 height)
{
    LeWriter w;
    w.u16(0x4D42);
    w.u32(54);
    w.u32(0);
    w.u32(54);
    w.u32(40);
    w.s32(width);
    w.s32(height);
    w.u16(1);
    w.u16(24);
    w.u32(0);
    w.u32(0);
    w.s32(2835);
    w.s32(2835);
    w.u32(0);
    w.u32(0);
    return w.bytes();
}

QByteArray psdHeader(quint32 width, quint32 height)
{
    QByteArray psd("8BPS\x00\x01", 6);
    psd += QByteArray(6, '\0');
    psd += QByteArray("\x00\x03", 2); // channels
    appendBigEndian(psd, height);
    appendBigEndian(psd, width);
    psd += QByteArray("\x00\x08\x00\x03", 4); // 8 bits, RGB
    psd += QByteArray(12, '\0');              // empty colour, resource and layer sections
    psd += QByteArray("\x00\x00", 2);         // raw image data follows (none)
    return psd;
}

bool saysTooLarge(const DecodedImage &d)
{
    return !d.ok() && d.pages.isEmpty() && d.error.contains(QLatin1String("too large"));
}

} // namespace

TEST(DecodeLimits, HugeHeadersAreRefusedBeforeDecoding)
{
    EXPECT_TRUE(saysTooLarge(decodeData(pngHeader(60000, 60000))));
    EXPECT_TRUE(saysTooLarge(decodeData(bmpHeader(60000, 60000))));
    EXPECT_TRUE(saysTooLarge(decodeData(bmpHeader(60000, -60000))));
    EXPECT_TRUE(saysTooLarge(decodeData(psdHeader(60000, 60000))));
    const DecodedImage d = decodeData(pngHeader(60000, 60000));
    EXPECT_TRUE(d.error.contains(QLatin1String("60000 x 60000"))) << d.error.toStdString();

    // The depth the reader will produce counts: 200 megapixels of 16-bit RGB
    // decode to 64-bit pixels, 1.6 GB, and are refused although the same
    // picture at 8 bits would be allowed.
    QByteArray deep = pngHeader(16330, 12248, 16);
    appendChunk(deep, "IDAT", {});
    appendChunk(deep, "IEND", {});
    EXPECT_TRUE(saysTooLarge(decodeData(deep)));

    // A damaged file is not reported as a large one.
    QByteArray damaged = blackPng(64, 64);
    damaged.truncate(damaged.size() - 30);
    const DecodedImage broken = decodeData(damaged);
    EXPECT_FALSE(broken.ok());
    EXPECT_FALSE(broken.error.contains(QLatin1String("too large")));

    // A metafile header can claim any size too; a drawing is refused the same way.
    QByteArray emf = quadrantEmf(64, 48);
    qToLittleEndian<qint32>(6000000, emf.data() + 32); // frame right, in 0.01 mm
    qToLittleEndian<qint32>(6000000, emf.data() + 36); // frame bottom
    EXPECT_TRUE(saysTooLarge(decodeData(emf)));
    // ...unless only a thumbnail is wanted: then it is drawn straight at that size.
    DecodeOptions thumb;
    thumb.scaledSize = QSize(100, 100);
    const DecodedImage small = decodeData(emf, thumb);
    ASSERT_TRUE(small.ok()) << small.error.toStdString();
    EXPECT_EQ(small.pages.front().size(), QSize(100, 100));
}

TEST(DecodeLimits, TwoHundredMegapixelPhotosFitTheBudget)
{
    // 200 MP as 32-bit pixels is 800 MB: inside the 1 GiB budget and Qt's
    // raised allocation limit; one step beyond the budget is not.
    EXPECT_TRUE(support::fitsBudget(QSize(16330, 12248)));
    EXPECT_GE(qint64(QImageReader::allocationLimit()) << 20, qint64(16330) * 12248 * 4);
    EXPECT_FALSE(support::fitsBudget(QSize(16384, 16385)));
    EXPECT_FALSE(support::fitsBudget(QSize(0, 10)));
}

TEST(DecodeLimits, ImagesAboveQtsDefaultLimitDecode)
{
    // 8200 x 8200 decodes to 269 MB, more than Qt's default 256 MB limit.
    const QByteArray png = blackPng(8200, 8200);
    DecodedImage d = decodeData(png);
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_EQ(d.pages.front().size(), QSize(8200, 8200));
    EXPECT_EQ(qGray(d.pages.front().pixel(8199, 8199)), 0);
}
