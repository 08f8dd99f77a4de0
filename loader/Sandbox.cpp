#include "loader/Sandbox.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace lumora::loader
{

namespace
{

QString errnoText(int error)
{
    return QString::fromLocal8Bit(strerror(error));
}

qint64 currentAddressSpace()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmSize:"))
            return line.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// Each rule refuses one kind of call with an error the caller sees; the
// decoders treat it as any failed call. A few that no decoder makes and
// that would undo the filter's point kill the process instead.
class Filter
{
public:
    Filter() : m_ctx(seccomp_init(SCMP_ACT_ALLOW)) {}
    ~Filter()
    {
        if (m_ctx)
            seccomp_release(m_ctx);
    }
    Filter(const Filter &) = delete;
    Filter &operator=(const Filter &) = delete;

    bool valid() const { return m_ctx != nullptr && m_failed == 0; }
    int failedRule() const { return m_failed; }

    void refuse(int syscall, int error = EPERM) { add(SCMP_ACT_ERRNO(error), syscall, 0, {}); }
    void refuseWhen(int syscall, int error, scmp_arg_cmp cmp)
    {
        add(SCMP_ACT_ERRNO(error), syscall, 1, cmp);
    }
    void kill(int syscall) { add(SCMP_ACT_KILL_PROCESS, syscall, 0, {}); }

    int load() { return seccomp_load(m_ctx); }

private:
    void add(uint32_t action, int syscall, unsigned count, scmp_arg_cmp cmp)
    {
        if (!m_ctx || syscall < 0)
            return; // a call this architecture does not have
        const int rc = count ? seccomp_rule_add(m_ctx, action, syscall, 1, cmp)
                             : seccomp_rule_add(m_ctx, action, syscall, 0);
        if (rc != 0 && m_failed == 0)
            m_failed = syscall;
    }

    scmp_filter_ctx m_ctx;
    int m_failed = 0;
};

void buildFilter(Filter &f)
{
    // Opening for writing, creating, truncating: each flag bit on its own
    // rule, since a rule compares one masked value. O_TMPFILE's own bit
    // (__O_TMPFILE) carries O_DIRECTORY with it, so the mask is that bit alone.
    constexpr scmp_datum_t kTmpFileBit = O_TMPFILE & ~O_DIRECTORY;
    for (const scmp_datum_t bit :
         {scmp_datum_t(O_WRONLY), scmp_datum_t(O_RDWR), scmp_datum_t(O_CREAT),
          scmp_datum_t(O_TRUNC), scmp_datum_t(O_APPEND), kTmpFileBit}) {
        f.refuseWhen(SCMP_SYS(open), EACCES, SCMP_A1(SCMP_CMP_MASKED_EQ, bit, bit));
        f.refuseWhen(SCMP_SYS(openat), EACCES, SCMP_A2(SCMP_CMP_MASKED_EQ, bit, bit));
    }
    // Its flags sit in a structure a filter cannot read; glibc falls back
    // to openat when it is missing.
    f.refuse(SCMP_SYS(openat2), ENOSYS);
    f.refuse(SCMP_SYS(creat), EACCES);
    f.refuse(SCMP_SYS(open_by_handle_at));
    for (const int call :
         {SCMP_SYS(unlink),       SCMP_SYS(unlinkat),     SCMP_SYS(rename),
          SCMP_SYS(renameat),     SCMP_SYS(renameat2),    SCMP_SYS(mkdir),
          SCMP_SYS(mkdirat),      SCMP_SYS(rmdir),        SCMP_SYS(link),
          SCMP_SYS(linkat),       SCMP_SYS(symlink),      SCMP_SYS(symlinkat),
          SCMP_SYS(mknod),        SCMP_SYS(mknodat),      SCMP_SYS(truncate),
          SCMP_SYS(chmod),        SCMP_SYS(fchmod),       SCMP_SYS(fchmodat),
          SCMP_SYS(chown),        SCMP_SYS(fchown),       SCMP_SYS(lchown),
          SCMP_SYS(fchownat),     SCMP_SYS(utime),        SCMP_SYS(utimes),
          SCMP_SYS(utimensat),    SCMP_SYS(futimesat),    SCMP_SYS(setxattr),
          SCMP_SYS(lsetxattr),    SCMP_SYS(fsetxattr),    SCMP_SYS(removexattr),
          SCMP_SYS(lremovexattr), SCMP_SYS(fremovexattr), SCMP_SYS(copy_file_range)})
        f.refuse(call, EACCES);

    // No network and no new sockets of any kind; the worker's own socket
    // was handed to it and stays usable.
    for (const int call : {SCMP_SYS(socket), SCMP_SYS(socketpair), SCMP_SYS(connect),
                           SCMP_SYS(bind), SCMP_SYS(listen), SCMP_SYS(accept), SCMP_SYS(accept4)})
        f.refuse(call, EACCES);

    // No programs and no processes. Threads stay: ImageMagick's OpenMP
    // team and Qt's thread pool are clone() with CLONE_THREAD. clone3 keeps
    // its flags in memory the filter cannot see; glibc falls back to clone.
    f.refuse(SCMP_SYS(execve), EACCES);
    f.refuse(SCMP_SYS(execveat), EACCES);
    f.refuse(SCMP_SYS(fork));
    f.refuse(SCMP_SYS(vfork));
    f.refuseWhen(SCMP_SYS(clone), EPERM, SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0));
    f.refuse(SCMP_SYS(clone3), ENOSYS);

    // Its own limits stay as set; reading them (prlimit64 without a new
    // value, which is how glibc's getrlimit asks) stays allowed.
    f.refuse(SCMP_SYS(setrlimit));
    f.refuseWhen(SCMP_SYS(prlimit64), EPERM, SCMP_A2(SCMP_CMP_NE, 0));

    // Other processes are out of reach; signals only to itself.
    const scmp_datum_t self = scmp_datum_t(getpid());
    f.refuse(SCMP_SYS(ptrace));
    f.refuse(SCMP_SYS(process_vm_readv));
    f.refuse(SCMP_SYS(process_vm_writev));
    f.refuse(SCMP_SYS(pidfd_open));
    f.refuse(SCMP_SYS(pidfd_getfd));
    f.refuseWhen(SCMP_SYS(kill), EPERM, SCMP_A0(SCMP_CMP_NE, self));
    f.refuseWhen(SCMP_SYS(tgkill), EPERM, SCMP_A0(SCMP_CMP_NE, self));
    f.refuse(SCMP_SYS(tkill));

    // Ways around the rules above, and the system's own administration.
    for (const int call :
         {SCMP_SYS(io_uring_setup), SCMP_SYS(io_uring_enter), SCMP_SYS(io_uring_register)})
        f.refuse(call, ENOSYS);
    for (const int call : {SCMP_SYS(bpf),
                           SCMP_SYS(perf_event_open),
                           SCMP_SYS(userfaultfd),
                           SCMP_SYS(keyctl),
                           SCMP_SYS(add_key),
                           SCMP_SYS(request_key),
                           SCMP_SYS(unshare),
                           SCMP_SYS(setns),
                           SCMP_SYS(mount),
                           SCMP_SYS(umount2),
                           SCMP_SYS(pivot_root),
                           SCMP_SYS(chroot),
                           SCMP_SYS(swapon),
                           SCMP_SYS(swapoff),
                           SCMP_SYS(setuid),
                           SCMP_SYS(setgid),
                           SCMP_SYS(setreuid),
                           SCMP_SYS(setregid),
                           SCMP_SYS(setresuid),
                           SCMP_SYS(setresgid),
                           SCMP_SYS(setgroups),
                           SCMP_SYS(personality),
                           SCMP_SYS(name_to_handle_at),
                           SCMP_SYS(fanotify_init)})
        f.refuse(call);
    for (const int call : {SCMP_SYS(reboot), SCMP_SYS(kexec_load), SCMP_SYS(kexec_file_load),
                           SCMP_SYS(init_module), SCMP_SYS(finit_module), SCMP_SYS(delete_module)})
        f.kill(call);
}

} // namespace

bool capAddressSpace(qint64 headroom, QString *error)
{
    const qint64 now = currentAddressSpace();
    if (now < 0) {
        *error = QStringLiteral("its size is unknown");
        return false;
    }
    rlimit limit{};
    limit.rlim_cur = limit.rlim_max = rlim_t(now + headroom);
    if (setrlimit(RLIMIT_AS, &limit) != 0) {
        *error = errnoText(errno);
        return false;
    }
    return true;
}

SandboxState enterSandbox()
{
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return {false, QStringLiteral("off: the kernel refused PR_SET_NO_NEW_PRIVS (%1)")
                           .arg(errnoText(errno))};
    Filter filter;
    buildFilter(filter);
    if (!filter.valid())
        return {false, QStringLiteral("off: the seccomp filter could not be built (call %1)")
                           .arg(filter.failedRule())};
    const int rc = filter.load();
    if (rc != 0)
        return {
            false,
            QStringLiteral("off: the kernel refused the seccomp filter (%1)").arg(errnoText(-rc))};
    return {true, QStringLiteral("on (seccomp: no writing or new files, no sockets, no programs "
                                 "or processes, no changing its limits)")};
}

} // namespace lumora::loader
