#include "explorer/ThumbnailCache.h"

#include "explorer/ThumbnailPng.h"
#include "platform/MountKind.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace lumora
{

namespace
{

const QByteArray kUri = QByteArrayLiteral("Thumb::URI");
const QByteArray kMTime = QByteArrayLiteral("Thumb::MTime");
const QByteArray kSize = QByteArrayLiteral("Thumb::Size");
const QByteArray kWidth = QByteArrayLiteral("Thumb::Image::Width");
const QByteArray kHeight = QByteArrayLiteral("Thumb::Image::Height");
const QByteArray kSoftware = QByteArrayLiteral("Software");
// Our own key in our own failure records: the reason shown for the file.
const QByteArray kError = QByteArrayLiteral("Lumora::Error");

#define LUMORA_STR2(x) #x
#define LUMORA_STR(x) LUMORA_STR2(x)
const char *const kVersion = LUMORA_STR(LUMORA_VERSION_MAJOR) "." LUMORA_STR(LUMORA_VERSION_MINOR);

constexpr QFile::Permissions kPrivateDir = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
constexpr QFile::Permissions kPrivateFile = QFile::ReadOwner | QFile::WriteOwner;

// Characters GLib leaves as they are in the path of a file URI; every other
// byte (of the UTF-8 path) becomes %XX with upper-case hex.
bool keptInPath(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return c != 0 && std::strchr("!$&'()*+,-./:=@_~", c) != nullptr;
}

QByteArray escapePath(const QByteArray &bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(bytes.size() + 16);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (keptInPath(c)) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::optional<qint64> number(const QByteArray &text)
{
    bool ok = false;
    const qint64 n = text.trimmed().toLongLong(&ok);
    if (ok)
        return n;
    // Some writers store fractional seconds; the whole second is what counts.
    const double d = text.trimmed().toDouble(&ok);
    if (ok && std::isfinite(d))
        return qint64(std::floor(d));
    return std::nullopt;
}

QSize originalOf(const thumbpng::TextMap &text)
{
    const auto w = number(text.value(kWidth));
    const auto h = number(text.value(kHeight));
    if (!w || !h || *w <= 0 || *h <= 0 || *w > 1000000 || *h > 1000000)
        return {};
    return QSize(int(*w), int(*h));
}

// Whether a thumbnail's text says it is of this version of the file.
// `lenient`: shared repositories may leave out the URI and the time.
thumbpng::Verdict matches(const thumbpng::TextMap &text, const QByteArray &uri,
                          const CacheSource &src, bool lenient)
{
    using thumbpng::Verdict;
    bool undecided = false;
    if (const auto it = text.find(kUri); it != text.end()) {
        if (it.value() != uri)
            return Verdict::Reject;
    } else if (!lenient) {
        undecided = true;
    }
    if (const auto it = text.find(kMTime); it != text.end()) {
        const auto t = number(it.value());
        if (!t || *t != src.mtime)
            return Verdict::Reject;
    } else if (!lenient) {
        undecided = true;
    }
    if (const auto it = text.find(kSize); it != text.end()) {
        const auto n = number(it.value());
        if (!n || *n != src.size)
            return Verdict::Reject;
    }
    return undecided ? Verdict::Undecided : Verdict::Accept;
}

// A large thumbnail's long side is 256, or the picture's own when that is
// smaller (never enlarged). Anything else belongs in another folder.
thumbpng::Verdict sized(QSize size, const thumbpng::TextMap &text)
{
    using thumbpng::Verdict;
    const int longSide = std::max(size.width(), size.height());
    if (size.isEmpty() || longSide > ThumbnailCache::kLargeSide)
        return Verdict::Reject;
    if (longSide == ThumbnailCache::kLargeSide)
        return Verdict::Accept;
    const QSize original = originalOf(text);
    if (original.isEmpty())
        return Verdict::Undecided;
    return std::max(original.width(), original.height()) == longSide ? Verdict::Accept
                                                                     : Verdict::Reject;
}

thumbpng::Check thumbnailCheck(const CacheSource &src, const QByteArray &uri, bool lenient)
{
    return [&src, uri, lenient](QSize size, const thumbpng::TextMap &text) {
        using thumbpng::Verdict;
        const Verdict who = matches(text, uri, src, lenient);
        if (who == Verdict::Reject)
            return who;
        const Verdict fit = sized(size, text);
        if (fit == Verdict::Reject)
            return fit;
        return who == Verdict::Accept && fit == Verdict::Accept ? Verdict::Accept
                                                                : Verdict::Undecided;
    };
}

thumbpng::Check failureCheck(const CacheSource &src)
{
    return
        [&src](QSize, const thumbpng::TextMap &text) { return matches(text, src.uri, src, false); };
}

// The picture's own size for the shaping, from the thumbnail's text when it
// agrees with the thumbnail's proportions (or is only turned a quarter).
QSize usableOriginal(const QImage &thumb, const thumbpng::TextMap &text)
{
    QSize original = originalOf(text);
    if (original.isEmpty())
        return thumb.size();
    const double a = double(thumb.width()) / thumb.height();
    auto close = [a](QSize s) { return std::abs(double(s.width()) / s.height() / a - 1.0) < 0.05; };
    if (close(original))
        return original;
    if (close(original.transposed()))
        return original.transposed();
    return thumb.size();
}

bool makePrivateFolders(const QString &dir)
{
    // Every folder made on the way is the owner's alone.
    QStringList missing;
    QString p = dir;
    while (!p.isEmpty() && !QFileInfo::exists(p)) {
        missing.prepend(p);
        const QString up = QFileInfo(p).path();
        if (up == p)
            break;
        p = up;
    }
    for (const QString &m : missing) {
        if (!QDir().mkdir(m, kPrivateDir) && !QFileInfo(m).isDir())
            return false;
    }
    return QFileInfo(dir).isDir();
}

} // namespace

ThumbnailCache::ThumbnailCache(const QString &root,
                               std::shared_ptr<const platform::MountKind> mounts)
    : m_root(QDir::cleanPath(root)), m_mounts(std::move(mounts))
{
    m_canonicalRoot = QFileInfo(m_root).canonicalFilePath();
}

ThumbnailCache::~ThumbnailCache() = default;

QString ThumbnailCache::defaultRoot()
{
    const QString xdg = qEnvironmentVariable("XDG_CACHE_HOME").trimmed();
    const QString base = xdg.isEmpty() ? QDir::homePath() + QStringLiteral("/.cache") : xdg;
    return base + QStringLiteral("/thumbnails");
}

QByteArray ThumbnailCache::fileUri(const QString &absolutePath)
{
    return QByteArrayLiteral("file://") + escapePath(QFile::encodeName(absolutePath));
}

QString ThumbnailCache::fileName(const QByteArray &uri)
{
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) +
           QStringLiteral(".png");
}

QString ThumbnailCache::failFolderName()
{
    return QStringLiteral("lumora-") + QLatin1String(kVersion);
}

bool ThumbnailCache::insideRoot(const QString &absolutePath) const
{
    auto under = [&](const QString &root) {
        return !root.isEmpty() && absolutePath.startsWith(root + QLatin1Char('/'));
    };
    if (under(m_root) || under(m_canonicalRoot))
        return true;
    // Reached through a link: compare where the folder really is.
    const QString real =
        QFileInfo(QFileInfo(absolutePath).path()).canonicalFilePath() + QLatin1Char('/');
    return real.startsWith(m_root + QLatin1Char('/')) ||
           (!m_canonicalRoot.isEmpty() && real.startsWith(m_canonicalRoot + QLatin1Char('/')));
}

bool ThumbnailCache::removableFolder(const QString &folder) const
{
    if (!m_mounts)
        return false;
    {
        QMutexLocker lock(&m_mutex);
        if (const auto it = m_removable.constFind(folder); it != m_removable.cend())
            return it.value();
    }
    const bool removable = m_mounts->isRemovable(folder);
    QMutexLocker lock(&m_mutex);
    if (m_removable.size() > 256)
        m_removable.clear();
    m_removable.insert(folder, removable);
    return removable;
}

std::optional<CacheSource> ThumbnailCache::describe(const QString &path) const
{
    const QFileInfo fi(path);
    if (!fi.isFile() || !fi.isReadable())
        return std::nullopt;
    CacheSource s;
    s.path = QDir::cleanPath(fi.absoluteFilePath());
    const QString folder = QFileInfo(s.path).path();
    if (insideRoot(s.path) || folder.contains(QLatin1String("/.sh_thumbnails/")) ||
        folder.endsWith(QLatin1String("/.sh_thumbnails")))
        return std::nullopt;
    s.uri = fileUri(s.path);
    const QString name = fileName(s.uri);
    s.largeFile = m_root + QStringLiteral("/large/") + name;
    s.failFile = failPath(name);
    s.mtime = fi.lastModified().toSecsSinceEpoch();
    s.size = fi.size();
    if (removableFolder(folder)) {
        s.writable = false;
        s.sharedUri = QByteArrayLiteral("./") + escapePath(QFile::encodeName(fi.fileName()));
        s.sharedFile = folder + QStringLiteral("/.sh_thumbnails/large/") + fileName(s.sharedUri);
    }
    return s;
}

QString ThumbnailCache::failPath(const QString &name) const
{
    return m_root + QStringLiteral("/fail/") + failFolderName() + QLatin1Char('/') + name;
}

void ThumbnailCache::forget(const QString &path) const
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // The name as it was listed, and as it is reached without links.
    QStringList spellings{absolute};
    const QString folder = QFileInfo(QFileInfo(absolute).path()).canonicalFilePath();
    if (!folder.isEmpty() && folder + QLatin1Char('/') + QFileInfo(absolute).fileName() != absolute)
        spellings << folder + QLatin1Char('/') + QFileInfo(absolute).fileName();
    for (const QString &p : spellings) {
        const QString name = fileName(fileUri(p));
        for (const char *size : {"normal", "large", "x-large", "xx-large"})
            QFile::remove(m_root + QLatin1Char('/') + QLatin1String(size) + QLatin1Char('/') +
                          name);
        QFile::remove(failPath(name));
    }
}

