#pragma once

#include "imaging/Decoder.h"

#include <QByteArray>

namespace lumora::imaging
{

// libtiff's own picture interface, for the TIFFs Qt's reader refuses (tiled
// 8-bit, 32-bit integer samples, YCbCr and old-style JPEG forms it does not
// take). Error handlers are set per file, so whatever another library made
// of libtiff's process-wide handlers does not matter here.
// Variants Qt's reader gets wrong although it opens them: separate colour
// planes (it shows the first plane of a 16-bit file as grey).
bool tiffPrefersLibtiff(const QByteArray &data);

DecodedImage decodeTiffWithLibtiff(const QByteArray &data, const DecodeOptions &options);

} // namespace lumora::imaging
