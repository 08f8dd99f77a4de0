#include "explorer/CachedThumbnail.h"

#include "explorer/ThumbnailCache.h"
#include "explorer/ThumbnailCacheWriter.h"
#include "explorer/ThumbnailShape.h"
#include "imaging/DamageNote.h"
#include "imaging/Decoder.h"

#include <algorithm>

namespace lumora
{

namespace
{

// The large size (256) is never smaller than any of the grid's three shapes
// needs, and for JPEG it costs the same reduced-scale decode as the grid's
// own size, so one decode serves both the grid and the cache.
const QSize kLargeBox(ThumbnailCache::kLargeSide, ThumbnailCache::kLargeSide);

std::shared_ptr<CacheWork> workFor(const CacheSource &source, ThumbnailDecode &&d)
{
    auto w = std::make_shared<CacheWork>();
    w->source = source;
    if (d.page.isNull()) {
        w->failed = true;
        w->error = d.error;
    } else {
        // Three bytes a pixel while it waits for the writer, unless it has
        // transparency to keep.
        w->large = d.page.hasAlphaChannel() ? std::move(d.page)
                                            : d.page.convertToFormat(QImage::Format_RGB888);
        w->original = d.original;
    }
    return w;
}

} // namespace

QImage shapeFromLarge(const QImage &large, QSize original)
{
    return shapeThumbnail(large, original.isEmpty() ? large.size() : original);
}

// One way, each step once: cache lookup, decode at the thumbnail's size
// (the large one when the cache is to get it), shape, hand to the grid, and
// the cache write after the grid has shown it.
CachedResult cachedThumbnail(const QString &path, const ThumbnailCache &cache, bool prepareWrite,
                             const std::atomic_bool *cancel)
{
    if ((cancel && cancel->load()) || usesPictureRoute(path))
        return {makeThumbnail(path, cancel), nullptr};

    const std::optional<CacheSource> source = cache.describe(path);
    const CacheLookup found = source ? cache.lookup(*source) : CacheLookup{};
    if (found.state == CacheLookup::State::Hit) {
        QImage thumb = shapeFromLarge(found.image, found.original);
        if (!thumb.isNull())
            return {ThumbnailResult{thumb, QString()}, nullptr};
    } else if (found.state == CacheLookup::State::Failed) {
        return {ThumbnailResult{QImage(), found.error}, nullptr};
    }

    const bool write = prepareWrite && source && source->writable;
    ThumbnailDecode d = decodeForThumbnail(path, write ? kLargeBox : gridDecodeBox(), cancel);
    if (d.cancelled)
        return {ThumbnailResult{QImage(), QStringLiteral("cancelled")}, nullptr};

    QImage thumb = d.page.isNull() ? QImage() : shapeFromLarge(d.page, d.original);
    if (!d.page.isNull() && thumb.isNull()) {
        d.page = QImage();
        d.error = QStringLiteral("The image has no size.");
    }
    // A damaged file (a download still arriving, say) is not cached: its
    // thumbnail would lose the note that says so, and the file may yet be
    // completed under the same time stamp.
    if (!thumb.isNull() && !d.damage.isEmpty())
        return {ThumbnailResult{thumb, imaging::damageNote(d.damage)}, nullptr};
    const QString error = d.error;
    // A decoder that could not start or ran out of time says nothing about
    // the file: remembered as its failure, a good photo would stay a red
    // cross for good.
    const bool remember = write && !d.transient;
    return {ThumbnailResult{thumb, error}, remember ? workFor(*source, std::move(d)) : nullptr};
}

std::shared_ptr<CacheWork> decodeForCache(const CacheSource &source, const std::atomic_bool *cancel)
{
    ThumbnailDecode d = decodeForThumbnail(source.path, kLargeBox, cancel);
    if (d.cancelled || d.transient || (!d.page.isNull() && !d.damage.isEmpty()))
        return nullptr;
    return workFor(source, std::move(d));
}

} // namespace lumora
