#include "viewer/ViewerSettings.h"

#include "settings/CRegister.h"

#include <cmath>

namespace lumora
{

bool settingBool(const QString &text, bool fallback)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? v != 0 : fallback;
}

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
    ViewerSettingsValues v;
    if (!store)
        return v;
    settings::CRegister reg(*store);
    const QString key = QString::fromLatin1(kSettingsKey);
    v.antiAlias = settingBool(reg.REGGetSetting(platform::HKEY_LOCAL_MACHINE, key,
                                                QStringLiteral("AntiAlias"), QStringLiteral("1")),
                              true);
    v.slideShowDelay =
        settingDelay(reg.REGGetSetting(platform::HKEY_LOCAL_MACHINE, key,
                                       QStringLiteral("Slide Show Delay"), QStringLiteral("2000")),
                     2000);
    v.fullScreen = settingBool(reg.REGGetSetting(platform::HKEY_LOCAL_MACHINE, key,
                                                 QStringLiteral("FullScreen"), QStringLiteral("1")),
                               true);
    return v;
}

void saveViewerSetting(platform::RegistryStore *store, const QString &name, const QString &value)
{
    if (!store)
        return;
    settings::CRegister reg(*store);
    reg.REGSaveSetting(platform::HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), name,
                       value);
}

} // namespace lumora
