#include "platform/SqliteRegistryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QUrl>

#include <sqlite3.h>

#include <cstdio>

namespace lumora::platform
{

namespace
{

// Prepared statement that finalizes itself.
class Stmt
{
public:
    Stmt(sqlite3 *db, const char *sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Stmt() { sqlite3_finalize(m_stmt); }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;

    int prepareCode() const { return m_rc; }
    void bind(int i, long long v) { sqlite3_bind_int64(m_stmt, i, v); }
    void bind(int i, const QString &s)
    {
        const QByteArray utf8 = s.toUtf8();
        sqlite3_bind_text(m_stmt, i, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    // SQLITE_ROW, SQLITE_DONE or an error code (also the prepare error).
    int step() { return m_rc == SQLITE_OK ? sqlite3_step(m_stmt) : m_rc; }
    long long int64(int col) const { return sqlite3_column_int64(m_stmt, col); }
    QString text(int col) const
    {
        const auto *p = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, col));
        return QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, col));
    }

private:
    sqlite3_stmt *m_stmt = nullptr;
    int m_rc = SQLITE_OK;
};

// A transaction that rolls back unless committed.
class Txn
{
public:
    Txn(sqlite3 *db, bool write) : m_db(db)
    {
        m_rc = sqlite3_exec(db, write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr, nullptr, nullptr);
    }
    ~Txn()
    {
        if (m_rc == SQLITE_OK && !m_done)
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Txn(const Txn &) = delete;
    Txn &operator=(const Txn &) = delete;

    int beginCode() const { return m_rc; }
    int commit()
    {
        m_done = true;
        return sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    }

private:
    sqlite3 *m_db;
    int m_rc;
    bool m_done = false;
};

bool isCorruptCode(int rc)
{
    const int primary = rc & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

RegResult mapError(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return RegResult::AccessDenied;
    default:
        return RegResult::Failed;
    }
}

// Names compare without regard to case, as the Windows registry does.
QString fold(const QString &name)
{
    return name.toCaseFolded();
}

// std::nullopt for a malformed path (an empty component anywhere).
std::optional<QStringList> splitPath(const QString &path)
{
    QStringList parts;
    if (path.isEmpty())
        return parts;
    QString current;
    for (QChar c : path) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('/')) {
            if (current.isEmpty())
                return std::nullopt;
            parts.push_back(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    if (current.isEmpty())
        return std::nullopt;
    parts.push_back(current);
    return parts;
}

long long rootId(RegistryRoot root)
{
    switch (root) {
    case RegistryRoot::ClassesRoot:
        return 1;
    case RegistryRoot::CurrentUser:
        return 2;
    case RegistryRoot::LocalMachine:
        return 3;
    }
    return 0;
}

const char *const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys(
  id INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  fold TEXT NOT NULL);
CREATE UNIQUE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, fold);
CREATE TABLE IF NOT EXISTS vals(
  key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL,
  fold TEXT NOT NULL,
  type INTEGER NOT NULL,
  data TEXT NOT NULL,
  PRIMARY KEY(key, fold)) WITHOUT ROWID;
INSERT OR IGNORE INTO keys(id, parent, name, fold) VALUES
  (1, NULL, 'HKEY_CLASSES_ROOT', 'hkey_classes_root'),
  (2, NULL, 'HKEY_CURRENT_USER', 'hkey_current_user'),
  (3, NULL, 'HKEY_LOCAL_MACHINE', 'hkey_local_machine');
PRAGMA user_version = 1;
)sql";

} // namespace

SqliteRegistryStore::SqliteRegistryStore(const QString &path, int busyTimeoutMs)
    : m_path(path), m_busyTimeoutMs(busyTimeoutMs)
{
    open();
}

SqliteRegistryStore::~SqliteRegistryStore()
{
    closeDb();
}

void SqliteRegistryStore::closeDb()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_writable = false;
}

void SqliteRegistryStore::open()
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Writing first; a file or folder that refuses it is still read, and a
    // WAL file whose shared-memory file cannot be made is read as a fixed
    // snapshot.
    for (Mode mode : {Mode::ReadWrite, Mode::ReadOnly, Mode::Immutable}) {
        const Probe probe = openIn(mode);
        if (probe == Probe::Ok)
            return;
        closeDb();
        if (probe == Probe::Corrupt) {
            setAside();
            return;
        }
    }
}

