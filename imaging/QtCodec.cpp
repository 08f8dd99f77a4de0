#include "imaging/QtCodec.h"

#include "imaging/ReaderWarnings.h"

#include "imaging/ColourManagement.h"
#include "imaging/DecodeSupport.h"
#include "imaging/EmbeddedProfiles.h"
#include "imaging/FormatBytes.h"
#include "imaging/GifAnimation.h"
#include "imaging/JpegCmyk.h"
#include "imaging/MagickCodec.h"
#include "imaging/PngInflate.h"
#include "imaging/PngRgb24.h"
#include "imaging/TiffCodec.h"

#include <tiffio.h>

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

namespace lumora::imaging
{

namespace
{

// Depth as stored where the header says it better than Qt's decoded format.
int headerDepth(const QByteArray &head, FormatCode code, int fallback)
{
    using namespace bytes;
    switch (code) {
    case FormatCode::Png:
        if (head.size() >= 26) {
            const int bitDepth = quint8(head[24]);
            switch (quint8(head[25])) {
            case 0:
                return bitDepth; // grey
            case 2:
                return bitDepth * 3; // RGB
            case 3:
                return bitDepth; // palette
            case 4:
                return bitDepth * 2; // grey + alpha
            case 6:
                return bitDepth * 4; // RGBA
            }
        }
        break;
    case FormatCode::Bmp:
    case FormatCode::Dib: {
        const int info = code == FormatCode::Bmp || head.startsWith("BM") ? 14 : 0;
        if (head.size() >= info + 16) {
            const quint32 headerSize = le32(head, info);
            const int bits = headerSize == 12 ? le16(head, info + 10) : le16(head, info + 14);
            if (bits > 0 && bits <= 32)
                return bits;
        }
        break;
    }
    case FormatCode::Gif:
        return 8;
    default:
        break;
    }
    return fallback;
}

DecodedImage readPages(QImageReader &reader, const FormatSpec &entry, const QByteArray &head,
                       const DecodeOptions &options)
{
    using namespace support;
    // Qt's TIFF handler opens libtiff afresh for the page count and for every
    // page, reading the header from wherever the device stands; TIFF offsets
    // are absolute, so rewinding is always right for it.
    QIODevice *device = reader.device();
    const bool rewind = entry.code == FormatCode::Tiff && device && !device->isSequential();
    auto rewindDevice = [&] {
        if (rewind)
            device->seek(0);
    };
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.isEmpty())
        return failure(damagedMessage());
    const bool quarterTurn = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize upright = quarterTurn ? stored.transposed() : stored;

    // JPEG scales inside libjpeg (1/2..1/8) so a thumbnail never pays for a
    // full-size decode; everything else is shrunk after decoding.
    QSize decodeSize = stored;
    const bool nativeScaling = entry.code == FormatCode::Jpeg && options.scaledSize.isValid();
    if (nativeScaling) {
        QSize target = targetSize(upright, options.scaledSize);
        if (quarterTurn)
            target.transpose();
        if (target != stored) {
            reader.setScaledSize(target);
            decodeSize = target;
        }
    }
    // Refuse before decoding, at the depth the reader will really produce
    // (16-bit PNGs and TIFFs decode to 64-bit pixels).
    const QImage::Format decodedFormat = reader.imageFormat();
    const int decodedBits = decodedFormat == QImage::Format_Invalid
                                ? 32
                                : QImage::toPixelFormat(decodedFormat).bitsPerPixel();
    if (!fitsBudget(decodeSize, qMax(32, decodedBits)))
        return failure(tooLargeMessage(upright));

    DecodedImage out;
    out.format = entry.code;
    out.originalSize = upright;
    out.bitsPerPixel = headerDepth(head, entry.code, storedDepth(reader.imageFormat()));

