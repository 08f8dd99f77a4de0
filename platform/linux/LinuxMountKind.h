#pragma once

#include "platform/MountKind.h"

namespace lumora::platform
{

// A folder is removable when its file system is mounted where the desktop
// mounts hot-plugged media (/media, /run/media) or when the kernel marks its
// block device removable (/sys/class/block/<dev>/removable, or that of the
// whole disk for a partition).
class LinuxMountKind : public MountKind
{
public:
    bool isRemovable(const QString &folder) const override;

    // The two rules, apart, so they can be checked without a device.
    static bool isHotplugMountPoint(const QString &mountPoint);
    static bool sysfsSaysRemovable(const QString &sysBlockRoot, const QString &device);
};

} // namespace lumora::platform
