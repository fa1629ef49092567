// The whole engine against a real server on 127.0.0.1: bytes over TCP through the client,
// head, frame sync, ring and decoder into a null output paced in real time.
#include "stream/audio/outputs.h"
#include "stream/engine.h"
#include "stream/recordingsink.h"
#include "streamsynth/mp3synth.h"
#include "streamsynth/streamserver.h"
#include "testplayer.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace kestrune;
using namespace kestrune::testsupport;

namespace {

const QByteArray Header = "ICY 200 OK\r\nicy-name:Test Radio\r\nicy-genre:Jazz\r\n"
                          "icy-url:http://example.org\r\ncontent-type:audio/mpeg\r\n"
                          "icy-br:128\r\n\r\n";

QByteArray audio(double seconds) {
    Mp3Params params;
    params.seconds = seconds;
    return synthesizeMp3(params);
}

struct Player : test::TestPlayer {
    Player()
        : TestPlayer(createNullOutput()) {}
};

// Keeps every block the client hands over, as a recording would.
struct CollectingRecording : RecordingSink {
    QByteArray bytes;
    bool IsRecording() const override { return true; }
    void AppendToRecording(const QByteArray &block) override { bytes += block; }
};

StreamServerOptions options(const QByteArray &mp3) {
    StreamServerOptions o;
    o.responseHeader = Header;
    o.audio = mp3;
    o.loop = false;
    return o;
}

} // namespace

class PlaybackTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void playsAStreamToTheEndAtRealTimePace() {
        // Six seconds: about four arrive in the burst, the rest at the bit rate's pace.
        const QByteArray mp3 = audio(6);
        PacedStreamServer server(options(mp3));
        QVERIFY(server.listen());
        Player player;
        QElapsedTimer clock;
        clock.start();
        player.engine.play(server.url("/"));

