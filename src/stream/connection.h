// The road from "play the selected station" to a stream being requested: the station's
// playlist is fetched from the directory host (following its redirects as the stream client
// does), its servers listed, and the stream client pointed at one of them; a watchdog moves
// on to the next server while nothing plays.
//
// Like the intake, the manager shows nothing itself: it emits texts and requests, and asks
// its host the few questions only the host can answer (is a station selected, may a
// recording be interrupted).
#pragma once

#include "core/usermessage.h"
#include "stream/httpstream.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <functional>

class QTcpSocket;

namespace kestrune {

class StreamEngine;

class ConnectionManager : public QObject {
    Q_OBJECT
public:
    struct Host {
        // The playlist request path of the selected station; empty when none is selected.
        std::function<QString()> selectedPlaylistPath;
        // Connection time-out in seconds, as the settings keep it ("5", "10", "15").
        std::function<QString()> requestTimeOut;
        // Closes the recording file if one is open. Whether a running recording may be
        // interrupted at all is asked by the window before Start or Stop runs.
        std::function<void()> closeRecording;
        // When set and it returns true, the station's servers come from it rather than from
        // a playlist on the directory host: it calls `done` once with the servers, or with
        // a reason they could not be had. A call after Stop or another Start is ignored.
        using ServersDone = std::function<void(const QStringList &servers, const QString &failure)>;
        std::function<bool(ServersDone done)> resolveServers;
    };

    // `directoryHost` is the directory's base address ("http://host[:port]"), where the
    // playlists are. The manager writes the player's phase and texts into the engine's status.
    ConnectionManager(StreamEngine &engine, QString directoryHost, Host host,
                      QObject *parent = nullptr);
    ~ConnectionManager() override;

    // The Play button (and a double click on a station).
    void Start();
    // The Stop button, and closing the window.
    void Stop();
    // A click on a server of the list: that server's address becomes the client's, for the
    // next connection; the running one goes on.
    void ServerClicked(int row);
    // Abandons a playlist request in progress (a new directory page is being loaded).
    void ClosePlaylistSocket();

    bool StreamWanted() const { return m_streamWanted; }
    bool PlaylistReady() const { return m_playlistReady; }
    int ServerIndex() const { return m_serverIndex; }
    const QStringList &servers() const { return m_servers; }
    // The row selected in the server list (-1: none); what the status line reports.
    int selectedServer() const { return m_selectedServer; }
    QTimer &TimerConnect() { return m_timerConnect; }

Q_SIGNALS:
    void downloadedText(const QString &text); // status panel 4
    void streamLabelsCleared();               // sample rate, channels, station link, artist
    void fileToRecordText(const QString &text);
    void serversChanged(const QStringList &servers);
    void serverSelected(int row);
    void serverUrlText(const QString &text); // lblURL
    void recordAvailable(bool available);
    void busyCursor(bool busy);
    // A message for the user. The same message is shown at most once between two Starts: the
    // watchdog goes on retrying without a new box every interval.
    void message(const QString &text, kestrune::MessageIcon icon);

private:
    void say(const QString &text, MessageIcon icon = MessageIcon::None);
    void watchdogTick();
    void stopStreamAndSound();
    void requestPlaylist();
    // One request of the playlist's redirect chain to `server` (its scheme, host and port;
    // https is asked over TLS); `target` is the request line's path.
    void fetchPlaylist(const QUrl &server, const QByteArray &target);
    void playlistFailed(const QString &reason);
    void onPlaylistClosed();
    // Start goes on with these servers.
    void useServers(const QStringList &servers, bool anyAddress);
    // Ends the running connection, shows `stoppedText`; false (after saying so) when no
    // station is selected.
    bool dropConnection(const QString &stoppedText);
    // Points the client at server ServerIndex with a fresh head and ring.
    void connectToServer();
    void selectServer(int row);

    StreamEngine &m_engine;
    QString m_directoryHost;
    Host m_host;
    QTimer m_timerConnect;
    QTimer m_playlistTimeOut;
    QPointer<QTcpSocket> m_playlistSocket;
    QByteArray m_playlistText;
    RedirectChain m_playlistRedirects{QStringLiteral("The directory")};
    QStringList m_servers;
    bool m_streamWanted = false;
    bool m_playlistReady = false;
    int m_serverIndex = 0;
    int m_selectedServer = -1;
    QStringList m_saidSinceStart;
    quint64 m_resolveRound = 0; // a resolveServers answer counts only for its own round
};

} // namespace kestrune
