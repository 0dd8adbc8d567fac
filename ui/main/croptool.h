// The crop drawn on the picture with the mouse: where a press takes hold of
// it (a corner, an edge, the inside to move it, or elsewhere to draw a new
// one), the crop a drag from there makes, the cursor that says which, and
// how it is painted over the picture. The crop is in the picture's pixels,
// its corners on the edges between them; the screen shows the picture at a
// scale, which the caller maps through.
#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>

class QPainter;

namespace croptool {

enum class Grip {
    None, // outside the crop: a new one is drawn
    Inside,
    Left,
    Right,
    Top,
    Bottom,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight,
};

// The grip of a crop shown at `shown` (on the screen) under `at`, within
// `reach` screen pixels of a corner or an edge.
Grip GripAt(const QRectF& shown, QPointF at, qreal reach);

Qt::CursorShape CursorFor(Grip grip);

// The crop a drag makes of `start` (the crop when it was taken hold of)
// by `grip`, from the pixel edge `from` to `to`, within a picture of `size`:
// drawn from one corner to the other, moved whole, or its gripped sides
// moved (past the opposite side it turns over). Empty when it has no area.
QRect Dragged(const QRect& start, Grip grip, QPoint from, QPoint to, QSize size);

// The crop shown at `shown` over the picture shown at `picture`: the rest
// of the picture dimmed, the crop's outline, and its handles.
void Paint(QPainter& painter, const QRectF& picture, const QRectF& shown);

} // namespace croptool
