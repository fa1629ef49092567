// The main window hosting the stream engine: what a playing stream shows, and stopping.
#include "components/statuspanels.h"
#include "core/settings.h"
#include "directory/ui/stationgrid.h"
#include "shell/ui/controllibrary.h"
#include "shell/ui/mainwindow.h"
#include "stream/engine.h"
#include "stream/ui/spectrumdisplay.h"
#include "streamsynth/mp3synth.h"
#include "streamsynth/streamserver.h"
#include "windowfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrune;
using namespace kestrune::testsupport;

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

        MainWindow window(m_settings, m_controls);
        window.Load(nullptr);
        window.engine().play(server.url("/"));
        QTRY_COMPARE_WITH_TIMEOUT(window.StatusBar1()->panelText(1),
                                  QString("Status: Playing stream"), 10000);
        QCOMPARE(label(window, "lblSampleRate"), QString("22050"));
        QCOMPARE(label(window, "lblBitrate"), QString("64 Kbps"));
        QCOMPARE(label(window, "lblChannels"), QString("Mono"));
        QVERIFY(window.ctList1()->caption().startsWith("Status: Prebuffering "));
        QVERIFY(window.StatusBar1()->panelText(2).startsWith("Buffer: "));
        const QString header = window.findChild<QPlainTextEdit *>("txtStream")->toPlainText();
        QVERIFY(header.startsWith("ICY 200 OK"));
        QVERIFY(header.contains("icy-name:Night Owl"));
        QVERIFY(header.contains("Samplerate: 22050  Bitrate: 64000 HeaderLen: "));
        QCOMPARE(window.findChild<QLineEdit *>("txtStatus")->text(), QString("Request completed"));
        QTRY_VERIFY_WITH_TIMEOUT(window.engine().output().bytesPlayed() > 0, 5000);

        window.findChild<QPushButton *>("cmdStopStreaming")->click();
        QCOMPARE(window.StatusBar1()->panelText(1), QString("Status: Stopped"));
        QCOMPARE(window.StatusBar1()->panelText(4), QString("Downloaded:"));
        QCOMPARE(label(window, "lblSampleRate"), QString());
        QCOMPARE(label(window, "lblChannels"), QString());
        QVERIFY(!window.engine().output().IsRunning());
        QVERIFY(!window.engine().client().isConnected());
    }

    void statusTicksFollowThePanelText() {
        MainWindow window(m_settings, m_controls);
        window.Load(nullptr);
        auto *record = window.findChild<QPushButton *>("cmdRecord");
        auto *start = window.findChild<QPushButton *>("cmdStartStreaming");
        auto *info = window.findChild<QPushButton *>("cmdStationInfo");
        auto *spectrum = window.findChild<SpectrumDisplay *>("MMSpectrum1");

        // Nothing selected, nothing playing: no Start, no Record.
        window.Timer1Tick();
        QVERIFY(!start->isEnabled());
        QVERIFY(!record->isEnabled());
        QCOMPARE(window.StatusBar1()->panelText(2), QString("Buffer: 0/409600 bytes (0%)..."));

        // Playing: Record and Station info become available, the figures show.
        window.StatusBar1()->setPanelText(1, "Status: Playing stream");
        window.Timer1Tick();
        QVERIFY(record->isEnabled());
        QVERIFY(info->isEnabled());
        QVERIFY(!start->isEnabled());
        QCOMPARE(window.findChild<QLabel *>("lblRecSize")->text(), QString("None"));
        QCOMPARE(window.StatusBar1()->panelText(4), QString("Downloaded: 0.00 kb"));
        QCOMPARE(window.ctList1()->caption(), QString(" Playing stream (Server 0 of 0)"));

        // Prebuffering or resyncing takes Record away again, whatever the tick before said.
        for (const char *text :
             {"Status: Prebuffering 4096/65536 bytes (6%)...", "Status: Resync..."}) {
            window.StatusBar1()->setPanelText(1, "Status: Playing stream");
            window.Timer1Tick();
            QVERIFY(record->isEnabled());
            window.StatusBar1()->setPanelText(1, text);
            window.Timer1Tick();
            QVERIFY(!record->isEnabled());
        }

        // Every five seconds while playing the spectrum moves to its next look, 0 to 5.
        window.StatusBar1()->setPanelText(1, "Status: Playing stream");
        QList<int> looks;
        for (int i = 0; i < 7; ++i) {
            window.Timer2Tick();
            looks << spectrum->displaySetting();
        }
        QCOMPARE(looks, (QList<int>{1, 2, 3, 4, 5, 0, 1}));
        window.StatusBar1()->setPanelText(1, "Status: Stopped");
        window.Timer2Tick();
        QVERIFY(!info->isEnabled());
        QCOMPARE(spectrum->displaySetting(), 1);
    }

    void aStreamWithoutFramesIsReportedWithoutBlocking() {
        StreamServerOptions o = station(QByteArray(1000, 'x'));
        o.fault = StreamFault::Garbage;
        PacedStreamServer server(o);
        QVERIFY(server.listen());
        MainWindow window(m_settings, m_controls);
        window.Load(nullptr);
        window.engine().play(server.url("/"));
        QMessageBox *box = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((box = window.findChild<QMessageBox *>("message")), 10000);
        QCOMPARE(box->text(), QString("Unable to open stream !"));
        QCOMPARE(window.StatusBar1()->panelText(1), QString("Status: Stopped"));
        box->button(QMessageBox::Ok)->click();
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
