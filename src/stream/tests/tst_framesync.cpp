#include "stream/framesync.h"
#include "streamsynth/mp3synth.h"

#include <QByteArray>
#include <QList>
#include <QTest>

#include <lame.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

using namespace kestrune;
using testsupport::Mp3Params;
using testsupport::synthesizeMp3;

namespace {

uchar byteAt(const QByteArray &data, qsizetype pos) {
    return uchar(data.at(pos));
}

// Header fields read straight off the bytes (not through the code under test).
int bitRateIndexAt(const QByteArray &data, qsizetype pos) {
    return byteAt(data, pos + 2) >> 4;
}
int paddingAt(const QByteArray &data, qsizetype pos) {
    return (byteAt(data, pos + 2) >> 1) & 1;
}
int channelModeAt(const QByteArray &data, qsizetype pos) {
    return byteAt(data, pos + 3) >> 6;
}

// Frame starts of a constant-rate stream whose unpadded frame is `baseLength` bytes.
QList<qsizetype> cbrFrames(const QByteArray &data, qsizetype baseLength) {
    QList<qsizetype> starts;
    for (qsizetype pos = 0; pos + 4 <= data.size(); pos += baseLength + paddingAt(data, pos)) {
        if (byteAt(data, pos) != 0xFF)
            break;
        starts.append(pos);
    }
    return starts;
}

// Frame starts of an MPEG-1 Layer III 44.1 kHz stream of any bit rates: 144 * rate / 44100.
QList<qsizetype> mpeg1Frames44k(const QByteArray &data) {
    static constexpr std::array<int, 16> kbps = {0,   32,  40,  48,  56,  64,  80,  96,
                                                 112, 128, 160, 192, 224, 256, 320, 0};
    QList<qsizetype> starts;
    qsizetype pos = 0;
    while (pos + 4 <= data.size() && byteAt(data, pos) == 0xFF) {
        const int rate = kbps[size_t(bitRateIndexAt(data, pos))];
        if (rate == 0)
            break;
        starts.append(pos);
        pos += 144 * rate * 1000 / 44100 + paddingAt(data, pos);
    }
    return starts;
}

SampleRateTable filledTable() {
    SampleRateTable table;
    table.Fill();
    return table;
}

qint32 findSync(const QByteArray &head, qint32 start, qint32 end, StreamFormat *out = nullptr) {
    StreamFormat format;
    const qint32 found = FindFrameSync(head, start, end, filledTable(), format);
    if (out)
        *out = format;
    return found;
}

qint32 findSync(const QByteArray &head, StreamFormat *out = nullptr) {
    return findSync(head, 0, qint32(head.size()), out);
}

QByteArray cbr44k(int channels = 2) {
    Mp3Params p;
    p.channels = channels;
    p.seconds = 0.5;
    return synthesizeMp3(p);
}

// An exact-size heap copy, so AddressSanitizer flags any read past its last byte.
struct TightCopy {
    explicit TightCopy(const QByteArray &src)
        : storage(new char[size_t(src.size())])
        , bytes(QByteArray::fromRawData(storage.get(), src.size())) {
        std::memcpy(storage.get(), src.constData(), size_t(src.size()));
    }
    std::unique_ptr<char[]> storage;
    QByteArray bytes;
};

// A bare sine at half scale, 128 kbit/s stereo 44.1 kHz: the encoder has bits to spare and
// fills the frames with runs of 0xFF, as it does for tonal music. (The shared synthesiser
// adds overtones precisely to avoid this; here it is what is wanted.)
QByteArray bareSineMp3(double seconds, double hz) {
    struct Closer {
        void operator()(lame_global_flags *gf) const { lame_close(gf); }
    };
    const std::unique_ptr<lame_global_flags, Closer> gf(lame_init());
    if (!gf)
        return {};
    lame_set_in_samplerate(gf.get(), 44100);
    lame_set_out_samplerate(gf.get(), 44100);
    lame_set_num_channels(gf.get(), 2);
    lame_set_quality(gf.get(), 7);
    lame_set_VBR(gf.get(), vbr_off);
    lame_set_brate(gf.get(), 128);
    lame_set_bWriteVbrTag(gf.get(), 0);
    lame_set_write_id3tag_automatic(gf.get(), 0);
    if (lame_init_params(gf.get()) < 0)
        return {};
    const int frames = int(seconds * 44100);
    std::vector<short> pcm(size_t(frames) * 2);
    for (int i = 0; i < frames; ++i)
        pcm[size_t(i) * 2] = pcm[size_t(i) * 2 + 1] =
            short(std::lround(16383 * std::sin(2 * std::numbers::pi * hz * i / 44100)));
    std::vector<unsigned char> out(size_t(frames) * 5 / 4 + 7200);
    const int n =
        lame_encode_buffer_interleaved(gf.get(), pcm.data(), frames, out.data(), int(out.size()));
    if (n < 0)
        return {};
    const int tail = lame_encode_flush(gf.get(), out.data() + n, int(out.size()) - n);
    if (tail < 0)
        return {};
    return QByteArray(reinterpret_cast<const char *>(out.data()), n + tail);
}

// Share of offsets into `data` (every `step` bytes) at which a resync head of `headBytes`
// finds no frame, or finds one that is not a real frame start.
double resyncFailureShare(const QByteArray &data, qsizetype headBytes, qsizetype step) {
    const QList<qsizetype> frames = mpeg1Frames44k(data);
    int tried = 0;
    int failed = 0;
    for (qsizetype offset = 0; offset + headBytes <= data.size(); offset += step) {
        const QByteArray head = data.mid(offset, headBytes);
        const qint32 found = findSync(head);
        ++tried;
        if (found < 0 || !frames.contains(offset + found))
            ++failed;
    }
    return tried ? double(failed) / tried : 1.0;
}

} // namespace

