// Start-up flows with the real windows and the real control library, offscreen.
#include "components/statuspanels.h"
#include "components/twips.h"
#include "modalhelper.h"
#include "shell/ui/aboutwindow.h"
#include "shell/ui/mainwindow.h"
#include "shell/ui/startup.h"
#include "stream/engine.h"

#include <QLabel>
#include <QLockFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <lumactl/lumabox.h>

using namespace kestrune;
using kestrune::test::whenModal;

namespace {

QString messageText(QWidget *modal) {
    auto *box = qobject_cast<QMessageBox *>(modal);
    return box ? box->text() : QString();
}

void closeMessage(QWidget *modal) {
    if (auto *box = qobject_cast<QMessageBox *>(modal))
        box->button(QMessageBox::Ok)->click();
}

LumaKit::Lumabox *speedBox(QWidget *dialog) {
    return dialog->findChild<LumaKit::Lumabox *>("cmbSpeed");
}

void click(QWidget *dialog, const char *name) {
    dialog->findChild<QPushButton *>(name)->click();
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_root;
    int m_run = 0;

    // A fresh settings store, program folder and lock for each start.
    Startup::Options freshOptions() {
        const QString base = m_root.filePath(QString::number(++m_run));
        QDir().mkpath(base + "/settings");
        QDir().mkpath(base + "/program");
        Startup::Options options;
        options.userSettingsRoot = base + "/settings";
        options.programFolder = base + "/program";
        options.lockFile = base + "/kestrune.lock";
        options.pluginFolders = {QStringLiteral(KESTRUNE_TEST_PLUGIN_DIR)};
        return options;
    }

    static void storeSpeed(const Startup::Options &options, const QString &speed) {
        Registry(options.userSettingsRoot)
            .WriteRegistryValue(RegistryRoot::CurrentUser, SettingsKeyPath, "FirstSetup",
                                RegistryType::String, speed);
    }

    static QString storedSpeed(const Startup::Options &options) {
        return Registry(options.userSettingsRoot)
            .ReadRegistryValue(RegistryRoot::CurrentUser, SettingsKeyPath, "FirstSetup",
                               "<missing>");
    }

private Q_SLOTS:
    void firstRunValidatesThenStoresTheSpeed() {
        const Startup::Options options = freshOptions();
        Startup startup(options);
        bool timedOut = false;
        QString dialogTitle, warning, initialText;
        int entries = 0;
        bool stayedOpen = false;
        whenModal(
            [&](QWidget *dialog) {
                dialogTitle = dialog->windowTitle();
                entries = speedBox(dialog)->ListCount();
                initialText = speedBox(dialog)->Text();
                whenModal(
                    [&, dialog](QWidget *box) {
                        warning = messageText(box);
                        closeMessage(box);
                        QTimer::singleShot(0, dialog, [&, dialog] {
                            stayedOpen = dialog->isVisible();
                            speedBox(dialog)->ListIndex(4);
                            click(dialog, "cmdOK");
                        });
                    },
                    &timedOut, dialog);
                click(dialog, "cmdOK"); // still on the prompt entry
            },
            &timedOut);

        QCOMPARE(startup.Main(), StartResult::Running);
        QVERIFY(!timedOut);
        QCOMPARE(dialogTitle, QString("First time setup"));
        QCOMPARE(entries, 6);
        QCOMPARE(initialText, QString("Make a selection"));
        QCOMPARE(warning, QString("Please select your connection speed"));
        QVERIFY(stayedOpen);
        QCOMPARE(storedSpeed(options), QString("56k modem"));

        QTRY_VERIFY_WITH_TIMEOUT(startup.mainWindow() && startup.mainWindow()->isVisible(), 10000);
        QCOMPARE(startup.mainWindow()->cmbBandWidth()->Text(), QString("56k modem"));
    }

    void cancelEndsTheProgramWithNothingStored() {
        const Startup::Options options = freshOptions();
        Startup startup(options);
        bool timedOut = false;
        whenModal([](QWidget *dialog) { click(dialog, "cmdCancel"); }, &timedOut);
        QCOMPARE(startup.Main(), StartResult::Cancelled);
        QVERIFY(!timedOut);
        QCOMPARE(exitCodeFor(StartResult::Cancelled), 0);
        QCOMPARE(storedSpeed(options), QString("<missing>"));
        QVERIFY(!startup.mainWindow());
        QTest::qWait(50);
        QVERIFY(!startup.mainWindow()); // the splash never came, so nothing loads later
    }

    void storedSpeedSkipsTheDialogAndLoadsTheMainWindow() {
        const Startup::Options options = freshOptions();
        storeSpeed(options, "56k modem");
        Startup startup(options);
        bool sawModal = false;
        QTimer watch;
        connect(&watch, &QTimer::timeout,
                [&] { sawModal |= QApplication::activeModalWidget() != nullptr; });
        watch.start(5);

        QCOMPARE(startup.Main(), StartResult::Running);
        // The splash shows at its design size, before the main window.
        AboutWindow *splash = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *about = qobject_cast<AboutWindow *>(w); about && about->isVisible())
                splash = about;
        }
        QVERIFY(splash);
        QVERIFY(!startup.mainWindow());
        QCOMPARE(splash->size(), QSize(twipsToPixels(6375, splash), twipsToPixelsY(3540, splash)));
        QCOMPARE(splash->versionLabel()->text(), QString("v1.0.0"));
        QPointer<AboutWindow> splashGuard(splash);

