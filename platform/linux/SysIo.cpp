#include "platform/linux/SysIo.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace lumora::platform
{

int SysIo::open(const char *path, int flags, mode_t mode)
{
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

ssize_t SysIo::read(int fd, void *buf, size_t count)
{
    ssize_t n;
    do {
        n = ::read(fd, buf, count);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t SysIo::write(int fd, const void *buf, size_t count)
{
    ssize_t n;
    do {
        n = ::write(fd, buf, count);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t SysIo::pread(int fd, void *buf, size_t count, off_t offset)
{
    ssize_t n;
    do {
        n = ::pread(fd, buf, count, offset);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t SysIo::copyRange(int in, int out, size_t count)
{
    ssize_t n;
    do {
        n = ::copy_file_range(in, nullptr, out, nullptr, count, 0);
    } while (n < 0 && errno == EINTR);
    if (n >= 0 || (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP))
        return n;
    // Between two kinds of file system (a disk and /dev/shm, FUSE) the
    // kernel still moves the pages itself, without a round trip through
    // our memory.
    const int refused = errno;
    do {
        n = ::sendfile(out, in, nullptr, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0 && (errno == EINVAL || errno == ENOSYS))
        errno = refused; // neither copies here: the caller reads and writes
    return n;
}

int SysIo::fsync(int fd)
{
    int r;
    do {
        r = ::fsync(fd);
    } while (r < 0 && errno == EINTR);
    return r;
}

int SysIo::close(int fd)
{
    return ::close(fd);
}

int SysIo::fstat(int fd, struct stat *st)
{
    return ::fstat(fd, st);
}

int SysIo::lstat(const char *path, struct stat *st)
{
    return ::lstat(path, st);
}

int SysIo::fchmod(int fd, mode_t mode)
{
    return ::fchmod(fd, mode);
}

int SysIo::futimens(int fd, const struct timespec times[2])
{
    return ::futimens(fd, times);
}

int SysIo::linkOpenFile(int fd, const char *path)
{
    // AT_EMPTY_PATH needs a capability; the /proc link works for anyone.
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path, AT_SYMLINK_FOLLOW);
}

int SysIo::renameNoReplace(const char *from, const char *to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // File systems without the flag: a hard link cannot replace either, so
    // the target is never clobbered; then the old name goes.
    if (::link(from, to) != 0) {
        if (errno == EPERM || errno == EOPNOTSUPP) {
            // No hard links here (vfat and the like): check, then rename. A
            // file appearing in between is the one race left on such mounts.
            struct stat st;
            if (::lstat(to, &st) == 0) {
                errno = EEXIST;
                return -1;
            }
            return ::rename(from, to);
        }
        return -1;
    }
    if (::unlink(from) != 0) {
        const int saved = errno;
        ::unlink(to);
        errno = saved;
        return -1;
    }
    return 0;
}

int SysIo::renameReplace(const char *from, const char *to)
{
    return ::rename(from, to);
}

int SysIo::unlink(const char *path)
{
    return ::unlink(path);
}

int SysIo::mkdir(const char *path, mode_t mode)
{
    return ::mkdir(path, mode);
}

int SysIo::symlink(const char *target, const char *linkPath)
{
    return ::symlink(target, linkPath);
}

ssize_t SysIo::readlink(const char *path, char *buf, size_t size)
{
    return ::readlink(path, buf, size);
}

int SysIo::stat(const char *path, struct stat *st)
{
    return ::stat(path, st);
}

int SysIo::fdatasync(int fd)
{
    int r;
    do {
        r = ::fdatasync(fd);
    } while (r < 0 && errno == EINTR);
    return r;
}

int SysIo::syncfs(int fd)
{
    return ::syncfs(fd);
}

int SysIo::startWriteback(int fd, off_t offset, off_t length)
{
    return ::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

int SysIo::dropCache(int fd)
{
    const int err = ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    if (err == 0)
        return 0;
    errno = err;
    return -1;
}

int SysIo::fchown(int fd, uid_t uid, gid_t gid)
{
    return ::fchown(fd, uid, gid);
}

ssize_t SysIo::listXattr(int fd, char *names, size_t size)
{
    return ::flistxattr(fd, names, size);
}

ssize_t SysIo::getXattr(int fd, const char *name, void *value, size_t size)
{
    return ::fgetxattr(fd, name, value, size);
}

int SysIo::setXattr(int fd, const char *name, const void *value, size_t size)
{
    return ::fsetxattr(fd, name, value, size, 0);
}

int SysIo::realPath(const char *path, std::string *resolved)
{
    char *r = ::realpath(path, nullptr);
    if (!r)
        return -1;
    *resolved = r;
    std::free(r);
    return 0;
}

int SysIo::mountId(const char *path, std::uint64_t *id)
{
    struct statx stx {
    };
    if (::statx(AT_FDCWD, path, AT_SYMLINK_NOFOLLOW, STATX_MNT_ID, &stx) != 0)
        return -1;
    if (!(stx.stx_mask & STATX_MNT_ID)) {
        errno = ENOSYS;
        return -1;
    }
    *id = stx.stx_mnt_id;
    return 0;
}

int SysIo::listDir(const char *path, std::vector<std::string> *names)
{
    DIR *d = ::opendir(path);
    if (!d)
        return -1;
    names->clear();
    errno = 0;
    while (const struct dirent *e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names->push_back(n);
    }
    const int err = errno;
    ::closedir(d);
    errno = err;
    return err ? -1 : 0;
}

bool SysIo::processExists(pid_t pid)
{
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

} // namespace lumora::platform
