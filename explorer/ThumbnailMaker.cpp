#include "explorer/ThumbnailMaker.h"

#include "explorer/ExtensionFilter.h"
#include "explorer/ThumbnailShape.h"
#include "imaging/ColourManagement.h"
#include "imaging/DamageNote.h"
#include "imaging/Decoder.h"

#include <cmath>
#include <optional>

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

// Decodes the first page into `d`; the result to hand back instead when it
// was cancelled or failed.
static std::optional<ThumbnailResult> decodeFirstPage(const QString &path, const QSize &box,
                                                      const std::atomic_bool *cancel,
                                                      const QString &fallbackError,
                                                      imaging::DecodedImage &d)
{
    imaging::DecodeOptions opt;
    opt.scaledSize = box;
    opt.allPages = false;
    opt.cancel = cancel;
    d = imaging::decodeFile(path, opt);
    if (cancel && cancel->load())
        return ThumbnailResult{QImage(), kCancelled};
    if (!d.ok())
        return ThumbnailResult{QImage(), d.error.isEmpty() ? fallbackError : d.error};
    return std::nullopt;
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
    // The decoder fits its result inside this box; 140 wide by 140 x 1.8 tall
    // is never smaller than any of the three shapes needs (a portrait photo
    // becomes 140 x 187), so nothing is ever scaled up afterwards.
    const QSize box(kThumbSide, int(std::ceil(kThumbSide * kLongRatio)));
    imaging::DecodedImage d;
    if (auto failed =
            decodeFirstPage(path, box, cancel, QStringLiteral("The image could not be read."), d))
        return *failed;
    // Thumbnails are sRGB, like the cache's PNGs: converted at this small size
    // it costs next to nothing.
    const QImage page = imaging::colour::forSrgb(d.pages.first(), d.iccProfile);
    const QSize original = d.originalSize.isEmpty() ? page.size() : d.originalSize;
    QImage thumb = shapeThumbnail(page, original);
    if (thumb.isNull())
        return {QImage(), QStringLiteral("The image has no size.")};
    // With a picture, the text is its tooltip: the note that it is damaged.
    return {thumb, d.damaged() ? imaging::damageNote(d.damage) : QString()};
}

ThumbnailResult makeThumbnail(const QString &path, const std::atomic_bool *cancel)
{
    if (cancel && cancel->load())
        return {QImage(), kCancelled};
    return usesPictureRoute(path) ? loadPictureThumbnail(path, cancel)
                                  : decodeShapedThumbnail(path, cancel);
}

} // namespace lumora