        QTRY_VERIFY_WITH_TIMEOUT(startup.mainWindow() && startup.mainWindow()->isVisible(), 10000);
        QVERIFY(!sawModal);
        MainWindow *main = startup.mainWindow();
        QTRY_VERIFY(splashGuard.isNull()); // unloaded and released

        QCOMPARE(main->windowTitle(), QString("Kestrune v1.0.0"));
        QCOMPARE(main->height(), twipsToPixelsY(9070, main));
        QCOMPARE(main->cmbBandWidth()->Text(), QString("56k modem"));
        QCOMPARE(main->cmbBandWidth()->ListIndex(), 4);
        QCOMPARE(main->cmbBandWidth()->ListCount(), 6);
        QCOMPARE(main->cmbBandWidth()->List(0).value_or(""), QString("All Bitrates"));
        QCOMPARE(main->cmbGenre()->ListCount(), 65);
        QCOMPARE(main->cmbGenre()->ListIndex(), 1);
        QCOMPARE(main->cmbGenre()->Text(), QString("Top 25 streams"));
        QCOMPARE(main->cmbGenre()->List(23).value_or(""), QString("- Drum and Bass"));
        QCOMPARE(main->cmbGenre()->List(64).value_or(""), QString("- Instrumental"));
        QCOMPARE(main->directory().MaxBitrate, qint16(999));
        QVERIFY(main->directory().DirectoryUrl.endsWith("/directory/?bitrate=999"));
        QCOMPARE(main->engine().sampleRates().at(1, 0), 44100);
        QCOMPARE(main->engine().sampleRates().at(0, 2), 16000);
        QCOMPARE(main->statusPanels()->panelText(3), QString("Recording: Off"));
        // Settings were loaded: the default recordings folder now exists.
        QVERIFY(startup.settings().RecOutputDir.startsWith(
            QDir::toNativeSeparators(options.programFolder)));
        QVERIFY(QFileInfo(startup.settings().RecOutputDir).isDir());

        QSignalSpy finished(&startup, &Startup::finished);
        main->close();
        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.at(0).at(0).toInt(), 0);
    }

    void mainWindowAsksAgainWhenTheAnswerWasNotStored() {
        // A settings folder that cannot be created: every write fails, every read defaults.
        Startup::Options options = freshOptions();
        QFile blocker(options.userSettingsRoot + "/file");
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        options.userSettingsRoot = blocker.fileName() + "/settings";
        Startup startup(options);
        bool timedOut = false;
        whenModal(
            [](QWidget *dialog) {
                speedBox(dialog)->ListIndex(1);
                click(dialog, "cmdOK");
            },
            &timedOut);
        QCOMPARE(startup.Main(), StartResult::Running);

        // The main window's load asks again; cancelling there ends the program.
        QSignalSpy finished(&startup, &Startup::finished);
        QString againTitle;
        whenModal(
            [&](QWidget *dialog) {
                againTitle = dialog->windowTitle();
                click(dialog, "cmdCancel");
            },
            &timedOut);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
        QVERIFY(!timedOut);
        QCOMPARE(againTitle, QString("First time setup"));
        QCOMPARE(finished.at(0).at(0).toInt(), 0);
    }

    void secondCopyIsRefusedBeforeLoadingAnything() {
        const Startup::Options options = freshOptions();
        QLockFile running(options.lockFile);
        QVERIFY(running.tryLock(0));
        Startup startup(options);
        bool timedOut = false;
        QString text;
        whenModal(
            [&](QWidget *box) {
                text = messageText(box);
                closeMessage(box);
            },
            &timedOut);
        QCOMPARE(startup.Main(), StartResult::AlreadyRunning);
        QVERIFY(!timedOut);
        QCOMPARE(text, QString("Kestrune already started!"));
        QVERIFY(!startup.mainWindow());
        // No first-run dialog although no speed is stored: nothing was read.
        QTest::qWait(50);
        QVERIFY(!startup.mainWindow());
        QVERIFY(running.isLocked());
    }

    void missingControlLibraryIsReportedAndEndsTheProgram() {
        Startup::Options options = freshOptions();
        options.pluginFolders = {m_root.filePath("no-plugins-here")};
        Startup startup(options);
        bool timedOut = false;
        QString text;
        whenModal(
            [&](QWidget *box) {
                text = messageText(box);
                closeMessage(box);
            },
            &timedOut);
        QCOMPARE(startup.Main(), StartResult::ControlLibraryMissing);
        QVERIFY(!timedOut);
        QVERIFY(text.contains("lumactl"));
        QVERIFY(text.contains(QDir::toNativeSeparators(m_root.filePath("no-plugins-here"))));
        QVERIFY(exitCodeFor(StartResult::ControlLibraryMissing) != 0);
        QVERIFY(!startup.mainWindow());
    }
};

QTEST_MAIN(StartupTest)
#include "tst_startup.moc"
