#pragma once

#include "explorer/ThumbnailMaker.h"

#include <QHash>
#include <QObject>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <optional>

namespace lumora
{

class ThumbnailCache;
class ThumbnailCacheWriter;
struct CacheWork;

// Decodes the thumbnails of one listing ahead of the grid on a pool sized to
// the cores, while the grid takes them in listing order. A newer listing
// cancels the pending decodes of the older one. Workers only produce
// ThumbnailResult values; results come back to this object's thread.
// Workers look in the desktop's thumbnail cache before decoding; what they
// had to decode goes to the cache's writer as the grid takes it.
class ThumbnailPipeline : public QObject
{
    Q_OBJECT
public:
    explicit ThumbnailPipeline(QObject *parent = nullptr);
    ~ThumbnailPipeline() override;

    // Starts decoding `paths` (listing order) ahead of the taker.
    void startListing(const QStringList &paths);
    // Drops the listing: queued decodes end without decoding.
    void cancelListing();

    // Result for position `index` of the current listing, once it is there.
    std::optional<ThumbnailResult> take(int index);
    // True when `index` belongs to the current listing (so waiting makes sense).
    bool covers(int index) const { return index >= 0 && index < m_paths.size(); }
    QString pathAt(int index) const { return covers(index) ? m_paths.at(index) : QString(); }

    // A thumbnail that was dropped to save memory and is wanted again.
    void remake(quint64 ticket, const QString &path);

    // Off: nothing more is written to the disk cache; reading stays.
    void setCacheWriting(bool on);
    bool cacheWriting() const { return m_cacheWriting; }
    ThumbnailCacheWriter &cacheWriter() { return *m_writer; }
    const ThumbnailCache &cache() const { return *m_cache; }

signals:
    void resultArrived();
    void remade(quint64 ticket, const QString &path, const lumora::ThumbnailResult &result);

private:
    void topUp();
    void submit(int index);
    void handOver(std::shared_ptr<CacheWork> work);

    std::shared_ptr<const ThumbnailCache> m_cache;
    std::unique_ptr<ThumbnailCacheWriter> m_writer;
    bool m_cacheWriting = true;
    QThreadPool m_pool;
    quint64 m_generation = 0;
    std::shared_ptr<std::atomic_bool> m_cancel;
    QStringList m_paths;
    QHash<int, ThumbnailResult> m_ready;
    QHash<int, std::shared_ptr<CacheWork>> m_readyWork;
    int m_nextSubmit = 0;
    int m_nextTake = 0;
    int m_window = 16;
};

} // namespace lumora

Q_DECLARE_METATYPE(lumora::ThumbnailResult)
