#include "imaging/DecodeSupport.h"
#include "imaging/FormatBytes.h"
#include "imaging/MetafileCodecs.h"

#include <emf2svg.h>

#include <QIODevice>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace lumora::imaging
{

namespace
{

constexpr quint32 kEmrHeader = 1;
constexpr quint32 kEmrEof = 14;

// libemf2svg has not been written with concurrent callers in mind.
std::mutex &emfMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Walks the records before the converter sees them: every record must be
// aligned, lie inside the file, and the chain must end in EMR_EOF.
bool recordsInBounds(const QByteArray &data)
{
    using namespace bytes;
    if (le32(data, 0) != kEmrHeader || le32(data, 40) != 0x464D4520)
        return false;
    qsizetype pos = 0;
    while (pos + 8 <= data.size()) {
        const quint32 type = le32(data, pos);
        const quint32 size = le32(data, pos + 4);
        if (size < 8 || size % 4 != 0 || qint64(size) > data.size() - pos)
            return false;
        if (type == kEmrEof)
            return true;
        pos += qsizetype(size);
    }
    return false;
}

// The picture's size in pixels of the reference device: the frame (0.01 mm)
// scaled by the device's pixels per millimetre, else the bounds.
QSize headerSize(const QByteArray &data)
{
    using namespace bytes;
    const qint64 frameWidth = qint64(les32(data, 32)) - les32(data, 24);
    const qint64 frameHeight = qint64(les32(data, 36)) - les32(data, 28);
    const qint32 devWidth = les32(data, 72), devHeight = les32(data, 76);
    const qint32 mmWidth = les32(data, 80), mmHeight = les32(data, 84);
    if (frameWidth > 0 && frameHeight > 0 && devWidth > 0 && devHeight > 0 && mmWidth > 0 &&
        mmHeight > 0) {
        const double w = double(frameWidth) * devWidth / (mmWidth * 100.0);
        const double h = double(frameHeight) * devHeight / (mmHeight * 100.0);
        if (w >= 0.5 && h >= 0.5 && w < 1e9 && h < 1e9)
            return QSize(int(std::lround(w)), int(std::lround(h)));
    }
    const qint64 width = qint64(les32(data, 16)) - les32(data, 8) + 1;
    const qint64 height = qint64(les32(data, 20)) - les32(data, 12) + 1;
    if (width > 0 && height > 0 && width < (1 << 30) && height < (1 << 30))
        return QSize(int(width), int(height));
    return {};
}

} // namespace

DecodedImage decodeEmf(QIODevice &device, const FormatSpec &entry, const DecodeOptions &options)
{
    using namespace support;
    QByteArray data = device.readAll();
    if (!recordsInBounds(data))
        return failure(damagedMessage());
    const QSize size = headerSize(data);
    if (size.isEmpty())
        return failure(damagedMessage());
    // Refused as any picture would be when its declared size is over the
    // budget; within it, drawn no larger than the render box.
    if (metafileTooLarge(size, options.scaledSize))
        return failure(tooLargeMessage(size));
    const QSize target = metafileTarget(size, options.scaledSize);
    if (isCancelled(options))
        return failure(cancelledMessage());

    QByteArray svg;
    {
        std::lock_guard lock(emfMutex());
        generatorOptions generator{};
        // No prefix: libemf2svg allocates the "prefix:" string it builds
        // from a namespace on every call and never frees it.
        generator.nameSpace = nullptr;
        generator.verbose = false;
        generator.emfplus = true;
        generator.svgDelimiter = true;
        generator.imgWidth = target.width();
        generator.imgHeight = target.height();
        char *out = nullptr;
        size_t length = 0;
        const int converted = emf2svg(data.data(), size_t(data.size()), &out, &length, &generator);
        std::unique_ptr<char, decltype(&std::free)> owned(out, &std::free);
        if (!converted || !out)
            return failure(damagedMessage());
        svg = QByteArray(out, qsizetype(length));
    }
    if (isCancelled(options))
        return failure(cancelledMessage());

    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return failure(damagedMessage());
    QImage page(target, QImage::Format_RGB32);
    // Inside the byte budget but past QImage's own limits (a row of more
    // than 2^31 bits): a header of 80 million x 1 pixels does that.
    if (page.isNull())
        return failure(tooLargeMessage(size));
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(target)));
    }

    DecodedImage out;
    out.format = entry.code;
    out.bitsPerPixel = 24;
    out.originalSize = size;
    out.pages << std::move(page);
    return out;
}

} // namespace lumora::imaging
