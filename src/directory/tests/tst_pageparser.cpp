// The page reader against hand-made pages: ordinary rows, the bitrate filter, and the
// fixed-distance behaviour when markers are missing.
#include "core/fileutil.h"
#include "core/numbertext.h"
#include "directory/pageparser.h"
#include "pagebuilder.h"

#include <QRandomGenerator>
#include <QTest>

using namespace kestrune;
using namespace kestrune::testpages;

namespace {

const QString Host = QStringLiteral("http://dir.test:8000");
const QString Marker = QStringLiteral("/sbin/shoutcast-playlist.pls");

Station station(const QString &id, const QString &name, const QString &bitrate) {
    Station s;
    s.id = id;
    s.name = name;
    s.bitrate = bitrate;
    return s;
}

// The station rows of a page read the plain way: the rest of the page is a copy that every
// cut shortens, and names lose "&amp;" through the shared text replacement. Slow on big pages,
// but each step is a rule as written, so the reader must agree with it on any page.
QList<StationRow> plainRows(const QString &page, double maxBitrate) {
    QString rest = page;
    const auto find = [&rest](const QString &m) { return rest.indexOf(m) + 1; };
    const auto drop = [&rest](qsizetype k) {
        if (k >= 1)
            rest = k - 1 >= rest.size() ? QString() : rest.mid(k - 1);
    };
    const auto take = [&rest](qsizetype n, QString &field) {
        if (n >= 0)
            field = rest.left(n);
    };
    QList<StationRow> rows;
    QString id, genre, name, song, listeners, bitrate;
    qsizetype f = 0, q = 0, p = 0;
    while ((p = find(Marker)) > 0) {
        drop(p + 32);
        const qsizetype a = find("&");
        if (a == 0)
            continue;
        take(a - 1, id);
        drop(a);
        if (const qsizetype g = find("<b>["); g > 0) {
            drop(g + 3);
            f = find("</font>");
            take(f - 1, genre);
        }
        drop(f);
        if (const qsizetype u = find("_scurl"); u > 0) {
            drop(u + 14);
            q = find("\"");
            take(q - 1, name);
        }
        drop(q + 2);
        const qsizetype e = find("</a>");
        take(e - 1, name);
        ReplaceText(name, "&amp;", QString());
        drop(e + 46);
        if (rest.startsWith("Now Playing:")) {
            drop(21);
            const qsizetype f2 = find("</font>");
            take(f2 - 1, song);
            while (song.startsWith(' '))
                song.remove(0, 1);
            while (song.endsWith(' '))
                song.chop(1);
            drop(f2);
        } else {
            song = "Unknown";
        }
        drop(find("#FFFFFF") + 9);
        qsizetype t = find("<");
        take(t - 1, listeners);
        drop(t);
        drop(find("#FFFFFF") + 9);
        t = find("<");
        take(t - 1, bitrate);
        drop(t);
        if (LeadingNumber(bitrate) <= maxBitrate)
            rows.append({name, genre, listeners, bitrate, song, Marker + "?rn=" + id});
    }
    return rows;
}

// A page of pieces the reader reacts to, mixed with whole and broken rows, drawn from `dice`.
QString mixedPage(QRandomGenerator &dice) {
    static const QStringList pieces = {
        Marker + "?rn=",
        "&",
        "&amp;",
        "<b>[",
        "</font>",
        "_scurl\" href=\"",
        "\"",
        "\">",
        "</a>",
        "Now Playing:</font> ",
        "#FFFFFF\">",
        "<",
        " ",
        "64",
        "x",
        "Name",
        QString(46, QLatin1Char('.')),
    };
    QString page;
    const int count = int(dice.bounded(60));
    for (int i = 0; i < count; ++i) {
        if (dice.bounded(6) == 0) {
            Station s = station(QString::number(dice.bounded(100)), "N&amp;&amp;M",
                                QString::number(dice.bounded(200)));
            if (dice.bounded(2) == 0)
                s.song.reset();
            QString r = row(s);
            // Now and then a row loses a piece, so markers go missing mid-row.
            if (dice.bounded(2) == 0) {
                const qsizetype at = dice.bounded(r.size());
                r.remove(at, dice.bounded(r.size() - at + 1));
            }
            page += r;
        } else {
            page += pieces.at(dice.bounded(pieces.size()));
        }
    }
    return page;
}

} // namespace

class PageParserTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsEveryField() {
        Station a =
            station(QStringLiteral("4711"), QStringLiteral("Alpha FM"), QStringLiteral("128"));
        a.genre = QStringLiteral("[Techno Trance]");
        a.song = QStringLiteral("  Artist - Title ");
        a.listeners = QStringLiteral("37/200");
        Station b = station(QStringLiteral("99"), QStringLiteral("Beta"), QStringLiteral("64"));
        b.genre = QStringLiteral("[Jazz]");

