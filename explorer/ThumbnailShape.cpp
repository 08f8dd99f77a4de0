#include "explorer/ThumbnailShape.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace lumora
{

int roundHalfEven(double x)
{
    const double fl = std::floor(x);
    const double diff = x - fl;
    if (diff > 0.5)
        return int(fl) + 1;
    if (diff < 0.5)
        return int(fl);
    const int f = int(fl);
    return (f % 2 == 0) ? f : f + 1;
}

ThumbnailGeometry thumbnailGeometry(QSize original)
{
    ThumbnailGeometry g;
    const double w = original.width();
    const double h = original.height();
    if (w <= 0 || h <= 0)
        return g;
    const double r = std::max(w, h) / std::min(w, h);
    if (r < kLongRatio) {
        g.scaled = QSize(kThumbSide, std::max(1, roundHalfEven(kThumbSide / w * h)));
        g.canvas = g.scaled;
        return g;
    }
    g.onWhiteSquare = true;
    g.canvas = QSize(kThumbSide, kThumbSide);
    if (w > h) {
        g.scaled = QSize(kThumbSide, std::max(1, roundHalfEven(kThumbSide * h / w)));
        g.offset = QPoint(0, roundHalfEven((kThumbSide - g.scaled.height()) / 2.0));
    } else {
        g.scaled = QSize(std::max(1, roundHalfEven(w / h * kThumbSide)), kThumbSide);
        g.offset = QPoint(roundHalfEven((kThumbSide - g.scaled.width()) / 2.0), 0);
    }
    return g;
}

QImage shapeThumbnail(const QImage &decoded, QSize original)
{
    if (decoded.isNull())
        return {};
    // A decoder that applied EXIF rotation may report the stored size; the
    // decoded picture's orientation is the one that counts.
    if ((decoded.width() > decoded.height()) != (original.width() > original.height()) &&
        decoded.width() != decoded.height())
        original.transpose();
    if (original.isEmpty())
        original = decoded.size();
    const ThumbnailGeometry g = thumbnailGeometry(original);
    if (!g.valid())
        return {};

    QImage scaled = decoded.size() == g.scaled
                        ? decoded
                        : decoded.scaled(g.scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (!g.onWhiteSquare) {
        const bool alpha = scaled.hasAlphaChannel();
        return scaled.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied
                                            : QImage::Format_RGB888);
    }
    QImage canvas(g.canvas, QImage::Format_RGB888);
    canvas.fill(Qt::white);
    QPainter p(&canvas);
    p.drawImage(g.offset, scaled);
    p.end();
    return canvas;
}

} // namespace lumora
