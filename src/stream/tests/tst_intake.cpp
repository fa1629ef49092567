// The intake with a real ring, real MP3 data and an output that only records what it is
// asked to do (whether it starts is the test's to say).
#include "stream/audiooutput.h"
#include "stream/intake.h"
#include "stream/ringbuffer.h"
#include "streamsynth/mp3synth.h"

#include <QSignalSpy>
#include <QTest>

using namespace kestrune;

namespace {

class ScriptedOutput : public AudioOutput {
public:
    bool startSucceeds = true;
    int starts = 0;
    int stops = 0;
    bool running = false;

    bool Start(PcmSource *) override {
        ++starts;
        running = startSucceeds;
        return startSucceeds;
    }
    void Stop() override {
        ++stops;
        if (running) {
            running = false;
            QMetaObject::invokeMethod(this, &AudioOutput::stopped, Qt::QueuedConnection);
        }
    }
    int State() const override { return running ? StateRunning : 0; }
    QString description() const override { return QStringLiteral("scripted"); }
};

class SilentSource : public PcmSource {
public:
    qint64 readPcm(char *, qint64) override { return 0; }
};

const QByteArray Header = "ICY 200 OK\r\nicy-name: Test FM\r\nicy-genre: Jazz\r\n"
                          "icy-url: http://example.org\r\ncontent-type: audio/mpeg\r\n\r\n";

QByteArray audio(double seconds) {
    testsupport::Mp3Params params;
    params.seconds = seconds;
    return testsupport::synthesizeMp3(params);
}

struct Rig {
    RingBuffer ring;
    ScriptedOutput output;
    SilentSource source;
    SampleRateTable rates;
    QList<QByteArray> formats;
    PlayerStatus status;
    StreamIntake intake{ring,   output, source,
                        status, rates,  [this](const QByteArray &f) { formats << f; }};
    QStringList statuses;

    Rig() {
        rates.Fill();
        ring.SetNumBuffers(StreamIntake::RingCapacity / ring.BufferSize());
        ring.Open();
        intake.ResetForConnection();
        QObject::connect(&status, &PlayerStatus::textChanged,
                         [this](const QString &t) { statuses << t; });
        QObject::connect(&output, &AudioOutput::stopped, &intake, &StreamIntake::OutputStopped);
    }

    // Delivers `data` in events of `chunk` bytes.
    void feed(const QByteArray &data, qsizetype chunk) {
        for (qsizetype at = 0; at < data.size(); at += chunk) {
            const QByteArray part = data.mid(at, chunk);
            intake.Streaming(part, qint32(part.size()));
        }
    }

    QByteArray drainRing() {
        QByteArray all(ring.BytesHeld(), '\0');
        ring.Read(all.data(), all.size());
        return all;
    }
};

} // namespace

class IntakeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void findsTheEndOfTheHeaderBlock_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("length");
        QTest::newRow("LF LF") << QByteArray("ICY 200 OK\nicy-name:x\n\nAUDIO") << 22;
        QTest::newRow("LF CR LF") << QByteArray("ICY 200 OK\nicy-name:x\n\r\nAUDIO") << 22;
        // Found at the LF that ends the last header line, since a CR follows it.
        QTest::newRow("CR LF CR LF") << QByteArray("ICY 200 OK\r\nicy-name:x\r\n\r\nAUDIO") << 24;
        QTest::newRow("none: all of it") << QByteArray("no blank line here") << 18;
    }
    void findsTheEndOfTheHeaderBlock() {
        QFETCH(QByteArray, head);
        QFETCH(int, length);
        QCOMPARE(StreamIntake::FindHeaderEnd(head.constData(), qint32(head.size())), length);
    }

    void headIsProcessedOnceItReachesTheThreshold() {
        const QByteArray stream = Header + audio(3);
        for (const auto &[chunk, eventsBefore] : {std::pair{10000, 1}, std::pair{4000, 3}}) {
            Rig rig;
            QSignalSpy header(&rig.intake, &StreamIntake::streamTextChanged);
            for (int event = 1; event <= eventsBefore; ++event) {
                QVERIFY(rig.intake.CollectingHead());
                rig.intake.Streaming(stream.mid((event - 1) * chunk, chunk), chunk);
            }
            QVERIFY2(!rig.intake.CollectingHead(), qPrintable(QString::number(chunk)));
            QVERIFY(header.count() >= 1);
            QCOMPARE(rig.intake.HeadLength(), eventsBefore * chunk);
        }
    }

    void headGivesHeaderTextLabelsAndDecoderFormat() {
        Rig rig;
        QSignalSpy rate(&rig.intake, &StreamIntake::sampleRateText);
        QSignalSpy bitrate(&rig.intake, &StreamIntake::bitrateText);
        QSignalSpy channels(&rig.intake, &StreamIntake::channelsText);
        QStringList callOuts;
        connect(&rig.intake, &StreamIntake::stationInfoRequested, [&] { callOuts << "station"; });
        connect(&rig.intake, &StreamIntake::nowPlayingPollRequested, [&] { callOuts << "poll"; });
        rig.feed(Header + audio(2), 10000);

        // The header block counts up to the LF before the blank line's CR LF; the text box
        // shows it, then one diagnostic line. The audio starts right after the blank line.
        const QString text = rig.intake.streamText();
        const qint32 hl = qint32(Header.size() - 2);
        const qint32 framePos = qint32(Header.size());
        QCOMPARE(text.left(hl), QString::fromLatin1(Header.left(hl)));
        QCOMPARE(text.mid(hl), QStringLiteral("Samplerate: 44100  Bitrate: 128000 HeaderLen: %1 "
                                              "FramePos: %2 FramePos: 2")
                                   .arg(hl)
                                   .arg(framePos));
        QCOMPARE(rate.last().at(0).toString(), QString("44100"));
        QCOMPARE(bitrate.last().at(0).toString(), QString("128 Kbps"));
        QCOMPARE(channels.last().at(0).toString(), QString("Stereo"));
        QCOMPARE(callOuts, (QStringList{"station", "poll"}));
        QCOMPARE(rig.formats.size(), 1);
        QCOMPARE(rig.formats.first(), BuildDecoderFormat(44100, 128000, 2));
    }

    void primingPutsFramesInWholeBlocksAndStagesTheRest() {
        Rig rig;
        const QByteArray mp3 = audio(3);
        const QByteArray stream = Header + mp3;
        // Odd event sizes so every event leaves something staged.
        rig.feed(stream.left(9001), 9001);
        QVERIFY(!rig.intake.CollectingHead());
        const qsizetype afterHead = 9001 - Header.size();
        QCOMPARE(rig.ring.BytesHeld() % rig.ring.BufferSize(), 0);
        QCOMPARE(rig.ring.BytesHeld() + rig.intake.StagedBytes(), afterHead);

        rig.intake.Streaming(stream.mid(9001, 5000), 5000);
        QCOMPARE(rig.ring.BytesHeld() + rig.intake.StagedBytes(), afterHead + 5000);
        // The ring holds exactly the stream from the first frame on, in order: the staged
        // bytes went in front of the next event's bytes.
        const QByteArray held = rig.drainRing();
        QCOMPARE(held, mp3.left(held.size()));
    }

    void oversizedFirstEventLosesNothing() {
        Rig rig;
        const QByteArray mp3 = audio(3);
        const QByteArray stream = Header + mp3;
        rig.intake.Streaming(stream.left(30000), 30000); // more than the head holds
        QVERIFY(!rig.intake.CollectingHead());
        QCOMPARE(rig.intake.HeadLength(), qint32(StreamIntake::HeadCapacity));
        QCOMPARE(rig.ring.BytesHeld() + rig.intake.StagedBytes(), 30000 - Header.size());
        const QByteArray held = rig.drainRing();
        QCOMPARE(held, mp3.left(held.size()));
    }

    void playbackStartsAboveThePrebufferThresholdOnly() {
        Rig rig;
        const QByteArray stream = Header + audio(10);
        qsizetype at = 0;
        const auto event = [&](qsizetype n) {
            rig.intake.Streaming(stream.mid(at, n), qint32(n));
            at += n;
        };
        event(8192); // head
        // Top up to exactly 65,536 bytes held: not yet.
        while (rig.ring.BytesHeld() + rig.intake.StagedBytes() < StreamIntake::PrebufferThreshold)
            event(std::min<qsizetype>(1000, StreamIntake::PrebufferThreshold -
                                                rig.ring.BytesHeld() - rig.intake.StagedBytes()));
        QCOMPARE(rig.ring.BytesHeld(), StreamIntake::PrebufferThreshold);
        QCOMPARE(rig.output.starts, 0);
        QCOMPARE(rig.statuses.last(), PlayerStatus::prebufferingText(65536));
        QCOMPARE(rig.statuses.last(), QString("Status: Prebuffering 65536/65536 bytes (100%)..."));

        QSignalSpy artist(&rig.intake, &StreamIntake::artistRequested);
        event(4096);
        QCOMPARE(rig.output.starts, 1);
        QVERIFY(rig.intake.PlaybackStarted());
        QCOMPARE(rig.statuses.last(), PlayerStatus::PlayingText);
        QCOMPARE(artist.count(), 1);
        // Once playing, further events only report the buffer.
        QSignalSpy buffer(&rig.intake, &StreamIntake::bufferStatus);
        event(4096);
        QCOMPARE(rig.output.starts, 1);
        QCOMPARE(buffer.last().at(0).toString(), StreamIntake::bufferText(rig.ring.BytesHeld()));
    }

    void outputThatCannotStartStopsWithAMessage() {
        Rig rig;
        rig.output.startSucceeds = false;
        QSignalSpy stop(&rig.intake, &StreamIntake::stopRequested);
        QSignalSpy message(&rig.intake, &StreamIntake::message);
        rig.feed(Header + audio(6), 4096);
        QVERIFY(stop.count() >= 1);
        QCOMPARE(message.first().at(0).toString(), QString("Unable to start playback !"));
    }

    void headWithoutFramesStopsWithAMessage() {
        Rig rig;
        QSignalSpy stop(&rig.intake, &StreamIntake::stopRequested);
        QSignalSpy message(&rig.intake, &StreamIntake::message);
        rig.feed(Header + QByteArray(20000, 'x'), 5000);
        QCOMPARE(stop.count(), 1);
        QCOMPARE(message.count(), 1);
        QCOMPARE(message.first().at(0).toString(), QString("Unable to open stream !"));
        QVERIFY(!rig.intake.CollectingHead());
        QVERIFY(rig.intake.streamText().endsWith(
            QString("FramePos: -1 FramePos: %1")
                .arg(QString::number(quint32(-1 - (Header.size() - 2)), 16).toUpper())));
    }

    void fullRingDropsItsOldestHalf() {
        Rig rig;
        const QByteArray stream = Header + audio(40); // ~640 KB
        rig.feed(stream.left(8192), 8192);
        qsizetype at = 8192;
        // The output "starts" but never pulls, so the ring fills up.
        while (rig.ring.FilledBlocks() < rig.ring.NumBuffers()) {
            rig.intake.Streaming(stream.mid(at, 4096), 4096);
            at += 4096;
        }
        QCOMPARE(rig.ring.BytesHeld(), 409600);
        const qint32 staged = rig.intake.StagedBytes();
        rig.intake.Streaming(stream.mid(at, 4096), 4096);
        // 50 blocks gone, then the staged bytes and the new ones entered as one block.
        QCOMPARE(rig.ring.BytesHeld(), 50 * 4096 + 4096);
        QCOMPARE(rig.intake.StagedBytes(), staged);
    }

    void underrunResyncsKeepingTheHeaderText() {
        Rig rig;
        const QByteArray stream = Header + audio(12);
        qsizetype at = 0;
        while (!rig.intake.PlaybackStarted()) {
            rig.intake.Streaming(stream.mid(at, 4096), 4096);
            at += 4096;
        }
        const QString headerText = rig.intake.streamText();
        // The decoder drains the ring.
        QByteArray buffer(4096, '\0');
        bool more = true;
        int requests = 0;
        while (more && requests < 1000) {
            rig.intake.BufferRequest(buffer.data(), buffer.size(), more);
            ++requests;
        }
        QVERIFY(!more);
        QCOMPARE(rig.statuses.last(), PlayerStatus::ResyncText);
        QVERIFY(rig.intake.ResyncPending());
        QCOMPARE(rig.intake.HeadLength(), 0);
        // The request runs inside the output's own read: the output is stopped afterwards,
        // from the event loop, and only once however often it asks in between.
        QCOMPARE(rig.output.stops, 0);
        const int resyncs = int(rig.statuses.count(PlayerStatus::ResyncText));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(rig.intake.BufferRequest(buffer.data(), buffer.size(), more), 0);
        QCOMPARE(int(rig.statuses.count(PlayerStatus::ResyncText)), resyncs);
        QTRY_COMPARE_WITH_TIMEOUT(rig.output.stops, 1, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.intake.PlaybackStarted(), 2000); // stopped notification

        // The stream goes on: a new head (no header parsing), then prebuffering again.
        while (rig.intake.ResyncPending()) {
            rig.intake.Streaming(stream.mid(at, 4096), 4096);
            at += 4096;
        }
        const QString text = rig.intake.streamText();
        QVERIFY(text.startsWith(headerText));
        QVERIFY(text.mid(headerText.size())
                    .startsWith("\r\nSamplerate: 44100  Bitrate: 128000 HeaderLen: 0 "));
        QCOMPARE(rig.formats.size(), 2);
        while (rig.output.starts < 2 && at < stream.size()) {
            rig.intake.Streaming(stream.mid(at, 4096), 4096);
            at += 4096;
        }
        QCOMPARE(rig.output.starts, 2);
        // Prebuffering ran again between the resync and the second start.
        const QStringList afterResync =
            rig.statuses.mid(rig.statuses.lastIndexOf(PlayerStatus::ResyncText));
        QCOMPARE(afterResync.last(), PlayerStatus::PlayingText);
        QVERIFY(afterResync.size() > 3);
        QVERIFY(afterResync.at(1).startsWith("Status: Prebuffering "));
        QCOMPARE(afterResync.at(afterResync.size() - 2),
                 PlayerStatus::prebufferingText(rig.ring.BytesHeld()));
    }

    void queuedStopLeavesARestartedPlaybackAlone() {
        Rig rig;
        const QByteArray stream = Header + audio(12);
        const auto playFromScratch = [&rig, &stream] {
            for (qsizetype at = 0; !rig.intake.PlaybackStarted() && at < stream.size(); at += 4096)
                rig.intake.Streaming(stream.mid(at, 4096), 4096);
        };
        playFromScratch();
        QCOMPARE(rig.output.starts, 1);
        QByteArray buffer(4096, '\0');
        bool more = true;
        for (int i = 0; more && i < 1000; ++i)
            rig.intake.BufferRequest(buffer.data(), buffer.size(), more);
        QVERIFY(rig.intake.ResyncPending());

        // Before the underrun's stop comes round the player is stopped and started afresh
        // (a Stop and Start, or the watchdog moving on), and plays again.
        rig.output.Stop();
        rig.intake.markPlaybackNotStarted();
        rig.ring.Open();
        rig.intake.ResetForConnection();
        playFromScratch();
        QCOMPARE(rig.output.starts, 2);
        QVERIFY(rig.output.running);
        QCOMPARE(rig.output.stops, 1);

        // The old stop and the old stopped notification find a new playback: both pass by.
        QTest::qWait(50);
        QCOMPARE(rig.output.stops, 1);
        QVERIFY(rig.output.running);
        QVERIFY(rig.intake.PlaybackStarted());
    }

    // A long response header (between the head threshold and the head's capacity) plays
    // however it is cut into reads: the head waits for the blank line that ends it.
    void longHeaderPlaysWhateverTheReadSizes_data() {
        QTest::addColumn<int>("headerBytes");
        QTest::addColumn<int>("chunk");
        for (const int headerBytes : {9000, 12000, 14000}) {
            for (const int chunk : {20000, 4000, 1000, 333}) {
                QTest::addRow("%d-byte header in %d-byte reads", headerBytes, chunk)
                    << headerBytes << chunk;
            }
        }
    }
    void longHeaderPlaysWhateverTheReadSizes() {
        QFETCH(int, headerBytes);
        QFETCH(int, chunk);
        QByteArray header = "ICY 200 OK\r\nicy-name: Long FM\r\n";
        // Many ordinary lines, as a server with lots of notices sends them.
        for (int line = 0; header.size() < headerBytes - 40; ++line)
            header += "icy-notice" + QByteArray::number(line) + ": " + QByteArray(60, 'n') + "\r\n";
        header += QByteArray(headerBytes - 2 - header.size() - 2, 'x') + "\r\n\r\n";
        header.resize(headerBytes);
        header.replace(headerBytes - 4, 4, "\r\n\r\n");
        QCOMPARE(header.size(), headerBytes);
        const QByteArray mp3 = audio(6);
        Rig rig;
        QSignalSpy message(&rig.intake, &StreamIntake::message);
        rig.feed(header + mp3, chunk);

        QVERIFY2(message.isEmpty(), qPrintable(message.value(0).value(0).toString()));
        QCOMPARE(rig.output.starts, 1);
        QCOMPARE(rig.intake.format().sampleRate, 44100);
        // The header is shown whole, and the frames start right behind it.
        QCOMPARE(rig.intake.streamText().left(headerBytes - 2),
                 QString::fromLatin1(header.left(headerBytes - 2)));
        QVERIFY(rig.intake.streamText().contains(
            QStringLiteral("HeaderLen: %1 FramePos: %2 ").arg(headerBytes - 2).arg(headerBytes)));
    }

    // The head is processed at the threshold once the header has ended with room behind it;
    // a header that does not end within the head is given up on only when the head is full.
    void headWaitsForTheHeaderToEnd() {
        const QByteArray mp3 = audio(3);
        {
            // An ordinary header: at the threshold, as always.
            Rig rig;
            rig.feed((Header + mp3).left(8192), 8192);
            QVERIFY(!rig.intake.CollectingHead());
        }
        {
            // 10,000 header bytes: not at the threshold, nor right at the blank line; once
            // enough audio follows it.
            QByteArray header = "ICY 200 OK\r\nicy-name: " + QByteArray(10000 - 30, 'y');
            header += QByteArray(10000 - 4 - header.size(), 'z') + "\r\n\r\n";
            const QByteArray stream = header + mp3;
            // The header length counts up to the first LF of the blank line.
            const qint32 headerLength = StreamIntake::FindHeaderEnd(header.constData(), 10000);
            QCOMPARE(headerLength, 9998);
            const qsizetype ready = headerLength + StreamIntake::MinAudioBehindHeader;
            Rig rig;
            rig.feed(stream.left(10000), 1000);
            QVERIFY(rig.intake.CollectingHead());
            rig.feed(stream.mid(10000, ready - 1 - 10000), 1000);
            QVERIFY(rig.intake.CollectingHead());
            rig.intake.Streaming(stream.mid(ready - 1, 1), 1);
            QVERIFY(!rig.intake.CollectingHead());
            QCOMPARE(rig.intake.HeadLength(), ready);
        }
        {
            // No blank line at all: the full head is processed as before (and finds no frame
            // in the endless header).
            Rig rig;
            QSignalSpy message(&rig.intake, &StreamIntake::message);
            rig.feed("ICY 200 OK\r\n" + QByteArray(StreamIntake::HeadCapacity, 'h'), 1000);
            QVERIFY(!rig.intake.CollectingHead());
            QCOMPARE(rig.intake.HeadLength(), qint32(StreamIntake::HeadCapacity));
            QCOMPARE(message.count(), 1);
        }
    }
};

QTEST_GUILESS_MAIN(IntakeTest)
#include "tst_intake.moc"
