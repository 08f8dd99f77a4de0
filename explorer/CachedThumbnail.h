#pragma once

#include "explorer/ThumbnailMaker.h"

#include <atomic>
#include <memory>

namespace lumora
{

class ThumbnailCache;
struct CacheSource;
struct CacheWork;

// A grid thumbnail that looks in the desktop's cache before decoding: a
// current large thumbnail is scaled into the grid's shape, a current failure
// record gives its reason without decoding. On a miss the file is decoded;
// with `prepareWrite` it is decoded at the large size and the result carries
// what the cache should receive (written later, after the grid has it).
// Icons, cursors and DIBs keep their own route and are not cached.
struct CachedResult {
    ThumbnailResult result;
    // What the disk cache should receive once the grid has the picture.
    std::shared_ptr<CacheWork> toCache;
};
CachedResult cachedThumbnail(const QString &path, const ThumbnailCache &cache, bool prepareWrite,
                             const std::atomic_bool *cancel = nullptr);

// The grid's shape made from a large thumbnail of a picture of `original` pixels.
QImage shapeFromLarge(const QImage &large, QSize original);

// Decodes a file for the cache alone (the writer's second chance when the
// picture was not kept); null when it was cancelled or the file is damaged
// (what it holds is shown, never cached).
std::shared_ptr<CacheWork> decodeForCache(const CacheSource &source,
                                          const std::atomic_bool *cancel);

} // namespace lumora
