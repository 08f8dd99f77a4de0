#pragma once

#include "imaging/Decoder.h"

#include <QByteArray>

#include <optional>

namespace lumora::imaging
{

// The common photograph PNG, 8-bit RGB or RGBA and not interlaced, read in
// one pass: its IDAT chunks are gathered and inflated by libdeflate in one
// call (zlib's streaming inflate is most of the time a PNG takes), then the
// rows are unfiltered straight into the page. The pixels come out as Qt's
// reader gives them (RGB32, ARGB32) with the same resolution and colour
// space, so no caller sees which reader ran.
//
// std::nullopt hands the file back to the usual reader: a layout or a chunk
// this reader leaves alone (palettes, transparency colours, text, gamma,
// profiles, offsets), a picture whose whole inflated data would take too
// much memory, and every fault at all, so damaged files are reported the
// way they always were.
std::optional<DecodedImage> decodePlainPng(const QByteArray &file, const DecodeOptions &options);

} // namespace lumora::imaging
