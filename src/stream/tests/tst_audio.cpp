#include "components/ledlabel.h"
#include "stream/audio/decoderchain.h"
#include "stream/audio/frequencyanalyser.h"
#include "stream/audio/mpg123decoder.h"
#include "stream/audio/outputs.h"
#include "stream/engine.h"
#include "stream/ui/frequencydisplay.h"
#include "streamsynth/mp3synth.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <set>

using namespace kestrune;
using testsupport::Mp3Params;
using testsupport::synthesizeMp3;

namespace {

constexpr double BytesPerSecond = PcmSampleRate * PcmBytesPerFrame;

qint16 sampleAt(const QByteArray &pcm, qsizetype frame, int channel) {
    return qFromLittleEndian<qint16>(pcm.constData() + frame * PcmBytesPerFrame + channel * 2);
}

// Feeds `mp3` in awkward piece sizes (single bytes, pieces that split headers) and collects
// all the PCM the decoder gives.
QByteArray decodeInPieces(Mpg123Decoder &decoder, const QByteArray &mp3) {
    static constexpr qsizetype pieces[] = {1, 7, 333, 1001, 4099, 2, 613};
    QByteArray pcm;
    char out[4000];
    qsizetype pos = 0;
    for (int i = 0; pos < mp3.size(); ++i) {
        const qsizetype n = std::min(pieces[i % std::size(pieces)], mp3.size() - pos);
        decoder.Feed(mp3.constData() + pos, n);
        pos += n;
        while (const qsizetype got = decoder.ReadPcm(out, sizeof out))
            pcm.append(out, got);
    }
    return pcm;
}

// Sign changes of one channel between `from` and `to` (frames), with hysteresis so that
// coding noise around zero does not count.
int zeroCrossings(const QByteArray &pcm, int channel, qsizetype from, qsizetype to) {
    constexpr int Threshold = 2000;
    int sign = 0;
    int count = 0;
    for (qsizetype f = from; f < to; ++f) {
        const int v = sampleAt(pcm, f, channel);
        const int s = v > Threshold ? 1 : v < -Threshold ? -1 : 0;
        if (s != 0 && s != sign) {
            count += sign != 0;
            sign = s;
        }
    }
    return count;
}

double rms(const QByteArray &pcm, int channel) {
    const qsizetype frames = pcm.size() / PcmBytesPerFrame;
    double sum = 0;
    for (qsizetype f = 0; f < frames; ++f)
        sum += double(sampleAt(pcm, f, channel)) * sampleAt(pcm, f, channel);
    return frames ? std::sqrt(sum / frames) : 0.0;
}

QByteArray garbage(qsizetype size) {
    std::minstd_rand rng(77);
    QByteArray g(size, Qt::Uninitialized);
    for (char &c : g)
        c = char(rng() & 0xFF);
    return g;
}

// Compressed input as the chain's owner hands it out: from a cursor over `data`, or the same
// bytes over and over when `endless`.
struct CursorInput {
    QByteArray data;
    bool endless = false;
    bool sayNoMore = false; // report "no more buffers for now" after each one
    qsizetype cursor = 0;
    int requests = 0;
    qsizetype largestAsk = 0;

    DecoderChain::BufferRequest request() {
        return [this](char *buffer, qsizetype size, bool &more) {
            ++requests;
            largestAsk = std::max(largestAsk, size);
            const qsizetype n = std::min(size, endless ? data.size() : data.size() - cursor);
            memcpy(buffer, data.constData() + (endless ? 0 : cursor), size_t(n));
            cursor += endless ? 0 : n;
            more = !sayNoMore && (endless || cursor < data.size());
            return n;
        };
    }
};

// Endless PCM whose every byte is known from its position, so written files can be checked.
class PatternSource : public PcmSource {
public:
    static char byteAt(qint64 pos) { return char((pos * 7 + pos / 256) & 0xFF); }

