#include "app/ConvertJobs.h"

#include "imaging/Decoder.h"
#include "imaging/ImageWriter.h"
#include "platform/FileOperations.h"

#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora
{

using imaging::FormatCode;
using platform::displayPath;
using platform::pathBytes;

QSize ResizeRule::target(const QSize &size) const
{
    if (size.isEmpty())
        return size;
    if (exact)
        return {box.width() > 0 ? box.width() : size.width(),
                box.height() > 0 ? box.height() : size.height()};
    constexpr double kUnbounded = std::numeric_limits<double>::infinity();
    double factor;
    if (longSide) {
        factor = double(box.width()) / std::max(size.width(), size.height());
    } else {
        const double fw = box.width() > 0 ? double(box.width()) / size.width() : kUnbounded;
        const double fh = box.height() > 0 ? double(box.height()) / size.height() : kUnbounded;
        factor = std::min(fw, fh);
    }
    if (!std::isfinite(factor) || (factor >= 1.0 && !enlarge))
        return size;
    // Each side rounded, never below one pixel nor past the box.
    auto side = [factor](int n) { return std::max(1, int(std::lround(n * factor))); };
    QSize out(side(size.width()), side(size.height()));
    if (longSide) {
        out = out.boundedTo(QSize(box.width(), box.width()));
    } else {
        if (box.width() > 0)
            out.setWidth(std::min(out.width(), box.width()));
        if (box.height() > 0)
            out.setHeight(std::min(out.height(), box.height()));
    }
    return out;
}

namespace
{

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

ConvertOutcome failed(const QString &message)
{
    ConvertOutcome out;
    out.message = message;
    return out;
}

// Up to `limit` bytes from the descriptor; nullopt with errno on a failed read.
std::optional<QByteArray> readFd(int fd, qint64 limit)
{
    QByteArray bytes;
    char buffer[1 << 16];
    while (bytes.size() < limit) {
        const ssize_t n =
            ::read(fd, buffer, size_t(std::min<qint64>(sizeof buffer, limit - bytes.size())));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}

bool writeFd(int fd, const QByteArray &bytes, int *err)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *err = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

// Files larger than this are not read whole into memory; no picture that
// decodes within the limits comes near it.
constexpr qint64 kMaxInputBytes = qint64(2) << 30;

struct Source {
    imaging::DecodedImage decoded;
    QByteArray head; // the first bytes, for a JPEG's header segments
};

// Reads a file by its real bytes: names that are not UTF-8 reach the loader
// as the file's contents, since its own open would take another name.
Source readByBytes(const QString &path, const imaging::DecodeOptions &options)
{
    Source s;
    const QString shown = displayPath(path);
    const int fd =
        ::open(pathBytes(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        s.decoded.error = errno == ENOENT
                              ? QStringLiteral("The file \"%1\" does not exist.").arg(shown)
                              : QStringLiteral("The file \"%1\" cannot be read: %2.")
                                    .arg(shown, systemError(errno));
        return s;
    }
    struct stat st {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        s.decoded.error = S_ISDIR(st.st_mode)
                              ? QStringLiteral("\"%1\" is a folder, not an image file.").arg(shown)
                              : QStringLiteral("\"%1\" is not an image file.").arg(shown);
    } else if (st.st_size > kMaxInputBytes) {
        s.decoded.error = QStringLiteral("The file \"%1\" is too large to convert.").arg(shown);
    } else if (auto bytes = readFd(fd, kMaxInputBytes); !bytes) {
        s.decoded.error =
            QStringLiteral("The file \"%1\" cannot be read: %2.").arg(shown, systemError(errno));
    } else {
        s.head = bytes->left(imaging::kJpegHeadBytes);
        s.decoded = imaging::decodeData(*bytes, options, displayPath(QFileInfo(path).fileName()));
    }
    ::close(fd);
    return s;
}

Source readSource(const QString &input, const ConvertSettings &settings,
                  const imaging::DecodeOptions &options, bool wantHead)
{
    if (input == QLatin1String(kStandardStream)) {
        Source s;
        if (auto bytes = readFd(settings.inputFd, kMaxInputBytes); !bytes)
            s.decoded.error =
                QStringLiteral("Standard input cannot be read: %1.").arg(systemError(errno));
        else if (bytes->isEmpty())
            s.decoded.error = QStringLiteral("Standard input is empty.");
        else {
            s.head = bytes->left(imaging::kJpegHeadBytes);
            s.decoded = imaging::decodeData(*bytes, options);
        }
        return s;
    }
    if (pathBytes(input) != QFile::encodeName(input))
        return readByBytes(input, options);
    // The common case: the loader opens the file itself, and only a JPEG
    // written as JPEG needs its header read here.
    Source s;
    s.decoded = imaging::decodeFile(input, options);
    if (wantHead && s.decoded.ok() && s.decoded.format == FormatCode::Jpeg) {
        const int fd = ::open(pathBytes(input).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0) {
            s.head = readFd(fd, imaging::kJpegHeadBytes).value_or(QByteArray());
            ::close(fd);
        }
    }
    return s;
}

// The same pixels with no text, dots-per-metre or other metadata attached;
// `source` must outlive it.
QImage bareImage(const QImage &source)
{
    QImage bare(source.constBits(), source.width(), source.height(), source.bytesPerLine(),
                source.format());
    if (!source.colorTable().isEmpty())
        bare.setColorTable(source.colorTable());
    if (source.colorSpace().isValid())
        bare.setColorSpace(source.colorSpace());
    return bare;
}

// WMF keeps sizes in 16-bit fields; the writer scales larger pictures down.
constexpr int kWmfMaxSide = 32767;

} // namespace

imaging::DecodedImage decodeInput(const QString &input, int inputFd,
                                  const imaging::DecodeOptions &options)
{
    ConvertSettings settings;
    settings.inputFd = inputFd;
    return readSource(input, settings, options, false).decoded;
}

ConvertOutcome convertOne(const ConvertJob &job, const ConvertSettings &settings)
{
    const bool toStream = job.output == QLatin1String(kStandardStream);
    if (!toStream) {
        struct stat st {
        };
        const QByteArray target = pathBytes(job.output);
        if (::lstat(target.constData(), &st) == 0) {
            const bool regular = S_ISREG(st.st_mode) ||
                                 (S_ISLNK(st.st_mode) && ::stat(target.constData(), &st) == 0 &&
                                  S_ISREG(st.st_mode));
            if (settings.skipExisting && regular) {
                ConvertOutcome out;
                out.ok = true;
                out.skipped = true;
                return out;
            }
            if (!settings.overwrite)
                return failed(QStringLiteral("%1 exists; use --overwrite to replace it")
                                  .arg(displayPath(job.output)));
        }
    }

    imaging::DecodeOptions options;
    options.allPages = settings.page > 1;
    // Shrinking to a box: JPEG decodes straight at a fraction of its size.
    if (settings.resize && !settings.resize->exact) {
        const QSize box = settings.resize->box;
        if (settings.resize->longSide)
            options.scaledSize = QSize(box.width(), box.width());
        else if (box.width() > 0 && box.height() > 0)
            options.scaledSize =
                QSize(std::max(box.width(), box.height()), std::max(box.width(), box.height()));
    }
    const bool keepJpegHeaders = settings.format == FormatCode::Jpeg && !settings.strip;
    Source source = readSource(job.input, settings, options, keepJpegHeaders);
    imaging::DecodedImage &decoded = source.decoded;
    if (!decoded.ok())
        return failed(decoded.error);
    const int index = settings.page > 0 ? settings.page - 1 : 0;
    if (index >= decoded.pages.size())
        return failed(decoded.pages.size() == 1
                          ? QStringLiteral("it has only one page, not a page %1").arg(settings.page)
                          : QStringLiteral("it has %1 pages, not a page %2")
                                .arg(decoded.pages.size())
                                .arg(settings.page));

    ConvertOutcome outcome;
    const QImage page = decoded.pages[index];
    QImage picture = page;
    if (settings.resize) {
        // The box applies to the full picture, even when it was decoded smaller.
        const QSize full =
            index == 0 && decoded.originalSize.isValid() ? decoded.originalSize : page.size();
        QSize wanted = settings.resize->target(full);
        if (wanted != picture.size())
            picture = picture.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (picture.isNull())
            return failed(QStringLiteral("There is not enough memory to resize the image."));
    }
    const QImage written = settings.strip ? bareImage(picture) : picture;

    imaging::WriteOptions write;
    write.option = settings.quality;
    write.overwrite = settings.overwrite;
    // The colours stay right, --strip or not: formats with a profile keep the
    // file's, the others get sRGB pixels.
    write.iccProfile = decoded.iccProfile;
    if (keepJpegHeaders && decoded.format == FormatCode::Jpeg && !source.head.isEmpty()) {
        write.sourceJpegHead = source.head;
        write.exif = imaging::jpegExifSegment(source.head);
    }
    if (settings.format == FormatCode::Wmf &&
        std::max(written.width(), written.height()) > kWmfMaxSide) {
        const QSize fitted =
            written.size().scaled(QSize(kWmfMaxSide, kWmfMaxSide), Qt::KeepAspectRatio);
        outcome.note = QStringLiteral("scaled from %1 x %2 to %3 x %4 pixels: a WMF side holds at "
                                      "most 32,767")
                           .arg(written.width())
                           .arg(written.height())
                           .arg(fitted.width())
                           .arg(fitted.height());
    }

    QString error;
    if (toStream) {
        const QByteArray bytes = imaging::encodeImage(written, settings.format, write, &error);
        if (bytes.isEmpty())
            return failed(error);
        int err = 0;
        if (!writeFd(settings.outputFd, bytes, &err))
            return failed(
                QStringLiteral("cannot write to standard output: %1").arg(systemError(err)));
    } else if (!imaging::writeImageFile(written, job.output, settings.format, write, &error)) {
        return failed(error.isEmpty() ? QStringLiteral("the image could not be saved") : error);
    }
    outcome.ok = true;
    outcome.damage = decoded.damage;
    return outcome;
}

ConvertOutcome convertOne(const ConvertJob &job, imaging::FormatCode format, bool overwrite)
{
    ConvertSettings settings;
    settings.format = format;
    settings.overwrite = overwrite;
    return convertOne(job, settings);
}

QList<ConvertOutcome> runConvertJobs(const QList<ConvertJob> &jobs, const ConvertSettings &settings,
                                     int threads, const ProgressFn &progress)
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
            ConvertOutcome r = convertOne(jobs[i], settings);
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
