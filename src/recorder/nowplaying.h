// What is playing now, read from the stream server's own status page: the page is fetched,
// rendered as the markup a browser of the period gave for a page's body, and the song is cut
// from it at a fixed distance after "Current Song". Icecast servers have no such page; for
// them the song comes from the server's JSON listing of its mounts.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QNetworkAccessManager;

namespace kestrune {

class PageFetcher;

// The markup as the old platform's browser gave a page's body: tag names upper-case
// (attributes and text unchanged), and CR LF before each opening table row and cell tag
// (<TR>, <TD>, <TH>). Token by token, no document tree. Only the body's inner markup when
// the page has a <body> element.
QString NormaliseStatusMarkup(const QString &html);

// Characters from the "C" of "Current Song" to the song's first character in normalised
// markup.
inline constexpr int SongOffset = 55;

// The song cut from normalised markup: nullopt when there is no "Current Song"
// (nothing changes), else the text from 55 characters after its "C" up to "</B>" (empty
// when "</B>" is missing or follows at once). No trimming, no entity decoding.
std::optional<QString> SongFromStatusPage(const QString &normalised);

// Bytes to text: the charset of the Content-Type header, else a <meta> charset, else
// windows-1252. A byte order mark beats both, as it does in browsers.
QString DecodeStatusPage(const QByteArray &body, const QByteArray &contentTypeHeader);

// Shown for a song whose cell on the status page is empty.
inline constexpr char UnknownSong[] = "Unknown";

// A title an Icecast server listed for the station, and when it was first seen.
struct SeenSong {
    QDateTime firstSeen;
    QString title;
    bool operator==(const SeenSong &) const = default;
};

class NowPlayingTracker : public QObject {
    Q_OBJECT
public:
    // The whole poll, both fetches included, ends within the page fetch's own time-out;
    // polls come every 5 s.
    static constexpr int PollBudgetMs = 4000; // ms
    // Titles the history keeps; older ones are dropped.
    static constexpr int MaxHistory = 200;

    // `currentUrl` returns the address lblURL shows now (the server in use).
    explicit NowPlayingTracker(std::function<QString()> currentUrl, QObject *parent = nullptr);
    ~NowPlayingTracker() override;

    // `streamHead` returns the response head of the stream playing now (may be empty); it
    // tells an Icecast server. Without it, only status pages are read.
    void setStreamHead(std::function<QString()> streamHead) {
        m_streamHead = std::move(streamHead);
    }

    // The poll: does nothing when currentUrl() is empty; otherwise fetches it (a new poll
    // aborts the one in flight). When that gives no "Current Song" and the stream came from
    // an Icecast server, the server's mount listing is read instead.
    void GetArtist();

    // For a station whose titles come from an Icecast listing: the titles seen since it
    // started playing, newest first. nullopt for any other station (its server keeps its
    // own history page).
    std::optional<QList<SeenSong>> icecastHistory() const;
    // A station stopped playing: its history goes.
    void clearHistory();

Q_SIGNALS:
    // A poll found "Current Song": the song, or "Unknown" when it was empty. Emitted only
    // if the reply's address still equals currentUrl().
    void songRead(const QString &song);

private:
    void onPage(const QString &address, const QByteArray &body, const QByteArray &contentType);
    // The status page gave no song.
    void noSongOnPage(const QString &address);
    void onIcecastStatus(const QByteArray &body);
    void noteTitle(const QString &address, const QString &title);

    std::function<QString()> m_currentUrl;
    std::function<QString()> m_streamHead;
    QNetworkAccessManager *m_manager = nullptr;
    PageFetcher *m_fetcher = nullptr;
    PageFetcher *m_statusFetcher = nullptr;
    QElapsedTimer m_pollStarted;
    QString m_statusFor;       // the stream address the listing in flight is read for
    QString m_icecastAddress;  // the station whose titles come from a listing, if any
    QList<SeenSong> m_history; // newest first
};

} // namespace kestrune
