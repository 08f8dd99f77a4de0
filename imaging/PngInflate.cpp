#include "imaging/PngInflate.h"

#include "imaging/DecodeSupport.h"

#include <QColorSpace>
#include <QList>
#include <QPair>
#include <QtEndian>

#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace lumora::imaging
{

namespace
{

// The inflated rows are held whole next to the page: past this the
// streaming reader is the better use of memory.
constexpr qint64 kMaxInflatedBytes = qint64(256) << 20;

quint32 be32(const uchar *p)
{
    return qFromBigEndian<quint32>(p);
}

constexpr quint32 tag(const char (&name)[5])
{
    return quint32(uchar(name[0])) << 24 | quint32(uchar(name[1])) << 16 |
           quint32(uchar(name[2])) << 8 | quint32(uchar(name[3]));
}

// Ancillary chunks that change nothing Qt's reader hands over (bKGD, tIME,
// sBIT, eXIf), or that are handled here (pHYs, sRGB, text). Any other chunk
// before the end sends the file to the usual reader.
bool understood(quint32 type)
{
    switch (type) {
    case tag("IDAT"):
    case tag("pHYs"):
    case tag("sRGB"):
    case tag("bKGD"):
    case tag("tIME"):
    case tag("sBIT"):
    case tag("eXIf"):
    case tag("tEXt"):
    case tag("zTXt"):
    case tag("iTXt"):
        return true;
    default:
        return false;
    }
}

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor *d) const { libdeflate_free_decompressor(d); }
};

// libpng's default ceiling for what one text chunk inflates to.
constexpr qsizetype kMaxTextBytes = 8000000;

std::optional<QByteArray> inflateText(libdeflate_decompressor *inflater, const uchar *in,
                                      qsizetype length)
{
    for (qsizetype room = std::max<qsizetype>(256, length * 4);; room *= 4) {
        room = std::min(room, kMaxTextBytes);
        QByteArray out(room, Qt::Uninitialized);
        size_t produced = 0;
        const libdeflate_result r = libdeflate_zlib_decompress(inflater, in, size_t(length),
                                                               out.data(), size_t(room), &produced);
        if (r == LIBDEFLATE_SUCCESS) {
            out.truncate(qsizetype(produced));
            return out;
        }
        if (r != LIBDEFLATE_INSUFFICIENT_SPACE || room == kMaxTextBytes)
            return std::nullopt;
    }
}

// One text chunk as Qt's reader keeps it: the key in Latin-1, the value in
// Latin-1 (tEXt, zTXt) or UTF-8 (iTXt). False for a chunk libpng would not
// take as it is.
bool readText(libdeflate_decompressor *inflater, quint32 type, const uchar *body, qsizetype length,
              QList<QPair<QString, QString>> &texts)
{
    const auto *end = body + length;
    const auto *keyEnd = static_cast<const uchar *>(std::memchr(body, 0, size_t(length)));
    if (!keyEnd || keyEnd == body || keyEnd - body > 79)
        return false;
    const QString key = QString::fromLatin1(reinterpret_cast<const char *>(body), keyEnd - body);
    const uchar *p = keyEnd + 1;
    if (type == tag("tEXt")) {
        texts.append({key, QString::fromLatin1(reinterpret_cast<const char *>(p), end - p)});
        return true;
    }
    if (type == tag("zTXt")) {
        if (p >= end || *p != 0)
            return false;
        const auto value = inflateText(inflater, p + 1, end - p - 1);
        if (!value)
            return false;
        texts.append({key, QString::fromLatin1(*value)});
        return true;
    }
    // iTXt: compressed flag, method, language tag, translated key, text.
    if (end - p < 2 || p[0] > 1 || p[1] != 0)
        return false;
    const bool packed = p[0] == 1;
    p += 2;
    for (int field = 0; field < 2; ++field) {
        const auto *stop = static_cast<const uchar *>(std::memchr(p, 0, size_t(end - p)));
        if (!stop)
            return false;
        p = stop + 1;
    }
    QByteArray value = QByteArray(reinterpret_cast<const char *>(p), end - p);
    if (packed) {
        const auto inflated = inflateText(inflater, p, end - p);
        if (!inflated)
            return false;
        value = *inflated;
    }
    texts.append({key, QString::fromUtf8(value)});
    return true;
}

