#pragma once

#include "platform/XdgDirs.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>

namespace lumora::test
{

// Freedesktop folders under a temporary directory, so association tests and
// the desktop's own tools (xdg-mime, gio) read and write only there:
//   config/            XDG_CONFIG_HOME (mimeapps.list)
//   data/              XDG_DATA_HOME (applications/, mime/)
//   sysconf/           XDG_CONFIG_DIRS
//   sys/               XDG_DATA_DIRS: applications/ with a few other image
//                      programs, mime -> the machine's shared MIME database
struct XdgSandbox {
    TempDir dir;
    QString config, data, sysconf, sys, home;

    XdgSandbox()
    {
        home = dir.mkdir(QStringLiteral("home"));
        config = dir.mkdir(QStringLiteral("config"));
        data = dir.mkdir(QStringLiteral("data"));
        sysconf = dir.mkdir(QStringLiteral("sysconf"));
        sys = dir.mkdir(QStringLiteral("sys/applications")).section(QLatin1Char('/'), 0, -2);
        QFile::link(QStringLiteral("/usr/share/mime"), sys + QStringLiteral("/mime"));
        for (const char *app : {"other", "eog", "gimp", "feh"})
            addSystemApp(QString::fromLatin1(app) + QStringLiteral(".desktop"));
    }

    // A program the desktop knows (it runs `true`) for the common image types.
    QString addSystemApp(const QString &id) const
    {
        return dir.write(
            QStringLiteral("sys/applications/") + id,
            QByteArray("[Desktop Entry]\nType=Application\nName=") + id.toUtf8() +
                "\nExec=true %U\nMimeType=image/png;image/jpeg;image/gif;image/bmp;\n");
    }

    platform::XdgDirs dirs() const { return platform::XdgDirs::fromEnvironment(environment()); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        env.insert(QStringLiteral("XDG_DATA_HOME"), data);
        env.insert(QStringLiteral("XDG_CONFIG_DIRS"), sysconf);
        env.insert(QStringLiteral("XDG_DATA_DIRS"), sys);
        env.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("X-Generic"));
        return env;
    }

    QString mimeAppsList() const { return config + QStringLiteral("/mimeapps.list"); }

    // Runs one of the desktop's tools in the sandbox; its standard output,
    // trimmed.
    QString run(const QString &program, const QStringList &args, int *exitCode = nullptr) const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(program, args);
        p.waitForFinished(30000);
        if (exitCode)
            *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    }

    // What `xdg-mime query default` names for the type.
    QString xdgDefault(const QString &mimeType) const
    {
        return run(QStringLiteral("xdg-mime"),
                   {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    }
};

} // namespace lumora::test
