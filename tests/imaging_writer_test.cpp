// What each writer does beyond keeping the pixels: EXIF carried over with
// the orientation reset, JPEG quality, TGA row order, PSD alpha, 16 bits,
// dithering for WBMP, refusals, and writing from several threads at once.
#include "imaging/Decoder.h"
#include "imaging/ImageDocument.h"
#include "imaging/ImageWriter.h"
#include "imaging/JpegExif.h"
#include "imaging_samples.h"
#include "support/ExternalReaders.h"
#include "support/PixelCompare.h"
#include "support/QtPrinters.h"
#include "support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QtConcurrent/QtConcurrentMap>

#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::imaging;
using namespace lumora::test;

namespace
{

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A little-endian EXIF block: IFD0 with Make, Orientation and a pointer to
// an Exif IFD with the pixel dimensions, as cameras write them.
QByteArray cameraExif(quint16 orientation, int width, int height)
{
    LeWriter t;
    t.u16(0x4949);
    t.u16(42);
    t.u32(8);
    // IFD0 at 8: three entries, then the next-IFD link; Make's text after it.
    const quint32 ifd0Size = 2 + 3 * 12 + 4;
    const quint32 makeAt = 8 + ifd0Size;
    const QByteArray make("LumoraTestCam\0", 14);
    const quint32 exifIfdAt = makeAt + quint32(make.size());
    t.u16(3);
    t.u16(0x010F); // Make
    t.u16(2);
    t.u32(quint32(make.size()));
    t.u32(makeAt);
    t.u16(0x0112); // Orientation
    t.u16(3);
    t.u32(1);
    t.u16(orientation);
    t.u16(0);
    t.u16(0x8769); // Exif IFD
    t.u16(4);
    t.u32(1);
    t.u32(exifIfdAt);
    t.u32(0);
    t.bytes().append(make);
    t.u16(2);
    t.u16(0xA002); // PixelXDimension, LONG
    t.u16(4);
    t.u32(1);
    t.u32(quint32(width));
    t.u16(0xA003); // PixelYDimension, SHORT
    t.u16(3);
    t.u32(1);
    t.u16(quint16(height));
    t.u16(0);
    t.u32(0);
    return QByteArray("Exif\0\0", 6) + t.bytes();
}

QByteArray withApp1(const QByteArray &jpeg, const QByteArray &payload)
{
    QByteArray segment("\xFF\xE1", 2);
    char len[2];
    qToBigEndian(quint16(payload.size() + 2), len);
    segment.append(len, 2);
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

} // namespace

TEST(ImageWriter, JpegFromJpegKeepsExifWithNormalOrientationAtQuality90)
{
    if (!haveProgram(QStringLiteral("identify")))
        GTEST_SKIP() << "ImageMagick is not installed";
    TempDir dir;
    // Stored sideways (orientation 6: turn clockwise to view), 40 x 24.
    const QImage stored = quadrants(40, 24);
    const QString source = writeFile(dir.file("camera.jpg"),
                                     withApp1(encodeWithQt(stored, "jpeg"), cameraExif(6, 40, 24)));

    ImageDocument doc;
    ASSERT_TRUE(doc.LoadFromFile(source).ok());
    ASSERT_EQ(doc.ImageWidth(), 24); // shown upright
    const QString target = dir.file("saved.jpg");
    QString error;
    ASSERT_TRUE(doc.SaveToFile(target, FormatCode::Jpeg, 0, true, &error)) << error.toStdString();

    // ImageMagick sees the camera's data, a normal orientation, the upright
    // size in both the frame and the EXIF dimensions, and quality 90.
    EXPECT_EQ(identify(target, "%w %h|%[EXIF:Orientation]|%[EXIF:Make]|%[EXIF:PixelXDimension] "
                               "%[EXIF:PixelYDimension]|%Q"),
              QStringLiteral("24 40|1|LumoraTestCam|24 40|90"));
    // And Lumora, honouring the orientation, does not turn it again.
    const DecodedImage back = decodeFile(target);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back.pages.front().size(), QSize(24, 40));
    EXPECT_EQ(comparePixels(doc.currentImage(), back.pages.front()).psnr > 30, true);

