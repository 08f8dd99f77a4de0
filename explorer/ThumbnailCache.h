#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QMutex>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace lumora::platform
{
class MountKind;
}

namespace lumora
{

// One image file as the thumbnail cache knows it: who it is (its URI) and
// which version of it (modification time and size, read before decoding so
// that a change during the decode makes the entry stale, never wrong).
struct CacheSource {
    QString path;         // absolute
    QByteArray uri;       // file:///... as the desktop spells it
    QString largeFile;    // the personal cache's large thumbnail
    QString failFile;     // this program's record that the file cannot be read
    QString sharedFile;   // a read-only repository beside the file (removable media)
    QByteArray sharedUri; // "./name", what a shared thumbnail names
    qint64 mtime = 0;     // seconds since 1970
    qint64 size = 0;
    bool writable = true; // false: read what is there, never write
};

struct CacheLookup {
    enum class State { Miss, Hit, Failed };
    State state = State::Miss;
    QImage image;   // the large thumbnail on a hit (RGB32, or ARGB32 with transparency)
    QSize original; // the picture's own size when the thumbnail says it
    QString error;  // why the file could not be read, on Failed
};

// The desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails), as file
// managers and other viewers use it: large (256) thumbnails named by the MD5
// of the file's URI, valid while their Thumb::URI and Thumb::MTime (and
// Thumb::Size, when given) match the file, and this program's failure records
// under fail/. Files inside the cache folder are never looked up or
// thumbnailed. Files on removable media are read from the shared repository
// beside them (.sh_thumbnails/large) or from the personal cache, but nothing
// about them is ever written: their paths change with every mount and they
// may be someone else's.
//
// Every method is safe to call from several threads at once; the object
// holds no pictures.
class ThumbnailCache
{
public:
    static constexpr int kLargeSide = 256;

    explicit ThumbnailCache(const QString &root = defaultRoot(),
                            std::shared_ptr<const platform::MountKind> mounts = {});
    ~ThumbnailCache();

    // $XDG_CACHE_HOME/thumbnails when that variable is set and not blank,
    // else ~/.cache/thumbnails.
    static QString defaultRoot();
    // The absolute canonical file URI, minimally escaped the way GLib does,
    // so that every program on the desktop computes the same name.
    static QByteArray fileUri(const QString &absolutePath);
    // MD5 of the URI in lower-case hex, with ".png".
    static QString fileName(const QByteArray &uri);
    // "lumora-<major>.<minor>": failure records are this version's own.
    static QString failFolderName();

    const QString &root() const { return m_root; }

    // Nothing when the file must not be cached at all: unreadable, not a
    // regular file, or inside the cache folder.
    std::optional<CacheSource> describe(const QString &path) const;

    CacheLookup lookup(const CacheSource &source) const;
    // True when a current, readable thumbnail or failure record is on disk.
    bool hasCurrentEntry(const CacheSource &source) const;

    // Write to a temporary name beside the target, then rename over it;
    // folders are made 0700, files 0600. False when nothing was written.
    bool store(const CacheSource &source, const QImage &large, QSize original) const;
    bool storeFailure(const CacheSource &source, const QString &error) const;

    // After the program deleted `path`: its thumbnails of every size and its
    // failure record go. The file need not exist any more.
    void forget(const QString &path) const;
    // After the program moved or renamed `from` to `to`: a current large
    // thumbnail or failure record follows the file (only where the new place
    // may be written), and everything under the old name goes.
    void moveEntry(const QString &from, const QString &to) const;

private:
    bool removableFolder(const QString &folder) const;
    bool insideRoot(const QString &absolutePath) const;
    bool writeAtomically(const QString &target, const QByteArray &bytes) const;
    QString failPath(const QString &name) const;

    QString m_root;
    QString m_canonicalRoot;
    std::shared_ptr<const platform::MountKind> m_mounts;
    mutable QMutex m_mutex;
    mutable QHash<QString, bool> m_removable; // folder -> answer
};

} // namespace lumora
