#include "imaging/PsdComposite.h"

#include "imaging/ColourManagement.h"
#include "imaging/DecodeSupport.h"
#include "imaging/EmbeddedProfiles.h"
#include "imaging/MagickCodec.h"

#include <QIODevice>

#include <cstring>
#include <vector>

namespace lumora::imaging
{

namespace
{

quint64 be(const QByteArray &d, qint64 at, int n)
{
    if (at < 0 || at + n > d.size())
        return 0;
    quint64 v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | quint8(d[at + i]);
    return v;
}

enum Mode { Bitmap = 0, Grey = 1, Indexed = 2, Rgb = 3, Cmyk = 4 };

// One PackBits row into `out` (rowBytes long); false when the data runs out
// before the row is full.
bool unpackRow(const QByteArray &d, qint64 at, qint64 length, uchar *out, qint64 rowBytes)
{
    const qint64 end = qMin<qint64>(at + length, d.size());
    qint64 filled = 0;
    while (filled < rowBytes && at < end) {
        const int n = qint8(d[at++]);
        if (n >= 0) {
            const qint64 count = qMin<qint64>(n + 1, qMin(rowBytes - filled, end - at));
            std::memcpy(out + filled, d.constData() + at, size_t(count));
            filled += count;
            at += n + 1;
        } else if (n != -128) {
            if (at >= end)
                break;
            const qint64 count = qMin<qint64>(1 - n, rowBytes - filled);
            std::memset(out + filled, quint8(d[at++]), size_t(count));
            filled += count;
        }
    }
    return filled == rowBytes;
}

} // namespace

QImage readPsdComposite(const QByteArray &data, int *bits)
{
    if (data.size() < 26 || !data.startsWith("8BPS"))
        return {};
    const int version = int(be(data, 4, 2));
    const bool big = version == 2; // PSB: longer lengths
    const int channels = int(be(data, 12, 2));
    const quint64 height = be(data, 14, 4), width = be(data, 18, 4);
    const int depth = int(be(data, 22, 2));
    const int mode = int(be(data, 24, 2));
    if ((version != 1 && !big) || channels < 1 || width == 0 || height == 0)
        return {};
    int colours = 0;
    switch (mode) {
    case Bitmap:
        colours = depth == 1 ? 1 : 0;
        break;
    case Grey:
    case Rgb:
        colours = depth == 8 || depth == 16 ? (mode == Grey ? 1 : 3) : 0;
        break;
    case Indexed:
        colours = depth == 8 ? 1 : 0;
        break;
    case Cmyk:
        colours = depth == 8 ? 4 : 0;
        break;
    default:
        break;
    }
    if (colours == 0 || channels < colours)
        return {};
    const QSize size(int(qMin<quint64>(width, INT_MAX)), int(qMin<quint64>(height, INT_MAX)));
    if (!support::fitsBudget(size))
        return {};
    *bits = depth * channels;

    // Colour mode data (the palette of indexed files), image resources and
    // the layers come before the merged picture; each says its length.
    qint64 at = 26;
    const qint64 paletteAt = at + 4;
    const qint64 paletteLength = qint64(be(data, at, 4));
    at += 4 + paletteLength;
    at += 4 + qint64(be(data, at, 4));
    at += big ? 8 + qint64(be(data, at, 8)) : 4 + qint64(be(data, at, 4));
    if (at < 26 || at + 2 > data.size())
        return {};
    const int compression = int(be(data, at, 2));
    at += 2;
    if (compression != 0 && compression != 1)
        return {}; // ZIP: not written by anything that ImageMagick refuses

    const qint64 rowBytes = (qint64(width) * depth + 7) / 8;
    const qint64 planeBytes = rowBytes * qint64(height);
    // The planes are held beside the picture: half the budget at most.
    if (planeBytes * colours > kMaxDecodedBytes / 2)
        return {};
    // PackBits makes at most 128 bytes of two, so what is left of the file
    // holds at most 64 times its size; a file holding less than an eighth of
    // the least its planes need is refused, as bitmaps are, rather than
    // costing a large blank picture.
    const qint64 least = compression == 0 ? planeBytes * colours : planeBytes * colours / 64;
    if (support::implausiblyShort(data.size() - at, least, support::decodedBytes(size)))
        return {};
    std::vector<uchar> planes(size_t(planeBytes * colours), 0);
    qint64 rowsRead = 0; // of the first plane, so a file cut short still shows
    if (compression == 0) {
        for (int c = 0; c < colours; ++c) {
            const qint64 from = at + c * planeBytes;
            const qint64 have = qBound<qint64>(0, data.size() - from, planeBytes);
            if (have > 0)
                std::memcpy(planes.data() + c * planeBytes, data.constData() + from, size_t(have));
            if (c == 0)
                rowsRead = have / rowBytes;
        }
    } else {
        const int countBytes = big ? 4 : 2;
        const qint64 rows = qint64(channels) * qint64(height);
        qint64 row = at + rows * countBytes;
        for (qint64 r = 0; r < qint64(colours) * qint64(height) && row < data.size(); ++r) {
            const qint64 length = qint64(be(data, at + r * countBytes, countBytes));
            if (!unpackRow(data, row, length, planes.data() + r * rowBytes, rowBytes) &&
                r < qint64(height))
                break;
            if (r < qint64(height))
                rowsRead = r + 1;
            row += length;
        }
    }
    if (rowsRead == 0)
        return {};

    QImage image(size, QImage::Format_RGB32);
    if (image.isNull())
        return {};
    const bool hasPalette = paletteLength >= 768 && paletteAt + 768 <= data.size();
    const uchar *palette =
        hasPalette ? reinterpret_cast<const uchar *>(data.constData()) + paletteAt : nullptr;
    std::vector<uchar> inks(mode == Cmyk ? size_t(size.width()) * 4 : 0);
    const QByteArray pressProfile = mode == Cmyk ? profiles::psdProfile(data) : QByteArray();
    for (int y = 0; y < size.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            auto sample = [&](int c) -> int {
                const uchar *p = planes.data() + c * planeBytes + qint64(y) * rowBytes;
                if (depth == 1)
                    return (p[x / 8] >> (7 - x % 8)) & 1;
                if (depth == 16)
                    return int(((quint32(p[2 * x]) << 8 | p[2 * x + 1]) * 255 + 32767) / 65535);
                return p[x];
            };
            switch (mode) {
            case Bitmap: // a set bit is black
                line[x] = sample(0) ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
                break;
            case Grey:
                line[x] = qRgb(sample(0), sample(0), sample(0));
                break;
            case Indexed: {
                const int i = sample(0);
                line[x] = hasPalette ? qRgb(palette[i], palette[256 + i], palette[512 + i])
                                     : qRgb(i, i, i);
                break;
            }
            case Rgb:
                line[x] = qRgb(sample(0), sample(1), sample(2));
                break;
            default: // CMYK, stored as 255 minus the ink: converted below
                inks[4 * size_t(x)] = uchar(sample(0));
                inks[4 * size_t(x) + 1] = uchar(sample(1));
                inks[4 * size_t(x) + 2] = uchar(sample(2));
                inks[4 * size_t(x) + 3] = uchar(sample(3));
                break;
            }
        }
        // Through the file's press profile (resource 1039), or the default.
        if (mode == Cmyk)
            colour::cmykRowToSrgb(inks.data(), line, size.width(), pressProfile, true);
    }
    return image;
}

DecodedImage decodePsd(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options)
{
    using namespace support;
    DecodedImage out = decodeWithMagick(device, entry, options);
    if (out.ok() || out.error != damagedMessage() || !device.seek(0))
        return out;
    int bits = 0;
    const QByteArray data = device.readAll();
    QImage page = readPsdComposite(data, &bits);
    if (page.isNull())
        return out;
    DecodedImage own;
    const QByteArray icc = profiles::psdProfile(data);
    if (colour::profileSpace(icc) == "RGB " || colour::profileSpace(icc) == "GRAY")
        own.iccProfile = icc;
    own.format = entry.code;
    own.bitsPerPixel = bits;
    own.originalSize = page.size();
    own.pages << std::move(page);
    scalePages(own, options);
    return own;
}

} // namespace lumora::imaging
