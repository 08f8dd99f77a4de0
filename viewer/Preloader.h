#pragma once

#include "imaging/Decoder.h"

#include <QDateTime>
#include <QFuture>
#include <QHash>
#include <QImage>
#include <QSize>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <optional>

namespace lumora
{

// A decoded neighbour, ready to be shown: the pages, and a copy of the first
// page no larger than the screen, so the first paint scales a small picture
// instead of the full photo.
struct Preloaded {
    imaging::DecodedImage decoded;
    QImage proxy;
};

// Decodes the images next to the one shown on a worker thread, so Next and
// Previous show them at once. Holds at most the entries it was last asked to
// keep (the two neighbours); the document holds the current image.
class Preloader
{
public:
    Preloader();
    ~Preloader();
    Preloader(const Preloader &) = delete;
    Preloader &operator=(const Preloader &) = delete;

    void setProxyLimit(QSize size) { m_proxyLimit = size; }
    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }

    // Keeps exactly these paths (in order of priority), cancelling the rest
    // and starting the decodes not yet under way.
    void keep(const QStringList &paths);
    // The result for `path` when it was asked for (waiting for a decode under
    // way) and the file has not changed since; it leaves the cache.
    std::optional<Preloaded> take(const QString &path);
    // Paths held or being decoded, for tests.
    QStringList held() const { return m_entries.keys(); }
    void waitForAll();

private:
    struct Entry {
        QFuture<Preloaded> future;
        std::shared_ptr<std::atomic_bool> cancel;
        QDateTime modified;
        qint64 size = -1;
    };
    void drop(const QString &path);

    QHash<QString, Entry> m_entries;
    QThreadPool m_pool;
    QSize m_proxyLimit{1920, 1200};
    bool m_enabled = true;
};

} // namespace lumora
