// The spectrum of the sound being played, for the spectrum display: a 256-point FFT of the
// latest samples' mono mix, as one level per band on a decibel scale, with peak marks that
// sink slowly. Fed from the output's played() PCM (44.1 kHz, 16-bit, stereo).
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

namespace kestrune {

// What the display paints. Both hold one value per band, 0 to 1: 0 is -90 dB or less, 1 is a
// full-scale sine (0 dB). Band k covers k * 44100 / 256 Hz.
struct FrequencyLevels {
    std::vector<float> bands; // the latest analysis
    std::vector<float> peaks; // each band's recent highest level, sinking 0.5 a second
};

class FrequencyAnalyser : public QObject {
    Q_OBJECT
public:
    static constexpr int FFTLength = 256;
    static constexpr int BandCount = FFTLength / 2;

    explicit FrequencyAnalyser(QObject *parent = nullptr);
    ~FrequencyAnalyser() override;

    const FrequencyLevels &levels() const { return m_levels; }

public Q_SLOTS:
    // PCM as played. Analyses at once, or, if the last analysis is too recent, a little later
    // (the latest samples are analysed even when no more PCM follows). While nothing listens
    // to levelsChanged (a hidden window, a tool, a benchmark) the samples are neither kept
    // nor analysed.
    void addPcm(const QByteArray &pcm);
    // Forgets the samples and levels (playback stopped); announces the empty levels.
    void clear();

Q_SIGNALS:
    void levelsChanged(const kestrune::FrequencyLevels &levels);

private:
    bool isWatched() const;
    void analyse();

    std::vector<float> m_window; // the latest FFTLength mono samples, a ring
    int m_writePos = 0;          // the ring's oldest sample
    FrequencyLevels m_levels;
    struct Fft;
    std::unique_ptr<Fft> m_fft;
    QElapsedTimer m_sinceAnalysis;
    QTimer m_pending; // analyses PCM that arrived too soon after the last analysis
};

} // namespace kestrune
