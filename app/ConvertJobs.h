#pragma once

#include "imaging/Decoder.h"
#include "imaging/FormatCode.h"

#include <QList>
#include <QSize>
#include <QString>

#include <functional>
#include <optional>

namespace lumora
{

// "-" as an input or output: standard input or output.
inline constexpr char kStandardStream[] = "-";

// --resize: a box the picture is fitted into, aspect kept. A zero side is
// unbounded ("800x" limits the width only); a single number limits the long
// side. Pictures are only made smaller unless `enlarge`; `exact` ("800x600!")
// gives that size whatever the aspect.
struct ResizeRule {
    QSize box;
    bool longSide = false;
    bool enlarge = false;
    bool exact = false;

    // The size a picture of `size` is written at.
    QSize target(const QSize &size) const;
};

struct ConvertSettings {
    imaging::FormatCode format = imaging::FormatCode::Unknown;
    bool overwrite = false;
    // An output that is already there (a complete file: outputs only ever
    // get their name once written in full) is left alone and not counted
    // as a failure.
    bool skipExisting = false;
    int quality = 0; // 0: the writer's default
    std::optional<ResizeRule> resize;
    bool strip = false; // no EXIF, XMP, IPTC, comments or text
    int page = 0;       // 1-based page of a multi-page source; 0: the first
    int inputFd = 0;    // what "-" reads and writes
    int outputFd = 1;
};

struct ConvertJob {
    QString input;  // a path (any bytes, see platform::pathFromBytes) or "-"
    QString output; // likewise
};

struct ConvertOutcome {
    bool ok = false;
    bool skipped = false; // --skip-existing found the output there
    QString message;      // why it failed
    QString damage;       // converted, but from a damaged file: why (DecodedImage::damage)
    QString note;         // converted, with something the user should know
};

// Called on the calling thread with the count of finished files.
using ProgressFn = std::function<void(int done, int total)>;

// Decodes an input ("-": the descriptor) by content, whatever bytes its
// name holds.
imaging::DecodedImage decodeInput(const QString &input, int inputFd,
                                  const imaging::DecodeOptions &options = {});

// Decodes `job.input` as the viewer would and saves it the way Save As does,
// with the settings' page, size, quality and metadata. Safe to call from
// several threads at once.
ConvertOutcome convertOne(const ConvertJob &job, const ConvertSettings &settings);
// The plain conversion: the format, and whether an existing output is replaced.
ConvertOutcome convertOne(const ConvertJob &job, imaging::FormatCode format, bool overwrite);

// Runs every job on a pool of `threads` workers (0: one per core); the
// outcomes come back in job order.
QList<ConvertOutcome> runConvertJobs(const QList<ConvertJob> &jobs, const ConvertSettings &settings,
                                     int threads, const ProgressFn &progress);

} // namespace lumora
