#pragma once

#include "imaging/FormatCode.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

class QIODevice;

#include <atomic>

namespace lumora::imaging
{

// What a caller wants from one decode. Worker threads call decodeFile()
// directly, so everything here is a plain value and the result never holds a
// QPixmap.
struct DecodeOptions {
    // When valid, the decoder may produce a smaller image whose size fits this
    // box (aspect kept); JPEG uses it to decode at 1/2..1/8 scale. The result
    // is at least as large as the box in one direction unless the source is
    // smaller. Empty means full size.
    QSize scaledSize;
    // First page only (thumbnails, previews) or every page.
    bool allPages = true;
    // Polled between expensive steps; a cancelled decode returns an error.
    const std::atomic_bool *cancel = nullptr;
};

struct DecodedImage {
    QList<QImage> pages; // upright (EXIF orientation applied), never null on success
    FormatCode format = FormatCode::Unknown;
    int bitsPerPixel = 0; // of the file's first page as stored, e.g. 24 for JPEG
    QSize originalSize;   // first page before any scaling
    QString error;        // empty on success; a sentence for the user otherwise
    // Set on a success whose file is damaged or cut short: what could be read
    // is in pages, and this says briefly why the rest is missing or wrong
    // (e.g. "the file ends early"). Empty for an intact file.
    QString damage;
    // The ICC profile the file embeds (bytes as stored), empty when it has
    // none. Pixels stay as the file holds them; converting for the screen is
    // the viewer's business, and Save As can keep the profile with them.
    QByteArray iccProfile;
    // How long each page shows, in milliseconds, for an animation (GIF,
    // WebP); empty for a still picture or a document of pages.
    QList<int> frameDelays;
    // How many times an animation runs through before it rests on its last
    // frame; 0 for ever (also when the file does not say).
    int playCount = 0;
    // Why an animated file is shown as a still (its frames would take too
    // much memory): pages then hold its first frame only. Empty otherwise.
    QString animationNote;

    // Set on a failure that says nothing about the file: the decoder could
    // not be started, or ran out of time on a busy machine. A cache must not
    // remember it as the file's; the next visit tries again.
    bool transient = false;

    bool ok() const { return error.isEmpty() && !pages.isEmpty(); }
    bool damaged() const { return ok() && !damage.isEmpty(); }
};

// Decodes a file chosen by its content (magic bytes), never by extension alone.
// The decoders run in a loader process (loader/LoaderClient.cpp): a file
// that crashes, hangs or floods a decoder costs that file its picture, with
// the reason as the error, and nothing else.
DecodedImage decodeFile(const QString &path, const DecodeOptions &options = {});
DecodedImage decodeData(const QByteArray &data, const DecodeOptions &options = {},
                        const QString &nameHint = {});

// The same decoders in the calling process. Only the loader processes call
// these, and tests that look at a decoder itself: anywhere else a damaged
// file could take the program down with it.
DecodedImage decodeFileInProcess(const QString &path, const DecodeOptions &options = {});
DecodedImage decodeDataInProcess(const QByteArray &data, const DecodeOptions &options = {},
                                 const QString &nameHint = {});
DecodedImage decodeDeviceInProcess(QIODevice &device, const DecodeOptions &options,
                                   const QString &nameHint);

// Sniffs the format from the first bytes (and the name only where a format
// has no magic: WBMP, TGA, PCD). Unknown when nothing matches.
FormatCode detectFormat(const QByteArray &head, const QString &nameHint = {});

// The picture route (icons, cursors, DIBs): decodes by content like
// decodeFile and returns one picture, the largest page of an icon file.
// A null image with *error set on failure.
QImage loadPicture(const QString &path, QString *error = nullptr);
// The largest page of a decode result (null without pages).
QImage largestPage(const DecodedImage &decoded);

// Decoding limits set once at start-up: photos of at least 200 megapixels open,
// anything that would need more than about 1 GiB decoded is refused quickly.
void applyDecodeLimits();
constexpr qint64 kMaxDecodedBytes = qint64(1) << 30;

} // namespace lumora::imaging
