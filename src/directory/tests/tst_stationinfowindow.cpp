// The station information window, offscreen, against the station simulator and scripted
// servers on 127.0.0.1: what it loads on opening, Refresh, links, and what it never loads.
#include "directory/ui/stationinfowindow.h"
#include "recorder/nowplaying.h"
#include "recorder/tests/pageserver.h"
#include "stationsim/pages.h"
#include "stationsim/simulator.h"

#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>

using namespace kestrune;
using kestrune::testsupport::PageAnswer;
using kestrune::testsupport::pageAnswer;
using kestrune::testsupport::PageServer;

namespace {

constexpr int WaitMs = 8000;

QByteArray numberedPage(const QByteArray &what, int visit) {
    return "<html><body><p>" + what + " visit " + QByteArray::number(visit) + "</p></body></html>";
}

// Clicks the link whose target reads `href`, as a person would; false if it is not shown.
bool clickLink(QTextBrowser *view, const QString &href) {
    for (QTextBlock block = view->document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isAnchor() || fragment.charFormat().anchorHref() != href)
                continue;
            QTextCursor cursor(view->document());
            cursor.setPosition(fragment.position() + 1);
            const QPoint at = view->cursorRect(cursor).center() - QPoint(2, 0);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
            return true;
        }
    }
    return false;
}

} // namespace

class StationInfoWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void opensWithTheStationsThreePages() {
        using namespace kestrune::stationsim;
        StationSimulator sim(FreePortOptions());
        QVERIFY(sim.start());
        const Station &station = sim.catalogue().stations(Catalogue::defaultGenre()).first();
        const QString server =
            QStringLiteral("http://127.0.0.1:%1/%2").arg(sim.streamPorts().at(0)).arg(station.id);

