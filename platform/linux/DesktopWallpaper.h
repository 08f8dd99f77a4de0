#pragma once

#include "platform/CommandRunner.h"
#include "platform/Wallpaper.h"

#include <memory>

namespace lumora::platform
{

// Sets the wallpaper through the tool of the running desktop: gsettings for
// GNOME, Cinnamon and MATE, plasma-apply-wallpaperimage for KDE Plasma,
// xfconf-query for Xfce. The desktop is named by XDG_CURRENT_DESKTOP, else by
// DESKTOP_SESSION.
class DesktopWallpaper : public WallpaperSetter
{
public:
    enum class Desktop { Gnome, Cinnamon, Mate, Kde, Xfce, Unknown };

    DesktopWallpaper(std::unique_ptr<CommandRunner> runner, const QString &currentDesktop,
                     const QString &desktopSession);

    static Desktop detect(const QString &currentDesktop, const QString &desktopSession);
    Desktop desktop() const { return m_desktop; }

    Result<> setWallpaper(const QString &imagePath) override;

private:
    Result<> setGsettings(const QString &schema, const QString &key, const QString &value);
    Result<> setXfce(const QString &imagePath);
    Result<> failure(const QString &program, const CommandResult &result) const;

    std::unique_ptr<CommandRunner> m_runner;
    Desktop m_desktop;
    QString m_desktopName;
};

} // namespace lumora::platform