SqliteRegistryStore::Probe SqliteRegistryStore::openIn(Mode mode)
{
    QByteArray name = QFile::encodeName(m_path);
    int flags = SQLITE_OPEN_FULLMUTEX;
    switch (mode) {
    case Mode::ReadWrite:
        flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        break;
    case Mode::ReadOnly:
        flags |= SQLITE_OPEN_READONLY;
        break;
    case Mode::Immutable:
        flags |= SQLITE_OPEN_READONLY | SQLITE_OPEN_URI;
        name =
            QUrl::fromLocalFile(QFileInfo(m_path).absoluteFilePath()).toEncoded() + "?immutable=1";
        break;
    }
    if (sqlite3_open_v2(name.constData(), &m_db, flags, nullptr) != SQLITE_OK)
        return Probe::CannotOpen;
    sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    sqlite3_extended_result_codes(m_db, 1);
    m_writable = mode == Mode::ReadWrite && sqlite3_db_readonly(m_db, "main") == 0;

    sqlite3_exec(m_db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
    if (m_writable) {
        const int rc = sqlite3_exec(m_db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        if (isCorruptCode(rc))
            return Probe::Corrupt;
        // Settings are written rarely; pay for a full sync on each commit.
        sqlite3_exec(m_db, "PRAGMA synchronous = FULL", nullptr, nullptr, nullptr);
    }

    {
        Stmt check(m_db, "PRAGMA quick_check(1)");
        const int rc = check.step();
        if (isCorruptCode(rc))
            return Probe::Corrupt;
        if (rc != SQLITE_ROW)
            return Probe::CannotOpen;
        if (check.text(0) != QLatin1String("ok"))
            return Probe::Corrupt;
    }

    if (m_writable && !createSchema()) {
        const int rc = sqlite3_errcode(m_db);
        if (isCorruptCode(rc))
            return Probe::Corrupt;
        // Writing refused after all (e.g. the folder is read-only): read.
        if (mapError(rc) == RegResult::AccessDenied || (rc & 0xff) == SQLITE_CANTOPEN)
            return Probe::CannotOpen;
        // Busy beyond the timeout: another process is creating the same
        // schema right now. Reading still works once it has committed.
    }
    return Probe::Ok;
}

bool SqliteRegistryStore::createSchema()
{
    Txn txn(m_db, true);
    if (txn.beginCode() != SQLITE_OK)
        return false;
    if (sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    return txn.commit() == SQLITE_OK;
}

bool SqliteRegistryStore::setAside()
{
    closeDb();
    // Another process may find the same file unreadable at the same moment;
    // only one of them may move it, and the other must not move the new file.
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.tryLock(m_busyTimeoutMs);

    const Probe again = openIn(Mode::ReadWrite);
    if (again == Probe::Ok)
        return true; // already replaced by someone else
    closeDb();
    if (again != Probe::Corrupt)
        return false;

    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString target = m_path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFileInfo::exists(target); ++n)
        target =
            m_path + QStringLiteral(".corrupt-") + stamp + QLatin1Char('-') + QString::number(n);

    if (!QFile::rename(m_path, target)) {
        std::fprintf(stderr,
                     "lumora: the settings registry %s cannot be read and cannot be set aside; "
                     "settings will not be kept.\n",
                     qPrintable(QDir::toNativeSeparators(m_path)));
        return false;
    }
    // The journal files belong to the broken file; a new database must not
    // pick them up.
    QFile::rename(m_path + QStringLiteral("-wal"), target + QStringLiteral("-wal"));
    QFile::remove(m_path + QStringLiteral("-shm"));
    m_setAsidePath = target;
    std::fprintf(stderr,
                 "lumora: the settings registry %s could not be read; it was set aside as %s "
                 "and a new one was started.\n",
                 qPrintable(QDir::toNativeSeparators(m_path)),
                 qPrintable(QDir::toNativeSeparators(target)));
    if (openIn(Mode::ReadWrite) == Probe::Ok)
        return true;
    closeDb();
    return false;
}

RegResult SqliteRegistryStore::findKey(RegistryRoot root, const QStringList &parts, long long *id)
{
    long long current = rootId(root);
    if (current == 0)
        return RegResult::NotFound;
    for (const QString &part : parts) {
        Stmt q(m_db, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
        q.bind(1, current);
        q.bind(2, fold(part));
        const int rc = q.step();
        if (rc == SQLITE_DONE)
            return RegResult::NotFound;
        if (rc != SQLITE_ROW)
            return mapError(rc);
        current = q.int64(0);
    }
    *id = current;
    return RegResult::Ok;
}

RegResult SqliteRegistryStore::openKey(RegistryRoot root, const QString &path, RegAccess access)
{
    std::lock_guard guard(m_mutex);
    return onKey(root, path, false, [&](long long) {
        return access == RegAccess::All && !m_writable ? RegResult::AccessDenied : RegResult::Ok;
    });
}

RegResult SqliteRegistryStore::createKey(RegistryRoot root, const QString &path)
{
    std::lock_guard guard(m_mutex);
    if (!m_db)
        return RegResult::Failed;
    const auto parts = splitPath(path);
    if (!parts)
        return RegResult::NotFound;
    if (!m_writable)
        return RegResult::AccessDenied;
    if (rootId(root) == 0)
        return RegResult::NotFound;
    Txn txn(m_db, true);
    if (txn.beginCode() != SQLITE_OK)
        return mapError(txn.beginCode());
    long long current = rootId(root);
    for (const QString &part : *parts) {
        Stmt q(m_db, "SELECT id FROM keys WHERE parent = ?1 AND fold = ?2");
        q.bind(1, current);
        q.bind(2, fold(part));
        const int rc = q.step();
        if (rc == SQLITE_ROW) {
            current = q.int64(0);
            continue;
        }
        if (rc != SQLITE_DONE)
            return mapError(rc);
        Stmt ins(m_db, "INSERT INTO keys(parent, name, fold) VALUES(?1, ?2, ?3)");
        ins.bind(1, current);
        ins.bind(2, part);
        ins.bind(3, fold(part));
        const int irc = ins.step();
        if (irc != SQLITE_DONE)
            return mapError(irc);
        current = sqlite3_last_insert_rowid(m_db);
    }
    const int rc = txn.commit();
    return rc == SQLITE_OK ? RegResult::Ok : mapError(rc);
}

RegResult SqliteRegistryStore::onKey(RegistryRoot root, const QString &path, bool write,
                                     const std::function<RegResult(long long)> &body)
{
    if (!m_db)
        return RegResult::Failed;
    const auto parts = splitPath(path);
    if (!parts)
        return RegResult::NotFound;
    if (write && !m_writable)
        return RegResult::AccessDenied;
    Txn txn(m_db, write);
    if (write && txn.beginCode() != SQLITE_OK)
        return mapError(txn.beginCode());
    long long id = 0;
    const RegResult found = findKey(root, *parts, &id);
    if (found != RegResult::Ok)
        return found;
    const RegResult r = body(id);
    if (r != RegResult::Ok || !write)
        return r; // an unfinished write rolls back with the transaction
    const int crc = txn.commit();
    return crc == SQLITE_OK ? RegResult::Ok : mapError(crc);
}

RegResult SqliteRegistryStore::queryValue(RegistryRoot root, const QString &path,
                                          const QString &name, RegValue *out)
{
    std::lock_guard guard(m_mutex);
    return onKey(root, path, false, [&](long long id) {
        Stmt q(m_db, "SELECT type, data FROM vals WHERE key = ?1 AND fold = ?2");
        q.bind(1, id);
        q.bind(2, fold(name));
        const int rc = q.step();
        if (rc == SQLITE_DONE)
            return RegResult::NotFound;
        if (rc != SQLITE_ROW)
            return mapError(rc);
        if (out) {
            out->type = std::uint32_t(q.int64(0));
            out->data = q.text(1);
        }
        return RegResult::Ok;
    });
}

RegResult SqliteRegistryStore::setValue(RegistryRoot root, const QString &path, const QString &name,
                                        const RegValue &value)
{
    std::lock_guard guard(m_mutex);
    return onKey(root, path, true, [&](long long id) {
        // The first spelling of the name stays; only type and data change.
        Stmt up(m_db,
                "INSERT INTO vals(key, name, fold, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
                "ON CONFLICT(key, fold) DO UPDATE SET type = excluded.type, data = excluded.data");
        up.bind(1, id);
        up.bind(2, name);
        up.bind(3, fold(name));
        up.bind(4, static_cast<long long>(value.type));
        up.bind(5, value.data);
        const int rc = up.step();
        return rc == SQLITE_DONE ? RegResult::Ok : mapError(rc);
    });
}

RegResult SqliteRegistryStore::deleteValue(RegistryRoot root, const QString &path,
                                           const QString &name)
{
    std::lock_guard guard(m_mutex);
    return onKey(root, path, true, [&](long long id) {
        Stmt del(m_db, "DELETE FROM vals WHERE key = ?1 AND fold = ?2");
        del.bind(1, id);
        del.bind(2, fold(name));
        const int rc = del.step();
        if (rc != SQLITE_DONE)
            return mapError(rc);
        return sqlite3_changes(m_db) == 0 ? RegResult::NotFound : RegResult::Ok;
    });
}

RegResult SqliteRegistryStore::deleteKey(RegistryRoot root, const QString &path)
{
    std::lock_guard guard(m_mutex);
    const auto parts = splitPath(path);
    if (m_db && parts && parts->isEmpty())
        return RegResult::Failed; // a root cannot be deleted
    return onKey(root, path, true, [&](long long id) {
        // Sub-keys and values go with it through ON DELETE CASCADE.
        Stmt del(m_db, "DELETE FROM keys WHERE id = ?1");
        del.bind(1, id);
        const int rc = del.step();
        return rc == SQLITE_DONE ? RegResult::Ok : mapError(rc);
    });
}

RegResult SqliteRegistryStore::subKeys(RegistryRoot root, const QString &path, QStringList *out)
{
    std::lock_guard guard(m_mutex);
    if (out)
        out->clear();
    return onKey(root, path, false, [&](long long id) {
        Stmt q(m_db, "SELECT name FROM keys WHERE parent = ?1 ORDER BY fold");
        q.bind(1, id);
        QStringList names;
        int rc;
        while ((rc = q.step()) == SQLITE_ROW)
            names.push_back(q.text(0));
        if (rc != SQLITE_DONE)
            return mapError(rc);
        if (out)
            *out = names;
        return RegResult::Ok;
    });
}

} // namespace lumora::platform
