#include "imaging/DecodeSupport.h"
#include "imaging/Decoder.h"
#include "imaging/ImageCipher.h"
#include "imaging/ImageDocument.h"
#include "imaging/ImageWriter.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QBuffer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>
#include <gtest/gtest.h>

#include <random>

#include <zlib.h>

using namespace lumora;
using namespace lumora::imaging;

namespace
{

// The cheapest derivation the library allows, so thousands of them stay
// quick; the standard cost is exercised separately.
const CipherCost kTestCost{1, 8192};

const QImage::Format kFormats[] = {
    QImage::Format_Mono,       QImage::Format_MonoLSB,
    QImage::Format_Indexed8,   QImage::Format_RGB32,
    QImage::Format_ARGB32,     QImage::Format_ARGB32_Premultiplied,
    QImage::Format_RGB16,      QImage::Format_RGB888,
    QImage::Format_Grayscale8, QImage::Format_Grayscale16,
    QImage::Format_RGBA64,     QImage::Format_BGR888,
    QImage::Format_RGBX8888,   QImage::Format_A2RGB30_Premultiplied,
};

QImage randomImage(std::mt19937 &rng)
{
    std::uniform_int_distribution<int> side(1, 24);
    std::uniform_int_distribution<int> byte(0, 255);
    const QImage::Format format =
        kFormats[std::uniform_int_distribution<int>(0, int(std::size(kFormats)) - 1)(rng)];
    QImage img(side(rng), side(rng), format);
    if (format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
        format == QImage::Format_MonoLSB) {
        QList<QRgb> table;
        const int n =
            format == QImage::Format_Indexed8 ? std::uniform_int_distribution<int>(1, 256)(rng) : 2;
        for (int i = 0; i < n; ++i)
            table << qRgba(byte(rng), byte(rng), byte(rng), byte(rng));
        img.setColorTable(table);
    }
    const int bytes = int(img.bytesPerLine());
    for (int y = 0; y < img.height(); ++y) {
        uchar *line = img.scanLine(y);
        for (int i = 0; i < bytes; ++i)
            line[i] = uchar(byte(rng));
        if (format == QImage::Format_Indexed8) // indexes inside the table
            for (int x = 0; x < img.width(); ++x)
                line[x] = uchar(line[x] % img.colorCount());
    }
    img.setDotsPerMeterX(std::uniform_int_distribution<int>(1, 20000)(rng));
    img.setDotsPerMeterY(std::uniform_int_distribution<int>(1, 20000)(rng));
    return img;
}

QString randomKey(std::mt19937 &rng, int minLength = 1)
{
    std::uniform_int_distribution<int> length(minLength, 40);
    std::uniform_int_distribution<int> kind(0, 9);
    QString key;
    const int n = length(rng);
    for (int i = 0; i < n; ++i) {
        switch (kind(rng)) {
        case 0:
            key += QLatin1Char(' ');
            break;
        case 1:
            key += QChar(std::uniform_int_distribution<int>(0x00C0, 0x024F)(rng));
            break;
        case 2:
            key += QChar(std::uniform_int_distribution<int>(0x0400, 0x04FF)(rng));
            break;
        default:
            key += QChar(std::uniform_int_distribution<int>(0x21, 0x7E)(rng));
            break;
        }
    }
    return key;
}

void expectSame(const QImage &a, const QImage &b)
{
    ASSERT_EQ(a.format(), b.format());
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(a.colorTable(), b.colorTable());
    EXPECT_EQ(a.dotsPerMeterX(), b.dotsPerMeterX());
    EXPECT_EQ(a.dotsPerMeterY(), b.dotsPerMeterY());
    const auto row = qsizetype((qint64(a.width()) * a.depth() + 7) / 8);
    for (int y = 0; y < a.height(); ++y)
        ASSERT_EQ(QByteArray(reinterpret_cast<const char *>(a.constScanLine(y)), row),
                  QByteArray(reinterpret_cast<const char *>(b.constScanLine(y)), row))
            << "row " << y;
}

bool containsKey(const QByteArray &bytes, const QString &key)
{
    const QByteArray utf8 = key.toUtf8();
    const QByteArray utf16(reinterpret_cast<const char *>(key.utf16()), key.size() * 2);
    return bytes.contains(utf8) || bytes.contains(utf16);
}

QList<FormatCode> losslessWriters()
{
    QList<FormatCode> out;
    for (int c = 1; c <= 10; ++c)
        if (canWriteFormat(FormatCode(c)) && formatKeepsEncryptedPicture(FormatCode(c)))
            out << FormatCode(c);
    return out;
}

const char *extensionOf(FormatCode code)
{
    return formatShortName(code);
}

} // namespace

