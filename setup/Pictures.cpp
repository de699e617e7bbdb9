#include "setup/Pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace ov::setup {

namespace {

// A disk platter with a read arm: the product's mark.
void DrawDisk(QPainter& p, QRectF box) {
  p.setPen(QPen(QColor(60, 60, 70), 2));
  QRadialGradient face(box.center(), box.width() / 2);
  face.setColorAt(0, QColor(235, 235, 240));
  face.setColorAt(1, QColor(150, 155, 170));
  p.setBrush(face);
  p.drawEllipse(box);
  p.setBrush(QColor(90, 90, 100));
  const qreal hub = box.width() / 8;
  p.drawEllipse(box.center(), hub, hub);
  p.setPen(QPen(QColor(150, 30, 30), box.width() / 16, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(box.right(), box.bottom()), box.center() + QPointF(box.width() / 6, box.height() / 10));
}

}  // namespace

QPixmap ProductPicture() {
  QPixmap picture(440, 160);
  picture.fill(kSplashBackground);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  DrawDisk(p, QRectF(20, 30, 100, 100));
  QFont title(QStringLiteral("DejaVu Sans"), 20, QFont::Bold);
  p.setFont(title);
  p.setPen(QColor(120, 20, 20));
  p.drawText(QRectF(135, 35, 300, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Orlindavestrum"));
  QFont subtitle(QStringLiteral("DejaVu Sans"), 12);
  p.setFont(subtitle);
  p.setPen(QColor(40, 40, 40));
  p.drawText(QRectF(135, 75, 300, 25), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("for NSS"));
  p.drawText(QRectF(135, 100, 300, 25), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Setup"));
  return picture;
}

QPixmap BannerPicture(int width) {
  QPixmap picture(width, 56);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, width, 0);
  fill.setColorAt(0, QColor(120, 20, 20));
  fill.setColorAt(1, kSplashBackground);
  p.fillRect(picture.rect(), fill);
  DrawDisk(p, QRectF(10, 6, 44, 44));
  QFont title(QStringLiteral("DejaVu Sans"), 14, QFont::Bold);
  p.setFont(title);
  p.setPen(Qt::white);
  p.drawText(QRectF(66, 0, width - 70, 56), Qt::AlignLeft | Qt::AlignVCenter,
             QStringLiteral("Orlindavestrum for NSS"));
  return picture;
}

}  // namespace ov::setup
