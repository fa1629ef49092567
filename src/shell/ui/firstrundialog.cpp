#include "shell/ui/firstrundialog.h"

#include "components/twips.h"
#include "core/settings.h"
#include "core/version.h"
#include "shell/ui/controllibrary.h"
#include "shell/ui/logo.h"
#include "shell/ui/messagebox.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrune {

const QStringList &FirstRunDialog::SpeedEntries() {
    static const QStringList entries{
        QStringLiteral("Make a selection"), QStringLiteral("DSL/Cable/LAN"),
        QStringLiteral("28.8 modem"),       QStringLiteral("33.6 modem"),
        QStringLiteral("56k modem"),        QStringLiteral("128 Kbps ISDN"),
    };
    return entries;
}

FirstRunDialog::FirstRunDialog(const ControlLibrary &controls, const Settings &settings,
                               QWidget *parent)
    : QDialog(parent)
    , m_settings(settings) {
    setObjectName(QStringLiteral("frmFirst"));
    setWindowTitle(QStringLiteral("First time setup"));
    setWindowIcon(programIcon());
    setModal(true);
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSizeF(8.25);
    setFont(tahoma);

    // Decoration: a panel with the program's picture along the left edge.
    auto *panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("MMPanelX1"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setStyleSheet(
        QStringLiteral("#MMPanelX1 { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, "
                       "stop:0 #2B2D4F, stop:1 #C97B63); border: none; }"));
    auto *image = new QLabel(panel);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(logoPixmap(twipsToPixels(720, this)));
    auto *panelLayout = new QVBoxLayout(panel);
    panelLayout->addWidget(image, 0, Qt::AlignHCenter | Qt::AlignTop);
    panelLayout->addStretch();

    auto *prompt = new QLabel(QStringLiteral("Please select your bandwidth:"), this);
    auto *speedLabel = new QLabel(QStringLiteral("Connection speed:"), this);
    m_cmbSpeed = controls.createLumabox(this);
    if (m_cmbSpeed) {
        m_cmbSpeed->setObjectName(QStringLiteral("cmbSpeed"));
        m_cmbSpeed->Font(tahoma);
        for (const QString &entry : SpeedEntries())
            m_cmbSpeed->AddItem(entry);
        m_cmbSpeed->ListIndex(0);
        m_cmbSpeed->setMinimumWidth(twipsToPixels(2400, this));
    }

    auto *noteHead = new QLabel(QStringLiteral("Note:"), this);
    QFont bold = tahoma;
    bold.setBold(true);
    noteHead->setFont(bold);
    auto *note = new QLabel(
        QStringLiteral("To work properly, Kestrune requires an Internet connection."), this);
    note->setWordWrap(true);

    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto *cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(ok, &QPushButton::clicked, this, &FirstRunDialog::onOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *form = new QGridLayout;
    form->addWidget(prompt, 0, 0, 1, 2);
    form->addWidget(speedLabel, 1, 0);
    if (m_cmbSpeed)
        form->addWidget(m_cmbSpeed, 1, 1);
    form->addWidget(noteHead, 2, 0, Qt::AlignTop);
    form->addWidget(note, 2, 1);
    form->setRowStretch(3, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto *right = new QVBoxLayout;
    right->addLayout(form);
    right->addLayout(buttons);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(panel);
    layout->addLayout(right, 1);
    setFixedSize(sizeHint().expandedTo(QSize(twipsToPixels(6000, this), 0)));
}

void FirstRunDialog::onOk() {
    const QString speed = m_cmbSpeed ? m_cmbSpeed->Text() : QString();
    // An emptied edit field is no answer either: storing it would ask again at every start.
    if (speed == SpeedEntries().first() || speed.isEmpty()) {
        showMessage(this, QStringLiteral("Please select your connection speed"));
        return;
    }
    m_settings.setFirstSetup(speed);
    accept();
}

} // namespace kestrune
