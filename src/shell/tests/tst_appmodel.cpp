// The program without a screen: the application model against the station simulator on
// 127.0.0.1, from a directory page to a playing station, as the window drives it.
#include "core/registry.h"
#include "core/settings.h"
#include "directory/directorycontroller.h"
#include "recorder/recorder.h"
#include "shell/appmodel.h"
#include "stationsim/simulator.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/playerstatus.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QSignalSpy>

#include <algorithm>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrune;
using namespace kestrune::stationsim;

class AppModelTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;
    std::unique_ptr<StationSimulator> m_simulator;

    static bool pageLoaded(AppModel &model) {
        return QTest::qWaitFor(
            [&] {
                return !model.directory().download().isRunning() &&
                       model.status().caption().endsWith("stations found.");
            },
            10000);
    }

private Q_SLOTS:
    void initTestCase() {
        SimulatorOptions options = FreePortOptions();
        m_simulator = std::make_unique<StationSimulator>(options);
        QString error;
        QVERIFY2(m_simulator->start(&error), qPrintable(error));
        qputenv("KESTRUNE_DIRECTORY_URL",
                QStringLiteral("http://127.0.0.1:%1").arg(m_simulator->directoryPort()).toLatin1());
    }

    // Every write of the song goes through one setter; only a real change is signalled,
    // clearing included (a change splits a recording).
    void theSongChangesOnlyWhenItsTextDoes() {
        Registry registry(m_root.filePath("settings"));
        Settings settings(registry, m_root.path());
        AppModel model(settings);
        QSignalSpy changes(&model, &AppModel::artistChanged);
        model.setLabel(StationLabel::Artist, "Song A");
        model.setLabel(StationLabel::Artist, "Song A");
        model.setLabel(StationLabel::Genre, "Song B");
        QCOMPARE(changes.size(), 1);
        model.setLabel(StationLabel::Artist, "Song B");
        model.connection().Stop(); // clears the song
        QCOMPARE(model.label(StationLabel::Artist), QString());
        model.connection().Stop();
        QCOMPARE(changes.size(), 3);
        QCOMPARE(changes.last().at(0).toString(), QString());
    }

    void fromADirectoryPageToAPlayingStation() {
        Registry registry(m_root.filePath("settings"));
        Settings settings(registry, m_root.path());
        settings.LoadSettings();
        AppModel model(settings);
        PlayerStatus &status = model.status();
        QList<PlayerPhase> phases;
        connect(&status, &PlayerStatus::phaseChanged, this,
                [&](PlayerPhase phase) { phases << phase; });

        model.directory().getStations("Top 25 streams", "All Bitrates", status.caption());
        QCOMPARE(status.text(), QString("Status: Searching stations"));
        QCOMPARE(status.phase(), PlayerPhase::Searching);
        QVERIFY(pageLoaded(model));
        QCOMPARE(status.text(), QString("Status: Ready"));
        QCOMPARE(status.phase(), PlayerPhase::Stopped);
        QCOMPARE(model.stationRows().size(), 25);
        QCOMPARE(model.stations().paths().size(), 25);

        // Nothing selected: Start says so and asks nothing.
        QSignalSpy messages(&model, &AppModel::message);
        model.connection().Start();
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().at(0).toString(), QString("Select a station first!"));

        QVERIFY(!model.selectStation(25));
        QVERIFY(model.selectStation(2));
        QCOMPARE(model.label(StationLabel::Station), model.stationRows().at(2).name);
        QVERIFY(model.label(StationLabel::Genre).startsWith("["));
        QCOMPARE(model.label(StationLabel::Bitrate), model.stationRows().at(2).bitrateText);
        QCOMPARE(model.snapshot().stationSelected, true);

        phases.clear();
        model.connection().Start();
        QTRY_COMPARE_WITH_TIMEOUT(status.phase(), PlayerPhase::Playing, 10000);
        QCOMPARE(phases.first(), PlayerPhase::Requesting);
        QVERIFY(phases.contains(PlayerPhase::Prebuffering));
        QVERIFY(!model.connection().TimerConnect().isActive());
        Timer1View tick = model.timer1Tick();
        QCOMPARE(
            status.caption(),
            QString(" Playing stream (Server 1 of %1)").arg(model.connection().servers().size()));
        QCOMPARE(tick.recordEnabled, std::optional<bool>(true));
        // The server's own words replace the directory's; the server in use is known.
        QVERIFY(model.label(StationLabel::Link).startsWith("http://127.0.0.1:"));
        QCOMPARE(model.label(StationLabel::ServerUrl), model.connection().servers().value(0));

        // The spectrum follows what the output plays, once something shows it.
        QSignalSpy levels(&model.spectrum(), &FrequencyAnalyser::levelsChanged);
        const auto loudest = [&] {
            const std::vector<float> &bands = model.spectrum().levels().bands;
            return bands.empty() ? 0.0f : *std::max_element(bands.begin(), bands.end());
        };
        QTRY_VERIFY_WITH_TIMEOUT(loudest() > 0.05f, 3000);

        // A search while the stream plays shows its texts but leaves the player playing:
        // the song is still polled and recording stays available.
        model.directory().getStations("- Jazz", "All Bitrates", status.caption());
        QCOMPARE(status.text(), QString("Status: Searching stations"));
        QCOMPARE(status.phase(), PlayerPhase::Playing);
        QVERIFY(model.timer2Tick().pollSong);
        tick = model.timer1Tick();
        QVERIFY(tick.stationInfoEnabled);
        QVERIFY(!status.caption().startsWith(" Playing stream"));
        QVERIFY(pageLoaded(model));
        QCOMPARE(status.phase(), PlayerPhase::Playing);
        model.timer1Tick();
        QVERIFY(status.caption().startsWith(" Playing stream (Server 1 of "));

        model.connection().Stop();
        QCOMPARE(status.phase(), PlayerPhase::Stopped);
        QCOMPARE(status.text(), QString("Status: Stopped"));
        QCOMPARE(status.caption(), QString());
        QVERIFY(!model.engine().client().isConnected());
        QTRY_COMPARE_WITH_TIMEOUT(loudest(), 0.0f, 2000);
    }
    // Leaving a server while recording (the stream failed, or Stop) closes the file the
    // stream went into; clearing the song on the way must not split the recording into one
    // more file that nothing ever reaches.
    void leavingAServerWhileRecordingLeavesNoEmptyFile() {
        QTemporaryDir root;
        Registry registry(root.filePath("settings"));
        Settings settings(registry, root.path());
        settings.LoadSettings();
        settings.RecOutputDir = root.filePath("recordings");
        settings.ReqTimeOut = "1";
        AppModel model(settings);
        model.directory().getStations("Top 25 streams", "All Bitrates", QString());
        QVERIFY(pageLoaded(model));
        QVERIFY(model.selectStation(0));
        const auto files = [&] {
            QList<QFileInfo> found;
            QDirIterator it(settings.RecOutputDir, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                found << QFileInfo(it.next());
            return found;
        };
        // Once it plays and the song is known, records until the file holds audio (the
        // recorder writes in pieces).
        const auto recordAWhile = [&] {
            if (!QTest::qWaitFor(
                    [&] {
                        return model.status().phase() == PlayerPhase::Playing &&
                               !model.label(StationLabel::Artist).isEmpty();
                    },
                    20000))
                return false;
            model.recorder().Record();
            const QString name = model.recording().RecFileName;
            return model.recording().IsRecording &&
                   QTest::qWaitFor([&] { return QFileInfo(name).size() > 0; }, 20000);
        };
        model.connection().Start();
        QVERIFY(recordAWhile());
        // The server hangs up: once the ring has run dry (seconds of sound) and a second of
        // resyncing has passed, the next server plays.
        QCOMPARE(m_simulator->injectNextFault(), Fault::Close);
        QTRY_VERIFY_WITH_TIMEOUT(!model.recording().IsRecording, 45000);
        QVERIFY(recordAWhile());
        model.connection().Stop();
        QVERIFY(!model.recording().IsRecording);

        // Two recordings, and a song change may have split either: every file holds audio
        // and its tag.
        const QList<QFileInfo> recorded = files();
        QVERIFY(recorded.size() >= 2);
        for (const QFileInfo &file : recorded)
            QVERIFY2(file.size() > 128, qPrintable(file.filePath()));
    }
};

QTEST_GUILESS_MAIN(AppModelTest)
#include "tst_appmodel.moc"
