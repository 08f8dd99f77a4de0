#include "UemfReader.h"

#include <uemf.h>
#include <uemf_safe.h>
#include <uwmf.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

namespace lumora::fuzz
{

namespace
{

// libUEMF exports a wmf_free() of its own, and libwmf's calls to libwmflite's
// wmf_free() would bind to it if libUEMF were linked ahead of libwmf (and
// crash). Loaded privately, it stays out of the process-wide symbol lookup.
struct Uemf {
    decltype(&::wmfheader_get) wmfheader_get;
    decltype(&::U_WMRRECSAFE_get) U_WMRRECSAFE_get;
    decltype(&::U_WMRSETWINDOWORG_get) U_WMRSETWINDOWORG_get;
    decltype(&::U_WMRSETWINDOWEXT_get) U_WMRSETWINDOWEXT_get;
    decltype(&::U_WMRSTRETCHDIB_get) U_WMRSTRETCHDIB_get;
    decltype(&::wget_DIB_params) wget_DIB_params;
    decltype(&::get_DIB_params) get_DIB_params;
    decltype(&::DIB_to_RGBA) DIB_to_RGBA;
    decltype(&::bitmapinfo_safe) bitmapinfo_safe;
    decltype(&::U_emf_record_safe) U_emf_record_safe;
};

const Uemf &uemf()
{
    static const Uemf functions = [] {
        void *lib = dlopen("libuemf.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            fprintf(stderr, "cannot load libUEMF: %s\n", dlerror());
            abort();
        }
        auto find = [lib](auto &slot, const char *name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(lib, name));
            if (!slot) {
                fprintf(stderr, "libUEMF has no %s\n", name);
                abort();
            }
        };
        Uemf u{};
        find(u.wmfheader_get, "wmfheader_get");
        find(u.U_WMRRECSAFE_get, "U_WMRRECSAFE_get");
        find(u.U_WMRSETWINDOWORG_get, "U_WMRSETWINDOWORG_get");
        find(u.U_WMRSETWINDOWEXT_get, "U_WMRSETWINDOWEXT_get");
        find(u.U_WMRSTRETCHDIB_get, "U_WMRSTRETCHDIB_get");
        find(u.wget_DIB_params, "wget_DIB_params");
        find(u.get_DIB_params, "get_DIB_params");
        find(u.DIB_to_RGBA, "DIB_to_RGBA");
        find(u.bitmapinfo_safe, "bitmapinfo_safe");
        find(u.U_emf_record_safe, "U_emf_record_safe");
        return u;
    }();
    return functions;
}

template <typename T> T at(const char *p)
{
    T value;
    memcpy(&value, p, sizeof value);
    return value;
}

// libUEMF's DIB decoding: pixel pointer and parameters from the BITMAPINFO,
// then RGBA rows in picture order.
QImage dibPixels(int kind, const char *px, const U_RGBQUAD *ct, uint32_t numCt, int width,
                 int height, uint32_t colortype, uint32_t invert, QString *problem)
{
    if (kind != U_BI_RGB) {
        *problem = QStringLiteral("the bitmap is not an uncompressed DIB (%1)").arg(kind);
        return {};
    }
    if (colortype != U_BCBM_COLOR24) {
        *problem = QStringLiteral("the bitmap has %1 bits a pixel, not 24").arg(colortype);
        return {};
    }
    if (width <= 0 || height <= 0) {
        *problem = QStringLiteral("the bitmap is %1 x %2").arg(width).arg(height);
        return {};
    }
    char *rgba = nullptr;
    if (uemf().DIB_to_RGBA(px, ct, int(numCt), &rgba, width, height, colortype, int(numCt),
                           int(invert)) != 0 ||
        !rgba) {
        *problem = QStringLiteral("libUEMF could not unpack the bitmap");
        return {};
    }
    std::unique_ptr<char, decltype(&std::free)> owned(rgba, &std::free);
    QImage out(width, height, QImage::Format_RGB32);
    // DIB_to_RGBA gives the rows bottom first, as a bottom-up DIB stores them.
    for (int y = 0; y < height; ++y) {
        const auto *src =
            reinterpret_cast<const uchar *>(rgba) + qsizetype(height - 1 - y) * width * 4;
        auto *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < width; ++x)
            dst[x] = qRgb(src[4 * x], src[4 * x + 1], src[4 * x + 2]);
    }
    return out;
}

} // namespace

