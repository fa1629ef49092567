// The real main window, offscreen, against the station simulator on 127.0.0.1: the road of
// one station from the directory to sound in the null output.
#include "components/statuspanels.h"
#include "core/settings.h"
#include "directory/ui/stationgrid.h"
#include "mp3info/id3v1.h"
#include "recorder/recorder.h"
#include "shell/ui/controllibrary.h"
#include "shell/ui/mainwindow.h"
#include "stationsim/simulator.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/playerstatus.h"
#include "windowfixture.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <lumactl/lumabox.h>

using namespace kestrune;
using namespace kestrune::stationsim;

class EndToEndTest : public QObject {
    Q_OBJECT

private:
    test::WindowFixture m_fixture;
    Settings &m_settings = m_fixture.settings;
    ControlLibrary &m_controls = m_fixture.controls;

    std::unique_ptr<StationSimulator> simulator(QList<FaultRule> faults = {}) {
        SimulatorOptions options = FreePortOptions();
        options.faults = faults;
        auto sim = std::make_unique<StationSimulator>(options);
        QString error;
        if (!sim->start(&error))
            qWarning() << "simulator:" << error;
        qputenv("KESTRUNE_DIRECTORY_URL",
                QStringLiteral("http://127.0.0.1:%1").arg(sim->directoryPort()).toLatin1());
        return sim;
    }

    test::TestWindow window() {
        test::TestWindow w = m_fixture.window();
        m_settings.ReqTimeOut = QStringLiteral("2"); // a short watchdog for the tests
        return w;
    }

    static void click(MainWindow &w, const char *name) {
        w.findChild<QPushButton *>(name)->click();
    }

    static bool getStations(MainWindow &w) {
        click(w, "cmdGetStations");
        return QTest::qWaitFor(
            [&] { return w.stationGrid()->caption().endsWith("stations found."); }, 10000);
    }

