#pragma once

#include <QtGlobal>

namespace lumora
{

// Window geometry is kept in twips (1/1440 inch) as the layout rules are
// written in them; this is the one place that converts to and from pixels.
// The factors come from the screen's logical DPI (15 twips per pixel at 96).
struct Twips {
    double tpx = 15.0;
    double tpy = 15.0;

    static Twips forScreen(); // primary screen; 15/15 when there is none

    int toPixelsX(double twips) const { return qRound(twips / tpx); }
    int toPixelsY(double twips) const { return qRound(twips / tpy); }
    double fromPixelsX(double px) const { return px * tpx; }
    double fromPixelsY(double px) const { return px * tpy; }
};

} // namespace lumora
