#include "lumaboxcontrol.h"

#include "lumacombo.h"
#include "translate.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QResizeEvent>

namespace LumaKit {

namespace {

// Design metrics, in twips.
constexpr double DesignWidth = 1560;
constexpr double DesignHeight = 315;
constexpr double DesignComboWidth = 1335;

constexpr int PopupMenuCenterAlign = 4;
constexpr int PopupMenuRightAlign = 8;

QFont DesignFont() {
    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(8.25);
    return font;
}

// Readers for the property bag: a missing name, or a value of a type that cannot stand for
// the property, reads as the default.
OleColor ReadColour(const PropertyBag &bag, const QString &name, OleColor fallback) {
    bool ok = false;
    // Through a 64-bit integer so both signed and unsigned storage of 0x8000000x read back.
    const qlonglong value = bag.value(name).toLongLong(&ok);
    return ok ? static_cast<OleColor>(value) : fallback;
}

bool ReadBool(const PropertyBag &bag, const QString &name, bool fallback) {
    const QVariant value = bag.value(name);
    return value.canConvert<bool>() ? value.toBool() : fallback;
}

qint16 ReadInt16(const PropertyBag &bag, const QString &name, qint16 fallback) {
    bool ok = false;
    const int value = bag.value(name).toInt(&ok);
    return ok && value == qint16(value) ? qint16(value) : fallback;
}

QFont ReadFont(const PropertyBag &bag, const QString &name, const QFont &fallback) {
    const QVariant value = bag.value(name);
    if (value.typeId() == QMetaType::QFont)
        return value.value<QFont>();
    QFont font;
    if (value.typeId() == QMetaType::QString && font.fromString(value.toString()))
        return font;
    return fallback;
}

QPixmap ReadPicture(const PropertyBag &bag, const QString &name) {
    const QVariant value = bag.value(name);
    if (value.typeId() == QMetaType::QPixmap)
        return value.value<QPixmap>();
    if (value.typeId() == QMetaType::QImage)
        return QPixmap::fromImage(value.value<QImage>());
    return {};
}

// Stores `value` unless it is the default, in which case any stale entry goes too.
void Write(PropertyBag &bag, const QString &name, const QVariant &value, bool isDefault) {
    if (isDefault)
        bag.remove(name);
    else
        bag.insert(name, value);
}

} // namespace

template <typename Fn> bool LumaboxControl::fire(Fn &&fn) {
    QPointer<LumaboxControl> alive(this);
    const QList<LumaboxEvents *> sinks = sinks_; // handlers may advise or unadvise
    for (LumaboxEvents *sink : sinks) {
        if (!alive)
            return false;
        if (sinks_.contains(sink))
            fn(*sink);
    }
    return !alive.isNull();
}

// Hears the combo box's events and raises them as the control's own.
class LumaboxControl::Relay final : public LumaboxEvents {
public:
    explicit Relay(LumaboxControl &control)
        : control_(control) {}

