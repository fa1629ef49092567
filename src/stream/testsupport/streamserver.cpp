#include "stream/testsupport/streamserver.h"

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
    QElapsedTimer clock; // since the burst
    qint64 position = 0; // next audio byte (before wrapping)
    qint64 paced = 0;    // bytes sent after the burst
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

bool PacedStreamServer::listen(quint16 firstPort) {
    return listenOnLowPort(*m_server, firstPort);
}

quint16 PacedStreamServer::port() const {
    return m_server->serverPort();
}

QString PacedStreamServer::url(const QString &path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void PacedStreamServer::onNewConnection() {
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        ++m_connections;
        if (m_options.fault == StreamFault::Dead) {
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
    if (client->answered || !client->request.contains("\r\n\r\n"))
        return;
    client->answered = true;
    m_lastRequest = client->request;
    Q_EMIT requestReceived(client->request);

    client->socket->write(m_options.responseHeader);
    qint64 burst = m_options.burstBytes;
    if (m_options.fault == StreamFault::SlowDrip)
        burst = 0;
    else if (m_options.fault == StreamFault::StallAfterHead)
        burst = 16384;
    sendAudio(client, burst);
    client->clock.start();
    if (!m_timer->isActive())
        m_timer->start();
}

void PacedStreamServer::sendAudio(Client *client, qint64 bytes) {
    QTcpSocket *socket = client->socket;
    if (!socket || bytes <= 0)
        return;
    const qint64 total = m_options.audio.size();
    if (total == 0 && m_options.fault != StreamFault::Garbage)
        return;
    if (m_options.fault == StreamFault::CloseMidStream)
        bytes = std::min(bytes, m_options.closeAfterBytes - client->position);
    if (!m_options.loop || total == 0)
        bytes = std::min(bytes, total - client->position);

    QByteArray out;
    out.reserve(bytes);
    if (m_options.fault == StreamFault::Garbage) {
        for (qint64 i = 0; i < bytes; ++i)
            out.append(char(client->noise() & 0xFF));
    } else {
        while (out.size() < bytes) {
            const qint64 at = client->position % total;
            const qint64 take = std::min(bytes - out.size(), total - at);
            out.append(m_options.audio.constData() + at, take);
            client->position += take;
        }
    }
    if (m_options.fault == StreamFault::Garbage)
        client->position += bytes;
    socket->write(out);
    m_audioSent += out.size();

    const bool ended = (m_options.fault == StreamFault::CloseMidStream &&
                        client->position >= m_options.closeAfterBytes) ||
                       (!m_options.loop && client->position >= total);
    if (ended)
        socket->disconnectFromHost();
}

void PacedStreamServer::pump() {
    bool anyone = false;
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        Client *client = *it;
        if (!client->socket || client->socket->state() != QAbstractSocket::ConnectedState) {
            if (!client->socket || client->answered) {
                delete client;
                it = m_clients.erase(it);
                continue;
            }
        }
        anyone = true;
        if (client->answered && m_options.fault != StreamFault::StallAfterHead) {
            const qint64 rate = m_options.fault == StreamFault::SlowDrip
                                    ? 200
                                    : qint64(m_options.bitrateKbps) * 125;
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
