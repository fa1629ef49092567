// What is playing now, read from the stream server's own status page: the page is fetched,
// rendered as the markup a browser of the period gave for a page's body, and the song is cut
// from it at a fixed distance after "Current Song".
#pragma once

#include <QByteArray>
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

class NowPlayingTracker : public QObject {
    Q_OBJECT
public:
    // `currentUrl` returns the address lblURL shows now (the server in use).
    explicit NowPlayingTracker(std::function<QString()> currentUrl, QObject *parent = nullptr);
    ~NowPlayingTracker() override;

    // The poll: does nothing when currentUrl() is empty; otherwise fetches it (a new poll
    // aborts the one in flight).
    void GetArtist();

Q_SIGNALS:
    // A poll found "Current Song": the song, or "Unknown" when it was empty. Emitted only
    // if the reply's address still equals currentUrl().
    void songRead(const QString &song);

private:
    void onPage(const QString &address, const QByteArray &body, const QByteArray &contentType);

    std::function<QString()> m_currentUrl;
    QNetworkAccessManager *m_manager = nullptr;
    PageFetcher *m_fetcher = nullptr;
};

} // namespace kestrune
