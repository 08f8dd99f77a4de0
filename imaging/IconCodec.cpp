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

Page decodeEntry(const QByteArray &bytes, qint64 budget)
{
    Page page;
    if (bytes.startsWith("\x89PNG\r\n\x1A\n")) {
        QBuffer buffer;
        buffer.setData(bytes);
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
        Page page = decodeEntry(bytes, kMaxDecodedBytes - total);
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
    if (out.pages.isEmpty()) {
        // Nothing we could read: Qt's own icon reader gets the last word.
        device.seek(0);
        return decodeWithQt(device, entry, options);
    }
    scalePages(out, options);
    return out;
}

} // namespace lumora::imaging
