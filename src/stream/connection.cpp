#include "stream/connection.h"

#include "core/settings.h"
#include "stream/engine.h"
#include "stream/playlist.h"
#include "stream/statusmonitor.h"

#include "net/securefailure.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QUrl>

#include <memory>

namespace kestrune {

namespace {

template <typename F, typename... Args> auto ask(const F &f, auto fallback, Args &&...args) {
    return f ? f(std::forward<Args>(args)...) : fallback;
}

} // namespace

ConnectionManager::ConnectionManager(StreamEngine &engine, QString directoryHost, Host host,
                                     QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_directoryHost(std::move(directoryHost))
    , m_host(std::move(host)) {
    m_timerConnect.setObjectName(QStringLiteral("TimerConnect"));
    connect(&m_timerConnect, &QTimer::timeout, this, &ConnectionManager::watchdogTick);
    // Playing is what the watchdog waits for: from then on it has nothing to do.
    // A stream that ran dry (the server hung up, stalled or sends what is not audio) is given
    // one interval to find its frames again, then the next server is tried: without this the
    // player waited in "Resync" for good, and a recording with it.
    connect(&m_engine.status(), &PlayerStatus::phaseChanged, this, [this](PlayerPhase phase) {
        if (phase == PlayerPhase::Playing)
            m_timerConnect.stop();
        else if (phase == PlayerPhase::Resyncing && m_streamWanted)
            m_timerConnect.start();
    });
    // The client's own message (a server list without addresses leaves it nothing to ask).
    connect(&m_engine.client(), &HTTPStream::messageRequested, this,
            [this](const QString &text) { say(text, MessageIcon::Information); });
    // A server that cannot be reached through its redirects, or not securely, is said to be
    // so (once): the user can do something about those, unlike a server that is merely
    // down. The watchdog goes on to the next server as with any server that does not play.
    connect(&m_engine.client(), &HTTPStream::Error, this,
            [this](StreamError number, const QString &text) {
                const auto handshake = StreamError(qToUnderlying(StreamError::SocketErrorBase) +
                                                   int(QAbstractSocket::SslHandshakeFailedError));
                if (number == StreamError::RedirectFailed ||
                    number == StreamError::CertificateRejected || number == handshake)
                    say(text);
            });
    m_playlistTimeOut.setSingleShot(true);
    connect(&m_playlistTimeOut, &QTimer::timeout, this, [this] {
        playlistFailed(QStringLiteral("The directory did not send it within %1 seconds.")
                           .arg(m_playlistTimeOut.interval() / 1000));
    });
}

ConnectionManager::~ConnectionManager() {
    if (m_playlistSocket)
        m_playlistSocket->abort();
}

void ConnectionManager::say(const QString &text, MessageIcon icon) {
    if (m_saidSinceStart.contains(text))
        return;
    m_saidSinceStart.append(text);
    Q_EMIT message(text, icon);
}

void ConnectionManager::stopStreamAndSound() {
    m_engine.stopPlayback();
}

void ConnectionManager::Start() {
    m_timerConnect.setInterval(RequestTimeOutMs(ask(m_host.requestTimeOut, QString())));
    m_streamWanted = true;
    m_saidSinceStart.clear();
    if (!dropConnection(PlayerStatus::StartStoppedText))
        return;
    Q_EMIT fileToRecordText(QStringLiteral("None"));
    if (m_host.resolveServers) {
        ClosePlaylistSocket();
        const quint64 round = m_resolveRound;
        const bool resolving = m_host.resolveServers(
            [this, round](const QStringList &servers, const QString &failure) {
                if (round != m_resolveRound)
                    return;
                if (!failure.isEmpty()) {
                    playlistFailed(failure);
                    return;
                }
                ClosePlaylistSocket();
                useServers(servers, !servers.isEmpty());
            });
        // Not when it has answered already (at once, from what it knew).
        if (resolving && round == m_resolveRound) {
            // The same bound as a playlist request: nothing waits for ever.
            m_playlistTimeOut.start(qMax(1, m_timerConnect.interval() / 1000) * 1000);
            return;
        }
    }
    requestPlaylist();
}

bool ConnectionManager::dropConnection(const QString &stoppedText) {
    stopStreamAndSound();
    m_engine.status().setStopped(stoppedText);
    // The recording closes before the song is cleared: a cleared song splits a running
    // recording, which left an empty file behind (and the last one tagged with no song).
    if (m_host.closeRecording)
        m_host.closeRecording();
    Q_EMIT streamLabelsCleared();
    if (ask(m_host.selectedPlaylistPath, QString()).isEmpty()) {
        say(QStringLiteral("Select a station first!"));
        return false;
    }
    m_playlistReady = false;
    return true;
}

void ConnectionManager::connectToServer() {
    selectServer(m_servers.isEmpty() ? -1 : m_serverIndex);
    const QString url = m_servers.value(m_serverIndex);
    m_engine.client().setUrl(url);
    Q_EMIT serverUrlText(url);
    // Every server starts a new head: its bytes never continue another server's.
    m_engine.intake().ResetForConnection();
    m_engine.client().setUseProxy(false);
    m_engine.openRing();
}

void ConnectionManager::requestPlaylist() {
    const QUrl directory(m_directoryHost);
    const QString path = ask(m_host.selectedPlaylistPath, QString());
    m_playlistRedirects.start(QUrl(m_directoryHost + path, QUrl::TolerantMode));
    fetchPlaylist(directory, path.toLatin1());
}

void ConnectionManager::fetchPlaylist(const QUrl &server, const QByteArray &target) {
    // The wait for the playlist never hangs: a failure or the time-out ends it.
    ClosePlaylistSocket();
    const bool secure = server.scheme() == QLatin1String("https");
    const QString host = server.host();
    QSslSocket *secureSocket = secure ? new QSslSocket(this) : nullptr;
    QTcpSocket *socket = secure ? secureSocket : new QTcpSocket(this);
    m_playlistSocket = socket;
    // Over TLS the request goes once the connection is secure, the same bytes as over plain
    // HTTP.
    const auto send = [socket, host, target] {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: " + host.toLatin1() +
                                   "\r\nConnection: close\r\nAccept: */*\r\n\r\n";
        socket->write(request);
    };
    // What the certificate check said, for the message of the failed handshake after it.
    auto sslErrors = std::make_shared<QList<QSslError>>();
    if (secure) {
        connect(secureSocket, &QSslSocket::encrypted, this, send);
        connect(secureSocket, &QSslSocket::sslErrors, this,
                [sslErrors](const QList<QSslError> &errors) { *sslErrors = errors; });
    } else {
        connect(socket, &QTcpSocket::connected, this, send);
    }
    // Gathers what has arrived; false when the request has ended (the playlist is too large,
    // which a directory that never stops sending would otherwise make of the whole memory).
    const auto gather = [this, socket] {
        if (socket != m_playlistSocket)
            return false;
        m_playlistText += socket->read(MaxPlaylistBytes + 1 - m_playlistText.size());
        if (m_playlistText.size() <= MaxPlaylistBytes)
            return true;
        playlistFailed(QStringLiteral("The playlist is larger than 1 MB."));
        return false;
    };
    connect(socket, &QTcpSocket::readyRead, this, gather);
    connect(socket, &QTcpSocket::disconnected, this, [this, gather] {
        if (gather())
            onPlaylistClosed();
    });
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this, socket, host, sslErrors](QAbstractSocket::SocketError error) {
                if (socket != m_playlistSocket || error == QAbstractSocket::RemoteHostClosedError)
                    return;
                if (error == QAbstractSocket::SslHandshakeFailedError)
                    playlistFailed(SecureFailureText(host, *sslErrors, socket->errorString()));
                else
                    playlistFailed(socket->errorString());
            });
    const int seconds = qMax(1, m_timerConnect.interval() / 1000);
    m_playlistTimeOut.start(seconds * 1000);
    const quint16 port = quint16(server.port(secure ? 443 : 80));
    if (secure)
        secureSocket->connectToHostEncrypted(host, port);
    else
        socket->connectToHost(host, port);
}

