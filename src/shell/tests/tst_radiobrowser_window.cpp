// The real main window, offscreen, with the JSON station directory chosen: Get stations lists
// the simulator's stations, and a double click counts the play and then plays the station
// through the null output, from its stream address or from the playlist it names, over
// https, through redirects and from M3U playlists as well.
#include "components/statuspanels.h"
#include "core/settings.h"
#include "directory/directorycontroller.h"
#include "directory/ui/stationgrid.h"
#include "shell/ui/mainwindow.h"
#include "stationsim/simulator.h"
#include "stream/connection.h"
#include "stream/engine.h"
#include "stream/playerstatus.h"
#include "streamsynth/testtls.h"
#include "windowfixture.h"

#include <QLabel>
#include <QPushButton>
#include <QSslConfiguration>
#include <QTest>
#include <QTreeView>

using namespace kestrune;
using namespace kestrune::stationsim;
using kestrune::testsupport::trustTestAuthority;

class RadioBrowserWindowTest : public QObject {
    Q_OBJECT

private:
    test::WindowFixture m_fixture;
    Settings &m_settings = m_fixture.settings;
    QSslConfiguration m_systemOnly; // what the program trusts: the system's authorities

    static void doubleClickRow(MainWindow &w, int row) {
        QTreeView *view = w.stationGrid()->view();
        const QModelIndex index = view->model()->index(row, 0);
        view->setCurrentIndex(index);
        Q_EMIT view->doubleClicked(index);
    }

