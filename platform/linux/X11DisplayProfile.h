#pragma once

#include "platform/DisplayProfile.h"

namespace lumora::platform
{

// The ICC profile colour managers (colord, xiccd, dispwin) put on the X
// root window as the property _ICC_PROFILE, read once when asked.
class X11DisplayProfile : public DisplayProfile
{
public:
    QByteArray iccProfile() const override;
};

} // namespace lumora::platform
