#include "settings/SettingKeys.h"
#include "viewer/StatusText.h"
#include "viewer/ViewerSettings.h"

#include <gtest/gtest.h>

using namespace lumora;

TEST(StatusText, FileSizes)
{
    EXPECT_EQ(formatFileSize(0), QStringLiteral("0 Bytes"));
    EXPECT_EQ(formatFileSize(512), QStringLiteral("512 Bytes"));
    EXPECT_EQ(formatFileSize(1023), QStringLiteral("1023 Bytes"));
    EXPECT_EQ(formatFileSize(1024), QStringLiteral("1. KB"));
    EXPECT_EQ(formatFileSize(1536), QStringLiteral("1.5 KB"));
    EXPECT_EQ(formatFileSize(2048), QStringLiteral("2. KB"));
    EXPECT_EQ(formatFileSize(1048575), QStringLiteral("1024. KB"));
    EXPECT_EQ(formatFileSize(1048576), QStringLiteral("1. MB"));
    EXPECT_EQ(formatFileSize(3 * 1048576), QStringLiteral("3. MB"));
    EXPECT_EQ(formatFileSize(1024 * 10.25f), QStringLiteral("10.3 KB"));
}

TEST(StatusText, ZoomPositionDimensions)
{
    EXPECT_EQ(formatZoom(1.0), QStringLiteral("100 %"));
    EXPECT_EQ(formatZoom(1.5), QStringLiteral("150 %"));
    EXPECT_EQ(formatZoom(0.333), QStringLiteral("33 %"));
    EXPECT_EQ(formatZoom(0.004), QStringLiteral(" %"));
    EXPECT_EQ(formatPosition(0, 12), QStringLiteral("1/12"));
    EXPECT_EQ(formatPosition(11, 12), QStringLiteral("12/12"));
    EXPECT_EQ(formatDimensions(800, 600, 24, QStringLiteral("jpg")),
              QStringLiteral("800x600x24b jpg"));
}

TEST(StatusText, IconsAndDibsShowNoDimensions)
{
    EXPECT_TRUE(isIconOrDib(QStringLiteral("/a/b.ICO")));
    EXPECT_TRUE(isIconOrDib(QStringLiteral("/a/b.dib")));
    EXPECT_TRUE(isIconOrDib(QStringLiteral("/a/noext")));
    EXPECT_FALSE(isIconOrDib(QStringLiteral("/a/b.cur")));
    EXPECT_FALSE(isIconOrDib(QStringLiteral("/a/b.jpg")));
}

TEST(SettingsText, BooleansAndDelays)
{
    EXPECT_TRUE(settings::parseBool(QStringLiteral("1"), false));
    EXPECT_TRUE(settings::parseBool(QStringLiteral("-1"), false));
    EXPECT_FALSE(settings::parseBool(QStringLiteral("0"), true));
    EXPECT_TRUE(settings::parseBool(QStringLiteral("TRUE"), false));
    EXPECT_FALSE(settings::parseBool(QStringLiteral("false"), true));
    EXPECT_TRUE(settings::parseBool(QStringLiteral("maybe"), true));
    EXPECT_FALSE(settings::parseBool(QStringLiteral("maybe"), false));

    EXPECT_EQ(settingDelay(QStringLiteral("1500"), 2000), 1500);
    EXPECT_EQ(settingDelay(QStringLiteral("0"), 2000), 0);
    EXPECT_EQ(settingDelay(QStringLiteral("abc"), 2000), 2000);
    EXPECT_EQ(settingDelay(QStringLiteral("-5"), 2000), 2000);
    EXPECT_EQ(settingDelay(QStringLiteral("70000"), 2000), 2000);

    EXPECT_EQ(parseDelayAnswer(QStringLiteral("2500.5")), 2500);
    EXPECT_EQ(parseDelayAnswer(QStringLiteral("2501.5")), 2502);
    EXPECT_EQ(parseDelayAnswer(QStringLiteral("0")), 0);
    EXPECT_EQ(parseDelayAnswer(QStringLiteral("65535")), 65535);
    EXPECT_FALSE(parseDelayAnswer(QStringLiteral("65536")).has_value());
    EXPECT_FALSE(parseDelayAnswer(QStringLiteral("-1")).has_value());
    EXPECT_FALSE(parseDelayAnswer(QStringLiteral("")).has_value());
    EXPECT_FALSE(parseDelayAnswer(QStringLiteral("soon")).has_value());
}
