// Every readable format saved in every writable one. Sources are written by
// ImageMagick (or are metafiles from tests/data), decoded by Lumora, saved by
// Lumora, then read back by Lumora and by a reader that is not ours.
//
// Tolerances:
// - PNG, TIFF, PSD, TGA, BMP, PCX, EMF are lossless: every channel equal
//   to the picture Lumora decoded, or within 1 where alpha was composed on
//   white (also PSD's merged picture) or 16-bit samples were reduced to 8.
// - PNG, TIFF and PSD keep 16-bit samples exactly.
// - JPEG: against the decoded picture on white, a brightness PSNR of at least
//   kMinJpegPsnr for the small test patterns (their sharp colour edges are
//   what chroma subsampling gives up) and a colour PSNR of kMinJpegPhotoPsnr
//   for the photo.
// - WMF: the size; libwmf resamples bitmaps even at 1:1 (see checkBack).
// - WBMP: pure black and white; a black-and-white source comes back exactly,
//   a grey or colour one keeps the local brightness (box means) within bounds.
#include "imaging/Decoder.h"
#include "imaging/FormatCode.h"
#include "imaging/ImageWriter.h"
#include "support/ExternalReaders.h"
#include "support/PixelCompare.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace lumora;
using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

constexpr double kMinJpegPsnr = 30.0;
constexpr double kMinJpegPhotoPsnr = 38.0;
// A dithered picture: 4x4 box means within this of the source (of 255), and
// on average much closer.
constexpr double kMaxBilevelBoxError = 96.0;
constexpr double kMaxBilevelMeanError = 32.0;

QImage colourPattern(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] =
                qRgb((x * 255) / (w - 1), (y * 255) / (h - 1), ((x / 4 + y / 4) % 2) ? 200 : 40);
    }
    return img;
}

QImage alphaPattern(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int a = x < 4 ? 0 : x > w - 5 ? 255 : (x * 255) / (w - 1);
            line[x] = qRgba(y < h / 2 ? 230 : 20, (x * 13) % 256, 90 + y * 3, a);
        }
    }
    return img;
}

QImage greyPattern(int w, int h)
{
    QImage img(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.scanLine(y)[x] = uchar((x * 255 / (w - 1) + y * 5) % 256);
    return img;
}

QImage bilevelPattern(int w, int h)
{
    QImage img(w, h, QImage::Format_Mono);
    img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, ((x / 3) + (y / 2)) % 3 == 0 || x == y ? 0 : 1);
    return img;
}

QImage deepPattern(int w, int h)
{
    QImage img(w, h, QImage::Format_RGBX64);
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgba64 *>(img.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = QRgba64::fromRgba64(quint16(x * 2341 + y * 17), quint16(65535 - y * 3001),
                                          quint16((x * y * 577) % 65536), 65535);
    }
    return img;
}

// Smooth shading, hard edges and fine texture, like a photo has.
QImage photo(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < h; ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 29) - 4;
            const bool disc =
                (x - w / 3) * (x - w / 3) + (y - h / 2) * (y - h / 2) < (h / 4) * (h / 4);
            const int r = disc ? 200 : 40 + 150 * x / w;
            const int g = disc ? 60 : 60 + 120 * y / h;
            const int b = 90 + 100 * (x + y) / (w + h);
            line[x] = qRgb(std::clamp(r + noise, 0, 255), std::clamp(g + noise, 0, 255),
                           std::clamp(b + noise, 0, 255));
        }
    }
    return img;
}

struct Shape {
    QImage picture;
    QStringList magickOptions; // how ImageMagick writes the source
};

const std::map<QString, Shape> &shapes()
{
    static const std::map<QString, Shape> all{
        {"odd", {colourPattern(33, 21), {}}},
        {"alpha", {alphaPattern(31, 17), {}}},
        {"grey", {greyPattern(29, 19), {"-type", "Grayscale"}}},
        {"bilevel", {bilevelPattern(37, 23), {"-type", "Bilevel"}}},
        {"deep", {deepPattern(27, 15), {"-depth", "16"}}},
        {"photo", {photo(3000, 2000), {"-quality", "92"}}},
    };
    return all;
}

struct Source {
    QString format; // extension of the source file
    QString coder;  // ImageMagick coder, empty for shipped files
    QStringList shapes;
};

