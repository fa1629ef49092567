#include "directory/radiobrowser.h"

#include "directory/choices.h"
#include "directory/directoryquery.h"
#include "net/securefailure.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

namespace kestrune {

namespace {

// A JSON number that is a whole number, as the API sends its counts. Doubles hold whole
// numbers exactly up to 2^53, far beyond any count.
std::optional<qint64> wholeNumber(const QJsonValue &value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    constexpr double Limit = 9007199254740992.0; // 2^53
    if (!(number >= 0.0 && number <= Limit) || number != double(qint64(number)))
        return std::nullopt;
    return qint64(number);
}

std::optional<QString> text(const QJsonObject &object, const QString &key) {
    const QJsonValue value = object.value(key);
    if (!value.isString())
        return std::nullopt;
    return value.toString();
}

// A station's hls flag: the API sends 0 or 1; a boolean is taken too.
std::optional<bool> flag(const QJsonValue &value) {
    if (value.isBool())
        return value.toBool();
    const std::optional<qint64> number = wholeNumber(value);
    if (!number || *number > 1)
        return std::nullopt;
    return *number == 1;
}

// Server text is shown as plain text in one grid cell: no line breaks or other controls.
QString cellText(const QString &text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        out += (c.category() == QChar::Other_Control) ? QLatin1Char(' ') : c;
    return out.simplified();
}

std::optional<RadioBrowserStation> readStation(const QJsonValue &value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const std::optional<QString> uuid = text(object, QStringLiteral("stationuuid"));
    const std::optional<QString> name = text(object, QStringLiteral("name"));
    const std::optional<QString> url = text(object, QStringLiteral("url_resolved"));
    const std::optional<QString> tags = text(object, QStringLiteral("tags"));
    const std::optional<qint64> votes = wholeNumber(object.value(QStringLiteral("votes")));
    const std::optional<qint64> clicks = wholeNumber(object.value(QStringLiteral("clickcount")));
    const std::optional<qint64> bitrate = wholeNumber(object.value(QStringLiteral("bitrate")));
    const std::optional<bool> hls = flag(object.value(QStringLiteral("hls")));
    if (!uuid || !name || !url || !tags || !votes || !clicks || !bitrate || !hls)
        return std::nullopt;
    // A stream the player cannot take, or an address it may not fetch, is no station here.
    static const QRegularExpression uuidShape(QStringLiteral("^[0-9A-Za-z-]{1,64}$"));
    if (*hls || !uuidShape.match(*uuid).hasMatch() || !IsWebAddress(*url))
        return std::nullopt;
    RadioBrowserStation station;
    station.uuid = *uuid;
    station.name = cellText(*name);
    station.urlResolved = url->trimmed();
    station.firstTag = cellText(tags->section(QLatin1Char(','), 0, 0));
    station.votes = *votes;
    station.clicks = *clicks;
    station.bitrate = *bitrate;
    return station;
}

RadioBrowserClient::Failure failureOf(QNetworkReply::NetworkError error, bool anyData) {
    switch (error) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // the transfer time-out
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return RadioBrowserClient::Failure::NoConnection;
    case QNetworkReply::RemoteHostClosedError:
        return anyData ? RadioBrowserClient::Failure::Other
                       : RadioBrowserClient::Failure::NoConnection;
    default:
        return RadioBrowserClient::Failure::Other;
    }
}

} // namespace