    rewindDevice();
    const int count = reader.imageCount();
    qint64 total = 0;
    for (int i = 0; count <= 0 || i < count; ++i) {
        if (isCancelled(options))
            return failure(cancelledMessage());
        if (i > 0) {
            if (!options.allPages)
                break;
            // Paged formats (TIFF, ICO) are moved on; animated ones (GIF)
            // cannot jump but advance by themselves on each read.
            rewindDevice();
            if (reader.currentImageNumber() < i && !reader.jumpToImage(i) && count <= 0)
                break;
            // Decide before the next page is in memory beside the others: a
            // few bytes of GIF can declare a screen of hundreds of megabytes
            // and repeat it frame after frame.
            if (total + out.pages.front().sizeInBytes() > kMaxDecodedBytes) {
                if (entry.code != FormatCode::Gif)
                    return failure(tooLargeMessage(upright));
                out.pages.resize(1);
                out.animationNote = animationTooLargeNote();
                break;
            }
        }
        // A full-size photo that needs no turning is decoded straight into
        // the memory it is handed over in (Qt's JPEG and PNG readers fill an
        // image of the right size and format whole, as it is).
        const bool intoPlace = i == 0 && !options.scaledSize.isValid() &&
                               (entry.code == FormatCode::Jpeg || entry.code == FormatCode::Png) &&
                               reader.transformation() == QImageIOHandler::TransformationNone;
        QImage page = intoPlace ? newPage(decodeSize, decodedFormat) : QImage();
        rewindDevice();
        if (!reader.read(&page) || page.isNull()) {
            if (i == 0)
                return failure(damagedMessage());
            break; // later pages damaged: keep what decoded
        }
        total += page.sizeInBytes();
        if (total > kMaxDecodedBytes)
            return failure(tooLargeMessage(upright));
        out.pages << page;
    }
    if (!nativeScaling)
        scalePages(out, options);
    return out;
}

// Qt's TIFF reader goes by libtiff's return codes and needs no messages.
// The process-wide handlers are cleared because ImageMagick's TIFF coder,
// once anything in the process used it, leaves its own there, and those
// abort when called outside an ImageMagick read.
void silenceLibtiff()
{
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
}

// A 16-bit grey or RGB PNG with a tRNS chunk (one colour marked
// transparent): Qt's PNG reader mixes up its channels (a blue pixel comes out
// green, most of the picture transparent), ImageMagick reads it right.
bool deepPngWithTransparentColour(QIODevice &device, const QByteArray &head)
{
    if (head.size() < 26 || quint8(head[24]) != 16 ||
        (quint8(head[25]) != 0 && quint8(head[25]) != 2) || device.isSequential())
        return false;
    bool found = false;
    qint64 at = 8; // after the signature
    for (int chunks = 0; chunks < 10000 && device.seek(at); ++chunks) {
        const QByteArray header = device.read(8);
        if (header.size() < 8)
            break;
        const QByteArray type = header.mid(4, 4);
        if (type == "tRNS")
            found = true;
        if (found || type == "IDAT" || type == "IEND")
            break;
        at += 12 + qint64(qFromBigEndian<quint32>(header.constData()));
    }
    device.seek(0);
    return found;
}

// Qt's GIF reader shows a file cut short without a word; a whole GIF ends
// with its trailer byte (some writers pad with zeros after it).
bool gifEndsEarly(QIODevice &device)
{
    if (device.isSequential() || !device.seek(qMax<qint64>(0, device.size() - 256)))
        return false;
    QByteArray tail = device.read(256);
    device.seek(0);
    while (tail.endsWith('\0'))
        tail.chop(1);
    return !tail.endsWith(';');
}

// Qt's readers return the part of a damaged picture they decoded as a
// success; the libraries' warnings meanwhile say what is wrong with it.
DecodedImage readWithQt(QIODevice &device, const FormatSpec &entry, const QByteArray &head,
                        const DecodeOptions &options)
{
    support::ReaderWarnings warnings;
    QImageReader reader(&device, entry.qtName);
    reader.setDecideFormatFromContent(false);
    DecodedImage out = readPages(reader, entry, head, options);
    if (out.ok())
        out.damage = support::damageFromWarnings(warnings.messages());
    if (out.ok() && out.damage.isEmpty() && entry.code == FormatCode::Gif && gifEndsEarly(device))
        out.damage = support::truncatedDamage();
    return out;
}

// Whether a second reader should try: Qt's reader found the file damaged and
// the device can start over.
bool worthASecondReader(const DecodedImage &out, QIODevice &device)
{
    return out.error == support::damagedMessage() && device.seek(0);
}

} // namespace

namespace
{

// The header segments of a JPEG: a profile split over many APP2 segments
// can reach far beyond the usual first few kilobytes.
profiles::JpegColour jpegColourOf(QIODevice &device)
{
    profiles::JpegColour colour = profiles::jpegColour(device.peek(256 * 1024));
    if (colour.components == 0 && device.size() > 256 * 1024)
        colour = profiles::jpegColour(device.peek(4 * 1024 * 1024));
    return colour;
}

// An RGB or grey profile goes with the pixels; a CMYK one was used up when
// the inks were turned into sRGB.
QByteArray keptProfile(const QByteArray &icc)
{
    const QByteArray space = colour::profileSpace(icc);
    return (space == "RGB " || space == "GRAY") && colour::isUsable(icc) ? icc : QByteArray();
}

} // namespace

