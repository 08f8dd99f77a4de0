#include "explorer/CachedThumbnail.h"

#include "explorer/ThumbnailCache.h"
#include "explorer/ThumbnailCacheWriter.h"
#include "explorer/ThumbnailShape.h"
#include "imaging/ColourManagement.h"
#include "imaging/DamageNote.h"
#include "imaging/Decoder.h"

#include <algorithm>

namespace lumora
{

namespace
{

struct LargeDecode {
    QImage large;
    QSize original;
    QString error;
    QString damage; // the picture is what a damaged file held
    bool cancelled = false;
};

// One decode serves both the grid and the cache: the large size (256) is
// never smaller than any of the grid's three shapes needs, and for JPEG it
// costs the same reduced-scale decode as the grid's own size.
LargeDecode decodeLarge(const QString &path, const std::atomic_bool *cancel)
{
    imaging::DecodeOptions opt;
    opt.scaledSize = QSize(ThumbnailCache::kLargeSide, ThumbnailCache::kLargeSide);
    opt.allPages = false;
    opt.cancel = cancel;
    const imaging::DecodedImage d = imaging::decodeFile(path, opt);
    LargeDecode out;
    if (cancel && cancel->load()) {
        out.cancelled = true;
        return out;
    }
    if (!d.ok()) {
        out.error = d.error.isEmpty() ? QStringLiteral("The image could not be read.") : d.error;
        return out;
    }
    // The cache is shared with other programs, which take its PNGs as sRGB.
    out.large = imaging::colour::forSrgb(d.pages.first(), d.iccProfile);
    out.damage = d.damage;
    out.original = d.originalSize.isEmpty() ? out.large.size() : d.originalSize;
    if (std::max(out.large.width(), out.large.height()) > ThumbnailCache::kLargeSide)
        out.large = out.large.scaled(ThumbnailCache::kLargeSide, ThumbnailCache::kLargeSide,
                                     Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (out.large.isNull())
        out.error = QStringLiteral("The image has no size.");
    return out;
}

std::shared_ptr<CacheWork> workFor(const CacheSource &source, LargeDecode &&d)
{
    auto w = std::make_shared<CacheWork>();
    w->source = source;
    if (d.large.isNull()) {
        w->failed = true;
        w->error = d.error;
    } else {
        // Three bytes a pixel while it waits for the writer, unless it has
        // transparency to keep.
        w->large = d.large.hasAlphaChannel() ? std::move(d.large)
                                             : d.large.convertToFormat(QImage::Format_RGB888);
        w->original = d.original;
    }
    return w;
}

} // namespace

QImage shapeFromLarge(const QImage &large, QSize original)
{
    return shapeThumbnail(large, original.isEmpty() ? large.size() : original);
}

CachedResult cachedThumbnail(const QString &path, const ThumbnailCache &cache, bool prepareWrite,
                             const std::atomic_bool *cancel)
{
    if ((cancel && cancel->load()) || usesPictureRoute(path))
        return {makeThumbnail(path, cancel), nullptr};
    const std::optional<CacheSource> source = cache.describe(path);
    if (!source)
        return {makeThumbnail(path, cancel), nullptr};

    const CacheLookup found = cache.lookup(*source);
    if (found.state == CacheLookup::State::Hit) {
        QImage thumb = shapeFromLarge(found.image, found.original);
        if (!thumb.isNull())
            return {ThumbnailResult{thumb, QString()}, nullptr};
    } else if (found.state == CacheLookup::State::Failed) {
        return {ThumbnailResult{QImage(), found.error}, nullptr};
    }

    if (!prepareWrite || !source->writable)
        return {makeThumbnail(path, cancel), nullptr};

    LargeDecode d = decodeLarge(path, cancel);
    if (d.cancelled)
        return {ThumbnailResult{QImage(), QStringLiteral("cancelled")}, nullptr};
    QImage thumb = d.large.isNull() ? QImage() : shapeFromLarge(d.large, d.original);
    if (!d.large.isNull() && thumb.isNull()) {
        d.large = QImage();
        d.error = QStringLiteral("The image has no size.");
    }
    // A damaged file (a download still arriving, say) is not cached: its
    // thumbnail would lose the note that says so, and the file may yet be
    // completed under the same time stamp.
    if (!thumb.isNull() && !d.damage.isEmpty())
        return {ThumbnailResult{thumb, imaging::damageNote(d.damage)}, nullptr};
    const QString error = d.error;
    return {ThumbnailResult{thumb, error}, workFor(*source, std::move(d))};
}

std::shared_ptr<CacheWork> decodeForCache(const CacheSource &source, const std::atomic_bool *cancel)
{
    LargeDecode d = decodeLarge(source.path, cancel);
    if (d.cancelled || (!d.large.isNull() && !d.damage.isEmpty()))
        return nullptr;
    return workFor(source, std::move(d));
}

} // namespace lumora
