// The station simulator: a station directory and three stream servers on 127.0.0.1, so the
// player can be used and tested without the internet. Each stream server also carries an
// Icecast-style mount (icecastmount.h) beside the directory's stations. A fourth stream server
// and a second directory port speak TLS with the test certificates (streamsynth/testtls.h),
// which nothing makes the player trust: a demo of https shows the certificate error.
#pragma once

#include "stationsim/catalogue.h"
#include "streamsynth/streamserver.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace kestrune::stationsim {

enum class Fault {
    DeadFirst, // the playlist's first address leads to a port nobody listens on
    Stall,     // header and 16 KiB of audio, then silence on an open connection
    Garbage,   // random bytes instead of audio
    Drip,      // 200 bytes a second, no burst
    Close,     // the server hangs up after about 100 KB of audio
};

struct FaultRule {
    Fault kind = Fault::Stall;
    QString stationId; // empty: every station
};

// "KIND" or "KIND@ID", KIND one of dead-first, stall, garbage, drip, close.
std::optional<FaultRule> parseFault(const QString &text);

struct SimulatorOptions {
    int directoryPort = 8000; // 0: a free port below 32768
    // The first of the three plain stream servers; the secure one takes streamPort + 3.
    // 0: free ports below 32768 for all four.
    int streamPort = 8001;
    int securePort = 0;        // the secure directory; 0: a free port below 32768
    bool contentLength = true; // false: directory pages end with the connection only
    bool crlfAll = false;      // every playlist with CRLF line ends
    QList<FaultRule> faults;
    int songSeconds = 30; // how long each song plays; below 1 counts as 1
    // Makes the audio of the default list's stations ahead of the first request, in the
    // background of the event loop (off in tests, which would only wait for it).
    bool prepareAudio = false;
    // Seconds between faults injected into the streams playing at that moment (0: none):
    // close, stall and garbage in turn, as a long-running player meets them now and then.
    int faultEverySeconds = 0;
};

// Options with every port picked free below 32768, as tests and benchmarks want them.
inline SimulatorOptions FreePortOptions() {
    SimulatorOptions options;
    options.directoryPort = 0;
    options.streamPort = 0;
    return options;
}

// The faults injected into running streams, in the order they come.
inline constexpr Fault InjectedFaults[] = {Fault::Close, Fault::Stall, Fault::Garbage};

// The fault's name as --fault takes it ("close", "stall", ...).
QString faultName(Fault fault);

// How the JSON directory gives a station's address (url_resolved), by its rank in every list.
enum class JsonKind {
    Stream,     // its first playlist address, a plain stream
    Hls,        // marked as HLS: a client leaves it out
    Pls,        // a PLS playlist on the directory
    Secure,     // its stream on the secure stream server (https)
    Redirected, // /go/ID on the directory: 302 to /go2/ID, which gives 307 to the stream
    M3u,        // an M3U playlist on the directory, /listen/ID.m3u
};

// Where each kind other than Stream stands in every list (0: most listeners); the rest are
// Stream.
inline constexpr int HlsRank = 1;
inline constexpr int PlsRank = 2;
inline constexpr int SecureRank = 3;
inline constexpr int RedirectedRank = 4;
inline constexpr int M3uRank = 5;

// Audio sent at once when a player connects, in bytes.
inline constexpr qint64 BurstBytes = 80 * 1024;

class StationSimulator : public QObject {
    Q_OBJECT
public:
    // Milliseconds since the simulator started; drives what is playing.
    using Clock = std::function<qint64()>;

    explicit StationSimulator(SimulatorOptions options, QObject *parent = nullptr);
    ~StationSimulator() override;

    // Opens all ports. On failure `error` says why and nothing listens.
    bool start(QString *error = nullptr);
    // Injects the next of InjectedFaults into every stream playing now; what the fault timer
    // of SimulatorOptions::faultEverySeconds does. Returns the fault.
    Fault injectNextFault();

    quint16 directoryPort() const;
    // The plain stream servers, three of them.
    QList<quint16> streamPorts() const;
    // The directory and the stream server that speak TLS (0 before start()).
    quint16 secureDirectoryPort() const;
    quint16 secureStreamPort() const;
    // The port the dead-first fault sends players to: bound, never listening.
    quint16 deadPort() const { return m_deadPort; }
    // The lines announcing the addresses, each ending with a line break: "directory URL",
    // "streams URL URL URL", "secure-streams URL", "secure-directory URL".
    QByteArray startupText() const;

