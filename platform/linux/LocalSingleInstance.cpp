#include "platform/linux/LocalSingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>

#include <unistd.h>

namespace lumora::platform
{

LocalSingleInstance::LocalSingleInstance(const QString &name) : m_name(name) {}

LocalSingleInstance::~LocalSingleInstance()
{
    m_server.close();
}

QString LocalSingleInstance::defaultName()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/lumora.instance");
    return QDir::tempPath() + QStringLiteral("/lumora-%1.instance").arg(::getuid());
}

bool LocalSingleInstance::tryBecomePrimary()
{
    if (m_primary)
        return true;

    QLockFile lock(m_name + QStringLiteral(".lock"));
    lock.setStaleLockTime(0); // only a live owner counts
    const bool locked = lock.tryLock(5000);

    QLocalSocket probe;
    probe.connectToServer(m_name);
    if (probe.waitForConnected(1000)) {
        probe.disconnectFromServer();
        return false;
    }
    // A live lock holder is another start deciding right now; it will win.
    if (!locked && lock.error() == QLockFile::LockFailedError)
        return false;

    // Nobody answers: whatever lies at the name is left from a crash.
    QLocalServer::removeServer(m_name);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    // When no server can be made here (no writable folder, say) the check
    // cannot be kept, but that must not stop the program from starting.
    m_server.listen(m_name);
    m_primary = true;
    return true;
}

std::unique_ptr<SingleInstance> createSingleInstance()
{
    return std::make_unique<LocalSingleInstance>();
}

} // namespace lumora::platform
