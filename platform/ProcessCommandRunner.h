#pragma once

#include "platform/CommandRunner.h"

namespace lumora::platform
{

// Runs the program with QProcess; a program that does not finish within the
// timeout is killed and counts as failed.
class ProcessCommandRunner : public CommandRunner
{
public:
    explicit ProcessCommandRunner(int timeoutMs = 15000) : m_timeoutMs(timeoutMs) {}
    CommandResult run(const QString &program, const QStringList &arguments) override;

private:
    int m_timeoutMs;
};

} // namespace lumora::platform
