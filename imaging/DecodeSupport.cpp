#include "imaging/DecodeSupport.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <atomic>
#include <limits>

namespace lumora::imaging::support
{

DecodedImage failure(const QString &message)
{
    DecodedImage out;
    out.error = message;
    return out;
}

QString notAnImageFile(const QString &path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return QStringLiteral("The file \"%1\" does not exist.").arg(path);
    if (info.isDir())
        return QStringLiteral("\"%1\" is a folder, not an image file.").arg(path);
    // A pipe or device would block or never end; images live in plain files.
    if (!info.isFile())
        return QStringLiteral("\"%1\" is not an image file.").arg(path);
    return {};
}

QString damagedMessage()
{
    return QStringLiteral("The image data is damaged or incomplete.");
}

QString truncatedDamage()
{
    return QStringLiteral("the file ends early; the rest of the picture is missing");
}

QString corruptDataDamage()
{
    return QStringLiteral("part of the image data is corrupt");
}

QString animationTooLargeNote()
{
    return QStringLiteral("This animation is too large to play: its first frame is shown.");
}

QString cancelledMessage()
{
    return QStringLiteral("Loading the image was cancelled.");
}

QString tooLargeMessage(const QSize &size)
{
    return QStringLiteral("The image is too large to open (%1 x %2 pixels; at most %3 MB of "
                          "image data can be held).")
        .arg(size.width())
        .arg(size.height())
        .arg(kMaxDecodedBytes >> 20);
}

qint64 decodedBytes(const QSize &size, int bitsPerPixel)
{
    if (size.width() <= 0 || size.height() <= 0)
        return -1;
    const qint64 rowBytes = (qint64(size.width()) * qMax(1, bitsPerPixel) + 31) / 32 * 4;
    // Headers can claim INT_MAX x INT_MAX at 64 bits a pixel, past qint64.
    if (rowBytes > std::numeric_limits<qint64>::max() / size.height())
        return std::numeric_limits<qint64>::max();
    return rowBytes * size.height();
}

bool implausiblyShort(qint64 bytesPresent, qint64 bytesDeclared, qint64 decodedBytes)
{
    constexpr qint64 kFloor = qint64(16) << 20;
    return decodedBytes > kFloor && bytesPresent < bytesDeclared / 8;
}

bool fitsBudget(const QSize &size, int bitsPerPixel)
{
    const qint64 bytes = decodedBytes(size, bitsPerPixel);
    return bytes > 0 && bytes <= kMaxDecodedBytes;
}

bool isCancelled(const DecodeOptions &options)
{
    return options.cancel && options.cancel->load(std::memory_order_relaxed);
}

QSize targetSize(const QSize &size, const QSize &box)
{
    if (!box.isValid() || box.isEmpty() || size.isEmpty())
        return size;
    if (size.width() <= box.width() && size.height() <= box.height())
        return size;
    QSize fitted = size.scaled(box, Qt::KeepAspectRatio);
    return fitted.expandedTo(QSize(1, 1));
}

QSize metafileTarget(const QSize &declared, const QSize &requested)
{
    return targetSize(targetSize(declared, kMetafileRenderBox), requested);
}

bool metafileTooLarge(const QSize &declared, const QSize &requested)
{
    // A thumbnail is drawn straight at its small size, whatever the claim.
    if (requested.isValid() && !requested.isEmpty())
        return !fitsBudget(targetSize(declared, requested));
    return !fitsBudget(declared) || declared.width() > kMetafileMaxSide ||
           declared.height() > kMetafileMaxSide;
}

void scalePages(DecodedImage &result, const DecodeOptions &options)
{
    if (!options.scaledSize.isValid())
        return;
    for (QImage &page : result.pages) {
        const QSize target = targetSize(page.size(), options.scaledSize);
        if (target != page.size())
            page = page.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
}

namespace
{
std::atomic<PageAllocator> pageAllocator{nullptr};
}

void setPageAllocator(PageAllocator allocator)
{
    pageAllocator = allocator;
}

QImage newPage(QSize size, QImage::Format format)
{
    const PageAllocator allocator = pageAllocator;
    if (!allocator || size.isEmpty() || format == QImage::Format_Invalid)
        return {};
    return allocator(size, format);
}

int storedDepth(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return 1;
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
    case QImage::Format_Alpha8:
        return 8;
    case QImage::Format_Grayscale16:
    case QImage::Format_RGB16:
    case QImage::Format_RGB555:
    case QImage::Format_RGB444:
        return 16;
    case QImage::Format_RGB32:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
    case QImage::Format_RGBX8888:
        return 24;
    case QImage::Format_RGBX64:
        return 48;
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
        return 64;
    case QImage::Format_Invalid:
        return 0;
    default:
        return 32;
    }
}

} // namespace lumora::imaging::support
