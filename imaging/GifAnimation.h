#pragma once

#include "imaging/Decoder.h"

#include <QByteArray>

#include <optional>

namespace lumora::imaging
{

// What the composed frames of one animation may take. A file past either
// limit shows its first frame as a still, with a note saying why, instead of
// costing the program gigabytes.
inline constexpr qint64 kMaxAnimationBytes = qint64(256) << 20;
inline constexpr int kMaxAnimationFrames = 10000;

// Every frame of an animated GIF, composed as web browsers show it: the
// canvas starts transparent, "restore to background" clears the frame's
// rectangle to transparent, "restore to previous" puts back what was there
// before the frame. Each page is a whole canvas, with its delay in
// frameDelays as the file states it (the player decides what a tiny delay
// means) and the NETSCAPE2.0 loop count in playCount.
// Nothing (the caller's usual reader takes over) for a file of one frame,
// or when the first frame cannot be read.
std::optional<DecodedImage> decodeGifAnimation(const QByteArray &data,
                                               const DecodeOptions &options);

} // namespace lumora::imaging
