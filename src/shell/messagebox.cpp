#include "shell/messagebox.h"

#include "shell/version.h"

#include <QMessageBox>

namespace kestrune {

void showMessage(QWidget *parent, const QString &text) {
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace kestrune
