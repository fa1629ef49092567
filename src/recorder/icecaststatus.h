// Icecast servers have no status page at a mount's address (a browser gets the audio there):
// what a mount plays is listed, for all mounts at once, as JSON at /status-json.xsl of the
// server. These read that listing and tell such servers by the head of their stream.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace kestrune {

// Where the listing lives; servers answer with a few hundred bytes per mount.
inline constexpr char IcecastStatusPath[] = "/status-json.xsl";
inline constexpr qint64 MaxIcecastStatusBytes = 4 * 1024 * 1024; // bytes

// True when a stream's response head (status line, header lines, blank line; anything
// after the blank line is ignored) came from an Icecast server: a Server header starting
// "Icecast", or the icy- fields Icecast sends with an "HTTP/1.0 200 OK" status line and an
// audio/ content type (servers told to hide their name).
bool IsIcecastResponse(const QString &responseHead);

// The listing's address on the server of `streamUrl`: same scheme, host and port. Empty
// unless the stream's address is http or https with a host.
QUrl IcecastStatusUrl(const QString &streamUrl);

// The song the listing gives for the mount at `mountPath` (the stream address's path): its
// title, after "artist - " when the source has a non-empty artist. An empty text when the
// mount is listed without a title; nullopt when the body is not the listing (not JSON, too
// large, wrong types) or does not list the mount.
std::optional<QString> IcecastSongFromStatus(const QByteArray &body, const QString &mountPath);

} // namespace kestrune
