// Reading a station's playlist (PLS text) into its list of server addresses.
#pragma once

#include <QString>
#include <QStringList>

namespace kestrune {

struct PlaylistServers {
    QStringList servers;     // in file order
    bool anyAddress = false; // false: the text held no "http://" at all
};

// Takes the addresses of the File entries. An address containing "stream" is skipped unless
// it is the last one; the last address counts only when a line break follows it. Lines may
// end in LF, CR LF or a lone CR: a CR never becomes part of an address.
PlaylistServers ParsePlaylist(QString text);

} // namespace kestrune
