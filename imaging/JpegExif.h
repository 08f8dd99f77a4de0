#pragma once

#include <QByteArray>
#include <QSize>

// Carrying a JPEG's EXIF block over to a re-encoded copy.
namespace lumora::imaging::exif
{

// The payload of the first APP1 segment that starts with "Exif\0\0", found
// among the segments before the image data; empty when there is none.
QByteArray segmentPayload(const QByteArray &jpeg);

// The payload with the orientation of the main image set to 1 (normal) and
// the pixel dimensions set to `size` where the block records them. Empty when
// the block is too damaged to find its orientation: an orientation left in
// place would turn the already upright pixels a second time.
QByteArray normalised(const QByteArray &payload, const QSize &size);

// The JPEG with the normalised payload as an APP1 segment after its JFIF
// header (or straight after the start marker). Unchanged when the payload is
// unusable or too long for one segment.
QByteArray withExif(const QByteArray &jpeg, const QByteArray &payload, const QSize &size);

} // namespace lumora::imaging::exif
