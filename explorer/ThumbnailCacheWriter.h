#pragma once

#include "explorer/ThumbnailCache.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <memory>
#include <semaphore>

class QThread;

namespace lumora
{

// One thing to put into the cache: a large thumbnail, a failure record, or
// (when its picture was not kept) a file to decode again for the cache.
struct CacheWork {
    CacheSource source;
    QImage large;
    QSize original;
    QString error;
    bool failed = false;
    bool needsDecode() const { return !failed && large.isNull(); }
};

// Writes the cache on a thread of its own at idle priority, so it only gets
// the processor when the grid's decoders leave it some, and never holds up a
// listing. The pictures it keeps waiting are bounded in bytes; past that it
// keeps only the file's name and decodes it again later, so a long first
// visit neither grows the program's memory nor loses the work.
//
// Handing work over never waits for the writer: an idle-priority thread may
// be kept off the processor for a long time, and a lock it held then would
// stall the window. Work goes through a lock-free list and a semaphore.
class ThumbnailCacheWriter
{
public:
    static constexpr qint64 kDefaultBudget = qint64(16) << 20;
    static constexpr int kMaxQueued = 10000;

    explicit ThumbnailCacheWriter(std::shared_ptr<const ThumbnailCache> cache,
                                  qint64 byteBudget = kDefaultBudget);
    // Drops what is still queued; a file being written is finished first.
    ~ThumbnailCacheWriter();

    // Off: what is queued is dropped and nothing new is taken.
    void setEnabled(bool on) { m_enabled.store(on); }
    bool enabled() const { return m_enabled.load(); }

    // From one thread (the grid's).
    void enqueue(std::shared_ptr<CacheWork> work);

    int pending() const { return m_outstanding.load(); }
    qint64 bytesHeld() const { return m_bytes.load(); }
    // For tests and benchmarks: true once everything handed over is done.
    bool waitUntilIdle(int timeoutMs) const;

    int thumbnailsWritten() const { return m_written.load(); }
    int failuresWritten() const { return m_failures.load(); }
    int decodedAgain() const { return m_redecoded.load(); }

private:
    struct Node {
        std::shared_ptr<CacheWork> work;
        Node *next = nullptr;
    };

    void run();
    void process(CacheWork &work);

    std::shared_ptr<const ThumbnailCache> m_cache;
    const qint64 m_budget;
    std::atomic<Node *> m_inbox{nullptr};
    std::counting_semaphore<> m_wake{0};
    std::atomic<qint64> m_bytes{0};
    std::atomic_int m_outstanding{0};
    std::atomic_bool m_stop{false};
    std::atomic_bool m_enabled{true};
    std::atomic_int m_written{0};
    std::atomic_int m_failures{0};
    std::atomic_int m_redecoded{0};
    QThread *m_thread = nullptr;
};

} // namespace lumora
