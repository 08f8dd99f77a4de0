#include "loader/LoaderProtocol.h"

#include <QColorSpace>
#include <QDataStream>
#include <QIODevice>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace lumora::loader
{

namespace
{

constexpr quint32 kRequestMagic = 0x4c52'5251; // "LRRQ"
constexpr quint32 kReadyMagic = 0x4c52'5259;   // "LRRY"
constexpr quint32 kReplyMagic = 0x4c52'5250;   // "LRRP"
constexpr qint64 kPageAlign = 4096;
constexpr unsigned kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;

// Every field of the decode result crosses the socket. A field added to
// DecodedImage changes its size and stops the build here until it is
// written and read below as well.
struct DecodedImageFields {
    QList<QImage> pages;
    imaging::FormatCode format;
    int bitsPerPixel;
    QSize originalSize;
    QString error;
    QString damage;
    QByteArray iccProfile;
    QList<int> frameDelays;
    int playCount;
    QString animationNote;
    bool transient; // set by the pool on this side; a worker never says it
};
static_assert(sizeof(imaging::DecodedImage) == sizeof(DecodedImageFields),
              "a field was added to DecodedImage: carry it in writeFacts()/readFacts()");

QDataStream &beginMessage(QDataStream &s, quint32 magic)
{
    s.setVersion(QDataStream::Qt_6_4);
    return s << magic << kProtocolVersion;
}

bool checkMessage(QDataStream &s, quint32 magic)
{
    s.setVersion(QDataStream::Qt_6_4);
    quint32 m = 0, version = 0;
    s >> m >> version;
    return s.status() == QDataStream::Ok && m == magic && version == kProtocolVersion;
}

// How a page's pixels lie in the memfd and what else a QImage carries.
struct PageFacts {
    qint32 width = 0, height = 0, format = 0;
    qint64 bytesPerLine = 0, offset = 0;
    QList<QRgb> colorTable;
    qint32 dotsPerMeterX = 0, dotsPerMeterY = 0;
    double devicePixelRatio = 1;
    QList<QPair<QString, QString>> text;
    QByteArray icc;
    qint32 primaries = 0, transfer = 0;
    float gamma = 0;
};

PageFacts factsOf(const QImage &page, qint64 offset)
{
    PageFacts f;
    f.width = page.width();
    f.height = page.height();
    f.format = qint32(page.format());
    f.bytesPerLine = page.bytesPerLine();
    f.offset = offset;
    f.colorTable = page.colorTable();
    f.dotsPerMeterX = page.dotsPerMeterX();
    f.dotsPerMeterY = page.dotsPerMeterY();
    f.devicePixelRatio = page.devicePixelRatio();
    for (const QString &key : page.textKeys())
        f.text.append({key, page.text(key)});
    const QColorSpace space = page.colorSpace();
    f.icc = space.iccProfile();
    if (f.icc.isEmpty() && space.isValid()) {
        f.primaries = qint32(space.primaries());
        f.transfer = qint32(space.transferFunction());
        f.gamma = space.gamma();
    }
    return f;
}

QDataStream &operator<<(QDataStream &s, const PageFacts &f)
{
    return s << f.width << f.height << f.format << f.bytesPerLine << f.offset << f.colorTable
             << f.dotsPerMeterX << f.dotsPerMeterY << f.devicePixelRatio << f.text << f.icc
             << f.primaries << f.transfer << f.gamma;
}

QDataStream &operator>>(QDataStream &s, PageFacts &f)
{
    return s >> f.width >> f.height >> f.format >> f.bytesPerLine >> f.offset >> f.colorTable >>
           f.dotsPerMeterX >> f.dotsPerMeterY >> f.devicePixelRatio >> f.text >> f.icc >>
           f.primaries >> f.transfer >> f.gamma;
}

qint64 alignUp(qint64 n)
{
    return (n + kPageAlign - 1) / kPageAlign * kPageAlign;
}

// Bytes a row of this format needs at the least; 0 for a format we do not
// take from a worker.
qint64 minimumRowBytes(QImage::Format format, qint64 width)
{
    if (format <= QImage::Format_Invalid || format >= QImage::NImageFormats)
        return 0;
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    return depth > 0 ? (width * depth + 7) / 8 : 0;
}

// One mapping shared by the pages of a reply; the last page to go unmaps it.
struct Mapping {
    void *address = nullptr;
    size_t length = 0;
    std::atomic_int pages{0};
};

// Unmapping a photo's pixels also frees its memfd, which costs milliseconds
// per picture; a thread of its own does it so a Next never waits for the
// picture it leaves. Never destroyed: pages may go during static teardown.
class Unmapper
{
public:
    static Unmapper &instance()
    {
        static Unmapper *one = new Unmapper;
        return *one;
    }
    void post(Mapping *mapping)
    {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(mapping);
        }
        m_wake.notify_one();
    }

private:
    Unmapper()
    {
        std::thread([this] {
            for (;;) {
                std::unique_lock lock(m_mutex);
                m_wake.wait(lock, [this] { return !m_queue.empty(); });
                Mapping *mapping = m_queue.front();
                m_queue.pop_front();
                lock.unlock();
                munmap(mapping->address, mapping->length);
                delete mapping;
            }
        }).detach();
    }
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Mapping *> m_queue;
};

void releasePage(void *info)
{
    auto *mapping = static_cast<Mapping *>(info);
    if (mapping->pages.fetch_sub(1) == 1)
        Unmapper::instance().post(mapping);
}

imaging::DecodedImage brokenReply()
{
    imaging::DecodedImage out;
    out.error = QStringLiteral("the decoder stopped on this file: it sent a reply that does "
                               "not add up");
    return out;
}

qint64 nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Reads exactly `size` bytes, waiting for each part until the deadline.
ReceiveStatus readFully(int socket, char *into, size_t size, qint64 deadline,
                        const std::function<void()> &tick, int *receivedFd)
{
    size_t done = 0;
    while (done < size) {
        const int slice = deadline < 0 ? 50 : int(std::clamp<qint64>(deadline - nowMs(), 0, 50));
        pollfd p{socket, POLLIN, 0};
        const int ready = poll(&p, 1, slice);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return ReceiveStatus::Broken;
        if (ready == 0) {
            if (tick)
                tick();
            if (deadline >= 0 && nowMs() >= deadline)
                return ReceiveStatus::TimedOut;
            continue;
        }
        iovec iov{into + done, size - done};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof(control);
        const ssize_t n = recvmsg(socket, &msg, MSG_CMSG_CLOEXEC | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n < 0)
            return ReceiveStatus::Broken;
        for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < count; ++i) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                // One descriptor a message; anything more is closed unseen.
                if (receivedFd && *receivedFd < 0)
                    *receivedFd = fd;
                else
                    close(fd);
            }
        }
        if (msg.msg_flags & MSG_CTRUNC)
            return ReceiveStatus::Broken;
        if (n == 0)
            return ReceiveStatus::Closed;
        done += size_t(n);
    }
    return ReceiveStatus::Ok;
}

