#include "imaging/Codec.h"

#include "imaging/BmpCodec.h"
#include "imaging/FormatBytes.h"
#include "imaging/IconCodec.h"
#include "imaging/ImageEncoders.h"
#include "imaging/MagickCodec.h"
#include "imaging/MetafileCodecs.h"
#include "imaging/PhotoCodecs.h"
#include "imaging/PsdComposite.h"
#include "imaging/QtCodec.h"
#include "imaging/TiffCodec.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <climits>

namespace lumora::imaging
{

namespace
{

using namespace bytes;

bool isJpeg(const QByteArray &h, const QString &)
{
    return h.startsWith("\xFF\xD8\xFF");
}

bool isPng(const QByteArray &h, const QString &)
{
    return h.startsWith("\x89PNG\r\n\x1A\n");
}

bool isGif(const QByteArray &h, const QString &)
{
    return h.startsWith("GIF87a") || h.startsWith("GIF89a");
}

bool isTiff(const QByteArray &h, const QString &)
{
    return h.startsWith(QByteArray("II*\0", 4)) || h.startsWith(QByteArray("MM\0*", 4)) ||
           h.startsWith(QByteArray("II+\0", 4)) || h.startsWith(QByteArray("MM\0+", 4));
}

// Windows headers (40, 52, 56, 108, 124) and OS/2's: 12 bytes for 1.x,
// anything from 16 to 64 for 2.x, which may cut its header short.
bool isDibInfoHeader(quint32 size)
{
    return size == 12 || (size >= 16 && size <= 64) || size == 108 || size == 124;
}

bool isBmp(const QByteArray &h, const QString &)
{
    return h.startsWith("BM") && isDibInfoHeader(le32(h, 14));
}

// A ".dib" file with the usual BMP file header: the same decoder, but the
// status bar says what the file is called.
bool isDibFile(const QByteArray &h, const QString &suffix)
{
    return suffix == QLatin1String("dib") && isBmp(h, suffix);
}

// A bare BITMAPINFOHEADER with no file header in front: no magic, so the
// header has to look entirely sane.
bool isHeaderlessDib(const QByteArray &h, const QString &)
{
    const quint32 size = le32(h, 0);
    if (!isDibInfoHeader(size) || size == 12)
        return false;
    const qint32 width = les32(h, 4);
    const qint32 height = les32(h, 8);
    const int planes = le16(h, 12);
    const int bits = le16(h, 14);
    const quint32 compression = le32(h, 16);
    const bool bitsOk =
        bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    return width > 0 && width < (1 << 20) && height != 0 && height > -(1 << 20) &&
           height < (1 << 20) && planes == 1 && bitsOk && compression <= 6;
}

bool isIconDirectory(const QByteArray &h, int type)
{
    return le16(h, 0) == 0 && le16(h, 2) == type && le16(h, 4) > 0 && h.size() >= 22 &&
           u8(h, 9) == 0; // the reserved byte of the first entry
}

bool isIco(const QByteArray &h, const QString &)
{
    return isIconDirectory(h, 1);
}

bool isCur(const QByteArray &h, const QString &)
{
    return isIconDirectory(h, 2);
}

// WBMP type 0 has no magic: a zero type and header byte, then the size as
// two multi-byte integers. Only taken when the name says so.
bool isWbmp(const QByteArray &h, const QString &suffix)
{
    if (suffix != QLatin1String("wbmp") || h.size() < 4 || u8(h, 0) != 0 || u8(h, 1) != 0)
        return false;
    qsizetype pos = 2;
    for (int field = 0; field < 2; ++field) {
        quint32 value = 0;
        int digits = 0;
        quint8 b = 0;
        do {
            if (pos >= h.size() || ++digits > 4)
                return false;
            b = u8(h, pos++);
            value = (value << 7) | (b & 0x7F);
        } while (b & 0x80);
        if (value == 0)
            return false;
    }
    return true;
}

bool isPsd(const QByteArray &h, const QString &)
{
    return h.startsWith("8BPS") && (le16(h, 4) == 0x0100 || le16(h, 4) == 0x0200);
}

// Kodak Photo CD keeps its mark 2048 bytes in.
bool isPcd(const QByteArray &h, const QString &)
{
    return h.mid(2048, 7) == "PCD_IPI";
}

// PCX: one weak marker byte, so the rest of the header must agree.
bool isPcx(const QByteArray &h, const QString &)
{
    if (h.size() < 128 || u8(h, 0) != 0x0A || u8(h, 2) > 1)
        return false;
    const int version = u8(h, 1);
    const int bits = u8(h, 3);
    const bool versionOk = version == 0 || (version >= 2 && version <= 5);
    const bool bitsOk = bits == 1 || bits == 2 || bits == 4 || bits == 8;
    const int planes = u8(h, 65);
    return versionOk && bitsOk && planes >= 1 && planes <= 4 && le16(h, 8) >= le16(h, 4) &&
           le16(h, 10) >= le16(h, 6);
}

// TGA has no magic at the start (only an optional footer): trust the name,
// then insist on a header that makes sense.
bool isTga(const QByteArray &h, const QString &suffix)
{
    static const QStringList names{QStringLiteral("tga"), QStringLiteral("vda"),
                                   QStringLiteral("icb"), QStringLiteral("vst")};
    if (!names.contains(suffix) || h.size() < 18)
        return false;
    const int mapType = u8(h, 1);
    const int type = u8(h, 2);
    const int bits = u8(h, 16);
    const bool typeOk =
        type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
    const bool mapOk = mapType == 1 || (mapType == 0 && type != 1 && type != 9);
    const bool bitsOk = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
    return typeOk && mapOk && bitsOk && le16(h, 12) > 0 && le16(h, 14) > 0;
}

bool isWmf(const QByteArray &h, const QString &)
{
    if (le32(h, 0) == 0x9AC6CDD7)
        return true; // placeable header
    const quint16 type = le16(h, 0);
    const quint16 version = le16(h, 4);
    return (type == 1 || type == 2) && le16(h, 2) == 9 && (version == 0x0100 || version == 0x0300);
}

bool isEmf(const QByteArray &h, const QString &)
{
    return le32(h, 0) == 1 && le32(h, 40) == 0x464D4520; // EMR_HEADER, " EMF"
}

quint32 be32(const QByteArray &h, qsizetype offset)
{
    return (quint32(u8(h, offset)) << 24) | (quint32(u8(h, offset + 1)) << 16) |
           (quint32(u8(h, offset + 2)) << 8) | u8(h, offset + 3);
}

QSize clampedSize(qint64 width, qint64 height)
{
    return QSize(int(std::clamp<qint64>(width, 0, INT_MAX)),
                 int(std::clamp<qint64>(height, 0, INT_MAX)));
}

QSize pngSize(const QByteArray &h)
{
    return clampedSize(be32(h, 16), be32(h, 20));
}

QSize gifSize(const QByteArray &h)
{
    return clampedSize(le16(h, 6), le16(h, 8));
}

QSize bmpInfoSize(const QByteArray &h, qsizetype info)
{
    if (le32(h, info) == 12)
        return clampedSize(le16(h, info + 4), le16(h, info + 6));
    return clampedSize(qAbs(qint64(les32(h, info + 4))), qAbs(qint64(les32(h, info + 8))));
}

QSize bmpSize(const QByteArray &h)
{
    return bmpInfoSize(h, 14);
}

QSize dibSize(const QByteArray &h)
{
    return bmpInfoSize(h, 0);
}

QSize psdSize(const QByteArray &h)
{
    return clampedSize(be32(h, 18), be32(h, 14));
}

QSize pcxSize(const QByteArray &h)
{
    return clampedSize(qint64(le16(h, 8)) - le16(h, 4) + 1, qint64(le16(h, 10)) - le16(h, 6) + 1);
}

QSize tgaSize(const QByteArray &h)
{
    return clampedSize(le16(h, 12), le16(h, 14));
}

// A ".dib" may carry the usual BMP file header or none at all.
QSize dibDeclaredSize(const QByteArray &h)
{
    return h.startsWith("BM") ? bmpSize(h) : dibSize(h);
}

} // namespace

namespace
{

// Formats with weak or no magic (PCX, TGA, WBMP, a DIB without file header)
// check their headers hard and only after every strong test failed.
const std::array kFormats{
    FormatSpec{.code = FormatCode::Jpeg,
               .shortName = "jpg",
               .names = "jpg jpeg",
               .qtName = "jpeg",
               .magickName = "JPEG",
               .matches = isJpeg,
               .decode = decodeWithQt,
               .encode = encoders::encodeWithQt,
               .saveFilterName = "Joint Photographic Experts Group  <JPG>"},
    FormatSpec{.code = FormatCode::Png,
               .shortName = "png",
               .names = "png",
               .qtName = "png",
               .magickName = "PNG",
               .matches = isPng,
               .decode = decodePng,
               .declaredSize = pngSize,
               .encode = encoders::encodePng,
               .saveFilterName = "Portable Network Graphics  <PNG>",
               .exactColours = true},
    FormatSpec{.code = FormatCode::Gif,
               .shortName = "gif",
               .names = "gif",
               .qtName = "gif",
               .magickName = "GIF",
               .matches = isGif,
               .decode = decodeGif,
               .declaredSize = gifSize},
    // Before TIFF, which most RAW files are underneath: the camera's
    // extension and a RAW header take the file to LibRaw.
    FormatSpec{.code = FormatCode::Raw,
               .shortName = "raw",
               .names = "raw",
               .matches = isCameraRaw,
               .decode = decodeRaw},
    // Never ImageMagick: its TIFF coder replaces libtiff's process-wide error
    // handlers, after which Qt's reader aborts.
    FormatSpec{.code = FormatCode::Tiff,
               .shortName = "tif",
               .names = "tif tiff",
               .qtName = "tiff",
               .matches = isTiff,
               .decode = decodeTiff,
               .encode = encoders::encodeWithQt,
               .saveFilterName = "Tagged Image File  <TIF>",
               .exactColours = true},
    // Before BMP: a ".dib" with a file header is decoded alike, but the
    // status bar says what the file is called.
    FormatSpec{.code = FormatCode::Dib,
               .shortName = "dib",
               .names = "dib",
               .qtName = "bmp",
               .magickName = "BMP",
               .matches = isDibFile,
               .matchesLast = isHeaderlessDib,
               .decode = decodeBmp,
               .declaredSize = dibDeclaredSize,
               .exactColours = true},
    FormatSpec{.code = FormatCode::Bmp,
               .shortName = "bmp",
               .names = "bmp",
               .qtName = "bmp",
               .magickName = "BMP",
               .matches = isBmp,
               .decode = decodeBmp,
               .declaredSize = bmpSize,
               .encode = encoders::encodeWithQt,
               .saveFilterName = "Windows Bitmap  <BMP>",
               .exactColours = true},
    FormatSpec{.code = FormatCode::Ico,
               .shortName = "ico",
               .names = "ico",
               .qtName = "ico",
               .magickName = "ICO",
               .matches = isIco,
               .decode = decodeIcon},
    FormatSpec{.code = FormatCode::Cur,
               .shortName = "cur",
               .names = "cur",
               .qtName = "cur",
               .magickName = "CUR",
               .matches = isCur,
               .decode = decodeIcon},
    FormatSpec{.code = FormatCode::Psd,
               .shortName = "psd",
               .names = "psd",
               .magickName = "PSD",
               .matches = isPsd,
               .decode = decodePsd,
               .declaredSize = psdSize,
               .encode = encoders::encodeWithMagick,
               .saveFilterName = "Photoshop  <PSD>",
               .exactColours = true},
    FormatSpec{.code = FormatCode::Wmf,
               .shortName = "wmf",
               .names = "wmf",
               .matches = isWmf,
               .decode = decodeWmf,
               .encode = encoders::encodeMetafile,
               .saveFilterName = "Windows Metafile  <WMF>"},
    FormatSpec{.code = FormatCode::Emf,
               .shortName = "emf",
               .names = "emf",
               .matches = isEmf,
               .decode = decodeEmf,
               .encode = encoders::encodeMetafile,
               .saveFilterName = "Windows Enhanced Metafile  <EMF>"},
    FormatSpec{.code = FormatCode::Pcd,
               .shortName = "pcd",
               .names = "pcd",
               .magickName = "PCD",
               .matches = isPcd,
               .decode = decodeWithMagick},
    FormatSpec{.code = FormatCode::Pcx,
               .shortName = "pcx",
               .names = "pcx",
               .magickName = "PCX",
               .matchesLast = isPcx,
               .decode = decodeWithMagick,
               .declaredSize = pcxSize,
               .encode = encoders::encodeWithMagick,
               .saveFilterName = "ZSoft PaintBrush  <PCX>",
               .exactColours = true},
    FormatSpec{.code = FormatCode::Tga,
               .shortName = "tga",
               .names = "tga",
               .magickName = "TGA",
               .matchesLast = isTga,
               .decode = decodeWithMagick,
               .declaredSize = tgaSize,
               .encode = encoders::encodeWithMagick,
               .saveFilterName = "Truevision Targa  <TGA>",
               .exactColours = true},
    FormatSpec{.code = FormatCode::Wbmp,
               .shortName = "wbmp",
               .names = "wbmp",
               .qtName = "wbmp",
               .magickName = "WBMP",
               .matchesLast = isWbmp,
               .decode = decodeWbmp,
               .encode = encoders::encodeWithQt,
               .saveFilterName = "Wireless Bitmap  <WBMP>"},
    // Today's formats, read only.
    FormatSpec{.code = FormatCode::Webp,
               .shortName = "webp",
               .names = "webp",
               .matches = isWebp,
               .decode = decodeWebp,
               .declaredSize = webpSize},
    // HEIF and AVIF share libheif; the codec checks the size libheif reads
    // from the item properties, which need not lie in the file's first bytes.
    FormatSpec{.code = FormatCode::Heif,
               .shortName = "heic",
               .names = "heic heif",
               .matches = isHeif,
               .decode = decodeHeif},
    FormatSpec{.code = FormatCode::Avif,
               .shortName = "avif",
               .names = "avif",
               .matches = isAvif,
               .decode = decodeHeif},
    // libjxl reports the size before it is given a buffer; the codec checks it there.
    FormatSpec{.code = FormatCode::Jxl,
               .shortName = "jxl",
               .names = "jxl",
               .matches = isJxl,
               .decode = decodeJxl},
};

} // namespace

std::span<const FormatSpec> formatTable()
{
    return kFormats;
}

const FormatSpec *findFormat(const QByteArray &head, const QString &suffix,
                             std::span<const FormatSpec> table)
{
    for (const FormatSpec &entry : table) {
        if (entry.matches && entry.matches(head, suffix))
            return &entry;
    }
    for (const FormatSpec &entry : table) {
        if (entry.matchesLast && entry.matchesLast(head, suffix))
            return &entry;
    }
    return nullptr;
}

const FormatSpec *formatRow(FormatCode code, std::span<const FormatSpec> table)
{
    for (const FormatSpec &entry : table) {
        if (entry.code == code)
            return &entry;
    }
    return nullptr;
}

const FormatSpec *formatNamed(const QString &name, std::span<const FormatSpec> table)
{
    const QString wanted = name.trimmed().toLower();
    if (wanted.isEmpty())
        return nullptr;
    for (const FormatSpec &entry : table) {
        const QStringList names = QString::fromLatin1(entry.names).split(QLatin1Char(' '));
        if (names.contains(wanted))
            return &entry;
    }
    return nullptr;
}

} // namespace lumora::imaging
