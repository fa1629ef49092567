// The library's file analysis against lame-made files and mp3info, its folder reading in real
// folders (with the entries that must be skipped), and its cell and totals texts.
#include "library/libraryfolder.h"

#include "lamefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace kestrune;
using namespace kestrune::testing;

namespace {

ChannelMode modeFromMp3info(const QString &text) {
    if (text == QLatin1String("stereo"))
        return ChannelMode::Stereo;
    if (text == QLatin1String("joint stereo"))
        return ChannelMode::JointStereo;
    if (text == QLatin1String("dual channel"))
        return ChannelMode::DualChannel;
    if (text == QLatin1String("mono"))
        return ChannelMode::Mono;
    return ChannelMode::Unknown;
}

bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestLibraryFolder : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void analysis_data();
    void analysis();
    void analysisOfFilesThatAreNotMpeg();
    void analysisOnSeveralThreads();
    void groupFolders();
    void groupFoldersOfAnUnreadableFolder();
    void readFolderListsRegularFilesOnly();
    void readFolderProgressAndEmptyCases();
    void totals();
    void sizeBitrateAndRateTexts();
    void lengthAndTimeTexts();
    void dateAndModeTexts();
    void renameProblems();

private:
    QTemporaryDir m_dir;
    QString m_cbr;    // 128 kbit/s stereo, 44.1 kHz, ID3v1 tag
    QString m_vbr;    // -V 2 joint stereo, 44.1 kHz
    QString m_mono48; // VBR mono 48 kHz
};

void TestLibraryFolder::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty(),
             "lame is needed (scripts/deps installs it)");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("mp3info")).isEmpty(),
             "mp3info is needed (scripts/deps installs it)");
    m_cbr = makeMp3(m_dir.path(), QStringLiteral("cbr.mp3"), 44100, 2, 44100 * 3,
                    {QStringLiteral("-b"), QStringLiteral("128"), QStringLiteral("-m"),
                     QStringLiteral("s"), QStringLiteral("--id3v1-only"), QStringLiteral("--tt"),
                     QStringLiteral("A song")});
    m_vbr = makeMp3(m_dir.path(), QStringLiteral("vbr.mp3"), 44100, 2, 44100 * 3,
                    {QStringLiteral("-V"), QStringLiteral("2")});
    m_mono48 = makeMp3(
        m_dir.path(), QStringLiteral("mono48.mp3"), 48000, 1, 48000 * 2,
        {QStringLiteral("-V"), QStringLiteral("5"), QStringLiteral("-m"), QStringLiteral("m")});
    QVERIFY(!m_cbr.isEmpty() && !m_vbr.isEmpty() && !m_mono48.isEmpty());
}

void TestLibraryFolder::analysis_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<qint64>("frames");
    QTest::addColumn<QStringList>("lameArgs");
    QTest::addColumn<bool>("vbr");
    // lame leaves the Info frame out where a frame is too small to hold it (8 kbit/s at
    // 8 kHz): then there is no gapless length and the length is that of the frames.
    QTest::addColumn<bool>("gapless");

    auto s = [](const char *text) { return QString::fromLatin1(text); };
    QTest::newRow("CBR 128 stereo 44.1 kHz, ID3v1")
        << 44100 << 2 << qint64(44100 * 3 + 500)
        << QStringList{s("-b"), s("128"), s("-m"), s("s"), s("--id3v1-only"), s("--tt"), s("x")}
        << false << true;
    QTest::newRow("CBR 96 joint 32 kHz")
        << 32000 << 2 << qint64(32000 * 4) << QStringList{s("-b"), s("96"), s("-m"), s("j")}
        << false << true;
    QTest::newRow("CBR 8 mono 8 kHz (MPEG 2.5)")
        << 8000 << 1 << qint64(8000 * 3) << QStringList{s("-b"), s("8"), s("-m"), s("m")} << false
        << false;
    QTest::newRow("CBR 64 dual channel 48 kHz")
        << 48000 << 2 << qint64(48000 * 2) << QStringList{s("-b"), s("64"), s("-m"), s("d")}
        << false << true;
    QTest::newRow("VBR -V 2 joint 44.1 kHz, ID3v1")
        << 44100 << 2 << qint64(44100 * 5)
        << QStringList{s("-V"), s("2"), s("--id3v1-only"), s("--tt"), s("y")} << true << true;
    QTest::newRow("VBR -V 6 mono 22.05 kHz")
        << 22050 << 1 << qint64(22050 * 4) << QStringList{s("-V"), s("6"), s("-m"), s("m")} << true
        << true;
    QTest::newRow("VBR -V 0 stereo 48 kHz, ID3v2 and ID3v1")
        << 48000 << 2 << qint64(48000 * 3 + 77)
        << QStringList{s("-V"), s("0"), s("-m"), s("s"), s("--add-id3v2"), s("--tt"), s("z")}
        << true << true;
}

