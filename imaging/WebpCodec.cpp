#include "imaging/Codec.h"
#include "imaging/DecodeSupport.h"
#include "imaging/PhotoCodecs.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <QIODevice>
#include <QImage>

#include <cstring>
#include <memory>

namespace lumora::imaging
{

namespace
{

using namespace support;

struct AnimDecoderFree {
    void operator()(WebPAnimDecoder *d) const { WebPAnimDecoderDelete(d); }
};
struct DemuxFree {
    void operator()(WebPDemuxer *d) const { WebPDemuxDelete(d); }
};

QByteArray iccOf(const WebPData &data)
{
    std::unique_ptr<WebPDemuxer, DemuxFree> demux(WebPDemux(&data));
    if (!demux || !(WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG))
        return {};
    WebPChunkIterator chunk;
    if (!WebPDemuxGetChunk(demux.get(), "ICCP", 1, &chunk))
        return {};
    QByteArray icc(reinterpret_cast<const char *>(chunk.chunk.bytes), qsizetype(chunk.chunk.size));
    WebPDemuxReleaseChunkIterator(&chunk);
    return icc;
}

// BGRA bytes in memory are Qt's ARGB32 on a little-endian machine; libwebp
// writes them straight into the picture's own rows.
WEBP_CSP_MODE qtOrderMode()
{
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? MODE_BGRA : MODE_ARGB;
}

DecodedImage decodeStill(const QByteArray &bytes, const WebPBitstreamFeatures &features,
                         const DecodeOptions &options)
{
    const QSize full(features.width, features.height);
    const QSize target = targetSize(full, options.scaledSize);
    QImage page(target, features.has_alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (page.isNull())
        return failure(tooLargeMessage(full));

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return failure(damagedMessage());
    config.input = features;
    // libwebp shrinks while it decodes, as fast as reading at full size
    // would not be: what thumbnails of large photos need.
    if (target != full) {
        config.options.use_scaling = 1;
        config.options.scaled_width = target.width();
        config.options.scaled_height = target.height();
        // What the in-loop filter and the smooth chroma upsampling add is
        // averaged away when many pixels make one.
        if (target.width() * 4 <= full.width()) {
            config.options.bypass_filtering = 1;
            config.options.no_fancy_upsampling = 1;
        }
    }
    config.options.use_threads = 1; // filtering beside decoding
    config.output.colorspace = qtOrderMode();
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = page.bits();
    config.output.u.RGBA.stride = int(page.bytesPerLine());
    config.output.u.RGBA.size = size_t(page.sizeInBytes());
    const VP8StatusCode status = WebPDecode(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                            size_t(bytes.size()), &config);
    WebPFreeDecBuffer(&config.output);
    DecodedImage out;
    if (status == VP8_STATUS_NOT_ENOUGH_DATA) {
        // Incremental decoding would show the rows that arrived; a cut
        // still picture is rare enough that saying so is the useful part.
        return failure(damagedMessage());
    }
    if (status != VP8_STATUS_OK)
        return failure(damagedMessage());
    out.pages.append(page);
    out.bitsPerPixel = features.has_alpha ? 32 : 24;
    out.originalSize = full;
    return out;
}

DecodedImage decodeAnimation(const WebPData &data, const DecodeOptions &options)
{
    WebPAnimDecoderOptions animOptions;
    if (!WebPAnimDecoderOptionsInit(&animOptions))
        return failure(damagedMessage());
    animOptions.color_mode = qtOrderMode();
    animOptions.use_threads = 0;
    std::unique_ptr<WebPAnimDecoder, AnimDecoderFree> decoder(
        WebPAnimDecoderNew(&data, &animOptions));
    if (!decoder)
        return failure(damagedMessage());
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info))
        return failure(damagedMessage());
    const QSize canvas(int(info.canvas_width), int(info.canvas_height));
    if (!fitsBudget(canvas))
        return failure(tooLargeMessage(canvas));

    DecodedImage out;
    out.originalSize = canvas;
    out.bitsPerPixel = 32;
    // The times it plays through, 0 for ever: as the player counts.
    out.playCount = int(info.loop_count);
    qint64 held = 0;
    int previous = 0;
    while (WebPAnimDecoderHasMoreFrames(decoder.get())) {
        if (isCancelled(options))
            return failure(cancelledMessage());
        uint8_t *buffer = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(decoder.get(), &buffer, &timestamp)) {
            if (out.pages.isEmpty())
                return failure(damagedMessage());
            out.damage = corruptDataDamage();
            break;
        }
        // Every page is a whole canvas; a long animation of a large canvas
        // stops at the budget rather than taking the loader down.
        held += decodedBytes(canvas);
        if (held > kMaxDecodedBytes) {
            out.damage = QStringLiteral("the animation is too long to hold every frame");
            break;
        }
        QImage frame(buffer, canvas.width(), canvas.height(), canvas.width() * 4,
                     QImage::Format_ARGB32);
        out.pages.append(frame.copy());
        out.frameDelays.append(qMax(0, timestamp - previous));
        previous = timestamp;
        if (!options.allPages)
            break;
    }
    if (out.pages.size() <= 1)
        out.frameDelays.clear(); // one frame shown is a still picture
    return out;
}

} // namespace

bool isWebp(const QByteArray &h, const QString &)
{
    return h.size() >= 16 && h.startsWith("RIFF") && h.mid(8, 4) == "WEBP" &&
           (h.mid(12, 4) == "VP8 " || h.mid(12, 4) == "VP8L" || h.mid(12, 4) == "VP8X");
}

QSize webpSize(const QByteArray &head)
{
    int width = 0;
    int height = 0;
    // The headers sit in the first few dozen bytes of every kind of WebP.
    if (!WebPGetInfo(reinterpret_cast<const uint8_t *>(head.constData()), size_t(head.size()),
                     &width, &height))
        return {};
    return QSize(width, height);
}

DecodedImage decodeWebp(QIODevice &device, const FormatSpec &, const DecodeOptions &options)
{
    const QByteArray bytes = device.readAll();
    WebPBitstreamFeatures features;
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    if (WebPGetFeatures(data, size_t(bytes.size()), &features) != VP8_STATUS_OK)
        return failure(damagedMessage());
    const WebPData whole{data, size_t(bytes.size())};
    DecodedImage out = features.has_animation ? decodeAnimation(whole, options)
                                              : decodeStill(bytes, features, options);
    if (!out.ok())
        return out;
    out.format = FormatCode::Webp;
    out.iccProfile = iccOf(whole);
    if (features.has_animation)
        scalePages(out, options);
    return out;
}

} // namespace lumora::imaging
