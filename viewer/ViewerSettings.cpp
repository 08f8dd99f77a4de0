#include "viewer/ViewerSettings.h"

#include "settings/SettingKeys.h"

#include <cmath>

namespace lumora
{

int settingDelay(const QString &text, int fallback)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return fallback;
    const double r = std::nearbyint(v);
    // The timer takes 0..65535; a delay the prompt accepted loads back as is.
    if (r < 0 || r > 65535)
        return fallback;
    return int(r);
}

std::optional<int> parseDelayAnswer(const QString &answer)
{
    bool ok = false;
    const double v = answer.trimmed().toDouble(&ok);
    if (answer.trimmed().isEmpty() || !ok || !std::isfinite(v))
        return std::nullopt;
    const double r = std::nearbyint(v); // halves to the even neighbour
    if (r < 0 || r > 65535)
        return std::nullopt;
    return int(r);
}

ViewerSettingsValues loadViewerSettings(platform::RegistryStore *store)
{
    using namespace settings;
    ViewerSettingsValues v;
    v.antiAlias = readBoolSetting(store, kAntiAlias, true);
    v.slideShowDelay =
        settingDelay(readSetting(store, kSlideShowDelay, QStringLiteral("2000")), 2000);
    v.fullScreen = readBoolSetting(store, kFullScreen, true);
    return v;
}

void saveViewerSetting(platform::RegistryStore *store, const char *name, const QString &value)
{
    settings::writeSetting(store, name, value);
}

} // namespace lumora
