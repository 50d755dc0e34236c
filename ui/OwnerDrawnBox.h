#pragma once

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

class QFontMetrics;
class QPainter;

// The flat look shared by the check and option buttons, drawn over a transparent background so
// the parent's gradient shows through:
//
//   (0,0)
//     +----------+
//     |  +----+  |     box:  12 x 12 at the item's top-left corner, framed black
//     |  |    |  | text  mark: 6 x 6 from (3, 3) to (9, 9), framed (check) or filled (option),
//     |  +----+  |             black when on, RGB(204, 204, 204) when off
//     +----------+     text: from the box's right edge + 5, at the top, in black
namespace OwnerDrawnBox {

constexpr int kBoxSize = 12;
constexpr int kMarkInset = 3;
constexpr int kMarkSize = 6;
constexpr int kTextGap = 5;

enum class Mark { Framed, Filled };

QColor OnColour();
QColor OffColour();

// The 12 x 12 box and the 6 x 6 mark of an item whose top-left corner is `topLeft`.
QRect BoxRect(QPoint topLeft);
QRect MarkRect(QPoint topLeft);

// The text's rectangle: from the box's right edge + 5 to the client's right edge + 5.
QRect TextRect(const QRect& item);

// A 1-pixel frame lying inside `rect`, like a brush frame of the window system.
void FrameRect(QPainter& painter, const QRect& rect, const QColor& colour);

void Paint(QPainter& painter, const QRect& item, const QString& text, Mark mark, bool on);

// Where the focus mark goes: round the text, 2 pixels clear of it at the sides, from the top to
// just below the text's line, inside the item.
QRect FocusRect(const QFontMetrics& metrics, const QRect& item, const QString& text);

QSize SizeHint(const QFontMetrics& metrics, const QString& text);

} // namespace OwnerDrawnBox
