#pragma once

#include "base/Result.h"

#include <QString>

#include <memory>

namespace lumora::platform
{

// Tells the running desktop to show an image file as its wallpaper.
class WallpaperSetter
{
public:
    virtual ~WallpaperSetter() = default;
    // ok only when the desktop accepted it; never a guess.
    virtual Result<> setWallpaper(const QString &imagePath) = 0;
};

// The setter for the desktop this process runs on.
std::unique_ptr<WallpaperSetter> createWallpaperSetter();

} // namespace lumora::platform
