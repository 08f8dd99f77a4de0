#include "imaging/JpegExif.h"

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
        m_data[at] = char(m_little ? v & 0xFF : v >> 8);
        m_data[at + 1] = char(m_little ? v >> 8 : v & 0xFF);
    }
    void write32(qint64 at, quint32 v)
    {
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

private:
    QByteArray &m_data;
    bool m_little = true;
};

constexpr quint16 kTypeShort = 3;
constexpr quint16 kTypeLong = 4;

} // namespace

QByteArray segmentPayload(const QByteArray &jpeg)
{
    if (!jpeg.startsWith("\xFF\xD8"))
        return {};
    qsizetype pos = 2;
    while (pos + 4 <= jpeg.size()) {
        if (uchar(jpeg[pos]) != 0xFF)
            return {};
        const uchar marker = uchar(jpeg[pos + 1]);
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) // image data or end: no more headers
            return {};
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        const int length = (uchar(jpeg[pos + 2]) << 8) | uchar(jpeg[pos + 3]);
        if (length < 2 || pos + 2 + length > jpeg.size())
            return {};
        if (marker == 0xE1 && length - 2 >= kExifMarkSize &&
            jpeg.mid(pos + 4, kExifMarkSize) == QByteArray(kExifMark, kExifMarkSize))
            return jpeg.mid(pos + 4, length - 2);
        pos += 2 + length;
    }
    return {};
}

QByteArray normalised(const QByteArray &payload, const QSize &size)
{
    if (!payload.startsWith(QByteArray(kExifMark, kExifMarkSize)))
        return {};
    QByteArray tiffData = payload.mid(kExifMarkSize);
    Tiff tiff(tiffData);
    if (!tiff.open())
        return {};
    const auto ifd0 = tiff.read32(4);
    if (!ifd0)
        return {};
    std::optional<quint32> exifIfd;
    const bool ok =
        tiff.forEachEntry(*ifd0, [&](qint64 entry, quint16 tag, quint16 type, quint32 count) {
            if (tag == 0x0112 && type == kTypeShort && count == 1)
                tiff.write16(entry + 8, 1);
            else if (tag == 0x8769 && (type == kTypeLong || type == 13) && count == 1)
                exifIfd = tiff.read32(entry + 8);
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
    return QByteArray(kExifMark, kExifMarkSize) + tiffData;
}

QByteArray withExif(const QByteArray &jpeg, const QByteArray &payload, const QSize &size)
{
    const QByteArray block = normalised(payload, size);
    if (block.isEmpty() || block.size() > kMaxSegmentPayload || !jpeg.startsWith("\xFF\xD8"))
        return jpeg;
    qsizetype insertAt = 2;
    if (jpeg.size() >= 6 && uchar(jpeg[2]) == 0xFF && uchar(jpeg[3]) == 0xE0) {
        const int length = (uchar(jpeg[4]) << 8) | uchar(jpeg[5]);
        if (2 + 2 + length <= jpeg.size())
            insertAt = 2 + 2 + length;
    }
    const int length = int(block.size()) + 2;
    QByteArray segment;
    segment.reserve(length + 2);
    segment.append(char(0xFF)).append(char(0xE1));
    segment.append(char(length >> 8)).append(char(length & 0xFF));
    segment.append(block);
    QByteArray out = jpeg;
    out.insert(insertAt, segment);
    return out;
}

} // namespace lumora::imaging::exif
