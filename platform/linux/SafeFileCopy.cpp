#include "platform/linux/SafeFileCopy.h"

#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
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

namespace
{

// Closes a descriptor on every way out of a scope.
struct Fd {
    SysIo &io;
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            io.close(fd);
    }
};

QByteArray hiddenTempName(const QByteArray &folder, const QByteArray &name)
{
    const quint32 r = QRandomGenerator::global()->generate();
    return folder + "/." + name + ".lumora-" + QByteArray::number(r, 36) + ".part";
}

} // namespace

SafeFileCopy::SafeFileCopy(SysIo &io, size_t chunkBytes) : m_io(io), m_chunk(chunkBytes) {}

int SafeFileCopy::fail(const char *step, int err)
{
    m_step = step;
    return err ? err : EIO;
}

int SafeFileCopy::copy(const QByteArray &source, const QByteArray &target, Publish publish,
                       bool verify, const Progress &progress)
{
    m_step = "";
    Fd in{m_io};
    in.fd = m_io.open(source.constData(), O_RDONLY);
    if (in.fd < 0)
        return fail("open", errno);
    struct stat st;
    if (m_io.fstat(in.fd, &st) != 0)
        return fail("stat", errno);
    if (!S_ISREG(st.st_mode))
        return fail("open", S_ISDIR(st.st_mode) ? EISDIR : EINVAL);

    const QByteArray folder = parentOf(target);
    QByteArray tempName; // empty while the copy has no name at all
    Fd out{m_io};
    out.fd = m_io.open(folder.constData(), O_TMPFILE | O_RDWR, 0600);
    if (out.fd < 0) {
        const int err = errno;
        if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL)
            return fail("create", err);
        for (int attempt = 0; attempt < 100 && out.fd < 0; ++attempt) {
            tempName = hiddenTempName(folder, nameOf(target));
            out.fd = m_io.open(tempName.constData(), O_CREAT | O_EXCL | O_RDWR, 0600);
            if (out.fd < 0 && errno != EEXIST)
                return fail("create", errno);
        }
        if (out.fd < 0)
            return fail("create", EEXIST);
    }
    // From here on a failure must take the temporary name away again.
    auto abandon = [&](const char *step, int err) {
        const int e = fail(step, err);
        if (!tempName.isEmpty())
            m_io.unlink(tempName.constData());
        return e;
    };

    if (const int err = transfer(in.fd, out.fd, progress))
        return abandon(m_step, err);

    // Keep what a file manager's copy keeps: permissions and times. Neither
    // matters for the data, so a file system that refuses them is no failure.
    m_io.fchmod(out.fd, st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    m_io.futimens(out.fd, times);

    if (m_io.fsync(out.fd) != 0)
        return abandon("flush", errno);
    if (verify) {
        struct stat copied;
        if (m_io.fstat(out.fd, &copied) != 0)
            return abandon("verify", errno);
        if (copied.st_size != st.st_size)
            return abandon("verify", EIO);
        if (const int err = compare(in.fd, out.fd, st.st_size))
            return abandon("verify", err);
    }

    if (tempName.isEmpty()) {
        if (publish == Publish::NoReplace) {
            if (m_io.linkOpenFile(out.fd, target.constData()) != 0)
                return fail("rename", errno);
        } else {
            // An unnamed file cannot replace a name in one step: give it a
            // hidden name first, then rename that over the target.
            int err = EEXIST;
            for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
                tempName = hiddenTempName(folder, nameOf(target));
                err = m_io.linkOpenFile(out.fd, tempName.constData()) == 0 ? 0 : errno;
            }
            if (err) {
                tempName.clear();
                return fail("rename", err);
            }
            if (m_io.renameReplace(tempName.constData(), target.constData()) != 0)
                return abandon("rename", errno);
        }
    } else {
        const int r = publish == Publish::NoReplace
                          ? m_io.renameNoReplace(tempName.constData(), target.constData())
                          : m_io.renameReplace(tempName.constData(), target.constData());
        if (r != 0)
            return abandon("rename", errno);
    }

    // The new name itself must survive a crash too.
    const int dir = m_io.open(folder.constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        m_io.fsync(dir);
        m_io.close(dir);
    }
    return 0;
}

int SafeFileCopy::transfer(int in, int out, const Progress &progress)
{
    qint64 done = 0;
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
        if (progress && !progress(done))
            return fail("cancel", ECANCELED);
    }
}

int SafeFileCopy::compare(int in, int out, qint64 size)
{
    const size_t chunk = qMin<size_t>(m_chunk, size_t(4) << 20);
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