    static void doubleClickRow(MainWindow &w, int row) {
        QTreeView *view = w.stationGrid()->view();
        const QModelIndex index = view->model()->index(row, 0);
        view->setCurrentIndex(index);
        Q_EMIT view->doubleClicked(index);
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fixture.prepare()); }

    void getStationsAndPageThroughTheDirectory() {
        auto sim = simulator();
        auto w = window();
        QVERIFY(getStations(*w));
        QCOMPARE(w->stationGrid()->caption(), QString(" 25 stations found."));
        QCOMPARE(w->stationGrid()->rowCount(), 25);
        QCOMPARE(w->stations().paths().size(), 25);
        QVERIFY(w->stations().paths().first().startsWith("/sbin/shoutcast-playlist.pls?rn="));
        QCOMPARE(w->statusPanels()->panelText(1), QString("Status: Ready"));
        QVERIFY(w->stationGrid()->cellText(0, 1).startsWith("["));
        QVERIFY(w->findChild<QPushButton *>("cmdGetStations")->isEnabled());
        QVERIFY(!QFile::exists(m_fixture.root.filePath("$$tmp.kt")));
        const QString firstOnPage1 = w->stationGrid()->itemText(0);

        auto *next = w->findChild<QPushButton *>("cmdNext");
        auto *previous = w->findChild<QPushButton *>("cmdPrevious");
        QVERIFY(next->isEnabled());
        QVERIFY(!previous->isEnabled());
        next->click();
        QVERIFY(QTest::qWaitFor(
            [&] { return w->stationGrid()->caption().endsWith("stations found."); }, 10000));
        QVERIFY(w->stationGrid()->itemText(0) != firstOnPage1);
        QVERIFY(previous->isEnabled());
        previous->click();
        QVERIFY(QTest::qWaitFor(
            [&] { return w->stationGrid()->caption().endsWith("stations found."); }, 10000));
        QCOMPARE(w->stationGrid()->itemText(0), firstOnPage1);

        // A new genre choice makes the paging links stale.
        w->cmbGenre()->ListIndex(5);
        QVERIFY(!next->isEnabled());
        QVERIFY(!previous->isEnabled());
    }

    void doubleClickPlaysTheStation() {
        auto sim = simulator();
        auto w = window();
        QVERIFY(getStations(*w));
        doubleClickRow(*w, 0);
        QCOMPARE(w->findChild<QLabel *>("lblStation")->text(), w->stationGrid()->itemText(0));
        QTRY_COMPARE_WITH_TIMEOUT(w->statusPanels()->panelText(1),
                                  QString("Status: Playing stream"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(w->engine().output().bytesPlayed() > 0, 5000);
        // The server's own name and genre replace the directory's.
        QVERIFY(!w->findChild<QLabel *>("StationLink")->text().isEmpty());
        QVERIFY(!w->findChild<QLabel *>("lblSampleRate")->text().isEmpty());
        w->Timer1Tick();
        QCOMPARE(w->stationGrid()->caption(),
                 QString(" Playing stream (Server 1 of %1)").arg(w->connection().servers().size()));
        QVERIFY(w->statusPanels()->panelText(4).startsWith("Downloaded: "));
        QVERIFY(!w->findChild<QPushButton *>("cmdStartStreaming")->isEnabled());

        click(*w, "cmdStopStreaming");
        QCOMPARE(w->statusPanels()->panelText(1), QString("Status: Stopped"));
        QVERIFY(!w->engine().client().isConnected());
    }

    void deadFirstServerPlaysFromTheSecond() {
        auto sim = simulator({FaultRule{Fault::DeadFirst, QString()}});
        auto w = window();
        QVERIFY(getStations(*w));
        // The second server answers at once, so the once-a-second status tick rarely lands
        // while it is being requested: tick right then, as that tick would.
        QString requestingCaption;
        connect(&w->model().status(), &PlayerStatus::phaseChanged, w.window.get(),
                [&](PlayerPhase phase) {
                    if (phase == PlayerPhase::Requesting && w->connection().ServerIndex() == 1) {
                        w->Timer1Tick();
                        requestingCaption = w->stationGrid()->caption();
                    }
                });
        doubleClickRow(*w, 0);
        QTRY_COMPARE_WITH_TIMEOUT(
            requestingCaption,
            QString("Status: Requesting from server 2 of %1").arg(w->connection().servers().size()),
            10000);
        QTRY_COMPARE_WITH_TIMEOUT(w->statusPanels()->panelText(1),
                                  QString("Status: Playing stream"), 10000);
        QCOMPARE(w->connection().ServerIndex(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(w->engine().output().bytesPlayed() > 0, 5000);
        click(*w, "cmdStopStreaming");
    }

    // Recording a playing station through song changes: one file per song, named after it,
    // each ending in its tag; the files without their tags, end to end, are exactly the bytes
    // the server sent from Record to Stop record.
    void recordsEverySongToItsOwnTaggedFile() {
        auto sim = simulator();
        QElapsedTimer clock;
        clock.start();
        qint64 skippedMs = 0; // moves the simulator on to its next song
        sim->setClock([&] { return clock.elapsed() + skippedMs; });
        auto w = window();
        QTemporaryDir recordings;
        m_settings.RecOutputDir = recordings.path();
        AppModel &model = *w.model;
        QByteArray received;
        connect(&model.engine().client(), &HTTPStream::Streaming, w.window.get(),
                [&](const QByteArray &block) { received += block; });

        QVERIFY(getStations(*w));
        doubleClickRow(*w, 0);
        QTRY_COMPARE_WITH_TIMEOUT(model.status().phase(), PlayerPhase::Playing, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!model.label(StationLabel::Artist).isEmpty(), 5000);
        w->Timer1Tick();
        QVERIFY(w->findChild<QPushButton *>("cmdRecord")->isEnabled());

        QStringList files;
        QStringList songs{model.label(StationLabel::Artist)};
        click(*w, "cmdRecord");
        QVERIFY(model.recording().IsRecording);
        QCOMPARE(w->statusPanels()->panelText(3), QString("Recording: On"));
        const qint64 start = model.recording().RecordStartBytes;
        QCOMPARE(start, qint64(received.size()));
        files << model.recording().RecFileName;
        QCOMPARE(w->findChild<QLabel *>("lblFileToRecord")->text(),
                 QFileInfo(files.last()).fileName());
        for (int change = 0; change < 3; ++change) {
            // The next poll, as the five-second tick makes it, gives the file its title.
            model.GetArtist();
            QTRY_COMPARE_WITH_TIMEOUT(model.recording().RecSongTitle, songs.last(), 5000);
            QTest::qWait(600);
            skippedMs += 30000;
            model.GetArtist();
            QTRY_VERIFY_WITH_TIMEOUT(model.recording().RecFileName != files.last(), 5000);
            files << model.recording().RecFileName;
            songs << model.label(StationLabel::Artist);
        }
        QTest::qWait(600);
        click(*w, "cmdStopRecord");
        const qint64 end = received.size();
        QVERIFY(!model.recording().IsRecording);
        QCOMPARE(w->statusPanels()->panelText(3), QString("Recording: Off"));
        QCOMPARE(w->findChild<QLabel *>("lblFileToRecord")->text(), QString("None"));

        QByteArray recorded;
        const quint8 genre = GenreNumber(model.label(StationLabel::Genre));
        for (int i = 0; i < files.size(); ++i) {
            QFile file(files.at(i));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY(bytes.size() > 128);
            recorded += bytes.left(bytes.size() - 128);
            const std::optional<Id3v1Fields> tag = ReadId3v1Tag(bytes.right(128));
            QVERIFY(tag);
            QCOMPARE(tag->title, songs.at(i).left(30).trimmed());
            QCOMPARE(tag->artist, tag->title);
            QCOMPARE(tag->album, QString("Unknown"));
            QCOMPARE(tag->year, QString::number(QDate::currentDate().year()));
            QCOMPARE(tag->comment, model.label(StationLabel::Station).left(30).trimmed());
            QCOMPARE(tag->genre, genre);
            QVERIFY(QFileInfo(files.at(i)).fileName().endsWith(".mp3"));
        }
        QCOMPARE(recorded.size(), end - start);
        QVERIFY(recorded == received.mid(start, end - start));
        click(*w, "cmdStopStreaming");
    }

    void directoryDownShowsTheErrorCaption() {
        auto sim = simulator();
        const quint16 port = sim->directoryPort();
        sim.reset(); // nothing listens there any more
        qputenv("KESTRUNE_DIRECTORY_URL",
                QStringLiteral("http://127.0.0.1:%1").arg(port).toLatin1());
        auto w = window();
        click(*w, "cmdGetStations");
        QTRY_COMPARE_WITH_TIMEOUT(w->stationGrid()->caption(),
                                  QString(" Error loading stations. No connection?"), 10000);
        QMessageBox *box = w->findChild<QMessageBox *>("message");
        QVERIFY(box);
        QCOMPARE(box->text(), QString("Error loading stations. No connection?"));
        QVERIFY(w->findChild<QPushButton *>("cmdGetStations")->isEnabled());
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