    // The same page saved as PNG carries no EXIF; a JPEG from a PNG has none.
    ImageDocument png;
    png.adopt({quadrants(10, 10)}, FormatCode::Png, 24, dir.file("x.png"));
    ASSERT_TRUE(png.SaveToFile(dir.file("fromPng.jpg"), FormatCode::Jpeg, 0, true, &error));
    EXPECT_TRUE(readJpegExif(dir.file("fromPng.jpg")).isEmpty());

    // An explicit quality is used as given.
    ASSERT_TRUE(png.SaveToFile(dir.file("q50.jpg"), FormatCode::Jpeg, 50, true, &error));
    EXPECT_EQ(identify(dir.file("q50.jpg"), "%Q"), QStringLiteral("50"));
}

TEST(ImageWriter, DamagedExifIsDroppedRatherThanCopied)
{
    const QImage page = quadrants(16, 16);
    WriteOptions options;
    // A TIFF header whose first directory lies past the end: the orientation
    // cannot be found, so it cannot be reset either.
    options.exif = QByteArray("Exif\0\0II*\0\xF0\0\0\0", 14);
    QString error;
    const QByteArray bytes = encodeImage(page, FormatCode::Jpeg, options, &error);
    ASSERT_FALSE(bytes.isEmpty()) << error.toStdString();
    EXPECT_TRUE(jpegExifSegment(bytes).isEmpty());

    options.exif = cameraExif(8, 16, 16);
    const QByteArray good = encodeImage(page, FormatCode::Jpeg, options, &error);
    const QByteArray kept = jpegExifSegment(good);
    ASSERT_FALSE(kept.isEmpty());
    EXPECT_EQ(kept.size(), options.exif.size());
    EXPECT_NE(kept, options.exif); // orientation 8 became 1
    // A second pass finds nothing left to change.
    options.exif = kept;
    EXPECT_EQ(jpegExifSegment(encodeImage(page, FormatCode::Jpeg, options, &error)), kept);
}

