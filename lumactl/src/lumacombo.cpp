#include "lumacombo.h"

#include "bascombo.h"
#include "translate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSet>
#include <QWheelEvent>

#include <utility>

namespace LumaKit {

namespace {

// Keys a locked box still honours: they move the caret or copy, but change nothing.
bool HarmlessWhenLocked(QKeyEvent *event) {
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll);
    }
}

} // namespace

// The data of a drag the box started. A handler may declare a format with empty data in
// OLEStartDrag and fill it only when a target actually asks for it (OLESetData).
class DragData final : public QMimeData {
public:
    explicit DragData(LumaCombo *source)
        : source_(source) {}

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override {
        QVariant data = QMimeData::retrieveData(mimeType, type);
        if (!isEmpty(data) || !source_ || asked_.contains(mimeType) || !hasFormat(mimeType))
            return data;
        asked_.insert(mimeType);
        qint16 format = ClipboardFormat(mimeType);
        // The object itself is not const; only this accessor is.
        auto *self = const_cast<DragData *>(this);
        source_->fire([&](LumaboxEvents &sink) { sink.OLESetData(self, format); });
        return QMimeData::retrieveData(mimeType, type);
    }

private:
    static bool isEmpty(const QVariant &data) {
        if (!data.isValid())
            return true;
        const int id = data.typeId();
        return (id == QMetaType::QByteArray || id == QMetaType::QString) &&
               data.toByteArray().isEmpty();
    }

    QPointer<LumaCombo> source_;
    mutable QSet<QString> asked_;
};

namespace {

// Draws the flat border on top of everything the combo box shows, the text field included:
// the field sits inside the style's frame, and with some styles it reaches over the pixels
// the flat border needs.
class BorderOverlay final : public QWidget {
public:
    explicit BorderOverlay(QComboBox *combo)
        : QWidget(combo)
        , combo_(combo) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        if (!painter.isActive())
            return;
        // A right-to-left box has its drop button on the left; the border is mirrored with it,
        // just as drawing into a mirrored window is.
        if (combo_->layoutDirection() == Qt::RightToLeft) {
            painter.translate(width(), 0);
            painter.scale(-1, 1);
        }
        basCOMBO::DrawFlatBorder(*combo_, painter);
    }

private:
    QComboBox *combo_;
};

} // namespace

LumaCombo::LumaCombo(QWidget *parent)
    : QComboBox(parent) {
    setObjectName(QStringLiteral("cboBOX"));
    setEditable(true);
    // Typed text is the caller's business: it must neither grow the list nor be completed
    // from it behind the user's back.
    setInsertPolicy(QComboBox::NoInsert);
    lineEdit()->setCompleter(nullptr);
    lineEdit()->installEventFilter(this);
    // Drops are handled here, and only when OLEDropMode asks for them.
    lineEdit()->setAcceptDrops(false);
    setAcceptDrops(false);

    auto *overlay = new BorderOverlay(this);
    overlay->setGeometry(rect());
    overlay->raise();
    overlay_ = overlay;

    connect(this, &QComboBox::activated, this,
            [this] { fire([](LumaboxEvents &sink) { sink.Click(); }); });
    connect(lineEdit(), &QLineEdit::textEdited, this,
            [this] { fire([](LumaboxEvents &sink) { sink.Change(); }); });
    connect(view()->verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { fire([](LumaboxEvents &sink) { sink.Scroll(); }); });
}

bool LumaCombo::SetBackColor(OleColor colour) {
    if (basCOMBO::ToRgbColor(colour, inheritedPalette()) == basCOMBO::InvalidRgb)
        return false;
    backColor_ = colour;
    applyColours();
    return true;
}

bool LumaCombo::SetForeColor(OleColor colour) {
    if (basCOMBO::ToRgbColor(colour, inheritedPalette()) == basCOMBO::InvalidRgb)
        return false;
    foreColor_ = colour;
    applyColours();
    return true;
}

QPalette LumaCombo::inheritedPalette() const {
    return parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
}

