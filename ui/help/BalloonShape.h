#pragma once
// Drawing a balloon's body and tail: the outline as a path, the window
// region made from it, and the painting (background fill, one-pixel frame
// in the text colour).

#include <QColor>
#include <QPainterPath>
#include <QRegion>

#include "platform/BalloonGeometry.h"

class QPainter;

namespace ov {

QPainterPath BalloonPath(const balloon::Shape& shape);
QRegion BalloonRegion(const balloon::Shape& shape);
void PaintBalloon(QPainter& painter, const balloon::Shape& shape, const QColor& background, const QColor& frame);

inline QPoint ToQPoint(balloon::Point p) { return {p.x, p.y}; }
inline balloon::Rect ToRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
inline QRect ToQRect(const balloon::Rect& r) { return {r.left, r.top, r.width(), r.height()}; }

}  // namespace ov
