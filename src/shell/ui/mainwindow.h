// The main window: station directory, player and recorder side by side. It builds its panels
// and connects them to the application model, which owns all state and logic; the window only
// shows what the model says and passes the user's clicks on.
#pragma once

#include "shell/appmodel.h"

#include "recorder/ui/recwarning.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>

class QPushButton;

namespace LumaKit {
class Lumabox;
}

namespace kestrune {

class MainMenu;

class AboutWindow;
class ConnectionManager;
class ControlLibrary;
class DirectoryController;
class DirectoryPanel;
class FirstRunDialog;
class RecordingPanel;
class FrequencyDisplay;
class StationGrid;
class StationPanel;
class StatusPanels;
class StreamEngine;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int HeightTwips = 9070;
    static constexpr int WidthTwips = 11520;

    MainWindow(AppModel &model, const ControlLibrary &controls, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The load sequence: size and title, menu, settings, sample rates, bandwidth and genre
    // lists; then the splash goes, the window shows itself and the stored connection speed
    // is put into the bandwidth box (asking for it first if the first-run dialog has still
    // not been completed).
    void Load(AboutWindow *splash);

    AppModel &model() { return m_model; }
    StreamEngine &engine() { return m_model.engine(); }
    ConnectionManager &connection() { return m_model.connection(); }
    DirectoryController &directoryController() { return m_model.directory(); }
    const DirectoryState &directory() const { return m_model.directoryState(); }
    const StationList &stations() const { return m_model.stations(); }
    RecordingState &recording() { return m_model.recording(); }

    // Widgets other parts of the program fill in.
    LumaKit::Lumabox *cmbBandWidth() const;
    LumaKit::Lumabox *cmbGenre() const;
    StationGrid *stationGrid() const;
    StatusPanels *statusPanels() const { return m_statusBar; }

    // The two status timers' work: once a second the figures and the availability of the
    // buttons follow the player's phase; every five seconds the song and the spectrum.
    void Timer1Tick();
    void Timer2Tick();
    // A station row was selected (and, on a double click, played).
    void SelectStation(int row);
    // The player's start and stop (Play, a double click; Stop, closing the window). While a
    // recording runs they ask first, and Yes ends the recording before they go on.
    void StartStreaming();
    void StopStreaming();

    // The menu: a click on item `number` runs the command of its key.
    MainMenu *menu() const { return m_menu; }
    void menuClick(int number);

Q_SIGNALS:
    // The first-run dialog was cancelled: the program ends at once, nothing is unloaded.
    void endProgramRequested(int exitCode);
    // The window has closed (after stopping whatever played); the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildWidgets();
    void connectModel();
    void connectEngine();
    void connectDirectory();
    void connectRecorder();
    void openStationInfo();
    void openLibrary();
    void openOptions();
    void openAbout();
    // Items 4 and 7 of the menu go with their buttons.
    void setRecordAvailable(bool available);
    void setStationInfoAvailable(bool available);
    // The three buttons that open other windows; while recording they warn first.
    void openWindowFor(QPushButton *button);
    // Runs `action` at once when nothing is recorded; otherwise asks `kind`'s question from
    // the event loop (never from inside the handler that wanted the action) and runs it
    // after Yes, the recording stopped first when the question was to stop it.
    void afterRecordingWarning(RecWarningDialog::Kind kind, std::function<void()> action);
    void applyStoredSpeed();
    // The hourglass while the directory or a station is being asked.
    void setBusy(bool busy);
    // The spectrum is fed from the played sound only while it can be seen: hidden or
    // minimised, nothing is analysed or painted.
    void followSpectrumVisibility();

    AppModel &m_model;
    const ControlLibrary &m_controls;
    QTimer m_Timer1;
    QTimer m_Timer2;

    DirectoryPanel *m_directoryPanel = nullptr;
    StationPanel *m_stationPanel = nullptr;
    RecordingPanel *m_recordingPanel = nullptr;
    FrequencyDisplay *m_spectrum = nullptr;
    QPushButton *m_cmdStartStreaming = nullptr;
    QPushButton *m_cmdStopStreaming = nullptr;
    QPushButton *m_cmdRecord = nullptr;
    QPushButton *m_cmdStopRecord = nullptr;
    QPushButton *m_cmdStationInfo = nullptr;
    QPushButton *m_setupButton = nullptr;   // "Command1"
    QPushButton *m_libraryButton = nullptr; // "Command4"
    StatusPanels *m_statusBar = nullptr;
    MainMenu *m_menu = nullptr;
    QPointer<FirstRunDialog> m_firstRun;
    QPointer<RecWarningDialog> m_warning;
    bool m_closeConfirmed = false;
    QMetaObject::Connection m_spectrumFeed;
};

} // namespace kestrune
