#include "dialogs/Skin.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QToolBar>
#include <QWidget>
#include <gtest/gtest.h>

using namespace lumora;

TEST(Skin, ElementsAreTaggedAndTheSheetApplied)
{
    test::TempDir dir;
    const QString path =
        dir.write(QStringLiteral("ORXMain.skn"),
                  "*[skinElement=\"Toolbar\"] { background-color: rgb(1, 2, 3); }");
    Skin skin;
    ASSERT_TRUE(skin.LoadSkin(path));
    QWidget window;
    auto *bar = new QToolBar(&window);
    skin.ApplySkin(&window);
    skin.ApplySkinByName(bar, QStringLiteral("Toolbar"));
    EXPECT_EQ(window.property(Skin::kProperty).toString(), QStringLiteral("Main"));
    EXPECT_EQ(bar->property(Skin::kProperty).toString(), QStringLiteral("Toolbar"));
    window.show();
    bar->ensurePolished();
    EXPECT_EQ(bar->grab().toImage().pixelColor(2, 2), QColor(1, 2, 3));
}

TEST(Skin, MissingOrBrokenSkinKeepsTheDefaultLook)
{
    test::TempDir dir;
    Skin skin;
    EXPECT_FALSE(skin.LoadSkin(dir.file(QStringLiteral("none.skn"))));
    EXPECT_FALSE(
        skin.LoadSkin(dir.write(QStringLiteral("binary.skn"), QByteArray("\x89PNG\0\0\x01", 7))));
    EXPECT_FALSE(skin.isLoaded());
    QWidget window;
    skin.ApplySkin(&window); // still tags, never throws or styles
    EXPECT_TRUE(window.styleSheet().isEmpty());
    EXPECT_EQ(window.property(Skin::kProperty).toString(), QStringLiteral("Main"));
}
