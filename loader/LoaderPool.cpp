#include "loader/LoaderPool.h"

#include <QFile>
#include <QThread>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace lumora::loader
{

namespace
{

// A worker loads Qt, ImageMagick and their data before it answers; on a busy
// machine that can take a while, but not this long.
constexpr int kReadyTimeoutMs = 30000;

QString errnoText(int error)
{
    return QString::fromLocal8Bit(strerror(error));
}

const char *signalName(int sig)
{
    switch (sig) {
    case SIGFPE:
        return "arithmetic fault";
    case SIGSEGV:
        return "memory fault";
    case SIGBUS:
        return "bus error";
    case SIGILL:
        return "illegal instruction";
    case SIGABRT:
        return "aborted";
    case SIGKILL:
        return "killed";
    case SIGSYS:
        return "forbidden system call";
    case SIGTERM:
        return "terminated";
    case SIGXCPU:
        return "CPU time limit";
    default:
        return nullptr;
    }
}

// The descriptor moved above the numbers a worker expects its own at, so
// the spawn's dup2 always copies (and so clears close-on-exec).
int highFd(int fd)
{
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return moved;
}

} // namespace

QString describeEnd(int status)
{
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        const char *name = signalName(sig);
        return name ? QStringLiteral("signal %1 (%2)").arg(sig).arg(QString::fromLatin1(name))
                    : QStringLiteral("signal %1").arg(sig);
    }
    if (WIFEXITED(status))
        return QStringLiteral("it ended with status %1").arg(WEXITSTATUS(status));
    return QStringLiteral("it ended");
}

LoaderPool::LoaderPool(PoolSettings settings)
    : m_settings(std::move(settings)), m_timeoutMs(m_settings.timeoutMs)
{
    for (int i = 0; i < std::max(1, m_settings.workers); ++i)
        m_workers.push_back(std::make_unique<Worker>());
}

LoaderPool::~LoaderPool()
{
    std::lock_guard lock(m_mutex);
    // Closing a socket ends its worker's loop; whoever is still decoding is
    // given a moment, then killed.
    for (auto &w : m_workers) {
        if (w->pid > 0) {
            shutdown(w->socket, SHUT_RDWR);
            bury(*w, false);
        }
    }
}

void LoaderPool::startAll()
{
    std::lock_guard lock(m_mutex);
    for (auto &w : m_workers) {
        QString error;
        if (w->pid <= 0 && !w->busy)
            spawn(*w, &error);
    }
}

QString LoaderPool::sandboxDescription() const
{
    std::lock_guard lock(m_mutex);
    return m_sandbox;
}

int LoaderPool::started() const
{
    return m_started.load();
}

qint64 LoaderPool::peakMemoryKb() const
{
    std::lock_guard lock(m_mutex);
    qint64 total = 0;
    for (const auto &w : m_workers) {
        if (w->pid <= 0)
            continue;
        QFile status(QStringLiteral("/proc/%1/status").arg(w->pid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                total += line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return total;
}

LoaderPool::Worker *LoaderPool::acquire()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        Worker *best = nullptr;
        for (auto &w : m_workers) {
            if (w->busy)
                continue;
            // A running worker first, a warm one best.
            if (!best || (w->pid > 0 && best->pid <= 0) || (w->ready && !best->ready))
                best = w.get();
        }
        if (best) {
            best->busy = true;
            return best;
        }
        m_idle.wait(lock);
    }
}

void LoaderPool::release(Worker *worker)
{
    {
        std::lock_guard lock(m_mutex);
        worker->busy = false;
    }
    m_idle.notify_one();
}

bool LoaderPool::spawn(Worker &w, QString *error)
{
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        *error = errnoText(errno);
        return false;
    }
    const int mine = highFd(pair[0]);
    const int theirs = highFd(pair[1]);
    int control = memfd_create("lumora-loader-control", MFD_CLOEXEC);
    if (control >= 0 && ftruncate(control, sizeof(ControlPage)) != 0) {
        close(control);
        control = -1;
    }
    if (control >= 0)
        control = highFd(control);
    void *page = control >= 0 ? mmap(nullptr, sizeof(ControlPage), PROT_READ | PROT_WRITE,
                                     MAP_SHARED, control, 0)
                              : MAP_FAILED;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs, kWorkerSocketFd);
    if (control >= 0)
        posix_spawn_file_actions_adddup2(&actions, control, kWorkerControlFd);
    const QByteArray program = QFile::encodeName(m_settings.program);
    const QByteArray budget = QByteArray::number(m_settings.budget);
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>("--budget"),
                    const_cast<char *>(budget.constData()), nullptr};
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(theirs);
    if (control >= 0)
        close(control);
    if (rc != 0) {
        close(mine);
        if (page != MAP_FAILED)
            munmap(page, sizeof(ControlPage));
        *error = QStringLiteral("%1 cannot be started: %2").arg(m_settings.program, errnoText(rc));
        return false;
    }
    w.pid = pid;
    w.socket = mine;
    w.control = page != MAP_FAILED ? new (page) ControlPage{} : nullptr;
    w.ready = false;
    ++m_started;
    return true;
}