    qint64 readPcm(char *data, qint64 maxBytes) override {
        if (starved)
            return 0;
        for (qint64 i = 0; i < maxBytes; ++i)
            data[i] = byteAt(given + i);
        given += maxBytes;
        return maxBytes;
    }

    bool starved = false;
    qint64 given = 0;
};

QByteArray tonePcm(double hz, int frames, double amplitude, bool invertRight = false) {
    QByteArray pcm(frames * PcmBytesPerFrame, Qt::Uninitialized);
    for (int f = 0; f < frames; ++f) {
        const double v = amplitude * 32767 * std::sin(2 * std::numbers::pi * hz * f / 44100);
        const auto l = qint16(std::lround(v));
        const auto r = qint16(invertRight ? -l : l);
        qToLittleEndian(l, pcm.data() + f * 4);
        qToLittleEndian(r, pcm.data() + f * 4 + 2);
    }
    return pcm;
}

// The FFT bin a tone falls in.
int binOf(double hz) {
    return int(std::lround(hz * FrequencyAnalyser::FFTLength / PcmSampleRate));
}

int loudestBand(const FrequencyAnalyser &s) {
    const auto &b = s.levels().bands;
    return int(std::max_element(b.begin(), b.end()) - b.begin());
}

float loudestLevel(const FrequencyAnalyser &s) {
    return *std::max_element(s.levels().bands.begin(), s.levels().bands.end());
}

} // namespace

class TestAudio : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void decodesEveryRateToTheOutputFormat_data();
    void decodesEveryRateToTheOutputFormat();
    void junkAndReset();

    void chainDrainsInputAtThePaceOfReading();
    void chainStopsRequesting();

    void nullOutputPacesInRealTime();
    void nullOutputDoesNotCatchUpAfterUnderrun();
    void wavOutputWritesAValidFile();
    void deviceOutputWithoutDevice();
    void factoryPicksTheOutput();

    void spectrumFindsTheTone_data();
    void spectrumFindsTheTone();
    void spectrumSilenceAndMonoMix();
    void spectrumShowsTheLatestSamples();
    void spectrumPeaksSinkSlowly();
    void spectrumRestsWhileNobodyLooks();
    void spectrumLooks();

    void ledLabelDrawsInTheLitColour();
};

// ---------------------------------------------------------------------------------------
// Decoder

void TestAudio::decodesEveryRateToTheOutputFormat_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("kbps");
    QTest::newRow("MPEG-1 44.1 kHz stereo") << 44100 << 2 << 128;
    QTest::newRow("MPEG-1 48 kHz stereo") << 48000 << 2 << 160;
    QTest::newRow("MPEG-1 44.1 kHz mono") << 44100 << 1 << 64;
    QTest::newRow("MPEG-2 22.05 kHz stereo") << 22050 << 2 << 64;
    QTest::newRow("MPEG-2.5 11.025 kHz stereo") << 11025 << 2 << 32;
    QTest::newRow("MPEG-2.5 8 kHz mono") << 8000 << 1 << 16;
}

