#pragma once

#include <QByteArray>
#include <QList>
#include <QSize>

class QImage;

namespace lumora::imaging
{
struct WriteOptions;
}

// Carrying a JPEG's EXIF block, XMP, IPTC and comments over to a re-encoded copy.
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

// The header segments a re-encoded copy keeps as they are, each whole
// (marker, length, payload) and in file order: XMP (the packet and its
// extension parts), Photoshop's APP13 with the IPTC record, and comments.
QList<QByteArray> keptSegments(const QByteArray &jpeg);

// Whether the EXIF payload links a thumbnail (IFD1).
bool hasThumbnail(const QByteArray &payload);
// The payload with `thumbnail` (a JPEG) linked as IFD1 when it has none;
// unchanged when it has one or the result would not fit in one segment.
QByteArray withThumbnail(const QByteArray &payload, const QByteArray &thumbnail);

// The freshly encoded `jpeg` of `written` with what options carries over
// from the source JPEG: the normalised EXIF block (with an upright thumbnail
// in place of a sideways one) and, when options.sourceJpegHead is set, its
// kept segments in place of the comments Qt made of the picture's text.
QByteArray withSourceMetadata(const QByteArray &jpeg, const WriteOptions &options,
                              const QImage &written);

} // namespace lumora::imaging::exif
