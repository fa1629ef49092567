#include "stream/ui/frequencydisplay.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtEndian>

#include <kissfft/kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrune {

namespace {

constexpr int BandCount = SpectrumDisplay::FFTLength / 2;
// The range the bands show, in dB relative to a full-scale sine.
constexpr float FloorDb = -90.0f;
// Analyses per second at most: more would not be seen, and the FFT runs on the GUI thread.
constexpr int MinAnalysisIntervalMs = 33;
// How fast the peak marks sink, in band heights (0..1) per second.
constexpr float PeakFallPerSecond = 0.5f;

const QColor Face(12, 14, 18);

QColor levelColor(float level) {
    // Green for the body, yellow to red near full scale.
    if (level < 0.6f)
        return QColor(40, 200, 80);
    if (level < 0.85f)
        return QColor(230, 210, 40);
    return QColor(235, 60, 40);
}

} // namespace

struct SpectrumDisplay::Fft {
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

SpectrumDisplay::SpectrumDisplay(QWidget *parent)
    : QWidget(parent)
    , m_window(FFTLength, 0.0f)
    , m_bands(BandCount, 0.0f)
    , m_peaks(BandCount, 0.0f)
    , m_fft(new Fft) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(64, 24);
    m_pending.setSingleShot(true);
    connect(&m_pending, &QTimer::timeout, this, [this] {
        analyse();
        update();
    });
}

SpectrumDisplay::~SpectrumDisplay() {
    delete m_fft;
}

void SpectrumDisplay::setDisplaySetting(int setting) {
    setting = ((setting % LookCount) + LookCount) % LookCount;
    if (setting == m_setting)
        return;
    m_setting = setting;
    update();
}

void SpectrumDisplay::addPcm(const QByteArray &pcm) {
    constexpr int FrameBytes = 4;
    const qsizetype frames = pcm.size() / FrameBytes;
    // Only the latest FFTLength frames can matter.
    const qsizetype first = std::max<qsizetype>(0, frames - FFTLength);
    const char *p = pcm.constData() + first * FrameBytes;
    for (qsizetype i = first; i < frames; ++i, p += FrameBytes) {
        const int left = qFromLittleEndian<qint16>(p);
        const int right = qFromLittleEndian<qint16>(p + 2);
        m_window[m_writePos] = float(left + right) / (2.0f * 32768.0f);
        m_writePos = (m_writePos + 1) % FFTLength;
    }
    if (frames == 0)
        return;

    if (!m_sinceAnalysis.isValid() || m_sinceAnalysis.elapsed() >= MinAnalysisIntervalMs) {
        m_pending.stop();
        analyse();
        update();
    } else if (!m_pending.isActive()) {
        // The latest samples still get shown if no more PCM comes.
        m_pending.start(int(MinAnalysisIntervalMs - m_sinceAnalysis.elapsed()));
    }
}

void SpectrumDisplay::clear() {
    m_pending.stop();
    m_sinceAnalysis.invalidate();
    std::fill(m_window.begin(), m_window.end(), 0.0f);
    std::fill(m_bands.begin(), m_bands.end(), 0.0f);
    std::fill(m_peaks.begin(), m_peaks.end(), 0.0f);
    m_writePos = 0;
    update();
}

void SpectrumDisplay::analyse() {
    const float seconds =
        m_sinceAnalysis.isValid() ? float(m_sinceAnalysis.restart()) / 1000.0f : 0.0f;
    if (!m_sinceAnalysis.isValid())
        m_sinceAnalysis.start();

    Fft &f = *m_fft;
    for (int i = 0; i < FFTLength; ++i)
        f.input[i] = m_window[(m_writePos + i) % FFTLength] * f.hann[i];
    kiss_fftr(f.cfg, f.input.data(), f.output.data());

    // A full-scale sine gives |X| = N / 4 with this window (N / 2 for the window's sum,
    // halved for the one-sided spectrum), so that is 0 dB.
    constexpr float Scale = 4.0f / FFTLength;
    const float peakFall = PeakFallPerSecond * seconds;
    for (int k = 0; k < BandCount; ++k) {
        const float mag = std::hypot(f.output[k].r, f.output[k].i) * Scale;
        const float db = 20.0f * std::log10(std::max(mag, 1e-9f));
        const float level = std::clamp((db - FloorDb) / -FloorDb, 0.0f, 1.0f);
        m_bands[k] = level;
        m_peaks[k] = std::max(level, m_peaks[k] - peakFall);
    }
}

