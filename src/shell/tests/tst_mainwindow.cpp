// The main window hosting the stream engine: what a playing stream shows, and stopping.
#include "components/statuspanels.h"
#include "core/settings.h"
#include "directory/ui/stationgrid.h"
#include "library/ui/libraryfilemodel.h"
#include "library/ui/librarywindow.h"
#include "recorder/recorder.h"
#include "recorder/ui/recwarning.h"
#include "shell/ui/controllibrary.h"
#include "shell/ui/mainmenu.h"
#include "shell/ui/mainwindow.h"
#include "stream/engine.h"
#include "stream/playerstatus.h"
#include "stream/ui/frequencydisplay.h"
#include "streamsynth/mp3synth.h"
#include "streamsynth/streamserver.h"
#include "windowfixture.h"

#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <vector>

using namespace kestrune;
using namespace kestrune::testsupport;

// Counts the events of one type a widget receives.
class EventCounter : public QObject {
public:
    EventCounter(QObject *watched, QEvent::Type type)
        : m_type(type) {
        watched->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override {
        if (event->type() == m_type)
            ++count;
        return false;
    }

private:
    QEvent::Type m_type;
};

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    test::WindowFixture m_fixture;
    Settings &m_settings = m_fixture.settings;
    ControlLibrary &m_controls = m_fixture.controls;

    QString label(MainWindow &w, const char *name) { return w.findChild<QLabel *>(name)->text(); }