void TestAudio::decodesEveryRateToTheOutputFormat() {
    QFETCH(int, rate);
    QFETCH(int, channels);
    QFETCH(int, kbps);
    constexpr double Seconds = 2.0;
    Mp3Params params;
    params.sampleRate = rate;
    params.channels = channels;
    params.bitrateKbps = kbps;
    params.seconds = Seconds;
    const QByteArray mp3 = synthesizeMp3(params);
    QVERIFY(!mp3.isEmpty());

    Mpg123Decoder decoder;
    QVERIFY(decoder.isValid());
    QCOMPARE(decoder.streamRate(), 0);
    const QByteArray pcm = decodeInPieces(decoder, mp3);
    QCOMPARE(decoder.streamRate(), rate);
    QCOMPARE(decoder.streamChannels(), channels);

    // The encoder adds its delay and pads the last frame: a little more than the audio, never
    // less, and never the factor of two or more a wrong rate or channel count would give.
    QCOMPARE(pcm.size() % PcmBytesPerFrame, 0);
    const qsizetype frames = pcm.size() / PcmBytesPerFrame;
    const auto expected = qsizetype(Seconds * PcmSampleRate);
    const qsizetype slack = 3 * testsupport::samplesPerFrame(rate) * PcmSampleRate / rate;
    QVERIFY2(frames >= expected - 2 && frames <= expected + slack,
             qPrintable(QStringLiteral("%1 frames for %2").arg(frames).arg(expected)));

    // The tone is at half scale (RMS about 11,600); the right channel plays a fifth above
    // the left (660 Hz against 440 Hz).
    QVERIFY2(rms(pcm, 0) > 6000, qPrintable(QString::number(rms(pcm, 0))));
    const qsizetype from = PcmSampleRate / 4;
    const qsizetype to = from + PcmSampleRate * 3 / 2;
    const double leftHz = zeroCrossings(pcm, 0, from, to) / 2.0 / 1.5;
    QVERIFY2(std::abs(leftHz - 440) < 440 * 0.03, qPrintable(QString::number(leftHz)));
    if (channels == 2) {
        const double rightHz = zeroCrossings(pcm, 1, from, to) / 2.0 / 1.5;
        QVERIFY2(std::abs(rightHz - 660) < 660 * 0.03, qPrintable(QString::number(rightHz)));
    } else {
        for (qsizetype f = 0; f < frames; f += 97)
            QCOMPARE(sampleAt(pcm, f, 1), sampleAt(pcm, f, 0));
    }
}

void TestAudio::junkAndReset() {
    const QByteArray mp3 = synthesizeMp3(Mp3Params{});
    const auto expected = qsizetype(Mp3Params{}.seconds * PcmSampleRate);
    Mpg123Decoder decoder;

    // Pure junk: every read comes back (the test's time limit would catch a hang) with whole
    // frames.
    const QByteArray junk = garbage(256 * 1024);
    char out[4000];
    for (qsizetype pos = 0; pos < junk.size(); pos += 1000) {
        decoder.Feed(junk.constData() + pos, std::min<qsizetype>(1000, junk.size() - pos));
        for (int i = 0; i < 100; ++i) {
            const qsizetype got = decoder.ReadPcm(out, sizeof out);
            QCOMPARE(got % PcmBytesPerFrame, 0);
            if (got == 0)
                break;
        }
    }
    // Junk in front of a stream, as when tuning in mid-frame: the frames are found.
    const qsizetype resynced =
        decodeInPieces(decoder, junk.left(5000) + mp3).size() / PcmBytesPerFrame;
    QVERIFY2(resynced >= expected * 9 / 10, qPrintable(QString::number(resynced)));

    // After a reset nothing of the old stream, read or unread, leaks into the new one.
    decoder.Feed(mp3.constData(), mp3.size());
    QCOMPARE(decoder.ReadPcm(out, sizeof out), qsizetype(sizeof out));
    const QByteArray block(532, '\x55');
    decoder.SetInputFormat(block);
    QCOMPARE(decoder.inputFormat(), block);
    QCOMPARE(decoder.streamRate(), 0);
    QCOMPARE(decoder.ReadPcm(out, sizeof out), 0);

    Mp3Params other;
    other.sampleRate = 22050;
    other.bitrateKbps = 64;
    const QByteArray next = synthesizeMp3(other);
    Mpg123Decoder fresh;
    QCOMPARE(decodeInPieces(decoder, next), decodeInPieces(fresh, next));
    QCOMPARE(decoder.streamRate(), 22050);
}

// ---------------------------------------------------------------------------------------
// Decoder chain

