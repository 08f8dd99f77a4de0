#pragma once

// Sample images of every readable format, generated at test time: Qt writes
// its own formats, ImageMagick the ones Qt cannot write, and the metafiles
// are put together record by record here.

#include <Magick++.h>

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPoint>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <cstdlib>
#include <list>

namespace lumora::test
{

// Four quadrants make a wrong orientation or mirror visible.
inline const QColor kTopLeft{220, 30, 30};
inline const QColor kTopRight{30, 200, 40};
inline const QColor kBottomLeft{30, 40, 220};
inline const QColor kBottomRight{240, 230, 40};

inline QImage quadrants(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            const QColor c =
                bottom ? (right ? kBottomRight : kBottomLeft) : (right ? kTopRight : kTopLeft);
            image.setPixel(x, y, c.rgb());
        }
    }
    return image;
}

inline bool near(QRgb actual, const QColor &expected, int tolerance)
{
    return std::abs(qRed(actual) - expected.red()) <= tolerance &&
           std::abs(qGreen(actual) - expected.green()) <= tolerance &&
           std::abs(qBlue(actual) - expected.blue()) <= tolerance;
}

// Checks the colour at the centre of each quadrant.
inline ::testing::AssertionResult hasQuadrants(const QImage &image, int tolerance)
{
    if (image.isNull())
        return ::testing::AssertionFailure() << "null image";
    const int w = image.width(), h = image.height();
    struct Probe {
        int x, y;
        QColor colour;
        const char *name;
    };
    const Probe probes[] = {{w / 4, h / 4, kTopLeft, "top left"},
                            {3 * w / 4, h / 4, kTopRight, "top right"},
                            {w / 4, 3 * h / 4, kBottomLeft, "bottom left"},
                            {3 * w / 4, 3 * h / 4, kBottomRight, "bottom right"}};
    for (const Probe &p : probes) {
        const QRgb got = image.pixel(p.x, p.y);
        if (!near(got, p.colour, tolerance))
            return ::testing::AssertionFailure()
                   << p.name << " is " << qRed(got) << "," << qGreen(got) << "," << qBlue(got)
                   << " in a " << w << "x" << h << " image";
    }
    return ::testing::AssertionSuccess();
}

// What a CMYK file without a profile is shown as: its inks through the
// default press profile (Ghostscript's) into sRGB, converted by ImageMagick
// (Qt's own sRGB description is the target). Null when it cannot run.
inline QImage pressReading(const QString &file, const QString &workDir)
{
    const QString srgb = workDir + QStringLiteral("/qt-srgb.icc");
    QFile profile(srgb);
    if (!QFile::exists(srgb) && profile.open(QIODevice::WriteOnly))
        profile.write(QColorSpace(QColorSpace::SRgb).iccProfile());
    profile.close();
    const QString out = workDir + QLatin1Char('/') + QFileInfo(file).completeBaseName() +
                        QStringLiteral("-press.png");
    QProcess convert;
    convert.start(QStringLiteral("convert"),
                  {file + QStringLiteral("[0]"), QStringLiteral("-profile"),
                   QStringLiteral("/usr/share/color/icc/ghostscript/default_cmyk.icc"),
                   QStringLiteral("-profile"), srgb, QStringLiteral("PNG32:") + out});
    if (!convert.waitForFinished(60000) || convert.exitCode() != 0)
        return {};
    return QImage(out).convertToFormat(QImage::Format_ARGB32);
}

// Whether the four quadrant centres of `got` match those of `want`, colour
// within the tolerance and alpha within 2. A press profile's table reaches
// a clipped channel (the red of a saturated green) a few steps apart in
// ImageMagick's 16-bit and our 8-bit transform: kPressTolerance allows it.
inline constexpr int kPressTolerance = 8;
inline ::testing::AssertionResult matchesAtQuadrants(const QImage &got, const QImage &want,
                                                     int tolerance)
{
    if (got.isNull() || want.isNull() || got.size() != want.size())
        return ::testing::AssertionFailure() << "no image of the same size to compare";
    const QImage a = got.convertToFormat(QImage::Format_ARGB32);
    const int w = a.width(), h = a.height();
    for (const QPoint p : {QPoint(w / 4, h / 4), QPoint(3 * w / 4, h / 4), QPoint(w / 4, 3 * h / 4),
                           QPoint(3 * w / 4, 3 * h / 4)}) {
        const QRgb g = a.pixel(p), r = want.pixel(p);
        if (!near(g, QColor(r), tolerance) || std::abs(qAlpha(g) - qAlpha(r)) > 2)
            return ::testing::AssertionFailure()
                   << "at " << p.x() << "," << p.y() << " " << qRed(g) << "," << qGreen(g) << ","
                   << qBlue(g) << " alpha " << qAlpha(g) << ", reference " << qRed(r) << ","
                   << qGreen(r) << "," << qBlue(r) << " alpha " << qAlpha(r);
    }
    return ::testing::AssertionSuccess();
}

inline QByteArray encodeWithQt(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        ADD_FAILURE() << "Qt cannot write " << format << ": " << writer.errorString().toStdString();
    return bytes;
}

