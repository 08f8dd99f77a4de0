#pragma once

#include "platform/SingleInstance.h"

#include <QLocalServer>
#include <QString>

namespace lumora::platform
{

// The primary listens on a local socket under a per-user name; a later
// process that can connect to it is not the primary. A lock file makes the
// check-and-listen one step, so two processes started together cannot both
// win, and a socket left by a crashed primary is taken over.
class LocalSingleInstance : public SingleInstance
{
public:
    // name: a plain name (placed in the per-user runtime folder) or a full path.
    explicit LocalSingleInstance(const QString &name = defaultName());
    ~LocalSingleInstance() override;

    bool tryBecomePrimary() override;
    QString serverName() const { return m_name; }

    // "$XDG_RUNTIME_DIR/lumora.instance", else a name with the user id in
    // the temporary folder.
    static QString defaultName();

private:
    QString m_name;
    QLocalServer m_server;
    bool m_primary = false;
};

} // namespace lumora::platform
