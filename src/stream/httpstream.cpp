#include "stream/httpstream.h"

#include "stream/recordingsink.h"
#include "stream/socketlowwater.h"

#include "net/securefailure.h"

#include <QNetworkProxy>
#include <QSslSocket>
#include <QTcpSocket>

#include <algorithm>

namespace kestrune {

namespace {

const QString Scheme = QStringLiteral("http://");
const QString SecureScheme = QStringLiteral("https://");

// Only the header block is needed (for the challenge check); a server that never ends its
// header must not make us hold the whole stream.
constexpr qsizetype MaxResponseHead = 16 * 1024;

// What the socket object may hold for us while we hold back; beyond it the socket stops
// reading and the system's buffer and TCP's window slow the server down. Also the most one
// read hands over.
constexpr qint64 SocketBufferBytes = 64 * 1024;

using Failure = StreamFailure;

Failure typeMismatch() {
    return {StreamError::TypeMismatch, QStringLiteral("Type mismatch")};
}
Failure overflow() {
    return {StreamError::Overflow, QStringLiteral("Overflow")};
}

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

// Port numbers are typed by people into a URL, so they convert the way a 16-bit integer
// conversion of text does: surrounding blanks, an optional sign, digits.
std::optional<Failure> toInt16(const QString &text, qint16 &out) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    bool negative = false;
    if (begin < end && (text.at(begin) == u'+' || text.at(begin) == u'-')) {
        negative = text.at(begin) == u'-';
        ++begin;
    }
    if (begin == end)
        return typeMismatch();
    qint64 value = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9')
            return typeMismatch();
        // Stop growing once out of range; the remaining characters must still be digits.
        if (value <= 32768)
            value = value * 10 + (c.unicode() - u'0');
    }
    if (negative)
        value = -value;
    if (value < -32768 || value > 32767)
        return overflow();
    out = static_cast<qint16>(value);
    return std::nullopt;
}

// A playlist handed over by a server ends up in Url; a line break in it would let the
// server add its own lines to our request.
bool hasControlCharacter(const QString &text) {
    for (const QChar c : text) {
        if (c.unicode() < 32 || c.unicode() == 127)
            return true;
    }
    return false;
}

StreamError socketError(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return StreamError::ConnectionRefused;
    case QAbstractSocket::HostNotFoundError:
        return StreamError::HostNotFound;
    case QAbstractSocket::SocketTimeoutError:
        return StreamError::TimedOut;
    case QAbstractSocket::NetworkError:
        return StreamError::NetworkUnreachable;
    default:
        return static_cast<StreamError>(qToUnderlying(StreamError::SocketErrorBase) +
                                        static_cast<int>(error));
    }
}

// The header block: up to and including the first empty line (or all of it if there is none).
QByteArray headerBlock(const QByteArray &response) {
    const qsizetype crlf = response.indexOf("\r\n\r\n");
    const qsizetype lf = response.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf < lf))
        return response.left(crlf + 4);
    if (lf >= 0)
        return response.left(lf + 2);
    return response;
}

// The first word after "name: " on each header line called name (header names are
// case-insensitive); empty if there is no such line.
QStringList challengeSchemes(const QString &head, const QString &name) {
    QStringList schemes;
    const QString prefix = name + QStringLiteral(": ");
    const QStringList lines = head.split(u'\n');
    for (QString line : lines) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!line.startsWith(prefix, Qt::CaseInsensitive))
            continue;
        const QString rest = line.mid(prefix.size());
        schemes << rest.section(u' ', 0, 0, QString::SectionSkipEmpty);
    }
    return schemes;
}

bool offersBasic(const QStringList &schemes) {
    return schemes.contains(QStringLiteral("Basic"), Qt::CaseInsensitive);
}

int usualPort(const QUrl &url) {
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80;
}

// The same scheme, host and port: where a user's credentials may go.
bool sameServer(const QUrl &a, const QUrl &b) {
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 &&
           a.port(usualPort(a)) == b.port(usualPort(b));
}

// Whether a status line is one of the redirects that are followed.
bool isRedirectStatus(const QByteArray &statusLine) {
    if (!statusLine.startsWith("HTTP/"))
        return false;
    const QList<QByteArray> words = statusLine.trimmed().split(' ');
    const QByteArray code = words.value(1);
    return code == "301" || code == "302" || code == "303" || code == "307" || code == "308";
}

} // namespace