// What a photo manager added to a JPEG comes back byte for byte in a JPEG
// saved from it: XMP (with an extension part), Photoshop's IPTC block and
// the comment, which Qt alone would rewrite as "Description: ...". The
// camera's sideways thumbnail gives way to an upright one.
TEST(ImageWriter, JpegFromJpegKeepsXmpIptcAndCommentAndTurnsTheThumbnailUpright)
{
    auto segment = [](char marker, const QByteArray &payload) {
        QByteArray s("\xFF", 1);
        s.append(marker);
        char len[2];
        qToBigEndian(quint16(payload.size() + 2), len);
        return s.append(len, 2).append(payload);
    };
    const QList<QByteArray> added = {
        segment('\xE1', QByteArray("http://ns.adobe.com/xap/1.0/\0", 29) +
                            "<x:xmpmeta><xmp:Rating>4</xmp:Rating></x:xmpmeta>"),
        segment('\xE1', QByteArray("http://ns.adobe.com/xmp/extension/\0", 35) +
                            QByteArray(32, 'A') + QByteArray("\0\0\0\x10\0\0\0\0", 8) +
                            "<rdf:Bag>cat</rdf:Bag>"),
        segment('\xED', QByteArray("Photoshop 3.0\0"
                                   "8BIM\x04\x04\0\0\0\0\0\x0B"
                                   "\x1C\x02\x19\0\x07holiday\0",
                                   39)),
        segment('\xFE', "taken at dawn"),
    };
    QString error;
    const QImage stored = quadrants(40, 24); // as the sensor held it
    QByteArray source = encodeImage(stored, FormatCode::Jpeg, {}, &error);
    ASSERT_FALSE(source.isEmpty()) << error.toStdString();
    for (qsizetype i = added.size() - 1; i >= 0; --i)
        source.insert(2, added[i]);
    ASSERT_EQ(exif::keptSegments(source), added);

    WriteOptions options;
    options.sourceJpegHead = source;
    options.exif = exif::withThumbnail(
        cameraExif(6, 40, 24), encodeImage(quadrants(20, 12), FormatCode::Jpeg, {}, &error));
    ASSERT_TRUE(exif::hasThumbnail(options.exif));
    QImage upright = quadrants(24, 40);
    upright.setText(QStringLiteral("Description"), QStringLiteral("taken at dawn")); // as decoded
    const QByteArray out = encodeImage(upright, FormatCode::Jpeg, options, &error);
    ASSERT_FALSE(out.isEmpty()) << error.toStdString();
    EXPECT_EQ(exif::keptSegments(out), added);
    EXPECT_FALSE(out.contains("Description:"));

    const QByteArray payload = jpegExifSegment(out);
    ASSERT_TRUE(exif::hasThumbnail(payload));
    const qsizetype thumbAt = payload.indexOf("\xFF\xD8\xFF", 6);
    ASSERT_GT(thumbAt, 0);
    const QImage thumb = QImage::fromData(payload.mid(thumbAt), "JPEG");
    ASSERT_FALSE(thumb.isNull());
    EXPECT_LT(thumb.width(), thumb.height()) << "the thumbnail is still sideways";
    // Saved again, nothing is turned or replaced a second time.
    options.sourceJpegHead = out;
    options.exif = payload;
    const QByteArray again = encodeImage(upright, FormatCode::Jpeg, options, &error);
    EXPECT_EQ(jpegExifSegment(again), payload);
    EXPECT_EQ(exif::keptSegments(again), added);

    // Not from a JPEG: Qt's comment from the text stays the only one.
    const QByteArray fromPng = encodeImage(upright, FormatCode::Jpeg, {}, &error);
    EXPECT_TRUE(fromPng.contains("Description: taken at dawn"));
}

TEST(ImageWriter, TargaIsStoredTopFirstAndUprightForOtherReaders)
{
    TempDir dir;
    QImage picture = quadrants(21, 13).convertToFormat(QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(10, 20, 30, 77));
    const QString path = dir.file("q.tga");
    QString error;
    ASSERT_TRUE(writeImageFile(picture, path, FormatCode::Tga, 0, true, &error))
        << error.toStdString();
    const QByteArray bytes = readAll(path);
    ASSERT_GE(bytes.size(), 18);
    EXPECT_EQ(uchar(bytes[2]), 2);   // uncompressed true colour
    EXPECT_EQ(uchar(bytes[16]), 32); // with alpha
    EXPECT_TRUE(uchar(bytes[17]) & 0x20) << "top-left origin flag";
    EXPECT_EQ(uchar(bytes[17]) & 0x0F, 8); // eight alpha bits

    if (haveProgram(QStringLiteral("/usr/bin/python3"))) {
        // Pillow and GraphicsMagick read it as well as ImageMagick does.
        const ProcessResult pil = runProgram(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                            "print(im.mode, im.size, im.getpixel((0, 0)), im.getpixel((5, 3)), "
                            "im.getpixel((15, 10)))"),
             path});
        ASSERT_TRUE(pil.ok) << pil.err.toStdString();
        EXPECT_EQ(QString::fromLatin1(pil.out).trimmed(),
                  QStringLiteral(
                      "RGBA (21, 13) (10, 20, 30, 77) (220, 30, 30, 255) (240, 230, 40, 255)"));
    }
    const QImage magick = readWithMagick(path);
    EXPECT_TRUE(hasQuadrants(magick, 0));
}

