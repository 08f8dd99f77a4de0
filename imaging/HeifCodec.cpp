#include "imaging/Codec.h"
#include "imaging/ColourManagement.h"
#include "imaging/DecodeSupport.h"
#include "imaging/FormatBytes.h"
#include "imaging/PhotoCodecs.h"

#include <libheif/heif.h>

#include <QIODevice>
#include <QImage>

#include <cstring>
#include <memory>
#include <vector>

namespace lumora::imaging
{

namespace
{

using namespace support;

struct ContextFree {
    void operator()(heif_context *c) const { heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle *h) const { heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image *i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options *o) const { heif_decoding_options_free(o); }
};
using Handle = std::unique_ptr<heif_image_handle, HandleFree>;

enum class Family { None, Heic, Avif };

// The brands of the file-type box: the major one, then the compatible ones.
Family familyOf(const QByteArray &h)
{
    if (h.size() < 16 || h.mid(4, 4) != "ftyp")
        return Family::None;
    const quint32 boxSize = (quint32(bytes::u8(h, 0)) << 24) | (quint32(bytes::u8(h, 1)) << 16) |
                            (quint32(bytes::u8(h, 2)) << 8) | bytes::u8(h, 3);
    if (boxSize < 16 || boxSize > quint32(h.size()))
        return Family::None;
    const QByteArray major = h.mid(8, 4);
    QList<QByteArray> compatible;
    for (quint32 at = 16; at + 4 <= boxSize; at += 4)
        compatible.append(h.mid(at, 4));
    static const QList<QByteArray> avif{"avif", "avis"};
    static const QList<QByteArray> heic{"heic", "heix", "heim", "heis", "hevc", "hevx"};
    if (avif.contains(major))
        return Family::Avif;
    if (heic.contains(major))
        return Family::Heic;
    if (major != "mif1" && major != "msf1" && !compatible.contains("mif1"))
        return Family::None; // an MP4 video, a QuickTime movie, ...
    for (const QByteArray &brand : compatible) {
        if (avif.contains(brand))
            return Family::Avif;
        if (heic.contains(brand))
            return Family::Heic;
    }
    return major == "mif1" || major == "msf1" ? Family::Heic : Family::None;
}

QString heifMessage(const heif_error &error)
{
    if (error.code == heif_error_Unsupported_feature ||
        error.code == heif_error_Unsupported_filetype)
        return QStringLiteral("The image uses a HEIF feature this program cannot decode (%1).")
            .arg(QString::fromUtf8(error.message));
    return damagedMessage();
}

// A smaller picture the file keeps beside the main one, when it is at least
// as large as the thumbnail wanted: phones store one, and decoding it costs
// a fraction of the photo.
Handle storedThumbnail(heif_image_handle *primary, const QSize &wanted)
{
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0 || wanted.isEmpty())
        return {};
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    Handle best;
    for (const heif_item_id id : ids) {
        heif_image_handle *candidate = nullptr;
        if (heif_image_handle_get_thumbnail(primary, id, &candidate).code != heif_error_Ok)
            continue;
        Handle owned(candidate);
        const QSize size(heif_image_handle_get_width(candidate),
                         heif_image_handle_get_height(candidate));
        if (size.width() < wanted.width() || size.height() < wanted.height())
            continue;
        if (!best || size.width() < heif_image_handle_get_width(best.get()))
            best = std::move(owned);
    }
    return best;
}

QImage pixelsOf(heif_image_handle *handle, const DecodeOptions &options, QString *error)
{
    const bool alpha = heif_image_handle_has_alpha_channel(handle);
    std::unique_ptr<heif_decoding_options, OptionsFree> decoding(heif_decoding_options_alloc());
    // Ten and twelve bits a sample are scaled to eight: the screen and every
    // writer of ours take eight.
    decoding->convert_hdr_to_8bit = 1;
    heif_image *raw = nullptr;
    const heif_error decoded = heif_decode_image(
        handle, &raw, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, decoding.get());
    std::unique_ptr<heif_image, ImageFree> image(raw);
    if (decoded.code != heif_error_Ok || !image) {
        *error = heifMessage(decoded);
        return {};
    }
    if (isCancelled(options)) {
        *error = cancelledMessage();
        return {};
    }
    const int width = heif_image_get_width(raw, heif_channel_interleaved);
    const int height = heif_image_get_height(raw, heif_channel_interleaved);
    int stride = 0;
    const uint8_t *plane = heif_image_get_plane_readonly(raw, heif_channel_interleaved, &stride);
    if (!plane || width <= 0 || height <= 0) {
        *error = damagedMessage();
        return {};
    }
    const QImage view(plane, width, height, stride,
                      alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    QImage page = view.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (page.isNull())
        *error = tooLargeMessage(QSize(width, height));
    return page;
}

QByteArray heifColourProfile(const heif_image_handle *handle)
{
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type == heif_color_profile_type_nclx) {
        // Code points instead of a profile (phones' P3 photos): the
        // equivalent profile, or none for sRGB.
        heif_color_profile_nclx *nclx = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok || !nclx)
            return {};
        const QByteArray icc = colour::profileFromNclx(int(nclx->color_primaries),
                                                       int(nclx->transfer_characteristics));
        heif_nclx_color_profile_free(nclx);
        return icc;
    }
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC)
        return {};
    QByteArray icc(qsizetype(heif_image_handle_get_raw_color_profile_size(handle)),
                   Qt::Uninitialized);
    if (icc.isEmpty() ||
        heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
        return {};
    return icc;
}

} // namespace

