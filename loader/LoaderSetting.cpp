#include "loader/LoaderSetting.h"

#include "loader/LoaderClient.h"
#include "settings/CRegister.h"

namespace lumora::loader
{

int decoderTimeLimitMs(platform::RegistryStore *store)
{
    if (!store)
        return kDefaultTimeLimitMs;
    settings::CRegister reg(*store);
    const QString text = reg.REGGetSetting(platform::HKEY_LOCAL_MACHINE,
                                           QStringLiteral("SOFTWARE\\Quorvane\\Lumora Settings\\"),
                                           QString::fromLatin1(kDecoderTimeLimitValue), QString());
    bool ok = false;
    const int seconds = text.trimmed().toInt(&ok);
    // A day is more than any file needs and keeps the product in range.
    return ok && seconds > 0 ? std::min(seconds, 86400) * 1000 : kDefaultTimeLimitMs;
}

} // namespace lumora::loader
