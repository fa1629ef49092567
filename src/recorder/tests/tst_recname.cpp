// Recording names and folders on a real file system.
#include "recorder/recname.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace kestrune;

namespace {

bool touch(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

} // namespace

class RecNameTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleaning_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QChar>("replacement");
        QTest::addColumn<QString>("cleaned");
        QTest::newRow("song") << "AC/DC: Back?" << QChar('_') << "AC_DC_ Back_";
        QTest::newRow("full stop") << "Mr. Big" << QChar('_') << "Mr_ Big";
        QTest::newRow("group") << "Radio 1.FM / Hits" << QChar(' ') << "Radio 1 FM   Hits";
        QTest::newRow("all ten") << "a\"b*c.d/e:f<g>h?i\\j|k" << QChar('_')
                                 << "a_b_c_d_e_f_g_h_i_j_k";
        QTest::newRow("controls") << QString("a\tb\nc") + QChar(0x7f) + "d" + QChar(0x01)
                                  << QChar('_') << "a_b_c_d_";
        QTest::newRow("others kept") << "Rock'n'Roll (Live) & #1 ~ {x} [y]" << QChar('_')
                                     << "Rock'n'Roll (Live) & #1 ~ {x} [y]";
        QTest::newRow("non-Latin kept")
            << QString::fromUtf8(
                   "\xd0\x9a\xd0\xb8\xd0\xbd\xd0\xbe \xe6\x9d\xb1\xe4\xba\xac \xc3\xa9")
            << QChar('_')
            << QString::fromUtf8(
                   "\xd0\x9a\xd0\xb8\xd0\xbd\xd0\xbe \xe6\x9d\xb1\xe4\xba\xac \xc3\xa9");
        QTest::newRow("parent folder") << ".." << QChar(' ') << "  ";
        QTest::newRow("60 cut to 50") << QString(60, 'x') << QChar('_') << QString(50, 'x');
    }
    void cleaning() {
        QFETCH(QString, name);
        QFETCH(QChar, replacement);
        QFETCH(QString, cleaned);
        QCOMPARE(CleanRecName(name, replacement), cleaned);
    }

    void cutCountsCharactersNotUnits() {
        const QString note = QString::fromUtf8("\xf0\x9f\x8e\xb5"); // one character, two units
        QString name;
        for (int i = 0; i < 60; ++i)
            name += note;
        const QString cleaned = CleanRecName(name, '_');
        QCOMPARE(cleaned.size(), 100);
        QCOMPARE(cleaned.toUcs4().size(), 50);
        QVERIFY(!cleaned.back().isHighSurrogate());
        const QString mixed = QString(49, 'a') + note + "b";
        QCOMPARE(CleanRecName(mixed, '_'), QString(49, 'a') + note);
    }

    void layoutAndSeparator() {
        QTemporaryDir dir;
        QString outputDir = dir.filePath("Music"); // no trailing separator, not there yet
        const RecNameInput input{FromGenre, "Some Station", "Rock", "AC/DC: Back?"};
        const QString path = GetRecName(outputDir, input);
        QCOMPARE(outputDir, dir.filePath("Music") + QDir::separator());
        QCOMPARE(path, outputDir + "Rock" + QDir::separator() + "AC_DC_ Back_.mp3");
        QVERIFY(QFileInfo(outputDir + "Rock").isDir());
        QVERIFY(!QFileInfo::exists(path)); // naming creates folders, never the file

        // Already ending in the separator: unchanged.
        const QString before = outputDir;
        GetRecName(outputDir, input);
        QCOMPARE(outputDir, before);
    }

    void missingLevelsAreCreated() {
        QTemporaryDir dir;
        QString outputDir = dir.filePath("a/b/c/");
        const QString path =
            GetRecName(outputDir, {FromStationName, "Radio 1.FM / Hits", "Pop", "Mr. Big"});
        QCOMPARE(path, dir.filePath("a/b/c/Radio 1 FM   Hits/Mr_ Big.mp3"));
        QVERIFY(QFileInfo(dir.filePath("a/b/c/Radio 1 FM   Hits")).isDir());
    }

    void groupChoice_data() {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("station");
        QTest::addColumn<QString>("genre");
        QTest::addColumn<QString>("group");
        QTest::newRow("genre") << "From Genre"
                               << "S"
                               << "Jazz"
                               << "Jazz";
        QTest::newRow("station") << "From Station Name"
                                 << "S"
                                 << "Jazz"
                                 << "S";
        QTest::newRow("empty genre") << "From Genre"
                                     << "S"
                                     << ""
                                     << "Unknown";
        QTest::newRow("empty station") << "From Station Name"
                                       << ""
                                       << "Jazz"
                                       << "Unknown";
        QTest::newRow("other value") << "from genre"
                                     << "S"
                                     << "Jazz"
                                     << "Unknown";
        QTest::newRow("empty value") << ""
                                     << "S"
                                     << "Jazz"
                                     << "Unknown";
        QTest::newRow("long genre") << "From Genre"
                                    << "S" << QString(55, 'g') << QString(50, 'g');
    }
    void groupChoice() {
        QFETCH(QString, type);
        QFETCH(QString, station);
        QFETCH(QString, genre);
        QFETCH(QString, group);
        QTemporaryDir dir;
        QString outputDir = dir.path();
        const QString path = GetRecName(outputDir, {type, station, genre, "Song"});
        QCOMPARE(path, dir.filePath(group + "/Song.mp3"));
        QVERIFY(QFileInfo(dir.filePath(group)).isDir());
    }

    void songNames() {
        QTemporaryDir dir;
        QString outputDir = dir.path();
        const QString folder = dir.filePath("Rock/");
        QCOMPARE(GetRecName(outputDir, {FromGenre, "", "Rock", ""}), folder + "Recording.mp3");
        QCOMPARE(GetRecName(outputDir, {FromGenre, "", "Rock", "Unknown"}),
                 folder + "Recording.mp3");
        QCOMPARE(GetRecName(outputDir, {FromGenre, "", "Rock", "unknown"}), folder + "unknown.mp3");
        QCOMPARE(GetRecName(outputDir, {FromGenre, "", "Rock", QString(60, 's')}),
                 folder + QString(50, 's') + ".mp3");
    }

    void takenNamesMoveTheCounterOn() {
        QTemporaryDir dir;
        QString outputDir = dir.path();
        const RecNameInput recording{FromGenre, "", "Rock", ""};
        const QString folder = dir.filePath("Rock/");
        QCOMPARE(GetRecName(outputDir, recording), folder + "Recording.mp3");
        QVERIFY(touch(folder + "Recording.mp3"));
        QCOMPARE(GetRecName(outputDir, recording), folder + "Recording[1].mp3");
        QVERIFY(touch(folder + "Recording[1].mp3"));
        QCOMPARE(GetRecName(outputDir, recording), folder + "Recording[2].mp3");

        const RecNameInput song{FromGenre, "", "Rock", "Song"};
        QVERIFY(touch(folder + "Song.mp3"));
        QVERIFY(touch(folder + "Song[1].mp3"));
        QCOMPARE(GetRecName(outputDir, song), folder + "Song[2].mp3");

        // A folder and a link to nowhere are taken too.
        QVERIFY(QDir(folder).mkdir("Song[2].mp3"));
        QVERIFY(QFile::link(dir.filePath("nowhere"), folder + "Song[3].mp3"));
        QVERIFY(!QFileInfo::exists(folder + "Song[3].mp3"));
        QCOMPARE(GetRecName(outputDir, song), folder + "Song[4].mp3");
    }

    // Here a hidden file is one whose name starts with a full stop, which a cleaned name never
    // does; what matters is that any entry counts, whatever its permissions, and that hidden
    // entries beside it change nothing.
    void entriesCountWhateverTheirPermissions() {
        QTemporaryDir dir;
        QString outputDir = dir.path();
        const QString folder = dir.filePath("Rock/");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(touch(folder + ".Song.mp3"));
        QCOMPARE(GetRecName(outputDir, {FromGenre, "", "Rock", "Song"}), folder + "Song.mp3");
        QVERIFY(touch(folder + "Song.mp3"));
        QVERIFY(QFile::setPermissions(folder + "Song.mp3", QFileDevice::Permissions()));
        QCOMPARE(GetRecName(outputDir, {FromGenre, "", "Rock", "Song"}), folder + "Song[1].mp3");
    }
};

QTEST_GUILESS_MAIN(RecNameTest)
#include "tst_recname.moc"
