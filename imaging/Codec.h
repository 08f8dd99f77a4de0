#pragma once

#include "imaging/Decoder.h"

#include <QByteArray>
#include <QSize>
#include <QString>

class QIODevice;

namespace lumora::imaging
{

struct FormatSpec;

// The one contract every codec family fulfils: decode the image on the device
// (open, positioned at its start) whose format the table already recognised.
using DecodeFunction = DecodedImage (*)(QIODevice &device, const FormatSpec &entry,
                                        const DecodeOptions &options);

// One row of the format table. Adding a format is adding one row.
struct FormatSpec {
    FormatCode code;
    // Format name for QImageReader or ImageMagick's coder, by codec family.
    const char *coderName;
    // Recognises the format from the first bytes of the file. The suffix
    // (lower case, no dot) is only consulted by formats that have no magic.
    bool (*matches)(const QByteArray &head, const QString &suffix);
    DecodeFunction decode;
    // The full-size dimensions the header declares, read straight from the
    // bytes so an absurd header is refused before any reader allocates
    // (readers may not even report a size for a header with nothing after
    // it). Null where the codec checks for itself (scaled JPEG, metafiles).
    QSize (*declaredSize)(const QByteArray &head) = nullptr;
};

// How many leading bytes detection needs (PCD keeps its mark at 2048).
constexpr int kSniffBytes = 4096;

// The first row whose test accepts the head, or nullptr.
const FormatSpec *findFormat(const QByteArray &head, const QString &suffix);

} // namespace lumora::imaging
