// The status line's figures.
#include "stream/statusformat.h"

#include <QTemporaryDir>
#include <QTest>

using namespace kestrune;

class StatusFormatTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void timeDiff_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<bool>("secondsOnly");
        QTest::addColumn<QString>("text");
        QTest::newRow("equal") << 0 << false << "00:00:00";
        QTest::newRow("59 s") << 59 << false << "00:00:59";
        QTest::newRow("a minute") << 60 << false << "00:01:00";
        QTest::newRow("an hour") << 3600 << false << "01:00:00";
        QTest::newRow("3725 s") << 3725 << false << "01:02:05";
        QTest::newRow("seconds only") << 75 << true << "75";
    }
    void timeDiff() {
        QFETCH(int, seconds);
        QFETCH(bool, secondsOnly);
        QFETCH(QString, text);
        const QDateTime start(QDate(2026, 3, 1), QTime(10, 20, 30));
        QCOMPARE(TimeDiff(start, start.addSecs(seconds), secondsOnly), text);
    }

    void timeDiffAcrossMidnightAndBackwards() {
        const QDateTime late(QDate(2026, 3, 1), QTime(23, 59, 50));
        QCOMPARE(TimeDiff(late, late.addSecs(25), false), QString("00:00:25"));
        QCOMPARE(TimeDiff(late, late.addSecs(25), true), QString("25"));
        QCOMPARE(TimeDiff(late.addSecs(1), late, false), QString());
    }

    void downloadedThresholds() {
        QCOMPARE(DownloadedText(1000000), QString("Downloaded: 1000.00 kb"));
        QCOMPARE(DownloadedText(1000001), QString("Downloaded: 0.95 Mb"));
        QCOMPARE(DownloadedText(512000), QString("Downloaded: 512.00 kb"));
        QCOMPARE(DownloadedText(1572864), QString("Downloaded: 1.50 Mb"));
        QCOMPARE(DownloadedText(qint64(5) << 31), QString("Downloaded: 10240.00 Mb"));
        QCOMPARE(RecordedText("00:01:00", 500000), QString("00:01:00 (500.00 kb)"));
        QCOMPARE(RecordedText("00:10:00", 2097152), QString("00:10:00  (2.00 Mb)"));
    }

    void freeSpaceUnits() {
        const double kb = 1024;
        QCOMPARE(FreeSpaceFrom(1000000 * kb, 4000000 * kb).DiskFreeText.toString(),
                 QString("976.56 Mb"));
        QCOMPARE(FreeSpaceFrom(1000001 * kb, 4000000 * kb).DiskFreeText.toString(),
                 QString("0.95 Gb"));
        QCOMPARE(FreeSpaceFrom(1000 * kb, 4000 * kb).DiskFreeText.toString(),
                 QString("1,000.00 Kb"));
        QCOMPARE(FreeSpaceFrom(1001 * kb, 4000 * kb).DiskFreeText.toString(), QString("0.98 Mb"));
        QCOMPARE(FreeSpaceFrom(1.5 * 1024 * 1024 * kb * 1024, 4e15).DiskFreeText.toString(),
                 QString("1,536.00 Gb"));
        QCOMPARE(FreeSpaceFrom(25, 100).DiskFreePercent, qint16(25));
        QCOMPARE(FreeSpaceFrom(1, 8).DiskFreePercent, qint16(12)); // 12.5 to even
        QCOMPARE(FreeSpaceFrom(3, 8).DiskFreePercent, qint16(38)); // 37.5 to even
    }

    void bytesToNumberIsUnsigned() {
        double v = 0;
        BytesToNumber(0x01, 0x02, 0x03, 0x04, v);
        QCOMPARE(v, 67305985.0);
        BytesToNumber(0xFF, 0xFF, 0xFF, 0xFF, v);
        QCOMPARE(v, 4294967295.0);
    }

    void freeSpaceOfTheRecordingFolder() {
        QTemporaryDir dir;
        FreeSpace space;
        // A file that does not exist yet, in a folder that does not either.
        QVERIFY(GetFreeSpace(dir.filePath("Jazz/Song.mp3"), space));
        QVERIFY(space.DiskTotalBytes > 0);
        QVERIFY(space.DiskFreePercent >= 0 && space.DiskFreePercent <= 100);
        QVERIFY(space.DiskFreeText.toString().contains("b"));
    }
};

QTEST_GUILESS_MAIN(StatusFormatTest)
#include "tst_statusformat.moc"