void TestAudio::chainDrainsInputAtThePaceOfReading() {
    Mp3Params params;
    params.seconds = 2.0;
    const qsizetype inputPerSecond = params.bitrateKbps * 1000 / 8;
    CursorInput input{synthesizeMp3(params)};
    DecoderChain chain(input.request());

    // Reading the first second must not swallow the whole stream: the ring behind the
    // requests is drained only as fast as PCM is taken.
    QByteArray pcm;
    char out[8192];
    while (pcm.size() < BytesPerSecond) {
        const qint64 got = chain.readPcm(out, sizeof out);
        QVERIFY(got > 0);
        pcm.append(out, got);
    }
    QVERIFY2(input.cursor <= inputPerSecond + 3 * DecoderChain::InputBufferSize,
             qPrintable(QString::number(input.cursor)));

    for (int calls = 0; calls < 1000; ++calls) {
        const qint64 got = chain.readPcm(out, sizeof out);
        if (got == 0)
            break;
        QCOMPARE(got % PcmBytesPerFrame, 0);
        pcm.append(out, got);
    }
    QCOMPARE(input.cursor, input.data.size());
    QCOMPARE(input.largestAsk, DecoderChain::InputBufferSize);
    // All of it, exactly as the decoder makes it on its own.
    Mpg123Decoder reference;
    QCOMPARE(pcm, decodeInPieces(reference, input.data));
}

void TestAudio::chainStopsRequesting() {
    char out[65536];
    // "No more buffers for now": one request per read, its data still decoded.
    CursorInput paused{synthesizeMp3(Mp3Params{})};
    paused.sayNoMore = true;
    DecoderChain pausing(paused.request());
    QVERIFY(pausing.readPcm(out, sizeof out) > 0);
    QCOMPARE(paused.requests, 1);
    QVERIFY(pausing.readPcm(out, sizeof out) > 0);
    QCOMPARE(paused.requests, 2);

    // An empty buffer ends the read at once.
    CursorInput empty;
    DecoderChain starved(empty.request());
    QCOMPARE(starved.readPcm(out, sizeof out), 0);
    QCOMPARE(empty.requests, 1);

    // Endless input that never decodes: the read gives up after a bounded number of
    // requests instead of spinning.
    CursorInput junk{garbage(DecoderChain::InputBufferSize)};
    junk.endless = true;
    DecoderChain choking(junk.request());
    QCOMPARE(choking.readPcm(out, 8192), 0);
    QVERIFY2(junk.requests > 0 && junk.requests <= 16, qPrintable(QString::number(junk.requests)));
}

// ---------------------------------------------------------------------------------------
// Outputs

void TestAudio::nullOutputPacesInRealTime() {
    auto output = createNullOutput();
    PatternSource source;
    QSignalSpy stopped(output.get(), &AudioOutput::stopped);
    qint64 playedBytes = 0;
    connect(output.get(), &AudioOutput::played, this,
            [&](const QByteArray &pcm) { playedBytes += pcm.size(); });

    QElapsedTimer clock;
    clock.start();
    QVERIFY(output->Start(&source));
    QVERIFY(output->State() & AudioOutput::StateRunning);
    QTest::qWait(1000);
    output->Stop();
    const double seconds = clock.nsecsElapsed() / 1e9;

    QVERIFY(!(output->State() & AudioOutput::StateRunning));
    const double rate = output->bytesPlayed() / seconds;
    QVERIFY2(std::abs(rate - BytesPerSecond) < BytesPerSecond * 0.15,
             qPrintable(QString::number(rate)));
    QCOMPARE(output->bytesPlayed() % PcmBytesPerFrame, 0);
    QCOMPARE(playedBytes, output->bytesPlayed());
    QCOMPARE(source.given, output->bytesPlayed());

    // stopped() comes later, once; a second Stop() is not another stop.
    QCOMPARE(stopped.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 1, 2000);
    output->Stop();
    QTest::qWait(50);
    QCOMPARE(stopped.count(), 1);
    const qint64 afterStop = output->bytesPlayed();
    QCOMPARE(source.given, afterStop);

    QVERIFY(output->Start(&source));
    QVERIFY(output->IsRunning());
    QTRY_VERIFY_WITH_TIMEOUT(output->bytesPlayed() > afterStop, 2000);
    output->Stop();
    QTRY_COMPARE_WITH_TIMEOUT(stopped.count(), 2, 2000);
}

