#pragma once

#include <tiffio.h>

#include <QByteArray>
#include <QImage>

namespace lumora::imaging
{

// Our own reading of a TIFF directory's samples: grey, RGB, CMYK and palette
// pictures, with or without an alpha sample, in strips or tiles, chunky or in
// separate planes, unsigned samples of 1 to 32 bits, signed integers of 8, 16
// and 32 bits and floating-point samples of 16, 32 and 64 bits, the file's
// orientation applied. libtiff's picture interface refuses several of these
// and gets others wrong (16-bit tiles in separate planes; the alpha sample of
// CMYK). Associated alpha gives a premultiplied image.
//
// Returns a null image for directories of another kind (YCbCr, CIE L*a*b*,
// old-style JPEG), for which the picture interface is the reader, and when
// not one row could be read. *bits receives the stored depth of a pixel.
// CMYK inks are turned into sRGB through `cmykProfile` (the directory's
// own), or the default press profile when it is empty.
QImage readTiffSamples(TIFF *tif, int *bits, const QByteArray &cmykProfile = {});

// Whether readTiffSamples takes this directory at all.
bool tiffSamplesReadable(TIFF *tif);

} // namespace lumora::imaging
