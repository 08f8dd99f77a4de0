#include "platform/linux/DesktopWallpaper.h"

#include <gtest/gtest.h>

#include <deque>

using namespace lumora::platform;
using lumora::Result;
using D = DesktopWallpaper::Desktop;

namespace
{

// Records the commands and answers them from a script (success by default).
class ScriptedRunner : public CommandRunner
{
public:
    QStringList calls;
    std::deque<CommandResult> results;
    CommandResult run(const QString &program, const QStringList &arguments) override
    {
        calls.push_back((QStringList{program} + arguments).join(QLatin1Char('|')));
        if (results.empty())
            return {true, 0, {}, {}};
        CommandResult r = results.front();
        results.pop_front();
        return r;
    }
};

struct Setup {
    ScriptedRunner *runner;
    DesktopWallpaper wallpaper;
};

Setup make(const QString &current, const QString &session = {})
{
    auto runner = std::make_unique<ScriptedRunner>();
    ScriptedRunner *raw = runner.get();
    return {raw, DesktopWallpaper(std::move(runner), current, session)};
}

const QString kImage = QStringLiteral("/home/u/.local/share/lumora/wallpaper/my photo.jpg");
const QString kUri = QStringLiteral("file:///home/u/.local/share/lumora/wallpaper/my%20photo.jpg");

} // namespace

TEST(DesktopWallpaper, DesktopIsChosenFromCurrentDesktopThenSession)
{
    EXPECT_EQ(DesktopWallpaper::detect(QStringLiteral("ubuntu:GNOME"), {}), D::Gnome);
    EXPECT_EQ(DesktopWallpaper::detect(QStringLiteral("X-Cinnamon"), {}), D::Cinnamon);
    EXPECT_EQ(DesktopWallpaper::detect(QStringLiteral("MATE"), {}), D::Mate);
    EXPECT_EQ(DesktopWallpaper::detect(QStringLiteral("KDE"), {}), D::Kde);
    EXPECT_EQ(DesktopWallpaper::detect(QStringLiteral("XFCE"), {}), D::Xfce);
    EXPECT_EQ(DesktopWallpaper::detect(QStringLiteral("Budgie:GNOME"), {}), D::Gnome);
    EXPECT_EQ(DesktopWallpaper::detect({}, QStringLiteral("plasmawayland")), D::Kde);
    EXPECT_EQ(DesktopWallpaper::detect({}, QStringLiteral("xfce")), D::Xfce);
    EXPECT_EQ(DesktopWallpaper::detect(QStringLiteral("LXQt"), QStringLiteral("mate")), D::Mate);
    EXPECT_EQ(DesktopWallpaper::detect(QStringLiteral("LXDE"), QStringLiteral("LXDE")), D::Unknown);
    EXPECT_EQ(DesktopWallpaper::detect({}, {}), D::Unknown);
}

TEST(DesktopWallpaper, GsettingsDesktopsGetTheirKeys)
{
    {
        auto s = make(QStringLiteral("GNOME"));
        EXPECT_TRUE(s.wallpaper.setWallpaper(kImage).ok());
        EXPECT_EQ(
            s.runner->calls,
            (QStringList{"gsettings|set|org.gnome.desktop.background|picture-uri|" + kUri,
                         "gsettings|set|org.gnome.desktop.background|picture-uri-dark|" + kUri}));
    }
    {
        // Before GNOME 42 there is no dark key: still set.
        auto s = make(QStringLiteral("GNOME"));
        s.runner->results = {{true, 0, {}, {}}, {true, 1, {}, QStringLiteral("No such key")}};
        EXPECT_TRUE(s.wallpaper.setWallpaper(kImage).ok());
    }
    {
        auto s = make(QStringLiteral("X-Cinnamon"));
        EXPECT_TRUE(s.wallpaper.setWallpaper(kImage).ok());
        EXPECT_EQ(s.runner->calls,
                  QStringList{"gsettings|set|org.cinnamon.desktop.background|picture-uri|" + kUri});
    }
    {
        auto s = make({}, QStringLiteral("mate"));
        EXPECT_TRUE(s.wallpaper.setWallpaper(kImage).ok());
        EXPECT_EQ(s.runner->calls,
                  QStringList{"gsettings|set|org.mate.background|picture-filename|" + kImage});
    }
}

TEST(DesktopWallpaper, KdeUsesItsWallpaperCommand)
{
    auto s = make(QStringLiteral("KDE"));
    EXPECT_TRUE(s.wallpaper.setWallpaper(kImage).ok());
    EXPECT_EQ(s.runner->calls, QStringList{"plasma-apply-wallpaperimage|" + kImage});
}

TEST(DesktopWallpaper, XfceSetsEveryBackdropImage)
{
    auto s = make(QStringLiteral("XFCE"));
    s.runner->results = {{true,
                          0,
                          QStringLiteral("/backdrop/screen0/monitor0/workspace0/last-image\n"
                                         "/backdrop/screen0/monitor0/workspace0/image-style\n"
                                         "/backdrop/screen0/monitorHDMI-1/workspace1/last-image\n"
                                         "/desktop-icons/style\n"),
                          {}}};
    EXPECT_TRUE(s.wallpaper.setWallpaper(kImage).ok());
    EXPECT_EQ(s.runner->calls, (QStringList{"xfconf-query|-c|xfce4-desktop|-l",
                                            "xfconf-query|-c|xfce4-desktop|-p|/backdrop/screen0/"
                                            "monitor0/workspace0/last-image|-s|" +
                                                kImage,
                                            "xfconf-query|-c|xfce4-desktop|-p|/backdrop/screen0/"
                                            "monitorHDMI-1/workspace1/last-image|-s|" +
                                                kImage}));

    auto bare = make(QStringLiteral("XFCE"));
    bare.runner->results = {{true, 0, QStringLiteral("/desktop-icons/style\n"), {}}};
    const Result<> r = bare.wallpaper.setWallpaper(kImage);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.error().contains(QStringLiteral("cannot be set")));
}

TEST(DesktopWallpaper, FailuresAreNeverReportedAsSuccess)
{
    {
        auto s = make(QStringLiteral("LXDE"));
        const Result<> r = s.wallpaper.setWallpaper(kImage);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error().contains(QStringLiteral("cannot be set"))) << r.error().toStdString();
        EXPECT_TRUE(r.error().contains(QStringLiteral("LXDE")));
        EXPECT_TRUE(s.runner->calls.isEmpty());
    }
    {
        auto s = make(QStringLiteral("KDE"));
        s.runner->results = {{false, -1, {}, {}}};
        const Result<> r = s.wallpaper.setWallpaper(kImage);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(
            r.error().contains(QStringLiteral("plasma-apply-wallpaperimage could not be started")))
            << r.error().toStdString();
    }
    {
        auto s = make(QStringLiteral("GNOME"));
        s.runner->results = {{true, 1, {}, QStringLiteral("No schemas installed")}};
        const Result<> r = s.wallpaper.setWallpaper(kImage);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error().contains(QStringLiteral("No schemas installed")));
        EXPECT_EQ(s.runner->calls.size(), 1) << "nothing more is tried after the main key failed";
    }
    {
        auto s = make(QStringLiteral("XFCE"));
        s.runner->results = {
            {true, 0, QStringLiteral("/backdrop/screen0/monitor0/workspace0/last-image\n"), {}},
            {true, 3, {}, {}}};
        const Result<> r = s.wallpaper.setWallpaper(kImage);
        EXPECT_FALSE(r.ok());
        EXPECT_TRUE(r.error().contains(QStringLiteral("code 3")));
    }
}