void TestAudio::nullOutputDoesNotCatchUpAfterUnderrun() {
    auto output = createNullOutput();
    PatternSource source;
    source.starved = true;
    QVERIFY(output->Start(&source));
    QTest::qWait(500);
    QCOMPARE(output->bytesPlayed(), 0);
    QVERIFY(output->IsRunning());

    // Half a second missed is gone; only a device buffer's worth (100 ms) is made up for.
    source.starved = false;
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(500);
    const qint64 played = output->bytesPlayed();
    const double seconds = clock.nsecsElapsed() / 1e9;
    output->Stop();
    QVERIFY2(played > seconds * BytesPerSecond * 0.85, qPrintable(QString::number(played)));
    QVERIFY2(played < (seconds + 0.1) * BytesPerSecond * 1.15, qPrintable(QString::number(played)));
}

void TestAudio::wavOutputWritesAValidFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("out.wav"));
    auto readAll = [&path] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    auto u32 = [](const QByteArray &d, int at) {
        return qFromLittleEndian<quint32>(d.constData() + at);
    };
    auto u16 = [](const QByteArray &d, int at) {
        return qFromLittleEndian<quint16>(d.constData() + at);
    };

    PatternSource source;
    auto output = createWavFileOutput(dir.filePath(QStringLiteral("no/such/dir.wav")));
    QVERIFY(!output->Start(&source));
    QVERIFY(!output->IsRunning());

    output = createWavFileOutput(path);
    QCOMPARE(output->description(), QStringLiteral("wav:") + path);
    QVERIFY(output->Start(&source));

    // While it runs the header is brought up to date about once a second, so a file cut off
    // by a crash still plays.
    QTest::qWait(1300);
    QByteArray file = readAll();
    QVERIFY(file.size() >= 44);
    QVERIFY2(u32(file, 40) > 0 && u32(file, 40) <= file.size() - 44,
             qPrintable(QString::number(u32(file, 40))));

    output->Stop();
    file = readAll();
    QCOMPARE(file.left(4), QByteArray("RIFF"));
    QCOMPARE(u32(file, 4), quint32(file.size() - 8));
    QCOMPARE(file.mid(8, 8), QByteArray("WAVEfmt "));
    QCOMPARE(u32(file, 16), 16u);
    QCOMPARE(u16(file, 20), 1);      // integer PCM
    QCOMPARE(u16(file, 22), 2);      // channels
    QCOMPARE(u32(file, 24), 44100u); // Hz
    QCOMPARE(u32(file, 28), 176400u);
    QCOMPARE(u16(file, 32), 4);
    QCOMPARE(u16(file, 34), 16);
    QCOMPARE(file.mid(36, 4), QByteArray("data"));
    QCOMPARE(qint64(u32(file, 40)), output->bytesPlayed());
    QCOMPARE(qint64(file.size() - 44), output->bytesPlayed());
    for (qsizetype i = 0; i < file.size() - 44; i += 1009)
        QCOMPARE(file.at(44 + i), PatternSource::byteAt(i));

    // A restart (a resync, the next station) adds to the capture instead of wiping it, and
    // the header counts all of it, also while it runs; deleting a running output still
    // leaves a valid file.
    const qint64 before = file.size() - 44;
    for (int restart = 0; restart < 2; ++restart) {
        const qint64 stoppedAt = output->bytesPlayed();
        QVERIFY(output->Start(&source));
        QTRY_VERIFY_WITH_TIMEOUT(output->bytesPlayed() > stoppedAt + 4096, 2000);
        output->Stop();
        file = readAll();
        QCOMPARE(qint64(u32(file, 40)), output->bytesPlayed());
        QCOMPARE(u32(file, 4), quint32(file.size() - 8));
    }
    const qint64 earlier = output->bytesPlayed();
    QVERIFY(earlier > before);
    QVERIFY(output->Start(&source));
    QTest::qWait(1300);
    file = readAll();
    QVERIFY2(u32(file, 40) > earlier && u32(file, 40) <= file.size() - 44,
             qPrintable(QString::number(u32(file, 40))));
    QTest::qWait(100);
    const qint64 total = output->bytesPlayed();
    output.reset();
    file = readAll();
    QCOMPARE(qint64(u32(file, 40)), total);
    QCOMPARE(qint64(file.size() - 44), total);
    QCOMPARE(u32(file, 4), quint32(file.size() - 8));
    // One unbroken run of the source's bytes, the first capture included.
    QCOMPARE(source.given, total);
    for (qsizetype i = 0; i < file.size() - 44; i += 997)
        QCOMPARE(file.at(44 + i), PatternSource::byteAt(i));

    // A new output begins a new file.
    output = createWavFileOutput(path);
    PatternSource fresh;
    QVERIFY(output->Start(&fresh));
    QTRY_VERIFY_WITH_TIMEOUT(output->bytesPlayed() > 0, 2000);
    output->Stop();
    file = readAll();
    QCOMPARE(qint64(file.size() - 44), output->bytesPlayed());
    QVERIFY(output->bytesPlayed() < total);
}

