#include "platform/linux/SafeFileCopy.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace lumora::platform
{

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash <= 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

QByteArray nameOf(const QByteArray &path)
{
    return path.mid(path.lastIndexOf('/') + 1);
}

QByteArray joinPath(const QByteArray &folder, const QByteArray &name)
{
    return (folder.endsWith('/') ? folder : folder + "/") + name;
}

QByteArray cutName(const QByteArray &name, qsizetype maxBytes)
{
    if (name.size() <= maxBytes)
        return name;
    qsizetype n = qMax<qsizetype>(maxBytes, 0);
    while (n > 0 && (uchar(name[n]) & 0xC0) == 0x80)
        --n;
    return name.left(n);
}

QByteArray partName(const QByteArray &name)
{
    const quint32 r = QRandomGenerator::global()->generate();
    const QByteArray suffix = ".lumora-" + QByteArray::number(qlonglong(::getpid())) + "-" +
                              QByteArray::number(r, 36) + ".part";
    // The user's name stays whole; only the helper's copy of it is cut.
    return "." + cutName(name, 255 - 1 - suffix.size()) + suffix;
}

SafeFileCopy::Staged &SafeFileCopy::Staged::operator=(Staged &&other) noexcept
{
    if (this != &other) {
        release();
        source = std::move(other.source);
        folder = std::move(other.folder);
        tempName = std::move(other.tempName);
        st = other.st;
        published = other.published;
        io = other.io;
        in = other.in;
        out = other.out;
        other.in = other.out = -1;
        other.tempName.clear();
    }
    return *this;
}

void SafeFileCopy::Staged::release()
{
    if (!io)
        return;
    if (in >= 0)
        io->close(in);
    if (out >= 0)
        io->close(out);
    in = out = -1;
    if (!published && !tempName.isEmpty())
        io->unlink(tempName.constData());
    tempName.clear();
}

SafeFileCopy::SafeFileCopy(SysIo &io, size_t chunkBytes) : m_io(io), m_chunk(chunkBytes) {}

int SafeFileCopy::fail(const char *step, int err)
{
    m_step = step;
    return err ? err : EIO;
}

int SafeFileCopy::copy(const QByteArray &source, const QByteArray &target, Publish publish,
                       bool verify, const Progress &progress)
{
    Staged staged;
    if (const int err = stage(source, target, &staged, progress))
        return err;
    if (const int err = flush({&staged}))
        return err;
    if (verify) {
        if (const int err = check(staged))
            return err;
    }
    if (const int err = this->publish(staged, target, publish))
        return err;
    flushFolder(staged.folder);
    return 0;
}

int SafeFileCopy::stage(const QByteArray &source, const QByteArray &target, Staged *staged,
                        const Progress &progress)
{
    m_step = "";
    Staged s;
    s.io = &m_io;
    s.source = source;
    s.folder = parentOf(target);
    s.in = m_io.open(source.constData(), O_RDONLY);
    if (s.in < 0)
        return fail("open", errno);
    if (m_io.fstat(s.in, &s.st) != 0)
        return fail("stat", errno);
    if (!S_ISREG(s.st.st_mode))
        return fail("open", S_ISDIR(s.st.st_mode) ? EISDIR : EINVAL);

    s.out = m_io.open(s.folder.constData(), O_TMPFILE | O_RDWR, 0600);
    if (s.out < 0) {
        const int err = errno;
        if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL)
            return fail("create", err);
        for (int attempt = 0; attempt < 100 && s.out < 0; ++attempt) {
            s.tempName = joinPath(s.folder, partName(nameOf(target)));
            s.out = m_io.open(s.tempName.constData(), O_CREAT | O_EXCL | O_RDWR, 0600);
            if (s.out < 0) {
                const int e = errno;
                s.tempName.clear();
                if (e != EEXIST)
                    return fail("create", e);
            }
        }
        if (s.out < 0)
            return fail("create", EEXIST);
    }
    // From here on a failure takes the part file away again (Staged does).
    if (const int err = transfer(s.in, s.out, progress))
        return err;
    copyMetadata(s.in, s.out, s.st);
    // The medium starts receiving the rest now; flush() only waits.
    m_io.startWriteback(s.out);
    *staged = std::move(s);
    return 0;
}

