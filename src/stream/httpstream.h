// The stream client: fetches one HTTP resource over a raw TCP connection and hands every
// received block, response header included and unparsed, to its host. Parsing the response
// is the host's business.
#pragma once

#include "net/redirectchain.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <optional>
#include <utility>

class QTcpSocket;

namespace kestrune {

class RecordingSink;

// The numbers the Error event carries. Hosts written for other platforms know them, so they
// never change: the first three are what converting the Url's port text reports, the socket
// ones what the usual socket layers number their failures.
enum class StreamError : qint16 {
    InvalidArgument = 5,               // the Url holds a control character (CR, LF, tab, DEL...)
    Overflow = 6,                      // the Url's port is a number outside the 16-bit range
    TypeMismatch = 13,                 // the Url's port text is empty or not a number
    RedirectFailed = 310,              // a redirect loop, a sixth hop, or a target that is
                                       // neither http nor https
    CertificateRejected = 311,         // an https server whose certificate does not verify
    Unauthorized = 401,                // the server asks for a user name and password
    ProxyAuthenticationRequired = 407, // the proxy asks for a user name and password
    SocketErrorBase = 10000,           // any other socket failure: this plus its
                                       // QAbstractSocket::SocketError value (9999 for unknown;
                                       // 10013 a secure handshake that failed otherwise)
    NetworkUnreachable = 10051,        // no route to the network
    TimedOut = 10060,                  // the connection attempt timed out
    ConnectionRefused = 10061,         // nothing listens at that address and port
    HostNotFound = 11001,              // the host name does not resolve (or is empty)
};

// A failure and its description, as the Error event reports it.
using StreamFailure = std::pair<StreamError, QString>;

// Where StartStreaming connects and what it requests, derived from the Url and proxy
// properties. Pure; see HTTPStream::StartStreaming for the rules.
struct StreamTarget {
    QString host;     // connect host, also sent in the Host line (no port)
    quint16 port = 0; // TCP port; a port given as zero or less stays 0, which the socket refuses
    QString url;      // the Url property afterwards: the path (direct) or the full URL (proxy)
    // An https Url: the connection is secure, its certificate checked against `host`.
    bool secure = false;
    // A secure Url through the proxy: the proxy is asked for a tunnel to host:port (CONNECT),
    // and the request inside it is the direct one. Empty when there is no proxy to go through.
    QString tunnelHost;
    quint16 tunnelPort = 0;
    // Set when the Url cannot be used; no connection is made.
    std::optional<StreamFailure> error;
};
StreamTarget ResolveStreamTarget(const QString &url, bool useProxy, const QString &proxyServer,
                                 qint16 proxyPort);

// The request text, lines joined with CR LF and ending with an empty line. Authorisation lines
// only when both their user name and password are set.
QByteArray BuildStreamRequest(const QString &url, const QString &host, const QString &userName,
                              const QString &password, const QString &proxyUserName,
                              const QString &proxyPassword);

// Base64 (RFC 4648 alphabet, padded, no line breaks) of the text's 8-bit characters.
QByteArray Base64Latin1(const QString &text);

// The authentication challenge in a response's header block, if any: Unauthorized or
// ProxyAuthenticationRequired, with its message.
std::optional<StreamFailure> AuthenticationChallenge(const QByteArray &response);

// The target of a redirect in a response's header block: the Location value of a 301, 302,
// 303, 307 or 308 answer, blanks trimmed. Unset for any other answer, and for a redirect
// without a Location line (that one is handed on like any other answer).
std::optional<QString> RedirectLocation(const QByteArray &response);

class HTTPStream : public QObject {
    Q_OBJECT
public:
    inline static const QString RedirectedText = QStringLiteral("Redirected to %1");

    explicit HTTPStream(QObject *parent = nullptr);
    ~HTTPStream() override;

    // Persisted properties; each write also raises propertyChanged with the property's name.
    QString ProxyUserName() const { return m_proxyUserName; }
    void setProxyUserName(const QString &value);
    QString ProxyPassword() const { return m_proxyPassword; }
    void setProxyPassword(const QString &value);
    QString UserName() const { return m_userName; }
    void setUserName(const QString &value);
    QString Password() const { return m_password; }
    void setPassword(const QString &value);
    QString Url() const { return m_url; }
    void setUrl(const QString &value);
    bool UseProxy() const { return m_useProxy; }
    void setUseProxy(bool value);
    QString ProxyServer() const { return m_proxyServer; }
    void setProxyServer(const QString &value);
    qint16 ProxyPort() const { return m_proxyPort; }
    void setProxyPort(qint16 value);

