#pragma once

#include <QImage>

// Pixel preparation for formats that hold less than a QImage can.
namespace lumora::imaging::pixels
{

// True for 16-bit-per-sample formats.
bool isDeep(const QImage &image);
// True for formats whose pixels are all grey (grey formats, grey palettes).
bool isGreyFormat(const QImage &image);

// The same picture at 8 bits a sample; 8-bit images come back unchanged.
QImage atEightBits(const QImage &image);

// An opaque 8-bit picture: transparent parts composed on white. Grey images
// stay grey (Grayscale8), everything else becomes RGB32.
QImage flattenedOnWhite(const QImage &image);

// A 1-bit picture (Format_Mono, index 0 black, 1 white). Black-and-white
// input comes through exactly; shades are error-diffused so a photo stays
// recognisable.
QImage bilevel(const QImage &image);

} // namespace lumora::imaging::pixels
