// Playlists and the road from Start to a playing server, with real sockets on 127.0.0.1.
#include "stream/audio/outputs.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/playlist.h"
#include "streamsynth/mp3synth.h"
#include "streamsynth/streamserver.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRUNE_HEAP_FROM_ASAN
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KESTRUNE_HEAP_FROM_ASAN
#endif

#if defined(KESTRUNE_HEAP_FROM_ASAN)
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#elif defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace kestrune;
using namespace kestrune::testsupport;

namespace {

// Serves one playlist to every request on a low port, like the directory host does.
class PlaylistServer : public QObject {
public:
    QByteArray playlist;
    QByteArray lastRequest;
    bool answer = true;
    QTcpServer server;

    PlaylistServer() {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    lastRequest += s->readAll();
                    if (answer && lastRequest.endsWith("\r\n\r\n")) {
                        s->write("HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\n\r\n" +
                                 playlist);
                        s->disconnectFromHost();
                    }
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString host() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }
};

// Answers each request with what `route` makes of its target; keeps every request, whole.
class RoutedServer : public QObject {
public:
    std::function<QByteArray(const QByteArray &)> route;
    QList<QByteArray> requests;
    QTcpServer server;

    RoutedServer() {
        listenOnLowPort(server);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                auto request = std::make_shared<QByteArray>();
                connect(s, &QTcpSocket::readyRead, s, [this, s, request] {
                    *request += s->readAll();
                    if (!request->endsWith("\r\n\r\n"))
                        return;
                    requests << *request;
                    s->write(route(request->split(' ').value(1)));
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    QString host() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }
};

QByteArray redirect(const QByteArray &location) {
    return "HTTP/1.1 302 Found\r\nLocation: " + location + "\r\nContent-Length: 0\r\n\r\n";
}

QByteArray request(const QByteArray &target) {
    return "GET " + target +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\nAccept: */*\r\n\r\n";
}

QByteArray pls(const QStringList &addresses, const char *lineEnd = "\n") {
    QByteArray text = "[playlist]" + QByteArray(lineEnd) +
                      "numberofentries=" + QByteArray::number(addresses.size()) + lineEnd;
    for (int i = 0; i < addresses.size(); ++i) {
        const QByteArray n = QByteArray::number(i + 1);
        text += "File" + n + "=" + addresses[i].toLatin1() + lineEnd;
        text += "Title" + n + "=(#" + n + " - 1/10) Test" + lineEnd;
        text += "Length" + n + "=-1" + lineEnd;
    }
    return text + "Version=2" + lineEnd;
}

// Answers the playlist request with a head and then `body`, in one write, and leaves the
// line open; with `endless`, it keeps sending filler lines for as long as the client reads,
// up to `limit` bytes.
class FloodServer : public QObject {
public:
    QTcpServer server;
    QByteArray body;
    bool endless = false;
    qint64 limit = 16 * 1024 * 1024;
    qint64 sent = 0;
    bool written = false; // everything handed to the system
    bool clientLeft = false;

    FloodServer() {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *s = server.nextPendingConnection()) {
                auto request = std::make_shared<QByteArray>();
                connect(s, &QTcpSocket::readyRead, s, [this, s, request] {
                    *request += s->readAll();
                    if (sent == 0 && request->endsWith("\r\n\r\n"))
                        send(s, "HTTP/1.0 200 OK\r\n\r\n[playlist]\n" + body);
                });
                connect(s, &QTcpSocket::bytesWritten, s, [this, s] {
                    if (s->bytesToWrite() > 0)
                        return;
                    if (endless && sent < limit)
                        send(s, QByteArray(64 * 1024 - 1, 'x') + '\n');
                    else
                        written = true;
                });
                connect(s, &QTcpSocket::disconnected, s, [this, s] {
                    clientLeft = true;
                    s->deleteLater();
                });
            }
        });
    }
    QString host() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }

private:
    void send(QTcpSocket *s, const QByteArray &data) {
        sent += data.size();
        s->write(data);
    }
};

// Bytes the process holds on its heap now, where the platform says.
std::optional<qint64> heapInUse() {
#if defined(KESTRUNE_HEAP_FROM_ASAN)
    return qint64(__sanitizer_get_current_allocated_bytes());
#elif defined(__GLIBC__)
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#else
    return std::nullopt;
#endif
}

// A port with nothing listening on it.
quint16 deadPort() {
    QTcpServer probe;
    listenOnLowPort(probe, 31000);
    return probe.serverPort(); // closed again when `probe` goes
}

struct Rig {
    StreamEngine engine{createNullOutput()};
    PlaylistServer directory;
    QString status;
    QStringList statuses;
    QStringList messages;
    QList<MessageIcon> icons;
    QString selected = QStringLiteral("/sbin/shoutcast-playlist.pls?rn=42&file=filename.pls");
    QString timeOut = QStringLiteral("1");
    std::unique_ptr<ConnectionManager> manager;

    // The playlists are at `directoryHost`, or at `directory` when none is given.
    explicit Rig(const QString &directoryHost = QString()) {
        listenOnLowPort(directory.server);
        ConnectionManager::Host host;
        host.selectedPlaylistPath = [this] { return selected; };
        host.requestTimeOut = [this] { return timeOut; };
        manager = std::make_unique<ConnectionManager>(
            engine, directoryHost.isEmpty() ? directory.host() : directoryHost, host);
        status = engine.status().text();
        statuses << status;
        const auto track = [this](const QString &t) {
            status = t;
            if (statuses.isEmpty() || statuses.last() != t)
                statuses << t;
        };
        QObject::connect(&engine.status(), &PlayerStatus::textChanged, track);
        QObject::connect(manager.get(), &ConnectionManager::message,
                         [this](const QString &t, MessageIcon icon) {
                             messages << t;
                             icons << icon;
                         });
        QObject::connect(&engine.intake(), &StreamIntake::stopRequested, manager.get(),
                         &ConnectionManager::Stop);
    }
};

StreamServerOptions station() {
    Mp3Params params;
    params.seconds = 4;
    StreamServerOptions o;
    o.responseHeader = "ICY 200 OK\r\nicy-name:Test\r\n\r\n";
    o.audio = synthesizeMp3(params);
    return o;
}

} // namespace

class ConnectionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsPlaylists_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("servers");
        QTest::addColumn<bool>("anyAddress");
        const QStringList three{"http://a.example:8000", "http://b.example:8010/x",
                                "http://c.example"};
        QTest::newRow("three, LF") << QString(pls(three)) << three << true;
        QTest::newRow("three, CR LF") << QString(pls(three, "\r\n")) << three << true;
        QTest::newRow("three, CR only") << QString(pls(three, "\r")) << three << true;
        QTest::newRow("stream skipped unless last")
            << QString(pls({"http://a/stream", "http://b", "http://c/stream"}))
            << QStringList{"http://b", "http://c/stream"} << true;
        QTest::newRow("last without a line break is lost")
            << "[playlist]\nnumberofentries=2\nFile1=http://a\nFile2=http://b"
            << QStringList{"http://a"} << true;
        QTest::newRow("no section line") << "File1=http://a\nFile2=http://b\n"
                                         << QStringList{"http://a", "http://b"} << true;
        QTest::newRow("no address") << "[playlist]\nnumberofentries=0\nVersion=2\n"
                                    << QStringList{} << false;
        QTest::newRow("empty") << "" << QStringList{} << false;
    }
    void readsPlaylists() {
        QFETCH(QString, text);
        QFETCH(QStringList, servers);
        QFETCH(bool, anyAddress);
        const PlaylistServers parsed = ParsePlaylist(text);
        QCOMPARE(parsed.servers, servers);
        QCOMPARE(parsed.anyAddress, anyAddress);
        for (const QString &s : parsed.servers)
            QVERIFY(!s.contains('\r'));
    }

    void startFetchesThePlaylistAndPlaysTheFirstServer() {
        PacedStreamServer first(station());
        PacedStreamServer second(station());
        QVERIFY(first.listen() && second.listen(first.port() + 1));
        Rig rig;
        rig.directory.playlist = pls({first.url("/42"), second.url("/42")}, "\r\n");
        QSignalSpy captions(&rig.engine.status(), &PlayerStatus::captionChanged);
        QSignalSpy servers(rig.manager.get(), &ConnectionManager::serversChanged);
        rig.manager->Start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.statuses.contains("Status: Playing stream"), 10000);
        QCOMPARE(rig.directory.lastRequest,
                 QByteArray("GET /sbin/shoutcast-playlist.pls?rn=42&file=filename.pls HTTP/1.1\r\n"
                            "Host: 127.0.0.1\r\nConnection: close\r\nAccept: */*\r\n\r\n"));
        QCOMPARE(rig.statuses.mid(0, 2),
                 (QStringList{"Status: stopped", "Status: Requesting stream ..."}));
        QCOMPARE(captions.first().at(0).toString(),
                 QString("Status: Requesting from server 1 from 2"));
        QCOMPARE(servers.last().at(0).toStringList(),
                 (QStringList{first.url("/42"), second.url("/42")}));
        QCOMPARE(first.connectionCount(), 1);
        QCOMPARE(second.connectionCount(), 0);
        QCOMPARE(rig.manager->ServerIndex(), 0);
        QVERIFY(rig.manager->StreamWanted());

        rig.manager->Stop();
        QCOMPARE(rig.status, QString("Status: Stopped"));
        QVERIFY(!rig.manager->StreamWanted());
        QVERIFY(!rig.engine.client().isConnected());
        QVERIFY(!rig.engine.output().IsRunning());
    }

    void deadFirstServerGivesWayToTheNextAfterOneTimeOut() {
        PacedStreamServer alive(station());
        QVERIFY(alive.listen());
        Rig rig;
        rig.directory.playlist =
            pls({QStringLiteral("http://127.0.0.1:%1/42").arg(deadPort()), alive.url("/42")});
        QElapsedTimer clock;
        clock.start();
        rig.manager->Start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.statuses.contains("Status: Playing stream"), 10000);
        QVERIFY(clock.elapsed() >= 900); // one time-out of one second first
        QVERIFY(rig.statuses.contains("Status: trying next server..."));
        QCOMPARE(rig.manager->ServerIndex(), 1);
        QCOMPARE(alive.connectionCount(), 1);
        rig.manager->Stop();
    }

