#include "imaging/Decoder.h"

#include "imaging_samples.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>

using namespace lumora::imaging;
using namespace lumora::test;

// Inputs the fuzzers (fuzz/) once crashed, hung or leaked on, kept as plain
// files whose extension is the name hint the fuzzer had chosen. Each must
// come back as a picture or as a sentence, at full size and as a thumbnail.
namespace
{

QFileInfoList regressionFiles()
{
    const QDir dir(QStringLiteral(LUMORA_TEST_DATA "/fuzz-regressions"));
    return dir.entryInfoList(QDir::Files, QDir::Name);
}

::testing::AssertionResult pictureOrSentence(const DecodedImage &d)
{
    if (d.ok() && !d.pages.front().isNull())
        return ::testing::AssertionSuccess();
    if (!d.ok() && d.pages.isEmpty() && !d.error.isEmpty())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pages " << d.pages.size() << ", error \"" << d.error.toStdString() << "\"";
}

// A placeable WMF holding one META_STRETCHDIB of a 24-bit bottom-up DIB;
// `patch` may damage the DIB (its offset within the returned bytes given).
QByteArray bitmapWmf(const QImage &image, const std::function<void(QByteArray &, int)> &patch = {})
{
    QByteArray dib = encodeWithQt(image.convertToFormat(QImage::Format_RGB888), "bmp").mid(14);
    const int w = image.width(), h = image.height();
    LeWriter body;
    const quint32 words = 3 + 11 + quint32(dib.size() / 2);
    body.u32(words);
    body.u16(0x0F43);
    body.u32(0x00CC0020); // SRCCOPY
    body.u16(0);          // DIB_RGB_COLORS
    for (int i = 0; i < 2; ++i) {
        body.s16(qint16(h)); // source, then destination: height, width, y, x
        body.s16(qint16(w));
        body.s16(0);
        body.s16(0);
    }
    body.bytes() += dib;
    body.u32(3);
    body.u16(0); // EOF
    LeWriter file = placeableWmfHeader(w, h);
    file.u16(1);
    file.u16(9);
    file.u16(0x0300);
    file.u32(quint32(9 + body.bytes().size() / 2));
    file.u16(0);
    file.u32(words);
    file.u16(0);
    QByteArray out = file.bytes() + body.bytes();
    if (patch)
        patch(out, 22 + 18 + 28);
    return out;
}

} // namespace

