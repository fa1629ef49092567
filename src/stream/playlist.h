// Reading a station's playlist (PLS or M3U text) into its list of server addresses.
#pragma once

#include <QString>
#include <QStringList>

namespace kestrune {

// A playlist names a handful of servers in a few hundred bytes. The connection gives up on a
// response larger than this rather than gather it while the time-out runs.
inline constexpr qsizetype MaxPlaylistBytes = 1024 * 1024;
// Longer "addresses" are skipped: no server has one, and the server list would show it.
inline constexpr qsizetype MaxAddressLength = 2048;

struct PlaylistServers {
    QStringList servers;     // in file order
    bool anyAddress = false; // false: the text held no "http://" or "https://" at all (M3U:
                             // no http or https address line)
};

// Takes the addresses of the File entries ("http://" or "https://"). An address containing "stream"
// is skipped unless it is the last one; the last address counts only when a line break follows it;
// an address longer than MaxAddressLength characters is skipped. Lines may end in LF, CR LF or a
// lone CR: a CR never becomes part of an address. Time and memory grow linearly with the text.
//
// The section line "[playlist]" and the entry-count line after it are skipped by counting
// (after line ends have become LF): the 27 characters from the start of "[playlist]" on
// go, then the rest of the line found there. With the usual
// "numberofentries=N" that is exactly the count line; when the line after the section line
// is 15 characters or shorter, the count lands beyond it and the line it lands in goes too.
//
// An M3U body is read instead: one that starts with "#EXTM3U", or one whose lines are all
// addresses ("scheme://...") once blank lines and "#" lines are set aside (a response's
// header block, when the text starts with one, is not part of the body). Its http and https
// address lines are the servers, in order; other schemes, and addresses with blanks or
// longer than MaxAddressLength, are skipped.
PlaylistServers ParsePlaylist(const QString &text);

// Whether a playlist response is a refusal: when it begins with a status line ("HTTP/1.1 404
// Not Found", "ICY 401 Service Unavailable") whose code is not 2xx, the code and reason
// phrase ("404 Not Found"); else empty. An error page or a redirect is no playlist, whatever
// addresses its header or text hold.
QString PlaylistRefusal(const QByteArray &response);

} // namespace kestrune
