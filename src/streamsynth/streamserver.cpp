#include "streamsynth/streamserver.h"

#include "streamsynth/testtls.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <random>

namespace kestrune::testsupport {

bool listenOnLowPort(QTcpServer &server, quint16 first, int tries) {
    if (first == 0)
        first = quint16(20000 + QCoreApplication::applicationPid() % 9000);
    for (int i = 0; i < tries; ++i) {
        const int port = first + i;
        if (port > 32767)
            break;
        if (server.listen(QHostAddress::LocalHost, quint16(port)))
            return true;
    }
    return false;
}

struct PacedStreamServer::Client {
    QPointer<QTcpSocket> socket;
    QByteArray request;
    bool answered = false;
    bool streaming = false;      // answered with a stream that the pump keeps feeding
    StreamServerOptions options; // this connection's stream, fixed when it was answered
    QElapsedTimer clock;         // since the burst
    qint64 position = 0;         // next audio byte (before wrapping)
    qint64 paced = 0;            // bytes sent after the burst
    qint64 sent = 0;             // audio bytes handed to the socket
    std::minstd_rand noise{7};
};

PacedStreamServer::PacedStreamServer(StreamServerOptions options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_server(new QTcpServer(this))
    , m_timer(new QTimer(this)) {
    connect(m_server, &QTcpServer::newConnection, this, &PacedStreamServer::onNewConnection);
    m_timer->setInterval(20);
    connect(m_timer, &QTimer::timeout, this, &PacedStreamServer::pump);
}

PacedStreamServer::~PacedStreamServer() {
    for (Client *client : std::as_const(m_clients)) {
        if (client->socket)
            client->socket->abort();
        delete client;
    }
}

void PacedStreamServer::useTls(const QSslConfiguration &configuration) {
    delete m_server;
    m_server = new TlsServer(configuration, this);
    m_tls = true;
    connect(m_server, &QTcpServer::newConnection, this, &PacedStreamServer::onNewConnection);
}

bool PacedStreamServer::listen(quint16 firstPort, int tries) {
    return listenOnLowPort(*m_server, firstPort, tries);
}

quint16 PacedStreamServer::port() const {
    return m_server->serverPort();
}

QString PacedStreamServer::url(const QString &path) const {
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(port())
        .arg(path);
}

void PacedStreamServer::onNewConnection() {
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        // Small answers (playlists, headers) go out at once instead of waiting on an ack.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        ++m_connections;
        if (!m_router && m_options.fault == StreamFault::Dead) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto *client = new Client;
        client->socket = socket;
        m_clients << client;
        connect(socket, &QTcpSocket::readyRead, this, [this, client] { onReadyRead(client); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void PacedStreamServer::onReadyRead(Client *client) {
    if (!client->socket)
        return;
    client->request += client->socket->readAll();
    if (client->answered)
        return;
    if (!client->request.contains("\r\n\r\n")) {
        if (client->request.size() > MaxRequestHead) {
            client->socket->abort();
            if (!m_timer->isActive())
                m_timer->start(); // collects the dropped connection
        }
        return;
    }
    client->answered = true;
    m_lastRequest = client->request;
    Q_EMIT requestReceived(client->request);
    if (!client->socket)
        return; // a listener of requestReceived dropped the connection

    StreamRoute route;
    if (m_router) {
        route = m_router(client->request.left(client->request.indexOf("\r\n\r\n") + 4));
        if (!client->socket)
            return;
    } else {
        route.options = m_options;
    }
    if (!m_timer->isActive())
        m_timer->start(); // also collects the finished connection
    if (route.kind == StreamRoute::Kind::Refuse) {
        client->socket->abort();
        return;
    }
    if (route.kind == StreamRoute::Kind::Reply) {
        client->socket->write(route.reply);
        client->socket->disconnectFromHost();
        return;
    }
    client->options = std::move(route.options);
    client->streaming = true;
    const StreamServerOptions &o = client->options;
    client->socket->write(o.responseHeader);
    qint64 burst = o.burstBytes;
    if (o.fault == StreamFault::SlowDrip)
        burst = 0;
    else if (o.fault == StreamFault::StallAfterHead)
        burst = 16384;
    sendAudio(client, burst);
    client->clock.start();
}

void PacedStreamServer::sendAudio(Client *client, qint64 bytes) {
    QTcpSocket *socket = client->socket;
    const StreamServerOptions &o = client->options;
    if (!socket || bytes <= 0)
        return;
    const qint64 total = o.audio.size();
    if (total == 0 && o.fault != StreamFault::Garbage)
        return;
    if (o.fault == StreamFault::CloseMidStream)
        bytes = std::min(bytes, o.closeAfterBytes - client->position);
    if (!o.loop || total == 0)
        bytes = std::min(bytes, total - client->position);

    QByteArray out;
    out.reserve(bytes);
    if (o.fault == StreamFault::Garbage) {
        for (qint64 i = 0; i < bytes; ++i)
            out.append(char(client->noise() & 0xFF));
    } else {
        while (out.size() < bytes) {
            const qint64 at = client->position % total;
            const qint64 take = std::min(bytes - out.size(), total - at);
            out.append(o.audio.constData() + at, take);
            client->position += take;
        }
    }
    if (o.fault == StreamFault::Garbage)
        client->position += bytes;
    socket->write(out);
    m_audioSent += out.size();
    client->sent += out.size();

    const bool ended =
        (o.fault == StreamFault::CloseMidStream && client->position >= o.closeAfterBytes) ||
        (!o.loop && client->position >= total);
    if (ended)
        socket->disconnectFromHost();
}

int PacedStreamServer::injectFault(StreamFault fault) {
    int hit = 0;
    for (Client *client : std::as_const(m_clients)) {
        if (!client->streaming || !client->socket ||
            client->socket->state() != QAbstractSocket::ConnectedState)
            continue;
        ++hit;
        StreamServerOptions &o = client->options;
        o.fault = fault;
        if (fault == StreamFault::CloseMidStream) {
            o.closeAfterBytes = client->position;
            client->socket->disconnectFromHost();
        } else if (fault == StreamFault::SlowDrip) {
            // The drip's pace counts from now, not from the burst.
            client->clock.restart();
            client->paced = 0;
        }
    }
    return hit;
}

void PacedStreamServer::pump() {
    bool anyone = false;
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        Client *client = *it;
        if (!client->socket || client->socket->state() != QAbstractSocket::ConnectedState) {
            if (!client->socket || client->answered) {
                if (client->streaming)
                    Q_EMIT streamEnded(client->request.left(client->request.indexOf("\r\n\r\n")),
                                       client->sent);
                delete client;
                it = m_clients.erase(it);
                continue;
            }
        }
        anyone = true;
        const StreamServerOptions &o = client->options;
        if (client->streaming && o.fault != StreamFault::StallAfterHead) {
            const qint64 rate =
                o.fault == StreamFault::SlowDrip ? 200 : qint64(o.bitrateKbps) * 125;
            const qint64 due = client->clock.elapsed() * rate / 1000;
            sendAudio(client, due - client->paced);
            client->paced = std::max(client->paced, due);
        }
        ++it;
    }
    if (!anyone)
        m_timer->stop();
}

} // namespace kestrune::testsupport
