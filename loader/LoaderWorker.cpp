#include "loader/LoaderWorker.h"

#include "imaging/Codec.h"
#include "imaging/DecodeSupport.h"
#include "loader/LoaderProtocol.h"
#include "loader/Prefaulter.h"
#include "loader/Sandbox.h"

#include <QFile>
#include <QGuiApplication>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <mutex>
#include <new>
#include <poll.h>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lumora::loader
{

namespace
{

// Room above the decode budget for the decoders' own working copies (a
// reader's rows, a conversion's second image) and the reply.
constexpr qint64 kMemoryMargin = qint64(512) << 20;

QString memoryMessage(qint64 budget)
{
    return QStringLiteral("the decoder stopped on this file: it needed more than its memory "
                          "limit of %1 MB")
        .arg((budget + kMemoryMargin) >> 20);
}

// Pixels decoded straight into a memfd of their own, so a photo reaches the
// program without being copied (Qt's readers fill the image they are given).
struct PixelBlock {
    void *address = nullptr;
    size_t length = 0;
    int fd = -1;
    bool handedOver = false; // the fd now belongs to the reply
};

std::mutex blocksMutex;
std::vector<PixelBlock *> blocks;

void releaseBlock(void *info)
{
    auto *block = static_cast<PixelBlock *>(info);
    Prefaulter::leave(block->address);
    munmap(block->address, block->length);
    if (!block->handedOver)
        close(block->fd);
    {
        std::lock_guard lock(blocksMutex);
        blocks.erase(std::find(blocks.begin(), blocks.end(), block));
    }
    delete block;
}

QImage memfdPage(QSize size, QImage::Format format)
{
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    // Laid out as QImage lays out its own rows (32-bit aligned).
    const qint64 rowBytes = ((qint64(size.width()) * depth + 31) >> 5) << 2;
    const qint64 bytes = rowBytes * size.height();
    if (depth <= 0 || bytes <= 0 || bytes > imaging::kMaxDecodedBytes)
        return {};
    const size_t length = size_t((bytes + 4095) / 4096 * 4096);
    const int fd = memfd_create("lumora-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0)
        return {};
    void *address = MAP_FAILED;
    if (ftruncate(fd, off_t(length)) == 0)
        address = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (address == MAP_FAILED) {
        close(fd);
        return {};
    }
    Prefaulter::follow(address, length);
    auto *block = new PixelBlock{address, length, fd, false};
    {
        std::lock_guard lock(blocksMutex);
        blocks.push_back(block);
    }
    QImage page(static_cast<uchar *>(address), size.width(), size.height(), rowBytes, format,
                &releaseBlock, block);
    if (page.isNull())
        releaseBlock(block);
    return page;
}

// The memfd holding the only page of `decoded`, when it was decoded in place
// and nothing else holds the page; -1 otherwise (the reply copies).
int inPlaceFd(const imaging::DecodedImage &decoded)
{
    if (decoded.pages.size() != 1 || !decoded.pages.first().isDetached())
        return -1;
    const void *bits = decoded.pages.first().constBits();
    std::lock_guard lock(blocksMutex);
    for (PixelBlock *block : blocks) {
        if (block->address == bits && !block->handedOver) {
            block->handedOver = true;
            return block->fd;
        }
    }
    return -1;
}

struct Served {
    ReplyKind kind = ReplyKind::Decoded;
    imaging::DecodedImage decoded;
};

Served decodeOne(int fd, const Request &request, ControlPage *control, const WorkerTraits &traits,
                 qint64 budget)
{
    Served out;
    if (request.budget > budget) {
        out.decoded.error = QStringLiteral("The decoder's memory limit is lower than this "
                                           "decode asks for.");
        return out;
    }
    // The descriptor shares its position with the program's: start at 0.
    lseek(fd, 0, SEEK_SET);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        out.decoded.error = QStringLiteral("The file cannot be read: %1.").arg(file.errorString());
        return out;
    }
    imaging::DecodeOptions options;
    options.scaledSize = request.scaledSize;
    options.allPages = request.allPages;
    options.cancel = &control->cancel;
    switch (traits.codecs.claims(file.peek(imaging::kSniffBytes), request.nameHint)) {
    case Claim::Mine:
        break;
    case Claim::Elsewhere:
        out.kind = ReplyKind::Elsewhere;
        return out;
    case Claim::Refused:
        out.decoded.error = QStringLiteral("The file is not an image in a supported format.");
        return out;
    }
    try {
        std::optional<imaging::DecodedImage> hooked;
        if (traits.hook)
            hooked = traits.hook(file, options);
        out.decoded =
            hooked ? std::move(*hooked) : traits.codecs.decode(file, options, request.nameHint);
    } catch (const std::bad_alloc &) {
        out.kind = ReplyKind::OutOfMemory;
        out.decoded = {};
        out.decoded.error = memoryMessage(budget);
    }
    return out;
}

// Whether a request comes within `ms`; an error counts too, for the
// receive to say what it is.
bool requestWithin(int socket, int ms)
{
    pollfd p{socket, POLLIN, 0};
    int rc;
    while ((rc = poll(&p, 1, ms)) < 0 && errno == EINTR) {
    }
    return rc != 0;
}

// Late warming waits for a pause this long, so that it neither delays the
// requests that follow the first (a viewer's neighbours, a folder's
// thumbnails) nor takes the CPU from the program while it shows the first.
constexpr int kIdleBeforeWarmingMs = 150;

qint64 argument(int argc, char **argv, const char *name, qint64 fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::strtoll(argv[i + 1], nullptr, 10);
    }
    return fallback;
}

} // namespace

