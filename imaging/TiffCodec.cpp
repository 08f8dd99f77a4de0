#include "imaging/TiffCodec.h"

#include "imaging/DecodeSupport.h"

#include <tiffio.h>

#include <QImage>

#include <cstring>

namespace lumora::imaging
{

namespace
{

struct Memory {
    const QByteArray *data;
    toff_t pos = 0;
};

tsize_t readProc(thandle_t h, tdata_t buf, tsize_t size)
{
    auto *m = static_cast<Memory *>(h);
    const toff_t total = toff_t(m->data->size());
    if (m->pos >= total || size <= 0)
        return 0;
    const tsize_t n = tsize_t(qMin<toff_t>(toff_t(size), total - m->pos));
    std::memcpy(buf, m->data->constData() + m->pos, size_t(n));
    m->pos += toff_t(n);
    return n;
}

tsize_t writeProc(thandle_t, tdata_t, tsize_t)
{
    return 0;
}

toff_t seekProc(thandle_t h, toff_t off, int whence)
{
    auto *m = static_cast<Memory *>(h);
    const qint64 base = whence == SEEK_CUR ? qint64(m->pos)
                        : whence == SEEK_END ? m->data->size()
                                             : 0;
    const qint64 to = base + qint64(off);
    if (to < 0)
        return toff_t(-1);
    m->pos = toff_t(to);
    return m->pos;
}

int closeProc(thandle_t)
{
    return 0;
}

toff_t sizeProc(thandle_t h)
{
    return toff_t(static_cast<Memory *>(h)->data->size());
}

int mapProc(thandle_t, tdata_t *, toff_t *)
{
    return 0;
}

void unmapProc(thandle_t, tdata_t, toff_t) {}

int quietHandler(TIFF *, void *, const char *, const char *, va_list)
{
    return 1; // handled: nothing reaches the process-wide handlers
}

// Unsigned samples of depths libtiff's picture interface refuses (12 bits,
// say), grey or RGB with optional alpha, in strips, chunky or planar.
QImage readSamples(TIFF *tif, uint32_t width, uint32_t height, uint16_t bps, uint16_t spp)
{
    uint16_t photometric = 0, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) || format != SAMPLEFORMAT_UINT ||
        bps == 0 || bps > 16 || TIFFIsTiled(tif))
        return {};
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
    if (!grey && photometric != PHOTOMETRIC_RGB)
        return {};
    const int colours = grey ? 1 : 3;
    if (spp < colours || spp > 8)
        return {};
    const bool alpha = spp > colours;
    const bool separate = planar == PLANARCONFIG_SEPARATE;
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    if (lineSize <= 0 || (qint64(width) * (separate ? 1 : spp) * bps + 7) / 8 > lineSize)
        return {};
    QImage image(int(width), int(height), QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    image.fill(qRgba(0, 0, 0, 255));
    QByteArray line(lineSize, '\0');
    const auto *bytes = reinterpret_cast<const uchar *>(line.constData());
    const quint32 top = (1u << bps) - 1;
    auto sampleAt = [&](qint64 index) {
        quint32 v = 0;
        const qint64 bit = index * bps;
        for (int b = 0; b < bps; ++b) {
            const qint64 at = bit + b;
            v = (v << 1) | ((bytes[at / 8] >> (7 - at % 8)) & 1);
        }
        return int((qint64(v) * 255 + top / 2) / top);
    };
    const int planes = separate ? spp : 1;
    for (int plane = 0; plane < planes; ++plane) {
        for (uint32_t y = 0; y < height; ++y) {
            if (TIFFReadScanline(tif, line.data(), y, uint16_t(plane)) < 0)
                return y > 0 ? image : QImage();
            QRgb *out = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
            for (uint32_t x = 0; x < width; ++x) {
                int c[4] = {qRed(out[x]), qGreen(out[x]), qBlue(out[x]), qAlpha(out[x])};
                for (int s = separate ? plane : 0; s < (separate ? plane + 1 : spp); ++s) {
                    const int v = sampleAt(separate ? x : qint64(x) * spp + s);
                    if (s < colours)
                        c[s] = photometric == PHOTOMETRIC_MINISWHITE ? 255 - v : v;
                    else if (s == colours && alpha)
                        c[3] = v;
                }
                if (grey)
                    c[1] = c[2] = c[0];
                out[x] = qRgba(c[0], c[1], c[2], c[3]);
            }
        }
    }
    return image;
}

QImage readPage(TIFF *tif, int *bits)
{
    uint32_t width = 0, height = 0;
    uint16_t bps = 0, spp = 1;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    *bits = int(bps) * int(spp);
    const QSize size(int(qMin<uint32_t>(width, INT_MAX)), int(qMin<uint32_t>(height, INT_MAX)));
    if (size.isEmpty() || !support::fitsBudget(size))
        return {};
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message))
        return readSamples(tif, width, height, bps, spp);
    QImage image(size, QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    auto *raster = reinterpret_cast<uint32_t *>(image.bits());
    if (!TIFFReadRGBAImageOriented(tif, width, height, raster, ORIENTATION_TOPLEFT, 0))
        return {};
    // libtiff packs R in the low byte; QImage's ARGB32 wants it in bits 16..23.
    const qsizetype count = qsizetype(width) * height;
    for (qsizetype i = 0; i < count; ++i) {
        const uint32_t p = raster[i];
        raster[i] = qRgba(int(TIFFGetR(p)), int(TIFFGetG(p)), int(TIFFGetB(p)), int(TIFFGetA(p)));
    }
    return image;
}

} // namespace

namespace
{

TIFF *openMemory(Memory &memory)
{
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(opts, quietHandler, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, quietHandler, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(kMaxDecodedBytes));
    TIFF *tif = TIFFClientOpenExt("memory", "rm", &memory, readProc, writeProc, seekProc,
                                  closeProc, sizeProc, mapProc, unmapProc, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

} // namespace

bool tiffPrefersLibtiff(const QByteArray &data)
{
    Memory memory{&data};
    TIFF *tif = openMemory(memory);
    if (!tif)
        return false;
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFClose(tif);
    return planar == PLANARCONFIG_SEPARATE;
}

DecodedImage decodeTiffWithLibtiff(const QByteArray &data, const DecodeOptions &options)
{
    using namespace support;
    Memory memory{&data};
    TIFF *tif = openMemory(memory);
    if (!tif)
        return failure(damagedMessage());
    DecodedImage out;
    out.format = FormatCode::Tiff;
    qint64 total = 0;
    do {
        if (isCancelled(options)) {
            TIFFClose(tif);
            return failure(cancelledMessage());
        }
        int bits = 0;
        QImage page = readPage(tif, &bits);
        if (page.isNull())
            break;
        total += page.sizeInBytes();
        if (total > kMaxDecodedBytes)
            break;
        if (out.pages.isEmpty()) {
            out.bitsPerPixel = bits;
            out.originalSize = page.size();
        }
        out.pages << std::move(page);
    } while (options.allPages && TIFFReadDirectory(tif));
    TIFFClose(tif);
    if (out.pages.isEmpty())
        return failure(damagedMessage());
    scalePages(out, options);
    return out;
}

} // namespace lumora::imaging
