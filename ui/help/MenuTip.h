#pragma once
// The menu tip: one balloon tooltip beside the highlighted menu item, with
// the information icon and the item's prompt wrapped to at most 300 pixels.
// Its tail points at the position it is given. It lives as long as the
// window that made it and never takes the focus or the mouse.

#include <QFont>
#include <QString>
#include <QWidget>

#include "platform/BalloonGeometry.h"

namespace ov {

class MenuTip : public QWidget {
  Q_OBJECT

public:
  static constexpr int kMaxWidth = 300;
  static constexpr int kIconSize = 16;
  static constexpr int kIconGap = 6;

  MenuTip();

  // Shows the tip with `text` pointing at `at` (screen coordinates), or
  // moves and updates the one shown.
  void ShowTip(QPoint at, const QString& text);
  void HideTip();

  QString text() const { return text_; }
  QPoint pointsAt() const { return at_; }
  const balloon::Placement& placement() const { return placement_; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  QString text_;
  QPoint at_;
  QFont font_;
  QRect iconRect_;
  QRect textRect_;
  balloon::Placement placement_;
};

}  // namespace ov
