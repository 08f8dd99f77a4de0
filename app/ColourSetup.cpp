#include "app/ColourSetup.h"

#include "imaging/ColourManagement.h"
#include "platform/DisplayProfile.h"
#include "settings/SettingKeys.h"

namespace lumora
{

void setUpColourManagement(platform::RegistryStore *store, const platform::DisplayProfile &display)
{
    const bool on = settings::readBoolSetting(store, settings::kColourManagement, true);
    imaging::colour::setManagementEnabled(on);
    imaging::colour::setScreenProfile(on ? display.iccProfile() : QByteArray());
}

} // namespace lumora
