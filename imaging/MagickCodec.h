#pragma once

#include "imaging/Codec.h"

namespace lumora::imaging
{

// Starts ImageMagick once per process and sets its resource limits; safe to
// call from any thread, any number of times.
void initMagick();

// ImageMagick (Magick++) for PSD (the merged image), PCX, TGA (oriented
// upright) and PCD (converted to sRGB).
DecodedImage decodeWithMagick(QIODevice &device, const FormatSpec &entry,
                              const DecodeOptions &options);

} // namespace lumora::imaging