void LumaCombo::applyColours() {
    // Only the roles that differ from the window colours are set, so a box with default
    // colours keeps following the container's palette.
    const QPalette system = inheritedPalette();
    const auto colour = [&](OleColor c) {
        return basCOMBO::ColorFromRgb(static_cast<quint32>(basCOMBO::ToRgbColor(c, system)));
    };
    QPalette own;
    if (backColor_ != SystemWindowColor)
        own.setColor(QPalette::Base, colour(backColor_));
    if (foreColor_ != SystemWindowTextColor)
        own.setColor(QPalette::Text, colour(foreColor_));
    setPalette(own);
}

void LumaCombo::SetLocked(bool locked) {
    locked_ = locked;
    lineEdit()->setReadOnly(locked);
    if (locked)
        hidePopup();
    applyCursor(); // a read-only field switches its own pointer
}

void LumaCombo::SetMouseIcon(const QPixmap &icon) {
    mouseIcon_ = icon;
    applyCursor();
}

bool LumaCombo::SetMousePointer(qint16 pointer) {
    if (pointer != 0 && pointer != CustomPointer && !PointerShape(pointer))
        return false;
    mousePointer_ = pointer;
    applyCursor();
    return true;
}

void LumaCombo::applyCursor() {
    std::optional<QCursor> cursor;
    if (mousePointer_ == CustomPointer && !mouseIcon_.isNull())
        cursor = QCursor(mouseIcon_);
    else if (const auto shape = PointerShape(mousePointer_))
        cursor = QCursor(*shape);

    if (cursor) {
        setCursor(*cursor);
        lineEdit()->setCursor(*cursor);
    } else {
        unsetCursor();
        lineEdit()->setCursor(lineEdit()->isReadOnly() ? Qt::ArrowCursor : Qt::IBeamCursor);
    }
}

bool LumaCombo::SetOLEDragMode(qint16 mode) {
    if (mode != 0 && mode != 1)
        return false;
    oleDragMode_ = mode;
    dragFrom_.reset();
    return true;
}

bool LumaCombo::SetOLEDropMode(qint16 mode) {
    if (mode != 0 && mode != 1)
        return false;
    oleDropMode_ = mode;
    setAcceptDrops(mode == 1);
    return true;
}

bool LumaCombo::AddItem(const QString &item, std::optional<int> index) {
    const int at = index.value_or(count());
    if (at < 0 || at > count())
        return false;
    const bool nothingSelected = currentIndex() < 0;
    const QString text = currentText();
    insertItem(at, item);
    // Qt selects the first entry put into an empty box; the list here only ever changes
    // selection when asked to.
    if (nothingSelected && currentIndex() >= 0) {
        setCurrentIndex(-1);
        setEditText(text);
    }
    newIndex_ = qint16(at);
    return true;
}

bool LumaCombo::RemoveItem(int index) {
    if (index < 0 || index >= count())
        return false;
    const bool removingSelected = index == currentIndex();
    const QString text = currentText();
    removeItem(index);
    // Qt moves the selection to a neighbour; the box rather ends up with no entry selected
    // and the text left as it was.
    if (removingSelected && currentIndex() >= 0) {
        setCurrentIndex(-1);
        setEditText(text);
    }
    newIndex_ = -1;
    return true;
}

void LumaCombo::ClearItems() {
    clear();
    newIndex_ = -1;
}

int LumaCombo::ListIndex() const {
    // Once the user edits the text, the entry Qt still remembers is no longer what the box
    // shows, so it is not reported as selected.
    const int index = currentIndex();
    return index >= 0 && itemText(index) == currentText() ? index : -1;
}

bool LumaCombo::SetListIndex(int index) {
    if (index < -1 || index >= count())
        return false;
    setCurrentIndex(index);
    fire([](LumaboxEvents &sink) { sink.Click(); });
    return true;
}

bool LumaCombo::SetText(const QString &text) {
    const QString before = currentText();
    const int index = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0) {
        setCurrentIndex(index);
    } else {
        setCurrentIndex(-1);
        setEditText(text);
    }
    if (currentText() != before)
        fire([](LumaboxEvents &sink) { sink.Change(); });
    return true;
}