void TestAudio::deviceOutputWithoutDevice() {
    if (soundDeviceAvailable())
        QSKIP("this machine has a sound device");
    auto output = createDeviceOutput();
    QSignalSpy stopped(output.get(), &AudioOutput::stopped);
    PatternSource source;
    QVERIFY(!output->Start(&source));
    QVERIFY(!(output->State() & AudioOutput::StateRunning));
    output->Stop();
    QTest::qWait(50);
    QCOMPARE(stopped.count(), 0);
    QCOMPARE(output->bytesPlayed(), 0);
}

void TestAudio::factoryPicksTheOutput() {
    const QByteArray saved = qgetenv("KESTRUNE_AUDIO");
    auto restore = qScopeGuard([&] { qputenv("KESTRUNE_AUDIO", saved); });

    QCOMPARE(createAudioOutput(QStringLiteral("null"))->description(), QStringLiteral("null"));
    QCOMPARE(createAudioOutput(QStringLiteral("wav:/tmp/a b.wav"))->description(),
             QStringLiteral("wav:/tmp/a b.wav"));
    for (const QString &name : {QStringLiteral("device"), QStringLiteral("speakers")}) {
        const QString d = createAudioOutput(name)->description();
        QVERIFY2(d != QLatin1String("null") && !d.startsWith(QLatin1String("wav:")),
                 qPrintable(name + QLatin1String(" -> ") + d));
    }

    // An empty choice defers to the environment, which an explicit one overrides.
    qputenv("KESTRUNE_AUDIO", "wav:/tmp/env.wav");
    QCOMPARE(createAudioOutput()->description(), QStringLiteral("wav:/tmp/env.wav"));
    QCOMPARE(createAudioOutput(QStringLiteral("null"))->description(), QStringLiteral("null"));
    qputenv("KESTRUNE_AUDIO", "null");
    QCOMPARE(createAudioOutput()->description(), QStringLiteral("null"));
}

// ---------------------------------------------------------------------------------------
// Spectrum analysis and display

void TestAudio::spectrumFindsTheTone_data() {
    QTest::addColumn<double>("hz");
    QTest::newRow("1 kHz") << 1000.0;
    QTest::newRow("5 kHz") << 5000.0;
    QTest::newRow("15 kHz") << 15000.0;
}

