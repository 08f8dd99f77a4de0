#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>

namespace lumora
{

// Thumbnails are 140 pixels wide. Pictures whose sides differ by less than a
// factor of 1.8 keep their proportions with no border; longer ones get their
// long side scaled to 140 and sit centred on a white 140 x 140 square, so that
// a panorama does not turn into a sliver.
inline constexpr int kThumbSide = 140;
inline constexpr double kLongRatio = 1.8;

// Nearest integer with halves going to the even neighbour (31.5 -> 32, 30.5 -> 30).
int roundHalfEven(double x);

struct ThumbnailGeometry {
    QSize scaled;  // size the picture is scaled to
    QSize canvas;  // final thumbnail size (== scaled when there is no square)
    QPoint offset; // where the scaled picture sits on the canvas
    bool onWhiteSquare = false;
    bool valid() const { return !scaled.isEmpty(); }
};

// The layout for a picture of `original` pixels; invalid when a side is 0.
ThumbnailGeometry thumbnailGeometry(QSize original);

// Scales `decoded` (which may already be a reduced-scale decode of a picture
// whose full size is `original`) into the thumbnail shape. The result is held
// compactly: RGB888 when opaque, premultiplied ARGB otherwise.
QImage shapeThumbnail(const QImage &decoded, QSize original);

} // namespace lumora
