// A server on 127.0.0.1 that is the directory, the playlist host and the stream server at
// once, answering well everywhere except in one place, where it misbehaves in one chosen way.
// It runs on a thread of its own, so its writing as fast as it can never counts as a stall
// of the program's event loop.
#pragma once

#include "stationsim/simulator.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QTcpServer;
class QTcpSocket;
class QThread;

namespace kestrune::test {

// Which request the server misbehaves on.
enum class Place { Directory, Playlist, Stream };

// How it misbehaves.
enum class Hostile {
    EndlessHeader,  // header lines without end
    LongHeaderLine, // a header line of 1 MB, then the rest of a good answer
    SplitHeader,    // a good answer whose header goes out one byte per write
    EmptyBody,      // 200 with Content-Length: 0, then the end
    NotFound,       // 404 with a short page
    ServerError,    // 500 with a short page
    RedirectLoop,   // 302 back to the same address, every time
    FileRedirect,   // 302 to a local file holding a good answer
    HugeLength,     // a Content-Length near 2^63, then a good body
    NegativeLength, // Content-Length: -1, then a good body
    Silent,         // accepts, reads the request, never answers
    Flood,          // 200, then bytes as fast as the connection takes them, without end
};

QString placeName(Place place);
QString hostileName(Hostile hostile);
// A station-simulator fault as a row of the fault tables.
QString simulatorCaseName(stationsim::Fault fault);
// A station simulator on free ports whose every station has `fault`; null, with the reason in
// `error`, when it cannot listen.
std::unique_ptr<stationsim::StationSimulator> startFaultySimulator(stationsim::Fault fault,
                                                                   QString *error);
QList<Hostile> allHostiles();

class HostileServer : public QObject {
    Q_OBJECT
public:
    // `mp3` is the audio of the good stream. A file redirect points at `fileTarget`, which
    // the server fills with a good answer whose addresses lead to the path "/leak".
    HostileServer(Place place, Hostile hostile, QByteArray mp3, QString fileTarget);
    ~HostileServer() override;

    // Moves the server onto `thread` (running) and listens there; 0 when it cannot listen.
    // The server is deleted when the thread finishes.
    quint16 startOn(QThread *thread);
    // Closes every connection and stops listening, on the server's thread.
    void stop();

    // The request targets seen so far, in order.
    QStringList targets() const;
    // Bytes written to clients so far.
    qint64 bytesSent() const;

    // The good answers, for anyone who needs the same texts.
    static QByteArray directoryBody(quint16 port);
    static QByteArray playlistBody(quint16 port, const QString &streamPath);

private:
    struct Client {
        QByteArray request;
        QByteArray pending; // queued for a paced or endless writer
        bool answered = false;
        bool endless = false;    // refill as the socket drains
        bool closeAfter = false; // close once pending is out
        int endlessLine = 0;
        qint64 floodOffset = 0;
        Place place = Place::Stream;
    };

    void listenHere(quint16 *port);
    void stopHere();
    void onConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, Place place, const QByteArray &target);
    void answerGood(QTcpSocket *socket, Place place);
    void answerHostile(QTcpSocket *socket, Place place, const QByteArray &target);
    void refill(QTcpSocket *socket);
    void dripHeader(QTcpSocket *socket, const QByteArray &header, const QByteArray &body,
                    bool close);
    void send(QTcpSocket *socket, const QByteArray &bytes);
    // The good answer of a place as header and body.
    QByteArray goodHeader(Place place, qint64 length) const;
    QByteArray goodBody(Place place) const;

    Place m_place;
    Hostile m_hostile;
    QByteArray m_mp3;
    QString m_fileTarget;
    QTcpServer *m_server = nullptr;
    quint16 m_port = 0;
    QHash<QTcpSocket *, Client> m_clients;
    mutable QMutex m_mutex; // guards the two below, read from the test's thread
    QStringList m_targets;
    qint64 m_bytesSent = 0;
};

} // namespace kestrune::test
