// Sizing, zoom, rotation and scrolling of the viewer window.
#include "viewer/frmViwer.h"

#include "imaging/Twips.h"
#include "viewer/ViewerGeometry.h"

#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>

#include <algorithm>
#include <cstdlib>

namespace lumora
{

QSizeF frmViwer::windowTwips() const
{
    const Twips t = Twips::forScreen();
    return {t.fromPixelsX(width()), t.fromPixelsY(height())};
}

double frmViwer::menuAreaTwips() const
{
    const Twips t = Twips::forScreen();
    const int h =
        MenuContainer->isVisible() || !isVisible() ? MenuContainer->sizeHint().height() : 0;
    return t.fromPixelsY(h);
}

void frmViwer::applyPlacement()
{
    const QImage &img = ImgX->document()->currentImage();
    const Twips t = Twips::forScreen();
    const QSizeF w = windowTwips();
    ImgX->setDisplayMode(placementMode(ImgX->Zoom(), img.width(), img.height(), t.tpx, t.tpy,
                                       {w.width(), w.height()}));
}

void frmViwer::resizeLayout()
{
    if (m_fitting)
        return;
    // The image control fills the space between the toolbar area and the
    // status bar through the window's layout; what is left is the mode.
    applyPlacement();
}

void frmViwer::resizeEvent(QResizeEvent *e)
{
    QMainWindow::resizeEvent(e);
    capOnceFramed();
    resizeLayout();
    keepPanelsReadable();
}

void frmViwer::windowFitting()
{
    const Twips t = Twips::forScreen();
    const QImage first = ImgX->document()->ImageItem(0);
    QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);

    FittingInput in;
    in.imageWidth = first.width();
    in.imageHeight = first.height();
    in.tpx = t.tpx;
    in.tpy = t.tpy;
    in.toolbarHeight = menuAreaTwips();
    in.screenWidth = t.fromPixelsX(avail.width());
    in.screenHeight = t.fromPixelsY(avail.height());
    const FittingResult r = fitWindow(in);

    if (isMinimized() || isMaximized()) {
        resizeLayout();
        resizeLayout();
        return;
    }
    // Centred in the work area, the window manager's frame included.
    const QMargins frame = frameEstimate();
    const int w = t.toPixelsX(r.windowWidth);
    const int h = t.toPixelsY(r.windowHeight);
    const int left =
        avail.left() + (avail.width() - w - frame.left() - frame.right()) / 2 + frame.left();
    const int top =
        avail.top() + (avail.height() - h - frame.top() - frame.bottom()) / 2 + frame.top();
    placeCapped(QRect(left, top, w, h));
    resizeLayout();
}

void frmViwer::applyFitRule()
{
    const QImage &img = ImgX->document()->currentImage();
    const Twips t = Twips::forScreen();
    // Full screen fits against the screen, also for the image that is about
    // to enter it (the window still has its windowed size then).
    QSizeF w = windowTwips();
    if (m_fullScreen) {
        if (QScreen *s = screen())
            w = QSizeF(t.fromPixelsX(s->geometry().width()), t.fromPixelsY(s->geometry().height()));
    }
    if (const auto z = fitZoom(img.width(), img.height(), t.tpx, t.tpy, {w.width(), w.height()}))
        ImgX->setZoom(*z);
    applyPlacement();
}

void frmViwer::ZoomIn()
{
    if (const auto z = zoomInStep(ImgX->Zoom())) {
        ImgX->setZoom(*z);
        applyPlacement();
    }
}

void frmViwer::ZoomOut()
{
    if (const auto z = zoomOutStep(ImgX->Zoom())) {
        ImgX->setZoom(*z);
        applyPlacement();
    }
}

void frmViwer::ZoomActualPixels()
{
    if (ImgX->document()->currentImage().isNull())
        return;
    ImgX->setZoom(1.0);
    applyPlacement();
}

void frmViwer::ZoomToFit()
{
    const QImage &img = ImgX->document()->currentImage();
    if (img.isNull() || ImgX->width() <= 0 || ImgX->height() <= 0)
        return;
    const double z =
        std::min({1.0, double(ImgX->width()) / img.width(), double(ImgX->height()) / img.height()});
    ImgX->setZoom(z);
    applyPlacement();
}

void frmViwer::zoomAtPointer(int steps, QPointF pos)
{
    ImgX->keepPointUnder(pos, [&] {
        for (int i = 0; i < std::abs(steps); ++i) {
            if (steps > 0)
                ZoomIn();
            else
                ZoomOut();
        }
    });
}

void frmViwer::RotatePlus90()
{
    ImgX->document()->Rotate(90.0f, nullptr, 0, QString());
}

void frmViwer::RotateMinus90()
{
    ImgX->document()->Rotate(-90.0f, nullptr, 0, QString());
}

void frmViwer::scrollByKey(int key)
{
    if (ImgX->DisplayMode() != imaging::DisplayMode::Scrolls)
        return;
    switch (key) {
    case Qt::Key_Left:
        ImgX->setScrollX(ImgX->ScrollX() - 5);
        break;
    case Qt::Key_Right:
        ImgX->setScrollX(ImgX->ScrollX() + 5);
        break;
    case Qt::Key_Up:
        ImgX->setScrollY(ImgX->ScrollY() - 5);
        break;
    case Qt::Key_Down:
        ImgX->setScrollY(ImgX->ScrollY() + 5);
        break;
    default:
        break;
    }
}

void frmViwer::onViewChanged()
{
    applyPlacement();
    refreshStatus();
}

} // namespace lumora