bool isHeif(const QByteArray &h, const QString &)
{
    return familyOf(h) == Family::Heic;
}

bool isAvif(const QByteArray &h, const QString &)
{
    return familyOf(h) == Family::Avif;
}

DecodedImage decodeHeif(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options)
{
    const QByteArray bytes = device.readAll();
    std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context)
        return failure(damagedMessage());
    // Grids of tiles decode two at a time: the loader has little room for more.
    heif_context_set_max_decoding_threads(context.get(), 2);
    const heif_error read = heif_context_read_from_memory_without_copy(
        context.get(), bytes.constData(), size_t(bytes.size()), nullptr);
    if (read.code != heif_error_Ok)
        return failure(heifMessage(read));
    // A collection shows its primary picture, the one the file says to show.
    heif_image_handle *primaryRaw = nullptr;
    const heif_error primaryError =
        heif_context_get_primary_image_handle(context.get(), &primaryRaw);
    if (primaryError.code != heif_error_Ok)
        return failure(heifMessage(primaryError));
    Handle primary(primaryRaw);

    // The size after the file's own rotation and mirroring (irot, imir),
    // which libheif applies; checked before a single pixel is decoded.
    const QSize full(heif_image_handle_get_width(primaryRaw),
                     heif_image_handle_get_height(primaryRaw));
    if (full.isEmpty())
        return failure(damagedMessage());
    if (!fitsBudget(full))
        return failure(tooLargeMessage(full));

    const QSize wanted = targetSize(full, options.scaledSize);
    Handle thumbnail = wanted != full ? storedThumbnail(primaryRaw, wanted) : Handle();
    QString error;
    QImage page = pixelsOf(thumbnail ? thumbnail.get() : primaryRaw, options, &error);
    if (page.isNull() && thumbnail) // a broken stored thumbnail: the photo itself
        page = pixelsOf(primaryRaw, options, &error);
    if (page.isNull())
        return failure(error.isEmpty() ? damagedMessage() : error);

    DecodedImage out;
    out.format = entry.code;
    out.originalSize = full;
    const int luma = heif_image_handle_get_luma_bits_per_pixel(primaryRaw);
    const bool alpha = heif_image_handle_has_alpha_channel(primaryRaw);
    out.bitsPerPixel = (luma > 0 ? luma : 8) * (alpha ? 4 : 3);
    out.iccProfile = heifColourProfile(primaryRaw);
    out.pages.append(page);
    scalePages(out, options);
    return out;
}

} // namespace lumora::imaging
