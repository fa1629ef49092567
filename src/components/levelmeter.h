// A one-channel level meter: a bar for the latest peak of the sound played, with a mark that
// holds the recent highest and sinks slowly. Fed with levels from PeakLevels().
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QWidget>

#include <utility>

namespace kestrune {

// The peak of each channel of 16-bit interleaved stereo PCM, 0 to 1 (1 is full scale).
std::pair<float, float> PeakLevels(const QByteArray &pcm);

class LevelMeter : public QWidget {
    Q_OBJECT
public:
    explicit LevelMeter(QWidget *parent = nullptr);

    // 0 to 1 on a linear scale; shown on a decibel scale from -40 dB.
    float level() const { return m_level; }
    // The mark, as a fraction of the meter's length.
    float peak() const { return m_peak; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public Q_SLOTS:
    void setLevel(float level);
    // Silence: bar and mark drop to nothing at once (playback stopped).
    void reset();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    float m_level = 0;
    float m_peak = 0; // fraction of the meter
    QElapsedTimer m_clock;
    qint64 m_peakRaisedMs = 0; // m_clock's time when the mark was last raised
    qint64 m_lastUpdateMs = 0; // m_clock's time of the last level
};

// The decibel marks that go beside the meters.
class LevelScale : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// Where a level (0 to 1, linear) falls on the meters' scale, 0 to 1: -40 dB and below is 0.
float MeterFraction(float level);

} // namespace kestrune
