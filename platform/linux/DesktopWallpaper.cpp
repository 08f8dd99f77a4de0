#include "platform/linux/DesktopWallpaper.h"

#include "platform/ProcessCommandRunner.h"

#include <QFileInfo>
#include <QUrl>

namespace lumora::platform
{

namespace
{

const QString kGsettings = QStringLiteral("gsettings");
const QString kXfconf = QStringLiteral("xfconf-query");
const QString kPlasma = QStringLiteral("plasma-apply-wallpaperimage");

DesktopWallpaper::Desktop fromName(const QString &name)
{
    using D = DesktopWallpaper::Desktop;
    const QString n = name.trimmed().toLower();
    if (n.isEmpty())
        return D::Unknown;
    if (n.contains(QLatin1String("cinnamon")))
        return D::Cinnamon;
    if (n.contains(QLatin1String("mate")))
        return D::Mate;
    if (n == QLatin1String("kde") || n.contains(QLatin1String("plasma")))
        return D::Kde;
    if (n.contains(QLatin1String("xfce")) || n == QLatin1String("xubuntu"))
        return D::Xfce;
    // Desktops built on GNOME's settings schema.
    if (n.contains(QLatin1String("gnome")) || n == QLatin1String("ubuntu") ||
        n == QLatin1String("unity") || n == QLatin1String("budgie") ||
        n == QLatin1String("pantheon"))
        return D::Gnome;
    return D::Unknown;
}

} // namespace

DesktopWallpaper::DesktopWallpaper(std::unique_ptr<CommandRunner> runner,
                                   const QString &currentDesktop, const QString &desktopSession)
    : m_runner(std::move(runner)), m_desktop(detect(currentDesktop, desktopSession)),
      m_desktopName(!currentDesktop.isEmpty() ? currentDesktop : desktopSession)
{
}

DesktopWallpaper::Desktop DesktopWallpaper::detect(const QString &currentDesktop,
                                                   const QString &desktopSession)
{
    // XDG_CURRENT_DESKTOP may list several names ("ubuntu:GNOME"); the first
    // one we know wins.
    for (const QString &name : currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const Desktop d = fromName(name);
        if (d != Desktop::Unknown)
            return d;
    }
    return fromName(desktopSession);
}

Result<> DesktopWallpaper::setWallpaper(const QString &imagePath)
{
    const QString path = QFileInfo(imagePath).absoluteFilePath();
    const QString uri = QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
    switch (m_desktop) {
    case Desktop::Gnome: {
        Result<> r = setGsettings(QStringLiteral("org.gnome.desktop.background"),
                                  QStringLiteral("picture-uri"), uri);
        if (r.ok()) {
            // The dark-style key exists from GNOME 42 on; older versions lack
            // it and show picture-uri in both styles, so its failure is no failure.
            m_runner->run(kGsettings,
                          {QStringLiteral("set"), QStringLiteral("org.gnome.desktop.background"),
                           QStringLiteral("picture-uri-dark"), uri});
        }
        return r;
    }
    case Desktop::Cinnamon:
        return setGsettings(QStringLiteral("org.cinnamon.desktop.background"),
                            QStringLiteral("picture-uri"), uri);
    case Desktop::Mate:
        return setGsettings(QStringLiteral("org.mate.background"),
                            QStringLiteral("picture-filename"), path);
    case Desktop::Kde: {
        const CommandResult r = m_runner->run(kPlasma, {path});
        return r.ok() ? Result<>() : failure(kPlasma, r);
    }
    case Desktop::Xfce:
        return setXfce(path);
    case Desktop::Unknown:
        break;
    }
    const QString name = m_desktopName.isEmpty() ? QStringLiteral("unknown") : m_desktopName;
    return fail(QStringLiteral(
                    "The wallpaper of this desktop (%1) cannot be set: Lumora can set it on GNOME, "
                    "Cinnamon, MATE, KDE Plasma and Xfce.")
                    .arg(name));
}

Result<> DesktopWallpaper::setGsettings(const QString &schema, const QString &key,
                                        const QString &value)
{
    const CommandResult r = m_runner->run(kGsettings, {QStringLiteral("set"), schema, key, value});
    return r.ok() ? Result<>() : failure(kGsettings, r);
}

Result<> DesktopWallpaper::setXfce(const QString &imagePath)
{
    const QString channel = QStringLiteral("xfce4-desktop");
    const CommandResult list =
        m_runner->run(kXfconf, {QStringLiteral("-c"), channel, QStringLiteral("-l")});
    if (!list.ok())
        return failure(kXfconf, list);
    // One property per monitor and workspace; set them all so every screen shows it.
    QStringList properties;
    for (const QString &line : list.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString p = line.trimmed();
        if (p.startsWith(QLatin1String("/backdrop/")) && p.endsWith(QLatin1String("/last-image")))
            properties.push_back(p);
    }
    if (properties.isEmpty())
        return fail(QStringLiteral(
            "The wallpaper of this desktop (Xfce) cannot be set: the desktop lists no "
            "backdrop to change."));
    for (const QString &p : properties) {
        const CommandResult r =
            m_runner->run(kXfconf, {QStringLiteral("-c"), channel, QStringLiteral("-p"), p,
                                    QStringLiteral("-s"), imagePath});
        if (!r.ok())
            return failure(kXfconf, r);
    }
    return {};
}

Result<> DesktopWallpaper::failure(const QString &program, const CommandResult &result) const
{
    QString why;
    if (!result.started)
        why = QStringLiteral("the program %1 could not be started").arg(program);
    else if (!result.errorOutput.trimmed().isEmpty())
        why = QStringLiteral("%1 said: %2").arg(program, result.errorOutput.trimmed());
    else
        why = QStringLiteral("%1 ended with code %2").arg(program).arg(result.exitCode);
    const QString name = m_desktopName.isEmpty() ? QStringLiteral("unknown") : m_desktopName;
    return fail(
        QStringLiteral("The wallpaper of this desktop (%1) cannot be set: %2.").arg(name, why));
}

std::unique_ptr<WallpaperSetter> createWallpaperSetter()
{
    return std::make_unique<DesktopWallpaper>(std::make_unique<ProcessCommandRunner>(),
                                              qEnvironmentVariable("XDG_CURRENT_DESKTOP"),
                                              qEnvironmentVariable("DESKTOP_SESSION"));
}

} // namespace lumora::platform
