// The library's player on the engine's path: lame-made files decoded from disk and played
// through the null output (KESTRUNE_AUDIO=null), in real time.
#include "library/libraryfolder.h"
#include "library/libraryplayer.h"
#include "stream/audiooutput.h"

#include "lamefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>
#include <QTimer>

#include <memory>

using namespace kestrune;
using namespace kestrune::testing;

namespace {

// PCM bytes the player hands out through played().
struct PlayedCounter {
    explicit PlayedCounter(LibraryPlayer &player) {
        QObject::connect(&player, &LibraryPlayer::played, &player, [this](const QByteArray &pcm) {
            bytes += pcm.size();
            if (pcm.size() % 4 != 0)
                ++oddPieces;
        });
    }
    qint64 bytes = 0;
    int oddPieces = 0;
};

// Whether this process has `path` open (Linux's /proc).
bool processHoldsFile(const QString &path) {
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir fds(QStringLiteral("/proc/self/fd"));
    const QStringList entries =
        fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fd : entries) {
        if (QFileInfo(fds.filePath(fd)).symLinkTarget() == target)
            return true;
    }
    return false;
}

// An output with a device's buffer: it takes PCM quickly and says that the last half second
// of it has not been heard yet.
class BufferedOutput : public AudioOutput {
public:
    static constexpr qint64 Buffer = PcmSampleRate * PcmBytesPerFrame / 2; // bytes: 500 ms

    BufferedOutput() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] {
            char piece[16384];
            const qint64 got = m_source ? m_source->readPcm(piece, sizeof piece) : 0;
            if (got > 0)
                notePlayed(piece, got);
            else if (m_source && lastSoundTaken.isNull())
                lastSoundTaken = QTime::currentTime();
        });
    }
    bool Start(PcmSource *source) override {
        m_source = source;
        m_timer.start();
        return true;
    }
    void Stop() override {
        m_source = nullptr;
        m_timer.stop();
    }
    int State() const override { return m_source ? StateRunning : 0; }
    qint64 bufferedBytes() const override { return m_source ? std::min(Buffer, bytesPlayed()) : 0; }
    QString description() const override { return QStringLiteral("buffered"); }

    QTime lastSoundTaken; // when the source first had nothing more

private:
    PcmSource *m_source = nullptr;
    QTimer m_timer;
};

} // namespace

class TestLibraryPlayer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void playPauseResumeStop();
    void callsWithoutAFileOrOutOfTurn();
    void seekBeforeAndWhilePlaying();
    void endOfFileAtTheFilesRealLength();
    void refusesWhatIsNotMpeg();
    void releasesTheFile();
    void waitsUntilTheDeviceHasPlayedItAll();

private:
    QTemporaryDir m_dir;
    QString m_stereo; // 3 s, 44.1 kHz CBR stereo, ID3v1
    QString m_mono48; // 2.5 s, 48 kHz VBR mono
    QString m_text;
};

void TestLibraryPlayer::initTestCase() {
    QVERIFY(m_dir.isValid());
    QCOMPARE(qgetenv("KESTRUNE_AUDIO"), QByteArray("null"));
    m_stereo = makeMp3(m_dir.path(), QStringLiteral("stereo.mp3"), 44100, 2, 44100 * 3,
                       {QStringLiteral("-b"), QStringLiteral("128"), QStringLiteral("--id3v1-only"),
                        QStringLiteral("--tt"), QStringLiteral("Song")});
    m_mono48 = makeMp3(
        m_dir.path(), QStringLiteral("mono48.mp3"), 48000, 1, 48000 * 5 / 2,
        {QStringLiteral("-V"), QStringLiteral("4"), QStringLiteral("-m"), QStringLiteral("m")});
    QVERIFY(!m_stereo.isEmpty() && !m_mono48.isEmpty());
    m_text = m_dir.filePath(QStringLiteral("readme.mp3"));
    QFile text(m_text);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write(QByteArray("This is not an MP3 file at all.\n").repeated(300));
}

