// The sound-device output (a PulseAudio stream fed on our own timer) against a real sound server: a
// private PulseAudio daemon with a null sink, started here in a temporary folder, so the sink's
// buffers are real and the sanitizer sees every use of them. Playback runs the whole engine
// over real sockets with synthesised MP3, through underruns.
#include "privatesoundserver.h"
#include "stream/audio/outputs.h"
#include "stream/engine.h"
#include "stream/playerstatus.h"
#include "streamsynth/mp3synth.h"
#include "streamsynth/streamserver.h"
#include "testplayer.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/prctl.h>
#endif

using namespace kestrune;
using namespace kestrune::testsupport;

namespace {

constexpr double PcmBytesPerSecond = PcmSampleRate * PcmBytesPerFrame;

// Endless PCM whose bytes follow from their position. It can act from inside a read the way
// the decoder chain does: something stops the output, and the read still writes its buffer.
class ProbeSource : public PcmSource {
public:
    std::function<void()> duringRead; // runs once, inside the read, before the buffer is filled
    qint64 fireAfterBytes = 0;        // the read that passes this many bytes runs it
    qint64 given = 0;
    int reads = 0;

    qint64 readPcm(char *data, qint64 maxBytes) override {
        ++reads;
        if (duringRead && given + maxBytes > fireAfterBytes)
            std::exchange(duringRead, nullptr)();
        for (qint64 i = 0; i < maxBytes; ++i)
            data[i] = char((given + i) * 7);
        given += maxBytes;
        return maxBytes;
    }
};

const QByteArray Header = "ICY 200 OK\r\nicy-name:Device Test\r\nicy-genre:Test\r\n"
                          "content-type:audio/mpeg\r\n\r\n";

// Answers one stream request with the header and a first part of the audio at once, then
// holds the line open until told to send more, or to close.
class ScriptedStation : public QObject {
public:
    ScriptedStation() {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                m_socket = socket;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                    m_request += socket->readAll();
                    if (!m_answered && m_request.contains("\r\n\r\n")) {
                        m_answered = true;
                        socket->write(Header + m_firstPart);
                    }
                });
            }
        });
    }
    bool listen(const QByteArray &firstPart) {
        m_firstPart = firstPart;
        return listenOnLowPort(m_server);
    }
    QString url() const {
        return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort());
    }
    bool answered() const { return m_answered; }
    void send(const QByteArray &bytes) {
        if (m_socket)
            m_socket->write(bytes);
    }
    void close() {
        if (m_socket)
            m_socket->disconnectFromHost();
    }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    QByteArray m_request;
    QByteArray m_firstPart;
    bool m_answered = false;
};

QByteArray mp3(double seconds, int kbps) {
    Mp3Params params;
    params.seconds = seconds;
    params.bitrateKbps = kbps;
    return synthesizeMp3(params);
}

// The engine on the sound device.
struct DevicePlayer : test::TestPlayer {
    DevicePlayer()
        : TestPlayer(createDeviceOutput()) {}
};

} // namespace

class DeviceOutputTest : public QObject {
    Q_OBJECT

