// Plain message boxes with an OK button and the program's title, as the program shows them.
#pragma once

#include <QString>

class QWidget;

namespace kestrune {

void showMessage(QWidget *parent, const QString &text);

} // namespace kestrune
