// The recorder on real files: blocks of real MP3 data arrive as the stream client hands them
// over, the now-playing text changes between them, and the files must hold exactly those
// bytes, each followed by its tag.
#include "mp3info/id3v1.h"
#include "recorder/recname.h"
#include "recorder/recorder.h"
#include "stream/httpstream.h"
#include "streamsynth/mp3synth.h"
#include "testfiles.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace kestrune;
using test::readAll;
using test::writeFile;

namespace {

QByteArray someMp3(double seconds) {
    testsupport::Mp3Params params;
    params.seconds = seconds;
    params.bitrateKbps = 128;
    return testsupport::synthesizeMp3(params);
}

// Ports typed into a stream address convert as signed 16-bit numbers, so the server takes a
// free port below 32768 itself.
bool listenBelow32768(QTcpServer &server) {
    const int start = 20000 + int(QCoreApplication::applicationPid() % 10000);
    for (int i = 0; i < 500; ++i) {
        const int port = 20000 + (start - 20000 + i * 11) % 12700;
        if (server.listen(QHostAddress::LocalHost, quint16(port)))
            return true;
    }
    return false;
}

QString thisYear() {
    return QString::number(QDate::currentDate().year());
}

// What the window and the stream client show, and the client's habit of counting a block
// before it hands it to the recording.
struct FakeWindow {
    QString station = "Radio 1.FM / Hits";
    QString genre = "Alternative Rock";
    QString artist;
    qint64 downloaded = 0;
    QByteArray source; // every byte the stream has delivered so far
    qsizetype next = 0;

    Recorder::Host host() {
        return {[this] { return station; }, [this] { return genre; }, [this] { return artist; },
                [this] { return downloaded; }};
    }
    // Hands the next `size` bytes of `source` over as one block.
    void deliver(Recorder &recorder, qsizetype size) {
        const QByteArray block = source.mid(next, size);
        next += block.size();
        downloaded += block.size();
        if (recorder.IsRecording())
            recorder.AppendToRecording(block);
    }
    // The tracker's order: note the song for the open file, then show it.
    void showSong(Recorder &recorder, const QString &song) {
        recorder.noteSong(song);
        const bool changed = artist != song;
        artist = song;
        if (changed)
            recorder.ArtistChanged();
    }
};

// Child mode: records into `dir` with the process's file size limit at `limit` bytes and its
// signal ignored, feeding the bytes of `sourcePath` in uneven blocks. Prints what happened.
int recordUnderSizeLimit(const QString &dir, const QString &sourcePath, qint64 limit) {
#ifdef Q_OS_UNIX
    int argc = 1;
    char name[] = "child";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    FakeWindow window;
    window.source = readAll(sourcePath);
    window.artist = "Song A";
    if (window.source.isEmpty() || !test::limitFileSize(limit))
        return 3;

    QString outputDir = dir;
    const QString type = FromGenre;
    RecordingState state;
    Recorder recorder(outputDir, type, state, window.host());
    QStringList messages;
    QObject::connect(&recorder, &Recorder::message, [&](const QString &text) { messages << text; });
    int ends = 0;
    QObject::connect(&recorder, &Recorder::recordingChanged, [&](bool on) { ends += on ? 0 : 1; });
    recorder.Record();
    if (!state.IsRecording)
        return 5;
    const qsizetype sizes[] = {1000, 333, 4096, 17, 2500};
    for (int i = 0; window.next < window.source.size(); ++i) {
        window.deliver(recorder, sizes[i % 5]);
        if (!state.IsRecording)
            break;
    }
    // A block after the end must not reach the file even if somebody hands it over.
    recorder.AppendToRecording("late");
    QCoreApplication::processEvents();
    std::printf("%s\n%lld\n%d\n%d\n%s\n", qPrintable(state.RecFileName),
                static_cast<long long>(window.next), int(state.IsRecording), ends,
                qPrintable(messages.join('|')));
    return 0;
#else
    Q_UNUSED(dir);
    Q_UNUSED(sourcePath);
    Q_UNUSED(limit);
    return 4;
#endif
}

} // namespace

class RecorderTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void byteExactAcrossSplits() {
        QTemporaryDir dir;
        QString outputDir = dir.filePath("Recordings"); // no separator, not there yet
        const QString type = FromGenre;
        FakeWindow window;
        window.source = someMp3(4.0);
        QVERIFY(window.source.size() > 60000);
        window.artist = "Song A";
        RecordingState state;
        Recorder recorder(outputDir, type, state, window.host());
        QSignalSpy names(&recorder, &Recorder::fileToRecordText);
        QSignalSpy changes(&recorder, &Recorder::recordingChanged);
        QSignalSpy messages(&recorder, &Recorder::message);