    // Replaces the clock, e.g. to move through songs without waiting.
    void setClock(Clock clock) { m_clock = std::move(clock); }
    // The slot (of SimulatorOptions::songSeconds) whose song is playing now.
    qint64 songSlot() const;

    Catalogue &catalogue() { return m_catalogue; }
    // The fault a station's streams have, if any besides dead-first.
    std::optional<Fault> streamFault(const QString &stationId) const;
    bool deadFirst(const QString &stationId) const;
    // The playlist addresses of a station, faults included.
    QStringList playlistAddresses(const Station &station) const;

    // The JSON directory's view of the stations (radiobrowserapi.cpp).
    struct JsonRequest {
        QString target;    // path and query as sent
        QString userAgent; // empty when none was sent
    };
    // The requests to "/json/..." so far, oldest first (the last 1000).
    const QList<JsonRequest> &jsonRequests() const { return m_jsonRequests; }
    // Plays counted through "/json/url/UUID" for a station id.
    int clicks(const QString &stationId) const { return m_clicks.value(stationId); }
    static QString stationUuid(const QString &id);
    const Station *stationByUuid(const QString &uuid) const;
    // How the JSON directory gives the station's address (by its rank, see JsonKind).
    JsonKind jsonKind(const Station &station) const;
    // The station the JSON directory marks as an HLS stream (the second of every list).
    bool isHlsStation(const Station &station) const;
    // Its url_resolved, as jsonKind says: the first playlist address, the PLS or M3U playlist
    // on the directory, the stream on the secure server, or the first of the two redirects.
    QString jsonStreamAddress(const Station &station) const;
    // The directory's M3U playlist of a station: "#EXTM3U", "#EXTINF:-1,NAME" and the
    // playlist addresses, CRLF line ends; `plain`: the addresses only, LF line ends.
    QByteArray m3uPlaylist(const Station &station, bool plain) const;
    // Where the redirects of /go/ID end: the station's stream on the first plain server.
    QString redirectTarget(const Station &station) const;

Q_SIGNALS:
    // A player's stream connection ended after `audioBytes` of audio (bytes after the
    // response header, whatever they were) had been handed to the system for sending.
    void streamEnded(const QString &path, qint64 audioBytes);
    void faultInjected(kestrune::stationsim::Fault fault, int connections);

private:
    struct Query {
        QString genre;
        int maxBitrate = 999;
        int pageSize = 25;
    };

    bool openDeadPort(QString *error);
    void onDirectoryConnection(QTcpServer *server);
    QByteArray answerDirectory(const QByteArray &head, const QString &client);
    QByteArray directoryListing(const QString &target, const QString &client);
    QByteArray answerJson(const QByteArray &head, const QByteArray &path, const QByteArray &query);
    // The redirects and the M3U playlists of the JSON directory's stations of each kind; empty
    // when `path` is none of theirs.
    QByteArray answerStationKinds(const QByteArray &path, const QByteArray &query);
    testsupport::PacedStreamServer *addStreamServer(int router);
    testsupport::StreamRoute routeStream(int server, const QByteArray &head);
    testsupport::StreamRoute icecastMountRoute();
    QByteArray audioFor(const Station &station);
    void prepareNextFormat(int index);

    SimulatorOptions m_options;
    Catalogue m_catalogue;
    Station m_icecastStation;
    QTcpServer *m_directory = nullptr;
    QTcpServer *m_secureDirectory = nullptr;
    QList<testsupport::PacedStreamServer *> m_streams;        // plain
    testsupport::PacedStreamServer *m_secureStream = nullptr; // routed as the first plain one
    int m_deadSocket = -1;
    quint16 m_deadPort = 0;
    QElapsedTimer m_started;
    QDateTime m_startedAt;
    Clock m_clock;
    QHash<QString, Query> m_lastQuery;  // per client address
    QHash<QString, QByteArray> m_audio; // per stream format
    int m_nextFault = 0;                // index into InjectedFaults
    QList<JsonRequest> m_jsonRequests;
    QHash<QString, int> m_clicks; // station id -> plays counted
};

} // namespace kestrune::stationsim
