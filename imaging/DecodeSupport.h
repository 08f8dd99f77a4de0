#pragma once

#include "imaging/Decoder.h"

#include <QImage>
#include <QSize>
#include <QString>

// Helpers shared by the codec families: failure values, the decode budget,
// cancellation and the final scaling step.
namespace lumora::imaging::support
{

DecodedImage failure(const QString &message);

QString damagedMessage();
// Why the path cannot be decoded as an image file (missing, a folder, a pipe
// or device that would block), or "" when it is a plain file.
QString notAnImageFile(const QString &path);
QString cancelledMessage();
QString tooLargeMessage(const QSize &size);
// An animation whose frames together pass the memory budget shows its first.
QString animationTooLargeNote();
// The short reasons a picture is shown although its file is damaged.
QString truncatedDamage();
QString corruptDataDamage();

// Bytes a decoded image of this size needs at the given depth (32-bit RGBA
// unless the decoder says otherwise); -1 for an invalid size.
qint64 decodedBytes(const QSize &size, int bitsPerPixel = 32);
// True when an image of this size stays inside kMaxDecodedBytes.
bool fitsBudget(const QSize &size, int bitsPerPixel = 32);
// A file of uncompressed pixels that holds less than an eighth of what its
// header declares is refused when decoding it would take more than 16 MiB:
// a few bytes claiming a huge picture must not cost hundreds of megabytes
// and seconds for a picture that is almost all missing. A file merely cut
// short still shows what it holds.
bool implausiblyShort(qint64 bytesPresent, qint64 bytesDeclared, qint64 decodedBytes);

bool isCancelled(const DecodeOptions &options);

// The size a page ends up with for a requested box: fits inside the box with
// its aspect kept, never enlarged. An invalid box keeps the size.
QSize targetSize(const QSize &size, const QSize &box);

// A drawing (WMF, EMF) has no pixels of its own: it is rendered at its
// declared size, but never beyond this box, so a file claiming hundreds of
// megapixels is drawn at a size that can be looked at, in seconds.
inline constexpr QSize kMetafileRenderBox{4096, 4096};
QSize metafileTarget(const QSize &declared, const QSize &requested);
// Within the byte budget, a declared side longer than this is still too
// large: no screen or printer has a use for it, and it is what damaged
// headers claim.
inline constexpr int kMetafileMaxSide = 65535;
bool metafileTooLarge(const QSize &declared, const QSize &requested);

// Smoothly shrinks every page to the requested box (no-op without a box).
void scalePages(DecodedImage &result, const DecodeOptions &options);

// Where a decoder that can be handed its destination (Qt's readers keep an
// image of the right size and format) gets it. The loader puts the pixels
// straight into memory it can pass to the program; by default (null) the
// reader allocates its own.
using PageAllocator = QImage (*)(QSize size, QImage::Format format);
void setPageAllocator(PageAllocator allocator);
QImage newPage(QSize size, QImage::Format format);

// Depth of a decoded QImage format as a file would have stored it.
int storedDepth(QImage::Format format);

} // namespace lumora::imaging::support
