#include "ui/help/BalloonShape.h"

#include <QPainter>
#include <QPolygonF>

namespace ov {

QPainterPath BalloonPath(const balloon::Shape& shape) {
  QPainterPath body;
  const double radius = balloon::kCorner / 2.0;
  body.addRoundedRect(QRectF(ToQRect(shape.body)), radius, radius);
  QPainterPath tail;
  tail.addPolygon(QPolygonF({QPointF(ToQPoint(shape.base1)), QPointF(ToQPoint(shape.base2)),
                             QPointF(ToQPoint(shape.apex)), QPointF(ToQPoint(shape.base1))}));
  return body.united(tail).simplified();
}

QRegion BalloonRegion(const balloon::Shape& shape) {
  return QRegion(BalloonPath(shape).toFillPolygon().toPolygon(), Qt::WindingFill);
}

void PaintBalloon(QPainter& painter, const balloon::Shape& shape, const QColor& background, const QColor& frame) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  // The outline runs half a pixel inside the region so that the frame is
  // not cut away by it.
  const balloon::Shape inner{{shape.body.left, shape.body.top, shape.body.right - 1, shape.body.bottom - 1},
                             shape.base1, shape.base2, shape.apex};
  QPainterPath path = BalloonPath(inner);
  path.translate(0.5, 0.5);
  painter.fillPath(BalloonPath(shape), background);
  painter.setPen(QPen(frame, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(path);
  painter.restore();
}

}  // namespace ov
