#include "explorer/ThumbnailPipeline.h"

#include "explorer/CachedThumbnail.h"
#include "explorer/ThumbnailCache.h"
#include "explorer/ThumbnailCacheWriter.h"
#include "platform/MountKind.h"

#include <QThread>

#include <algorithm>

namespace lumora
{

ThumbnailPipeline::ThumbnailPipeline(QObject *parent)
    : QObject(parent), m_cache(std::make_shared<ThumbnailCache>(ThumbnailCache::defaultRoot(),
                                                                platform::createMountKind())),
      m_writer(std::make_unique<ThumbnailCacheWriter>(m_cache)),
      m_cancel(std::make_shared<std::atomic_bool>(false))
{
    const int cores = std::max(1, QThread::idealThreadCount());
    m_pool.setMaxThreadCount(cores);
    // Enough queued work that no worker idles while the grid fills an item,
    // little enough that a superseded listing wastes almost nothing.
    m_window = 4 * cores + 4;
}

ThumbnailPipeline::~ThumbnailPipeline()
{
    m_cancel->store(true);
    m_pool.clear();
    m_pool.waitForDone();
}

void ThumbnailPipeline::startListing(const QStringList &paths)
{
    cancelListing();
    m_paths = paths;
    topUp();
}

void ThumbnailPipeline::cancelListing()
{
    m_cancel->store(true);
    m_cancel = std::make_shared<std::atomic_bool>(false);
    ++m_generation;
    m_paths.clear();
    m_ready.clear();
    m_readyWork.clear();
    m_nextSubmit = 0;
    m_nextTake = 0;
}

std::optional<ThumbnailResult> ThumbnailPipeline::take(int index)
{
    auto it = m_ready.find(index);
    if (it == m_ready.end())
        return std::nullopt;
    ThumbnailResult r = std::move(it.value());
    m_ready.erase(it);
    handOver(m_readyWork.take(index));
    m_nextTake = std::max(m_nextTake, index + 1);
    topUp();
    return r;
}

void ThumbnailPipeline::topUp()
{
    while (m_nextSubmit < m_paths.size() && m_nextSubmit < m_nextTake + m_window)
        submit(m_nextSubmit++);
}

void ThumbnailPipeline::submit(int index)
{
    const quint64 gen = m_generation;
    const QString path = m_paths.at(index);
    std::shared_ptr<std::atomic_bool> cancel = m_cancel;
    std::shared_ptr<const ThumbnailCache> cache = m_cache;
    const bool write = m_cacheWriting;
    m_pool.start([this, gen, index, path, cancel, cache, write] {
        CachedResult c = cachedThumbnail(path, *cache, write, cancel.get());
        if (cancel->load())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, gen, index, r = std::move(c.result), w = std::move(c.toCache)]() mutable {
                if (gen != m_generation)
                    return;
                m_ready.insert(index, std::move(r));
                if (w)
                    m_readyWork.insert(index, std::move(w));
                emit resultArrived();
            },
            Qt::QueuedConnection);
    });
}

void ThumbnailPipeline::remake(quint64 ticket, const QString &path)
{
    // Ahead of the listing's look-ahead: the user is looking at this one.
    std::shared_ptr<const ThumbnailCache> cache = m_cache;
    const bool write = m_cacheWriting;
    m_pool.start(
        [this, ticket, path, cache, write] {
            CachedResult c = cachedThumbnail(path, *cache, write);
            QMetaObject::invokeMethod(
                this,
                [this, ticket, path, r = std::move(c.result), w = std::move(c.toCache)]() mutable {
                    handOver(std::move(w));
                    emit remade(ticket, path, r);
                },
                Qt::QueuedConnection);
        },
        1);
}

void ThumbnailPipeline::handOver(std::shared_ptr<CacheWork> work)
{
    // The grid is about to show this one; the writer's idle priority keeps
    // the disk work behind everything the grid still waits for.
    if (work && m_cacheWriting)
        m_writer->enqueue(std::move(work));
}

void ThumbnailPipeline::setCacheWriting(bool on)
{
    m_cacheWriting = on;
    m_writer->setEnabled(on);
}

} // namespace lumora