DecodedImage decodeWithQt(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options)
{
    const QByteArray head = device.peek(64);
    profiles::JpegColour jpeg;
    if (entry.code == FormatCode::Jpeg && !device.isSequential()) {
        jpeg = jpegColourOf(device);
        if (jpeg.components == 4) {
            DecodedImage inks = decodeCmykJpeg(device, jpeg, options);
            if (inks.ok())
                return inks;
            device.seek(0);
        }
    }
    DecodedImage out = readWithQt(device, entry, head, options);
    // A file Qt's reader calls damaged may still be one ImageMagick reads
    // (a JPEG cut short, an unusual GIF).
    if (entry.magickName && worthASecondReader(out, device)) {
        DecodedImage retry = decodeWithMagick(device, entry, options);
        if (retry.ok())
            out = std::move(retry);
    }
    if (out.ok() && out.iccProfile.isEmpty() && jpeg.components != 4)
        out.iccProfile = keptProfile(jpeg.icc);
    return out;
}

DecodedImage decodeGif(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options)
{
    // Qt's reader composes frames its own way (a cleared frame comes out in
    // the background colour, not transparent) and says nothing of loops, so
    // an animation is read frame by frame with giflib; a still, a first page
    // only, and what giflib cannot start on stay with Qt's reader.
    // The profile goes with every frame: the viewer converts whichever it
    // shows, and the first page serves thumbnails the same way.
    if (device.isSequential())
        return decodeWithQt(device, entry, options);
    const QByteArray data = device.readAll();
    device.seek(0);
    const QByteArray icc = keptProfile(profiles::gifProfile(data));
    if (options.allPages) {
        if (auto frames = decodeGifAnimation(data, options)) {
            frames->iccProfile = icc;
            return *std::move(frames);
        }
    }
    DecodedImage out = decodeWithQt(device, entry, options);
    if (out.ok())
        out.iccProfile = icc;
    return out;
}

DecodedImage decodeWbmp(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options)
{
    // Type 0: type and header bytes, then width and height as multi-byte
    // integers, then one bit a pixel, rows padded to a byte.
    const QByteArray data = device.peek(16);
    qsizetype pos = 2;
    quint64 side[2] = {0, 0};
    for (quint64 &value : side) {
        for (int digits = 0; pos < data.size() && digits < 5; ++digits) {
            const quint8 b = quint8(data.at(pos++));
            value = (value << 7) | (b & 0x7F);
            if (!(b & 0x80))
                break;
        }
    }
    const qint64 declared = qint64((side[0] + 7) / 8 * side[1]);
    // The sniffer allows four digits a side: no overflow here.
    if (support::implausiblyShort(device.size() - pos, declared, qint64(side[0] * side[1] * 4)))
        return support::failure(support::damagedMessage());
    return decodeWithQt(device, entry, options);
}

namespace
{

DecodedImage decodePngPixels(QIODevice &device, const FormatSpec &entry,
                             const DecodeOptions &options)
{
    const QByteArray head = device.peek(64);
    if (wantsRgb24Png(head))
        return decodeRgb24Png(device, options);
    if (!device.isSequential() && head.size() >= 26 && quint8(head[24]) == 8 &&
        (quint8(head[25]) == 2 || quint8(head[25]) == 6)) {
        const QByteArray file = device.readAll();
        if (auto plain = decodePlainPng(file, options))
            return *std::move(plain);
        device.seek(0);
    }
    if (deepPngWithTransparentColour(device, head)) {
        DecodedImage decoded = decodeWithMagick(device, entry, options);
        if (decoded.ok()) {
            decoded.bitsPerPixel = headerDepth(head, entry.code, decoded.bitsPerPixel);
            return decoded;
        }
        device.seek(0);
    }
    return decodeWithQt(device, entry, options);
}

} // namespace

DecodedImage decodePng(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options)
{
    const QByteArray profile = keptProfile(profiles::pngProfile(device));
    DecodedImage out = decodePngPixels(device, entry, options);
    if (out.ok())
        out.iccProfile = profile;
    return out;
}

DecodedImage decodeTiff(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options)
{
    const QByteArray head = device.peek(64);
    silenceLibtiff();
    const QByteArray data = device.readAll();
    device.seek(0);
    if (tiffPrefersLibtiff(data))
        return decodeTiffWithLibtiff(data, options);
    DecodedImage out = readWithQt(device, entry, head, options);
    // What Qt's reader calls damaged goes to libtiff's own picture interface.
    if (worthASecondReader(out, device)) {
        DecodedImage retry = decodeTiffWithLibtiff(data, options);
        if (retry.ok())
            return retry;
    }
    if (out.ok())
        out.iccProfile = keptProfile(tiffIccProfile(data));
    return out;
}

} // namespace lumora::imaging