void TestLibraryPlayer::playPauseResumeStop() {
    LibraryPlayer player;
    QSignalSpy started(&player, &LibraryPlayer::started);
    QSignalSpy stopped(&player, &LibraryPlayer::stopped);
    QSignalSpy paused(&player, &LibraryPlayer::paused);
    QSignalSpy resumed(&player, &LibraryPlayer::resumed);
    PlayedCounter counter(player);

    QVERIFY(player.setFileName(m_stereo));
    QCOMPARE(player.fileName(), m_stereo);
    QVERIFY(qAbs(player.length() - 3000) <= 2);
    QCOMPARE(player.position(), 0);
    QCOMPARE(player.state(), 0);

    QVERIFY(player.Play());
    QCOMPARE(started.count(), 1);
    QCOMPARE(player.state(), LibraryPlayer::StatePlaying);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() >= 500, 5000);

    player.Pause();
    QCOMPARE(paused.count(), 1);
    QCOMPARE(player.state(), LibraryPlayer::StatePlaying | LibraryPlayer::StatePaused);
    const qint64 heldAt = player.position();
    const qint64 bytesAtPause = counter.bytes;
    QTest::qWait(300);
    QCOMPARE(player.position(), heldAt);
    QCOMPARE(counter.bytes, bytesAtPause);
    // Pausing again is no event; neither is the output's own stop.
    player.Pause();
    QCOMPARE(paused.count(), 1);
    QCOMPARE(stopped.count(), 0);

    player.Resume();
    QCOMPARE(resumed.count(), 1);
    QCOMPARE(player.state(), LibraryPlayer::StatePlaying);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() >= heldAt + 200, 5000);
    // What was handed out and the position tell the same story.
    QVERIFY(qAbs(counter.bytes / 4 * 1000 / 44100 - player.position()) <= 1);

    player.Stop();
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(player.state(), 0);
    QCOMPARE(player.position(), 0);
    QCOMPARE(player.fileName(), m_stereo);
    const qint64 bytesAtStop = counter.bytes;
    QTest::qWait(200);
    QCOMPARE(counter.bytes, bytesAtStop);
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(counter.oddPieces, 0);

    // Play again from the start, then a new file ends the old playback.
    QVERIFY(player.Play());
    QCOMPARE(started.count(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0, 5000);
    QVERIFY(player.setFileName(m_mono48));
    QCOMPARE(stopped.count(), 2);
    QCOMPARE(player.state(), 0);
    QCOMPARE(player.position(), 0);
}

void TestLibraryPlayer::callsWithoutAFileOrOutOfTurn() {
    LibraryPlayer player;
    QSignalSpy started(&player, &LibraryPlayer::started);
    QSignalSpy stopped(&player, &LibraryPlayer::stopped);
    QSignalSpy paused(&player, &LibraryPlayer::paused);
    QSignalSpy resumed(&player, &LibraryPlayer::resumed);
    QVERIFY(!player.Play());
    player.Pause();
    player.Resume();
    player.Stop();
    player.setPosition(1000);
    QCOMPARE(player.position(), 0);
    QCOMPARE(player.length(), 0);
    QCOMPARE(player.state(), 0);

    QVERIFY(player.setFileName(m_stereo));
    player.Pause();
    player.Resume();
    player.Stop();
    QTest::qWait(100);
    QCOMPARE(started.count() + stopped.count() + paused.count() + resumed.count(), 0);
}

void TestLibraryPlayer::seekBeforeAndWhilePlaying() {
    LibraryPlayer player;
    QSignalSpy stopped(&player, &LibraryPlayer::stopped);
    PlayedCounter counter(player);
    QVERIFY(player.setFileName(m_stereo));
    const qint64 length = player.length();

    player.setPosition(-50);
    QCOMPARE(player.position(), 0);
    player.setPosition(length + 5000);
    QCOMPARE(player.position(), length);
    player.setPosition(2000);
    QCOMPARE(player.position(), 2000);

    // From 2 s to the end: a second of sound, within a frame.
    QVERIFY(player.Play());
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 10000);
    const qint64 expected = (length - 2000) * 441 / 10 * 4;
    QVERIFY2(qAbs(counter.bytes - expected) <= 1152 * 4,
             qPrintable(QStringLiteral("%1 bytes, expected %2").arg(counter.bytes).arg(expected)));
    QCOMPARE(player.state(), 0);

    // A seek while playing goes on from there: 2.5 s into the file, half a second remains.
    counter.bytes = 0;
    QVERIFY(player.Play());
    QTRY_VERIFY_WITH_TIMEOUT(player.position() >= 200, 5000);
    player.setPosition(2500);
    const qint64 before = counter.bytes;
    QVERIFY(player.position() >= 2500 && player.position() < 2500 + 50);
    QCOMPARE(player.state(), LibraryPlayer::StatePlaying);
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 2, 10000);
    const qint64 after = counter.bytes - before;
    const qint64 expectedAfter = (length - 2500) * 441 / 10 * 4;
    QVERIFY2(qAbs(after - expectedAfter) <= 1152 * 4,
             qPrintable(QStringLiteral("%1 bytes, expected %2").arg(after).arg(expectedAfter)));
}

