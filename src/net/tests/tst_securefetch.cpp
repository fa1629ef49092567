// Secure (https) fetching on every road the program fetches by: the stream, the playlist, the
// directory pages, the status page and the JSON directory, against TLS servers on 127.0.0.1
// whose certificates come from a test authority that only this test trusts. A certificate
// that does not verify ends the connection before anything is asked, and the user is told
// which host and why.
#include "directory/directoryquery.h"
#include "directory/radiobrowser.h"
#include "net/redirectchain.h"
#include "net/securefailure.h"
#include "recorder/pagefetcher.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/httpstream.h"
#include "stream/playerstatus.h"
#include "streamsynth/mp3synth.h"
#include "streamsynth/streamserver.h"
#include "streamsynth/testtls.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using namespace kestrune;
using namespace kestrune::testsupport;

namespace {

constexpr int Timeout = 10000; // ms

const QByteArray StreamHead = "ICY 200 OK\r\nicy-name:Secure\r\ncontent-type:audio/mpeg\r\n\r\n";
const QByteArray PageBody = "<html><body>A page from afar</body></html>";

QByteArray audio() {
    static const QByteArray bytes = [] {
        Mp3Params params;
        params.seconds = 3;
        return synthesizeMp3(params);
    }();
    return bytes;
}

QByteArray requestPath(const QByteArray &head) {
    return head.left(head.indexOf('\r')).split(' ').value(1);
}

QByteArray reply(const QByteArray &status, const QByteArray &type, const QByteArray &body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// One server for every kind of answer the program asks for: a stream at /live, a playlist
// at /listen.pls, a page at /page, JSON under /json/, and redirects where they are set.
// Plain, or TLS with the certificate given.
class Machine {
public:
    explicit Machine(std::optional<TestCertificate> tls = std::nullopt)
        : server(StreamServerOptions{}) {
        if (tls)
            server.useTls(testServerConfiguration(*tls));
        server.setRouter([this](const QByteArray &head) { return route(head); });
        QObject::connect(&server, &PacedStreamServer::requestReceived,
                         [this](const QByteArray &head) { requests << head; });
        listening = server.listen();
    }
    QString url(const QString &path = QString()) const { return server.url(path); }
    QString base() const { return server.url(QString()); }

    PacedStreamServer server;
    bool listening = false;
    QByteArray playlist;
    QHash<QByteArray, QByteArray> redirects; // path -> Location
    QList<QByteArray> requests;

private:
    StreamRoute route(const QByteArray &head) {
        const QByteArray path = requestPath(head);
        StreamRoute answer;
        answer.kind = StreamRoute::Kind::Reply;
        if (redirects.contains(path)) {
            answer.reply = "HTTP/1.1 302 Found\r\nLocation: " + redirects.value(path) +
                           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else if (path == "/live") {
            answer.kind = StreamRoute::Kind::Stream;
            answer.options.responseHeader = StreamHead;
            answer.options.audio = audio();
            // More than a socket's buffer at once: holding back has something to hold.
            answer.options.burstBytes = 256 * 1024;
        } else if (path == "/listen.pls") {
            answer.reply = reply("200 OK", "audio/x-scpls", playlist);
        } else if (path == "/page") {
            answer.reply = reply("200 OK", "text/html", PageBody);
        } else if (path.startsWith("/json/")) {
            answer.reply = reply("200 OK", "application/json", "[]");
        } else {
            answer.reply = reply("404 Not Found", "text/plain", "no such thing");
        }
        return answer;
    }
};

// What a stream client hands its host.
struct Received {
    explicit Received(HTTPStream &client) {
        QObject::connect(&client, &HTTPStream::Streaming,
                         [this](const QByteArray &block, qint32) { bytes += block; });
        QObject::connect(
            &client, &HTTPStream::Error, [this](StreamError number, const QString &text) {
                errors << QStringLiteral("Error %1: %2").arg(qToUnderlying(number)).arg(text);
            });
        QObject::connect(&client, &HTTPStream::Status,
                         [this](const QString &text) { statuses << text; });
    }
    QByteArray bytes;
    QStringList errors;
    QStringList statuses;
};

// An HTTP proxy that opens tunnels (CONNECT) and asks for Basic credentials first.
class TunnelProxy : public QObject {
public:
    TunnelProxy() {
        listenOnLowPort(server);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *client = server.nextPendingConnection())
                accept(client);
        });
    }
    QTcpServer server;
    QList<QByteArray> heads;

private:
    void accept(QTcpSocket *client) {
        auto head = std::make_shared<QByteArray>();
        connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
        connect(client, &QTcpSocket::readyRead, client, [this, client, head] {
            if (head->endsWith("\r\n\r\n"))
                return; // tunnelling: the pipe below reads
            *head += client->readAll();
            if (!head->endsWith("\r\n\r\n"))
                return;
            heads << *head;
            if (!head->contains("\r\nProxy-Authorization: Basic ")) {
                client->write("HTTP/1.1 407 Proxy Authentication Required\r\n"
                              "Proxy-Authenticate: Basic realm=\"tunnel\"\r\n"
                              "Content-Length: 0\r\n\r\n");
                head->clear();
                return;
            }
            const QList<QByteArray> target = head->split(' ').value(1).split(':');
            auto *upstream = new QTcpSocket(client);
            connect(upstream, &QTcpSocket::connected, client,
                    [client] { client->write("HTTP/1.1 200 Connection established\r\n\r\n"); });
            connect(upstream, &QTcpSocket::readyRead, client,
                    [client, upstream] { client->write(upstream->readAll()); });
            connect(client, &QTcpSocket::readyRead, upstream,
                    [client, upstream] { upstream->write(client->readAll()); });
            connect(upstream, &QTcpSocket::disconnected, client,
                    [client] { client->disconnectFromHost(); });
            upstream->connectToHost(QHostAddress::LocalHost, target.value(1).toUShort());
        });
    }
};

} // namespace

