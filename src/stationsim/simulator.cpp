#include "stationsim/simulator.h"

#include "stationsim/icecastmount.h"
#include "stationsim/pages.h"
#include "streamsynth/mp3synth.h"
#include "streamsynth/testtls.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iterator>
#include <memory>

namespace kestrune::stationsim {

using testsupport::MaxRequestHead;
using testsupport::PacedStreamServer;
using testsupport::StreamFault;
using testsupport::StreamRoute;
using testsupport::StreamServerOptions;

namespace {

constexpr int HighestPort = 32767; // players read a port as a signed 16-bit number
constexpr int RequestTimeoutMs = 10000;

// Length of the head including its blank line, or -1 while it is incomplete. Clients in the
// wild end lines with a bare LF now and then.
qsizetype headLength(const QByteArray &data) {
    const qsizetype crlf = data.indexOf("\r\n\r\n");
    const qsizetype lf = data.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf < lf))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}

struct RequestLine {
    QByteArray method;
    QByteArray target; // origin form: path and query
    QByteArray path;   // target without its query
    QByteArray query;  // after the "?", may be empty
};

RequestLine parseRequestLine(const QByteArray &head) {
    RequestLine line;
    qsizetype end = head.indexOf('\n');
    const QList<QByteArray> parts = head.left(end < 0 ? head.size() : end).trimmed().split(' ');
    if (parts.size() < 2)
        return line;
    line.method = parts.at(0).toUpper();
    line.target = parts.at(1);
    // A proxy-style absolute target: keep its path only.
    if (line.target.startsWith("http://")) {
        const qsizetype slash = line.target.indexOf('/', 7);
        line.target = slash < 0 ? QByteArray("/") : line.target.mid(slash);
    }
    const qsizetype question = line.target.indexOf('?');
    line.path = question < 0 ? line.target : line.target.left(question);
    line.query = question < 0 ? QByteArray() : line.target.mid(question + 1);
    return line;
}

bool hasHeader(const QByteArray &head, const QByteArray &name) {
    const QByteArray wanted = name.toLower() + ':';
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines.at(i).trimmed().toLower().startsWith(wanted))
            return true;
    }
    return false;
}

// key=value pairs joined by "&"; later ones win.
QHash<QString, QString> parameters(const QString &text) {
    QHash<QString, QString> out;
    for (const QString &pair : text.split(u'&', Qt::SkipEmptyParts)) {
        const qsizetype eq = pair.indexOf(u'=');
        if (eq > 0)
            out.insert(pair.left(eq).toLower(), pair.mid(eq + 1));
    }
    return out;
}

int intParameter(const QHash<QString, QString> &params, const QString &key, int fallback, int low,
                 int high) {
    bool ok = false;
    const int value = params.value(key).trimmed().toInt(&ok);
    return ok ? qBound(low, value, high) : fallback;
}

StreamFault streamFaultOf(Fault fault) {
    switch (fault) {
    case Fault::Stall:
        return StreamFault::StallAfterHead;
    case Fault::Garbage:
        return StreamFault::Garbage;
    case Fault::Drip:
        return StreamFault::SlowDrip;
    case Fault::Close:
        return StreamFault::CloseMidStream;
    case Fault::DeadFirst:
        break;
    }
    return StreamFault::None;
}

QByteArray plainReply(const QByteArray &status, const QByteArray &body) {
    return httpResponse("HTTP/1.0 " + status, "text/html", body);
}

} // namespace

QString faultName(Fault fault) {
    switch (fault) {
    case Fault::DeadFirst:
        return QStringLiteral("dead-first");
    case Fault::Stall:
        return QStringLiteral("stall");
    case Fault::Garbage:
        return QStringLiteral("garbage");
    case Fault::Drip:
        return QStringLiteral("drip");
    case Fault::Close:
        return QStringLiteral("close");
    }
    return QString();
}

std::optional<FaultRule> parseFault(const QString &text) {
    static const QHash<QString, Fault> kinds = {{QStringLiteral("dead-first"), Fault::DeadFirst},
                                                {QStringLiteral("stall"), Fault::Stall},
                                                {QStringLiteral("garbage"), Fault::Garbage},
                                                {QStringLiteral("drip"), Fault::Drip},
                                                {QStringLiteral("close"), Fault::Close}};
    const qsizetype at = text.indexOf(u'@');
    const QString kind = (at < 0 ? text : text.left(at)).trimmed().toLower();
    const auto found = kinds.constFind(kind);
    if (found == kinds.constEnd())
        return std::nullopt;
    FaultRule rule;
    rule.kind = *found;
    if (at >= 0) {
        rule.stationId = text.mid(at + 1).trimmed();
        bool number = false;
        rule.stationId.toUInt(&number);
        if (!number)
            return std::nullopt;
    }
    return rule;
}

