#include "explorer/ExtensionFilterSetting.h"

#include "settings/SettingKeys.h"

namespace lumora
{

bool moreImageTypesListed(platform::RegistryStore *store)
{
    return settings::readBoolSetting(store, settings::kMoreImageTypes, true);
}

} // namespace lumora
