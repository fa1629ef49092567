// The station directory's part of the main window: what to look for (genre and connection
// speed), the Get stations and paging buttons, and the station grid below them.
#pragma once

#include "components/lumaboxsignals.h"

#include <QWidget>

class QPushButton;

namespace kestrune {

class DirectoryController;
class StationGrid;

class DirectoryPanel : public QWidget {
    Q_OBJECT
public:
    // The two choice boxes come from `makeBox`; without the control library they are missing
    // (nullptr) and the row goes on without them.
    DirectoryPanel(const LumaboxFactory &makeBox, QWidget *parent = nullptr);

    // The buttons drive `controller`, and the rows, paging and button states it reports show
    // here.
    void attach(DirectoryController &controller);

    // Fills the bandwidth and genre lists and selects their first entries ("All Bitrates",
    // "Top 25 streams").
    void fillChoices();

    LumaKit::Lumabox *genreBox() const { return m_cmbGenre; }
    LumaKit::Lumabox *bandwidthBox() const { return m_cmbBandWidth; }
    QString genreText() const;
    QString bandwidthText() const;
    QPushButton *getStationsButton() const { return m_cmdGetStations; }
    QPushButton *previousButton() const { return m_cmdPrevious; }
    QPushButton *nextButton() const { return m_cmdNext; }
    StationGrid *grid() const { return m_grid; }

Q_SIGNALS:
    // The genre or the bandwidth box was clicked.
    void choiceClicked();

private:
    LumaKit::Lumabox *m_cmbGenre = nullptr;
    LumaKit::Lumabox *m_cmbBandWidth = nullptr;
    QPushButton *m_cmdGetStations = nullptr;
    QPushButton *m_cmdPrevious = nullptr;
    QPushButton *m_cmdNext = nullptr;
    StationGrid *m_grid = nullptr;
};

} // namespace kestrune
