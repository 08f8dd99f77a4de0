#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace lumora::platform
{

// The system calls the file-operation service makes, one virtual per call, so
// a test can make any single step fail (or stop the process there) and check
// that nothing is lost. Each returns what the system call returns and sets
// errno the same way.
class SysIo
{
public:
    virtual ~SysIo() = default;

    virtual int open(const char *path, int flags, mode_t mode = 0);
    virtual ssize_t read(int fd, void *buf, size_t count);
    virtual ssize_t write(int fd, const void *buf, size_t count);
    virtual ssize_t pread(int fd, void *buf, size_t count, off_t offset);
    // The kernel's in-place copy between two open files at their offsets
    // (copy_file_range, or sendfile between file systems that cannot copy to
    // each other); errno as
    // copy_file_range's when neither is possible.
    virtual ssize_t copyRange(int in, int out, size_t count);
    virtual int fsync(int fd);
    virtual int close(int fd);
    virtual int fstat(int fd, struct stat *st);
    virtual int lstat(const char *path, struct stat *st);
    virtual int fchmod(int fd, mode_t mode);
    virtual int futimens(int fd, const struct timespec times[2]);
    // Gives a file opened with O_TMPFILE its name; fails with EEXIST when the
    // name is taken.
    virtual int linkOpenFile(int fd, const char *path);
    // Renames without replacing: EEXIST when the target is there.
    virtual int renameNoReplace(const char *from, const char *to);
    // Renames, replacing the target if there is one.
    virtual int renameReplace(const char *from, const char *to);
    virtual int unlink(const char *path);
    virtual int mkdir(const char *path, mode_t mode);
    virtual int symlink(const char *target, const char *linkPath);
    virtual ssize_t readlink(const char *path, char *buf, size_t size);

    // Follows symbolic links, as stat(2).
    virtual int stat(const char *path, struct stat *st);
    // The data of one file on the medium (fdatasync), and every file of the
    // file system that holds fd at once (syncfs).
    virtual int fdatasync(int fd);
    virtual int syncfs(int fd);
    // Starts writing the file's dirty pages out without waiting for them:
    // `length` bytes from `offset`, or all from `offset` when length is 0.
    virtual int startWriteback(int fd, off_t offset = 0, off_t length = 0);
    // Drops the file's clean pages from memory, so the next read comes from
    // the medium.
    virtual int dropCache(int fd);
    virtual int fchown(int fd, uid_t uid, gid_t gid);
    // The extended attributes of an open file (ACLs among them), as
    // flistxattr, fgetxattr and fsetxattr.
    virtual ssize_t listXattr(int fd, char *names, size_t size);
    virtual ssize_t getXattr(int fd, const char *name, void *value, size_t size);
    virtual int setXattr(int fd, const char *name, const void *value, size_t size);
    // The path with every link and "." or ".." resolved (realpath(3)).
    virtual int realPath(const char *path, std::string *resolved);
    // The kernel's id of the mount that holds path (statx STATX_MNT_ID);
    // the link itself, not what it points at.
    virtual int mountId(const char *path, std::uint64_t *id);
    // The names in a folder, without "." and "..".
    virtual int listDir(const char *path, std::vector<std::string> *names);
    // Whether a process with this id runs (kill(pid, 0)).
    virtual bool processExists(pid_t pid);
};

} // namespace lumora::platform