    // Plays grid row `row`, which shows `station`; returns the clicks the simulator had
    // counted for it when the player first asked a stream server.
    static int playRow(MainWindow &w, StationSimulator &sim, int row, const Station &station) {
        int clicksAtRequest = -1;
        const QMetaObject::Connection watch = QObject::connect(
            &w.engine().status(), &PlayerStatus::phaseChanged, &w, [&](PlayerPhase phase) {
                if (phase == PlayerPhase::Requesting && clicksAtRequest < 0)
                    clicksAtRequest = sim.clicks(station.id);
            });
        doubleClickRow(w, row);
        const bool playing = QTest::qWaitFor(
            [&] { return w.statusPanels()->panelText(1) == QString("Status: Playing stream"); },
            15000);
        QObject::disconnect(watch);
        return playing ? clicksAtRequest : -2;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_fixture.prepare());
        m_systemOnly = QSslConfiguration::defaultConfiguration();
    }

    void listsAndPlaysStationsOfTheJsonDirectory() {
        StationSimulator sim(FreePortOptions());
        QString error;
        QVERIFY2(sim.start(&error), qPrintable(error));
        qputenv("KESTRUNE_DIRECTORY_URL",
                QStringLiteral("http://127.0.0.1:%1").arg(sim.directoryPort()).toLatin1());
        m_settings.DirectoryProvider = DirectoryProviderValue::RadioBrowser;
        m_settings.ReqTimeOut = QStringLiteral("5");
        m_settings.SaveSettings();
        test::TestWindow w = m_fixture.window();
        QVERIFY(m_settings.usesRadioBrowser());

        // The first search: "Top 25 streams" with "All Bitrates", as the window starts.
        w->findChild<QPushButton *>("cmdGetStations")->click();
        QVERIFY(QTest::qWaitFor(
            [&] { return w->stationGrid()->caption().endsWith("stations found."); }, 15000));
        const QList<Station> &top = sim.catalogue().stations(Catalogue::defaultGenre());
        // The second station of the list is an HLS stream and is left out.
        QCOMPARE(w->stationGrid()->rowCount(), 24);
        QCOMPARE(w->stationGrid()->caption(), QString(" 24 stations found."));
        QCOMPARE(w->stationGrid()->itemText(0), top.at(0).name);
        QCOMPARE(w->stationGrid()->itemText(1), top.at(2).name);
        QCOMPARE(w->stationGrid()->cellText(0, 4), QString("Unknown"));
        QVERIFY(w->findChild<QPushButton *>("cmdNext")->isEnabled());
        QVERIFY(!w->findChild<QPushButton *>("cmdPrevious")->isEnabled());

        // A stream address: the play is counted before the stream is asked for.
        QCOMPARE(sim.clicks(top.at(0).id), 0);
        QCOMPARE(playRow(*w, sim, 0, top.at(0)), 1);
        QCOMPARE(w->connection().servers(), QStringList{sim.jsonStreamAddress(top.at(0))});
        QCOMPARE(w->findChild<QLabel *>("lblStation")->text().isEmpty(), false);
        QTRY_VERIFY_WITH_TIMEOUT(w->engine().output().bytesPlayed() > 0, 5000);
        w->findChild<QPushButton *>("cmdStopStreaming")->click();

        // A playlist address: its servers become the server list.
        QCOMPARE(playRow(*w, sim, 1, top.at(2)), 1);
        QCOMPARE(w->connection().servers(), sim.playlistAddresses(top.at(2)));
        QTRY_VERIFY_WITH_TIMEOUT(w->engine().output().bytesPlayed() > 0, 5000);
        w->findChild<QPushButton *>("cmdStopStreaming")->click();

        for (const StationSimulator::JsonRequest &r : sim.jsonRequests())
            QCOMPARE(r.userAgent, QString("Kestrune/1.0.0"));
        m_settings.DirectoryProvider = DirectoryProviderValue::Classic;
        m_settings.SaveSettings();
    }

    // Today's servers: an https directory and station, a station behind two redirects and
    // one with an M3U playlist. As the program runs, trusting only the system's authorities,
    // the simulator's test certificate is refused and the user reads which host and why;
    // once the test makes its process trust the test authority, all of them play.
    void playsSecureRedirectedAndM3uStations() {
        StationSimulator sim(FreePortOptions());
        QString error;
        QVERIFY2(sim.start(&error), qPrintable(error));
        const QString plainDirectory =
            QStringLiteral("http://127.0.0.1:%1").arg(sim.directoryPort());
        const QString secureDirectory =
            QStringLiteral("https://127.0.0.1:%1").arg(sim.secureDirectoryPort());
        m_settings.DirectoryProvider = DirectoryProviderValue::RadioBrowser;
        m_settings.ReqTimeOut = QStringLiteral("5");
        m_settings.SaveSettings();
        const QList<Station> &top = sim.catalogue().stations(Catalogue::defaultGenre());
        // The HLS station (rank 1) is left out of the grid.
        const auto rowOf = [](int rank) { return rank > HlsRank ? rank - 1 : rank; };
        const QString untrusted = QStringLiteral(
            "The certificate of 127.0.0.1 is not accepted: The root certificate of the "
            "certificate chain is self-signed, and untrusted.");
        const auto search = [](MainWindow &w) {
            w.findChild<QPushButton *>("cmdGetStations")->click();
            return QTest::qWaitFor(
                [&] {
                    const QString caption = w.stationGrid()->caption();
                    return caption.endsWith("stations found.") || caption.contains("Error");
                },
                15000);
        };

        // The secure directory, not trusted: the search ends with the reason.
        qputenv("KESTRUNE_DIRECTORY_URL", secureDirectory.toLatin1());
        {
            test::TestWindow w = m_fixture.window();
            QVERIFY(search(*w));
            QCOMPARE(w->stationGrid()->caption(), " Error loading stations. " + untrusted);
            QCOMPARE(w->stationGrid()->rowCount(), 0);
        }

        // The plain directory lists the https station; playing it is refused, said once, and
        // nothing is asked of its server.
        qputenv("KESTRUNE_DIRECTORY_URL", plainDirectory.toLatin1());
        {
            test::TestWindow w = m_fixture.window();
            QStringList messages;
            connect(w.model.get(), &AppModel::message, this,
                    [&messages](const QString &text) { messages << text; });
            QVERIFY(search(*w));
            const Station &secure = top.at(SecureRank);
            QCOMPARE(sim.jsonKind(secure), JsonKind::Secure);
            QCOMPARE(w->stationGrid()->itemText(rowOf(SecureRank)), secure.name);
            doubleClickRow(*w, rowOf(SecureRank));
            QTRY_VERIFY_WITH_TIMEOUT(!messages.isEmpty(), 10000);
            QCOMPARE(messages, QStringList{untrusted});
            QVERIFY(w->statusPanels()->panelText(1) != QString("Status: Playing stream"));
            w->findChild<QPushButton *>("cmdStopStreaming")->click();
        }

        // Trusted (by this test only): the secure directory lists, and every kind plays.
        trustTestAuthority();
        qputenv("KESTRUNE_DIRECTORY_URL", secureDirectory.toLatin1());
        {
            test::TestWindow w = m_fixture.window();
            QStringList messages;
            connect(w.model.get(), &AppModel::message, this,
                    [&messages](const QString &text) { messages << text; });
            QVERIFY(search(*w));
            QCOMPARE(w->stationGrid()->caption(), QString(" 24 stations found."));
            for (const int rank : {SecureRank, RedirectedRank, M3uRank}) {
                const Station &station = top.at(rank);
                QCOMPARE(w->stationGrid()->itemText(rowOf(rank)), station.name);
                const int clicksBefore = sim.clicks(station.id);
                QVERIFY2(playRow(*w, sim, rowOf(rank), station) == clicksBefore + 1,
                         qPrintable(station.name + ": " + w->statusPanels()->panelText(1) + " " +
                                    messages.join(" / ")));
                const QStringList servers = rank == M3uRank
                                                ? sim.playlistAddresses(station)
                                                : QStringList{sim.jsonStreamAddress(station)};
                QCOMPARE(w->connection().servers(), servers);
                QTRY_VERIFY_WITH_TIMEOUT(w->engine().output().bytesPlayed() > 0, 5000);
                w->findChild<QPushButton *>("cmdStopStreaming")->click();
            }
            QVERIFY2(messages.isEmpty(), qPrintable(messages.join('\n')));
        }

        // The classic pages from a secure directory: the playlist comes over TLS too.
        m_settings.DirectoryProvider = DirectoryProviderValue::Classic;
        m_settings.SaveSettings();
        {
            test::TestWindow w = m_fixture.window();
            QVERIFY(search(*w));
            QVERIFY2(w->stationGrid()->rowCount() > 0, qPrintable(w->stationGrid()->caption()));
            doubleClickRow(*w, 0);
            QTRY_COMPARE_WITH_TIMEOUT(w->statusPanels()->panelText(1),
                                      QString("Status: Playing stream"), 15000);
            w->findChild<QPushButton *>("cmdStopStreaming")->click();
        }
        QSslConfiguration::setDefaultConfiguration(m_systemOnly);
    }
};

QTEST_MAIN(RadioBrowserWindowTest)
#include "tst_radiobrowser_window.moc"
