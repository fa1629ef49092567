// The program without its windows: the stream engine, the connection manager, the directory
// and its station list, the recording state and the once-a-second status rules, wired to each
// other. Start-up builds one and hands it to the main window, which only shows what the model
// says and passes the user's clicks on. Tests drive it without a screen.
#pragma once

#include "core/usermessage.h"
#include "directory/directorystate.h"
#include "directory/pageparser.h"
#include "directory/radiobrowser.h"
#include "directory/stationlist.h"
#include "recorder/recordingstate.h"
#include "stream/audio/frequencyanalyser.h"
#include "stream/statusformat.h"
#include "stream/statusmonitor.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>

namespace kestrune {

// The texts the main window shows about the station playing; the recorder names its files
// after them and the tracker polls the server address.
enum class StationLabel {
    Station,   // lblStation: the directory's name, then the server's icy-name
    Genre,     // lblGenre
    Link,      // StationLink: the server's icy-url
    Bitrate,   // lblBitrate as the directory lists it
    ServerUrl, // lblURL: the address of the server in use
    Artist,    // lblArtist: the song now playing, "Unknown", or empty
};

class ConnectionManager;
class DirectoryController;
class NowPlayingTracker;
class Recorder;
class PlayerStatus;
class Settings;
class StreamEngine;

class AppModel : public QObject {
    Q_OBJECT
public:
    // `settings` are loaded by the window's load sequence and must outlive the model. The
    // engine plays through the output KESTRUNE_AUDIO names (the sound device by default).
    explicit AppModel(Settings &settings, QObject *parent = nullptr);
    ~AppModel() override;

    Settings &settings() { return m_settings; }
    StreamEngine &engine() { return *m_engine; }
    PlayerStatus &status();
    ConnectionManager &connection() { return *m_connection; }
    DirectoryController &directory() { return *m_directory; }
    const DirectoryState &directoryState() const { return m_directoryState; }
    const StationList &stations() const { return m_stations; }
    // The rows of the current directory page, in grid order.
    const QList<StationRow> &stationRows() const { return m_rows; }
    RecordingState &recording() { return m_recording; }
    Recorder &recorder() { return *m_recorder; }
    NowPlayingTracker &tracker() { return *m_tracker; }
    // The spectrum of what the output plays; it analyses only while something shows it.
    FrequencyAnalyser &spectrum() { return m_spectrum; }

    // A station row was selected: its playlist is the one Play asks for. False (and nothing
    // changes) for a row that does not exist.
    bool selectStation(int row);

    // The status monitor's ticks: the model's part is done here (the caption, the watchdog,
    // the free space, the song poll); the rest is returned for the window to show.
    Timer1View timer1Tick();
    Timer2View timer2Tick();
    StatusSnapshot snapshot() const;

    QString label(StationLabel which) const;
    // Every write of a label goes through here; a change is signalled only when the text
    // really changes (a change of the artist splits a recording).
    void setLabel(StationLabel which, const QString &text);

    // Station details from the stream's response header.
    void GetStationInfo();
    // The now-playing poll of the server in use; its song goes into the Artist label.
    void GetArtist();

Q_SIGNALS:
    // A message box for the user.
    void message(const QString &text, kestrune::MessageIcon icon);
    // The hourglass while the directory or a station is being asked, and its end.
    void busyChanged(bool busy);
    // The stream has failed while a recording runs: stopping it would end the recording, so
    // whoever can ask the user is asked to (the Stop action with its question).
    void stopWhileRecordingRequested();
    void labelChanged(kestrune::StationLabel which, const QString &text);
    // The song changed (lblArtist), including when it was cleared.
    void artistChanged(const QString &artist);

private:
    void wireDirectory();
    void wireEngine();
    void wireRecorder();
    // The connection manager's way to a JSON directory station's servers; false when the
    // selected station is a classic one (its playlist is fetched as always).
    bool resolveRadioBrowserServers(
        std::function<void(const QStringList &servers, const QString &failure)> done);

    Settings &m_settings;
    DirectoryState m_directoryState;
    std::unique_ptr<StreamEngine> m_engine;
    std::unique_ptr<ConnectionManager> m_connection;
    std::unique_ptr<DirectoryController> m_directory;
    StationList m_stations;
    QList<StationRow> m_rows;
    RadioBrowserStation m_radioStation; // the selected one, when it is from the JSON directory
    RecordingState m_recording;
    std::unique_ptr<Recorder> m_recorder;
    std::unique_ptr<NowPlayingTracker> m_tracker;
    FrequencyAnalyser m_spectrum;
    QHash<StationLabel, QString> m_labels;
    QDateTime m_LastTickTime;
    FreeSpace m_freeSpace;
};

} // namespace kestrune