TEST(ImageCipher, ThousandRoundTripsAreBitExactAlsoThroughEveryLosslessWriter)
{
    test::TempDir dir;
    std::mt19937 rng(20261209);
    const QList<FormatCode> writers = losslessWriters();
    ASSERT_FALSE(writers.isEmpty());
    std::cout << "lossless writers checked:";
    for (FormatCode c : writers)
        std::cout << ' ' << formatShortName(c);
    std::cout << '\n';
    for (int i = 0; i < 1000; ++i) {
        SCOPED_TRACE(i);
        const QImage plain = randomImage(rng);
        const QString key = randomKey(rng, 6);
        const Result<QImage> sealed = encryptPicture(plain, key, kTestCost);
        ASSERT_TRUE(sealed.ok()) << sealed.error().toStdString();
        EXPECT_TRUE(isEncryptedPicture(sealed.value()));
        EXPECT_FALSE(sealed.value().hasAlphaChannel());

        const Result<QImage> opened = decryptPicture(sealed.value(), key);
        ASSERT_TRUE(opened.ok()) << opened.error().toStdString();
        expectSame(opened.value(), plain);

        // Saved, read back by the decoder, opened: still exact.
        const FormatCode code = writers.at(i % writers.size());
        const QString path =
            dir.file(QStringLiteral("sealed%1.%2").arg(i).arg(QLatin1String(extensionOf(code))));
        QString error;
        ASSERT_TRUE(writeImageFile(sealed.value(), path, code, 0, true, &error))
            << error.toStdString();
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_FALSE(containsKey(f.readAll(), key)) << "key found in " << path.toStdString();
        const DecodedImage back = decodeFile(path);
        ASSERT_TRUE(back.ok()) << back.error.toStdString();
        const Result<QImage> reopened = decryptPicture(back.pages.first(), key);
        ASSERT_TRUE(reopened.ok())
            << formatShortName(code) << ": " << reopened.error().toStdString();
        expectSame(reopened.value(), plain);
        QFile::remove(path);
    }
}

