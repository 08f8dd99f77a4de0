#pragma once

#include <QString>

#include <memory>

namespace lumora::platform
{

// Tells which folders live on media that come and go (USB sticks, memory
// cards, optical discs). Their paths change with every mount and their files
// may be private to whoever plugs them in, so the thumbnail cache treats them
// apart. Thread-safe: workers ask it.
class MountKind
{
public:
    virtual ~MountKind() = default;
    virtual bool isRemovable(const QString &folder) const = 0;
};

// The answer of the system this process runs on.
std::shared_ptr<const MountKind> createMountKind();

} // namespace lumora::platform
