#include "directory/directoryquery.h"

#include "directory/choices.h"
#include "directory/directorystate.h"
#include "net/securefailure.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

#include <cmath>
#include <limits>

namespace kestrune {

namespace {

// The counters are 32-bit; a sum out of range stops at the limit instead of wrapping.
qint32 clamp32(qint64 value) {
    constexpr qint64 low = std::numeric_limits<qint32>::min();
    constexpr qint64 high = std::numeric_limits<qint32>::max();
    return qint32(value < low ? low : (value > high ? high : value));
}

// A directory that answers slower than this is as good as unreachable.
constexpr int TransferTimeoutMs = 60000;

// Where the page file goes: see the DirectoryDownload constructor. Empty when no folder can
// be had; the page then comes out empty.
QString pageFileFolder(const QString &programFolder) {
    const QFileInfo program(programFolder);
    if (program.isDir() && program.isWritable())
        return program.absoluteFilePath();
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (cache.isEmpty())
        return QString();
    constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    if (!QFileInfo::exists(cache)) {
        // Made with the owner's rights from the start, so it is never open to others.
        if (!QDir().mkpath(QFileInfo(cache).absolutePath()) || !QDir().mkdir(cache, ownerOnly))
            return QString();
    } else if (!QFileInfo(cache).isDir()) {
        return QString();
    } else {
        (void)QFile::setPermissions(cache, ownerOnly);
    }
    return cache;
}

} // namespace

QString GenreWord(const QString &genreText) {
    QString word = genreText;
    if (word.contains(QLatin1Char('-')))
        word = word.mid(2);
    if (word == QLatin1String("Top 25 streams"))
        word = QStringLiteral("TopTen");
    return word;
}

QString QueryUrlText(const QString &directoryHost, const QString &genreWord, qint16 maxBitrate) {
    return directoryHost + QStringLiteral("/directory/?sgenre=") + genreWord +
           QStringLiteral("&numresult=25") + QStringLiteral("&") + QStringLiteral("maxbitrate=") +
           QString::number(maxBitrate);
}

qint16 MaxBitrateAfter(const QString &bandwidthText, qint16 current) {
    return MaxBitrateFor(bandwidthText).value_or(current);
}

std::optional<qint32> ContentLengthIn(const QString &headerText) {
    static const QString name = QStringLiteral("Content-length:");
    const qsizetype at = headerText.indexOf(name, 0, Qt::CaseInsensitive);
    if (at < 0)
        return std::nullopt;
    qsizetype i = at + name.size();
    while (i < headerText.size() &&
           (headerText[i] == QLatin1Char(' ') || headerText[i] == QLatin1Char('\t') ||
            headerText[i] == QLatin1Char('\n')))
        ++i;
    qint64 value = 0;
    for (; i < headerText.size() && headerText[i] >= QLatin1Char('0') &&
           headerText[i] <= QLatin1Char('9');
         ++i) {
        value = value * 10 + (headerText[i].unicode() - '0');
        if (value > std::numeric_limits<qint32>::max())
            value = std::numeric_limits<qint32>::max();
    }
    return qint32(value);
}

QString JoinPageLines(const QByteArray &bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        text = QString::fromLatin1(bytes);
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    return text;
}

QString TakePageFile(const QString &path) {
    QByteArray bytes;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        bytes = file.readAll();
        file.close();
    }
    QFile::remove(path);
    return JoinPageLines(bytes);
}

bool IsDirectoryAddress(const QString &url, const QString &directoryHost) {
    const QUrl target(url, QUrl::TolerantMode);
    const QUrl home(directoryHost, QUrl::TolerantMode);
    if (!target.isValid() || !home.isValid() || target.isRelative() || home.isRelative() ||
        target.host().isEmpty())
        return false;
    // QUrl keeps schemes and host names in lower case.
    const QString scheme = home.scheme();
    const int usualPort = scheme == QLatin1String("https")  ? 443
                          : scheme == QLatin1String("http") ? 80
                                                            : -1;
    return target.scheme() == scheme && target.host() == home.host() &&
           target.port(usualPort) == home.port(usualPort);
}

