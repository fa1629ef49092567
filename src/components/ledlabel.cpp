#include "components/ledlabel.h"

#include <QFontDatabase>
#include <QPainter>

namespace kestrune {

namespace {

constexpr int Padding = 4; // px around the caption

QColor fromBgr(quint32 bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

QFont ledFont(const QFont &base) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setStyleHint(QFont::Monospace);
    f.setPointSizeF(base.pointSizeF() > 0 ? base.pointSizeF() : f.pointSizeF());
    f.setBold(true);
    return f;
}

} // namespace

LedLabel::LedLabel(const QString &caption, QWidget *parent)
    : QWidget(parent)
    , m_caption(caption) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void LedLabel::setCaption(const QString &caption) {
    if (caption == m_caption)
        return;
    m_caption = caption;
    updateGeometry();
    update();
}

void LedLabel::setLitColor(quint32 bgr) {
    if (bgr == m_lit)
        return;
    m_lit = bgr;
    update();
}

QSize LedLabel::sizeHint() const {
    const QFontMetrics fm(ledFont(font()));
    return QSize(fm.horizontalAdvance(m_caption) + 2 * Padding, fm.height() + 2 * Padding);
}

void LedLabel::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const QColor lit = fromBgr(m_lit);
    // The face is near black with a trace of the lit colour, like an unlit segment panel.
    const QColor face = QColor::fromRgbF(0.04f + 0.06f * lit.redF(), 0.04f + 0.06f * lit.greenF(),
                                         0.04f + 0.06f * lit.blueF());
    p.fillRect(rect(), face);
    p.setPen(face.lighter(180));
    p.drawRect(rect().adjusted(0, 0, -1, -1));

    p.setFont(ledFont(font()));
    p.setPen(lit);
    p.drawText(rect().adjusted(Padding, 0, -Padding, 0), Qt::AlignCenter, m_caption);
}

} // namespace kestrune
