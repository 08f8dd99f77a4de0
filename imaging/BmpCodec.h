#pragma once

#include "imaging/Codec.h"

namespace lumora::imaging
{

// BMP and DIB files, with or without the 14-byte file header, through our
// own bitmap decoder (every variant other readers open); what it refuses
// (embedded JPEG or PNG, Huffman-coded OS/2 bitmaps) goes to ImageMagick.
DecodedImage decodeBmp(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

} // namespace lumora::imaging