void LumaCombo::OLEDrag() {
    if (dragging_)
        return;
    QPointer<LumaCombo> self(this);
    auto *data = new DragData(this);
    data->setText(currentText());
    qint32 allowed = DropEffectCopy | DropEffectMove;
    fire([&](LumaboxEvents &sink) { sink.OLEStartDrag(data, allowed); });
    const Qt::DropActions actions = ActionsFromEffects(allowed);
    if (!self || actions == Qt::IgnoreAction) {
        delete data; // refused by the handler: no drag, hence nothing to complete
        return;
    }

    dragging_ = true;
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    connect(drag, &QDrag::actionChanged, this, [this](Qt::DropAction action) {
        qint32 effect = EffectsFromActions(action);
        bool defaultCursors = true;
        fire([&](LumaboxEvents &sink) { sink.OLEGiveFeedback(effect, defaultCursors); });
    });
    const Qt::DropAction done =
        drag->exec(actions, (actions & Qt::CopyAction) ? Qt::CopyAction : Qt::MoveAction);
    if (!self)
        return;
    dragging_ = false;
    qint32 effect = EffectsFromActions(done);
    fire([&](LumaboxEvents &sink) { sink.OLECompleteDrag(effect); });
}

void LumaCombo::showPopup() {
    if (!locked_)
        QComboBox::showPopup();
}

void LumaCombo::resizeEvent(QResizeEvent *event) {
    QComboBox::resizeEvent(event);
    overlay_->setGeometry(rect());
}

void LumaCombo::changeEvent(QEvent *event) {
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        emit metricsChanged();
}

void LumaCombo::keyPressEvent(QKeyEvent *event) {
    QPointer<LumaCombo> self(this);
    const qint16 keyCode = VirtualKeyCode(event->key(), event->modifiers());
    qint16 code = keyCode;
    qint16 shift = ShiftState(event->modifiers());
    fire([&](LumaboxEvents &sink) { sink.KeyDown(code, shift); });
    if (!self)
        return;
    if (keyCode != 0 && code == 0) {
        event->accept();
        return;
    }

    const QString text = event->text();
    if (text.size() == 1 && text.front().unicode() <= 0x7FFF) {
        const qint16 character = qint16(text.front().unicode());
        qint16 keyAscii = character;
        fire([&](LumaboxEvents &sink) { sink.KeyPress(keyAscii); });
        if (!self)
            return;
        if (keyAscii == 0) {
            event->accept();
            return;
        }
        if (keyAscii != character) {
            // The handler typed a different character for the user.
            QKeyEvent replaced(event->type(), event->key(), event->modifiers(),
                               QString(QChar(char16_t(keyAscii))), event->isAutoRepeat(),
                               quint16(event->count()));
            handleKey(&replaced);
            event->setAccepted(replaced.isAccepted());
            return;
        }
    }
    handleKey(event);
}

void LumaCombo::handleKey(QKeyEvent *event) {
    if (!locked_) {
        QComboBox::keyPressEvent(event);
        return;
    }
    // Straight to the field, as QComboBox itself forwards keys: sending the event would let
    // an unaccepted key travel back up to this box.
    if (HarmlessWhenLocked(event))
        static_cast<QObject *>(lineEdit())->event(event);
    event->accept();
}

void LumaCombo::keyReleaseEvent(QKeyEvent *event) {
    QPointer<LumaCombo> self(this);
    const qint16 keyCode = VirtualKeyCode(event->key(), event->modifiers());
    qint16 code = keyCode;
    qint16 shift = ShiftState(event->modifiers());
    fire([&](LumaboxEvents &sink) { sink.KeyUp(code, shift); });
    if (!self)
        return;
    if (keyCode != 0 && code == 0) {
        event->accept();
        return;
    }
    QComboBox::keyReleaseEvent(event);
}

void LumaCombo::mouseDoubleClickEvent(QMouseEvent *event) {
    QPointer<LumaCombo> self(this);
    fire([](LumaboxEvents &sink) { sink.DblClick(); });
    if (self)
        QComboBox::mouseDoubleClickEvent(event);
}

