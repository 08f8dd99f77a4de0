#include "viewer/ViewerGeometry.h"

#include <gtest/gtest.h>

using namespace lumora;

TEST(WindowFitting, SmallImageGetsMinimumWindowCentred)
{
    FittingInput in;
    in.imageWidth = 100;
    in.imageHeight = 80;
    in.toolbarHeight = 700;
    in.screenWidth = 24000;
    in.screenHeight = 15000;
    const FittingResult r = fitWindow(in);
    EXPECT_DOUBLE_EQ(r.controlWidth, 7590);
    EXPECT_DOUBLE_EQ(r.controlHeight, 4000);
    EXPECT_DOUBLE_EQ(r.windowWidth, 7590);
    EXPECT_DOUBLE_EQ(r.windowHeight, 4600);
    EXPECT_DOUBLE_EQ(r.left, (24000 - 7590) / 2.0);
    EXPECT_DOUBLE_EQ(r.top, (15000 - 4600) / 2.0);
}

TEST(WindowFitting, LargerImageGetsItsOwnSizePlusMargins)
{
    FittingInput in;
    in.imageWidth = 640;
    in.imageHeight = 480;
    in.toolbarHeight = 700;
    const FittingResult r = fitWindow(in);
    EXPECT_DOUBLE_EQ(r.controlWidth, 9600);
    EXPECT_DOUBLE_EQ(r.controlHeight, 7400);
    EXPECT_DOUBLE_EQ(r.windowWidth, 9600);
    EXPECT_DOUBLE_EQ(r.windowHeight, 700 + 8600);
}

TEST(WindowFitting, FlatWideImageKeepsFlatWindowAndOtherFactors)
{
    FittingInput in;
    in.imageWidth = 2000;
    in.imageHeight = 50;
    in.tpx = 12;
    in.tpy = 12;
    const FittingResult r = fitWindow(in);
    EXPECT_DOUBLE_EQ(r.controlWidth, 24000);
    EXPECT_DOUBLE_EQ(r.windowHeight, 4600);
    // A narrow image just below the minimum width takes the minimum.
    in.imageWidth = 499; // 5988 twips
    EXPECT_DOUBLE_EQ(fitWindow(in).windowWidth, 7590);
    in.imageWidth = 500; // exactly 6000 stays
    EXPECT_DOUBLE_EQ(fitWindow(in).windowWidth, 6000);
}

TEST(Placement, ScrollableOnlyWhenStrictlyLarger)
{
    const TwipSize window{9600, 7200};
    EXPECT_EQ(placementMode(1.0, 640, 480, 15, 15, window),
              lumora::imaging::DisplayMode::Fits); // equal width fits
    EXPECT_EQ(placementMode(1.0, 641, 10, 15, 15, window), lumora::imaging::DisplayMode::Scrolls);
    EXPECT_EQ(placementMode(1.0, 10, 481, 15, 15, window), lumora::imaging::DisplayMode::Scrolls);
    EXPECT_EQ(placementMode(1.25, 640, 480, 15, 15, window), lumora::imaging::DisplayMode::Scrolls);
    EXPECT_EQ(placementMode(0.5, 1280, 960, 15, 15, window), lumora::imaging::DisplayMode::Fits);
}

TEST(FitRule, ZoomsOnlyWhenLargerBothWays)
{
    const TwipSize window{24000, 15000};
    // 4000 x 3000 in a screen-capped window: width fills the window.
    auto z = fitZoom(4000, 3000, 15, 15, window);
    ASSERT_TRUE(z.has_value());
    EXPECT_DOUBLE_EQ(*z, 24000.0 / 60000.0);
    // Wider but not taller keeps its zoom.
    EXPECT_FALSE(fitZoom(2000, 50, 15, 15, window).has_value());
    EXPECT_FALSE(fitZoom(100, 3000, 15, 15, window).has_value());
    EXPECT_FALSE(fitZoom(0, 0, 15, 15, window).has_value());
}

TEST(Zoom, InStepsAndLimits)
{
    double z = 1.0;
    const double expected[] = {1.25, 1.5625, 1.953125};
    for (double e : expected) {
        z = *zoomInStep(z);
        EXPECT_DOUBLE_EQ(z, e);
    }
    z = 1.0;
    int steps = 0;
    while (auto next = zoomInStep(z)) {
        z = *next;
        ++steps;
    }
    EXPECT_EQ(steps, 13);
    EXPECT_NEAR(z, 18.19, 0.01);
    EXPECT_DOUBLE_EQ(*zoomInStep(16.0), 20.0); // exactly 1600 % still zooms

    z = 1.0;
    steps = 0;
    while (auto next = zoomOutStep(z)) {
        z = *next;
        ++steps;
    }
    EXPECT_LT(z * 100, 0.5);
    EXPECT_GE(z * 100 / 0.75, 0.5);
    EXPECT_EQ(steps, 19);
    EXPECT_DOUBLE_EQ(*zoomOutStep(1.0), 0.75);
}

TEST(WrapIndex, OnlyTheTwoWrapArounds)
{
    EXPECT_EQ(wrapIndex(3, 3), 0);
    EXPECT_EQ(wrapIndex(-1, 3), 2);
    EXPECT_EQ(wrapIndex(1, 3), 1);
    EXPECT_EQ(wrapIndex(5, 3), 5); // no general modulo
    EXPECT_EQ(wrapIndex(-1, 0), -1);
}

TEST(WindowCap, TheFrameStaysInsideTheWorkArea)
{
    const QRect work(0, 0, 1600, 1000);
    const QMargins frame(1, 24, 1, 1); // a title bar and thin borders
    // A window as large as the screen loses the frame's size and moves in.
    EXPECT_EQ(capToWorkArea(QRect(0, 0, 1600, 1000), frame, work), QRect(1, 24, 1598, 975));
    EXPECT_EQ(capToWorkArea(QRect(-300, 500, 3000, 2000), frame, work), QRect(1, 24, 1598, 975));
    // One that fits already stays where it is; one hanging over an edge moves back.
    EXPECT_EQ(capToWorkArea(QRect(100, 100, 800, 600), frame, work), QRect(100, 100, 800, 600));
    EXPECT_EQ(capToWorkArea(QRect(1000, 600, 800, 600), frame, work), QRect(799, 399, 800, 600));
    // A panel at the top of the screen: the work area starts below it.
    const QRect below(0, 30, 1600, 970);
    EXPECT_EQ(capToWorkArea(QRect(0, 0, 1600, 1000), frame, below), QRect(1, 54, 1598, 945));
    // Without a frame the window fills the work area exactly.
    EXPECT_EQ(capToWorkArea(QRect(5, 5, 4000, 4000), QMargins(), work), work);
}
