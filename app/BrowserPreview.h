#pragma once

#include "imaging/DisplayMode.h"
#include "imaging/Twips.h"

#include <QSize>
#include <QSizeF>

#include <optional>

namespace lumora
{

// The preview's zoom steps, free of widgets so the limits can be checked
// without a window.
struct PreviewZoom {
    double zoom = 1.0; // 1.0 = 100 %
    // Preview: whole picture in the control; Scrolls: scrolls at this zoom.
    imaging::DisplayMode displayMode = imaging::DisplayMode::Preview;
};

class BrowserPreview
{
public:
    static constexpr double kZoomInFactor = 1.25;
    static constexpr double kZoomOutFactor = 0.75;
    // Zoom in stops above this percentage, zoom out below the other; a step
    // that starts exactly at a limit still runs.
    static constexpr double kMaxPercent = 1600.0;
    static constexpr double kMinPercent = 0.5;

    // One step from `zoom` for a picture of `imagePx` pixels in a control of
    // `controlTwips`; nothing when the limit has been passed. The picture
    // scrolls (mode 2) as soon as it is wider or taller than the control.
    static std::optional<PreviewZoom> zoomIn(double zoom, QSize imagePx, QSizeF controlTwips,
                                             const Twips &tw);
    static std::optional<PreviewZoom> zoomOut(double zoom, QSize imagePx, QSizeF controlTwips,
                                              const Twips &tw);

    // The mode for a picture at `zoom`: 2 when it does not fit the control.
    static imaging::DisplayMode displayModeFor(double zoom, QSize imagePx, QSizeF controlTwips,
                                               const Twips &tw);

    // The scale at which mode 0 draws the picture: the whole picture in the
    // control, never enlarged. Steps start from here after a new preview so
    // that "Zoom Out" never makes a fitted photo larger.
    static double shownScale(QSize imagePx, QSize controlPx);
};

} // namespace lumora
