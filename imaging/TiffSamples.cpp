#include "imaging/TiffSamples.h"

#include "imaging/ColourManagement.h"
#include "imaging/DecodeSupport.h"

#include <QTransform>
#include <QtCore/qfloat16.h>
#include <QtGlobal>

#include <cstring>
#include <vector>

namespace lumora::imaging
{

namespace
{

enum class Kind { Unsigned, Signed, Float };

struct Layout {
    uint32_t width = 0, height = 0;
    uint16_t bps = 0, spp = 1;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    Kind kind = Kind::Unsigned;
    int colours = 1; // 1 grey or palette index, 3 RGB, 4 CMYK
    int alpha = -1;  // index of the alpha sample
    bool associated = false;

    bool separate() const { return planar == PLANARCONFIG_SEPARATE; }
    bool palette() const { return photometric == PHOTOMETRIC_PALETTE; }
};

bool readLayout(TIFF *tif, Layout &l)
{
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &l.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &l.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &l.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &l.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &l.planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &l.orientation);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &l.photometric))
        l.photometric = l.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (l.width == 0 || l.height == 0 || l.spp == 0 || l.bps == 0)
        return false;
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (compression == COMPRESSION_OJPEG)
        return false; // its codec hands over YCbCr whatever the tags say
    switch (l.photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
        l.colours = 1;
        break;
    case PHOTOMETRIC_PALETTE: {
        uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
        if (l.bps > 16 || !TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b))
            return false;
        l.colours = 1;
        break;
    }
    case PHOTOMETRIC_RGB:
        l.colours = 3;
        break;
    case PHOTOMETRIC_SEPARATED: {
        uint16_t inks = INKSET_CMYK;
        TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
        if (inks != INKSET_CMYK)
            return false;
        l.colours = 4;
        break;
    }
    default:
        return false; // YCbCr, CIE L*a*b*, LogLuv: the picture interface knows them
    }
    if (l.spp < l.colours)
        return false;
    uint16_t format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    if (l.palette()) {
        // An index is an index, whatever the sample format claims (ImageMagick
        // writes floating-point palette files that it reads this way).
        l.kind = Kind::Unsigned;
    } else if (format == SAMPLEFORMAT_UINT) {
        if (l.bps > 32)
            return false;
        l.kind = Kind::Unsigned;
    } else if (format == SAMPLEFORMAT_INT) {
        if (l.bps != 8 && l.bps != 16 && l.bps != 32)
            return false;
        l.kind = Kind::Signed;
    } else if (format == SAMPLEFORMAT_IEEEFP) {
        if (l.bps != 16 && l.bps != 32 && l.bps != 64)
            return false;
        l.kind = Kind::Float;
    } else {
        return false;
    }
    // The first extra sample is the alpha. Only one flagged associated holds
    // premultiplied colours: GraphicsMagick flags its straight alpha
    // "unspecified", and a fourth RGB sample without a tag is alpha too
    // (ImageMagick reads both so).
    if (l.spp > l.colours) {
        uint16_t count = 0;
        uint16_t *types = nullptr;
        TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &count, &types);
        if (count > 0 || (l.photometric == PHOTOMETRIC_RGB && l.spp == 4)) {
            l.alpha = l.colours;
            l.associated = count > 0 && types && types[0] == EXTRASAMPLE_ASSOCALPHA;
        }
    }
    return true;
}

// Samples of 8, 16, 24, 32 and 64 bits come from libtiff in the machine's
// byte order; other depths are a bit stream, most significant bit first.
template <typename T> T nativeAt(const uchar *row, qint64 i)
{
    T v;
    std::memcpy(&v, row + i * qint64(sizeof(T)), sizeof(T));
    return v;
}

quint32 bitsAt(const uchar *row, qint64 i, int bps)
{
    if (bps == 24) {
        const uchar *p = row + i * 3;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
        return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16;
#else
        return quint32(p[0]) << 16 | quint32(p[1]) << 8 | quint32(p[2]);
#endif
    }
    quint64 v = 0;
    const qint64 bit = i * bps;
    for (int b = 0; b < bps; ++b) {
        const qint64 at = bit + b;
        v = (v << 1) | ((row[at / 8] >> (7 - at % 8)) & 1);
    }
    return quint32(v);
}

uchar fraction(double f)
{
    if (!(f > 0)) // NaN too
        return 0;
    return f >= 1 ? 255 : uchar(f * 255 + 0.5);
}