    // Property bag: defaults are not stored; missing names read as their defaults.
    void ReadProperties(const QVariantMap &bag);
    void WriteProperties(QVariantMap &bag) const;

    // Bytes received on the current connection, response header included. Reset by
    // StartStreaming, kept after StopStreaming. 64-bit: a 32-bit count runs out after 2 GiB.
    qint64 DownloadedBytes() const { return m_downloadedBytes; }

    // The recording the received blocks are appended to while it records (may be null).
    void setRecordingSink(RecordingSink *sink) { m_recording = sink; }

    // Parses Url, picks host and port, resets the byte count and (re)connects. An https Url
    // is asked over TLS with the same request bytes; a certificate that does not verify ends
    // the connection with CertificateRejected. A redirect (see RedirectChain) is followed on
    // a new connection, as if its target had been the Url, without its answer reaching the
    // host; one that cannot be followed is an Error.
    void StartStreaming();
    // Closes the connection; raises nothing.
    void StopStreaming();

    bool isConnected() const;

    // How many bytes the host can take now; unset, the client reads whatever arrives. At 0
    // the client leaves the bytes with the socket (whose buffer, and then TCP, hold the
    // server back) until resumeReading() is called.
    using ReadAllowance = std::function<qint64()>;
    void setReadAllowance(ReadAllowance allowance) { m_allowance = std::move(allowance); }
    // Reads what the allowance now permits of what is waiting (after a hold-back).
    void resumeReading();
    // Wakes the client only once this many bytes wait on the current connection (see
    // socketlowwater.h); false when the system has no such mark or nothing is connected.
    bool setReceiveLowWater(int bytes);

Q_SIGNALS:
    // Also "Redirected to ADDRESS" (RedirectedText) as a redirect is followed.
    void Status(const QString &sStatus);
    // A Url that cannot be used (StartStreaming then connects nowhere), a socket failure
    // (the connection is closed first), or an authentication challenge in the response (just
    // before "Response completed"). The remote closing the connection is the normal end,
    // not an error.
    void Error(kestrune::StreamError iNumber, const QString &sError);
    void Streaming(const QByteArray &Buffer, qint32 BytesTotal);
    void propertyChanged(const QString &name);
    // The host shows this as an information message ("Please, enter the URL to retrieve.").
    void messageRequested(const QString &text);

private:
    // Connects to the Url as StartStreaming does, without resetting the redirect chain.
    void connectToUrl();
    // Once the status line is known: a redirect is followed (or fails), anything else goes
    // to the host, what has been held back first.
    void decideOnHead();
    void handOver(const QByteArray &block);
    void followRedirect();
    void onConnected();
    void onSslErrors(const QList<QSslError> &errors);
    void onReadyRead();
    void onBytesWritten(qint64 bytes);
    void onDisconnected();
    void onSocketError();
    // Forgets the current socket without letting it raise anything.
    void dropSocket();
    void keepResponseHead(const QByteArray &block);
    // The end of the response, once every byte of it has been handed over.
    void finishResponse();

    QTcpSocket *m_socket = nullptr;
    RecordingSink *m_recording = nullptr;
    QString m_proxyUserName, m_proxyPassword, m_userName, m_password, m_url, m_proxyServer;
    bool m_useProxy = false;
    qint16 m_proxyPort = 0;
    qint64 m_downloadedBytes = 0;
    QString m_connectHost;
    // What the certificate check of the current secure connection said, for the message.
    QList<QSslError> m_sslErrors;
    // The header block of the current connection, kept for the challenge check.
    QByteArray m_responseHead;
    bool m_headComplete = false;
    qint64 m_requestBytesPending = 0;
    ReadAllowance m_allowance;
    // One block for every read, reused: a copy is made only by a receiver that keeps it.
    QByteArray m_block;
    // The server has closed: what is still in hand goes to the host whole, whatever the
    // allowance says (the host's overflow rule deals with it).
    bool m_endPending = false;
    // Until the status line is in, the bytes are held back: a redirect's answer is not the
    // host's business.
    bool m_statusKnown = false;
    bool m_redirecting = false;
    QByteArray m_held;
    RedirectChain m_redirects;
    // The server the Url first named; the user's credentials are for it alone, so a
    // redirect elsewhere is asked without them.
    QUrl m_credentialsServer;
    bool m_sendCredentials = true;
};

} // namespace kestrune
