// A web server for tests on 127.0.0.1: each path gets a scripted answer (head and body as
// bytes, an optional delay, or an endless body like a stream server's), and every request
// is counted and kept.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace kestrune::testsupport {

struct PageAnswer {
    QByteArray head;      // status line and header lines, without the blank line
    QByteArray body;      // sent after the head
    int delayMs = 0;      // ms to wait before answering
    bool silent = false;  // accept and read, never answer
    bool endless = false; // after the body, send it again every 5 ms until the client leaves
};

// A 200 answer with the given type (none when empty), Content-Length when `withLength`.
inline PageAnswer pageAnswer(const QByteArray &body, const QByteArray &contentType = "text/html",
                             bool withLength = true) {
    PageAnswer a;
    a.head = "HTTP/1.1 200 OK\r\nConnection: close";
    if (!contentType.isEmpty())
        a.head += "\r\nContent-Type: " + contentType;
    if (withLength)
        a.head += "\r\nContent-Length: " + QByteArray::number(body.size());
    a.body = body;
    return a;
}

// The path of a request's first line, without its query.
inline QByteArray requestPath(const QByteArray &head) {
    const QList<QByteArray> words = head.left(head.indexOf('\r')).split(' ');
    const QByteArray target = words.size() >= 2 ? words.at(1) : QByteArray();
    const qsizetype query = target.indexOf('?');
    return query < 0 ? target : target.left(query);
}

// A whole 200 answer of the given type with its length, as HTTP/1.0.
inline QByteArray httpReply(const QByteArray &type, const QByteArray &body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

class PageServer : public QObject {
public:
    PageServer() {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] { accept(); });
    }
    ~PageServer() override {
        // Before the tables their handlers write to are gone.
        for (const QPointer<QTcpSocket> &s : m_sockets) {
            if (s) {
                s->disconnect(this);
                delete s.data();
            }
        }
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    void close() { m_server.close(); }
    quint16 port() const { return m_server.serverPort(); }
    QString url(const QByteArray &path) const {
        return QStringLiteral("http://127.0.0.1:%1").arg(port()) + QString::fromLatin1(path);
    }
    void answer(const QByteArray &path, const PageAnswer &answer) { m_answers[path] = answer; }

    int hits(const QByteArray &path) const { return m_hits.value(path); }
    QByteArray lastRequest(const QByteArray &path) const { return m_lastRequest.value(path); }
    // Connections of a path that the client closed before the whole answer was sent.
    int abandoned(const QByteArray &path) const { return m_abandoned.value(path); }
    // Bytes of body sent for a path, over all its connections.
    qint64 bodyBytesSent(const QByteArray &path) const { return m_bodySent.value(path); }

private:
    void accept() {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            m_sockets << socket;
            auto request = std::make_shared<QByteArray>();
            auto done = std::make_shared<bool>(false);
            auto path = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, this, [=, this] {
                *request += socket->readAll();
                const qsizetype end = request->indexOf("\r\n\r\n");
                if (!path->isEmpty() || end < 0)
                    return;
                const QList<QByteArray> line = request->left(request->indexOf("\r\n")).split(' ');
                *path = line.size() > 1 ? line.at(1) : QByteArray("/");
                m_hits[*path] += 1;
                m_lastRequest[*path] = request->left(end + 4);
                const PageAnswer answer =
                    m_answers.value(*path, pageAnswer("not here", "text/plain"));
                if (answer.silent)
                    return;
                QTimer::singleShot(answer.delayMs, socket,
                                   [=, this] { send(socket, *path, answer, done); });
            });
            QObject::connect(socket, &QTcpSocket::disconnected, this, [=, this] {
                if (!*done && !path->isEmpty())
                    m_abandoned[*path] += 1;
                socket->deleteLater();
            });
        }
    }

    void send(QTcpSocket *socket, const QByteArray &path, const PageAnswer &answer,
              const std::shared_ptr<bool> &done) {
        if (socket->state() != QAbstractSocket::ConnectedState)
            return;
        socket->write(answer.head + "\r\n\r\n" + answer.body);
        m_bodySent[path] += answer.body.size();
        if (!answer.endless) {
            *done = true;
            socket->disconnectFromHost();
            return;
        }
        auto *pump = new QTimer(socket);
        QObject::connect(pump, &QTimer::timeout, socket, [=, this] {
            // Keep a little in flight only, as a paced server would.
            if (socket->state() == QAbstractSocket::ConnectedState &&
                socket->bytesToWrite() < 64 * 1024) {
                socket->write(answer.body);
                m_bodySent[path] += answer.body.size();
            }
        });
        pump->start(5);
    }

    QTcpServer m_server;
    QList<QPointer<QTcpSocket>> m_sockets;
    QHash<QByteArray, PageAnswer> m_answers;
    QHash<QByteArray, int> m_hits;
    QHash<QByteArray, int> m_abandoned;
    QHash<QByteArray, qint64> m_bodySent;
    QHash<QByteArray, QByteArray> m_lastRequest;
};

} // namespace kestrune::testsupport
