#include "viewer/PrintPlacement.h"

#include <algorithm>

namespace lumora
{

namespace
{
constexpr double kInchesPerMeter = 0.0254;
constexpr double kDefaultDpi = 96.0;

bool sensible(double dpi)
{
    return dpi >= 1.0 && dpi <= 100000.0;
}

// Qt stamps its screen resolution on every image whose file names none.
double unstampedDpm()
{
    static const int dpm = QImage(1, 1, QImage::Format_RGB32).dotsPerMeterX();
    return dpm;
}
} // namespace

PlacementFlags placementFlags(int code)
{
    return {code != 0, code == 2};
}

QSizeF printResolution(const QImage &image)
{
    const int dpmX = image.dotsPerMeterX();
    const int dpmY = image.dotsPerMeterY();
    if (dpmX == unstampedDpm() && dpmY == unstampedDpm())
        return {kDefaultDpi, kDefaultDpi};
    double x = dpmX * kInchesPerMeter;
    double y = dpmY * kInchesPerMeter;
    if (!sensible(x) && !sensible(y))
        return {kDefaultDpi, kDefaultDpi};
    // One sensible axis stands for both (square pixels).
    if (!sensible(x))
        x = y;
    if (!sensible(y))
        y = x;
    return {x, y};
}

QRectF placeOnPage(const QSize &pixels, const QSizeF &imageDpi, const QRectF &printable,
                   const QSizeF &deviceDpi, bool centred, bool fitted)
{
    if (pixels.isEmpty() || printable.isEmpty() || imageDpi.isEmpty() || deviceDpi.isEmpty())
        return {};
    QSizeF size(pixels.width() / imageDpi.width() * deviceDpi.width(),
                pixels.height() / imageDpi.height() * deviceDpi.height());
    const double fit =
        std::min(printable.width() / size.width(), printable.height() / size.height());
    if (fitted || fit < 1.0)
        size *= fit;
    QPointF at = printable.topLeft();
    if (centred)
        at += QPointF((printable.width() - size.width()) / 2.0,
                      (printable.height() - size.height()) / 2.0);
    return {at, size};
}

} // namespace lumora