inline uchar paeth(uchar a, uchar b, uchar c)
{
    const int p = int(a) + int(b) - int(c);
    const int pa = std::abs(p - int(a));
    const int pb = std::abs(p - int(b));
    const int pc = std::abs(p - int(c));
    if (pa <= pb && pa <= pc)
        return a;
    return pb <= pc ? b : c;
}

// Undoes one row's filter in place; `prev` is the row above, already
// unfiltered (all zeros for the first row). False for an unknown filter.
bool unfilter(uchar filter, uchar *row, const uchar *prev, qsizetype n, int bpp)
{
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (qsizetype i = bpp; i < n; ++i)
            row[i] = uchar(row[i] + row[i - bpp]);
        return true;
    case 2:
        for (qsizetype i = 0; i < n; ++i)
            row[i] = uchar(row[i] + prev[i]);
        return true;
    case 3:
        for (qsizetype i = 0; i < bpp; ++i)
            row[i] = uchar(row[i] + (prev[i] >> 1));
        for (qsizetype i = bpp; i < n; ++i)
            row[i] = uchar(row[i] + ((int(row[i - bpp]) + int(prev[i])) >> 1));
        return true;
    case 4:
        for (qsizetype i = 0; i < bpp; ++i)
            row[i] = uchar(row[i] + prev[i]);
        for (qsizetype i = bpp; i < n; ++i)
            row[i] = uchar(row[i] + paeth(row[i - bpp], prev[i], prev[i - bpp]));
        return true;
    default:
        return false;
    }
}

} // namespace

