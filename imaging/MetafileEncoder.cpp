#include "imaging/ImageEncoders.h"
#include "imaging/WritePixels.h"

#include <QList>
#include <QRect>
#include <QtEndian>

#include <climits>
#include <utility>

// Both metafiles hold the picture as one 24-bit bitmap record drawn 1:1 at
// 96 dots per inch: a WMF META_STRETCHDIB, an EMF EMR_STRETCHDIBITS (tiles
// of several for a picture with a side over 4096 pixels, see emfTiles).
// Every metafile reader draws those, and the files stay simple enough to
// check.
namespace lumora::imaging::encoders
{

namespace
{

constexpr int kDpi = 96;
constexpr int kPixelsPerMeter = 3780; // 96 dpi
constexpr quint32 kSrcCopy = 0x00CC0020;
constexpr int kInfoHeaderSize = 40;
// Logical coordinates of a WMF are signed 16-bit.
constexpr int kWmfMaxSide = 32767;

class Writer
{
public:
    explicit Writer(qsizetype reserve) { m_bytes.reserve(reserve); }
    void u16(quint32 v)
    {
        const quint16 le = qToLittleEndian(quint16(v));
        m_bytes.append(reinterpret_cast<const char *>(&le), 2);
    }
    void u32(quint32 v)
    {
        const quint32 le = qToLittleEndian(v);
        m_bytes.append(reinterpret_cast<const char *>(&le), 4);
    }
    void s32(qint32 v) { u32(quint32(v)); }
    void raw(const char *data, qsizetype size) { m_bytes.append(data, size); }
    qsizetype size() const { return m_bytes.size(); }
    QByteArray &bytes() { return m_bytes; }

private:
    QByteArray m_bytes;
};

qint64 dibStride(int width)
{
    return (qint64(width) * 3 + 3) & ~qint64(3);
}

// BITMAPINFOHEADER and bottom-up BGR rows of a part of an opaque RGB32
// picture.
void appendDib(Writer &out, const QImage &rgb, const QRect &part)
{
    const int w = part.width();
    const int h = part.height();
    const qint64 stride = dibStride(w);
    out.u32(kInfoHeaderSize);
    out.s32(w);
    out.s32(h); // positive: bottom-up, the form every reader knows
    out.u16(1); // planes
    out.u16(24);
    out.u32(0); // BI_RGB
    out.u32(quint32(stride * h));
    out.s32(kPixelsPerMeter);
    out.s32(kPixelsPerMeter);
    out.u32(0);
    out.u32(0);
    QByteArray row(stride, '\0');
    for (int y = part.bottom(); y >= part.top(); --y) {
        const auto *src = reinterpret_cast<const QRgb *>(rgb.constScanLine(y)) + part.left();
        char *dst = row.data();
        for (int x = 0; x < w; ++x) {
            dst[3 * x] = char(qBlue(src[x]));
            dst[3 * x + 1] = char(qGreen(src[x]));
            dst[3 * x + 2] = char(qRed(src[x]));
        }
        out.raw(row.constData(), row.size());
    }
}

// libemf2svg, behind our EMF reader and other programs', refuses a whole
// file when one of its bitmaps has a side over 4096 pixels. A larger picture
// is therefore stored as tiles of at most that. Every tile but the first of
// its row and column starts kEmfTileOverlap pixels early, over the end of
// its neighbour and with the same colours: a reader that draws the picture
// smaller filters each tile's edge against what lies outside it, and the
// overlap keeps those faded edges under the neighbour's solid middle, so
// no lighter line shows where two tiles meet (down to 1/16 of the size,
// which covers drawing any picture into our 4096-pixel render box).
constexpr int kEmfMaxTileSide = 4096;
constexpr int kEmfTileOverlap = 32;

QList<QRect> emfTiles(const QSize &size)
{
    auto spans = [](int length) {
        constexpr int step = kEmfMaxTileSide - kEmfTileOverlap;
        const int pieces = length <= kEmfMaxTileSide ? 1 : (length + step - 1) / step;
        QList<std::pair<int, int>> out; // first pixel, count
        for (int i = 0; i < pieces; ++i) {
            const int begin = int(qint64(i) * length / pieces);
            const int end = int(qint64(i + 1) * length / pieces);
            const int first = i ? begin - kEmfTileOverlap : begin;
            out.append({first, end - first});
        }
        return out;
    };
    QList<QRect> tiles;
    const auto columns = spans(size.width());
    for (const auto &[top, height] : spans(size.height())) {
        for (const auto &[left, width] : columns)
            tiles.append(QRect(left, top, width, height));
    }
    return tiles;
}

constexpr qint64 kEmfHeaderBytes = 108;
constexpr qint64 kEmfStretchFixed = 80;
constexpr qint64 kEmfEofBytes = 20;

qint64 emfStretchBytes(const QRect &tile)
{
    return kEmfStretchFixed + kInfoHeaderSize + dibStride(tile.width()) * tile.height();
}

qint64 emfBytes(const QSize &size)
{
    qint64 total = kEmfHeaderBytes + kEmfEofBytes;
    for (const QRect &tile : emfTiles(size))
        total += emfStretchBytes(tile);
    return total;
}

QByteArray wmf(const QImage &rgb)
{
    const int w = rgb.width();
    const int h = rgb.height();
    // libwmf, behind our WMF reader, draws nothing of a bitmap one pixel
    // wide or tall (its resampling reads the missing neighbour and gives up
    // on the row). Such a side is stored twice over and drawn into its one
    // pixel: every reader's stretch of two equal pixels gives that pixel.
    const QImage bitmap = (w == 1 || h == 1) ? rgb.scaled(w == 1 ? 2 : w, h == 1 ? 2 : h) : rgb;
    const int bw = bitmap.width();
    const int bh = bitmap.height();
    const qint64 dibBytes = kInfoHeaderSize + dibStride(bw) * bh;
    // Record sizes count 16-bit words.
    const qint64 stretchWords = 3 + 2 + 1 + 8 + dibBytes / 2;
    const qint64 headerWords = 9;
    const qint64 orgWords = 5;
    const qint64 extWords = 5;
    const qint64 eofWords = 3;
    const qint64 totalWords = headerWords + orgWords + extWords + stretchWords + eofWords;

    Writer out(22 + totalWords * 2);
    // Placeable header: the picture's extent in units of 1/96 inch.
    const quint16 words[10] = {0xCDD7, 0x9AC6, 0, 0, 0, quint16(w), quint16(h), kDpi, 0, 0};
    quint16 checksum = 0;
    for (quint16 v : words)
        checksum ^= v;
    for (quint16 v : words)
        out.u16(v);
    out.u16(checksum);

    out.u16(1); // in memory
    out.u16(quint32(headerWords));
    out.u16(0x0300);
    out.u32(quint32(totalWords));
    out.u16(0); // objects
    out.u32(quint32(stretchWords));
    out.u16(0);

    out.u32(quint32(orgWords)); // META_SETWINDOWORG y, x
    out.u16(0x020B);
    out.u16(0);
    out.u16(0);
    out.u32(quint32(extWords)); // META_SETWINDOWEXT y, x
    out.u16(0x020C);
    out.u16(quint32(h));
    out.u16(quint32(w));

    out.u32(quint32(stretchWords)); // META_STRETCHDIB
    out.u16(0x0F43);
    out.u32(kSrcCopy);
    out.u16(0);           // DIB_RGB_COLORS
    out.u16(quint32(bh)); // source height, width, y, x
    out.u16(quint32(bw));
    out.u16(0);
    out.u16(0);
    out.u16(quint32(h)); // destination height, width, y, x
    out.u16(quint32(w));
    out.u16(0);
    out.u16(0);
    appendDib(out, bitmap, bitmap.rect());

    out.u32(quint32(eofWords)); // META_EOF
    out.u16(0);
    return std::move(out.bytes());
}

QByteArray emf(const QImage &rgb)
{
    const int w = rgb.width();
    const int h = rgb.height();
    const QList<QRect> tiles = emfTiles(rgb.size());
    const qint64 total = emfBytes(rgb.size());
    // A reference device of 10 x 10 inches at 96 dpi.
    constexpr int deviceMm = 254;
    constexpr int devicePixels = 10 * kDpi;

    Writer out(total);
    out.u32(1); // EMR_HEADER
    out.u32(quint32(kEmfHeaderBytes));
    // Bounds in device pixels. Windows reads them as inclusive, libemf2svg
    // as exclusive and scales the drawing by them; one pixel more than the
    // picture keeps libemf2svg at 1:1 and only loosens the bound for Windows.
    out.s32(0);
    out.s32(0);
    out.s32(w);
    out.s32(h);
    out.s32(0); // frame, 0.01 mm, inclusive
    out.s32(0);
    out.s32(qint32((qint64(w) * 2540 + kDpi / 2) / kDpi) - 1);
    out.s32(qint32((qint64(h) * 2540 + kDpi / 2) / kDpi) - 1);
    out.u32(0x464D4520); // " EMF"
    out.u32(0x00010000);
    out.u32(quint32(total));
    out.u32(quint32(2 + tiles.size())); // records
    out.u16(1);                         // handles (the reserved one)
    out.u16(0);
    out.u32(0); // description
    out.u32(0);
    out.u32(0); // palette entries
    out.s32(devicePixels);
    out.s32(devicePixels);
    out.s32(deviceMm);
    out.s32(deviceMm);
    out.u32(0); // pixel format
    out.u32(0);
    out.u32(0); // OpenGL
    out.s32(deviceMm * 1000);
    out.s32(deviceMm * 1000);

    for (const QRect &tile : tiles) {
        const qint64 stretchBytes = emfStretchBytes(tile);
        out.u32(81); // EMR_STRETCHDIBITS
        out.u32(quint32(stretchBytes));
        out.s32(tile.left()); // bounds, as the header's
        out.s32(tile.top());
        out.s32(tile.left() + tile.width());
        out.s32(tile.top() + tile.height());
        out.s32(tile.left()); // destination x, y
        out.s32(tile.top());
        out.s32(0); // source x, y, width, height
        out.s32(0);
        out.s32(tile.width());
        out.s32(tile.height());
        out.u32(quint32(kEmfStretchFixed)); // bitmap info offset and size
        out.u32(kInfoHeaderSize);
        out.u32(quint32(kEmfStretchFixed + kInfoHeaderSize)); // bits offset and size
        out.u32(quint32(stretchBytes - kEmfStretchFixed - kInfoHeaderSize));
        out.u32(0); // DIB_RGB_COLORS
        out.u32(kSrcCopy);
        out.s32(tile.width()); // destination width, height
        out.s32(tile.height());
        appendDib(out, rgb, tile);
    }

    out.u32(14); // EMR_EOF
    out.u32(quint32(kEmfEofBytes));
    out.u32(0);
    out.u32(16);
    out.u32(quint32(kEmfEofBytes));
    return std::move(out.bytes());
}

} // namespace

QByteArray encodeMetafile(const QImage &image, FormatCode code, const WriteOptions &,
                          QString *error)
{
    auto failed = [error](const QString &message) {
        if (error)
            *error = message;
        return QByteArray();
    };
    if (code != FormatCode::Wmf && code != FormatCode::Emf)
        return failed(QStringLiteral("This format is not a metafile."));
    QImage rgb = pixels::flattenedOnWhite(image);
    if (code == FormatCode::Wmf && (rgb.width() > kWmfMaxSide || rgb.height() > kWmfMaxSide)) {
        // A WMF cannot address more: the nearest it can hold is the picture
        // scaled to fit.
        rgb = rgb.scaled(QSize(kWmfMaxSide, kWmfMaxSide), Qt::KeepAspectRatio,
                         Qt::SmoothTransformation);
    }
    rgb = rgb.convertToFormat(QImage::Format_RGB32);
    if (rgb.isNull())
        return failed(QStringLiteral("There is not enough memory to convert the image."));
    // Every size field of either format is 32 bits wide.
    const qint64 dibBytes = kInfoHeaderSize + dibStride(rgb.width()) * rgb.height();
    const qint64 fileBytes = code == FormatCode::Wmf ? dibBytes + 1024 : emfBytes(rgb.size());
    if (fileBytes > qint64(INT_MAX))
        return failed(QStringLiteral("The image is too large for a metafile."));
    return code == FormatCode::Wmf ? wmf(rgb) : emf(rgb);
}

} // namespace lumora::imaging::encoders
