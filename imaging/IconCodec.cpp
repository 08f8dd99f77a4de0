#include "imaging/IconCodec.h"

#include "imaging/BmpDecoder.h"
#include "imaging/DecodeSupport.h"
#include "imaging/FormatBytes.h"
#include "imaging/QtCodec.h"

#include <QBuffer>
#include <QIODevice>
#include <QImageReader>

namespace lumora::imaging
{

namespace
{

struct Page {
    QImage image;
    int bits = 0;
};

// An embedded PNG up to its first chunk that claims more bytes than follow.
// libpng allocates a whole chunk before reading it, so a few bytes declaring
// a chunk of a gigabyte cost that gigabyte; what is cut off could not be read
// anyway, and the image data streams, so a short IDAT still shows its rows.
QByteArray withoutOverlongChunk(const QByteArray &png)
{
    qsizetype at = 8;
    while (at + 8 <= png.size()) {
        const quint32 length = quint32(quint8(png[at])) << 24 | quint32(quint8(png[at + 1])) << 16 |
                               quint32(quint8(png[at + 2])) << 8 | quint32(quint8(png[at + 3]));
        const qint64 left = png.size() - at - 12;
        if (qint64(length) > left)
            return png.mid(at + 4, 4) == QByteArray("IDAT", 4) ? png : png.left(at);
        at += 12 + qsizetype(length);
    }
    return png;
}

Page decodeEntry(const QByteArray &bytes, qint64 budget, bool *overlong)
{
    Page page;
    if (bytes.startsWith("\x89PNG\r\n\x1A\n")) {
        const QByteArray png = withoutOverlongChunk(bytes);
        if (png.size() != bytes.size())
            *overlong = true;
        QBuffer buffer;
        buffer.setData(png);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "png");
        const QSize size = reader.size();
        if (!size.isValid() || !support::fitsBudget(size) || support::decodedBytes(size) > budget)
            return page;
        page.image = reader.read();
        page.bits = bytes.size() > 25 && quint8(bytes[25]) == 6 ? 32 : page.image.depth();
        return page;
    }
    bmp::DibSource source;
    source.iconMask = true;
    bmp::DibResult dib = bmp::decodeDib(bytes, source, budget);
    page.image = std::move(dib.image);
    page.bits = dib.bitsPerPixel;
    return page;
}

} // namespace

DecodedImage decodeIcon(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options)
{
    using namespace support;
    using namespace bytes;
    const QByteArray data = device.readAll();
    const int count = le16(data, 4);
    DecodedImage out;
    out.format = entry.code;
    qint64 total = 0;
    bool overlong = false;
    for (int i = 0; i < count; ++i) {
        if (isCancelled(options))
            return failure(cancelledMessage());
        const qsizetype dir = 6 + qsizetype(i) * 16;
        if (dir + 16 > data.size())
            break;
        const quint32 size = le32(data, dir + 8);
        const quint32 offset = le32(data, dir + 12);
        if (offset < 6 || offset >= quint32(data.size()))
            continue;
        // Sizes in the directory are often wrong; the image data tells.
        const QByteArray bytes = data.mid(offset, size >= 40 ? qsizetype(size) : -1);
        // ImageMagick takes an entry for a PNG by its header chunk alone,
        // whatever its signature says.
        if (bytes.mid(12, 4) == QByteArray("IHDR", 4) &&
            withoutOverlongChunk(bytes).size() != bytes.size())
            overlong = true;
        Page page = decodeEntry(bytes, kMaxDecodedBytes - total, &overlong);
        if (page.image.isNull())
            continue;
        total += page.image.sizeInBytes();
        if (out.pages.isEmpty()) {
            out.bitsPerPixel = page.bits;
            out.originalSize = page.image.size();
        }
        out.pages << std::move(page.image);
        if (!options.allPages)
            break;
    }
    // Qt's and ImageMagick's icon readers would hand that PNG to libpng whole.
    if (out.pages.isEmpty() && overlong)
        return failure(damagedMessage());
    if (out.pages.isEmpty()) {
        // Nothing we could read: Qt's own icon reader gets the last word.
        device.seek(0);
        return decodeWithQt(device, entry, options);
    }
    scalePages(out, options);
    return out;
}

} // namespace lumora::imaging