const QList<Source> &sources()
{
    static const QList<Source> all{
        {"jpg", "JPEG", {"odd", "grey", "photo"}},
        {"gif", "GIF", {"odd", "alpha", "bilevel"}},
        {"bmp", "BMP3", {"odd", "grey", "bilevel"}},
        {"png", "PNG", {"odd", "alpha", "grey", "bilevel", "deep"}},
        {"psd", "PSD", {"odd", "alpha", "deep"}},
        {"tif", "TIFF", {"odd", "alpha", "grey", "bilevel", "deep"}},
        {"pcx", "PCX", {"odd", "bilevel"}},
        {"tga", "TGA", {"odd", "alpha"}},
        {"wbmp", "WBMP", {"bilevel"}},
        {"pcd", "PCD", {"odd"}},
        {"wmf", "", {"bitmap.wmf", "vector.wmf"}},
        {"emf", "", {"bitmap.emf", "vector.emf"}},
        {"ico", "ICO", {"alpha"}},
        {"cur", "CUR", {"alpha"}},
        {"dib", "BMP3", {"odd"}},
    };
    return all;
}

struct Target {
    FormatCode code;
    bool alpha;
    bool deep;
};

const QList<Target> kTargets{
    {FormatCode::Jpeg, false, false}, {FormatCode::Png, true, true},
    {FormatCode::Psd, true, true},    {FormatCode::Tiff, true, true},
    {FormatCode::Pcx, false, false},  {FormatCode::Tga, true, false},
    {FormatCode::Wbmp, false, false}, {FormatCode::Bmp, false, false},
    {FormatCode::Wmf, false, false},  {FormatCode::Emf, false, false},
};

bool isDeepImage(const QImage &image)
{
    return image.format() == QImage::Format_RGBX64 || image.format() == QImage::Format_RGBA64 ||
           image.format() == QImage::Format_RGBA64_Premultiplied ||
           image.format() == QImage::Format_Grayscale16;
}

bool isBlackAndWhite(const QImage &image)
{
    const QImage s = onWhite(image);
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x) {
            const uchar *p = s.constScanLine(y) + 4 * x;
            if (!((p[0] | p[1] | p[2]) == 0 || (p[0] & p[1] & p[2]) == 255))
                return false;
        }
    return true;
}

class RoundTrip : public ::testing::TestWithParam<Source>
{
protected:
    static void SetUpTestSuite() { s_dir = std::make_unique<TempDir>(); }
    static void TearDownTestSuite() { s_dir.reset(); }

    void SetUp() override
    {
        for (const char *tool : {"convert", "identify", "wmf2gd", "emf2svg-conv"})
            if (!haveProgram(QString::fromLatin1(tool)))
                GTEST_SKIP() << tool << " is not installed (see scripts/install-deps.sh)";
    }

    // The source file for one shape, written by ImageMagick from a lossless
    // 16-bit PNG of the picture.
    static QString makeSource(const Source &source, const QString &shapeName)
    {
        if (source.coder.isEmpty())
            return QStringLiteral(LUMORA_TEST_DATA "/") + shapeName;
        const Shape &shape = shapes().at(shapeName);
        const QString base = s_dir->file(QStringLiteral("%1-%2").arg(shapeName, source.format));
        const QString master = base + QStringLiteral(".master.png");
        if (!shape.picture.save(master, "png")) {
            ADD_FAILURE() << "cannot write " << master.toStdString();
            return {};
        }
        const QString path = base + QLatin1Char('.') + source.format;
        QStringList args{master};
        args << shape.magickOptions;
        args << source.coder + QLatin1Char(':') + path;
        const ProcessResult r = runProgram(QStringLiteral("convert"), args);
        if (!r.ok) {
            ADD_FAILURE() << "ImageMagick could not write " << path.toStdString() << ": "
                          << r.err.toStdString();
            return {};
        }
        return path;
    }

    static std::unique_ptr<TempDir> s_dir;
};

std::unique_ptr<TempDir> RoundTrip::s_dir;

