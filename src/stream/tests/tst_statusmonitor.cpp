// The once-a-second and five-second status rules, from a state to what the window shows,
// without a window.
#include "stream/statusmonitor.h"

#include <QTest>

using namespace kestrune;

namespace {

StatusSnapshot playing() {
    StatusSnapshot s;
    s.phase = PlayerPhase::Playing;
    s.stationSelected = true;
    s.stationRows = 25;
    s.server = 0;
    s.serverCount = 3;
    s.ringHeld = 204800;
    s.downloaded = 1000000;
    return s;
}

} // namespace

class StatusMonitorTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void playingShowsTheServerAndTheFigures() {
        const Timer1View v = Timer1Rules(playing());
        QCOMPARE(v.bufferText, QString("Buffer: 204800/409600 bytes (50%)..."));
        QCOMPARE(v.caption.value_or("-"), QString(" Playing stream (Server 1 of 3)"));
        QVERIFY(!v.startEnabled);
        QCOMPARE(v.recordEnabled, std::optional<bool>(true));
        QVERIFY(v.stationInfoEnabled);
        QCOMPARE(v.downloadedText.value_or("-"), QString("Downloaded: 1000.00 kb"));
        QCOMPARE(v.recSizeText.value_or("-"), QString("None"));
        QCOMPARE(v.ledVisible, std::optional<bool>(false));
        QVERIFY(!v.blinkLed);
        QVERIFY(v.stopWatchdog);
        QVERIFY(!v.refreshFreeSpace);
    }

    void recordingBlinksAndCountsWhatWasRecorded() {
        StatusSnapshot s = playing();
        s.isRecording = true;
        s.downloaded = 3000000;
        s.recordStartBytes = 900000;
        s.recordElapsed = QStringLiteral("00:01:05");
        const Timer1View v = Timer1Rules(s);
        // The literal's blank and the number's sign position: two blanks before the number.
        QCOMPARE(v.caption.value_or("-"), QString(" Playing & recording stream. (Server  1 of 3)"));
        QCOMPARE(v.recSizeText.value_or("-"), QString("00:01:05  (2.00 Mb)"));
        QCOMPARE(v.downloadedText.value_or("-"), QString("Downloaded: 2.86 Mb"));
        QVERIFY(v.blinkLed);
        QCOMPARE(v.ledVisible, std::optional<bool>(true));
        QVERIFY(v.refreshFreeSpace);
        // Record is left as the recorder set it.
        QVERIFY(!v.recordEnabled.has_value());
    }

    void onlyPlayingMakesRecordingAndStationInfoAvailable_data() {
        QTest::addColumn<PlayerPhase>("phase");
        QTest::newRow("stopped") << PlayerPhase::Stopped;
        QTest::newRow("searching") << PlayerPhase::Searching;
        QTest::newRow("requesting") << PlayerPhase::Requesting;
        QTest::newRow("prebuffering") << PlayerPhase::Prebuffering;
        QTest::newRow("resyncing") << PlayerPhase::Resyncing;
    }
    void onlyPlayingMakesRecordingAndStationInfoAvailable() {
        QFETCH(PlayerPhase, phase);
        StatusSnapshot s = playing();
        s.phase = phase;
        const Timer1View v = Timer1Rules(s);
        QCOMPARE(v.recordEnabled, std::optional<bool>(false));
        QVERIFY(!v.stationInfoEnabled);
        QVERIFY(v.startEnabled); // a station is selected
        QVERIFY(!v.stopWatchdog);
        QVERIFY(!v.downloadedText.has_value());
        const Timer2View t = Timer2Rules(phase);
        QVERIFY(!t.pollSong);
        QVERIFY(!t.stationInfoEnabled);
        QVERIFY(!t.nextSpectrumLook);
    }

    void captionWhileNotPlaying() {
        StatusSnapshot s = playing();
        s.phase = PlayerPhase::Requesting;
        s.server = 1;
        QCOMPARE(Timer1Rules(s).caption.value_or("-"),
                 QString("Status: Requesting from server 2 of 3"));

        s.phase = PlayerPhase::Stopped;
        s.caption = QStringLiteral(" 25 stations found.");
        QCOMPARE(Timer1Rules(s).caption.value_or("-"), QString(" 25 stations found"));
        // The player's prebuffering figures and the directory's progress stay.
        for (const char *kept : {"Status: Prebuffering 4096/65536 bytes (6%)...",
                                 "Loading stations:  5120 bytes received"}) {
            s.caption = QString::fromLatin1(kept);
            QVERIFY(!Timer1Rules(s).caption.has_value());
        }
        s.stationSelected = false;
        s.caption = QStringLiteral(" 25 stations found.");
        const Timer1View none = Timer1Rules(s);
        QVERIFY(!none.caption.has_value());
        QVERIFY(!none.startEnabled);
    }

    // A search started while a stream plays does not stop the player's ticks, and its
    // progress keeps the caption until it is done.
    void aSearchWhilePlayingLeavesThePlayerAlone() {
        StatusSnapshot s = playing();
        s.directoryBusy = true;
        s.caption = QStringLiteral("Loading stations:  5120 bytes received");
        const Timer1View v = Timer1Rules(s);
        QVERIFY(!v.caption.has_value());
        QCOMPARE(v.recordEnabled, std::optional<bool>(true));
        QVERIFY(v.stationInfoEnabled);
        QVERIFY(Timer2Rules(PlayerPhase::Playing).pollSong);

        s.phase = PlayerPhase::Requesting;
        s.caption = QStringLiteral(" Searching...");
        QCOMPARE(Timer1Rules(s).caption.value_or("-"), QString(" 25 stations found"));
    }

    void timer2MovesTheSpectrumOnlyWhilePlaying() {
        const Timer2View t = Timer2Rules(PlayerPhase::Playing);
        QVERIFY(t.pollSong);
        QVERIFY(t.stationInfoEnabled);
        QVERIFY(t.nextSpectrumLook);
    }
};

QTEST_APPLESS_MAIN(StatusMonitorTest)
#include "tst_statusmonitor.moc"
