// The browser's status line reads the zoom the preview is drawn at, after
// every Zoom In and Zoom Out press as after a new preview.
#include "imaging/ImageView.h"
#include "support/BrowserFixture.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace
{

QString zoomFigure(const frmMain &w)
{
    const QString text = w.lblStatus->text();
    const qsizetype at = text.lastIndexOf(QStringLiteral(" at "));
    return at < 0 ? QString() : text.mid(at + 4);
}

QString percent(double zoom)
{
    return QStringLiteral("%1 %").arg(qRound(zoom * 100));
}

} // namespace

TEST(BrowserPreviewStatus, ZoomFigureFollowsEveryPress)
{
    BrowserFixture f;
    f.show();
    frmMain &w = *f.main;
    w.CheckPath(f.file(QStringLiteral("home/Photos/b.jpg"))); // 64 x 48: shown at 100 %
    ASSERT_EQ(zoomFigure(w), percent(1.0)) << w.lblStatus->text().toStdString();

    w.cmdZoomOut->click();
    w.cmdZoomOut->click();
    EXPECT_EQ(zoomFigure(w), percent(0.75 * 0.75));
    EXPECT_EQ(zoomFigure(w), percent(w.ImgX->Zoom()));
    w.Toolbar_ButtonClick(frmMain::kToolbarZoomIn);
    EXPECT_EQ(zoomFigure(w), percent(0.75 * 0.75 * 1.25));
    // Zoomed past the preview (scrolling mode) it still reads the zoom.
    for (int i = 0; i < 12; ++i)
        w.cmdZoomIn->click();
    ASSERT_EQ(w.ImgX->DisplayMode(), lumora::imaging::DisplayMode::Scrolls);
    EXPECT_EQ(zoomFigure(w), percent(w.ImgX->Zoom()));

    // A large photo starts at the scale that fits it, and zooms from there.
    w.ImageExplore1_CurrSelectedImage(f.file(QStringLiteral("home/Photos/c.png"))); // 2000 x 1500
    const double fit = w.ImgX->Zoom();
    ASSERT_LT(fit, 1.0);
    EXPECT_EQ(zoomFigure(w), percent(fit));
    w.cmdZoomOut->click();
    EXPECT_EQ(zoomFigure(w), percent(fit * 0.75));
}
