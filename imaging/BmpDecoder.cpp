#include "imaging/BmpDecoder.h"

#include "imaging/DecodeSupport.h"
#include "imaging/FormatBytes.h"

#include <QList>
#include <QtAlgorithms>

#include <algorithm>
#include <climits>

namespace lumora::imaging::bmp
{

namespace
{

using namespace bytes;

enum Compression {
    Rgb = 0,
    Rle8 = 1,
    Rle4 = 2,
    BitFields = 3,
    Jpeg = 4,
    Png = 5,
    AlphaBitFields = 6
};

// One channel of a bit-field pixel: where it sits and how wide it is.
// Channels of any width (1-bit alpha, 10- or 11-bit colours) scale to 0..255.
struct Channel {
    quint32 mask = 0;
    int shift = 0;
    int bits = 0;

    static Channel from(quint32 mask)
    {
        Channel c;
        if (!mask)
            return c;
        c.shift = qCountTrailingZeroBits(mask);
        quint32 v = mask >> c.shift;
        while ((v & 1) && c.bits < 32) {
            ++c.bits;
            v >>= 1;
        }
        c.mask = c.bits >= 32 ? 0xFFFFFFFFu : (((1u << c.bits) - 1) << c.shift);
        return c;
    }

    // A channel whose mask is zero has no bits: it reads as 0, as other
    // readers give it (a zero divisor otherwise, and SIGFPE).
    int value(quint32 pixel) const
    {
        if (bits == 0)
            return 0;
        const quint32 v = (pixel & mask) >> shift;
        if (bits >= 8)
            return int(v >> (bits - 8));
        const quint32 top = (1u << bits) - 1;
        return int((v * 255 + top / 2) / top);
    }
};

struct Header {
    quint32 size = 0;
    qint64 width = 0;
    qint64 height = 0; // negative: rows run top-down
    int bits = 0;
    quint32 compression = Rgb;
    quint32 colorsUsed = 0;
    bool os2 = false; // OS/2 2.x: its compression numbers 3 and 4 mean other things
    bool rle24 = false;
    Channel red, green, blue, alpha;
    bool hasAlpha = false;
    qsizetype masksAfterHeader = 0;
};

QString unsupported(const char *what)
{
    return QStringLiteral("unsupported bitmap: %1").arg(QLatin1String(what));
}

bool readHeader(const QByteArray &d, qsizetype at, Header &h, QString &error)
{
    h.size = le32(d, at);
    const bool v1 = h.size == 12;
    if (!v1 && (h.size < 16 || h.size > 4096)) {
        error = unsupported("header size");
        return false;
    }
    if (d.size() < at + qsizetype(qMin<quint32>(h.size, 64))) {
        error = unsupported("truncated header");
        return false;
    }
    if (v1) {
        h.width = le16(d, at + 4);
        h.height = le16(d, at + 6);
        h.bits = le16(d, at + 10);
        return true;
    }
    h.width = les32(d, at + 4);
    h.height = les32(d, at + 8);
    h.bits = le16(d, at + 14);
    h.compression = h.size >= 20 ? le32(d, at + 16) : quint32(Rgb);
    h.colorsUsed = h.size >= 36 ? le32(d, at + 32) : 0;
    // The 40-byte Windows header and Adobe's 52/56-byte ones are taken by
    // size; other sizes up to 64 are OS/2 2.x headers, cut short or full.
    h.os2 = h.size != 40 && h.size != 52 && h.size != 56 && h.size <= 64;
    // OS/2 numbers RLE24 as 4, which Windows uses for JPEG (at depth 0).
    if (h.compression == Jpeg && h.bits == 24 && (h.os2 || h.size == 40)) {
        h.rle24 = true;
    } else if (h.compression == BitFields && (h.os2 || h.bits == 1)) {
        error = unsupported("Huffman-coded");
        return false;
    }
    if (h.compression == BitFields || h.compression == AlphaBitFields) {
        quint32 r, g, b, a = 0;
        if (h.size >= 52) {
            r = le32(d, at + 40);
            g = le32(d, at + 44);
            b = le32(d, at + 48);
            if (h.size >= 56)
                a = le32(d, at + 52);
            else if (h.compression == AlphaBitFields)
                a = le32(d, at + h.size), h.masksAfterHeader = 4;
        } else {
            const qsizetype m = at + h.size;
            r = le32(d, m);
            g = le32(d, m + 4);
            b = le32(d, m + 8);
            h.masksAfterHeader = 12;
            if (h.compression == AlphaBitFields)
                a = le32(d, m + 12), h.masksAfterHeader = 16;
        }
        h.red = Channel::from(r);
        h.green = Channel::from(g);
        h.blue = Channel::from(b);
        h.alpha = Channel::from(a);
        h.hasAlpha = a != 0;
    } else if (h.bits == 16) {
        h.red = Channel::from(0x7C00);
        h.green = Channel::from(0x03E0);
        h.blue = Channel::from(0x001F);
    } else {
        h.red = Channel::from(0xFF0000);
        h.green = Channel::from(0xFF00);
        h.blue = Channel::from(0xFF);
    }
    return true;
}

// Reads rows of the pixel array from a byte range that may end early.
class Pixels
{
public:
    Pixels(const QByteArray &d, qint64 start) : m_data(d), m_pos(start) {}
    bool atEnd() const { return m_pos >= m_data.size(); }
    int byte() { return m_pos < m_data.size() ? quint8(m_data.at(m_pos++)) : -1; }
    qint64 pos() const { return m_pos; }
    void skip(qint64 n) { m_pos += n; }
    void seek(qint64 p) { m_pos = p; }

private:
    const QByteArray &m_data;
    qint64 m_pos;
};

class Decoder
{
public:
    Decoder(const QByteArray &d, const Header &h, const QList<QRgb> &palette, int width, int height,
            bool topDown)
        : m_data(d), m_h(h), m_palette(palette), m_width(width), m_height(height),
          m_topDown(topDown)
    {
    }

