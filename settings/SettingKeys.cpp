#include "settings/SettingKeys.h"

#include "settings/CRegister.h"

namespace lumora::settings
{

bool parseBool(const QString &text, bool fallback)
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

QString readSetting(platform::RegistryStore *store, const char *name, const QString &fallback)
{
    if (!store)
        return fallback;
    CRegister reg(*store);
    return reg.REGGetSetting(platform::HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey),
                             QString::fromLatin1(name), fallback);
}

bool readBoolSetting(platform::RegistryStore *store, const char *name, bool fallback)
{
    return parseBool(readSetting(store, name, QString()), fallback);
}

void writeSetting(platform::RegistryStore *store, const char *name, const QString &value)
{
    if (!store)
        return;
    CRegister reg(*store);
    reg.REGSaveSetting(platform::HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey),
                       QString::fromLatin1(name), value);
}

} // namespace lumora::settings
