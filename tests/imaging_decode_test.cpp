#include "imaging/Codec.h"
#include "imaging/Decoder.h"
#include "imaging/ImageWriter.h"

#include "imaging_samples.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QSet>

#include <list>
#include <vector>

using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

struct Sample {
    const char *name;  // file name written in the temporary folder
    FormatCode format; // what detection must say
    int tolerance;     // per channel, for lossy codecs
    QByteArray (*make)(const QImage &);
};

QByteArray makeJpeg(const QImage &i)
{
    return encodeWithQt(i, "jpeg");
}
QByteArray makePng(const QImage &i)
{
    return encodeWithQt(i, "png");
}
QByteArray makeBmp(const QImage &i)
{
    return encodeWithQt(i, "bmp");
}
QByteArray makeTiff(const QImage &i)
{
    return encodeWithQt(i, "tiff");
}
QByteArray makeIco(const QImage &i)
{
    return encodeWithQt(i, "ico");
}
QByteArray makeCur(const QImage &i)
{
    QByteArray bytes = encodeWithQt(i, "ico");
    bytes[2] = 2; // the directory type is all that tells a cursor from an icon
    return bytes;
}
QByteArray makeHeaderlessDib(const QImage &i)
{
    return encodeWithQt(i, "bmp").mid(14);
}
QByteArray makeGif(const QImage &i)
{
    return encodeWithMagick(i, "GIF");
}
QByteArray makePsd(const QImage &i)
{
    return encodeWithMagick(i, "PSD");
}
QByteArray makePcx(const QImage &i)
{
    return encodeWithMagick(i, "PCX");
}
// Written the way our own writer does it: top-left origin, flagged as such.
QByteArray makeTga(const QImage &i)
{
    Magick::Image m = toMagick(i);
    m.orientation(MagickCore::TopLeftOrientation);
    return encodeWithMagick(std::list<Magick::Image>{m}, "TGA");
}
// Photo CD stores a fixed 768 x 512 base image and centres anything smaller
// on it, so the sample is made at that size.
QByteArray makePcd(const QImage &i)
{
    return encodeWithMagick(i.scaled(768, 512, Qt::IgnoreAspectRatio), "PCD");
}
QByteArray makeWmf(const QImage &i)
{
    return quadrantWmf(i.width(), i.height());
}
QByteArray makeEmf(const QImage &i)
{
    return quadrantEmf(i.width(), i.height());
}

const Sample kSamples[] = {
    {"a.jpg", FormatCode::Jpeg, 40, makeJpeg}, {"a.png", FormatCode::Png, 0, makePng},
    {"a.gif", FormatCode::Gif, 8, makeGif},    {"a.bmp", FormatCode::Bmp, 0, makeBmp},
    {"a.dib", FormatCode::Dib, 0, makeBmp},    {"bare.dib", FormatCode::Dib, 0, makeHeaderlessDib},
    {"a.tif", FormatCode::Tiff, 0, makeTiff},  {"a.ico", FormatCode::Ico, 0, makeIco},
    {"a.cur", FormatCode::Cur, 0, makeCur},    {"a.psd", FormatCode::Psd, 0, makePsd},
    {"a.pcx", FormatCode::Pcx, 0, makePcx},    {"a.tga", FormatCode::Tga, 0, makeTga},
    {"a.pcd", FormatCode::Pcd, 64, makePcd}, // PhotoYCC clips saturated colours
    {"a.wmf", FormatCode::Wmf, 0, makeWmf},    {"a.emf", FormatCode::Emf, 0, makeEmf},
};

class DecodeEveryFormat : public ::testing::TestWithParam<Sample>
{
};

} // namespace

