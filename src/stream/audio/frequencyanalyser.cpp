#include "stream/audio/frequencyanalyser.h"

#include "stream/pcmsource.h"

#include <QMetaMethod>
#include <QtEndian>

#include <kissfft/kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrune {

namespace {

// The range the levels span, in dB relative to a full-scale sine.
constexpr float FloorDb = -90.0f;
// 20 analyses a second at most: more would not be seen, and the FFT and the repaint it
// causes run on the GUI thread.
constexpr int MinAnalysisIntervalMs = 50;
// How fast the peak marks sink, in levels (0..1) per second.
constexpr float PeakFallPerSecond = 0.5f;

} // namespace

struct FrequencyAnalyser::Fft {
    kiss_fftr_cfg cfg = nullptr;
    std::vector<float> hann;
    std::vector<float> input;
    std::vector<kiss_fft_cpx> output;

    Fft()
        : cfg(kiss_fftr_alloc(FFTLength, 0, nullptr, nullptr))
        , hann(FFTLength)
        , input(FFTLength)
        , output(FFTLength / 2 + 1) {
        for (int i = 0; i < FFTLength; ++i)
            hann[i] = 0.5f - 0.5f * std::cos(2.0f * std::numbers::pi_v<float> * i / FFTLength);
    }
    ~Fft() { kiss_fftr_free(cfg); }
    Fft(const Fft &) = delete;
    Fft &operator=(const Fft &) = delete;
};

FrequencyAnalyser::FrequencyAnalyser(QObject *parent)
    : QObject(parent)
    , m_window(FFTLength, 0.0f)
    , m_levels{std::vector<float>(BandCount, 0.0f), std::vector<float>(BandCount, 0.0f)}
    , m_fft(std::make_unique<Fft>()) {
    m_pending.setSingleShot(true);
    connect(&m_pending, &QTimer::timeout, this, &FrequencyAnalyser::analyse);
}

FrequencyAnalyser::~FrequencyAnalyser() = default;

bool FrequencyAnalyser::isWatched() const {
    return isSignalConnected(QMetaMethod::fromSignal(&FrequencyAnalyser::levelsChanged));
}

void FrequencyAnalyser::addPcm(const QByteArray &pcm) {
    // Nobody looks (the window is hidden or minimised): not even the samples are kept.
    if (!isWatched()) {
        m_pending.stop();
        return;
    }
    const qsizetype frames = pcm.size() / PcmBytesPerFrame;
    if (frames == 0)
        return;
    // Only the latest FFTLength frames can matter.
    const qsizetype first = std::max<qsizetype>(0, frames - FFTLength);
    const char *p = pcm.constData() + first * PcmBytesPerFrame;
    for (qsizetype i = first; i < frames; ++i, p += PcmBytesPerFrame) {
        const int left = qFromLittleEndian<qint16>(p);
        const int right = qFromLittleEndian<qint16>(p + 2);
        m_window[size_t(m_writePos)] = float(left + right) / (2.0f * 32768.0f);
        m_writePos = (m_writePos + 1) % FFTLength;
    }
    if (!m_sinceAnalysis.isValid() || m_sinceAnalysis.elapsed() >= MinAnalysisIntervalMs) {
        m_pending.stop();
        analyse();
    } else if (!m_pending.isActive()) {
        m_pending.start(int(MinAnalysisIntervalMs - m_sinceAnalysis.elapsed()));
    }
}

void FrequencyAnalyser::clear() {
    m_pending.stop();
    m_sinceAnalysis.invalidate();
    std::fill(m_window.begin(), m_window.end(), 0.0f);
    std::fill(m_levels.bands.begin(), m_levels.bands.end(), 0.0f);
    std::fill(m_levels.peaks.begin(), m_levels.peaks.end(), 0.0f);
    m_writePos = 0;
    Q_EMIT levelsChanged(m_levels);
}

void FrequencyAnalyser::analyse() {
    if (!isWatched())
        return;
    const float seconds =
        m_sinceAnalysis.isValid() ? float(m_sinceAnalysis.restart()) / 1000.0f : 0.0f;
    if (!m_sinceAnalysis.isValid())
        m_sinceAnalysis.start();

    Fft &f = *m_fft;
    for (int i = 0; i < FFTLength; ++i)
        f.input[size_t(i)] = m_window[size_t((m_writePos + i) % FFTLength)] * f.hann[size_t(i)];
    kiss_fftr(f.cfg, f.input.data(), f.output.data());

    // A full-scale sine gives |X| = N / 4 with this window (N / 2 for the window's sum,
    // halved for the one-sided spectrum), so that is 0 dB.
    constexpr float Scale = 4.0f / FFTLength;
    const float peakFall = PeakFallPerSecond * seconds;
    for (size_t k = 0; k < size_t(BandCount); ++k) {
        const float mag = std::hypot(f.output[k].r, f.output[k].i) * Scale;
        const float db = 20.0f * std::log10(std::max(mag, 1e-9f));
        const float level = std::clamp((db - FloorDb) / -FloorDb, 0.0f, 1.0f);
        m_levels.bands[k] = level;
        m_levels.peaks[k] = std::max(level, m_levels.peaks[k] - peakFall);
    }
    Q_EMIT levelsChanged(m_levels);
}

} // namespace kestrune
