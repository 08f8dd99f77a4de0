#include "imaging/ImageEncoders.h"
#include "imaging/JpegExif.h"
#include "imaging/WritePixels.h"

#include <QBuffer>
#include <QImageWriter>

namespace lumora::imaging::encoders
{

namespace
{

QByteArray run(QImageWriter &writer, QBuffer &buffer, const QImage &image, QString *error)
{
    if (!writer.write(image)) {
        if (error)
            *error =
                QStringLiteral("The image could not be encoded: %1.").arg(writer.errorString());
        return {};
    }
    buffer.close();
    return buffer.data();
}

// What each format gets from the picture; anything it cannot hold is reduced
// to the nearest thing it can.
QImage prepare(const QImage &image, FormatCode code)
{
    using namespace pixels;
    switch (code) {
    case FormatCode::Jpeg:
    case FormatCode::Bmp:
        return flattenedOnWhite(image);
    case FormatCode::Wbmp:
        return bilevel(image);
    case FormatCode::Png:
    case FormatCode::Tiff:
        // Both hold alpha, grey, palettes and 16-bit samples. Premultiplied
        // pixels are stored straight, which is what the files mean.
        switch (image.format()) {
        case QImage::Format_ARGB32_Premultiplied:
            return image.convertToFormat(QImage::Format_ARGB32);
        case QImage::Format_RGBA64_Premultiplied:
            return image.convertToFormat(QImage::Format_RGBA64);
        default:
            break;
        }
        if (isDeep(image) && image.format() != QImage::Format_RGBX64 &&
            image.format() != QImage::Format_RGBA64 && image.format() != QImage::Format_Grayscale16)
            return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_RGBA64
                                                                 : QImage::Format_RGBX64);
        return image;
    default:
        return image;
    }
}

const char *qtFormatName(FormatCode code)
{
    switch (code) {
    case FormatCode::Jpeg:
        return "jpeg";
    case FormatCode::Png:
        return "png";
    case FormatCode::Tiff:
        return "tiff";
    case FormatCode::Bmp:
        return "bmp";
    case FormatCode::Wbmp:
        return "wbmp";
    default:
        return nullptr;
    }
}

// WBMP type 0 by hand: Qt's writer drops the last byte of a multi-byte
// width or height, so every picture of 128 pixels or more came out damaged.
void appendMultiByte(QByteArray &out, quint32 value)
{
    char digits[5];
    int n = 0;
    do {
        digits[n++] = char(value & 0x7F);
        value >>= 7;
    } while (value);
    while (n-- > 0)
        out.append(char(digits[n] | (n ? 0x80 : 0)));
}

QByteArray wbmp(const QImage &mono)
{
    QByteArray out;
    const qsizetype rowBytes = (mono.width() + 7) / 8;
    out.reserve(16 + rowBytes * mono.height());
    out.append('\0').append('\0');
    appendMultiByte(out, quint32(mono.width()));
    appendMultiByte(out, quint32(mono.height()));
    // Format_Mono keeps pixels most significant bit first, index 1 white,
    // which is WBMP's own layout; the row padding bits are cleared.
    const uchar lastMask = uchar(0xFF << ((8 - mono.width() % 8) % 8));
    for (int y = 0; y < mono.height(); ++y) {
        const auto *row = reinterpret_cast<const char *>(mono.constScanLine(y));
        out.append(row, rowBytes - 1);
        out.append(char(uchar(row[rowBytes - 1]) & lastMask));
    }
    return out;
}

} // namespace

QByteArray encodeWithQt(const QImage &image, FormatCode code, const WriteOptions &options,
                        QString *error)
{
    const char *name = qtFormatName(code);
    if (!name) {
        if (error)
            *error = QStringLiteral("This format is not written by Qt.");
        return {};
    }
    const QImage prepared = prepare(image, code);
    if (prepared.isNull()) {
        if (error)
            *error = QStringLiteral("There is not enough memory to convert the image.");
        return {};
    }
    if (code == FormatCode::Wbmp)
        return wbmp(prepared);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, name);
    if (!writer.canWrite()) {
        if (error)
            *error = QStringLiteral("The %1 writer is not available.")
                         .arg(QString::fromLatin1(name).toUpper());
        return {};
    }
    switch (code) {
    case FormatCode::Jpeg:
        writer.setQuality(options.option >= 1 && options.option <= 100 ? options.option
                                                                       : kDefaultJpegQuality);
        break;
    case FormatCode::Tiff:
        writer.setCompression(1); // LZW: lossless, read by every TIFF reader
        break;
    default:
        break;
    }
    QByteArray bytes = run(writer, buffer, prepared, error);
    if (code == FormatCode::Jpeg && !bytes.isEmpty())
        bytes = exif::withSourceMetadata(bytes, options, prepared);
    return bytes;
}

} // namespace lumora::imaging::encoders
