#include "imaging/DecodeSupport.h"
#include "imaging/FormatBytes.h"
#include "imaging/MetafileCodecs.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>

#include <QIODevice>
#include <QPainter>
#include <QtEndian>

#include <climits>
#include <cstring>

#include <memory>
#include <mutex>

namespace lumora::imaging
{

namespace
{

// libwmf keeps process-wide state (its font engine, error streams); one
// metafile at a time is plenty for a viewer.
std::mutex &wmfMutex()
{
    static std::mutex mutex;
    return mutex;
}

// A device-independent bitmap inside a record, at `at`, with `available`
// bytes left in its record. libwmf allocates for the header's palette and
// dimensions before it looks at the bytes, so a damaged header (a colour
// count in the billions, a picture of gigapixels) must not get through:
// everything the header declares has to be inside the record.
bool dibFits(const QByteArray &data, qsizetype at, qint64 available)
{
    using namespace bytes;
    const quint32 headerSize = le32(data, at);
    // libwmf's reader does not come back from a header size it does not know.
    const bool knownSize = headerSize == 12 || headerSize == 40 || headerSize == 52 ||
                           headerSize == 56 || headerSize == 64 || headerSize == 108 ||
                           headerSize == 124;
    if (!knownSize || headerSize > available)
        return false;
    const bool core = headerSize == 12;
    const qint64 width = core ? le16(data, at + 4) : les32(data, at + 4);
    const qint64 height = qAbs(core ? qint64(le16(data, at + 6)) : qint64(les32(data, at + 8)));
    const int planes = core ? le16(data, at + 8) : le16(data, at + 12);
    const int bits = core ? le16(data, at + 10) : le16(data, at + 14);
    const quint32 compression = core ? 0 : le32(data, at + 16);
    const quint32 colorsUsed = headerSize >= 36 ? le32(data, at + 32) : 0;
    const bool bitsOk = bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 ||
                        bits == 32 || (bits == 0 && (compression == 4 || compression == 5));
    if (width <= 0 || height <= 0 || planes != 1 || !bitsOk ||
        !support::fitsBudget(
            QSize(int(qMin<qint64>(width, INT_MAX)), int(qMin<qint64>(height, INT_MAX)))))
        return false;
    const qint64 entries = colorsUsed ? colorsUsed : bits >= 1 && bits <= 8 ? 1 << bits : 0;
    qint64 needed = headerSize + entries * (core ? 3 : 4);
    if (headerSize == 40 && (compression == 3 || compression == 6))
        needed += compression == 3 ? 12 : 16; // colour masks after the header
    if (compression == 0)                     // BI_RGB: every row is there
        needed += (width * qMax(bits, 1) + 31) / 32 * 4 * height;
    return needed <= available;
}

// Where the bitmap starts in the records that carry one, or 0.
qsizetype dibOffset(const QByteArray &data, qsizetype record, quint32 words, quint16 function)
{
    using namespace bytes;
    switch (function) {
    case 0x0F43: // META_STRETCHDIB
        return 28;
    case 0x0D33: // META_SETDIBTODEV
        return 24;
    case 0x0B41: // META_DIBSTRETCHBLT; the short form has no bitmap
        return words == 3 + 11 ? 0 : 26;
    case 0x0940: // META_DIBBITBLT, likewise
        return words == 3 + 9 ? 0 : 22;
    case 0x0142: // META_DIBCREATEPATTERNBRUSH; BS_PATTERN holds an old bitmap
        return le16(data, record + 6) == 3 ? 0 : 10;
    default:
        return 0;
    }
}

// libwmf's bitmap interpolation never finishes for a stretched bitmap whose
// destination is mirrored both ways (negative width and height), so such a
// record is refused; one negative extent mirrors as it should.
bool mirroredBothWays(const QByteArray &data, qsizetype record, quint16 function)
{
    using namespace bytes;
    qsizetype heightAt = 0;
    if (function == 0x0F43) // META_STRETCHDIB: rop, usage, source rect, destination
        heightAt = record + 6 + 4 + 2 + 8;
    else if (function == 0x0B41) // META_DIBSTRETCHBLT: rop, source rect, destination
        heightAt = record + 6 + 4 + 8;
    else
        return false;
    return qint16(le16(data, heightAt)) < 0 && qint16(le16(data, heightAt + 2)) < 0;
}

// Walks the record chain before libwmf sees it, so a record that claims to
// run past the end of the file, or a bitmap larger than its record, never
// reaches the player. libwmf sizes its
// record buffer from the header's largest-record field, which a damaged
// file can set to gigabytes (or below a real record, overflowing the
// buffer): that field is rewritten with the largest record really there.
bool checkRecords(QByteArray &data)
{
    using namespace bytes;
    qsizetype pos = le32(data, 0) == 0x9AC6CDD7 ? 22 : 0;
    const quint16 headerWords = le16(data, pos + 2);
    if (headerWords != 9 || pos + 18 > data.size())
        return false;
    const qsizetype maxRecordAt = pos + 12;
    pos += 18;
    quint32 largest = 0;
    while (pos + 6 <= data.size()) {
        const quint32 words = le32(data, pos);
        const quint16 function = le16(data, pos + 4);
        if (function != 0 && (words < 3 || qint64(words) * 2 > data.size() - pos))
            return false;
        if (const qsizetype dib = dibOffset(data, pos, words, function);
            dib && !dibFits(data, pos + dib, qint64(words) * 2 - dib))
            return false;
        if (function != 0 && mirroredBothWays(data, pos, function))
            return false;
        largest = qMax(largest, function == 0 ? 3u : words);
        if (function == 0) { // META_EOF
            qToLittleEndian<quint32>(largest, data.data() + maxRecordAt);
            return true;
        }
        pos += qsizetype(words) * 2;
    }
    return false;
}

// libwmf hands back the PNG it wrote without its length; the chunk chain,
// which the encoder has just written correctly, ends with IEND.
qsizetype pngLength(const uchar *png)
{
    static const uchar signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (memcmp(png, signature, 8) != 0)
        return -1;
    qsizetype pos = 8;
    for (int chunks = 0; chunks < (1 << 20); ++chunks) {
        const quint32 length = qFromBigEndian<quint32>(png + pos);
        const bool end = memcmp(png + pos + 4, "IEND", 4) == 0;
        pos += 12 + qsizetype(length);
        if (end)
            return pos;
    }
    return -1;
}

struct ApiDeleter {
    void operator()(wmfAPI *api) const { wmf_api_destroy(api); }
};

} // namespace

DecodedImage decodeWmf(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options)
{
    using namespace support;
    QByteArray data = device.readAll();
    if (!checkRecords(data))
        return failure(damagedMessage());
    if (isCancelled(options))
        return failure(cancelledMessage());

    QImage page;
    QSize size;
    {
        std::lock_guard lock(wmfMutex());
        wmfAPI_Options apiOptions{};
        apiOptions.function = wmf_gd_function;
        const unsigned long flags =
            WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
        wmfAPI *raw = nullptr;
        const wmf_error_t created = wmf_api_create(&raw, flags, &apiOptions);
        std::unique_ptr<wmfAPI, ApiDeleter> api(raw);
        if (created != wmf_E_None || !api)
            return failure(QStringLiteral("The WMF renderer could not be started."));
        auto *gd = WMF_GD_GetData(api.get());
        if (!gd)
            return failure(QStringLiteral("The WMF renderer could not be started."));

        if (wmf_mem_open(api.get(), reinterpret_cast<unsigned char *>(data.data()),
                         long(data.size())) != wmf_E_None)
            return failure(damagedMessage());
        wmfD_Rect bounds{};
        if (wmf_scan(api.get(), 0, &bounds) != wmf_E_None)
            return failure(damagedMessage());
        unsigned int width = 0, height = 0;
        if (wmf_display_size(api.get(), &width, &height, 96, 96) != wmf_E_None)
            return failure(damagedMessage());
        size = QSize(int(qMin(width, 1u << 30)), int(qMin(height, 1u << 30)));
        if (size.isEmpty())
            return failure(damagedMessage());
        // A drawing can be rendered straight at the requested size.
        // Refused as any picture would be when its declared size is over the
        // budget; within it, drawn no larger than the render box.
        if (metafileTooLarge(size, options.scaledSize))
            return failure(tooLargeMessage(size));
        const QSize target = metafileTarget(size, options.scaledSize);

        // PNG to memory: the only output whose memory the library releases
        // itself (a gd image handed out is never freed, and libwmf exports
        // no way to free it).
        gd->type = wmf_gd_png;
        gd->flags |= WMF_GD_OUTPUT_MEMORY;
        gd->bbox = bounds;
        gd->width = unsigned(target.width());
        gd->height = unsigned(target.height());
        if (wmf_play(api.get(), 0, &bounds) != wmf_E_None || !gd->memory)
            return failure(damagedMessage());
        const qsizetype length = pngLength(reinterpret_cast<const uchar *>(gd->memory));
        if (length <= 0 ||
            !page.loadFromData(reinterpret_cast<const uchar *>(gd->memory), length, "png"))
            return failure(damagedMessage());
        wmf_mem_close(api.get());
    }

    DecodedImage out;
    out.format = entry.code;
    out.bitsPerPixel = 24;
    out.originalSize = size;
    QImage opaque(page.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    {
        QPainter painter(&opaque);
        painter.drawImage(0, 0, page);
    }
    out.pages << std::move(opaque);
    return out;
}

} // namespace lumora::imaging
