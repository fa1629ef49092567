#include "components/statuspanels.h"

#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QStyle>

#include <algorithm>
#include <utility>

namespace kestrune {

namespace {

// Each panel's share of the bar's width.
constexpr std::array<int, StatusPanels::PanelCount> Stretch{3, 3, 2, 2};
constexpr int MinimumPanelWidth = 60; // px
// What the bar's own layout keeps around and between its panels; a little more than it
// needs, so the fixed widths never push the bar wider than the window.
constexpr int BarMargin = 8;    // px, both ends together
constexpr int PanelSpacing = 7; // px, per panel

} // namespace

StatusPanels::StatusPanels(QWidget *parent)
    : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    setSizeGripEnabled(false);
    for (int i = 0; i < PanelCount; ++i) {
        auto *label = new QLabel(this);
        label->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i + 1));
        label->setTextFormat(Qt::PlainText);
        label->setFrameShape(QFrame::StyledPanel);
        label->setFrameShadow(QFrame::Sunken);
        addPermanentWidget(label, Stretch[size_t(i)]);
        m_panels[size_t(i)] = label;
    }
    sizePanels();
}

QString StatusPanels::panelText(int panel) const {
    if (panel < 1 || panel > PanelCount)
        return QString();
    const std::optional<QString> &waiting = m_waiting[size_t(panel - 1)];
    return waiting ? *waiting : m_panels[size_t(panel - 1)]->text();
}

void StatusPanels::setPanelText(int panel, const QString &text) {
    if (panel < 1 || panel > PanelCount)
        return;
    QLabel *label = m_panels[size_t(panel - 1)];
    if (window()->isMinimized()) {
        m_waiting[size_t(panel - 1)] = text;
        return;
    }
    m_waiting[size_t(panel - 1)].reset();
    if (label->text() != text)
        label->setText(text);
}

void StatusPanels::showWaitingTexts() {
    for (int panel = 1; panel <= PanelCount; ++panel) {
        if (std::optional<QString> text = std::exchange(m_waiting[size_t(panel - 1)], {}))
            setPanelText(panel, *text);
    }
}

void StatusPanels::resizeEvent(QResizeEvent *event) {
    QStatusBar::resizeEvent(event);
    sizePanels();
}

void StatusPanels::changeEvent(QEvent *event) {
    QStatusBar::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        sizePanels();
}

void StatusPanels::sizePanels() {
    // A label whose minimum and maximum sizes are equal does not ask its layout to run again
    // when its text changes; QLabel otherwise does so on every setText.
    const int frame = 2 * m_panels[0]->frameWidth();
    const int height = fontMetrics().height() + frame + 2;
    int total = 0;
    for (int s : Stretch)
        total += s;
    const int room = std::max(0, width() - BarMargin - PanelSpacing * PanelCount);
    for (int i = 0; i < PanelCount; ++i) {
        const int w = std::max(MinimumPanelWidth, room * Stretch[size_t(i)] / total);
        QLabel *label = m_panels[size_t(i)];
        if (label->minimumSize() != QSize(w, height) || label->maximumSize() != QSize(w, height))
            label->setFixedSize(w, height);
    }
}

} // namespace kestrune
