#include "recorder/ui/recordingpanel.h"

#include "components/ledlabel.h"
#include "components/valuelabel.h"

#include <QFormLayout>

namespace kestrune {

RecordingPanel::RecordingPanel(QWidget *parent)
    : QGroupBox(QStringLiteral("Recording"), parent) {
    setObjectName(QStringLiteral("recordingPanel"));
    m_ledRecording = new LedLabel(QStringLiteral("*** RECORDING ***"), this);
    m_ledRecording->setObjectName(QStringLiteral("ledRecording"));
    m_ledRecording->hide();
    m_lblFileToRecord = valueLabel("lblFileToRecord", this);
    m_lblRecSize = valueLabel("lblRecSize", this);
    // The free space of the drive the recording goes to.
    m_freeSpace = valueLabel("Label3", this);
    m_lblFileToRecord->setText(QStringLiteral("None"));
    m_lblRecSize->setText(QStringLiteral("None"));
    auto *record = new QFormLayout(this);
    // File names and figures are long: below their captions when the panel is narrow.
    record->setRowWrapPolicy(QFormLayout::WrapLongRows);
    record->addRow(m_ledRecording);
    record->addRow(QStringLiteral("Recording to:"), m_lblFileToRecord);
    record->addRow(QStringLiteral("Recorded:"), m_lblRecSize);
    record->addRow(QStringLiteral("Space left on drive:"), m_freeSpace);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
}

void RecordingPanel::setLedVisible(bool visible) {
    m_ledRecording->setVisible(visible);
}

void RecordingPanel::blinkLed() {
    m_ledRecording->setLitColor(m_ledRecording->litColor() == LedLabel::BrightGreen
                                    ? LedLabel::DarkGreen
                                    : LedLabel::BrightGreen);
}

} // namespace kestrune