std::optional<DecodedImage> decodePlainPng(const QByteArray &file, const DecodeOptions &options)
{
    using namespace support;
    static const char kSignature[8] = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    const auto *data = reinterpret_cast<const uchar *>(file.constData());
    const qsizetype size = file.size();
    if (size < 8 + 25 || std::memcmp(data, kSignature, 8) != 0 || be32(data + 8) != 13 ||
        be32(data + 12) != tag("IHDR"))
        return std::nullopt;
    const quint32 width = be32(data + 16), height = be32(data + 20);
    const uchar depth = data[24], colour = data[25];
    // Compression 0, filter method 0, no interlacing.
    if (width == 0 || height == 0 || width > 0x7fffffffu || height > 0x7fffffffu || depth != 8 ||
        (colour != 2 && colour != 6) || data[26] != 0 || data[27] != 0 || data[28] != 0)
        return std::nullopt;
    const QSize pictureSize{int(width), int(height)};
    if (!fitsBudget(pictureSize, 32))
        return std::nullopt;
    const int bpp = colour == 6 ? 4 : 3;
    const qsizetype stride = qsizetype(width) * bpp + 1;
    if (qint64(stride) * height > kMaxInflatedBytes)
        return std::nullopt;

    // Walk the chunks, checking every CRC the way libpng does for the
    // critical ones; the compressed data is gathered in order.
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> inflater(
        libdeflate_alloc_decompressor());
    if (!inflater)
        return std::nullopt;
    QByteArray compressed;
    QList<QPair<QString, QString>> texts;
    bool srgb = false, seenIdat = false, afterIdat = false, ended = false, seenPhys = false;
    int dpmX = 0, dpmY = 0;
    for (qsizetype at = 8; at + 12 <= size;) {
        const quint32 length = be32(data + at);
        const quint32 type = be32(data + at + 4);
        if (length > 0x7fffffffu || qint64(length) + 12 > size - at)
            return std::nullopt;
        const uchar *body = data + at + 8;
        if (libdeflate_crc32(0, data + at + 4, size_t(length) + 4) != be32(body + length))
            return std::nullopt;
        const bool first = at == 8;
        at += 12 + qsizetype(length);
        if (type == tag("IHDR")) {
            // Checked above; a second one makes libpng refuse the file, and
            // the usual reader says so.
            if (!first)
                return std::nullopt;
            continue;
        }
        if (type == tag("IEND")) {
            ended = true;
            break;
        }
        if (!understood(type))
            return std::nullopt;
        if (type == tag("IDAT")) {
            // The data is one run of chunks.
            if (seenIdat && afterIdat)
                return std::nullopt;
            compressed.append(reinterpret_cast<const char *>(body), qsizetype(length));
            seenIdat = true;
        } else if (type == tag("tEXt") || type == tag("zTXt") || type == tag("iTXt")) {
            afterIdat = seenIdat;
            if (!readText(inflater.get(), type, body, qsizetype(length), texts))
                return std::nullopt;
        } else if (seenIdat) {
            afterIdat = true; // what follows the data changes no pixels
        } else if (type == tag("sRGB")) {
            srgb = length == 1;
        } else if (type == tag("pHYs") && length == 9 && !seenPhys) {
            // libpng keeps the first well-formed pHYs, whatever its unit, and
            // Qt takes each axis's 32 bits as an int: the resolution must be
            // the one every other PNG in the program gets.
            seenPhys = true;
            if (body[8] == 1) {
                dpmX = static_cast<int>(be32(body));
                dpmY = static_cast<int>(be32(body + 4));
            }
        }
    }
    if (!ended || compressed.isEmpty())
        return std::nullopt;
    if (isCancelled(options))
        return failure(cancelledMessage());

    const qsizetype inflatedSize = stride * qsizetype(height);
    std::unique_ptr<uchar[]> rows(new (std::nothrow) uchar[size_t(inflatedSize)]);
    if (!rows)
        return std::nullopt;
    size_t produced = 0;
    if (libdeflate_zlib_decompress(inflater.get(), compressed.constData(),
                                   size_t(compressed.size()), rows.get(), size_t(inflatedSize),
                                   &produced) != LIBDEFLATE_SUCCESS ||
        produced != size_t(inflatedSize))
        return std::nullopt;
    compressed = QByteArray();

    const QImage::Format format = colour == 6 ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    QImage page = newPage(pictureSize, format);
    if (page.isNull())
        page = QImage(pictureSize, format);
    if (page.isNull())
        return std::nullopt;
    const qsizetype rowBytes = stride - 1;
    std::unique_ptr<uchar[]> zeros(new (std::nothrow) uchar[size_t(rowBytes)]());
    if (!zeros)
        return std::nullopt;
    const uchar *prev = zeros.get();
    for (quint32 y = 0; y < height; ++y) {
        uchar *row = rows.get() + qsizetype(y) * stride;
        if (!unfilter(row[0], row + 1, prev, rowBytes, bpp))
            return std::nullopt;
        auto *out = reinterpret_cast<QRgb *>(page.scanLine(int(y)));
        const uchar *p = row + 1;
        if (bpp == 3) {
            for (quint32 x = 0; x < width; ++x, p += 3)
                out[x] = qRgb(p[0], p[1], p[2]);
        } else {
            for (quint32 x = 0; x < width; ++x, p += 4)
                out[x] = qRgba(p[0], p[1], p[2], p[3]);
        }
        prev = row + 1;
        if ((y & 255) == 255 && isCancelled(options))
            return failure(cancelledMessage());
    }
    // An axis of 0 keeps the default, as QImage ignores it; the other still counts.
    if (dpmX != 0)
        page.setDotsPerMeterX(dpmX);
    if (dpmY != 0)
        page.setDotsPerMeterY(dpmY);
    if (srgb)
        page.setColorSpace(QColorSpace::SRgb);
    for (const auto &[key, value] : texts)
        page.setText(key, value);

    DecodedImage out;
    out.format = FormatCode::Png;
    out.bitsPerPixel = bpp * 8;
    out.originalSize = pictureSize;
    out.pages << std::move(page);
    scalePages(out, options);
    return out;
}

} // namespace lumora::imaging
