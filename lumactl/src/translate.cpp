#include "translate.h"

#include <utility>

namespace LumaKit {

qint32 EffectsFromActions(Qt::DropActions actions) {
    qint32 effects = DropEffectNone;
    if (actions & Qt::CopyAction)
        effects |= DropEffectCopy;
    if (actions & Qt::MoveAction)
        effects |= DropEffectMove;
    return effects;
}

Qt::DropActions ActionsFromEffects(qint32 effects) {
    Qt::DropActions actions = Qt::IgnoreAction;
    if (effects & DropEffectCopy)
        actions |= Qt::CopyAction;
    if (effects & DropEffectMove)
        actions |= Qt::MoveAction;
    return actions;
}

// The one action a target's chosen effect stands for. A handler that leaves both bits set has
// not really chosen, and copying is the harmless reading of that.
Qt::DropAction ActionFromEffect(qint32 effect, Qt::DropActions possible) {
    if ((effect & DropEffectCopy) && (possible & Qt::CopyAction))
        return Qt::CopyAction;
    if ((effect & DropEffectMove) && (possible & Qt::MoveAction))
        return Qt::MoveAction;
    return Qt::IgnoreAction;
}

// Clipboard format numbers as handlers know them, for the formats a Qt drag carries.
qint16 ClipboardFormat(const QString &mimeType) {
    if (mimeType == u"text/plain")
        return 1;
    if (mimeType.startsWith(u"image/") || mimeType == u"application/x-qt-image")
        return 8;
    if (mimeType == u"text/uri-list")
        return 15;
    if (mimeType == u"text/rtf" || mimeType == u"application/rtf")
        return -16639;
    return 0;
}

std::optional<Qt::CursorShape> PointerShape(qint16 pointer) {
    switch (pointer) {
    case 1:
    case 4: // Qt has no "icon" pointer; the plain arrow is the closest thing.
        return Qt::ArrowCursor;
    case 2:
        return Qt::CrossCursor;
    case 3:
        return Qt::IBeamCursor;
    case 5:
    case 15:
        return Qt::SizeAllCursor;
    case 6:
        return Qt::SizeBDiagCursor;
    case 7:
        return Qt::SizeVerCursor;
    case 8:
        return Qt::SizeFDiagCursor;
    case 9:
        return Qt::SizeHorCursor;
    case 10:
        return Qt::UpArrowCursor;
    case 11:
        return Qt::WaitCursor;
    case 12:
        return Qt::ForbiddenCursor;
    case 13:
        return Qt::BusyCursor;
    case 14:
        return Qt::WhatsThisCursor;
    default:
        return std::nullopt;
    }
}

qint16 VirtualKeyCode(int key, Qt::KeyboardModifiers modifiers) {
    if (modifiers & Qt::KeypadModifier) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return qint16(0x60 + (key - Qt::Key_0));
        switch (key) {
        case Qt::Key_Asterisk:
            return 0x6A;
        case Qt::Key_Plus:
            return 0x6B;
        case Qt::Key_Minus:
            return 0x6D;
        case Qt::Key_Period:
        case Qt::Key_Comma:
            return 0x6E;
        case Qt::Key_Slash:
            return 0x6F;
        default:
            break; // navigation keys on the keypad are the same keys as elsewhere
        }
    }
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return qint16(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return qint16(0x70 + (key - Qt::Key_F1));

    // Shifted digits and punctuation report the key they sit on (US layout), as key codes
    // name keys rather than characters.
    static constexpr std::pair<int, qint16> table[] = {
        {Qt::Key_Backspace, 0x08},    {Qt::Key_Tab, 0x09},        {Qt::Key_Backtab, 0x09},
        {Qt::Key_Clear, 0x0C},        {Qt::Key_Return, 0x0D},     {Qt::Key_Enter, 0x0D},
        {Qt::Key_Shift, 0x10},        {Qt::Key_Control, 0x11},    {Qt::Key_Alt, 0x12},
        {Qt::Key_Pause, 0x13},        {Qt::Key_CapsLock, 0x14},   {Qt::Key_Escape, 0x1B},
        {Qt::Key_Space, 0x20},        {Qt::Key_PageUp, 0x21},     {Qt::Key_PageDown, 0x22},
        {Qt::Key_End, 0x23},          {Qt::Key_Home, 0x24},       {Qt::Key_Left, 0x25},
        {Qt::Key_Up, 0x26},           {Qt::Key_Right, 0x27},      {Qt::Key_Down, 0x28},
        {Qt::Key_Select, 0x29},       {Qt::Key_Print, 0x2C},      {Qt::Key_Insert, 0x2D},
        {Qt::Key_Delete, 0x2E},       {Qt::Key_Help, 0x2F},       {Qt::Key_Meta, 0x5B},
        {Qt::Key_Super_L, 0x5B},      {Qt::Key_Super_R, 0x5C},    {Qt::Key_Menu, 0x5D},
        {Qt::Key_NumLock, 0x90},      {Qt::Key_ScrollLock, 0x91}, {Qt::Key_ParenRight, '0'},
        {Qt::Key_Exclam, '1'},        {Qt::Key_At, '2'},          {Qt::Key_NumberSign, '3'},
        {Qt::Key_Dollar, '4'},        {Qt::Key_Percent, '5'},     {Qt::Key_AsciiCircum, '6'},
        {Qt::Key_Ampersand, '7'},     {Qt::Key_Asterisk, '8'},    {Qt::Key_ParenLeft, '9'},
        {Qt::Key_Semicolon, 0xBA},    {Qt::Key_Colon, 0xBA},      {Qt::Key_Equal, 0xBB},
        {Qt::Key_Plus, 0xBB},         {Qt::Key_Comma, 0xBC},      {Qt::Key_Less, 0xBC},
        {Qt::Key_Minus, 0xBD},        {Qt::Key_Underscore, 0xBD}, {Qt::Key_Period, 0xBE},
        {Qt::Key_Greater, 0xBE},      {Qt::Key_Slash, 0xBF},      {Qt::Key_Question, 0xBF},
        {Qt::Key_QuoteLeft, 0xC0},    {Qt::Key_AsciiTilde, 0xC0}, {Qt::Key_BracketLeft, 0xDB},
        {Qt::Key_BraceLeft, 0xDB},    {Qt::Key_Backslash, 0xDC},  {Qt::Key_Bar, 0xDC},
        {Qt::Key_BracketRight, 0xDD}, {Qt::Key_BraceRight, 0xDD}, {Qt::Key_Apostrophe, 0xDE},
        {Qt::Key_QuoteDbl, 0xDE},
    };
    for (const auto &[qtKey, code] : table) {
        if (qtKey == key)
            return code;
    }
    return 0;
}

qint16 ShiftState(Qt::KeyboardModifiers modifiers) {
    qint16 shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= 1;
    if (modifiers & Qt::ControlModifier)
        shift |= 2;
    if (modifiers & Qt::AltModifier)
        shift |= 4;
    return shift;
}

qint16 ButtonState(Qt::MouseButtons buttons) {
    qint16 state = 0;
    if (buttons & Qt::LeftButton)
        state |= 1;
    if (buttons & Qt::RightButton)
        state |= 2;
    if (buttons & Qt::MiddleButton)
        state |= 4;
    return state;
}

} // namespace LumaKit
