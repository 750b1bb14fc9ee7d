#include "gui/StationIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace StationIcon {

QPixmap pixmap(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    // All drawing in a 64 x 64 box.
    p.scale(size / 64.0, size / 64.0);

    // The tile.
    p.setPen(QPen(QColor(0x12, 0x3f, 0x7a), 2));
    p.setBrush(QColor(0x2f, 0x7f, 0xd8));
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // The thermometer: a white tube with a red column and bulb.
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), 2.5));
    p.setBrush(Qt::white);
    QPainterPath tube;
    tube.addRoundedRect(QRectF(16, 7, 14, 40), 7, 7);
    tube.addEllipse(QPointF(23, 48), 10, 10);
    p.drawPath(tube.simplified());
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd8, 0x1e, 0x1e));
    p.drawRoundedRect(QRectF(20, 22, 6, 26), 3, 3);
    p.drawEllipse(QPointF(23, 48), 6.5, 6.5);

    // The drop of dew.
    QPainterPath drop;
    drop.moveTo(46, 14);
    drop.cubicTo(50, 24, 56, 28, 56, 35);
    drop.arcTo(QRectF(36, 25, 20, 20), 0, -180);
    drop.cubicTo(36, 28, 42, 24, 46, 14);
    p.setPen(QPen(QColor(0x0c, 0x2a, 0x52), 2));
    p.setBrush(QColor(0xbf, 0xe6, 0xff));
    p.drawPath(drop);
    p.end();
    return pm;
}

QIcon icon()
{
    QIcon result;
    for (int size : {16, 22, 24, 32, 48, 64})
        result.addPixmap(pixmap(size));
    return result;
}

} // namespace StationIcon
