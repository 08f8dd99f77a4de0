#include "imaging/DecodeSupport.h"
#include "imaging/FormatBytes.h"
#include "imaging/MetafileCodecs.h"

#include <libwmf/api.h>
#include <libwmf/gd.h>

#include <QIODevice>

#include <memory>
#include <mutex>

namespace lumora::imaging {

namespace {

// libwmf keeps process-wide state (its font engine, error streams); one
// metafile at a time is plenty for a viewer.
std::mutex &wmfMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Walks the record chain before libwmf sees it, so a record that claims to
// run past the end of the file never reaches the player.
bool recordsInBounds(const QByteArray &data)
{
    using namespace bytes;
    qsizetype pos = le32(data, 0) == 0x9AC6CDD7 ? 22 : 0;
    const quint16 headerWords = le16(data, pos + 2);
    if (headerWords != 9 || pos + 18 > data.size())
        return false;
    pos += 18;
    while (pos + 6 <= data.size()) {
        const quint32 words = le32(data, pos);
        const quint16 function = le16(data, pos + 4);
        if (function == 0)
            return true; // META_EOF
        if (words < 3 || qint64(words) * 2 > data.size() - pos)
            return false;
        pos += qsizetype(words) * 2;
    }
    return false;
}

// gd's true colour pixels carry a 7-bit transparency (0 opaque, 127 clear).
QRgb flattenOnWhite(int pixel)
{
    const int clear = (pixel >> 24) & 0x7F;
    auto channel = [clear](int value) { return (value * (127 - clear) + 255 * clear) / 127; };
    return qRgb(channel((pixel >> 16) & 0xFF), channel((pixel >> 8) & 0xFF), channel(pixel & 0xFF));
}

struct ApiDeleter {
    void operator()(wmfAPI *api) const { wmf_api_destroy(api); }
};

} // namespace

DecodedImage decodeWmf(QIODevice &device, const FormatSpec &spec, const DecodeOptions &options)
{
    using namespace support;
    QByteArray data = device.readAll();
    if (!recordsInBounds(data))
        return failure(damagedMessage());
    if (isCancelled(options))
        return failure(cancelledMessage());

    QImage page;
    QSize size;
    {
        std::lock_guard lock(wmfMutex());
        wmfAPI_Options apiOptions{};
        apiOptions.function = wmf_gd_function;
        const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL |
                                    WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
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
        const QSize target = targetSize(size, options.scaledSize);
        if (!fitsBudget(target))
            return failure(tooLargeMessage(size));

        gd->type = wmf_gd_image;
        gd->bbox = bounds;
        gd->width = unsigned(target.width());
        gd->height = unsigned(target.height());
        if (wmf_play(api.get(), 0, &bounds) != wmf_E_None || !gd->gd_image)
            return failure(damagedMessage());
        const int *pixels = wmf_gd_image_pixels(gd->gd_image);
        if (!pixels)
            return failure(damagedMessage());
        page = QImage(target, QImage::Format_RGB32);
        for (int y = 0; y < target.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(page.scanLine(y));
            const int *source = pixels + qsizetype(y) * target.width();
            for (int x = 0; x < target.width(); ++x)
                line[x] = flattenOnWhite(source[x]);
        }
        wmf_mem_close(api.get());
    }

    DecodedImage out;
    out.format = spec.code;
    out.bitsPerPixel = 24;
    out.originalSize = size;
    out.pages << std::move(page);
    return out;
}

} // namespace lumora::imaging