// The first `count` samples of a row, each scaled to 0..255: unsigned over
// their full range, signed from zero to their largest positive value,
// floating point from 0 to 1.
void toBytes(const uchar *row, qint64 count, const Layout &l, uchar *out)
{
    switch (l.kind) {
    case Kind::Unsigned:
        if (l.bps == 8) {
            std::memcpy(out, row, size_t(count));
        } else if (l.bps == 16) {
            for (qint64 i = 0; i < count; ++i)
                out[i] = uchar((quint32(nativeAt<quint16>(row, i)) * 255 + 32767) / 65535);
        } else if (l.bps == 32) {
            for (qint64 i = 0; i < count; ++i)
                out[i] =
                    uchar((quint64(nativeAt<quint32>(row, i)) * 255 + 0x7FFFFFFF) / 0xFFFFFFFFu);
        } else {
            const quint64 top = (quint64(1) << l.bps) - 1;
            for (qint64 i = 0; i < count; ++i)
                out[i] = uchar((quint64(bitsAt(row, i, l.bps)) * 255 + top / 2) / top);
        }
        break;
    case Kind::Signed:
        for (qint64 i = 0; i < count; ++i) {
            const qint64 v = l.bps == 8    ? nativeAt<qint8>(row, i)
                             : l.bps == 16 ? nativeAt<qint16>(row, i)
                                           : nativeAt<qint32>(row, i);
            const qint64 top = (qint64(1) << (l.bps - 1)) - 1;
            out[i] = v <= 0 ? 0 : uchar((v * 255 + top / 2) / top);
        }
        break;
    case Kind::Float:
        for (qint64 i = 0; i < count; ++i) {
            const double f = l.bps == 16   ? double(float(nativeAt<qfloat16>(row, i)))
                             : l.bps == 32 ? double(nativeAt<float>(row, i))
                                           : nativeAt<double>(row, i);
            out[i] = fraction(f);
        }
        break;
    }
}

void toIndices(const uchar *row, qint64 count, int bps, quint32 *out)
{
    for (qint64 i = 0; i < count; ++i)
        out[i] = bps == 8 ? row[i] : bps == 16 ? nativeAt<quint16>(row, i) : bitsAt(row, i, bps);
}

QList<QRgb> colourMap(TIFF *tif, int bps)
{
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b);
    const int n = 1 << bps;
    // Some writers store 8-bit entries although the field holds 16 bits.
    bool eightBit = true;
    for (int i = 0; i < n && eightBit; ++i)
        eightBit = r[i] < 256 && g[i] < 256 && b[i] < 256;
    const int shift = eightBit ? 0 : 8;
    QList<QRgb> map(n);
    for (int i = 0; i < n; ++i)
        map[i] = qRgb(r[i] >> shift, g[i] >> shift, b[i] >> shift);
    return map;
}

inline void setChannel(QRgb &p, int shift, uchar v)
{
    p = (p & ~(0xFFu << shift)) | (QRgb(v) << shift);
}

QImage upright(const QImage &image, uint16_t orientation)
{
    switch (orientation) {
    case ORIENTATION_TOPRIGHT:
        return image.mirrored(true, false);
    case ORIENTATION_BOTRIGHT:
        return image.mirrored(true, true);
    case ORIENTATION_BOTLEFT:
        return image.mirrored(false, true);
    case ORIENTATION_LEFTTOP:
        return image.transformed(QTransform().rotate(90)).mirrored(true, false);
    case ORIENTATION_RIGHTTOP:
        return image.transformed(QTransform().rotate(90));
    case ORIENTATION_RIGHTBOT:
        return image.transformed(QTransform().rotate(90)).mirrored(false, true);
    case ORIENTATION_LEFTBOT:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
    }
}

} // namespace

bool tiffSamplesReadable(TIFF *tif)
{
    Layout l;
    return readLayout(tif, l);
}

