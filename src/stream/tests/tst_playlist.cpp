// Reading playlists: where the scan starts after the section line, how long an address may
// be, and playlists far larger than any real one.
#include "stream/playlist.h"

#include <QTest>

using namespace kestrune;

namespace {

// "[playlist]", a line of `length` characters, then the entries (LF line ends).
QString afterSectionLine(int length, const QString &entries) {
    const QString line = QStringLiteral("NumberOf") + QString(length - 8, u'x');
    return QStringLiteral("[playlist]\n") + line + u'\n' + entries;
}

// A playlist of `count` File entries, each followed by its title and length lines.
QString manyEntries(int count, const char *lineEnd = "\n") {
    QString text = QStringLiteral("[playlist]%1numberofentries=%2%1").arg(lineEnd).arg(count);
    for (int i = 1; i <= count; ++i) {
        text += QStringLiteral("File%1=http://10.0.%2.%3:8000/%1%4")
                    .arg(i)
                    .arg(i / 250)
                    .arg(i % 250)
                    .arg(lineEnd);
        text += QStringLiteral("Title%1=(#%1 - 3/100) Entry%2").arg(i).arg(lineEnd);
        text += QStringLiteral("Length%1=-1%2").arg(i).arg(lineEnd);
    }
    return text + QStringLiteral("Version=2") + lineEnd;
}

} // namespace

class PlaylistTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The scan starts 27 characters after the start of "[playlist]" and then skips the rest of
    // that line: right for "numberofentries=N", and a line of 15 characters or less after the
    // section line makes the count land on the first entry, which goes with it.
    void sectionLineSkip_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("servers");
        const QString entries = QStringLiteral("File1=http://a\nFile2=http://b\nFile3=http://c\n");
        const QStringList all{"http://a", "http://b", "http://c"};
        QTest::newRow("count line of 17") << afterSectionLine(17, entries) << all;
        QTest::newRow("line of 16") << afterSectionLine(16, entries) << all;
        QTest::newRow("line of 15 costs the first entry")
            << afterSectionLine(15, entries) << QStringList{"http://b", "http://c"};
        QTest::newRow("line of 15, CR LF") << afterSectionLine(15, entries).replace("\n", "\r\n")
                                           << QStringList{"http://b", "http://c"};
        QTest::newRow("line of 9 costs the first entry")
            << afterSectionLine(9, entries) << QStringList{"http://b", "http://c"};
        QTest::newRow("text before the section line")
            << "File0=http://z\n" + afterSectionLine(15, entries)
            << QStringList{"http://b", "http://c"};
        QTest::newRow("section line at the very end")
            << QStringLiteral("File1=http://a\nFile2=http://b\n[playlist]\n") << QStringList{};
    }
    void sectionLineSkip() {
        QFETCH(QString, text);
        QFETCH(QStringList, servers);
        QCOMPARE(ParsePlaylist(text).servers, servers);
    }

    // Addresses up to MaxAddressLength characters are taken; a longer one is skipped, wherever
    // it stands, and the entries around it are still read.
    void addressLength_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("last");
        QTest::addColumn<bool>("taken");
        for (const bool last : {false, true}) {
            const char *where = last ? "last" : "middle";
            QTest::addRow("%s, 2048", where) << 2048 << last << true;
            QTest::addRow("%s, 2049", where) << 2049 << last << false;
            QTest::addRow("%s, 1 MB", where) << 1024 * 1024 << last << false;
        }
    }
    void addressLength() {
        QFETCH(int, length);
        QFETCH(bool, last);
        QFETCH(bool, taken);
        QCOMPARE(MaxAddressLength, 2048);
        const QString address = QStringLiteral("http://long.example/") + QString(length - 20, u'p');
        QCOMPARE(address.size(), length);
        QStringList addresses{"http://a", address, "http://c"};
        if (last)
            addresses.move(1, 2);
        QString text = QStringLiteral("[playlist]\nnumberofentries=3\n");
        for (int i = 0; i < addresses.size(); ++i)
            text += QStringLiteral("File%1=%2\n").arg(i + 1).arg(addresses[i]);

        const PlaylistServers parsed = ParsePlaylist(text);
        QStringList expected = addresses;
        if (!taken)
            expected.removeAll(address);
        QCOMPARE(parsed.servers, expected);
        QVERIFY(parsed.anyAddress);
    }

    // A hundred thousand entries come out whole and in order, whatever the line ends.
    void hugePlaylist_data() {
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR LF") << QByteArray("\r\n");
    }
    void hugePlaylist() {
        QFETCH(QByteArray, lineEnd);
        constexpr int Count = 100000;
        const PlaylistServers parsed = ParsePlaylist(manyEntries(Count, lineEnd.constData()));
        QCOMPARE(parsed.servers.size(), Count);
        QCOMPARE(parsed.servers.first(), QStringLiteral("http://10.0.0.1:8000/1"));
        QCOMPARE(parsed.servers.at(12344), QStringLiteral("http://10.0.49.95:8000/12345"));
        QCOMPARE(parsed.servers.last(), QStringLiteral("http://10.0.400.0:8000/100000"));
    }

    // Entries packed on one line: each "=http://" starts an entry that runs to the line's end.
    void entriesSharingALine() {
        const PlaylistServers parsed =
            ParsePlaylist(QStringLiteral("File1=http://a=http://b\nFile2=http://c\n"));
        QCOMPARE(parsed.servers, (QStringList{"http://a=http://b", "http://b", "http://c"}));
    }

    // An M3U gives its http and https lines, in order, whether or not it says what it is;
    // a text with anything else in it is still read as a PLS.
    void m3u_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("servers");
        QTest::addColumn<bool>("anyAddress");
        const QString header =
            QStringLiteral("HTTP/1.1 200 OK\r\nContent-Type: audio/x-mpegurl\r\n\r\n");
        QTest::newRow("#EXTM3U") << header +
                                        "#EXTM3U\r\n#EXTINF:-1,One\r\nhttp://a:8000/live\r\n\r\n"
                                        "#EXTINF:-1,Two\r\nHTTPS://b/stream.mp3\r\n"
                                 << QStringList{"http://a:8000/live", "https://b/stream.mp3"}
                                 << true;
        QTest::newRow("addresses only, no line break at the end")
            << header + "http://a/1\n\n# comment\n  http://b/2  \nhttp://c/3"
            << QStringList{"http://a/1", "http://b/2", "http://c/3"} << true;
        QTest::newRow("bare body, lone CRs") << QStringLiteral("http://a/1\rhttp://b/2\r")
                                             << QStringList{"http://a/1", "http://b/2"} << true;
        QTest::newRow("other schemes are lines, never servers")
            << QStringLiteral("#EXTM3U\nfile:///etc/passwd\nftp://x/y\nhttp://a/ok\n"
                              "http://a/with blank\nnot an address\n")
            << QStringList{"http://a/ok"} << true;
        QTest::newRow("untagged, other schemes only")
            << QStringLiteral("file:///etc/passwd\nmms://x/\n") << QStringList{} << false;
        QTest::newRow("tagged, empty")
            << QStringLiteral("\xfeff#EXTM3U\n") << QStringList{} << false;
        QTest::newRow("over-long address skipped")
            << "#EXTM3U\nhttp://a/" + QString(MaxAddressLength, u'x') + "\nhttp://b/\n"
            << QStringList{"http://b/"} << true;
        // Not M3U: a page with one address line in it, and a PLS (whose own rules hold).
        QTest::newRow("a page") << QStringLiteral("<html>\nhttp://a/1\nhttp://b/2\n</html>\n")
                                << QStringList{} << true;
        QTest::newRow("PLS") << QStringLiteral("[playlist]\nnumberofentries=1\n"
                                               "File1=https://a/1\nFile2=http://b/2\n")
                             << QStringList{"https://a/1", "http://b/2"} << true;
        // A PLS's secure entries follow its rules as plain ones do.
        QTest::newRow("PLS, secure entries")
            << QStringLiteral("[playlist]\r\nnumberofentries=4\r\nFile1=https://a/stream\r\n"
                              "File2=https://b/x\r\nFile3=http://c/y\r\nFile4=https://d/stream\r\n"
                              "File5=https://e/z")
            << QStringList{"https://b/x", "http://c/y"} << true;
    }
    void m3u() {
        QFETCH(QString, text);
        QFETCH(QStringList, servers);
        QFETCH(bool, anyAddress);
        const PlaylistServers parsed = ParsePlaylist(text);
        QCOMPARE(parsed.servers, servers);
        QCOMPARE(parsed.anyAddress, anyAddress);
    }

    // An answer that is not a playlist is named by its status line; a playlist is not.
    void refusal_data() {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("200") << QByteArray("HTTP/1.1 200 OK\r\n\r\n[playlist]\n") << QString();
        QTest::newRow("ICY 200") << QByteArray("ICY 200 OK\r\n\r\n") << QString();
        QTest::newRow("bare playlist") << QByteArray("[playlist]\nFile1=http://a/\n") << QString();
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("404") << QByteArray("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n")
                             << QString("404 Not Found");
        QTest::newRow("redirect")
            << QByteArray("HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1:1/x.pls\r\n\r\n")
            << QString("302 Found");
        QTest::newRow("no reason") << QByteArray("HTTP/1.1 500\n\n") << QString("500");
        QTest::newRow("not a number") << QByteArray("HTTP/1.1 abc\r\n") << QString("abc");
        QTest::newRow("controls") << QByteArray("HTTP/1.1 503 B\x01\xffusy\r\n")
                                  << QString("503 B??usy");
    }
    void refusal() {
        QFETCH(QByteArray, response);
        QFETCH(QString, refusal);
        QCOMPARE(PlaylistRefusal(response), refusal);
    }
};

QTEST_GUILESS_MAIN(PlaylistTest)
#include "tst_playlist.moc"
