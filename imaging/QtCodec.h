#pragma once

#include "imaging/Codec.h"

namespace lumora::imaging
{

// Qt's image plugins: JPEG (with DCT-scaled decoding), PNG, GIF, BMP, TIFF,
// ICO, CUR, WBMP. Orientation tags are applied. What Qt calls damaged is
// given to ImageMagick before it is called so (a TIFF to libtiff instead).
DecodedImage decodeWithQt(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

} // namespace lumora::imaging
