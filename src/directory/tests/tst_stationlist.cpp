// The selected station and what its server announces.
#include "directory/stationlist.h"

#include <QTest>

using namespace kestrune;

class StationListTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void selectionKeepsThePathAcrossPages() {
        StationList list;
        QVERIFY(!list.select(0));
        list.setPaths({"/sbin/shoutcast-playlist.pls?rn=1", "/sbin/shoutcast-playlist.pls?rn=2",
                       "/sbin/shoutcast-playlist.pls?rn=3"});
        QVERIFY(list.select(2));
        QCOMPARE(list.selectedIndex(), 2);
        QCOMPARE(list.SelectedPlaylistPath(), QString("/sbin/shoutcast-playlist.pls?rn=3"));
        QVERIFY(!list.select(3));
        QCOMPARE(list.selectedIndex(), 2);
        list.setPaths({"/sbin/shoutcast-playlist.pls?rn=9"});
        QVERIFY(!list.hasSelection());
        QCOMPARE(list.SelectedPlaylistPath(), QString("/sbin/shoutcast-playlist.pls?rn=3"));
    }

    void readsTheAnnouncedFields_data() {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<QString>("url");
        QTest::newRow("usual order, blanks kept")
            << "ICY 200 OK\r\nicy-name: Jazz "
               "FM\r\nicy-genre:Jazz\r\nicy-url:http://a.example\r\n\r\n"
            << " Jazz FM"
            << "Jazz"
            << "http://a.example";
        QTest::newRow("genre before name, LF only")
            << "HTTP/1.0 200 OK\nicy-genre:Rock\nicy-url:http://b.example\nicy-name:B\n\n"
            << "B"
            << "Rock"
            << "http://b.example";
        QTest::newRow("no url") << "ICY 200 OK\r\nicy-name:C\r\nicy-genre:Pop\r\n\r\n"
                                << "C"
                                << "Pop"
                                << "<none>";
        QTest::newRow("line never ends") << "ICY 200 OK\r\nicy-name:D\r\nicy-genre:Talk"
                                         << "D"
                                         << "<none>"
                                         << "<none>";
    }
    void readsTheAnnouncedFields() {
        QFETCH(QString, header);
        QFETCH(QString, name);
        QFETCH(QString, genre);
        QFETCH(QString, url);
        const AnnouncedStation s = GetStationInfo(header);
        QCOMPARE(s.name.value_or("<none>"), name);
        QCOMPARE(s.genre.value_or("<none>"), genre);
        QCOMPARE(s.url.value_or("<none>"), url);
    }
};

QTEST_GUILESS_MAIN(StationListTest)
#include "tst_stationlist.moc"
