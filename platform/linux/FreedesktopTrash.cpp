#include "platform/linux/FreedesktopTrash.h"

#include "platform/linux/SafeFileCopy.h"

#include <QDir>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

namespace lumora::platform
{

FreedesktopTrash::FreedesktopTrash(SysIo &io, QByteArray homeTrash, uid_t uid)
    : m_io(io), m_homeTrash(std::move(homeTrash)), m_uid(uid)
{
    while (m_homeTrash.size() > 1 && m_homeTrash.endsWith('/'))
        m_homeTrash.chop(1);
}

QByteArray FreedesktopTrash::defaultHomeTrash()
{
    QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    if (dataHome.isEmpty() || !dataHome.startsWith('/'))
        dataHome = QFile::encodeName(QDir::homePath()) + "/.local/share";
    return dataHome + "/Trash";
}

QByteArray FreedesktopTrash::infoText(const QByteArray &pathForInfo, const QDateTime &when)
{
    // Encoded byte by byte: a name that is not valid in the locale's
    // encoding must still name the file it came from.
    return "[Trash Info]\nPath=" + pathForInfo.toPercentEncoding("/") +
           "\nDeletionDate=" + when.toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toLatin1() +
           "\n";
}

bool FreedesktopTrash::ensureDir(const QByteArray &dir, bool mustBeOwned)
{
    struct stat st;
    if (m_io.lstat(dir.constData(), &st) != 0) {
        if (errno != ENOENT || m_io.mkdir(dir.constData(), 0700) != 0)
            return false;
        if (m_io.lstat(dir.constData(), &st) != 0)
            return false;
    }
    // A symbolic link could point the Trash anywhere; never follow one.
    if (!S_ISDIR(st.st_mode))
        return false;
    return !mustBeOwned || st.st_uid == m_uid;
}

bool FreedesktopTrash::usableTrash(const QByteArray &trash)
{
    return ensureDir(trash, true) && ensureDir(trash + "/files", true) &&
           ensureDir(trash + "/info", true);
}

QByteArray FreedesktopTrash::topDirOf(const QByteArray &path, dev_t dev)
{
    QByteArray top = parentOf(path);
    while (top != "/") {
        const QByteArray up = parentOf(top);
        struct stat st;
        if (m_io.lstat(up.constData(), &st) != 0)
            return {}; // a wrong top would put the Trash in an odd folder
        if (st.st_dev != dev)
            break;
        top = up;
    }
    return top;
}

FreedesktopTrash::Outcome FreedesktopTrash::trash(const QByteArray &path)
{
    Outcome out;
    struct stat st;
    if (m_io.lstat(path.constData(), &st) != 0) {
        out.err = errno;
        out.reason = QString::fromLocal8Bit(std::strerror(out.err));
        return out;
    }

    // The home Trash serves the file system it lives on.
    const QByteArray homeParent = parentOf(m_homeTrash);
    struct stat home;
    QDir().mkpath(QFile::decodeName(homeParent));
    if (m_io.lstat(homeParent.constData(), &home) != 0) {
        out.err = errno;
        out.reason = QStringLiteral("the Trash folder cannot be reached (%1)")
                         .arg(QString::fromLocal8Bit(std::strerror(out.err)));
        return out;
    }
    if (home.st_dev == st.st_dev) {
        // Files beside the home Trash go there or nowhere: a Trash at the top
        // of the home file system would hide them where nobody looks.
        if (!usableTrash(m_homeTrash)) {
            out.err = errno ? errno : EACCES;
            out.reason = QStringLiteral("the Trash folder cannot be used (%1)")
                             .arg(QString::fromLocal8Bit(std::strerror(out.err)));
            return out;
        }
        return putInto(m_homeTrash, path, path);
    }

    // Another mount: the Trash at its top, with Path relative to the top.
    const QByteArray top = topDirOf(path, st.st_dev);
    if (top.isEmpty()) {
        out.err = errno ? errno : EIO;
        out.reason = QStringLiteral("the top of its drive cannot be found (%1)")
                         .arg(QString::fromLocal8Bit(std::strerror(out.err)));
        return out;
    }
    const QByteArray prefix = top == "/" ? QByteArray("/") : top + "/";
    const QByteArray relative = path.startsWith(prefix) ? path.mid(prefix.size()) : path;
    const QByteArray uid = QByteArray::number(qulonglong(m_uid));

    struct stat shared;
    const QByteArray adminTrash = prefix + ".Trash";
    if (m_io.lstat(adminTrash.constData(), &shared) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX) && shared.st_dev == st.st_dev) {
        const QByteArray mine = adminTrash + "/" + uid;
        if (usableTrash(mine)) {
            out = putInto(mine, path, relative);
            if (out.err == 0)
                return out;
        }
    }
    const QByteArray own = prefix + ".Trash-" + uid;
    if (usableTrash(own)) {
        struct stat ownSt;
        if (m_io.lstat(own.constData(), &ownSt) == 0 && ownSt.st_dev == st.st_dev) {
            out = putInto(own, path, relative);
            if (out.err == 0)
                return out;
        }
    }
    if (out.err == 0 || out.reason.isEmpty()) {
        out.err = out.err ? out.err : EXDEV;
        out.reason = QStringLiteral("there is no Trash on the drive that holds it");
    }
    return out;
}

FreedesktopTrash::Outcome FreedesktopTrash::putInto(const QByteArray &trash, const QByteArray &path,
                                                    const QByteArray &pathForInfo)
{
    Outcome out;
    out.trashDir = trash;
    const QByteArray base = nameOf(path);
    const qsizetype dot = base.lastIndexOf('.');
    const QByteArray stem = dot > 0 ? base.left(dot) : base;
    const QByteArray ext = dot > 0 ? base.mid(dot) : QByteArray();
    const QByteArray text =
        infoText(pathForInfo, m_now.isValid() ? m_now : QDateTime::currentDateTime());

    for (int n = 1; n < 10000; ++n) {
        const QByteArray name = n == 1 ? base : stem + "." + QByteArray::number(n) + ext;
        const QByteArray info = trash + "/info/" + name + ".trashinfo";
        const QByteArray file = trash + "/files/" + name;
        struct stat st;
        if (m_io.lstat(file.constData(), &st) == 0)
            continue; // an entry without its info still owns the name
        const int fd = m_io.open(info.constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            out.err = errno;
            break;
        }
        // The info must be whole on disk before the file moves, so a crash
        // never leaves a trashed file nobody can put back.
        qsizetype written = 0;
        int err = 0;
        while (written < text.size()) {
            const ssize_t w =
                m_io.write(fd, text.constData() + written, size_t(text.size() - written));
            if (w <= 0) {
                err = w < 0 ? errno : ENOSPC;
                break;
            }
            written += w;
        }
        if (!err && m_io.fsync(fd) != 0)
            err = errno;
        if (m_io.close(fd) != 0 && !err)
            err = errno;
        if (!err && m_io.renameNoReplace(path.constData(), file.constData()) != 0)
            err = errno;
        if (err) {
            m_io.unlink(info.constData());
            if (err == EEXIST)
                continue;
            out.err = err;
            break;
        }
        out.trashedAs = file;
        out.infoPath = info;
        return out;
    }
    if (!out.err)
        out.err = EEXIST;
    out.reason = QString::fromLocal8Bit(std::strerror(out.err));
    return out;
}

} // namespace lumora::platform
