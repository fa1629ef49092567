// A push button with the name tests and accessibility tools find it by. It never becomes a
// dialog's default on its own: Enter does not press whichever button last had the focus.
#pragma once

#include <QPushButton>

namespace kestrune {

inline QPushButton *namedButton(const char *objectName, const QString &caption,
                                QWidget *parent = nullptr) {
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(objectName));
    button->setAutoDefault(false);
    return button;
}

} // namespace kestrune