void TestAudio::spectrumFindsTheTone() {
    QFETCH(double, hz);
    FrequencyAnalyser analyser;
    QSignalSpy changed(&analyser, &FrequencyAnalyser::levelsChanged);
    analyser.addPcm(tonePcm(hz, 1000, 0.5));
    QCOMPARE(changed.count(), 1);
    const FrequencyLevels &levels = analyser.levels();
    QCOMPARE(int(levels.bands.size()), FrequencyAnalyser::FFTLength / 2);
    QCOMPARE(levels.peaks.size(), levels.bands.size());
    const double bin = hz / (44100.0 / FrequencyAnalyser::FFTLength);
    QVERIFY2(std::abs(loudestBand(analyser) - bin) <= 1.0,
             qPrintable(QStringLiteral("band %1, bin %2").arg(loudestBand(analyser)).arg(bin)));
    // Half scale is -6 dB: high on the scale, but not the top.
    const float level = loudestLevel(analyser);
    QVERIFY2(level > 0.8f && level < 1.0f, qPrintable(QString::number(level)));
    // Far from the tone the window's leakage is way down.
    const int far = loudestBand(analyser) > 64 ? 5 : 100;
    QVERIFY2(levels.bands[size_t(far)] < level - 0.3f, qPrintable(QString::number(far)));
}

void TestAudio::spectrumSilenceAndMonoMix() {
    FrequencyAnalyser analyser;
    QSignalSpy changed(&analyser, &FrequencyAnalyser::levelsChanged);
    analyser.addPcm(tonePcm(1000, 512, 0.5));
    QVERIFY(analyser.levels().bands[size_t(binOf(1000))] > 0.5f);

    // Cleared, it announces empty levels at once.
    analyser.clear();
    QCOMPARE(changed.count(), 2);
    const auto announced = changed.last().at(0).value<FrequencyLevels>();
    for (const auto *values : {&announced.bands, &announced.peaks}) {
        QCOMPARE(int(values->size()), FrequencyAnalyser::BandCount);
        QVERIFY(std::all_of(values->begin(), values->end(), [](float b) { return b == 0.0f; }));
    }
    analyser.addPcm(QByteArray(512 * PcmBytesPerFrame, '\0'));
    QVERIFY(loudestLevel(analyser) < 0.01f);

    // The analysis is of the mono mix: channels in opposite phase cancel out.
    analyser.clear();
    analyser.addPcm(tonePcm(1000, 512, 0.5, true));
    QVERIFY(loudestLevel(analyser) < 0.01f);
}

void TestAudio::spectrumShowsTheLatestSamples() {
    FrequencyAnalyser analyser;
    QSignalSpy changed(&analyser, &FrequencyAnalyser::levelsChanged);
    analyser.addPcm(tonePcm(1000, 512, 0.5));
    QCOMPARE(loudestBand(analyser), binOf(1000));
    // Arriving in small pieces faster than anyone could watch, the last 256 samples are what
    // it settles on, even with no PCM after them; and it does not analyse every piece.
    changed.clear();
    const QByteArray tone = tonePcm(5000, 512, 0.5);
    for (int i = 0; i < 512; i += 64)
        analyser.addPcm(tone.mid(i * PcmBytesPerFrame, 64 * PcmBytesPerFrame));
    QVERIFY(changed.count() < 8);
    QTRY_COMPARE_WITH_TIMEOUT(loudestBand(analyser), binOf(5000), 1000);
    QVERIFY(changed.count() >= 1);
    QCOMPARE(changed.last().at(0).value<FrequencyLevels>().bands, analyser.levels().bands);
}

void TestAudio::spectrumPeaksSinkSlowly() {
    FrequencyAnalyser analyser;
    QSignalSpy changed(&analyser, &FrequencyAnalyser::levelsChanged);
    const size_t band = size_t(binOf(1000));
    analyser.addPcm(tonePcm(1000, 256, 0.5));
    const float loud = analyser.levels().bands[band];
    QCOMPARE(analyser.levels().peaks[band], loud);
    // Silence 200 ms later: the band drops at once, its peak by about 0.1 (0.5 a second).
    QTest::qWait(200);
    analyser.addPcm(QByteArray(256 * PcmBytesPerFrame, '\0'));
    QVERIFY(analyser.levels().bands[band] < 0.01f);
    const float sunk = loud - analyser.levels().peaks[band];
    QVERIFY2(sunk > 0.07f && sunk < 0.2f, qPrintable(QString::number(sunk)));
}