void TestLibraryPlayer::endOfFileAtTheFilesRealLength() {
    const AudioFacts facts = AnalyseAudioFile(m_mono48);
    QVERIFY(facts.valid);
    QCOMPARE(facts.sampleRate, 48000);
    QVERIFY(qAbs(facts.lengthMs - 2500) <= 1);

    LibraryPlayer player;
    QSignalSpy started(&player, &LibraryPlayer::started);
    QSignalSpy stopped(&player, &LibraryPlayer::stopped);
    PlayedCounter counter(player);
    QVERIFY(player.setFileName(m_mono48));
    QVERIFY(qAbs(player.length() - facts.lengthMs) <= 2);
    QVERIFY(player.Play());
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 10000);
    QCOMPARE(started.count(), 1);
    QCOMPARE(player.state(), 0);
    QCOMPARE(player.position(), 0);
    // 2.5 s at 48 kHz handed out as 44.1 kHz stereo: 110,250 frames, within a frame or two.
    const qint64 frames = counter.bytes / 4;
    QVERIFY2(qAbs(frames - 110250) <= 2 * 1152,
             qPrintable(QStringLiteral("%1 frames of PCM").arg(frames)));
    QCOMPARE(counter.oddPieces, 0);
    QTest::qWait(200);
    QCOMPARE(stopped.count(), 1);

    // After the end, Play starts the file again from its beginning.
    QVERIFY(player.Play());
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0, 5000);
    QVERIFY(player.position() < 2000);
    player.Stop();
}

void TestLibraryPlayer::refusesWhatIsNotMpeg() {
    LibraryPlayer player;
    QSignalSpy started(&player, &LibraryPlayer::started);
    QVERIFY(player.setFileName(m_stereo));
    QVERIFY(!player.setFileName(m_text));
    QCOMPARE(player.fileName(), QString());
    QCOMPARE(player.length(), 0);
    QVERIFY(!player.Play());
    QVERIFY(!player.setFileName(m_dir.filePath(QStringLiteral("missing.mp3"))));
    QVERIFY(!player.setFileName(QString()));
    QCOMPARE(started.count(), 0);
    QVERIFY(!processHoldsFile(m_text));
}

void TestLibraryPlayer::releasesTheFile() {
#ifdef Q_OS_LINUX
    LibraryPlayer player;
    QSignalSpy stopped(&player, &LibraryPlayer::stopped);
    QVERIFY(player.setFileName(m_stereo));
    QVERIFY(processHoldsFile(m_stereo));
    QVERIFY(player.Play());
    QTRY_VERIFY_WITH_TIMEOUT(player.position() > 0, 5000);
    player.close();
    QCOMPARE(stopped.count(), 1);
    QCOMPARE(player.fileName(), QString());
    QCOMPARE(player.state(), 0);
    QVERIFY(!processHoldsFile(m_stereo));

    // Another file releases the one before.
    QVERIFY(player.setFileName(m_stereo));
    QVERIFY(player.setFileName(m_mono48));
    QVERIFY(!processHoldsFile(m_stereo));
    QVERIFY(processHoldsFile(m_mono48));
    // So can the file be renamed and played again under its new name.
    player.close();
    const QString renamed = m_dir.filePath(QStringLiteral("renamed"));
    QVERIFY(QFile::rename(m_mono48, renamed));
    QVERIFY(player.setFileName(renamed));
    QCOMPARE(player.fileName(), renamed);
    player.close();
    QVERIFY(QFile::rename(renamed, m_mono48));
#else
    QSKIP("open files are looked up in /proc");
#endif
}

// A sound device holds what it took for a while: the position is what was heard, a pause goes
// on from there, and the end comes when the last sound has left the buffer, not when it was
// handed over.
void TestLibraryPlayer::waitsUntilTheDeviceHasPlayedItAll() {
    auto owned = std::make_unique<BufferedOutput>();
    BufferedOutput *output = owned.get();
    LibraryPlayer player(std::move(owned));
    QSignalSpy stopped(&player, &LibraryPlayer::stopped);
    QVERIFY(player.setFileName(m_stereo));
    QVERIFY(player.Play());
    QTRY_VERIFY_WITH_TIMEOUT(output->bytesPlayed() > 2 * BufferedOutput::Buffer, 5000);
    player.Pause();
    // Taken, less the half second still in the buffer when it paused.
    const qint64 heard = player.position();
    QVERIFY2(heard > 400 && heard < 2 * 1000, qPrintable(QString::number(heard)));
    const qint64 takenBefore = output->bytesPlayed();
    player.Resume();
    QTRY_VERIFY_WITH_TIMEOUT(output->bytesPlayed() > takenBefore, 5000);
    // Resumed from what was heard: the half second comes again.
    QTRY_VERIFY_WITH_TIMEOUT(!output->lastSoundTaken.isNull(), 5000);
    const qint64 taken = output->bytesPlayed();
    QVERIFY2(qAbs((taken - takenBefore) / 4 - (3 * 44100 - heard * 441 / 10)) <= 2 * 1152,
             qPrintable(QString::number(taken - takenBefore)));
    QCOMPARE(stopped.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 5000);
    const int drained = output->lastSoundTaken.msecsTo(QTime::currentTime());
    QVERIFY2(drained >= 400, qPrintable(QString::number(drained)));
}

QTEST_GUILESS_MAIN(TestLibraryPlayer)
#include "tst_libraryplayer.moc"
