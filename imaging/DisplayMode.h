#pragma once

#include <QtGlobal>

namespace lumora::imaging
{

// How the view draws the zoomed picture. The numbers are the values the
// owner windows store and compare, so they stay as they are.
enum class DisplayMode : qint32 {
    Preview = 0, // drawn whole as in Fits: the browser's preview
    Scrolls = 2, // larger than the control: scrolls and drags
    Fits = 3,    // drawn whole, centred
};

} // namespace lumora::imaging
