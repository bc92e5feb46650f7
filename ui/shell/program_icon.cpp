#include "shell/program_icon.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>

namespace {

// Drawn on a 256-unit square, scaled to each size.
constexpr qreal kDesign = 256;
const QColor kTileEdge(0x1b, 0x4f, 0x9c);
const QColor kTile(0x24, 0x66, 0xc4);
const QColor kLock(0xff, 0xff, 0xff);

QPixmap drawn(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kDesign, size / kDesign);
    painter.setPen(Qt::NoPen);

    painter.setBrush(kTileEdge);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);
    painter.setBrush(kTile);
    painter.drawRoundedRect(QRectF(20, 20, 216, 216), 34, 34);

    // The shackle, its right leg lifted out of the body: the lock is open.
    QPainterPath shackle;
    shackle.moveTo(88, 128);
    shackle.lineTo(88, 82);
    shackle.arcTo(QRectF(88, 38, 88, 88), 180, -180);
    shackle.lineTo(176, 100);
    painter.setPen(QPen(kLock, 22, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(shackle);

    painter.setPen(Qt::NoPen);
    painter.setBrush(kLock);
    painter.drawRoundedRect(QRectF(58, 120, 140, 100), 16, 16);

    painter.setBrush(kTileEdge);
    painter.drawEllipse(QPointF(128, 158), 15, 15);
    const QPointF keyhole[] = {{120, 162}, {136, 162}, {141, 198}, {115, 198}};
    painter.drawPolygon(keyhole, 4);
    return pixmap;
}

} // namespace

QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(drawn(size));
    }
    return icon;
}