QImage readTiffSamples(TIFF *tif, int *bits, const QByteArray &cmykProfile)
{
    Layout l;
    if (!readLayout(tif, l))
        return {};
    *bits = int(l.bps) * int(l.spp);
    const QSize size(int(qMin<uint32_t>(l.width, INT_MAX)), int(qMin<uint32_t>(l.height, INT_MAX)));
    if (!support::fitsBudget(size))
        return {};

    const bool tiled = TIFFIsTiled(tif);
    uint32_t chunkWidth = l.width, chunkHeight = l.height;
    if (tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &chunkWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &chunkHeight);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &chunkHeight);
        chunkHeight = qMin(chunkHeight, l.height);
    }
    const tmsize_t chunkSize = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
    const tmsize_t rowBytes = tiled ? TIFFTileRowSize(tif) : TIFFScanlineSize(tif);
    const qint64 rowSamples = qint64(chunkWidth) * (l.separate() ? 1 : l.spp);
    // One strip or tile is held beside the picture: half the budget at most.
    if (chunkWidth == 0 || chunkHeight == 0 || chunkSize <= 0 || chunkSize > kMaxDecodedBytes / 2 ||
        rowBytes <= 0 || (rowSamples * l.bps + 7) / 8 > rowBytes ||
        qint64(rowBytes) * chunkHeight > qint64(chunkSize) || rowSamples > kMaxDecodedBytes / 8)
        return {};

    QImage image(size, QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    image.fill(qRgba(0, 0, 0, 255));
    std::vector<uchar> black; // CMYK: the K samples until all planes are in
    if (l.colours == 4)
        black.assign(size_t(l.width) * l.height, 0);
    const QList<QRgb> map = l.palette() ? colourMap(tif, l.bps) : QList<QRgb>();
    std::vector<uchar> chunk(static_cast<size_t>(chunkSize));
    std::vector<uchar> values(static_cast<size_t>(rowSamples));
    std::vector<quint32> indices(l.palette() ? size_t(rowSamples) : 0);
    const bool invert = l.photometric == PHOTOMETRIC_MINISWHITE;
    static const int kShift[3] = {16, 8, 0}; // R, G, B within a QRgb

    bool any = false;
    const int planes = l.separate() ? l.spp : 1;
    for (int plane = 0; plane < planes; ++plane) {
        const int firstSample = l.separate() ? plane : 0;
        const int lastSample = l.separate() ? plane + 1 : l.spp;
        const int step = l.separate() ? 1 : l.spp;
        for (uint32_t cy = 0; cy < l.height; cy += chunkHeight) {
            for (uint32_t cx = 0; cx < l.width; cx += chunkWidth) {
                const tmsize_t got =
                    tiled
                        ? TIFFReadEncodedTile(tif, TIFFComputeTile(tif, cx, cy, 0, uint16_t(plane)),
                                              chunk.data(), chunkSize)
                        : TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, cy, uint16_t(plane)),
                                               chunk.data(), chunkSize);
                if (got <= 0)
                    continue; // a damaged strip or tile stays black; the rest still shows
                const uint32_t rows = qMin(chunkHeight, l.height - cy);
                const uint32_t cols = qMin(chunkWidth, l.width - cx);
                const uint32_t usable =
                    tiled ? rows : qMin<uint32_t>(rows, uint32_t(got / rowBytes));
                const qint64 count = qint64(cols) * step;
                for (uint32_t r = 0; r < usable; ++r) {
                    const uchar *row = chunk.data() + qint64(r) * rowBytes;
                    toBytes(row, count, l, values.data());
                    if (l.palette())
                        toIndices(row, count, l.bps, indices.data());
                    const uint32_t y = cy + r;
                    QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(int(y))) + cx;
                    uchar *k = l.colours == 4 ? black.data() + qint64(y) * l.width + cx : nullptr;
                    for (uint32_t x = 0; x < cols; ++x) {
                        for (int s = firstSample; s < lastSample; ++s) {
                            const qint64 at = qint64(x) * step + (s - firstSample);
                            const uchar v = values[size_t(at)];
                            if (s == l.alpha) {
                                setChannel(line[x], 24, v);
                            } else if (s >= l.colours) {
                                continue; // other extra samples mean nothing for display
                            } else if (l.palette()) {
                                line[x] = (line[x] & 0xFF000000u) |
                                          (map[indices[size_t(at)]] & 0x00FFFFFFu);
                            } else if (l.colours == 1) {
                                const uchar g = invert ? uchar(255 - v) : v;
                                line[x] = (line[x] & 0xFF000000u) | qRgb(g, g, g);
                            } else if (s < 3) {
                                setChannel(line[x], kShift[s], v);
                            } else {
                                k[x] = v;
                            }
                        }
                    }
                    any = true;
                }
            }
        }
    }
    if (!any)
        return {};

    if (l.colours == 4) {
        // The inks through the press profile, row by row; alpha stays.
        std::vector<uchar> inks(size_t(l.width) * 4);
        std::vector<QRgb> rgb(l.width);
        for (uint32_t y = 0; y < l.height; ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
            const uchar *k = black.data() + qint64(y) * l.width;
            for (uint32_t x = 0; x < l.width; ++x) {
                uchar *p = inks.data() + 4 * x;
                p[0] = uchar(qRed(line[x]));
                p[1] = uchar(qGreen(line[x]));
                p[2] = uchar(qBlue(line[x]));
                p[3] = k[x];
            }
            colour::cmykRowToSrgb(inks.data(), rgb.data(), int(l.width), cmykProfile, false);
            for (uint32_t x = 0; x < l.width; ++x)
                line[x] = (rgb[x] & 0x00FFFFFFu) | (line[x] & 0xFF000000u);
        }
    }
    if (l.alpha < 0) {
        image.reinterpretAsFormat(QImage::Format_RGB32);
    } else if (l.associated) {
        // A colour above its alpha cannot be premultiplied; damaged or
        // lossy data gets the nearest value that can.
        for (int y = 0; y < image.height(); ++y) {
            QRgb *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int a = qAlpha(line[x]);
                line[x] = qRgba(qMin(qRed(line[x]), a), qMin(qGreen(line[x]), a),
                                qMin(qBlue(line[x]), a), a);
            }
        }
        image.reinterpretAsFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return upright(image, l.orientation);
}

} // namespace lumora::imaging
