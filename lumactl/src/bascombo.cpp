#include "bascombo.h"

#include <QColor>
#include <QComboBox>
#include <QPainter>
#include <QPoint>
#include <QStyle>

#include <cstdlib>
#include <optional>
#include <utility>

namespace LumaKit::basCOMBO {

namespace {

struct PaletteEntry {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// Where each system colour index lives in a Qt palette. Index 25 has never been assigned a
// colour, so it translates to nothing, like every index past the table.
std::optional<PaletteEntry> SystemColourEntry(quint32 index) {
    using P = QPalette;
    static constexpr std::optional<PaletteEntry> table[] = {
        PaletteEntry{P::Active, P::Button},          // 0 scroll bar
        PaletteEntry{P::Active, P::Window},          // 1 desktop background
        PaletteEntry{P::Active, P::Highlight},       // 2 active caption
        PaletteEntry{P::Active, P::Mid},             // 3 inactive caption
        PaletteEntry{P::Active, P::Window},          // 4 menu
        PaletteEntry{P::Active, P::Base},            // 5 window
        PaletteEntry{P::Active, P::Shadow},          // 6 window frame
        PaletteEntry{P::Active, P::WindowText},      // 7 menu text
        PaletteEntry{P::Active, P::Text},            // 8 window text
        PaletteEntry{P::Active, P::HighlightedText}, // 9 caption text
        PaletteEntry{P::Active, P::Button},          // 10 active border
        PaletteEntry{P::Active, P::Button},          // 11 inactive border
        PaletteEntry{P::Active, P::Mid},             // 12 application workspace
        PaletteEntry{P::Active, P::Highlight},       // 13 highlight
        PaletteEntry{P::Active, P::HighlightedText}, // 14 highlighted text
        PaletteEntry{P::Active, P::Button},          // 15 button face
        PaletteEntry{P::Active, P::Dark},            // 16 button shadow
        PaletteEntry{P::Disabled, P::Text},          // 17 grey text
        PaletteEntry{P::Active, P::ButtonText},      // 18 button text
        PaletteEntry{P::Disabled, P::WindowText},    // 19 inactive caption text
        PaletteEntry{P::Active, P::Light},           // 20 button highlight
        PaletteEntry{P::Active, P::Shadow},          // 21 3-D dark shadow
        PaletteEntry{P::Active, P::Midlight},        // 22 3-D light
        PaletteEntry{P::Active, P::ToolTipText},     // 23 info text
        PaletteEntry{P::Active, P::ToolTipBase},     // 24 info background
        std::nullopt,                                // 25 unused
        PaletteEntry{P::Active, P::Link},            // 26 hot light
        PaletteEntry{P::Active, P::Highlight},       // 27 gradient active caption
        PaletteEntry{P::Active, P::Mid},             // 28 gradient inactive caption
        PaletteEntry{P::Active, P::Highlight},       // 29 menu highlight
        PaletteEntry{P::Active, P::Window},          // 30 menu bar
    };
    if (index >= std::size(table))
        return std::nullopt;
    return table[index];
}

// Paints like GDI's MoveTo/LineTo pair: each line runs from the current point towards the
// target and stops one pixel short of it, and the target becomes the next current point.
class LinePen {
public:
    LinePen(QPainter &painter, QPoint start)
        : painter_(painter)
        , at_(start) {}

    void setColour(const QColor &colour) { colour_ = colour; }

