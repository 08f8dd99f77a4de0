#include "imaging/Codec.h"

#include "imaging/FormatBytes.h"
#include "imaging/QtCodec.h"

#include <array>

namespace lumora::imaging {

namespace {

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

bool isDibInfoHeader(quint32 size)
{
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 ||
           size == 124;
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
    const bool bitsOk = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 ||
                        bits == 32;
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

} // namespace

namespace {

const std::array kFormats{
    FormatSpec{FormatCode::Jpeg, "jpeg", isJpeg, decodeWithQt},
    FormatSpec{FormatCode::Png, "png", isPng, decodeWithQt},
    FormatSpec{FormatCode::Gif, "gif", isGif, decodeWithQt},
    FormatSpec{FormatCode::Tiff, "tiff", isTiff, decodeWithQt},
    FormatSpec{FormatCode::Dib, "bmp", isDibFile, decodeWithQt},
    FormatSpec{FormatCode::Bmp, "bmp", isBmp, decodeWithQt},
    FormatSpec{FormatCode::Ico, "ico", isIco, decodeWithQt},
    FormatSpec{FormatCode::Cur, "cur", isCur, decodeWithQt},
    // Formats without a magic come last and check their headers hard.
    FormatSpec{FormatCode::Wbmp, "wbmp", isWbmp, decodeWithQt},
    FormatSpec{FormatCode::Dib, "bmp", isHeaderlessDib, decodeHeaderlessDib},
};

} // namespace

const FormatSpec *findFormat(const QByteArray &head, const QString &suffix)
{
    for (const FormatSpec &spec : kFormats) {
        if (spec.matches(head, suffix))
            return &spec;
    }
    return nullptr;
}

} // namespace lumora::imaging
