#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "platform/FileOperations.h"
#include "platform/linux/SafeFileCopy.h"
#include "platform/linux/SysIo.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace lumora::platform
{

namespace
{

bool refuse(QString *error, const QString &message)
{
    if (error)
        *error = message;
    return false;
}

QString reasonFor(int err, const QByteArray &folder)
{
    const QString where = displayPath(pathFromBytes(folder));
    switch (err) {
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("the disk is full (no room left in \"%1\")").arg(where);
    case EROFS:
        return QStringLiteral("the folder \"%1\" is on a read-only disk").arg(where);
    case EACCES:
    case EPERM:
        return QStringLiteral("you do not have permission to write in the folder \"%1\"")
            .arg(where);
    case ENOENT:
        return QStringLiteral("the folder \"%1\" does not exist").arg(where);
    default:
        return QString::fromLocal8Bit(std::strerror(err));
    }
}

} // namespace

bool commitFile(const QString &path, const QByteArray &bytes, bool replace, QString *error,
                SysIo *given)
{
    SysIo real;
    SysIo &io = given ? *given : real;
    QByteArray named = pathBytes(path);
    if (!named.startsWith('/')) {
        char cwd[4096];
        if (!::getcwd(cwd, sizeof cwd))
            return refuse(error, reasonFor(errno, "."));
        named = joinPath(QByteArray(cwd), named);
    }
    const QString shownPath = displayPath(path);
    QByteArray target = named;
    struct stat st;
    bool exists = io.lstat(named.constData(), &st) == 0;
    if (!exists && errno != ENOENT)
        return refuse(error, reasonFor(errno, parentOf(named)));
    if (exists && S_ISLNK(st.st_mode)) {
        if (!replace)
            return refuse(error, QStringLiteral("\"%1\" already exists").arg(shownPath));
        // A link to a file: the file it names is what gets replaced.
        std::string resolved;
        if (io.realPath(named.constData(), &resolved) != 0 || io.lstat(resolved.c_str(), &st) != 0)
            return refuse(
                error,
                QStringLiteral("\"%1\" is a link to nothing; it is not replaced").arg(shownPath));
        target = QByteArray::fromStdString(resolved);
    }
    if (exists && !S_ISREG(st.st_mode))
        return refuse(error, S_ISDIR(st.st_mode)
                                 ? QStringLiteral("\"%1\" is a folder").arg(shownPath)
                                 : QStringLiteral("\"%1\" is not a regular file (a device, pipe "
                                                  "or socket) and is never replaced")
                                       .arg(shownPath));
    if (exists && !replace)
        return refuse(error, QStringLiteral("\"%1\" already exists").arg(shownPath));

    const QByteArray folder = parentOf(target);
    QByteArray temp; // empty while the new file has no name
    int fd = io.open(folder.constData(), O_TMPFILE | O_RDWR, 0666);
    if (fd < 0) {
        const int err = errno;
        if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL)
            return refuse(error, reasonFor(err, folder));
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temp = joinPath(folder, partName(nameOf(target)));
            fd = io.open(temp.constData(), O_CREAT | O_EXCL | O_RDWR, 0666);
            if (fd < 0 && errno != EEXIST)
                return refuse(error, reasonFor(errno, folder));
        }
        if (fd < 0)
            return refuse(error, reasonFor(EEXIST, folder));
    }
    auto abandon = [&](int err) {
        io.close(fd);
        if (!temp.isEmpty())
            io.unlink(temp.constData());
        return refuse(error, reasonFor(err ? err : EIO, folder));
    };
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t w = io.write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (w <= 0)
            return abandon(w < 0 ? errno : ENOSPC);
        done += w;
    }
    if (exists)
        io.fchmod(fd, st.st_mode & 07777);
    if (io.fdatasync(fd) != 0)
        return abandon(errno);

    int r;
    if (!exists) {
        // Free when we looked: taken only while still free.
        r = temp.isEmpty() ? io.linkOpenFile(fd, target.constData())
                           : io.renameNoReplace(temp.constData(), target.constData());
        if (r == 0)
            temp.clear();
    } else {
        // Still the regular file the user agreed to replace?
        struct stat now;
        if (io.lstat(target.constData(), &now) == 0 && !S_ISREG(now.st_mode)) {
            errno = EEXIST;
            r = -1;
        } else {
            if (temp.isEmpty()) {
                for (int attempt = 0; attempt < 100; ++attempt) {
                    temp = joinPath(folder, partName(nameOf(target)));
                    if (io.linkOpenFile(fd, temp.constData()) == 0)
                        break;
                    temp.clear();
                    if (errno != EEXIST)
                        break;
                }
            }
            r = temp.isEmpty() ? -1 : io.renameReplace(temp.constData(), target.constData());
            if (r == 0)
                temp.clear();
        }
    }
    if (r != 0) {
        const int err = errno;
        if (err == EEXIST) {
            io.close(fd);
            if (!temp.isEmpty())
                io.unlink(temp.constData());
            return refuse(error, QStringLiteral("another file named \"%1\" appeared meanwhile; "
                                                "it was not replaced")
                                     .arg(shownPath));
        }
        return abandon(err);
    }
    io.close(fd);
    const int dir = io.open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        io.fsync(dir);
        io.close(dir);
    }
    if (error)
        error->clear();
    return true;
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink()) {
        target = info.symLinkTarget();
        if (target.isEmpty())
            return false;
    }
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && !targetInfo.isFile())
        return false;
    if (!QDir().mkpath(targetInfo.absolutePath()))
        return false;
    const bool existed = targetInfo.exists();
    const QFileDevice::Permissions perms =
        existed ? targetInfo.permissions() : QFileDevice::Permissions();
    QSaveFile out(target);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    if (existed)
        out.setPermissions(perms);
    return out.commit();
}

std::optional<QByteArray> readWholeFile(const QString &path, qint64 limit)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.isSymLink() ? std::nullopt : std::optional<QByteArray>(QByteArray());
    if (!info.isFile() || info.size() > limit)
        return std::nullopt;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

} // namespace lumora::platform
