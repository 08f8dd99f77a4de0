#include "app/ConvertJobs.h"

#include "imaging/Decoder.h"
#include "imaging/ImageDocument.h"

#include <QFileInfo>
#include <QThread>
#include <QThreadPool>

#include <condition_variable>
#include <mutex>

namespace lumora
{

ConvertOutcome convertOne(const ConvertJob &job, imaging::FormatCode format, bool overwrite)
{
    if (!overwrite && QFileInfo::exists(job.output))
        return {
            false, QStringLiteral("%1 exists; use --overwrite to replace it").arg(job.output), {}};
    imaging::DecodeOptions options;
    options.allPages = false; // the page on screen is what Save As writes
    imaging::DecodedImage decoded = imaging::decodeFile(job.input, options);
    if (!decoded.ok())
        return {false, decoded.error, {}};
    // Through the document, so a conversion is exactly what the viewer saves.
    imaging::ImageDocument doc;
    doc.adopt(std::move(decoded.pages), decoded.format, decoded.bitsPerPixel,
              QFileInfo(job.input).absoluteFilePath());
    QString error;
    if (!doc.SaveToFile(job.output, format, 0, overwrite, &error))
        return {
            false, error.isEmpty() ? QStringLiteral("the image could not be saved") : error, {}};
    return {true, {}, decoded.damage};
}

QList<ConvertOutcome> runConvertJobs(const QList<ConvertJob> &jobs, imaging::FormatCode format,
                                     bool overwrite, int threads, const ProgressFn &progress)
{
    QList<ConvertOutcome> results(jobs.size());
    if (jobs.isEmpty())
        return results;
    QThreadPool pool;
    pool.setMaxThreadCount(threads > 0 ? threads : QThread::idealThreadCount());
    std::mutex mutex;
    std::condition_variable finished;
    int done = 0;
    for (qsizetype i = 0; i < jobs.size(); ++i) {
        pool.start([&, i] {
            ConvertOutcome r = convertOne(jobs[i], format, overwrite);
            std::lock_guard lock(mutex);
            results[i] = std::move(r);
            ++done;
            finished.notify_one();
        });
    }
    const int total = int(jobs.size());
    std::unique_lock lock(mutex);
    int reported = -1;
    while (done < total) {
        finished.wait_for(lock, std::chrono::milliseconds(200));
        if (progress && done != reported) {
            reported = done;
            const int now = done;
            lock.unlock();
            progress(now, total);
            lock.lock();
        }
    }
    lock.unlock();
    pool.waitForDone();
    if (progress && reported != total)
        progress(total, total);
    return results;
}

} // namespace lumora
