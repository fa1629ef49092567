// Reading an Icecast server's mount listing and telling such a server by its stream's head:
// pure functions over the bytes servers send, including listings as Icecast 2.4.4 writes them.
#include "recorder/icecaststatus.h"

#include <QTest>

using namespace kestrune;

Q_DECLARE_METATYPE(std::optional<QString>)

namespace {

// A listing around the given source value (an object, an array, anything).
QByteArray listing(const QByteArray &source) {
    return "{\"icestats\":{\"admin\":\"icemaster@localhost\",\"host\":\"127.0.0.1\","
           "\"server_id\":\"Icecast 2.4.4\",\"source\":" +
           source + "}}";
}

QByteArray mount(const QByteArray &listenUrl, const QByteArray &extra) {
    return "{\"genre\":\"various\",\"listeners\":1,\"listenurl\":\"" + listenUrl +
           "\",\"server_name\":\"Bench\",\"server_type\":\"audio/mpeg\"" +
           (extra.isEmpty() ? QByteArray() : "," + extra) + ",\"dummy\":null}";
}

const QByteArray Live = "http://127.0.0.1:23456/live.mp3";

} // namespace

class IcecastStatusTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void songFromListing_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("mountPath");
        QTest::addColumn<std::optional<QString>>("song");
        const std::optional<QString> none;
        const auto song = [](const char *text) {
            return std::optional<QString>(QString::fromUtf8(text));
        };

        // As Icecast 2.4.4 wrote it for one ffmpeg source after a metadata update.
        QTest::newRow("one source as an object")
            << listing(mount(Live, "\"title\":\"Plain Two\"")) << "/live.mp3" << song("Plain Two");
        QTest::newRow("escapes in the title")
            << listing(mount(Live, "\"title\":\"He said \\\"hi\\\"\\\\x \\u00e9\"")) << "/live.mp3"
            << song("He said \"hi\"\\x \xc3\xa9");
        QTest::newRow("artist before the title")
            << listing(mount(Live, "\"artist\":\"Mira Vale\",\"title\":\"Northern Lights\""))
            << "/live.mp3" << song("Mira Vale - Northern Lights");
        QTest::newRow("empty artist left out")
            << listing(mount(Live, "\"artist\":\"\",\"title\":\"T\"")) << "/live.mp3" << song("T");
        QTest::newRow("artist of the wrong type left out")
            << listing(mount(Live, "\"artist\":7,\"title\":\"T\"")) << "/live.mp3" << song("T");
        QTest::newRow("artist without a title is no song")
            << listing(mount(Live, "\"artist\":\"A\"")) << "/live.mp3" << song("");
        QTest::newRow("mount listed without a title")
            << listing(mount(Live, QByteArray())) << "/live.mp3" << song("");
        QTest::newRow("title of the wrong type")
            << listing(mount(Live, "\"title\":[\"x\"]")) << "/live.mp3" << song("");
        QTest::newRow("array: the stream's mount, not the first")
            << listing("[" + mount("http://127.0.0.1:23456/other.ogg", "\"title\":\"Wrong\"") +
                       "," + mount(Live, "\"title\":\"Right\"") + "]")
            << "/live.mp3" << song("Right");
        QTest::newRow("array: wrong-typed entries skipped")
            << listing("[1,null,\"x\"," + mount(Live, "\"title\":\"Right\"") + "]") << "/live.mp3"
            << song("Right");
        QTest::newRow("listen address on another host name, same path")
            << listing(mount("http://radio.example:8000/live.mp3", "\"title\":\"T\""))
            << "/live.mp3" << song("T");
        QTest::newRow("other mounts only")
            << listing("[" + mount("http://127.0.0.1:23456/a.mp3", "\"title\":\"A\"") + "]")
            << "/live.mp3" << none;
        QTest::newRow("a longer path is another mount")
            << listing(mount("http://127.0.0.1:23456/live.mp3x", "\"title\":\"A\"")) << "/live.mp3"
            << none;
        QTest::newRow("listenurl missing")
            << listing("{\"title\":\"T\",\"server_name\":\"x\"}") << "/live.mp3" << none;
        QTest::newRow("listenurl of the wrong type")
            << listing("{\"title\":\"T\",\"listenurl\":5}") << "/live.mp3" << none;
        QTest::newRow("no sources")
            << QByteArray("{\"icestats\":{\"host\":\"h\"}}") << "/live.mp3" << none;
        QTest::newRow("icestats of the wrong type")
            << QByteArray("{\"icestats\":[1,2]}") << "/live.mp3" << none;
        QTest::newRow("top level an array")
            << QByteArray("[{\"icestats\":{}}]") << "/live.mp3" << none;
        QTest::newRow("not JSON") << QByteArray("<html><body>404</body></html>") << "/live.mp3"
                                  << none;
        QTest::newRow("cut short")
            << listing(mount(Live, "\"title\":\"T\"")).chopped(3) << "/live.mp3" << none;
        QTest::newRow("empty body") << QByteArray() << "/live.mp3" << none;
        QTest::newRow("root mount")
            << listing(mount("http://127.0.0.1:23456/", "\"title\":\"Root\"")) << ""
            << song("Root");
    }
    void songFromListing() {
        QFETCH(QByteArray, body);
        QFETCH(QString, mountPath);
        QFETCH(std::optional<QString>, song);
        QCOMPARE(IcecastSongFromStatus(body, mountPath), song);
    }

    // The cap holds even for a well-formed listing: 5 MB of it is refused, the same
    // listing under the cap is read.
    void largeListingRefused() {
        const QByteArray filler = "\"pad\":\"" + QByteArray(5 * 1024 * 1024, 'x') + "\"";
        const QByteArray large = listing(mount(Live, filler + ",\"title\":\"T\""));
        QVERIFY(large.size() > MaxIcecastStatusBytes);
        QCOMPARE(IcecastSongFromStatus(large, QStringLiteral("/live.mp3")), std::nullopt);
        const QByteArray small =
            listing(mount(Live, filler.left(3 * 1024 * 1024) + "\",\"title\":\"T\""));
        QVERIFY(small.size() < MaxIcecastStatusBytes);
        QCOMPARE(IcecastSongFromStatus(small, QStringLiteral("/live.mp3")),
                 std::optional<QString>(QStringLiteral("T")));
    }

    void icecastHead_data() {
        QTest::addColumn<QString>("head");
        QTest::addColumn<bool>("icecast");
        // As Icecast 2.4.4 answered ffmpeg's mount here.
        const QString real = QStringLiteral(
            "HTTP/1.0 200 OK\r\nServer: Icecast 2.4.4\r\nConnection: Close\r\nContent-Type: "
            "audio/mpeg\r\nCache-Control: no-cache, no-store\r\nicy-name:Bench\r\nicy-pub:0\r\n"
            "icy-metadata:1\r\n\r\n");
        QTest::newRow("Icecast 2.4.4") << real << true;
        QTest::newRow("with the intake's diagnostic line after it")
            << real + QStringLiteral("Header 250 bytes, first frame at 250") << true;
        QTest::newRow("server name, other fields absent")
            << QStringLiteral("HTTP/1.1 200 OK\nserver:icecast 2.5-beta\n\n") << true;
        QTest::newRow("hidden name: icy fields, HTTP/1.0, audio")
            << QStringLiteral("HTTP/1.0 200 OK\r\nContent-Type: audio/ogg\r\nicy-br:128\r\n\r\n")
            << true;
        QTest::newRow("classic ICY server")
            << QStringLiteral("ICY 200 OK\r\nicy-name:x\r\ncontent-type:audio/mpeg\r\n\r\n")
            << false;
        QTest::newRow("icy fields over HTTP/1.1")
            << QStringLiteral("HTTP/1.1 200 OK\r\nContent-Type: audio/mpeg\r\nicy-br:1\r\n\r\n")
            << false;
        QTest::newRow("icy fields, not audio")
            << QStringLiteral("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nicy-br:1\r\n\r\n")
            << false;
        QTest::newRow("no icy fields")
            << QStringLiteral("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n") << false;
        QTest::newRow("another server")
            << QStringLiteral("HTTP/1.0 200 OK\r\nServer: nginx\r\nContent-Type: audio/mpeg\r\n"
                              "\r\n")
            << false;
        QTest::newRow("Server line after the head ends")
            << QStringLiteral("ICY 200 OK\r\nicy-name:x\r\n\r\nServer: Icecast") << false;
        QTest::newRow("empty") << QString() << false;
    }
    void icecastHead() {
        QFETCH(QString, head);
        QFETCH(bool, icecast);
        QCOMPARE(IsIcecastResponse(head), icecast);
    }

    void statusAddress_data() {
        QTest::addColumn<QString>("stream");
        QTest::addColumn<QString>("status");
        QTest::newRow("http with port") << "http://127.0.0.1:23456/live.mp3?x=1#f"
                                        << "http://127.0.0.1:23456/status-json.xsl";
        QTest::newRow("https, default port") << "HTTPS://radio.example/a/b"
                                             << "https://radio.example/status-json.xsl";
        QTest::newRow("no path") << "http://h:8000"
                                 << "http://h:8000/status-json.xsl";
        QTest::newRow("user info dropped") << "http://u:p@h:8000/m"
                                           << "http://h:8000/status-json.xsl";
        QTest::newRow("file") << "file:///etc/passwd"
                              << "";
        QTest::newRow("ftp") << "ftp://h/m"
                             << "";
        QTest::newRow("no host") << "http:///m"
                                 << "";
        QTest::newRow("not an address") << "live.mp3"
                                        << "";
    }
    void statusAddress() {
        QFETCH(QString, stream);
        QFETCH(QString, status);
        QCOMPARE(IcecastStatusUrl(stream).toString(), status);
    }
};

QTEST_GUILESS_MAIN(IcecastStatusTest)
#include "tst_icecaststatus.moc"
