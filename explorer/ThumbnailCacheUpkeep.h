#pragma once

#include "platform/FileOperations.h"

#include <memory>

namespace lumora
{

class ThumbnailCache;

// The program's own file operations, followed by the thumbnail cache: a
// deleted file's thumbnail and failure record go with it, and a moved or
// renamed file takes them to its new name (as the Thumbnail Managing
// Standard asks of a program that moves and deletes files), so nothing is
// left behind under a name that no file has any more. Copies need nothing:
// a copy is a file of its own and gets its thumbnail when it is seen.
// With writing to the cache turned off ("Thumbnail Cache" 0) the cache is
// left exactly as it is.
class ThumbnailCacheUpkeep : public platform::FileOperations
{
public:
    ThumbnailCacheUpkeep(std::unique_ptr<platform::FileOperations> inner,
                         std::shared_ptr<const ThumbnailCache> cache, bool writing = true);
    ~ThumbnailCacheUpkeep() override;

    int perform(const platform::FileOpRequest &request, platform::FileOpQuestions &questions,
                platform::FileOpResult *result = nullptr) override;

private:
    std::unique_ptr<platform::FileOperations> m_inner;
    std::shared_ptr<const ThumbnailCache> m_cache;
    bool m_writing;
};

// The service for this platform with the desktop's cache kept in step.
std::unique_ptr<platform::FileOperations>
withThumbnailCacheUpkeep(std::unique_ptr<platform::FileOperations> inner, bool writing);

} // namespace lumora