class SecureFetchTest : public QObject {
    Q_OBJECT

    QSslConfiguration m_systemOnly;
    QTemporaryDir m_folder;

    // Runs `check` with only the system's authorities trusted, as the program itself runs.
    template <typename F> void withSystemTrustOnly(F check) {
        const QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
        QSslConfiguration::setDefaultConfiguration(m_systemOnly);
        check();
        QSslConfiguration::setDefaultConfiguration(trusting);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_folder.isValid());
        m_systemOnly = QSslConfiguration::defaultConfiguration();
        QVERIFY(!m_systemOnly.caCertificates().contains(testAuthority()));
        trustTestAuthority();
    }

    // Over TLS the server gets the very bytes of the plain request, and the host gets the
    // very bytes of the answer, also when it holds the stream back for a while.
    void streamOverTlsIsTheStreamOverTcp() {
        Machine plain;
        Machine secure(TestCertificate::Localhost);
        QVERIFY(plain.listening && secure.listening);
        const qsizetype wanted = StreamHead.size() + 150'000;

        const auto fetch = [wanted](Machine &machine, bool holdBack) {
            HTTPStream client;
            Received seen(client);
            qint64 budget = holdBack ? 0 : 1 << 30;
            client.setReadAllowance([&budget] { return budget; });
            client.setUrl(machine.url(QStringLiteral("/live")));
            client.StartStreaming();
            if (holdBack) {
                QTest::qWait(300);
                budget = 1 << 30;
                client.resumeReading();
            }
            const bool done = QTest::qWaitFor(
                [&] { return seen.bytes.size() >= wanted || !seen.errors.isEmpty(); }, Timeout);
            Q_UNUSED(done); // what came of it is compared below
            client.StopStreaming();
            return std::make_pair(seen.bytes.left(wanted), seen);
        };
        const QByteArray plainBytes = fetch(plain, false).first;
        QCOMPARE(plainBytes.size(), wanted);
        for (const bool holdBack : {false, true}) {
            secure.requests.clear();
            const auto [secureBytes, secureSeen] = fetch(secure, holdBack);
            QVERIFY2(secureSeen.errors.isEmpty(), qPrintable(secureSeen.errors.join('\n')));
            QCOMPARE(secureBytes.size(), wanted);
            QVERIFY(secureBytes == plainBytes);
            QVERIFY(secureBytes.startsWith(StreamHead + audio().left(1000)));
            QCOMPARE(secure.requests.size(), 1);
            QCOMPARE(secure.requests.first(), plain.requests.first());
            QVERIFY(secureSeen.statuses.contains(QStringLiteral("Request completed")));
        }
        QCOMPARE(plain.requests.first(),
                 "GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nAccept: "
                 "*/*\r\n\r\n");
    }

    // A certificate that does not verify ends every kind of fetch before a request is sent,
    // with a message that names the host and the reason.
    void certificateFailuresNameHostAndReason_data() {
        QTest::addColumn<int>("certificate");
        QTest::addColumn<bool>("systemTrustOnly");
        QTest::addColumn<QString>("reason");
        QTest::newRow("wrong host")
            << int(TestCertificate::WrongHost) << false
            << "The host name did not match any of the valid hosts for this certificate";
        QTest::newRow("expired") << int(TestCertificate::Expired) << false
                                 << "The certificate has expired";
        QTest::newRow("unknown authority")
            << int(TestCertificate::Localhost) << true
            << "The root certificate of the certificate chain is self-signed, and untrusted";
    }
    void certificateFailuresNameHostAndReason() {
        QFETCH(int, certificate);
        QFETCH(bool, systemTrustOnly);
        QFETCH(QString, reason);
        Machine machine(static_cast<TestCertificate>(certificate));
        QVERIFY(machine.listening);
        const QString expected =
            QStringLiteral("The certificate of 127.0.0.1 is not accepted: %1.").arg(reason);

        const auto check = [&] {
            // The stream.
            HTTPStream client;
            Received seen(client);
            client.setUrl(machine.url(QStringLiteral("/live")));
            client.StartStreaming();
            QTRY_VERIFY_WITH_TIMEOUT(!seen.errors.isEmpty(), Timeout);
            QCOMPARE(seen.errors, QStringList{QStringLiteral("Error 311: ") + expected});
            QVERIFY(seen.bytes.isEmpty());
            QVERIFY(!client.isConnected());

            // A directory page.
            DirectoryDownload download(m_folder.path());
            download.setDirectoryHost(machine.base());
            QSignalSpy failed(&download, &DirectoryDownload::failed);
            download.start(machine.url(QStringLiteral("/page")));
            QVERIFY(failed.wait(Timeout));
            QCOMPARE(failed.first().first().toInt(), int(DownloadError::SecureConnectionFailed));
            QCOMPARE(download.failureText(), expected);
            QCOMPARE(download.takePage(), QString());

            // A status page.
            QNetworkAccessManager network;
            PageFetcher fetcher(&network);
            QSignalSpy fetchFailed(&fetcher, &PageFetcher::fetchFailed);
            QVERIFY(fetcher.fetch(machine.url(QStringLiteral("/page"))));
            QVERIFY(fetchFailed.wait(Timeout));
            QCOMPARE(fetchFailed.first().at(1).toString(), expected);

            // The JSON directory: its server list and then the search on the base.
            RadioBrowserClient directory;
            directory.setBase(machine.base());
            std::optional<RadioBrowserClient::Result> result;
            connect(&directory, &RadioBrowserClient::searchFailed, this,
                    [&result](const RadioBrowserClient::Result &r) { result = r; });
            directory.search(QStringLiteral("/json/stations/search?limit=25"));
            QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), Timeout);
            QCOMPARE(result->failure, RadioBrowserClient::Failure::Secure);
            QCOMPARE(result->failureText, expected);
        };
        if (systemTrustOnly)
            withSystemTrustOnly(check);
        else
            check();
        QCOMPARE(machine.requests.size(), 0);
    }

    // A server that does not speak TLS at an https address is no certificate failure, but
    // the user is told the connection could not be made securely.
    void plainServerAtASecureAddress() {
        // A web server answers what is no request (the greeting of TLS) with an error.
        QTcpServer plain;
        QVERIFY(listenOnLowPort(plain));
        connect(&plain, &QTcpServer::newConnection, this, [&plain] {
            while (QTcpSocket *peer = plain.nextPendingConnection()) {
                connect(peer, &QTcpSocket::readyRead, peer, [peer] {
                    peer->readAll();
                    peer->write("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n");
                    peer->disconnectFromHost();
                });
            }
        });
        HTTPStream client;
        Received seen(client);
        client.setUrl(QStringLiteral("https://127.0.0.1:%1/live").arg(plain.serverPort()));
        client.StartStreaming();
        QTRY_VERIFY_WITH_TIMEOUT(!seen.errors.isEmpty(), Timeout);
        QCOMPARE(seen.errors.size(), 1);
        QVERIFY2(seen.errors.first().startsWith(
                     "Error 10013: No secure connection could be made with 127.0.0.1: "),
                 qPrintable(seen.errors.first()));
        QVERIFY(seen.bytes.isEmpty());
    }

    // A server that takes the connection and never answers the greeting of TLS holds
    // nothing up for good: the playlist, a directory page and a status page each end at
    // their own time limit.
    void silentSecureServersAreBounded() {
        QTcpServer silent;
        QVERIFY(listenOnLowPort(silent));
        QList<QTcpSocket *> held;
        connect(&silent, &QTcpServer::newConnection, this, [&] {
            while (QTcpSocket *peer = silent.nextPendingConnection())
                held << peer;
        });
        const QString base = QStringLiteral("https://127.0.0.1:%1").arg(silent.serverPort());

        StreamEngine engine;
        ConnectionManager::Host host;
        host.selectedPlaylistPath = [] { return QStringLiteral("/listen.pls"); };
        host.requestTimeOut = [] { return QStringLiteral("1"); };
        ConnectionManager manager(engine, base, host);
        QStringList messages;
        connect(&manager, &ConnectionManager::message, this,
                [&messages](const QString &text) { messages << text; });
        manager.Start();

        DirectoryDownload download(m_folder.path());
        download.setDirectoryHost(base);
        download.setTimeLimit(1000);
        QSignalSpy failed(&download, &DirectoryDownload::failed);
        download.start(base + QStringLiteral("/page"));

        QNetworkAccessManager network;
        PageFetcher fetcher(&network);
        fetcher.setTimeoutMs(1000);
        QSignalSpy fetchFailed(&fetcher, &PageFetcher::fetchFailed);
        QVERIFY(fetcher.fetch(base + QStringLiteral("/page")));

        QTRY_VERIFY_WITH_TIMEOUT(
            !messages.isEmpty() && failed.count() == 1 && fetchFailed.count() == 1, Timeout);
        QCOMPARE(messages, QStringList{"Couldn't load the station's playlist\n\nThe directory "
                                       "did not send it within 1 seconds."});
        QCOMPARE(failed.first().first().toInt(), int(DownloadError::CannotConnect));
        QCOMPARE(fetchFailed.first().at(1).toString(), QStringLiteral("no answer within 1 s"));
        QCOMPARE(held.size(), 3);
    }

    // Redirects lead from plain to secure servers and on, for the stream and the directory.
    void redirectsIntoHttps() {
        Machine plain;
        Machine secure(TestCertificate::Localhost);
        QVERIFY(plain.listening && secure.listening);
        plain.redirects.insert("/go", secure.url(QStringLiteral("/hop")).toLatin1());
        secure.redirects.insert("/hop", "/live");
        plain.redirects.insert("/dir", secure.url(QStringLiteral("/page")).toLatin1());

        HTTPStream client;
        Received seen(client);
        client.setUrl(plain.url(QStringLiteral("/go")));
        client.StartStreaming();
        QTRY_VERIFY_WITH_TIMEOUT(seen.bytes.size() > 20'000 || !seen.errors.isEmpty(), Timeout);
        QVERIFY2(seen.errors.isEmpty(), qPrintable(seen.errors.join('\n')));
        QVERIFY(seen.bytes.startsWith(StreamHead));
        QVERIFY(seen.statuses.contains(
            QStringLiteral("Redirected to %1").arg(secure.url(QStringLiteral("/live")))));
        QCOMPARE(secure.requests.size(), 2);
        client.StopStreaming();

        // The directory's host is where pages start; its redirects may lead to https.
        DirectoryDownload download(m_folder.path());
        download.setDirectoryHost(plain.base());
        QSignalSpy finished(&download, &DirectoryDownload::finished);
        download.start(plain.url(QStringLiteral("/dir")));
        QVERIFY(finished.wait(Timeout));
        QCOMPARE(download.takePage(), QString::fromLatin1(PageBody));
    }

    // The road users take: a playlist on an https directory lists an https server, which
    // plays.
    void secureDirectoryToSecureStream() {
        Machine secure(TestCertificate::Localhost);
        QVERIFY(secure.listening);
        secure.playlist = "[playlist]\nnumberofentries=1\nFile1=" +
                          secure.url(QStringLiteral("/live")).toLatin1() + "\nVersion=2\n";
        StreamEngine engine;
        ConnectionManager::Host host;
        host.selectedPlaylistPath = [] { return QStringLiteral("/listen.pls"); };
        host.requestTimeOut = [] { return QStringLiteral("5"); };
        ConnectionManager manager(engine, secure.base(), host);
        QStringList messages;
        connect(&manager, &ConnectionManager::message, this,
                [&messages](const QString &text) { messages << text; });
        manager.Start();
        QTRY_VERIFY_WITH_TIMEOUT(
            engine.status().phase() == PlayerPhase::Playing || !messages.isEmpty(), Timeout);
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        QCOMPARE(manager.servers(), QStringList{secure.url(QStringLiteral("/live"))});
        QCOMPARE(requestPath(secure.requests.value(0)), "/listen.pls");
        QCOMPARE(requestPath(secure.requests.value(1)), "/live");
        manager.Stop();

        // The same directory with a certificate for another host: the user reads why.
        Machine wrong(TestCertificate::WrongHost);
        QVERIFY(wrong.listening);
        ConnectionManager refused(engine, wrong.base(), host);
        connect(&refused, &ConnectionManager::message, this,
                [&messages](const QString &text) { messages << text; });
        refused.Start();
        QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), Timeout);
        QCOMPARE(messages,
                 QStringList{QStringLiteral(
                     "Couldn't load the station's playlist\n\nThe certificate of 127.0.0.1 is "
                     "not accepted: The host name did not match any of the valid hosts for "
                     "this certificate.")});
        QCOMPARE(wrong.requests.size(), 0);
    }

    // Through a proxy a secure stream goes in a tunnel: the proxy gets its credentials with
    // the CONNECT, the server gets the direct request and never the proxy's credentials.
    void secureStreamThroughAProxyTunnel() {
        Machine secure(TestCertificate::Localhost);
        TunnelProxy proxy;
        QVERIFY(secure.listening && proxy.server.isListening());
        HTTPStream client;
        Received seen(client);
        client.setUseProxy(true);
        client.setProxyServer(QStringLiteral("127.0.0.1"));
        client.setProxyPort(qint16(proxy.server.serverPort()));
        client.setProxyUserName(QStringLiteral("relay"));
        client.setProxyPassword(QStringLiteral("hidden"));
        client.setUrl(secure.url(QStringLiteral("/live")));
        client.StartStreaming();
        QTRY_VERIFY_WITH_TIMEOUT(seen.bytes.size() > 20'000 || !seen.errors.isEmpty(), Timeout);
        QVERIFY2(seen.errors.isEmpty(), qPrintable(seen.errors.join('\n')));
        QVERIFY(seen.bytes.startsWith(StreamHead));
        const QByteArray connectLine =
            "CONNECT 127.0.0.1:" + QByteArray::number(secure.server.port()) + " HTTP/1.1\r\n";
        QVERIFY(!proxy.heads.isEmpty());
        QVERIFY2(proxy.heads.last().startsWith(connectLine), proxy.heads.last().constData());
        QVERIFY(proxy.heads.last().contains("\r\nProxy-Authorization: Basic " +
                                            QByteArray("relay:hidden").toBase64() + "\r\n"));
        QCOMPARE(secure.requests,
                 QList<QByteArray>{"GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: "
                                   "close\r\nAccept: */*\r\n\r\n"});
    }

    // The shared rules: redirects to https are followed like any other; the texts.
    void redirectRulesAndTexts() {
        RedirectChain chain;
        chain.start(QUrl(QStringLiteral("http://a.example/x")));
        QCOMPARE(chain.follow(QStringLiteral("https://b.example/y")).target,
                 QUrl(QStringLiteral("https://b.example/y")));
        QCOMPARE(chain.follow(QStringLiteral("http://a.example:80/z")).target,
                 QUrl(QStringLiteral("http://a.example:80/z")));
        QCOMPARE(chain.follow(QStringLiteral("ftp://c.example/")).failure,
                 QStringLiteral("The server redirects to ftp://c.example/, which is neither an "
                                "http nor an https address."));
        QVERIFY(IsWebAddress(QStringLiteral(" https://h/ ")));
        QVERIFY(!IsWebAddress(QStringLiteral("file:///etc/passwd")));
        QVERIFY(!IsWebAddress(QStringLiteral("https:///nohost")));

        QCOMPARE(CertificateFailureText(QStringLiteral("h.example"), {}),
                 QStringLiteral("The certificate of h.example is not accepted: it could not be "
                                "checked."));
        const QList<QSslError> twice{QSslError(QSslError::CertificateExpired),
                                     QSslError(QSslError::CertificateExpired),
                                     QSslError(QSslError::HostNameMismatch)};
        QCOMPARE(CertificateFailureText(QStringLiteral("h.example"), twice),
                 QStringLiteral("The certificate of h.example is not accepted: The certificate "
                                "has expired; The host name did not match any of the valid "
                                "hosts for this certificate."));
        QCOMPARE(SecureFailureText(QStringLiteral("h.example"), {}, QStringLiteral("bad.")),
                 QStringLiteral("No secure connection could be made with h.example: bad."));
    }
};

QTEST_MAIN(SecureFetchTest)
#include "tst_securefetch.moc"
