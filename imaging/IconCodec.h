#pragma once

#include "imaging/Codec.h"

namespace lumora::imaging
{

// ICO and CUR: every entry of the directory, PNG entries through Qt's PNG
// reader, bitmap entries through our bitmap decoder with their AND mask
// (transparent where the mask says, whatever the depth).
DecodedImage decodeIcon(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options);

} // namespace lumora::imaging
