// A label showing a value that came from outside (a server, a file): never markup, and
// selectable so it can be copied.
#pragma once

#include <QLabel>

namespace kestrune {

inline QLabel *valueLabel(const char *objectName, QWidget *parent) {
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(objectName));
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(40);
    return label;
}

} // namespace kestrune
