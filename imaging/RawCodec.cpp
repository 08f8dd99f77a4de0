#include "imaging/Codec.h"
#include "imaging/DecodeSupport.h"
#include "imaging/PhotoCodecs.h"

#include <libraw/libraw.h>

#include <QBuffer>
#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QStringList>
#include <QTransform>

#include <memory>

namespace lumora::imaging
{

namespace
{

using namespace support;

struct ProcessedFree {
    void operator()(libraw_processed_image_t *p) const { LibRaw::dcraw_clear_mem(p); }
};

int progress(void *data, LibRaw_progress, int, int)
{
    const auto *options = static_cast<const DecodeOptions *>(data);
    return isCancelled(*options) ? 1 : 0; // non-zero stops LibRaw
}

// LibRaw's flip (dcraw's code): 3 half a turn, 5 a quarter turn
// anticlockwise, 6 a quarter turn clockwise.
QImage upright(const QImage &image, int flip)
{
    QTransform turn;
    switch (flip) {
    case 3:
        turn.rotate(180);
        break;
    case 5:
        turn.rotate(270);
        break;
    case 6:
        turn.rotate(90);
        break;
    default:
        return image;
    }
    return image.transformed(turn);
}

QSize developedSize(const libraw_data_t &data)
{
    const QSize size(data.sizes.width, data.sizes.height);
    return data.sizes.flip & 4 ? size.transposed() : size;
}

// The camera's own preview, turned as the camera was held. Its orientation
// tag, if the preview has one, is not read: the RAW file's is the one that
// counts, and applying both would turn it twice.
QImage embeddedPreview(LibRaw &raw, const QSize &box)
{
    if (raw.unpack_thumb() != LIBRAW_SUCCESS)
        return {};
    const libraw_thumbnail_t &thumb = raw.imgdata.thumbnail;
    if (!thumb.thumb || thumb.tlength == 0)
        return {};
    QImage image;
    if (thumb.tformat == LIBRAW_THUMBNAIL_JPEG) {
        QBuffer buffer;
        buffer.setData(QByteArray::fromRawData(thumb.thumb, int(thumb.tlength)));
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "jpeg");
        reader.setAutoTransform(false);
        const QSize stored = reader.size();
        if (stored.isValid() && box.isValid())
            reader.setScaledSize(targetSize(stored, box.transposed().expandedTo(box)));
        image = reader.read();
    } else if (thumb.tformat == LIBRAW_THUMBNAIL_BITMAP && thumb.tcolors == 3 &&
               qint64(thumb.twidth) * thumb.theight * 3 <= qint64(thumb.tlength)) {
        image = QImage(reinterpret_cast<const uchar *>(thumb.thumb), thumb.twidth, thumb.theight,
                       thumb.twidth * 3, QImage::Format_RGB888)
                    .convertToFormat(QImage::Format_RGB32);
    }
    if (image.isNull())
        return {};
    return upright(image.convertToFormat(QImage::Format_RGB32), raw.imgdata.sizes.flip);
}

QImage developed(LibRaw &raw, bool half, QString *error)
{
    libraw_output_params_t &params = raw.imgdata.params;
    params.use_camera_wb = 1; // the white balance the photographer saw
    params.output_bps = 8;
    params.half_size = half ? 1 : 0;
    params.use_auto_wb = 0;
    if (raw.unpack() != LIBRAW_SUCCESS || raw.dcraw_process() != LIBRAW_SUCCESS) {
        *error = damagedMessage();
        return {};
    }
    int code = 0;
    std::unique_ptr<libraw_processed_image_t, ProcessedFree> processed(
        raw.dcraw_make_mem_image(&code));
    if (!processed || processed->type != LIBRAW_IMAGE_BITMAP || processed->bits != 8 ||
        (processed->colors != 3 && processed->colors != 1)) {
        *error = damagedMessage();
        return {};
    }
    const int channels = processed->colors;
    // Already turned by the camera's orientation: LibRaw flips while it copies out.
    const QImage view(processed->data, processed->width, processed->height,
                      processed->width * channels,
                      channels == 3 ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    QImage page = view.convertToFormat(QImage::Format_RGB32);
    if (page.isNull())
        *error = tooLargeMessage(QSize(processed->width, processed->height));
    return page;
}

bool looksRaw(const QByteArray &h)
{
    return h.startsWith(QByteArray("II*\0", 4)) || h.startsWith(QByteArray("MM\0*", 4)) ||
           h.startsWith("FUJIFILMCCD-RAW") || h.startsWith("IIRO") || h.startsWith("IIRS") ||
           h.startsWith("MMOR") || h.startsWith(QByteArray("IIU\0", 4));
}

const QStringList &rawExtensions()
{
    static const QStringList names = QString::fromLatin1(kRawExtensions).split(QLatin1Char(' '));
    return names;
}
} // namespace

bool isPhotoExtension(const QString &extension)
{
    static const QStringList names =
        QString::fromLatin1(kNewPhotoExtensions).split(QLatin1Char(' '));
    const QString lower = extension.toLower();
    return names.contains(lower) || rawExtensions().contains(lower);
}

bool isCameraRaw(const QByteArray &h, const QString &suffix)
{
    return rawExtensions().contains(suffix) && looksRaw(h);
}

DecodedImage decodeRaw(QIODevice &device, const FormatSpec &, const DecodeOptions &options)
{
    QByteArray bytes = device.readAll();
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPTIONS_NONE);
    raw->set_progress_handler(progress, const_cast<DecodeOptions *>(&options));
    if (raw->open_buffer(bytes.data(), size_t(bytes.size())) != LIBRAW_SUCCESS)
        return failure(damagedMessage());
    const QSize full = developedSize(raw->imgdata);
    if (full.isEmpty())
        return failure(damagedMessage());
    // LibRaw develops in 16-bit samples, four to a pixel: eight bytes a
    // pixel is what the picture costs while it is made.
    const QSize rawSize(raw->imgdata.sizes.raw_width, raw->imgdata.sizes.raw_height);
    if (!fitsBudget(full, 64) || !fitsBudget(rawSize, 16))
        return failure(tooLargeMessage(full));

    DecodedImage out;
    out.format = FormatCode::Raw;
    out.originalSize = full;
    out.bitsPerPixel = 3 * qMax(8, int(raw->imgdata.color.raw_bps));
    const bool thumbnail = options.scaledSize.isValid() && !options.scaledSize.isEmpty();
    QImage page;
    if (thumbnail)
        page = embeddedPreview(*raw, options.scaledSize);
    QString error;
    // Even lossy RAW files keep more than half a bit a pixel: less means the
    // sensor data is missing (cut off or stripped), and LibRaw would develop
    // whatever lies past the end into a full-size picture of nothing.
    const qint64 sensorPixels = qint64(rawSize.width()) * rawSize.height();
    if (page.isNull() && bytes.size() < sensorPixels / 16)
        return failure(damagedMessage());
    if (page.isNull() && !isCancelled(options)) {
        // No preview (or a broken one): develop, at half size for a thumbnail.
        const QSize wanted = targetSize(full, options.scaledSize);
        const bool half =
            thumbnail && wanted.width() * 2 <= full.width() && wanted.height() * 2 <= full.height();
        page = developed(*raw, half, &error);
    }
    if (isCancelled(options))
        return failure(cancelledMessage());
    if (page.isNull())
        return failure(error.isEmpty() ? damagedMessage() : error);
    out.pages.append(page);
    scalePages(out, options);
    return out;
}

} // namespace lumora::imaging