UemfReading readWmfWithUemf(const QByteArray &file)
{
    UemfReading r;
    auto bad = [&r](const QString &why) {
        r.problem = why;
        return r;
    };
    const char *begin = file.constData();
    const char *end = begin + file.size();
    if (file.size() < 22 + 18)
        return bad(QStringLiteral("too short for a placeable header"));
    U_WMRPLACEABLE placeable{};
    U_WMRHEADER header{};
    const int headerBytes = uemf().wmfheader_get(begin, end, &placeable, &header);
    if (headerBytes <= 0)
        return bad(QStringLiteral("libUEMF does not take the header"));
    if (placeable.Key != 0x9AC6CDD7)
        return bad(QStringLiteral("no placeable header"));
    quint16 checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= at<quint16>(begin + 2 * i);
    if (checksum != placeable.Checksum)
        return bad(QStringLiteral("placeable checksum %1, the words give %2")
                       .arg(placeable.Checksum)
                       .arg(checksum));
    if (placeable.HWmf != 0 || placeable.Reserved != 0)
        return bad(QStringLiteral("placeable reserved fields are not zero"));
    r.frame =
        QSize(placeable.Dst.right - placeable.Dst.left, placeable.Dst.bottom - placeable.Dst.top);
    r.unitsPerInch = placeable.Inch;
    if (header.iType != 1 && header.iType != 2)
        return bad(QStringLiteral("header type %1").arg(header.iType));
    if (header.Size16w != 9)
        return bad(QStringLiteral("header size %1 words").arg(header.Size16w));
    if (header.version != 0x0300 && header.version != 0x0100)
        return bad(QStringLiteral("version %1").arg(header.version, 0, 16));
    const quint32 totalWords = quint32(header.Sizew[0]) | quint32(header.Sizew[1]) << 16;
    if (qint64(totalWords) * 2 != file.size() - 22)
        return bad(QStringLiteral("header says %1 words, the file has %2")
                       .arg(totalWords)
                       .arg((file.size() - 22) / 2));
    if (header.nMembers != 0)
        return bad(QStringLiteral("header parameter count is not zero"));

    const char *p = begin + headerBytes;
    quint32 largest = 0;
    bool sawEof = false;
    while (p < end) {
        const size_t bytes = uemf().U_WMRRECSAFE_get(p, end);
        if (bytes == 0)
            return bad(QStringLiteral("libUEMF refuses the record at %1").arg(p - begin));
        const quint32 words = quint32(bytes / 2);
        largest = qMax(largest, words);
        const quint16 function = at<quint16>(p + 4);
        if (function == 0x0000) {
            sawEof = true;
            if (p + bytes != end)
                return bad(QStringLiteral("bytes after the end record"));
            break;
        }
        switch (function) {
        case 0x020B: { // SETWINDOWORG
            U_POINT16 origin{};
            if (!uemf().U_WMRSETWINDOWORG_get(p, &origin))
                return bad(QStringLiteral("window origin unreadable"));
            r.window.moveTopLeft(QPoint(origin.x, origin.y));
            break;
        }
        case 0x020C: { // SETWINDOWEXT
            U_POINT16 extent{};
            if (!uemf().U_WMRSETWINDOWEXT_get(p, &extent))
                return bad(QStringLiteral("window extent unreadable"));
            r.window.setSize(QSize(extent.x, extent.y));
            break;
        }
        case 0x0F43: { // STRETCHDIB
            U_POINT16 dst{}, cDst{}, src{}, cSrc{};
            uint16_t usage = 0;
            uint32_t rop = 0;
            const char *dib = nullptr;
            if (!uemf().U_WMRSTRETCHDIB_get(p, &dst, &cDst, &src, &cSrc, &usage, &rop, &dib) ||
                !dib)
                return bad(QStringLiteral("bitmap record unreadable"));
            if (usage != U_DIB_RGB_COLORS || rop != U_SRCCOPY)
                return bad(
                    QStringLiteral("bitmap record usage %1, rop %2").arg(usage).arg(rop, 0, 16));
            if (!uemf().bitmapinfo_safe(dib, p + bytes))
                return bad(QStringLiteral("bitmap header runs past its record"));
            UemfBitmap bitmap;
            bitmap.destination = QRect(dst.x, dst.y, cDst.x, cDst.y);
            bitmap.source = QRect(src.x, src.y, cSrc.x, cSrc.y);
            const char *px = nullptr;
            const U_RGBQUAD *ct = nullptr;
            uint32_t numCt = 0;
            int32_t width = 0, height = 0, colortype = 0, invert = 0;
            const int kind =
                uemf().wget_DIB_params(dib, &px, &ct, &numCt, &width, &height, &colortype, &invert);
            const qint64 stride = (qint64(width) * 24 + 31) / 32 * 4;
            if (!px || px + stride * qAbs(height) > p + bytes)
                return bad(QStringLiteral("bitmap rows run past their record"));
            bitmap.pixels = dibPixels(kind, px, ct, numCt, width, height, uint32_t(colortype),
                                      uint32_t(invert), &r.problem);
            if (!r.problem.isEmpty())
                return r;
            r.bitmaps.append(bitmap);
            break;
        }
        default:
            return bad(
                QStringLiteral("unexpected record %1").arg(function, 4, 16, QLatin1Char('0')));
        }
        p += bytes;
    }
    if (!sawEof)
        return bad(QStringLiteral("no end record"));
    if (r.bitmaps.isEmpty())
        return bad(QStringLiteral("no bitmap record"));
    if (header.maxSize != largest)
        return bad(QStringLiteral("header's largest record %1 words, really %2")
                       .arg(header.maxSize)
                       .arg(largest));
    return r;
}

