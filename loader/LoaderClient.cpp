#include "loader/LoaderClient.h"

#include "imaging/DecodeSupport.h"
#include "imaging/Decoder.h"
#include "loader/LoaderPool.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumora
{

namespace
{

// Beside the running executable, wherever it was started from.
QString besideExecutable(const char *name)
{
    const QString self = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return QFileInfo(self).absolutePath() + QLatin1Char('/') + QLatin1String(name);
}

QString programFor(const QString &chosen, const char *variable, const char *name)
{
    if (!chosen.isEmpty())
        return chosen;
    const QString fromEnvironment = qEnvironmentVariable(variable);
    return fromEnvironment.isEmpty() ? besideExecutable(name) : fromEnvironment;
}

// The process's loaders: one pool for the formats of lumora-loader and one
// worker for EMF. A decode holds its pool for its time, so configure() may
// replace them while others decode.
struct Loaders {
    std::mutex mutex;
    loader::LoaderSettings settings;
    std::shared_ptr<loader::LoaderPool> general;
    std::shared_ptr<loader::LoaderPool> emf;
};

Loaders &loaders()
{
    static Loaders instance;
    return instance;
}

loader::PoolSettings poolSettings(const loader::LoaderSettings &s, bool emf)
{
    loader::PoolSettings p;
    if (emf) {
        p.program = programFor(s.emfProgram, "LUMORA_LOADER_EMF", "lumora-loader-emf");
        p.workers = 1; // EMF files are rare; one process serves them in turn
    } else {
        p.program = programFor(s.program, "LUMORA_LOADER", "lumora-loader");
        p.workers = s.workers > 0 ? s.workers : std::clamp(QThread::idealThreadCount(), 1, 4);
    }
    p.timeoutMs = s.timeLimitMs > 0 ? s.timeLimitMs : loader::kDefaultTimeLimitMs;
    p.budget = imaging::kMaxDecodedBytes;
    return p;
}

std::shared_ptr<loader::LoaderPool> pool(bool emf)
{
    Loaders &l = loaders();
    std::lock_guard lock(l.mutex);
    auto &slot = emf ? l.emf : l.general;
    if (!slot)
        slot = std::make_shared<loader::LoaderPool>(poolSettings(l.settings, emf));
    return slot;
}

bool inProcess()
{
    Loaders &l = loaders();
    std::lock_guard lock(l.mutex);
    return l.settings.inProcess;
}

imaging::DecodedImage failure(const QString &message)
{
    imaging::DecodedImage out;
    out.error = message;
    return out;
}

imaging::DecodedImage decodeDescriptor(int fd, const imaging::DecodeOptions &options,
                                       const QString &name)
{
    if (imaging::support::isCancelled(options))
        return failure(imaging::support::cancelledMessage());
    if (inProcess()) {
        lseek(fd, 0, SEEK_SET);
        QFile file;
        if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            return failure(file.errorString());
        return imaging::decodeDeviceInProcess(file, options, name);
    }
    loader::Request request;
    request.scaledSize = options.scaledSize;
    request.allPages = options.allPages;
    request.nameHint = name;
    loader::PoolReply reply = pool(false)->decode(fd, request, options.cancel);
    if (reply.elsewhere)
        reply = pool(true)->decode(fd, request, options.cancel);
    if (reply.elsewhere)
        return failure(QStringLiteral("The file is not an image in a supported format."));
    return std::move(reply.decoded);
}

} // namespace

namespace loader
{

void configure(const LoaderSettings &settings)
{
    Loaders &l = loaders();
    std::shared_ptr<LoaderPool> general, emf;
    {
        std::lock_guard lock(l.mutex);
        const LoaderSettings &old = l.settings;
        if (settings.program == old.program && settings.emfProgram == old.emfProgram &&
            settings.workers == old.workers && settings.inProcess == old.inProcess) {
            l.settings = settings;
            for (LoaderPool *p : {l.general.get(), l.emf.get()}) {
                if (p)
                    p->setTimeLimit(poolSettings(settings, false).timeoutMs);
            }
            return;
        }
        l.settings = settings;
        general = std::exchange(l.general, nullptr);
        emf = std::exchange(l.emf, nullptr);
    }
    // The old pools end when their last decode lets go of them.
}

LoaderSettings currentSettings()
{
    Loaders &l = loaders();
    std::lock_guard lock(l.mutex);
    return l.settings;
}

void startLoaders()
{
    if (inProcess())
        return;
    pool(false)->startAll();
}

QString sandboxDescription()
{
    auto general = pool(false);
    QString text = general->sandboxDescription();
    if (text.isEmpty()) {
        // Nothing decoded yet: one tiny decode starts a worker and hears it.
        imaging::decodeData(QByteArray("P1 1 1 0", 8), {}, QStringLiteral("probe.pbm"));
        text = general->sandboxDescription();
    }
    return text.isEmpty() ? QStringLiteral("unknown: no decoder process could be started") : text;
}

int loadersStarted()
{
    Loaders &l = loaders();
    std::lock_guard lock(l.mutex);
    return (l.general ? l.general->started() : 0) + (l.emf ? l.emf->started() : 0);
}

qint64 loadersPeakMemoryKb()
{
    Loaders &l = loaders();
    std::lock_guard lock(l.mutex);
    return (l.general ? l.general->peakMemoryKb() : 0) + (l.emf ? l.emf->peakMemoryKb() : 0);
}

} // namespace loader

namespace imaging
{

DecodedImage decodeFile(const QString &path, const DecodeOptions &options)
{
    if (const QString why = support::notAnImageFile(path); !why.isEmpty())
        return failure(why);
    // Opened here, read-only, and handed over: the loader opens nothing.
    const int fd =
        open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return failure(QStringLiteral("The file \"%1\" cannot be read: %2.")
                           .arg(path, QString::fromLocal8Bit(strerror(errno))));
    struct stat st {
    };
    DecodedImage out;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        out = failure(QStringLiteral("\"%1\" is not an image file.").arg(path));
    else
        out = decodeDescriptor(fd, options, QFileInfo(path).fileName());
    close(fd);
    return out;
}

DecodedImage decodeData(const QByteArray &data, const DecodeOptions &options,
                        const QString &nameHint)
{
    // The bytes go over as a sealed memfd, the way a file would.
    const int fd = memfd_create("lumora-image", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return failure(QStringLiteral("The picture cannot be handed to the decoder: %1.")
                           .arg(QString::fromLocal8Bit(strerror(errno))));
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = errno;
            close(fd);
            return failure(QStringLiteral("The picture cannot be handed to the decoder: %1.")
                               .arg(QString::fromLocal8Bit(strerror(error))));
        }
        done += n;
    }
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    DecodedImage out = data.isEmpty() ? failure(QStringLiteral("The file is empty."))
                                      : decodeDescriptor(fd, options, nameHint);
    close(fd);
    return out;
}

QImage loadPicture(const QString &path, QString *error)
{
    DecodeOptions options;
    options.allPages = true;
    const DecodedImage decoded = decodeFile(path, options);
    if (error)
        *error = decoded.ok() ? QString() : decoded.error;
    return decoded.ok() ? largestPage(decoded) : QImage();
}

} // namespace imaging

} // namespace lumora
