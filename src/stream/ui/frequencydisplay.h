// A spectrum display fed from the PCM being played: a 256-point FFT of the latest samples.
// Its one numeric display setting (0-5) picks one of six looks.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <vector>

namespace kestrune {

class SpectrumDisplay : public QWidget {
    Q_OBJECT
public:
    static constexpr int FFTLength = 256;
    static constexpr int LookCount = 6;

    explicit SpectrumDisplay(QWidget *parent = nullptr);
    ~SpectrumDisplay() override;

    int displaySetting() const { return m_setting; }
    // Values outside 0-5 are taken modulo 6.
    void setDisplaySetting(int setting);

    // Magnitudes (0..1) of the FFTLength / 2 bands from the last analysis.
    const std::vector<float> &bands() const { return m_bands; }

public Q_SLOTS:
    // 44.1 kHz 16-bit stereo PCM as played.
    void addPcm(const QByteArray &pcm);
    void clear();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void analyse();

    int m_setting = 0;
    std::vector<float> m_window; // the latest FFTLength mono samples
    int m_writePos = 0;          // m_window is a ring; this is its oldest sample
    std::vector<float> m_bands;
    std::vector<float> m_peaks;
    struct Fft;
    Fft *m_fft = nullptr;
    QElapsedTimer m_sinceAnalysis;
    QTimer m_pending; // analyses PCM that arrived too soon after the last analysis
};

} // namespace kestrune
