// A station served the way Icecast 2.4 serves a mount: the mount's address streams to
// anyone, browsers included, and what it plays is listed as JSON at /status-json.xsl of
// the same server, beside a second mount so a client has to pick its own.
#pragma once

#include "stationsim/catalogue.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <string_view>

namespace kestrune::stationsim {

inline constexpr std::string_view IcecastMountPath = "/live.mp3";
// Listed, never streamed: only there to stand beside the station's mount.
inline constexpr std::string_view IcecastOtherMountPath = "/late-night.ogg";
inline constexpr std::string_view IcecastStatusJsonPath = "/status-json.xsl";
inline constexpr std::string_view IcecastServerName = "Icecast 2.4.4";

// The station on the mount. Its songs are "artist - title"; the listing gives the two apart.
Station icecastStation();

// The head the mount answers with, ending with its blank line.
QByteArray icecastStreamHeader(const Station &station);
// The listing's body: both mounts at `port`, the station's with the song of `songSlot`.
QByteArray icecastStatusJson(const Station &station, qint64 songSlot, quint16 port,
                             const QDateTime &started);
// A whole reply as the server sends it (HTTP/1.0, its Server header, ends with the
// connection).
QByteArray icecastReply(const QByteArray &status, const QByteArray &contentType,
                        const QByteArray &body);

} // namespace kestrune::stationsim
