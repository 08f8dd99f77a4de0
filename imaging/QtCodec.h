#pragma once

#include "imaging/Codec.h"

namespace lumora::imaging
{

// Qt's image plugins: JPEG (with DCT-scaled decoding), PNG, GIF, BMP, TIFF,
// ICO, CUR, WBMP. Orientation tags are applied.
DecodedImage decodeWithQt(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

// A DIB without its file header (a bare BITMAPINFOHEADER, as on the
// clipboard): gets the 14-byte header it lacks and goes through Qt's BMP reader.
DecodedImage decodeHeaderlessDib(QIODevice &device, const FormatSpec &entry,
                                 const DecodeOptions &options);

} // namespace lumora::imaging