    int rowOf(qint64 fileRow) const
    {
        return m_topDown ? int(fileRow) : m_height - 1 - int(fileRow);
    }

    QRgb colour(int index) const
    {
        return index >= 0 && index < m_palette.size() ? m_palette.at(index) : qRgb(0, 0, 0);
    }

    // Uncompressed rows; false when not even the first row is there.
    bool readRows(QImage &out, qint64 offset, bool *alphaSeen)
    {
        const int bits = m_h.bits;
        const qint64 stride = (qint64(m_width) * bits + 31) / 32 * 4;
        const bool masks = bits == 16 || bits == 32;
        bool any = false;
        for (qint64 r = 0; r < m_height; ++r) {
            const qint64 start = offset + r * stride;
            if (start >= m_data.size()) {
                m_truncated = true;
                break;
            }
            any = true;
            const qint64 avail = qMin<qint64>(stride, m_data.size() - start);
            if (avail * 8 < qint64(m_width) * bits)
                m_truncated = true;
            const uchar *p = reinterpret_cast<const uchar *>(m_data.constData()) + start;
            QRgb *line = reinterpret_cast<QRgb *>(out.scanLine(rowOf(r)));
            const int usable = int(qMin<qint64>(m_width, avail * 8 / bits));
            for (int x = 0; x < usable; ++x) {
                if (bits < 8) {
                    const qint64 bit = qint64(x) * bits;
                    const int shift = 8 - bits - int(bit % 8);
                    line[x] = colour((p[bit / 8] >> shift) & ((1 << bits) - 1));
                } else if (bits == 8) {
                    line[x] = colour(p[x]);
                } else if (bits == 24) {
                    const uchar *q = p + qint64(x) * 3;
                    line[x] = qRgb(q[2], q[1], q[0]);
                } else if (masks) {
                    const quint32 px =
                        bits == 16
                            ? quint32(p[2 * x] | (p[2 * x + 1] << 8))
                            : quint32(p[4 * x] | (p[4 * x + 1] << 8) | (p[4 * x + 2] << 16)) |
                                  (quint32(p[4 * x + 3]) << 24);
                    const int a = m_h.hasAlpha ? m_h.alpha.value(px) : 255;
                    if (a)
                        *alphaSeen = true;
                    line[x] = qRgba(m_h.red.value(px), m_h.green.value(px), m_h.blue.value(px), a);
                }
            }
        }
        return any;
    }