TEST(ImageWriter, PhotoshopKeepsAlphaForOtherReaders)
{
    if (!haveProgram(QStringLiteral("/usr/bin/python3")))
        GTEST_SKIP() << "Pillow is not installed";
    TempDir dir;
    QImage picture(9, 7, QImage::Format_ARGB32);
    picture.fill(qRgba(200, 100, 50, 128));
    picture.setPixel(2, 3, qRgba(1, 2, 3, 255));
    const QString path = dir.file("a.psd");
    QString error;
    ASSERT_TRUE(writeImageFile(picture, path, FormatCode::Psd, 0, true, &error));
    // Pillow reads the merged picture as stored (on white, with its alpha);
    // ImageMagick, like Photoshop and GIMP, takes the white out again.
    const ProcessResult pil = runProgram(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"),
         QStringLiteral("import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                        "print(im.mode, im.size, im.getpixel((0, 0)), im.getpixel((2, 3)), "
                        "len(im.layers))"),
         path});
    ASSERT_TRUE(pil.ok) << pil.err.toStdString();
    EXPECT_EQ(QString::fromLatin1(pil.out).trimmed(),
              QStringLiteral("RGBA (9, 7) (227, 177, 152, 128) (1, 2, 3, 255) 1"));
    const QImage magick = readWithMagick(path);
    EXPECT_LE(comparePixels(picture, magick).maxDiff, 1);
}

TEST(ImageWriter, SixteenBitsStayWhereTheFormatHoldsThem)
{
    TempDir dir;
    QImage deep(5, 3, QImage::Format_RGBX64);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            reinterpret_cast<QRgba64 *>(deep.scanLine(y))[x] =
                QRgba64::fromRgba64(quint16(1000 * x + 7), quint16(40000 + y), 65535, 65535);
    QString error;
    for (FormatCode code : {FormatCode::Png, FormatCode::Tiff}) {
        const QString path = dir.file(QStringLiteral("deep.%1").arg(formatShortName(code)));
        ASSERT_TRUE(writeImageFile(deep, path, code, 0, true, &error)) << error.toStdString();
        const DecodedImage back = decodeFile(path);
        ASSERT_TRUE(back.ok());
        EXPECT_EQ(maxDiff16(deep, back.pages.front()), 0) << formatShortName(code);
    }
    // JPEG and BMP get the nearest 8-bit values.
    for (FormatCode code : {FormatCode::Bmp, FormatCode::Jpeg}) {
        const QString path = dir.file(QStringLiteral("deep.%1").arg(formatShortName(code)));
        ASSERT_TRUE(writeImageFile(deep, path, code, 0, true, &error)) << error.toStdString();
        const QImage back = decodeFile(path).pages.value(0).convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(back.size(), deep.size());
        const int tolerance = code == FormatCode::Bmp ? 0 : 6;
        const QRgb got = back.pixel(3, 1);
        EXPECT_NEAR(qRed(got), (3007 * 255 + 32767) / 65535, tolerance) << formatShortName(code);
        EXPECT_NEAR(qGreen(got), (40001 * 255 + 32767) / 65535, tolerance);
    }
}

TEST(ImageWriter, WbmpDithersShadesAndThresholdsBlackAndWhite)
{
    TempDir dir;
    // A horizontal ramp: a plain threshold would turn the left half black
    // and the right half white; dithering keeps the ramp.
    // Wider than 127 pixels: the width takes two bytes of the header.
    QImage ramp(200, 32, QImage::Format_Grayscale8);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 200; ++x)
            ramp.scanLine(y)[x] = uchar(x * 255 / 199);
    const QString path = dir.file("ramp.wbmp");
    QString error;
    ASSERT_TRUE(writeImageFile(ramp, path, FormatCode::Wbmp, 0, true, &error));
    const QImage back = readWithMagick(path);
    const BilevelFit fit = bilevelFit(ramp, back, 8);
    EXPECT_TRUE(fit.pureBlackWhite);
    EXPECT_LE(fit.worstBoxError, 16.0);
    // Dark and light ends.
    EXPECT_EQ(qRed(back.pixel(0, 5)), 0);
    EXPECT_EQ(qRed(back.pixel(199, 5)), 255);
    const DecodedImage ours = decodeFile(path);
    ASSERT_TRUE(ours.ok());
    EXPECT_EQ(comparePixels(back, ours.pages.front()).maxDiff, 0);

    // Colour with transparency: on white first, so a transparent area is white.
    QImage clear(8, 8, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    ASSERT_TRUE(writeImageFile(clear, dir.file("clear.wbmp"), FormatCode::Wbmp, 0, true, &error));
    const QImage white = readWithMagick(dir.file("clear.wbmp"));
    EXPECT_EQ(comparePixels(onWhite(clear), white).maxDiff, 0);
}