    void lineTo(QPoint to) {
        if (to.y() == at_.y() && to.x() != at_.x()) {
            // The run covers [from, to) walking either way, hence the shift for leftward runs.
            const int left = to.x() > at_.x() ? at_.x() : to.x() + 1;
            painter_.fillRect(QRect(left, at_.y(), std::abs(to.x() - at_.x()), 1), colour_);
        } else if (to.x() == at_.x() && to.y() != at_.y()) {
            const int top = to.y() > at_.y() ? at_.y() : to.y() + 1;
            painter_.fillRect(QRect(at_.x(), top, 1, std::abs(to.y() - at_.y())), colour_);
        } else if (to != at_) {
            diagonal(to);
        }
        at_ = to;
    }

private:
    // Bresenham for the slanted lines the frame never draws, so LineTo stays total.
    void diagonal(QPoint to) {
        const int dx = std::abs(to.x() - at_.x());
        const int dy = -std::abs(to.y() - at_.y());
        const int sx = at_.x() < to.x() ? 1 : -1;
        const int sy = at_.y() < to.y() ? 1 : -1;
        int err = dx + dy;
        QPoint p = at_;
        while (p != to) {
            painter_.fillRect(QRect(p, QSize(1, 1)), colour_);
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                p.rx() += sx;
            }
            if (e2 <= dx) {
                err += dx;
                p.ry() += sy;
            }
        }
    }

    QPainter &painter_;
    QPoint at_;
    QColor colour_;
};

} // namespace

qint32 ToRgbColor(OleColor colour, const QPalette &systemColours) {
    switch (colour >> 24) {
    case 0x00:
        return static_cast<qint32>(colour);
    case 0x02:
        return static_cast<qint32>(colour & 0x00FFFFFFu);
    case 0x80: {
        const auto entry = SystemColourEntry(colour & 0x00FFFFFFu);
        if (!entry)
            return InvalidRgb;
        return static_cast<qint32>(RgbFromColor(systemColours.color(entry->group, entry->role)));
    }
    default:
        return InvalidRgb;
    }
}

QColor ColorFromRgb(quint32 rgb) {
    return QColor(int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF));
}

quint32 RgbFromColor(const QColor &colour) {
    const QRgb rgb = colour.rgb();
    return quint32(qRed(rgb)) | quint32(qGreen(rgb)) << 8 | quint32(qBlue(rgb)) << 16;
}

void DrawFrame(QPainter &painter, const FrameRect &r, OleColor c1, OleColor c2,
               const QPalette &systemColours) {
    // A failed translation yields -1; drawing it as the value 0xFFFFFFFF keeps the frame
    // visible (white) instead of silently leaving a hole.
    const auto colour = [&](OleColor c) {
        return ColorFromRgb(static_cast<quint32>(ToRgbColor(c, systemColours)));
    };

    LinePen pen(painter, QPoint(r.left, r.bottom - 1));
    pen.setColour(colour(c1));
    pen.lineTo(QPoint(r.left, r.top));
    pen.lineTo(QPoint(r.right - 1, r.top));
    if (r.left != r.right) {
        pen.setColour(colour(c2));
        pen.lineTo(QPoint(r.right - 1, r.bottom - 1));
        pen.lineTo(QPoint(r.left, r.bottom - 1));
    }
}

void DrawFlatBorder(const QComboBox &combo, QPainter &painter) {
    const QPalette &palette = combo.palette();
    const int w = combo.width();
    const int h = combo.height();
    const int b = combo.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &combo);

    // Already translated, so the second translation inside DrawFrame passes them through.
    const auto system = [&](int index) {
        return static_cast<OleColor>(ToRgbColor(SystemColorFlag | OleColor(index), palette));
    };
    const OleColor face = system(COLOR_BTNFACE);
    const OleColor shadow = system(COLOR_BTNSHADOW);
    const OleColor highlight = system(COLOR_BTNHIGHLIGHT);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);

    // Sunken outline around the whole box, then the face colour just inside it to cover the
    // style's own, thicker border.
    DrawFrame(painter, {0, 0, w, h}, shadow, highlight, palette);
    DrawFrame(painter, {1, 1, w - 1, h - 1}, face, face, palette);

    // The gap between the text field and the drop button, and the button's inner edge.
    DrawFrame(painter, {w - 2 - b, 2, w - 2, h - 2}, face, face, palette);
    DrawFrame(painter, {w - 1 - b, 3, w - 3, h - 3}, face, face, palette);

    // The drop button itself stands out with a raised outline.
    DrawFrame(painter, {w - 1 - b, 2, w - 2, h - 2}, highlight, shadow, palette);

    painter.restore();
}

} // namespace LumaKit::basCOMBO
