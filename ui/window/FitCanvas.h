#pragma once
// The window's client area: the elements keep the places the window was
// drawn with as long as the area has its drawn size. When the screen
// leaves less room (a small screen, a large scale), the area shrinks and
// the trees and lists give up the room; the rows of buttons keep their
// distance from the bottom and right edges.

#include <QLabel>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <vector>

namespace ov::window {

// How an element follows the area's size change (dw, dh).
enum Grow : unsigned {
  kFixed = 0,
  kWide = 1,   // width += dw
  kRight = 2,  // left += dw
  kTall = 4,   // height += dh
  kDown = 8,   // top += dh
};

class FitCanvas : public QWidget {
  Q_OBJECT
public:
  FitCanvas(QSize drawn, QWidget* parent = nullptr);

  // Puts `w` at `r` of the drawn area; it follows size changes by `grow`.
  void Place(QWidget* w, QRect r, unsigned grow);
  QSize drawnSize() const { return drawn_; }
  QSize sizeHint() const override { return drawn_; }
  // Where `r` of the drawn area lies in an area of `size`. When the area is
  // lower than drawn, the band of the step picture (kBandTop to
  // kBandBottom) gives up a third of the difference, at most half its
  // height; what lies below the band moves up by as much, and the rest of
  // the difference goes as `grow` says.
  static QRect Fit(QRect r, unsigned grow, QSize drawn, QSize size);
  static constexpr int kBandTop = 38;
  static constexpr int kBandBottom = 142;

  // The client size the window takes on a screen with `room` free for the
  // client area: the drawn size when it fits, else the room (not below the
  // smallest size the elements need).
  static QSize SizeFor(QSize drawn, QSize room);
  static constexpr QSize kSmallest{560, 400};

protected:
  void resizeEvent(QResizeEvent* e) override;

private:
  struct Placed {
    QPointer<QWidget> widget;
    QRect rect;
    unsigned grow;
  };
  QSize drawn_;
  std::vector<Placed> placed_;
};

// The step picture: drawn at its own size, or scaled down to the room it
// has (keeping its proportions), centred.
class PictureLabel : public QLabel {
  Q_OBJECT
public:
  using QLabel::QLabel;

protected:
  void paintEvent(QPaintEvent* e) override;
};

}  // namespace ov::window
