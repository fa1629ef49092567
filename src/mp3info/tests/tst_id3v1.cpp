// The ID3v1 block and the genre keyword table, byte by byte.
#include "mp3info/id3v1.h"

#include <QTest>

using namespace kestrune;

namespace {

QByteArray padded(const QByteArray &text, int length) {
    return text + QByteArray(length - text.size(), ' ');
}

} // namespace

class Id3v1Test : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void genreNumber_data() {
        QTest::addColumn<QString>("genre");
        QTest::addColumn<int>("number");
        // Mixed texts: the earlier row wins.
        QTest::newRow("Alternative Rock") << "Alternative Rock" << 20;
        QTest::newRow("Pop Rock") << "Pop Rock" << 13;
        QTest::newRow("Classic Rock") << "Classic Rock" << 17;
        QTest::newRow("Techno/House") << "Techno/House" << 18;
        QTest::newRow("Jazz") << "Jazz" << 255;
        QTest::newRow("Hip Hop") << "Hip Hop" << 255;
        QTest::newRow("80s Hits") << "80s Hits" << 13;
        QTest::newRow("lower case") << "reggae" << 16;
        QTest::newRow("empty") << "" << 255;
        QTest::newRow("SKA inside a word") << "Muskat" << 21;
        QTest::newRow("Punk before SKA") << "Ska Punk" << 43;
        QTest::newRow("Bluegrass") << "Bluegrass" << 89;
        QTest::newRow("Blues before Bluegrass") << "Bluegrass & Blues" << 0;
        QTest::newRow("Acid Jazz") << "Acid Jazz" << 34;
        QTest::newRow("Breakbeat") << "breakbeat" << 135;
        QTest::newRow("Pop inside a word") << "Hip-Pop" << 13;
        // Every row on its own keyword.
        const std::pair<const char *, int> rows[] = {
            {"ALTERNATIVE", 20},   {"INDUSTRIAL", 19}, {"PUNK", 43},       {"HARDCORE", 129},
            {"SKA", 21},           {"BLUES", 0},       {"FOLK", 80},       {"CLASSICAL", 32},
            {"CONTEMPORARY", 140}, {"OPERA", 103},     {"SYMPHONIC", 106}, {"COUNTRY", 2},
            {"WESTERN SWING", 83}, {"ELECTRONIC", 52}, {"AMBIENT", 26},    {"DRUM AND BASS", 127},
            {"TRANCE", 31},        {"TECHNO", 18},     {"HOUSE", 35},      {"BREAKBEAT", 135},
            {"ACID JAZZ", 34},     {"POP", 13},        {"80S", 13},        {"ROCK", 17},
            {"METAL", 9},          {"OLDIES", 11},     {"TOP 40", 60},     {"FUNK", 5},
            {"GOSPEL", 38},        {"COMEDY", 57},     {"REGGAE", 16},     {"LATIN", 86},
            {"INSTRUMENTAL", 33},
        };
        for (const auto &[keyword, number] : rows)
            QTest::addRow("row %s", keyword) << QString::fromLatin1(keyword).toLower() << number;
    }
    void genreNumber() {
        QFETCH(QString, genre);
        QFETCH(int, number);
        QCOMPARE(int(GenreNumber(genre)), number);
    }

    void layoutByteByByte() {
        Id3v1Fields fields;
        fields.title = "Song";
        fields.artist = "Band";
        fields.album = "Unknown";
        fields.year = "2026";
        fields.comment = "";
        fields.genre = 140; // above 127: a raw byte, not a character
        const QByteArray tag = BuildId3v1Tag(fields);
        const QByteArray expected = "TAG" + padded("Song", 30) + padded("Band", 30) +
                                    padded("Unknown", 30) + "2026" + QByteArray(30, ' ') +
                                    QByteArray(1, char(0x8C));
        QCOMPARE(tag.size(), 128);
        QCOMPARE(tag, expected);
        QCOMPARE(tag.mid(63, 30), "Unknown" + QByteArray(23, ' '));
    }

    void longTextsAreCutAndShortOnesPadded() {
        Id3v1Fields fields;
        fields.title = QString(45, 'T');
        fields.artist = "0123456789012345678901234567890123456789"; // 40
        fields.album = "A";
        fields.year = "20261";
        fields.comment = QString(31, 'c');
        const QByteArray tag = BuildId3v1Tag(fields);
        QCOMPARE(tag.size(), 128);
        QCOMPARE(tag.mid(3, 30), QByteArray(30, 'T'));
        QCOMPARE(tag.mid(33, 30), QByteArray("012345678901234567890123456789"));
        QCOMPARE(tag.mid(63, 30), padded("A", 30));
        QCOMPARE(tag.mid(93, 4), QByteArray("2026"));
        QCOMPARE(tag.mid(97, 30), QByteArray(30, 'c'));
        QCOMPARE(quint8(tag.at(127)), NoGenre);
        QVERIFY(!tag.contains('\0'));
    }

    void textIsLatin1WithQuestionMarks() {
        Id3v1Fields fields;
        // é and ß are Latin-1; the euro sign, Cyrillic and an emoji (two UTF-16 units, one
        // character) are not.
        fields.title =
            QString::fromUtf8("Caf\xc3\xa9 \xe2\x82\xac \xd0\x96 \xf0\x9f\x8e\xb5 Stra\xc3\x9f"
                              "e");
        const QByteArray tag = BuildId3v1Tag(fields);
        QCOMPARE(tag.mid(3, 30), padded("Caf\xe9 ? ? ? Stra\xdf"
                                        "e",
                                        30));
    }

    void emojiCountsAsOneCharacterOfTheCut() {
        Id3v1Fields fields;
        fields.comment = QString(29, 'x') + QString::fromUtf8("\xf0\x9f\x8e\xb5") + "yz";
        const QByteArray tag = BuildId3v1Tag(fields);
        QCOMPARE(tag.mid(97, 30), QByteArray(29, 'x') + '?');
        QCOMPARE(quint8(tag.at(127)), NoGenre);
    }

    void readBack() {
        Id3v1Fields fields;
        fields.title = QString::fromUtf8("Caf\xc3\xa9");
        fields.artist = "Someone";
        fields.album = "Unknown";
        fields.year = "1999";
        fields.comment = "Radio 1.FM / Hits";
        fields.genre = 129;
        const auto read = ReadId3v1Tag(BuildId3v1Tag(fields));
        QVERIFY(read);
        QCOMPARE(read->title, fields.title);
        QCOMPARE(read->artist, fields.artist);
        QCOMPARE(read->album, fields.album);
        QCOMPARE(read->year, fields.year);
        QCOMPARE(read->comment, fields.comment);
        QCOMPARE(read->genre, quint8(129));
    }

    void readZeroPaddedAndRejects() {
        QByteArray block = "TAG" + QByteArray("Title") + QByteArray(25, '\0');
        block += QByteArray(30, '\0') + QByteArray(30, '\0') + QByteArray(4, '\0');
        block += QByteArray("note") + QByteArray(26, '\0') + QByteArray(1, char(17));
        QCOMPARE(block.size(), 128);
        const auto read = ReadId3v1Tag(block);
        QVERIFY(read);
        QCOMPARE(read->title, QString("Title"));
        QCOMPARE(read->artist, QString());
        QCOMPARE(read->comment, QString("note"));
        QCOMPARE(read->genre, quint8(17));

        QVERIFY(!ReadId3v1Tag(block.left(127)));
        QVERIFY(!ReadId3v1Tag(block + 'x'));
        block[0] = 'X';
        QVERIFY(!ReadId3v1Tag(block));
    }

    // Tags other programs wrote: any case of "tag"; zeros end a field before blanks are
    // trimmed, so a v1.1 track byte or junk after the zero never shows.
    void readAnyTag() {
        QByteArray block = "tAg" + QByteArray("  Title ") + QByteArray(22, ' ');
        block +=
            QByteArray(" Band") + QByteArray(1, '\0') + QByteArray("junk") + QByteArray(20, ' ');
        block += QByteArray(30, '\0') + QByteArray("99") + QByteArray(2, '\0');
        block += QByteArray("note ") + QByteArray(23, '\0') + QByteArray(1, char(5)) +
                 QByteArray(1, '\0') + QByteArray(1, char(200));
        QCOMPARE(block.size(), 128);
        QVERIFY(IsId3v1Tag(block));
        QVERIFY(!ReadId3v1Tag(block)); // the recorder's reader wants its own "TAG"
        const auto read = ReadAnyId3v1Tag(block);
        QVERIFY(read);
        QCOMPARE(read->title, QString("Title"));
        QCOMPARE(read->artist, QString("Band"));
        QCOMPARE(read->album, QString());
        QCOMPARE(read->year, QString("99"));
        QCOMPARE(read->comment, QString("note"));
        QCOMPARE(read->genre, quint8(200));

        QVERIFY(!IsId3v1Tag(block.left(127)));
        QVERIFY(!ReadAnyId3v1Tag(block + 'x'));
        block[1] = 'x';
        QVERIFY(!IsId3v1Tag(block));
        QVERIFY(!ReadAnyId3v1Tag(block));
    }
};

QTEST_GUILESS_MAIN(Id3v1Test)
#include "tst_id3v1.moc"