TEST(ImageCipher, OtherProgramsCopiesOfASealedPictureStillOpen)
{
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    if (convert.isEmpty())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    test::TempDir dir;
    std::mt19937 rng(7);
    QImage plain(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            plain.setPixel(x, y, qRgb(x * 6, y * 8, (x * y) & 0xFF));
    const QString key = QStringLiteral("correct horse battery");
    const Result<QImage> sealed = encryptPicture(plain, key, kTestCost);
    ASSERT_TRUE(sealed.ok());
    const QString source = dir.file(QStringLiteral("sealed.bmp"));
    ASSERT_TRUE(writeImageFile(sealed.value(), source, FormatCode::Bmp, 0, true, nullptr));
    // Pictures rewritten by ImageMagick in the lossless formats we read.
    // (TGA is left to GraphicsMagick below: ImageMagick 6 stores TGA rows top
    // first while the header says bottom first, which other readers honour.)
    for (const char *target : {"png", "tif", "pcx", "psd", "bmp3"}) {
        SCOPED_TRACE(target);
        const QString out = dir.file(QStringLiteral("copy.%1").arg(QLatin1String(target)));
        const QString arg = QString::fromLatin1(target) == QLatin1String("bmp3")
                                ? QStringLiteral("BMP3:") + out
                                : out;
        ASSERT_EQ(QProcess::execute(convert, {source, arg}), 0);
        const DecodedImage back = decodeFile(out);
        ASSERT_TRUE(back.ok()) << back.error.toStdString();
        const Result<QImage> opened = decryptPicture(back.pages.first(), key);
        ASSERT_TRUE(opened.ok()) << opened.error().toStdString();
        expectSame(opened.value(), plain);
    }
    const QString gm = QStandardPaths::findExecutable(QStringLiteral("gm"));
    if (!gm.isEmpty()) {
        const QString tga = dir.file(QStringLiteral("copy.tga"));
        ASSERT_EQ(QProcess::execute(gm, {QStringLiteral("convert"), source, tga}), 0);
        const DecodedImage back = decodeFile(tga);
        ASSERT_TRUE(back.ok()) << back.error.toStdString();
        const Result<QImage> opened = decryptPicture(back.pages.first(), key);
        ASSERT_TRUE(opened.ok()) << "tga: " << opened.error().toStdString();
        expectSame(opened.value(), plain);
    }
    // A JPEG copy cannot be opened again, and says so rather than giving noise.
    const QString jpeg = dir.file(QStringLiteral("copy.jpg"));
    ASSERT_EQ(QProcess::execute(convert,
                                {source, QStringLiteral("-quality"), QStringLiteral("95"), jpeg}),
              0);
    const DecodedImage lossy = decodeFile(jpeg);
    ASSERT_TRUE(lossy.ok());
    EXPECT_FALSE(decryptPicture(lossy.pages.first(), key).ok());
}

TEST(ImageCipher, ThousandWrongKeysAndTamperedPixelsAreRejected)
{
    std::mt19937 rng(99);
    QImage plain = randomImage(rng);
    while (plain.format() != QImage::Format_RGB888)
        plain = randomImage(rng);
    const QString key = QStringLiteral("the right key");
    ImageDocument doc;
    doc.setCipherCost(kTestCost);
    ASSERT_TRUE(doc.LoadFromPicture(plain).ok());
    ASSERT_TRUE(doc.EncryptImage(key, {}).ok());
    ASSERT_TRUE(doc.isEncrypted());
    const QImage sealed = doc.currentImage();

    for (int i = 0; i < 1000; ++i) {
        QString wrong = randomKey(rng);
        if (wrong == key)
            continue;
        const Result<> r = doc.DecryptImage(wrong, {});
        ASSERT_FALSE(r.ok()) << i;
        EXPECT_FALSE(r.error().isEmpty());
        ASSERT_EQ(doc.currentImage(), sealed) << "a rejected key changed the image";
    }
    // Near misses: one character more, less or different, case, blanks.
    for (const QString &near : {QStringLiteral("the right ke"), QStringLiteral("the right key "),
                                QStringLiteral("The right key"), QStringLiteral(" the right key"),
                                QStringLiteral("the right kez")})
        EXPECT_FALSE(doc.DecryptImage(near, {}).ok()) << near.toStdString();

    // Flipping bits anywhere in the header and ciphertext is caught. The
    // first 106 bytes are always header or ciphertext, even for the
    // smallest picture; later bytes may be the random tail, where a change
    // must still never give anything but the original.
    std::uniform_int_distribution<int> bit(0, 7);
    const int carrierBytes = sealed.width() * sealed.height() * 3;
    int rejected = 0;
    for (int i = 0; i < 1000; ++i) {
        const bool early = i % 2 == 0;
        const int at = std::uniform_int_distribution<int>(0, early ? 105 : carrierBytes - 1)(rng);
        QImage tampered = sealed.convertToFormat(QImage::Format_RGB32);
        const int px = at / 3, channel = at % 3;
        const int x = px % tampered.width(), y = px / tampered.width();
        QRgb p = tampered.pixel(x, y);
        int c[3] = {qRed(p), qGreen(p), qBlue(p)};
        c[channel] ^= 1 << bit(rng);
        tampered.setPixel(x, y, qRgb(c[0], c[1], c[2]));
        ImageDocument t;
        ASSERT_TRUE(t.LoadFromPicture(tampered).ok());
        const Result<> r = t.DecryptImage(key, {});
        if (r.ok()) {
            ASSERT_FALSE(early) << "a change at byte " << at << " went unnoticed";
            expectSame(t.currentImage(), plain);
        } else {
            ++rejected;
            ASSERT_EQ(t.currentImage(), tampered);
        }
    }
    EXPECT_GE(rejected, 500);

    // And the right key still opens it.
    ASSERT_TRUE(doc.DecryptImage(key, {}).ok());
    expectSame(doc.currentImage(), plain);
    EXPECT_FALSE(doc.isEncrypted());
}

TEST(ImageCipher, StandardCostRoundTripsAndRejects)
{
    const CipherCost standard = CipherCost::standard();
    EXPECT_GE(standard.opsLimit, 2u);
    EXPECT_GE(standard.memLimitBytes, std::size_t(64) << 20);
    QImage plain(17, 9, QImage::Format_ARGB32);
    plain.fill(qRgba(10, 200, 30, 128));
    plain.setPixel(3, 4, qRgba(1, 2, 3, 4));
    ImageDocument doc;
    ASSERT_TRUE(doc.LoadFromPicture(plain).ok());
    ASSERT_TRUE(doc.EncryptImage(QStringLiteral("    "), {}).ok()); // blanks are a key
    EXPECT_FALSE(doc.DecryptImage(QStringLiteral("   "), {}).ok());
    ASSERT_TRUE(doc.DecryptImage(QStringLiteral("    "), {}).ok());
    expectSame(doc.currentImage(), plain);
    // Twice sealed opens twice.
    ASSERT_TRUE(doc.EncryptImage(QStringLiteral("one"), {}).ok());
    ASSERT_TRUE(doc.EncryptImage(QStringLiteral("two"), {}).ok());
    EXPECT_FALSE(doc.DecryptImage(QStringLiteral("one"), {}).ok());
    ASSERT_TRUE(doc.DecryptImage(QStringLiteral("two"), {}).ok());
    ASSERT_TRUE(doc.DecryptImage(QStringLiteral("one"), {}).ok());
    expectSame(doc.currentImage(), plain);
}

TEST(ImageCipher, EdgesAndTheSaveWarning)
{
    ImageDocument doc;
    doc.setCipherCost(kTestCost);
    EXPECT_FALSE(doc.EncryptImage(QStringLiteral("k")).ok()); // nothing loaded
    EXPECT_FALSE(doc.DecryptImage(QStringLiteral("k")).ok());
    QImage plain(5, 5, QImage::Format_RGB32);
    plain.fill(Qt::blue);
    ASSERT_TRUE(doc.LoadFromPicture(plain).ok());
    const Result<> notSealed = doc.DecryptImage(QStringLiteral("k"));
    EXPECT_FALSE(notSealed.ok());
    EXPECT_EQ(notSealed.error(), QStringLiteral("This image is not encrypted."));
    EXPECT_EQ(doc.currentImage(), plain);
    EXPECT_FALSE(encryptPicture(plain, QString(), kTestCost).ok());
    // Costs beyond what a header may ask are refused up front.
    EXPECT_FALSE(encryptPicture(plain, QStringLiteral("k"), {100, 8192}).ok());
    EXPECT_FALSE(encryptPicture(plain, QStringLiteral("k"), {1, std::size_t(4) << 30}).ok());

    // Two sealings of the same picture under the same key differ (salt and
    // nonce are fresh) and neither resembles the picture.
    const Result<QImage> a = encryptPicture(plain, QStringLiteral("k"), kTestCost);
    const Result<QImage> b = encryptPicture(plain, QStringLiteral("k"), kTestCost);
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_NE(a.value(), b.value());
    EXPECT_GE(a.value().width(), 5);

    EXPECT_FALSE(encryptedSaveWarning(FormatCode::Jpeg).isEmpty());
    EXPECT_FALSE(encryptedSaveWarning(FormatCode::Wbmp).isEmpty());
    EXPECT_TRUE(encryptedSaveWarning(FormatCode::Png).isEmpty());
    EXPECT_TRUE(encryptedSaveWarning(FormatCode::Bmp).isEmpty());
    // A sealed picture only PNG reads back at 3 bytes a pixel: warned about
    // for the other lossless formats.
    const QSize large(16384, 18667);
    EXPECT_TRUE(encryptedSaveWarning(FormatCode::Png, large).isEmpty());
    for (FormatCode code : {FormatCode::Tiff, FormatCode::Bmp, FormatCode::Psd, FormatCode::Tga})
        EXPECT_TRUE(encryptedSaveWarning(code, large).contains(QStringLiteral("only PNG")));
    EXPECT_TRUE(encryptedSaveWarning(FormatCode::Tiff, QSize(100, 100)).isEmpty());
    EXPECT_EQ(encryptedSaveWarning(FormatCode::Jpeg, large),
              encryptedSaveWarning(FormatCode::Jpeg));
}

// Keys: the same letters typed composed or decomposed are one key; any
// length up to the stated bound counts in full; beyond it is refused, not
// cut short.
TEST(ImageCipher, KeysAreTakenInNfcAndInFullUpToTheBound)
{
    QImage plain(9, 7, QImage::Format_RGB32);
    plain.fill(qRgb(40, 90, 200));
    const QString composed = QStringLiteral("caf\u00e9 na\u00efve");
    const QString decomposed = QStringLiteral("cafe\u0301 nai\u0308ve");
    ASSERT_NE(composed, decomposed);
    Result<QImage> sealed = encryptPicture(plain, decomposed, kTestCost);
    ASSERT_TRUE(sealed.ok()) << sealed.error().toStdString();
    Result<QImage> opened = decryptPicture(sealed.value(), composed);
    ASSERT_TRUE(opened.ok()) << opened.error().toStdString();
    expectSame(opened.value(), plain);

    // 40,000 characters, past the 32,767 a text box takes by default: a key
    // differing only in its last character does not open it.
    QString longKey(40000, QLatin1Char('x'));
    sealed = encryptPicture(plain, longKey, kTestCost);
    ASSERT_TRUE(sealed.ok()) << sealed.error().toStdString();
    EXPECT_TRUE(decryptPicture(sealed.value(), longKey).ok());
    QString nearly = longKey;
    nearly[39999] = QLatin1Char('y');
    EXPECT_FALSE(decryptPicture(sealed.value(), nearly).ok());
    EXPECT_FALSE(decryptPicture(sealed.value(), longKey.left(32767)).ok());

    const QString atBound(kMaxKeyLength, QLatin1Char('k'));
    EXPECT_TRUE(encryptPicture(plain, atBound, kTestCost).ok());
    const QString beyond(kMaxKeyLength + 1, QLatin1Char('k'));
    const Result<QImage> refused = encryptPicture(plain, beyond, kTestCost);
    EXPECT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().contains(QString::number(kMaxKeyLength)))
        << refused.error().toStdString();
    EXPECT_FALSE(decryptPicture(sealed.value(), beyond).ok());
}

