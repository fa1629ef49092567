#include "recorder/ui/recwarning.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrune {

namespace {

QLabel *line(const char *name, const QString &text, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    return label;
}

} // namespace

RecWarningDialog::RecWarningDialog(Kind kind, QWidget *parent)
    : QDialog(parent) {
    setObjectName(kind == Kind::StopRecording ? QStringLiteral("frmRecWarning")
                                              : QStringLiteral("frmRecWarning1"));
    setWindowTitle(QStringLiteral("Stop recording"));
    setModal(true);
    auto *layout = new QVBoxLayout(this);
    if (kind == Kind::StopRecording) {
        layout->addWidget(line(
            "Label1", QStringLiteral("You are currently recording music. Stop recording?"), this));
    } else {
        layout->addWidget(
            line("Label1", QStringLiteral("You are currently recording music."), this));
        layout->addWidget(line(
            "Label2", QStringLiteral("This action can interrupt the incoming audiostream"), this));
        layout->addWidget(line("Label3", QStringLiteral("Continue?"), this));
    }
    auto *yes = new QPushButton(QStringLiteral("&Yes"), this);
    yes->setObjectName(QStringLiteral("cmdOK"));
    auto *no = new QPushButton(QStringLiteral("No"), this);
    no->setObjectName(QStringLiteral("cmdCancel"));
    // Enter must not stop a recording by accident.
    no->setDefault(true);
    connect(yes, &QPushButton::clicked, this, &QDialog::accept);
    connect(no, &QPushButton::clicked, this, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addWidget(no);
    layout->addLayout(buttons);
}

} // namespace kestrune
