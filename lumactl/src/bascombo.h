// basCOMBO: the drawing routines behind the flat look of the combo box, plus the colour
// translation they rely on. Everything here is free of state so it can be exercised on an
// image as well as on the live combo box.
#pragma once

#include <lumactl/lumabox.h>

#include <QPalette>
#include <QtGlobal>

class QColor;
class QComboBox;
class QPainter;

namespace LumaKit::basCOMBO {

// A rectangle the way the drawing code thinks of it: right and bottom are exclusive, and
// nothing forces left <= right or top <= bottom.
struct FrameRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The result of ToRgbColor when a colour cannot be translated.
inline constexpr qint32 InvalidRgb = -1;

// System colour indexes the border is drawn with (the high bit turns them into colours).
inline constexpr OleColor SystemColorFlag = 0x80000000u;
inline constexpr int COLOR_BTNFACE = 15;
inline constexpr int COLOR_BTNSHADOW = 16;
inline constexpr int COLOR_BTNHIGHLIGHT = 20;

// Translates a container colour into an RGB value laid out 0x00BBGGRR. Plain RGB values
// (high byte 0x00, or 0x02 for "nearest palette match") come back as they are; system
// colours (high byte 0x80) are looked up in `systemColours`. Logical-palette indexes
// (high byte 0x01) cannot be resolved without a palette, so they fail like every other high
// byte and every unknown system colour index: the result is then InvalidRgb.
qint32 ToRgbColor(OleColor colour, const QPalette &systemColours);

// Conversions between the 0x00BBGGRR layout and QColor. The high byte is ignored, so the
// failure value -1 reads as white.
QColor ColorFromRgb(quint32 rgb);
quint32 RgbFromColor(const QColor &colour);

// Outlines `r` with one-pixel lines: c1 on the left and top edges, c2 on the right and bottom
// ones. Each line leaves out its end point, so the top-left and bottom-left corners take c1
// and both right-hand corners take c2. A rectangle with left == right only gets its c1 part.
// Both colours go through ToRgbColor first; a colour that fails to translate is drawn as the
// RGB value 0xFFFFFFFF, i.e. white.
void DrawFrame(QPainter &painter, const FrameRect &r, OleColor c1, OleColor c2,
               const QPalette &systemColours = QPalette());

// Paints the flat border over the standard one of `combo`: a sunken one-pixel outline, the
// face colour inside it and a raised outline around the drop button. Meant to run right after
// the combo box has painted itself, on a painter covering the combo box's area.
void DrawFlatBorder(const QComboBox &combo, QPainter &painter);

} // namespace LumaKit::basCOMBO
