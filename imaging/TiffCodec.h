#pragma once

#include "imaging/Decoder.h"

#include <QByteArray>

namespace lumora::imaging
{

// libtiff, for the TIFFs Qt's reader refuses (tiled 8-bit, signed-integer
// and floating-point samples, odd depths, YCbCr and old-style JPEG forms it
// does not take): our own sample reading where it knows the photometric,
// libtiff's picture interface for the rest. Error handlers are set per
// file, so whatever another library made of libtiff's process-wide handlers
// does not matter here.
//
// Variants Qt's reader gets wrong although it opens them, sent here first:
// separate colour planes (it shows the first plane of a 16-bit file as
// grey), grey and CMYK pictures with an alpha sample (it drops the alpha).
bool tiffPrefersLibtiff(const QByteArray &data);

DecodedImage decodeTiffWithLibtiff(const QByteArray &data, const DecodeOptions &options);
// The ICC profile of the first directory (tag 34675), empty without one.
QByteArray tiffIccProfile(const QByteArray &data);

} // namespace lumora::imaging
