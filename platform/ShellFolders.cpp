#include "platform/ShellFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace lumora::platform
{

QString specialFolderPath(int csidl)
{
    QString path;
    switch (csidl) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY:
        path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        break;
    case CSIDL_PERSONAL:
        path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        break;
    case CSIDL_MYPICTURES:
        path = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        break;
    case CSIDL_PROFILE:
        path = QStandardPaths::writableLocation(QStandardPaths::HomeLocation);
        break;
    default:
        return {};
    }
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return {};
    return QDir::cleanPath(path);
}

QString wallpaperFolder()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        return {};
    const QString folder = QDir::cleanPath(data + QStringLiteral("/lumora/wallpaper"));
    if (!QDir().mkpath(folder))
        return {};
    return folder;
}

bool isHiddenFile(const QString &path)
{
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (name.startsWith(QLatin1Char('.')))
        return true;
    QFile list(info.absolutePath() + QStringLiteral("/.hidden"));
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    while (!list.atEnd()) {
        QByteArray line = list.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (QFile::decodeName(line) == name)
            return true;
    }
    return false;
}

} // namespace lumora::platform
