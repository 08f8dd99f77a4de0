#pragma once

#include "imaging/Decoder.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <atomic>

#include <functional>
#include <optional>

// What the program and its loader processes say to each other over one unix
// stream socket. Every message is a 32-bit length and a QDataStream body;
// a file descriptor rides on the first byte of a message (SCM_RIGHTS): the
// image file with a request, the sealed memfd holding the pixels with a reply.
namespace lumora::loader
{

constexpr quint32 kProtocolVersion = 3;
// Longer messages are refused: facts of a picture never need this much.
constexpr quint32 kMaxMessageBytes = 64u << 20;
// Where a worker finds its socket and its control page.
constexpr int kWorkerSocketFd = 3;
constexpr int kWorkerControlFd = 4;

struct Request {
    QSize scaledSize;
    bool allPages = true;
    qint64 budget = imaging::kMaxDecodedBytes;
    // Only its suffix matters, for formats without magic bytes (TGA, WBMP).
    QString nameHint;
    // A processor is idle beside this decode: the worker may spend it on
    // bringing the picture's pages in ahead of the decoder.
    bool coreToSpare = false;
};

// The first message of a worker, once its libraries are loaded and its
// sandbox is set (or could not be).
struct Ready {
    qint64 pid = 0;
    bool sandboxed = false;
    QString sandbox; // a sentence: what the worker runs under
};

enum class ReplyKind : quint8 {
    Decoded = 1, // the decode result (success or the decoder's own message)
    Elsewhere,   // the format is read by another loader program (EMF)
    OutOfMemory, // the decode passed the memory cap; the worker ends after this
};

// The page the worker and the program share: the program raises the flag
// when the caller cancels, the decoder polls it.
struct ControlPage {
    std::atomic_bool cancel;
};

QByteArray encodeRequest(const Request &request);
std::optional<Request> decodeRequest(const QByteArray &message);
QByteArray encodeReady(const Ready &ready);
std::optional<Ready> decodeReady(const QByteArray &message);

// Worker side: the facts of `decoded` as a message and its pixels in a new
// sealed memfd (-1 without pages). False with *error set when no memfd could
// be made.
struct PackedReply {
    QByteArray message;
    int pixelFd = -1;
};
bool packReply(ReplyKind kind, const imaging::DecodedImage &decoded, PackedReply *out,
               QString *error);
// The same without a copy, for a picture of one page decoded straight into
// the memfd `pixelFd` (from offset 0), which it takes over: the page is let
// go of here, so its writable mapping must be the last hold on the memfd.
bool packReplyInPlace(ReplyKind kind, imaging::DecodedImage &&decoded, int pixelFd,
                      PackedReply *out, QString *error);

// Program side: the decode result with every page a QImage over a private
// mapping of the memfd (unmapped when the last page goes). Takes ownership of
// pixelFd. A worker's reply that does not add up becomes a failure.
imaging::DecodedImage unpackReply(const QByteArray &message, int pixelFd, ReplyKind *kind);

// Sends one message, optionally with a descriptor. False when the peer is
// gone (never raises SIGPIPE).
bool sendMessage(int socket, const QByteArray &message, int fdToPass = -1);

enum class ReceiveStatus { Ok, Closed, TimedOut, Broken };
// Waits for one message until timeoutMs passes (-1: no limit), calling tick
// about every 50 ms meanwhile. *receivedFd is -1 or a descriptor (close-on-
// exec) the caller owns.
ReceiveStatus receiveMessage(int socket, QByteArray *message, int *receivedFd, int timeoutMs,
                             const std::function<void()> &tick = {});

} // namespace lumora::loader
