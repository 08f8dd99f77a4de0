#include "settings/CRegister.h"

namespace lumora::settings
{

using platform::RegAccess;
using platform::RegResult;

namespace
{

QString valueName(const QString &sKey)
{
    return sKey == QLatin1String("*") ? QString() : sKey;
}

bool isSeparator(QChar c)
{
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

} // namespace

QString CRegister::TrimSlashes(const QString &path)
{
    QString s = path;
    if (!s.isEmpty() && isSeparator(s.front()))
        s.remove(0, 1);
    if (!s.isEmpty() && isSeparator(s.back()))
        s.chop(1);
    return s;
}

QString CRegister::REGGetSetting(std::uint32_t regHKEY, const QString &sSection,
                                 const QString &sKey, const QString &sDefault)
{
    const auto root = platform::registryRootFromHandle(regHKEY);
    if (!root)
        return sDefault;
    const QString section = TrimSlashes(sSection);
    RegResult opened = m_store.openKey(*root, section, RegAccess::All);
    // Without write access (a read-only store) the key is still read.
    if (opened == RegResult::AccessDenied)
        opened = m_store.openKey(*root, section, RegAccess::Read);
    if (opened != RegResult::Ok)
        return sDefault;
    platform::RegValue value;
    if (m_store.queryValue(*root, section, valueName(sKey), &value) != RegResult::Ok)
        return sDefault;
    if (value.data.isEmpty())
        return sDefault;
    return value.data;
}

bool CRegister::REGSaveSetting(std::uint32_t regHKEY, const QString &sSection, const QString &sKey,
                               const QString &sValue)
{
    const auto root = platform::registryRootFromHandle(regHKEY);
    if (!root)
        return false;
    const QString section = TrimSlashes(sSection);
    if (m_store.createKey(*root, section) != RegResult::Ok)
        return false;
    return m_store.setValue(*root, section, valueName(sKey), {sValue, platform::RegSz}) ==
           RegResult::Ok;
}

bool CRegister::REGDeleteSetting(std::uint32_t regHKEY, const QString &sSection,
                                 const QString &sKey)
{
    const auto root = platform::registryRootFromHandle(regHKEY);
    if (!root)
        return false;
    if (sKey.isEmpty()) {
        if (m_store.openKey(*root, QString(), RegAccess::All) != RegResult::Ok)
            return false;
        return m_store.deleteKey(*root, sSection) == RegResult::Ok;
    }
    const QString section = TrimSlashes(sSection);
    if (m_store.openKey(*root, section, RegAccess::All) != RegResult::Ok)
        return false;
    return m_store.deleteValue(*root, section, valueName(sKey)) == RegResult::Ok;
}

QStringList CRegister::GetAllKeys(std::uint32_t HKEY, const QString &strPath)
{
    QStringList names;
    const auto root = platform::registryRootFromHandle(HKEY);
    if (!root || m_store.subKeys(*root, strPath, &names) != RegResult::Ok)
        return {};
    return names;
}

} // namespace lumora::settings
