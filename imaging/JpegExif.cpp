#include "imaging/JpegExif.h"

#include "imaging/ImageWriter.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <optional>

namespace lumora::imaging::exif
{

namespace
{

constexpr char kExifMark[] = "Exif\0\0";
constexpr int kExifMarkSize = 6;
constexpr int kMaxSegmentPayload = 65535 - 2;

// A TIFF structure inside the payload, read and patched with bounds checks:
// every offset in it comes from the file.
class Tiff
{
public:
    explicit Tiff(QByteArray &data) : m_data(data) {}

    bool open()
    {
        if (m_data.size() < 8)
            return false;
        if (m_data.startsWith("II"))
            m_little = true;
        else if (m_data.startsWith("MM"))
            m_little = false;
        else
            return false;
        return read16(2) == 42;
    }
    std::optional<quint32> read32(qint64 at) const
    {
        if (at < 0 || at + 4 > m_data.size())
            return std::nullopt;
        const auto *p = reinterpret_cast<const uchar *>(m_data.constData() + at);
        return m_little
                   ? quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24
                   : quint32(p[3]) | quint32(p[2]) << 8 | quint32(p[1]) << 16 | quint32(p[0]) << 24;
    }
    std::optional<quint16> read16(qint64 at) const
    {
        if (at < 0 || at + 2 > m_data.size())
            return std::nullopt;
        const auto *p = reinterpret_cast<const uchar *>(m_data.constData() + at);
        return m_little ? quint16(p[0] | p[1] << 8) : quint16(p[1] | p[0] << 8);
    }
    void write16(qint64 at, quint16 v)
    {
        if (at < 0 || at + 2 > m_data.size())
            return;
        m_data[at] = char(m_little ? v & 0xFF : v >> 8);
        m_data[at + 1] = char(m_little ? v >> 8 : v & 0xFF);
    }
    void write32(qint64 at, quint32 v)
    {
        if (at < 0 || at + 4 > m_data.size())
            return;
        for (int i = 0; i < 4; ++i) {
            const int shift = m_little ? 8 * i : 8 * (3 - i);
            m_data[at + i] = char((v >> shift) & 0xFF);
        }
    }

    // Calls fn(entryOffset, tag, type, count) for each entry of the IFD at
    // `offset`; false when the directory does not fit in the data.
    template <typename Fn> bool forEachEntry(quint32 offset, Fn fn) const
    {
        const auto count = read16(offset);
        if (!count || qint64(offset) + 2 + qint64(*count) * 12 > m_data.size())
            return false;
        for (int i = 0; i < *count; ++i) {
            const qint64 entry = qint64(offset) + 2 + qint64(i) * 12;
            fn(entry, *read16(entry), *read16(entry + 2), *read32(entry + 4));
        }
        return true;
    }

