#include "app/BrowserPreview.h"

#include <algorithm>

namespace lumora
{

imaging::DisplayMode BrowserPreview::displayModeFor(double zoom, QSize imagePx, QSizeF controlTwips,
                                                    const Twips &tw)
{
    // The products in double precision, the comparison in single precision,
    // so a picture that fits to the last rounding error does not start to scroll.
    const double needW = zoom * imagePx.width() * tw.tpx;
    const double needH = zoom * imagePx.height() * tw.tpy;
    const bool tooWide = float(controlTwips.width()) < float(needW);
    const bool tooHigh = float(controlTwips.height()) < float(needH);
    return (tooWide || tooHigh) ? imaging::DisplayMode::Scrolls : imaging::DisplayMode::Preview;
}

std::optional<PreviewZoom> BrowserPreview::zoomIn(double zoom, QSize imagePx, QSizeF controlTwips,
                                                  const Twips &tw)
{
    if (zoom * 100.0 > kMaxPercent)
        return std::nullopt;
    const double z = zoom * kZoomInFactor;
    return PreviewZoom{z, displayModeFor(z, imagePx, controlTwips, tw)};
}

std::optional<PreviewZoom> BrowserPreview::zoomOut(double zoom, QSize imagePx, QSizeF controlTwips,
                                                   const Twips &tw)
{
    if (zoom * 100.0 < kMinPercent)
        return std::nullopt;
    const double z = zoom * kZoomOutFactor;
    return PreviewZoom{z, displayModeFor(z, imagePx, controlTwips, tw)};
}

double BrowserPreview::shownScale(QSize imagePx, QSize controlPx)
{
    if (imagePx.isEmpty() || controlPx.isEmpty())
        return 1.0;
    const double sx = double(controlPx.width()) / imagePx.width();
    const double sy = double(controlPx.height()) / imagePx.height();
    return std::min({1.0, sx, sy});
}

} // namespace lumora
