#include "stationsim/icecastmount.h"

#include "stationsim/pages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace kestrune::stationsim {

namespace {

QString text(std::string_view view) {
    return QString::fromUtf8(view.data(), qsizetype(view.size()));
}

QByteArray bytes(std::string_view view) {
    return QByteArray(view.data(), qsizetype(view.size()));
}

QString rfc822(const QDateTime &when) {
    return QLocale::c().toString(when.toUTC(), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss")) +
           QStringLiteral(" +0000");
}

} // namespace

Station icecastStation() {
    Station station;
    station.id = QStringLiteral("icecast");
    station.name = QStringLiteral("Harbour Lights Radio");
    station.genre = QStringLiteral("Ambient");
    station.listeners = 3;
    station.maxListeners = 100;
    station.bitrateKbps = 128;
    station.sampleRate = 44100;
    station.channels = 2;
    station.servers = 1;
    station.songs = {QStringLiteral("Mira Vale - Northern Lights"),
                     QStringLiteral("The Quiet Rooms - Tidewater"),
                     QStringLiteral("Ostrander - Lantern (Slow Mix)")};
    return station;
}

QByteArray icecastStreamHeader(const Station &station) {
    return "HTTP/1.0 200 OK\r\nServer: " + bytes(IcecastServerName) +
           "\r\nConnection: Close\r\nContent-Type: audio/mpeg\r\n"
           "Cache-Control: no-cache, no-store\r\nExpires: Mon, 26 Jul 1997 05:00:00 GMT\r\n"
           "Pragma: no-cache\r\nicy-br:" +
           QByteArray::number(station.bitrateKbps) +
           "\r\nicy-genre:" + withoutControls(station.genre).toUtf8() +
           "\r\nicy-name:" + withoutControls(station.name).toUtf8() + "\r\nicy-pub:1\r\n\r\n";
}

QByteArray icecastStatusJson(const Station &station, qint64 songSlot, quint16 port,
                             const QDateTime &started) {
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const QString song = station.songAt(songSlot);
    const qsizetype dash = song.indexOf(QLatin1String(" - "));
    QJsonObject mount{
        {QStringLiteral("genre"), station.genre},
        {QStringLiteral("listener_peak"), station.listeners},
        {QStringLiteral("listeners"), station.listeners},
        {QStringLiteral("listenurl"), base + text(IcecastMountPath)},
        {QStringLiteral("server_description"), QStringLiteral("Unspecified description")},
        {QStringLiteral("server_name"), station.name},
        {QStringLiteral("server_type"), QStringLiteral("audio/mpeg")},
        {QStringLiteral("stream_start"), rfc822(started)},
        {QStringLiteral("dummy"), QJsonValue()}};
    if (dash >= 0) {
        mount.insert(QStringLiteral("artist"), song.left(dash));
        mount.insert(QStringLiteral("title"), song.mid(dash + 3));
    } else if (!song.isEmpty()) {
        mount.insert(QStringLiteral("title"), song);
    }
    const QJsonObject other{{QStringLiteral("genre"), QStringLiteral("Jazz")},
                            {QStringLiteral("listeners"), 0},
                            {QStringLiteral("listenurl"), base + text(IcecastOtherMountPath)},
                            {QStringLiteral("server_name"), QStringLiteral("Late Night")},
                            {QStringLiteral("server_type"), QStringLiteral("application/ogg")},
                            {QStringLiteral("title"), QStringLiteral("Not this mount")},
                            {QStringLiteral("dummy"), QJsonValue()}};
    const QJsonObject stats{{QStringLiteral("admin"), QStringLiteral("icemaster@localhost")},
                            {QStringLiteral("host"), QStringLiteral("127.0.0.1")},
                            {QStringLiteral("location"), QStringLiteral("Earth")},
                            {QStringLiteral("server_id"), text(IcecastServerName)},
                            {QStringLiteral("server_start"), rfc822(started)},
                            {QStringLiteral("source"), QJsonArray{other, mount}}};
    return QJsonDocument(QJsonObject{{QStringLiteral("icestats"), stats}})
        .toJson(QJsonDocument::Compact);
}

QByteArray icecastReply(const QByteArray &status, const QByteArray &contentType,
                        const QByteArray &body) {
    return "HTTP/1.0 " + status + "\r\nServer: " + bytes(IcecastServerName) +
           "\r\nConnection: Close\r\nContent-Type: " + contentType +
           "\r\nCache-Control: no-cache, no-store\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace kestrune::stationsim