void SpectrumDisplay::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), Face);

    const int w = width();
    const int h = height();
    // At least 2 px per column; narrow widgets merge neighbouring bands (loudest wins).
    const int columns = std::clamp(w / 2, 1, BandCount);
    std::vector<float> level(columns, 0.0f);
    std::vector<float> peak(columns, 0.0f);
    for (int k = 0; k < BandCount; ++k) {
        const int c = k * columns / BandCount;
        level[c] = std::max(level[c], m_bands[k]);
        peak[c] = std::max(peak[c], m_peaks[k]);
    }
    const double colW = double(w) / columns;
    auto left = [&](int c) { return int(std::lround(c * colW)); };
    auto barWidth = [&](int c) { return std::max(1, left(c + 1) - left(c) - (colW >= 3 ? 1 : 0)); };

    QLinearGradient vertical(0, h, 0, 0);
    vertical.setColorAt(0.0, levelColor(0.0f));
    vertical.setColorAt(0.6, levelColor(0.0f));
    vertical.setColorAt(0.8, levelColor(0.7f));
    vertical.setColorAt(1.0, levelColor(1.0f));

    switch (m_setting) {
    case 0: // bars
    case 1: // bars with falling peak caps
        for (int c = 0; c < columns; ++c) {
            const int bh = int(std::lround(level[c] * h));
            p.fillRect(left(c), h - bh, barWidth(c), bh, vertical);
            if (m_setting == 1 && peak[c] > 0.0f) {
                const int y = std::min(h - 2, int(std::lround((1.0f - peak[c]) * h)));
                p.fillRect(left(c), y, barWidth(c), 2, QColor(220, 230, 255));
            }
        }
        break;
    case 2: { // a line through the band tops
        QPolygonF line;
        for (int c = 0; c < columns; ++c)
            line << QPointF(left(c) + colW / 2, h - 1 - level[c] * (h - 1));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(90, 220, 255), 1.5));
        p.drawPolyline(line);
        break;
    }
    case 3: { // filled area
        QPainterPath area(QPointF(0, h));
        for (int c = 0; c < columns; ++c)
            area.lineTo(left(c) + colW / 2, h - level[c] * h);
        area.lineTo(w, h);
        area.closeSubpath();
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(area, vertical);
        p.setPen(QPen(QColor(200, 255, 200), 1.0));
        p.drawPath(area);
        break;
    }
    case 4: { // LED segments, lit up to the level, the rest faintly visible
        constexpr int SegmentPitch = 4; // px: 3 lit, 1 gap
        const int segments = std::max(1, h / SegmentPitch);
        for (int c = 0; c < columns; ++c) {
            const int lit = int(std::lround(level[c] * segments));
            for (int s = 0; s < segments; ++s) {
                const float at = float(s + 1) / segments;
                QColor colour = levelColor(at);
                if (s >= lit)
                    colour = colour.darker(600);
                p.fillRect(left(c), h - (s + 1) * SegmentPitch, barWidth(c), SegmentPitch - 1,
                           colour);
            }
        }
        break;
    }
    default: { // mirrored bars about the middle
        const int mid = h / 2;
        QLinearGradient fromMiddle(0, mid, 0, 0);
        fromMiddle.setSpread(QGradient::ReflectSpread);
        fromMiddle.setColorAt(0.0, QColor(60, 120, 255));
        fromMiddle.setColorAt(1.0, QColor(240, 80, 220));
        for (int c = 0; c < columns; ++c) {
            const int half = int(std::lround(level[c] * mid));
            p.fillRect(left(c), mid - half, barWidth(c), 2 * half, fromMiddle);
        }
        p.fillRect(0, mid, w, 1, QColor(60, 70, 90));
        break;
    }
    }
}

} // namespace kestrune
