// The public interface of the lumactl control library.
//
// This header is everything a container may rely on: the control class `Lumabox` (its
// properties, methods and events) and the factory through which the library hands out
// controls by identifier. A container includes this header and loads the library at run
// time with QPluginLoader; it never links against it. Everything here is either an abstract
// class or inline, so no code of the library is needed to compile a container.
#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QtPlugin>
#include <QVariantMap>
#include <QWidget>

#include <optional>

class QAction;
class QMenu;
class QMimeData;

namespace LumaKit {

// The identifier by which a container asks the factory for a Lumabox.
inline constexpr char LumaboxProgId[] = "LumaKit.Lumabox";

// A colour as containers store it: either a plain RGB value laid out 0x00BBGGRR, or a system
// colour index with the high bit set (0x80000005 is the window background, 0x80000008 the
// window text).
using OleColor = quint32;
inline constexpr OleColor SystemWindowColor = 0x80000005u;
inline constexpr OleColor SystemWindowTextColor = 0x80000008u;

// Persisted properties, name to value. Writing leaves out every property that holds its
// default; reading puts the default back for every name that is missing.
using PropertyBag = QVariantMap;

// The control's events. A container derives from this, overrides what it needs and hands the
// object to Lumabox::Advise. Arguments passed by reference may be changed by the handler:
// setting KeyAscii to 0 in KeyPress swallows the key, as does setting KeyCode to 0 in KeyDown.
//
// Units: mouse coordinates are in twips (1/1440 inch) relative to the control; Button is
// 1 left, 2 right, 4 middle; Shift is 1 Shift, 2 Ctrl, 4 Alt. Key codes are virtual-key codes
// (letters and digits are their upper-case ASCII codes). Drag effects are 0 none, 1 copy,
// 2 move.
class LumaboxEvents {
public:
    virtual ~LumaboxEvents() = default;

    virtual void Click() {}
    virtual void DblClick() {}
    virtual void KeyDown(qint16 & /*keyCode*/, qint16 & /*shift*/) {}
    virtual void KeyPress(qint16 & /*keyAscii*/) {}
    virtual void KeyUp(qint16 & /*keyCode*/, qint16 & /*shift*/) {}
    virtual void MouseDown(qint16 /*button*/, qint16 /*shift*/, float /*x*/, float /*y*/) {}
    virtual void MouseMove(qint16 /*button*/, qint16 /*shift*/, float /*x*/, float /*y*/) {}
    virtual void MouseUp(qint16 /*button*/, qint16 /*shift*/, float /*x*/, float /*y*/) {}
    virtual void Change() {}
    virtual void OLECompleteDrag(qint32 & /*effect*/) {}
    virtual void OLEDragDrop(const QMimeData * /*data*/, qint32 & /*effect*/, qint16 & /*button*/,
                             qint16 & /*shift*/, float & /*x*/, float & /*y*/) {}
    virtual void OLEDragOver(const QMimeData * /*data*/, qint32 & /*effect*/, qint16 & /*button*/,
                             qint16 & /*shift*/, float & /*x*/, float & /*y*/, qint16 & /*state*/) {
    }
    virtual void OLEGiveFeedback(qint32 & /*effect*/, bool & /*defaultCursors*/) {}
    virtual void OLESetData(QMimeData * /*data*/, qint16 & /*dataFormat*/) {}
    virtual void OLEStartDrag(QMimeData * /*data*/, qint32 & /*allowedEffects*/) {}
    virtual void Resize() {}
    virtual void Scroll() {}

    // Raised after every property write with the property's name ("Text", "ListIndex", ...),
    // so a container can mark its form as changed.
    virtual void PropertyChanged(const QString & /*name*/) {}
};

// A combo box with a thin, flat border. Every property is read from and written to the one
// combo box the control wraps; the control keeps no state of its own.
//
// Properties are pairs of overloads: `Text()` reads, `Text(value)` writes. A write that the
// combo box refuses (an index out of range, say) returns false and changes nothing; every
// other write returns true.
class Lumabox : public QWidget {
public:
    using QWidget::QWidget;
    ~Lumabox() override = default;

