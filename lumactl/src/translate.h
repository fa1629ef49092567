// Translations between Qt's input, drag-and-drop and pointer vocabulary and the codes the
// control's events and properties carry: key codes, shift and button states, drop effects,
// clipboard format numbers and mouse pointer numbers. Pure functions, no widgets.
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace LumaKit {

// Drop effects, as bits: what a drag allows and what a target chose.
inline constexpr qint32 DropEffectNone = 0;
inline constexpr qint32 DropEffectCopy = 1;
inline constexpr qint32 DropEffectMove = 2;

// The State argument of OLEDragOver.
inline constexpr qint16 DragStateEnter = 0;
inline constexpr qint16 DragStateLeave = 1;
inline constexpr qint16 DragStateOver = 2;

// The MousePointer value that shows MouseIcon.
inline constexpr qint16 CustomPointer = 99;

// The key code of a key: letters and digits as their upper-case character, F1 0x70 onwards,
// keypad digits 0x60 onwards; shifted digits and punctuation report the key they sit on (US
// layout), as key codes name keys rather than characters. 0 for a key without a code.
qint16 VirtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers);
// Shift 1, Ctrl 2, Alt 4.
qint16 ShiftState(Qt::KeyboardModifiers modifiers);
// Left 1, right 2, middle 4.
qint16 ButtonState(Qt::MouseButtons buttons);

qint32 EffectsFromActions(Qt::DropActions actions);
Qt::DropActions ActionsFromEffects(qint32 effects);
// The one action a target's chosen effect stands for, among those possible.
Qt::DropAction ActionFromEffect(qint32 effect, Qt::DropActions possible);

// The clipboard format number of a MIME type a Qt drag carries; 0 when it has none.
qint16 ClipboardFormat(const QString &mimeType);

// The pointer shape of a MousePointer value 1-15; none for 0 (the default pointer), for
// CustomPointer and for values without a shape.
std::optional<Qt::CursorShape> PointerShape(qint16 pointer);

} // namespace LumaKit
