#include "explorer/ExplorePictures.h"

#include <QPainter>
#include <QPainterPath>

namespace lumora
{

QImage ExplorePictures::folder()
{
    QImage img(150, 125, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(176, 128, 20), 2));
    QPainterPath back;
    back.moveTo(12, 30);
    back.lineTo(55, 30);
    back.lineTo(65, 18);
    back.lineTo(138, 18);
    back.lineTo(138, 110);
    back.lineTo(12, 110);
    back.closeSubpath();
    p.setBrush(QColor(232, 180, 60));
    p.drawPath(back);
    p.setBrush(QColor(250, 208, 96));
    p.drawRoundedRect(QRectF(8, 40, 134, 74), 4, 4);
    return img;
}

QImage ExplorePictures::loading()
{
    QImage img(125, 125, QImage::Format_RGB888);
    img.fill(QColor(236, 236, 236));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(200, 200, 200), 2));
    p.drawRect(QRectF(1, 1, 123, 123));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(170, 170, 170));
    for (int i = 0; i < 3; ++i)
        p.drawEllipse(QPointF(42.5 + 20 * i, 62.5), 5, 5);
    return img;
}

QImage ExplorePictures::cannotRead()
{
    QImage img(140, 140, QImage::Format_RGB888);
    img.fill(QColor(250, 250, 250));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(190, 190, 190), 2));
    p.drawRect(QRectF(1, 1, 138, 138));
    p.setPen(QPen(QColor(200, 40, 40), 8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(45, 45), QPointF(95, 95));
    p.drawLine(QPointF(95, 45), QPointF(45, 95));
    return img;
}

} // namespace lumora
