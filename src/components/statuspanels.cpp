#include "components/statuspanels.h"

#include <QLabel>

namespace kestrune {

StatusPanels::StatusPanels(QWidget *parent)
    : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    setSizeGripEnabled(false);
    const std::array<int, PanelCount> stretch{3, 3, 2, 2};
    for (int i = 0; i < PanelCount; ++i) {
        auto *label = new QLabel(this);
        label->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i + 1));
        label->setTextFormat(Qt::PlainText);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        label->setMinimumWidth(60);
        addPermanentWidget(label, stretch[size_t(i)]);
        m_panels[size_t(i)] = label;
    }
}

QString StatusPanels::panelText(int panel) const {
    if (panel < 1 || panel > PanelCount)
        return QString();
    return m_panels[size_t(panel - 1)]->text();
}

void StatusPanels::setPanelText(int panel, const QString &text) {
    if (panel < 1 || panel > PanelCount)
        return;
    m_panels[size_t(panel - 1)]->setText(text);
}

} // namespace kestrune
