#include "ui/help/MenuTip.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

#include "ui/help/BalloonShape.h"
#include "ui/help/BalloonWindow.h"
#include "ui/help/Compositing.h"

namespace ov {

MenuTip::MenuTip()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput),
      font_(QToolTip::font()) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  if (DesktopComposites()) setAttribute(Qt::WA_TranslucentBackground);
}

void MenuTip::ShowTip(QPoint at, const QString& text) {
  text_ = text;
  at_ = at;
  const QFontMetrics metrics(font_);
  const QSize textSize =
      metrics.boundingRect(QRect(0, 0, kMaxWidth - kIconSize - kIconGap, 1 << 20),
                           Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text_)
          .size();
  const balloon::Size client{kIconSize + kIconGap + textSize.width(), std::max(kIconSize, textSize.height())};
  placement_ = balloon::Place(balloon::WindowSize(client), {at.x(), at.y()}, ToRect(BalloonWindow::PlacementArea(at)));
  const QPoint origin = ToQPoint(balloon::ClientOrigin(placement_.side));
  iconRect_ = QRect(origin, QSize(kIconSize, kIconSize));
  textRect_ = QRect(origin + QPoint(kIconSize + kIconGap, 0), textSize);
  setGeometry(ToQRect(placement_.window));
  if (!testAttribute(Qt::WA_TranslucentBackground)) setMask(BalloonRegion(placement_.shape));
  update();
  show();
  raise();
}

void MenuTip::HideTip() { hide(); }

void MenuTip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette palette = QToolTip::palette();
  PaintBalloon(painter, placement_.shape, palette.color(QPalette::ToolTipBase), palette.color(QPalette::ToolTipText));
  style()->standardIcon(QStyle::SP_MessageBoxInformation).paint(&painter, iconRect_);
  painter.setPen(palette.color(QPalette::ToolTipText));
  painter.setFont(font_);
  painter.drawText(textRect_, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text_);
}

}  // namespace ov
