// Message boxes with an OK button and the program's title, as the program shows them. Their
// text is always plain: it may come from a server.
#pragma once

#include "core/usermessage.h"

#include <QString>

class QWidget;

namespace kestrune {

// Waits for the OK (start-up, before any window runs).
void showMessage(QWidget *parent, const QString &text);

// Shows the box and returns at once: what raised it may be a network handler, which must
// return before anything else happens. The box is named "message" and deletes itself.
void openMessage(QWidget *parent, const QString &text, MessageIcon icon = MessageIcon::None);

} // namespace kestrune
