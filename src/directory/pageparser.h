// Reads the stations and the paging links out of a directory page. The page is scanned by
// fixed markers and fixed distances from them, exactly as the directory lays its rows out;
// the reader never fails: a missing marker counts as position 0 and the distances then apply
// from where the scan stands, and a field that cannot be cut keeps its previous value.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kestrune {

struct StationRow {
    QString name;
    QString genre; // as the page has it, "[" included
    QString listeners;
    QString bitrateText;
    QString nowPlaying;   // "Unknown" when the row has none
    QString playlistPath; // "/sbin/shoutcast-playlist.pls?rn=" + the station's id

    // The four grid cells after the name: genre, listeners, bitrate, now playing.
    QStringList cells() const { return {genre, listeners, bitrateText, nowPlaying}; }
};

// What a page does to one paging button and its address.
struct PagingUpdate {
    enum class State { Unchanged, Enabled, Disabled };
    State state = State::Unchanged;
    // Set when the address was replaced: the full link, or only a part of the page when the
    // link could not be completed (the button then keeps its state).
    bool urlChanged = false;
    QString url;
};

struct ParsedPage {
    QList<StationRow> rows; // only the stations within the bitrate limit, in page order
    qint32 stationCount = 0;
    PagingUpdate next;
    PagingUpdate previous;
    QString caption;    // " 25 stations found."
    QString statusText; // status panel 1
};

// Reads `page` (lines already joined). Stations above `maxBitrate` are left out. The current
// paging addresses are where a link search goes on when the page gives no text to search
// (a "[ Next ]" within the first 50 characters).
ParsedPage ReadList(const QString &page, qint16 maxBitrate, const QString &directoryHost,
                    const QString &nextPageUrl = QString(),
                    const QString &previousPageUrl = QString());

} // namespace kestrune
