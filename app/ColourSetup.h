#pragma once

namespace lumora
{
namespace platform
{
class DisplayProfile;
class RegistryStore;
} // namespace platform

// Colour management as the settings and the screen have it: whether it is on
// ("Colour Management", default on) and the display's profile, asked once.
void setUpColourManagement(platform::RegistryStore *store, const platform::DisplayProfile &display);

} // namespace lumora