StationSimulator::StationSimulator(SimulatorOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_icecastStation(icecastStation())
    , m_directory(new QTcpServer(this))
    , m_secureDirectory(new testsupport::TlsServer(
          testsupport::testServerConfiguration(testsupport::TestCertificate::Localhost), this)) {
    m_started.start();
    m_startedAt = QDateTime::currentDateTime();
    m_clock = [this] { return m_started.elapsed(); };
    for (QTcpServer *server : {m_directory, m_secureDirectory})
        connect(server, &QTcpServer::newConnection, this,
                [this, server] { onDirectoryConnection(server); });
}

StationSimulator::~StationSimulator() {
    if (m_deadSocket >= 0)
        ::close(m_deadSocket);
}

bool StationSimulator::start(QString *error) {
    const auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        m_directory->close();
        m_secureDirectory->close();
        qDeleteAll(m_streams);
        m_streams.clear();
        delete m_secureStream;
        m_secureStream = nullptr;
        if (m_deadSocket >= 0)
            ::close(m_deadSocket);
        m_deadSocket = -1;
        return false;
    };
    const int dirPort = m_options.directoryPort;
    const int streamPort = m_options.streamPort;
    const int securePort = m_options.securePort;
    if (dirPort < 0 || dirPort > HighestPort)
        return fail(QStringLiteral("directory port must be 0 to %1").arg(HighestPort));
    if (streamPort < 0 || streamPort + 3 > HighestPort)
        return fail(QStringLiteral("stream ports must be 0 to %1").arg(HighestPort - 3));
    if (securePort < 0 || securePort > HighestPort)
        return fail(QStringLiteral("secure directory port must be 0 to %1").arg(HighestPort));

    const bool listening = dirPort == 0
                               ? testsupport::listenOnLowPort(*m_directory)
                               : m_directory->listen(QHostAddress::LocalHost, quint16(dirPort));
    if (!listening)
        return fail(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(dirPort));

    const bool secureListening =
        securePort == 0 ? testsupport::listenOnLowPort(*m_secureDirectory)
                        : m_secureDirectory->listen(QHostAddress::LocalHost, quint16(securePort));
    if (!secureListening)
        return fail(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(securePort));

    for (int i = 0; i < 3; ++i) {
        PacedStreamServer *server = addStreamServer(i);
        m_streams << server;
        const bool ok =
            streamPort == 0 ? server->listen() : server->listen(quint16(streamPort + i), 1);
        if (!ok)
            return fail(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(streamPort + i));
    }
    // The secure one plays what the first plain one plays, under the same paths.
    m_secureStream = addStreamServer(0);
    m_secureStream->useTls(
        testsupport::testServerConfiguration(testsupport::TestCertificate::Localhost));
    if (!(streamPort == 0 ? m_secureStream->listen()
                          : m_secureStream->listen(quint16(streamPort + 3), 1)))
        return fail(QStringLiteral("cannot listen on 127.0.0.1:%1").arg(streamPort + 3));
    if (!openDeadPort(error)) {
        const QString why = error ? *error : QString();
        return fail(why);
    }
    // The default list first, so its ids are the same in every run.
    m_catalogue.stations(Catalogue::defaultGenre());
    if (m_options.prepareAudio)
        QTimer::singleShot(0, this, [this] { prepareNextFormat(0); });
    if (m_options.faultEverySeconds > 0) {
        auto *faults = new QTimer(this);
        connect(faults, &QTimer::timeout, this, &StationSimulator::injectNextFault);
        faults->start(m_options.faultEverySeconds * 1000);
    }
    return true;
}

PacedStreamServer *StationSimulator::addStreamServer(int router) {
    auto *server = new PacedStreamServer({}, this);
    server->setRouter([this, router](const QByteArray &head) { return routeStream(router, head); });
    connect(server, &PacedStreamServer::streamEnded, this,
            [this](const QByteArray &request, qint64 audioBytes) {
                Q_EMIT streamEnded(QString::fromLatin1(parseRequestLine(request).path), audioBytes);
            });
    return server;
}

