#pragma once

#include "platform/DesktopAssociations.h"
#include "platform/XdgDirs.h"

#include <QHash>
#include <QStringList>

#include <optional>

namespace lumora::platform
{

class CommandRunner;

// File-type associations the freedesktop way: the desktop entry
// "lumora.desktop" (the packaged one of an installed program, else a copy in
// $XDG_DATA_HOME/applications), a MIME package in
// $XDG_DATA_HOME/mime/packages for the extensions the shared MIME database
// lacks, and the defaults in $XDG_CONFIG_HOME/mimeapps.list.
//
// The defaults are looked up as the MIME-apps rules say: the
// "[Default Applications]" entries of every mimeapps.list in order (the
// desktop-specific ones first in each folder), the first entry whose desktop
// file exists and whose program can be started wins.
//
// Extensions sharing a MIME type (".jpg" and ".jpeg") share one default.
class FreedesktopAssociations : public DesktopAssociations
{
public:
    // `extensions`: the file types the program opens, in its own order, with
    // or without the dot.
    FreedesktopAssociations(XdgDirs dirs, CommandRunner &runner, QStringList extensions);

    QString applicationId() const override { return QStringLiteral("lumora.desktop"); }
    bool registerApplication(const QString &programPath, const QString &iconPath) override;
    QString mimeTypeForExtension(const QString &extension) override;
    QString defaultApplication(const QString &mimeType) override;
    bool makeDefault(const QString &mimeType, QString *previous) override;
    bool restoreDefault(const QString &mimeType, const QString &previous) override;
    std::optional<DefaultRefusal> refusal(const QString &mimeType) override;
    bool releaseApplication() override;
    void notifyChanged() override;

    QString desktopEntryPath() const;
    QString mimePackagePath() const;
    QString mimeAppsPath() const;
    // The MIME type declared for an extension the database lacks.
    static QString declaredMimeType(const QString &extension);

private:
    // The packaged entry in the system's data folders, when it starts this
    // very program; "" for a program run from elsewhere (a build tree).
    QString installedEntry(const QString &programPath) const;
    bool userEntryIsOurs() const;
    // Removes the user's copy of our entry (when it is ours) and mends the
    // cache of that folder.
    bool removeUserEntry();
    // Extensions (no dot, lower case) the system's database does not know.
    QStringList unknownExtensions();
    QString packageXml(const QStringList &unknown) const;
    bool refreshMimeDatabase();

    XdgDirs m_dirs;
    CommandRunner &m_runner;
    QStringList m_extensions;
    QHash<QString, QString> m_mimeCache;
    std::optional<QStringList> m_unknown; // the system's database does not change while we run
    bool m_entryChanged = false;          // the entry was written since the last notice
};

} // namespace lumora::platform
