// The simulator's JSON directory: the server list, the station search and the play counter,
// answered from the same catalogue as the classic pages; and the redirects and M3U playlists
// some of its stations lead to.
#include "stationsim/pages.h"
#include "stationsim/simulator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

namespace kestrune::stationsim {

namespace {

QByteArray headerValue(const QByteArray &head, const QByteArray &name) {
    const QByteArray wanted = name.toLower() + ':';
    const QList<QByteArray> lines = head.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
        if (line.toLower().startsWith(wanted))
            return line.mid(wanted.size()).trimmed();
    }
    return {};
}

QByteArray json(const QByteArray &status, const QJsonDocument &document) {
    return httpResponse(status, "application/json", document.toJson(QJsonDocument::Compact));
}

// The first of the redirects, the second, and the M3U playlists; each followed by the id.
constexpr QLatin1StringView RedirectPath("/go/");
constexpr QLatin1StringView SecondRedirectPath("/go2/");
constexpr QLatin1StringView M3uPath("/listen/");
constexpr QLatin1StringView M3uSuffix(".m3u");

QByteArray redirect(const QByteArray &status, const QString &location) {
    return "HTTP/1.1 " + status + "\r\nLocation: " + location.toUtf8() +
           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

int number(const QUrlQuery &query, const QString &key, int fallback, int low, int high) {
    bool ok = false;
    const int value = query.queryItemValue(key, QUrl::FullyDecoded).trimmed().toInt(&ok);
    return ok ? qBound(low, value, high) : fallback;
}

} // namespace

QString StationSimulator::stationUuid(const QString &id) {
    return QStringLiteral("5a1e0000-0000-4000-8000-0000000") + id;
}

const Station *StationSimulator::stationByUuid(const QString &uuid) const {
    const QString prefix = stationUuid(QString());
    if (!uuid.startsWith(prefix))
        return nullptr;
    return m_catalogue.find(uuid.mid(prefix.size()));
}

QByteArray StationSimulator::answerJson(const QByteArray &head, const QByteArray &path,
                                        const QByteArray &query) {
    if (m_jsonRequests.size() >= 1000)
        m_jsonRequests.removeFirst();
    m_jsonRequests.append({QString::fromLatin1(query.isEmpty() ? path : path + '?' + query),
                           QString::fromLatin1(headerValue(head, "User-Agent"))});

    if (path == "/json/servers") {
        // A dead server first: a client has to fall back from it to the live one.
        QJsonArray servers;
        servers.append(
            QJsonObject{{QStringLiteral("ip"), QStringLiteral("127.0.0.1")},
                        {QStringLiteral("name"), QStringLiteral("127.0.0.1:%1").arg(m_deadPort)}});
        servers.append(QJsonObject{
            {QStringLiteral("ip"), QStringLiteral("127.0.0.1")},
            {QStringLiteral("name"), QStringLiteral("127.0.0.1:%1").arg(directoryPort())}});
        return json("HTTP/1.1 200 OK", QJsonDocument(servers));
    }
    if (path.startsWith("/json/url/")) {
        const Station *station = stationByUuid(QString::fromLatin1(path.mid(10)));
        if (!station) {
            return json("HTTP/1.1 404 Not Found",
                        QJsonDocument(QJsonObject{
                            {QStringLiteral("ok"), false},
                            {QStringLiteral("message"), QStringLiteral("station not found")}}));
        }
        ++m_clicks[station->id];
        return json("HTTP/1.1 200 OK",
                    QJsonDocument(QJsonObject{
                        {QStringLiteral("ok"), true},
                        {QStringLiteral("message"), QStringLiteral("retrieved station url")},
                        {QStringLiteral("stationuuid"), stationUuid(station->id)},
                        {QStringLiteral("name"), station->name},
                        {QStringLiteral("url"), jsonStreamAddress(*station)}}));
    }
    if (path == "/json/stations/search") {
        const QUrlQuery params(QString::fromLatin1(query));
        QString tag =
            withoutControls(params.queryItemValue(QStringLiteral("tag"), QUrl::FullyDecoded));
        if (tag.isEmpty())
            tag = Catalogue::defaultGenre();
        const int maxBitrate = number(params, QStringLiteral("bitrateMax"), 1000000, 0, 1000000);
        const int limit = number(params, QStringLiteral("limit"), 100000, 0, 100000);
        const int offset = number(params, QStringLiteral("offset"), 0, 0, 1000000);
        QJsonArray stations;
        int skipped = 0;
        const QList<Station> &all = m_catalogue.stations(tag);
        for (qsizetype i = 0; i < all.size() && stations.size() < limit; ++i) {
            const Station &station = all.at(i);
            if (station.bitrateKbps > maxBitrate)
                continue;
            if (skipped++ < offset)
                continue;
            const QString address = jsonStreamAddress(station);
            stations.append(QJsonObject{
                {QStringLiteral("stationuuid"), stationUuid(station.id)},
                {QStringLiteral("name"), station.name},
                {QStringLiteral("url"), address},
                {QStringLiteral("url_resolved"), address},
                {QStringLiteral("homepage"), homeUrl(directoryPort(), station.id)},
                {QStringLiteral("tags"), station.genre.toLower() + QStringLiteral(",simulated")},
                {QStringLiteral("codec"), QStringLiteral("MP3")},
                {QStringLiteral("bitrate"), station.bitrateKbps},
                {QStringLiteral("votes"), station.maxListeners / 10},
                {QStringLiteral("clickcount"), station.listeners + m_clicks.value(station.id)},
                {QStringLiteral("hls"), isHlsStation(station) ? 1 : 0},
                {QStringLiteral("lastcheckok"), 1},
            });
        }
        return json("HTTP/1.1 200 OK", QJsonDocument(stations));
    }
    return json("HTTP/1.1 404 Not Found", QJsonDocument(QJsonArray()));
}

JsonKind StationSimulator::jsonKind(const Station &station) const {
    switch (m_catalogue.rankOf(station.id)) {
    case HlsRank:
        return JsonKind::Hls;
    case PlsRank:
        return JsonKind::Pls;
    case SecureRank:
        return JsonKind::Secure;
    case RedirectedRank:
        return JsonKind::Redirected;
    case M3uRank:
        return JsonKind::M3u;
    default:
        return JsonKind::Stream;
    }
}

bool StationSimulator::isHlsStation(const Station &station) const {
    return jsonKind(station) == JsonKind::Hls;
}

QString StationSimulator::jsonStreamAddress(const Station &station) const {
    const QString directory = QStringLiteral("http://127.0.0.1:%1").arg(directoryPort());
    switch (jsonKind(station)) {
    case JsonKind::Pls:
        return directory +
               QStringLiteral("%1?rn=%2")
                   .arg(QLatin1String(PlaylistPath.data(), qsizetype(PlaylistPath.size())))
                   .arg(station.id);
    case JsonKind::Secure:
        return QStringLiteral("https://127.0.0.1:%1/%2").arg(secureStreamPort()).arg(station.id);
    case JsonKind::Redirected:
        return directory + RedirectPath + station.id;
    case JsonKind::M3u:
        return directory + M3uPath + station.id + M3uSuffix;
    case JsonKind::Stream:
    case JsonKind::Hls:
        break;
    }
    return playlistAddresses(station).value(0);
}

QString StationSimulator::redirectTarget(const Station &station) const {
    return QStringLiteral("http://127.0.0.1:%1/%2").arg(streamPorts().value(0)).arg(station.id);
}

QByteArray StationSimulator::m3uPlaylist(const Station &station, bool plain) const {
    QByteArray text;
    if (!plain)
        text = "#EXTM3U\r\n#EXTINF:-1," + withoutControls(station.name).toUtf8() + "\r\n";
    const QByteArray end = plain ? "\n" : "\r\n";
    for (const QString &address : playlistAddresses(station))
        text += address.toUtf8() + end;
    return text;
}

QByteArray StationSimulator::answerStationKinds(const QByteArray &path, const QByteArray &query) {
    const QString target = QString::fromUtf8(path);
    // Two hops, a relative one and an absolute one, as redirecting services chain them.
    if (target.startsWith(RedirectPath)) {
        if (const Station *station = m_catalogue.find(target.mid(RedirectPath.size())))
            return redirect("302 Found", SecondRedirectPath + station->id);
    } else if (target.startsWith(SecondRedirectPath)) {
        if (const Station *station = m_catalogue.find(target.mid(SecondRedirectPath.size())))
            return redirect("307 Temporary Redirect", redirectTarget(*station));
    } else if (target.startsWith(M3uPath) && target.endsWith(M3uSuffix)) {
        const QString id = target.mid(M3uPath.size()).chopped(M3uSuffix.size());
        if (const Station *station = m_catalogue.find(id)) {
            const bool plain =
                QUrlQuery(QString::fromUtf8(query)).queryItemValue(QStringLiteral("plain")) ==
                QLatin1String("1");
            return httpResponse("HTTP/1.1 200 OK", "audio/x-mpegurl", m3uPlaylist(*station, plain),
                                m_options.contentLength);
        }
    }
    return {};
}

} // namespace kestrune::stationsim
