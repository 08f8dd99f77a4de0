#include "platform/XdgDirs.h"

#include <QDir>

namespace lumora::platform
{

namespace
{

// Relative entries are invalid in the base-directory rules and are skipped.
QStringList absoluteList(const QString &value, const QStringList &fallback)
{
    QStringList out;
    for (const QString &part : value.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(part))
            out << QDir::cleanPath(part);
    }
    return out.isEmpty() ? fallback : out;
}

QString absoluteOr(const QString &value, const QString &fallback)
{
    return !value.isEmpty() && QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : fallback;
}

} // namespace

XdgDirs XdgDirs::fromEnvironment(const QProcessEnvironment &env)
{
    XdgDirs d;
    const QString home = env.value(QStringLiteral("HOME"), QDir::homePath());
    d.configHome =
        absoluteOr(env.value(QStringLiteral("XDG_CONFIG_HOME")), home + QStringLiteral("/.config"));
    d.dataHome = absoluteOr(env.value(QStringLiteral("XDG_DATA_HOME")),
                            home + QStringLiteral("/.local/share"));
    d.configDirs =
        absoluteList(env.value(QStringLiteral("XDG_CONFIG_DIRS")), {QStringLiteral("/etc/xdg")});
    d.dataDirs = absoluteList(env.value(QStringLiteral("XDG_DATA_DIRS")),
                              {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});
    for (const QString &name : env.value(QStringLiteral("XDG_CURRENT_DESKTOP"))
                                   .split(QLatin1Char(':'), Qt::SkipEmptyParts))
        d.desktops << name.toLower();
    return d;
}

QStringList XdgDirs::allDataDirs() const
{
    return QStringList{dataHome} + dataDirs;
}

QStringList XdgDirs::mimeAppsFiles() const
{
    QStringList folders = QStringList{configHome} + configDirs;
    for (const QString &data : allDataDirs())
        folders << data + QStringLiteral("/applications");
    QStringList files;
    for (const QString &folder : folders) {
        for (const QString &desktop : desktops)
            files << folder + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
        files << folder + QStringLiteral("/mimeapps.list");
    }
    return files;
}

} // namespace lumora::platform
