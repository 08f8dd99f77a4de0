#include "imaging/BmpCodec.h"

#include "imaging/BmpDecoder.h"
#include "imaging/DecodeSupport.h"
#include "imaging/FormatBytes.h"
#include "imaging/MagickCodec.h"

#include <QBuffer>
#include <QIODevice>

namespace lumora::imaging
{

DecodedImage decodeBmp(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options)
{
    using namespace support;
    const QByteArray data = device.readAll();
    const bool fileHeader = data.startsWith("BM");
    bmp::DibSource source;
    if (fileHeader) {
        source.infoOffset = 14;
        source.pixelOffset = bytes::le32(data, 10);
    }
    if (isCancelled(options))
        return failure(cancelledMessage());
    bmp::DibResult dib = bmp::decodeDib(data, source, kMaxDecodedBytes);
    if (dib.tooLarge)
        return failure(tooLargeMessage(dib.size));
    if (dib.image.isNull()) {
        // ImageMagick knows the rarer compressions; it needs the file header.
        if (!fileHeader)
            return failure(damagedMessage());
        QBuffer buffer;
        buffer.setData(data);
        buffer.open(QIODevice::ReadOnly);
        return decodeWithMagick(buffer, entry, options);
    }
    DecodedImage out;
    out.format = entry.code;
    out.bitsPerPixel = dib.bitsPerPixel;
    out.originalSize = dib.image.size();
    if (dib.truncated)
        out.damage = truncatedDamage();
    out.pages << std::move(dib.image);
    scalePages(out, options);
    return out;
}

} // namespace lumora::imaging
