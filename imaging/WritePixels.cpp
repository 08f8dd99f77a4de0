#include "imaging/WritePixels.h"

#include <QPainter>

#include <algorithm>
#include <vector>

namespace lumora::imaging::pixels
{

bool isDeep(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_Grayscale16:
    case QImage::Format_BGR30:
    case QImage::Format_A2BGR30_Premultiplied:
    case QImage::Format_RGB30:
    case QImage::Format_A2RGB30_Premultiplied:
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return true;
    default:
        return false;
    }
}

bool isGreyFormat(const QImage &image)
{
    switch (image.format()) {
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
        return true;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        return image.isGrayscale(); // looks at the colour table only
    default:
        return false;
    }
}

QImage atEightBits(const QImage &image)
{
    if (!isDeep(image))
        return image;
    if (image.format() == QImage::Format_Grayscale16)
        return image.convertToFormat(QImage::Format_Grayscale8);
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                         : QImage::Format_RGB32);
}

QImage flattenedOnWhite(const QImage &image)
{
    if (isGreyFormat(image))
        return image.convertToFormat(QImage::Format_Grayscale8);
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage out(image.size(), QImage::Format_RGB32);
    if (out.isNull())
        return out;
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    out.fill(Qt::white);
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    painter.end();
    return out;
}

QImage bilevel(const QImage &image)
{
    const QImage grey = flattenedOnWhite(image).convertToFormat(QImage::Format_Grayscale8);
    if (grey.isNull())
        return {};
    const int w = grey.width();
    const int h = grey.height();
    QImage out(w, h, QImage::Format_Mono);
    if (out.isNull())
        return out;
    out.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    // Floyd-Steinberg with a serpentine scan (no drifting diagonal patterns).
    // Pure black and white produce no error, so they come through exactly.
    std::vector<int> current(size_t(w) + 2, 0);
    std::vector<int> next(size_t(w) + 2, 0);
    for (int y = 0; y < h; ++y) {
        const uchar *src = grey.constScanLine(y);
        uchar *dst = out.scanLine(y);
        std::fill(next.begin(), next.end(), 0);
        const bool leftToRight = (y % 2) == 0;
        for (int i = 0; i < w; ++i) {
            const int x = leftToRight ? i : w - 1 - i;
            const int dir = leftToRight ? 1 : -1;
            // Errors are kept in 1/16 units; index x+1 leaves room on both sides.
            const int value = std::clamp(int(src[x]) + current[size_t(x) + 1] / 16, 0, 255);
            const bool white = value >= 128;
            const int error = value - (white ? 255 : 0);
            if (white)
                dst[x >> 3] |= uchar(0x80 >> (x & 7));
            else
                dst[x >> 3] &= uchar(~(0x80 >> (x & 7)));
            current[size_t(x + dir) + 1] += error * 7;
            next[size_t(x - dir) + 1] += error * 3;
            next[size_t(x) + 1] += error * 5;
            next[size_t(x + dir) + 1] += error * 1;
        }
        std::swap(current, next);
    }
    return out;
}

} // namespace lumora::imaging::pixels