TEST(FuzzRegression, EveryKeptInputGivesAPictureOrASentence)
{
    const QFileInfoList files = regressionFiles();
    ASSERT_FALSE(files.isEmpty()) << "no files in tests/data/fuzz-regressions";
    for (const QFileInfo &info : files) {
        SCOPED_TRACE(info.fileName().toStdString());
        EXPECT_TRUE(pictureOrSentence(decodeFile(info.filePath())));

        QFile file(info.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        DecodeOptions thumbnail; // as the fuzzer decodes: every page, small box
        thumbnail.scaledSize = QSize(48, 48);
        EXPECT_TRUE(pictureOrSentence(decodeData(bytes, thumbnail, info.fileName())));
    }
}

// The header's largest-record field sizes libwmf's record buffer. A damaged
// one, far too large or smaller than a real record, must neither allocate
// gigabytes nor overflow; the records themselves say how large they are.
TEST(FuzzRegression, WmfLargestRecordFieldIsNotTrusted)
{
    const QByteArray good = quadrantWmf(40, 30);
    // Placeable header (22 bytes), then the standard one with the field at 12.
    const qsizetype field = 22 + 12;
    for (quint32 claimed : {0x7FFFFFFFu, 0x6F63541Cu, 3u, 0u}) {
        SCOPED_TRACE(claimed);
        QByteArray bytes = good;
        qToLittleEndian<quint32>(claimed, bytes.data() + field);
        const DecodedImage d = decodeData(bytes, {}, QStringLiteral("a.wmf"));
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_TRUE(hasQuadrants(d.pages.front(), 10));
    }
}

// A header claiming INT_MAX x INT_MAX pixels is refused as too large; the
// size arithmetic must not overflow on the way (64-bit PNG pixels).
TEST(FuzzRegression, AbsurdDimensionsAreTooLargeNotAnOverflow)
{
    QByteArray png = encodeWithQt(quadrants(4, 4), "png");
    qToBigEndian<quint32>(0x7FFFFFFF, png.data() + 16);
    qToBigEndian<quint32>(0x7FFFFFFF, png.data() + 20);
    const DecodedImage d = decodeData(png, {}, QStringLiteral("a.png"));
    EXPECT_FALSE(d.ok());
    EXPECT_TRUE(d.error.contains(QLatin1String("too large"))) << d.error.toStdString();
}

// libwmf allocates for a bitmap's declared palette and size before reading
// it; what the DIB header declares has to be inside its record.
TEST(FuzzRegression, WmfBitmapMustFitItsRecord)
{
    const QImage image = quadrants(24, 16);
    const DecodedImage good = decodeData(bitmapWmf(image), {}, QStringLiteral("a.wmf"));
    ASSERT_TRUE(good.ok()) << good.error.toStdString();
    EXPECT_TRUE(hasQuadrants(good.pages.front(), 10));

    const std::function<void(QByteArray &, int)> damages[] = {
        [](QByteArray &b, int dib) { qToLittleEndian<quint32>(0xDC000000, b.data() + dib + 32); },
        [](QByteArray &b, int dib) { qToLittleEndian<qint32>(100000, b.data() + dib + 4); },
        [](QByteArray &b, int dib) { qToLittleEndian<qint32>(-16, b.data() + dib + 4); },
        [](QByteArray &b, int dib) { qToLittleEndian<quint32>(0xFFFFFFF0, b.data() + dib); },
        [](QByteArray &b, int dib) { qToLittleEndian<quint32>(29, b.data() + dib); },
        [](QByteArray &b, int dib) { qToLittleEndian<quint16>(6144, b.data() + dib + 12); },
    };
    for (const auto &damage : damages) {
        const DecodedImage d = decodeData(bitmapWmf(image, damage), {}, QStringLiteral("a.wmf"));
        EXPECT_TRUE(pictureOrSentence(d));
        EXPECT_FALSE(d.ok());
    }
}

// libwmf never finishes drawing a stretched bitmap mirrored both ways; such
// a file is refused at once. One mirrored axis draws as before.
TEST(FuzzRegression, WmfBitmapMirroredBothWaysIsRefusedNotHung)
{
    const QImage image = quadrants(24, 16);
    // The destination height and width of the one META_STRETCHDIB record.
    const int destination = 22 + 18 + 6 + 4 + 2 + 8;
    auto mirrored = [&](qint16 height, qint16 width) {
        return bitmapWmf(image, [&](QByteArray &b, int) {
            qToLittleEndian<qint16>(height, b.data() + destination);
            qToLittleEndian<qint16>(width, b.data() + destination + 2);
        });
    };
    const DecodedImage both = decodeData(mirrored(-16, -24), {}, QStringLiteral("a.wmf"));
    EXPECT_FALSE(both.ok());
    EXPECT_TRUE(pictureOrSentence(both));
    EXPECT_TRUE(decodeData(mirrored(16, 24), {}, QStringLiteral("a.wmf")).ok());
    EXPECT_TRUE(decodeData(mirrored(-16, 24), {}, QStringLiteral("a.wmf")).ok());
    EXPECT_TRUE(decodeData(mirrored(16, -24), {}, QStringLiteral("a.wmf")).ok());
}

// 80 million x 1 pixels is inside the byte budget but past what one QImage
// row can hold; that is "too large", never a success with a null page.
TEST(FuzzRegression, EmfWiderThanAQImageRowIsTooLarge)
{
    QByteArray emf = quadrantEmf(24, 16);
    qToLittleEndian<qint32>(83886087, emf.data() + 16); // bounds: right
    qToLittleEndian<qint32>(0, emf.data() + 20);        // bounds: bottom, one row
    qToLittleEndian<qint32>(0, emf.data() + 76);        // no reference device: use the bounds
    const DecodedImage d = decodeData(emf, {}, QStringLiteral("a.emf"));
    EXPECT_TRUE(pictureOrSentence(d));
    EXPECT_TRUE(d.error.contains(QLatin1String("too large"))) << d.error.toStdString();
}

// A drawing that claims a size within the budget but far beyond any screen is
// drawn no larger than the render box, so it opens in seconds, not minutes;
// its declared size is still reported.
TEST(FuzzRegression, LargeDrawingsAreRenderedWithinTheRenderBox)
{
    QByteArray emf = quadrantEmf(24, 16);
    qToLittleEndian<qint32>(11999, emf.data() + 16); // bounds: right
    qToLittleEndian<qint32>(7999, emf.data() + 20);  // bounds: bottom
    qToLittleEndian<qint32>(0, emf.data() + 76);     // no reference device: use the bounds
    const DecodedImage d = decodeData(emf, {}, QStringLiteral("a.emf"));
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_EQ(d.pages.front().width(), 4096);
    EXPECT_EQ(d.pages.front().height(), 2730); // 8000 * 4096 / 12000, rounded down
    EXPECT_EQ(d.originalSize, QSize(12000, 8000));
}

// A 16-bit bit-field BMP whose blue mask is zero (found in another project's
// test images) once stopped the program with SIGFPE while its folder was
// listed. A channel without bits reads as zero; the other two as usual, as
// ImageMagick reads them.
TEST(FuzzRegression, BitFieldBmpWithAZeroMaskReadsThatChannelAsZero)
{
    const DecodedImage d =
        decodeFile(QStringLiteral(LUMORA_TEST_DATA "/fuzz-regressions/"
                                                   "bmp-16bit-bitfields-zero-blue-mask.bmp"));
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    ASSERT_EQ(d.pages.front().size(), QSize(8, 4));
    EXPECT_FALSE(d.damaged());
    // The top row's second pixel is 0x29D4: red 5 of 31, green 14 of 63.
    const QRgb p = d.pages.front().pixel(1, 0);
    EXPECT_EQ(qRed(p), 41);
    EXPECT_NEAR(qGreen(p), 56, 1);
    EXPECT_EQ(qBlue(p), 0);

    // Any one mask zero, and all three.
    QFile file(QStringLiteral(LUMORA_TEST_DATA "/fuzz-regressions/"
                                               "bmp-16bit-bitfields-zero-blue-mask.bmp"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    for (int zeroed : {0, 1, 2, 3}) {
        SCOPED_TRACE(zeroed);
        QByteArray bytes = good;
        for (int m = 0; m < 3; ++m)
            if (m == zeroed || zeroed == 3)
                qToLittleEndian<quint32>(0, bytes.data() + 54 + 4 * m);
        const DecodedImage z = decodeData(bytes, {}, QStringLiteral("a.bmp"));
        ASSERT_TRUE(z.ok()) << z.error.toStdString();
        if (zeroed < 3)
            EXPECT_EQ(
                (QList<int>{qRed(z.pages.front().pixel(1, 0)), qGreen(z.pages.front().pixel(1, 0)),
                            qBlue(z.pages.front().pixel(1, 0))})
                    .at(zeroed),
                0);
        else
            EXPECT_EQ(z.pages.front().pixel(1, 0), qRgb(0, 0, 0));
    }
}

// A 72-byte cursor whose entry claims 17 million by 12 pixels, and a 12-byte
// WBMP claiming 2635 x 11094, took seconds and hundreds of megabytes each
// (1.6 GB together) for pictures that are all but missing, as did a 242-byte
// run-length PSD claiming 100 x 196708 in our composite reader; they are refused
// as damaged. A large bitmap cut short in its second half still shows.
TEST(FuzzRegression, FilesFarShorterThanTheirPictureAreRefusedCheaply)
{
    for (const char *name : {"cursor-named-tga-entry-17-million-by-12.tga",
                             "wbmp-12-bytes-claiming-29-megapixels.wbmp",
                             "psd-rle-242-bytes-claiming-20-megapixels.psd"}) {
        SCOPED_TRACE(name);
        const DecodedImage d =
            decodeFile(QStringLiteral(LUMORA_TEST_DATA "/fuzz-regressions/") + QLatin1String(name));
        EXPECT_FALSE(d.ok());
        EXPECT_TRUE(pictureOrSentence(d));
    }
    const QByteArray bmp = encodeWithQt(quadrants(2400, 1800), "bmp");
    const DecodedImage cut = decodeData(bmp.left(bmp.size() * 2 / 3), {}, QStringLiteral("a.bmp"));
    ASSERT_TRUE(cut.ok()) << cut.error.toStdString();
    EXPECT_TRUE(cut.damaged());
    EXPECT_TRUE(near(cut.pages.front().pixel(2400 / 4, 1800 * 3 / 4), kBottomLeft, 0));
    const DecodedImage stub = decodeData(bmp.left(bmp.size() / 10), {}, QStringLiteral("a.bmp"));
    EXPECT_FALSE(stub.ok());
}