    // RLE4, RLE8 and OS/2's RLE24. Pixels the stream skips keep the
    // background the caller filled in.
    bool readRle(QImage &out, qint64 offset)
    {
        const int kind = m_h.rle24 ? 24 : m_h.compression == Rle8 ? 8 : 4;
        Pixels in(m_data, offset);
        qint64 x = 0, row = 0;
        bool any = false;
        auto put = [&](QRgb c) {
            if (x < m_width && row < m_height)
                reinterpret_cast<QRgb *>(out.scanLine(rowOf(row)))[x] = c;
            ++x;
        };
        auto rgb = [&](bool &ok) {
            const int b = in.byte(), g = in.byte(), r = in.byte();
            ok = r >= 0;
            return qRgb(qMax(r, 0), qMax(g, 0), qMax(b, 0));
        };
        // Running out of bytes before the end-of-bitmap code (or the last
        // row) means the file was cut short.
        m_truncated = true;
        while (row < m_height) {
            const int n = in.byte();
            if (n < 0)
                return any;
            any = true;
            if (n > 0) {
                if (kind == 24) {
                    bool ok = true;
                    const QRgb c = rgb(ok);
                    if (!ok)
                        break;
                    for (int i = 0; i < n && x < m_width; ++i)
                        put(c);
                } else {
                    const int v = in.byte();
                    if (v < 0)
                        break;
                    for (int i = 0; i < n && x < m_width; ++i)
                        put(colour(kind == 8 ? v : (i % 2 ? v & 0x0F : v >> 4)));
                }
                continue;
            }
            const int c = in.byte();
            if (c < 0)
                break;
            if (c == 0) { // end of line
                x = 0;
                ++row;
            } else if (c == 1) { // end of bitmap
                m_truncated = false;
                break;
            } else if (c == 2) { // delta
                const int dx = in.byte(), dy = in.byte();
                if (dy < 0)
                    break;
                x += dx;
                row += dy;
            } else { // a literal run of c pixels, padded to a 16-bit boundary
                const qint64 start = in.pos();
                if (kind == 24) {
                    bool ok = true;
                    for (int i = 0; i < c && ok; ++i)
                        put(rgb(ok));
                    in.seek(start + (qint64(c) * 3 + 1) / 2 * 2);
                } else if (kind == 8) {
                    for (int i = 0; i < c; ++i)
                        put(colour(qMax(in.byte(), 0)));
                    in.seek(start + (c + 1) / 2 * 2);
                } else {
                    int v = 0;
                    for (int i = 0; i < c; ++i) {
                        if (i % 2 == 0)
                            v = qMax(in.byte(), 0);
                        put(colour(i % 2 ? v & 0x0F : v >> 4));
                    }
                    in.seek(start + ((c + 1) / 2 + 1) / 2 * 2);
                }
                if (in.atEnd() && in.pos() > m_data.size())
                    return any;
            }
        }
        if (row >= m_height)
            m_truncated = false;
        return any;
    }

    // The 1-bit AND mask after an icon's colour bitmap: set bits are
    // transparent. A mask cut short leaves the rest opaque.
    void applyMask(QImage &out, qint64 offset)
    {
        const qint64 stride = (qint64(m_width) + 31) / 32 * 4;
        for (qint64 r = 0; r < m_height; ++r) {
            QRgb *line = reinterpret_cast<QRgb *>(out.scanLine(rowOf(r)));
            for (int x = 0; x < m_width; ++x) {
                const qint64 at = offset + r * stride + x / 8;
                if (at >= m_data.size())
                    return;
                if ((quint8(m_data.at(at)) >> (7 - x % 8)) & 1)
                    line[x] = 0;
                else
                    line[x] |= 0xFF000000u;
            }
        }
    }

    bool truncated() const { return m_truncated; }

private:
    const QByteArray &m_data;
    const Header &m_h;
    const QList<QRgb> &m_palette;
    int m_width;
    int m_height;
    bool m_topDown;
    bool m_truncated = false;
};

} // namespace

DibResult decodeDib(const QByteArray &data, const DibSource &source, qint64 maxBytes)
{
    DibResult out;
    Header h;
    const qsizetype info = source.infoOffset;
    if (!readHeader(data, info, h, out.error))
        return out;
    out.bitsPerPixel = h.bits;

    const int bits = h.bits;
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 &&
        bits != 32) {
        out.error = unsupported("depth");
        return out;
    }
    const quint32 c = h.compression;
    if (c == Jpeg && !h.rle24) {
        out.error = unsupported("embedded JPEG");
        return out;
    }
    if (c == Png) {
        out.error = unsupported("embedded PNG");
        return out;
    }
    const bool rle = h.rle24 || c == Rle8 || c == Rle4;
    if (c > AlphaBitFields || (c == Rle8 && bits != 8) || (c == Rle4 && bits != 4) ||
        ((c == BitFields || c == AlphaBitFields) && bits != 16 && bits != 32) ||
        (rle && source.iconMask)) {
        out.error = unsupported("compression");
        return out;
    }

