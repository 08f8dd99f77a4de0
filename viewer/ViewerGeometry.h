#pragma once

#include "imaging/DisplayMode.h"

#include <QMargins>
#include <QRect>

#include <optional>

namespace lumora
{

// The viewer's sizing arithmetic, in twips, free of widgets so it can be
// checked by number.
struct TwipSize {
    double width = 0;
    double height = 0;
};

struct FittingInput {
    int imageWidth = 0; // first image of the collection, pixels
    int imageHeight = 0;
    double tpx = 15, tpy = 15;
    double toolbarHeight = 0;                 // twips
    double screenWidth = 0, screenHeight = 0; // twips
};

struct FittingResult {
    double controlWidth = 0, controlHeight = 0; // the image control
    double windowWidth = 0, windowHeight = 0;
    double left = 0, top = 0; // centred on the screen
};

// Sizes the window to a newly shown image (small images get a minimum).
FittingResult fitWindow(const FittingInput &in);

// Scrolls when the zoomed image is larger than the window in either
// direction, else Fits.
imaging::DisplayMode placementMode(double zoom, int imageWidth, int imageHeight, double tpx,
                                   double tpy, TwipSize window);

// The zoom that makes a too-large image's width fill the window, or nothing
// when the image is not larger in both directions.
std::optional<double> fitZoom(int imageWidth, int imageHeight, double tpx, double tpy,
                              TwipSize window);

// One step each way, or nothing at the limits.
std::optional<double> zoomInStep(double zoom);
std::optional<double> zoomOutStep(double zoom);

// The window's own rectangle (`wanted`, without the frame) moved and cut so
// that it and the frame around it lie inside the work area; a window that
// fits already is left where it is.
QRect capToWorkArea(const QRect &wanted, const QMargins &frame, const QRect &workArea);

// The two wrap-arounds of a list index: one past the end is 0, one before the
// start is the last entry.
int wrapIndex(int index, int count);

} // namespace lumora
