#include "imaging/TiffCodec.h"

#include "imaging/ColourManagement.h"
#include "imaging/DecodeSupport.h"
#include "imaging/TiffSamples.h"

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
    const qint64 base = whence == SEEK_CUR   ? qint64(m->pos)
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

// The bytes are in memory already. Mapped, libtiff also takes uncompressed
// tiles that tiffcp 4.5 writes and that the same libtiff refuses when it has
// to read them through readProc ("Invalid tile byte count").
int mapProc(thandle_t h, tdata_t *base, toff_t *size)
{
    auto *m = static_cast<Memory *>(h);
    *base = const_cast<char *>(m->data->constData()); // read-only use: the file is opened "r"
    *size = toff_t(m->data->size());
    return 1;
}

void unmapProc(thandle_t, tdata_t, toff_t) {}

int quietHandler(TIFF *, void *, const char *, const char *, va_list)
{
    return 1; // handled: nothing reaches the process-wide handlers
}

QByteArray directoryProfile(TIFF *tif)
{
    uint32_t length = 0;
    void *bytes = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_ICCPROFILE, &length, &bytes) || !bytes || length < 132 ||
        length > (16u << 20))
        return {};
    return QByteArray(static_cast<const char *>(bytes), qsizetype(length));
}

QImage readPage(TIFF *tif, int *bits, const QByteArray &profile)
{
    uint32_t width = 0, height = 0;
    uint16_t bps = 0, spp = 1;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    // Both are the file's to claim: 65535 samples of 65535 bits overflow int.
    *bits = int(qMin<qint64>(qint64(bps) * spp, INT_MAX));
    const QSize size(int(qMin<uint32_t>(width, INT_MAX)), int(qMin<uint32_t>(height, INT_MAX)));
    if (size.isEmpty() || !support::fitsBudget(size))
        return {};
    if (tiffSamplesReadable(tif)) {
        QImage own = readTiffSamples(tif, bits, profile);
        if (!own.isNull())
            return own;
    }
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message))
        return {};
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
    TIFF *tif = TIFFClientOpenExt("memory", "r", &memory, readProc, writeProc, seekProc, closeProc,
                                  sizeProc, mapProc, unmapProc, opts);
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
    uint16_t planar = PLANARCONFIG_CONTIG, spp = 1, photometric = PHOTOMETRIC_MINISBLACK;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFClose(tif);
    // Qt's reader drops the alpha of grey pictures, and its CMYK is a
    // plain ink formula where the inks deserve their profile.
    const bool greyWithExtra =
        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) && spp > 1;
    return planar == PLANARCONFIG_SEPARATE || greyWithExtra || photometric == PHOTOMETRIC_SEPARATED;
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
        uint16_t photometric = PHOTOMETRIC_MINISBLACK;
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        const QByteArray profile = directoryProfile(tif);
        QImage page = readPage(tif, &bits, profile);
        if (page.isNull())
            break;
        // CMYK pages come out in sRGB; other pages keep their profile.
        if (out.pages.isEmpty() && photometric != PHOTOMETRIC_SEPARATED &&
            colour::profileSpace(profile) != "CMYK" && colour::isUsable(profile))
            out.iccProfile = profile;
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

QByteArray tiffIccProfile(const QByteArray &data)
{
    Memory memory{&data};
    TIFF *tif = openMemory(memory);
    if (!tif)
        return {};
    QByteArray profile = directoryProfile(tif);
    TIFFClose(tif);
    return profile;
}

} // namespace lumora::imaging