void checkBack(const QImage &decoded, const Target &target, const QImage &back, const char *reader)
{
    SCOPED_TRACE(reader);
    ASSERT_FALSE(back.isNull());
    if (target.code == FormatCode::Wbmp) {
        if (isBlackAndWhite(decoded)) {
            const PixelDiff d = comparePixels(onWhite(decoded), back);
            EXPECT_EQ(d.maxDiff, 0) << d.where.toStdString();
        } else {
            const BilevelFit fit = bilevelFit(decoded, back, 4);
            EXPECT_TRUE(fit.pureBlackWhite);
            EXPECT_LE(fit.worstBoxError, kMaxBilevelBoxError);
            EXPECT_LE(fit.meanError, kMaxBilevelMeanError);
        }
        return;
    }
    if (target.code == FormatCode::Wmf) {
        // libwmf (behind both Lumora's WMF reader and wmf2gd) interpolates
        // a bitmap even when it is drawn 1:1, so only the size is exact;
        // the EMF holding the same bitmap record is compared exactly.
        EXPECT_EQ(back.size(), decoded.size());
        return;
    }
    const bool flatten = !target.alpha && decoded.hasAlphaChannel();
    const QImage expected = target.alpha ? straight8(decoded) : onWhite(decoded);
    const PixelDiff d = comparePixels(expected, back);
    ASSERT_TRUE(d.sameSize) << d.where.toStdString();
    if (target.code == FormatCode::Jpeg) {
        const bool big = decoded.width() * decoded.height() > 1000000;
        if (big)
            EXPECT_GE(d.psnr, kMinJpegPhotoPsnr);
        else
            EXPECT_GE(d.lumaPsnr, kMinJpegPsnr);
        return;
    }
    // PSD stores a transparent picture's merged colours on white, which the
    // reader takes out again: rounding, as for flattening and 16 -> 8 bits.
    const bool psdMatte = target.code == FormatCode::Psd && decoded.hasAlphaChannel();
    const int tolerance = flatten || psdMatte || isDeepImage(decoded) ? 1 : 0;
    EXPECT_LE(d.maxDiff, tolerance) << d.where.toStdString();
}

TEST_P(RoundTrip, EveryWriterKeepsThePicture)
{
    const Source &source = GetParam();
    for (const QString &shapeName : source.shapes) {
        SCOPED_TRACE(QStringLiteral("%1 from %2").arg(shapeName, source.format).toStdString());
        const QString sourcePath = makeSource(source, shapeName);
        ASSERT_FALSE(sourcePath.isEmpty());
        const DecodedImage in = decodeFile(sourcePath);
        ASSERT_TRUE(in.ok()) << in.error.toStdString();
        const QImage &decoded = in.pages.front();

        for (const Target &target : kTargets) {
            const QString ext = QString::fromLatin1(formatShortName(target.code));
            SCOPED_TRACE(ext.toStdString());
            const QString out = s_dir->file(QStringLiteral("%1-%2-%3.%4")
                                                .arg(QFileInfo(shapeName).baseName(), source.format,
                                                     QFileInfo(sourcePath).suffix(), ext));
            QString error;
            ASSERT_TRUE(writeImageFile(decoded, out, target.code, 0, true, &error))
                << error.toStdString();

            const DecodedImage back = decodeFile(out);
            ASSERT_TRUE(back.ok()) << back.error.toStdString();
            EXPECT_EQ(back.format, target.code);
            checkBack(decoded, target, back.pages.front(), "Lumora");

            QString why;
            if (target.code == FormatCode::Wmf) {
                checkBack(decoded, target, readWmfWithLibwmf(out, decoded.size(), &why), "libwmf");
            } else if (target.code == FormatCode::Emf) {
                const auto svg = readEmfWithLibemf2svg(out, &why);
                ASSERT_TRUE(svg.has_value()) << why.toStdString();
                EXPECT_EQ(svg->images, 1);
                EXPECT_NEAR(svg->x, 0, 0.01);
                EXPECT_NEAR(svg->y, 0, 0.01);
                EXPECT_NEAR(svg->svgWidth, decoded.width(), 0.01);
                EXPECT_NEAR(svg->svgHeight, decoded.height(), 0.01);
                EXPECT_NEAR(svg->width, decoded.width(), 0.01);
                EXPECT_NEAR(svg->height, decoded.height(), 0.01);
                checkBack(decoded, target, svg->picture, "libemf2svg");
            } else {
                checkBack(decoded, target, readWithMagick(out, 8, &why), "ImageMagick");
                if (target.deep && isDeepImage(decoded)) {
                    EXPECT_EQ(identify(out, QStringLiteral("%z")), QStringLiteral("16"));
                    EXPECT_EQ(maxDiff16(decoded, readWithMagick(out, 16)), 0)
                        << "16-bit samples as ImageMagick reads them";
                }
            }
            if (!why.isEmpty())
                ADD_FAILURE() << why.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllReadFormats, RoundTrip, ::testing::ValuesIn(sources()),
                         [](const ::testing::TestParamInfo<Source> &info) {
                             return info.param.format.toStdString();
                         });

} // namespace
