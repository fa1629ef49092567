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
    // A text equal to the one shown changes nothing; a new one repaints its panel only (the
    // panels' sizes follow the bar's width, never their texts, so the bar is not laid out
    // again for a figure that changes with every read from the network).
    void setPanelText(int panel, const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Shares the bar's width out by the panels' stretch and fixes each panel's size.
    void sizePanels();

    std::array<QLabel *, PanelCount> m_panels{};
};

} // namespace kestrune