namespace
{
// An 8-bit RGB PNG of w x h black pixels but one white pixel at (x, y),
// written straight (rows of zeros compress to almost nothing), so a picture
// of a gigabyte takes no gigabyte to make.
QByteArray rgbPng(int w, int h, int x, int y)
{
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    const auto chunk = [&out](const char *type, const QByteArray &data) {
        QByteArray body(type, 4);
        body += data;
        char be[4];
        qToBigEndian<quint32>(quint32(data.size()), be);
        out += QByteArray(be, 4) + body;
        qToBigEndian<quint32>(
            quint32(crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()))),
            be);
        out += QByteArray(be, 4);
    };
    QByteArray ihdr(13, '\0');
    qToBigEndian<quint32>(quint32(w), ihdr.data());
    qToBigEndian<quint32>(quint32(h), ihdr.data() + 4);
    ihdr[8] = 8; // bit depth
    ihdr[9] = 2; // RGB
    chunk("IHDR", ihdr);
    z_stream z{};
    deflateInit(&z, 1);
    QByteArray idat;
    std::vector<unsigned char> row(std::size_t(w) * 3 + 1, 0);
    std::vector<unsigned char> buffer(1 << 16);
    for (int r = 0; r < h; ++r) {
        std::fill(row.begin(), row.end(), 0);
        if (r == y)
            std::fill_n(row.begin() + 1 + std::ptrdiff_t(x) * 3, 3, 255);
        z.next_in = row.data();
        z.avail_in = uInt(row.size());
        const int flush = r == h - 1 ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = buffer.data();
            z.avail_out = uInt(buffer.size());
            deflate(&z, flush);
            idat.append(reinterpret_cast<const char *>(buffer.data()),
                        qsizetype(buffer.size() - z.avail_out));
        } while (z.avail_out == 0 || (flush == Z_FINISH && z.avail_in > 0));
    }
    deflateEnd(&z);
    chunk("IDAT", idat);
    chunk("IEND", {});
    return out;
}
} // namespace

