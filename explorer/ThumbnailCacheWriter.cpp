#include "explorer/ThumbnailCacheWriter.h"

#include "explorer/CachedThumbnail.h"

#include <QElapsedTimer>
#include <QThread>

#include <deque>

namespace lumora
{

ThumbnailCacheWriter::ThumbnailCacheWriter(std::shared_ptr<const ThumbnailCache> cache,
                                           qint64 byteBudget)
    : m_cache(std::move(cache)), m_budget(byteBudget)
{
}

ThumbnailCacheWriter::~ThumbnailCacheWriter()
{
    m_stop.store(true);
    m_wake.release();
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
    for (Node *n = m_inbox.exchange(nullptr); n;) {
        Node *next = n->next;
        delete n;
        n = next;
    }
}

void ThumbnailCacheWriter::enqueue(std::shared_ptr<CacheWork> work)
{
    if (!work || !m_enabled.load() || !work->source.writable || m_stop.load())
        return;
    if (m_outstanding.load() >= kMaxQueued)
        return; // made again on a later visit
    qint64 bytes = work->large.sizeInBytes();
    if (bytes > 0 && m_bytes.load() + bytes > m_budget) {
        work->large = QImage();
        bytes = 0;
    }
    m_bytes += bytes;
    ++m_outstanding;
    auto *node = new Node{std::move(work), m_inbox.load()};
    while (!m_inbox.compare_exchange_weak(node->next, node)) {
    }
    if (!m_thread) {
        m_thread = QThread::create([this] { run(); });
        m_thread->setObjectName(QStringLiteral("thumbnail cache writer"));
        m_thread->start(QThread::IdlePriority);
    }
    m_wake.release();
}

bool ThumbnailCacheWriter::waitUntilIdle(int timeoutMs) const
{
    QElapsedTimer t;
    t.start();
    while (m_outstanding.load() > 0) {
        if (t.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(2);
    }
    return true;
}

void ThumbnailCacheWriter::run()
{
    std::deque<std::shared_ptr<CacheWork>> queue; // oldest first
    for (;;) {
        m_wake.acquire();
        if (m_stop.load())
            break;
        // The inbox holds the newest first.
        std::deque<std::shared_ptr<CacheWork>> batch;
        for (Node *n = m_inbox.exchange(nullptr); n;) {
            batch.push_front(std::move(n->work));
            Node *next = n->next;
            delete n;
            n = next;
        }
        for (auto &w : batch)
            queue.push_back(std::move(w));
        while (!queue.empty() && !m_stop.load()) {
            std::shared_ptr<CacheWork> work = std::move(queue.front());
            queue.pop_front();
            const qint64 bytes = work->large.sizeInBytes();
            process(*work);
            work.reset();
            m_bytes -= bytes;
            --m_outstanding;
        }
    }
    m_outstanding -= int(queue.size());
}

void ThumbnailCacheWriter::process(CacheWork &work)
{
    if (!m_enabled.load())
        return;
    // An earlier visit, or another program, may have been quicker.
    if (m_cache->hasCurrentEntry(work.source))
        return;
    if (work.needsDecode()) {
        std::shared_ptr<CacheWork> fresh = decodeForCache(work.source, &m_stop);
        if (!fresh || !m_enabled.load())
            return;
        ++m_redecoded;
        work = std::move(*fresh);
    }
    if (work.failed) {
        if (m_cache->storeFailure(work.source, work.error))
            ++m_failures;
    } else if (m_cache->store(work.source, work.large, work.original)) {
        ++m_written;
    }
}

} // namespace lumora
