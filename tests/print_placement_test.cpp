#include "viewer/PrintPlacement.h"

#include <gtest/gtest.h>

using namespace lumora;

namespace
{
void expectRect(const QRectF &got, double x, double y, double w, double h)
{
    EXPECT_NEAR(got.x(), x, 1e-6);
    EXPECT_NEAR(got.y(), y, 1e-6);
    EXPECT_NEAR(got.width(), w, 1e-6);
    EXPECT_NEAR(got.height(), h, 1e-6);
}
QImage withDpi(int w, int h, double dpi)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
    return img;
}
} // namespace

TEST(PrintPlacement, CodesGiveTheirFlags)
{
    EXPECT_FALSE(placementFlags(0).centred);
    EXPECT_FALSE(placementFlags(0).fitted);
    EXPECT_TRUE(placementFlags(1).centred);
    EXPECT_FALSE(placementFlags(1).fitted);
    EXPECT_TRUE(placementFlags(2).centred);
    EXPECT_TRUE(placementFlags(2).fitted);
    // Any other code is centred, not fitted.
    EXPECT_TRUE(placementFlags(7).centred);
    EXPECT_FALSE(placementFlags(7).fitted);
}

TEST(PrintPlacement, ResolutionIsTheImagesOwnOr96)
{
    const QSizeF r150 = printResolution(withDpi(10, 10, 150));
    EXPECT_NEAR(r150.width(), 150, 0.05);
    EXPECT_NEAR(r150.height(), 150, 0.05);
    // An image whose file named no resolution carries Qt's stamp.
    EXPECT_EQ(printResolution(QImage(10, 10, QImage::Format_RGB32)), QSizeF(96, 96));
    QImage none(10, 10, QImage::Format_RGB32);
    none.setDotsPerMeterX(0);
    none.setDotsPerMeterY(0);
    EXPECT_EQ(printResolution(none), QSizeF(96, 96));
    // Only one axis given: it stands for both.
    QImage oneAxis = withDpi(10, 10, 300);
    oneAxis.setDotsPerMeterY(0);
    EXPECT_NEAR(printResolution(oneAxis).height(), 300, 0.05);
    // Different axes stay different (non-square pixels print in proportion).
    QImage wide = withDpi(10, 10, 100);
    wide.setDotsPerMeterY(qRound(200 / 0.0254));
    EXPECT_NEAR(printResolution(wide).height(), 200, 0.05);
}

TEST(PrintPlacement, ThreePlacementsAtPhysicalSize)
{
    // An 8 x 10 inch printable area at 1200 dpi, offset as a painter may see it.
    const QRectF area(100, 50, 9600, 12000);
    const QSizeF dev(1200, 1200);
    // 300 x 150 pixels at 150 dpi is 2 x 1 inches.
    const QSize px(300, 150);
    const QSizeF dpi(150, 150);
    expectRect(placeOnPage(px, dpi, area, dev, false, false), 100, 50, 2400, 1200);
    expectRect(placeOnPage(px, dpi, area, dev, true, false), 100 + 3600, 50 + 5400, 2400, 1200);
    // Fitted: the width limits, the height keeps the 2:1 ratio, centred.
    expectRect(placeOnPage(px, dpi, area, dev, true, true), 100, 50 + 3600, 9600, 4800);
    // A tall picture is limited by the height.
    expectRect(placeOnPage(QSize(100, 400), dpi, area, dev, true, true), 100 + 3300, 50, 3000,
               12000);
    // Non-square device resolution: each axis by its own.
    expectRect(placeOnPage(px, dpi, QRectF(0, 0, 1000, 1000), QSizeF(300, 600), false, false), 0, 0,
               600, 600);
}

TEST(PrintPlacement, LargerThanTheAreaIsScaledDownNotCut)
{
    const QRectF area(0, 0, 9600, 12000);
    const QSizeF dev(1200, 1200);
    // 3000 x 1000 at 96 dpi is 31.25 inches wide: scaled to the area's width.
    const QRectF topLeft = placeOnPage(QSize(3000, 1000), QSizeF(96, 96), area, dev, false, false);
    expectRect(topLeft, 0, 0, 9600, 3200);
    const QRectF centred = placeOnPage(QSize(3000, 1000), QSizeF(96, 96), area, dev, true, false);
    expectRect(centred, 0, (12000 - 3200) / 2.0, 9600, 3200);
    EXPECT_TRUE(area.contains(centred));
    // Exactly as large as the area: untouched.
    expectRect(placeOnPage(QSize(960, 1200), QSizeF(120, 120), area, dev, false, false), 0, 0, 9600,
               12000);
    // Nothing to place.
    EXPECT_TRUE(placeOnPage(QSize(), QSizeF(96, 96), area, dev, true, true).isNull());
}
