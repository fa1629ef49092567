// SaveMP3Info on real files: what a finished recording looks like after tagging, and what it
// looks like when tagging cannot be done.
#include "mp3info/id3v1.h"
#include "recorder/tagwriter.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace kestrune;
using test::readAll;
using test::writeFile;

namespace {

QByteArray padded(const QByteArray &text, int length) {
    return text + QByteArray(length - text.size(), ' ');
}

// Child mode: tags `path` with the process's file size limit set to `limit` bytes (and the
// signal that limit raises ignored, so the write fails instead). Prints the result.
int tagUnderSizeLimit(const QString &path, qint64 limit) {
#ifdef Q_OS_UNIX
    if (!test::limitFileSize(limit))
        return 3;
    const bool saved = SaveMP3Info(path, "Rock", "Song", "Song", "2026", "Station");
    std::printf("%s\n", saved ? "saved" : "not saved");
    return 0;
#else
    Q_UNUSED(path);
    Q_UNUSED(limit);
    return 4;
#endif
}

} // namespace

class TagWriterTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void oneByteFileGetsTheWholeTag() {
        QTemporaryDir dir;
        const QString path = dir.filePath("one.mp3");
        QVERIFY(writeFile(path, "\xff"));
        QVERIFY(SaveMP3Info(path, "Alternative Rock", "Some Artist", "Some Title", "2026",
                            "Radio 1.FM / Hits"));
        const QByteArray expected = QByteArray("\xff") + "TAG" + padded("Some Title", 30) +
                                    padded("Some Artist", 30) + padded("Unknown", 30) + "2026" +
                                    padded("Radio 1.FM / Hits", 30) + QByteArray(1, char(20));
        QCOMPARE(readAll(path), expected);
    }

    void fieldsAreCutPaddedAndGenreFromTheTable() {
        QTemporaryDir dir;
        const QString path = dir.filePath("song.mp3");
        const QByteArray audio(4000, '\x55');
        QVERIFY(writeFile(path, audio));
        const QString song = "123456789 123456789 123456789 123456789 12345"; // 45
        QVERIFY(SaveMP3Info(path, "contemporary christian", song, song, "1999", ""));
        const QByteArray bytes = readAll(path);
        QCOMPARE(bytes.size(), 4128);
        QCOMPARE(bytes.left(4000), audio);
        const QByteArray tag = bytes.right(128);
        QCOMPARE(tag.mid(3, 30), song.left(30).toLatin1());
        QCOMPARE(tag.mid(33, 30), song.left(30).toLatin1());
        QCOMPARE(tag.mid(63, 30), "Unknown" + QByteArray(23, ' '));
        QCOMPARE(tag.mid(97, 30), QByteArray(30, ' '));
        QCOMPARE(quint8(tag.at(127)), quint8(140));
    }

    void emptyFileStaysEmpty() {
        QTemporaryDir dir;
        const QString path = dir.filePath("empty.mp3");
        QVERIFY(writeFile(path, QByteArray()));
        QVERIFY(!SaveMP3Info(path, "Rock", "a", "a", "2026", "s"));
        QCOMPARE(QFileInfo(path).size(), 0);
    }

    void missingFileIsNeverCreated() {
        QTemporaryDir dir;
        const QString path = dir.filePath("gone.mp3");
        QVERIFY(!SaveMP3Info(path, "Rock", "a", "a", "2026", "s"));
        QVERIFY(!QFileInfo::exists(path));
        QVERIFY(
            !SaveMP3Info(dir.filePath("no/such/folder/gone.mp3"), "Rock", "a", "a", "2026", "s"));
        QVERIFY(!QFileInfo::exists(dir.filePath("no")));
        // A folder of that name is not a recording either.
        QVERIFY(QDir(dir.path()).mkdir("folder.mp3"));
        QVERIFY(!SaveMP3Info(dir.filePath("folder.mp3"), "Rock", "a", "a", "2026", "s"));
        QVERIFY(QFileInfo(dir.filePath("folder.mp3")).isDir());
    }

    void taggingTwiceLeavesTwoTags() {
        QTemporaryDir dir;
        const QString path = dir.filePath("twice.mp3");
        QVERIFY(writeFile(path, "abc"));
        QVERIFY(SaveMP3Info(path, "Jazz", "First", "First", "2025", ""));
        QVERIFY(SaveMP3Info(path, "Reggae", "Second", "Second", "2026", ""));
        const QByteArray bytes = readAll(path);
        QCOMPARE(bytes.size(), 3 + 2 * 128);
        const auto first = ReadId3v1Tag(bytes.mid(3, 128));
        const auto second = ReadId3v1Tag(bytes.right(128));
        QVERIFY(first && second);
        QCOMPARE(first->title, QString("First"));
        QCOMPARE(first->genre, NoGenre);
        QCOMPARE(second->title, QString("Second"));
        QCOMPARE(second->year, QString("2026"));
        QCOMPARE(second->genre, quint8(16));
    }

    void nonLatinTextBecomesQuestionMarks() {
        QTemporaryDir dir;
        const QString path = dir.filePath("x.mp3");
        QVERIFY(writeFile(path, "x"));
        const QString song =
            QString::fromUtf8("\xd0\x9a\xd0\xb8\xd0\xbd\xd0\xbe - \xc3\xa9t\xc3\xa9");
        QVERIFY(SaveMP3Info(path, "Pop", song, song, "2026", QString::fromUtf8("\xe2\x82\xac FM")));
        const QByteArray tag = readAll(path).right(128);
        QCOMPARE(tag.mid(3, 30), padded("???? - \xe9t\xe9", 30));
        QCOMPARE(tag.mid(97, 30), padded("? FM", 30));
        QCOMPARE(quint8(tag.at(127)), quint8(13));
    }

    // The file size limit lets only part of the empty tag be written: the file must be cut
    // back to the audio, with no partial tag and no audio byte changed.
    void shortPlaceholderIsCutBack() {
#ifndef Q_OS_UNIX
        QSKIP("needs a per-process file size limit");
#endif
        QTemporaryDir dir;
        const QString path = dir.filePath("limited.mp3");
        QByteArray audio;
        for (int i = 0; i < 5000; ++i)
            audio.append(char(i * 7));
        QVERIFY(writeFile(path, audio));

        for (const qint64 room : {qint64(50), qint64(0)}) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {"--tag-under-limit", path, QString::number(audio.size() + room)});
            QVERIFY(child.waitForFinished(30000));
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 0);
            QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("not saved"));
            QCOMPARE(readAll(path), audio);
        }

        // With room for the tag the same child tags it whole.
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {"--tag-under-limit", path, QString::number(audio.size() + 128)});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.readAllStandardOutput().trimmed(), QByteArray("saved"));
        const QByteArray bytes = readAll(path);
        QCOMPARE(bytes.left(audio.size()), audio);
        const auto tag = ReadId3v1Tag(bytes.mid(audio.size()));
        QVERIFY(tag);
        QCOMPARE(tag->title, QString("Song"));
        QCOMPARE(tag->genre, quint8(17));
    }
};

int main(int argc, char **argv) {
    if (argc == 4 && qstrcmp(argv[1], "--tag-under-limit") == 0)
        return tagUnderSizeLimit(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toLongLong());
    QCoreApplication app(argc, argv);
    TagWriterTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tagwriter.moc"
