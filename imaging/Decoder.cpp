#include "imaging/Decoder.h"

#include "imaging/Codec.h"
#include "imaging/DecodeSupport.h"
#include "imaging/MagickCodec.h"
#include "imaging/PngRgb24.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>

namespace lumora::imaging
{

namespace
{

QString suffixOf(const QString &name)
{
    return QFileInfo(name).suffix().toLower();
}

} // namespace

DecodedImage decodeDeviceInProcess(QIODevice &device, const DecodeOptions &options,
                                   const QString &nameHint)
{
    using namespace support;
    if (isCancelled(options))
        return failure(cancelledMessage());
    const QByteArray head = device.peek(kSniffBytes);
    if (head.isEmpty())
        return failure(QStringLiteral("The file is empty."));
    const FormatSpec *entry = findFormat(head, suffixOf(nameHint));
    if (!entry)
        return failure(QStringLiteral("The file is not an image in a supported format."));
    if (entry->declaredSize) {
        const QSize declared = entry->declaredSize(head);
        if (declared.isEmpty())
            return failure(damagedMessage());
        if (!fitsBudget(declared, declaredBudgetBits(head)))
            return failure(tooLargeMessage(declared));
    }
    DecodedImage out = entry->decode(device, *entry, options);
    if (out.ok() && out.format == FormatCode::Unknown)
        out.format = entry->code;
    // Callers rely on a picture or a sentence: a codec that "succeeded"
    // with a null page (an allocation QImage refused) has failed.
    const auto isNull = [](const QImage &page) { return page.isNull(); };
    if (out.error.isEmpty() && std::any_of(out.pages.cbegin(), out.pages.cend(), isNull))
        out.error = damagedMessage();
    if (out.error.isEmpty() && out.pages.isEmpty())
        out.error = damagedMessage();
    if (!out.error.isEmpty())
        out.pages.clear();
    return out;
}

void applyDecodeLimits()
{
    // Qt's default (256 MB) refuses photos above about 67 megapixels; the cap
    // is ours so a 200-megapixel photo opens and a bogus header cannot make
    // a reader allocate without bound.
    QImageReader::setAllocationLimit(int(kMaxDecodedBytes >> 20));
    initMagick();
}

FormatCode detectFormat(const QByteArray &head, const QString &nameHint)
{
    const FormatSpec *entry = findFormat(head, suffixOf(nameHint));
    return entry ? entry->code : FormatCode::Unknown;
}

DecodedImage decodeDataInProcess(const QByteArray &data, const DecodeOptions &options,
                                 const QString &nameHint)
{
    QBuffer buffer;
    buffer.setData(data); // shares the bytes, no copy
    buffer.open(QIODevice::ReadOnly);
    return decodeDeviceInProcess(buffer, options, nameHint);
}

DecodedImage decodeFileInProcess(const QString &path, const DecodeOptions &options)
{
    using support::failure;
    if (const QString why = support::notAnImageFile(path); !why.isEmpty())
        return failure(why);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(
            QStringLiteral("The file \"%1\" cannot be read: %2.").arg(path, file.errorString()));
    return decodeDeviceInProcess(file, options, path);
}

QImage largestPage(const DecodedImage &decoded)
{
    if (decoded.pages.isEmpty())
        return {};
    // Icons hold several sizes; the picture loader hands over the largest.
    const QImage *best = &decoded.pages.front();
    for (const QImage &page : decoded.pages) {
        if (qint64(page.width()) * page.height() > qint64(best->width()) * best->height())
            best = &page;
    }
    return *best;
}

} // namespace lumora::imaging
