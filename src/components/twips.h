// Window layouts are designed in twips (1/1440 inch); widgets want device-independent pixels.
#pragma once

#include <QtMath>
#include <QWidget>

namespace kestrune {

inline int twipsToPixels(int twips, const QWidget *widget) {
    return qRound(twips * widget->logicalDpiX() / 1440.0);
}

inline int twipsToPixelsY(int twips, const QWidget *widget) {
    return qRound(twips * widget->logicalDpiY() / 1440.0);
}

} // namespace kestrune