bool LoaderPool::awaitReady(Worker &w, QString *error)
{
    QByteArray message;
    int fd = -1;
    const ReceiveStatus status = receiveMessage(w.socket, &message, &fd, kReadyTimeoutMs);
    if (fd >= 0)
        close(fd);
    const std::optional<Ready> ready =
        status == ReceiveStatus::Ok ? decodeReady(message) : std::nullopt;
    if (!ready) {
        const QString how =
            bury(w, status == ReceiveStatus::TimedOut || status == ReceiveStatus::Ok);
        *error = QStringLiteral("%1 did not start: %2").arg(m_settings.program, how);
        return false;
    }
    w.ready = true;
    std::lock_guard lock(m_mutex);
    m_sandbox = ready->sandbox;
    return true;
}

QString LoaderPool::bury(Worker &w, bool kill)
{
    int status = 0;
    pid_t done = 0;
    if (kill) {
        ::kill(w.pid, SIGKILL);
    } else {
        // A worker that crashed is gone by now or about to be; one that only
        // closed its socket is not given long.
        for (int i = 0; i < 100 && done == 0; ++i) {
            done = waitpid(w.pid, &status, WNOHANG);
            if (done == 0)
                usleep(10000);
        }
        if (done == 0)
            ::kill(w.pid, SIGKILL);
    }
    if (done == 0) {
        while ((done = waitpid(w.pid, &status, 0)) < 0 && errno == EINTR) {
        }
    }
    if (w.socket >= 0)
        close(w.socket);
    if (w.control)
        munmap(w.control, sizeof(ControlPage));
    w.pid = -1;
    w.socket = -1;
    w.control = nullptr;
    w.ready = false;
    return done > 0 ? describeEnd(status) : QStringLiteral("it could not be waited for");
}

PoolReply LoaderPool::decode(int fd, const Request &asked, const std::atomic_bool *cancel)
{
    PoolReply out;
    Worker *w = acquire();
    Request request = asked;
    {
        // Only a decode with a processor to itself and another beside it
        // gains by the worker's second thread; a full batch would lose.
        std::lock_guard lock(m_mutex);
        const auto busy = std::count_if(m_workers.cbegin(), m_workers.cend(),
                                        [](const auto &worker) { return worker->busy; });
        request.coreToSpare = busy < QThread::idealThreadCount();
    }
    struct Releaser {
        LoaderPool *pool;
        Worker *w;
        ~Releaser() { pool->release(w); }
    } releaser{this, w};

    QString error;
    if (w->pid <= 0) {
        std::lock_guard lock(m_mutex);
        if (!spawn(*w, &error)) {
            out.decoded.error = QStringLiteral("The decoder could not be started: %1.").arg(error);
            out.decoded.transient = true;
            return out;
        }
    }
    if (w->control)
        w->control->cancel = cancel && cancel->load();
    // A worker still starting is sent the file at once: it reads nothing
    // before its sandbox is up, and the request waits in the socket instead
    // of for this thread to hear it is ready.
    bool sent = false;
    if (!w->ready) {
        sent = sendMessage(w->socket, encodeRequest(request), fd);
        if (!awaitReady(*w, &error)) {
            out.decoded.error = QStringLiteral("The decoder could not be started: %1.").arg(error);
            out.decoded.transient = true;
            return out;
        }
    }
    if (!sent && !sendMessage(w->socket, encodeRequest(request), fd)) {
        // It died between two files; that file is not this one's fault.
        bury(*w, false);
        if (!spawn(*w, &error) || !awaitReady(*w, &error) ||
            !sendMessage(w->socket, encodeRequest(request), fd)) {
            out.decoded.error = QStringLiteral("The decoder could not be started: %1.").arg(error);
            out.decoded.transient = true;
            return out;
        }
    }
    QByteArray message;
    int pixelFd = -1;
    const auto tick = [&] {
        if (cancel && w->control && cancel->load())
            w->control->cancel = true;
    };
    const int timeoutMs = m_timeoutMs;
    const ReceiveStatus status = receiveMessage(w->socket, &message, &pixelFd, timeoutMs, tick);
    if (status != ReceiveStatus::Ok) {
        const bool timedOut = status == ReceiveStatus::TimedOut;
        const QString how = bury(*w, status != ReceiveStatus::Closed);
        out.decoded.error =
            timedOut ? QStringLiteral("the decoder stopped on this file: it took longer than %1 s")
                           .arg(timeoutMs / 1000.0)
                     : QStringLiteral("the decoder stopped on this file: %1").arg(how);
        out.decoded.transient = timedOut;
        // The next file finds a warm worker.
        std::lock_guard lock(m_mutex);
        spawn(*w, &error);
        return out;
    }
    ReplyKind kind = ReplyKind::Decoded;
    out.decoded = unpackReply(message, pixelFd, &kind);
    out.elsewhere = kind == ReplyKind::Elsewhere;
    if (kind == ReplyKind::OutOfMemory) {
        bury(*w, false);
        std::lock_guard lock(m_mutex);
        spawn(*w, &error);
    }
    return out;
}

} // namespace lumora::loader