bool writeFully(int socket, const char *from, size_t size, int fdToPass)
{
    size_t done = 0;
    while (done < size) {
        iovec iov{const_cast<char *>(from + done), size - done};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
        if (fdToPass >= 0 && done == 0) {
            msg.msg_control = control;
            msg.msg_controllen = sizeof(control);
            cmsghdr *c = CMSG_FIRSTHDR(&msg);
            c->cmsg_level = SOL_SOCKET;
            c->cmsg_type = SCM_RIGHTS;
            c->cmsg_len = CMSG_LEN(sizeof(int));
            std::memcpy(CMSG_DATA(c), &fdToPass, sizeof(int));
        }
        const ssize_t n = sendmsg(socket, &msg, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

QByteArray encodeRequest(const Request &request)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    beginMessage(s, kRequestMagic) << request.scaledSize << request.allPages << request.budget
                                   << request.nameHint << request.coreToSpare;
    return out;
}

std::optional<Request> decodeRequest(const QByteArray &message)
{
    QDataStream s(message);
    if (!checkMessage(s, kRequestMagic))
        return std::nullopt;
    Request r;
    s >> r.scaledSize >> r.allPages >> r.budget >> r.nameHint >> r.coreToSpare;
    if (s.status() != QDataStream::Ok)
        return std::nullopt;
    return r;
}

QByteArray encodeReady(const Ready &ready)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    beginMessage(s, kReadyMagic) << ready.pid << ready.sandboxed << ready.sandbox;
    return out;
}

std::optional<Ready> decodeReady(const QByteArray &message)
{
    QDataStream s(message);
    if (!checkMessage(s, kReadyMagic))
        return std::nullopt;
    Ready r;
    s >> r.pid >> r.sandboxed >> r.sandbox;
    if (s.status() != QDataStream::Ok)
        return std::nullopt;
    return r;
}

namespace
{

QByteArray replyMessage(ReplyKind kind, const imaging::DecodedImage &decoded, qint64 total,
                        const QList<PageFacts> &facts)
{
    QByteArray message;
    QDataStream s(&message, QIODevice::WriteOnly);
    beginMessage(s, kReplyMagic) << quint8(kind) << qint32(decoded.format) << decoded.bitsPerPixel
                                 << decoded.originalSize << decoded.error << decoded.damage
                                 << decoded.iccProfile << decoded.frameDelays << decoded.playCount
                                 << decoded.animationNote << total << facts;
    return message;
}

} // namespace

bool packReply(ReplyKind kind, const imaging::DecodedImage &decoded, PackedReply *out,
               QString *error)
{
    QList<PageFacts> facts;
    qint64 total = 0;
    for (const QImage &page : decoded.pages) {
        facts.append(factsOf(page, total));
        total += alignUp(page.sizeInBytes());
    }
    out->pixelFd = -1;
    if (total > 0) {
        const int fd = memfd_create("lumora-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (fd < 0 || ftruncate(fd, total) != 0) {
            *error = QString::fromLocal8Bit(strerror(errno));
            if (fd >= 0)
                close(fd);
            return false;
        }
        // Written, not mapped: the pages never count twice against the
        // worker's address-space cap, and the program maps them without a copy.
        for (qsizetype i = 0; i < decoded.pages.size(); ++i) {
            const QImage &page = decoded.pages[i];
            const char *bits = reinterpret_cast<const char *>(page.constBits());
            qint64 left = page.sizeInBytes(), at = facts[i].offset;
            while (left > 0) {
                const ssize_t n = pwrite(fd, bits, size_t(left), at);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0) {
                    *error = QString::fromLocal8Bit(strerror(errno));
                    close(fd);
                    return false;
                }
                bits += n;
                at += n;
                left -= n;
            }
        }
        if (fcntl(fd, F_ADD_SEALS, kSeals | F_SEAL_SEAL) != 0) {
            *error = QString::fromLocal8Bit(strerror(errno));
            close(fd);
            return false;
        }
        out->pixelFd = fd;
    }
    out->message = replyMessage(kind, decoded, total, facts);
    return true;
}

