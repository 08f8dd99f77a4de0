#include "explorer/ThumbnailCacheSetting.h"

#include "settings/CRegister.h"

namespace lumora
{

bool thumbnailCacheWritingAllowed(platform::RegistryStore *store)
{
    if (!store)
        return true;
    settings::CRegister reg(*store);
    const QString text = reg.REGGetSetting(
        platform::HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings\\"),
        QString::fromLatin1(kThumbnailCacheValue), QStringLiteral("-1"));
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return !ok || n != 0;
}

} // namespace lumora
