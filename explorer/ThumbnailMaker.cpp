#include "explorer/ThumbnailMaker.h"

#include "explorer/ExtensionFilter.h"
#include "explorer/ThumbnailShape.h"
#include "imaging/Decoder.h"

#include <cmath>

namespace lumora {

namespace {
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

ThumbnailResult loadPictureThumbnail(const QString &path, const std::atomic_bool *cancel)
{
    imaging::DecodeOptions opt;
    opt.allPages = false;
    opt.cancel = cancel;
    const imaging::DecodedImage d = imaging::decodeFile(path, opt);
    if (cancel && cancel->load())
        return {QImage(), kCancelled};
    if (!d.ok())
        return {QImage(), d.error.isEmpty() ? QStringLiteral("The picture could not be loaded.")
                                            : d.error};
    return {compact(d.pages.first()), QString()};
}

ThumbnailResult decodeShapedThumbnail(const QString &path, const std::atomic_bool *cancel)
{
    imaging::DecodeOptions opt;
    // The decoder fits its result inside this box; 140 wide by 140 x 1.8 tall
    // is never smaller than any of the three shapes needs (a portrait photo
    // becomes 140 x 187), so nothing is ever scaled up afterwards.
    opt.scaledSize = QSize(kThumbSide, int(std::ceil(kThumbSide * kLongRatio)));
    opt.allPages = false;
    opt.cancel = cancel;
    const imaging::DecodedImage d = imaging::decodeFile(path, opt);
    if (cancel && cancel->load())
        return {QImage(), kCancelled};
    if (!d.ok())
        return {QImage(), d.error.isEmpty() ? QStringLiteral("The image could not be read.")
                                            : d.error};
    const QImage &page = d.pages.first();
    const QSize original = d.originalSize.isEmpty() ? page.size() : d.originalSize;
    QImage thumb = shapeThumbnail(page, original);
    if (thumb.isNull())
        return {QImage(), QStringLiteral("The image has no size.")};
    return {thumb, QString()};
}

ThumbnailResult makeThumbnail(const QString &path, const std::atomic_bool *cancel)
{
    if (cancel && cancel->load())
        return {QImage(), kCancelled};
    return usesPictureRoute(path) ? loadPictureThumbnail(path, cancel)
                                  : decodeShapedThumbnail(path, cancel);
}

} // namespace lumora