bool packReplyInPlace(ReplyKind kind, imaging::DecodedImage &&decoded, int pixelFd,
                      PackedReply *out, QString *error)
{
    out->pixelFd = -1;
    struct stat st {
    };
    if (decoded.pages.size() != 1 || fstat(pixelFd, &st) != 0 ||
        st.st_size < decoded.pages.first().sizeInBytes()) {
        *error = QStringLiteral("the pixels are not where they were decoded");
        close(pixelFd);
        return false;
    }
    const QList<PageFacts> facts{factsOf(decoded.pages.first(), 0)};
    out->message = replyMessage(kind, decoded, st.st_size, facts);
    // The worker's writable mapping goes with its last page; only then can
    // the memfd be sealed against writing.
    decoded.pages.clear();
    if (fcntl(pixelFd, F_ADD_SEALS, kSeals | F_SEAL_SEAL) != 0) {
        *error = QString::fromLocal8Bit(strerror(errno));
        close(pixelFd);
        return false;
    }
    out->pixelFd = pixelFd;
    return true;
}

imaging::DecodedImage unpackReply(const QByteArray &message, int pixelFd, ReplyKind *kind)
{
    struct Closer {
        int fd;
        ~Closer()
        {
            if (fd >= 0)
                close(fd);
        }
    } closer{pixelFd};
    QDataStream s(message);
    if (!checkMessage(s, kReplyMagic))
        return brokenReply();
    quint8 k = 0;
    qint32 format = 0;
    qint64 total = 0;
    QList<PageFacts> facts;
    imaging::DecodedImage out;
    s >> k >> format >> out.bitsPerPixel >> out.originalSize >> out.error >> out.damage >>
        out.iccProfile >> out.frameDelays >> out.playCount >> out.animationNote >> total >> facts;
    if (s.status() != QDataStream::Ok || k < quint8(ReplyKind::Decoded) ||
        k > quint8(ReplyKind::OutOfMemory))
        return brokenReply();
    *kind = ReplyKind(k);
    out.format = imaging::FormatCode(format);
    if (facts.isEmpty())
        return out;
    // The pixels are trusted only in a memfd that can no longer change size
    // or content: a worker shrinking it later would fault the program.
    struct stat st {
    };
    const int seals = pixelFd >= 0 ? fcntl(pixelFd, F_GET_SEALS) : -1;
    if (seals < 0 || (unsigned(seals) & kSeals) != kSeals || fstat(pixelFd, &st) != 0 ||
        total <= 0 || st.st_size < total)
        return brokenReply();
    for (const PageFacts &f : facts) {
        const qint64 row = minimumRowBytes(QImage::Format(f.format), f.width);
        if (f.width <= 0 || f.height <= 0 || row <= 0 || f.bytesPerLine < row ||
            f.bytesPerLine % 4 != 0 || f.offset < 0 || f.offset % kPageAlign != 0 ||
            f.bytesPerLine > (total - f.offset) / f.height)
            return brokenReply();
    }
    // Private and writable: the program may draw on a page (the kernel then
    // copies the pages touched, never the worker's), and Qt need not copy a
    // whole picture first as it would for read-only bits.
    void *address = mmap(nullptr, size_t(total), PROT_READ | PROT_WRITE, MAP_PRIVATE, pixelFd, 0);
    if (address == MAP_FAILED) {
        out.error = QStringLiteral("The picture cannot be held in memory: %1.")
                        .arg(QString::fromLocal8Bit(strerror(errno)));
        return out;
    }
    auto *mapping = new Mapping;
    mapping->address = address;
    mapping->length = size_t(total);
    mapping->pages = int(facts.size());
    for (const PageFacts &f : facts) {
        auto *bits = static_cast<uchar *>(address) + f.offset;
        QImage page(bits, f.width, f.height, f.bytesPerLine, QImage::Format(f.format), &releasePage,
                    mapping);
        if (!f.colorTable.isEmpty())
            page.setColorTable(f.colorTable);
        page.setDotsPerMeterX(f.dotsPerMeterX);
        page.setDotsPerMeterY(f.dotsPerMeterY);
        page.setDevicePixelRatio(f.devicePixelRatio);
        for (const auto &[key, value] : f.text)
            page.setText(key, value);
        if (!f.icc.isEmpty())
            page.setColorSpace(QColorSpace::fromIccProfile(f.icc));
        else if (f.primaries != 0)
            page.setColorSpace(QColorSpace(QColorSpace::Primaries(f.primaries),
                                           QColorSpace::TransferFunction(f.transfer), f.gamma));
        out.pages.append(std::move(page));
    }
    // A delay list that does not pair with the pages is no animation.
    if (out.frameDelays.size() != out.pages.size())
        out.frameDelays.clear();
    return out;
}

