#include "stream/ui/frequencydisplay.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kestrune {

namespace {

const QColor Face(12, 14, 18);
const QColor PeakCap(220, 230, 255);
constexpr int SegmentPitch = 4; // px: 3 lit, 1 gap

QColor levelColor(float level) {
    // Green for the body, yellow to red near full scale.
    if (level < 0.6f)
        return QColor(40, 200, 80);
    if (level < 0.85f)
        return QColor(230, 210, 40);
    return QColor(235, 60, 40);
}

} // namespace

FrequencyDisplay::FrequencyDisplay(QWidget *parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(64, 24);
}

void FrequencyDisplay::setDisplaySetting(int setting) {
    setting = ((setting % LookCount) + LookCount) % LookCount;
    if (setting == m_setting)
        return;
    m_setting = setting;
    update();
}

void FrequencyDisplay::setLevels(const FrequencyLevels &levels) {
    // Silence, or the same analysis handed on twice: nothing new to paint.
    if (levels.bands == m_levels.bands && levels.peaks == m_levels.peaks)
        return;
    m_levels.bands.assign(levels.bands.begin(), levels.bands.end());
    m_levels.peaks.assign(levels.peaks.begin(), levels.peaks.end());
    update();
}

void FrequencyDisplay::clear() {
    std::fill(m_levels.bands.begin(), m_levels.bands.end(), 0.0f);
    std::fill(m_levels.peaks.begin(), m_levels.peaks.end(), 0.0f);
    update();
}

void FrequencyDisplay::prepareFace() {
    if (m_preparedSize == size() && m_preparedLook == m_setting)
        return;
    m_preparedSize = size();
    m_preparedLook = m_setting;
    const int w = width();
    const int h = height();

    QLinearGradient vertical(0, h, 0, 0);
    vertical.setColorAt(0.0, levelColor(0.0f));
    vertical.setColorAt(0.6, levelColor(0.0f));
    vertical.setColorAt(0.8, levelColor(0.7f));
    vertical.setColorAt(1.0, levelColor(1.0f));
    m_areaBrush = QBrush(vertical);

    m_lit = QImage();
    m_dark = QImage();
    m_frame = QImage(w, h, QImage::Format_RGB32);
    switch (m_setting) {
    case 0:
    case 1:
        m_lit = QImage(w, h, QImage::Format_RGB32);
        QPainter(&m_lit).fillRect(0, 0, w, h, vertical);
        break;
    case 4: {
        m_lit = QImage(w, h, QImage::Format_RGB32);
        m_dark = QImage(w, h, QImage::Format_RGB32);
        m_lit.fill(Face);
        m_dark.fill(Face);
        QPainter lit(&m_lit);
        QPainter dark(&m_dark);
        const int segments = std::max(1, h / SegmentPitch);
        for (int s = 0; s < segments; ++s) {
            const QColor colour = levelColor(float(s + 1) / segments);
            const int y = h - (s + 1) * SegmentPitch;
            lit.fillRect(0, y, w, SegmentPitch - 1, colour);
            dark.fillRect(0, y, w, SegmentPitch - 1, colour.darker(600));
        }
        break;
    }
    case 5: {
        const int mid = h / 2;
        QLinearGradient fromMiddle(0, mid, 0, 0);
        fromMiddle.setSpread(QGradient::ReflectSpread);
        fromMiddle.setColorAt(0.0, QColor(60, 120, 255));
        fromMiddle.setColorAt(1.0, QColor(240, 80, 220));
        m_lit = QImage(w, h, QImage::Format_RGB32);
        QPainter(&m_lit).fillRect(0, 0, w, h, fromMiddle);
        break;
    }
    default:
        break;
    }
}

