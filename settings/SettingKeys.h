#pragma once

#include <QString>

namespace lumora::platform
{
class RegistryStore;
}

namespace lumora::settings
{

// Every stored setting of the program lives under this key of HKEY_LOCAL_MACHINE;
// the names below are the values there. New settings get a name here, so the
// same text is never typed twice.
inline constexpr const char *kSettingsKey = "SOFTWARE\\Quorvane\\Lumora Settings\\";
inline constexpr const char *kAntiAlias = "AntiAlias";
inline constexpr const char *kSlideShowDelay = "Slide Show Delay";
inline constexpr const char *kFullScreen = "FullScreen";
inline constexpr const char *kThumbnailCache = "Thumbnail Cache";
inline constexpr const char *kMoreImageTypes = "More Image Types";
// "0" shows pictures with their embedded profiles ignored (default on).
inline constexpr const char *kColourManagement = "Colour Management";

// The one reading of a stored boolean: any number text is true unless it is
// zero ("-1", "1", "2" true, "0" false), "True"/"False" in any case; anything
// else gives the fallback.
bool parseBool(const QString &text, bool fallback);

// A value under the settings key; the fallback when the store or the value is
// missing. Writes fail silently, as every settings write does.
QString readSetting(platform::RegistryStore *store, const char *name, const QString &fallback);
bool readBoolSetting(platform::RegistryStore *store, const char *name, bool fallback);
void writeSetting(platform::RegistryStore *store, const char *name, const QString &value);

} // namespace lumora::settings
