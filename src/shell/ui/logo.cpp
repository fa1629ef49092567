#include "shell/ui/logo.h"

#include <QPainter>
#include <QPainterPath>

namespace kestrune {

QPixmap logoPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;

    // A round dial in dusk colours with three broadcast arcs rising from a point.
    QRadialGradient dial(QPointF(s * 0.35, s * 0.3), s * 0.75);
    dial.setColorAt(0.0, QColor(0xF6, 0xA1, 0x4B));
    dial.setColorAt(1.0, QColor(0xB2, 0x3A, 0x48));
    p.setPen(Qt::NoPen);
    p.setBrush(dial);
    p.drawEllipse(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92));

    QPen arc(QColor(0xFF, 0xF8, 0xF0), qMax(1.0, s * 0.07), Qt::SolidLine, Qt::RoundCap);
    p.setPen(arc);
    p.setBrush(Qt::NoBrush);
    const QPointF origin(s * 0.5, s * 0.68);
    for (int i = 1; i <= 3; ++i) {
        const qreal r = s * 0.12 * i;
        p.drawArc(QRectF(origin.x() - r, origin.y() - r, 2 * r, 2 * r), 45 * 16, 90 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xF8, 0xF0));
    p.drawEllipse(origin, s * 0.06, s * 0.06);
    return pixmap;
}

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(logoPixmap(size));
    return icon;
}

} // namespace kestrune
