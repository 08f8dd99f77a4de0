#pragma once

#include <QByteArray>

#include <memory>

namespace lumora::platform
{

// The colour profile the display publishes, so what is shown can be
// converted to it. One implementation per windowing system; "none" means
// the screen is taken as sRGB.
class DisplayProfile
{
public:
    virtual ~DisplayProfile() = default;
    // The ICC profile's bytes, or empty when the display publishes none.
    virtual QByteArray iccProfile() const = 0;
};

// The profile of the screen the program runs on: the X server's
// _ICC_PROFILE on the root window under X11, nothing elsewhere (offscreen,
// Wayland without a colour protocol).
std::unique_ptr<DisplayProfile> createDisplayProfile();

} // namespace lumora::platform
