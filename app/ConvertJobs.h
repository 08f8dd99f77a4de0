#pragma once

#include "imaging/FormatCode.h"

#include <QList>
#include <QString>

#include <functional>

namespace lumora
{

struct ConvertJob {
    QString input;
    QString output;
};

struct ConvertOutcome {
    bool ok = false;
    QString message; // why it failed
    QString damage;  // converted, but from a damaged file: why (DecodedImage::damage)
};

// Called on the calling thread with the count of finished files.
using ProgressFn = std::function<void(int done, int total)>;

// Decodes the first page of `job.input` as the viewer would and saves it the
// way Save As does. Safe to call from several threads at once.
ConvertOutcome convertOne(const ConvertJob &job, imaging::FormatCode format, bool overwrite);

// Runs every job on a pool of `threads` workers (0: one per core); the
// outcomes come back in job order.
QList<ConvertOutcome> runConvertJobs(const QList<ConvertJob> &jobs, imaging::FormatCode format,
                                     bool overwrite, int threads, const ProgressFn &progress);

} // namespace lumora