int runWorker(int argc, char **argv, const WorkerTraits &traits)
{
    const int socket = kWorkerSocketFd;
    if (fcntl(socket, F_GETFD) < 0) {
        std::fprintf(stderr, "%s: started by the program only, which hands it a socket\n",
                     traits.name);
        return 2;
    }
    // The program's end is this process's end, even in the middle of a file
    // that hangs. Not PR_SET_PDEATHSIG: that follows the thread that started
    // the worker, and a thread pool ends its threads when it likes.
    std::thread([socket] {
        pollfd p{socket, POLLRDHUP, 0};
        while (poll(&p, 1, -1) < 0 || !(p.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
        }
        _exit(0);
    }).detach();
    // Every malloc arena reserves 64 MB of address space; a few are plenty
    // for one decode at a time and keep the cap meaningful.
    mallopt(M_ARENA_MAX, 2);
    const qint64 budget = argument(argc, argv, "--budget", imaging::kMaxDecodedBytes);

    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    imaging::support::setPageAllocator(&memfdPage);
    traits.codecs.prepare();

    ControlPage fallback{};
    ControlPage *control = &fallback;
    void *page =
        mmap(nullptr, sizeof(ControlPage), PROT_READ | PROT_WRITE, MAP_SHARED, kWorkerControlFd, 0);
    if (page != MAP_FAILED)
        control = static_cast<ControlPage *>(page);
    close(kWorkerControlFd);

    Prefaulter::start();
    // The cap counts from here; what is warmed later adds a few megabytes
    // of libraries, well inside the margin.
    QString capError;
    if (!capAddressSpace(budget + kMemoryMargin, &capError))
        std::fprintf(stderr, "%s: no memory cap: %s\n", traits.name, qPrintable(capError));
    const SandboxState sandbox = enterSandbox();
    if (!sandbox.sandboxed)
        std::fprintf(stderr, "%s: sandbox %s\n", traits.name, qPrintable(sandbox.description));
    Ready ready;
    ready.pid = getpid();
    ready.sandboxed = sandbox.sandboxed;
    ready.sandbox = sandbox.description;
    if (!sendMessage(socket, encodeReady(ready)))
        return 0;

    // The first answer goes out before anything else is warmed: for
    // `lumora photo.jpg` that is the photo on screen.
    bool answered = false;
    size_t warmed = 0;
    for (;;) {
        while (answered && warmed < traits.codecs.later.size() &&
               !requestWithin(socket, kIdleBeforeWarmingMs))
            traits.codecs.later[warmed++]();
        QByteArray message;
        int fd = -1;
        const ReceiveStatus status = receiveMessage(socket, &message, &fd, -1);
        if (status != ReceiveStatus::Ok)
            return 0; // the program closed the socket or went away
        const std::optional<Request> request = decodeRequest(message);
        Served served;
        if (!request || fd < 0)
            served.decoded.error = QStringLiteral("The decoder was sent a request it cannot read.");
        else {
            Prefaulter::allow(request->coreToSpare);
            served = decodeOne(fd, *request, control, traits, budget);
        }
        if (fd >= 0)
            close(fd);
        PackedReply reply;
        QString error;
        const int inPlace = inPlaceFd(served.decoded);
        const bool packed = inPlace >= 0 ? packReplyInPlace(served.kind, std::move(served.decoded),
                                                            inPlace, &reply, &error)
                                         : packReply(served.kind, served.decoded, &reply, &error);
        if (!packed) {
            imaging::DecodedImage failed;
            failed.error =
                QStringLiteral("The decoded picture cannot be handed over: %1.").arg(error);
            packReply(ReplyKind::Decoded, failed, &reply, &error);
        }
        const bool sent = sendMessage(socket, reply.message, reply.pixelFd);
        if (reply.pixelFd >= 0)
            close(reply.pixelFd);
        // After running out of memory a library may be left half-done.
        if (!sent || served.kind == ReplyKind::OutOfMemory)
            return 0;
        answered = true;
    }
}

} // namespace lumora::loader
