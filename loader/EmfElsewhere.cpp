// The EMF row of the codec table in every program but lumora-loader-emf:
// libemf2svg is linked into that program alone (its licence is
// GPL-2.0-only), so here an EMF file is only recognised. Weak, so the real
// reader (imaging/EmfCodec.cpp) takes its place where it is linked.
#include "imaging/DecodeSupport.h"
#include "imaging/MetafileCodecs.h"

namespace lumora::imaging
{

__attribute__((weak)) DecodedImage decodeEmf(QIODevice &, const FormatSpec &, const DecodeOptions &)
{
    return support::failure(QStringLiteral("EMF pictures are read by lumora-loader-emf."));
}

} // namespace lumora::imaging
