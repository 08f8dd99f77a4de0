#pragma once

#include "platform/RegistryStore.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace lumora::settings
{

// String settings in the registry. Nothing here reports a failure: reads fall
// back to the caller's default, writes and deletions answer false. The value
// name "*" stands for a key's unnamed (default) value.
class CRegister
{
public:
    explicit CRegister(platform::RegistryStore &store) : m_store(store) {}

    // sKey empty: deletes the key sSection (untrimmed) with all below it.
    bool REGDeleteSetting(std::uint32_t regHKEY, const QString &sSection, const QString &sKey);
    // sDefault when the key or value is missing, empty or unreadable.
    QString REGGetSetting(std::uint32_t regHKEY, const QString &sSection, const QString &sKey,
                          const QString &sDefault);
    bool REGSaveSetting(std::uint32_t regHKEY, const QString &sSection, const QString &sKey,
                        const QString &sValue);
    // Names of the sub-keys of strPath (untrimmed); empty when it cannot be opened.
    QStringList GetAllKeys(std::uint32_t HKEY, const QString &strPath);

    // At most one leading, then at most one trailing separator removed.
    static QString TrimSlashes(const QString &path);

private:
    platform::RegistryStore &m_store;
};

} // namespace lumora::settings
