#pragma once

#include <QString>
#include <QStringList>

namespace lumora::platform
{

struct CommandResult {
    bool started = false;
    int exitCode = -1;
    QString output;      // standard output
    QString errorOutput; // standard error
    bool ok() const { return started && exitCode == 0; }
};

// Runs an external program and waits for it. Desktop integration goes through
// this so tests can see the commands without touching the real desktop.
class CommandRunner
{
public:
    virtual ~CommandRunner() = default;
    virtual CommandResult run(const QString &program, const QStringList &arguments) = 0;
};

} // namespace lumora::platform