TEST_P(DecodeEveryFormat, DecodesPixelsAndDetectsByContent)
{
    const Sample &s = GetParam();
    TempDir dir;
    const QImage source = quadrants(64, 48);
    const QByteArray bytes = s.make(source);
    ASSERT_FALSE(bytes.isEmpty());
    const QString path = writeFile(dir.file(QString::fromLatin1(s.name)), bytes);

    DecodedImage d = decodeFile(path);
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_EQ(d.format, s.format);
    EXPECT_GT(d.bitsPerPixel, 0);
    ASSERT_EQ(d.pages.size(), 1);
    EXPECT_EQ(d.pages.front().size(),
              s.format == FormatCode::Pcd ? QSize(768, 512) : QSize(64, 48));
    EXPECT_EQ(d.originalSize, d.pages.front().size());
    EXPECT_TRUE(hasQuadrants(d.pages.front(), s.tolerance));

    // The same bytes from memory agree with the file route.
    DecodedImage fromMemory = decodeData(bytes, {}, path);
    ASSERT_TRUE(fromMemory.ok()) << fromMemory.error.toStdString();
    EXPECT_EQ(fromMemory.pages.front(), d.pages.front());
}

INSTANTIATE_TEST_SUITE_P(Formats, DecodeEveryFormat, ::testing::ValuesIn(kSamples),
                         [](const auto &info) {
                             QString n = QString::fromLatin1(info.param.name);
                             return n.replace(QLatin1Char('.'), QLatin1Char('_')).toStdString();
                         });

TEST(Decode, ContentWinsOverAWrongExtension)
{
    TempDir dir;
    const QImage source = quadrants(32, 32);
    const QString pngAsJpg = writeFile(dir.file("really_png.jpg"), makePng(source));
    const QString psdAsBmp = writeFile(dir.file("really_psd.bmp"), makePsd(source));
    const QString emfAsGif = writeFile(dir.file("really_emf.gif"), makeEmf(source));
    const QString jpgNoExt = writeFile(dir.file("noext"), makeJpeg(source));

    EXPECT_EQ(decodeFile(pngAsJpg).format, FormatCode::Png);
    EXPECT_EQ(decodeFile(psdAsBmp).format, FormatCode::Psd);
    EXPECT_EQ(decodeFile(emfAsGif).format, FormatCode::Emf);
    DecodedImage d = decodeFile(jpgNoExt);
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_EQ(d.format, FormatCode::Jpeg);

    // A name alone never makes a format: text called .png is refused.
    const QString fake = writeFile(dir.file("fake.png"), "just some text, not an image");
    DecodedImage bad = decodeFile(fake);
    EXPECT_FALSE(bad.ok());
    EXPECT_FALSE(bad.error.isEmpty());
}

TEST(Decode, FormatsWithoutMagicNeedTheirNameAndASaneHeader)
{
    const QImage source = quadrants(16, 16);
    const QByteArray tga = makeTga(source);
    EXPECT_EQ(detectFormat(tga, QStringLiteral("x.tga")), FormatCode::Tga);
    EXPECT_EQ(detectFormat(tga, QStringLiteral("x.dat")), FormatCode::Unknown);
    const QByteArray wbmp = encodeWithQt(source.convertToFormat(QImage::Format_Mono), "wbmp");
    EXPECT_EQ(detectFormat(wbmp, QStringLiteral("x.wbmp")), FormatCode::Wbmp);
    EXPECT_EQ(detectFormat(wbmp, QStringLiteral("x.dat")), FormatCode::Unknown);
    // A TGA name on bytes that are no TGA header is not enough.
    EXPECT_EQ(detectFormat(QByteArray(32, '\x7f'), QStringLiteral("x.tga")), FormatCode::Unknown);
}

TEST(Decode, WbmpIsOneBitBlackAndWhite)
{
    TempDir dir;
    QImage mono(40, 20, QImage::Format_Mono);
    mono.fill(1);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            mono.setPixel(x, y, 0);
    const QString path = writeFile(dir.file("m.wbmp"), encodeWithQt(mono, "wbmp"));
    DecodedImage d = decodeFile(path);
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    EXPECT_EQ(d.format, FormatCode::Wbmp);
    EXPECT_EQ(d.bitsPerPixel, 1);
    EXPECT_EQ(d.pages.front().size(), QSize(40, 20));
    EXPECT_NE(d.pages.front().pixel(5, 5), d.pages.front().pixel(35, 5));
}

