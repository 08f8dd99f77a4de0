#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

namespace lumora::platform
{

// The three predefined root handles, with their Windows values so settings
// code can keep passing plain 32-bit numbers around.
enum class RegistryRoot : std::uint32_t {
    ClassesRoot = 0x80000000u,
    CurrentUser = 0x80000001u,
    LocalMachine = 0x80000002u,
};

inline constexpr std::uint32_t HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr std::uint32_t HKEY_CURRENT_USER = 0x80000001u;
inline constexpr std::uint32_t HKEY_LOCAL_MACHINE = 0x80000002u;

// std::nullopt for any number that is not one of the three roots.
std::optional<RegistryRoot> registryRootFromHandle(std::uint32_t handle);

// Value types keep the Windows numbers; the data itself is always text.
enum RegType : std::uint32_t {
    RegNone = 0,
    RegSz = 1,
    RegExpandSz = 2,
    RegBinary = 3,
    RegDword = 4,
    RegMultiSz = 7,
};

struct RegValue {
    QString data;
    std::uint32_t type = RegSz;
};

enum class RegResult {
    Ok,
    NotFound,     // key or value does not exist, or the path is malformed
    AccessDenied, // the store is open for reading only
    Failed,       // anything else (busy beyond the timeout, I/O error, ...)
};

enum class RegAccess { Read, All };

// A registry of keys and string values under three roots.
//
// Key paths are names separated by '\' (as on Windows; '/' is accepted too).
// The empty path is the root itself; a path with an empty component ("a\\b",
// a leading or trailing separator) names no key. Key and value names compare
// case-insensitively and keep the spelling they were first written with.
// The empty value name is the key's unnamed (default) value.
//
// Every call stands alone and is atomic.
class RegistryStore
{
public:
    virtual ~RegistryStore() = default;

    // Ok when the key exists and may be used with that access; AccessDenied
    // when it exists but only reading is allowed and All was asked for.
    virtual RegResult openKey(RegistryRoot root, const QString &path, RegAccess access) = 0;
    // Creates the key and any missing parents; Ok when it already exists.
    virtual RegResult createKey(RegistryRoot root, const QString &path) = 0;
    virtual RegResult queryValue(RegistryRoot root, const QString &path, const QString &name,
                                 RegValue *out) = 0;
    // The key must exist (create it first).
    virtual RegResult setValue(RegistryRoot root, const QString &path, const QString &name,
                               const RegValue &value) = 0;
    virtual RegResult deleteValue(RegistryRoot root, const QString &path, const QString &name) = 0;
    // Deletes the key with everything below it. The root itself cannot go.
    virtual RegResult deleteKey(RegistryRoot root, const QString &path) = 0;
    // Sub-key names in case-insensitive name order, spelled as first written.
    virtual RegResult subKeys(RegistryRoot root, const QString &path, QStringList *out) = 0;

    // False when the backing file could only be opened for reading.
    virtual bool isWritable() const = 0;
};

// $LUMORA_REGISTRY when set, else $XDG_CONFIG_HOME/lumora/registry.db.
QString defaultRegistryPath();
std::unique_ptr<RegistryStore> openDefaultRegistryStore();

} // namespace lumora::platform
