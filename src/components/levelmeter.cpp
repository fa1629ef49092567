#include "components/levelmeter.h"

#include <QPainter>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>

namespace kestrune {

namespace {

constexpr float FloorDb = -40.0f;         // the meter's bottom
constexpr float PeakFallPerSecond = 0.5f; // of the meter's height, after PeakHoldMs
constexpr qint64 PeakHoldMs = 600;
constexpr int BarThickness = 10;                                // px
constexpr std::array<int, 5> ScaleMarks{-40, -30, -20, -10, 0}; // dB

} // namespace

std::pair<float, float> PeakLevels(const QByteArray &pcm) {
    int left = 0;
    int right = 0;
    const auto *bytes = reinterpret_cast<const uchar *>(pcm.constData());
    const qsizetype frames = pcm.size() / 4;
    for (qsizetype i = 0; i < frames; ++i) {
        const int l = qFromLittleEndian<qint16>(bytes + 4 * i);
        const int r = qFromLittleEndian<qint16>(bytes + 4 * i + 2);
        left = std::max(left, std::abs(l));
        right = std::max(right, std::abs(r));
    }
    return {std::min(1.0f, left / 32767.0f), std::min(1.0f, right / 32767.0f)};
}

float MeterFraction(float level) {
    if (level <= 0)
        return 0;
    const float db = 20.0f * std::log10(level);
    return std::clamp((db - FloorDb) / -FloorDb, 0.0f, 1.0f);
}

LevelMeter::LevelMeter(QWidget *parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    m_clock.start();
}

QSize LevelMeter::sizeHint() const {
    return QSize(160, BarThickness);
}

QSize LevelMeter::minimumSizeHint() const {
    return QSize(40, BarThickness);
}

void LevelMeter::setLevel(float level) {
    level = std::clamp(level, 0.0f, 1.0f);
    const float fraction = MeterFraction(level);
    const float before = MeterFraction(m_level);
    const float markBefore = m_peak;
    const qint64 now = m_clock.elapsed();
    // The mark holds for a moment after it was raised, then sinks steadily.
    const qint64 fallFrom = std::max(m_peakRaisedMs + PeakHoldMs, m_lastUpdateMs);
    if (now > fallFrom)
        m_peak = std::max(0.0f, m_peak - PeakFallPerSecond * float(now - fallFrom) / 1000.0f);
    m_lastUpdateMs = now;
    if (fraction >= m_peak) {
        m_peak = fraction;
        m_peakRaisedMs = now;
    }
    m_level = level;
    if (fraction != before || m_peak != markBefore)
        update();
}

void LevelMeter::reset() {
    m_level = 0;
    m_peak = 0;
    update();
}

void LevelMeter::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), QColor(16, 16, 16));
    const int width = this->width();
    const int lit = int(MeterFraction(m_level) * float(width));
    // Green up to -10 dB, yellow to -3 dB, red above: where a listener would turn it down.
    const int yellowFrom = int(MeterFraction(std::pow(10.0f, -10.0f / 20.0f)) * float(width));
    const int redFrom = int(MeterFraction(std::pow(10.0f, -3.0f / 20.0f)) * float(width));
    const int h = height();
    p.fillRect(0, 0, std::min(lit, yellowFrom), h, QColor(0, 200, 0));
    if (lit > yellowFrom)
        p.fillRect(yellowFrom, 0, std::min(lit, redFrom) - yellowFrom, h, QColor(230, 210, 0));
    if (lit > redFrom)
        p.fillRect(redFrom, 0, lit - redFrom, h, QColor(230, 0, 0));
    const int mark = int(m_peak * float(width));
    if (mark > 0)
        p.fillRect(std::min(mark, width - 2), 0, 2, h, QColor(240, 240, 240));
}

QSize LevelScale::sizeHint() const {
    return QSize(160, fontMetrics().height());
}

void LevelScale::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics fm = fontMetrics();
    const int width = this->width();
    for (const int db : ScaleMarks) {
        const QString text = QString::number(db);
        const int x = int(float(db - FloorDb) / -FloorDb * float(width));
        const int w = fm.horizontalAdvance(text);
        p.drawText(std::clamp(x - w / 2, 0, width - w), fm.ascent(), text);
    }
}

} // namespace kestrune
