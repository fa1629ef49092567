// The community station directory reached through its JSON API: the search query built from
// the genre and bandwidth boxes, its answers read into grid rows, and the client that finds
// an API server, asks it and counts a play.
#pragma once

#include "directory/pageparser.h"
#include "net/redirectchain.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace kestrune {

// Where the server list is asked for; KESTRUNE_DIRECTORY_URL replaces it (as it does the
// classic pages' address), so tests and the offline demo point it at the simulator.
inline const QString DefaultRadioBrowserBase = QStringLiteral("https://all.api.radio-browser.info");
QString RadioBrowserBase();

// Sent with every request to the API; its operators ask clients to name themselves.
inline const QByteArray RadioBrowserUserAgent = QByteArrayLiteral("Kestrune/1.0.0");
// Stations asked for per page.
inline constexpr int RadioBrowserPageSize = 25;
// The largest answer taken, in bytes of the body. A page of 25 stations is some 30 KB.
inline constexpr qint64 MaxJsonBytes = 4 * 1024 * 1024;

// The search path and query ("/json/stations/search?..."): no tag for the top entry, the
// sub-genre's word otherwise (percent-encoded, "R&B/Soul" included), no bitrateMax when
// `maxBitrate` means no limit.
QString RadioBrowserSearchPath(const QString &genreText, qint16 maxBitrate, int offset);

struct RadioBrowserStation {
    QString uuid;
    QString name;
    QString urlResolved; // http or https
    QString firstTag;    // empty when the station has none
    qint64 votes = 0;
    qint64 clicks = 0;
    qint64 bitrate = 0; // kbit/s; 0 when the directory does not know

    // The grid row: "[tag]", "votes/clicks" as listeners, the bitrate, "Unknown" playing.
    StationRow row() const;
};

struct RadioBrowserPage {
    QList<RadioBrowserStation> stations; // in answer order, only those that can be played
    int entries = 0; // array elements in the answer, skipped ones too: a full page has more
};

// Reads a search answer: a JSON array of station objects. A station with a missing or
// wrong-typed field, an address that is not http(s), or `hls` set is left out. Nullopt when
// the text is no JSON array at all.
std::optional<RadioBrowserPage> ParseRadioBrowserStations(const QByteArray &json);

// Reads the server list ("/json/servers": objects with a "name"), as base addresses with the
// scheme of `base` ("https://de1.api..."). Names that are no plain host[:port] are left out.
QStringList ParseRadioBrowserServers(const QByteArray &json, const QString &base);

// Whether an address names a playlist to be resolved rather than a stream (by its path's
// ending: .pls, .m3u, .m3u8).
bool IsPlaylistAddress(const QString &url);

// Talks to the API. One search runs at a time; a new one abandons the old without a word.
class RadioBrowserClient : public QObject {
    Q_OBJECT
public:
    enum class Failure {
        NoConnection, // no server could be reached
        TooLarge,     // an answer went past MaxJsonBytes
        Status,       // an HTTP error status (httpStatus(), reasonPhrase())
        Malformed,    // the answer was no station list
        Secure,       // no secure connection: a certificate that does not verify, or a
                      // failed handshake (failureText names the host and the reason)
        Other,        // the transfer broke off
    };
    struct Result {
        bool ok = false;
        QByteArray body;
        Failure failure = Failure::Other;
        int httpStatus = 0;
        QString reasonPhrase;
        QString failureText; // for Secure
    };
    using Done = std::function<void(const Result &)>;

    explicit RadioBrowserClient(QObject *parent = nullptr);
    ~RadioBrowserClient() override;

    // The address the server list is asked from (RadioBrowserBase() until set otherwise).
    void setBase(const QString &base);
    QString base() const { return m_base; }
    // How long one request may take, in ms.
    void setTimeLimit(int ms) { m_timeLimitMs = ms; }

    // Asks a server for `pathAndQuery`, trying the servers in turn (random order, the base
    // last) until one answers; the server list is asked for once.
    void search(const QString &pathAndQuery);
    void abortSearch();
    bool isSearching() const { return m_searching; }

    // Counts a play ("/json/url/UUID") on the server the last search used; `done` is called
    // once, whatever happens.
    void countClick(const QString &uuid, Done done);
    // One GET of any http(s) address, capped at `cap` bytes. `done` is called once.
    void fetch(const QString &url, qint64 cap, Done done);
    void abortFetches();

    // The servers known, in the order they are tried; empty until the list has been read.
    const QStringList &servers() const { return m_servers; }
    QString currentServer() const { return m_servers.value(m_serverIndex, m_base); }

Q_SIGNALS:
    void searchFinished(const kestrune::RadioBrowserPage &page);
    void searchFailed(const kestrune::RadioBrowserClient::Result &result);

private:
    void requestServers();
    void trySearch();
    void onSearchAnswer(const Result &result);
    QNetworkReply *get(const QString &url, qint64 cap, Done done);

    QNetworkAccessManager *m_network = nullptr;
    QString m_base;
    QStringList m_servers;
    bool m_serversKnown = false;
    int m_serverIndex = 0;
    int m_triesLeft = 0;
    std::optional<Result> m_reachedFailure; // the last failure of a server that answered
    QString m_searchPath;
    bool m_searching = false;
    QPointer<QNetworkReply> m_searchReply;
    QList<QPointer<QNetworkReply>> m_fetches;
    int m_timeLimitMs = 15000;
};

} // namespace kestrune