        QTRY_VERIFY_WITH_TIMEOUT(player.statuses.contains(PlayerStatus::PlayingText), 5000);
        QVERIFY(player.statuses.first().startsWith("Status: Prebuffering "));
        QCOMPARE(player.engine.intake().format().sampleRate, 44100);
        // The server closes after the last byte; the ring runs dry and the intake resyncs.
        QTRY_COMPARE_WITH_TIMEOUT(player.statuses.last(), PlayerStatus::ResyncText, 15000);
        QCOMPARE(server.lastRequest(), QByteArray("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                                  "Connection: close\r\nAccept: */*\r\n\r\n"));
        QCOMPARE(player.engine.client().DownloadedBytes(), Header.size() + mp3.size());

        // All that entered the ring was played, in real time: at most the bytes still staged
        // (under one ring block) and one decoder request short of the whole.
        const double whole = 6.0;
        const double perBlock = 4096.0 / (128000 / 8);
        QVERIFY2(player.secondsPlayed() > whole - 2 * perBlock - 0.1,
                 qPrintable(QString::number(player.secondsPlayed())));
        QVERIFY(player.secondsPlayed() <= whole + 0.05);
        QVERIFY2(clock.elapsed() > 5000, "played faster than real time");
        QVERIFY(player.messages.isEmpty());
    }

    void serverClosingMidStreamEndsInResync() {
        const QByteArray mp3 = audio(10);
        StreamServerOptions o = options(mp3);
        o.fault = StreamFault::CloseMidStream;
        o.closeAfterBytes = 100000; // past the prebuffer
        PacedStreamServer server(o);
        QVERIFY(server.listen());
        Player player;
        QSignalSpy status(&player.engine.client(), &HTTPStream::Status);
        player.engine.play(server.url("/live"));
        QTRY_VERIFY_WITH_TIMEOUT(player.statuses.contains(PlayerStatus::PlayingText), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(status.count() && status.last().at(0) == "Response completed",
                                 5000);
        QTRY_COMPARE_WITH_TIMEOUT(player.statuses.last(), PlayerStatus::ResyncText, 10000);
        QVERIFY(player.messages.isEmpty());
        QCOMPARE(player.stops, 0);
    }

    // A stream that stalls while playing hands over every byte that came before the stall:
    // the wake-up threshold that saves wake-ups while playing must not keep the last fraction
    // of a second unread once the ring has run dry (a recording lost it).
    void aStalledStreamHandsOverEverythingItSent() {
        StreamServerOptions o = options(audio(10));
        o.loop = true;
        PacedStreamServer server(o);
        QVERIFY(server.listen());
        Player player;
        CollectingRecording recording;
        player.engine.client().setRecordingSink(&recording);
        player.engine.play(server.url("/live"));
        QTRY_VERIFY_WITH_TIMEOUT(player.statuses.contains(PlayerStatus::PlayingText), 5000);
        QTest::qWait(1100); // paced bytes now arrive below the wake-up threshold
        QCOMPARE(server.injectFault(StreamFault::StallAfterHead), 1);
        QTRY_COMPARE_WITH_TIMEOUT(player.statuses.last(), PlayerStatus::ResyncText, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(player.engine.client().DownloadedBytes(),
                                  Header.size() + server.audioBytesSent(), 3000);
        QCOMPARE(recording.bytes.size(), Header.size() + server.audioBytesSent());
        player.engine.stopPlayback();
    }

    void serverFasterThanRealTimeIsReadOnlyAsFastAsItPlays() {
        // A server that hands over a whole minute at once, as fast as TCP takes it.
        const QByteArray mp3 = audio(60);
        const QByteArray response = Header + mp3;
        QTcpServer server;
        QVERIFY(listenOnLowPort(server));
        QPointer<QTcpSocket> peer;
        connect(&server, &QTcpServer::newConnection, [&] {
            peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, [&] {
                if (peer->readAll().contains("\r\n\r\n"))
                    peer->write(response);
            });
        });
        Player player;
        CollectingRecording recording;
        player.engine.client().setRecordingSink(&recording);
        player.engine.play(QStringLiteral("http://127.0.0.1:%1/").arg(server.serverPort()));
        QTRY_VERIFY_WITH_TIMEOUT(player.statuses.contains(PlayerStatus::PlayingText), 5000);

        // The ring fills and then takes only what is played; the reader keeps going.
        QTest::qWait(1500);
        const qint64 readEarly = player.engine.client().DownloadedBytes();
        QTest::qWait(2500);
        const qint64 read = player.engine.client().DownloadedBytes();
        QVERIFY2(read > readEarly, "the reader stopped for good");

        // What was read is what was played plus what the ring and the reader's staging hold:
        // nothing was dropped to make room, and the rest of the minute waits in TCP.
        constexpr double Mp3BytesPerPcmByte = (128000 / 8.0) / (PcmSampleRate * PcmBytesPerFrame);
        const qint64 consumed = qint64(player.played() * Mp3BytesPerPcmByte);
        const qint64 inHand = read - Header.size() - consumed;
        const qint64 slack = 3 * 4096 + DecoderChain::InputBufferSize; // staging, decoder input
        QVERIFY2(inHand <= StreamIntake::RingCapacity + slack,
                 qPrintable(QStringLiteral("read %1, played %2").arg(read).arg(consumed)));
        QVERIFY2(inHand >= StreamIntake::RingCapacity - 64 * 1024,
                 qPrintable(QStringLiteral("read %1, played %2").arg(read).arg(consumed)));
        QVERIFY2(read < response.size() / 2, qPrintable(QString::number(read)));
        QVERIFY(!player.statuses.contains(PlayerStatus::ResyncText));
        QVERIFY(player.messages.isEmpty());
        // Every byte read reached the recording, in order.
        QCOMPARE(recording.bytes.size(), read);
        QVERIFY(recording.bytes == response.left(read));
        player.engine.stopPlayback();
    }

    void garbageInsteadOfAudioCannotBeOpened() {
        StreamServerOptions o = options(audio(1));
        o.fault = StreamFault::Garbage;
        PacedStreamServer server(o);
        QVERIFY(server.listen());
        Player player;
        player.engine.play(server.url("/"));
        QTRY_COMPARE_WITH_TIMEOUT(player.messages, QStringList{"Unable to open stream !"}, 5000);
        QCOMPARE(player.stops, 1);
        QVERIFY(!player.engine.client().isConnected());
        QVERIFY(!player.statuses.contains(PlayerStatus::PlayingText));
    }

    void stalledServerLeavesThePlayerPrebufferingAndResponsive() {
        StreamServerOptions o = options(audio(5));
        o.fault = StreamFault::StallAfterHead;
        PacedStreamServer server(o);
        QVERIFY(server.listen());
        Player player;
        player.engine.play(server.url("/"));
        QTRY_VERIFY_WITH_TIMEOUT(!player.statuses.isEmpty(), 5000);
        // The event loop keeps turning while nothing arrives.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(50);
        QTest::qWait(1000);
        QVERIFY(ticks >= 10);
        QVERIFY(player.statuses.last().startsWith("Status: Prebuffering "));
        QVERIFY(!player.statuses.contains(PlayerStatus::PlayingText));
        QCOMPARE(player.engine.output().bytesPlayed(), 0);
        player.engine.stopPlayback();
        QVERIFY(!player.engine.client().isConnected());
    }

    void machineWithoutSoundDeviceCannotStartPlayback() {
        if (soundDeviceAvailable())
            QSKIP("this machine has a sound device");
        PacedStreamServer server(options(audio(6)));
        QVERIFY(server.listen());
        StreamEngine engine(createDeviceOutput());
        QStringList messages;
        int stops = 0;
        connect(&engine.intake(), &StreamIntake::message, [&](const QString &t) { messages << t; });
        connect(&engine.intake(), &StreamIntake::stopRequested, [&] {
            ++stops;
            engine.stopPlayback();
        });
        engine.play(server.url("/"));
        QTRY_COMPARE_WITH_TIMEOUT(messages, QStringList{"Unable to start playback !"}, 10000);
        QCOMPARE(stops, 1);
        QVERIFY(!engine.client().isConnected());
    }

    void diagnosticToolPrintsTheStatusTexts() {
        PacedStreamServer server(options(audio(8)));
        QVERIFY(server.listen());
        QProcess play;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("KESTRUNE_AUDIO", "null");
        play.setProcessEnvironment(env);
        play.start(QStringLiteral(KESTRUNE_PLAY), {"--seconds", "1", server.url("/")});
        QVERIFY(play.waitForStarted(5000));
        // The server lives in this process: keep its event loop turning while the tool runs.
        QTRY_VERIFY_WITH_TIMEOUT(play.state() == QProcess::NotRunning, 20000);
        const QString out = QString::fromLatin1(play.readAllStandardOutput());
        QCOMPARE(play.exitCode(), 0);
        QVERIFY2(out.contains("Output: null"), qPrintable(out));
        QVERIFY(out.contains("Sending response"));
        QVERIFY(out.contains("icy-name:Test Radio"));
        QVERIFY(out.contains("Samplerate: 44100  Bitrate: 128000"));
        QVERIFY(out.contains("Status: Prebuffering "));
        QVERIFY(out.contains("Status: Playing stream"));
        QVERIFY(out.contains("Played: "));
    }
};

QTEST_GUILESS_MAIN(PlaybackTest)
#include "tst_playback.moc"
