#include "hostileserver.h"

#include "stationsim/catalogue.h"
#include "stationsim/pages.h"

#include <QFile>
#include <QMetaObject>
#include <QMutexLocker>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace kestrune::test {

namespace {

// What an endless writer keeps queued; more would only measure our own memory.
constexpr qint64 QueueBytes = 256 * 1024;
constexpr qint64 LongLineBytes = 1024 * 1024;

const QByteArray StreamPath = "/stream";
const QByteArray LeakPath = "/leak";

QByteArray errorAnswer(const QByteArray &statusLine) {
    const QByteArray body = "<html><body><h1>" + statusLine.mid(9) + "</h1></body></html>\n";
    return "HTTP/1.1 " + statusLine.mid(9) +
           "\r\nContent-Type: text/html\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

} // namespace

QString placeName(Place place) {
    switch (place) {
    case Place::Directory:
        return QStringLiteral("directory");
    case Place::Playlist:
        return QStringLiteral("playlist");
    case Place::Stream:
        return QStringLiteral("stream");
    }
    return QString();
}

std::unique_ptr<stationsim::StationSimulator> startFaultySimulator(stationsim::Fault fault,
                                                                   QString *error) {
    stationsim::SimulatorOptions options = stationsim::FreePortOptions();
    options.faults = {stationsim::FaultRule{fault, QString()}};
    auto simulator = std::make_unique<stationsim::StationSimulator>(options);
    if (!simulator->start(error))
        return nullptr;
    return simulator;
}

QString simulatorCaseName(stationsim::Fault fault) {
    using stationsim::Fault;
    switch (fault) {
    case Fault::DeadFirst:
        return QStringLiteral("simulator: dead first server");
    case Fault::Stall:
        return QStringLiteral("simulator: stall after the head");
    case Fault::Garbage:
        return QStringLiteral("simulator: garbage");
    case Fault::Drip:
        return QStringLiteral("simulator: drip");
    case Fault::Close:
        return QStringLiteral("simulator: close mid-stream");
    }
    return QString();
}

QString hostileName(Hostile hostile) {
    switch (hostile) {
    case Hostile::EndlessHeader:
        return QStringLiteral("endless header");
    case Hostile::LongHeaderLine:
        return QStringLiteral("1 MB header line");
    case Hostile::SplitHeader:
        return QStringLiteral("header in 1-byte writes");
    case Hostile::EmptyBody:
        return QStringLiteral("0-length body");
    case Hostile::NotFound:
        return QStringLiteral("404");
    case Hostile::ServerError:
        return QStringLiteral("500");
    case Hostile::RedirectLoop:
        return QStringLiteral("redirect loop");
    case Hostile::FileRedirect:
        return QStringLiteral("file: redirect");
    case Hostile::HugeLength:
        return QStringLiteral("huge Content-Length");
    case Hostile::NegativeLength:
        return QStringLiteral("negative Content-Length");
    case Hostile::Silent:
        return QStringLiteral("accepts, never answers");
    case Hostile::Flood:
        return QStringLiteral("sends as fast as it can");
    }
    return QString();
}

QList<Hostile> allHostiles() {
    return {Hostile::EndlessHeader,  Hostile::LongHeaderLine, Hostile::SplitHeader,
            Hostile::EmptyBody,      Hostile::NotFound,       Hostile::ServerError,
            Hostile::RedirectLoop,   Hostile::FileRedirect,   Hostile::HugeLength,
            Hostile::NegativeLength, Hostile::Silent,         Hostile::Flood};
}

HostileServer::HostileServer(Place place, Hostile hostile, QByteArray mp3, QString fileTarget)
    : m_place(place)
    , m_hostile(hostile)
    , m_mp3(std::move(mp3))
    , m_fileTarget(std::move(fileTarget)) {}

HostileServer::~HostileServer() = default;

quint16 HostileServer::startOn(QThread *thread) {
    moveToThread(thread);
    // Deleted on its own thread, once that has finished.
    connect(thread, &QThread::finished, this, &QObject::deleteLater);
    quint16 port = 0;
    QMetaObject::invokeMethod(
        this, [this, &port] { listenHere(&port); }, Qt::BlockingQueuedConnection);
    return port;
}

void HostileServer::stop() {
    QMetaObject::invokeMethod(
        this, [this] { stopHere(); }, Qt::BlockingQueuedConnection);
}

void HostileServer::listenHere(quint16 *port) {
    m_server = new QTcpServer(this);
    // Players read a port as a signed 16-bit number: only ports up to 32767 can be reached.
    const quint16 first = quint16(20000 + QRandomGenerator::global()->bounded(10000));
    for (quint16 candidate = first; candidate < 32768 && !m_server->isListening(); ++candidate)
        (void)m_server->listen(QHostAddress::LocalHost, candidate);
    if (!m_server->isListening())
        return;
    m_port = m_server->serverPort();
    connect(m_server, &QTcpServer::newConnection, this, &HostileServer::onConnection);
    if (!m_fileTarget.isEmpty()) {
        QFile file(m_fileTarget);
        if (file.open(QIODevice::WriteOnly))
            file.write(m_place == Place::Directory
                           ? directoryBody(m_port)
                           : playlistBody(m_port, QString::fromLatin1(LeakPath)));
    }
    *port = m_port;
}

void HostileServer::stopHere() {
    const QList<QTcpSocket *> sockets = m_clients.keys();
    m_clients.clear();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    if (m_server)
        m_server->close();
}

QStringList HostileServer::targets() const {
    QMutexLocker lock(&m_mutex);
    return m_targets;
}

qint64 HostileServer::bytesSent() const {
    QMutexLocker lock(&m_mutex);
    return m_bytesSent;
}

QByteArray HostileServer::directoryBody(quint16 port) {
    static stationsim::Catalogue catalogue;
    static const QList<stationsim::Station> stations =
        catalogue.stations(stationsim::Catalogue::defaultGenre()).mid(0, 3);
    stationsim::DirectoryPage page;
    page.genre = stationsim::Catalogue::defaultGenre();
    for (const stationsim::Station &station : stations)
        page.listing << &station;
    page.port = port;
    return stationsim::directoryPage(page);
}

QByteArray HostileServer::playlistBody(quint16 port, const QString &streamPath) {
    const QByteArray address =
        "http://127.0.0.1:" + QByteArray::number(port) + streamPath.toLatin1();
    return "[playlist]\nnumberofentries=1\nFile1=" + address +
           "\nTitle1=(#1 - 1/100) Hostile\nLength1=-1\nVersion=2\n";
}

QByteArray HostileServer::goodBody(Place place) const {
    switch (place) {
    case Place::Directory:
        return directoryBody(m_port);
    case Place::Playlist:
        return playlistBody(m_port, QString::fromLatin1(StreamPath));
    case Place::Stream:
        return m_mp3;
    }
    return QByteArray();
}

// `length` below 0: no Content-Length line.
QByteArray HostileServer::goodHeader(Place place, qint64 length) const {
    QByteArray head;
    switch (place) {
    case Place::Directory:
        head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n";
        break;
    case Place::Playlist:
        head = "HTTP/1.1 200 OK\r\nContent-Type: audio/x-scpls\r\n";
        break;
    case Place::Stream:
        head = "ICY 200 OK\r\nicy-name:Hostile test station\r\nicy-genre:Test\r\n"
               "icy-url:http://127.0.0.1/\r\ncontent-type:audio/mpeg\r\nicy-br:128\r\n";
        break;
    }
    if (length >= 0)
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    return head;
}

void HostileServer::onConnection() {
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_clients.insert(socket, Client());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] { refill(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_clients.remove(socket);
            socket->deleteLater();
        });
    }
}