    void Click() override {
        if (control_.fire([](LumaboxEvents &s) { s.Click(); }))
            control_.drawFlatBorder();
    }
    void DblClick() override {
        if (control_.fire([](LumaboxEvents &s) { s.DblClick(); }))
            control_.drawFlatBorder();
    }
    void KeyDown(qint16 &keyCode, qint16 &shift) override {
        control_.fire([&](LumaboxEvents &s) { s.KeyDown(keyCode, shift); });
    }
    void KeyPress(qint16 &keyAscii) override {
        control_.fire([&](LumaboxEvents &s) { s.KeyPress(keyAscii); });
    }
    void KeyUp(qint16 &keyCode, qint16 &shift) override {
        control_.fire([&](LumaboxEvents &s) { s.KeyUp(keyCode, shift); });
    }
    void Change() override {
        control_.fire([](LumaboxEvents &s) { s.Change(); });
    }
    void OLECompleteDrag(qint32 &effect) override {
        control_.fire([&](LumaboxEvents &s) { s.OLECompleteDrag(effect); });
    }
    void OLEDragDrop(const QMimeData *data, qint32 &effect, qint16 &button, qint16 &shift, float &x,
                     float &y) override {
        control_.fire([&](LumaboxEvents &s) { s.OLEDragDrop(data, effect, button, shift, x, y); });
    }
    void OLEDragOver(const QMimeData *data, qint32 &effect, qint16 &button, qint16 &shift, float &x,
                     float &y, qint16 &state) override {
        control_.fire(
            [&](LumaboxEvents &s) { s.OLEDragOver(data, effect, button, shift, x, y, state); });
    }
    void OLEGiveFeedback(qint32 &effect, bool &defaultCursors) override {
        control_.fire([&](LumaboxEvents &s) { s.OLEGiveFeedback(effect, defaultCursors); });
    }
    void OLESetData(QMimeData *data, qint16 &dataFormat) override {
        control_.fire([&](LumaboxEvents &s) { s.OLESetData(data, dataFormat); });
    }
    void OLEStartDrag(QMimeData *data, qint32 &allowedEffects) override {
        control_.fire([&](LumaboxEvents &s) { s.OLEStartDrag(data, allowedEffects); });
    }
    void Scroll() override {
        control_.fire([](LumaboxEvents &s) { s.Scroll(); });
    }

private:
    LumaboxControl &control_;
};

LumaboxControl::LumaboxControl(QWidget *parent)
    : Lumabox(parent)
    , cbo_(new LumaCombo(this))
    , relay_(std::make_unique<Relay>(*this)) {
    cbo_->SetEventSink(relay_.get());
    cbo_->setFont(DesignFont());
    cbo_->setGeometry(0, 0, pixelsX(DesignComboWidth), pixelsY(DesignHeight));

    setFocusProxy(cbo_);
    setMouseTracking(true); // MouseMove is raised whether or not a button is down
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(cbo_, &LumaCombo::metricsChanged, this, [this] { fitHeight(); });

    resize(pixelsX(DesignWidth), pixelsY(DesignHeight));
    fitHeight();
}

LumaboxControl::~LumaboxControl() {
    // The combo box outlives this destructor body (QWidget deletes children later); it must
    // not report to the relay after the relay is gone.
    cbo_->SetEventSink(nullptr);
}

bool LumaboxControl::changed(const char *property) {
    const QString name = QString::fromLatin1(property);
    fire([&](LumaboxEvents &s) { s.PropertyChanged(name); });
    return true;
}

void LumaboxControl::drawFlatBorder() {
    // The border is painted over the combo box each time it paints, so asking for a paint is
    // all it takes to have it redrawn.
    cbo_->update();
}

void LumaboxControl::fitHeight() {
    const int height = cbo_->sizeHint().height();
    if (minimumHeight() != height || maximumHeight() != height)
        setFixedHeight(height);
    layoutCombo();
}

void LumaboxControl::layoutCombo() {
    cbo_->setGeometry(0, 0, contentsRect().width(), cbo_->sizeHint().height());
    drawFlatBorder();
}

QSize LumaboxControl::sizeHint() const {
    return {pixelsX(DesignWidth), cbo_->sizeHint().height()};
}

QSize LumaboxControl::minimumSizeHint() const {
    return {cbo_->minimumSizeHint().width(), cbo_->sizeHint().height()};
}

void LumaboxControl::resizeEvent(QResizeEvent *) {
    // Resizing must go through whatever a handler does, so its failures are skipped.
    try {
        if (!fire([](LumaboxEvents &s) { s.Resize(); }))
            return;
    } catch (...) {
    }
    // The fixed height normally holds already; this catches a font change still in flight.
    fitHeight();
}

QFont LumaboxControl::ambientFont() const {
    return parentWidget() ? parentWidget()->font() : QApplication::font();
}

QPointF LumaboxControl::twips(QPointF pixels) const {
    return {pixels.x() * 1440.0 / logicalDpiX(), pixels.y() * 1440.0 / logicalDpiY()};
}

int LumaboxControl::pixelsX(double twips) const {
    return qRound(twips * logicalDpiX() / 1440.0);
}

int LumaboxControl::pixelsY(double twips) const {
    return qRound(twips * logicalDpiY() / 1440.0);
}

void LumaboxControl::mousePressEvent(QMouseEvent *event) {
    const qint16 button = ButtonState(event->button());
    const qint16 shift = ShiftState(event->modifiers());
    const QPointF at = twips(event->position());
    fire([&](LumaboxEvents &s) { s.MouseDown(button, shift, float(at.x()), float(at.y())); });
}

void LumaboxControl::mouseMoveEvent(QMouseEvent *event) {
    const qint16 button = ButtonState(event->buttons());
    const qint16 shift = ShiftState(event->modifiers());
    const QPointF at = twips(event->position());
    fire([&](LumaboxEvents &s) { s.MouseMove(button, shift, float(at.x()), float(at.y())); });
}

void LumaboxControl::mouseReleaseEvent(QMouseEvent *event) {
    const qint16 button = ButtonState(event->button());
    const qint16 shift = ShiftState(event->modifiers());
    const QPointF at = twips(event->position());
    fire([&](LumaboxEvents &s) { s.MouseUp(button, shift, float(at.x()), float(at.y())); });
}

OleColor LumaboxControl::BackColor() const {
    return cbo_->BackColor();
}

bool LumaboxControl::BackColor(OleColor color) {
    return cbo_->SetBackColor(color) && changed("BackColor");
}

OleColor LumaboxControl::ForeColor() const {
    return cbo_->ForeColor();
}

bool LumaboxControl::ForeColor(OleColor color) {
    return cbo_->SetForeColor(color) && changed("ForeColor");
}

bool LumaboxControl::Enabled() const {
    return cbo_->isEnabledTo(this);
}

bool LumaboxControl::Enabled(bool enabled) {
    cbo_->setEnabled(enabled);
    Refresh();
    return changed("Enabled");
}

QFont LumaboxControl::Font() const {
    return cbo_->font();
}

bool LumaboxControl::Font(const QFont &font) {
    cbo_->setFont(font);
    return changed("Font");
}

void LumaboxControl::Refresh() {
    repaint();
}

bool LumaboxControl::AddItem(const QString &item, std::optional<int> index) {
    return cbo_->AddItem(item, index);
}

qint16 LumaboxControl::Appearance() const {
    return cbo_->hasFrame() ? 1 : 0;
}

bool LumaboxControl::Appearance(qint16 appearance) {
    if (appearance != 0 && appearance != 1)
        return false;
    cbo_->setFrame(appearance == 1);
    return changed("Appearance");
}

bool LumaboxControl::CausesValidation() const {
    return cbo_->CausesValidation();
}

bool LumaboxControl::CausesValidation(bool causes) {
    cbo_->SetCausesValidation(causes);
    return changed("CausesValidation");
}

void LumaboxControl::Clear() {
    cbo_->ClearItems();
}

std::optional<qint32> LumaboxControl::ItemData(int index) const {
    if (index < 0 || index >= cbo_->count())
        return std::nullopt;
    return cbo_->itemData(index).toInt(); // an item never given data holds 0
}

bool LumaboxControl::ItemData(int index, qint32 data) {
    if (index < 0 || index >= cbo_->count())
        return false;
    cbo_->setItemData(index, data);
    return changed("ItemData");
}

std::optional<QString> LumaboxControl::List(int index) const {
    if (index < 0 || index >= cbo_->count())
        return std::nullopt;
    return cbo_->itemText(index);
}

bool LumaboxControl::List(int index, const QString &text) {
    if (index < 0 || index >= cbo_->count())
        return false;
    cbo_->setItemText(index, text);
    return changed("List");
}

qint16 LumaboxControl::ListCount() const {
    return qint16(cbo_->count());
}

qint16 LumaboxControl::ListIndex() const {
    return qint16(cbo_->ListIndex());
}

bool LumaboxControl::ListIndex(int index) {
    QPointer<LumaboxControl> alive(this);
    if (!cbo_->SetListIndex(index))
        return false;
    return alive && changed("ListIndex");
}

bool LumaboxControl::Locked() const {
    return cbo_->Locked();
}

bool LumaboxControl::Locked(bool locked) {
    cbo_->SetLocked(locked);
    return changed("Locked");
}

QPixmap LumaboxControl::MouseIcon() const {
    return cbo_->MouseIcon();
}

bool LumaboxControl::MouseIcon(const QPixmap &icon) {
    cbo_->SetMouseIcon(icon);
    return changed("MouseIcon");
}

qint16 LumaboxControl::MousePointer() const {
    return cbo_->MousePointer();
}

bool LumaboxControl::MousePointer(qint16 pointer) {
    return cbo_->SetMousePointer(pointer) && changed("MousePointer");
}

qint16 LumaboxControl::NewIndex() const {
    return cbo_->NewIndex();
}

void LumaboxControl::OLEDrag() {
    cbo_->OLEDrag();
}

qint16 LumaboxControl::OLEDragMode() const {
    return cbo_->OLEDragMode();
}

bool LumaboxControl::OLEDragMode(qint16 mode) {
    return cbo_->SetOLEDragMode(mode) && changed("OLEDragMode");
}

qint16 LumaboxControl::OLEDropMode() const {
    return cbo_->OLEDropMode();
}

bool LumaboxControl::OLEDropMode(qint16 mode) {
    return cbo_->SetOLEDropMode(mode) && changed("OLEDropMode");
}

void LumaboxControl::PopupMenu(QMenu *menu, std::optional<int> flags, std::optional<float> x,
                               std::optional<float> y, QAction *defaultMenu) {
    if (!menu)
        return;
    if (defaultMenu)
        menu->setDefaultAction(defaultMenu);
    // A coordinate left out is taken from where the mouse is.
    QPoint at = mapFromGlobal(QCursor::pos());
    if (x)
        at.setX(pixelsX(*x));
    if (y)
        at.setY(pixelsY(*y));
    QPoint global = mapToGlobal(at);
    const int align = flags.value_or(0);
    if (align & PopupMenuCenterAlign)
        global.rx() -= menu->sizeHint().width() / 2;
    else if (align & PopupMenuRightAlign)
        global.rx() -= menu->sizeHint().width();
    menu->exec(global); // returns once the menu has closed, like the caller expects
}

bool LumaboxControl::RemoveItem(int index) {
    return cbo_->RemoveItem(index);
}

bool LumaboxControl::RightToLeft() const {
    return cbo_->layoutDirection() == Qt::RightToLeft;
}

bool LumaboxControl::RightToLeft(bool rightToLeft) {
    cbo_->setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    return changed("RightToLeft");
}

bool LumaboxControl::Sorted() const {
    return false;
}

qint16 LumaboxControl::Style() const {
    return 0;
}

QString LumaboxControl::Text() const {
    return cbo_->currentText();
}

bool LumaboxControl::Text(const QString &text) {
    QPointer<LumaboxControl> alive(this);
    cbo_->SetText(text);
    return alive && changed("Text");
}

QString LumaboxControl::ToolTipText() const {
    return cbo_->toolTip();
}

bool LumaboxControl::ToolTipText(const QString &text) {
    cbo_->setToolTip(text);
    return changed("ToolTipText");
}

void LumaboxControl::Advise(LumaboxEvents *sink) {
    if (sink && !sinks_.contains(sink))
        sinks_.append(sink);
}

void LumaboxControl::Unadvise(LumaboxEvents *sink) {
    sinks_.removeAll(sink);
}

void LumaboxControl::ReadProperties(const PropertyBag &bag) {
    // A stored value the combo box refuses leaves the default in its place.
    const OleColor back = ReadColour(bag, QStringLiteral("BackColor"), SystemWindowColor);
    if (!cbo_->SetBackColor(back))
        cbo_->SetBackColor(SystemWindowColor);
    const OleColor fore = ReadColour(bag, QStringLiteral("ForeColor"), SystemWindowTextColor);
    if (!cbo_->SetForeColor(fore))
        cbo_->SetForeColor(SystemWindowTextColor);
    cbo_->setEnabled(ReadBool(bag, QStringLiteral("Enabled"), true));
    cbo_->setFont(ReadFont(bag, QStringLiteral("Font"), ambientFont()));
    cbo_->setFrame(ReadInt16(bag, QStringLiteral("Appearance"), 1) != 0);
    cbo_->SetCausesValidation(ReadBool(bag, QStringLiteral("CausesValidation"), true));
    cbo_->SetLocked(ReadBool(bag, QStringLiteral("Locked"), false));
    cbo_->SetMouseIcon(ReadPicture(bag, QStringLiteral("MouseIcon")));
    if (!cbo_->SetMousePointer(ReadInt16(bag, QStringLiteral("MousePointer"), 0)))
        cbo_->SetMousePointer(0);
    if (!cbo_->SetOLEDragMode(ReadInt16(bag, QStringLiteral("OLEDragMode"), 0)))
        cbo_->SetOLEDragMode(0);
    if (!cbo_->SetOLEDropMode(ReadInt16(bag, QStringLiteral("OLEDropMode"), 0)))
        cbo_->SetOLEDropMode(0);
    cbo_->setLayoutDirection(ReadBool(bag, QStringLiteral("RightToLeft"), false) ? Qt::RightToLeft
                                                                                 : Qt::LeftToRight);
    cbo_->setToolTip(bag.value(QStringLiteral("ToolTipText")).toString());
    drawFlatBorder();
}

void LumaboxControl::WriteProperties(PropertyBag &bag) const {
    Write(bag, QStringLiteral("BackColor"), QVariant::fromValue(BackColor()),
          BackColor() == SystemWindowColor);
    Write(bag, QStringLiteral("ForeColor"), QVariant::fromValue(ForeColor()),
          ForeColor() == SystemWindowTextColor);
    Write(bag, QStringLiteral("Enabled"), Enabled(), Enabled());
    Write(bag, QStringLiteral("Font"), Font(), Font() == ambientFont());
    Write(bag, QStringLiteral("Appearance"), int(Appearance()), Appearance() == 1);
    Write(bag, QStringLiteral("CausesValidation"), CausesValidation(), CausesValidation());
    Write(bag, QStringLiteral("Locked"), Locked(), !Locked());
    Write(bag, QStringLiteral("MouseIcon"), MouseIcon(), MouseIcon().isNull());
    Write(bag, QStringLiteral("MousePointer"), int(MousePointer()), MousePointer() == 0);
    Write(bag, QStringLiteral("OLEDragMode"), int(OLEDragMode()), OLEDragMode() == 0);
    Write(bag, QStringLiteral("OLEDropMode"), int(OLEDropMode()), OLEDropMode() == 0);
    Write(bag, QStringLiteral("RightToLeft"), RightToLeft(), !RightToLeft());
    Write(bag, QStringLiteral("ToolTipText"), ToolTipText(), ToolTipText().isEmpty());
}

} // namespace LumaKit
