#pragma once

#include <QString>

#include <optional>

namespace lumora::platform
{
class RegistryStore;
}

namespace lumora
{

// The viewer's three stored settings and how their texts are read.
struct ViewerSettingsValues {
    bool antiAlias = true;
    int slideShowDelay = 2000; // ms, 0..65535
    bool fullScreen = true;
};

// A whole number of milliseconds the timer accepts, else the fallback.
int settingDelay(const QString &text, int fallback);
// The delay prompt's answer: a number rounded halves-to-even within 0..65535,
// or nothing (empty, not numeric, out of range).
std::optional<int> parseDelayAnswer(const QString &answer);

// Reads all three (defaults when the store is missing or a value absent).
ViewerSettingsValues loadViewerSettings(platform::RegistryStore *store);
// name is one of the value names of settings/SettingKeys.h.
void saveViewerSetting(platform::RegistryStore *store, const char *name, const QString &value);

} // namespace lumora
