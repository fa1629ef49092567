// The main window's status bar: four text panels, numbered from 1 - state, ring-buffer
// fill, recording, download figure. Other parts of the program test panel 1's text.
#pragma once

#include <QStatusBar>

#include <array>

class QLabel;

namespace kestrune {

class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int PanelCount = 4;

    explicit StatusPanels(QWidget *parent = nullptr);

    QString panelText(int panel) const;
    void setPanelText(int panel, const QString &text);

private:
    std::array<QLabel *, PanelCount> m_panels{};
};

} // namespace kestrune
