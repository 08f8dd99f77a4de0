#include "imaging/FormatCode.h"

#include "imaging/Codec.h"

namespace lumora::imaging
{

const char *formatShortName(FormatCode code)
{
    const FormatSpec *row = formatRow(code);
    return row ? row->shortName : "";
}

} // namespace lumora::imaging
