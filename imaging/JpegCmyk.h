#pragma once

#include "imaging/Decoder.h"
#include "imaging/EmbeddedProfiles.h"

class QIODevice;

namespace lumora::imaging
{

// A CMYK (or YCCK) JPEG read with libjpeg itself and its inks turned into
// sRGB through the file's profile, or the default press profile when it has
// none: Qt's reader hands over its own ink formula, which makes photos from
// a print workflow look flat and too bright. Adobe's files store the inks
// inverted (their APP14 segment says so); the EXIF orientation is applied
// and a thumbnail box decodes at 1/2..1/8 scale. The result carries no
// profile: its pixels are sRGB.
DecodedImage decodeCmykJpeg(QIODevice &device, const profiles::JpegColour &colour,
                            const DecodeOptions &options);

} // namespace lumora::imaging
