#include "support/BrowserFixture.h"

#include <QApplication>
#include <qpa/qplatformwindow.h>

#include <gtest/gtest.h>

using namespace lumora;
using lumora::test::BrowserFixture;

namespace
{

// The title a desktop platform plugin hands the window manager for a window
// whose own title is `title` (the X11 plugin joins with an em dash).
struct PlatformTitle : QPlatformWindow {
    using QPlatformWindow::formatWindowTitle;
};
QString managerTitle(const QString &title)
{
    return PlatformTitle::formatWindowTitle(title, QStringLiteral(" \u2014 "));
}

} // namespace

TEST(WindowTitles, TheWindowManagerSeesTheProgramsOwnTexts)
{
    BrowserFixture f;
    ASSERT_TRUE(f.main->Form_Load(f.photos + QStringLiteral("/b.jpg")));
    frmViwer *viewer = f.host.existingViewer();
    ASSERT_NE(viewer, nullptr);
    ASSERT_EQ(viewer->windowTitle(), QStringLiteral("b.jpg- Lumora 2.1"));
    EXPECT_EQ(managerTitle(viewer->windowTitle()), QStringLiteral("b.jpg- Lumora 2.1"));
    EXPECT_EQ(managerTitle(QStringLiteral("Slide Show Delay")), QStringLiteral("Slide Show Delay"));
    EXPECT_EQ(managerTitle(QStringLiteral("Open")), QStringLiteral("Open"));
    // An empty caption (the viewer after leaving full screen, a message box
    // without a title of its own) reads as the program's name.
    EXPECT_EQ(managerTitle(QString()), QStringLiteral("Lumora"));
    EXPECT_EQ(managerTitle(f.main->windowTitle()), QStringLiteral("Lumora"));
}
