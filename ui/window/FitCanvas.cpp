#include "ui/window/FitCanvas.h"

#include <QPainter>

#include <algorithm>

namespace ov::window {

FitCanvas::FitCanvas(QSize drawn, QWidget* parent) : QWidget(parent), drawn_(drawn) {
  setMinimumSize(kSmallest.boundedTo(drawn));
  resize(drawn);
}

void FitCanvas::Place(QWidget* w, QRect r, unsigned grow) {
  placed_.push_back({w, r, grow});
  w->setGeometry(Fit(r, grow, drawn_, size()));
}

QRect FitCanvas::Fit(QRect r, unsigned grow, QSize drawn, QSize size) {
  const int dw = size.width() - drawn.width();
  int dh = size.height() - drawn.height();
  if (dh < 0) {
    const int band = std::max(dh / 3, -(kBandBottom - kBandTop) / 2);
    if (r.top() == kBandTop && r.bottom() + 1 == kBandBottom) r.setHeight(r.height() + band);
    else if (r.top() >= kBandBottom) r.translate(0, band);
    dh -= band;
  }
  if (grow & kRight) r.translate(dw, 0);
  if (grow & kDown) r.translate(0, dh);
  if (grow & kWide) r.setWidth(std::max(0, r.width() + dw));
  if (grow & kTall) r.setHeight(std::max(0, r.height() + dh));
  return r;
}

QSize FitCanvas::SizeFor(QSize drawn, QSize room) {
  if (room.width() >= drawn.width() && room.height() >= drawn.height()) return drawn;
  return room.boundedTo(drawn).expandedTo(kSmallest.boundedTo(drawn));
}

void FitCanvas::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  for (const Placed& p : placed_) {
    if (p.widget) p.widget->setGeometry(Fit(p.rect, p.grow, drawn_, size()));
  }
}

void PictureLabel::paintEvent(QPaintEvent* e) {
  const QPixmap shown = pixmap();
  if (shown.isNull()) return QLabel::paintEvent(e);
  QPainter p(this);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  const QSize fitted = shown.size().boundedTo(size()) == shown.size()
                           ? shown.size()
                           : shown.size().scaled(size(), Qt::KeepAspectRatio);
  const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
  p.drawPixmap(target, shown);
}

}  // namespace ov::window