TEST(ImageWriter, RefusesWhatItCannotWriteAndLeavesExistingFiles)
{
    TempDir dir;
    const QImage page = quadrants(8, 8);
    QString error;
    for (FormatCode code : {FormatCode::Gif, FormatCode::Ico, FormatCode::Cur, FormatCode::Pcd,
                            FormatCode::Dib, FormatCode::Unknown}) {
        EXPECT_FALSE(canWriteFormat(code));
        EXPECT_FALSE(writeImageFile(page, dir.file("x"), code, 0, true, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_FALSE(QFile::exists(dir.file("x")));
    for (int code = 1; code <= 10; ++code)
        EXPECT_TRUE(canWriteFormat(FormatCode(code))) << code;

    const QString existing = dir.write("keep.png", "old bytes");
    EXPECT_FALSE(writeImageFile(page, existing, FormatCode::Png, 0, false, &error));
    EXPECT_TRUE(error.contains("already exists"));
    EXPECT_EQ(readAll(existing), QByteArray("old bytes"));
    EXPECT_FALSE(writeImageFile(page, dir.path(), FormatCode::Png, 0, true, &error));
    EXPECT_FALSE(writeImageFile(QImage(), dir.file("null.png"), FormatCode::Png, 0, true, &error));
    EXPECT_FALSE(QFile::exists(dir.file("null.png")));
}

TEST(ImageWriter, MetafileSizesAndScalingForWmfLimits)
{
    // A WMF addresses 16-bit coordinates: a wider picture is scaled to fit.
    QImage wide(40000, 2, QImage::Format_RGB32);
    wide.fill(Qt::red);
    QString error;
    const QByteArray wmf = encodeImage(wide, FormatCode::Wmf, {}, &error);
    ASSERT_FALSE(wmf.isEmpty()) << error.toStdString();
    // Placeable header: right edge of the bounding box.
    EXPECT_EQ(qFromLittleEndian<qint16>(wmf.constData() + 10), 32767);
    // EMF has room: the record keeps all 40000 columns.
    const QByteArray emf = encodeImage(wide, FormatCode::Emf, {}, &error);
    ASSERT_FALSE(emf.isEmpty());
    EXPECT_EQ(qFromLittleEndian<qint32>(emf.constData() + 16), 40000); // bounds right
    EXPECT_EQ(qFromLittleEndian<quint32>(emf.constData() + 48), quint32(emf.size()));
}

TEST(ImageWriter, SeveralThreadsWriteAllFormatsAtOnce)
{
    TempDir dir;
    struct Job {
        FormatCode code;
        int n;
    };
    QList<Job> jobs;
    for (int n = 0; n < 3; ++n)
        for (int code = 1; code <= 10; ++code)
            jobs.push_back({FormatCode(code), n});
    const QImage page = quadrants(48, 32);
    const QList<QString> failures = QtConcurrent::blockingMapped(jobs, [&](const Job &job) {
        const QString path =
            dir.file(QStringLiteral("t%1.%2").arg(job.n).arg(formatShortName(job.code)));
        QString error;
        if (!writeImageFile(page, path, job.code, 0, true, &error))
            return path + ": " + error;
        const DecodedImage back = decodeFile(path);
        if (!back.ok() || back.format != job.code)
            return path + ": not read back";
        if (job.code != FormatCode::Wbmp && !hasQuadrants(back.pages.front(), 8))
            return path + ": wrong picture";
        return QString();
    });
    for (const QString &f : failures)
        EXPECT_TRUE(f.isEmpty()) << f.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), jobs.size()); // no temporaries left
}