UemfReading readEmfWithUemf(const QByteArray &file)
{
    UemfReading r;
    auto bad = [&r](const QString &why) {
        r.problem = why;
        return r;
    };
    const char *begin = file.constData();
    const char *end = begin + file.size();
    if (file.size() < qsizetype(sizeof(U_EMRHEADER)))
        return bad(QStringLiteral("too short for a header"));
    const auto header = at<U_EMRHEADER>(begin);
    if (header.emr.iType != U_EMR_HEADER || header.dSignature != U_ENHMETA_SIGNATURE)
        return bad(QStringLiteral("no EMF header"));
    if (header.nVersion != 0x00010000)
        return bad(QStringLiteral("version %1").arg(header.nVersion, 0, 16));
    if (header.nBytes != quint32(file.size()))
        return bad(QStringLiteral("header says %1 bytes, the file has %2")
                       .arg(header.nBytes)
                       .arg(file.size()));
    if (header.nHandles < 1 || header.sReserved != 0)
        return bad(QStringLiteral("handle count %1, reserved %2")
                       .arg(header.nHandles)
                       .arg(header.sReserved));
    if (header.nDescription != 0 || header.offDescription != 0)
        return bad(QStringLiteral("a description nobody wrote"));
    if (header.szlDevice.cx <= 0 || header.szlDevice.cy <= 0 || header.szlMillimeters.cx <= 0 ||
        header.szlMillimeters.cy <= 0)
        return bad(QStringLiteral("no reference device"));
    r.frame = QSize(qRound(double(header.rclFrame.right - header.rclFrame.left) *
                           header.szlDevice.cx / (header.szlMillimeters.cx * 100.0)),
                    qRound(double(header.rclFrame.bottom - header.rclFrame.top) *
                           header.szlDevice.cy / (header.szlMillimeters.cy * 100.0)));

    const char *p = begin;
    quint32 records = 0;
    bool sawEof = false;
    while (p + 8 <= end) {
        const auto emr = at<U_EMR>(p);
        if (emr.nSize < 8 || emr.nSize % 4 != 0 || qint64(emr.nSize) > end - p)
            return bad(QStringLiteral("record at %1 has size %2").arg(p - begin).arg(emr.nSize));
        if (!uemf().U_emf_record_safe(p))
            return bad(
                QStringLiteral("libUEMF refuses record %1 at %2").arg(emr.iType).arg(p - begin));
        ++records;
        if (records == 1 && emr.iType != U_EMR_HEADER)
            return bad(QStringLiteral("the first record is not the header"));
        if (emr.iType == U_EMR_EOF) {
            sawEof = true;
            const auto eof = at<U_EMREOF>(p);
            if (eof.cbPalEntries != header.nPalEntries)
                return bad(QStringLiteral("palette entries differ between header and end"));
            if (at<quint32>(p + emr.nSize - 4) != emr.nSize)
                return bad(QStringLiteral("end record's closing size %1, record %2")
                               .arg(at<quint32>(p + emr.nSize - 4))
                               .arg(emr.nSize));
            if (p + emr.nSize != end)
                return bad(QStringLiteral("bytes after the end record"));
            p += emr.nSize;
            break;
        }
        if (emr.iType == U_EMR_STRETCHDIBITS) {
            const auto rec = at<U_EMRSTRETCHDIBITS>(p);
            if (rec.iUsageSrc != U_DIB_RGB_COLORS || rec.dwRop != U_SRCCOPY)
                return bad(QStringLiteral("bitmap record usage %1, rop %2")
                               .arg(rec.iUsageSrc)
                               .arg(rec.dwRop, 0, 16));
            UemfBitmap bitmap;
            bitmap.destination = QRect(rec.Dest.x, rec.Dest.y, rec.cDest.x, rec.cDest.y);
            bitmap.source = QRect(rec.Src.x, rec.Src.y, rec.cSrc.x, rec.cSrc.y);
            const char *px = nullptr;
            const U_RGBQUAD *ct = nullptr;
            uint32_t numCt = 0, width = 0, height = 0, colortype = 0, invert = 0;
            const int kind = uemf().get_DIB_params(p, rec.offBitsSrc, rec.offBmiSrc, &px, &ct,
                                                   &numCt, &width, &height, &colortype, &invert);
            const qint64 stride = (qint64(width) * 24 + 31) / 32 * 4;
            if (qint64(rec.cbBitsSrc) < stride * height)
                return bad(QStringLiteral("bitmap byte count %1, rows need %2")
                               .arg(rec.cbBitsSrc)
                               .arg(stride * height));
            bitmap.pixels = dibPixels(kind, px, ct, numCt, int(width), int(height), colortype,
                                      invert, &r.problem);
            if (!r.problem.isEmpty())
                return r;
            r.bitmaps.append(bitmap);
        } else if (emr.iType != U_EMR_HEADER || records != 1) {
            return bad(QStringLiteral("unexpected record %1").arg(emr.iType));
        }
        p += emr.nSize;
    }
    if (!sawEof)
        return bad(QStringLiteral("no end record"));
    if (records != header.nRecords)
        return bad(QStringLiteral("header says %1 records, the file has %2")
                       .arg(header.nRecords)
                       .arg(records));
    if (r.bitmaps.isEmpty())
        return bad(QStringLiteral("no bitmap record"));
    return r;
}

} // namespace lumora::fuzz