inline Magick::Image toMagick(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    Magick::Image m(size_t(argb.width()), size_t(argb.height()), "BGRA", Magick::CharPixel,
                    argb.constBits());
    return m;
}

inline bool magickCanWrite(const char *coder)
{
    try {
        return Magick::CoderInfo(coder).isWritable();
    } catch (const Magick::Exception &) {
        return false;
    }
}

// Writes through ImageMagick with the coder named explicitly; a bare file
// name could silently pick another format.
inline QByteArray encodeWithMagick(std::list<Magick::Image> images, const char *coder)
{
    if (!magickCanWrite(coder)) {
        ADD_FAILURE() << "ImageMagick cannot write " << coder;
        return {};
    }
    if (images.size() == 1) {
        Magick::Blob blob;
        images.front().write(&blob, coder);
        return QByteArray(static_cast<const char *>(blob.data()), qsizetype(blob.length()));
    }
    // Lists go through a file: writing a list to a blob trips an assertion
    // in this ImageMagick release.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list"));
    Magick::writeImages(images.begin(), images.end(), std::string(coder) + ":" + path.toStdString(),
                        true);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        ADD_FAILURE() << "ImageMagick wrote no " << coder << " list";
    return file.readAll();
}

inline QByteArray encodeWithMagick(const QImage &image, const char *coder)
{
    return encodeWithMagick(std::list<Magick::Image>{toMagick(image)}, coder);
}

inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        ADD_FAILURE() << "cannot write " << path.toStdString();
    return path;
}