DownloadProgress::Update DownloadProgress::onProgress(qint32 chunk, const QString &headerText,
                                                      const QString &caption,
                                                      qint32 &directoryBytes) {
    Update update;
    directoryBytes = clamp32(qint64(directoryBytes) + chunk);
    if (!m_counting) {
        m_contentLength = 0;
        m_receivedCount = 0;
        m_counting = true;
    }
    m_receivedCount = clamp32(qint64(m_receivedCount) + chunk);

    // While the player prebuffers, its caption stays in place.
    if (!caption.contains(QLatin1String("Prebuffering")))
        update.caption = QStringLiteral("Loading stations: ") + SignedNumber(directoryBytes) +
                         QStringLiteral(" bytes received");

    if (!headerText.isEmpty() && m_contentLength == 0) {
        if (const std::optional<qint32> length = ContentLengthIn(headerText)) {
            m_contentLength = *length;
            m_receivedCount = clamp32(qint64(m_receivedCount) - headerText.size());
        }
    }

    if (m_contentLength > 0) {
        const float fraction = float(m_receivedCount) / float(m_contentLength);
        update.title = QStringLiteral("Received ") + SignedNumber(m_receivedCount) +
                       QStringLiteral(" of ") + SignedNumber(m_contentLength) +
                       QStringLiteral(" - ") + QString::number(std::lround(fraction * 100.0f)) +
                       QStringLiteral("% Done");
        if (fraction >= 1.0f)
            m_counting = false;
    }
    return update;
}

