// The station simulator in-process over real sockets on 127.0.0.1: directory pages read with
// the player's own scanning rules, playlists, streams with their pacing and faults, the
// stream servers' pages, the secure ports and the JSON directory's stations of each kind. Some
// cases start the real executable.
#include "pagescan.h"
#include "stationsim/pages.h"
#include "stationsim/simulator.h"
#include "streamsynth/testtls.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <memory>

using namespace kestrune::stationsim;
using kestrune::testsupport::MaxRequestHead;
using kestrune::testsupport::testAuthority;

namespace {

constexpr int WaitMs = 8000;

// The request the player's stream and playlist client sends, byte for byte.
QByteArray playerRequest(const QByteArray &path) {
    return "GET " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nAccept: */*\r\n\r\n";
}

QByteArray browserRequest(const QByteArray &path) {
    return "GET " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: Mozilla/5.0 (X11; Linux x86_64)\r\n"
           "Accept: text/html\r\nConnection: close\r\n\r\n";
}

// A raw connection that collects everything the server sends.
struct Client {
    QTcpSocket socket;
    QByteArray data;
    QElapsedTimer sinceFirstByte;
    bool refused = false;

    Client(quint16 port, const QByteArray &request) {
        QObject::connect(&socket, &QTcpSocket::readyRead, [this] {
            if (data.isEmpty())
                sinceFirstByte.start();
            data += socket.readAll();
        });
        QObject::connect(&socket, &QTcpSocket::errorOccurred, [this](auto error) {
            refused = refused || error == QAbstractSocket::ConnectionRefusedError;
        });
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!request.isEmpty())
            socket.write(request);
    }
    bool closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }
    bool waitClosed(int ms = WaitMs) {
        return QTest::qWaitFor([this] { return closed(); }, ms);
    }
    bool waitFor(qsizetype bytes, int ms = WaitMs) {
        return QTest::qWaitFor([&] { return data.size() >= bytes; }, ms);
    }
    qsizetype headEnd() const {
        const qsizetype at = data.indexOf("\r\n\r\n");
        return at < 0 ? -1 : at + 4;
    }
    QByteArray head() const { return data.left(headEnd()); }
    QByteArray body() const { return headEnd() < 0 ? QByteArray() : data.mid(headEnd()); }
};

// A TLS connection to 127.0.0.1 that trusts only `authorities` (not the system's store, nor
// anything this process was told to trust), collecting the decrypted answer.
struct SecureClient {
    QSslSocket socket;
    QByteArray data;
    QList<QSslError> sslErrors;
    bool encrypted = false;
    bool failed = false;

    SecureClient(quint16 port, const QByteArray &request,
                 const QList<QSslCertificate> &authorities = {testAuthority()}) {
        QSslConfiguration configuration = socket.sslConfiguration();
        configuration.setCaCertificates(authorities);
        socket.setSslConfiguration(configuration);
        QObject::connect(&socket, &QSslSocket::encrypted, [this] { encrypted = true; });
        QObject::connect(&socket, &QSslSocket::sslErrors,
                         [this](const QList<QSslError> &errors) { sslErrors += errors; });
        QObject::connect(&socket, &QSslSocket::errorOccurred, [this] { failed = true; });
        QObject::connect(&socket, &QSslSocket::readyRead, [this] { data += socket.readAll(); });
        // Written now, sent once the handshake has verified the server.
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        socket.write(request);
    }
    bool closed() const { return socket.state() == QAbstractSocket::UnconnectedState; }
    bool waitClosed(int ms = WaitMs) {
        return QTest::qWaitFor([this] { return closed(); }, ms);
    }
    bool waitFor(qsizetype bytes, int ms = WaitMs) {
        return QTest::qWaitFor([&] { return data.size() >= bytes || failed; }, ms) &&
               data.size() >= bytes;
    }
};

// Sends one request over TLS and returns the whole answer once the server has closed.
QByteArray secureExchange(quint16 port, const QByteArray &request) {
    SecureClient client(port, request);
    if (!client.waitClosed() || !client.encrypted)
        return {};
    return client.data;
}

// Sends one request and returns the whole answer once the server has closed.
QByteArray exchange(quint16 port, const QByteArray &request) {
    Client client(port, request);
    if (!client.waitClosed())
        return {};
    return client.data;
}

QByteArray bodyOf(const QByteArray &response) {
    const qsizetype at = response.indexOf("\r\n\r\n");
    return at < 0 ? QByteArray() : response.mid(at + 4);
}

QByteArray headerValue(const QByteArray &response, const QByteArray &name) {
    const QByteArray head = response.left(response.indexOf("\r\n\r\n"));
    for (const QByteArray &line : head.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.toLower().startsWith(name.toLower() + ':'))
            return trimmed.mid(name.size() + 1).trimmed();
    }
    return {};
}

// Stations with a given property, searched over a few lists.
const Station *findStation(StationSimulator &sim, const std::function<bool(const Station &)> &ok) {
    for (const char *genre : {"TopTen", "Jazz", "Rock", "Ambient", "Talk", "Metal", "Dance"}) {
        for (const Station &s : sim.catalogue().stations(QString::fromLatin1(genre))) {
            if (ok(s))
                return &s;
        }
    }
    return nullptr;
}

struct Frame {
    bool valid = false;
    int sampleRate = 0;
    int bitrate = 0;
    bool mono = false;
    int length = 0;
};

// An MPEG layer III frame header, read from its bits.
Frame readFrame(const QByteArray &data, qsizetype at) {
    Frame f;
    if (at + 4 > data.size())
        return f;
    const auto b = [&](int i) { return quint8(data.at(at + i)); };
    if (b(0) != 0xFF || (b(1) & 0xE0) != 0xE0 || ((b(1) >> 1) & 3) != 1)
        return f;
    const int version = (b(1) >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int rateIndex = (b(2) >> 2) & 3;
    const int bitrateIndex = b(2) >> 4;
    if (version == 1 || rateIndex == 3 || bitrateIndex == 0 || bitrateIndex == 15)
        return f;
    static const int rates[] = {44100, 48000, 32000};
    static const int v1[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int v2[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    f.sampleRate = rates[rateIndex] / (version == 3 ? 1 : version == 2 ? 2 : 4);
    f.bitrate = version == 3 ? v1[bitrateIndex] : v2[bitrateIndex];
    f.mono = (b(3) >> 6) == 3;
    f.length = (version == 3 ? 144000 : 72000) * f.bitrate / f.sampleRate + ((b(2) >> 1) & 1);
    f.valid = true;
    return f;
}

} // namespace

class StationSimTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // --- catalogue -------------------------------------------------------------------------

    void catalogueIsStableAndPlausible() {
        Catalogue a;
        Catalogue b;
        b.stations(QStringLiteral("Metal")); // another word first must not change Jazz
        const QList<Station> &jazz = a.stations(QStringLiteral("Jazz"));
        const QList<Station> &again = b.stations(QStringLiteral("Jazz"));
        QCOMPARE(jazz.size(), again.size());
        for (qsizetype i = 0; i < jazz.size(); ++i) {
            QCOMPARE(jazz[i].name, again[i].name);
            QCOMPARE(jazz[i].listeners, again[i].listeners);
            QCOMPARE(jazz[i].songs, again[i].songs);
        }
        QVERIFY(jazz.size() >= 40 && jazz.size() <= 80);
        QVERIFY(a.stations(Catalogue::defaultGenre()).size() >= 60);

        QSet<QString> ids;
        int withoutSong = 0;
        int total = 0;
        for (const char *word : {"Jazz", "TopTen", "Rock", "Drum and Bass", "R&B/Soul"}) {
            const QList<Station> &list = a.stations(QString::fromUtf8(word));
            for (qsizetype i = 0; i < list.size(); ++i) {
                const Station &s = list[i];
                ++total;
                QVERIFY2(!ids.contains(s.id), qPrintable(s.id));
                ids.insert(s.id);
                QCOMPARE(s.id.size(), 5);
                QCOMPARE(a.find(s.id), &s);
                QVERIFY(s.listeners <= s.maxListeners);
                if (i > 0)
                    QVERIFY(list[i - 1].listeners >= s.listeners);
                QVERIFY(std::find(std::begin(StationBitrates), std::end(StationBitrates),
                                  s.bitrateKbps) != std::end(StationBitrates));
                if (s.bitrateKbps >= 128)
                    QCOMPARE(s.sampleRate, 44100);
                else if (s.bitrateKbps > 24 && s.bitrateKbps <= 56)
                    QCOMPARE(s.sampleRate, 22050);
                else if (s.bitrateKbps == 24)
                    QVERIFY(s.sampleRate == 22050 || s.sampleRate == 11025);
                QCOMPARE(s.channels, s.bitrateKbps <= 48 ? 1 : 2);
                QVERIFY(s.servers >= 1 && s.servers <= 3);
                QVERIFY(!s.songs.isEmpty());
                withoutSong += s.hasSong ? 0 : 1;
            }
            QVERIFY(list[1].name.contains(QLatin1String(" & ")));
            QVERIFY(list[12].name.contains(QLatin1String("&&")));
        }
        // About one in five says nothing about its song.
        QVERIFY2(withoutSong > total / 10 && withoutSong < total * 3 / 10,
                 qPrintable(QStringLiteral("%1 of %2").arg(withoutSong).arg(total)));
        QVERIFY(a.find(QStringLiteral("00000")) == nullptr);
    }

    void faultsParse() {
        QCOMPARE(parseFault(QStringLiteral("stall"))->kind, Fault::Stall);
        QVERIFY(parseFault(QStringLiteral("stall"))->stationId.isEmpty());
        const auto rule = parseFault(QStringLiteral("dead-first@12345"));
        QVERIFY(rule);
        QCOMPARE(rule->kind, Fault::DeadFirst);
        QCOMPARE(rule->stationId, QStringLiteral("12345"));
        QVERIFY(!parseFault(QStringLiteral("explode")));
        QVERIFY(!parseFault(QStringLiteral("drip@abc")));

        SimulatorOptions options = FreePortOptions();
        options.faults = {*parseFault(QStringLiteral("drip")),
                          *parseFault(QStringLiteral("close@11111")),
                          *parseFault(QStringLiteral("dead-first@22222"))};
        StationSimulator sim(options);
        QCOMPARE(sim.streamFault(QStringLiteral("11111")), Fault::Close);
        QCOMPARE(sim.streamFault(QStringLiteral("33333")), Fault::Drip);
        QVERIFY(sim.deadFirst(QStringLiteral("22222")));
        QVERIFY(!sim.deadFirst(QStringLiteral("11111")));
    }

    // --- directory pages -------------------------------------------------------------------

    void layoutConstants() {
        QCOMPARE(int(RowGap.size()), 42);
        for (const char *marker :
             {"Now Playing:", "#FFFFFF", "_scurl", "</a>", "<b>[", "?startat="})
            QVERIFY(RowGap.find(marker) == std::string_view::npos);
        QVERIFY(NoSong.find("Now Playing:") != 0);
        // In a row, "Now Playing:" begins 46 characters after the "<" of "</a>".
        Station s;
        s.id = QStringLiteral("12345");
        s.name = QStringLiteral("A & B");
        s.genre = QStringLiteral("Jazz");
        s.songs = {QStringLiteral("X - Y")};
        const QString row = joinedLines(directoryRow(s, s.songAt(0), 8000));
        const qsizetype playing = row.indexOf(QLatin1String("Now Playing:"));
        QVERIFY(playing > 0);
        QCOMPARE(playing - row.lastIndexOf(QLatin1String("</a>"), playing), 46);
        QVERIFY(!directoryRow(s, QString(), 8000).contains("Now Playing:"));
    }

    void firstPageFollowsTheScanningRules() {
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const QByteArray response =
            exchange(sim.directoryPort(),
                     playerRequest("/directory/?sgenre=Jazz&numresult=25&maxbitrate=999"));
        QVERIFY(response.startsWith("HTTP/1.1 200 OK\r\n"));
        QCOMPARE(headerValue(response, "Content-Type"), QByteArray("text/html"));
        QCOMPARE(headerValue(response, "Connection"), QByteArray("close"));
        const QByteArray body = bodyOf(response);
        QCOMPARE(headerValue(response, "Content-Length").toLongLong(), body.size());
        QVERIFY(body.contains("<html>") && body.contains("<title>") && body.contains("<table"));

        const ScannedPage page = scanDirectoryPage(body);
        QVERIFY2(page.problem.isEmpty(), qPrintable(page.problem));
        QCOMPARE(page.rows.size(), 25);
        QCOMPARE(page.next, 25);
        QCOMPARE(page.previous, -1);
        // Nothing outside the rows may look like part of one.
        const QString text = joinedLines(body);
        QCOMPARE(text.count(QLatin1String("/sbin/shoutcast-playlist.pls")), 25);
        QCOMPARE(text.count(QLatin1String("#FFFFFF")), 50);

        const QList<Station> &jazz = sim.catalogue().stations(QStringLiteral("Jazz"));
        bool ampersand = false;
        bool doubled = false;
        bool silent = false;
        for (int i = 0; i < 25; ++i) {
            const ScannedRow &row = page.rows[i];
            const Station &s = jazz[i];
            QCOMPARE(row.id, s.id);
            QCOMPARE(row.genre, QStringLiteral("[Jazz]"));
            QCOMPARE(
                row.url,
                QStringLiteral("http://127.0.0.1:%1/home/%2").arg(sim.directoryPort()).arg(s.id));
            QCOMPARE(QString(row.name).replace(QLatin1String("&amp;"), QLatin1String("&")), s.name);
            QVERIFY(!row.name.contains(QRegularExpression(QStringLiteral("&(?!amp;)"))));
            ampersand = ampersand || row.name.contains(QLatin1String(" &amp; "));
            doubled = doubled || row.name.contains(QLatin1String("&amp;&amp;"));
            QCOMPARE(row.hasSong, s.hasSong);
            if (row.hasSong) {
                QCOMPARE(QString(row.song).replace(QLatin1String("&amp;"), QLatin1String("&")),
                         s.songAt(sim.songSlot()));
            }
            silent = silent || !row.hasSong;
            QCOMPARE(row.listeners, QStringLiteral("%1/%2").arg(s.listeners).arg(s.maxListeners));
            QCOMPARE(row.bitrate, QString::number(s.bitrateKbps));
        }
        QVERIFY(ampersand);
        QVERIFY(doubled);
        QVERIFY(silent);
    }

    void followUpPagesContinueTheLastQuery() {
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const quint16 port = sim.directoryPort();
        // Without an earlier query the default list is paged.
        ScannedPage page = scanDirectoryPage(bodyOf(
            exchange(port, playerRequest("/directory/?sGenre=sGenre&numresult=25&startat=25"))));
        const QList<Station> &top = sim.catalogue().stations(Catalogue::defaultGenre());
        QCOMPARE(page.rows.size(), 25);
        QCOMPARE(page.rows[0].id, top[25].id);

        const QList<Station> &rock = sim.catalogue().stations(QStringLiteral("Rock"));
        QVERIFY(rock.size() > 25);
        QVERIFY(
            !exchange(port, playerRequest("/directory/?sgenre=Rock&numresult=25&maxbitrate=999"))
                 .isEmpty());
        const QByteArray second = bodyOf(
            exchange(port, playerRequest("/directory/?sGenre=sGenre&numresult=25&startat=25")));
        page = scanDirectoryPage(second);
        QVERIFY2(page.problem.isEmpty(), qPrintable(page.problem));
        QCOMPARE(page.rows.size(), qMin(25, int(rock.size()) - 25));
        for (int i = 0; i < page.rows.size(); ++i)
            QCOMPARE(page.rows[i].id, rock[25 + i].id);
        QCOMPARE(page.previous, 0);
        QCOMPARE(page.next, rock.size() > 50 ? 50 : -1);

        // The two links far apart, with no other page number between them.
        const QString text = joinedLines(second);
        const qsizetype previous = text.indexOf(QLatin1String("[ Previous ]"));
        const qsizetype next = text.indexOf(QLatin1String("[ Next ]"));
        if (next >= 0) {
            QVERIFY(next - previous > 60);
            QCOMPARE(text.indexOf(QLatin1String("?startat="), previous),
                     text.lastIndexOf(QLatin1String("?startat="), next));
        }

        // The last page of the default list has no Next.
        const int last = int((top.size() - 1) / 25) * 25;
        page = scanDirectoryPage(bodyOf(exchange(
            port, playerRequest("/directory/?sgenre=TopTen&numresult=25&maxbitrate=999&startat=" +
                                QByteArray::number(last)))));
        QCOMPARE(page.rows.size(), int(top.size()) - last);
        QCOMPARE(page.next, -1);
        QCOMPARE(page.previous, last - 25);
    }

    void maxBitrateFilters() {
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const ScannedPage page = scanDirectoryPage(bodyOf(
            exchange(sim.directoryPort(),
                     playerRequest("/directory/?sgenre=TopTen&numresult=25&maxbitrate=56"))));
        QList<const Station *> wanted;
        for (const Station &s : sim.catalogue().stations(Catalogue::defaultGenre())) {
            if (s.bitrateKbps <= 56)
                wanted << &s;
        }
        QVERIFY(!wanted.isEmpty());
        QCOMPARE(page.rows.size(), qMin(25, int(wanted.size())));
        for (int i = 0; i < page.rows.size(); ++i) {
            QVERIFY(page.rows[i].bitrate.toInt() <= 56);
            QCOMPARE(page.rows[i].id, wanted[i]->id);
        }
    }

    void oddGenreWords_data() {
        QTest::addColumn<QByteArray>("target");
        QTest::addColumn<QString>("genre");
        QTest::newRow("ampersand and slash raw")
            << QByteArray("/directory/?sgenre=R&B/Soul&numresult=25&maxbitrate=999")
            << QStringLiteral("R&B/Soul");
        QTest::newRow("ampersand and slash encoded")
            << QByteArray("/directory/?sgenre=R%26B%2FSoul&numresult=25&maxbitrate=999")
            << QStringLiteral("R&B/Soul");
        QTest::newRow("blanks")
            << QByteArray("/directory/?sgenre=Drum%20and%20Bass&numresult=25&maxbitrate=999")
            << QStringLiteral("Drum and Bass");
        QTest::newRow("placeholder")
            << QByteArray("/directory/?sgenre=Choose%20genre&numresult=25&maxbitrate=999")
            << QStringLiteral("Choose genre");
    }
    void oddGenreWords() {
        QFETCH(QByteArray, target);
        QFETCH(QString, genre);
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const ScannedPage page =
            scanDirectoryPage(bodyOf(exchange(sim.directoryPort(), playerRequest(target))));
        QVERIFY2(page.problem.isEmpty(), qPrintable(page.problem));
        QCOMPARE(page.rows.size(), 25);
        for (const ScannedRow &row : page.rows)
            QCOMPARE(row.genre, u'[' + genre + u']');
        QCOMPARE(page.rows[0].id, sim.catalogue().stations(genre)[0].id);
    }

    void pagesWithAndWithoutContentLength() {
        for (const bool withLength : {true, false}) {
            SimulatorOptions options = FreePortOptions();
            options.contentLength = withLength;
            StationSimulator sim(options);
            QVERIFY(sim.start());
            const QByteArray raw =
                exchange(sim.directoryPort(),
                         playerRequest("/directory/?sgenre=Jazz&numresult=25&maxbitrate=999"));
            QCOMPARE(headerValue(raw, "Content-Length").isEmpty(), !withLength);

            // A normal HTTP client gets the whole page either way.
            QNetworkAccessManager manager;
            std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(
                QUrl(QStringLiteral(
                         "http://127.0.0.1:%1/directory/?sgenre=Jazz&numresult=25&maxbitrate=999")
                         .arg(sim.directoryPort())))));
            QVERIFY(QTest::qWaitFor([&] { return reply->isFinished(); }, WaitMs));
            QCOMPARE(reply->error(), QNetworkReply::NoError);
            QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
            const QByteArray page = reply->readAll();
            QCOMPARE(page, bodyOf(raw));
            QCOMPARE(scanDirectoryPage(page).rows.size(), 25);
        }
    }

    void homePageAndNotFound() {
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const Station &s = sim.catalogue().stations(QStringLiteral("TopTen"))[1];
        const QByteArray home =
            exchange(sim.directoryPort(), browserRequest("/home/" + s.id.toUtf8()));
        QVERIFY(home.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(bodyOf(home).contains(htmlEscape(s.name).toUtf8()));
        for (const QByteArray &path :
             {QByteArray("/"), QByteArray("/home/00000"), QByteArray("/nowhere"),
              QByteArray("/sbin/shoutcast-playlist.pls?rn=00000&file=filename.pls")}) {
            QVERIFY2(
                exchange(sim.directoryPort(), browserRequest(path)).startsWith("HTTP/1.1 404 "),
                path.constData());
        }
    }

    // --- playlists -------------------------------------------------------------------------

    void playlists() {
        for (const bool crlfAll : {false, true}) {
            SimulatorOptions options = FreePortOptions();
            options.crlfAll = crlfAll;
            StationSimulator sim(options);
            QVERIFY(sim.start());
            const QList<quint16> ports = sim.streamPorts();
            QCOMPARE(ports.size(), 3);
            for (const int servers : {1, 2, 3}) {
                for (const bool crlf : {false, true}) {
                    const Station *s = findStation(sim, [&](const Station &st) {
                        return st.servers == servers && st.crlfPlaylist == crlf;
                    });
                    QVERIFY(s);
                    const QByteArray response =
                        exchange(sim.directoryPort(),
                                 playerRequest("/sbin/shoutcast-playlist.pls?rn=" + s->id.toUtf8() +
                                               "&file=filename.pls"));
                    const QByteArray lead =
                        "HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\n\r\n";
                    QVERIFY(response.startsWith(lead));
                    const QByteArray text = response.mid(lead.size());
                    const bool wantCrlf = crlf || crlfAll;
                    QCOMPARE(text.count("\r\n"), wantCrlf ? text.count('\n') : 0);
                    QCOMPARE(text.count('\n'), 3 + 3 * servers);

                    const QList<QByteArray> lines = text.trimmed().split('\n');
                    QCOMPARE(lines.first().trimmed(), QByteArray("[playlist]"));
                    QCOMPARE(lines.at(1).trimmed(),
                             "numberofentries=" + QByteArray::number(servers));
                    QCOMPARE(lines.last().trimmed(), QByteArray("Version=2"));
                    for (int k = 1; k <= servers; ++k) {
                        const QByteArray n = QByteArray::number(k);
                        const QByteArray file = lines.at(2 + 3 * (k - 1)).trimmed();
                        QCOMPARE(file, "File" + n + "=http://127.0.0.1:" +
                                           QByteArray::number(ports[k - 1]) + '/' + s->id.toUtf8());
                        QVERIFY(!file.toLower().contains("stream"));
                        const QByteArray title = lines.at(3 + 3 * (k - 1)).trimmed();
                        QVERIFY(title.startsWith("Title" + n + "=(#" + n + " - "));
                        QVERIFY(title.endsWith(") " + s->name.toUtf8()));
                        QCOMPARE(lines.at(4 + 3 * (k - 1)).trimmed(), "Length" + n + "=-1");
                    }
                }
            }
        }
    }

    void deadFirstLeadsToAClosedPort() {
        SimulatorOptions options = FreePortOptions();
        options.faults << *parseFault(QStringLiteral("dead-first"));
        StationSimulator sim(options);
        QVERIFY(sim.start());
        const Station *s = findStation(sim, [](const Station &st) { return st.servers == 3; });
        QVERIFY(s);
        const QByteArray text = bodyOf(exchange(
            sim.directoryPort(), playerRequest("/sbin/shoutcast-playlist.pls?rn=" + s->id.toUtf8() +
                                               "&file=filename.pls")));
        QVERIFY(text.contains("numberofentries=3\n"));
        const QByteArray dead =
            "http://127.0.0.1:" + QByteArray::number(sim.deadPort()) + '/' + s->id.toUtf8();
        QVERIFY(text.contains("File1=" + dead));
        QVERIFY(sim.deadPort() > 0 && sim.deadPort() < 32768);
        QVERIFY(!sim.streamPorts().contains(sim.deadPort()));
        QVERIFY(
            text.contains("File2=http://127.0.0.1:" + QByteArray::number(sim.streamPorts()[0])));

        Client refused(sim.deadPort(), QByteArray());
        QVERIFY(QTest::qWaitFor([&] { return refused.refused; }, WaitMs));
        Client live(sim.streamPorts()[0], playerRequest('/' + s->id.toUtf8()));
        QVERIFY(live.waitFor(4096));
        QVERIFY(live.data.startsWith("ICY 200 OK\r\n"));
    }

    // --- streams ---------------------------------------------------------------------------

    void streamHeadAndFrames_data() {
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<int>("channels");
        QTest::newRow("44100 stereo") << 44100 << 2;
        QTest::newRow("22050 mono") << 22050 << 1;
        QTest::newRow("22050 stereo") << 22050 << 2;
        QTest::newRow("11025 mono") << 11025 << 1;
    }
    void streamHeadAndFrames() {
        QFETCH(int, sampleRate);
        QFETCH(int, channels);
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const Station *s = findStation(sim, [&](const Station &st) {
            return st.sampleRate == sampleRate && st.channels == channels;
        });
        QVERIFY(s);
        Client client(sim.streamPorts()[2], playerRequest('/' + s->id.toUtf8()));
        QVERIFY(client.waitFor(16384));
        QVERIFY(client.headEnd() > 0);

        // Without the blank line, then split after each line break.
        QList<QByteArray> lines = client.head().chopped(2).split('\n');
        QCOMPARE(lines.takeLast(), QByteArray());
        QCOMPARE(lines.size(), 8);
        QList<QByteArray> got;
        for (const QByteArray &line : lines) {
            QVERIFY(line.endsWith('\r'));
            got << line.chopped(1);
        }
        const QByteArray name = "icy-name:" + s->name.toUtf8();
        const QByteArray genre = "icy-genre:" + s->genre.toUtf8();
        QCOMPARE(got[0], QByteArray("ICY 200 OK"));
        QCOMPARE(got[1], QByteArray("icy-notice1:This stream requires a player"));
        QCOMPARE(got[2], s->genreFirst ? genre : name);
        QCOMPARE(got[3], s->genreFirst ? name : genre);
        QCOMPARE(got[4], "icy-url:http://127.0.0.1:" + QByteArray::number(sim.directoryPort()) +
                             "/home/" + s->id.toUtf8());
        QCOMPARE(got[5], QByteArray("content-type:audio/mpeg"));
        QCOMPARE(got[6], QByteArray("icy-pub:1"));
        QCOMPARE(got[7], "icy-br:" + QByteArray::number(s->bitrateKbps));

        // Real frames of the station's format, one after the other.
        const QByteArray audio = client.body();
        qsizetype at = 0;
        for (int i = 0; i < 8; ++i) {
            const Frame f = readFrame(audio, at);
            QVERIFY2(f.valid, qPrintable(QStringLiteral("frame %1").arg(i)));
            QCOMPARE(f.sampleRate, sampleRate);
            QCOMPARE(f.bitrate, s->bitrateKbps);
            QCOMPARE(f.mono, channels == 1);
            at += f.length;
        }
    }

    void streamComesInABurstThenAtPace() {
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const Station *s =
            findStation(sim, [](const Station &st) { return st.bitrateKbps == 128; });
        QVERIFY(s);
        Client client(sim.streamPorts()[0], playerRequest('/' + s->id.toUtf8()));
        QVERIFY(client.waitFor(1));
        QTest::qWait(1000);
        const double seconds = client.sinceFirstByte.elapsed() / 1000.0;
        const qint64 audio = client.body().size();
        const double expected = BurstBytes + 16000 * seconds;
        QVERIFY2(audio > expected - 6000 && audio < expected + 6000,
                 qPrintable(QStringLiteral("%1 bytes after %2 s").arg(audio).arg(seconds)));
        QVERIFY(!client.closed());
    }

    void statusPageForBrowsers() {
        StationSimulator sim(FreePortOptions());
        qint64 now = 0;
        sim.setClock([&now] { return now; });
        QVERIFY(sim.start());
        const Station *s = findStation(sim, [](const Station &st) {
            return st.songAt(0) != st.songAt(1) && st.songs.join(QString()).contains(u'&');
        });
        QVERIFY(s);
        // The markup of the period: the song 53 characters after the label's "C", closed by
        // a lower-case bold tag, with exactly one cell tag in between.
        const auto songOnPage = [&](const QByteArray &request) {
            const QByteArray page = bodyOf(exchange(sim.streamPorts()[1], request));
            const qsizetype c = page.indexOf("Current Song");
            if (c < 0)
                return QByteArray();
            const QByteArray lead = page.mid(c, 53);
            if (lead != "Current Song: </font></td><td><font class=default><b>")
                return "unexpected lead: " + lead;
            return page.mid(c + 53, page.indexOf("</b>", c + 53) - (c + 53));
        };
        const QByteArray path = '/' + s->id.toUtf8();
        QCOMPARE(songOnPage(browserRequest(path)), htmlEscape(s->songAt(0)).toUtf8());
        now = 29999;
        QCOMPARE(songOnPage(browserRequest(path)), htmlEscape(s->songAt(0)).toUtf8());
        now = 30000;
        QCOMPARE(songOnPage(browserRequest(path)), htmlEscape(s->songAt(1)).toUtf8());
        now = 30000 * qint64(s->songs.size() + 2);
        QCOMPARE(songOnPage(browserRequest(path)), htmlEscape(s->songAt(2)).toUtf8());

        // A page fetcher gets the page too, not the stream.
        QNetworkAccessManager manager;
        std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(
            QUrl(QStringLiteral("http://127.0.0.1:%1/%2").arg(sim.streamPorts()[1]).arg(s->id)))));
        QVERIFY(QTest::qWaitFor([&] { return reply->isFinished(); }, WaitMs));
        QCOMPARE(reply->error(), QNetworkReply::NoError);
        const QByteArray fetched = reply->readAll();
        QVERIFY(fetched.contains("<tr><td width=100 nowrap><font class=default>Current Song: "
                                 "</font></td><td><font class=default><b>"));
        // Every row in the same style.
        QCOMPARE(fetched.count("<tr><td width=100 nowrap><font class=default>"), 7);
        QCOMPARE(fetched.count("</b></td></tr>\n"), 7);

        // The history: ten songs, the newest first.
        now = 30000 * 20 + 5;
        const QByteArray played =
            bodyOf(exchange(sim.streamPorts()[0], browserRequest(path + "/played.html")));
        QRegularExpression row(
            QStringLiteral("<tr><td>(\\d\\d:\\d\\d:\\d\\d)</td><td>([^<]*)</td></tr>"));
        QStringList songs;
        QStringList times;
        for (const auto &match : row.globalMatch(QString::fromUtf8(played))) {
            times << match.captured(1);
            songs << match.captured(2);
        }
        QCOMPARE(songs.size(), 10);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(songs[i], htmlEscape(s->songAt(20 - i)));
        QVERIFY(times[0] != times[1]);

        QVERIFY(
            exchange(sim.streamPorts()[0], browserRequest("/00000")).startsWith("HTTP/1.0 404"));
        QVERIFY(exchange(sim.streamPorts()[0], playerRequest(path + "/other"))
                    .startsWith("HTTP/1.0 404"));
    }

    void songsChangeAtTheChosenPace() {
        SimulatorOptions options = FreePortOptions();
        options.songSeconds = 2;
        StationSimulator sim(options);
        qint64 now = 0;
        sim.setClock([&now] { return now; });
        QVERIFY(sim.start());
        QCOMPARE(sim.songSlot(), 0);
        now = 1999;
        QCOMPARE(sim.songSlot(), 0);
        now = 2000;
        QCOMPARE(sim.songSlot(), 1);
        now = 9000;
        QCOMPARE(sim.songSlot(), 4);
        now = -1;
        QCOMPARE(sim.songSlot(), -1);

        // The history spaces its songs by the same pace.
        const Station *s = findStation(sim, [](const Station &) { return true; });
        QVERIFY(s);
        now = 2000 * 20;
        const QByteArray played = bodyOf(
            exchange(sim.streamPorts()[0], browserRequest('/' + s->id.toUtf8() + "/played.html")));
        QRegularExpression time(QStringLiteral("<tr><td>(\\d\\d):(\\d\\d):(\\d\\d)</td>"));
        QList<int> seconds;
        for (const auto &match : time.globalMatch(QString::fromUtf8(played))) {
            seconds << match.captured(1).toInt() * 3600 + match.captured(2).toInt() * 60 +
                           match.captured(3).toInt();
        }
        QCOMPARE(seconds.size(), 10);
        for (int i = 1; i < 10; ++i)
            QCOMPARE((seconds[i - 1] - seconds[i] + 86400) % 86400, 2);
    }

    void streamFaults_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("stall") << QStringLiteral("stall");
        QTest::newRow("garbage") << QStringLiteral("garbage");
        QTest::newRow("drip") << QStringLiteral("drip");
        QTest::newRow("close") << QStringLiteral("close");
    }
    void streamFaults() {
        QFETCH(QString, fault);
        // A fast station, so closing after 100 KB comes quickly; the fault is set for it alone.
        StationSimulator probe(FreePortOptions());
        const Station *fast =
            findStation(probe, [](const Station &st) { return st.bitrateKbps >= 256; });
        QVERIFY(fast);
        SimulatorOptions options = FreePortOptions();
        options.faults << *parseFault(fault + u'@' + fast->id);
        StationSimulator sim(options);
        QVERIFY(sim.start());
        const Station *s = sim.catalogue().find(fast->id);
        QVERIFY(s);
        const Station *other = findStation(sim, [&](const Station &st) { return st.id != s->id; });
        QVERIFY(other);

        Client client(sim.streamPorts()[0], playerRequest('/' + s->id.toUtf8()));
        Client healthy(sim.streamPorts()[0], playerRequest('/' + other->id.toUtf8()));
        QVERIFY(healthy.waitFor(65536));
        QVERIFY(client.waitFor(1));
        QTest::qWait(1500);
        QVERIFY(client.data.startsWith("ICY 200 OK\r\n"));
        const QByteArray audio = client.body();
        if (fault == QLatin1String("stall")) {
            QCOMPARE(audio.size(), 16384);
            QVERIFY(!client.closed());
            QVERIFY(readFrame(audio, 0).valid);
        } else if (fault == QLatin1String("garbage")) {
            QVERIFY(audio.size() > 65536);
            int frames = 0;
            for (qsizetype at = 0; at + 4 < audio.size(); ++at)
                frames += readFrame(audio, at).valid ? 1 : 0;
            // Random bytes look like a frame header now and then, but nowhere near as often
            // as real audio does (hundreds of frames in 64 KiB).
            QVERIFY2(frames < 40, qPrintable(QString::number(frames)));
            QVERIFY(!client.closed());
        } else if (fault == QLatin1String("drip")) {
            const double seconds = client.sinceFirstByte.elapsed() / 1000.0;
            QVERIFY2(audio.size() > 100 && audio.size() < 200 * seconds + 200,
                     qPrintable(QString::number(audio.size())));
            QVERIFY(!client.closed());
        } else {
            QVERIFY(client.waitClosed());
            QCOMPARE(client.body().size(), 100000);
            QVERIFY(readFrame(client.body(), 0).valid);
        }
        QVERIFY(!healthy.closed());
        QVERIFY(healthy.body().size() > 65536);
    }

    // Faults injected into running streams: close, stall and garbage in turn, each hitting
    // the connections streaming at that moment and none that come later; every stream that
    // ends reports the audio bytes it was sent, and that is what the player received.
    void injectedFaultsHitTheRunningStreams() {
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const Station *s =
            findStation(sim, [](const Station &st) { return st.bitrateKbps >= 128; });
        QVERIFY(s);
        const QByteArray path = '/' + s->id.toUtf8();
        QSignalSpy ended(&sim, &StationSimulator::streamEnded);
        QSignalSpy injected(&sim, &StationSimulator::faultInjected);

        auto closing = std::make_unique<Client>(sim.streamPorts()[0], playerRequest(path));
        QVERIFY(closing->waitFor(BurstBytes));
        QCOMPARE(sim.injectNextFault(), Fault::Close);
        QCOMPARE(injected.count(), 1);
        QCOMPARE(injected.last().at(1).toInt(), 1);
        QVERIFY(closing->waitClosed());
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, WaitMs);
        QCOMPARE(ended.last().at(0).toString(), QString::fromUtf8(path));
        QCOMPARE(ended.last().at(1).toLongLong(), qint64(closing->body().size()));
        QVERIFY(readFrame(closing->body(), 0).valid);

        // Connected after the close: streams on, then stalls on an open line.
        Client stalling(sim.streamPorts()[1], playerRequest(path));
        QVERIFY(stalling.waitFor(BurstBytes + 2000));
        QCOMPARE(sim.injectNextFault(), Fault::Stall);
        QTest::qWait(300); // what was already handed to the system arrives
        const qsizetype stalledAt = stalling.data.size();
        QTest::qWait(1200);
        QCOMPARE(stalling.data.size(), stalledAt);
        QVERIFY(!stalling.closed());

        // Connected after the stall: real audio, then random bytes.
        Client garbled(sim.streamPorts()[2], playerRequest(path));
        QVERIFY(garbled.waitFor(BurstBytes + 2000));
        const QByteArray before = garbled.body();
        int framesBefore = 0;
        for (qsizetype at = 0; at + 4 < before.size(); ++at)
            framesBefore += readFrame(before, at).valid ? 1 : 0;
        QVERIFY2(framesBefore > 100, qPrintable(QString::number(framesBefore)));
        QCOMPARE(sim.injectNextFault(), Fault::Garbage);
        // The stalled one is still connected, and is hit too.
        QCOMPARE(injected.last().at(1).toInt(), 2);
        QTest::qWait(300);
        const qsizetype garbageFrom = garbled.data.size();
        QVERIFY(garbled.waitFor(garbageFrom + 16000));
        const QByteArray garbage = garbled.data.mid(garbageFrom);
        int frames = 0;
        for (qsizetype at = 0; at + 4 < garbage.size(); ++at)
            frames += readFrame(garbage, at).valid ? 1 : 0;
        QVERIFY2(frames < 12, qPrintable(QString::number(frames)));
        QVERIFY(!garbled.closed());

        // The turn starts again.
        QCOMPARE(sim.injectNextFault(), Fault::Close);
        QVERIFY(stalling.waitClosed());
        QVERIFY(garbled.waitClosed());
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 3, WaitMs);
        qint64 reported = 0;
        for (const QList<QVariant> &args : std::as_const(ended))
            reported += args.at(1).toLongLong();
        QCOMPARE(reported,
                 qint64(closing->body().size() + stalling.body().size() + garbled.body().size()));
        // Nothing streams now: a fault hits nobody.
        QCOMPARE(sim.injectNextFault(), Fault::Stall);
        QCOMPARE(injected.last().at(1).toInt(), 0);
    }

    // Every port gives up on a request head that never ends instead of gathering it; a long
    // head that does end is still answered.
    void requestHeadsHaveALimit() {
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const QByteArray id = sim.catalogue().stations(QStringLiteral("TopTen"))[0].id.toUtf8();
        QList<quint16> ports = sim.streamPorts();
        ports.prepend(sim.directoryPort());
        for (const quint16 port : std::as_const(ports)) {
            const bool directory = port == sim.directoryPort();
            const QByteArray path =
                directory ? "/sbin/shoutcast-playlist.pls?rn=" + id + "&file=filename.pls"
                          : '/' + id;
            const QByteArray where = "port " + QByteArray::number(port);

            QByteArray request = playerRequest(path);
            request.insert(request.indexOf("\r\n") + 2,
                           "X-Padding: " + QByteArray(60 * 1024, 'p') + "\r\n");
            QVERIFY(request.size() < MaxRequestHead);
            Client answered(port, request);
            QVERIFY2(answered.waitFor(directory ? 100 : 16384), where);
            QVERIFY2(answered.data.startsWith(directory ? "HTTP/1.0 200 OK\r\n" : "ICY 200 OK\r\n"),
                     where);

            Client endless(port, "GET " + path +
                                     " HTTP/1.1\r\nX-Padding: " + QByteArray(MaxRequestHead, 'p'));
            QVERIFY2(endless.waitClosed(), where);
            QVERIFY2(endless.data.isEmpty(), where);
        }
    }

    // --- the secure ports ------------------------------------------------------------------

    void secureStreamServesWhatThePlainOneServes() {
        StationSimulator sim(FreePortOptions());
        sim.setClock([] { return qint64(0); });
        QVERIFY(sim.start());
        const quint16 port = sim.secureStreamPort();
        QVERIFY(port > 0 && port < 32768);
        QVERIFY(!sim.streamPorts().contains(port));
        const Station *mono = findStation(
            sim, [](const Station &st) { return st.sampleRate == 22050 && st.channels == 1; });
        QVERIFY(mono);
        for (const Station *s :
             {&sim.catalogue().stations(Catalogue::defaultGenre()).at(0), mono}) {
            const QByteArray path = '/' + s->id.toUtf8();
            SecureClient secure(port, playerRequest(path));
            Client plain(sim.streamPorts()[0], playerRequest(path));
            QVERIFY(secure.waitFor(32768));
            QVERIFY(plain.waitFor(32768));
            QVERIFY(secure.encrypted);
            QVERIFY(secure.sslErrors.isEmpty());
            QVERIFY(plain.headEnd() > 0);
            QVERIFY(plain.data.startsWith("ICY 200 OK\r\n"));
            // The same head and the same audio, byte for byte.
            QCOMPARE(secure.data.left(32768), plain.data.left(32768));
            const Frame frame = readFrame(secure.data, plain.headEnd());
            QVERIFY(frame.valid);
            QCOMPARE(frame.bitrate, s->bitrateKbps);
            QVERIFY(!secure.closed());

            // Its pages too: the same router as the first plain server (the status page names
            // the server it comes from).
            for (const QByteArray &request :
                 {browserRequest(path), browserRequest(path + "/played.html")}) {
                const QByteArray page = exchange(sim.streamPorts()[0], request);
                QVERIFY(page.startsWith("HTTP/1.0 200 OK\r\n"));
                QCOMPARE(secureExchange(port, request), page);
            }
        }
        // The Icecast-style mount as well.
        SecureClient mount(port, playerRequest("/live.mp3"));
        QVERIFY(mount.waitFor(4096));
        QVERIFY(mount.data.startsWith("HTTP/1.0 200 OK\r\n"));
    }

    void secureServersAreTrustedOnlyWithTheTestAuthority() {
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const Station &s = sim.catalogue().stations(Catalogue::defaultGenre()).at(0);
        for (const quint16 port : {sim.secureStreamPort(), sim.secureDirectoryPort()}) {
            // No authority at all: the handshake fails on the certificate, nothing is sent.
            SecureClient stranger(port, playerRequest('/' + s.id.toUtf8()),
                                  QList<QSslCertificate>());
            QVERIFY(QTest::qWaitFor([&] { return stranger.failed; }, WaitMs));
            QVERIFY(!stranger.encrypted);
            QVERIFY(!stranger.sslErrors.isEmpty());
            QVERIFY(stranger.data.isEmpty());
        }
        // The server presents the certificate for 127.0.0.1, signed by the test authority.
        SecureClient trusted(sim.secureDirectoryPort(), playerRequest("/json/servers"));
        QVERIFY(trusted.waitClosed());
        QVERIFY(trusted.encrypted);
        const QList<QSslCertificate> chain = trusted.socket.peerCertificateChain();
        QVERIFY(!chain.isEmpty());
        QCOMPARE(chain.first().issuerDisplayName(), testAuthority().subjectDisplayName());
    }

    void secureDirectoryAnswersAsThePlainOne() {
        StationSimulator sim(FreePortOptions());
        sim.setClock([] { return qint64(0); });
        QVERIFY(sim.start());
        const quint16 port = sim.secureDirectoryPort();
        QVERIFY(port > 0 && port < 32768);
        QVERIFY(port != sim.directoryPort());
        const QByteArray id =
            sim.catalogue().stations(QStringLiteral("Jazz")).at(M3uRank).id.toUtf8();
        const QList<QByteArray> targets{
            "/json/servers",
            "/json/stations/search?tag=Jazz&limit=30",
            "/json/stations/search?tag=R%26B%2FSoul&bitrateMax=56&offset=3",
            "/directory/?sgenre=Jazz&numresult=25&maxbitrate=999",
            "/listen/" + id + ".m3u",
            "/go/" + id,
            "/nowhere"};
        for (const QByteArray &target : targets) {
            const QByteArray plain = exchange(sim.directoryPort(), playerRequest(target));
            QVERIFY2(plain.startsWith("HTTP/1.1 "), target.constData());
            QCOMPARE(secureExchange(port, playerRequest(target)), plain);
        }
        const QJsonDocument found = QJsonDocument::fromJson(
            bodyOf(secureExchange(port, playerRequest("/json/stations/search?tag=Jazz&limit=30"))));
        QCOMPARE(found.array().size(), 30);
    }

    // --- the JSON directory's stations of each kind ----------------------------------------------

    void searchListsEachKindOfAddress() {
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const QString directory = QStringLiteral("http://127.0.0.1:%1/").arg(sim.directoryPort());
        for (const QByteArray &tag :
             {QByteArray(), QByteArray("Jazz"), QByteArray("R%26B%2FSoul")}) {
            const QByteArray response = exchange(
                sim.directoryPort(), playerRequest("/json/stations/search?limit=12" +
                                                   (tag.isEmpty() ? QByteArray() : "&tag=" + tag)));
            const QJsonArray list = QJsonDocument::fromJson(bodyOf(response)).array();
            QCOMPARE(list.size(), 12);
            for (int rank = 0; rank < list.size(); ++rank) {
                const QJsonObject o = list.at(rank).toObject();
                const Station *s = sim.stationByUuid(o.value("stationuuid").toString());
                QVERIFY(s);
                const QString plain =
                    QStringLiteral("http://127.0.0.1:%1/%2").arg(sim.streamPorts()[0]).arg(s->id);
                JsonKind kind = JsonKind::Stream;
                QString address = plain;
                if (rank == HlsRank) {
                    kind = JsonKind::Hls;
                } else if (rank == PlsRank) {
                    kind = JsonKind::Pls;
                    address = directory + "sbin/shoutcast-playlist.pls?rn=" + s->id;
                } else if (rank == SecureRank) {
                    kind = JsonKind::Secure;
                    address = QStringLiteral("https://127.0.0.1:%1/%2")
                                  .arg(sim.secureStreamPort())
                                  .arg(s->id);
                } else if (rank == RedirectedRank) {
                    kind = JsonKind::Redirected;
                    address = directory + "go/" + s->id;
                } else if (rank == M3uRank) {
                    kind = JsonKind::M3u;
                    address = directory + "listen/" + s->id + ".m3u";
                }
                const QString where = QStringLiteral("%1 rank %2").arg(tag).arg(rank);
                QVERIFY2(sim.jsonKind(*s) == kind, qPrintable(where));
                QCOMPARE(o.value("url_resolved").toString(), address);
                QCOMPARE(o.value("url").toString(), address);
                QCOMPARE(o.value("hls").toInt(), kind == JsonKind::Hls ? 1 : 0);
            }
        }
        // The play counter hands out the same address.
        const Station &secure = sim.catalogue().stations(Catalogue::defaultGenre()).at(SecureRank);
        const QJsonObject counted =
            QJsonDocument::fromJson(
                bodyOf(exchange(sim.directoryPort(),
                                playerRequest("/json/url/" +
                                              StationSimulator::stationUuid(secure.id).toUtf8()))))
                .object();
        QCOMPARE(
            counted.value("url").toString(),
            QStringLiteral("https://127.0.0.1:%1/%2").arg(sim.secureStreamPort()).arg(secure.id));
        QCOMPARE(sim.clicks(secure.id), 1);
    }

    void redirectedStationTakesTwoHops() {
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const Station &s = sim.catalogue().stations(QStringLiteral("Jazz")).at(RedirectedRank);
        const QByteArray id = s.id.toUtf8();
        const QUrl first(sim.jsonStreamAddress(s));
        QCOMPARE(first.port(), int(sim.directoryPort()));

        const QByteArray hop1 = exchange(sim.directoryPort(), playerRequest(first.path().toUtf8()));
        QVERIFY(hop1.startsWith("HTTP/1.1 302 Found\r\n"));
        QCOMPARE(headerValue(hop1, "Location"), "/go2/" + id);
        QVERIFY(bodyOf(hop1).isEmpty());

        const QUrl second = first.resolved(QUrl(QString::fromUtf8(headerValue(hop1, "Location"))));
        QCOMPARE(second.port(), int(sim.directoryPort()));
        const QByteArray hop2 =
            exchange(quint16(second.port()), playerRequest(second.path().toUtf8()));
        QVERIFY(hop2.startsWith("HTTP/1.1 307 Temporary Redirect\r\n"));
        QCOMPARE(headerValue(hop2, "Location"),
                 "http://127.0.0.1:" + QByteArray::number(sim.streamPorts()[0]) + '/' + id);
        QVERIFY(bodyOf(hop2).isEmpty());

        // The end plays.
        const QUrl end(QString::fromUtf8(headerValue(hop2, "Location")));
        Client stream(quint16(end.port()), playerRequest(end.path().toUtf8()));
        QVERIFY(stream.waitFor(16384));
        QVERIFY(stream.data.startsWith("ICY 200 OK\r\n"));
        const Frame frame = readFrame(stream.body(), 0);
        QVERIFY(frame.valid);
        QCOMPARE(frame.bitrate, s.bitrateKbps);

        // Only stations have redirects.
        for (const QByteArray &path :
             {QByteArray("/go/99999999"), QByteArray("/go2/"), QByteArray("/go2/" + id + "x")})
            QVERIFY2(exchange(sim.directoryPort(), playerRequest(path))
                         .startsWith("HTTP/1.1 404 Not Found\r\n"),
                     path.constData());
    }

    void m3uPlaylists() {
        StationSimulator probe(FreePortOptions());
        const QString id = probe.catalogue().stations(Catalogue::defaultGenre()).at(M3uRank).id;
        for (const bool deadFirst : {false, true}) {
            SimulatorOptions options = FreePortOptions();
            if (deadFirst)
                options.faults << *parseFault(QStringLiteral("dead-first@") + id);
            StationSimulator sim(options);
            QVERIFY(sim.start());
            const Station *s = sim.catalogue().find(id);
            QVERIFY(s);
            QCOMPARE(sim.jsonKind(*s), JsonKind::M3u);
            const QByteArray path = "/listen/" + id.toUtf8() + ".m3u";
            QCOMPARE(sim.jsonStreamAddress(*s),
                     QStringLiteral("http://127.0.0.1:%1").arg(sim.directoryPort()) + path);

            QList<QByteArray> addresses;
            for (int i = 0; i < s->servers; ++i)
                addresses << "http://127.0.0.1:" + QByteArray::number(sim.streamPorts()[i]) + '/' +
                                 id.toUtf8();
            if (deadFirst) {
                addresses.prepend("http://127.0.0.1:" + QByteArray::number(sim.deadPort()) + '/' +
                                  id.toUtf8());
                while (addresses.size() > 3)
                    addresses.removeLast();
            }

            const QByteArray extended = exchange(sim.directoryPort(), playerRequest(path));
            QVERIFY(extended.startsWith("HTTP/1.1 200 OK\r\n"));
            QCOMPARE(headerValue(extended, "Content-Type"), QByteArray("audio/x-mpegurl"));
            QCOMPARE(headerValue(extended, "Content-Length").toLongLong(), bodyOf(extended).size());
            QCOMPARE(bodyOf(extended), "#EXTM3U\r\n#EXTINF:-1," + s->name.toUtf8() + "\r\n" +
                                           addresses.join("\r\n") + "\r\n");

            const QByteArray plain =
                exchange(sim.directoryPort(), playerRequest(path + "?plain=1"));
            QVERIFY(plain.startsWith("HTTP/1.1 200 OK\r\n"));
            QCOMPARE(headerValue(plain, "Content-Type"), QByteArray("audio/x-mpegurl"));
            QCOMPARE(bodyOf(plain), addresses.join('\n') + '\n');

            // Its first live address plays.
            Client stream(sim.streamPorts()[0], playerRequest('/' + id.toUtf8()));
            QVERIFY(stream.waitFor(4096));
            QVERIFY(stream.data.startsWith("ICY 200 OK\r\n"));
        }
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        for (const QByteArray &path :
             {QByteArray("/listen/99999999.m3u"), QByteArray("/listen/" + id.toUtf8()),
              QByteArray("/listen/" + id.toUtf8() + ".pls")})
            QVERIFY2(exchange(sim.directoryPort(), playerRequest(path))
                         .startsWith("HTTP/1.1 404 Not Found\r\n"),
                     path.constData());
    }

    // --- the program -----------------------------------------------------------------------

    void executableAnnouncesAndServes() {
        QProcess process;
        process.start(QStringLiteral(KESTRUNE_STATIONSIM),
                      {QStringLiteral("--port"), QStringLiteral("0"),
                       QStringLiteral("--stream-port"), QStringLiteral("0"),
                       QStringLiteral("--no-content-length")});
        QVERIFY(process.waitForStarted(WaitMs));
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (out.count('\n') < 4 && clock.elapsed() < WaitMs) {
            process.waitForReadyRead(200);
            out += process.readAllStandardOutput();
        }
        const QRegularExpression lines(
            QStringLiteral("^directory http://127\\.0\\.0\\.1:(\\d+)\\n"
                           "streams http://127\\.0\\.0\\.1:(\\d+) http://127\\.0\\.0\\.1:(\\d+) "
                           "http://127\\.0\\.0\\.1:(\\d+)\\n"
                           "secure-streams https://127\\.0\\.0\\.1:(\\d+)\\n"
                           "secure-directory https://127\\.0\\.0\\.1:(\\d+)\\n$"));
        const auto match = lines.match(QString::fromUtf8(out));
        QVERIFY2(match.hasMatch(), out.constData());
        for (int i = 1; i <= 6; ++i)
            QVERIFY(match.captured(i).toInt() > 0 && match.captured(i).toInt() < 32768);

        const QByteArray page =
            exchange(quint16(match.captured(1).toInt()),
                     playerRequest("/directory/?sgenre=Jazz&numresult=25&maxbitrate=999"));
        QVERIFY(page.startsWith("HTTP/1.1 200 OK\r\n"));
        QVERIFY(headerValue(page, "Content-Length").isEmpty());
        QCOMPARE(scanDirectoryPage(bodyOf(page)).rows.size(), 25);
        // The secure directory, and the https station it lists on the secure stream server.
        const QByteArray found = secureExchange(quint16(match.captured(6).toInt()),
                                                playerRequest("/json/stations/search?limit=10"));
        QVERIFY(found.startsWith("HTTP/1.1 200 OK\r\n"));
        const QUrl secure(QJsonDocument::fromJson(bodyOf(found))
                              .array()
                              .at(SecureRank)
                              .toObject()
                              .value("url_resolved")
                              .toString());
        QCOMPARE(secure.scheme(), QStringLiteral("https"));
        QCOMPARE(secure.port(), match.captured(5).toInt());
        SecureClient stream(quint16(secure.port()), playerRequest(secure.path().toUtf8()));
        QVERIFY(stream.waitFor(4096));
        QVERIFY(stream.data.startsWith("ICY 200 OK\r\n"));

        process.terminate();
        QVERIFY(process.waitForFinished(WaitMs));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }

    // The program's fault timer and its stream report, as the soak uses them.
    void executableInjectsFaultsAndReportsStreams() {
        QProcess process;
        process.start(QStringLiteral(KESTRUNE_STATIONSIM),
                      {QStringLiteral("--port"), QStringLiteral("0"),
                       QStringLiteral("--stream-port"), QStringLiteral("0"),
                       QStringLiteral("--fault-every"), QStringLiteral("2"),
                       QStringLiteral("--log-streams")});
        QVERIFY(process.waitForStarted(WaitMs));
        QByteArray out;
        const auto readUntil = [&](const std::function<bool()> &done, int ms) {
            return QTest::qWaitFor(
                [&] {
                    out += process.readAllStandardOutput();
                    return done();
                },
                ms);
        };
        QVERIFY(readUntil([&] { return out.count('\n') >= 2; }, WaitMs));
        const QRegularExpression streams(QStringLiteral("streams http://127\\.0\\.0\\.1:(\\d+)"));
        const auto match = streams.match(QString::fromUtf8(out));
        QVERIFY2(match.hasMatch(), out.constData());
        StationSimulator probe(FreePortOptions());
        const QByteArray id = probe.catalogue().stations(Catalogue::defaultGenre())[0].id.toUtf8();

        Client client(quint16(match.captured(1).toInt()), playerRequest('/' + id));
        // The first fault (close) hits this stream within two seconds of the start.
        QVERIFY(client.waitClosed(WaitMs));
        QVERIFY(client.body().size() > 0);
        const QByteArray sent = "sent /" + id + ' ' + QByteArray::number(client.body().size());
        QVERIFY2(readUntil([&] { return out.contains(sent + '\n'); }, WaitMs), out.constData());
        QVERIFY2(out.contains("fault close 1\n"), out.constData());
        QVERIFY2(readUntil([&] { return out.contains("fault stall 0\n"); }, WaitMs),
                 out.constData());

        process.terminate();
        QVERIFY(process.waitForFinished(WaitMs));
        QCOMPARE(process.exitCode(), 0);
    }

    void executableRejectsBadArguments() {
        for (const QStringList &args :
             {QStringList{QStringLiteral("--fault"), QStringLiteral("explode")},
              QStringList{QStringLiteral("--port"), QStringLiteral("40000")},
              QStringList{QStringLiteral("--secure-port"), QStringLiteral("40000")},
              QStringList{QStringLiteral("--secure-port"), QStringLiteral("https")},
              QStringList{QStringLiteral("--song-seconds"), QStringLiteral("0")},
              QStringList{QStringLiteral("--song-seconds"), QStringLiteral("soon")},
              QStringList{QStringLiteral("--fault-every"), QStringLiteral("-5")},
              QStringList{QStringLiteral("--fault-every"), QStringLiteral("often")}}) {
            QProcess process;
            process.start(QStringLiteral(KESTRUNE_STATIONSIM), args);
            QVERIFY(process.waitForFinished(WaitMs));
            QCOMPARE(process.exitCode(), 2);
            QVERIFY(process.readAllStandardOutput().isEmpty());
        }
    }

    void explicitPortsAreTakenAsGiven() {
        // Find six free neighbouring ports, then let them go for the simulator: the directory,
        // the three plain stream servers, the secure one and the secure directory.
        int first = 0;
        for (int candidate = 24000; candidate < 32000 && first == 0; candidate += 6) {
            QTcpServer probes[6];
            bool free = true;
            for (int i = 0; i < 6 && free; ++i)
                free = probes[i].listen(QHostAddress::LocalHost, quint16(candidate + i));
            if (free)
                first = candidate;
        }
        QVERIFY(first > 0);
        SimulatorOptions options;
        options.directoryPort = first;
        options.streamPort = first + 1;
        options.securePort = first + 5;
        StationSimulator sim(options);
        QString error;
        QVERIFY2(sim.start(&error), qPrintable(error));
        QCOMPARE(int(sim.directoryPort()), first);
        QCOMPARE(sim.streamPorts(),
                 (QList<quint16>{quint16(first + 1), quint16(first + 2), quint16(first + 3)}));
        QCOMPARE(int(sim.secureStreamPort()), first + 4);
        QCOMPARE(int(sim.secureDirectoryPort()), first + 5);
        // A second one on the same ports must fail and say so.
        StationSimulator clash(options);
        QVERIFY(!clash.start(&error));
        QVERIFY(error.contains(QString::number(first)));
    }
};

QTEST_GUILESS_MAIN(StationSimTest)
#include "tst_stationsim.moc"
