#include "platform/ProcessCommandRunner.h"

#include <QProcess>

namespace lumora::platform
{

CommandResult ProcessCommandRunner::run(const QString &program, const QStringList &arguments)
{
    CommandResult result;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(m_timeoutMs))
        return result;
    result.started = true;
    if (!process.waitForFinished(m_timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        result.errorOutput = QStringLiteral("did not finish in time");
        return result;
    }
    result.output = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.errorOutput = QString::fromLocal8Bit(process.readAllStandardError());
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

} // namespace lumora::platform