    qint64 height = h.height;
    const bool topDown = height < 0 && !source.iconMask;
    height = qAbs(height);
    if (source.iconMask)
        height /= 2;
    if (h.width <= 0 || height <= 0 || h.width > INT_MAX / 4 || height > INT_MAX / 4) {
        out.error = unsupported("dimensions");
        return out;
    }
    out.size = QSize(int(h.width), int(height));
    if (h.width * height * 4 > maxBytes) {
        out.tooLarge = true;
        out.error = unsupported("size");
        return out;
    }

    // The palette: three-byte entries in the OS/2 1.x header, four after
    // any other. A palette longer than the depth can index is allowed; only
    // the entries it can reach are read.
    const qint64 entrySize = h.size == 12 ? 3 : 4;
    const qint64 paletteStart = info + h.size + h.masksAfterHeader;
    qint64 entries = h.colorsUsed;
    if (bits > 8 && entries > (1 << 16))
        entries = 0; // a count no pixel uses; only its length could matter
    if (bits <= 8) {
        const qint64 full = qint64(1) << bits;
        const bool stated = entries > 0;
        if (!stated)
            entries = full;
        // Files whose pixels start sooner hold a shorter palette than the
        // depth implies (common with the OS/2 header).
        if (source.pixelOffset > paletteStart)
            entries = qMin(entries, (source.pixelOffset - paletteStart) / entrySize);
        if (!stated || entries > full)
            entries = qMin(entries, full);
    }
    QList<QRgb> palette;
    if (bits <= 8) {
        for (qint64 i = 0; i < entries; ++i) {
            const qint64 at = paletteStart + i * entrySize;
            palette << qRgb(u8(data, at + 2), u8(data, at + 1), u8(data, at));
        }
    }
    qint64 offset = source.pixelOffset;
    if (offset <= info || offset >= data.size()) {
        const qint64 stated = h.colorsUsed > 0 && h.colorsUsed <= (1u << 16) ? h.colorsUsed
                              : bits <= 8                                    ? qint64(1) << bits
                                                                             : 0;
        offset = paletteStart + stated * entrySize;
    }
    // Run-length data can stand for up to 255 pixels in two bytes (and a
    // delta skips more), so only uncompressed rows are held to this.
    const qint64 present = qMax<qint64>(0, qint64(data.size()) - offset);
    const qint64 declared = (h.width * bits + 31) / 32 * 4 * height;
    if (!rle && support::implausiblyShort(present, declared, h.width * height * 4)) {
        out.error = unsupported("pixel data far shorter than the picture");
        return out;
    }
    // Icons keep their alpha in the fourth byte of a 32-bit pixel.
    if (source.iconMask && bits == 32 && !h.hasAlpha) {
        h.alpha = Channel::from(0xFF000000u);
        h.hasAlpha = true;
    }

    const bool alpha = h.hasAlpha || source.iconMask;
    QImage image(int(h.width), int(height), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull()) {
        out.tooLarge = true;
        out.error = unsupported("size");
        return out;
    }
    // What a stream leaves unpainted: the first palette colour for indexed
    // run-length data, black otherwise.
    image.fill(rle && !palette.isEmpty() ? palette.front() : qRgb(0, 0, 0));

    Decoder decoder(data, h, palette, int(h.width), int(height), topDown);
    bool alphaSeen = false;
    const bool any =
        rle ? decoder.readRle(image, offset) : decoder.readRows(image, offset, &alphaSeen);
    if (!any) {
        out.error = unsupported("no pixel data");
        return out;
    }
    if (source.iconMask) {
        // 32-bit icons carry their own alpha; an alpha channel that is all
        // zero means the AND mask is the only transparency there is.
        const bool hasOwnAlpha = bits == 32 && alphaSeen;
        if (!hasOwnAlpha) {
            const qint64 stride = (h.width * bits + 31) / 32 * 4;
            decoder.applyMask(image, offset + stride * height);
        }
    }
    out.truncated = decoder.truncated();
    out.image = std::move(image);
    return out;
}

} // namespace lumora::imaging::bmp