void SafeFileCopy::copyMetadata(int in, int out, const struct stat &st)
{
    // What `cp -a` keeps. None of it matters for the bytes, so a file system
    // that refuses a part is no failure. The owner first (it clears set-id
    // bits), the mode, the attributes (an ACL after the mode, which it
    // refines), the times last.
    if (m_io.fchown(out, st.st_uid, st.st_gid) != 0)
        m_io.fchown(out, uid_t(-1), st.st_gid);
    m_io.fchmod(out, st.st_mode & 07777);
    const ssize_t size = m_io.listXattr(in, nullptr, 0);
    if (size > 0) {
        std::string names(size_t(size), '\0');
        const ssize_t n = m_io.listXattr(in, names.data(), names.size());
        for (size_t at = 0; n > 0 && at < size_t(n);) {
            const char *name = names.c_str() + at;
            at += std::strlen(name) + 1;
            const ssize_t len = m_io.getXattr(in, name, nullptr, 0);
            if (len < 0)
                continue;
            std::string value(size_t(len), '\0');
            const ssize_t got = m_io.getXattr(in, name, value.data(), value.size());
            if (got >= 0)
                m_io.setXattr(out, name, value.data(), size_t(got));
        }
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    m_io.futimens(out, times);
}

int SafeFileCopy::flush(const std::vector<Staged *> &staged)
{
    // Many files on one file system: one syncfs writes them all (and their
    // inodes) with one journal commit, where an fdatasync each would wait
    // for the medium once per file.
    bool oneFs = staged.size() >= 4;
    dev_t dev = 0;
    for (size_t i = 0; oneFs && i < staged.size(); ++i) {
        struct stat st;
        if (m_io.fstat(staged[i]->out, &st) != 0)
            return fail("flush", errno);
        if (i == 0)
            dev = st.st_dev;
        oneFs = st.st_dev == dev;
    }
    if (oneFs) {
        if (m_io.syncfs(staged.front()->out) == 0)
            return 0;
        if (errno != ENOSYS)
            return fail("flush", errno);
    }
    for (Staged *s : staged) {
        if (m_io.fdatasync(s->out) != 0)
            return fail("flush", errno);
    }
    return 0;
}

int SafeFileCopy::check(Staged &s)
{
    // The pages just written are still in memory; compared as they are they
    // would prove nothing about the medium.
    m_io.dropCache(s.out);
    struct stat copied;
    if (m_io.fstat(s.out, &copied) != 0)
        return fail("verify", errno);
    if (copied.st_size != s.st.st_size)
        return fail("verify", EIO);
    if (const int err = compare(s.in, s.out, s.st.st_size))
        return fail("verify", err);
    return 0;
}

int SafeFileCopy::publish(Staged &s, const QByteArray &target, Publish publish)
{
    m_step = "";
    if (parentOf(target) != s.folder)
        return fail("rename", EXDEV);
    int r;
    if (s.tempName.isEmpty()) {
        if (publish == Publish::NoReplace) {
            r = m_io.linkOpenFile(s.out, target.constData());
        } else {
            // An unnamed file cannot replace a name in one step: give it a
            // hidden name first, then rename that over the target.
            QByteArray temp;
            int err = EEXIST;
            for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
                temp = joinPath(s.folder, partName(nameOf(target)));
                err = m_io.linkOpenFile(s.out, temp.constData()) == 0 ? 0 : errno;
            }
            if (err)
                return fail("rename", err);
            r = m_io.renameReplace(temp.constData(), target.constData());
            if (r != 0) {
                const int e = errno;
                m_io.unlink(temp.constData());
                errno = e;
            }
        }
    } else {
        r = publish == Publish::NoReplace
                ? m_io.renameNoReplace(s.tempName.constData(), target.constData())
                : m_io.renameReplace(s.tempName.constData(), target.constData());
        if (r == 0)
            s.tempName.clear();
    }
    if (r != 0)
        return fail("rename", errno);
    s.published = true;
    return 0;
}

