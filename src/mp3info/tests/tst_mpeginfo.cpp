// The header analyser: real lame files (tagged by id3v2 and eyeD3) against what mp3info says of
// them, hand-made headers for what lame never writes, and kestrune-mp3info as a process.
#include "mp3info/mpeginfo.h"
#include "mp3testfiles.h"

#include <QTemporaryDir>
#include <QTest>

using namespace kestrune;
using namespace kestrune::testfiles;

namespace {

// `count` frames of `frameBytes` bytes, each a copy of `header` followed by zero bytes.
QByteArray frames(const QByteArray &header, int frameBytes, int count) {
    QByteArray frame = header + QByteArray(frameBytes - header.size(), '\0');
    return frame.repeated(count);
}

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

MpegFileView viewOf(const QByteArray &head, qint64 fileLength = -1) {
    MpegFileView view;
    view.head = head;
    view.fileLength = fileLength < 0 ? head.size() : fileLength;
    return view;
}

const QByteArray Header128 = bytes({0xFF, 0xFB, 0x90, 0x64}); // MPEG 1 layer 3, 128k, 44.1k
constexpr int Frame128 = 417; // bytes of an unpadded 128 kbit/s frame at 44.1 kHz

QByteArray bigEndian(quint32 v) {
    return bytes({int(v >> 24), int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)});
}

// A first frame carrying a VBR header `id` at `offset`, then plain frames.
QByteArray withVbrHeader(const QByteArray &header, int offset, const QByteArray &id, quint32 flags,
                         quint32 frameCount, quint32 byteCount) {
    QByteArray first = header + QByteArray(offset - header.size(), '\0') + id + bigEndian(flags) +
                       bigEndian(frameCount) + bigEndian(byteCount);
    first += QByteArray(Frame128 - first.size(), '\0');
    return first + frames(header, Frame128, 12);
}

struct Mp3infoFacts {
    QString version, layer, mode, crc, copyright, original, emphasis;
    double bitrate = 0;
    int frequency = 0;
    int seconds = 0;
};

bool readWithMp3info(const QString &file, Mp3infoFacts &facts, QString &error) {
    const RunResult r = run(QStringLiteral("mp3info"),
                            {QStringLiteral("-r"), QStringLiteral("a"), QStringLiteral("-p"),
                             QStringLiteral("%v|%L|%r|%Q|%o|%S|%E|%C|%O|%e"), file});
    const QStringList parts = QString::fromLocal8Bit(r.out).split(QLatin1Char('|'));
    if (!r.ok || parts.size() != 10) {
        error = QStringLiteral("mp3info: ") + QString::fromLocal8Bit(r.out + r.err);
        return false;
    }
    const QString version = parts[0].toDouble() == 1.0   ? QStringLiteral("MPEG 1.0")
                            : parts[0].toDouble() == 2.0 ? QStringLiteral("MPEG 2.0")
                                                         : QStringLiteral("MPEG 2.5");
    facts.version = version;
    facts.layer = QStringLiteral("layer %1").arg(parts[1].size()); // I, II, III
    facts.bitrate = parts[2].toDouble();
    facts.frequency = parts[3].toInt();
    facts.mode = parts[4];
    facts.seconds = parts[5].toInt();
    facts.crc = parts[6];
    facts.copyright = parts[7];
    facts.original = parts[8];
    facts.emphasis = parts[9];
    return true;
}

QString modeAsMp3infoSays(const QString &ours) {
    if (ours == QLatin1String(" Stereo"))
        return QStringLiteral("stereo");
    if (ours == QLatin1String(" Joint Stereo"))
        return QStringLiteral("joint stereo");
    if (ours == QLatin1String(" 2 Channel"))
        return QStringLiteral("dual channel");
    if (ours == QLatin1String(" Mono"))
        return QStringLiteral("mono");
    return QStringLiteral("unknown: ") + ours;
}

