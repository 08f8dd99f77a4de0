#include "explorer/ThumbnailPipeline.h"

#include <QThread>

#include <algorithm>

namespace lumora {

ThumbnailPipeline::ThumbnailPipeline(QObject *parent)
    : QObject(parent), m_cancel(std::make_shared<std::atomic_bool>(false))
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
    m_pool.start([this, gen, index, path, cancel] {
        ThumbnailResult r = makeThumbnail(path, cancel.get());
        if (cancel->load())
            return;
        QMetaObject::invokeMethod(
            this,
            [this, gen, index, r = std::move(r)]() mutable {
                if (gen != m_generation)
                    return;
                m_ready.insert(index, std::move(r));
                emit resultArrived();
            },
            Qt::QueuedConnection);
    });
}

void ThumbnailPipeline::remake(quint64 ticket, const QString &path)
{
    // Ahead of the listing's look-ahead: the user is looking at this one.
    m_pool.start(
        [this, ticket, path] {
            ThumbnailResult r = makeThumbnail(path);
            QMetaObject::invokeMethod(
                this, [this, ticket, path, r = std::move(r)] { emit remade(ticket, path, r); },
                Qt::QueuedConnection);
        },
        1);
}

} // namespace lumora
