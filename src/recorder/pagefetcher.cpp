#include "recorder/pagefetcher.h"

#include "net/redirectchain.h"
#include "net/securefailure.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace kestrune {

namespace {

bool isPageType(const QByteArray &contentType, bool acceptsJson) {
    const QByteArray type = contentType.trimmed().toLower();
    return type.startsWith("text/") || type.startsWith("application/xhtml+xml") ||
           (acceptsJson && type.startsWith("application/json"));
}

} // namespace

bool LooksBinary(const QByteArray &body) {
    const qsizetype n = qMin<qsizetype>(body.size(), 1024);
    for (qsizetype i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(body.at(i));
        if (c <= 0x08 || c == 0x0B || (c >= 0x0E && c <= 0x1A) || (c >= 0x1C && c <= 0x1F))
            return true;
    }
    return false;
}

PageFetcher::PageFetcher(QNetworkAccessManager *manager, QObject *parent)
    : QObject(parent)
    , m_manager(manager)
    , m_timer(new QTimer(this)) {
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("no answer within %1 s").arg(m_timeoutMs / 1000.0)); });
}

PageFetcher::~PageFetcher() {
    drop();
}

bool PageFetcher::fetch(const QString &address) {
    drop();
    const QUrl url(address);
    if (!m_manager || !IsWebAddress(url))
        return false;

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(BrowserUserAgent));
    request.setRawHeader("Accept", "text/html,*/*;q=0.5");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    m_address = address;
    m_sslErrors.clear();
    m_reply = m_manager->get(request);
    if (!m_reply)
        return false;
    // Never ignored: kept for the reason of the failure that follows.
    connect(m_reply, &QNetworkReply::sslErrors, this,
            [this](const QList<QSslError> &errors) { m_sslErrors = errors; });
    connect(m_reply, &QNetworkReply::metaDataChanged, this, &PageFetcher::onMetaData);
    connect(m_reply, &QNetworkReply::readyRead, this, &PageFetcher::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &PageFetcher::onFinished);
    m_timer->start(m_timeoutMs);
    return true;
}

void PageFetcher::abort() {
    drop();
}

void PageFetcher::onMetaData() {
    if (!m_reply)
        return;
    // Decided on the head, before any of an endless stream is taken in.
    const QByteArray type = m_reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    if (!type.isEmpty() && !isPageType(type, m_acceptsJson)) {
        fail(QStringLiteral("not a page (%1)").arg(QString::fromLatin1(type)));
        return;
    }
    bool known = false;
    const qint64 length = m_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (known && length > m_maxBytes)
        fail(QStringLiteral("the page is larger than %1 KiB").arg(m_maxBytes / 1024));
}

void PageFetcher::onReadyRead() {
    if (!m_reply)
        return;
    m_body += m_reply->readAll();
    if (m_body.size() > m_maxBytes)
        fail(QStringLiteral("the page is larger than %1 KiB").arg(m_maxBytes / 1024));
}

void PageFetcher::onFinished() {
    if (!m_reply)
        return;
    if (m_reply->error() == QNetworkReply::SslHandshakeFailedError) {
        fail(SecureFailureText(m_reply->url().host(), m_sslErrors, m_reply->errorString()));
        return;
    }
    if (m_reply->error() != QNetworkReply::NoError) {
        fail(m_reply->errorString());
        return;
    }
    m_body += m_reply->readAll();
    const QByteArray type = m_reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    if (m_body.size() > m_maxBytes) {
        fail(QStringLiteral("the page is larger than %1 KiB").arg(m_maxBytes / 1024));
        return;
    }
    if (type.isEmpty() ? LooksBinary(m_body) : !isPageType(type, m_acceptsJson)) {
        fail(QStringLiteral("not a page"));
        return;
    }
    const QString address = m_address;
    const QByteArray body = m_body;
    drop();
    Q_EMIT pageFetched(address, body, type);
}

void PageFetcher::fail(const QString &reason) {
    const QString address = m_address;
    drop();
    Q_EMIT fetchFailed(address, reason);
}

void PageFetcher::drop() {
    m_timer->stop();
    m_body.clear();
    if (QNetworkReply *reply = m_reply.data()) {
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

} // namespace kestrune
