#include "imaging/EmbeddedProfiles.h"

#include "imaging/ColourManagement.h"

#include <QIODevice>
#include <QMap>
#include <QPointF>
#include <QtEndian>

#include <zlib.h>

#include <cmath>

namespace lumora::imaging::profiles
{

namespace
{

quint32 be32(const QByteArray &d, qint64 at)
{
    if (at < 0 || at + 4 > d.size())
        return 0;
    return qFromBigEndian<quint32>(d.constData() + at);
}

quint16 be16(const QByteArray &d, qint64 at)
{
    if (at < 0 || at + 2 > d.size())
        return 0;
    return qFromBigEndian<quint16>(d.constData() + at);
}

// No real profile comes near this; a "profile" that inflates beyond it is
// a zip bomb.
constexpr qsizetype kMaxProfile = 16 << 20;

QByteArray inflate(const QByteArray &compressed)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return {};
    QByteArray out;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.constData()));
    z.avail_in = uInt(compressed.size());
    int status = Z_OK;
    char buffer[16384];
    while (status == Z_OK && out.size() <= kMaxProfile) {
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = sizeof buffer;
        status = ::inflate(&z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            break;
        out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        if (z.avail_in == 0 && status == Z_OK && z.avail_out != 0)
            break; // input ran out before the stream's end
    }
    inflateEnd(&z);
    return status == Z_STREAM_END && out.size() <= kMaxProfile ? out : QByteArray();
}

} // namespace

JpegColour jpegColour(const QByteArray &head)
{
    JpegColour out;
    if (head.size() < 4 || quint8(head[0]) != 0xFF || quint8(head[1]) != 0xD8)
        return out;
    QMap<int, QByteArray> chunks;
    int declaredCount = -1;
    bool consistent = true;
    qint64 at = 2;
    while (at + 4 <= head.size()) {
        if (quint8(head[at]) != 0xFF)
            break; // not a marker where one must be: stop reading
        const int marker = quint8(head[at + 1]);
        if (marker == 0xFF) {
            ++at; // fill byte
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            at += 2;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break; // the image data: every header segment is behind us
        const int length = be16(head, at + 2);
        if (length < 2)
            break;
        const qint64 data = at + 4;
        const qint64 size = length - 2;
        if (data + size > head.size() && marker != 0xE2)
            break;
        if (marker == 0xE2 && size >= 14 && head.mid(data, 12) == QByteArray("ICC_PROFILE\0", 12)) {
            if (data + size > head.size()) {
                consistent = false; // a chunk cut off: the profile is not whole
                break;
            }
            const int sequence = quint8(head[data + 12]);
            const int count = quint8(head[data + 13]);
            if (declaredCount >= 0 && count != declaredCount)
                consistent = false;
            declaredCount = count;
            if (sequence < 1 || sequence > count || chunks.contains(sequence))
                consistent = false;
            chunks.insert(sequence, head.mid(data + 14, size - 14));
        } else if (marker == 0xEE && size >= 5 && head.mid(data, 5) == "Adobe") {
            out.adobe = true;
        } else if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                   marker != 0xCC && size >= 6) {
            out.components = quint8(head[data + 5]);
        }
        at = data + size;
    }
    if (consistent && declaredCount > 0 && chunks.size() == declaredCount) {
        for (const QByteArray &chunk : std::as_const(chunks))
            out.icc += chunk;
        // A profile states its own size: pieces that do not add up are not it.
        if (be32(out.icc, 0) != quint32(out.icc.size()))
            out.icc.clear();
    }
    return out;
}

QByteArray pngProfile(QIODevice &device)
{
    if (device.isSequential() || !device.seek(8))
        return {};
    QByteArray iccp;
    bool srgb = false;
    quint32 gamma = 0;
    QByteArray chrm;
    qint64 at = 8;
    for (int chunks = 0; chunks < 10000 && device.seek(at); ++chunks) {
        const QByteArray header = device.read(8);
        if (header.size() < 8)
            break;
        const quint32 length = be32(header, 0);
        const QByteArray type = header.mid(4, 4);
        if (type == "IDAT" || type == "IEND" || length > 0x7FFFFFFF)
            break;
        if (type == "iCCP" && length < quint32(kMaxProfile)) {
            const QByteArray body = device.read(length);
            const qsizetype nul = body.indexOf('\0');
            if (nul > 0 && nul < 80 && nul + 2 < body.size() && body[nul + 1] == 0)
                iccp = inflate(body.mid(nul + 2));
        } else if (type == "sRGB") {
            srgb = true;
        } else if (type == "gAMA" && length == 4) {
            gamma = be32(device.read(4), 0);
        } else if (type == "cHRM" && length == 32) {
            chrm = device.read(32);
        }
        at += 12 + qint64(length);
    }
    device.seek(0);
    if (!iccp.isEmpty() && colour::isUsable(iccp))
        return iccp;
    if (srgb || gamma == 0)
        return {};
    const double exponent = 100000.0 / gamma;
    const auto point = [&](int i) {
        return chrm.isEmpty()
                   ? QPointF()
                   : QPointF(be32(chrm, 8 * i) / 100000.0, be32(chrm, 8 * i + 4) / 100000.0);
    };
    const bool chromaticities = !chrm.isEmpty();
    bool srgbPrimaries = true;
    const QPointF kSrgbPoints[4] = {{0.3127, 0.3290}, {0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}};
    for (int i = 0; chromaticities && i < 4; ++i)
        srgbPrimaries = srgbPrimaries && std::abs(point(i).x() - kSrgbPoints[i].x()) < 0.005 &&
                        std::abs(point(i).y() - kSrgbPoints[i].y()) < 0.005;
    // gAMA 1/2.2 (with sRGB's primaries, or none) is how many writers say
    // "sRGB"; the curves are close enough that converting would only cost
    // time.
    if (srgbPrimaries && std::abs(exponent - 2.2) < 0.02)
        return {};
    return colour::profileFromChromaticities(chromaticities ? point(0) : QPointF(0.3127, 0.3290),
                                             chromaticities ? point(1) : QPointF(0.64, 0.33),
                                             chromaticities ? point(2) : QPointF(0.30, 0.60),
                                             chromaticities ? point(3) : QPointF(0.15, 0.06),
                                             exponent);
}