QString RadioBrowserBase() {
    QString base = qEnvironmentVariable("KESTRUNE_DIRECTORY_URL").trimmed();
    if (base.isEmpty())
        base = DefaultRadioBrowserBase;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QString RadioBrowserSearchPath(const QString &genreText, qint16 maxBitrate, int offset) {
    QString path = QStringLiteral("/json/stations/search?");
    const QString word = GenreWord(genreText);
    // The classic pages know the top entry by a word of their own; this directory by the
    // absence of a tag.
    if (word != QLatin1String("TopTen"))
        path += QStringLiteral("tag=") + QString::fromLatin1(QUrl::toPercentEncoding(word)) +
                QLatin1Char('&');
    if (maxBitrate != NoBitrateLimit)
        path += QStringLiteral("bitrateMax=") + QString::number(maxBitrate) + QLatin1Char('&');
    path += QStringLiteral("codec=MP3&hidebroken=true&order=clickcount&reverse=true&limit=") +
            QString::number(RadioBrowserPageSize) + QStringLiteral("&offset=") +
            QString::number(qMax(0, offset));
    return path;
}

StationRow RadioBrowserStation::row() const {
    StationRow row;
    row.name = name;
    row.genre = QLatin1Char('[') + firstTag + QLatin1Char(']');
    row.listeners = QString::number(votes) + QLatin1Char('/') + QString::number(clicks);
    row.bitrateText = QString::number(bitrate);
    row.nowPlaying = QStringLiteral("Unknown");
    row.playlistPath = uuid;
    return row;
}

std::optional<RadioBrowserPage> ParseRadioBrowserStations(const QByteArray &json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    const QJsonArray array = document.array();
    RadioBrowserPage page;
    page.entries = int(qMin<qsizetype>(array.size(), std::numeric_limits<int>::max()));
    for (const QJsonValue &value : array) {
        if (std::optional<RadioBrowserStation> station = readStation(value))
            page.stations.append(*station);
    }
    return page;
}

QStringList ParseRadioBrowserServers(const QByteArray &json, const QString &base) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return {};
    const QString scheme = QUrl(base).scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return {};
    // A host name or address, with a port at most: nothing that could change the scheme,
    // add a path or carry credentials.
    static const QRegularExpression hostShape(
        QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]{0,252})(:[0-9]{1,5})?$"));
    QStringList servers;
    for (const QJsonValue &value : document.array()) {
        const QString name = value.toObject().value(QStringLiteral("name")).toString();
        if (!hostShape.match(name).hasMatch())
            continue;
        const QString address = scheme + QStringLiteral("://") + name.toLower();
        if (IsWebAddress(address) && !servers.contains(address))
            servers << address;
    }
    return servers;
}

bool IsPlaylistAddress(const QString &url) {
    const QString path = QUrl(url).path().toLower();
    return path.endsWith(QLatin1String(".pls")) || path.endsWith(QLatin1String(".m3u")) ||
           path.endsWith(QLatin1String(".m3u8"));
}

RadioBrowserClient::RadioBrowserClient(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_base(RadioBrowserBase()) {}

RadioBrowserClient::~RadioBrowserClient() {
    abortSearch();
    abortFetches();
}

void RadioBrowserClient::setBase(const QString &base) {
    QString trimmed = base.trimmed();
    while (trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    if (trimmed == m_base)
        return;
    abortSearch();
    m_base = trimmed;
    m_servers.clear();
    m_serversKnown = false;
    m_serverIndex = 0;
}

QNetworkReply *RadioBrowserClient::get(const QString &url, qint64 cap, Done done) {
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::UserAgentHeader, RadioBrowserUserAgent);
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(m_timeLimitMs);
    // Qt follows http and https only; never from https down to http, at most five hops.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    QNetworkReply *reply = m_network->get(request);
    auto body = std::make_shared<QByteArray>();
    auto ended = std::make_shared<bool>(false);
    // Never ignored: kept for the message of the failure that follows.
    auto sslErrors = std::make_shared<QList<QSslError>>();
    connect(reply, &QNetworkReply::sslErrors, this,
            [sslErrors](const QList<QSslError> &errors) { *sslErrors = errors; });
    const auto finish = [reply, ended, done](const Result &result) {
        if (*ended)
            return;
        *ended = true;
        reply->disconnect();
        reply->abort();
        reply->deleteLater();
        done(result);
    };
    const auto tooLarge = [finish] {
        Result result;
        result.failure = Failure::TooLarge;
        finish(result);
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, cap, tooLarge] {
        bool known = false;
        const qint64 length =
            reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && length > cap)
            tooLarge();
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply, cap, body, tooLarge] {
        *body += reply->read(cap + 1 - body->size());
        if (body->size() > cap)
            tooLarge();
    });
    connect(reply, &QNetworkReply::finished, this, [reply, cap, body, sslErrors, tooLarge, finish] {
        *body += reply->read(cap + 1 - body->size());
        if (body->size() > cap) {
            tooLarge();
            return;
        }
        Result result;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        result.httpStatus = status.isValid() ? status.toInt() : 0;
        result.reasonPhrase =
            reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().simplified();
        if (result.httpStatus >= 300) {
            result.failure = Failure::Status;
        } else if (reply->error() == QNetworkReply::SslHandshakeFailedError) {
            result.failure = Failure::Secure;
            result.failureText =
                SecureFailureText(reply->url().host(), *sslErrors, reply->errorString());
        } else if (reply->error() != QNetworkReply::NoError) {
            result.failure = failureOf(reply->error(), !body->isEmpty());
        } else {
            result.ok = true;
            result.body = *body;
        }
        finish(result);
    });
    return reply;
}

