#include "recorder/icecaststatus.h"

#include "net/redirectchain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

namespace kestrune {

namespace {

// A mount's path as both sides write it: the address without a path is the server's root.
QString mountOf(const QString &path) {
    return path.isEmpty() ? QStringLiteral("/") : path;
}

std::optional<QString> songOfSource(const QJsonValue &value, const QString &mount) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject source = value.toObject();
    const QJsonValue listenUrl = source.value(QLatin1String("listenurl"));
    if (!listenUrl.isString())
        return std::nullopt;
    const QUrl listen(listenUrl.toString());
    if (!listen.isValid() || mountOf(listen.path(QUrl::FullyDecoded)) != mount)
        return std::nullopt;
    // A title of another type is no title; an artist of another type is no artist.
    const QJsonValue title = source.value(QLatin1String("title"));
    const QString song = title.isString() ? title.toString() : QString();
    const QJsonValue artist = source.value(QLatin1String("artist"));
    if (!song.isEmpty() && artist.isString() && !artist.toString().isEmpty())
        return artist.toString() + QLatin1String(" - ") + song;
    return song;
}

} // namespace

bool IsIcecastResponse(const QString &responseHead) {
    QStringList lines;
    for (QStringView line : QStringView(responseHead).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() && !lines.isEmpty())
            break; // the blank line ends the head
        if (!line.isEmpty())
            lines << line.toString();
    }
    if (lines.isEmpty())
        return false;
    bool icyFields = false;
    bool audio = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(u':');
        if (colon < 0)
            continue;
        const QString name = lines.at(i).left(colon).trimmed().toLower();
        const QString value = lines.at(i).mid(colon + 1).trimmed();
        if (name == QLatin1String("server") &&
            value.startsWith(QLatin1String("Icecast"), Qt::CaseInsensitive))
            return true;
        if (name.startsWith(QLatin1String("icy-")))
            icyFields = true;
        if (name == QLatin1String("content-type") &&
            value.startsWith(QLatin1String("audio/"), Qt::CaseInsensitive))
            audio = true;
    }
    return icyFields && audio && lines.first().trimmed() == QLatin1String("HTTP/1.0 200 OK");
}

QUrl IcecastStatusUrl(const QString &streamUrl) {
    const QUrl stream(streamUrl);
    if (!IsWebAddress(stream))
        return {};
    QUrl status;
    status.setScheme(stream.scheme().toLower());
    status.setHost(stream.host());
    status.setPort(stream.port());
    status.setPath(QLatin1String(IcecastStatusPath));
    return status;
}

std::optional<QString> IcecastSongFromStatus(const QByteArray &body, const QString &mountPath) {
    if (body.size() > MaxIcecastStatusBytes)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue stats = document.object().value(QLatin1String("icestats"));
    if (!stats.isObject())
        return std::nullopt;
    // One mount is listed as an object, several as an array; none leaves the key out.
    const QJsonValue sources = stats.toObject().value(QLatin1String("source"));
    const QString mount = mountOf(mountPath);
    if (sources.isArray()) {
        for (const QJsonValue &source : sources.toArray()) {
            if (std::optional<QString> song = songOfSource(source, mount))
                return song;
        }
        return std::nullopt;
    }
    return songOfSource(sources, mount);
}

} // namespace kestrune