    // Where the IFD at `offset` keeps the offset of the next one (valid
    // after forEachEntry accepted the directory).
    qint64 nextLink(quint32 offset) const
    {
        return qint64(offset) + 2 + qint64(*read16(offset)) * 12;
    }
    qint64 size() const { return m_data.size(); }
    QByteArray &data() { return m_data; }

private:
    QByteArray &m_data;
    bool m_little = true;
};

// Where the first directory starts; none when it would overlap the 8-byte
// header, whose own offset field an edit of the directory would then
// overwrite (a block made so is damaged, never written back worse).
std::optional<quint32> firstDirectory(const Tiff &tiff)
{
    const std::optional<quint32> at = tiff.read32(4);
    if (!at || *at < 8)
        return std::nullopt;
    return at;
}

constexpr quint16 kTypeShort = 3;
constexpr quint16 kTypeLong = 4;

// Calls fn(marker, position, segment size with its marker) for each segment
// before the image data; returns false when the header is damaged or the
// data is not a JPEG.
template <typename Fn> bool forEachHeaderSegment(const QByteArray &jpeg, Fn fn)
{
    if (!jpeg.startsWith("\xFF\xD8"))
        return false;
    qsizetype pos = 2;
    while (pos + 2 <= jpeg.size()) {
        if (uchar(jpeg[pos]) != 0xFF)
            return false;
        const uchar marker = uchar(jpeg[pos + 1]);
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // image data or end: no more headers
            return true;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (pos + 4 > jpeg.size())
            return false;
        const int length = (uchar(jpeg[pos + 2]) << 8) | uchar(jpeg[pos + 3]);
        if (length < 2 || pos + 2 + length > jpeg.size())
            return false;
        if (!fn(marker, pos, qsizetype(length) + 2))
            return true;
        pos += 2 + length;
    }
    return false;
}

bool startsWithMark(const QByteArray &jpeg, qsizetype pos, qsizetype size, const char *mark,
                    qsizetype markSize)
{
    return size - 4 >= markSize &&
           QByteArrayView(jpeg).sliced(pos + 4, markSize) == QByteArrayView(mark, markSize);
}

constexpr char kXmpMark[] = "http://ns.adobe.com/xap/1.0/";                // with its NUL
constexpr char kXmpExtensionMark[] = "http://ns.adobe.com/xmp/extension/"; // with its NUL

// A small upright thumbnail of the written picture, for EXIF's IFD1.
QByteArray thumbnailJpeg(const QImage &picture)
{
    // The picture handed over is the one the JPEG holds: opaque already.
    const QImage small = picture.scaled(160, 160, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (small.isNull())
        return {};
    // A bare picture: the thumbnail carries no text or profile of its own.
    QImage bare = small.convertToFormat(QImage::Format_RGB888);
    bare = QImage(bare.constBits(), bare.width(), bare.height(), bare.bytesPerLine(),
                  QImage::Format_RGB888)
               .copy();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(75);
    if (!writer.write(bare))
        return {};
    buffer.close();
    return buffer.data();
}

} // namespace

QByteArray segmentPayload(const QByteArray &jpeg)
{
    QByteArray found;
    forEachHeaderSegment(jpeg, [&](uchar marker, qsizetype pos, qsizetype size) {
        if (marker == 0xE1 && startsWithMark(jpeg, pos, size, kExifMark, kExifMarkSize)) {
            found = jpeg.mid(pos + 4, size - 4);
            return false;
        }
        return true;
    });
    return found;
}

QList<QByteArray> keptSegments(const QByteArray &jpeg)
{
    QList<QByteArray> kept;
    forEachHeaderSegment(jpeg, [&](uchar marker, qsizetype pos, qsizetype size) {
        const bool xmp =
            marker == 0xE1 &&
            (startsWithMark(jpeg, pos, size, kXmpMark, sizeof kXmpMark) ||
             startsWithMark(jpeg, pos, size, kXmpExtensionMark, sizeof kXmpExtensionMark));
        if (xmp || marker == 0xED || marker == 0xFE)
            kept.append(jpeg.mid(pos, size));
        return true;
    });
    return kept;
}

QByteArray normalised(const QByteArray &payload, const QSize &size)
{
    if (!payload.startsWith(QByteArray(kExifMark, kExifMarkSize)))
        return {};
    QByteArray tiffData = payload.mid(kExifMarkSize);
    Tiff tiff(tiffData);
    if (!tiff.open())
        return {};
    const auto ifd0 = firstDirectory(tiff);
    if (!ifd0)
        return {};
    std::optional<quint32> exifIfd;
    bool turned = false;
    const bool ok =
        tiff.forEachEntry(*ifd0, [&](qint64 entry, quint16 tag, quint16 type, quint32 count) {
            if (tag == 0x0112 && type == kTypeShort && count == 1) {
                turned = tiff.read16(entry + 8) != 1;
                tiff.write16(entry + 8, 1);
            } else if (tag == 0x8769 && (type == kTypeLong || type == 13) && count == 1) {
                exifIfd = tiff.read32(entry + 8);
            }
        });
    if (!ok)
        return {};
    if (exifIfd) {
        // A damaged sub-directory only loses the dimension update.
        tiff.forEachEntry(*exifIfd, [&](qint64 entry, quint16 tag, quint16 type, quint32 count) {
            if ((tag != 0xA002 && tag != 0xA003) || count != 1)
                return;
            const int value = tag == 0xA002 ? size.width() : size.height();
            if (type == kTypeShort && value <= 0xFFFF)
                tiff.write16(entry + 8, quint16(value));
            else if (type == kTypeLong)
                tiff.write32(entry + 8, quint32(value));
        });
    }
    const qint64 link = tiff.nextLink(*ifd0);
    const std::optional<quint32> ifd1 = tiff.read32(link);
    if (turned && ifd1 && *ifd1) {
        // The thumbnail is stored as the camera held it and would now show
        // sideways: it is unlinked (withSourceMetadata adds an upright one).
        // When its bytes end the block, as cameras write it, they go too.
        std::optional<quint32> at, length;
        tiff.forEachEntry(*ifd1, [&](qint64 entry, quint16 tag, quint16, quint32 count) {
            if (tag == 0x0201 && count == 1)
                at = tiff.read32(entry + 8);
            else if (tag == 0x0202 && count == 1)
                length = tiff.read32(entry + 8);
        });
        tiff.write32(link, 0);
        if (at && length && qint64(*at) + *length == tiff.size() && *at > link + 4 && *at > *ifd1)
            tiffData.truncate(*at);
    }
    return QByteArray(kExifMark, kExifMarkSize) + tiffData;
}

QByteArray withThumbnail(const QByteArray &block, const QByteArray &thumbnail)
{
    if (!block.startsWith(QByteArray(kExifMark, kExifMarkSize)) || thumbnail.isEmpty())
        return block;
    QByteArray tiffData = block.mid(kExifMarkSize);
    Tiff tiff(tiffData);
    if (!tiff.open())
        return block;
    const auto ifd0 = firstDirectory(tiff);
    if (!ifd0 || !tiff.forEachEntry(*ifd0, [](qint64, quint16, quint16, quint32) {}))
        return block;
    const qint64 link = tiff.nextLink(*ifd0);
    const std::optional<quint32> next = tiff.read32(link);
    if (!next || *next != 0)
        return block; // a thumbnail is there already
    if (tiffData.size() % 2)
        tiffData.append('\0'); // directories start on a word boundary
    const qint64 ifd1 = tiffData.size();
    constexpr int kEntries = 6;
    const qint64 rationals = ifd1 + 2 + kEntries * 12 + 4; // 72/1 twice
    const qint64 imageAt = rationals + 16;
    if (kExifMarkSize + imageAt + thumbnail.size() > kMaxSegmentPayload)
        return block; // past one segment: better no thumbnail than no EXIF
    tiffData.resize(imageAt);
    tiff.write16(ifd1, kEntries);
    constexpr quint16 kTypeRational = 5;
    const struct {
        quint16 tag, type;
        quint32 value;
    } entries[kEntries] = {{0x0103, kTypeShort, 6}, // Compression: JPEG
                           {0x011A, kTypeRational, quint32(rationals)},
                           {0x011B, kTypeRational, quint32(rationals + 8)},
                           {0x0128, kTypeShort, 2}, // inches
                           {0x0201, kTypeLong, quint32(imageAt)},
                           {0x0202, kTypeLong, quint32(thumbnail.size())}};
    for (int i = 0; i < kEntries; ++i) {
        const qint64 e = ifd1 + 2 + i * 12;
        tiff.write16(e, entries[i].tag);
        tiff.write16(e + 2, entries[i].type);
        tiff.write32(e + 4, 1);
        tiff.write32(e + 8, 0);
        if (entries[i].type == kTypeShort)
            tiff.write16(e + 8, quint16(entries[i].value));
        else
            tiff.write32(e + 8, entries[i].value);
    }
    for (qint64 r = rationals; r < imageAt; r += 8) {
        tiff.write32(r, 72);
        tiff.write32(r + 4, 1);
    }
    tiff.write32(rationals - 4, 0);
    tiff.write32(link, quint32(ifd1));
    tiffData.append(thumbnail);
    return QByteArray(kExifMark, kExifMarkSize) + tiffData;
}

namespace
{

// Segment of `marker` holding `payload`, or empty when it does not fit in one.
QByteArray segment(uchar marker, const QByteArray &payload)
{
    if (payload.size() > kMaxSegmentPayload)
        return {};
    const int length = int(payload.size()) + 2;
    QByteArray out;
    out.reserve(length + 2);
    out.append(char(0xFF)).append(char(marker));
    out.append(char(length >> 8)).append(char(length & 0xFF));
    out.append(payload);
    return out;
}

// The JPEG with `added` after its JFIF header (or straight after the start
// marker), without its comments when dropComments is set.
QByteArray withSegments(const QByteArray &jpeg, const QByteArray &added, bool dropComments)
{
    QByteArray out;
    out.reserve(jpeg.size() + added.size());
    out.append(jpeg.left(2));
    qsizetype end = 2;
    bool first = true;
    bool placed = false;
    const bool ok = forEachHeaderSegment(jpeg, [&](uchar marker, qsizetype pos, qsizetype size) {
        if (first && marker != 0xE0) {
            out.append(added);
            placed = true;
        }
        first = false;
        if (!(dropComments && marker == 0xFE))
            out.append(jpeg.mid(pos, size));
        if (!placed) {
            out.append(added);
            placed = true;
        }
        end = pos + size;
        return true;
    });
    if (!ok)
        return jpeg;
    if (!placed)
        out.append(added);
    out.append(QByteArrayView(jpeg).sliced(end));
    return out;
}

} // namespace

QByteArray withExif(const QByteArray &jpeg, const QByteArray &payload, const QSize &size)
{
    const QByteArray block = normalised(payload, size);
    if (block.isEmpty() || block.size() > kMaxSegmentPayload || !jpeg.startsWith("\xFF\xD8"))
        return jpeg;
    return withSegments(jpeg, segment(0xE1, block), false);
}

bool hasThumbnail(const QByteArray &block)
{
    if (!block.startsWith(QByteArray(kExifMark, kExifMarkSize)))
        return false;
    QByteArray tiffData = block.mid(kExifMarkSize);
    Tiff tiff(tiffData);
    if (!tiff.open())
        return false;
    const auto ifd0 = firstDirectory(tiff);
    if (!ifd0 || !tiff.forEachEntry(*ifd0, [](qint64, quint16, quint16, quint32) {}))
        return false;
    const auto next = tiff.read32(tiff.nextLink(*ifd0));
    return next && *next != 0;
}

QByteArray withSourceMetadata(const QByteArray &jpeg, const WriteOptions &options,
                              const QImage &written)
{
    if (options.exif.isEmpty() && options.sourceJpegHead.isEmpty())
        return jpeg;
    QByteArray added;
    if (!options.exif.isEmpty()) {
        QByteArray block = normalised(options.exif, written.size());
        // Unlinked there because it was sideways: one made from the upright
        // pixels takes its place.
        if (!block.isEmpty() && hasThumbnail(options.exif) && !hasThumbnail(block))
            block = withThumbnail(block, thumbnailJpeg(written));
        if (!block.isEmpty())
            added += segment(0xE1, block);
    }
    const bool fromJpeg = !options.sourceJpegHead.isEmpty();
    if (fromJpeg)
        for (const QByteArray &kept : keptSegments(options.sourceJpegHead))
            added += kept;
    if (added.isEmpty() && !fromJpeg)
        return jpeg;
    // The source's own comments replace the ones Qt makes of the picture's
    // text ("Description: ..."), so a comment comes back as it was.
    return withSegments(jpeg, added, fromJpeg);
}

} // namespace lumora::imaging::exif
