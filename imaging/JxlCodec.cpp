#include "imaging/Codec.h"
#include "imaging/ColourManagement.h"
#include "imaging/DecodeSupport.h"
#include "imaging/PhotoCodecs.h"

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <QIODevice>
#include <QImage>

#include <memory>

namespace lumora::imaging
{

namespace
{

using namespace support;

struct DecoderFree {
    void operator()(JxlDecoder *d) const { JxlDecoderDestroy(d); }
};
struct RunnerFree {
    void operator()(void *r) const { JxlThreadParallelRunnerDestroy(r); }
};

bool isSrgb(const JxlColorEncoding &c)
{
    const bool srgbCurve = c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
    if (c.color_space == JXL_COLOR_SPACE_GRAY)
        return srgbCurve && c.white_point == JXL_WHITE_POINT_D65;
    return c.color_space == JXL_COLOR_SPACE_RGB && c.white_point == JXL_WHITE_POINT_D65 &&
           c.primaries == JXL_PRIMARIES_SRGB && srgbCurve;
}

// The profile of the pixels as decoded: the file's own profile, or the one
// libjxl describes them in. sRGB needs none, so it costs nothing later.
QByteArray pixelProfile(const JxlDecoder *decoder)
{
    JxlColorEncoding encoding;
    const bool described =
        JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &encoding) == JXL_DEC_SUCCESS;
    if (described && isSrgb(encoding))
        return {};
    // An HDR picture gets the profile that tone-maps it for the screen, as
    // HEIF and AVIF do; libjxl's own would put the reference white near black.
    if (described && encoding.color_space == JXL_COLOR_SPACE_RGB &&
        encoding.white_point == JXL_WHITE_POINT_D65 &&
        (encoding.transfer_function == JXL_TRANSFER_FUNCTION_PQ ||
         encoding.transfer_function == JXL_TRANSFER_FUNCTION_HLG)) {
        const int primaries = encoding.primaries == JXL_PRIMARIES_2100   ? 9
                              : encoding.primaries == JXL_PRIMARIES_P3   ? 12
                              : encoding.primaries == JXL_PRIMARIES_SRGB ? 1
                                                                         : 0;
        const QByteArray hdr =
            primaries ? colour::profileFromNclx(primaries, int(encoding.transfer_function))
                      : QByteArray();
        if (!hdr.isEmpty())
            return hdr;
    }
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0 || size > (size_t(64) << 20))
        return {};
    QByteArray icc(qsizetype(size), Qt::Uninitialized);
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t *>(icc.data()),
                                       size) != JXL_DEC_SUCCESS)
        return {};
    return icc;
}

// The upright size: libjxl turns the picture by its orientation field.
QSize uprightSize(const JxlBasicInfo &info)
{
    const QSize stored(int(qMin<uint32_t>(info.xsize, INT_MAX)),
                       int(qMin<uint32_t>(info.ysize, INT_MAX)));
    return info.orientation >= JXL_ORIENT_TRANSPOSE ? stored.transposed() : stored;
}

} // namespace

