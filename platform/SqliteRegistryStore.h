#pragma once

#include "platform/RegistryStore.h"

#include <QString>

#include <functional>
#include <mutex>

struct sqlite3;

namespace lumora::platform
{

// The registry kept in one SQLite file. Several processes may use the same
// file at once: WAL journal, every write in BEGIN IMMEDIATE, and a busy
// timeout so a writer waits for another instead of failing. A file that is
// not a database (or fails the quick check) is renamed to
// "<file>.corrupt-<timestamp>" and a new one is started; that is said once on
// stderr. A file or folder that refuses writing is opened for reading.
class SqliteRegistryStore : public RegistryStore
{
public:
    explicit SqliteRegistryStore(const QString &path, int busyTimeoutMs = 15000);
    ~SqliteRegistryStore() override;
    SqliteRegistryStore(const SqliteRegistryStore &) = delete;
    SqliteRegistryStore &operator=(const SqliteRegistryStore &) = delete;

    QString path() const { return m_path; }
    // False when the file could be neither opened nor rebuilt; every call
    // then fails and reads find nothing.
    bool isOpen() const { return m_db != nullptr; }
    // The name the unreadable file was moved to, empty when none was.
    QString setAsidePath() const { return m_setAsidePath; }

    RegResult openKey(RegistryRoot root, const QString &path, RegAccess access) override;
    RegResult createKey(RegistryRoot root, const QString &path) override;
    RegResult queryValue(RegistryRoot root, const QString &path, const QString &name,
                         RegValue *out) override;
    RegResult setValue(RegistryRoot root, const QString &path, const QString &name,
                       const RegValue &value) override;
    RegResult deleteValue(RegistryRoot root, const QString &path, const QString &name) override;
    RegResult deleteKey(RegistryRoot root, const QString &path) override;
    RegResult subKeys(RegistryRoot root, const QString &path, QStringList *out) override;
    bool isWritable() const override { return m_db != nullptr && m_writable; }

private:
    enum class Probe { Ok, Corrupt, CannotOpen };
    enum class Mode { ReadWrite, ReadOnly, Immutable };

    void open();
    Probe openIn(Mode mode);
    bool createSchema();
    bool setAside();
    void closeDb();
    RegResult findKey(RegistryRoot root, const QStringList &parts, long long *id);
    // Finds the key at `path` and runs `body` on its id inside one
    // transaction; a write is committed when `body` answers Ok.
    RegResult onKey(RegistryRoot root, const QString &path, bool write,
                    const std::function<RegResult(long long)> &body);

    QString m_path;
    int m_busyTimeoutMs;
    sqlite3 *m_db = nullptr;
    bool m_writable = false;
    QString m_setAsidePath;
    std::mutex m_mutex;
};

} // namespace lumora::platform
