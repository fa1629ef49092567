// The library's player on the sound device: a lame file played through the device output into a
// private PulseAudio server's null sink, to its end, with a pause on the way.
#include "library/libraryplayer.h"
#include "stream/audio/outputs.h"
#include "stream/tests/privatesoundserver.h"

#include "lamefiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrune;
using namespace kestrune::testing;

class LibraryPlayerDeviceTest : public QObject {
    Q_OBJECT

    test::PrivateSoundServer m_sound;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase() {
        // Before anything asks for a device: the sound server is named by the environment.
        const QString failure = m_sound.start();
        if (!failure.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no private sound server (%1)").arg(failure)));
        QVERIFY2(soundDeviceAvailable(), qPrintable(m_sound.log()));
        QVERIFY(m_dir.isValid());
    }

    void cleanupTestCase() { m_sound.stop(); }

    void playsAFileToItsEndWithAPause() {
        // 22.05 kHz mono: the device still gets the one format the outputs take.
        const QString file = makeMp3(m_dir.path(), QStringLiteral("mono.mp3"), 22050, 1, 22050 * 2,
                                     {QStringLiteral("-b"), QStringLiteral("64"),
                                      QStringLiteral("-m"), QStringLiteral("m")});
        QVERIFY(!file.isEmpty());
        LibraryPlayer player(createDeviceOutput());
        qint64 played = 0;
        connect(&player, &LibraryPlayer::played, this,
                [&played](const QByteArray &pcm) { played += pcm.size(); });
        QSignalSpy started(&player, &LibraryPlayer::started);
        QSignalSpy stopped(&player, &LibraryPlayer::stopped);
        QSignalSpy paused(&player, &LibraryPlayer::paused);
        QVERIFY(player.setFileName(file));
        QVERIFY(qAbs(player.length() - 2000) < 60);
        QVERIFY(player.Play());
        QTRY_COMPARE_WITH_TIMEOUT(started.count(), 1, 5000);
        // A null sink that has had no stream takes its first sound late: allow for it.
        QTRY_VERIFY_WITH_TIMEOUT(player.position() > 300, 10000);

        player.Pause();
        QTRY_COMPARE_WITH_TIMEOUT(paused.count(), 1, 5000);
        QVERIFY(player.state() & LibraryPlayer::StatePaused);
        const qint64 heldAt = player.position();
        QTest::qWait(400);
        QCOMPARE(player.position(), heldAt);
        player.Resume();

        QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 15000);
        QCOMPARE(player.state(), 0);
        // Every sample of the 2 s reached the device, resampled to 44.1 kHz stereo; what the
        // device held at the pause was dropped and given again on resuming (at most its
        // 250 ms buffer).
        const qint64 expected = 2 * 44100 * 4;
        const qint64 buffer = 44100 * 4 / 4;
        QVERIFY2(played >= expected - 2 * 1152 * 4 && played <= expected + buffer + 4 * 1152 * 4,
                 qPrintable(QString::number(played)));
    }
};

QTEST_MAIN(LibraryPlayerDeviceTest)
#include "tst_libraryplayer_device.moc"