class TestFrameSync : public QObject {
    Q_OBJECT

private slots:
    void synthesizerMakesPlainFrames() {
        Mp3Params p;
        p.seconds = 1.0;
        const QByteArray a = synthesizeMp3(p);
        QCOMPARE(synthesizeMp3(p), a);
        p.toneHz = 550;
        QVERIFY(synthesizeMp3(p) != a);

        // Audio from the first byte: a sync, and neither tags nor an info frame anywhere.
        QCOMPARE(byteAt(a, 0), 0xFF);
        for (const char *marker : {"ID3", "TAG", "Xing", "Info"})
            QVERIFY2(!a.contains(marker), marker);
        // 128 kbit/s at 44.1 kHz: 128000 * 144 / 44100 = 417.96, so 417 bytes plus padding.
        // The frames tile the data exactly and carry at least the requested second of audio.
        const QList<qsizetype> frames = cbrFrames(a, 417);
        const qsizetype last = frames.last();
        QCOMPARE(last + 417 + paddingAt(a, last), a.size());
        QVERIFY(frames.size() * testsupport::samplesPerFrame(44100) >= 44100);
    }

    void findsRealStreams_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("kbps");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("versionBit");
        QTest::addColumn<int>("blockSize");

        // Block size: the integer part of kbps*1000 * 144 / rate.
        QTest::newRow("MPEG-1 44.1 kHz stereo") << 44100 << 128 << 2 << 1 << 417; // 417.96
        QTest::newRow("MPEG-1 44.1 kHz mono") << 44100 << 128 << 1 << 1 << 417;
        QTest::newRow("MPEG-1 48 kHz stereo") << 48000 << 192 << 2 << 1 << 576;      // exact
        QTest::newRow("MPEG-2 22.05 kHz stereo") << 22050 << 64 << 2 << 0 << 417;    // 417.96
        QTest::newRow("MPEG-2.5 11.025 kHz stereo") << 11025 << 32 << 2 << 0 << 417; // 417.96
        QTest::newRow("MPEG-2.5 8 kHz mono") << 8000 << 16 << 1 << 0 << 288;         // exact
    }
    void findsRealStreams() {
        QFETCH(int, rate);
        QFETCH(int, kbps);
        QFETCH(int, channels);
        QFETCH(int, versionBit);
        QFETCH(int, blockSize);
        Mp3Params p;
        p.sampleRate = rate;
        p.bitrateKbps = kbps;
        p.channels = channels;
        p.seconds = 0.5;
        const QByteArray data = synthesizeMp3(p);
        QVERIFY(data.size() > 1000);

        StreamFormat format;
        QCOMPARE(findSync(data, &format), 0);
        QCOMPARE(format.versionBit, versionBit);
        QCOMPARE(format.layer, 3);
        QCOMPARE(format.sampleRate, rate);
        QCOMPARE(format.bitRate, kbps * 1000);
        QCOMPARE(format.channelMode, channelModeAt(data, 0));
        if (channels == 1)
            QCOMPARE(format.channelMode, 3);
        else
            QVERIFY(format.channelMode != 3);

        const QByteArray block = BuildDecoderFormat(format.sampleRate, format.bitRate, channels);
        QCOMPARE(uchar(block[24]) | uchar(block[25]) << 8, blockSize);
    }

    // At 11025 Hz, 32 kbit/s the first frame is 72 * 32000 / 11025 = 208 bytes; going by the
    // MPEG-2 rate of the same index would step only 72 * 32000 / 22050 = 104 bytes. A sync-like
    // pair planted there (with fields that disagree) must not be mistaken for frame two.
    void mpeg25StepsOverItsWholeFrame() {
        Mp3Params p;
        p.sampleRate = 11025;
        p.bitrateKbps = 32;
        p.seconds = 0.5;
        QByteArray data = synthesizeMp3(p);
        QCOMPARE(paddingAt(data, 0), 0);
        QCOMPARE(byteAt(data, 208), 0xFF);
        data.replace(104, 4, QByteArray("\xff\xf3\x10\xc4", 4)); // MPEG-2, 8 kbit/s, mono

        StreamFormat format;
        QCOMPARE(findSync(data, &format), 0);
        QCOMPARE(format.sampleRate, 11025);
    }

    // "\xff\xfbX" reads as MPEG-1 Layer III, 64 kbit/s, 32 kHz: an acceptable header whose
    // following "frame" does not agree with it.
    void strayPairInTextHeadIsSkipped() {
        const QByteArray text("HTTP/1.0 200 OK\r\nicy-name:\xff\xfbX Radio\r\nicy-br:128\r\n\r\n");
        const QByteArray head = text + cbr44k();
        StreamFormat format;
        QCOMPARE(findSync(head, &format), text.size());
        QCOMPARE(format.sampleRate, 44100);
        QCOMPARE(format.bitRate, 128000);
    }

    // Each decoy is an acceptable header (MPEG-1 Layer III 64 kbit/s mono, alternately at
    // 44.1 and 48 kHz, i.e. 208 or 192 bytes long) followed by zeros, 256 bytes apart: the
    // frame after each is the next decoy or the real stream, which disagrees. The real stream
    // is thus candidate decoys+1, and only ten candidates are tried.
    void candidateLimit_data() {
        QTest::addColumn<int>("decoys");
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << 0 << 0;
        QTest::newRow("nine") << 9 << 9 * 256;
        QTest::newRow("ten") << 10 << -1;
    }
    void candidateLimit() {
        QFETCH(int, decoys);
        QFETCH(int, expected);
        QByteArray head;
        for (int i = 0; i < decoys; ++i) {
            QByteArray decoy(256, '\0');
            decoy.replace(0, 4, QByteArray(i % 2 ? "\xff\xfb\x54\xc0" : "\xff\xfb\x50\xc0", 4));
            head += decoy;
        }
        head += cbr44k();
        StreamFormat format;
        QCOMPARE(findSync(head, &format), expected);
        if (expected >= 0) {
            QCOMPARE(format.bitRate, 128000);
            QCOMPARE(format.channelMode, channelModeAt(head, expected));
        }
    }

    // A run of 0xFF bytes is a sync pattern at every byte, but none of them is a valid header
    // (bit-rate index 15); they must not use up the candidates.
    void runsOfFFBeforeTheFramesAreSkipped_data() {
        QTest::addColumn<int>("run");
        for (const int run : {1, 2, 3, 9, 10, 11, 64, 2000})
            QTest::addRow("%d bytes", run) << run;
    }
    void runsOfFFBeforeTheFramesAreSkipped() {
        QFETCH(int, run);
        const QByteArray frames = cbr44k();
        StreamFormat format;
        QCOMPARE(findSync(QByteArray(run, '\xff') + frames, &format), run);
        QCOMPARE(format.sampleRate, 44100);
        QCOMPARE(format.bitRate, 128000);
        // Runs between decoys are free too: nine decoys (valid headers whose next frame does
        // not agree), each behind a run of 0xFF, still leave the real stream as the tenth.
        QByteArray head;
        for (int i = 0; i < 9; ++i) {
            QByteArray decoy(256, '\0');
            decoy.replace(0, 4, QByteArray("\xff\xfb\x50\xc0", 4));
            head += QByteArray(run, '\xff') + decoy;
        }
        const qsizetype real = head.size() + run;
        head += QByteArray(run, '\xff') + frames;
        QCOMPARE(findSync(head), qint32(real));
        // Positions that merely look like syncs in other ways (a reserved version, layer
        // bits 00, sample-rate index 3) do not count either.
        QByteArray junk;
        for (int i = 0; i < 12; ++i)
            junk += QByteArray("\xff\xeb\x90\x00\xff\xf9\x90\x00\xff\xfb\x9c\x00", 12);
        QCOMPARE(findSync(junk + frames), qint32(junk.size()));
    }

    // Resync heads start anywhere in the stream. In tonal music the frames hold long runs of
    // 0xFF; the search must still find a real frame start from nearly every offset.
    void resyncAnywhereInTonalMusic_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<double>("allowed");
        const QByteArray sine = bareSineMp3(6.0, 440.0);
        // Its frames are full of sync patterns: several a frame besides the real one.
        int pairs = 0;
        for (qsizetype i = 0; i + 1 < sine.size(); ++i)
            pairs += uchar(sine[i]) == 0xFF && (uchar(sine[i + 1]) >> 4) >= 0xE;
        QVERIFY(pairs > 4 * mpeg1Frames44k(sine).size());
        QTest::newRow("bare sine") << sine << 0.01;
        Mp3Params p;
        p.seconds = 6.0;
        QTest::newRow("tone with overtones") << synthesizeMp3(p) << 0.01;
    }
    void resyncAnywhereInTonalMusic() {
        QFETCH(QByteArray, data);
        QFETCH(double, allowed);
        QVERIFY(mpeg1Frames44k(data).size() > 200);
        const double share = resyncFailureShare(data, 8192, 7);
        qInfo("resync heads that found no real frame: %.2f %%", share * 100);
        QVERIFY2(share <= allowed, qPrintable(QString::number(share * 100, 'f', 2) + " %"));
    }

    void vbrStartIsRejected() {
        Mp3Params p;
        p.vbr = true;
        p.seconds = 0.5;
        const QByteArray data = synthesizeMp3(p);
        const QList<qsizetype> frames = mpeg1Frames44k(data);
        QVERIFY(frames.size() > 10);
        const int first = bitRateIndexAt(data, 0);
        QVERIFY(bitRateIndexAt(data, frames[1]) != first ||
                bitRateIndexAt(data, frames[2]) != first);
        // Nowhere do three neighbouring frames share a rate, so no candidate can succeed.
        for (qsizetype i = 0; i + 2 < frames.size(); ++i) {
            const int r = bitRateIndexAt(data, frames[i]);
            QVERIFY(r != bitRateIndexAt(data, frames[i + 1]) ||
                    r != bitRateIndexAt(data, frames[i + 2]));
        }
        QCOMPARE(findSync(data), -1);
    }

    void noSyncFound_data() {
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("ICY 200 OK\r\ncontent-type: audio/mpeg\r\n\r\n");
        // 0xFF followed by anything but 0xE?/0xF? is no sync.
        QTest::newRow("near misses") << QByteArray("\xff\x00\xff\x7f\xff\xd0\xff\x1e", 8);
        QTest::newRow("lone 0xFF at the end") << QByteArray("abc\xff", 4);
        // Syncs whose headers are unacceptable: layer bits 00, bit-rate index 15,
        // sample-rate index 3.
        QTest::newRow("bad headers")
            << QByteArray("\xff\xf9\x90\x00\xff\xfb\xf0\x00\xff\xfb\x9c\x00", 12);
    }
    void noSyncFound() {
        QFETCH(QByteArray, head);
        const TightCopy tight(head);
        QCOMPARE(findSync(tight.bytes), -1);
    }

    // CBR at 128 kbit/s, 44.1 kHz: frames at 0, 417 and 835 (frame one is unpadded, frame
    // two padded - checked below).
    void boundsAreRespected() {
        const QByteArray data = cbr44k();
        QCOMPARE(cbrFrames(data, 417).mid(0, 3), QList<qsizetype>({0, 417, 835}));

        QCOMPARE(findSync(data, -5, qint32(data.size())), 0);
        QCOMPARE(findSync(data, 1, qint32(data.size())), 417);
        QCOMPARE(findSync(data, 100, 50), -1);

        // The third header needs bytes 835..838; an end one short hides it, and reading past
        // the end (here also the end of the allocation) would be caught by the sanitizer.
        const TightCopy cut(data.left(838));
        QCOMPARE(findSync(cut.bytes, 0, 1 << 30), -1);
        QCOMPARE(findSync(data, 0, 838), -1);
        QCOMPARE(findSync(data, 0, 839), 0);
        const TightCopy whole(data.left(839));
        QCOMPARE(findSync(whole.bytes), 0);

        // A frame whose header does not end before `end` is not found.
        const QByteArray head = QByteArray(300, 'x') + data;
        QCOMPARE(findSync(head, 0, 300), -1);
        QCOMPARE(findSync(head, 0, 301), -1);
        QCOMPARE(findSync(head), 300);
    }

    void bitRateAndFrameSizeTables() {
        // MPEG-1 layer 1 / 2 / 3, first and last indices plus a middle one.
        QCOMPARE(GetBitRate(1, 1, 1), 32000);
        QCOMPARE(GetBitRate(1, 1, 14), 448000);
        QCOMPARE(GetBitRate(1, 2, 2), 48000);
        QCOMPARE(GetBitRate(1, 2, 14), 384000);
        QCOMPARE(GetBitRate(1, 3, 2), 40000);
        QCOMPARE(GetBitRate(1, 3, 9), 128000);
        QCOMPARE(GetBitRate(1, 3, 14), 320000);
        // MPEG-2 layer 1, and layers 2 and 3 (shared).
        QCOMPARE(GetBitRate(0, 1, 9), 144000);
        QCOMPARE(GetBitRate(0, 1, 14), 256000);
        QCOMPARE(GetBitRate(0, 2, 1), 8000);
        QCOMPARE(GetBitRate(0, 3, 8), 64000);
        QCOMPARE(GetBitRate(0, 3, 14), 160000);
        // Free format, the forbidden index, unknown layers and versions.
        QCOMPARE(GetBitRate(1, 3, 0), 0);
        QCOMPARE(GetBitRate(1, 3, 15), 0);
        QCOMPARE(GetBitRate(1, 0, 9), 0);
        QCOMPARE(GetBitRate(1, 4, 9), 0);
        QCOMPARE(GetBitRate(2, 3, 9), 0);

        QCOMPARE(CalcFrameSize(1, 3, 9, 0), 417);   // 128000 * 144 / 44100 = 417.96
        QCOMPARE(CalcFrameSize(1, 3, 9, 1), 384);   // 128000 * 144 / 48000
        QCOMPARE(CalcFrameSize(1, 3, 14, 2), 1440); // 320000 * 144 / 32000
        QCOMPARE(CalcFrameSize(1, 2, 14, 1), 1152); // 384000 * 144 / 48000
        QCOMPARE(CalcFrameSize(1, 1, 14, 0), 484);  // (12 * 448000 / 44100 = 121.9) * 4
        QCOMPARE(CalcFrameSize(0, 1, 9, 1), 288);   // (12 * 144000 / 24000 = 72) * 4
        QCOMPARE(CalcFrameSize(0, 2, 8, 0), 417);   // 64000 * 144 / 22050 = 417.96
        QCOMPARE(CalcFrameSize(0, 3, 8, 0), 208);   // 64000 * 72 / 22050 = 208.98
        QCOMPARE(CalcFrameSize(1, 3, 9, 3), 0);
        QCOMPARE(CalcFrameSize(1, 3, 0, 0), 0);
    }

    void decoderFormatBlock() {
        const QByteArray block = BuildDecoderFormat(44100, 128000, 2);
        QCOMPARE(block.size(), 532);
        // frame length 128000 * 144 / 44100 = 417.96 -> block size 417 (0x01A1); the average
        // bytes per second reduce to 128000 / 8 = 16000 (0x3E80); 44100 = 0xAC44; 1393 = 0x0571.
        const QByteArray expected("\x55\x00"         // format tag
                                  "\x02\x00"         // channels
                                  "\x44\xac\x00\x00" // samples per second
                                  "\x80\x3e\x00\x00" // average bytes per second
                                  "\x01\x00"         // block align
                                  "\x00\x00"         // bits per sample
                                  "\x0c\x00"         // extra size
                                  "\x01\x00"         // id
                                  "\x02\x00\x00\x00" // flags
                                  "\xa1\x01"         // block size
                                  "\x01\x00"         // frames per block
                                  "\x71\x05",        // codec delay
                                  30);
        QCOMPARE(block.left(30), expected);
        QCOMPARE(block.mid(30), QByteArray(502, '\0'));

        const QByteArray noRate = BuildDecoderFormat(0, 128000, 1);
        QCOMPARE(noRate.size(), 532);
        QCOMPARE(noRate.mid(8, 4), QByteArray(4, '\0'));  // average bytes per second
        QCOMPARE(noRate.mid(24, 2), QByteArray(2, '\0')); // block size
    }

    // The average is bitRate / 8 in exact arithmetic. With the table's bit rates (multiples
    // of 1000) it is always whole, so the halves need made-up inputs. At 1152 Hz every step
    // is exact in binary floating point: 1152 * 100 / 1152 = 100, bitRate * 144 / 1152 =
    // bitRate / 8, so the value reaching the rounding is exactly bitRate / 8.
    void averageRoundsHalfToEven_data() {
        QTest::addColumn<int>("bitRate");
        QTest::addColumn<int>("average");
        QTest::addColumn<int>("blockSize");
        QTest::newRow("2.5") << 20 << 2 << 2;
        QTest::newRow("3.5") << 28 << 4 << 3;
        QTest::newRow("16000.5") << 128004 << 16000 << 16000;
        QTest::newRow("16001.5") << 128012 << 16002 << 16001;
    }
    void averageRoundsHalfToEven() {
        QFETCH(int, bitRate);
        QFETCH(int, average);
        QFETCH(int, blockSize);
        const QByteArray block = BuildDecoderFormat(1152, bitRate, 2);
        auto le = [&](int at, int size) {
            quint32 v = 0;
            for (int i = size - 1; i >= 0; --i)
                v = v << 8 | uchar(block[at + i]);
            return int(v);
        };
        QCOMPARE(le(8, 4), average);
        QCOMPARE(le(24, 2), blockSize);
    }
};

QTEST_GUILESS_MAIN(TestFrameSync)
#include "tst_framesync.moc"