DirectoryDownload::DirectoryDownload(const QString &programFolder, QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
    , m_host(DirectoryHost())
    , m_deadline(new QTimer(this)) {
    m_deadline->setSingleShot(true);
    // A directory that is still not done is as good as unreachable.
    connect(m_deadline, &QTimer::timeout, this, [this] {
        if (m_reply)
            fail(DownloadError::CannotConnect);
    });
    const QString folder = pageFileFolder(programFolder);
    if (!folder.isEmpty())
        m_tempPath = QDir(folder).filePath(TemporaryFileName);
}

DirectoryDownload::~DirectoryDownload() {
    abort();
}

void DirectoryDownload::start(const QString &url) {
    abort();
    // Whatever is there, an earlier page or someone else's file, is not this page.
    if (!m_tempPath.isEmpty() && QFileInfo::exists(m_tempPath))
        QFile::remove(m_tempPath);
    m_headerText.clear();
    m_headerCounted = false;
    m_anyData = false;
    m_bodyBytes = 0;
    m_httpStatus = 0;
    m_reasonPhrase.clear();
    m_failureText.clear();

    if (!IsDirectoryAddress(url, m_host)) {
        const quint64 attempt = m_attempt;
        QTimer::singleShot(0, this, [this, attempt] {
            if (attempt == m_attempt)
                Q_EMIT failed(int(DownloadError::AddressRefused));
        });
        return;
    }

    // Tolerant parsing keeps "&" and "/" of a genre word as they are.
    const QUrl address(url, QUrl::TolerantMode);
    m_redirects.start(address);
    // The time limit covers the whole chain of redirects.
    m_deadline->start(m_timeLimitMs);
    request(address);
}

void DirectoryDownload::request(const QUrl &url) {
    m_redirecting = false;
    m_sslErrors.clear();
    QNetworkRequest request(url);
    request.setTransferTimeout(TransferTimeoutMs);
    // Followed here, so that every hop is checked and a chain that ends says where.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, &DirectoryDownload::onHeader);
    connect(reply, &QNetworkReply::readyRead, this, &DirectoryDownload::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &DirectoryDownload::onFinished);
    // Never ignored: kept for the message of the failure that follows.
    connect(reply, &QNetworkReply::sslErrors, this, [this, reply](const QList<QSslError> &errors) {
        if (reply == m_reply)
            m_sslErrors = errors;
    });
}

void DirectoryDownload::abort() {
    ++m_attempt;
    detachReply();
    discardPageFile();
}

void DirectoryDownload::detachReply() {
    m_deadline->stop();
    if (QNetworkReply *reply = m_reply.data()) {
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

QString DirectoryDownload::takePage() {
    closeFile();
    if (!m_fileCreated)
        return QString();
    m_fileCreated = false;
    if (m_fileFailed) {
        QFile::remove(m_tempPath);
        return QString();
    }
    return TakePageFile(m_tempPath);
}

int DirectoryDownload::failureCode(int networkError, bool anyDataReceived) {
    switch (QNetworkReply::NetworkError(networkError)) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return int(DownloadError::NoConnection);
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::TimeoutError:
    // Our own aborts are never reported, so a cancellation is the transfer timeout.
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return int(DownloadError::CannotConnect);
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
        // Closed before anything came is a host that would not serve us; closed halfway is
        // a broken page.
        return anyDataReceived ? int(DownloadError::OtherFailureBase) + networkError
                               : int(DownloadError::CannotConnect);
    default:
        return int(DownloadError::OtherFailureBase) + networkError;
    }
}

void DirectoryDownload::readStatus() {
    QNetworkReply *reply = m_reply.data();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return;
    m_httpStatus = status.toInt();
    m_reasonPhrase = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
}

void DirectoryDownload::onHeader() {
    QNetworkReply *reply = m_reply.data();
    if (!reply || sender() != reply)
        return;
    readStatus();
    if (m_httpStatus == 0)
        return;
    static const QList<int> followed = {301, 302, 303, 307, 308};
    if (followed.contains(m_httpStatus) && reply->hasRawHeader("Location")) {
        m_redirecting = true;
        return;
    }
    const bool http2 = reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool();
    QString text = (http2 ? QStringLiteral("HTTP/2 ") : QStringLiteral("HTTP/1.1 ")) +
                   QString::number(m_httpStatus);
    if (!m_reasonPhrase.isEmpty())
        text += QLatin1Char(' ') + m_reasonPhrase;
    text += QStringLiteral("\r\n");
    for (const QNetworkReply::RawHeaderPair &pair : reply->rawHeaderPairs())
        text += QString::fromLatin1(pair.first) + QStringLiteral(": ") +
                QString::fromLatin1(pair.second) + QStringLiteral("\r\n");
    text += QStringLiteral("\r\n");
    m_headerText = text;

    // A page announced as too large is not waited for.
    bool known = false;
    const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (known && length > MaxPageBytes)
        fail(DownloadError::PageTooLarge);
}

void DirectoryDownload::onReadyRead() {
    if (m_reply && sender() == m_reply)
        writeAvailable();
}

void DirectoryDownload::writeAvailable() {
    const QByteArray data = m_reply->readAll();
    if (m_redirecting)
        return;
    if (data.isEmpty())
        return;
    m_anyData = true;
    m_bodyBytes += data.size();
    if (m_bodyBytes > MaxPageBytes) {
        fail(DownloadError::PageTooLarge);
        return;
    }
    if (!m_fileCreated) {
        m_fileCreated = true;
        m_fileFailed = true;
        m_file.setFileName(m_tempPath);
        // Only a file made here and now: start() removed the old one, and should anything
        // have taken its place since (a link, say), the page is lost rather than written
        // through it.
        if (!m_tempPath.isEmpty() && m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            m_fileFailed = false;
    }
    if (!m_fileFailed && m_file.write(data) != data.size()) {
        // A page with a hole in it would show the wrong rows: it comes out empty instead.
        m_fileFailed = true;
        closeFile();
    }
    // The counts are of bytes on the wire: the first report carries the header block too,
    // which the progress counting takes off again once it knows the content length. Counting
    // only body bytes would leave the "% Done" figure short of 100 for every page.
    qint64 counted = data.size();
    if (!m_headerCounted) {
        m_headerCounted = true;
        counted += m_headerText.size();
    }
    Q_EMIT progress(clamp32(counted), m_headerText);
}

void DirectoryDownload::onFinished() {
    QPointer<QNetworkReply> reply = m_reply;
    if (!reply || sender() != reply)
        return;
    writeAvailable();
    // Too large after all, or a progress receiver started another download meanwhile.
    if (m_reply != reply)
        return;
    readStatus();
    if (m_redirecting && reply->error() == QNetworkReply::NoError) {
        const QString location = QString::fromLatin1(reply->rawHeader("Location").trimmed());
        m_reply = nullptr;
        reply->deleteLater();
        const RedirectChain::Step step = m_redirects.follow(location);
        if (!step.target.isEmpty()) {
            request(step.target);
        } else {
            m_failureText = step.failure;
            m_deadline->stop();
            discardPageFile();
            Q_EMIT failed(int(DownloadError::RedirectFailed));
        }
        return;
    }
    closeFile();
    const QNetworkReply::NetworkError error = reply->error();
    m_deadline->stop();
    m_reply = nullptr;
    reply->deleteLater();
    if (error == QNetworkReply::NoError) {
        Q_EMIT finished();
    } else if (error == QNetworkReply::SslHandshakeFailedError) {
        discardPageFile();
        m_failureText =
            SecureFailureText(m_redirects.current().host(), m_sslErrors, reply->errorString());
        Q_EMIT failed(int(DownloadError::SecureConnectionFailed));
    } else {
        discardPageFile();
        Q_EMIT failed(failureCode(error, m_anyData));
    }
}

void DirectoryDownload::fail(DownloadError code) {
    detachReply();
    discardPageFile();
    Q_EMIT failed(int(code));
}

void DirectoryDownload::closeFile() {
    if (m_file.isOpen())
        m_file.close();
}

void DirectoryDownload::discardPageFile() {
    closeFile();
    if (m_fileCreated)
        QFile::remove(m_tempPath);
    m_fileCreated = false;
    m_fileFailed = false;
}

} // namespace kestrune