// A JPEG with an EXIF APP1 segment holding only the orientation tag.
inline QByteArray jpegWithOrientation(const QImage &image, quint16 orientation)
{
    QByteArray jpeg = encodeWithQt(image, "jpeg");
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    auto put16 = [&tiff](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        tiff.append(b, 2);
    };
    auto put32 = [&tiff](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        tiff.append(b, 4);
    };
    put16(1);      // one entry
    put16(0x0112); // Orientation
    put16(3);      // SHORT
    put32(1);
    put16(orientation);
    put16(0);
    put32(0); // no next IFD
    QByteArray app1("Exif\0\0", 6);
    app1 += tiff;
    QByteArray segment("\xFF\xE1", 2);
    char len[2];
    qToBigEndian(quint16(app1.size() + 2), len);
    segment.append(len, 2);
    segment += app1;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

// An uncompressed RGB TIFF with one page per image. Written by hand so the
// process never loads ImageMagick's TIFF coder, which takes over libtiff's
// global error handlers that Qt's TIFF reader shares.
inline QByteArray multiPageTiff(const QList<QImage> &pages);

// Little-endian record writer for the metafile samples.
class LeWriter
{
public:
    void u16(quint16 v) { put(v); }
    void s16(qint16 v) { put(v); }
    void u32(quint32 v) { put(v); }
    void s32(qint32 v) { put(v); }
    QByteArray &bytes() { return m_bytes; }

private:
    template <typename T> void put(T v)
    {
        char b[sizeof(T)];
        qToLittleEndian(v, b);
        m_bytes.append(b, sizeof(T));
    }
    QByteArray m_bytes;
};

inline quint32 colorRef(const QColor &c)
{
    return quint32(c.red()) | (quint32(c.green()) << 8) | (quint32(c.blue()) << 16);
}

// A placeable WMF of width x height units at 96 units an inch that fills the
// four quadrants with solid rectangles (null pen, one brush at a time).
// The placeable header of a WMF: key, handle, bounding box, units an inch,
// checksum. The standard header and the records follow it.
inline LeWriter placeableWmfHeader(int width, int height)
{
    LeWriter file;
    file.u32(0x9AC6CDD7);
    file.u16(0);
    file.s16(0);
    file.s16(0);
    file.s16(qint16(width));
    file.s16(qint16(height));
    file.u16(96);
    file.u32(0);
    quint16 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= qFromLittleEndian<quint16>(file.bytes().constData() + 2 * i);
    file.u16(checksum);
    return file;
}

inline QByteArray quadrantWmf(int width, int height)
{
    LeWriter body;
    auto record = [&body](quint16 function, std::initializer_list<quint16> params) {
        body.u32(quint32(3 + params.size()));
        body.u16(function);
        for (quint16 p : params)
            body.u16(p);
    };
    record(0x020B, {0, 0});                            // SETWINDOWORG y, x
    record(0x020C, {quint16(height), quint16(width)}); // SETWINDOWEXT y, x
    record(0x02FA, {5, 0, 0, 0, 0});                   // CREATEPENINDIRECT PS_NULL
    record(0x012D, {0});                               // SELECTOBJECT pen
    const int w2 = width / 2, h2 = height / 2;
    struct Box {
        int l, t, r, b;
        QColor c;
    };
    const Box boxes[] = {{0, 0, w2, h2, kTopLeft},
                         {w2, 0, width, h2, kTopRight},
                         {0, h2, w2, height, kBottomLeft},
                         {w2, h2, width, height, kBottomRight}};
    for (const Box &box : boxes) {
        const quint32 ref = colorRef(box.c);
        record(0x02FC, {0, quint16(ref & 0xFFFF), quint16(ref >> 16), 0}); // CREATEBRUSHINDIRECT
        record(0x012D, {1});
        // RECTANGLE takes bottom, right, top, left; the right and bottom
        // edges are exclusive, so go one past them.
        record(0x041B, {quint16(box.b + 1), quint16(box.r + 1), quint16(box.t), quint16(box.l)});
        record(0x01F0, {1}); // DELETEOBJECT
    }
    record(0x0000, {}); // EOF

    LeWriter file = placeableWmfHeader(width, height);
    // Standard header.
    const quint32 words = quint32(9 + body.bytes().size() / 2);
    file.u16(1);
    file.u16(9);
    file.u16(0x0300);
    file.u32(words);
    file.u16(2);
    file.u32(8);
    file.u16(0);
    return file.bytes() + body.bytes();
}

// An EMF of width x height device pixels (reference device 1024 x 768 pixels
// on 320 x 240 mm) that fills the four quadrants with solid rectangles.
inline QByteArray quadrantEmf(int width, int height)
{
    LeWriter records;
    int count = 0;
    auto record = [&records, &count](quint32 type, std::initializer_list<quint32> params) {
        records.u32(type);
        records.u32(quint32(8 + 4 * params.size()));
        for (quint32 p : params)
            records.u32(p);
        ++count;
    };
    record(37, {0x80000008}); // SELECTOBJECT NULL_PEN
    const int w2 = width / 2, h2 = height / 2;
    struct Box {
        int l, t, r, b;
        QColor c;
    };
    const Box boxes[] = {{0, 0, w2, h2, kTopLeft},
                         {w2, 0, width, h2, kTopRight},
                         {0, h2, w2, height, kBottomLeft},
                         {w2, h2, width, height, kBottomRight}};
    for (const Box &box : boxes) {
        record(39, {1, 0, colorRef(box.c), 0}); // CREATEBRUSHINDIRECT
        record(37, {1});                        // SELECTOBJECT
        record(43, {quint32(box.l), quint32(box.t), quint32(box.r), quint32(box.b)});
        record(40, {1}); // DELETEOBJECT
    }
    record(14, {0, 16, 20}); // EOF

    const quint32 total = quint32(88 + records.bytes().size());
    LeWriter header;
    header.u32(1);
    header.u32(88);
    header.s32(0); // bounds, inclusive device pixels
    header.s32(0);
    header.s32(width - 1);
    header.s32(height - 1);
    // Frame in 0.01 mm: 320 mm / 1024 px = 31.25 hundredths of a mm a pixel.
    header.s32(0);
    header.s32(0);
    header.s32(qint32(width * 3125 / 100));
    header.s32(qint32(height * 3125 / 100));
    header.u32(0x464D4520); // " EMF"
    header.u32(0x10000);
    header.u32(total);
    header.u32(quint32(count + 1));
    header.u16(2); // handles, slot 0 reserved
    header.u16(0);
    header.u32(0); // no description
    header.u32(0);
    header.u32(0); // no palette
    header.s32(1024);
    header.s32(768);
    header.s32(320);
    header.s32(240);
    return header.bytes() + records.bytes();
}

inline QByteArray multiPageTiff(const QList<QImage> &pages)
{
    LeWriter out;
    out.u16(0x4949);
    out.u16(42);
    out.u32(8);
    for (int i = 0; i < pages.size(); ++i) {
        const QImage rgb = pages[i].convertToFormat(QImage::Format_RGB888);
        const quint32 ifdStart = quint32(out.bytes().size());
        const int entries = 10;
        const quint32 ifdSize = 2 + entries * 12 + 4;
        const quint32 bitsAt = ifdStart + ifdSize;
        const quint32 pixelsAt = bitsAt + 6;
        const quint32 pixelBytes = quint32(rgb.width() * rgb.height() * 3);
        const bool last = i == pages.size() - 1;
        out.u16(entries);
        auto entry = [&out](quint16 tag, quint16 type, quint32 count, quint32 value) {
            out.u16(tag);
            out.u16(type);
            out.u32(count);
            out.u32(value); // SHORT values sit in the low half on little-endian
        };
        entry(256, 4, 1, quint32(rgb.width()));
        entry(257, 4, 1, quint32(rgb.height()));
        entry(258, 3, 3, bitsAt);
        entry(259, 3, 1, 1); // no compression
        entry(262, 3, 1, 2); // RGB
        entry(273, 4, 1, pixelsAt);
        entry(277, 3, 1, 3);
        entry(278, 4, 1, quint32(rgb.height()));
        entry(279, 4, 1, pixelBytes);
        entry(284, 3, 1, 1);
        out.u32(last ? 0 : pixelsAt + pixelBytes);
        out.u16(8);
        out.u16(8);
        out.u16(8);
        for (int y = 0; y < rgb.height(); ++y)
            out.bytes().append(reinterpret_cast<const char *>(rgb.constScanLine(y)),
                               rgb.width() * 3);
    }
    return out.bytes();
}

} // namespace lumora::test