Fault StationSimulator::injectNextFault() {
    const Fault fault = InjectedFaults[m_nextFault];
    m_nextFault = (m_nextFault + 1) % int(std::size(InjectedFaults));
    int hit = 0;
    for (PacedStreamServer *server : std::as_const(m_streams))
        hit += server->injectFault(streamFaultOf(fault));
    if (m_secureStream)
        hit += m_secureStream->injectFault(streamFaultOf(fault));
    Q_EMIT faultInjected(fault, hit);
    return fault;
}

bool StationSimulator::openDeadPort(QString *error) {
    // A socket bound to the port but never listening keeps anyone else from taking it, and
    // the system refuses every connection to it: a server that is down.
    const int from = m_streams.first()->port() + 10;
    for (int port = from; port <= HighestPort && port < from + 500; ++port) {
        if (port == directoryPort() || streamPorts().contains(quint16(port)))
            continue;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0) {
            m_deadSocket = fd;
            m_deadPort = quint16(port);
            return true;
        }
        ::close(fd);
    }
    if (error)
        *error = QStringLiteral("found no free port to leave dead");
    return false;
}

quint16 StationSimulator::directoryPort() const {
    return m_directory->serverPort();
}

QList<quint16> StationSimulator::streamPorts() const {
    QList<quint16> ports;
    for (const PacedStreamServer *server : m_streams)
        ports << server->port();
    return ports;
}

quint16 StationSimulator::secureDirectoryPort() const {
    return m_secureDirectory->serverPort();
}

quint16 StationSimulator::secureStreamPort() const {
    return m_secureStream ? m_secureStream->port() : 0;
}

QByteArray StationSimulator::startupText() const {
    // Scripts read the first two lines by their first word; new lines go after them.
    QByteArray text =
        "directory http://127.0.0.1:" + QByteArray::number(directoryPort()) + "\nstreams";
    for (quint16 port : streamPorts())
        text += " http://127.0.0.1:" + QByteArray::number(port);
    text += "\nsecure-streams https://127.0.0.1:" + QByteArray::number(secureStreamPort());
    text += "\nsecure-directory https://127.0.0.1:" + QByteArray::number(secureDirectoryPort());
    return text + '\n';
}

qint64 StationSimulator::songSlot() const {
    const qint64 ms = m_clock();
    // Floor division, should a test clock run before the start.
    const qint64 period = qint64(qMax(1, m_options.songSeconds)) * 1000;
    return ms >= 0 ? ms / period : -((-ms + period - 1) / period);
}

std::optional<Fault> StationSimulator::streamFault(const QString &stationId) const {
    std::optional<Fault> general;
    std::optional<Fault> own;
    for (const FaultRule &rule : m_options.faults) {
        if (rule.kind == Fault::DeadFirst)
            continue;
        if (rule.stationId.isEmpty())
            general = rule.kind;
        else if (rule.stationId == stationId)
            own = rule.kind;
    }
    return own ? own : general;
}

bool StationSimulator::deadFirst(const QString &stationId) const {
    for (const FaultRule &rule : m_options.faults) {
        if (rule.kind == Fault::DeadFirst &&
            (rule.stationId.isEmpty() || rule.stationId == stationId))
            return true;
    }
    return false;
}

QStringList StationSimulator::playlistAddresses(const Station &station) const {
    QStringList addresses;
    const QList<quint16> ports = streamPorts();
    for (int i = 0; i < station.servers && i < ports.size(); ++i)
        addresses << QStringLiteral("http://127.0.0.1:%1/%2").arg(ports.at(i)).arg(station.id);
    if (deadFirst(station.id)) {
        // The dead one goes first and at least one live one stays; never more than three.
        while (addresses.size() > 2)
            addresses.removeLast();
        addresses.prepend(QStringLiteral("http://127.0.0.1:%1/%2").arg(m_deadPort).arg(station.id));
    }
    return addresses;
}

void StationSimulator::onDirectoryConnection(QTcpServer *server) {
    // A secure socket hands its decrypted bytes to readyRead and encrypts what is written, so
    // both directories are answered the same way.
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        auto answered = std::make_shared<bool>(false);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer, answered] {
            *buffer += socket->readAll();
            if (*answered)
                return;
            const qsizetype length = headLength(*buffer);
            if (length < 0) {
                if (buffer->size() > MaxRequestHead)
                    socket->abort();
                return;
            }
            *answered = true;
            socket->write(answerDirectory(buffer->left(length), socket->peerAddress().toString()));
            socket->disconnectFromHost();
        });
        // Nobody holds a connection open without asking anything.
        QTimer::singleShot(RequestTimeoutMs, socket, [socket, answered] {
            if (!*answered)
                socket->abort();
        });
    }
}

