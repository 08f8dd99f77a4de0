#include "viewer/ToolbarIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace lumora
{

namespace
{
const QColor kInk(0xe8, 0xea, 0xed);
const QColor kAccent(0x8a, 0xb4, 0xf8);

void magnifier(QPainter &p, bool plus)
{
    p.drawEllipse(QRectF(5, 5, 16, 16));
    p.drawLine(QPointF(19, 19), QPointF(27, 27));
    p.drawLine(QPointF(9, 13), QPointF(17, 13));
    if (plus)
        p.drawLine(QPointF(13, 9), QPointF(13, 17));
}

void draw(QPainter &p, const QString &key)
{
    QPen pen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    if (key == QLatin1String("open32")) {
        QPainterPath folder;
        folder.moveTo(4, 9);
        folder.lineTo(12, 9);
        folder.lineTo(14, 12);
        folder.lineTo(27, 12);
        folder.lineTo(27, 25);
        folder.lineTo(4, 25);
        folder.closeSubpath();
        p.drawPath(folder);
        p.setPen(QPen(kAccent, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(16, 22), QPointF(16, 15));
        p.drawPolyline(QPolygonF({QPointF(12.5, 18), QPointF(16, 14.5), QPointF(19.5, 18)}));
    } else if (key == QLatin1String("browsed32")) {
        for (int r = 0; r < 2; ++r)
            for (int c = 0; c < 2; ++c)
                p.drawRoundedRect(QRectF(5 + c * 12, 5 + r * 12, 9, 9), 1.5, 1.5);
    } else if (key == QLatin1String("previous32")) {
        p.drawPolyline(QPolygonF({QPointF(19, 6), QPointF(9, 16), QPointF(19, 26)}));
    } else if (key == QLatin1String("next32")) {
        p.drawPolyline(QPolygonF({QPointF(13, 6), QPointF(23, 16), QPointF(13, 26)}));
    } else if (key == QLatin1String("slidshow32")) {
        p.setBrush(kAccent);
        p.setPen(QPen(kAccent, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolygon(QPolygonF({QPointF(10, 6), QPointF(25, 16), QPointF(10, 26)}));
    } else if (key == QLatin1String("zoomin32")) {
        magnifier(p, true);
    } else if (key == QLatin1String("zoomiout32")) {
        magnifier(p, false);
    } else if (key == QLatin1String("fullscreen32")) {
        const QPolygonF corner({QPointF(5, 12), QPointF(5, 5), QPointF(12, 5)});
        for (int i = 0; i < 4; ++i) {
            p.save();
            p.translate(16, 16);
            p.rotate(90.0 * i);
            p.translate(-16, -16);
            p.drawPolyline(corner);
            p.restore();
        }
    }
}
} // namespace

QIcon toolbarIcon(const QString &key)
{
    QIcon icon;
    for (int scale : {1, 2}) {
        QPixmap pm(32 * scale, 32 * scale);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        draw(p, key);
        p.end();
        pm.setDevicePixelRatio(scale);
        icon.addPixmap(pm);
    }
    return icon;
}

} // namespace lumora