TEST(Decode, BitsPerPixelIsTheStoredDepth)
{
    const QImage colour = quadrants(16, 16);
    EXPECT_EQ(decodeData(makeJpeg(colour)).bitsPerPixel, 24);
    EXPECT_EQ(decodeData(encodeWithQt(colour.convertToFormat(QImage::Format_Grayscale8), "jpeg"))
                  .bitsPerPixel,
              8);
    EXPECT_EQ(decodeData(makeGif(colour)).bitsPerPixel, 8);
    EXPECT_EQ(decodeData(makePng(colour)).bitsPerPixel, 24);
    EXPECT_EQ(decodeData(makePng(colour.convertToFormat(QImage::Format_ARGB32))).bitsPerPixel, 32);
    EXPECT_EQ(decodeData(makeBmp(colour)).bitsPerPixel, 24);
}

TEST(Decode, EveryPageOfMultiPageFiles)
{
    TempDir dir;
    std::list<Magick::Image> frames;
    QList<QImage> pages;
    const QColor colours[] = {Qt::red, Qt::green, Qt::blue};
    for (const QColor &c : colours) {
        QImage frame(30, 20, QImage::Format_RGB32);
        frame.fill(c);
        frames.push_back(toMagick(frame));
        pages << frame;
    }
    for (const QByteArray &bytes : {multiPageTiff(pages), encodeWithMagick(frames, "GIF")}) {
        SCOPED_TRACE(bytes.left(3).toStdString());
        DecodedImage all = decodeData(bytes);
        ASSERT_TRUE(all.ok()) << all.error.toStdString();
        ASSERT_EQ(all.pages.size(), 3);
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(near(all.pages[i].pixel(15, 10), colours[i], 8)) << "page " << i;

        DecodeOptions firstOnly;
        firstOnly.allPages = false;
        EXPECT_EQ(decodeData(bytes, firstOnly).pages.size(), 1);
    }

    // An icon with three sizes: every image, and the picture route takes the largest.
    std::list<Magick::Image> sizes;
    for (int side : {16, 48, 32}) {
        QImage icon(side, side, QImage::Format_ARGB32);
        icon.fill(Qt::darkCyan);
        sizes.push_back(toMagick(icon));
    }
    const QString ico = writeFile(dir.file("multi.ico"), encodeWithMagick(sizes, "ICO"));
    DecodedImage icons = decodeFile(ico);
    ASSERT_TRUE(icons.ok()) << icons.error.toStdString();
    EXPECT_EQ(icons.pages.size(), 3);
    QString error;
    const QImage picture = loadPicture(ico, &error);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(picture.size(), QSize(48, 48));
}

TEST(Decode, ExifOrientationComesOutUpright)
{
    // Stored landscape 40 x 20 with orientation 6: shown rotated a quarter
    // turn clockwise, so the stored top-left corner ends up top right.
    const QImage stored = quadrants(40, 20);
    const QByteArray jpeg = jpegWithOrientation(stored, 6);
    DecodedImage d = decodeData(jpeg);
    ASSERT_TRUE(d.ok()) << d.error.toStdString();
    const QImage &upright = d.pages.front();
    EXPECT_EQ(upright.size(), QSize(20, 40));
    EXPECT_EQ(d.originalSize, QSize(20, 40));
    EXPECT_TRUE(near(upright.pixel(15, 5), kTopLeft, 40));
    EXPECT_TRUE(near(upright.pixel(5, 5), kBottomLeft, 40));
    EXPECT_TRUE(near(upright.pixel(15, 35), kTopRight, 40));

    DecodeOptions thumb;
    thumb.scaledSize = QSize(10, 10);
    DecodedImage small = decodeData(jpeg, thumb);
    ASSERT_TRUE(small.ok());
    EXPECT_EQ(small.pages.front().size(), QSize(5, 10));
    EXPECT_EQ(small.originalSize, QSize(20, 40));
}

TEST(Decode, ScaledDecodeFitsTheBoxAndNeverEnlarges)
{
    const QImage big = quadrants(800, 600);
    for (const auto &[name, bytes] :
         {std::pair{"jpeg", makeJpeg(big)}, std::pair{"png", makePng(big)},
          std::pair{"psd", makePsd(big)}, std::pair{"emf", makeEmf(big)},
          std::pair{"wmf", makeWmf(big)}}) {
        SCOPED_TRACE(name);
        DecodeOptions options;
        options.scaledSize = QSize(160, 160);
        DecodedImage d = decodeData(bytes, options);
        ASSERT_TRUE(d.ok()) << d.error.toStdString();
        EXPECT_EQ(d.pages.front().size(), QSize(160, 120));
        EXPECT_EQ(d.originalSize, QSize(800, 600));
        EXPECT_TRUE(hasQuadrants(d.pages.front(), 40));

        options.scaledSize = QSize(2000, 2000);
        EXPECT_EQ(decodeData(bytes, options).pages.front().size(), QSize(800, 600));
    }
}