StreamTarget ResolveStreamTarget(const QString &url, bool useProxy, const QString &proxyServer,
                                 qint16 proxyPort) {
    StreamTarget target;
    target.url = url;
    if (hasControlCharacter(url)) {
        target.error = Failure{StreamError::InvalidArgument,
                               QStringLiteral("Invalid procedure call or argument")};
        return target;
    }
    // Case-sensitive on purpose, like the plain scheme below.
    target.secure = url.startsWith(SecureScheme);
    const QString &scheme = target.secure ? SecureScheme : Scheme;

    // Missing proxy settings still go to the socket, which reports the failure.
    const bool proxyGiven = !proxyServer.isEmpty() && proxyPort >= 1;
    if (useProxy && !target.secure) {
        if (proxyGiven) {
            target.host = proxyServer;
            target.port = static_cast<quint16>(proxyPort);
            if (!target.url.startsWith(Scheme))
                target.url.prepend(Scheme);
        }
        return target;
    }
    // A proxy cannot read a secure request; it only opens the tunnel, and the request in it
    // is the one the server would get directly.
    if (useProxy && proxyGiven) {
        target.tunnelHost = proxyServer;
        target.tunnelPort = static_cast<quint16>(proxyPort);
    }

    qint16 port = target.secure ? 443 : 80;
    // Case-sensitive on purpose, so stored station entries resolve exactly as they always have
    // ("HTTP://h:1/" ends up with an empty port text and is refused).
    QString hostText = url.startsWith(scheme) ? url.mid(scheme.size()) : url;
    const qsizetype slash = hostText.indexOf(u'/');
    if (slash >= 0)
        hostText.truncate(slash);
    const qsizetype colon = hostText.indexOf(u':');
    if (colon >= 0) {
        if (const auto failure = toInt16(hostText.mid(colon + 1), port)) {
            target.error = failure;
            return target;
        }
        hostText.truncate(colon);
    }
    target.host = hostText;
    target.port = port > 0 ? static_cast<quint16>(port) : 0;

    QString full = url.startsWith(scheme) ? url : scheme + url;
    qsizetype pathStart = full.indexOf(u'/', scheme.size());
    if (pathStart < 0) {
        full += u'/';
        pathStart = full.indexOf(u'/', scheme.size());
    }
    target.url = full.mid(pathStart);
    return target;
}

QByteArray Base64Latin1(const QString &text) {
    return text.toLatin1().toBase64();
}

QByteArray BuildStreamRequest(const QString &url, const QString &host, const QString &userName,
                              const QString &password, const QString &proxyUserName,
                              const QString &proxyPassword) {
    QByteArray request;
    const auto line = [&request](const QByteArray &text) { request += text + "\r\n"; };
    // One byte per character, as the Host line and the credentials are.
    line("GET " + url.toLatin1() + " HTTP/1.1");
    line("Host: " + host.toLatin1());
    line("Connection: close");
    line("Accept: */*");
    if (!password.isEmpty() && !userName.isEmpty())
        line("Authorization: Basic " + Base64Latin1(userName + u':' + password));
    if (!proxyPassword.isEmpty() && !proxyUserName.isEmpty())
        line("Proxy-Authorization: Basic " + Base64Latin1(proxyUserName + u':' + proxyPassword));
    line(QByteArray());
    return request;
}

std::optional<StreamFailure> AuthenticationChallenge(const QByteArray &response) {
    const QString head = QString::fromLatin1(headerBlock(response));
    const qsizetype space = head.indexOf(u' ');
    if (space < 0)
        return std::nullopt;
    bool numeric = false;
    const int status = head.mid(space + 1, 3).toInt(&numeric);
    if (!numeric)
        return std::nullopt;

    if (status == 401) {
        if (offersBasic(challengeSchemes(head, QStringLiteral("WWW-Authenticate"))))
            return Failure{StreamError::Unauthorized,
                           QStringLiteral("You must provide user name and password to "
                                          "retrieve the resource by that URL.")};
        return Failure{StreamError::Unauthorized,
                       QStringLiteral("Sorry, this application does support only for Basic "
                                      "Authentication Scheme.\r\nThis resource requires a "
                                      "Digital Authentication Scheme for the user "
                                      "authorization.")};
    }
    if (status == 407) {
        if (offersBasic(challengeSchemes(head, QStringLiteral("Proxy-Authenticate"))))
            return Failure{
                StreamError::ProxyAuthenticationRequired,
                QStringLiteral(
                    "You must provide user name and password for the proxy authorization.")};
        return Failure{StreamError::ProxyAuthenticationRequired,
                       QStringLiteral("Sorry, this sample does support only for Basic "
                                      "Authentication Scheme.\r\nThe proxy server requires "
                                      "the user authorization using a Digital "
                                      "Authentication Scheme.")};
    }
    return std::nullopt;
}

