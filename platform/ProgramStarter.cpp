#include "platform/ProgramStarter.h"

#include <QFileInfo>
#include <QProcess>

namespace lumora::platform
{

bool DetachedProgramStarter::start(const QString &program)
{
    if (program.isEmpty())
        return false;
    QProcess process;
    process.setProgram(program);
    process.setWorkingDirectory(QFileInfo(program).absolutePath());
    return process.startDetached();
}

} // namespace lumora::platform
