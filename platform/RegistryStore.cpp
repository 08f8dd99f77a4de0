#include "platform/RegistryStore.h"

#include "platform/SqliteRegistryStore.h"

#include <QStandardPaths>

namespace lumora::platform
{

std::optional<RegistryRoot> registryRootFromHandle(std::uint32_t handle)
{
    switch (handle) {
    case HKEY_CLASSES_ROOT:
        return RegistryRoot::ClassesRoot;
    case HKEY_CURRENT_USER:
        return RegistryRoot::CurrentUser;
    case HKEY_LOCAL_MACHINE:
        return RegistryRoot::LocalMachine;
    default:
        return std::nullopt;
    }
}

QString defaultRegistryPath()
{
    const QString overridden = qEnvironmentVariable("LUMORA_REGISTRY");
    if (!overridden.isEmpty())
        return overridden;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/lumora/registry.db");
}

std::unique_ptr<RegistryStore> openDefaultRegistryStore()
{
    return std::make_unique<SqliteRegistryStore>(defaultRegistryPath());
}

} // namespace lumora::platform