void ConnectionManager::ClosePlaylistSocket() {
    ++m_resolveRound;
    m_playlistTimeOut.stop();
    m_playlistText = QByteArray(); // up to a megabyte, not kept for the next request
    if (QTcpSocket *socket = m_playlistSocket) {
        m_playlistSocket = nullptr;
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void ConnectionManager::playlistFailed(const QString &reason) {
    ClosePlaylistSocket();
    m_streamWanted = false;
    m_playlistReady = false;
    Q_EMIT busyCursor(false);
    m_engine.status().setStopped();
    say(QStringLiteral("Couldn't load the station's playlist\n\n") + reason);
}

void ConnectionManager::onPlaylistClosed() {
    if (const auto location = RedirectLocation(m_playlistText)) {
        const RedirectChain::Step step = m_playlistRedirects.follow(*location);
        if (!step.failure.isEmpty()) {
            playlistFailed(step.failure);
            return;
        }
        // Each hop is asked as the first address was, with a time-out of its own.
        QByteArray target = step.target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority |
                                                  QUrl::RemoveFragment);
        if (target.isEmpty())
            target = "/";
        fetchPlaylist(step.target, target);
        return;
    }
    // An error page (or a redirect without a target) holds no servers, though its header or
    // text may hold addresses.
    if (const QString refusal = PlaylistRefusal(m_playlistText); !refusal.isEmpty()) {
        playlistFailed(QStringLiteral("The directory answered ") + refusal + u'.');
        return;
    }
    const QString text = QString::fromLatin1(m_playlistText);
    ClosePlaylistSocket();

    const PlaylistServers parsed = ParsePlaylist(text);
    useServers(parsed.servers, parsed.anyAddress);
}

void ConnectionManager::useServers(const QStringList &servers, bool anyAddress) {
    m_servers = servers;
    Q_EMIT serversChanged(m_servers);
    if (!anyAddress)
        say(QStringLiteral("Couldn't find station addresses"));
    m_serverIndex = 0;

    // Start goes on with the first server (the playlist is consumed at once, so it is
    // "ready" only for this moment).
    m_playlistReady = false;
    connectToServer();
    Q_EMIT busyCursor(true);
    m_engine.status().setRequesting();
    m_engine.status().setCaption(
        RequestingCaption(m_serverIndex + 1, int(m_servers.size()), QStringLiteral(" from")));
    m_timerConnect.start();
    m_engine.client().StartStreaming();
}

void ConnectionManager::selectServer(int row) {
    m_selectedServer = row;
    Q_EMIT serverSelected(row);
}

void ConnectionManager::ServerClicked(int row) {
    if (row < 0 || row >= m_servers.size())
        return;
    m_selectedServer = row;
    m_engine.client().setUrl(m_servers.at(row));
    Q_EMIT serverUrlText(m_servers.at(row));
}

void ConnectionManager::watchdogTick() {
    // A server that has sent its first frames is not left, however slowly it goes on, and
    // one that plays has done what the watchdog waits for. Resyncing restarted the watchdog,
    // so a tick that finds it still resyncing comes a whole interval without frames.
    switch (m_engine.status().phase()) {
    case PlayerPhase::Prebuffering:
    case PlayerPhase::Playing:
        return;
    case PlayerPhase::Resyncing:
    case PlayerPhase::Stopped:
    case PlayerPhase::Searching:
    case PlayerPhase::Requesting:
        break;
    }
    if (!m_streamWanted)
        return;

    // The next server, in cyclic order.
    if (m_serverIndex < m_servers.size() - 1)
        ++m_serverIndex;
    else
        m_serverIndex = 0;
    if (!dropConnection(PlayerStatus::NextServerText))
        return;
    connectToServer();
    m_engine.status().setRequesting();
    m_engine.client().StartStreaming();
}

void ConnectionManager::Stop() {
    m_engine.status().setCaption(QString());
    Q_EMIT busyCursor(false);
    m_streamWanted = false;
    Q_EMIT recordAvailable(false);
    // Before the song is cleared, as in dropConnection.
    if (m_host.closeRecording)
        m_host.closeRecording();
    Q_EMIT streamLabelsCleared();
    ClosePlaylistSocket();
    stopStreamAndSound();
    m_playlistReady = false;
    m_engine.status().setStopped();
    Q_EMIT downloadedText(QStringLiteral("Downloaded:"));
}

} // namespace kestrune
