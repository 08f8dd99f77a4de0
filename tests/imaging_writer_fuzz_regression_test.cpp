// Pictures the metafile-writer fuzzer (fuzz/encode_fuzz.cpp) found written
// in a way a reader could not take back, each saved and read again by
// Lumora and by a reader that is not ours.
#include "imaging/Decoder.h"
#include "imaging/ImageWriter.h"
#include "support/ExternalReaders.h"
#include "support/PixelCompare.h"
#include "support/TempDir.h"

#include <QPainter>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

// Colours that change along both sides, so a tile drawn at the wrong place
// or from the wrong rows shows.
QImage pattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(x % 251, (y * 37) % 256, (x / 7 + y) % 256);
    }
    return image;
}

// What emf2svg-conv makes of an EMF: every embedded picture drawn on white
// where its <image> element says, in an image of the SVG's size.
QImage drawnByLibemf2svg(const QString &emf, const TempDir &dir, QString *why)
{
    const QString svgPath = dir.file(QStringLiteral("out.svg"));
    const ProcessResult r = runProgram(QStringLiteral("emf2svg-conv"),
                                       {QStringLiteral("-i"), emf, QStringLiteral("-o"), svgPath});
    QFile file(svgPath);
    if (!r.ok || !file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("emf2svg-conv refused the file: ") + QString::fromLocal8Bit(r.err);
        return {};
    }
    const QString svg = QString::fromUtf8(file.readAll());
    auto number = [](const QString &tag, const char *name) {
        const QRegularExpression re(
            QStringLiteral("\\b%1=\"([-0-9.eE]+)").arg(QLatin1String(name)));
        const QRegularExpressionMatch m = re.match(tag);
        return m.hasMatch() ? m.captured(1).toDouble() : -1.0;
    };
    const QRegularExpressionMatch root =
        QRegularExpression(QStringLiteral("<svg[^>]*>")).match(svg);
    if (!root.hasMatch()) {
        *why = QStringLiteral("no <svg> element");
        return {};
    }
    QImage canvas(qRound(number(root.captured(0), "width")),
                  qRound(number(root.captured(0), "height")), QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    auto images = QRegularExpression(QStringLiteral("<image[^>]*>")).globalMatch(svg);
    int count = 0;
    while (images.hasNext()) {
        const QString tag = images.next().captured(0);
        const QRegularExpressionMatch data =
            QRegularExpression(QStringLiteral("base64,([A-Za-z0-9+/=\\s]+)\"")).match(tag);
        const QImage picture =
            QImage::fromData(QByteArray::fromBase64(data.captured(1).toLatin1()));
        if (picture.isNull() || picture.width() != number(tag, "width") ||
            picture.height() != number(tag, "height")) {
            *why = QStringLiteral("an image that is not drawn 1:1: ") + tag.left(200);
            return {};
        }
        painter.drawImage(QPointF(number(tag, "x"), number(tag, "y")), picture);
        ++count;
    }
    if (count == 0)
        *why = QStringLiteral("no image in the SVG");
    return canvas;
}

} // namespace

// libemf2svg, behind Lumora's EMF reader, refused the whole file when its
// one bitmap had a side over 4096 pixels: Lumora could not open the EMF it
// had just saved of a large photo.
TEST(MetafileWriterRegression, EmfWithASideOver4096OpensHereAndInLibemf2svg)
{
    if (!haveProgram(QStringLiteral("emf2svg-conv")))
        GTEST_SKIP() << "emf2svg-conv is not installed (see scripts/install-deps.sh)";
    TempDir dir;
    for (const QSize size : {QSize(4097, 3), QSize(3, 4097), QSize(9000, 2), QSize(4200, 4100)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        const QImage picture = pattern(size.width(), size.height());
        const QString path = dir.file(QStringLiteral("big.emf"));
        QString error;
        ASSERT_TRUE(writeImageFile(picture, path, FormatCode::Emf, 0, true, &error))
            << error.toStdString();

        const DecodedImage back = decodeFile(path);
        ASSERT_TRUE(back.ok()) << back.error.toStdString();
        EXPECT_EQ(back.format, FormatCode::Emf);
        EXPECT_EQ(back.originalSize, size);
        // Drawn to fit the render box, the aspect kept.
        const QSize shown = back.pages.front().size();
        EXPECT_EQ(std::max(shown.width(), shown.height()), 4096);
        EXPECT_NEAR(double(shown.width()) / shown.height(), double(size.width()) / size.height(),
                    double(size.width()) / size.height() * 0.5);

        QString why;
        const QImage drawn = drawnByLibemf2svg(path, dir, &why);
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
        ASSERT_EQ(drawn.size(), size);
        EXPECT_EQ(largestDifference(drawn, picture, false), 0);
    }
}

// A large EMF is held in tiles; drawn smaller, as the viewer does, the joins
// between them must not let the white underneath show through.
TEST(MetafileWriterRegression, LargeEmfDrawnSmallerShowsNoJoins)
{
    TempDir dir;
    QImage red(9001, 5000, QImage::Format_RGB32);
    red.fill(qRgb(200, 0, 0));
    const QString path = dir.file(QStringLiteral("red.emf"));
    QString error;
    ASSERT_TRUE(writeImageFile(red, path, FormatCode::Emf, 0, true, &error)) << error.toStdString();
    const DecodedImage back = decodeFile(path);
    ASSERT_TRUE(back.ok()) << back.error.toStdString();
    const QImage page = back.pages.front();
    QImage expected(page.size(), QImage::Format_RGB32);
    expected.fill(qRgb(200, 0, 0));
    EXPECT_LE(largestDifference(page, expected, false), 1);
}

// libwmf, behind Lumora's WMF reader, drew nothing of a bitmap one pixel
// wide or tall: such a picture saved as WMF came back white.
TEST(MetafileWriterRegression, WmfOnePixelWideOrTallComesBack)
{
    TempDir dir;
    const QRgb colour = qRgb(200, 30, 90);
    for (const QSize size : {QSize(1, 40), QSize(40, 1), QSize(1, 1), QSize(1, 2)}) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        QImage picture(size, QImage::Format_RGB32);
        picture.fill(colour);
        const QString path = dir.file(QStringLiteral("thin.wmf"));
        QString error;
        ASSERT_TRUE(writeImageFile(picture, path, FormatCode::Wmf, 0, true, &error))
            << error.toStdString();
        const DecodedImage back = decodeFile(path);
        ASSERT_TRUE(back.ok()) << back.error.toStdString();
        ASSERT_EQ(back.pages.front().size(), size);
        // libwmf resamples, and truncates, even a plain colour.
        EXPECT_LE(largestDifference(back.pages.front(), picture, false), 1);
    }
}
