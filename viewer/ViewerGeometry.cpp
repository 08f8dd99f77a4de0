#include "viewer/ViewerGeometry.h"

#include <algorithm>

namespace lumora
{

FittingResult fitWindow(const FittingInput &in)
{
    FittingResult r;
    r.controlWidth = in.tpx * in.imageWidth;
    r.controlHeight = in.tpy * in.imageHeight + 200;
    if (r.controlWidth < 6000)
        r.controlWidth = 7590;
    const bool flat = in.imageHeight < 100;
    if (flat)
        r.controlHeight = 4000;
    r.windowWidth = r.controlWidth;
    r.windowHeight =
        flat ? r.controlHeight + 600 : in.toolbarHeight + (in.tpy * in.imageHeight + 400) + 1000;
    r.left = (in.screenWidth - r.windowWidth) / 2;
    r.top = (in.screenHeight - r.windowHeight) / 2;
    return r;
}

imaging::DisplayMode placementMode(double zoom, int imageWidth, int imageHeight, double tpx,
                                   double tpy, TwipSize window)
{
    const double zw = zoom * imageWidth * tpx;
    const double zh = zoom * imageHeight * tpy;
    return (zw > window.width || zh > window.height) ? imaging::DisplayMode::Scrolls
                                                     : imaging::DisplayMode::Fits;
}

std::optional<double> fitZoom(int imageWidth, int imageHeight, double tpx, double tpy,
                              TwipSize window)
{
    const double w = tpx * imageWidth;
    const double h = tpy * imageHeight;
    if (w > window.width && h > window.height && w > 0)
        return window.width / w;
    return std::nullopt;
}

std::optional<double> zoomInStep(double zoom)
{
    if (zoom * 100 > 1600)
        return std::nullopt;
    return zoom * 1.25;
}

std::optional<double> zoomOutStep(double zoom)
{
    if (zoom * 100 < 0.5)
        return std::nullopt;
    return zoom * 0.75;
}

QRect capToWorkArea(const QRect &wanted, const QMargins &frame, const QRect &workArea)
{
    const QRect inner = workArea.marginsRemoved(frame);
    const int w = std::max(1, std::min(wanted.width(), inner.width()));
    const int h = std::max(1, std::min(wanted.height(), inner.height()));
    const int x = std::max(inner.left(), std::min(wanted.x(), inner.left() + inner.width() - w));
    const int y = std::max(inner.top(), std::min(wanted.y(), inner.top() + inner.height() - h));
    return QRect(x, y, w, h);
}

int wrapIndex(int index, int count)
{
    if (index == count)
        index = 0;
    if (index == -1)
        index = count - 1;
    return index;
}

} // namespace lumora