    void watchdogCyclesThroughTheServersButWaitsWhilePrebuffering() {
        Rig rig;
        const quint16 dead = deadPort();
        QStringList addresses;
        for (int i = 0; i < 3; ++i)
            addresses << QStringLiteral("http://127.0.0.1:%1/%2").arg(dead).arg(i);
        rig.directory.playlist = pls(addresses);
        QList<int> order;
        connect(rig.manager.get(), &ConnectionManager::serverSelected,
                [&](int row) { order << row; });
        rig.manager->Start();
        QTRY_COMPARE_WITH_TIMEOUT(order.size(), 5, 10000);
        QCOMPARE(order, (QList<int>{0, 1, 2, 0, 1}));

        // A stream on its way keeps the watchdog quiet.
        rig.engine.status().setPrebuffering(4096);
        const int before = int(order.size());
        QTest::qWait(2500);
        QCOMPARE(order.size(), before);
        rig.manager->Stop();
    }

    void playlistThatNeverComesEndsTheStart() {
        Rig rig;
        rig.directory.answer = false; // accepts, never answers
        rig.manager->Start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.messages.size(), 1, 5000);
        QVERIFY(rig.messages.first().startsWith("Couldn't load the station's playlist"));
        QCOMPARE(rig.status, QString("Status: Stopped"));
        QVERIFY(!rig.manager->StreamWanted());

