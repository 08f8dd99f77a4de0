#include "platform/linux/FreedesktopTrash.h"

#include "platform/linux/SafeFileCopy.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>

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

QByteArray FreedesktopTrash::entryName(const QByteArray &base, int n)
{
    const qsizetype dot = base.lastIndexOf('.');
    QByteArray stem = dot > 0 ? base.left(dot) : base;
    QByteArray ext = dot > 0 ? base.mid(dot) : QByteArray();
    const QByteArray number = n == 1 ? QByteArray() : "." + QByteArray::number(n);
    const qsizetype limit = 255 - qsizetype(sizeof ".trashinfo" - 1);
    if (stem.size() + number.size() + ext.size() <= limit)
        return stem + number + ext;
    // Too long for its info file: the entry gets a shorter name that stays
    // apart from other long names; the info's Path keeps the real one.
    if (ext.size() > 32)
        ext.clear();
    const QByteArray tag =
        "~" + QCryptographicHash::hash(base, QCryptographicHash::Sha1).toHex().left(8);
    stem = cutName(stem, limit - tag.size() - number.size() - ext.size());
    return stem + tag + number + ext;
}

bool FreedesktopTrash::makePath(const QByteArray &dir)
{
    struct stat st;
    if (m_io.stat(dir.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    if (errno != ENOENT || dir == "/")
        return false;
    if (!makePath(parentOf(dir)))
        return false;
    return m_io.mkdir(dir.constData(), 0700) == 0 || errno == EEXIST;
}

void FreedesktopTrash::flushDir(const QByteArray &dir)
{
    const int fd = m_io.open(dir.constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        m_io.fsync(fd);
        m_io.close(fd);
    }
}

namespace
{
// A mount point as /proc/self/mountinfo writes it: blanks, tabs, newlines
// and backslashes as three octal digits.
QByteArray unescapeMountField(const QByteArray &f)
{
    QByteArray out;
    for (qsizetype i = 0; i < f.size(); ++i) {
        if (f[i] == '\\' && i + 3 < f.size() && f[i + 1] >= '0' && f[i + 1] <= '3') {
            out += char(((f[i + 1] - '0') << 6) | ((f[i + 2] - '0') << 3) | (f[i + 3] - '0'));
            i += 3;
        } else {
            out += f[i];
        }
    }
    return out;
}
} // namespace

QByteArray FreedesktopTrash::mountPointOf(const QByteArray &realPath)
{
    QByteArray table;
    const int fd = m_io.open("/proc/self/mountinfo", O_RDONLY);
    if (fd < 0)
        return {};
    char buf[16384];
    for (;;) {
        const ssize_t n = m_io.read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        table.append(buf, n);
    }
    m_io.close(fd);
    std::uint64_t id = 0;
    const bool haveId = m_io.mountId(realPath.constData(), &id) == 0;
    QByteArray best;
    for (const QByteArray &line : table.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() < 5)
            continue;
        const QByteArray point = unescapeMountField(f[4]);
        if (haveId) {
            if (f[0].toULongLong() == id)
                return point;
            continue;
        }
        const QByteArray prefix = point.endsWith('/') ? point : point + "/";
        if ((realPath == point || realPath.startsWith(prefix)) && point.size() >= best.size())
            best = point; // later lines are mounted over earlier ones
    }
    return best;
}

bool FreedesktopTrash::sameMount(const QByteArray &a, const QByteArray &b)
{
    std::uint64_t ia = 0, ib = 0;
    if (m_io.mountId(a.constData(), &ia) == 0 && m_io.mountId(b.constData(), &ib) == 0)
        return ia == ib;
    struct stat sa, sb;
    return m_io.stat(a.constData(), &sa) == 0 && m_io.stat(b.constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev;
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

FreedesktopTrash::Outcome FreedesktopTrash::trash(const QByteArray &given)
{
    Outcome out;
    struct stat st;
    if (m_io.lstat(given.constData(), &st) != 0) {
        out.err = errno;
        out.reason = QString::fromLocal8Bit(std::strerror(out.err));
        return out;
    }
    // The folder as it really is: through a linked folder the file may sit
    // on another disk than the path suggests. The file itself may be a link
    // and is not followed.
    std::string realFolder;
    if (m_io.realPath(parentOf(given).constData(), &realFolder) != 0) {
        out.err = errno;
        out.reason = QStringLiteral("its folder cannot be found (%1)")
                         .arg(QString::fromLocal8Bit(std::strerror(out.err)));
        return out;
    }
    const QByteArray folder = QByteArray::fromStdString(realFolder);
    const QByteArray path = joinPath(folder, nameOf(given));

    // The home Trash serves the mount it lives on.
    const QByteArray homeParent = parentOf(m_homeTrash);
    if (!makePath(homeParent)) {
        out.err = errno ? errno : EACCES;
        out.reason = QStringLiteral("the Trash folder cannot be reached (%1)")
                         .arg(QString::fromLocal8Bit(std::strerror(out.err)));
        return out;
    }
    if (sameMount(homeParent, folder)) {
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
    QByteArray top = mountPointOf(folder);
    if (top.isEmpty())
        top = topDirOf(path, st.st_dev);
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
        (shared.st_mode & S_ISVTX) && sameMount(adminTrash, folder)) {
        const QByteArray mine = adminTrash + "/" + uid;
        if (usableTrash(mine)) {
            out = putInto(mine, path, relative);
            if (out.err == 0)
                return out;
        }
    }
    const QByteArray own = prefix + ".Trash-" + uid;
    if (usableTrash(own) && sameMount(own, folder)) {
        out = putInto(own, path, relative);
        if (out.err == 0)
            return out;
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
    const QByteArray text =
        infoText(pathForInfo, m_now.isValid() ? m_now : QDateTime::currentDateTime());

    for (int attempt = 1; attempt < 10000; ++attempt) {
        // The first few names are numbered in order; a Trash that already
        // holds many files of this name (every camera writes IMG_0001.JPG)
        // would cost one look per file before it, on every Delete, so past
        // those the numbers are drawn at random.
        const int n =
            attempt <= 8 ? attempt : 9 + int(QRandomGenerator::global()->bounded(1 << 30));
        const QByteArray name = entryName(base, n);
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
        // Both halves of the entry must survive a crash, as the file is gone
        // from its folder.
        flushDir(trash + "/info");
        flushDir(trash + "/files");
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
