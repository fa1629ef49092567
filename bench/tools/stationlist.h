// The first step of every window driver: Get stations, and wait for the grid to fill.
#pragma once

#include "directory/directorycontroller.h"
#include "directory/ui/stationgrid.h"
#include "shell/appmodel.h"
#include "shell/ui/mainwindow.h"
#include "waitfor.h"

#include <QPushButton>

namespace kestrune::bench {

// Presses Get stations; true once the grid holds more than `rows` rows, false after `ms`.
inline bool listStations(MainWindow &window, AppModel &model, int rows = 0, int ms = 20000) {
    window.findChild<QPushButton *>(QStringLiteral("cmdGetStations"))->click();
    return waitFor(
        &model.directory(), &DirectoryController::rowAdded,
        [&] { return window.stationGrid()->rowCount() > rows; }, ms);
}

} // namespace kestrune::bench
