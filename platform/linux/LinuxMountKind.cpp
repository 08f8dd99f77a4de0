#include "platform/linux/LinuxMountKind.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

namespace lumora::platform
{

namespace
{
bool readsOne(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) && f.read(2).trimmed() == "1";
}
} // namespace

bool LinuxMountKind::isHotplugMountPoint(const QString &mountPoint)
{
    return mountPoint.startsWith(QLatin1String("/media/")) ||
           mountPoint.startsWith(QLatin1String("/run/media/"));
}

bool LinuxMountKind::sysfsSaysRemovable(const QString &sysBlockRoot, const QString &device)
{
    if (!device.startsWith(QLatin1String("/dev/")))
        return false;
    const QString name = device.mid(5);
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return false;
    const QString node = sysBlockRoot + QLatin1Char('/') + name;
    if (readsOne(node + QLatin1String("/removable")))
        return true;
    // A partition's entry links into its disk's folder, which holds the flag.
    const QString real = QFileInfo(node).canonicalFilePath();
    if (real.isEmpty())
        return false;
    return readsOne(QFileInfo(real).path() + QLatin1String("/removable"));
}

bool LinuxMountKind::isRemovable(const QString &folder) const
{
    const QStorageInfo info(folder);
    if (!info.isValid())
        return false;
    if (isHotplugMountPoint(info.rootPath()))
        return true;
    return sysfsSaysRemovable(QStringLiteral("/sys/class/block"),
                              QString::fromLocal8Bit(info.device()));
}

std::shared_ptr<const MountKind> createMountKind()
{
    return std::make_shared<LinuxMountKind>();
}

} // namespace lumora::platform
