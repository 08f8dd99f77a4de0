#pragma once

#include "platform/linux/SysIo.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace lumora::test
{

// The real system calls, counted per kind, with one chosen call made to fail
// (or the process killed right before it), so a test can try every step of
// an operation in turn.
class FaultyIo : public platform::SysIo
{
public:
    enum Call {
        Open,
        Read,
        Write,
        Pread,
        CopyRange,
        Fsync,
        Close,
        Fstat,
        Lstat,
        Fchmod,
        Futimens,
        LinkOpenFile,
        RenameNoReplace,
        RenameReplace,
        Unlink,
        Mkdir,
        Symlink,
        Readlink,
        Stat,
        Fdatasync,
        Syncfs,
        StartWriteback,
        DropCache,
        Fchown,
        ListXattr,
        GetXattr,
        SetXattr,
        RealPath,
        MountId,
        ListDir,
        CallCount
    };
    static const char *name(Call c)
    {
        static const char *names[] = {
            "open",     "read",           "write",           "pread",         "copyRange",
            "fsync",    "close",          "fstat",           "lstat",         "fchmod",
            "futimens", "linkOpenFile",   "renameNoReplace", "renameReplace", "unlink",
            "mkdir",    "symlink",        "readlink",        "stat",          "fdatasync",
            "syncfs",   "startWriteback", "dropCache",       "fchown",        "listXattr",
            "getXattr", "setXattr",       "realPath",        "mountId",       "listDir"};
        return names[c];
    }

    std::array<int, CallCount> counts{};
    // The call to fail: its kind and 0-based index among calls of that kind.
    Call failCall = CallCount;
    int failIndex = -1;
    int failErrno = EIO;
    bool kill = false;      // SIGKILL this process instead of failing
    bool noTmpFile = false; // behave like a file system without unnamed files
    bool noMountId = false; // an older kernel: no mount ids from statx
    bool fired = false;
    // Runs right before the given call (kind, index) happens; for a file
    // that vanishes or appears in between.
    Call hookCall = CallCount;
    int hookIndex = -1;
    std::function<void()> hook;

    void reset()
    {
        counts.fill(0);
        fired = false;
    }

    int open(const char *path, int flags, mode_t mode) override
    {
        if (noTmpFile && (flags & O_TMPFILE) == O_TMPFILE) {
            errno = EOPNOTSUPP;
            return -1;
        }
        return step(Open) ? platform::SysIo::open(path, flags, mode) : -1;
    }
    ssize_t read(int fd, void *buf, size_t n) override
    {
        return step(Read) ? platform::SysIo::read(fd, buf, n) : -1;
    }
    ssize_t write(int fd, const void *buf, size_t n) override
    {
        return step(Write) ? platform::SysIo::write(fd, buf, n) : -1;
    }
    ssize_t pread(int fd, void *buf, size_t n, off_t off) override
    {
        return step(Pread) ? platform::SysIo::pread(fd, buf, n, off) : -1;
    }
    ssize_t copyRange(int in, int out, size_t n) override
    {
        return step(CopyRange) ? platform::SysIo::copyRange(in, out, n) : -1;
    }
    int fsync(int fd) override { return step(Fsync) ? platform::SysIo::fsync(fd) : -1; }
    int close(int fd) override
    {
        // A failing close still releases the descriptor, as the kernel does.
        const bool ok = step(Close);
        const int r = platform::SysIo::close(fd);
        if (!ok) {
            errno = failErrno;
            return -1;
        }
        return r;
    }
    int fstat(int fd, struct stat *st) override
    {
        return step(Fstat) ? platform::SysIo::fstat(fd, st) : -1;
    }
    int lstat(const char *p, struct stat *st) override
    {
        return step(Lstat) ? platform::SysIo::lstat(p, st) : -1;
    }
    int fchmod(int fd, mode_t m) override
    {
        return step(Fchmod) ? platform::SysIo::fchmod(fd, m) : -1;
    }
    int futimens(int fd, const struct timespec t[2]) override
    {
        return step(Futimens) ? platform::SysIo::futimens(fd, t) : -1;
    }
    int linkOpenFile(int fd, const char *p) override
    {
        return step(LinkOpenFile) ? platform::SysIo::linkOpenFile(fd, p) : -1;
    }
    int renameNoReplace(const char *a, const char *b) override
    {
        return step(RenameNoReplace) ? platform::SysIo::renameNoReplace(a, b) : -1;
    }
    int renameReplace(const char *a, const char *b) override
    {
        return step(RenameReplace) ? platform::SysIo::renameReplace(a, b) : -1;
    }
    int unlink(const char *p) override { return step(Unlink) ? platform::SysIo::unlink(p) : -1; }
    int mkdir(const char *p, mode_t m) override
    {
        return step(Mkdir) ? platform::SysIo::mkdir(p, m) : -1;
    }
    int symlink(const char *t, const char *l) override
    {
        return step(Symlink) ? platform::SysIo::symlink(t, l) : -1;
    }
    ssize_t readlink(const char *p, char *b, size_t n) override
    {
        return step(Readlink) ? platform::SysIo::readlink(p, b, n) : -1;
    }

    int stat(const char *p, struct stat *st) override
    {
        return step(Stat) ? platform::SysIo::stat(p, st) : -1;
    }
    int fdatasync(int fd) override { return step(Fdatasync) ? platform::SysIo::fdatasync(fd) : -1; }
    int syncfs(int fd) override { return step(Syncfs) ? platform::SysIo::syncfs(fd) : -1; }
    int startWriteback(int fd, off_t offset, off_t length) override
    {
        return step(StartWriteback) ? platform::SysIo::startWriteback(fd, offset, length) : -1;
    }
    int dropCache(int fd) override { return step(DropCache) ? platform::SysIo::dropCache(fd) : -1; }
    int fchown(int fd, uid_t u, gid_t g) override
    {
        return step(Fchown) ? platform::SysIo::fchown(fd, u, g) : -1;
    }
    ssize_t listXattr(int fd, char *names, size_t n) override
    {
        return step(ListXattr) ? platform::SysIo::listXattr(fd, names, n) : -1;
    }
    ssize_t getXattr(int fd, const char *name, void *v, size_t n) override
    {
        return step(GetXattr) ? platform::SysIo::getXattr(fd, name, v, n) : -1;
    }
    int setXattr(int fd, const char *name, const void *v, size_t n) override
    {
        return step(SetXattr) ? platform::SysIo::setXattr(fd, name, v, n) : -1;
    }
    int realPath(const char *p, std::string *r) override
    {
        return step(RealPath) ? platform::SysIo::realPath(p, r) : -1;
    }
    int mountId(const char *p, std::uint64_t *id) override
    {
        if (noMountId) {
            errno = ENOSYS;
            return -1;
        }
        return step(MountId) ? platform::SysIo::mountId(p, id) : -1;
    }
    int listDir(const char *p, std::vector<std::string> *names) override
    {
        return step(ListDir) ? platform::SysIo::listDir(p, names) : -1;
    }

private:
    // false: this call fails with failErrno.
    bool step(Call c)
    {
        const int index = counts[c]++;
        if (c == hookCall && index == hookIndex && hook)
            hook();
        if (c != failCall || index != failIndex)
            return true;
        fired = true;
        if (kill)
            ::kill(::getpid(), SIGKILL);
        errno = failErrno;
        return false;
    }
};

} // namespace lumora::test
