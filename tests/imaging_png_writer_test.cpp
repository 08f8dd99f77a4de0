// The PNG writer: every pixel layout it writes by hand, read back by Qt's
// libpng reader, by ImageMagick and by Pillow, with the resolution, text and
// colour profile kept, and palettes still going through Qt.
#include "imaging/ImageWriter.h"
#include "support/ExternalReaders.h"
#include "support/PixelCompare.h"
#include "support/TempDir.h"

#include <QColorSpace>
#include <QCryptographicHash>
#include <QImageReader>

#include <gtest/gtest.h>

#include <iostream>
#include <random>

using namespace lumora;
using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

// Random samples, so the row differences wrap both ways and every filter
// byte value is exercised; alpha includes 0 and 255.
QImage noise(QImage::Format format, int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    QImage img(w, h, format);
    for (int y = 0; y < h; ++y) {
        uchar *line = img.scanLine(y);
        const qsizetype bytes = img.bytesPerLine();
        for (qsizetype i = 0; i < bytes; ++i)
            line[i] = uchar(rng());
    }
    if (format == QImage::Format_ARGB32_Premultiplied) {
        // Keep the colours at or below alpha, as premultiplied pixels are.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const QRgb p = img.pixel(x, y);
                const int a = qAlpha(p);
                img.setPixel(x, y,
                             qRgba(qRed(p) * a / 255, qGreen(p) * a / 255, qBlue(p) * a / 255, a));
            }
    }
    if (format == QImage::Format_RGBX64 || format == QImage::Format_RGBA64_Premultiplied) {
        for (int y = 0; y < h; ++y) {
            auto *px = reinterpret_cast<QRgba64 *>(img.scanLine(y));
            for (int x = 0; x < w; ++x) {
                QRgba64 &p = px[x];
                if (format == QImage::Format_RGBX64)
                    p.setAlpha(65535);
                else
                    p = QRgba64::fromRgba64(std::min(p.red(), p.alpha()),
                                            std::min(p.green(), p.alpha()),
                                            std::min(p.blue(), p.alpha()), p.alpha());
            }
        }
    }
    if (img.hasAlphaChannel() && w * h >= 2) {
        img.setPixelColor(0, 0, QColor(10, 20, 30, 0));
        img.setPixelColor(w - 1, h - 1, QColor(200, 100, 50, 255));
    }
    return img;
}

// What a file of the picture must give back: straight alpha, 8 or 16 bits.
QImage expected(const QImage &img)
{
    switch (img.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
        return img;
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
        return img;
    case QImage::Format_RGBA64_Premultiplied:
        return img.convertToFormat(QImage::Format_RGBA64);
    default:
        return img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
    }
}

bool deep(const QImage &img)
{
    return img.depth() > 32 || img.format() == QImage::Format_Grayscale16;
}

// Exact comparison in the expected picture's own terms.
int worstDifference(const QImage &want, const QImage &got)
{
    if (got.size() != want.size())
        return 1 << 20;
    if (deep(want))
        return maxDiff16(want.convertToFormat(QImage::Format_RGBA64),
                         got.convertToFormat(QImage::Format_RGBA64));
    const QImage a = want.convertToFormat(QImage::Format_ARGB32);
    const QImage b = got.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (qAlpha(p) == 0 && qAlpha(q) == 0)
                continue; // the colour of a fully clear pixel is not kept by every reader
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return worst;
}

// Pillow's reading as RGBA, 8 bits a sample: it checks every chunk's CRC and
// the deflate stream's checksum on the way.
QImage readWithPillow(const QString &path, QString *why)
{
    const QString script = QStringLiteral(
        "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\nim.load()\n"
        "if im.mode in ('I;16', 'I;16B', 'I'):\n    im = im.point(lambda v: v / 257).convert('L')\n"
        "im = im.convert('RGBA')\nsys.stdout.write('%d %d\\n' % im.size)\nsys.stdout.flush()\n"
        "sys.stdout.buffer.write(im.tobytes())\n");
    const ProcessResult r =
        runProgram(QStringLiteral("python3"), {QStringLiteral("-c"), script, path});
    if (!r.ok) {
        *why = QString::fromUtf8(r.err);
        return {};
    }
    const qsizetype nl = r.out.indexOf('\n');
    const QList<QByteArray> dims = r.out.left(nl).split(' ');
    const int w = dims.value(0).toInt(), h = dims.value(1).toInt();
    const QByteArray px = r.out.mid(nl + 1);
    if (w <= 0 || h <= 0 || px.size() != qsizetype(w) * h * 4) {
        *why = QStringLiteral("unexpected output");
        return {};
    }
    QImage img(w, h, QImage::Format_RGBA8888);
    for (int y = 0; y < h; ++y)
        std::memcpy(img.scanLine(y), px.constData() + qsizetype(y) * w * 4, size_t(w) * 4);
    return img;
}

