// The whole program driven as a person would, offscreen, against the station simulator: the
// first start, stations, playing, recording through a song change, the library from the menu
// with the recording played and its tag opened, the options, help, about, and Exit.
#include "core/registry.h"
#include "core/settings.h"
#include "directory/ui/stationgrid.h"
#include "library/libraryplayer.h"
#include "library/ui/libraryfilemodel.h"
#include "library/ui/librarywindow.h"
#include "modalhelper.h"
#include "mp3info/ui/tageditordialog.h"
#include "recorder/recorder.h"
#include "shell/appmodel.h"
#include "shell/ui/aboutwindow.h"
#include "shell/ui/mainwindow.h"
#include "shell/ui/optionsdialog.h"
#include "shell/ui/startup.h"
#include "stationsim/simulator.h"
#include "stream/playerstatus.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>
#include <QTreeWidget>

#include <lumactl/lumabox.h>

using namespace kestrune;
using namespace kestrune::stationsim;

class WalkTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aPersonsFirstEvening() {
        QElapsedTimer clock;
        clock.start();
        qint64 skippedMs = 0; // moves the simulator on to its next song
        SimulatorOptions simOptions = FreePortOptions();
        StationSimulator sim(simOptions);
        QString error;
        QVERIFY2(sim.start(&error), qPrintable(error));
        sim.setClock([&] { return clock.elapsed() + skippedMs; });
        qputenv("KESTRUNE_DIRECTORY_URL",
                QStringLiteral("http://127.0.0.1:%1").arg(sim.directoryPort()).toLatin1());

        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath("settings") && QDir(root.path()).mkpath("program"));
        Startup::Options options;
        options.userSettingsRoot = root.filePath("settings");
        options.programFolder = root.filePath("program");
        options.lockFile = root.filePath("kestrune.lock");
        options.pluginFolders = {QStringLiteral(KESTRUNE_TEST_PLUGIN_DIR)};
        Startup startup(options);
        QSignalSpy finished(&startup, &Startup::finished);

        // The first start asks for the connection speed.
        bool timedOut = false;
        test::whenModal(
            [](QWidget *dialog) {
                dialog->findChild<LumaKit::Lumabox *>("cmbSpeed")->ListIndex(1);
                dialog->findChild<QPushButton *>("cmdOK")->click();
            },
            &timedOut);
        QCOMPARE(startup.Main(), StartResult::Running);
        MainWindow *w = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((w = startup.mainWindow()) && w->isVisible() &&
                                     !QApplication::activeModalWidget(),
                                 10000);
        QVERIFY(!timedOut);
        AppModel &model = w->model();
        QCOMPARE(model.settings().firstSetup(), QString("DSL/Cable/LAN"));
        model.settings().ReqTimeOut = QStringLiteral("3");

        // Stations, and the first one played.
        w->findChild<QPushButton *>("cmdGetStations")->click();
        QTRY_VERIFY_WITH_TIMEOUT(w->stationGrid()->caption().endsWith("stations found."), 10000);
        QTreeView *grid = w->stationGrid()->view();
        const QModelIndex first = grid->model()->index(0, 0);
        grid->setCurrentIndex(first);
        Q_EMIT grid->doubleClicked(first);
        QTRY_COMPARE_WITH_TIMEOUT(model.status().phase(), PlayerPhase::Playing, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!model.label(StationLabel::Artist).isEmpty(), 6000);
        w->Timer1Tick();

        // Recorded through one song change: two files.
        w->findChild<QPushButton *>("cmdRecord")->click();
        QVERIFY(model.recording().IsRecording);
        const QString firstFile = model.recording().RecFileName;
        const QString firstSong = model.label(StationLabel::Artist);
        model.GetArtist();
        QTRY_COMPARE_WITH_TIMEOUT(model.recording().RecSongTitle, firstSong, 5000);
        QTest::qWait(1500);
        skippedMs += 31000;
        model.GetArtist();
        QTRY_VERIFY_WITH_TIMEOUT(model.recording().RecFileName != firstFile, 6000);
        QTest::qWait(800);
        w->findChild<QPushButton *>("cmdStopRecord")->click();
        QVERIFY(!model.recording().IsRecording);
        const QString group = QFileInfo(firstFile).dir().dirName();

        // The library from the menu: the recording is there, plays, and its tag opens.
        w->menuClick(5);
        LibraryWindow *library = nullptr;
        QTRY_VERIFY((library = w->findChild<LibraryWindow *>("frmLibrary")) &&
                    library->isVisible());
        QTreeWidgetItem *rootNode = library->tree()->topLevelItem(0);
        QStringList groups;
        for (int i = 0; i < rootNode->childCount(); ++i)
            groups << rootNode->child(i)->text(0);
        QVERIFY2(groups.contains(group), qPrintable(groups.join(',')));
        QSignalSpy shown(library, &LibraryWindow::folderShown);
        library->showFolder(group);
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, 10000);
        QCOMPARE(library->files().rowCount(), 2);
        int row = -1;
        for (int i = 0; i < 2; ++i)
            if (library->files().entry(i).path == QDir::cleanPath(firstFile))
                row = i;
        QVERIFY2(row >= 0, qPrintable(library->files().entry(0).path + " " + firstFile));
        QVERIFY(library->files().entry(row).facts.valid);
        library->playRow(row);
        QTRY_VERIFY_WITH_TIMEOUT(library->player().state() & LibraryPlayer::StatePlaying, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(library->player().position() > 200, 5000);
        library->findChild<QPushButton *>("btnStop")->click();
        QTRY_COMPARE_WITH_TIMEOUT(library->player().state(), 0, 5000);

        library->findChild<QPushButton *>("cmdMP3Info")->click();
        TagEditorDialog *tag = nullptr;
        QTRY_VERIFY((tag = library->findChild<TagEditorDialog *>("frmTag")) && tag->isVisible());
        QTRY_COMPARE(tag->findChild<QLineEdit *>("Title")->text(), firstSong.left(30).trimmed());
        tag->findChild<QPushButton *>("cmdCancel")->click();
        QTRY_VERIFY(!library->findChild<TagEditorDialog *>());
        library->findChild<QPushButton *>("Command1")->click();
        QTRY_VERIFY(!w->findChild<LibraryWindow *>());

        // The options: a shorter time-out, stored.
        w->menuClick(9);
        OptionsDialog *setup = nullptr;
        QTRY_VERIFY((setup = w->findChild<OptionsDialog *>()) && setup->isVisible());
        setup->timeOutBox()->ListIndex(0);
        setup->findChild<QPushButton *>("cmdOK")->click();
        QTRY_VERIFY(!w->findChild<OptionsDialog *>());
        QCOMPARE(model.settings().ReqTimeOut, QString("5"));

        // Help on its first topic, and the about box.
        w->menuClick(11);
        QWidget *help = nullptr;
        QTRY_VERIFY([&] {
            for (QWidget *top : QApplication::topLevelWidgets())
                if (top->objectName() == "helpWindow" && top->isVisible())
                    return (help = top) != nullptr;
            return false;
        }());
        QVERIFY(
            help->findChild<QTextBrowser *>()->source().toString().endsWith("Using kestrune.html"));
        help->close();
        w->menuClick(14);
        AboutWindow *about = nullptr;
        QTRY_VERIFY((about = w->findChild<AboutWindow *>()) && about->isVisible());
        about->okButton()->click();
        QTRY_VERIFY(!w->findChild<AboutWindow *>());

        // Exit: the stream stops and the program ends.
        w->menuClick(2);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        QCOMPARE(finished.first().first().toInt(), 0);
        QVERIFY(QFileInfo(firstFile).size() > 128);
    }
};

QTEST_MAIN(WalkTest)
#include "tst_walk.moc"