int leadingNumber(const QString &text) {
    return text.section(QLatin1Char(' '), 0, 0).remove(QStringLiteral("Kbit")).toInt();
}

} // namespace

class MpegInfoTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(missingTool().isEmpty(), qPrintable(missingTool()));
        QVERIFY(m_dir.isValid());
    }

    void lameFilesAsMp3infoSeesThem_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<QStringList>("lame");
        QTest::addColumn<QString>("tagger"); // "", "id3v2", "eyeD3 picture"
        QTest::addColumn<bool>("vbr");
        const QString none;
        QTest::newRow("MPEG 1 CBR 128 joint stereo 44.1")
            << 44100 << 2 << QStringList{"-b", "128"} << none << false;
        QTest::newRow("MPEG 1 VBR 44.1") << 44100 << 2 << QStringList{"-V", "4"} << none << true;
        QTest::newRow("MPEG 1 VBR 48") << 48000 << 2 << QStringList{"-V", "2"} << none << true;
        QTest::newRow("MPEG 1 CBR mono 32")
            << 32000 << 1 << QStringList{"-b", "96", "-m", "m"} << none << false;
        QTest::newRow("MPEG 1 stereo 320 with CRC, copyright, copy, emphasis")
            << 48000 << 2 << QStringList{"-b", "320", "-m", "s", "-p", "-c", "-o", "-e", "5"}
            << none << false;
        QTest::newRow("MPEG 1 dual channel")
            << 44100 << 2 << QStringList{"-b", "192", "-m", "d"} << none << false;
        QTest::newRow("MPEG 2 CBR mono 22.05")
            << 22050 << 1 << QStringList{"-b", "64", "-m", "m"} << none << false;
        QTest::newRow("MPEG 2 VBR stereo 22.05")
            << 22050 << 2 << QStringList{"-V", "5"} << none << true;
        QTest::newRow("MPEG 2 CBR 16") << 16000 << 2 << QStringList{"-b", "32"} << none << false;
        QTest::newRow("MPEG 2 VBR mono 24")
            << 24000 << 1 << QStringList{"-V", "6", "-m", "m"} << none << true;
        QTest::newRow("MPEG 2.5 CBR 8") << 8000 << 1 << QStringList{"-b", "16"} << none << false;
        QTest::newRow("CBR without lame's frame count")
            << 44100 << 2 << QStringList{"-b", "64", "-t"} << none << false;
        QTest::newRow("id3v2 tags at both ends")
            << 44100 << 2 << QStringList{"-b", "128"} << "id3v2" << false;
        QTest::newRow("eyeD3 picture before a CBR file without frame count")
            << 22050 << 1 << QStringList{"-b", "32", "-m", "m", "-t"} << "eyeD3 picture" << false;
        QTest::newRow("eyeD3 picture before a VBR file")
            << 44100 << 2 << QStringList{"-V", "3"} << "eyeD3 picture" << true;
    }
    void lameFilesAsMp3infoSeesThem() {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(QStringList, lame);
        QFETCH(QString, tagger);
        QFETCH(bool, vbr);
        QString error;
        const QString name = QStringLiteral("f%1.mp3").arg(m_count++);
        const QString file = makeMp3(QDir(m_dir.path()), name, rate, channels, 7, lame, &error);
        QVERIFY2(!file.isEmpty(), qPrintable(error));

        if (tagger == QLatin1String("id3v2")) {
            const RunResult r = run(QStringLiteral("id3v2"),
                                    {"-a", "Some Artist", "-t", "Some Title", "-g", "17", file});
            QVERIFY2(r.ok, r.err.constData());
            QVERIFY(readFile(file).startsWith("ID3"));
            QVERIFY(readFile(file).right(128).startsWith("TAG"));
        } else if (tagger == QLatin1String("eyeD3 picture")) {
            // Random bytes, among them what looks like frame headers: only skipping the tag
            // keeps them from counting.
            QByteArray picture = bytes({0xFF, 0xD8, 0xFF, 0xE0});
            quint32 seed = 12345;
            while (picture.size() < 20000) {
                seed = seed * 1103515245 + 12345;
                picture.append(char(seed >> 16));
                if (picture.size() % 997 == 0)
                    picture += Header128;
            }
            const QString jpeg = m_dir.filePath(name + QStringLiteral(".jpg"));
            QVERIFY(writeFile(jpeg, picture));
            const RunResult r =
                run(QStringLiteral("eyeD3"),
                    {"-Q", "--add-image", jpeg + QStringLiteral(":FRONT_COVER"), file});
            QVERIFY2(r.ok, r.err.constData());
            QVERIFY(readFile(file).size() > 20000);
        }

        Mp3infoFacts expected;
        QVERIFY2(readWithMp3info(file, expected, error), qPrintable(error));
        MpegInfo info;
        QVERIFY(ReadMpegInfo(file, info));

        QCOMPARE(info.Version, expected.version);
        QCOMPARE(info.Layer, expected.layer);
        QCOMPARE(info.Frequency, QStringLiteral("%1 Hz").arg(expected.frequency));
        QCOMPARE(modeAsMp3infoSays(info.ChannelMode), expected.mode);
        QCOMPARE(info.Crc, expected.crc);
        QCOMPARE(info.Copyright.trimmed(), expected.copyright);
        QCOMPARE(info.Original.trimmed(), expected.original);
        QVERIFY2(expected.emphasis.startsWith(info.Emphasis.trimmed(), Qt::CaseInsensitive),
                 qPrintable(info.Emphasis + QStringLiteral(" / ") + expected.emphasis));
        QVERIFY(info.Length.endsWith(QLatin1String(" seconds")));
        const int seconds = info.Length.section(QLatin1Char(' '), 0, 0).toInt();
        QVERIFY2(qAbs(seconds - expected.seconds) <= 1,
                 qPrintable(info.Length + QStringLiteral(" / %1").arg(expected.seconds)));
        QCOMPARE(seconds, 7); // the tone is 7 s long
        if (vbr) {
            QVERIFY2(info.Bitrate.endsWith(QLatin1String(" Kbit (VBR)")), qPrintable(info.Bitrate));
            const int kbps = leadingNumber(info.Bitrate);
            QVERIFY2(qAbs(kbps - expected.bitrate) <= qMax(2.0, expected.bitrate * 0.05),
                     qPrintable(info.Bitrate + QStringLiteral(" / %1").arg(expected.bitrate)));
        } else {
            QCOMPARE(info.Bitrate, QStringLiteral("%1Kbit").arg(qRound(expected.bitrate)));
        }
        QCOMPARE(info.FileSize, QStringLiteral("%1 bytes").arg(readFile(file).size()));
    }

    void workedExample() {
        // 4,000,000 bytes of 128 kbit/s frames whose first header is FF FB 90 64.
        MpegInfo info;
        QVERIFY(ReadMpegInfo(viewOf(frames(Header128, Frame128, 20), 4000000), info));
        QCOMPARE(info.Version, QString("MPEG 1.0"));
        QCOMPARE(info.Layer, QString("layer 3"));
        QCOMPARE(info.Bitrate, QString("128Kbit"));
        QCOMPARE(info.Frequency, QString("44100 Hz"));
        QCOMPARE(info.Crc, QString("No"));
        QCOMPARE(info.ChannelMode, QString(" Joint Stereo"));
        QCOMPARE(info.Copyright, QString(" No"));
        QCOMPARE(info.Original, QString(" Yes"));
        QCOMPARE(info.Emphasis, QString(" None"));
        QCOMPARE(info.Length, QString("250 seconds"));
        QCOMPARE(info.FileSize, QString("4000000 bytes"));
    }

    void modeAndFlagBits_data() {
        QTest::addColumn<int>("b3");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("copyright");
        QTest::addColumn<QString>("original");
        QTest::addColumn<QString>("emphasis");
        QTest::newRow("stereo, none") << 0x00 << " Stereo"
                                      << " No"
                                      << " No"
                                      << " None";
        QTest::newRow("dual, copyright, 50/15") << 0x89 << " 2 Channel"
                                                << " Yes"
                                                << " No"
                                                << " 50/15 microsec";
        QTest::newRow("mono, both, reserved") << 0xCE << " Mono"
                                              << " Yes"
                                              << " Yes"
                                              << " invalid";
        QTest::newRow("joint, CCITT") << 0x43 << " Joint Stereo"
                                      << " No"
                                      << " No"
                                      << " CITT j. 17";
    }
    void modeAndFlagBits() {
        QFETCH(int, b3);
        QFETCH(QString, mode);
        QFETCH(QString, copyright);
        QFETCH(QString, original);
        QFETCH(QString, emphasis);
        MpegInfo info;
        QVERIFY(ReadMpegInfo(viewOf(frames(bytes({0xFF, 0xFA, 0x90, b3}), Frame128, 4)), info));
        QCOMPARE(info.ChannelMode, mode);
        QCOMPARE(info.Copyright, copyright);
        QCOMPARE(info.Original, original);
        QCOMPARE(info.Emphasis, emphasis);
        QCOMPARE(info.Crc, QString("Yes")); // 0xFA: protected
    }

    // Bitrates by version and layer as the standard has them (not one table for all layers).
    void bitrateAndRateTables_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("frameBytes");
        QTest::addColumn<QString>("bitrate");
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("layer");
        QTest::newRow("MPEG 1 layer 2, index 14, 48 kHz")
            << bytes({0xFF, 0xFD, 0xE4, 0x04}) << 1152 << "384Kbit"
            << "48000 Hz"
            << "MPEG 1.0"
            << "layer 2";
        QTest::newRow("MPEG 1 layer 1, index 14, 44.1 kHz")
            << bytes({0xFF, 0xFF, 0xE0, 0xC0}) << 484 << "448Kbit"
            << "44100 Hz"
            << "MPEG 1.0"
            << "layer 1";
        QTest::newRow("MPEG 1 layer 3, index 1, 32 kHz")
            << bytes({0xFF, 0xFB, 0x18, 0xC0}) << 144 << "32Kbit"
            << "32000 Hz"
            << "MPEG 1.0"
            << "layer 3";
        QTest::newRow("MPEG 2 layer 1, index 14, 22.05 kHz")
            << bytes({0xFF, 0xF7, 0xE0, 0xC0}) << 556 << "256Kbit"
            << "22050 Hz"
            << "MPEG 2.0"
            << "layer 1";
        QTest::newRow("MPEG 2 layer 3, index 14, 16 kHz")
            << bytes({0xFF, 0xF3, 0xE8, 0xC0}) << 720 << "160Kbit"
            << "16000 Hz"
            << "MPEG 2.0"
            << "layer 3";
        QTest::newRow("MPEG 2.5 layer 3, index 8, 11.025 kHz")
            << bytes({0xFF, 0xE3, 0x80, 0xC0}) << 417 << "64Kbit"
            << "11025 Hz"
            << "MPEG 2.5"
            << "layer 3";
    }
    void bitrateAndRateTables() {
        QFETCH(QByteArray, header);
        QFETCH(int, frameBytes);
        QFETCH(QString, bitrate);
        QFETCH(QString, frequency);
        QFETCH(QString, version);
        QFETCH(QString, layer);
        MpegInfo info;
        QVERIFY(ReadMpegInfo(viewOf(frames(header, frameBytes, 4)), info));
        QCOMPARE(info.Bitrate, bitrate);
        QCOMPARE(info.Frequency, frequency);
        QCOMPARE(info.Version, version);
        QCOMPARE(info.Layer, layer);
        // A frame one byte shorter puts the next header out of place: not a stream.
        QVERIFY(!ReadMpegInfo(viewOf(frames(header, frameBytes - 1, 4)), info));
    }

    void notHeaders_data() {
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("bitrate index 15") << bytes({0xFF, 0xFB, 0xF0, 0x64});
        QTest::newRow("sample-rate index 3") << bytes({0xFF, 0xFB, 0x9C, 0x64});
        QTest::newRow("reserved layer (F8)") << bytes({0xFF, 0xF8, 0x90, 0x64});
        QTest::newRow("reserved layer (F0)") << bytes({0xFF, 0xF0, 0x90, 0x64});
        QTest::newRow("reserved version") << bytes({0xFF, 0xEB, 0x90, 0x64});
        QTest::newRow("no sync") << bytes({0xFE, 0xFB, 0x90, 0x64});
    }
    void notHeaders() {
        QFETCH(QByteArray, header);
        MpegInfo info;
        info.Length = "99 seconds"; // nothing of an earlier file survives
        QVERIFY(!ReadMpegInfo(viewOf(frames(header, Frame128, 12)), info));
        QCOMPARE(info.Length, QString());
        QCOMPARE(info.Bitrate, QString());
        QCOMPARE(info.FileSize, QStringLiteral("%1 bytes").arg(Frame128 * 12));
    }

    void falseSyncBeforeTheStreamIsPassedOver() {
        // A mono "header" in the junk, whose frame length leads nowhere; the stream is stereo.
        QByteArray head = QByteArray(10, 'x') + bytes({0xFF, 0xFB, 0x90, 0xC4});
        head += QByteArray(100 - head.size(), 'y') + frames(Header128, Frame128, 4);
        MpegInfo info;
        QVERIFY(ReadMpegInfo(viewOf(head), info));
        QCOMPARE(info.ChannelMode, QString(" Joint Stereo"));
    }

    void searchWindowAndBufferEnd() {
        MpegInfo info;
        // A header whose first byte is at 4092 (the 4093rd) is outside the window.
        QByteArray head = QByteArray(4092, '\0') + frames(Header128, Frame128, 3);
        QVERIFY(!ReadMpegInfo(viewOf(head, 1000000), info));
        // At 4091 it is inside, and its successor beyond the window still confirms it.
        head = QByteArray(4091, '\0') + frames(Header128, Frame128, 3);
        QVERIFY(ReadMpegInfo(viewOf(head, 1000000), info));
        // The last four bytes of the buffer: nothing to confirm it, nothing read past the end.
        head = QByteArray(4092, '\0') + Header128;
        QVERIFY(!ReadMpegInfo(viewOf(head.mid(4)), info));
        QVERIFY(!ReadMpegInfo(viewOf(head.left(4090) + Header128.left(3)), info));
        // A frame cut by the end of the buffer but not of the file cannot be confirmed.
        QVERIFY(!ReadMpegInfo(viewOf(Header128 + QByteArray(300, '\0'), 1000000), info));
        // One whole frame that is the whole audio (before an ID3v1 tag) is a file.
        MpegFileView single = viewOf(frames(Header128, Frame128, 1), Frame128 + 128);
        single.endsInId3v1 = true;
        QVERIFY(ReadMpegInfo(single, info));
        QCOMPARE(info.Length, QString("0 seconds"));
        QVERIFY(ReadMpegInfo(viewOf(QByteArray()), info) == false);
        QCOMPARE(info.FileSize, QString("0 bytes"));
    }

    void freeFormatHasNoFiguresOfItsOwn() {
        MpegInfo info;
        QVERIFY(ReadMpegInfo(viewOf(frames(Header128, Frame128, 4), 4000000), info));
        QCOMPARE(info.Length, QString("250 seconds"));
        // The same record next: bitrate index 0 gives 0, never the earlier file's length.
        const QByteArray free = frames(bytes({0xFF, 0xFB, 0x00, 0x64}), 600, 4);
        QVERIFY(ReadMpegInfo(viewOf(free, 4000000), info));
        QCOMPARE(info.Bitrate, QString("0Kbit"));
        QCOMPARE(info.Length, QString("0 seconds"));
        // A lone free-format header with nothing like it after is not a frame.
        QVERIFY(!ReadMpegInfo(viewOf(free.left(600)), info));
    }

    void vbrHeader() {
        MpegInfo info;
        // 440 frames of 1152 samples at 44,100 Hz: 11.49 s. No byte count: the audio's size.
        QVERIFY(
            ReadMpegInfo(viewOf(withVbrHeader(Header128, 36, "Xing", 1, 440, 0), 200000), info));
        QCOMPARE(info.Length, QString("11 seconds"));
        QCOMPARE(info.Bitrate, QString("139 Kbit (VBR)")); // 1,600,000 bits / 11.49 s
        // With a byte count, that count: 100,000 bytes over 11.49 s.
        QVERIFY(ReadMpegInfo(viewOf(withVbrHeader(Header128, 36, "Xing", 3, 440, 100000), 200000),
                             info));
        QCOMPARE(info.Bitrate, QString("69 Kbit (VBR)"));
        QCOMPARE(info.Length, QString("11 seconds"));
        // The frame count's flag clear: no VBR figures, the header's bitrate and the size.
        QVERIFY(
            ReadMpegInfo(viewOf(withVbrHeader(Header128, 36, "Xing", 2, 440, 0), 4000000), info));
        QCOMPARE(info.Bitrate, QString("128Kbit"));
        QCOMPARE(info.Length, QString("250 seconds"));
        // No frames at all: nothing to divide by.
        QVERIFY(ReadMpegInfo(viewOf(withVbrHeader(Header128, 36, "Xing", 1, 0, 0), 4000000), info));
        QCOMPARE(info.Bitrate, QString("128Kbit"));
        // "Info" (lame's constant-bitrate header): constant-bitrate texts, exact length.
        QVERIFY(
            ReadMpegInfo(viewOf(withVbrHeader(Header128, 36, "Info", 1, 440, 0), 4000000), info));
        QCOMPARE(info.Bitrate, QString("128Kbit"));
        QCOMPARE(info.Length, QString("11 seconds"));
        // Where a mono frame would hold it is not where a stereo frame does.
        QVERIFY(
            ReadMpegInfo(viewOf(withVbrHeader(Header128, 21, "Xing", 1, 440, 0), 4000000), info));
        QCOMPARE(info.Bitrate, QString("128Kbit"));
        QCOMPARE(info.Length, QString("250 seconds"));
        // With a CRC the header sits two bytes further on.
        const QByteArray crcHeader = bytes({0xFF, 0xFA, 0x90, 0x64});
        QVERIFY(
            ReadMpegInfo(viewOf(withVbrHeader(crcHeader, 38, "Xing", 1, 440, 0), 200000), info));
        QCOMPARE(info.Length, QString("11 seconds"));
        // A VBR header cut off by the end of the bytes is not read past it.
        QByteArray cut = withVbrHeader(Header128, 36, "Xing", 1, 440, 0).left(42);
        QVERIFY(!ReadMpegInfo(viewOf(cut, 1000000), info));
    }

    void id3v2TagSize() {
        QCOMPARE(Id3v2TagSize(QByteArray("ID3") + bytes({4, 0, 0, 0, 0, 2, 1})), 267);
        QCOMPARE(Id3v2TagSize(QByteArray("ID3") + bytes({4, 0, 0x10, 0, 0, 2, 1})), 277);
        QCOMPARE(Id3v2TagSize(QByteArray("ID3") + bytes({4, 0, 0, 0, 0x80, 2, 1})), 0);
        QCOMPARE(Id3v2TagSize(QByteArray("ID3") + bytes({4, 0, 0, 0, 0, 2})), 0);
        QCOMPARE(Id3v2TagSize(QByteArray("XYZ") + bytes({4, 0, 0, 0, 0, 2, 1})), 0);
    }

    void filesOnDisk() {
        MpegInfo info;
        // Two ID3v2 tags, one after the other, then the audio.
        const QByteArray tag =
            QByteArray("ID3") + bytes({3, 0, 0, 0, 0, 0x20, 0}) + QByteArray(4096, char(0xFF));
        const QString tagged = m_dir.filePath("twotags.mp3");
        QVERIFY(writeFile(tagged, tag + tag + frames(Header128, Frame128, 40)));
        QVERIFY(ReadMpegInfo(tagged, info));
        QCOMPARE(info.Bitrate, QString("128Kbit"));
        QCOMPARE(info.Length, QString("1 seconds")); // 40 frames of 417 bytes
        QCOMPARE(info.FileSize, QStringLiteral("%1 bytes").arg(2 * tag.size() + 40 * Frame128));

        const QString small = m_dir.filePath("small.mp3");
        QVERIFY(writeFile(small, Header128 + QByteArray(46, '\0')));
        QVERIFY(!ReadMpegInfo(small, info));
        QCOMPARE(info.FileSize, QString("50 bytes"));

        QVERIFY(!ReadMpegInfo(m_dir.filePath("missing.mp3"), info));
        QCOMPARE(info.FileSize, QString());
        QVERIFY(!ReadMpegInfo(m_dir.path(), info)); // a folder
    }

    void toolPrintsEachFile() {
        QString error;
        const QString plain =
            makeMp3(QDir(m_dir.path()), "plain.mp3", 44100, 2, 3, {"-b", "128"}, &error);
        QVERIFY2(!plain.isEmpty(), qPrintable(error));
        const QString tagged = m_dir.filePath("tagged.mp3");
        QVERIFY(QFile::copy(plain, tagged));
        const RunResult id3 = run("id3v2", {"-1", "-a", "Band", "-t", "Song", "-A", "Disc", "-y",
                                            "2001", "-c", "Hello", "-g", "79", tagged});
        QVERIFY2(id3.ok, id3.err.constData());
        const QString text = m_dir.filePath("notes.mp3");
        QVERIFY(writeFile(text, QByteArray("not audio at all\n").repeated(100)));

        QProcess tool;
        tool.start(QStringLiteral(KESTRUNE_MP3INFO), {tagged, text, plain});
        QVERIFY(tool.waitForFinished(ToolTimeout));
        QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
        QCOMPARE(tool.exitCode(), 1);
        const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
        QCOMPARE(err, text + QStringLiteral(": Not a MP3 file...\n"));
        const QStringList lines = QString::fromLocal8Bit(tool.readAllStandardOutput()).split('\n');
        QCOMPARE(lines.size(), 3); // two lines and the final line break
        QCOMPARE(lines[2], QString());

        const QStringList first = lines[0].split('\t');
        QCOMPARE(first.size(), 18);
        MpegInfo info;
        QVERIFY(ReadMpegInfo(tagged, info));
        QCOMPARE(first.mid(0, 12),
                 (QStringList{tagged, info.Bitrate, info.ChannelMode, info.Copyright, info.Crc,
                              info.Emphasis, info.Frequency, info.Layer, info.Length, info.Version,
                              info.Original, info.FileSize}));
        QCOMPARE(first[1], QString("128Kbit"));
        QCOMPARE(first[8], QString("3 seconds"));
        QCOMPARE(first.mid(12), (QStringList{"Song", "Band", "Disc", "2001", "Hello", "79"}));

        const QStringList second = lines[1].split('\t');
        QCOMPARE(second.size(), 18);
        QCOMPARE(second[0], plain);
        QCOMPARE(second.mid(12), QStringList(6, QString()));
    }

private:
    QTemporaryDir m_dir;
    int m_count = 0;
};

QTEST_GUILESS_MAIN(MpegInfoTest)
#include "tst_mpeginfo.moc"
