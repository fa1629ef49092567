#include "shell/ui/messagebox.h"

#include "core/version.h"

#include <QMessageBox>

namespace kestrune {

void showMessage(QWidget *parent, const QString &text) {
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle, text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace kestrune