    static StreamServerOptions station(const QByteArray &audio) {
        StreamServerOptions o;
        o.responseHeader = "ICY 200 OK\r\nicy-name:Night Owl\r\nicy-genre:Jazz\r\n\r\n";
        o.audio = audio;
        return o;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_fixture.prepare());
        QCOMPARE(qEnvironmentVariable("KESTRUNE_AUDIO"), QString("null"));
    }

    void showsWhatThePlayingStreamSays() {
        Mp3Params params;
        params.seconds = 6;
        params.channels = 1;
        params.sampleRate = 22050;
        params.bitrateKbps = 64;
        PacedStreamServer server(station(synthesizeMp3(params)));
        server.options().bitrateKbps = 64;
        QVERIFY(server.listen());

        test::TestWindow w = m_fixture.window();
        MainWindow &window = *w;
        window.engine().play(server.url("/"));
        QTRY_COMPARE_WITH_TIMEOUT(window.statusPanels()->panelText(1),
                                  QString("Status: Playing stream"), 10000);
        QCOMPARE(label(window, "lblSampleRate"), QString("22050"));
        QCOMPARE(label(window, "lblBitrate"), QString("64 Kbps"));
        QCOMPARE(label(window, "lblChannels"), QString("Mono"));
        QVERIFY(window.stationGrid()->caption().startsWith("Status: Prebuffering "));
        QVERIFY(window.statusPanels()->panelText(2).startsWith("Buffer: "));
        const QString header = window.findChild<QPlainTextEdit *>("txtStream")->toPlainText();
        QVERIFY(header.startsWith("ICY 200 OK"));
        QVERIFY(header.contains("icy-name:Night Owl"));
        QVERIFY(header.contains("Samplerate: 22050  Bitrate: 64000 HeaderLen: "));
        QCOMPARE(window.findChild<QLineEdit *>("txtStatus")->text(), QString("Request completed"));
        QTRY_VERIFY_WITH_TIMEOUT(window.engine().output().bytesPlayed() > 0, 5000);

        window.findChild<QPushButton *>("cmdStopStreaming")->click();
        QCOMPARE(window.statusPanels()->panelText(1), QString("Status: Stopped"));
        QCOMPARE(window.statusPanels()->panelText(4), QString("Downloaded:"));
        QCOMPARE(label(window, "lblSampleRate"), QString());
        QCOMPARE(label(window, "lblChannels"), QString());
        QVERIFY(!window.engine().output().IsRunning());
        QVERIFY(!window.engine().client().isConnected());
    }

    // The ticks as the window shows them; the rules themselves are tested without a window.
    void statusTicksFollowThePlayersPhase() {
        test::TestWindow w = m_fixture.window();
        MainWindow &window = *w;
        PlayerStatus &status = window.model().status();
        auto *record = window.findChild<QPushButton *>("cmdRecord");
        auto *start = window.findChild<QPushButton *>("cmdStartStreaming");
        auto *info = window.findChild<QPushButton *>("cmdStationInfo");
        auto *spectrum = window.findChild<FrequencyDisplay *>("MMSpectrum1");

        // Nothing selected, nothing playing: no Start, no Record.
        window.Timer1Tick();
        QVERIFY(!start->isEnabled());
        QVERIFY(!record->isEnabled());
        QCOMPARE(window.statusPanels()->panelText(2), QString("Buffer: 0/409600 bytes (0%)..."));

        // Playing: Record and Station info become available, the figures show.
        status.setPlaying();
        QCOMPARE(window.statusPanels()->panelText(1), QString("Status: Playing stream"));
        window.Timer1Tick();
        QVERIFY(record->isEnabled());
        QVERIFY(info->isEnabled());
        QVERIFY(!start->isEnabled());
        // The menu's "Station info" and "Record" go with their buttons.
        MainMenu *menu = window.menu();
        QVERIFY(menu->isItemEnabled(MainMenu::StationInfoItem));
        QVERIFY(menu->isItemEnabled(MainMenu::RecordItem));
        QCOMPARE(window.findChild<QLabel *>("lblRecSize")->text(), QString("None"));
        QCOMPARE(window.statusPanels()->panelText(4), QString("Downloaded: 0.00 kb"));
        QCOMPARE(window.stationGrid()->caption(), QString(" Playing stream (Server 0 of 0)"));

        // Prebuffering or resyncing takes Record away again, whatever the tick before said.
        for (int i = 0; i < 2; ++i) {
            status.setPlaying();
            window.Timer1Tick();
            QVERIFY(record->isEnabled());
            if (i == 0)
                status.setPrebuffering(4096);
            else
                status.setResyncing();
            window.Timer1Tick();
            QVERIFY(!record->isEnabled());
            QVERIFY(!menu->isItemEnabled(MainMenu::RecordItem));
        }
        QCOMPARE(window.statusPanels()->panelText(1), QString("Status: Resync..."));

        // Every five seconds while playing the spectrum moves to its next look, 0 to 5.
        status.setPlaying();
        QList<int> looks;
        for (int i = 0; i < 7; ++i) {
            window.Timer2Tick();
            looks << spectrum->displaySetting();
        }
        QCOMPARE(looks, (QList<int>{1, 2, 3, 4, 5, 0, 1}));
        status.setStopped();
        window.Timer2Tick();
        QVERIFY(!info->isEnabled());
        QVERIFY(!menu->isItemEnabled(MainMenu::StationInfoItem));
        QCOMPARE(spectrum->displaySetting(), 1);
    }

    // The client's request for an address carries the information symbol; the rest of the
    // program's messages are plain boxes.
    void messagesCarryTheirSymbol() {
        test::TestWindow w = m_fixture.window();
        for (const auto &[icon, symbol] :
             {std::pair{MessageIcon::Information, QMessageBox::Information},
              std::pair{MessageIcon::None, QMessageBox::NoIcon}}) {
            Q_EMIT w.model->message(QStringLiteral("Please, enter the URL to retrieve."), icon);
            auto *box = w->findChild<QMessageBox *>("message");
            QVERIFY(box);
            QCOMPARE(box->icon(), symbol);
            QCOMPARE(box->text(), QString("Please, enter the URL to retrieve."));
            QCOMPARE(box->windowTitle(), QString("Kestrune"));
            box->button(QMessageBox::Ok)->click();
            QTRY_VERIFY(!w->findChild<QMessageBox *>("message"));
        }
    }

    // Start, Stop and closing the window ask before they end a recording; the other windows'
    // buttons ask whether to go on. Only Yes lets the action happen.
    void actionsAskBeforeInterruptingARecording() {
        QTemporaryDir recordings;
        m_settings.RecOutputDir = recordings.path();
        test::TestWindow w = m_fixture.window();
        m_settings.RecOutputDir = recordings.path();
        AppModel &model = *w.model;
        model.setLabel(StationLabel::Genre, "Jazz");
        model.setLabel(StationLabel::Station, "Night Owl");
        model.setLabel(StationLabel::Artist, "First Song");
        w->menu()->setItemEnabled(MainMenu::RecordItem, true);
        w->menuClick(MainMenu::RecordItem); // the menu's Record is the button's
        QVERIFY(model.recording().IsRecording);
        QVERIFY(!w->menu()->isItemEnabled(MainMenu::RecordItem));
        QCOMPARE(w->statusPanels()->panelText(3), QString("Recording: On"));
        QVERIFY(w->findChild<QWidget *>("ledRecording")->isVisibleTo(w.window.get()));
        QVERIFY(w->findChild<QPushButton *>("cmdStopRecord")->isEnabled());
        model.recorder().AppendToRecording(QByteArray(1000, 'x'));

        const auto answer = [&](const char *dialog, const char *button) {
            RecWarningDialog *d = nullptr;
            if (!QTest::qWaitFor(
                    [&] {
                        return (d = w->findChild<RecWarningDialog *>(dialog)) && d->isVisible();
                    },
                    3000))
                return QStringList();
            QStringList texts;
            for (const char *name : {"Label1", "Label2", "Label3"})
                if (auto *l = d->findChild<QLabel *>(name))
                    texts << l->text();
            texts << d->windowTitle();
            if (button)
                d->findChild<QPushButton *>(button)->click();
            else
                d->close();
            // The dialog deletes itself once it has answered.
            if (!QTest::qWaitFor([&] { return !w->findChild<RecWarningDialog *>(dialog); }, 3000))
                return QStringList();
            return texts;
        };

        w->findChild<QPushButton *>("cmdStopStreaming")->click();
        QCOMPARE(
            answer("frmRecWarning", "cmdCancel"),
            (QStringList{"You are currently recording music. Stop recording?", "Stop recording"}));
        QVERIFY(model.recording().IsRecording);
        w->findChild<QPushButton *>("cmdStopStreaming")->click();
        QVERIFY(!answer("frmRecWarning", nullptr).isEmpty()); // closed without a button: No
        QVERIFY(model.recording().IsRecording);

        w.window->close();
        QVERIFY(!answer("frmRecWarning", "cmdCancel").isEmpty());
        QVERIFY(w->isVisible());
        QVERIFY(model.recording().IsRecording);

        w->findChild<QPushButton *>("cmdStationInfo")->setEnabled(true);
        w->findChild<QPushButton *>("cmdStationInfo")->click();
        QCOMPARE(answer("frmRecWarning1", "cmdCancel"),
                 (QStringList{"You are currently recording music.",
                              "This action can interrupt the incoming audiostream", "Continue?",
                              "Stop recording"}));
        QVERIFY(!w->findChild<QDialog *>("frmStationInfo"));
        w->findChild<QPushButton *>("cmdStationInfo")->click();
        QVERIFY(!answer("frmRecWarning1", "cmdOK").isEmpty());
        QTRY_VERIFY(w->findChild<QDialog *>("frmStationInfo"));
        QVERIFY(model.recording().IsRecording); // the recording goes on
        w->findChild<QDialog *>("frmStationInfo")->close();

        // The library opens after the same question, shows the recording's folder and will
        // not delete the file being written (more than the recorder gathers, so it is on disk).
        model.recorder().AppendToRecording(QByteArray(20000, 'x'));
        auto *libraryButton = w->findChild<QPushButton *>("Command4");
        QCOMPARE(libraryButton->text(), QString("Recording Library"));
        libraryButton->setEnabled(true);
        libraryButton->click();
        QVERIFY(!answer("frmRecWarning1", "cmdOK").isEmpty());
        LibraryWindow *library = nullptr;
        QTRY_VERIFY((library = w->findChild<LibraryWindow *>("frmLibrary")) &&
                    library->isVisible());
        QCOMPARE(library->tree()->topLevelItem(0)->child(0)->text(0), QString("Jazz"));
        QStringList told;
        LibraryPrompts prompts;
        prompts.askYesNo = [](QWidget *, const QString &, const QString &,
                              LibraryPrompts::YesNo yes) { yes(true); };
        prompts.tell = [&told](QWidget *, const QString &text) { told << text; };
        library->setPrompts(prompts);
        QSignalSpy shown(library, &LibraryWindow::folderShown);
        library->showFolder("Jazz");
        QTRY_COMPARE(shown.size(), 1);
        QCOMPARE(library->files().rowCount(), 1);
        library->selectRow(0);
        library->fileList()->selectionModel()->select(library->files().index(0, 0),
                                                      QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
        library->Delete();
        QCOMPARE(told.size(), 1);
        QVERIFY(QFileInfo::exists(model.recording().RecFileName));
        library->findChild<QPushButton *>("Command1")->click();
        QTRY_VERIFY(!w->findChild<LibraryWindow *>("frmLibrary"));
        QVERIFY(model.recording().IsRecording);

        // Yes on Stop: the recording ends, tagged, then the stream stops.
        const QString file = model.recording().RecFileName;
        w->findChild<QPushButton *>("cmdStopStreaming")->click();
        QVERIFY(!answer("frmRecWarning", "cmdOK").isEmpty());
        QVERIFY(!model.recording().IsRecording);
        QCOMPARE(QFileInfo(file).size(), 1000 + 20000 + 128);
        QCOMPARE(w->statusPanels()->panelText(3), QString("Recording: Off"));
        QCOMPARE(w->statusPanels()->panelText(1), QString("Status: Stopped"));

        // Yes on closing: tagged, and the window closes.
        model.recorder().Record();
        model.recorder().AppendToRecording(QByteArray(10, 'y'));
        const QString second = model.recording().RecFileName;
        QSignalSpy closed(w.window.get(), &MainWindow::closed);
        w.window->close();
        QVERIFY(!answer("frmRecWarning", "cmdOK").isEmpty());
        QTRY_COMPARE(closed.size(), 1);
        QCOMPARE(QFileInfo(second).size(), 10 + 128);
        QVERIFY(!model.recording().IsRecording);
    }

    // Nobody can see the spectrum of a hidden or minimised window: the played sound is then
    // neither analysed nor painted, and shown again the spectrum follows the sound at once.
    void spectrumRestsWhileTheWindowCannotBeSeen() {
        Mp3Params params;
        params.seconds = 20;
        PacedStreamServer server(station(synthesizeMp3(params)));
        server.options().bitrateKbps = params.bitrateKbps;
        QVERIFY(server.listen());
        test::TestWindow w = m_fixture.window();
        MainWindow &window = *w;
        auto *display = window.findChild<FrequencyDisplay *>("MMSpectrum1");
        FrequencyAnalyser &analyser = window.model().spectrum();
        EventCounter paints(display, QEvent::Paint);
        int blocks = 0;
        connect(&window.engine().output(), &AudioOutput::played, display, [&] { ++blocks; });
        const auto playOn = [&](int more) {
            const int until = blocks + more;
            return QTest::qWaitFor([&] { return blocks >= until; }, 10000);
        };
        const auto loudest = [](const FrequencyLevels &levels) {
            return *std::max_element(levels.bands.begin(), levels.bands.end());
        };

        window.engine().play(server.url("/"));
        QTRY_VERIFY_WITH_TIMEOUT(loudest(display->levels()) > 0.5f, 10000);
        // Shown, the levels move with the sound (so that standing still below means something).
        std::vector<float> before = analyser.levels().bands;
        paints.count = 0;
        QVERIFY(playOn(10));
        QVERIFY(analyser.levels().bands != before);
        QTRY_VERIFY_WITH_TIMEOUT(paints.count > 0, 5000);
        QCOMPARE(display->levels().bands, analyser.levels().bands);

        const auto restsWhile = [&](const char *what) {
            QCoreApplication::processEvents(); // a repaint asked for before
            paints.count = 0;
            const std::vector<float> held = analyser.levels().bands;
            const std::vector<float> shown = display->levels().bands;
            if (!playOn(10))
                return false;
            if (analyser.levels().bands != held || display->levels().bands != shown ||
                paints.count != 0) {
                qWarning("%s: still analysed or painted (%d paints)", what, paints.count);
                return false;
            }
            return true;
        };
        const auto followsAgain = [&] {
            const std::vector<float> held = analyser.levels().bands;
            paints.count = 0;
            return QTest::qWaitFor(
                [&] {
                    return analyser.levels().bands != held && paints.count > 0 &&
                           display->levels().bands == analyser.levels().bands;
                },
                10000);
        };

        window.hide();
        QVERIFY(restsWhile("hidden"));
        window.show();
        QVERIFY(followsAgain());

        // Offscreen a minimised window stays mapped and would go on painting.
        window.showMinimized();
        QVERIFY(window.isMinimized());
        QVERIFY(restsWhile("minimised"));
        window.showNormal();
        QVERIFY(followsAgain());

        // The same levels again (silence, a repeated analysis) paint nothing.
        QCoreApplication::processEvents();
        window.findChild<QPushButton *>("cmdStopStreaming")->click();
        QTRY_VERIFY_WITH_TIMEOUT(loudest(display->levels()) == 0.0f, 5000);
        QCoreApplication::processEvents();
        paints.count = 0;
        display->setLevels(display->levels());
        QCoreApplication::processEvents();
        QCOMPARE(paints.count, 0);
    }

    // A new text in a status panel repaints that panel and lays nothing out again (the buffer
    // figure changes with every read from the network); the same text again does nothing.
    void statusPanelsChangeWithoutLayingOutTheBar() {
        test::TestWindow w = m_fixture.window();
        MainWindow &window = *w;
        StatusPanels *bar = window.statusPanels();
        auto *panel = bar->findChild<QLabel *>("StatusBar1Panel2");
        QVERIFY(panel);
        EventCounter layouts(bar, QEvent::LayoutRequest);
        EventCounter paints(panel, QEvent::Paint);
        QCoreApplication::processEvents();
        layouts.count = 0;
        paints.count = 0;

        bar->setPanelText(2, QStringLiteral("Buffer: 4096/409600 bytes (1%)..."));
        QTRY_VERIFY_WITH_TIMEOUT(paints.count > 0, 5000);
        QCOMPARE(layouts.count, 0);
        bar->setPanelText(2, QStringLiteral("Buffer: 409600/409600 bytes (100%)..."));
        QTRY_VERIFY_WITH_TIMEOUT(paints.count > 1, 5000);
        QCOMPARE(layouts.count, 0);
        QCOMPARE(bar->panelText(2), QString("Buffer: 409600/409600 bytes (100%)..."));
        paints.count = 0;
        bar->setPanelText(2, QStringLiteral("Buffer: 409600/409600 bytes (100%)..."));
        QCoreApplication::processEvents();
        QCOMPARE(paints.count, 0);
        QCOMPARE(layouts.count, 0);

        // The panels still share the bar's width, wide enough for the program's own texts.
        const auto checkPanels = [&] {
            int right = 0;
            for (int i = 1; i <= StatusPanels::PanelCount; ++i) {
                auto *p = bar->findChild<QLabel *>(QStringLiteral("StatusBar1Panel%1").arg(i));
                QVERIFY(p->geometry().left() >= right);
                right = p->geometry().right();
            }
            QVERIFY(right < bar->width());
            QVERIFY(right > bar->width() - 20);
            QVERIFY(panel->contentsRect().width() >=
                    panel->fontMetrics().horizontalAdvance(bar->panelText(2)));
            auto *first = bar->findChild<QLabel *>("StatusBar1Panel1");
            QVERIFY(first->contentsRect().width() >=
                    first->fontMetrics().horizontalAdvance("Status: Playing stream"));
        };
        checkPanels();
        window.resize(window.width() + 200, window.height());
        QTRY_VERIFY_WITH_TIMEOUT(bar->width() >= window.width() - 10, 5000);
        QCoreApplication::processEvents();
        checkPanels();
    }

    // Minimised, a new figure waits unpainted; it shows when the window comes back.
    void statusPanelsWaitWhileMinimised() {
        test::TestWindow w = m_fixture.window();
        MainWindow &window = *w;
        StatusPanels *bar = window.statusPanels();
        auto *panel = bar->findChild<QLabel *>("StatusBar1Panel4");
        bar->setPanelText(4, QStringLiteral("Downloaded: 1.00 kb"));
        window.showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(window.isMinimized(), 5000);
        QCoreApplication::processEvents(); // what minimising itself repaints
        EventCounter paints(panel, QEvent::Paint);
        bar->setPanelText(4, QStringLiteral("Downloaded: 2.00 kb"));
        QCoreApplication::processEvents();
        QCOMPARE(panel->text(), QString("Downloaded: 1.00 kb"));
        QCOMPARE(bar->panelText(4), QString("Downloaded: 2.00 kb"));
        QCOMPARE(paints.count, 0);
        window.showNormal();
        QTRY_COMPARE_WITH_TIMEOUT(panel->text(), QString("Downloaded: 2.00 kb"), 5000);
        QCOMPARE(bar->panelText(4), QString("Downloaded: 2.00 kb"));
    }

    void aStreamWithoutFramesIsReportedWithoutBlocking() {
        StreamServerOptions o = station(QByteArray(1000, 'x'));
        o.fault = StreamFault::Garbage;
        PacedStreamServer server(o);
        QVERIFY(server.listen());
        test::TestWindow w = m_fixture.window();
        MainWindow &window = *w;
        window.engine().play(server.url("/"));
        QMessageBox *box = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((box = window.findChild<QMessageBox *>("message")), 10000);
        QCOMPARE(box->text(), QString("Unable to open stream !"));
        QCOMPARE(window.statusPanels()->panelText(1), QString("Status: Stopped"));
        box->button(QMessageBox::Ok)->click();
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