void TestLibraryFolder::analysis() {
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(qint64, frames);
    QFETCH(QStringList, lameArgs);
    QFETCH(bool, vbr);
    QFETCH(bool, gapless);

    const QString path =
        makeMp3(m_dir.path(), QStringLiteral("row.mp3"), rate, channels, frames, lameArgs);
    QVERIFY(!path.isEmpty());
    const Mp3InfoReport report = mp3infoReport(path);
    QVERIFY(report.ok);

    const AudioFacts facts = AnalyseAudioFile(path);
    QVERIFY(facts.valid);
    QCOMPARE(facts.sampleRate, rate);
    QCOMPARE(facts.sampleRate, report.rate);
    QCOMPARE(facts.channels, channels);
    QCOMPARE(facts.layer, 3);
    QCOMPARE(report.layer, QStringLiteral("III"));
    QCOMPARE(facts.mode, modeFromMp3info(report.mode));
    // The encoder's delay and padding are not part of the length: what went in comes out.
    const int samplesPerFrame = rate >= 32000 ? 1152 : 576;
    const qint64 expectedMs =
        gapless ? (frames * 1000 + rate / 2) / rate
                : (qint64(report.frames) * samplesPerFrame * 1000 + rate / 2) / rate;
    QVERIFY2(qAbs(facts.lengthMs - expectedMs) <= 1,
             qPrintable(QStringLiteral("%1 ms, made %2 ms").arg(facts.lengthMs).arg(expectedMs)));
    QCOMPARE(int(facts.lengthMs / 1000), report.seconds);
    if (vbr) {
        // The average over the file, within what the Xing frame and the encoder's padding
        // shift it by; a first frame's bitrate would be far off for most files.
        QVERIFY2(
            qAbs(facts.bitrateKbps - report.kbps) <= std::max(2.0, report.kbps * 0.03),
            qPrintable(
                QStringLiteral("%1 kbit/s, mp3info %2").arg(facts.bitrateKbps).arg(report.kbps)));
    } else {
        QCOMPARE(double(facts.bitrateKbps), report.kbps);
    }
    QVERIFY(QFile::remove(path));
}

void TestLibraryFolder::analysisOfFilesThatAreNotMpeg() {
    const QString text = m_dir.filePath(QStringLiteral("notes.txt"));
    QVERIFY(writeFile(text, QByteArray("Some notes about the recordings.\n").repeated(200)));
    const QString zeros = m_dir.filePath(QStringLiteral("zeros.mp3"));
    QVERIFY(writeFile(zeros, QByteArray(20000, '\0')));
    const QString tagOnly = m_dir.filePath(QStringLiteral("tag-only.mp3"));
    QVERIFY(writeFile(tagOnly, QByteArray("TAG") + QByteArray(125, ' ')));

    for (const QString &path : {text, zeros, tagOnly, m_dir.filePath(QStringLiteral("gone.mp3"))}) {
        const AudioFacts facts = AnalyseAudioFile(path);
        QVERIFY2(!facts.valid, qPrintable(path));
        QCOMPARE(facts.lengthMs, 0);
        QCOMPARE(facts.bitrateKbps, 0);
        QCOMPARE(facts.sampleRate, 0);
        QCOMPARE(facts.mode, ChannelMode::Unknown);
    }
    // A good file right after bad ones: the per-thread handle carries nothing over.
    QVERIFY(AnalyseAudioFile(m_cbr).valid);

    // Names beyond ASCII open through the program's own reader.
    const QString unicode = m_dir.filePath(QStringLiteral("Lied \u00fcber \u65e5\u672c.mp3"));
    QVERIFY(QFile::copy(m_vbr, unicode));
    const AudioFacts facts = AnalyseAudioFile(unicode);
    QVERIFY(facts.valid);
    QCOMPARE(facts.lengthMs, AnalyseAudioFile(m_vbr).lengthMs);
}