        StationInfoWindow window(homeUrl(sim.directoryPort(), station.id), server);
        QSignalSpy done(&window, &StationInfoWindow::pageDone);
        QCOMPARE(window.objectName(), QStringLiteral("frmStationInfo"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Station info"));
        QTabWidget *tabs = window.findChild<QTabWidget *>(QStringLiteral("SSActiveTabs2"));
        QVERIFY(tabs);
        QCOMPARE(tabs->count(), 3);
        QCOMPARE(tabs->currentIndex(), 0);
        const QStringList captions = {QStringLiteral("Website"), QStringLiteral("Song history"),
                                      QStringLiteral("Station info")};
        const QStringList names = {QStringLiteral("WebBrowser1"), QStringLiteral("WebBrowser4"),
                                   QStringLiteral("WebBrowser3")};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(tabs->tabText(i), captions[i]);
            QCOMPARE(tabs->widget(i)->objectName(), names[i]);
            QVERIFY(qobject_cast<QTextBrowser *>(tabs->widget(i)));
        }
        auto *refresh = window.findChild<QPushButton *>(QStringLiteral("cmdRefresh"));
        auto *ok = window.findChild<QPushButton *>(QStringLiteral("Command1"));
        QVERIFY(refresh && ok);
        QCOMPARE(refresh->text(), QStringLiteral("&Refresh"));
        QCOMPARE(ok->text(), QStringLiteral("OK"));

        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 3, WaitMs);
        for (const QList<QVariant> &signal : done)
            QVERIFY(signal.at(1).toBool());
        // Shown as pages, not as markup.
        const QString site = window.websiteView()->toPlainText();
        QVERIFY2(site.contains(station.name) && !site.contains(QLatin1String("<h1>")),
                 qPrintable(site));
        const QString history = window.historyView()->toPlainText();
        QVERIFY2(history.contains(station.songAt(0)) &&
                     history.contains(QLatin1String("Played at")),
                 qPrintable(history));
        const QString status = window.statusView()->toPlainText();
        QVERIFY2(status.contains(QLatin1String("Current Song:")) &&
                     status.contains(station.songAt(sim.songSlot())),
                 qPrintable(status));
    }

    void websiteOnlyForWebAddresses_data() {
        QTest::addColumn<QString>("link");
        QTest::newRow("empty") << QString();
        QTest::newRow("local file") << QStringLiteral("file:///etc/hostname");
        QTest::newRow("script") << QStringLiteral("javascript:alert(1)");
        QTest::newRow("other scheme, same server") << QStringLiteral("ftp://127.0.0.1:%1/site");
        QTest::newRow("no scheme") << QStringLiteral("127.0.0.1:%1/site");
    }
    void websiteOnlyForWebAddresses() {
        QFETCH(QString, link);
        PageServer server;
        QVERIFY(server.listen());
        server.answer("/site", pageAnswer(numberedPage("site", 1)));
        server.answer("/s", pageAnswer(numberedPage("status", 1)));
        server.answer("/s/played.html", pageAnswer(numberedPage("history", 1)));
        if (link.contains(QLatin1String("%1")))
            link = link.arg(server.port());
        StationInfoWindow window(link, server.url("/s"));
        QSignalSpy done(&window, &StationInfoWindow::pageDone);
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, WaitMs);
        window.refreshButton()->click(); // the website tab is selected
        QTest::qWait(100);
        QCOMPARE(server.hits("/site"), 0);
        QCOMPARE(window.websiteView()->toPlainText(), QString());
        QCOMPARE(done.size(), 2);
    }

    void refreshReloadsTheSelectedTabOnly() {
        PageServer server;
        QVERIFY(server.listen());
        server.answer("/site", pageAnswer(numberedPage("site", 1)));
        server.answer("/s", pageAnswer(numberedPage("status", 1)));
        server.answer("/s/played.html", pageAnswer(numberedPage("history", 1)));
        StationInfoWindow window(server.url("/site"), server.url("/s"));
        QSignalSpy done(&window, &StationInfoWindow::pageDone);
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 3, WaitMs);
        QCOMPARE(window.historyView()->toPlainText(), QStringLiteral("history visit 1"));

        const struct {
            int tab;
            QByteArray path;
            QByteArray what;
            QTextBrowser *view;
        } cases[] = {{1, "/s/played.html", "history", window.historyView()},
                     {2, "/s", "status", window.statusView()},
                     {0, "/site", "site", window.websiteView()}};
        int visits = 1;
        for (const auto &c : cases) {
            ++visits;
            server.answer(c.path, pageAnswer(numberedPage(c.what, visits)));
            window.tabs()->setCurrentIndex(c.tab);
            const qsizetype before = done.size();
            window.refreshButton()->click();
            QTRY_COMPARE_WITH_TIMEOUT(done.size(), before + 1, WaitMs);
            QCOMPARE(done.last().at(0).value<QTextBrowser *>(), c.view);
            QCOMPARE(c.view->toPlainText(),
                     QString::fromLatin1(c.what) + QStringLiteral(" visit %1").arg(visits));
        }
        QTest::qWait(100);
        QCOMPARE(server.hits("/site"), 2);
        QCOMPARE(server.hits("/s"), 2);
        QCOMPARE(server.hits("/s/played.html"), 2);
        QCOMPARE(done.size(), 6);
        // Named as a browser, like the now-playing poll.
        QVERIFY(server.lastRequest("/s").contains("\r\nUser-Agent: Mozilla/5.0"));
    }

    void loadsNothingForThePage() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        const QString file = dir.filePath(QStringLiteral("picture.png"));
        QVERIFY(picture.save(file));
        const QUrl fileUrl = QUrl::fromLocalFile(file);

        PageServer server;
        QVERIFY(server.listen());
        server.answer("/site", pageAnswer("<html><head><link rel=stylesheet href=/style.css>"
                                          "</head><body><img src=\"" +
                                          fileUrl.toEncoded() + "\"><img src=\"" + file.toUtf8() +
                                          "\"><img src=\"/picture.png\">"
                                          "<script>document.write('ran')</script>text</body>"));
        server.answer("/picture.png", pageAnswer(QByteArray(64, 'x'), "image/png"));
        StationInfoWindow window(server.url("/site"), QString());
        window.show();
        QSignalSpy done(&window, &StationInfoWindow::pageDone);
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, WaitMs);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.websiteView()->repaint();

        QTextDocument *document = window.websiteView()->document();
        for (const QUrl &url : {fileUrl, QUrl(file)}) {
            const QVariant resource = document->resource(QTextDocument::ImageResource, url);
            QImage loaded = resource.value<QImage>();
            if (loaded.isNull())
                loaded.loadFromData(resource.toByteArray());
            QVERIFY2(loaded.isNull(), qPrintable(url.toString()));
        }
        QVERIFY(!window.websiteView()->toPlainText().contains(QLatin1String("ran")));
        QTest::qWait(100);
        QCOMPARE(server.hits("/picture.png"), 0);
        QCOMPARE(server.hits("/style.css"), 0);
    }

    void linksOpenInTheUsersBrowser() {
        PageServer server;
        QVERIFY(server.listen());
        server.answer(
            "/site", pageAnswer("<html><body><p><a href=\"http://example.invalid/a\">away</a></p>"
                                "<p><a href=\"/local/b?x=1\">near</a></p>"
                                "<p><a href=\"file:///etc/hostname\">file</a></p>"
                                "<p><a href=\"javascript:alert(1)\">script</a></p></body></html>"));
        StationInfoWindow window(server.url("/site"), QString());
        QList<QUrl> opened;
        window.setUrlOpener([&opened](const QUrl &url) { opened << url; });
        QSignalSpy done(&window, &StationInfoWindow::pageDone);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, WaitMs);

        QTextBrowser *view = window.websiteView();
        QVERIFY(clickLink(view, QStringLiteral("http://example.invalid/a")));
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 1, WaitMs);
        QCOMPARE(opened.last(), QUrl(QStringLiteral("http://example.invalid/a")));
        QVERIFY(clickLink(view, QStringLiteral("/local/b?x=1")));
        QTRY_COMPARE_WITH_TIMEOUT(opened.size(), 2, WaitMs);
        QCOMPARE(opened.last(), QUrl(server.url("/local/b?x=1")));
        QVERIFY(clickLink(view, QStringLiteral("file:///etc/hostname")));
        QVERIFY(clickLink(view, QStringLiteral("javascript:alert(1)")));
        QTest::qWait(200);
        QCOMPARE(opened.size(), 2);
        // The view itself went nowhere.
        QCOMPARE(server.hits("/local/b?x=1"), 0);
        QVERIFY(view->toPlainText().contains(QLatin1String("away")));
    }

    void failedPageSaysSo() {
        PageServer server;
        QVERIFY(server.listen());
        const QString status = server.url("/s");
        server.close(); // nobody answers there any more
        StationInfoWindow window(QString(), status);
        QSignalSpy done(&window, &StationInfoWindow::pageDone);
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, WaitMs);
        for (const QList<QVariant> &signal : done)
            QVERIFY(!signal.at(1).toBool());
        QVERIFY(
            window.statusView()->toPlainText().startsWith(status + QLatin1String(" could not")));
        QVERIFY(
            window.historyView()->toPlainText().startsWith(status + QLatin1String("/played.html")));
    }

    void okClosesAndTheInstanceGoes() {
        PageServer server;
        QVERIFY(server.listen());
        server.answer("/s", pageAnswer(numberedPage("status", 1)));
        QPointer<StationInfoWindow> window = new StationInfoWindow(QString(), server.url("/s"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->open();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::mouseClick(window->okButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), WaitMs);
    }

    void itsStatusFetchNeverFeedsTheTracker() {
        PageServer server;
        QVERIFY(server.listen());
        server.answer("/s", pageAnswer("<body><table><tr><td width=100 nowrap><font "
                                       "class=default>Current Song: </font></td><td><font "
                                       "class=default><b>Song</b></td></tr></table></body>"));
        NowPlayingTracker tracker([&server] { return server.url("/s"); });
        QSignalSpy songs(&tracker, &NowPlayingTracker::songRead);
        StationInfoWindow window(QString(), server.url("/s"));
        QSignalSpy done(&window, &StationInfoWindow::pageDone);
        QTRY_VERIFY_WITH_TIMEOUT(std::any_of(done.cbegin(), done.cend(),
                                             [&](const QList<QVariant> &s) {
                                                 return s.at(0).value<QTextBrowser *>() ==
                                                        window.statusView();
                                             }),
                                 WaitMs);
        const QString shown = window.statusView()->toPlainText();
        QVERIFY2(shown.contains(QRegularExpression(QStringLiteral("Current Song:\\s+Song"))),
                 qPrintable(shown));
        QCOMPARE(server.hits("/s"), 1);
        QCOMPARE(songs.size(), 0);
        // The tracker's own poll of the same page does read it.
        tracker.GetArtist();
        QTRY_COMPARE_WITH_TIMEOUT(songs.size(), 1, WaitMs);
    }

    // An Icecast station: the Song history tab shows the titles the tracker saw, newest
    // first with the time each was first seen, as plain text; the server is not asked for a
    // history page. Refresh shows what has been seen since. A classic station (no titles
    // given) still gets its played.html.
    void icecastHistory() {
        PageServer server;
        QVERIFY(server.listen());
        server.answer("/s/played.html", pageAnswer(numberedPage("played", 1)));
        const QDateTime day(QDate(2024, 5, 6), QTime(0, 0));
        std::optional<QList<SeenSong>> seen = QList<SeenSong>{
            {day.addSecs(13 * 3600 + 4 * 60 + 5), QStringLiteral("Second <b>bold</b> & co")},
            {day.addSecs(9 * 3600 + 8), QStringLiteral("First")}};
        StationInfoWindow window(QString(), server.url("/s"), [&seen] { return seen; });
        const QString shown = window.historyView()->toPlainText();
        const qsizetype second = shown.indexOf(QLatin1String("13:04:05"));
        const qsizetype first = shown.indexOf(QLatin1String("09:00:08"));
        QVERIFY2(second >= 0 && first > second, qPrintable(shown));
        QVERIFY2(shown.indexOf(QLatin1String("Second <b>bold</b> & co")) > second &&
                     shown.indexOf(QLatin1String("First")) > first,
                 qPrintable(shown));

        seen->prepend({day.addSecs(23 * 3600 + 59 * 60 + 59), QStringLiteral("Third")});
        window.tabs()->setCurrentIndex(1);
        QTest::mouseClick(window.refreshButton(), Qt::LeftButton);
        const QString refreshed = window.historyView()->toPlainText();
        QVERIFY2(refreshed.indexOf(QLatin1String("23:59:59")) >= 0 &&
                     refreshed.indexOf(QLatin1String("23:59:59")) <
                         refreshed.indexOf(QLatin1String("13:04:05")),
                 qPrintable(refreshed));
        QTest::qWait(200);
        QCOMPARE(server.hits("/s/played.html"), 0);

        seen = QList<SeenSong>();
        QTest::mouseClick(window.refreshButton(), Qt::LeftButton);
        QVERIFY(!window.historyView()->toPlainText().contains(QLatin1String("Third")));

        // Classic: nothing seen by the tracker, the server's own page.
        StationInfoWindow classic(QString(), server.url("/s"),
                                  [] { return std::optional<QList<SeenSong>>(); });
        QTRY_VERIFY_WITH_TIMEOUT(
            classic.historyView()->toPlainText().contains(QLatin1String("played")), WaitMs);
        QCOMPARE(server.hits("/s/played.html"), 1);
    }
};

QTEST_MAIN(StationInfoWindowTest)
#include "tst_stationinfowindow.moc"
