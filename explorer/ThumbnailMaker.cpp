#include "explorer/ThumbnailMaker.h"

#include "explorer/ExtensionFilter.h"
#include "explorer/ThumbnailShape.h"
#include "imaging/ColourManagement.h"
#include "imaging/DamageNote.h"
#include "imaging/Decoder.h"

#include <cmath>

namespace lumora
{

namespace
{
const QString kCancelled = QStringLiteral("cancelled");

// A picture bigger than the grid's cell is never shown bigger; keeping it
// whole would only cost memory.
QImage compact(QImage img)
{
    if (img.width() > kThumbSide || img.height() > kThumbSide)
        img = img.scaled(kThumbSide, kThumbSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                     : QImage::Format_RGB888);
}
} // namespace

bool usesPictureRoute(const QString &path)
{
    return QStringLiteral("ico cur dib").contains(ExtensionFilter::extensionOf(path).toLower());
}

QSize gridDecodeBox()
{
    // 140 wide by 140 x 1.8 tall: a portrait photo becomes 140 x 187.
    return {kThumbSide, int(std::ceil(kThumbSide * kLongRatio))};
}

ThumbnailDecode decodeForThumbnail(const QString &path, QSize box, const std::atomic_bool *cancel)
{
    imaging::DecodeOptions opt;
    opt.scaledSize = box;
    opt.allPages = false;
    opt.cancel = cancel;
    const imaging::DecodedImage d = imaging::decodeFile(path, opt);
    ThumbnailDecode out;
    if (cancel && cancel->load()) {
        out.cancelled = true;
        return out;
    }
    if (!d.ok()) {
        out.error = d.error.isEmpty() ? QStringLiteral("The image could not be read.") : d.error;
        out.transient = d.transient;
        return out;
    }
    // Thumbnails are sRGB, like the cache's PNGs (which other programs take
    // as sRGB): converted at this small size it costs next to nothing.
    out.page = imaging::colour::forSrgb(d.pages.first(), d.iccProfile);
    out.damage = d.damage;
    out.original = d.originalSize.isEmpty() ? out.page.size() : d.originalSize;
    // Readers that draw (metafiles) may not keep to the box.
    if (out.page.width() > box.width() || out.page.height() > box.height())
        out.page = out.page.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (out.page.isNull())
        out.error = QStringLiteral("The image has no size.");
    return out;
}

ThumbnailResult loadPictureThumbnail(const QString &path, const std::atomic_bool *cancel)
{
    // An icon holds several sizes, the first often the smallest: the
    // thumbnail is made from the largest, as the preview shows.
    QString error;
    const QImage picture = imaging::loadPicture(path, &error);
    if (cancel && cancel->load())
        return {QImage(), kCancelled};
    if (picture.isNull())
        return {QImage(),
                error.isEmpty() ? QStringLiteral("The picture could not be loaded.") : error};
    return {compact(picture), QString()};
}

ThumbnailResult decodeShapedThumbnail(const QString &path, const std::atomic_bool *cancel)
{
    const ThumbnailDecode d = decodeForThumbnail(path, gridDecodeBox(), cancel);
    if (d.cancelled)
        return {QImage(), kCancelled};
    if (d.page.isNull())
        return {QImage(), d.error};
    QImage thumb = shapeThumbnail(d.page, d.original);
    if (thumb.isNull())
        return {QImage(), QStringLiteral("The image has no size.")};
    // With a picture, the text is its tooltip: the note that it is damaged.
    return {thumb, d.damage.isEmpty() ? QString() : imaging::damageNote(d.damage)};
}

ThumbnailResult makeThumbnail(const QString &path, const std::atomic_bool *cancel)
{
    if (cancel && cancel->load())
        return {QImage(), kCancelled};
    return usesPictureRoute(path) ? loadPictureThumbnail(path, cancel)
                                  : decodeShapedThumbnail(path, cancel);
}

} // namespace lumora