        // A song seen before the recording starts never names a tag.
        recorder.noteSong("Before");
        window.deliver(recorder, 777);
        window.deliver(recorder, 1234);
        const qint64 firstRecorded = window.next;

        // A link to nowhere holds the first free "Recording" name.
        const QString folder = outputDir + "/Alternative Rock/";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::link(dir.filePath("nowhere"), folder + "Recording.mp3"));

        recorder.Record();
        QVERIFY(state.IsRecording);
        QCOMPARE(outputDir, dir.filePath("Recordings") + QDir::separator());
        QCOMPARE(state.RecordStartBytes, window.downloaded);
        QVERIFY(state.RecordStartTime.secsTo(QDateTime::currentDateTime()) < 60);
        QVERIFY(state.RecSongTitle.isEmpty());

        const qsizetype sizes[] = {1, 4095, 333, 8192, 17, 1460, 2900, 5};
        int turn = 0;
        auto some = [&](int blocks) {
            for (int i = 0; i < blocks; ++i)
                window.deliver(recorder, sizes[turn++ % 8]);
        };
        QList<qint64> startBytes{state.RecordStartBytes};
        some(3);
        window.showSong(recorder, "Song A"); // the first poll after Record names file 1
        some(5);
        window.showSong(recorder, "AC/DC: Back?"); // split 1
        startBytes << state.RecordStartBytes;
        QCOMPARE(state.RecordStartBytes, window.downloaded);
        some(4);
        window.showSong(recorder, "AC/DC: Back?");
        some(3);
        window.artist.clear(); // a server switch clears the label: split 2
        recorder.ArtistChanged();
        startBytes << state.RecordStartBytes;
        some(6);
        window.showSong(recorder, "Song C"); // split 3; file 3 takes the song read first
        startBytes << state.RecordStartBytes;
        some(7);
        const qint64 lastRecorded = window.next;
        recorder.StopRecord();
        QVERIFY(!state.IsRecording);
        some(3); // after the stop: not recorded

        const QStringList files{"Song A.mp3", "AC_DC_ Back_.mp3", "Recording[1].mp3", "Song C.mp3"};
        QStringList shown;
        for (const auto &args : names)
            shown << args.at(0).toString();
        QCOMPARE(shown, files + QStringList{"None"});
        QCOMPARE(changes.size(), 2);
        QCOMPARE(changes.at(0).at(0).toBool(), true);
        QCOMPARE(changes.at(1).at(0).toBool(), false);
        QCOMPARE(state.RecFileName, folder + "Song C.mp3");

        const QStringList titles{"Song A", "AC/DC: Back?", "Song C", "Song C"};
        QByteArray joined;
        for (int i = 0; i < files.size(); ++i) {
            const QByteArray bytes = readAll(folder + files.at(i));
            QVERIFY2(bytes.size() > 128, qPrintable(files.at(i)));
            joined += bytes.chopped(128);
            const QByteArray block = bytes.right(128);
            const auto tag = ReadId3v1Tag(block);
            QVERIFY2(tag, qPrintable(files.at(i)));
            QCOMPARE(tag->title, titles.at(i));
            QCOMPARE(tag->artist, titles.at(i));
            QCOMPARE(tag->album, QString("Unknown"));
            QCOMPARE(tag->year, thisYear());
            QCOMPARE(tag->comment, QString("Radio 1.FM / Hits"));
            QCOMPARE(quint8(block.at(127)), quint8(20));
            QCOMPARE(block.mid(63, 30), "Unknown" + QByteArray(23, ' '));
            // Each file starts where the previous one ended in the stream's count.
            if (i + 1 < startBytes.size())
                QCOMPARE(startBytes.at(i + 1) - startBytes.at(i), qint64(bytes.size() - 128));
        }
        QCOMPARE(joined, window.source.mid(firstRecorded, lastRecorded - firstRecorded));
        QVERIFY(QFileInfo(folder + "Recording.mp3").isSymLink());
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), files.size());
        QCoreApplication::processEvents();
        QCOMPARE(messages.size(), 0);
    }

    void idleCallsChangeNothing() {
        QTemporaryDir dir;
        QString outputDir = dir.path();
        const QString type = FromGenre;
        FakeWindow window;
        window.artist = "Song";
        RecordingState state;
        Recorder recorder(outputDir, type, state, window.host());
        QSignalSpy names(&recorder, &Recorder::fileToRecordText);
        QSignalSpy changes(&recorder, &Recorder::recordingChanged);

        recorder.StopRecord();
        recorder.ArtistChanged();
        recorder.AppendToRecording("bytes");
        QVERIFY(!state.IsRecording);
        QVERIFY(state.RecFileName.isEmpty());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 0);
        QCOMPARE(names.size() + changes.size(), 0);

        // Record twice: one file, one start.
        recorder.Record();
        const QString first = state.RecFileName;
        recorder.Record();
        QCOMPARE(state.RecFileName, first);
        QCOMPARE(changes.size(), 1);
        QCOMPARE(QDir(dir.filePath("Alternative Rock")).entryList(QDir::Files),
                 QStringList{"Song.mp3"});

        // A file that received nothing stays empty and gets no tag.
        recorder.StopRecord();
        QCOMPARE(QFileInfo(first).size(), 0);
        recorder.StopRecord();
        QCOMPARE(changes.size(), 2);
    }

    void songNotedOnlyWhileEmpty() {
        QTemporaryDir dir;
        QString outputDir = dir.path();
        const QString type = FromStationName;
        FakeWindow window;
        RecordingState state;
        Recorder recorder(outputDir, type, state, window.host());
        recorder.Record();
        recorder.noteSong("");
        QCOMPARE(state.RecSongTitle, QString("Unknown"));
        recorder.noteSong("Later");
        QCOMPARE(state.RecSongTitle, QString("Unknown"));
        recorder.StopRecord();
        recorder.Record();
        QVERIFY(state.RecSongTitle.isEmpty());
        QCOMPARE(state.RecFileName, dir.filePath("Radio 1 FM   Hits/Recording[1].mp3"));
        recorder.StopRecord();
    }

    void outputFolderThatCannotBeMade() {
        QTemporaryDir dir;
        // A file where a folder should be: no user, root included, can make a folder below it.
        QVERIFY(writeFile(dir.filePath("plain"), "x"));
        QString outputDir = dir.filePath("plain/Recordings/");
        const QString type = FromGenre;
        FakeWindow window;
        window.artist = "Song";
        RecordingState state;
        Recorder recorder(outputDir, type, state, window.host());
        QSignalSpy changes(&recorder, &Recorder::recordingChanged);
        QSignalSpy names(&recorder, &Recorder::fileToRecordText);
        QSignalSpy messages(&recorder, &Recorder::message);

        recorder.Record();
        QVERIFY(!state.IsRecording);
        QVERIFY(!recorder.IsRecording());
        // Posted, not raised inside the call.
        QCOMPARE(messages.size(), 0);
        QVERIFY(messages.wait(5000));
        const QString path = outputDir + "Alternative Rock/Song.mp3";
        QCOMPARE(messages.at(0).at(0).toString(),
                 QString("Cannot record to %1: Not a directory").arg(path));
        QCOMPARE(changes.size(), 0);
        QCOMPARE(names.size(), 0);
        recorder.AppendToRecording("bytes");
        recorder.StopRecord();
        QCOMPARE(changes.size(), 0);
        QCOMPARE(readAll(dir.filePath("plain")), QByteArray("x"));
    }

    void splitIntoAFileThatCannotBeMade() {
        QTemporaryDir dir;
        QString outputDir = dir.path();
        const QString type = FromGenre;
        FakeWindow window;
        window.source = someMp3(1.0);
        window.artist = "Song A";
        window.genre = "Rock";
        QVERIFY(writeFile(dir.filePath("Jazz"), "not a folder"));
        RecordingState state;
        Recorder recorder(outputDir, type, state, window.host());
        QSignalSpy changes(&recorder, &Recorder::recordingChanged);
        QSignalSpy names(&recorder, &Recorder::fileToRecordText);
        QSignalSpy messages(&recorder, &Recorder::message);

        recorder.Record();
        window.showSong(recorder, "Song A");
        window.deliver(recorder, 5000);
        window.genre = "Jazz"; // the next file's group folder cannot be made
        window.showSong(recorder, "Song B");
        QVERIFY(!state.IsRecording);
        QCOMPARE(changes.size(), 2);
        QCOMPARE(changes.at(1).at(0).toBool(), false);
        QCOMPARE(names.last().at(0).toString(), QString("None"));
        QVERIFY(messages.wait(5000));
        QCOMPARE(
            messages.at(0).at(0).toString(),
            QString("Cannot record to %1: Not a directory").arg(dir.filePath("Jazz/Song B.mp3")));

        const QByteArray bytes = readAll(dir.filePath("Rock/Song A.mp3"));
        QCOMPARE(bytes.size(), 5000 + 128);
        QCOMPARE(bytes.left(5000), window.source.left(5000));
        const auto tag = ReadId3v1Tag(bytes.right(128));
        QVERIFY(tag);
        QCOMPARE(tag->title, QString("Song A"));
        QCOMPARE(tag->genre, NoGenre); // the genre shown at the split: "Jazz"

        // Stop after the end is nothing; the file is tagged once only.
        recorder.StopRecord();
        QCOMPARE(QFileInfo(dir.filePath("Rock/Song A.mp3")).size(), 5128);
        QCOMPARE(changes.size(), 2);
    }

    // The stream client on a real socket appends through the recorder: the splits fall
    // between the server's writes, and the files hold exactly what arrived while recording.
    void streamClientOnARealSocket() {
        QTemporaryDir dir;
        QString outputDir = dir.path();
        const QString type = FromGenre;
        FakeWindow window;
        window.genre = "Trance";
        window.artist = "First";
        QTcpServer server;
        QVERIFY(listenBelow32768(server));
        HTTPStream stream;
        RecordingState state;
        Recorder::Host host = window.host();
        host.downloadedBytes = [&stream] { return stream.DownloadedBytes(); };
        Recorder live(outputDir, type, state, host);
        stream.setRecordingSink(&live);
        stream.setUrl(QString("127.0.0.1:%1/").arg(server.serverPort()));
        stream.StartStreaming();
        QVERIFY(server.waitForNewConnection(5000));
        QTcpSocket *peer = server.nextPendingConnection();
        QVERIFY(peer);

        const QByteArray audio = someMp3(3.0);
        QByteArray sent = "ICY 200 OK\r\nicy-name: Test\r\n\r\n";
        peer->write(sent);
        auto arrived = [&] {
            return QTest::qWaitFor([&] { return stream.DownloadedBytes() == sent.size(); }, 5000);
        };
        const qsizetype chunks[] = {3001, 17, 9000, 4444, 1, 12000, 777, 6000, 2222};
        qsizetype at = 0;
        qsizetype recordedFrom = 0;
        const QStringList songs{"First", "Second", "Third"};
        for (int part = 0; part < 9; ++part) {
            QVERIFY(arrived());
            if (part == 1) {
                live.Record();
                QVERIFY(state.IsRecording);
                recordedFrom = sent.size();
                QCOMPARE(state.RecordStartBytes, qint64(sent.size()));
            }
            // The tracker's poll: the song changes before parts 4 and 7.
            window.showSong(live, songs.at(part < 4 ? 0 : part < 7 ? 1 : 2));
            const QByteArray chunk = audio.mid(at, chunks[part]);
            at += chunk.size();
            peer->write(chunk);
            sent += chunk;
        }
        QVERIFY(arrived());
        live.StopRecord();
        peer->write(audio.mid(at, 500));
        sent += audio.mid(at, 500);
        QVERIFY(arrived());

        QByteArray joined;
        for (const QString &song : songs) {
            const QByteArray bytes = readAll(dir.filePath("Trance/" + song + ".mp3"));
            QVERIFY2(bytes.size() > 128, qPrintable(song));
            const auto tag = ReadId3v1Tag(bytes.right(128));
            QVERIFY(tag);
            QCOMPARE(tag->title, song);
            QCOMPARE(tag->genre, quint8(31));
            joined += bytes.chopped(128);
        }
        QCOMPARE(joined.size(), sent.size() - 500 - recordedFrom);
        QVERIFY(joined == sent.mid(recordedFrom, joined.size()));
        stream.StopStreaming();
    }

    // A file size limit stands in for a full disk: the recording ends at the first piece that
    // cannot be written whole, keeps what was written, and adds no partial tag.
    void sizeLimitEndsTheRecording() {
#ifndef Q_OS_UNIX
        QSKIP("needs a per-process file size limit");
#endif
        QTemporaryDir dir;
        const QByteArray source = someMp3(4.0);
        const QString sourcePath = dir.filePath("source.bin");
        QVERIFY(writeFile(sourcePath, source));
        const qint64 limit = 20000; // not a block boundary
        // Room for the piece that fails (the recorder writes in pieces of 16 KiB) and more.
        QVERIFY(source.size() > limit + 2 * 16384);

        QProcess child;
        child.start(
            QCoreApplication::applicationFilePath(),
            {"--record-under-limit", dir.filePath("out"), sourcePath, QString::number(limit)});
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        const QStringList lines = QString::fromLocal8Bit(child.readAllStandardOutput()).split('\n');
        QVERIFY2(lines.size() >= 5, qPrintable(lines.join('\n')));
        const QString file = dir.filePath("out/Alternative Rock/Song A.mp3");
        QCOMPARE(lines.at(0), file);
        QVERIFY(lines.at(1).toLongLong() < source.size()); // stopped feeding at the end
        QCOMPARE(lines.at(2), QString("0"));               // not recording
        QCOMPARE(lines.at(3), QString("1"));               // ended once
        QCOMPARE(lines.at(4),
                 QString("Recording stopped: could not write %1: File too large").arg(file));
        QCOMPARE(readAll(file), source.left(limit));
    }
};

int main(int argc, char **argv) {
    if (argc == 5 && qstrcmp(argv[1], "--record-under-limit") == 0)
        return recordUnderSizeLimit(QString::fromLocal8Bit(argv[2]),
                                    QString::fromLocal8Bit(argv[3]),
                                    QByteArray(argv[4]).toLongLong());
    QCoreApplication app(argc, argv);
    RecorderTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recorder.moc"
