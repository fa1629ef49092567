// Everything the simulator sends as text: directory pages, playlists, stream headers and the
// stream servers' own pages. Pure functions, so tests can check the layout byte for byte.
#pragma once

#include "stationsim/catalogue.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <string_view>

namespace kestrune::stationsim {

// Where a directory row's playlist link points. Clients find the rows by this path and ask
// the directory for exactly it, so it cannot change.
inline constexpr std::string_view PlaylistPath = "/sbin/shoutcast-playlist.pls";

// Text between a row's station link and what is playing. Clients jump a fixed 46 characters
// from the link's "</a>" to "Now Playing:", so this is exactly 42 long and holds nothing they
// look for.
inline constexpr std::string_view RowGap = "</font><br>   <font face=\"Arial\" size=\"1\">";
static_assert(RowGap.size() == 42);

// Stands where "Now Playing:" would for a station that does not say what it plays.
inline constexpr std::string_view NoSong = "<font size=\"1\">&nbsp;</font>";
static_assert(NoSong.size() >= 12);

// A row of a stream server's status page, in the markup servers of the period wrote:
// OPEN label MIDDLE value CLOSE. Clients take the song from a fixed 55 characters after the
// "C" of "Current Song", counted in a browser's rendering of the markup, which puts a line
// break (CR LF) before every cell tag: 53 characters here plus the one "<td" in between.
// The closing bold tag stays lower case; a browser upper-cases it.
inline constexpr std::string_view StatusRowOpen = "<tr><td width=100 nowrap><font class=default>";
inline constexpr std::string_view StatusRowMiddle = ": </font></td><td><font class=default><b>";
inline constexpr std::string_view StatusRowClose = "</b></td></tr>";
inline constexpr std::string_view SongLabel = "Current Song";
static_assert(SongLabel.size() + StatusRowMiddle.size() == 53);
static_assert(StatusRowMiddle.find("<td") != std::string_view::npos &&
              StatusRowMiddle.find("<td") == StatusRowMiddle.rfind("<td") &&
              StatusRowMiddle.find("<tr") == std::string_view::npos &&
              StatusRowMiddle.find("<th") == std::string_view::npos);
static_assert(StatusRowClose.substr(0, 4) == "</b>");

// Escapes &, <, > and " for HTML text and attributes.
QString htmlEscape(const QString &text);
// Replaces control characters (line breaks above all) with blanks: words from request
// targets end up in headers and pages.
QString withoutControls(const QString &text);

QString homeUrl(quint16 directoryPort, const QString &id);

// One row of the station table, ending with a line break. `song` empty: nothing playing.
QByteArray directoryRow(const Station &station, const QString &song, quint16 directoryPort);

struct DirectoryPage {
    QString genre;                  // as asked for
    QList<const Station *> listing; // every station of the query, in order
    int startAt = 0;                // index of the page's first station
    int pageSize = 25;
    qint64 songSlot = 0; // what is playing now
    quint16 port = 0;    // the directory's port, for home page addresses
};
QByteArray directoryPage(const DirectoryPage &page);

QByteArray homePage(const Station &station, quint16 directoryPort, qint64 songSlot);
QByteArray notFoundPage(const QByteArray &target);

// The playlist text, one entry per address.
QByteArray playlist(const Station &station, const QStringList &addresses, bool crlf);

// The head a stream server answers a player with, ending with its blank line.
QByteArray streamHeader(const Station &station, quint16 directoryPort);
// The page a stream server shows a browser.
QByteArray statusPage(const Station &station, int serverNumber, qint64 songSlot,
                      quint16 directoryPort);
// The last ten songs, newest first, with the time each began. `start` is the wall-clock
// time of slot 0; each slot lasts `songSeconds`.
QByteArray playedPage(const Station &station, qint64 songSlot, const QDateTime &start,
                      int songSeconds = 30);

// A complete HTTP response that ends with the connection: status line such as "HTTP/1.1 200
// OK", then Content-Type, Content-Length (if `withLength`), Connection: close and the body.
QByteArray httpResponse(const QByteArray &statusLine, const QByteArray &contentType,
                        const QByteArray &body, bool withLength = true);

} // namespace kestrune::stationsim
