// The options dialog and the menu bar of the real main window, offscreen: what the menu holds
// and runs, and what OK and Cancel do to the running program and the settings file.
#include "components/folderbrowser.h"
#include "core/registry.h"
#include "core/settings.h"
#include "recorder/recorder.h"
#include "shell/ui/aboutwindow.h"
#include "shell/ui/mainmenu.h"
#include "shell/ui/mainwindow.h"
#include "shell/ui/optionsdialog.h"
#include "stream/connection.h"
#include "windowfixture.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <lumactl/lumabox.h>

using namespace kestrune;

class OptionsTest : public QObject {
    Q_OBJECT

private:
    test::WindowFixture m_fixture;
    Settings &m_settings = m_fixture.settings;

    // The stored values, read back from the settings file as the next start reads them.
    QStringList stored() {
        Registry registry(m_fixture.root.filePath(QStringLiteral("settings")));
        Settings again(registry, m_fixture.root.path());
        again.LoadSettings();
        return {again.RecOutputDir, again.RecStationType, again.ReqTimeOut,
                again.DirectoryProvider};
    }

    static OptionsDialog *openedOptions(MainWindow &w) {
        OptionsDialog *dialog = nullptr;
        const bool shown = QTest::qWaitFor(
            [&] {
                return (dialog = w.findChild<OptionsDialog *>("frmSetup")) && dialog->isVisible();
            },
            3000);
        return shown ? dialog : nullptr;
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_fixture.prepare()); }

    void menuHoldsTheItemsInOrder() {
        test::TestWindow w = m_fixture.window();
        MainMenu *menu = w->menu();
        QCOMPARE(menu->itemCount(), 14);
        const QStringList keys{
            "keyFile",   "KeyExit",   "keyTools",    "KeyStationinfo", "KeyRecordingLibrary",
            "",          "KeyRecord", "keyOptions",  "KeyOption",      "keyHelp",
            "HelpIndex", "",          "HelpWebsite", "HelpAbout"};
        const QStringList captions{"&File",
                                   "E&xit",
                                   "&Tools",
                                   "&Station info",
                                   "&Recording library",
                                   "",
                                   "&Record",
                                   "&Options",
                                   "&General options",
                                   "&Help",
                                   "&Index",
                                   "",
                                   "&Kestrune website",
                                   "&About Kestrune"};
        for (int number = 1; number <= 14; ++number) {
            QCOMPARE(menu->Key(number), keys.at(number - 1));
            QCOMPARE(menu->Caption(number), captions.at(number - 1));
            QCOMPARE(menu->item(number)->isSeparator(), keys.at(number - 1).isEmpty());
        }
        // Every command has a picture, from the theme or the program's own.
        for (int number : {2, 4, 5, 7, 9, 11, 13, 14})
            QVERIFY2(!menu->item(number)->icon().isNull(), qPrintable(menu->Key(number)));
        QCOMPARE(menu->Key(0), QString());
        QCOMPARE(menu->Key(15), QString());

        // Nothing plays yet: station info and record are off, as their buttons are.
        QVERIFY(!menu->isItemEnabled(MainMenu::StationInfoItem));
        QVERIFY(!menu->isItemEnabled(MainMenu::RecordItem));
        QVERIFY(menu->isItemEnabled(5));

        // A top-level item or a separator runs nothing.
        for (int number : {1, 3, 6, 8, 10, 12}) {
            w->menuClick(number);
            QVERIFY(!QApplication::activeModalWidget());
            QVERIFY(w->isVisible());
        }
    }

    void aboutShowsItsOkButtonEveryTime() {
        test::TestWindow w = m_fixture.window();
        for (int time = 0; time < 2; ++time) {
            w->menuClick(14);
            AboutWindow *about = nullptr;
            QTRY_VERIFY((about = w->findChild<AboutWindow *>()) && about->isVisible());
            QVERIFY(about->okButton()->isVisible());
            QVERIFY(about->okButton()->geometry().bottom() < about->height());
            QCOMPARE(about->versionLabel()->text(), QString("v1.0.0"));
            QVERIFY(about->isModal() || about->windowModality() != Qt::NonModal);
            about->okButton()->click();
            QTRY_VERIFY(!w->findChild<AboutWindow *>());
        }
    }

    void okAppliesAndStoresCancelChangesNothing() {
        QTemporaryDir folder;
        m_settings.RecOutputDir = folder.path();
        m_settings.RecStationType = QStringLiteral("From Genre");
        m_settings.ReqTimeOut = QStringLiteral("15");
        m_settings.DirectoryProvider = QStringLiteral("Classic");
        m_settings.SaveSettings();
        test::TestWindow w = m_fixture.window();
        const QStringList before = stored();

        // Options opens modally from the menu, the main window waits behind it.
        w->menuClick(9);
        OptionsDialog *dialog = openedOptions(*w);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QString("Kestrune Setup"));
        QCOMPARE(QApplication::activeModalWidget(), dialog);
        QVERIFY(!QApplication::overrideCursor()); // the hourglass went when it showed
        QCOMPARE(dialog->folderChooser()->text(), folder.path());
        QCOMPARE(dialog->directoryBox()->Text(), QString("From Genre"));
        QCOMPARE(dialog->timeOutBox()->Text(), QString("15"));
        QCOMPARE(dialog->providerBox()->Text(), QString("Classic directory pages"));
        QCOMPARE(int(dialog->providerBox()->ListCount()), 2);

        // Typing and choosing change nothing until OK; Cancel leaves it all as it was.
        QTest::keyClicks(dialog->folderChooser()->textBox(), "/half");
        dialog->timeOutBox()->ListIndex(1);
        dialog->directoryBox()->ListIndex(0);
        dialog->providerBox()->ListIndex(1);
        QCOMPARE(m_settings.RecOutputDir, folder.path());
        QCOMPARE(m_settings.ReqTimeOut, QString("15"));
        QCOMPARE(m_settings.DirectoryProvider, QString("Classic"));
        dialog->findChild<QPushButton *>("cmdCancel")->click();
        QTRY_VERIFY(!w->findChild<OptionsDialog *>());
        QCOMPARE(m_settings.RecOutputDir, folder.path());
        QCOMPARE(m_settings.RecStationType, QString("From Genre"));
        QCOMPARE(m_settings.ReqTimeOut, QString("15"));
        QCOMPARE(m_settings.DirectoryProvider, QString("Classic"));
        QCOMPARE(stored(), before);

        // OK: applied at once, stored, and the new time-out is the next Start's watchdog.
        w->menuClick(9);
        dialog = openedOptions(*w);
        QVERIFY(dialog);
        QTemporaryDir other;
        dialog->folderChooser()->setText(other.path());
        dialog->timeOutBox()->ListIndex(1);
        dialog->directoryBox()->ListIndex(0);
        QCOMPARE(dialog->providerBox()->Text(), QString("Classic directory pages"));
        dialog->providerBox()->ListIndex(1);
        QCOMPARE(dialog->providerBox()->Text(), QString("Radio Browser"));
        dialog->findChild<QPushButton *>("cmdOK")->click();
        QTRY_VERIFY(!w->findChild<OptionsDialog *>());
        const QStringList now{other.path(), "From Station Name", "10", "RadioBrowser"};
        QCOMPARE((QStringList{m_settings.RecOutputDir, m_settings.RecStationType,
                              m_settings.ReqTimeOut, m_settings.DirectoryProvider}),
                 now);
        QCOMPARE(stored(), now);
        w->connection().Start();
        QCOMPARE(w->connection().TimerConnect().interval(), 10000);
        w->connection().Stop();

        // The dialog opens again on the stored choice, and going back is stored too.
        w->menuClick(9);
        dialog = openedOptions(*w);
        QVERIFY(dialog);
        QCOMPARE(dialog->providerBox()->Text(), QString("Radio Browser"));
        dialog->providerBox()->ListIndex(0);
        dialog->findChild<QPushButton *>("cmdOK")->click();
        QTRY_VERIFY(!w->findChild<OptionsDialog *>());
        QCOMPARE(stored().value(3), QString("Classic"));
    }

    void blankFolderIsRefusedAndUnknownRuleShownAsItIs() {
        m_settings.RecStationType = QStringLiteral("By Moon Phase");
        m_settings.SaveSettings();
        const QStringList before = stored();
        OptionsDialog dialog(m_settings, m_fixture.controls);
        QStringList told;
        dialog.setMessageHandler([&told](const QString &text) { told << text; });
        dialog.show();
        QCOMPARE(dialog.directoryBox()->Text(), QString("By Moon Phase"));
        dialog.folderChooser()->setText(QStringLiteral("   "));
        dialog.findChild<QPushButton *>("cmdOK")->click();
        QCOMPARE(told, QStringList{OptionsDialog::BlankFolderMessage});
        QVERIFY(dialog.isVisible());
        QCOMPARE(stored(), before);
        QVERIFY(m_settings.RecOutputDir != QStringLiteral("   "));
    }

    void setupAsksFirstWhileRecording() {
        QTemporaryDir recordings;
        m_settings.RecOutputDir = recordings.path();
        test::TestWindow w = m_fixture.window();
        w.model->recorder().Record();
        QVERIFY(w.model->recording().IsRecording);
        w->findChild<QPushButton *>("Command1")->click();
        QWidget *question = nullptr;
        QTRY_VERIFY((question = w->findChild<QWidget *>("frmRecWarning1")) &&
                    question->isVisible());
        question->findChild<QPushButton *>("cmdOK")->click();
        QVERIFY(openedOptions(*w));
        w->findChild<OptionsDialog *>()->reject();
        QTRY_VERIFY(!w->findChild<OptionsDialog *>());
        QVERIFY(w.model->recording().IsRecording);
        w.model->recorder().StopRecord();
    }
};

QTEST_MAIN(OptionsTest)
#include "tst_options.moc"