bool pillowAvailable()
{
    return runProgram(QStringLiteral("python3"),
                      {QStringLiteral("-c"), QStringLiteral("import PIL")})
        .ok;
}

} // namespace

TEST(PngWriter, EveryLayoutAndShapeReadsBackExactlyByThreeReaders)
{
    TempDir dir;
    const bool magick = haveProgram(QStringLiteral("convert"));
    const bool pillow = pillowAvailable();
    const QImage::Format formats[] = {QImage::Format_Grayscale8,
                                      QImage::Format_RGB32,
                                      QImage::Format_RGB888,
                                      QImage::Format_ARGB32,
                                      QImage::Format_ARGB32_Premultiplied,
                                      QImage::Format_Grayscale16,
                                      QImage::Format_RGBX64,
                                      QImage::Format_RGBA64,
                                      QImage::Format_RGBA64_Premultiplied};
    const QSize shapes[] = {{1, 1}, {3, 2}, {17, 5}, {64, 33}};
    unsigned seed = 1;
    for (const QImage::Format format : formats)
        for (const QSize shape : shapes) {
            const QImage img = noise(format, shape.width(), shape.height(), seed++);
            const QImage want = expected(img);
            const QString path = dir.file(QStringLiteral("f%1-%2x%3.png")
                                              .arg(int(format))
                                              .arg(shape.width())
                                              .arg(shape.height()));
            QString error;
            ASSERT_TRUE(writeImageFile(img, path, FormatCode::Png, 0, true, &error))
                << error.toStdString();
            const std::string what = path.toStdString();

            QImageReader qt(path, "png");
            const QImage byQt = qt.read();
            ASSERT_FALSE(byQt.isNull()) << what << qt.errorString().toStdString();
            EXPECT_EQ(byQt.hasAlphaChannel(), img.hasAlphaChannel()) << what;
            EXPECT_EQ(deep(byQt), deep(img)) << what;
            EXPECT_EQ(worstDifference(want, byQt), 0) << what;

            QString why;
            if (magick) {
                const QImage byMagick = readWithMagick(path, deep(img) ? 16 : 8, &why);
                ASSERT_FALSE(byMagick.isNull()) << what << why.toStdString();
                EXPECT_EQ(worstDifference(want, byMagick), 0) << what << " (ImageMagick)";
            }
            if (pillow) {
                const QImage byPillow = readWithPillow(path, &why);
                ASSERT_FALSE(byPillow.isNull()) << what << why.toStdString();
                // Pillow gives 8 bits a sample; 16-bit samples are compared rounded.
                const QImage want8 =
                    deep(want) ? want.convertToFormat(want.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                             : QImage::Format_RGB32)
                               : want;
                EXPECT_LE(worstDifference(want8, byPillow), deep(want) ? 1 : 0)
                    << what << " (Pillow)";
            }
        }
    if (!magick || !pillow)
        std::cerr << "not checked by every reader: ImageMagick " << magick << ", Pillow " << pillow
                  << "\n";
}

TEST(PngWriter, KeepsResolutionTextAndColourProfileAndLeavesPalettesToQt)
{
    TempDir dir;
    QImage photo = noise(QImage::Format_RGB32, 20, 10, 99);
    photo.setDotsPerMeterX(11811); // 300 dpi
    photo.setDotsPerMeterY(5906);
    photo.setText(QStringLiteral("Description"), QStringLiteral("caf\u00e9 at noon"));
    photo.setText(QStringLiteral("Title"), QStringLiteral("\u6771\u4eac"));
    photo.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const QString path = dir.file(QStringLiteral("meta.png"));
    QString error;
    ASSERT_TRUE(writeImageFile(photo, path, FormatCode::Png, 0, true, &error))
        << error.toStdString();
    const QImage back(path);
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.dotsPerMeterX(), 11811);
    EXPECT_EQ(back.dotsPerMeterY(), 5906);
    EXPECT_EQ(back.text(QStringLiteral("Description")), QStringLiteral("caf\u00e9 at noon"));
    EXPECT_EQ(back.text(QStringLiteral("Title")), QStringLiteral("\u6771\u4eac"));
    EXPECT_EQ(back.colorSpace(), QColorSpace(QColorSpace::DisplayP3));

    // A palette picture stays a palette picture (and small).
    QImage indexed(40, 40, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255)});
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            indexed.setPixel(x, y, (x / 5 + y / 5) % 2);
    const QString pal = dir.file(QStringLiteral("pal.png"));
    ASSERT_TRUE(writeImageFile(indexed, pal, FormatCode::Png, 0, true, &error))
        << error.toStdString();
    const QImage palBack(pal);
    EXPECT_EQ(palBack.format(), QImage::Format_Indexed8);
    EXPECT_EQ(worstDifference(indexed.convertToFormat(QImage::Format_RGB32), palBack), 0);
}