QByteArray StationSimulator::answerDirectory(const QByteArray &head, const QString &client) {
    const RequestLine line = parseRequestLine(head);
    const bool headOnly = line.method == "HEAD";
    QByteArray response;
    const QByteArray path = line.path;

    if (line.method != "GET" && !headOnly) {
        response = httpResponse("HTTP/1.1 405 Method Not Allowed", "text/html",
                                notFoundPage(line.target), m_options.contentLength);
    } else if (path == "/directory/" || path == "/directory") {
        response = httpResponse("HTTP/1.1 200 OK", "text/html",
                                directoryListing(QString::fromUtf8(line.target), client),
                                m_options.contentLength);
    } else if (path.startsWith("/json/")) {
        response = answerJson(head, path, line.query);
    } else if (const QByteArray kindAnswer = answerStationKinds(path, line.query);
               !kindAnswer.isEmpty()) {
        response = kindAnswer;
    } else if (path.startsWith("/home/") && m_catalogue.find(QString::fromUtf8(path.mid(6)))) {
        const Station &station = *m_catalogue.find(QString::fromUtf8(path.mid(6)));
        response =
            httpResponse("HTTP/1.1 200 OK", "text/html",
                         homePage(station, directoryPort(), songSlot()), m_options.contentLength);
    } else if (path == QByteArray(PlaylistPath.data(), qsizetype(PlaylistPath.size())) &&
               m_catalogue.find(parameters(QString::fromUtf8(line.query)).value("rn"))) {
        const Station &station =
            *m_catalogue.find(parameters(QString::fromUtf8(line.query)).value("rn"));
        response = "HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\n\r\n" +
                   playlist(station, playlistAddresses(station),
                            m_options.crlfAll || station.crlfPlaylist);
    } else {
        response = httpResponse("HTTP/1.1 404 Not Found", "text/html", notFoundPage(line.target),
                                m_options.contentLength);
    }
    if (headOnly)
        response.truncate(headLength(response));
    return response;
}

QByteArray StationSimulator::directoryListing(const QString &target, const QString &client) {
    // The genre word is everything between "sgenre=" and "&numresult=" once the target is
    // decoded: it may hold blanks, "&" and "/", which clients do not encode consistently.
    const QString decoded = QString::fromUtf8(QByteArray::fromPercentEncoding(target.toUtf8()));
    const qsizetype question = decoded.indexOf(u'?');
    const QString query = question < 0 ? QString() : decoded.mid(question + 1);
    const qsizetype genreAt = decoded.indexOf(QLatin1String("sgenre="));

    Query asked;
    QHash<QString, QString> params;
    if (genreAt >= 0) {
        const qsizetype from = genreAt + 7;
        qsizetype to = decoded.indexOf(QLatin1String("&numresult="), from);
        if (to < 0)
            to = decoded.indexOf(u'&', from);
        if (to < 0)
            to = decoded.size();
        asked.genre = withoutControls(decoded.mid(from, to - from));
        params = parameters(decoded.mid(to));
        asked.maxBitrate = intParameter(params, QStringLiteral("maxbitrate"), 999, 0, 999);
        asked.pageSize = intParameter(params, QStringLiteral("numresult"), 25, 1, 100);
        // Remembered for the follow-up pages, which do not repeat the query.
        if (m_lastQuery.size() > 1000)
            m_lastQuery.clear();
        m_lastQuery.insert(client, asked);
    } else {
        asked = m_lastQuery.value(client, Query{Catalogue::defaultGenre(), 999, 25});
        params = parameters(query);
        asked.pageSize = intParameter(params, QStringLiteral("numresult"), asked.pageSize, 1, 100);
    }

    DirectoryPage page;
    page.genre = asked.genre;
    page.startAt = intParameter(params, QStringLiteral("startat"), 0, 0, 1000000);
    page.pageSize = asked.pageSize;
    page.songSlot = songSlot();
    page.port = directoryPort();
    for (const Station &station : m_catalogue.stations(asked.genre)) {
        if (station.bitrateKbps <= asked.maxBitrate)
            page.listing << &station;
    }
    return directoryPage(page);
}