void FrequencyDisplay::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const int bandCount = int(m_levels.bands.size());
    if (bandCount == 0) {
        p.fillRect(rect(), Face);
        return;
    }
    prepareFace();
    const int w = width();
    const int h = height();
    // At least 2 px per column; narrow widgets merge neighbouring bands (loudest wins).
    const int columns = std::clamp(w / 2, 1, bandCount);
    std::vector<float> &level = m_columnLevel;
    std::vector<float> &peak = m_columnPeak;
    level.assign(size_t(columns), 0.0f);
    peak.assign(size_t(columns), 0.0f);
    for (int k = 0; k < bandCount; ++k) {
        const size_t c = size_t(k * columns / bandCount);
        level[c] = std::max(level[c], m_levels.bands[size_t(k)]);
        if (size_t(k) < m_levels.peaks.size())
            peak[c] = std::max(peak[c], m_levels.peaks[size_t(k)]);
    }
    const double colW = double(w) / columns;
    auto left = [&](int c) { return int(std::lround(c * colW)); };
    auto barWidth = [&](int c) { return std::max(1, left(c + 1) - left(c) - (colW >= 3 ? 1 : 0)); };

    // The bar looks are put together pixel by pixel in one frame: hundreds of small painter
    // calls a frame, twenty frames a second, cost more than the pixels themselves.
    const QRect frame(0, 0, w, h);
    auto rows = [&](int x, int y, int width, int height, auto &&write) {
        const QRect r = QRect(x, y, width, height) & frame;
        for (int row = r.top(); row <= r.bottom(); ++row)
            write(reinterpret_cast<QRgb *>(m_frame.scanLine(row)) + r.left(), row, r.left(),
                  r.width());
    };
    auto copy = [&](const QImage &from, int x, int y, int width, int height) {
        rows(x, y, width, height, [&](QRgb *to, int row, int fromX, int count) {
            std::memcpy(to, reinterpret_cast<const QRgb *>(from.constScanLine(row)) + fromX,
                        size_t(count) * sizeof(QRgb));
        });
    };
    auto fill = [&](QRgb colour, int x, int y, int width, int height) {
        rows(x, y, width, height,
             [&](QRgb *to, int, int, int count) { std::fill_n(to, count, colour); });
    };

    switch (m_setting) {
    case 0: // bars
    case 1: // bars with falling peak caps
        m_frame.fill(Face);
        for (int c = 0; c < columns; ++c) {
            const int bh = int(std::lround(level[size_t(c)] * h));
            copy(m_lit, left(c), h - bh, barWidth(c), bh);
            if (m_setting == 1 && peak[size_t(c)] > 0.0f) {
                const int y = std::min(h - 2, int(std::lround((1.0f - peak[size_t(c)]) * h)));
                fill(PeakCap.rgb(), left(c), y, barWidth(c), 2);
            }
        }
        p.drawImage(0, 0, m_frame);
        break;
    case 2: { // a line through the band tops
        p.fillRect(rect(), Face);
        QPolygonF line;
        line.reserve(columns);
        for (int c = 0; c < columns; ++c)
            line << QPointF(left(c) + colW / 2, h - 1 - level[size_t(c)] * (h - 1));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(QColor(90, 220, 255), 1.5));
        p.drawPolyline(line);
        break;
    }
    case 3: { // filled area
        p.fillRect(rect(), Face);
        QPainterPath area(QPointF(0, h));
        for (int c = 0; c < columns; ++c)
            area.lineTo(left(c) + colW / 2, h - level[size_t(c)] * h);
        area.lineTo(w, h);
        area.closeSubpath();
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(area, m_areaBrush);
        p.setPen(QPen(QColor(200, 255, 200), 1.0));
        p.drawPath(area);
        break;
    }
    case 4: { // LED segments, lit up to the level, the rest faintly visible
        m_frame.fill(Face);
        const int segments = std::max(1, h / SegmentPitch);
        const int top = h - segments * SegmentPitch;
        for (int c = 0; c < columns; ++c) {
            const int lit = int(std::lround(level[size_t(c)] * segments));
            const int litTop = h - lit * SegmentPitch;
            copy(m_dark, left(c), top, barWidth(c), litTop - top);
            copy(m_lit, left(c), litTop, barWidth(c), h - litTop);
        }
        p.drawImage(0, 0, m_frame);
        break;
    }
    default: { // mirrored bars about the middle
        m_frame.fill(Face);
        const int mid = h / 2;
        for (int c = 0; c < columns; ++c) {
            const int half = int(std::lround(level[size_t(c)] * mid));
            copy(m_lit, left(c), mid - half, barWidth(c), 2 * half);
        }
        fill(QColor(60, 70, 90).rgb(), 0, mid, w, 1);
        p.drawImage(0, 0, m_frame);
        break;
    }
    }
}

} // namespace kestrune