TEST(Decode, CancelledBeforeStartingReturnsAnError)
{
    std::atomic_bool cancel{true};
    DecodeOptions options;
    options.cancel = &cancel;
    DecodedImage d = decodeData(makePng(quadrants(8, 8)), options);
    EXPECT_FALSE(d.ok());
    EXPECT_TRUE(d.pages.isEmpty());
    EXPECT_FALSE(d.error.isEmpty());
}

namespace
{

// A made-up format: "XYZ!" and one RGB pixel.
DecodedImage decodeXyz(QIODevice &device, const FormatSpec &entry, const DecodeOptions &)
{
    const QByteArray bytes = device.readAll();
    DecodedImage out;
    if (bytes.size() < 7)
        return out;
    QImage page(1, 1, QImage::Format_RGB32);
    page.fill(qRgb(quint8(bytes[4]), quint8(bytes[5]), quint8(bytes[6])));
    out.format = entry.code;
    out.originalSize = page.size();
    out.bitsPerPixel = 24;
    out.pages << page;
    return out;
}

QByteArray encodeXyz(const QImage &image, FormatCode, const WriteOptions &, QString *)
{
    const QRgb c = image.pixel(0, 0);
    return QByteArray("XYZ!") + char(qRed(c)) + char(qGreen(c)) + char(qBlue(c));
}

} // namespace

TEST(FormatTable, EveryCodeHasOneRowAndSavedFormatsHaveADialogEntry)
{
    QSet<QString> names;
    for (int code = 1; code <= 20; ++code) {
        const FormatSpec *row = formatRow(FormatCode(code));
        ASSERT_NE(row, nullptr) << code;
        EXPECT_TRUE(row->decode) << row->shortName;
        EXPECT_TRUE(row->matches || row->matchesLast) << row->shortName;
        EXPECT_EQ(row->encode != nullptr, row->saveFilterName != nullptr) << row->shortName;
        // The ten saved formats carry the codes 1..10 that the save table uses.
        EXPECT_EQ(row->encode != nullptr, code <= 10) << row->shortName;
        for (const QString &name : QString::fromLatin1(row->names).split(QLatin1Char(' '))) {
            EXPECT_FALSE(names.contains(name)) << name.toStdString();
            names.insert(name);
            EXPECT_EQ(formatNamed(name.toUpper()), row);
        }
    }
    EXPECT_EQ(formatRow(FormatCode::Unknown), nullptr);
    EXPECT_EQ(qsizetype(formatTable().size()), 20);
}

TEST(FormatTable, AFormatIsOneRow)
{
    std::vector<FormatSpec> table(formatTable().begin(), formatTable().end());
    table.push_back(FormatSpec{
        .code = FormatCode(99),
        .shortName = "xyz",
        .names = "xyz xyzzy",
        .matches = [](const QByteArray &head, const QString &) { return head.startsWith("XYZ!"); },
        .decode = decodeXyz,
        .encode = encodeXyz,
        .saveFilterName = "Test Pixel  <XYZ>",
        .exactColours = true});

    QImage picture(1, 1, QImage::Format_RGB32);
    picture.fill(qRgb(12, 200, 77));
    const FormatSpec *named = formatNamed(QStringLiteral("XYZZY"), table);
    ASSERT_NE(named, nullptr);
    const QByteArray file = named->encode(picture, named->code, {}, nullptr);

    const FormatSpec *found = findFormat(file, QStringLiteral("bin"), table);
    ASSERT_EQ(found, named);
    EXPECT_EQ(formatRow(FormatCode(99), table), found);
    EXPECT_EQ(findFormat(file, QStringLiteral("bin")), nullptr); // the program's table lacks it
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    const DecodedImage back = found->decode(buffer, *found, {});
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.pages.front().pixel(0, 0), picture.pixel(0, 0));
}
