#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace lumora::platform
{

bool writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    QString target = path;
    const QFileInfo info(path);
    if (info.isSymLink()) {
        target = info.symLinkTarget();
        if (target.isEmpty())
            return false;
    }
    const QFileInfo targetInfo(target);
    if (targetInfo.exists() && !targetInfo.isFile())
        return false;
    if (!QDir().mkpath(targetInfo.absolutePath()))
        return false;
    const bool existed = targetInfo.exists();
    const QFileDevice::Permissions perms =
        existed ? targetInfo.permissions() : QFileDevice::Permissions();
    QSaveFile out(target);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return false;
    }
    if (existed)
        out.setPermissions(perms);
    return out.commit();
}

std::optional<QByteArray> readWholeFile(const QString &path, qint64 limit)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.isSymLink() ? std::nullopt : std::optional<QByteArray>(QByteArray());
    if (!info.isFile() || info.size() > limit)
        return std::nullopt;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

} // namespace lumora::platform
