// The main window's status bar: four text panels, numbered from 1 - state, ring-buffer
// fill, recording, download figure. Other parts of the program test panel 1's text.
#pragma once

#include <QStatusBar>

#include <array>
#include <optional>

class QLabel;

namespace kestrune {

class StatusPanels : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int PanelCount = 4;

    explicit StatusPanels(QWidget *parent = nullptr);

    // The panel's latest text (also while it waits to be shown).
    QString panelText(int panel) const;
    // A text equal to the one shown changes nothing; a new one repaints its panel only (the
    // panels' sizes follow the bar's width, never their texts, so the bar is not laid out
    // again for a figure that changes with every read from the network).
    void setPanelText(int panel, const QString &text);
    // While the window is minimised a new text waits (nobody sees it, and painting it would
    // wake the program once a second for nothing); it is shown when the window comes back.
    void showWaitingTexts();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Shares the bar's width out by the panels' stretch and fixes each panel's size.
    void sizePanels();

    std::array<QLabel *, PanelCount> m_panels{};
    std::array<std::optional<QString>, PanelCount> m_waiting{}; // set while minimised
};

} // namespace kestrune
