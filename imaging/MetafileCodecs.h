#pragma once

#include "imaging/Codec.h"

namespace lumora::imaging
{

// Windows metafiles are drawings: each is rendered once, at the size the file
// states (or directly at a smaller requested box), on a white background.

// WMF through libwmf's gd renderer; the size comes from the drawing's bounds.
DecodedImage decodeWmf(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

// EMF through libemf2svg, the SVG drawn by Qt SVG at the header's size.
DecodedImage decodeEmf(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

} // namespace lumora::imaging
