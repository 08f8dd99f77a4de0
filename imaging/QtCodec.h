#pragma once

#include "imaging/Codec.h"

namespace lumora::imaging
{

// Qt's image plugins: JPEG (with DCT-scaled decoding), GIF, BMP, ICO, CUR,
// WBMP. Orientation tags are applied. What Qt calls damaged is given to the
// row's ImageMagick coder, when it has one, before it is called so.
DecodedImage decodeWithQt(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

// GIF: an animation frame by frame (GifAnimation.h) when every page is
// wanted, Qt's reader otherwise.
DecodedImage decodeGif(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

// WBMP through Qt's reader (ImageMagick's as the second one), after the
// header's size is held against the bytes the file has.
DecodedImage decodeWbmp(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

// PNG: Qt's reader, except 16-bit pictures with one colour marked transparent,
// whose channels it mixes up; those go to ImageMagick first.
DecodedImage decodePng(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

// TIFF: libtiff for what Qt's reader refuses or misreads (see
// tiffPrefersLibtiff), Qt's reader for the rest, libtiff again for what Qt
// calls damaged.
DecodedImage decodeTiff(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

} // namespace lumora::imaging