void TestLibraryFolder::analysisOnSeveralThreads() {
    const QStringList paths{m_cbr, m_vbr, m_mono48};
    std::vector<AudioFacts> expected;
    for (const QString &path : paths)
        expected.push_back(AnalyseAudioFile(path));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 200; ++round) {
                const int i = (round + t) % int(paths.size());
                const AudioFacts got = AnalyseAudioFile(paths[i]);
                const AudioFacts &want = expected[size_t(i)];
                if (!got.valid || got.lengthMs != want.lengthMs ||
                    got.bitrateKbps != want.bitrateKbps || got.sampleRate != want.sampleRate ||
                    got.mode != want.mode)
                    ++mismatches;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(mismatches.load(), 0);
}

void TestLibraryFolder::groupFolders() {
    QTemporaryDir out;
    QVERIFY(out.isValid());
    QDir root(out.path());
    for (const char *name : {"Rock", "jazz", "Zero", "Empty", "Deep", ".hidden", "Blues"})
        QVERIFY(root.mkpath(QString::fromLatin1(name)));
    QVERIFY(QFile::copy(m_cbr, root.filePath(QStringLiteral("Rock/Song.mp3"))));
    QVERIFY(writeFile(root.filePath(QStringLiteral("jazz/notes.doc")), "x"));
    // Only an empty file: shown here, though its list will be empty.
    QVERIFY(writeFile(root.filePath(QStringLiteral("Zero/Recording.mp3")), {}));
    QVERIFY(root.mkpath(QStringLiteral("Deep/Inner")));
    QVERIFY(QFile::copy(m_cbr, root.filePath(QStringLiteral("Deep/Inner/Song.mp3"))));
    QVERIFY(QFile::copy(m_cbr, root.filePath(QStringLiteral(".hidden/Song.mp3"))));
    QVERIFY(writeFile(root.filePath(QStringLiteral("Blues/.hidden.mp3")), "x"));
    QVERIFY(writeFile(root.filePath(QStringLiteral("loose.mp3")), "x"));

    QCOMPARE(GroupFolders(out.path()),
             (QStringList{QStringLiteral("jazz"), QStringLiteral("Rock"), QStringLiteral("Zero")}));
    QCOMPARE(GroupFolders(out.path() + QLatin1Char('/')), GroupFolders(out.path()));
    QCOMPARE(GroupFolders(root.filePath(QStringLiteral("missing"))), QStringList());

    // An empty setting lists nothing, wherever the program happens to run.
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(out.path()));
    const QStringList fromEmpty = GroupFolders(QString());
    QVERIFY(QDir::setCurrent(before));
    QCOMPARE(fromEmpty, QStringList());
    QCOMPARE(ReadFolder(QString()).size(), 0);
}

