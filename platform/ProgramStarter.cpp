#include "platform/ProgramStarter.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <memory>

namespace lumora::platform
{

bool DetachedProgramStarter::start(const QString &program, const QStringList &arguments,
                                   const QString &workingFolder)
{
    if (program.isEmpty())
        return false;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingFolder.isEmpty() ? QFileInfo(program).absolutePath()
                                                        : workingFolder);
    return process.startDetached();
}

void XdgDocumentOpener::open(const QString &path, QObject *context, std::function<void(bool)> done)
{
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) {
        done(false);
        return;
    }
    auto *process = new QProcess(context);
    // Answered once: a start that fails raises errorOccurred and no finished.
    auto answer = std::make_shared<std::function<void(bool)>>(std::move(done));
    const auto reply = [process, answer](bool opened) {
        if (*answer) {
            const auto once = std::move(*answer);
            *answer = nullptr;
            once(opened);
        }
        process->deleteLater();
    };
    QObject::connect(process, &QProcess::finished, process,
                     [reply](int code, QProcess::ExitStatus status) {
                         reply(status == QProcess::NormalExit && code == 0);
                     });
    QObject::connect(process, &QProcess::errorOccurred, process, [reply](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            reply(false);
    });
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(opener, {path});
}

} // namespace lumora::platform
