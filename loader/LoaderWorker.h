#pragma once

#include "imaging/Decoder.h"

#include <QIODevice>

#include <optional>
#include <vector>

// The loop a loader process runs: load and warm its libraries, cap its
// memory, enter the sandbox, then answer requests on its socket until the
// program closes it.
namespace lumora::loader
{

// A decoder run before the codec table; nullopt leaves the file to the table.
// Only the test build of the loader has one.
using DecodeHook = std::optional<imaging::DecodedImage> (*)(QIODevice &file,
                                                            const imaging::DecodeOptions &options);

enum class Claim { Mine, Elsewhere, Refused };

// The codecs one loader program carries: lumora-loader the codec table but
// EMF, lumora-loader-emf the EMF reader alone (and nothing of ImageMagick).
struct WorkerCodecs {
    // Before the sandbox: warms what the first files are likeliest to need
    // by decoding a tiny picture of those kinds.
    void (*prepare)();
    // Whose file this is, from its first bytes (and its name's suffix).
    Claim (*claims)(const QByteArray &head, const QString &nameHint);
    imaging::DecodedImage (*decode)(QIODevice &file, const imaging::DecodeOptions &options,
                                    const QString &nameHint);
    // Inside the sandbox, after the first answer, one step at a time while
    // no request waits: the other kinds' libraries and data files. A file of
    // a kind not yet warmed loads its library itself, as any decode may.
    std::vector<void (*)()> later = {};
};

struct WorkerTraits {
    const char *name; // for messages: "lumora-loader"
    WorkerCodecs codecs;
    DecodeHook hook = nullptr;
};

// The codec table without EMF (loader/GeneralCodecs.cpp).
WorkerCodecs generalCodecs();

int runWorker(int argc, char **argv, const WorkerTraits &traits);

} // namespace lumora::loader