void TestAudio::spectrumRestsWhileNobodyLooks() {
    // Neither kept nor analysed: nobody would see it.
    FrequencyAnalyser analyser;
    analyser.addPcm(tonePcm(1000, 512, 0.5));
    QVERIFY(loudestLevel(analyser) == 0.0f);
    // Once somebody looks, what is played from then on is analysed.
    QSignalSpy changed(&analyser, &FrequencyAnalyser::levelsChanged);
    analyser.addPcm(QByteArray());
    QCOMPARE(changed.count(), 0);
    analyser.addPcm(tonePcm(1000, 256, 0.5));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(loudestBand(analyser), binOf(1000));
}

void TestAudio::spectrumLooks() {
    FrequencyDisplay display;
    display.resize(300, 120);
    display.setDisplaySetting(7);
    QCOMPARE(display.displaySetting(), 1);
    display.setDisplaySetting(-1);
    QCOMPARE(display.displaySetting(), 5);

    // A loud moment and then a quieter one, so that peak caps stand above the bars.
    FrequencyAnalyser analyser;
    connect(&analyser, &FrequencyAnalyser::levelsChanged, &display, &FrequencyDisplay::setLevels);
    analyser.addPcm(tonePcm(1000, 256, 0.5));
    QTest::qWait(50);
    analyser.addPcm(tonePcm(1000, 256, 0.05));
    QCOMPARE(display.levels().bands, analyser.levels().bands);

    const auto drawnPixels = [&display] {
        const QImage image = display.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QRgb face = image.pixel(image.width() - 1, 0);
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                drawn += image.pixel(x, y) != face;
        return std::pair{drawn, image};
    };
    std::set<QByteArray> looks;
    for (int look = 0; look < FrequencyDisplay::LookCount; ++look) {
        display.setDisplaySetting(look);
        const auto [drawn, image] = drawnPixels();
        QCOMPARE(image.size(), QSize(300, 120));
        QVERIFY2(drawn > 100, qPrintable(QStringLiteral("look %1").arg(look)));
        looks.insert(
            QByteArray(reinterpret_cast<const char *>(image.constBits()), image.sizeInBytes()));
    }
    QCOMPARE(int(looks.size()), FrequencyDisplay::LookCount);

    // Cleared, the bars are gone (look 4 keeps its unlit segments, the mirrored look its
    // middle line); empty levels draw only the face.
    display.setDisplaySetting(0);
    display.clear();
    QCOMPARE(drawnPixels().first, 0);
    display.setLevels(FrequencyLevels{});
    display.setDisplaySetting(4);
    QCOMPARE(drawnPixels().first, 0);
}

// ---------------------------------------------------------------------------------------
// LED label

void TestAudio::ledLabelDrawsInTheLitColour() {
    LedLabel label(QStringLiteral("ON AIR"));
    QCOMPARE(label.litColor(), LedLabel::BrightGreen);
    label.resize(label.sizeHint());
    auto pixelsOf = [&label](QColor colour) {
        const QImage image = label.grab().toImage().convertToFormat(QImage::Format_RGB32);
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == colour.rgb();
        return n;
    };
    QVERIFY(pixelsOf(QColor(0, 255, 0)) > 0);

    label.setLitColor(LedLabel::DarkGreen);
    QCOMPARE(label.litColor(), LedLabel::DarkGreen);
    QVERIFY(pixelsOf(QColor(0, 128, 0)) > 0);
    QCOMPARE(pixelsOf(QColor(0, 255, 0)), 0);

    // Blue, green, red from the high byte down: 0x0000FF is red.
    label.setLitColor(0x0000FF);
    QVERIFY(pixelsOf(QColor(255, 0, 0)) > 0);
}

QTEST_MAIN(TestAudio)
#include "tst_audio.moc"
