#pragma once

// Files written by other programs (ImageMagick, GraphicsMagick, Pillow,
// netpbm, libtiff's tools), so the decoders are checked against writers that
// are not ours. Every tool is installed by scripts/install-deps.sh: a missing
// one is a failure that names it, never a silent skip.

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace lumora::test
{

// Runs a tool to completion; false (with a failure naming the tool and what
// it printed) when it is missing, crashes or exits non-zero.
inline bool runTool(const QString &program, const QStringList &args, const QByteArray &input = {},
                    QByteArray *output = nullptr)
{
    const QString found =
        QFileInfo(program).isAbsolute() ? program : QStandardPaths::findExecutable(program);
    if (found.isEmpty() || !QFileInfo(found).isExecutable()) {
        ADD_FAILURE() << program.toStdString()
                      << " is not installed (scripts/install-deps.sh installs it)";
        return false;
    }
    QProcess process;
    process.start(found, args);
    if (!process.waitForStarted(10000)) {
        ADD_FAILURE() << "cannot start " << program.toStdString();
        return false;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " " << args.join(' ').toStdString()
                      << " failed: " << process.readAllStandardError().toStdString();
        return false;
    }
    if (output)
        *output = process.readAllStandardOutput();
    return true;
}

// The Debian interpreter that has python3-pil, not whatever python3 comes
// first on the PATH (a pyenv shim, say).
inline QString pillowPython()
{
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
               ? QStringLiteral("/usr/bin/python3")
               : QStringLiteral("python3");
}

// Runs a Pillow script with the given arguments (sys.argv[1:]).
inline bool runPillow(const char *script, const QStringList &args)
{
    return runTool(pillowPython(),
                   QStringList{QStringLiteral("-c"), QString::fromUtf8(script)} + args);
}

inline QByteArray readAllOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "no file " << path.toStdString();
        return {};
    }
    return file.readAll();
}

} // namespace lumora::test