void ThumbnailCache::moveEntry(const QString &from, const QString &to) const
{
    if (const std::optional<CacheSource> target = describe(to); target && target->writable) {
        // The old entry read as though it were the new file's: right only
        // when it names the old file and the moved file is unchanged.
        CacheSource old = *target;
        old.uri = fileUri(QDir::cleanPath(QFileInfo(from).absoluteFilePath()));
        old.largeFile = m_root + QStringLiteral("/large/") + fileName(old.uri);
        old.failFile = failPath(fileName(old.uri));
        old.sharedFile.clear();
        const CacheLookup found = lookup(old);
        if (found.state == CacheLookup::State::Hit)
            store(*target, found.image, found.original);
        else if (found.state == CacheLookup::State::Failed)
            storeFailure(*target, found.error);
    }
    forget(from);
}

CacheLookup ThumbnailCache::lookup(const CacheSource &source) const
{
    CacheLookup out;
    auto tryThumbnail = [&](const QString &file, const QByteArray &uri, bool lenient) {
        thumbpng::ReadResult r = thumbpng::read(file, thumbnailCheck(source, uri, lenient));
        if (r.status != thumbpng::ReadStatus::Ok)
            return false;
        out.state = CacheLookup::State::Hit;
        out.original = usableOriginal(r.image, r.text);
        out.image = std::move(r.image);
        return true;
    };
    if (tryThumbnail(source.largeFile, source.uri, false))
        return out;
    if (!source.sharedFile.isEmpty() && tryThumbnail(source.sharedFile, source.sharedUri, true))
        return out;
    const thumbpng::ReadResult f = thumbpng::read(source.failFile, failureCheck(source));
    if (f.status == thumbpng::ReadStatus::Ok) {
        out.state = CacheLookup::State::Failed;
        out.error = QString::fromUtf8(f.text.value(kError));
        if (out.error.isEmpty())
            out.error = QStringLiteral("The image could not be read.");
    }
    return out;
}

