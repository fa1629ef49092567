// The directory side of a test server that stands for one station: the directory page that
// lists it and its playlist.
#pragma once

#include "stationsim/pages.h"

#include "pageserver.h"

#include <QByteArray>
#include <QStringList>

namespace kestrune::testsupport {

// The answer to `path` when it asks for the directory page (listing `station`, its links on
// `port`) or the station's playlist (naming `servers`); empty for any other path.
inline QByteArray oneStationDirectoryAnswer(const QByteArray &path,
                                            const stationsim::Station &station, quint16 port,
                                            const QStringList &servers) {
    if (path.startsWith("/directory")) {
        stationsim::DirectoryPage page;
        page.genre = QStringLiteral("TopTen");
        page.listing << &station;
        page.port = port;
        return httpReply("text/html", stationsim::directoryPage(page));
    }
    if (path ==
        QByteArray(stationsim::PlaylistPath.data(), qsizetype(stationsim::PlaylistPath.size())))
        return httpReply("audio/x-scpls", stationsim::playlist(station, servers, false));
    return QByteArray();
}

} // namespace kestrune::testsupport
