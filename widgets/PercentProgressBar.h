#pragma once
// A progress bar that prints its percentage (or a text of the caller's)
// inverted across the bar's edge.

#include <QColor>
#include <QString>
#include <QWidget>

#include <cstdint>

namespace ov {

// Where the bar ends inside an extent of `extent` pixels: extent × f with
// f = (position − lower) / (upper − lower), truncated. 0 when lower ≥ upper.
// Computed in 64-bit integers, so no range of 32-bit bounds overflows and no
// rounding error moves the edge.
int ProgressFilledExtent(int extent, std::int32_t lower, std::int32_t upper, std::int32_t position);

// The percentage text, "%d%%" of the integer part of f × 100 ("33%" for 1 of
// 0 … 3). Empty when lower ≥ upper.
QString ProgressPercentText(std::int32_t lower, std::int32_t upper, std::int32_t position);

// The bar. Every colour may be "default" (an invalid QColor): the bar is the
// palette's highlight, the background its base colour, and the text is
// drawn in the background colour over the bar and in the bar colour over the
// rest, so the default text reads inverted across the edge. A text colour of
// the caller's is used on both parts.
//
// Horizontal bars fill from the left and may show the text; vertical bars
// fill from the bottom and never show text. Nothing at all is drawn while
// lower ≥ upper. The position is kept inside the bounds.
//
// The bar repaints only when what it shows changes: a new position repaints
// only when the filled width (height when vertical) in pixels changes; a
// colour setter always repaints; a custom text only when it differs from the
// one stored; the show-text flag only when it flips.
class PercentProgressBar : public QWidget {
  Q_OBJECT

public:
  explicit PercentProgressBar(QWidget* parent = nullptr);

  // Bounds; the position is moved inside them. Default 0 … 100.
  void setRange(std::int32_t lower, std::int32_t upper);
  std::int32_t lower() const { return lower_; }
  std::int32_t upper() const { return upper_; }

  // Each returns the previous position.
  std::int32_t setPosition(std::int32_t position);
  std::int32_t deltaPosition(std::int32_t delta);
  std::int32_t stepIt();
  std::int32_t position() const { return position_; }

  // Returns the previous step. Default 10.
  std::int32_t setStep(std::int32_t step);
  std::int32_t step() const { return step_; }

  // An invalid QColor means "default". Each returns the previous colour.
  QColor setBarColor(const QColor& color);
  QColor setBackgroundColor(const QColor& color);
  QColor setTextColor(const QColor& color);
  QColor barColor() const { return bar_; }
  QColor backgroundColor() const { return background_; }
  QColor textColor() const { return text_; }

  void setShowText(bool show);
  bool showText() const { return showText_; }

  // The custom text; empty shows the percentage again.
  void setText(const QString& text);
  QString text() const { return customText_; }

  void setOrientation(Qt::Orientation orientation);
  Qt::Orientation orientation() const { return orientation_; }

  // What the bar prints now: the custom text or the percentage; empty when
  // no text is shown (flag off, vertical bar, empty range).
  QString shownText() const;

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  int filledExtent() const;
  void repaintNow();

  std::int32_t lower_ = 0;
  std::int32_t upper_ = 100;
  std::int32_t position_ = 0;
  std::int32_t step_ = 10;
  QColor bar_;
  QColor background_;
  QColor text_;
  bool showText_ = true;
  QString customText_;
  Qt::Orientation orientation_ = Qt::Horizontal;
  int lastExtent_ = 0;
};

}  // namespace ov