void TestLibraryFolder::groupFoldersOfAnUnreadableFolder() {
#ifdef Q_OS_UNIX
    if (::geteuid() == 0)
        QSKIP("run as root: permissions do not keep root out of a folder");
    QTemporaryDir out;
    QDir root(out.path());
    QVERIFY(root.mkpath(QStringLiteral("Locked")));
    QVERIFY(QFile::copy(m_cbr, root.filePath(QStringLiteral("Locked/Song.mp3"))));
    QVERIFY(root.mkpath(QStringLiteral("Open")));
    QVERIFY(QFile::copy(m_cbr, root.filePath(QStringLiteral("Open/Song.mp3"))));
    const QString locked = root.filePath(QStringLiteral("Locked"));
    QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
    const QStringList groups = GroupFolders(out.path());
    const int entries = int(ReadFolder(locked).size());
    QFile::setPermissions(locked,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(groups, QStringList{QStringLiteral("Open")});
    QCOMPARE(entries, 0);
#else
    QSKIP("folder permissions are tested on Unix");
#endif
}

void TestLibraryFolder::readFolderListsRegularFilesOnly() {
#ifdef Q_OS_UNIX
    QTemporaryDir out;
    QDir dir(out.path());
    QVERIFY(QFile::copy(m_cbr, dir.filePath(QStringLiteral("b song.mp3"))));
    QVERIFY(QFile::copy(m_vbr, dir.filePath(QStringLiteral("A song.MP3"))));
    QVERIFY(QFile::copy(m_mono48, dir.filePath(QStringLiteral("c.recording"))));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("d notes.txt")), "not audio"));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("empty.mp3")), {}));
    QVERIFY(QFile::copy(m_cbr, dir.filePath(QStringLiteral(".hidden.mp3"))));
    QVERIFY(dir.mkpath(QStringLiteral("sub folder")));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("b song.mp3")),
                        dir.filePath(QStringLiteral("e link.mp3"))));
    const QString fifo = dir.filePath(QStringLiteral("f pipe.mp3"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QVERIFY(QFile::link(fifo, dir.filePath(QStringLiteral("g link to pipe.mp3"))));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")),
                        dir.filePath(QStringLiteral("h dangling.mp3"))));
    QLocalServer socket;
    socket.setSocketOptions(QLocalServer::WorldAccessOption);
    QVERIFY(socket.listen(dir.filePath(QStringLiteral("i socket.mp3"))));
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("i socket.mp3"))));

    // Should the pipe be opened, this opens its other end after a while, so the test fails
    // instead of hanging.
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<bool> rescued{false};
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (finished.wait_for(lock, std::chrono::seconds(20), [&] { return done; }))
            return;
        rescued = true;
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    });
    const QList<LibraryEntry> entries = ReadFolder(out.path());
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_all();
    watchdog.join();
    QVERIFY2(!rescued, "the folder reading opened a pipe");

    QStringList names;
    for (const LibraryEntry &entry : entries)
        names << entry.name;
    QCOMPARE(names, (QStringList{QStringLiteral("A song.MP3"), QStringLiteral("b song.mp3"),
                                 QStringLiteral("c.recording"), QStringLiteral("d notes.txt"),
                                 QStringLiteral("e link.mp3")}));
    for (const LibraryEntry &entry : entries) {
        QCOMPARE(entry.path, dir.filePath(entry.name));
        QCOMPARE(entry.size, QFileInfo(entry.path).size());
        QCOMPARE(entry.modified, QFileInfo(entry.path).lastModified());
        const AudioFacts alone = AnalyseAudioFile(entry.path);
        QCOMPARE(entry.facts.valid, alone.valid);
        QCOMPARE(entry.facts.lengthMs, alone.lengthMs);
        QCOMPARE(entry.facts.bitrateKbps, alone.bitrateKbps);
        QCOMPARE(entry.facts.sampleRate, alone.sampleRate);
    }
    QVERIFY(entries[0].facts.valid);
    QCOMPARE(entries[1].facts.bitrateKbps, 128);
    QCOMPARE(entries[2].facts.sampleRate, 48000);
    QVERIFY(!entries[3].facts.valid);
    QCOMPARE(BitrateText(entries[3].facts.bitrateKbps, QLocale::c()), QStringLiteral("---"));
#else
    QSKIP("pipes and sockets in a folder are made on Unix");
#endif
}