void SafeFileCopy::flushFolder(const QByteArray &folder)
{
    const int dir = m_io.open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        m_io.fsync(dir);
        m_io.close(dir);
    }
}

void SafeFileCopy::sweepStaleParts(const QByteArray &folder)
{
    std::vector<std::string> names;
    if (m_io.listDir(folder.constData(), &names) != 0)
        return;
    const pid_t self = ::getpid();
    const uid_t me = ::getuid();
    for (const std::string &n : names) {
        const QByteArray name = QByteArray::fromStdString(n);
        const qsizetype mark = name.lastIndexOf(".lumora-");
        if (!name.startsWith('.') || mark <= 0 || !name.endsWith(".part"))
            continue;
        const QByteArray tag = name.mid(mark + 8, name.size() - mark - 8 - 5);
        const qsizetype dash = tag.indexOf('-');
        bool ok = false;
        const qlonglong pid = dash > 0 ? tag.left(dash).toLongLong(&ok) : 0;
        const QByteArray path = joinPath(folder, name);
        struct stat st;
        if (m_io.lstat(path.constData(), &st) != 0 || st.st_uid != me ||
            !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)))
            continue;
        bool stale;
        if (ok && pid > 0)
            stale = pid != self && !m_io.processExists(pid_t(pid));
        else // older part files name no process: gone when a day old
            stale = dash < 0 && std::time(nullptr) - st.st_mtim.tv_sec > 24 * 3600;
        if (stale)
            m_io.unlink(path.constData());
    }
}

int SafeFileCopy::transfer(int in, int out, const Progress &progress)
{
    constexpr qint64 kWritebackBytes = qint64(16) << 20;
    qint64 done = 0;
    qint64 written = 0; // handed to the medium so far
    bool copyRange = m_useCopyRange;
    std::unique_ptr<char[]> buffer;
    for (;;) {
        if (copyRange) {
            const ssize_t n = m_io.copyRange(in, out, m_chunk);
            if (n < 0) {
                const int err = errno;
                // Not offered between these two files: copy by hand, but
                // only if nothing went yet, since offsets may have moved.
                if (done == 0 && (err == EXDEV || err == ENOSYS || err == EINVAL ||
                                  err == EOPNOTSUPP || err == EBADF)) {
                    copyRange = false;
                    continue;
                }
                return fail("write", err);
            }
            if (n == 0)
                return 0;
            done += n;
        } else {
            if (!buffer)
                buffer.reset(new char[m_chunk]);
            const ssize_t n = m_io.read(in, buffer.get(), m_chunk);
            if (n < 0)
                return fail("read", errno);
            if (n == 0)
                return 0;
            for (ssize_t off = 0; off < n;) {
                const ssize_t w = m_io.write(out, buffer.get() + off, size_t(n - off));
                if (w < 0)
                    return fail("write", errno);
                if (w == 0)
                    return fail("write", ENOSPC);
                off += w;
            }
            done += n;
        }
        // A large file goes to the medium while the rest is still being
        // copied, so the flush at the end waits for its last blocks only.
        if (done - written >= kWritebackBytes) {
            m_io.startWriteback(out, written, done - written);
            written = done;
        }
        if (progress && !progress(done))
            return fail("cancel", ECANCELED);
    }
}

int SafeFileCopy::compare(int in, int out, qint64 size)
{
    // Blocks that stay in the processor's cache while they are compared.
    const size_t chunk = qMin<size_t>(m_chunk, size_t(512) << 10);
    std::unique_ptr<char[]> a(new char[chunk]);
    std::unique_ptr<char[]> b(new char[chunk]);
    for (qint64 off = 0; off < size;) {
        const size_t want = size_t(qMin<qint64>(qint64(chunk), size - off));
        const ssize_t na = m_io.pread(in, a.get(), want, off);
        if (na < 0)
            return errno ? errno : EIO;
        const ssize_t nb = m_io.pread(out, b.get(), size_t(na), off);
        if (nb < 0)
            return errno ? errno : EIO;
        if (na == 0 || nb != na || std::memcmp(a.get(), b.get(), size_t(na)) != 0)
            return EIO;
        off += na;
    }
    return 0;
}

} // namespace lumora::platform