    test::PrivateSoundServer m_sound;

private Q_SLOTS:
    // A null sink that has had no stream sleeps in long blocks (up to two seconds) before it
    // takes the first sound, so the waits below allow for that.
    void initTestCase() {
        // Before anything asks for a device: the sound server is named by the environment.
        const QString failure = m_sound.start();
        if (!failure.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no private sound server (%1): the device output "
                                            "is not tested here")
                                 .arg(failure)));
        QVERIFY2(soundDeviceAvailable(), qPrintable(m_sound.log()));
    }

    void cleanupTestCase() { m_sound.stop(); }

    void stopFromInsideItsOwnReadIsSafe() {
        auto output = createDeviceOutput();
        QSignalSpy stopped(output.get(), &AudioOutput::stopped);
        ProbeSource source;
        bool runningAfterStop = true;
        // The read stops the output and then fills the buffer the sink handed over, as the
        // decoder does when the ring runs dry in the middle of its read.
        source.fireAfterBytes = qint64(0.3 * PcmBytesPerSecond);
        source.duringRead = [&] {
            output->Stop();
            runningAfterStop = output->IsRunning();
        };
        QVERIFY(output->Start(&source));
        QTRY_VERIFY_WITH_TIMEOUT(!source.duringRead, 10000);
        QVERIFY(!runningAfterStop);
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 5000);
        // What was read after the stop was not played; nothing is read after it.
        const qint64 playedBeforeStop = output->bytesPlayed();
        QVERIFY2(playedBeforeStop >= qint64(0.2 * PcmBytesPerSecond) &&
                     playedBeforeStop <= source.fireAfterBytes,
                 qPrintable(QString::number(playedBeforeStop)));
        const int reads = source.reads;
        QTest::qWait(200);
        QCOMPARE(source.reads, reads);
        QCOMPARE(stopped.count(), 1);

        // Started again, it plays on, and only what the new source gave.
        ProbeSource next;
        QVERIFY(output->Start(&next));
        QTRY_VERIFY_WITH_TIMEOUT(output->bytesPlayed() > playedBeforeStop + 0.3 * PcmBytesPerSecond,
                                 10000);
        QVERIFY(output->bytesPlayed() - playedBeforeStop <= next.given);
        output->Stop();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 2, 5000);
    }

    void restartFromInsideItsOwnReadPlaysTheNewSource() {
        auto output = createDeviceOutput();
        QSignalSpy stopped(output.get(), &AudioOutput::stopped);
        ProbeSource first;
        ProbeSource second;
        first.fireAfterBytes = qint64(0.2 * PcmBytesPerSecond);
        first.duringRead = [&] { QVERIFY(output->Start(&second)); };
        QVERIFY(output->Start(&first));
        QTRY_VERIFY_WITH_TIMEOUT(!first.duringRead, 10000);
        const qint64 fromFirst = first.given;
        QTRY_VERIFY_WITH_TIMEOUT(second.given > qint64(0.3 * PcmBytesPerSecond), 10000);
        // The old sink is gone: the first source is not read again, and everything played
        // since came from the second.
        QCOMPARE(first.given, fromFirst);
        QVERIFY(output->IsRunning());
        QCOMPARE(stopped.count(), 1);
        QVERIFY(output->bytesPlayed() <= fromFirst + second.given);
        output->Stop();
    }

    void playsThroughAnUnderrunAndResyncs() {
        // 320 kbit/s so that the parts play in well under two seconds each.
        constexpr int Kbps = 320;
        const QByteArray audio = mp3(4.0, Kbps);
        const qsizetype firstPart = 72000;  // over the prebuffer threshold, about 1.8 s
        const qsizetype secondPart = 80000; // a new head and prebuffering again, about 2 s
        QVERIFY(audio.size() > firstPart + secondPart);
        ScriptedStation station;
        QVERIFY(station.listen(audio.left(firstPart)));

        DevicePlayer player;
        player.engine.play(station.url());
        QTRY_VERIFY_WITH_TIMEOUT(player.statuses.contains(PlayerStatus::PlayingText), 10000);
        // The ring runs dry while the line stays open.
        QTRY_COMPARE_WITH_TIMEOUT(player.statuses.last(), PlayerStatus::ResyncText, 15000);
        const qint64 beforeResync = player.played();
        // Most of the first part reached the device (the decoder's last request and the
        // bytes staged under one block stay behind).
        const double firstSeconds = double(firstPart) / (Kbps * 125);
        QVERIFY2(beforeResync > (firstSeconds - 0.4) * PcmBytesPerSecond,
                 qPrintable(QString::number(beforeResync)));
        QTRY_VERIFY_WITH_TIMEOUT(!player.engine.output().IsRunning(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!player.engine.intake().PlaybackStarted(), 5000);

        // More arrives: a fresh head, the frames found again, prebuffering, playing.
        station.send(audio.mid(firstPart, secondPart));
        QTRY_COMPARE_WITH_TIMEOUT(player.statuses.last(), PlayerStatus::PlayingText, 10000);
        const QStringList afterResync =
            player.statuses.mid(player.statuses.indexOf(PlayerStatus::ResyncText));
        QVERIFY(afterResync.at(1).startsWith("Status: Prebuffering "));
        QVERIFY(player.engine.output().IsRunning());
        QTRY_VERIFY_WITH_TIMEOUT(player.played() > beforeResync + 0.5 * PcmBytesPerSecond, 10000);
        QVERIFY(player.engine.intake().streamText().contains("HeaderLen: 0 "));

        // The station goes away; the ring runs dry once more.
        station.close();
        QTRY_COMPARE_WITH_TIMEOUT(player.statuses.last(), PlayerStatus::ResyncText, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!player.engine.output().IsRunning(), 5000);
        QVERIFY(player.messages.isEmpty());
    }

    void diagnosticToolPlaysAClosingStationOnTheDevice() {
        Mp3Params params;
        params.seconds = 6;
        params.bitrateKbps = 320;
        StreamServerOptions options;
        options.responseHeader = Header;
        options.audio = synthesizeMp3(params);
        options.bitrateKbps = params.bitrateKbps;
        options.fault = StreamFault::CloseMidStream;
        options.closeAfterBytes = 90000; // past the prebuffer: plays, then runs dry
        PacedStreamServer server(options);
        QVERIFY(server.listen());

        QProcess play;
        play.start(QStringLiteral(KESTRUNE_PLAY),
                   {QStringLiteral("--audio"), QStringLiteral("device"), server.url()});
        QVERIFY(play.waitForStarted(5000));
        // The server lives in this process: keep its event loop turning while the tool runs.
        QTRY_VERIFY_WITH_TIMEOUT(play.state() == QProcess::NotRunning, 30000);
        const QString out = QString::fromLocal8Bit(play.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(play.readAllStandardError());
        QVERIFY2(!err.contains("AddressSanitizer") && !err.contains("runtime error"),
                 qPrintable(err));
        QCOMPARE(play.exitStatus(), QProcess::NormalExit);
        QVERIFY2(play.exitCode() == 0, qPrintable(out + err));
        QVERIFY2(!out.contains("Output: null") && !out.contains("Output: device"), qPrintable(out));
        QVERIFY(out.contains("Status: Playing stream"));
        QVERIFY(out.contains("Response completed"));
        QVERIFY(out.contains("Status: Resync..."));
        const qsizetype at = out.indexOf("Played: ");
        QVERIFY(at >= 0);
        const qint64 played = out.mid(at + 8).section(' ', 0, 0).toLongLong();
        // 90,000 bytes at 320 kbit/s are 2.25 s of sound.
        QVERIFY2(played > 1.8 * PcmBytesPerSecond, qPrintable(out));
    }

    // The tool stops on its own while the device plays, and the process ends at once after
    // it: whatever the sound system runs in the background must be gone by then. Several
    // runs side by side, as an exit that races with the sound server's thread fails only now
    // and then.
    void diagnosticToolExitsCleanlyWhileTheDevicePlays() {
        StreamServerOptions options;
        options.responseHeader = Header;
        options.audio = mp3(4, 320);
        options.bitrateKbps = 320;
        PacedStreamServer server(options);
        QVERIFY(server.listen());
        constexpr int Runs = 8;
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < Runs; ++i) {
            auto play = std::make_unique<QProcess>();
            play->start(QStringLiteral(KESTRUNE_PLAY),
                        {QStringLiteral("--audio"), QStringLiteral("device"),
                         QStringLiteral("--seconds"), QStringLiteral("0.5"), server.url()});
            QVERIFY(play->waitForStarted(5000));
            runs.push_back(std::move(play));
        }
        for (const auto &play : runs) {
            QTRY_VERIFY_WITH_TIMEOUT(play->state() == QProcess::NotRunning, 30000);
            const QString out = QString::fromLocal8Bit(play->readAllStandardOutput());
            const QString err = QString::fromLocal8Bit(play->readAllStandardError());
            QVERIFY2(play->exitStatus() == QProcess::NormalExit && play->exitCode() == 0,
                     qPrintable(out + err));
            QVERIFY2(out.contains("Status: Playing stream"), qPrintable(out + err));
        }
    }

    // Last, as it ends the sound server: the device going away while it plays stops the
    // output once, from the event loop; a new start then fails cleanly.
    void soundServerGoingAwayStopsTheOutput() {
        auto output = createDeviceOutput();
        QSignalSpy stopped(output.get(), &AudioOutput::stopped);
        ProbeSource source;
        QVERIFY(output->Start(&source));
        QTRY_VERIFY_WITH_TIMEOUT(output->bytesPlayed() > qint64(0.2 * PcmBytesPerSecond), 10000);
        m_sound.stop();
        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 10000);
        QVERIFY(!output->IsRunning());
        QTest::qWait(300);
        QCOMPARE(stopped.count(), 1);
        ProbeSource next;
        QVERIFY(!output->Start(&next));
        QCOMPARE(next.reads, 0);
    }
};

QTEST_GUILESS_MAIN(DeviceOutputTest)
#include "tst_deviceoutput.moc"