        const ParsedPage page = ReadList(row(a) + row(b), NoLimit, Host);
        QCOMPARE(page.rows.size(), 2);
        const StationRow &first = page.rows[0];
        QCOMPARE(first.name, QStringLiteral("Alpha FM"));
        QCOMPARE(first.genre, QStringLiteral("[Techno Trance]")); // the bracket stays
        QCOMPARE(first.listeners, QStringLiteral("37/200"));
        QCOMPARE(first.bitrateText, QStringLiteral("128"));
        QCOMPARE(first.nowPlaying, QStringLiteral("Artist - Title")); // blanks trimmed
        QCOMPARE(first.playlistPath, Marker + QStringLiteral("?rn=4711"));
        QCOMPARE(first.cells(),
                 QStringList({first.genre, first.listeners, first.bitrateText, first.nowPlaying}));
        QCOMPARE(page.rows[1].name, QStringLiteral("Beta"));
        QCOMPARE(page.rows[1].genre, QStringLiteral("[Jazz]"));
        QCOMPARE(page.rows[1].playlistPath, Marker + QStringLiteral("?rn=99"));
        QCOMPARE(page.stationCount, 2);
        QCOMPARE(page.caption, QStringLiteral(" 2 stations found."));
        QCOMPARE(page.statusText, QStringLiteral("Status: Ready"));
    }

    void removesAmpEntitiesInOnePass_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one") << "Rock &amp; Roll"
                             << "Rock  Roll";
        QTest::newRow("adjacent keep one") << "A&amp;&amp;B"
                                           << "A&amp;B";
        QTest::newRow("none") << "Plain & simple"
                              << "Plain & simple";
    }
    void removesAmpEntitiesInOnePass() {
        QFETCH(QString, name);
        QFETCH(QString, shown);
        const ParsedPage page = ReadList(row(station("1", name, "64")), NoLimit, Host);
        QCOMPARE(page.rows.size(), 1);
        QCOMPARE(page.rows[0].name, shown);
    }

    void rowWithoutSongIsUnknown() {
        Station a = station("1", "A", "64");
        a.song.reset();
        Station b = station("2", "B", "64");
        b.song = QStringLiteral("Next Song");
        Station c = station("3", "C", "64");
        c.song.reset();
        const ParsedPage page = ReadList(row(a) + row(b) + row(c), NoLimit, Host);
        QCOMPARE(page.rows.size(), 3);
        QCOMPARE(page.rows[0].nowPlaying, QStringLiteral("Unknown"));
        QCOMPARE(page.rows[1].nowPlaying, QStringLiteral("Next Song"));
        QCOMPARE(page.rows[2].nowPlaying, QStringLiteral("Unknown"));
        QCOMPARE(page.rows[2].listeners, c.listeners); // the cells after it are still found
    }

    void bitrateLimitKeepsRowsAndPathsAligned() {
        const QString page = row(station("1", "Low", "56")) + row(station("2", "High", "128")) +
                             row(station("3", "Lower", "32"));
        const ParsedPage limited = ReadList(page, 56, Host);
        QCOMPARE(limited.stationCount, 2);
        QCOMPARE(limited.rows.size(), 2);
        QCOMPARE(limited.rows[0].name, QStringLiteral("Low"));
        QCOMPARE(limited.rows[1].name, QStringLiteral("Lower"));
        QCOMPARE(limited.rows[1].playlistPath, Marker + QStringLiteral("?rn=3"));
        QCOMPARE(limited.caption, QStringLiteral(" 2 stations found."));
        QCOMPARE(ReadList(page, 128, Host).stationCount, 3);
    }

    void nonNumericBitrateCountsAsZero() {
        const ParsedPage page = ReadList(row(station("1", "Odd", "n/a")), 24, Host);
        QCOMPARE(page.rows.size(), 1);
        QCOMPARE(page.rows[0].bitrateText, QStringLiteral("n/a"));
    }

    void leadingNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "128" << 128.0;
        QTest::newRow("blanks") << "  64 " << 64.0;
        QTest::newRow("unit") << "96kbps" << 96.0;
        QTest::newRow("fraction") << "22.5" << 22.5;
        QTest::newRow("text") << "n/a" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
    }
    void leadingNumber() {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(LeadingNumber(text), value);
    }

    void markerWithoutAmpersandAddsNothing() {
        const QString page = QStringLiteral("<a href=\"") + Marker + QStringLiteral("?rn=5\">") +
                             QString(200, QLatin1Char('x'));
        const ParsedPage parsed = ReadList(page, NoLimit, Host);
        QVERIFY(parsed.rows.isEmpty());
        QCOMPARE(parsed.caption, QStringLiteral(" 0 stations found."));
    }

    // With every marker after the id missing, the fixed distances apply from where the scan
    // stands: 1 ("&", as if a link's quote were there), 45 after the name, 8 before each cell
    // (for the second cell counting the "<" the first one stopped at).
    void missingMarkersSkipFixedDistances() {
        const QString page = Marker + QStringLiteral("?rn=7&") + QString(45, QLatin1Char('x')) +
                             QString(8, QLatin1Char('y')) + QStringLiteral("12<") +
                             QString(7, QLatin1Char('z')) + QStringLiteral("64<");
        const ParsedPage parsed = ReadList(page, NoLimit, Host);
        QCOMPARE(parsed.rows.size(), 1);
        const StationRow &r = parsed.rows[0];
        QCOMPARE(r.listeners, QStringLiteral("12"));
        QCOMPARE(r.bitrateText, QStringLiteral("64"));
        QCOMPARE(r.name, QString());
        QCOMPARE(r.genre, QString());
        QCOMPARE(r.nowPlaying, QStringLiteral("Unknown"));
        QCOMPARE(r.playlistPath, Marker + QStringLiteral("?rn=7"));
    }

    // A bare second row: the first row's genre and name stay, the first row's positions
    // decide how much is skipped, and the bitrate text without a "<" keeps its old value.
    void missingMarkersCarryPreviousValues() {
        Station first = station("1", "First", "64");
        first.genre = QStringLiteral("[Jazz]");
        // Skipped in the bare row: "&" and 5 more (genre end), the link's length + 2,
        // 45 after the name and 8 before the listeners.
        const int skipped = 6 + int(first.url.size()) + 2 + 45 + 8;
        const QString bare = Marker + QStringLiteral("?rn=8") + QStringLiteral("&") +
                             QString(skipped - 1, QLatin1Char('x')) + QStringLiteral("7<yy");
        const ParsedPage parsed = ReadList(row(first) + bare, NoLimit, Host);
        QCOMPARE(parsed.rows.size(), 2);
        const StationRow &r = parsed.rows[1];
        QCOMPARE(r.name, QStringLiteral("First"));
        QCOMPARE(r.genre, QStringLiteral("[Jazz]"));
        QCOMPARE(r.listeners, QStringLiteral("7"));
        QCOMPARE(r.bitrateText, QStringLiteral("64"));
        QCOMPARE(r.nowPlaying, QStringLiteral("Unknown"));
        QCOMPARE(r.playlistPath, Marker + QStringLiteral("?rn=8"));
    }

    void pagingLinks() {
        const QString rows = row(station("1", "A", "64"));
        const ParsedPage both = ReadList(
            pagingLink("25", "[ Previous ]") + rows + pagingLink("75", "[ Next ]"), NoLimit, Host);
        QCOMPARE(both.next.state, PagingUpdate::State::Enabled);
        QVERIFY(both.next.urlChanged);
        QCOMPARE(both.next.url, Host + "/directory/?sGenre=sGenre&numresult=25&startat=75&s=x");
        QCOMPARE(both.previous.state, PagingUpdate::State::Enabled);
        QCOMPARE(both.previous.url, Host + "/directory/?sGenre=sGenre&numresult=25&startat=25&s=x");
        QCOMPARE(both.rows.size(), 1);

        const ParsedPage nextOnly = ReadList(rows + pagingLink("25", "[ Next ]"), NoLimit, Host);
        QCOMPARE(nextOnly.previous.state, PagingUpdate::State::Disabled);
        QVERIFY(!nextOnly.previous.urlChanged);

        const ParsedPage empty = ReadList(QString(), NoLimit, Host);
        QVERIFY(empty.rows.isEmpty());
        QCOMPARE(empty.stationCount, 0);
        QCOMPARE(empty.caption, QStringLiteral(" 0 stations found."));
        QCOMPARE(empty.next.state, PagingUpdate::State::Disabled);
        QCOMPARE(empty.previous.state, PagingUpdate::State::Disabled);
    }

    void incompleteLinks() {
        // Within the first 50 characters nothing is cut from the page: the current address
        // is searched instead, and an ordinary one has no "?startat=".
        const QString early = QStringLiteral("<a>[ Next ]</a>") + QString(80, QLatin1Char('x'));
        const ParsedPage kept = ReadList(early, NoLimit, Host, Host + "/directory/?x=1&startat=25");
        QCOMPARE(kept.next.state, PagingUpdate::State::Unchanged);
        QVERIFY(!kept.next.urlChanged);
        const ParsedPage fromCurrent =
            ReadList(early, NoLimit, Host, QStringLiteral("a?startat=50\"b"));
        QCOMPARE(fromCurrent.next.state, PagingUpdate::State::Enabled);
        QCOMPARE(fromCurrent.next.url, Host + "/directory/?sGenre=sGenre&numresult=25&startat=50");

        // The first position that can be cut from is 1: a button at 51, not at 50.
        const QString at50 = QString(49, QLatin1Char('x')) + QStringLiteral("[ Next ]");
        QVERIFY(!ReadList(at50, NoLimit, Host).next.urlChanged);
        QCOMPARE(ReadList(QLatin1Char('y') + at50, NoLimit, Host).next.url,
                 QLatin1Char('y') + at50);

        // No "?startat=": the 50 characters before the button on become the address.
        const QString noStart = QString(60, QLatin1Char('x')) + QStringLiteral("[ Next ]end");
        const ParsedPage partial = ReadList(noStart, NoLimit, Host);
        QCOMPARE(partial.next.state, PagingUpdate::State::Unchanged);
        QVERIFY(partial.next.urlChanged);
        QCOMPARE(partial.next.url, QString(50, QLatin1Char('x')) + QStringLiteral("[ Next ]end"));

        // No closing quote: what follows "?startat=" is kept.
        const QString noQuote = QString(60, QLatin1Char('x')) + "?startat=25&s=x>[ Next ]";
        const ParsedPage rest = ReadList(noQuote, NoLimit, Host);
        QCOMPARE(rest.next.state, PagingUpdate::State::Unchanged);
        QCOMPARE(rest.next.url, QStringLiteral("25&s=x>[ Next ]"));
    }

    // More rows than a 16-bit count holds: the count and the caption go on past 32,767.
    void countsBeyondSixteenBits() {
        const QString one = row(station("1", "A", "64"));
        QString page;
        page.reserve(one.size() * 33000);
        for (int i = 0; i < 33000; ++i)
            page += one;
        const ParsedPage parsed = ReadList(page, NoLimit, Host);
        QCOMPARE(parsed.rows.size(), 33000);
        QCOMPARE(parsed.stationCount, 33000);
        QCOMPARE(parsed.caption, QStringLiteral(" 33000 stations found."));
    }

    // Whole rows, broken rows and stray markers in any order: the reader finds the same
    // stations with the same fields as the plain reading, under and over the limit.
    void agreesWithPlainReading() {
        QRandomGenerator dice(20240611);
        int rowsSeen = 0;
        for (int i = 0; i < 3000; ++i) {
            const QString page = mixedPage(dice);
            const qint16 limit = i % 2 ? NoLimit : 100;
            const QList<StationRow> expected = plainRows(page, limit);
            const ParsedPage parsed = ReadList(page, limit, Host);
            rowsSeen += int(expected.size());
            QCOMPARE(parsed.rows.size(), expected.size());
            for (qsizetype r = 0; r < expected.size(); ++r) {
                const StationRow &a = parsed.rows[r];
                const StationRow &b = expected[r];
                QVERIFY2(a.name == b.name && a.genre == b.genre && a.listeners == b.listeners &&
                             a.bitrateText == b.bitrateText && a.nowPlaying == b.nowPlaying &&
                             a.playlistPath == b.playlistPath,
                         qPrintable(QStringLiteral("page %1, row %2").arg(i).arg(r)));
            }
        }
        QVERIFY(rowsSeen > 3000); // the pages held stations to compare, not only noise
    }

    // Names with runs of entities and songs with runs of blanks, long enough that any step
    // that goes back over the text would show.
    void longRunsInOneRow() {
        Station s = station("1", QString(), "64");
        for (int i = 0; i < 20000; ++i)
            s.name += i % 3 ? "&amp;" : "a";
        s.song = QString(50000, QLatin1Char(' ')) + "Song" + QString(50000, QLatin1Char(' '));
        const ParsedPage parsed = ReadList(row(s), NoLimit, Host);
        QCOMPARE(parsed.rows.size(), 1);
        QString expected = s.name;
        ReplaceText(expected, "&amp;", QString());
        QCOMPARE(parsed.rows[0].name, expected);
        QCOMPARE(parsed.rows[0].nowPlaying, QStringLiteral("Song"));
    }

private:
    static constexpr qint16 NoLimit = 999;
};

QTEST_GUILESS_MAIN(PageParserTest)
#include "tst_pageparser.moc"