bool sendMessage(int socket, const QByteArray &message, int fdToPass)
{
    const quint32 length = quint32(message.size());
    QByteArray framed(reinterpret_cast<const char *>(&length), sizeof(length));
    framed += message;
    return writeFully(socket, framed.constData(), size_t(framed.size()), fdToPass);
}

ReceiveStatus receiveMessage(int socket, QByteArray *message, int *receivedFd, int timeoutMs,
                             const std::function<void()> &tick)
{
    if (receivedFd)
        *receivedFd = -1;
    const qint64 deadline = timeoutMs < 0 ? -1 : nowMs() + timeoutMs;
    quint32 length = 0;
    ReceiveStatus status = readFully(socket, reinterpret_cast<char *>(&length), sizeof(length),
                                     deadline, tick, receivedFd);
    if (status == ReceiveStatus::Ok && length > kMaxMessageBytes)
        status = ReceiveStatus::Broken;
    if (status == ReceiveStatus::Ok) {
        message->resize(qsizetype(length));
        status = readFully(socket, message->data(), length, deadline, tick, receivedFd);
    }
    if (status != ReceiveStatus::Ok && receivedFd && *receivedFd >= 0) {
        close(*receivedFd);
        *receivedFd = -1;
    }
    return status;
}

} // namespace lumora::loader
