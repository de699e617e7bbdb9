#include "widgets/PercentProgressBar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

namespace ov {

namespace {

std::int32_t Clamp(std::int64_t value, std::int32_t lower, std::int32_t upper) {
  if (lower >= upper) return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, lower, upper));
}

}  // namespace

int ProgressFilledExtent(int extent, std::int32_t lower, std::int32_t upper, std::int32_t position) {
  if (lower >= upper || extent <= 0) return 0;
  const std::int64_t span = std::int64_t{upper} - lower;
  const std::int64_t done = std::clamp<std::int64_t>(std::int64_t{position} - lower, 0, span);
  return static_cast<int>(done * extent / span);
}

QString ProgressPercentText(std::int32_t lower, std::int32_t upper, std::int32_t position) {
  if (lower >= upper) return QString();
  return QString::asprintf("%d%%", ProgressFilledExtent(100, lower, upper, position));
}

PercentProgressBar::PercentProgressBar(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void PercentProgressBar::setRange(std::int32_t lower, std::int32_t upper) {
  lower_ = lower;
  upper_ = upper;
  position_ = Clamp(position_, lower_, upper_);
  lastExtent_ = filledExtent();
  repaintNow();
}

std::int32_t PercentProgressBar::setPosition(std::int32_t position) {
  const std::int32_t previous = position_;
  position_ = Clamp(position, lower_, upper_);
  const int extent = filledExtent();
  if (extent != lastExtent_) {
    lastExtent_ = extent;
    repaintNow();
  }
  return previous;
}

std::int32_t PercentProgressBar::deltaPosition(std::int32_t delta) {
  return setPosition(Clamp(std::int64_t{position_} + delta, lower_, upper_));
}

std::int32_t PercentProgressBar::stepIt() { return deltaPosition(step_); }

std::int32_t PercentProgressBar::setStep(std::int32_t step) {
  const std::int32_t previous = step_;
  step_ = step;
  return previous;
}

QColor PercentProgressBar::setBarColor(const QColor& color) {
  const QColor previous = bar_;
  bar_ = color;
  repaintNow();
  return previous;
}

QColor PercentProgressBar::setBackgroundColor(const QColor& color) {
  const QColor previous = background_;
  background_ = color;
  repaintNow();
  return previous;
}

QColor PercentProgressBar::setTextColor(const QColor& color) {
  const QColor previous = text_;
  text_ = color;
  repaintNow();
  return previous;
}

void PercentProgressBar::setShowText(bool show) {
  if (show == showText_) return;
  showText_ = show;
  repaintNow();
}

void PercentProgressBar::setText(const QString& text) {
  if (text == customText_) return;
  customText_ = text;
  repaintNow();
}

void PercentProgressBar::setOrientation(Qt::Orientation orientation) {
  if (orientation == orientation_) return;
  orientation_ = orientation;
  setSizePolicy(orientation_ == Qt::Horizontal ? QSizePolicy::Expanding : QSizePolicy::Fixed,
                orientation_ == Qt::Horizontal ? QSizePolicy::Fixed : QSizePolicy::Expanding);
  lastExtent_ = filledExtent();
  updateGeometry();
  repaintNow();
}

QString PercentProgressBar::shownText() const {
  if (!showText_ || orientation_ == Qt::Vertical || lower_ >= upper_) return QString();
  return customText_.isEmpty() ? ProgressPercentText(lower_, upper_, position_) : customText_;
}

QSize PercentProgressBar::sizeHint() const {
  const int thickness = fontMetrics().height() + 6;
  return orientation_ == Qt::Horizontal ? QSize(200, thickness) : QSize(thickness, 200);
}

int PercentProgressBar::filledExtent() const {
  return ProgressFilledExtent(orientation_ == Qt::Horizontal ? width() : height(), lower_, upper_, position_);
}

void PercentProgressBar::repaintNow() {
  // Drawn at once, as the bar is often moved from a long loop on the
  // window's thread between two event loop turns.
  if (isVisible()) repaint();
}

void PercentProgressBar::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  lastExtent_ = filledExtent();
}

void PercentProgressBar::paintEvent(QPaintEvent* /*event*/) {
  // The widget's backing store is the off-screen buffer: the two parts are
  // composed there and reach the screen in one piece, so the bar never
  // flickers. The whole rectangle is always covered, so nothing is erased
  // first.
  if (lower_ >= upper_) return;
  const QRect all = rect();
  const int extent = filledExtent();
  QRect filled = all;
  QRect empty = all;
  if (orientation_ == Qt::Horizontal) {
    filled.setRight(all.left() + extent - 1);
    empty.setLeft(all.left() + extent);
  } else {
    filled.setTop(all.bottom() + 1 - extent);
    empty.setBottom(all.bottom() - extent);
  }

  const QColor bar = bar_.isValid() ? bar_ : palette().color(QPalette::Highlight);
  const QColor background = background_.isValid() ? background_ : palette().color(QPalette::Base);
  QPainter painter(this);
  if (!filled.isEmpty()) painter.fillRect(filled, bar);
  if (!empty.isEmpty()) painter.fillRect(empty, background);

  const QString shown = shownText();
  if (shown.isEmpty()) return;
  painter.setFont(font());
  const int flags = Qt::AlignCenter | Qt::TextSingleLine;
  if (!filled.isEmpty()) {
    painter.setClipRect(filled);
    painter.setPen(text_.isValid() ? text_ : background);
    painter.drawText(all, flags, shown);
  }
  if (!empty.isEmpty()) {
    painter.setClipRect(empty);
    painter.setPen(text_.isValid() ? text_ : bar);
    painter.drawText(all, flags, shown);
  }
}

}  // namespace ov