        rig.directory.server.close(); // the directory is gone altogether
        rig.manager->Start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.messages.size(), 2, 5000);
        QVERIFY(rig.messages.last().startsWith("Couldn't load the station's playlist"));
        QVERIFY(!rig.engine.client().isConnected());
    }

    // The whole response counts, head included: up to MaxPlaylistBytes it is read, one byte
    // more ends the request as a failure.
    void playlistSizeLimit_data() {
        QTest::addColumn<qsizetype>("excess");
        QTest::newRow("exactly 1 MB") << qsizetype(0);
        QTest::newRow("one byte more") << qsizetype(1);
    }
    void playlistSizeLimit() {
        QFETCH(qsizetype, excess);
        QCOMPARE(MaxPlaylistBytes, qsizetype(1048576));
        Rig rig;
        const QString a = QStringLiteral("http://127.0.0.1:%1/a").arg(deadPort());
        const QString b = QStringLiteral("http://127.0.0.1:%1/b").arg(deadPort());
        QByteArray text = pls({a, b});
        const QByteArray head = "HTTP/1.0 200 OK\r\nContent-Type: audio/x-scpls\r\n\r\n";
        const qsizetype filler = MaxPlaylistBytes + excess - head.size() - text.size() - 1;
        text += QByteArray(filler, ';') + '\n';
        rig.directory.playlist = text;
        QCOMPARE(head.size() + rig.directory.playlist.size(), MaxPlaylistBytes + excess);
        QSignalSpy servers(rig.manager.get(), &ConnectionManager::serversChanged);

        rig.manager->Start();
        if (excess == 0) {
            QTRY_COMPARE_WITH_TIMEOUT(servers.size(), 1, 5000);
            QCOMPARE(servers.first().at(0).toStringList(), (QStringList{a, b}));
            QVERIFY(rig.messages.isEmpty());
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(rig.messages.size(), 1, 5000);
            QCOMPARE(rig.messages.first(), QStringLiteral("Couldn't load the station's playlist"
                                                          "\n\nThe playlist is larger than 1 MB."));
            QCOMPARE(servers.size(), 0);
            QCOMPARE(rig.status, QString("Status: Stopped"));
        }
        rig.manager->Stop();
    }

    // A directory that never stops sending is cut off at the limit, long before the time-out.
    void endlessPlaylistIsCutOff() {
        FloodServer flood;
        flood.endless = true;
        QVERIFY(listenOnLowPort(flood.server));
        Rig rig;
        rig.timeOut = QStringLiteral("30");
        ConnectionManager::Host host;
        host.selectedPlaylistPath = [&rig] { return rig.selected; };
        host.requestTimeOut = [&rig] { return rig.timeOut; };
        ConnectionManager manager(rig.engine, flood.host(), host);
        QStringList messages;
        connect(&manager, &ConnectionManager::message,
                [&messages](const QString &t) { messages << t; });

        manager.Start();
        QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 10000);
        QCOMPARE(messages.first(), QStringLiteral("Couldn't load the station's playlist"
                                                  "\n\nThe playlist is larger than 1 MB."));
        QTRY_VERIFY_WITH_TIMEOUT(flood.clientLeft, 5000);
        QVERIFY2(flood.sent < flood.limit, qPrintable(QString::number(flood.sent)));
        QVERIFY(!manager.StreamWanted());
    }

    // What was gathered goes as soon as the request ends, however it ends.
    void playlistBufferIsFreedWhenTheRequestEnds_data() {
        QTest::addColumn<bool>("byStop");
        QTest::newRow("time-out") << false;
        QTest::newRow("Stop") << true;
    }
    void playlistBufferIsFreedWhenTheRequestEnds() {
        QFETCH(bool, byStop);
        if (!heapInUse())
            QSKIP("This platform does not say how much heap is in use.");
        constexpr qint64 Gathered = 900 * 1000;
        FloodServer stall;
        stall.body = QByteArray(Gathered, 'x'); // no line break, no end: it just stops
        QVERIFY(listenOnLowPort(stall.server));
        Rig rig;
        rig.timeOut = QStringLiteral("3");
        ConnectionManager::Host host;
        host.selectedPlaylistPath = [&rig] { return rig.selected; };
        host.requestTimeOut = [&rig] { return rig.timeOut; };
        ConnectionManager manager(rig.engine, stall.host(), host);
        QStringList messages;
        connect(&manager, &ConnectionManager::message,
                [&messages](const QString &t) { messages << t; });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const qint64 before = *heapInUse();

        manager.Start();
        QTRY_VERIFY_WITH_TIMEOUT(stall.written && *heapInUse() - before >= Gathered, 2500);
        if (byStop) {
            manager.Stop();
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(messages.size(), 1, 5000);
            QVERIFY(messages.first().contains("did not send it within 3 seconds"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(stall.clientLeft, 5000);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const qint64 held = *heapInUse() - before;
        QVERIFY2(held < Gathered / 4, qPrintable(QStringLiteral("%1 bytes still held").arg(held)));
    }

    void startNeedsASelectedStation() {
        Rig rig;
        rig.selected.clear();
        rig.manager->Start();
        QCOMPARE(rig.messages, QStringList{"Select a station first!"});
        QTest::qWait(100);
        QVERIFY(rig.directory.lastRequest.isEmpty());
    }

    // A stored time-out that is no positive whole number gave a watchdog of 0 ms.
    void timeOutIsReadFromTheStoredText() {
        Rig rig;
        rig.directory.answer = false;
        for (const auto &[stored, ms] : {std::pair{"0", 15000}, std::pair{"abc", 15000},
                                         std::pair{"15.5", 15500}, std::pair{"30", 30000}}) {
            rig.timeOut = QString::fromLatin1(stored);
            rig.manager->Start();
            QCOMPARE(rig.manager->TimerConnect().interval(), ms);
            rig.manager->Stop();
        }
    }

    // Playing is what the watchdog waits for: the moment playback starts it is off, and a
    // tick that still comes must not move to the next server.
    void watchdogLeavesAPlayingStreamAlone() {
        PacedStreamServer first(station());
        PacedStreamServer second(station());
        QVERIFY(first.listen() && second.listen(first.port() + 1));
        Rig rig;
        rig.timeOut = QStringLiteral("30");
        rig.directory.playlist = pls({first.url("/1"), second.url("/1")});
        bool watchdogOnWhenPlaying = true;
        connect(&rig.engine.status(), &PlayerStatus::phaseChanged, [&](PlayerPhase phase) {
            if (phase == PlayerPhase::Playing)
                QTimer::singleShot(
                    0, [&] { watchdogOnWhenPlaying = rig.manager->TimerConnect().isActive(); });
        });
        rig.manager->Start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.engine.status().phase(), PlayerPhase::Playing, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!watchdogOnWhenPlaying, 1000);

        // A tick that falls in anyway (it was due just as playback started).
        rig.manager->TimerConnect().start(20);
        QTest::qWait(200);
        QCOMPARE(rig.engine.status().phase(), PlayerPhase::Playing);
        QCOMPARE(rig.manager->ServerIndex(), 0);
        QCOMPARE(first.connectionCount(), 1);
        QCOMPARE(second.connectionCount(), 0);
        rig.manager->Stop();
    }

    // A stream that stops while playing (the server hangs up or stalls) is left after one
    // interval of resyncing for the next server, which plays; before, the player stayed in
    // "Resync" for good. (Noise instead of frames ends in "no frame sync" and a stop.)
    void aStreamThatFailsWhilePlayingGivesWayToTheNextServer_data() {
        QTest::addColumn<int>("fault");
        QTest::newRow("close") << int(StreamFault::CloseMidStream);
        QTest::newRow("stall") << int(StreamFault::StallAfterHead);
    }
    void aStreamThatFailsWhilePlayingGivesWayToTheNextServer() {
        QFETCH(int, fault);
        PacedStreamServer first(station());
        PacedStreamServer second(station());
        QVERIFY(first.listen() && second.listen(first.port() + 1));
        Rig rig;
        rig.directory.playlist = pls({first.url("/1"), second.url("/1")});
        rig.manager->Start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.engine.status().phase(), PlayerPhase::Playing, 10000);
        QCOMPARE(first.injectFault(StreamFault(fault)), 1);
        QTRY_VERIFY_WITH_TIMEOUT(rig.statuses.contains("Status: Resync..."), 15000);
        QTRY_COMPARE_WITH_TIMEOUT(second.connectionCount(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.engine.status().phase(), PlayerPhase::Playing, 10000);
        const QStringList sinceResync =
            rig.statuses.mid(rig.statuses.lastIndexOf("Status: Resync..."));
        QCOMPARE(sinceResync.value(1), QString("Status: trying next server..."));
        QCOMPARE(rig.manager->ServerIndex(), 1);
        QVERIFY(rig.messages.isEmpty());
        rig.manager->Stop();
    }

    // Without any address the client is started with none; its message is shown once per
    // Start, not at every watchdog tick for as long as the program runs.
    void aPlaylistWithoutAddressesSaysSoOncePerStart() {
        Rig rig;
        rig.directory.playlist = "[playlist]\nnumberofentries=0\nVersion=2\n";
        const QString enterUrl = QStringLiteral("Please, enter the URL to retrieve.");
        for (int start = 1; start <= 2; ++start) {
            rig.manager->Start();
            QTRY_VERIFY_WITH_TIMEOUT(rig.messages.count(enterUrl) == start, 5000);
            QTest::qWait(2600); // two more watchdog ticks
            QCOMPARE(rig.messages.count(enterUrl), start);
            QCOMPARE(rig.messages.count("Couldn't find station addresses"), start);
            QVERIFY(rig.manager->StreamWanted());
            rig.manager->Stop();
        }
        QCOMPARE(rig.icons.at(rig.messages.indexOf(enterUrl)), MessageIcon::Information);
        QCOMPARE(rig.icons.at(rig.messages.indexOf("Couldn't find station addresses")),
                 MessageIcon::None);
    }

    // The playlist's redirects are followed, relative or to another host, each hop asked as
    // a first request; an M3U at the end plays like a PLS.
    void playlistRedirectsAreFollowedToAnM3u() {
        PacedStreamServer stream(station());
        QVERIFY(stream.listen());
        RoutedServer elsewhere;
        elsewhere.route = [&](const QByteArray &) {
            return "HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n#EXTM3U\n"
                   "#EXTINF:-1,Test\n" +
                   stream.url("/m3u").toLatin1() + "\n";
        };
        RoutedServer directory;
        directory.route = [&](const QByteArray &target) {
            return target == "/moved" ? redirect(elsewhere.host().toLatin1() + "/list.m3u?x=1")
                                      : redirect("/moved");
        };
        Rig rig(directory.host());
        rig.manager->Start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.statuses.contains("Status: Playing stream"), 10000);
        QCOMPARE(directory.requests,
                 (QList<QByteArray>{request(rig.selected.toLatin1()), request("/moved")}));
        QCOMPARE(elsewhere.requests, QList<QByteArray>{request("/list.m3u?x=1")});
        QCOMPARE(rig.manager->servers(), QStringList{stream.url("/m3u")});
        QVERIFY(rig.messages.isEmpty());
        rig.manager->Stop();
    }

    // A playlist chain that cannot be followed ends the Start with a message naming the
    // address it ended at; nothing is asked of that address.
    void playlistRedirectsThatEndTheStart_data() {
        QTest::addColumn<QByteArray>("location");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("requestCount");
        QTest::newRow("loop") << QByteArray("{host}/hop/1")
                              << "The directory redirects in a loop, back to {host}/hop/1." << 3;
        QTest::newRow("6 hops") << QByteArray("{host}/hop/6")
                                << "The directory redirects more than 5 times; the last address "
                                   "was {host}/hop/1."
                                << 6;
        QTest::newRow("file") << QByteArray("file:///etc/passwd")
                              << "The directory redirects to file:///etc/passwd, which is "
                                 "neither an http nor an https address."
                              << 1;
    }
    void playlistRedirectsThatEndTheStart() {
        QFETCH(QByteArray, location);
        QFETCH(QString, reason);
        QFETCH(int, requestCount);
        RoutedServer directory;
        const QByteArray host = directory.host().toLatin1();
        location.replace("{host}", host);
        reason.replace("{host}", QString::fromLatin1(host));
        // "/hop/N" goes on to "/hop/N-1", "/hop/1" back to "/hop/2" (a loop when entered
        // there); the station's own path to `location`.
        directory.route = [&](const QByteArray &target) {
            if (!target.startsWith("/hop/"))
                return redirect(location);
            const int n = target.mid(5).toInt();
            return redirect(host + "/hop/" + QByteArray::number(n == 1 ? 2 : n - 1));
        };
        Rig rig(directory.host());
        rig.manager->Start();
        QTRY_VERIFY_WITH_TIMEOUT(!rig.messages.isEmpty(), 10000);
        QCOMPARE(rig.messages,
                 QStringList{QStringLiteral("Couldn't load the station's playlist\n\n") + reason});
        QCOMPARE(directory.requests.size(), requestCount);
        QVERIFY(!rig.manager->StreamWanted());
        QCOMPARE(rig.status, QString("Status: Stopped"));
    }

    // A server whose stream cannot be reached through its redirects is named once, and the
    // next server plays.
    void aStreamRedirectThatFailsIsSaidAndTheNextServerPlays() {
        PacedStreamServer alive(station());
        QVERIFY(alive.listen());
        RoutedServer moved;
        moved.route = [](const QByteArray &) { return redirect("file:///etc/passwd"); };
        Rig rig;
        rig.directory.playlist = moved.host().toLatin1() + "/live\n" + alive.url("/42").toLatin1();
        rig.manager->Start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.statuses.contains("Status: Playing stream"), 10000);
        QCOMPARE(rig.messages, QStringList{"The server redirects to file:///etc/passwd, which is "
                                           "neither an http nor an https address."});
        QCOMPARE(moved.requests, QList<QByteArray>{request("/live")});
        QCOMPARE(rig.manager->ServerIndex(), 1);
        rig.manager->Stop();
    }

    void clickingAServerChangesTheAddressForTheNextConnectionOnly() {
        PacedStreamServer first(station());
        QVERIFY(first.listen());
        Rig rig;
        rig.directory.playlist = pls({first.url("/1"), first.url("/2")});
        QSignalSpy urls(rig.manager.get(), &ConnectionManager::serverUrlText);
        rig.manager->Start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.engine.client().isConnected(), 5000);
        rig.manager->ServerClicked(1);
        QCOMPARE(urls.last().at(0).toString(), first.url("/2"));
        QCOMPARE(rig.engine.client().Url(), first.url("/2"));
        QCOMPARE(rig.manager->ServerIndex(), 0);
        QCOMPARE(rig.manager->selectedServer(), 1);
        QVERIFY(rig.engine.client().isConnected());
        rig.manager->Stop();
    }
};

QTEST_GUILESS_MAIN(ConnectionTest)
#include "tst_connection.moc"
