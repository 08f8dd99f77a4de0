#pragma once

#include <QImage>
#include <QRectF>
#include <QSizeF>

namespace lumora
{

// The two flags a placement code stands for: code 0 top left, 1 centred,
// 2 fitted to the page.
struct PlacementFlags {
    bool centred = false; // the first flag
    bool fitted = false;  // the second flag
};
PlacementFlags placementFlags(int code);

// The resolution an image prints at, in dots per inch: its own, or 96 when
// it carries none (or nothing sensible).
QSizeF printResolution(const QImage &image);

// Where a picture of `pixels` at `imageDpi` lands inside the printable area
// `printable`, all in device units of a device with `deviceDpi`:
//   neither flag — at its physical size, top left at the area's corner;
//   centred      — at its physical size, centred in the area;
//   both         — as large as the area allows, aspect kept, centred.
// A picture larger than the area is scaled down to fit in the first two as
// well, rather than cut off at the page edge.
QRectF placeOnPage(const QSize &pixels, const QSizeF &imageDpi, const QRectF &printable,
                   const QSizeF &deviceDpi, bool centred, bool fitted);

} // namespace lumora
