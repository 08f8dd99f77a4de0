#include "viewer/Preloader.h"

#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace lumora
{

Preloader::Preloader()
{
    // One worker: a neighbour decodes while the user looks at the image, and
    // never competes with more than one core.
    m_pool.setMaxThreadCount(1);
}

Preloader::~Preloader()
{
    for (auto &e : m_entries)
        e.cancel->store(true);
    m_pool.waitForDone();
}

void Preloader::setEnabled(bool on)
{
    m_enabled = on;
    if (!on)
        keep({});
}

void Preloader::drop(const QString &path)
{
    auto it = m_entries.find(path);
    if (it == m_entries.end())
        return;
    it->cancel->store(true);
    m_entries.erase(it);
}

void Preloader::keep(const QStringList &paths)
{
    const QStringList current = m_entries.keys();
    for (const QString &p : current)
        if (!paths.contains(p))
            drop(p);
    if (!m_enabled)
        return;
    for (const QString &path : paths) {
        if (path.isEmpty() || m_entries.contains(path))
            continue;
        const QFileInfo info(path);
        if (!info.isFile())
            continue;
        Entry e;
        e.cancel = std::make_shared<std::atomic_bool>(false);
        e.modified = info.lastModified();
        e.size = info.size();
        const QSize limit = m_proxyLimit;
        auto cancel = e.cancel;
        e.future = QtConcurrent::run(&m_pool, [path, limit, cancel] {
            Preloaded out;
            if (cancel->load())
                return out;
            imaging::DecodeOptions opts;
            opts.cancel = cancel.get();
            out.decoded = imaging::decodeFile(path, opts);
            if (out.decoded.ok() && !cancel->load()) {
                const QImage &first = out.decoded.pages.first();
                if (first.width() > limit.width() || first.height() > limit.height())
                    out.proxy = first.scaled(limit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            }
            return out;
        });
        m_entries.insert(path, e);
    }
}

std::optional<Preloaded> Preloader::take(const QString &path)
{
    auto it = m_entries.find(path);
    if (it == m_entries.end())
        return std::nullopt;
    Entry e = *it;
    m_entries.erase(it);
    e.future.waitForFinished();
    const QFileInfo info(path);
    // A file replaced since it was read is read again.
    if (!info.isFile() || info.lastModified() != e.modified || info.size() != e.size)
        return std::nullopt;
    Preloaded result = e.future.result();
    if (!result.decoded.ok())
        return std::nullopt; // the caller's own load reports the error
    return result;
}

void Preloader::waitForAll()
{
    for (auto &e : m_entries)
        e.future.waitForFinished();
}

} // namespace lumora