void HostileServer::onReadyRead(QTcpSocket *socket) {
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    it->request += socket->readAll();
    if (it->answered || !it->request.contains("\r\n\r\n"))
        return;
    it->answered = true;
    const QByteArray line = it->request.left(it->request.indexOf("\r\n"));
    const QByteArray target = line.split(' ').value(1);
    {
        QMutexLocker lock(&m_mutex);
        m_targets << QString::fromLatin1(target);
    }
    Place place = Place::Stream;
    if (target.startsWith("/directory"))
        place = Place::Directory;
    else if (target.startsWith(QByteArray(stationsim::PlaylistPath.data(),
                                          qsizetype(stationsim::PlaylistPath.size()))))
        place = Place::Playlist;
    else if (!target.startsWith(StreamPath)) {
        send(socket, errorAnswer("HTTP/1.1 404 Not Found"));
        socket->disconnectFromHost();
        return;
    }
    it->place = place;
    answer(socket, place, target);
}

void HostileServer::answer(QTcpSocket *socket, Place place, const QByteArray &target) {
    if (place == m_place)
        answerHostile(socket, place, target);
    else
        answerGood(socket, place);
}

void HostileServer::answerGood(QTcpSocket *socket, Place place) {
    const QByteArray body = goodBody(place);
    // A stream has no length and no end.
    const bool stream = place == Place::Stream;
    send(socket, goodHeader(place, stream ? -1 : body.size()) + "Connection: close\r\n\r\n" + body);
    if (!stream)
        socket->disconnectFromHost();
}

