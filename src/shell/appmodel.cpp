#include "shell/appmodel.h"

#include "core/settings.h"
#include "directory/choices.h"
#include "directory/directorycontroller.h"
#include "recorder/nowplaying.h"
#include "recorder/recorder.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/playerstatus.h"
#include "stream/playlist.h"

namespace kestrune {

AppModel::AppModel(Settings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
    , m_engine(std::make_unique<StreamEngine>()) {
    ConnectionManager::Host host;
    host.selectedPlaylistPath = [this] {
        return m_stations.hasSelection() ? m_stations.SelectedPlaylistPath() : QString();
    };
    host.requestTimeOut = [this] { return m_settings.ReqTimeOut; };
    // Start and Stop are asked about a running recording by the window before they run; a
    // recording still open when the connection drops is finished and tagged.
    host.closeRecording = [this] { m_recorder->StopRecord(); };
    host.resolveServers = [this](ConnectionManager::Host::ServersDone done) {
        return resolveRadioBrowserServers(std::move(done));
    };
    m_connection = std::make_unique<ConnectionManager>(*m_engine, DirectoryHost(), host);
    m_directory =
        std::make_unique<DirectoryController>(m_directoryState, m_settings.programFolder());
    m_directoryState.DirectoryUrl = DirectoryHost() + QStringLiteral("/directory/?bitrate=999");
    m_directoryState.MaxBitrate = NoBitrateLimit;
    m_directory->setRadioBrowserSource([this] { return m_settings.usesRadioBrowser(); });
    wireEngine();
    wireDirectory();
    wireRecorder();
}

AppModel::~AppModel() {
    // The client outlives the recorder by a moment; nothing may be handed to it then.
    m_engine->client().setRecordingSink(nullptr);
}

PlayerStatus &AppModel::status() {
    return m_engine->status();
}

void AppModel::wireEngine() {
    StreamIntake &intake = m_engine->intake();
    connect(&intake, &StreamIntake::stopRequested, this, [this] {
        if (m_recording.IsRecording)
            Q_EMIT stopWhileRecordingRequested();
        else
            m_connection->Stop();
    });
    connect(&intake, &StreamIntake::artistRequested, this, &AppModel::GetArtist);
    connect(&intake, &StreamIntake::stationInfoRequested, this, &AppModel::GetStationInfo);
    connect(m_connection.get(), &ConnectionManager::serverUrlText, this,
            [this](const QString &url) { setLabel(StationLabel::ServerUrl, url); });
    // A connection ended: its station link and song are gone (the format labels are the
    // station panel's own).
    connect(m_connection.get(), &ConnectionManager::streamLabelsCleared, this, [this] {
        setLabel(StationLabel::Link, QString());
        setLabel(StationLabel::Artist, QString());
        if (m_tracker)
            m_tracker->clearHistory();
    });
    connect(&intake, &StreamIntake::cursorReset, this, [this] { Q_EMIT busyChanged(false); });
    connect(&intake, &StreamIntake::message, this,
            [this](const QString &text) { Q_EMIT message(text, MessageIcon::None); });
    connect(&m_engine->output(), &AudioOutput::played, &m_spectrum, &FrequencyAnalyser::addPcm);
    connect(&m_engine->output(), &AudioOutput::stopped, &m_spectrum, &FrequencyAnalyser::clear);
    connect(m_connection.get(), &ConnectionManager::busyCursor, this, &AppModel::busyChanged);
    connect(m_connection.get(), &ConnectionManager::message, this, &AppModel::message);
}

void AppModel::wireDirectory() {
    DirectoryController *d = m_directory.get();
    PlayerStatus &s = status();
    // The player writes "Prebuffering" into the same caption; the directory leaves it alone.
    d->setCaptionSource([&s] { return s.caption(); });
    connect(d, &DirectoryController::captionChanged, &s, &PlayerStatus::setCaption);
    connect(d, &DirectoryController::statusText, &s, &PlayerStatus::showDirectoryText);
    connect(d, &DirectoryController::busyChanged, this, [this, &s](bool busy) {
        s.setSearching(busy);
        Q_EMIT busyChanged(busy);
    });
    connect(d, &DirectoryController::gridCleared, this, [this] {
        m_rows.clear();
        m_stations.clear();
    });
    connect(d, &DirectoryController::rowAdded, this,
            [this](const QString &name, const QStringList &cells) {
                StationRow row;
                row.name = name;
                row.genre = cells.value(0);
                row.listeners = cells.value(1);
                row.bitrateText = cells.value(2);
                row.nowPlaying = cells.value(3);
                m_rows.append(row);
            });
    connect(d, &DirectoryController::playlistPathsChanged, this,
            [this](const QStringList &paths) { m_stations.setPaths(paths); });
    connect(d, &DirectoryController::closePlaylistSocketRequested, m_connection.get(),
            &ConnectionManager::ClosePlaylistSocket);
    connect(d, &DirectoryController::message, this,
            [this](const QString &text) { Q_EMIT message(text, MessageIcon::None); });
}

void AppModel::wireRecorder() {
    Recorder::Host host;
    host.station = [this] { return label(StationLabel::Station); };
    host.genre = [this] { return label(StationLabel::Genre); };
    host.artist = [this] { return label(StationLabel::Artist); };
    host.downloadedBytes = [this] { return m_engine->client().DownloadedBytes(); };
    m_recorder = std::make_unique<Recorder>(m_settings.RecOutputDir, m_settings.RecStationType,
                                            m_recording, host);
    m_engine->client().setRecordingSink(m_recorder.get());
    // A new song finishes the file and starts the next, before anything else happens.
    connect(this, &AppModel::artistChanged, m_recorder.get(), &Recorder::ArtistChanged);
    connect(m_recorder.get(), &Recorder::message, this,
            [this](const QString &text) { Q_EMIT message(text, MessageIcon::None); });

    m_tracker =
        std::make_unique<NowPlayingTracker>([this] { return label(StationLabel::ServerUrl); });
    // The stream's head tells an Icecast server, whose titles come from its mount listing.
    m_tracker->setStreamHead([this] { return m_engine->intake().streamText(); });
    // The song read goes to the open file's tag first (while it has none), then to the label,
    // whose change splits the recording.
    connect(m_tracker.get(), &NowPlayingTracker::songRead, this, [this](const QString &song) {
        m_recorder->noteSong(song);
        setLabel(StationLabel::Artist, song);
    });
}

void AppModel::GetArtist() {
    m_tracker->GetArtist();
}

bool AppModel::selectStation(int row) {
    if (!m_stations.select(row))
        return false;
    // The JSON directory's station is kept whole: playing it needs its address and id, and
    // the selection outlives the page it was made on.
    m_radioStation = m_directory->pageIsRadioBrowser()
                         ? m_directory->radioBrowserStations().value(row)
                         : RadioBrowserStation();
    const StationRow station = m_rows.value(row);
    setLabel(StationLabel::Genre, station.genre);
    setLabel(StationLabel::Bitrate, station.bitrateText);
    setLabel(StationLabel::Station, station.name);
    return true;
}

bool AppModel::resolveRadioBrowserServers(
    std::function<void(const QStringList &, const QString &)> done) {
    const RadioBrowserStation station = m_radioStation;
    if (station.uuid.isEmpty() || station.uuid != m_stations.SelectedPlaylistPath())
        return false;
    RadioBrowserClient &client = m_directory->radioBrowser();
    client.abortFetches();
    // The play is counted first, as the directory asks of its clients; whether that worked
    // or not, the station is played from the address its listing gave.
    client.countClick(station.uuid, [this, station, done](const RadioBrowserClient::Result &) {
        if (!IsPlaylistAddress(station.urlResolved)) {
            done({station.urlResolved}, QString());
            return;
        }
        m_directory->radioBrowser().fetch(
            station.urlResolved, MaxPlaylistBytes,
            [done](const RadioBrowserClient::Result &playlist) {
                if (!playlist.ok) {
                    QString reason = QStringLiteral("The station's server could not be reached.");
                    if (playlist.failure == RadioBrowserClient::Failure::Status)
                        reason = QStringLiteral("The station's server answered %1 %2.")
                                     .arg(playlist.httpStatus)
                                     .arg(playlist.reasonPhrase)
                                     .replace(QStringLiteral(" ."), QStringLiteral("."));
                    else if (playlist.failure == RadioBrowserClient::Failure::TooLarge)
                        reason = QStringLiteral("The playlist is larger than 1 MB.");
                    else if (playlist.failure == RadioBrowserClient::Failure::Secure)
                        reason = playlist.failureText;
                    done({}, reason);
                    return;
                }
                // Only http(s) addresses from what a server sent.
                QStringList servers;
                for (const QString &server :
                     ParsePlaylist(QString::fromLatin1(playlist.body)).servers) {
                    if (IsWebAddress(server))
                        servers << server;
                }
                done(servers, QString());
            });
    });
    return true;
}

QString AppModel::label(StationLabel which) const {
    return m_labels.value(which);
}

void AppModel::setLabel(StationLabel which, const QString &text) {
    QString &current = m_labels[which];
    if (current == text)
        return;
    current = text;
    Q_EMIT labelChanged(which, text);
    if (which == StationLabel::Artist)
        Q_EMIT artistChanged(text);
}

void AppModel::GetStationInfo() {
    // What the server announces replaces what the directory listed.
    const AnnouncedStation station = kestrune::GetStationInfo(m_engine->intake().streamText());
    if (station.name)
        setLabel(StationLabel::Station, *station.name);
    if (station.genre)
        setLabel(StationLabel::Genre, *station.genre);
    if (station.url)
        setLabel(StationLabel::Link, *station.url);
}

StatusSnapshot AppModel::snapshot() const {
    StatusSnapshot state;
    state.phase = m_engine->status().phase();
    state.directoryBusy = m_directory->isSearching();
    state.caption = m_engine->status().caption();
    state.stationSelected = m_stations.hasSelection();
    state.stationRows = int(m_rows.size());
    state.server = m_connection->selectedServer();
    state.serverCount = int(m_connection->servers().size());
    state.ringHeld = m_engine->ring().BytesHeld();
    state.downloaded = m_engine->client().DownloadedBytes();
    state.isRecording = m_recording.IsRecording;
    state.recordStartBytes = m_recording.RecordStartBytes;
    state.recordElapsed = TimeDiff(m_recording.RecordStartTime, m_LastTickTime, false);
    return state;
}

Timer1View AppModel::timer1Tick() {
    Timer1View view = Timer1Rules(snapshot());
    if (view.caption)
        status().setCaption(*view.caption);
    if (view.stopWatchdog)
        m_connection->TimerConnect().stop();
    if (view.blinkLed)
        // The elapsed time shown lags one tick behind, as it always has.
        m_LastTickTime = QDateTime::currentDateTime();
    if (view.refreshFreeSpace && GetFreeSpace(m_recording.RecFileName, m_freeSpace))
        view.freeSpaceText = m_freeSpace.DiskFreeText.toString() + QStringLiteral(" (") +
                             QString::number(m_freeSpace.DiskFreePercent) + QStringLiteral("%)");
    return view;
}

Timer2View AppModel::timer2Tick() {
    const Timer2View view = Timer2Rules(status().phase());
    if (view.pollSong)
        GetArtist();
    return view;
}

} // namespace kestrune
