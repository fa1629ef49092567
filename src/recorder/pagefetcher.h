// Fetches one web page at a time the way a browser would be answered: stream servers of the
// period send their status page only to clients that name a browser, and send everybody
// else the audio stream itself, endlessly. So the fetch also guards against anything that is
// not a page: a body past a size cap, a reply that is not text, a server that never finishes.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace kestrune {

// Names a browser, so status servers answer with their page and not with the stream.
inline constexpr char BrowserUserAgent[] = "Mozilla/5.0 (compatible; Kestrune)";

class PageFetcher : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 DefaultMaxBytes = 256 * 1024; // bytes
    static constexpr int DefaultTimeoutMs = 4000;         // ms, for the whole fetch

    // `manager` may be shared by several fetchers and must outlive this one.
    explicit PageFetcher(QNetworkAccessManager *manager, QObject *parent = nullptr);
    ~PageFetcher() override;

    void setMaxBytes(qint64 bytes) { m_maxBytes = bytes; }
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // Also takes JSON replies (application/json), as status listings are sent.
    void setAcceptsJson(bool accepts) { m_acceptsJson = accepts; }

    // Starts fetching `address`, aborting a fetch still in flight (which then reports
    // nothing). Only http and https addresses are fetched; for anything else it returns false
    // and reports nothing.
    bool fetch(const QString &address);
    // Drops the fetch in flight, if any; it reports nothing.
    void abort();
    bool isBusy() const { return !m_reply.isNull(); }

Q_SIGNALS:
    // The page arrived whole. `address` is the text given to fetch(); `contentType` the
    // reply's Content-Type header (may be empty).
    void pageFetched(const QString &address, const QByteArray &body, const QByteArray &contentType);
    // No page came of it; `reason` is a short English text for a person.
    void fetchFailed(const QString &address, const QString &reason);

private:
    void onMetaData();
    void onReadyRead();
    void onFinished();
    void fail(const QString &reason);
    void drop();

    QNetworkAccessManager *m_manager = nullptr;
    QPointer<QNetworkReply> m_reply;
    QTimer *m_timer = nullptr;
    QString m_address;
    QByteArray m_body;
    qint64 m_maxBytes = DefaultMaxBytes;
    int m_timeoutMs = DefaultTimeoutMs;
    bool m_acceptsJson = false;
    QList<QSslError> m_sslErrors; // what the certificate check of this fetch said
};

// True when the bytes hold something no page contains (the binary bytes of content
// sniffing: NUL and the other controls besides tab, line ends, form feed and escape); only
// the first 1,024 bytes are looked at.
bool LooksBinary(const QByteArray &body);

} // namespace kestrune