// A sealed picture holds 3 bytes a pixel, so it is read back at 3: one of
// nearly a gigabyte that Qt's 4 bytes would put past the budget opens, and
// encryption is refused up front for a picture whose sealed form could not.
TEST(ImageCipher, LargeSealedPicturesReopenAtThreeBytesAPixelAndLargerAreRefused)
{
    // Never touched: only the size and format count for the check.
    const QImage fits(16384, 14000, QImage::Format_RGB32);
    EXPECT_TRUE(sealedSizeProblem(fits).isEmpty());
    const QSize carrier = sealedSize(fits);
    ASSERT_GT(qint64(carrier.width()) * carrier.height() * 4, kMaxDecodedBytes);

    const QByteArray png =
        rgbPng(carrier.width(), carrier.height(), carrier.width() - 2, carrier.height() - 3);
    const DecodedImage d = decodeData(png);
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    ASSERT_EQ(d.pages.size(), 1);
    const QImage &page = d.pages.front();
    EXPECT_EQ(page.size(), carrier);
    EXPECT_EQ(page.format(), QImage::Format_RGB888);
    EXPECT_EQ(d.bitsPerPixel, 24);
    EXPECT_EQ(page.pixel(carrier.width() - 2, carrier.height() - 3), qRgb(255, 255, 255));
    EXPECT_EQ(page.pixel(carrier.width() - 1, carrier.height() - 3), qRgb(0, 0, 0));
    EXPECT_EQ(page.pixel(0, 0), qRgb(0, 0, 0));

    // The 16-bit photo of 10400 x 10200 that used to be sealed for good now
    // seals to a picture that opens again (849 MB at 3 bytes a pixel).
    const QImage photo(10400, 10200, QImage::Format_RGBX64);
    EXPECT_TRUE(sealedSizeProblem(photo).isEmpty());
    EXPECT_EQ(sealedSize(photo), QSize(10400, 27201));
    // Larger ones, and one just past the limit: refused with a message,
    // before any work.
    for (const QImage &tooLarge : {QImage(16384, 12000, QImage::Format_RGBX64),
                                   QImage(16384, 16384, QImage::Format_RGB32)}) {
        const Result<QImage> r = encryptPicture(tooLarge, QStringLiteral("k"), kTestCost);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error().startsWith(QStringLiteral("The image is too large to encrypt")))
            << r.error().toStdString();
        EXPECT_FALSE(sealedSizeProblem(tooLarge).isEmpty());
        const QSize s = sealedSize(tooLarge);
        EXPECT_FALSE(support::fitsBudget(s, 24)) << s.width() << "x" << s.height();
    }
    // A picture a little past the budget at 3 bytes a pixel is still refused.
    const QByteArray past = rgbPng(16384, 21846, 0, 0);
    const DecodedImage refused = decodeData(past);
    EXPECT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error.contains(QStringLiteral("too large"))) << refused.error.toStdString();
}

TEST(ImageCipher, SealedPicturesHoldThreeBytesAPixel)
{
    QImage plain(40, 30, QImage::Format_ARGB32);
    plain.fill(qRgba(1, 2, 3, 4));
    const Result<QImage> r = encryptPicture(plain, QStringLiteral("k"), kTestCost);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.value().format(), QImage::Format_RGB888);
    EXPECT_EQ(r.value().size(), sealedSize(plain));
    // Read back through the PNG a user saves it to.
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(r.value().save(&buffer, "png"));
    const DecodedImage d = decodeData(png);
    ASSERT_TRUE(d.ok());
    const Result<QImage> back = decryptPicture(d.pages.front(), QStringLiteral("k"));
    ASSERT_TRUE(back.ok()) << back.error().toStdString();
    expectSame(back.value(), plain);
}