void HostileServer::answerHostile(QTcpSocket *socket, Place place, const QByteArray &target) {
    Client &client = m_clients[socket];
    const bool stream = place == Place::Stream;
    const auto goodWithLength = [&](const QByteArray &lengthLine) {
        send(socket,
             goodHeader(place, -1) + lengthLine + "Connection: close\r\n\r\n" + goodBody(place));
        if (!stream)
            socket->disconnectFromHost();
    };
    switch (m_hostile) {
    case Hostile::EndlessHeader:
        client.endless = true;
        send(socket, "HTTP/1.1 200 OK\r\n");
        refill(socket);
        return;
    case Hostile::LongHeaderLine:
        goodWithLength("X-Long: " + QByteArray(LongLineBytes, 'a') + "\r\n");
        return;
    case Hostile::SplitHeader: {
        const QByteArray body = goodBody(place);
        dripHeader(socket,
                   goodHeader(place, stream ? -1 : body.size()) + "Connection: close\r\n\r\n", body,
                   !stream);
        return;
    }
    case Hostile::EmptyBody:
        send(socket, goodHeader(place, 0) + "Connection: close\r\n\r\n");
        socket->disconnectFromHost();
        return;
    case Hostile::NotFound:
        send(socket, errorAnswer("HTTP/1.1 404 Not Found"));
        socket->disconnectFromHost();
        return;
    case Hostile::ServerError:
        send(socket, errorAnswer("HTTP/1.1 500 Internal Server Error"));
        socket->disconnectFromHost();
        return;
    case Hostile::RedirectLoop:
        send(socket,
             "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:" + QByteArray::number(m_port) +
                 target + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        return;
    case Hostile::FileRedirect:
        send(socket, "HTTP/1.1 302 Found\r\nLocation: file://" + m_fileTarget.toUtf8() +
                         "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        return;
    case Hostile::HugeLength:
        goodWithLength("Content-Length: 9223372036854775807\r\n");
        return;
    case Hostile::NegativeLength:
        goodWithLength("Content-Length: -1\r\n");
        return;
    case Hostile::Silent:
        return;
    case Hostile::Flood:
        client.endless = true;
        send(socket, goodHeader(place, -1) + "Connection: close\r\n\r\n");
        refill(socket);
        return;
    }
}

void HostileServer::refill(QTcpSocket *socket) {
    auto it = m_clients.find(socket);
    if (it == m_clients.end() || !it->endless)
        return;
    while (socket->bytesToWrite() < QueueBytes) {
        QByteArray chunk;
        if (m_hostile == Hostile::EndlessHeader) {
            for (int i = 0; i < 1000; ++i)
                chunk += "X-Filler-" + QByteArray::number(it->endlessLine++) +
                         ": and there is more to come\r\n";
        } else if (it->place == Place::Stream) {
            // The audio over and over: a stream that never pauses.
            chunk = m_mp3.mid(it->floodOffset % m_mp3.size(), 64 * 1024);
            it->floodOffset += chunk.size();
        } else {
            chunk = QByteArray(64 * 1024, 'x');
        }
        send(socket, chunk);
    }
}

void HostileServer::dripHeader(QTcpSocket *socket, const QByteArray &header, const QByteArray &body,
                               bool close) {
    // One byte per segment: each write leaves before the next is made. A few hundred bytes
    // of header, so this thread is held for well under a second.
    for (const char byte : header) {
        send(socket, QByteArray(1, byte));
        socket->waitForBytesWritten(100);
        QThread::usleep(300);
    }
    send(socket, body);
    if (close)
        socket->disconnectFromHost();
}

void HostileServer::send(QTcpSocket *socket, const QByteArray &bytes) {
    socket->write(bytes);
    QMutexLocker lock(&m_mutex);
    m_bytesSent += bytes.size();
}

} // namespace kestrune::test
