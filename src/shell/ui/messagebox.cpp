#include "shell/ui/messagebox.h"

#include "core/version.h"

#include <QMessageBox>

namespace kestrune {

namespace {

QMessageBox *makeBox(QWidget *parent, const QString &text, MessageIcon icon) {
    const QMessageBox::Icon symbol =
        icon == MessageIcon::Information ? QMessageBox::Information : QMessageBox::NoIcon;
    auto *box = new QMessageBox(symbol, ProgramTitle, text, QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    return box;
}

} // namespace

void showMessage(QWidget *parent, const QString &text) {
    QMessageBox *box = makeBox(parent, text, MessageIcon::None);
    box->exec();
    delete box;
}

void openMessage(QWidget *parent, const QString &text, MessageIcon icon) {
    QMessageBox *box = makeBox(parent, text, icon);
    box->setObjectName(QStringLiteral("message"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace kestrune
