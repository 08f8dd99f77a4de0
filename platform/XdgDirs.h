#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace lumora::platform
{

// The freedesktop base folders and desktop names, read once from an
// environment so tests can point everything at temporary folders.
struct XdgDirs {
    QString configHome;     // $XDG_CONFIG_HOME or ~/.config
    QStringList configDirs; // $XDG_CONFIG_DIRS or /etc/xdg
    QString dataHome;       // $XDG_DATA_HOME or ~/.local/share
    QStringList dataDirs;   // $XDG_DATA_DIRS or /usr/local/share:/usr/share
    QStringList desktops;   // $XDG_CURRENT_DESKTOP, lower-cased, in order

    static XdgDirs
    fromEnvironment(const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment());

    // dataHome first, then dataDirs.
    QStringList allDataDirs() const;
    // The mimeapps.list files in the order the desktop consults them.
    QStringList mimeAppsFiles() const;
};

} // namespace lumora::platform