bool ThumbnailCache::hasCurrentEntry(const CacheSource &source) const
{
    // Read whole: a file whose header is right but whose picture is cut off
    // must count as missing, so that it is replaced.
    return lookup(source).state != CacheLookup::State::Miss;
}

bool ThumbnailCache::writeAtomically(const QString &target, const QByteArray &bytes) const
{
    if (bytes.isEmpty())
        return false;
    const QString dir = QFileInfo(target).path();
    if (!makePrivateFolders(dir))
        return false;
    QTemporaryFile tmp(target + QStringLiteral(".XXXXXX"));
    tmp.setAutoRemove(false);
    if (!tmp.open())
        return false;
    const QString tmpName = tmp.fileName();
    const bool written =
        tmp.write(bytes) == bytes.size() && tmp.flush() && tmp.setPermissions(kPrivateFile);
    tmp.close();
    std::error_code ec;
    if (written)
        std::filesystem::rename(QFile::encodeName(tmpName).toStdString(),
                                QFile::encodeName(target).toStdString(), ec);
    if (!written || ec) {
        QFile::remove(tmpName);
        return false;
    }
    return true;
}

bool ThumbnailCache::store(const CacheSource &source, const QImage &large, QSize original) const
{
    if (!source.writable || large.isNull())
        return false;
    QImage img = large;
    if (std::max(img.width(), img.height()) > kLargeSide)
        img = img.scaled(kLargeSide, kLargeSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (original.isEmpty())
        original = img.size();
    const thumbpng::TextList text{
        {kUri, source.uri},
        {kMTime, QByteArray::number(source.mtime)},
        {kSize, QByteArray::number(source.size)},
        {kWidth, QByteArray::number(original.width())},
        {kHeight, QByteArray::number(original.height())},
        {kSoftware, QByteArrayLiteral("Lumora ") + kVersion},
    };
    return writeAtomically(source.largeFile, thumbpng::encode(img, text));
}

bool ThumbnailCache::storeFailure(const CacheSource &source, const QString &error) const
{
    if (!source.writable)
        return false;
    QImage dot(1, 1, QImage::Format_ARGB32);
    dot.fill(Qt::transparent);
    const thumbpng::TextList text{
        {kUri, source.uri},
        {kMTime, QByteArray::number(source.mtime)},
        {kSize, QByteArray::number(source.size)},
        {kSoftware, QByteArrayLiteral("Lumora ") + kVersion},
        {kError, error.toUtf8()},
    };
    return writeAtomically(source.failFile, thumbpng::encode(dot, text));
}

} // namespace lumora
