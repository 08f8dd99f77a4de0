#pragma once

#include <QString>

namespace lumora::platform
{

// Shell folder codes (CSIDL numbers) the program may ask for.
inline constexpr int CSIDL_DESKTOP = 0x0000;
inline constexpr int CSIDL_PERSONAL = 0x0005;
inline constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
inline constexpr int CSIDL_MYPICTURES = 0x0027;
inline constexpr int CSIDL_PROFILE = 0x0028;

// The folder for a shell folder code, without a trailing separator; "" for an
// unknown code or a folder that does not exist.
QString specialFolderPath(int csidl);

// Where wallpaper copies go: $XDG_DATA_HOME/lumora/wallpaper, made when
// missing. "" when it cannot be made.
QString wallpaperFolder();

// Hidden as the file managers see it: the name starts with a dot, or it is
// listed in the ".hidden" file of its folder.
bool isHiddenFile(const QString &path);

} // namespace lumora::platform
