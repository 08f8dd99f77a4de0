#pragma once

#include "imaging/Decoder.h"
#include "loader/LoaderProtocol.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

// Long-lived loader processes, started on demand and replaced when one dies.
// Any thread may decode; each decode borrows one idle worker for its time.
namespace lumora::loader
{

struct PoolSettings {
    QString program;       // the loader executable
    int workers = 1;       // at most this many processes at once
    int timeoutMs = 20000; // a file that takes longer costs its worker
    qint64 budget = imaging::kMaxDecodedBytes;
};

// The outcome of one request: the decode result, or word that the file is
// read by another loader program.
struct PoolReply {
    imaging::DecodedImage decoded;
    bool elsewhere = false;
};

class LoaderPool
{
public:
    explicit LoaderPool(PoolSettings settings);
    ~LoaderPool();
    LoaderPool(const LoaderPool &) = delete;
    LoaderPool &operator=(const LoaderPool &) = delete;

    // Decodes the file open on `fd` (read-only; the pool does not close it).
    PoolReply decode(int fd, const Request &request, const std::atomic_bool *cancel);

    // Starts every worker now instead of at its first request, so they load
    // their libraries while the program does other things.
    void startAll();
    // For the decodes that start from now on.
    void setTimeLimit(int ms) { m_timeoutMs = ms; }

    // What the last worker to start reported about its sandbox; empty
    // before any has started.
    QString sandboxDescription() const;
    // Processes started so far, replacements included.
    int started() const;
    // The peak resident memory of the workers alive now, in kilobytes.
    qint64 peakMemoryKb() const;

    const PoolSettings &settings() const { return m_settings; }

private:
    struct Worker {
        pid_t pid = -1;
        int socket = -1;
        ControlPage *control = nullptr;
        bool ready = false;
        bool busy = false;
    };

    Worker *acquire();
    void release(Worker *worker);
    // posix_spawn only: the worker warms up while the caller goes on.
    bool spawn(Worker &worker, QString *error);
    bool awaitReady(Worker &worker, QString *error);
    // Ends the process (SIGKILL when it does not end by itself) and tells how.
    QString bury(Worker &worker, bool kill);

    PoolSettings m_settings;
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    std::vector<std::unique_ptr<Worker>> m_workers;
    QString m_sandbox;
    std::atomic_int m_started{0};
    std::atomic_int m_timeoutMs;
};

// "signal 8 (arithmetic fault)" and the like, for a worker's wait status.
QString describeEnd(int waitStatus);

} // namespace lumora::loader
