#include "widgets/CXPGroupBox.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>

namespace ov {

CXPGroupBox::CXPGroupBox(const QString& title, QWidget* parent)
    : QWidget(parent),
      title_(title),
      captionFont_(font()),
      border_(palette().color(QPalette::Dark)),
      body_(palette().color(QPalette::Button)),
      captionBackground_(palette().color(QPalette::Button)),
      captionText_(palette().color(QPalette::WindowText)) {
  updateMargins();
}

void CXPGroupBox::setTitle(const QString& title) {
  if (title == title_) return;
  title_ = title;
  updateMargins();
  update();
}

void CXPGroupBox::setCaptionFont(const QFont& font) {
  captionFont_ = font;
  ownCaptionFont_ = true;
  updateMargins();
  update();
}

void CXPGroupBox::setBoxStyle(BoxStyle style) {
  style_ = style;
  updateMargins();
  update();
}

void CXPGroupBox::setCaptionAlignment(CaptionAlignment alignment) {
  alignment_ = alignment;
  update();
}

void CXPGroupBox::setBorderColor(const QColor& color) {
  border_ = color;
  update();
}

void CXPGroupBox::setBodyColor(const QColor& color) {
  body_ = color;
  update();
}

void CXPGroupBox::setCaptionBackgroundColor(const QColor& color) {
  captionBackground_ = color;
  update();
}

void CXPGroupBox::setCaptionTextColor(const QColor& color) {
  captionText_ = color;
  update();
}

GroupBoxGeometry CXPGroupBox::Geometry(QSize size, QSize caption, BoxStyle style, CaptionAlignment alignment) {
  GroupBoxGeometry geometry;
  const QRect client = QRect(QPoint(0, 0), size).adjusted(1, 1, -1, -1);
  const int indent = style == FrameStyle ? kFrameCaptionIndent : kWindowCaptionInset;
  const int top = style == FrameStyle ? client.top() : client.top() + kWindowCaptionInset;
  int left = client.left() + indent;
  if (alignment == CaptionCentre) left = client.left() + (client.width() - caption.width()) / 2;
  if (alignment == CaptionRight) left = client.right() + 1 - indent - caption.width();
  geometry.caption = QRect(left, top, caption.width(), caption.height());

  if (style == FrameStyle) {
    geometry.outline = client.adjusted(0, caption.height() / 2, 0, 0);
  } else {
    geometry.outline = client;
    geometry.body = QRect(QPoint(client.left(), caption.height() + 4), client.bottomRight());
  }
  return geometry;
}

QSize CXPGroupBox::captionSize() const {
  if (title_.isEmpty()) return QSize(0, QFontMetrics(captionFont_).height());
  const QFontMetrics metrics(captionFont_);
  return QSize(metrics.horizontalAdvance(title_), metrics.height());
}

void CXPGroupBox::updateMargins() {
  // Children laid out in the box keep clear of the outline and the caption.
  const int captionHeight = captionSize().height();
  const int top = style_ == FrameStyle ? captionHeight + 4 : captionHeight + 8;
  setContentsMargins(8, top, 8, 8);
}

QSize CXPGroupBox::sizeHint() const {
  const QSize caption = captionSize();
  return QSize(caption.width() + 2 * kFrameCaptionIndent + 20, caption.height() + 40).expandedTo(QWidget::sizeHint());
}

void CXPGroupBox::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange && !ownCaptionFont_) {
    captionFont_ = font();
    updateMargins();
  }
  QWidget::changeEvent(event);
}

void CXPGroupBox::paintEvent(QPaintEvent* /*event*/) {
  const GroupBoxGeometry geometry = Geometry(size(), captionSize(), style_, alignment_);
  QPainter painter(this);
  painter.setPen(QPen(border_, 1));

  // The outline's corners are rounded with 10 × 10 ellipses; Qt's radii are
  // half the ellipse's axes.
  const qreal radius = kCornerDiameter / 2.0;
  if (style_ == FrameStyle) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(geometry.outline.adjusted(0, 0, -1, -1), radius, radius);
    if (!title_.isEmpty()) painter.fillRect(geometry.caption, captionBackground_);
  } else {
    painter.setBrush(captionBackground_);
    painter.drawRoundedRect(geometry.outline.adjusted(0, 0, -1, -1), radius, radius);
    painter.setBrush(body_);
    painter.drawRect(geometry.body.adjusted(0, 0, -1, -1));
  }

  if (title_.isEmpty()) return;
  painter.setFont(captionFont_);
  painter.setPen(captionText_);
  painter.setBrush(Qt::NoBrush);
  painter.drawText(geometry.caption, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine | Qt::TextDontClip, title_);
}

}  // namespace ov