void TestLibraryFolder::readFolderProgressAndEmptyCases() {
    QTemporaryDir out;
    QDir dir(out.path());
    for (const char *name : {"1.mp3", "2.mp3", "3.mp3", "4.mp3"})
        QVERIFY(QFile::copy(m_cbr, dir.filePath(QString::fromLatin1(name))));
    QVERIFY(writeFile(dir.filePath(QStringLiteral("0 empty.mp3")), {}));

    QList<QPair<int, int>> calls;
    const QList<LibraryEntry> all = ReadFolder(out.path(), [&](int done, int total) {
        calls.append({done, total});
        return true;
    });
    QCOMPARE(all.size(), 4);
    QCOMPARE(calls.size(), 5);
    QCOMPARE(calls.first(), qMakePair(1, 5));
    QCOMPARE(calls.last(), qMakePair(5, 5));

    // Stopped after three entries, of which the first was the empty file.
    const QList<LibraryEntry> some = ReadFolder(out.path(), [](int done, int) { return done < 3; });
    QCOMPARE(some.size(), 2);
    QCOMPARE(some[0].name, QStringLiteral("1.mp3"));
    QCOMPARE(some[1].name, QStringLiteral("2.mp3"));

    // A group folder whose only file is empty: listed as such, with nothing in it.
    QTemporaryDir zero;
    QVERIFY(writeFile(QDir(zero.path()).filePath(QStringLiteral("Recording.mp3")), {}));
    const QList<LibraryEntry> none = ReadFolder(zero.path());
    QCOMPARE(none.size(), 0);
    QCOMPARE(TotalsSizeText(TotalsOf(none), QLocale::c()), QStringLiteral(" 0 files, (0.00 kB)"));
    QCOMPARE(ReadFolder(dir.filePath(QStringLiteral("missing"))).size(), 0);
}