std::optional<QString> RedirectLocation(const QByteArray &response) {
    const QByteArray head = headerBlock(response);
    const QList<QByteArray> lines = head.split('\n');
    if (!isRedirectStatus(lines.value(0)))
        return std::nullopt;
    static const QByteArray name = "location:";
    for (const QByteArray &line : lines) {
        if (line.size() >= name.size() && line.left(name.size()).toLower() == name)
            return QString::fromLatin1(line.mid(name.size()).trimmed());
    }
    return std::nullopt;
}

HTTPStream::HTTPStream(QObject *parent)
    : QObject(parent) {}

HTTPStream::~HTTPStream() {
    // The socket must not report its own destruction to a half-destroyed object.
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        delete m_socket;
        m_socket = nullptr;
    }
}

void HTTPStream::setProxyUserName(const QString &value) {
    m_proxyUserName = value;
    Q_EMIT propertyChanged(QStringLiteral("ProxyUserName"));
}

void HTTPStream::setProxyPassword(const QString &value) {
    m_proxyPassword = value;
    Q_EMIT propertyChanged(QStringLiteral("ProxyPassword"));
}

void HTTPStream::setUserName(const QString &value) {
    m_userName = value;
    Q_EMIT propertyChanged(QStringLiteral("UserName"));
}

void HTTPStream::setPassword(const QString &value) {
    m_password = value;
    Q_EMIT propertyChanged(QStringLiteral("Password"));
}

void HTTPStream::setUrl(const QString &value) {
    m_url = value;
    Q_EMIT propertyChanged(QStringLiteral("Url"));
}

void HTTPStream::setUseProxy(bool value) {
    m_useProxy = value;
    Q_EMIT propertyChanged(QStringLiteral("UseProxy"));
}

void HTTPStream::setProxyServer(const QString &value) {
    m_proxyServer = value;
    Q_EMIT propertyChanged(QStringLiteral("ProxyServer"));
}

void HTTPStream::setProxyPort(qint16 value) {
    m_proxyPort = value;
    Q_EMIT propertyChanged(QStringLiteral("ProxyPort"));
}

void HTTPStream::ReadProperties(const QVariantMap &bag) {
    const auto text = [&bag](const char *name) { return bag.value(name).toString(); };
    m_proxyUserName = text("ProxyUserName");
    m_proxyPassword = text("ProxyPassword");
    m_userName = text("UserName");
    m_password = text("Password");
    m_url = text("Url");
    m_proxyServer = text("ProxyServer");
    m_useProxy = bag.value("UseProxy", false).toBool();
    // A stored port that does not fit reads as missing rather than as some wrapped number.
    bool ok = false;
    const int port = bag.value("ProxyPort", 0).toInt(&ok);
    m_proxyPort = ok && port >= -32768 && port <= 32767 ? static_cast<qint16>(port) : 0;
}

void HTTPStream::WriteProperties(QVariantMap &bag) const {
    const auto put = [&bag](const char *name, const QVariant &value, bool isDefault) {
        // Removing a stale entry keeps "default" and "missing" the same thing.
        if (isDefault)
            bag.remove(name);
        else
            bag.insert(name, value);
    };
    put("ProxyUserName", m_proxyUserName, m_proxyUserName.isEmpty());
    put("ProxyPassword", m_proxyPassword, m_proxyPassword.isEmpty());
    put("UserName", m_userName, m_userName.isEmpty());
    put("Password", m_password, m_password.isEmpty());
    put("Url", m_url, m_url.isEmpty());
    put("UseProxy", m_useProxy, !m_useProxy);
    put("ProxyServer", m_proxyServer, m_proxyServer.isEmpty());
    put("ProxyPort", int(m_proxyPort), m_proxyPort == 0);
}