void LumaCombo::wheelEvent(QWheelEvent *event) {
    if (locked_)
        event->accept(); // turning the wheel would change the selection
    else
        QComboBox::wheelEvent(event);
}

QPointF LumaCombo::twips(QPointF pixels) const {
    // Positions are reported relative to the control, which the box fills from its top left.
    const QPointF at = pixels + QPointF(pos());
    return {at.x() * 1440.0 / logicalDpiX(), at.y() * 1440.0 / logicalDpiY()};
}

void LumaCombo::dragOver(QDragMoveEvent *event, qint16 state) {
    if (oleDropMode_ != 1) {
        event->ignore();
        return;
    }
    QPointer<LumaCombo> self(this);
    qint32 effect = EffectsFromActions(event->possibleActions());
    qint16 button = ButtonState(event->buttons());
    qint16 shift = ShiftState(event->modifiers());
    const QPointF at = twips(event->position());
    float x = float(at.x());
    float y = float(at.y());
    dragOverData_ = event->mimeData();
    fire([&](LumaboxEvents &sink) {
        sink.OLEDragOver(event->mimeData(), effect, button, shift, x, y, state);
    });
    if (!self)
        return;
    const Qt::DropAction action = ActionFromEffect(effect, event->possibleActions());
    event->setDropAction(action);
    // Entering is always accepted so the handler keeps hearing about the drag as it moves,
    // even where it refuses the drop.
    event->setAccepted(action != Qt::IgnoreAction || state == DragStateEnter);
}

void LumaCombo::dragEnterEvent(QDragEnterEvent *event) {
    dragOver(event, DragStateEnter);
}

void LumaCombo::dragMoveEvent(QDragMoveEvent *event) {
    dragOver(event, DragStateOver);
}

void LumaCombo::dragLeaveEvent(QDragLeaveEvent *event) {
    const QMimeData *data = dragOverData_;
    dragOverData_ = nullptr;
    if (oleDropMode_ != 1 || !data)
        return;
    qint32 effect = DropEffectNone;
    qint16 button = ButtonState(QApplication::mouseButtons());
    qint16 shift = ShiftState(QApplication::keyboardModifiers());
    const QPointF at = twips(mapFromGlobal(QCursor::pos()));
    float x = float(at.x());
    float y = float(at.y());
    qint16 state = DragStateLeave;
    fire([&](LumaboxEvents &sink) { sink.OLEDragOver(data, effect, button, shift, x, y, state); });
    event->accept();
}

void LumaCombo::dropEvent(QDropEvent *event) {
    dragOverData_ = nullptr;
    if (oleDropMode_ != 1) {
        event->ignore();
        return;
    }
    QPointer<LumaCombo> self(this);
    qint32 effect = EffectsFromActions(event->possibleActions());
    qint16 button = ButtonState(event->buttons());
    qint16 shift = ShiftState(event->modifiers());
    const QPointF at = twips(event->position());
    float x = float(at.x());
    float y = float(at.y());
    fire([&](LumaboxEvents &sink) {
        sink.OLEDragDrop(event->mimeData(), effect, button, shift, x, y);
    });
    if (!self)
        return;
    const Qt::DropAction action = ActionFromEffect(effect, event->possibleActions());
    event->setDropAction(action);
    event->setAccepted(action != Qt::IgnoreAction);
}

bool LumaCombo::eventFilter(QObject *watched, QEvent *event) {
    if (watched != lineEdit())
        return QComboBox::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::MouseButtonDblClick:
        fire([](LumaboxEvents &sink) { sink.DblClick(); });
        break;
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (oleDragMode_ == 1 && mouse->button() == Qt::LeftButton)
            dragFrom_ = mouse->position().toPoint();
        break;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (dragFrom_ && (mouse->buttons() & Qt::LeftButton) &&
            (mouse->position().toPoint() - *dragFrom_).manhattanLength() >=
                QApplication::startDragDistance()) {
            dragFrom_.reset();
            OLEDrag();
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        dragFrom_.reset();
        break;
    default:
        break;
    }
    return false;
}

} // namespace LumaKit
