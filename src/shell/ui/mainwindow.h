// The main window: station directory, player and recorder side by side. The window builds
// and lays out its widgets; the subsystems' controllers own their state and logic.
#pragma once

#include "directory/directorystate.h"
#include "directory/stationlist.h"
#include "recorder/recordingstate.h"
#include "stream/sampleratetable.h"
#include "stream/statusformat.h"

#include <memory>

#include <QDateTime>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace LumaKit {
class Lumabox;
}

namespace kestrune {

class AboutWindow;
class ConnectionManager;
class DirectoryController;
class ControlLibrary;
class LedLabel;
class SpectrumDisplay;
class StreamEngine;
class FirstRunDialog;
class Settings;
class StationGrid;
class StatusPanels;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int HeightTwips = 9070;
    static constexpr int WidthTwips = 11520;

    MainWindow(Settings &settings, const ControlLibrary &controls, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The load sequence: size and title, menu, settings, directory address, sample rates,
    // bandwidth and genre lists, bitrate limit; then the splash goes, the window shows
    // itself and the stored connection speed is put into the bandwidth box (asking for it
    // first if the first-run dialog has still not been completed).
    void Load(AboutWindow *splash);

    // Widgets other parts of the program fill in.
    LumaKit::Lumabox *cmbBandWidth() const { return m_cmbBandWidth; }
    LumaKit::Lumabox *cmbGenre() const { return m_cmbGenre; }
    StationGrid *ctList1() const { return m_ctList1; }
    StatusPanels *StatusBar1() const { return m_statusBar; }

    const DirectoryState &directory() const { return m_directory; }
    const SampleRateTable &sampleRates() const;
    StreamEngine &engine() { return *m_engine; }
    ConnectionManager &connection() { return *m_connection; }
    DirectoryController &directoryController() { return *m_directoryController; }
    const StationList &stations() const { return m_stations; }
    RecordingState &recording() { return m_recording; }

    // The two status timers' work: once a second the figures and the availability of the
    // buttons follow the stream's state; every five seconds the song and the spectrum.
    void Timer1Tick();
    void Timer2Tick();
    // A station row was selected (and, on a double click, played).
    void SelectStation(int row);

    // The player's stop (the Stop button, and closing the window).
    void StopStreaming();
    // Station details from the stream's response header.
    void GetStationInfo();
    // The now-playing poll; the song comes with the now-playing tracker.
    void GetArtist() {}

Q_SIGNALS:
    // The first-run dialog was cancelled: the program ends at once, nothing is unloaded.
    void endProgramRequested(int exitCode);
    // The window has closed (after stopping whatever played); the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildWidgets();
    void connectEngine();
    void connectConnection();
    void connectDirectory();
    void connectStationGrid();
    // The three buttons that open other windows; while recording they warn first.
    void openWindowFor(QPushButton *button);
    void applyStoredSpeed();
    void showMessage(const QString &text);
    // The hourglass while the directory or a station is being asked.
    void setBusy(bool busy);
    // Status panel 1, which the directory, the connection and the intake all write.
    void showStatus(const QString &text);

    Settings &m_settings;
    const ControlLibrary &m_controls;
    DirectoryState m_directory;
    std::unique_ptr<StreamEngine> m_engine;
    std::unique_ptr<ConnectionManager> m_connection;
    std::unique_ptr<DirectoryController> m_directoryController;
    StationList m_stations;
    RecordingState m_recording;
    QTimer m_Timer1;
    QTimer m_Timer2;
    QDateTime m_LastTickTime;
    FreeSpace m_freeSpace;

    LumaKit::Lumabox *m_cmbGenre = nullptr;
    LumaKit::Lumabox *m_cmbBandWidth = nullptr;
    QPushButton *m_cmdGetStations = nullptr;
    QPushButton *m_cmdPrevious = nullptr;
    QPushButton *m_cmdNext = nullptr;
    StationGrid *m_ctList1 = nullptr;
    QLabel *m_lblStation = nullptr;
    QLabel *m_lblGenre = nullptr;
    QLabel *m_StationLink = nullptr;
    QLabel *m_lblBitrate = nullptr;
    QLabel *m_lblSampleRate = nullptr;
    QLabel *m_lblChannels = nullptr;
    QLabel *m_lblArtist = nullptr;
    QLabel *m_lblURL = nullptr;
    QListWidget *m_List2 = nullptr;
    QPushButton *m_cmdStartStreaming = nullptr;
    QPushButton *m_cmdStopStreaming = nullptr;
    QPushButton *m_cmdRecord = nullptr;
    QPushButton *m_cmdStopRecord = nullptr;
    QPushButton *m_cmdStationInfo = nullptr;
    QPushButton *m_Command1 = nullptr;
    QPushButton *m_Command4 = nullptr;
    LedLabel *m_ledRecording = nullptr;
    SpectrumDisplay *m_MMSpectrum1 = nullptr;
    QLineEdit *m_txtStatus = nullptr;
    QLabel *m_lblRecSize = nullptr;
    QLabel *m_lblFileToRecord = nullptr;
    QLabel *m_Label3 = nullptr;
    QPlainTextEdit *m_txtStream = nullptr;
    StatusPanels *m_statusBar = nullptr;
    QPointer<FirstRunDialog> m_firstRun;
};

} // namespace kestrune