bool HTTPStream::isConnected() const {
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

void HTTPStream::StartStreaming() {
    if (m_url.isEmpty()) {
        Q_EMIT messageRequested(QStringLiteral("Please, enter the URL to retrieve."));
        return;
    }
    const bool named = m_url.startsWith(Scheme) || m_url.startsWith(SecureScheme);
    const QUrl first(named ? m_url : Scheme + m_url, QUrl::TolerantMode);
    m_redirects.start(first);
    m_credentialsServer = first;
    m_sendCredentials = true;
    connectToUrl();
}

void HTTPStream::connectToUrl() {
    const StreamTarget target = ResolveStreamTarget(m_url, m_useProxy, m_proxyServer, m_proxyPort);
    if (target.error) {
        Q_EMIT Error(target.error->first, target.error->second);
        return;
    }
    if (target.url != m_url)
        setUrl(target.url);

    m_downloadedBytes = 0;
    m_connectHost = target.host;
    m_responseHead.clear();
    m_headComplete = false;
    m_requestBytesPending = 0;
    m_endPending = false;
    m_statusKnown = false;
    m_redirecting = false;
    m_held.clear();

    m_sslErrors.clear();

    dropSocket();
    QSslSocket *secure = target.secure ? new QSslSocket(this) : nullptr;
    m_socket = secure ? secure : new QTcpSocket(this);
    m_socket->setReadBufferSize(SocketBufferBytes);
    // The request goes once the connection is secure; before that nothing may be sent.
    if (secure) {
        connect(secure, &QSslSocket::encrypted, this, &HTTPStream::onConnected);
        connect(secure, &QSslSocket::sslErrors, this, &HTTPStream::onSslErrors);
    } else {
        connect(m_socket, &QTcpSocket::connected, this, &HTTPStream::onConnected);
    }
    connect(m_socket, &QTcpSocket::readyRead, this, &HTTPStream::onReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &HTTPStream::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &HTTPStream::onDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &HTTPStream::onSocketError);
    if (!secure) {
        m_socket->connectToHost(target.host, target.port);
        return;
    }
    if (!target.tunnelHost.isEmpty()) {
        QNetworkProxy proxy(QNetworkProxy::HttpProxy, target.tunnelHost, target.tunnelPort,
                            m_proxyUserName, m_proxyPassword);
        secure->setProxy(proxy);
    } else {
        secure->setProxy(QNetworkProxy::NoProxy);
    }
    secure->connectToHostEncrypted(target.host, target.port);
}

void HTTPStream::onSslErrors(const QList<QSslError> &errors) {
    // Never ignored: kept for the message the failed handshake brings next.
    m_sslErrors = errors;
}

void HTTPStream::StopStreaming() {
    m_endPending = false;
    dropSocket();
}

bool HTTPStream::setReceiveLowWater(int bytes) {
    return isConnected() && kestrune::setReceiveLowWater(m_socket->socketDescriptor(), bytes);
}

void HTTPStream::resumeReading() {
    if (!m_socket)
        return;
    onReadyRead();
}

void HTTPStream::dropSocket() {
    if (!m_socket)
        return;
    QTcpSocket *socket = m_socket;
    m_socket = nullptr;
    socket->disconnect(this);
    socket->abort();
    // We may be inside one of this socket's own signals (a host stopping from its Streaming
    // handler), so it is deleted once control is back in the event loop.
    socket->deleteLater();
}

void HTTPStream::onConnected() {
    // The request is one small write; it should leave at once, not wait for an ack.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const QString userName = m_sendCredentials ? m_userName : QString();
    const QString password = m_sendCredentials ? m_password : QString();
    // Inside a tunnel the request reaches the server itself, which must not see the
    // proxy's credentials (the proxy had them when the tunnel was opened).
    const bool tunnelled = m_socket->proxy().type() == QNetworkProxy::HttpProxy;
    const QByteArray request = BuildStreamRequest(m_url, m_connectHost, userName, password,
                                                  tunnelled ? QString() : m_proxyUserName,
                                                  tunnelled ? QString() : m_proxyPassword);
    m_requestBytesPending = request.size();
    m_socket->write(request);
    Q_EMIT Status(QStringLiteral("Sending response"));
}

void HTTPStream::onBytesWritten(qint64 bytes) {
    Q_EMIT Status(QStringLiteral("Sending request"));
    const bool wasPending = m_requestBytesPending > 0;
    m_requestBytesPending -= bytes;
    if (wasPending && m_requestBytesPending <= 0)
        Q_EMIT Status(QStringLiteral("Request completed"));
}

void HTTPStream::keepResponseHead(const QByteArray &block) {
    if (m_headComplete)
        return;
    // Searching the whole kept head (it is small) also finds a blank line split across blocks.
    m_responseHead += block.left(MaxResponseHead - m_responseHead.size());
    const qsizetype end = m_responseHead.indexOf("\r\n\r\n");
    const qsizetype lfEnd = m_responseHead.indexOf("\n\n");
    if (end >= 0 || lfEnd >= 0) {
        m_responseHead = headerBlock(m_responseHead);
        m_headComplete = true;
    } else if (m_responseHead.size() >= MaxResponseHead) {
        m_headComplete = true;
    }
}

void HTTPStream::onReadyRead() {
    QTcpSocket *socket = m_socket;
    // Until the socket is empty or the host has no room; a host that runs out of room asks
    // for resumeReading() once it has some again.
    while (socket && socket == m_socket && socket->bytesAvailable() > 0) {
        const bool holding = !m_statusKnown || m_redirecting;
        // Once the server has closed, what is in hand is all there will be: it goes in whole.
        // What is held back is bounded by the head's own limit, not by the host's room.
        qint64 allowed = m_allowance && !m_endPending ? m_allowance() : SocketBufferBytes;
        if (holding)
            allowed = std::max<qint64>(1, MaxResponseHead - m_held.size());
        if (allowed <= 0)
            return;
        const qint64 want = std::min({socket->bytesAvailable(), allowed, SocketBufferBytes});
        m_block.resize(want);
        const qint64 got = socket->read(m_block.data(), want);
        if (got <= 0)
            return;
        m_block.resize(got);
        m_downloadedBytes += got;
        keepResponseHead(m_block);
        if (holding) {
            m_held += m_block;
            decideOnHead();
        } else {
            handOver(m_block);
        }
    }
}

void HTTPStream::handOver(const QByteArray &block) {
    if (m_recording && m_recording->IsRecording())
        m_recording->AppendToRecording(block);
    Q_EMIT Streaming(block, static_cast<qint32>(block.size()));
}

void HTTPStream::decideOnHead() {
    if (!m_statusKnown) {
        const qsizetype lineEnd = m_held.indexOf('\n');
        if (lineEnd < 0 && m_held.size() < MaxResponseHead && !m_endPending)
            return;
        m_statusKnown = true;
        m_redirecting = isRedirectStatus(m_held.left(lineEnd));
    }
    if (m_redirecting && !m_headComplete && !m_endPending)
        return;
    if (m_redirecting && RedirectLocation(m_responseHead)) {
        followRedirect();
        return;
    }
    // Not a redirect after all (or one that names no target): the host gets it as it came.
    m_redirecting = false;
    const QByteArray held = std::exchange(m_held, QByteArray());
    if (!held.isEmpty())
        handOver(held);
}

void HTTPStream::followRedirect() {
    const RedirectChain::Step step = m_redirects.follow(RedirectLocation(m_responseHead).value());
    dropSocket();
    m_held.clear();
    if (!step.failure.isEmpty()) {
        Q_EMIT Error(StreamError::RedirectFailed, step.failure);
        return;
    }
    // The next hop is asked exactly as if its address had been the Url, except that another
    // server never sees the credentials meant for the first.
    m_sendCredentials = sameServer(step.target, m_credentialsServer);
    setUrl(step.target.toString(QUrl::FullyEncoded));
    connectToUrl();
    Q_EMIT Status(RedirectedText.arg(RedirectChain::shown(step.target)));
}

void HTTPStream::onDisconnected() {
    QTcpSocket *socket = m_socket;
    if (!socket)
        return;
    // Bytes that arrived together with the close are still part of the response, however
    // many the host can take at once.
    m_endPending = true;
    onReadyRead();
    // A head cut short is decided on what came of it.
    if (m_socket == socket && (!m_statusKnown || m_redirecting))
        decideOnHead();
    // The host may have stopped or restarted from its Streaming handler (or a redirect was
    // followed): then this connection's end is no longer news.
    if (m_socket != socket)
        return;
    finishResponse();
}

void HTTPStream::finishResponse() {
    m_endPending = false;
    if (const auto challenge = AuthenticationChallenge(m_responseHead))
        Q_EMIT Error(challenge->first, challenge->second);
    Q_EMIT Status(QStringLiteral("Response completed"));
}

void HTTPStream::onSocketError() {
    if (!m_socket)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    // The server closing the stream is its normal end; disconnected reports it.
    if (error == QAbstractSocket::RemoteHostClosedError)
        return;
    QString description = m_socket->errorString();
    StreamError number = socketError(error);
    if (error == QAbstractSocket::SslHandshakeFailedError) {
        description = SecureFailureText(m_connectHost, m_sslErrors, description);
        if (!m_sslErrors.isEmpty())
            number = StreamError::CertificateRejected;
    }
    // Close first, so a host that restarts from its Error handler gets a fresh connection.
    dropSocket();
    Q_EMIT Error(number, description);
}

} // namespace kestrune
