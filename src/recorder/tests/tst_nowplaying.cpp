// The now-playing tracker: the markup normaliser, the song cut and the page decoding as pure
// functions, then polls over real sockets on 127.0.0.1 against scripted servers and the
// station simulator.
#include "pageserver.h"
#include "recorder/nowplaying.h"
#include "recorder/pagefetcher.h"
#include "stationsim/icecastmount.h"
#include "stationsim/pages.h"
#include "stationsim/simulator.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using namespace kestrune;
using kestrune::testsupport::PageAnswer;
using kestrune::testsupport::pageAnswer;
using kestrune::testsupport::PageServer;

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(kestrune::testsupport::PageAnswer)

namespace {

constexpr int WaitMs = 8000;

// The song row as status servers of the period wrote it.
QByteArray realRow(const QByteArray &song) {
    return "<tr><td width=100 nowrap><font class=default>Current Song: </font></td><td><font "
           "class=default><b>" +
           song + "</b></td></tr>";
}

QByteArray statusPage(const QByteArray &song, const QByteArray &headExtra = {}) {
    return "<html><head><title>Status</title>" + headExtra +
           "</head><body bgcolor=#000000>\n<table>\n"
           "<tr><td width=100 nowrap><font class=default>Server Status: </font></td><td><font "
           "class=default><b>Server is up</b></td></tr>\n" +
           realRow(song) + "\n</table>\n</body></html>\n";
}

std::optional<QString> songOf(const QByteArray &page, const QByteArray &contentType = {}) {
    return SongFromStatusPage(NormaliseStatusMarkup(DecodeStatusPage(page, contentType)));
}

// A tracker on an address the test can change, with its fetch's outcomes counted, so a
// test knows a poll is over without waiting blindly.
struct Poller {
    Poller() {
        tracker.setStreamHead([this] { return head; });
    }

    QString address;
    QString head; // the stream's response head
    NowPlayingTracker tracker{[this] { return address; }};
    QSignalSpy songs{&tracker, &NowPlayingTracker::songRead};
    PageFetcher *fetcher = tracker.findChildren<PageFetcher *>().value(0);
    QSignalSpy fetched{fetcher, &PageFetcher::pageFetched};
    QSignalSpy failed{fetcher, &PageFetcher::fetchFailed};
    // The fetch of an Icecast server's listing.
    PageFetcher *statusFetcher = tracker.findChildren<PageFetcher *>().value(1);
    QSignalSpy statusFetched{statusFetcher, &PageFetcher::pageFetched};
    QSignalSpy statusFailed{statusFetcher, &PageFetcher::fetchFailed};

    int statusOutcomes() const { return int(statusFetched.size() + statusFailed.size()); }
    // Polls and waits for the listing's fetch to end too; true if both ended in time.
    bool pollListing() {
        const int before = statusOutcomes();
        return poll() && QTest::qWaitFor([&] { return statusOutcomes() > before; }, WaitMs);
    }

    int outcomes() const { return int(fetched.size() + failed.size()); }
    bool pollDone(int before) {
        return QTest::qWaitFor([&] { return outcomes() > before; }, WaitMs);
    }
    // Polls and waits for the fetch to end; true if it ended in time.
    bool poll() {
        const int before = outcomes();
        tracker.GetArtist();
        return pollDone(before);
    }
    QString lastSong() const { return songs.isEmpty() ? QString() : songs.last().at(0).toString(); }
};

} // namespace

class NowPlayingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // --- the pure functions ----------------------------------------------------------------

    void realRowAsTheOldBrowserGaveIt() {
        const QString normalised = NormaliseStatusMarkup(QString::fromLatin1(realRow("SONG")));
        QCOMPARE(normalised,
                 QStringLiteral("\r\n<TR>\r\n<TD width=100 nowrap><FONT class=default>Current "
                                "Song: </FONT></TD>\r\n<TD><FONT class=default><B>SONG</B></TD>"
                                "</TR>"));
        // 53 characters on in the server's markup, 55 in the browser's.
        const QByteArray raw = realRow("SONG");
        QCOMPARE(raw.mid(raw.indexOf("Current Song") + 53, 4), QByteArray("SONG"));
        QCOMPARE(normalised.mid(normalised.indexOf(QLatin1String("Current Song")) + SongOffset, 4),
                 QStringLiteral("SONG"));
        QCOMPARE(SongFromStatusPage(normalised), std::optional<QString>(QStringLiteral("SONG")));
        // The raw markup read with the browser's rules finds nothing where the song should be.
        QCOMPARE(SongFromStatusPage(QString::fromLatin1(raw)), std::optional<QString>(QString()));
    }

    void normaliser_data() {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no body: everything")
            << QStringLiteral("<p>a<br>b</p>") << QStringLiteral("<P>a<BR>b</P>");
        QTest::newRow("body inner markup only")
            << QStringLiteral("<html><head><title>T</title></head><body class=x><b>x</b></body>"
                              "</html>")
            << QStringLiteral("<B>x</B>");
        QTest::newRow("body without its end")
            << QStringLiteral("<HTML><Body>\n<i>y</i>") << QStringLiteral("\n<I>y</I>");
        QTest::newRow("attributes and text keep their case")
            << QStringLiteral("<Font Class=\"Default\" face='Arial'>Mixed Text</Font>")
            << QStringLiteral("<FONT Class=\"Default\" face='Arial'>Mixed Text</FONT>");
        QTest::newRow("a quoted > does not end the tag")
            << QStringLiteral("<a title=\"1 > 0\" href=x>go</a>")
            << QStringLiteral("<A title=\"1 > 0\" href=x>go</A>");
        QTest::newRow("rows and cells, headers too")
            << QStringLiteral("<table><tr><th>h</th></tr><tr><td>d</td></tr></table>")
            << QStringLiteral("<TABLE>\r\n<TR>\r\n<TH>h</TH></TR>\r\n<TR>\r\n<TD>d</TD></TR>"
                              "</TABLE>");
        QTest::newRow("a word starting like a cell tag is no cell")
            << QStringLiteral("<tdx>a</tdx><trace>") << QStringLiteral("<TDX>a</TDX><TRACE>");
        QTest::newRow("self-closing")
            << QStringLiteral("a<br/>b<img src=x />") << QStringLiteral("a<BR/>b<IMG src=x />");
        QTest::newRow("comments and declarations untouched")
            << QStringLiteral("<!DOCTYPE html><!-- <td>not a cell</td> --><p>")
            << QStringLiteral("<!DOCTYPE html><!-- <td>not a cell</td> --><P>");
        QTest::newRow("script text untouched")
            << QStringLiteral("<script>if (a<b) x = '<td>';</script><td>")
            << QStringLiteral("<SCRIPT>if (a<b) x = '<td>';</SCRIPT>\r\n<TD>");
        QTest::newRow("a lone < is text")
            << QStringLiteral("1 < 2 <3 </ 4 <") << QStringLiteral("1 < 2 <3 </ 4 <");
        QTest::newRow("entities untouched") << QStringLiteral("<b>Rock &amp; Roll&nbsp;</b>")
                                            << QStringLiteral("<B>Rock &amp; Roll&nbsp;</B>");
        QTest::newRow("tag cut off at the end")
            << QStringLiteral("<b>x</b><td width=") << QStringLiteral("<B>x</B><td width=");
        QTest::newRow("non-ASCII text kept") << QStringLiteral("<b>Caf\u00e9 stra\u00dfe</b>")
                                             << QStringLiteral("<B>Caf\u00e9 stra\u00dfe</B>");
        QTest::newRow("empty") << QString() << QString();
    }
    void normaliser() {
        QFETCH(QString, html);
        QFETCH(QString, expected);
        QCOMPARE(NormaliseStatusMarkup(html), expected);
    }

    void songCut_data() {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<std::optional<QString>>("song");
        QTest::newRow("real row") << statusPage("Kofi - Slow Rain")
                                  << std::optional<QString>(QStringLiteral("Kofi - Slow Rain"));
        QTest::newRow("empty cell") << statusPage("") << std::optional<QString>(QString());
        QTest::newRow("entity kept") << statusPage("Rock &amp; Roll")
                                     << std::optional<QString>(QStringLiteral("Rock &amp; Roll"));
        QTest::newRow("blanks kept")
            << statusPage("  a  ") << std::optional<QString>(QStringLiteral("  a  "));
        QTest::newRow("markup inside kept")
            << statusPage("<i>x</i>") << std::optional<QString>(QStringLiteral("<I>x</I>"));
        QTest::newRow("no Current Song")
            << QByteArray("<body><b>Current song</b></body>") << std::optional<QString>();
        QTest::newRow("label at the very end")
            << QByteArray("<body>Current Song") << std::optional<QString>(QString());
        QTest::newRow("page ends inside the distance")
            << QByteArray("<body>Current Song: </font></td><td>")
            << std::optional<QString>(QString());
        QTest::newRow("no closing bold tag")
            << QByteArray("<body><table>" + realRow("x").replace("</b>", "") + "</table>")
            << std::optional<QString>(QString());
        QTest::newRow("label only in the head")
            << QByteArray("<html><head><title>Current Song</title></head><body>x</body>")
            << std::optional<QString>();
    }
    void songCut() {
        QFETCH(QByteArray, page);
        QFETCH(std::optional<QString>, song);
        QCOMPARE(songOf(page), song);
    }

    void decoding_data() {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QString>("text");
        const QString cafe = QStringLiteral("Caf\u00e9");
        QTest::newRow("header charset")
            << QByteArray("Caf\xc3\xa9") << QByteArray("text/html; charset=UTF-8") << cafe;
        QTest::newRow("quoted header charset")
            << QByteArray("Caf\xc3\xa9") << QByteArray("text/html;charset=\"utf-8\"") << cafe;
        QTest::newRow("header beats meta") << QByteArray("<meta charset=windows-1252>Caf\xc3\xa9")
                                           << QByteArray("text/html; charset=utf-8")
                                           << QStringLiteral("<meta charset=windows-1252>") + cafe;
        QTest::newRow("meta charset")
            << QByteArray("<META CHARSET=\"utf-8\">Caf\xc3\xa9") << QByteArray("text/html")
            << QStringLiteral("<META CHARSET=\"utf-8\">") + cafe;
        QTest::newRow("meta http-equiv")
            << QByteArray("<meta http-equiv=\"Content-Type\" content=\"text/html; "
                          "charset=utf-8\">Caf\xc3\xa9")
            << QByteArray()
            << QStringLiteral("<meta http-equiv=\"Content-Type\" content=\"text/html; "
                              "charset=utf-8\">") +
                   cafe;
        QTest::newRow("unknown header charset, then meta")
            << QByteArray("<meta charset=utf-8>Caf\xc3\xa9")
            << QByteArray("text/html; charset=no-such-set")
            << QStringLiteral("<meta charset=utf-8>") + cafe;
        QTest::newRow("default windows-1252")
            << QByteArray("Caf\xe9 \x80 \x93q\x94") << QByteArray("text/html")
            << cafe + QStringLiteral(" \u20ac \u201cq\u201d");
        QTest::newRow("latin-1 read as browsers read it")
            << QByteArray("\x93q\x94") << QByteArray("text/html; charset=ISO-8859-1")
            << QStringLiteral("\u201cq\u201d");
        QTest::newRow("byte order mark") << QByteArray("\xef\xbb\xbf"
                                                       "Caf\xc3\xa9")
                                         << QByteArray("text/html; charset=windows-1252") << cafe;
    }
    void decoding() {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, contentType);
        QFETCH(QString, text);
        QCOMPARE(DecodeStatusPage(body, contentType), text);
    }

    // --- polls over sockets ----------------------------------------------------------------

    void pollsTheStatusPage_data() {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QString>("song");
        QTest::newRow("real row") << statusPage("Lumen &amp; Ash - Paper Moon")
                                  << QByteArray("text/html")
                                  << QStringLiteral("Lumen &amp; Ash - Paper Moon");
        QTest::newRow("empty cell")
            << statusPage("") << QByteArray("text/html") << QStringLiteral("Unknown");
        QTest::newRow("near the end") << QByteArray("<body>Current Song: </font></td><td>")
                                      << QByteArray("text/html") << QStringLiteral("Unknown");
        QTest::newRow("charset in Content-Type")
            << statusPage("Caf\xc3\xa9") << QByteArray("text/html; charset=utf-8")
            << QStringLiteral("Caf\u00e9");
        QTest::newRow("meta charset") << statusPage("Caf\xc3\xa9", "<meta charset=\"utf-8\">")
                                      << QByteArray("text/html") << QStringLiteral("Caf\u00e9");
        QTest::newRow("windows-1252 by default")
            << statusPage("Caf\xe9") << QByteArray("text/html") << QStringLiteral("Caf\u00e9");
        QTest::newRow("no Content-Type, plainly markup")
            << statusPage("x") << QByteArray() << QStringLiteral("x");
    }
    void pollsTheStatusPage() {
        QFETCH(QByteArray, page);
        QFETCH(QByteArray, contentType);
        QFETCH(QString, song);
        PageServer server;
        QVERIFY(server.listen());
        server.answer("/status", pageAnswer(page, contentType));
        Poller p;
        p.address = server.url("/status");
        QVERIFY(p.poll());
        QCOMPARE(p.songs.size(), 1);
        QCOMPARE(p.lastSong(), song);
        // Named as a browser, or status servers would answer with the stream.
        QVERIFY(server.lastRequest("/status").contains(
            "\r\nUser-Agent: Mozilla/5.0 (compatible; Kestrune)\r\n"));
    }

    void noCurrentSongNoSignal() {
        PageServer server;
        QVERIFY(server.listen());
        server.answer("/", pageAnswer("<html><body><b>Nothing here</b></body></html>"));
        server.answer("/404", PageAnswer{"HTTP/1.1 404 Not Found\r\nContent-Type: text/html",
                                         statusPage("from an error page"), 0, false, false});
        Poller p;
        p.address = server.url("/");
        QVERIFY(p.poll());
        QCOMPARE(p.fetched.size(), 1);
        p.address = server.url("/404");
        QVERIFY(p.poll());
        QCOMPARE(p.songs.size(), 0);
    }

    void emptyAddressPollsNothing() {
        PageServer server;
        QVERIFY(server.listen());
        Poller p;
        p.tracker.GetArtist();
        QVERIFY(!p.fetcher->isBusy());
        // Only web addresses are fetched: the list may hold anything a playlist said.
        p.address = QStringLiteral("file:///etc/hostname");
        p.tracker.GetArtist();
        QVERIFY(!p.fetcher->isBusy());
        QCOMPARE(p.outcomes(), 0);
    }

    void notAPageIsIgnored_data() {
        QTest::addColumn<PageAnswer>("answer");
        // The row is in each body: only the checks keep it from being read.
        QTest::newRow("audio type") << pageAnswer(statusPage("S"), "audio/mpeg");
        QTest::newRow("audio type, endless") << [] {
            PageAnswer a =
                pageAnswer(statusPage("S") + QByteArray(4096, '\xff'), "audio/mpeg", false);
            a.endless = true;
            return a;
        }();
        QTest::newRow("no type, binary body")
            << pageAnswer(QByteArray("\xff\xfb\x90\x00", 4) + statusPage("S"), QByteArray());
        QTest::newRow("too big, with length")
            << pageAnswer(statusPage("S") + QByteArray(300 * 1024, ' '));
        QTest::newRow("too big, without length")
            << pageAnswer(statusPage("S") + QByteArray(300 * 1024, ' '), "text/html", false);
        QTest::newRow("endless text") << [] {
            PageAnswer a = pageAnswer(statusPage("S") + QByteArray(8192, ' '), "text/html", false);
            a.endless = true;
            return a;
        }();
    }
    void notAPageIsIgnored() {
        QFETCH(PageAnswer, answer);
        PageServer server;
        QVERIFY(server.listen());
        server.answer("/", answer);
        Poller p;
        p.address = server.url("/");
        QVERIFY(p.poll());
        QCOMPARE(p.failed.size(), 1);
        QCOMPARE(p.songs.size(), 0);
        // The connection is given up, not drained.
        if (answer.endless) {
            QTRY_COMPARE_WITH_TIMEOUT(server.abandoned("/"), 1, WaitMs);
            QVERIFY(server.bodyBytesSent("/") < 2 * 1024 * 1024);
        }
    }

    void timeOut() {
        PageServer server;
        QVERIFY(server.listen());
        PageAnswer silent;
        silent.silent = true;
        server.answer("/", silent);
        Poller p;
        p.address = server.url("/");
        QVERIFY(p.poll());
        QCOMPARE(p.failed.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(server.abandoned("/"), 1, WaitMs);
    }

    void newPollAbortsTheOneInFlight() {
        PageServer server;
        QVERIFY(server.listen());
        PageAnswer slow = pageAnswer(statusPage("old"));
        slow.delayMs = 1500;
        server.answer("/a", slow);
        server.answer("/b", pageAnswer(statusPage("new")));
        Poller p;
        p.address = server.url("/a");
        p.tracker.GetArtist();
        QTRY_COMPARE_WITH_TIMEOUT(server.hits("/a"), 1, WaitMs);
        p.address = server.url("/b");
        QVERIFY(p.poll());
        QCOMPARE(p.lastSong(), QStringLiteral("new"));
        // The first connection was dropped before its answer came.
        QTRY_COMPARE_WITH_TIMEOUT(server.abandoned("/a"), 1, WaitMs);
        QCOMPARE(server.bodyBytesSent("/a"), 0);
        QCOMPARE(p.songs.size(), 1);
    }

    void lateReplyForAnotherAddressIsIgnored() {
        PageServer server;
        QVERIFY(server.listen());
        PageAnswer slow = pageAnswer(statusPage("old server's song"));
        slow.delayMs = 300;
        server.answer("/a", slow);
        Poller p;
        p.address = server.url("/a");
        const int before = p.outcomes();
        p.tracker.GetArtist();
        // The station changes while the page is on its way; no poll has run since.
        p.address = server.url("/b");
        QVERIFY(p.pollDone(before));
        QCOMPARE(p.fetched.size(), 1);
        QCOMPARE(p.songs.size(), 0);
    }

    void simulatorStatusPage() {
        using namespace kestrune::stationsim;
        StationSimulator sim(FreePortOptions());
        qint64 now = 0;
        sim.setClock([&now] { return now; });
        QVERIFY(sim.start());
        const Station *station = nullptr;
        for (const char *genre : {"TopTen", "Jazz", "Rock", "Ambient", "Talk", "Metal"}) {
            for (const Station &s : sim.catalogue().stations(QString::fromLatin1(genre))) {
                if (!station && s.songAt(0) != s.songAt(1) && s.songAt(1).contains(u'&'))
                    station = &s;
            }
        }
        QVERIFY(station);
        Poller p;
        p.address =
            QStringLiteral("http://127.0.0.1:%1/%2").arg(sim.streamPorts().at(1)).arg(station->id);
        QVERIFY(p.poll());
        QCOMPARE(p.lastSong(), htmlEscape(station->songAt(0)));
        now = 30000;
        QVERIFY(p.poll());
        QCOMPARE(p.lastSong(), htmlEscape(station->songAt(1)));
        QVERIFY(p.lastSong().contains(QLatin1String("&amp;")));
        QCOMPARE(p.songs.size(), 2);
    }

    // --- Icecast servers -------------------------------------------------------------------

    // Scripted servers: the mount answers the page fetch with audio, as Icecast does, and the
    // listing is read only when the stream's head named an Icecast server and the page gave
    // no song.
    void icecastListing_data() {
        QTest::addColumn<QString>("head");
        QTest::addColumn<PageAnswer>("mountAnswer");
        QTest::addColumn<PageAnswer>("listingAnswer");
        QTest::addColumn<QStringList>("songs");
        QTest::addColumn<int>("listingHits");
        const QString icecastHead = QStringLiteral(
            "HTTP/1.0 200 OK\r\nServer: Icecast 2.4.4\r\nContent-Type: audio/mpeg\r\n"
            "icy-name:Bench\r\n\r\n");
        PageAnswer audio = pageAnswer(QByteArray(4096, '\xff'), "audio/mpeg", false);
        audio.head = "HTTP/1.0 200 OK\r\nServer: Icecast 2.4.4\r\nContent-Type: audio/mpeg";
        audio.endless = true;
        const PageAnswer listing = pageAnswer(
            "{\"icestats\":{\"source\":[{\"listenurl\":\"http://x/other\",\"title\":\"No\"},"
            "{\"listenurl\":\"http://localhost:8000/live.mp3\",\"artist\":\"A\","
            "\"title\":\"B\"}]}}",
            "application/json; charset=UTF-8");

        QTest::newRow("Icecast: title from the listing")
            << icecastHead << audio << listing << QStringList{"A - B"} << 1;
        QTest::newRow("hidden server name, icy fields")
            << QStringLiteral("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\nicy-br:128\r\n\r\n")
            << audio << listing << QStringList{"A - B"} << 1;
        QTest::newRow("mount listed without a title")
            << icecastHead << audio
            << pageAnswer("{\"icestats\":{\"source\":{\"listenurl\":\"http://h/live.mp3\"}}}",
                          "application/json")
            << QStringList{"Unknown"} << 1;
        QTest::newRow("listing without the mount changes nothing")
            << icecastHead << audio
            << pageAnswer("{\"icestats\":{\"source\":{\"listenurl\":\"http://h/a\","
                          "\"title\":\"x\"}}}",
                          "application/json")
            << QStringList() << 1;
        QTest::newRow("listing not JSON")
            << icecastHead << audio << pageAnswer("<html>nothing</html>") << QStringList() << 1;
        QTest::newRow("listing larger than 4 MB")
            << icecastHead << audio
            << pageAnswer("{\"icestats\":{\"x\":\"" + QByteArray(5 * 1024 * 1024, 'x') + "\"}}",
                          "application/json")
            << QStringList() << 1;
        QTest::newRow("classic server: no listing read")
            << QStringLiteral("ICY 200 OK\r\nicy-name:x\r\ncontent-type:audio/mpeg\r\n\r\n")
            << audio << listing << QStringList() << 0;
        QTest::newRow("no head known: no listing read")
            << QString() << audio << listing << QStringList() << 0;
        QTest::newRow("Icecast head, but the page gives a song: no listing read")
            << icecastHead << pageAnswer(statusPage("Classic")) << listing << QStringList{"Classic"}
            << 0;
    }
    void icecastListing() {
        QFETCH(QString, head);
        QFETCH(PageAnswer, mountAnswer);
        QFETCH(PageAnswer, listingAnswer);
        QFETCH(QStringList, songs);
        QFETCH(int, listingHits);
        PageServer server;
        QVERIFY(server.listen());
        server.answer("/live.mp3", mountAnswer);
        server.answer("/status-json.xsl", listingAnswer);
        Poller p;
        p.address = server.url("/live.mp3");
        p.head = head;
        if (listingHits > 0)
            QVERIFY(p.pollListing());
        else
            QVERIFY(p.poll());
        // Anything late would come now.
        QTest::qWait(100);
        QStringList read;
        for (const QList<QVariant> &signal : std::as_const(p.songs))
            read << signal.at(0).toString();
        QCOMPARE(read, songs);
        QCOMPARE(server.hits("/status-json.xsl"), listingHits);
        const std::optional<QList<SeenSong>> history = p.tracker.icecastHistory();
        QCOMPARE(history.has_value(), listingHits > 0);
        if (history && !songs.isEmpty() && songs.first() != QLatin1String(UnknownSong)) {
            QCOMPARE(history->size(), 1);
            QCOMPARE(history->first().title, songs.first());
        }
    }

    // A listing that never comes ends with the poll's time, before the next poll is due.
    void silentListingEndsWithThePoll() {
        PageServer server;
        QVERIFY(server.listen());
        server.answer("/live.mp3", pageAnswer("x", "audio/mpeg"));
        PageAnswer silent;
        silent.silent = true;
        server.answer("/status-json.xsl", silent);
        Poller p;
        p.address = server.url("/live.mp3");
        p.head = QStringLiteral("HTTP/1.0 200 OK\r\nServer: Icecast\r\n\r\n");
        QVERIFY(p.pollListing());
        QCOMPARE(p.statusFailed.size(), 1);
        QCOMPARE(p.songs.size(), 0);
    }

    // The station changed while its listing was on the way: the late title is dropped.
    void lateListingForAnotherAddressIsIgnored() {
        PageServer server;
        QVERIFY(server.listen());
        server.answer("/live.mp3", pageAnswer("x", "audio/mpeg"));
        PageAnswer late = pageAnswer(
            "{\"icestats\":{\"source\":{\"listenurl\":\"http://h/live.mp3\",\"title\":\"T\"}}}",
            "application/json");
        late.delayMs = 300;
        server.answer("/status-json.xsl", late);
        Poller p;
        p.address = server.url("/live.mp3");
        p.head = QStringLiteral("HTTP/1.0 200 OK\r\nServer: Icecast\r\n\r\n");
        QVERIFY(p.poll());
        QTRY_COMPARE_WITH_TIMEOUT(server.hits("/status-json.xsl"), 1, WaitMs);
        p.address = server.url("/other.mp3");
        QVERIFY(QTest::qWaitFor([&] { return p.statusOutcomes() > 0; }, WaitMs));
        QCOMPARE(p.songs.size(), 0);
        QCOMPARE(p.tracker.icecastHistory(), std::nullopt);
    }

    // The simulator's Icecast-style mount, its head read off the stream as the player gets
    // it: the title of each song slot is seen, a change is followed, and the history keeps
    // each title once, newest first.
    void simulatorIcecastMount() {
        using namespace kestrune::stationsim;
        StationSimulator sim(FreePortOptions());
        qint64 now = 0;
        sim.setClock([&now] { return now; });
        QVERIFY(sim.start());
        const QString mount =
            QStringLiteral("http://127.0.0.1:%1/live.mp3").arg(sim.streamPorts().at(2));

        QTcpSocket stream;
        stream.connectToHost(QHostAddress::LocalHost, sim.streamPorts().at(2));
        QVERIFY(stream.waitForConnected(WaitMs));
        stream.write("GET /live.mp3 HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
        QByteArray received;
        QVERIFY(QTest::qWaitFor(
            [&] {
                received += stream.readAll();
                return received.contains("\r\n\r\n");
            },
            WaitMs));
        stream.abort();
        const QString head = QString::fromLatin1(received.left(received.indexOf("\r\n\r\n") + 4));
        QVERIFY2(head.startsWith(QLatin1String("HTTP/1.0 200 OK\r\n")), qPrintable(head));

        Poller p;
        p.address = mount;
        p.head = head;
        const Station station = icecastStation();
        QVERIFY(p.pollListing());
        QCOMPARE(p.lastSong(), station.songAt(0));
        QVERIFY(p.lastSong().contains(QLatin1String(" - ")));
        QVERIFY(p.pollListing());
        now = 30000;
        QVERIFY(p.pollListing());
        QCOMPARE(p.lastSong(), station.songAt(1));
        QCOMPARE(p.songs.size(), 3);
        const std::optional<QList<SeenSong>> history = p.tracker.icecastHistory();
        QVERIFY(history);
        QCOMPARE(history->size(), 2);
        QCOMPARE(history->at(0).title, station.songAt(1));
        QCOMPARE(history->at(1).title, station.songAt(0));
        QVERIFY(history->at(0).firstSeen >= history->at(1).firstSeen);
        p.tracker.clearHistory();
        QCOMPARE(p.tracker.icecastHistory(), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(NowPlayingTest)
#include "tst_nowplaying.moc"
