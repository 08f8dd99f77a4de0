#pragma once

#include "imaging/Decoder.h"

#include <QByteArray>
#include <QSize>
#include <QString>

#include <span>

class QIODevice;
class QImage;

namespace lumora::imaging
{

struct FormatSpec;
struct WriteOptions;

// The one contract every codec family fulfils: decode the image on the device
// (open, positioned at its start) whose format the table already recognised.
using DecodeFunction = DecodedImage (*)(QIODevice &device, const FormatSpec &entry,
                                        const DecodeOptions &options);
// The whole file for one picture, or empty with *error set.
using EncodeFunction = QByteArray (*)(const QImage &image, FormatCode code,
                                      const WriteOptions &options, QString *error);
using MagicTest = bool (*)(const QByteArray &head, const QString &suffix);

// One row of the format table: everything the program knows of one format.
// Adding a format is adding one row; every other place reads the row.
struct FormatSpec {
    FormatCode code;
    // Lower-case name as the status bar, messages and saved extensions use it.
    const char *shortName = "";
    // Every name the converter's --format accepts, separated by blanks.
    const char *names = nullptr;
    // Qt's image reader for the format (null: Qt does not read it).
    const char *qtName = nullptr;
    // ImageMagick's coder: the reader of formats routed to ImageMagick, the
    // second reader of a file Qt's reader calls damaged, the writer of
    // formats ImageMagick writes (null: ImageMagick never touches the format).
    const char *magickName = nullptr;
    // Recognises the format from the first bytes of the file. The suffix
    // (lower case, no dot) is only consulted by formats that have no magic.
    MagicTest matches = nullptr;
    // A weak test (little or no magic), tried only after every row's strong
    // test failed.
    MagicTest matchesLast = nullptr;
    DecodeFunction decode = nullptr;
    // The full-size dimensions the header declares, read straight from the
    // bytes so an absurd header is refused before any reader allocates
    // (readers may not even report a size for a header with nothing after
    // it). Null where the codec checks for itself (scaled JPEG, metafiles).
    QSize (*declaredSize)(const QByteArray &head) = nullptr;
    // Null for formats that are only read.
    EncodeFunction encode = nullptr;
    // The save dialog's entry ("Windows Bitmap  <BMP>"), for formats saved.
    const char *saveFilterName = nullptr;
    // Whether a saved file gives back every pixel exactly (what an encrypted
    // picture needs to stay decryptable).
    bool exactColours = false;
};

// How many leading bytes detection needs (PCD keeps its mark at 2048).
constexpr int kSniffBytes = 4096;

// The program's formats, in the order detection tries them.
std::span<const FormatSpec> formatTable();

// The row whose test accepts the head (strong tests first, then weak ones),
// or nullptr. Tests pass a table of their own.
const FormatSpec *findFormat(const QByteArray &head, const QString &suffix,
                             std::span<const FormatSpec> table = formatTable());

// The row of a code, or nullptr for Unknown.
const FormatSpec *formatRow(FormatCode code, std::span<const FormatSpec> table = formatTable());

// The row one of its names (any case) calls, or nullptr.
const FormatSpec *formatNamed(const QString &name,
                              std::span<const FormatSpec> table = formatTable());

} // namespace lumora::imaging