bool isJxl(const QByteArray &h, const QString &)
{
    // A bare codestream, or the container's signature box.
    return h.startsWith("\xFF\x0A") ||
           h.startsWith(QByteArray("\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12));
}

DecodedImage decodeJxl(QIODevice &device, const FormatSpec &, const DecodeOptions &options)
{
    const QByteArray bytes = device.readAll();
    std::unique_ptr<JxlDecoder, DecoderFree> owned(JxlDecoderCreate(nullptr));
    JxlDecoder *decoder = owned.get();
    if (!decoder)
        return failure(damagedMessage());
    std::unique_ptr<void, RunnerFree> runner(JxlThreadParallelRunnerCreate(
        nullptr, qMin<size_t>(2, JxlThreadParallelRunnerDefaultNumWorkerThreads())));
    if (runner)
        JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, runner.get());
    // A thumbnail needs no more than the eighth-size DC picture a lossy
    // file carries before its detail: libjxl stops there, renders it at
    // full size, and the detail is never decoded.
    const bool thumbnail = options.scaledSize.isValid() && !options.scaledSize.isEmpty();
    int events = JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE;
    if (thumbnail)
        events |= JXL_DEC_FRAME_PROGRESSION;
    if (JxlDecoderSubscribeEvents(decoder, events) != JXL_DEC_SUCCESS)
        return failure(damagedMessage());
    if (thumbnail)
        JxlDecoderSetProgressiveDetail(decoder, kDC);
    JxlDecoderSetInput(decoder, reinterpret_cast<const uint8_t *>(bytes.constData()),
                       size_t(bytes.size()));
    JxlDecoderCloseInput(decoder);

    DecodedImage out;
    JxlBasicInfo info{};
    QImage page;
    JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    // Whether the picture in `page` is as good as the thumbnail needs.
    auto enoughFor = [&](size_t ratio) {
        const QSize target = targetSize(out.originalSize, options.scaledSize);
        return ratio >= 1 && qint64(target.width()) * qint64(ratio) <= out.originalSize.width() &&
               qint64(target.height()) * qint64(ratio) <= out.originalSize.height();
    };
    auto finish = [&]() -> DecodedImage {
        // An animation shows its first frame: that is all a still viewer of
        // this format is asked for.
        if (page.isNull())
            return failure(damagedMessage());
        out.format = FormatCode::Jxl;
        out.pages.append(page);
        page = QImage();
        // Shrunk first, so only the small picture is converted.
        scalePages(out, options);
        const QImage::Format wanted =
            info.alpha_bits ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        for (QImage &p : out.pages)
            p = std::move(p).convertToFormat(wanted);
        return out;
    };
    for (;;) {
        if (isCancelled(options))
            return failure(cancelledMessage());
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
        switch (status) {
        case JXL_DEC_BASIC_INFO: {
            if (JxlDecoderGetBasicInfo(decoder, &info) != JXL_DEC_SUCCESS)
                return failure(damagedMessage());
            // Checked before libjxl is given anything to decode into.
            const QSize size = uprightSize(info);
            if (size.isEmpty())
                return failure(damagedMessage());
            if (!fitsBudget(size))
                return failure(tooLargeMessage(size));
            out.originalSize = size;
            out.bitsPerPixel = int(info.bits_per_sample) *
                               int(info.num_color_channels + (info.alpha_bits ? 1 : 0));
            break;
        }
        case JXL_DEC_COLOR_ENCODING:
            out.iccProfile = pixelProfile(decoder);
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            // Three bytes a pixel when there is no alpha: less for libjxl to
            // write.
            format.num_channels = info.alpha_bits ? 4 : 3;
            page = QImage(out.originalSize,
                          info.alpha_bits ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
            size_t needed = 0;
            if (page.isNull() ||
                JxlDecoderImageOutBufferSize(decoder, &format, &needed) != JXL_DEC_SUCCESS ||
                needed != size_t(page.sizeInBytes()))
                return failure(page.isNull() ? tooLargeMessage(out.originalSize)
                                             : damagedMessage());
            if (JxlDecoderSetImageOutBuffer(decoder, &format, page.bits(), needed) !=
                JXL_DEC_SUCCESS)
                return failure(damagedMessage());
            break;
        }
        case JXL_DEC_FRAME_PROGRESSION:
            if (!page.isNull() && enoughFor(JxlDecoderGetIntendedDownsamplingRatio(decoder)) &&
                JxlDecoderFlushImage(decoder) == JXL_DEC_SUCCESS)
                return finish();
            break;
        case JXL_DEC_FULL_IMAGE:
        case JXL_DEC_SUCCESS:
            return finish();
        case JXL_DEC_NEED_MORE_INPUT:
            return failure(damagedMessage()); // all input was given: the file ends early
        default:
            return failure(damagedMessage());
        }
    }
}

} // namespace lumora::imaging
