#include "explorer/ThumbnailCacheSetting.h"

#include "settings/SettingKeys.h"

namespace lumora
{

bool thumbnailCacheWritingAllowed(platform::RegistryStore *store)
{
    return settings::readBoolSetting(store, settings::kThumbnailCache, true);
}

} // namespace lumora
