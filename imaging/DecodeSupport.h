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
QString cancelledMessage();
QString tooLargeMessage(const QSize &size);

// Bytes a decoded image of this size needs at the given depth (32-bit RGBA
// unless the decoder says otherwise); -1 for an invalid size.
qint64 decodedBytes(const QSize &size, int bitsPerPixel = 32);
// True when an image of this size stays inside kMaxDecodedBytes.
bool fitsBudget(const QSize &size, int bitsPerPixel = 32);

bool isCancelled(const DecodeOptions &options);

// The size a page ends up with for a requested box: fits inside the box with
// its aspect kept, never enlarged. An invalid box keeps the size.
QSize targetSize(const QSize &size, const QSize &box);

// Smoothly shrinks every page to the requested box (no-op without a box).
void scalePages(DecodedImage &result, const DecodeOptions &options);

// Depth of a decoded QImage format as a file would have stored it.
int storedDepth(QImage::Format format);

} // namespace lumora::imaging::support