void RadioBrowserClient::search(const QString &pathAndQuery) {
    abortSearch();
    m_reachedFailure.reset();
    m_searchPath = pathAndQuery;
    m_searching = true;
    if (!m_serversKnown) {
        requestServers();
        return;
    }
    m_triesLeft = int(m_servers.size());
    trySearch();
}

void RadioBrowserClient::requestServers() {
    m_searchReply =
        get(m_base + QStringLiteral("/json/servers"), MaxJsonBytes, [this](const Result &result) {
            m_searchReply = nullptr;
            QStringList servers;
            if (result.ok)
                servers = ParseRadioBrowserServers(result.body, m_base);
            // Any one may be down: a random start spreads the load, and the
            // others follow in turn. The base itself serves the API too.
            if (!servers.isEmpty()) {
                const int start = int(QRandomGenerator::global()->bounded(qint64(servers.size())));
                std::rotate(servers.begin(), servers.begin() + start, servers.end());
            }
            if (!servers.contains(m_base))
                servers << m_base;
            m_servers = servers;
            // A list that could not be had is asked for again next time.
            m_serversKnown = result.ok;
            m_serverIndex = 0;
            m_triesLeft = int(m_servers.size());
            trySearch();
        });
}

void RadioBrowserClient::trySearch() {
    const QString server = m_servers.value(m_serverIndex, m_base);
    m_searchReply = get(server + m_searchPath, MaxJsonBytes,
                        [this](const Result &result) { onSearchAnswer(result); });
}

void RadioBrowserClient::onSearchAnswer(const Result &result) {
    m_searchReply = nullptr;
    if (result.ok) {
        m_searching = false;
        if (const std::optional<RadioBrowserPage> page = ParseRadioBrowserStations(result.body)) {
            Q_EMIT searchFinished(*page);
        } else {
            Result malformed;
            malformed.failure = Failure::Malformed;
            Q_EMIT searchFailed(malformed);
        }
        return;
    }
    // What a server that was reached said tells more than another that could not be.
    if (result.failure != Failure::NoConnection || !m_reachedFailure)
        m_reachedFailure = result;
    // A server that cannot be reached or fails is left for the next; one that sends too much
    // would likely be followed by others sending the same.
    if (result.failure != Failure::TooLarge && --m_triesLeft > 0) {
        m_serverIndex = (m_serverIndex + 1) % int(qMax<qsizetype>(1, m_servers.size()));
        trySearch();
        return;
    }
    m_searching = false;
    const Result failure = m_reachedFailure.value_or(result);
    m_reachedFailure.reset();
    Q_EMIT searchFailed(failure);
}

void RadioBrowserClient::abortSearch() {
    m_searching = false;
    if (QNetworkReply *reply = m_searchReply.data()) {
        m_searchReply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void RadioBrowserClient::countClick(const QString &uuid, Done done) {
    QString safe;
    for (const QChar c : uuid) {
        if (c.isLetterOrNumber() || c == QLatin1Char('-'))
            safe += c;
    }
    fetch(currentServer() + QStringLiteral("/json/url/") + safe, MaxJsonBytes, std::move(done));
}

void RadioBrowserClient::fetch(const QString &url, qint64 cap, Done done) {
    if (!IsWebAddress(url)) {
        QMetaObject::invokeMethod(
            this,
            [done] {
                Result refused;
                refused.failure = Failure::Other;
                done(refused);
            },
            Qt::QueuedConnection);
        return;
    }
    m_fetches.removeAll(nullptr);
    m_fetches.append(get(url, cap, std::move(done)));
}

void RadioBrowserClient::abortFetches() {
    const QList<QPointer<QNetworkReply>> fetches = std::exchange(m_fetches, {});
    for (const QPointer<QNetworkReply> &reply : fetches) {
        if (reply) {
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
    }
}

} // namespace kestrune
