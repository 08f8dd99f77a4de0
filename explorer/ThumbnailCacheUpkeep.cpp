#include "explorer/ThumbnailCacheUpkeep.h"

#include "explorer/ThumbnailCache.h"
#include "platform/MountKind.h"

namespace lumora
{

ThumbnailCacheUpkeep::ThumbnailCacheUpkeep(std::unique_ptr<platform::FileOperations> inner,
                                           std::shared_ptr<const ThumbnailCache> cache,
                                           bool writing)
    : m_inner(std::move(inner)), m_cache(std::move(cache)), m_writing(writing)
{
}

ThumbnailCacheUpkeep::~ThumbnailCacheUpkeep() = default;

int ThumbnailCacheUpkeep::perform(const platform::FileOpRequest &request,
                                  platform::FileOpQuestions &questions,
                                  platform::FileOpResult *result)
{
    platform::FileOpResult own;
    platform::FileOpResult &r = result ? *result : own;
    const int rc = m_inner->perform(request, questions, &r);
    if (!m_writing)
        return rc;
    // Whatever was done counts, also when a later file failed.
    using F = platform::FileOpRequest;
    for (qsizetype i = 0; i < r.done.size(); ++i) {
        if (request.function == F::Delete)
            m_cache->forget(r.done[i]);
        else if ((request.function == F::Move || request.function == F::Rename) &&
                 i < r.targets.size())
            m_cache->moveEntry(r.done[i], r.targets[i]);
    }
    return rc;
}

std::unique_ptr<platform::FileOperations>
withThumbnailCacheUpkeep(std::unique_ptr<platform::FileOperations> inner, bool writing)
{
    return std::make_unique<ThumbnailCacheUpkeep>(
        std::move(inner),
        std::make_shared<ThumbnailCache>(ThumbnailCache::defaultRoot(),
                                         platform::createMountKind()),
        writing);
}

} // namespace lumora