    virtual OleColor BackColor() const = 0;
    virtual bool BackColor(OleColor color) = 0;
    virtual OleColor ForeColor() const = 0;
    virtual bool ForeColor(OleColor color) = 0;
    virtual bool Enabled() const = 0;
    virtual bool Enabled(bool enabled) = 0; // repaints the control afterwards
    virtual QFont Font() const = 0;
    virtual bool Font(const QFont &font) = 0;
    virtual void Refresh() = 0;
    virtual bool AddItem(const QString &item, std::optional<int> index = std::nullopt) = 0;
    virtual qint16 Appearance() const = 0; // 0 flat, 1 three-dimensional
    virtual bool Appearance(qint16 appearance) = 0;
    virtual bool CausesValidation() const = 0;
    virtual bool CausesValidation(bool causes) = 0;
    virtual void Clear() = 0;
    virtual std::optional<qint32> ItemData(int index) const = 0;
    virtual bool ItemData(int index, qint32 data) = 0;
    virtual std::optional<QString> List(int index) const = 0;
    virtual bool List(int index, const QString &text) = 0;
    virtual qint16 ListCount() const = 0;
    virtual qint16 ListIndex() const = 0;  // -1 when nothing is selected
    virtual bool ListIndex(int index) = 0; // raises Click
    virtual bool Locked() const = 0;       // a locked box ignores the user's input
    virtual bool Locked(bool locked) = 0;
    virtual QPixmap MouseIcon() const = 0;
    virtual bool MouseIcon(const QPixmap &icon) = 0;
    virtual qint16 MousePointer() const = 0; // 0 default ... 15 size-all, 99 MouseIcon
    virtual bool MousePointer(qint16 pointer) = 0;
    virtual qint16 NewIndex() const = 0; // index of the item added last, -1 if none
    virtual void OLEDrag() = 0;
    virtual qint16 OLEDragMode() const = 0; // 0 manual, 1 automatic
    virtual bool OLEDragMode(qint16 mode) = 0;
    virtual qint16 OLEDropMode() const = 0; // 0 none, 1 manual
    virtual bool OLEDropMode(qint16 mode) = 0;
    virtual void PopupMenu(QMenu *menu, std::optional<int> flags = std::nullopt,
                           std::optional<float> x = std::nullopt,
                           std::optional<float> y = std::nullopt,
                           QAction *defaultMenu = nullptr) = 0;
    virtual bool RemoveItem(int index) = 0;
    virtual bool RightToLeft() const = 0;
    virtual bool RightToLeft(bool rightToLeft) = 0;
    virtual bool Sorted() const = 0;
    virtual qint16 Style() const = 0; // 0 drop-down combo, 1 simple combo, 2 drop-down list
    virtual QString Text() const = 0;
    virtual bool Text(const QString &text) = 0;
    virtual QString ToolTipText() const = 0;
    virtual bool ToolTipText(const QString &text) = 0;

    // Event sinks: every advised sink receives every event, in the order advised.
    virtual void Advise(LumaboxEvents *sink) = 0;
    virtual void Unadvise(LumaboxEvents *sink) = 0;

    // Persisted properties (see PropertyBag).
    virtual void ReadProperties(const PropertyBag &bag) = 0;
    virtual void WriteProperties(PropertyBag &bag) const = 0;
};

// The library's one exported object: makes controls by identifier.
class ControlFactory {
public:
    virtual ~ControlFactory() = default;
    virtual QStringList ProgIds() const = 0;
    virtual QString FileVersion() const = 0;
    // Returns nullptr for an identifier the library does not know.
    virtual Lumabox *CreateControl(const QString &progId, QWidget *parent) = 0;
};

} // namespace LumaKit

#define LumaKit_ControlFactory_iid "org.kestrune.LumaKit.ControlFactory/1.0"
Q_DECLARE_INTERFACE(LumaKit::ControlFactory, LumaKit_ControlFactory_iid)
