#pragma once

#include "imaging/Codec.h"

#include <QByteArray>
#include <QImage>

namespace lumora::imaging
{

// The merged picture a PSD or PSB file keeps after its layers, read by us:
// bitmap, grey, indexed, RGB and CMYK at 8 bits (grey and RGB also at 16),
// raw or PackBits. ImageMagick reads PSDs first; this is for the files it
// refuses although they are sound (its own indexed-colour PSDs, for one).
// Extra channels are not shown. Null when the file is of another kind or cut
// short before its first row; *bits receives the stored depth.
QImage readPsdComposite(const QByteArray &data, int *bits);

// ImageMagick first, then the reading above.
DecodedImage decodePsd(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

} // namespace lumora::imaging
