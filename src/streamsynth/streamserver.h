// A stream server for tests, the station simulator and benchmarks: answers a stream request
// with a response header and MPEG audio, sent with an initial burst and then at the pace the
// bit rate gives, on 127.0.0.1. It can also misbehave in the ways real servers do.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace kestrune::testsupport {

enum class StreamFault {
    None,
    StallAfterHead, // header and one head's worth of audio, then silence on an open line
    Garbage,        // random bytes instead of audio
    SlowDrip,       // audio at 200 bytes a second, no burst
    CloseMidStream, // closes the connection after closeAfterBytes of audio
    Dead,           // accepts and closes at once, sending nothing
};

struct StreamServerOptions {
    QByteArray responseHeader; // sent first, as is (ending with its blank line)
    QByteArray audio;          // MP3 bytes; repeated when `loop`
    int bitrateKbps = 128;     // pace after the burst: bitrate * 125 bytes a second
    qint64 burstBytes = 65536; // audio sent at once after the header
    bool loop = true;          // false: close the connection when the audio is sent
    StreamFault fault = StreamFault::None;
    qint64 closeAfterBytes = 100000; // for CloseMidStream
};

// How one request is answered when the server routes requests itself (see setRouter).
struct StreamRoute {
    enum class Kind {
        Stream, // `options` describe the stream for this connection
        Reply,  // `reply` is sent as is, then the connection closes
        Refuse, // the connection is closed at once, nothing sent
    };
    Kind kind = Kind::Stream;
    StreamServerOptions options;
    QByteArray reply;
};

// A request head that grows past this without its blank line is not a request: the
// connection is dropped rather than the bytes gathered.
inline constexpr qsizetype MaxRequestHead = 64 * 1024;

// Picks the answer for a complete request head (everything up to its blank line).
using StreamRouter = std::function<StreamRoute(const QByteArray &request)>;

// Listens on the first free port from `first` upwards (at most `tries` ports), below 32768:
// stream addresses carry their port as a 16-bit signed number, so the system's ephemeral
// ports above that cannot be used. Returns false when none was free.
bool listenOnLowPort(QTcpServer &server, quint16 first = 0, int tries = 400);

class PacedStreamServer : public QObject {
    Q_OBJECT
public:
    explicit PacedStreamServer(StreamServerOptions options, QObject *parent = nullptr);
    ~PacedStreamServer() override;

    // Speaks TLS with `configuration` (see testtls.h) on every later connection; called
    // before listen(). Requests and answers are the same bytes as over plain TCP.
    void useTls(const QSslConfiguration &configuration);
    bool usesTls() const { return m_tls; }

    // Takes the first free port of `tries` from `firstPort` upwards (see listenOnLowPort).
    bool listen(quint16 firstPort = 0, int tries = 400);
    quint16 port() const;
    // "http://127.0.0.1:PORT/path", or https once useTls was called.
    QString url(const QString &path = QStringLiteral("/")) const;

    // The options every request gets while no router is set. They are read when a request
    // arrives, so changing them affects later connections only.
    StreamServerOptions &options() { return m_options; }
    // One server can stand for a whole machine with many streams and pages: the router sees
    // each request and decides how it is answered. An empty router restores the default.
    void setRouter(StreamRouter router) { m_router = std::move(router); }
    int connectionCount() const { return m_connections; }
    QByteArray lastRequest() const { return m_lastRequest; }
    // Audio bytes sent over all connections.
    qint64 audioBytesSent() const { return m_audioSent; }
    // Makes every connection that is streaming now misbehave from here on: CloseMidStream
    // hangs up at once, StallAfterHead sends nothing more, Garbage sends random bytes, SlowDrip
    // slows to a drip. Later connections are answered as before. Returns how many it hit.
    int injectFault(StreamFault fault);

Q_SIGNALS:
    void requestReceived(const QByteArray &request);
    // A streaming connection has ended; `audioBytes` is what it was sent after the header
    // (random bytes included), as handed to the socket.
    void streamEnded(const QByteArray &request, qint64 audioBytes);

private:
    struct Client;
    void onNewConnection();
    void onReadyRead(Client *client);
    void pump();
    void sendAudio(Client *client, qint64 bytes);

    StreamServerOptions m_options;
    StreamRouter m_router;
    QTcpServer *m_server = nullptr;
    bool m_tls = false;
    QTimer *m_timer = nullptr;
    QList<Client *> m_clients;
    int m_connections = 0;
    QByteArray m_lastRequest;
    qint64 m_audioSent = 0;
};

} // namespace kestrune::testsupport