void TestLibraryFolder::totals() {
    QTemporaryDir out;
    QDir dir(out.path());
    QVERIFY(QFile::copy(m_cbr, dir.filePath(QStringLiteral("a.mp3"))));
    QVERIFY(QFile::copy(m_vbr, dir.filePath(QStringLiteral("b.mp3"))));
    const QList<LibraryEntry> entries = ReadFolder(out.path());
    QCOMPARE(entries.size(), 2);
    const LibraryTotals totals = TotalsOf(entries);
    QCOMPARE(totals.files, 2);
    QCOMPARE(totals.size, QFileInfo(m_cbr).size() + QFileInfo(m_vbr).size());
    QCOMPARE(totals.lengthMs, 6000);
    QCOMPARE(LengthText(totals.lengthMs), QStringLiteral("0:00:06"));
    QVERIFY(totals.size >= 100000);
    QCOMPARE(TotalsSizeText(totals, QLocale::c()),
             QStringLiteral(" 2 files, (%1 MB)")
                 .arg(QString::number(double(totals.size) / 1048576.0, 'f', 2)));

    // Far past what 32 bits hold: three files of 3 GB and 280 hours each.
    QList<LibraryEntry> big(3);
    for (LibraryEntry &entry : big) {
        entry.size = 3'000'000'000;
        entry.facts.lengthMs = 1'008'000'000;
    }
    const LibraryTotals bigTotals = TotalsOf(big);
    QCOMPARE(bigTotals.size, 9'000'000'000);
    QCOMPARE(bigTotals.lengthMs, 3'024'000'000);
    QCOMPARE(LengthText(bigTotals.lengthMs), QStringLiteral("840:00:00"));
    QCOMPARE(TotalsSizeText(bigTotals, QLocale::c()), QStringLiteral(" 3 files, (8583.07 MB)"));
}

void TestLibraryFolder::sizeBitrateAndRateTexts() {
    const QLocale c = QLocale::c();
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    QCOMPARE(FileSizeText(99999, c), QStringLiteral("100.00 kB"));
    QCOMPARE(FileSizeText(100000, c), QStringLiteral("0.10 MB"));
    QCOMPARE(FileSizeText(0, c), QStringLiteral("0.00 kB"));
    QCOMPARE(FileSizeText(5, c), QStringLiteral("0.01 kB"));
    QCOMPARE(FileSizeText(47888630, c), QStringLiteral("45.67 MB"));
    // No thousands separator, as the "0.00" pattern writes none.
    QCOMPARE(FileSizeText(5'000'000'000, us), QStringLiteral("4768.37 MB"));
    QCOMPARE(FileSizeText(99999, german), QStringLiteral("100,00 kB"));
    QCOMPARE(FileSizeText(5'000'000'000, german), QStringLiteral("4768,37 MB"));

    QCOMPARE(BitrateText(96, c), QStringLiteral("96 Kbps"));
    QCOMPARE(BitrateText(8, c), QStringLiteral("08 Kbps"));
    QCOMPARE(BitrateText(1, c), QStringLiteral("01 Kbps"));
    QCOMPARE(BitrateText(128, german), QStringLiteral("128 Kbps"));
    QCOMPARE(BitrateText(1411, us), QStringLiteral("1411 Kbps"));
    QCOMPARE(BitrateText(0, c), QStringLiteral("---"));
    QCOMPARE(BitrateText(-3, c), QStringLiteral("---"));

    QCOMPARE(SampleRateText(44100, c), QStringLiteral("44.100 Hz"));
    QCOMPARE(SampleRateText(44100, german), QStringLiteral("44,100 Hz"));
    QCOMPARE(SampleRateText(22050, us), QStringLiteral("22.050 Hz"));
    QCOMPARE(SampleRateText(8000, c), QStringLiteral("8.000 Hz"));
    QCOMPARE(SampleRateText(0, c), QStringLiteral("0.000 Hz"));
}

void TestLibraryFolder::lengthAndTimeTexts() {
    QCOMPARE(LengthText(205000), QStringLiteral("0:03:25"));
    QCOMPARE(LengthText(725999), QStringLiteral("0:12:05"));
    QCOMPARE(LengthText(3723000), QStringLiteral("1:02:03"));
    QCOMPARE(LengthText(0), QStringLiteral("0:00:00"));
    QCOMPARE(LengthText(999), QStringLiteral("0:00:00"));
    QCOMPARE(LengthText(35999999), QStringLiteral("9:59:59"));
    QCOMPARE(LengthText(36000000), QStringLiteral("10:00:00"));
    QCOMPARE(LengthText(360000000), QStringLiteral("100:00:00"));

    QCOMPARE(TimeText(754321), QStringLiteral("12:34.321"));
    QCOMPARE(TimeText(0), QStringLiteral("0:00.000"));
    QCOMPARE(TimeText(5007), QStringLiteral("0:05.007"));
    QCOMPARE(TimeText(599999), QStringLiteral("9:59.999"));
    QCOMPARE(TimeText(600000), QStringLiteral("10:00.000"));
    QCOMPARE(TimeText(3599999), QStringLiteral("59:59.999"));
    QCOMPARE(TimeText(3600000), QStringLiteral("1:00:00.000"));
    QCOMPARE(TimeText(3723045), QStringLiteral("1:02:03.045"));
    QCOMPARE(TimeText(360000000), QStringLiteral("100:00:00.000"));
    QCOMPARE(TimeText(-20), QStringLiteral("0:00.000"));
}

void TestLibraryFolder::dateAndModeTexts() {
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9));
    QCOMPARE(RecordDateText(when, QLocale(QLocale::English, QLocale::UnitedStates)),
             QStringLiteral("3/5/24 2:07:09 PM"));
    QCOMPARE(RecordDateText(when, QLocale(QLocale::German, QLocale::Germany)),
             QStringLiteral("05.03.24 14:07:09"));
    QCOMPARE(RecordDateText(QDateTime(), QLocale::c()), QString());

    QCOMPARE(ChannelModeText(ChannelMode::Stereo), QStringLiteral("STEREO"));
    QCOMPARE(ChannelModeText(ChannelMode::JointStereo), QStringLiteral("JOINT"));
    QCOMPARE(ChannelModeText(ChannelMode::DualChannel), QStringLiteral("DUAL"));
    QCOMPARE(ChannelModeText(ChannelMode::Mono), QStringLiteral("MONO"));
    QCOMPARE(ChannelModeText(ChannelMode::Unknown), QString());
}

void TestLibraryFolder::renameProblems() {
    for (const QString &good :
         {QStringLiteral("Song.mp3"), QStringLiteral("Song"), QStringLiteral("..Song"),
          QStringLiteral("..."), QStringLiteral("Lied \u00fcber Nacht.mp3"), QString()})
        QVERIFY2(RenameProblem(good).isEmpty(), qPrintable(good));
    QString withNul = QStringLiteral("ab.mp3");
    withNul.insert(1, QChar(u'\0'));
    for (const QString &bad :
         {QStringLiteral("a/b.mp3"), QStringLiteral("a\\b.mp3"), QStringLiteral("/"), withNul,
          QStringLiteral("."), QStringLiteral("..")})
        QVERIFY2(!RenameProblem(bad).isEmpty(), qPrintable(bad));
}

QTEST_GUILESS_MAIN(TestLibraryFolder)
#include "tst_libraryfolder.moc"
