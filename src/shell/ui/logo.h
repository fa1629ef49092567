// The program's picture, drawn rather than shipped so it is sharp at every size.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kestrune {

QPixmap logoPixmap(int size);
QIcon programIcon();

} // namespace kestrune