QByteArray jpegWithProfile(const QByteArray &jpeg, const QByteArray &icc)
{
    if (jpeg.size() < 4 || quint8(jpeg[0]) != 0xFF || quint8(jpeg[1]) != 0xD8 || icc.isEmpty())
        return jpeg;
    constexpr qsizetype kChunk = 65519; // 65535 less length, signature and numbering
    const qsizetype count = (icc.size() + kChunk - 1) / kChunk;
    if (count > 255)
        return jpeg;
    QByteArray segments;
    for (qsizetype i = 0; i < count; ++i) {
        const QByteArray piece = icc.mid(i * kChunk, kChunk);
        const int length = int(2 + 14 + piece.size());
        segments.append(char(0xFF)).append(char(0xE2));
        segments.append(char(length >> 8)).append(char(length & 0xFF));
        segments.append("ICC_PROFILE", 12);
        segments.append(char(i + 1)).append(char(count));
        segments.append(piece);
    }
    // Past SOI and the APP0/APP1 segments; old APP2 profiles are dropped.
    QByteArray out = jpeg.left(2);
    qint64 at = 2;
    bool placed = false;
    while (at + 4 <= jpeg.size() && quint8(jpeg[at]) == 0xFF) {
        const int marker = quint8(jpeg[at + 1]);
        if (marker == 0xDA || marker < 0xC0)
            break;
        const qint64 length = be16(jpeg, at + 2);
        if (length < 2 || at + 2 + length > jpeg.size())
            break;
        const bool iccSegment =
            marker == 0xE2 && jpeg.mid(at + 4, 12) == QByteArray("ICC_PROFILE\0", 12);
        if (!placed && marker != 0xE0 && marker != 0xE1) {
            out.append(segments);
            placed = true;
        }
        if (!iccSegment)
            out.append(jpeg.mid(at, 2 + length));
        at += 2 + length;
    }
    if (!placed)
        out.append(segments);
    out.append(jpeg.mid(at));
    return out;
}

QByteArray psdProfile(const QByteArray &data)
{
    if (data.size() < 34 || !data.startsWith("8BPS"))
        return {};
    qint64 at = 26;
    at += 4 + qint64(be32(data, at)); // colour mode data
    const qint64 length = qint64(be32(data, at));
    at += 4;
    const qint64 end = qMin<qint64>(at + length, data.size());
    while (at + 12 <= end) {
        const quint16 id = be16(data, at + 4);
        const int nameLength = quint8(data[at + 6]);
        qint64 p = at + 6 + ((1 + nameLength + 1) & ~1); // the name is padded to even
        const qint64 size = qint64(be32(data, p));
        p += 4;
        if (size < 0 || p + size > end)
            break;
        if (id == 1039)
            return data.mid(p, size);
        at = p + ((size + 1) & ~1);
    }
    return {};
}

QByteArray gifProfile(const QByteArray &data)
{
    if (data.size() < 13 || !(data.startsWith("GIF87a") || data.startsWith("GIF89a")))
        return {};
    const auto byte = [&data](qint64 at) { return at < data.size() ? quint8(data[at]) : 0; };
    // After the logical screen descriptor and its colour table.
    qint64 at = 13;
    if (byte(10) & 0x80)
        at += 3 * (qint64(2) << (byte(10) & 7));
    // A run of sub-blocks, each a length byte and that many bytes, ended by
    // a zero length; the position after it, or -1 when the file ends first.
    const auto skipBlocks = [&](qint64 p, QByteArray *into) -> qint64 {
        while (p < data.size()) {
            const int n = byte(p);
            if (n == 0)
                return p + 1;
            if (p + 1 + n > data.size())
                return -1;
            if (into) {
                if (into->size() + n > kMaxProfile)
                    return -1;
                into->append(data.constData() + p + 1, n);
            }
            p += 1 + n;
        }
        return -1;
    };
    while (at >= 0 && at < data.size()) {
        switch (byte(at)) {
        case 0x21: { // extension: label, then sub-blocks
            const bool application = byte(at + 1) == 0xFF && byte(at + 2) == 11 &&
                                     data.mid(at + 3, 11) == QByteArrayLiteral("ICCRGBG1012");
            if (application) {
                QByteArray icc;
                return skipBlocks(at + 14, &icc) < 0 ? QByteArray() : icc;
            }
            at = skipBlocks(at + 2, nullptr);
            break;
        }
        case 0x2C: { // image: descriptor, local colour table, LZW data
            const int packed = byte(at + 9);
            at += 10;
            if (packed & 0x80)
                at += 3 * (qint64(2) << (packed & 7));
            at = skipBlocks(at + 1, nullptr); // after the minimum code size
            break;
        }
        default: // the trailer, or something no GIF holds
            return {};
        }
    }
    return {};
}

} // namespace lumora::imaging::profiles