StreamRoute StationSimulator::routeStream(int server, const QByteArray &head) {
    const RequestLine line = parseRequestLine(head);
    StreamRoute route;
    route.kind = StreamRoute::Kind::Reply;

    if (line.method == "GET" && line.path == QByteArrayView(IcecastStatusJsonPath)) {
        route.reply = icecastReply("200 OK", "application/json; charset=UTF-8",
                                   icecastStatusJson(m_icecastStation, songSlot(),
                                                     m_streams.at(server)->port(), m_startedAt));
        return route;
    }
    if (line.method == "GET" && line.path == QByteArrayView(IcecastMountPath))
        return icecastMountRoute();

    QByteArray path = line.path;
    const bool history = path.endsWith("/played.html");
    if (history)
        path.chop(int(std::string_view("/played.html").size()));
    const Station *station =
        path.size() > 1 ? m_catalogue.find(QString::fromUtf8(path.mid(1))) : nullptr;
    if (!station || line.method != "GET") {
        route.reply = plainReply("404 Not Found", notFoundPage(line.target));
        return route;
    }
    if (history) {
        route.reply = plainReply("200 OK", playedPage(*station, songSlot(), m_startedAt,
                                                      qMax(1, m_options.songSeconds)));
        return route;
    }
    // Players ask without naming themselves; browsers and page fetchers always do.
    if (hasHeader(head, "User-Agent")) {
        route.reply =
            plainReply("200 OK", statusPage(*station, server + 1, songSlot(), directoryPort()));
        return route;
    }
    const QByteArray audio = audioFor(*station);
    if (audio.isEmpty()) {
        route.reply = plainReply("503 Service Unavailable", notFoundPage(line.target));
        return route;
    }
    StreamServerOptions &o = route.options;
    route.kind = StreamRoute::Kind::Stream;
    o.responseHeader = streamHeader(*station, directoryPort());
    o.audio = audio;
    o.bitrateKbps = station->bitrateKbps;
    // Enough for the player's whole prebuffer (more than 64 KiB of frames besides the header
    // and whatever precedes the first frame), so a station is heard at once.
    o.burstBytes = BurstBytes;
    o.loop = true;
    o.closeAfterBytes = 100000;
    if (const std::optional<Fault> fault = streamFault(station->id))
        o.fault = streamFaultOf(*fault);
    return route;
}

StreamRoute StationSimulator::icecastMountRoute() {
    StreamRoute route;
    const QByteArray audio = audioFor(m_icecastStation);
    if (audio.isEmpty()) {
        route.kind = StreamRoute::Kind::Reply;
        route.reply = icecastReply("503 Service Unavailable", "text/html", QByteArray());
        return route;
    }
    // Browsers get the audio too: the mount has no page of its own.
    StreamServerOptions &o = route.options;
    route.kind = StreamRoute::Kind::Stream;
    o.responseHeader = icecastStreamHeader(m_icecastStation);
    o.audio = audio;
    o.bitrateKbps = m_icecastStation.bitrateKbps;
    o.burstBytes = BurstBytes;
    o.loop = true;
    return route;
}

void StationSimulator::prepareNextFormat(int index) {
    // One format per turn of the event loop, so requests are answered in between.
    const QList<Station> &stations = m_catalogue.stations(Catalogue::defaultGenre());
    if (index >= stations.size())
        return;
    audioFor(stations.at(index));
    QTimer::singleShot(0, this, [this, index] { prepareNextFormat(index + 1); });
}

QByteArray StationSimulator::audioFor(const Station &station) {
    const QString key = QStringLiteral("%1/%2/%3")
                            .arg(station.bitrateKbps)
                            .arg(station.sampleRate)
                            .arg(station.channels);
    const auto cached = m_audio.constFind(key);
    if (cached != m_audio.constEnd())
        return *cached;
    // Made when first asked for: most formats are never played in a session.
    testsupport::Mp3Params params;
    params.sampleRate = station.sampleRate;
    params.channels = station.channels;
    params.bitrateKbps = station.bitrateKbps;
    params.seconds = 10;
    params.toneHz = 330;
    const QByteArray audio = testsupport::synthesizeMp3(params);
    if (!audio.isEmpty())
        m_audio.insert(key, audio);
    return audio;
}

} // namespace kestrune::stationsim
