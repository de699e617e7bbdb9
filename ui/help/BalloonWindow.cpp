#include "ui/help/BalloonWindow.h"

#include <QApplication>
#include <QCursor>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QToolTip>

#include "ui/help/BalloonShape.h"
#include "ui/help/Compositing.h"

namespace ov {

namespace {

using balloon::MouseEvent;

// Mouse moves over widgets that do not track the mouse reach no event
// filter, so the cursor is also looked at on a timer; a cursor that has not
// moved since the last look counts as no move.
constexpr int kCursorPollMilliseconds = 30;

std::optional<MouseEvent> ButtonEvent(const QEvent* event) {
  const bool down = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::NonClientAreaMouseButtonPress;
  const bool up = event->type() == QEvent::MouseButtonRelease ||
                  event->type() == QEvent::NonClientAreaMouseButtonRelease;
  if (!down && !up) return std::nullopt;
  switch (static_cast<const QMouseEvent*>(event)->button()) {
    case Qt::LeftButton: return down ? MouseEvent::LeftDown : MouseEvent::LeftUp;
    case Qt::MiddleButton: return down ? MouseEvent::MiddleDown : MouseEvent::MiddleUp;
    case Qt::RightButton: return down ? MouseEvent::RightDown : MouseEvent::RightUp;
    default: return std::nullopt;
  }
}

}  // namespace

QRect BalloonWindow::PlacementArea(QPoint anchor) {
  QScreen* screen = QGuiApplication::screenAt(anchor);
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
}

BalloonWindow* BalloonWindow::Launch(const QString& title, const QString& content, QPoint anchor,
                                     std::uint32_t options, std::optional<QPoint> cursor) {
  auto* window = new BalloonWindow(title, content, anchor, balloon::LaunchOptions(options, DesktopComposites()),
                                   cursor.value_or(QCursor::pos()));
  if (window->options_ & balloon::kMouseCloseRules) qApp->installEventFilter(window);
  if (window->options_ & balloon::kCloseOnMouseMove) {
    window->polledCursor_ = QCursor::pos();
    window->cursorPoll_ = new QTimer(window);
    connect(window->cursorPoll_, &QTimer::timeout, window, &BalloonWindow::CheckCursor);
    window->cursorPoll_->start(kCursorPollMilliseconds);
  }
  if (window->options_ & balloon::kNoFadeIn) {
    window->show();
  } else {
    window->setWindowOpacity(0.0);
    window->show();
    auto* fade = new QPropertyAnimation(window, "windowOpacity", window);
    fade->setDuration(balloon::kFadeMilliseconds);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
  }
  return window;
}

BalloonWindow::BalloonWindow(const QString& title, const QString& content, QPoint anchor, std::uint32_t options,
                             QPoint cursor)
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowTransparentForInput),
      title_(title),
      content_(content),
      anchor_(anchor),
      options_(options),
      launchCursor_(cursor),
      tolerance_(balloon::HoverTolerance(std::nullopt)),
      contentFont_(QToolTip::font()),
      background_(QToolTip::palette().color(QPalette::ToolTipBase)),
      text_(QToolTip::palette().color(QPalette::ToolTipText)) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_DeleteOnClose, (options_ & balloon::kDeleteWithWindow) != 0);
  titleFont_ = contentFont_;
  titleFont_.setWeight(QFont::Bold);
  setWindowTitle(title_);
  Layout();
}

BalloonWindow::~BalloonWindow() { qApp->removeEventFilter(this); }

void BalloonWindow::Layout() {
  area_ = PlacementArea(anchor_);
  const balloon::Rect area = ToRect(area_);
  const QFontMetrics titleMetrics(titleFont_);
  const QFontMetrics contentMetrics(contentFont_);
  const QSize header = title_.isEmpty() ? QSize() : titleMetrics.size(Qt::TextSingleLine, title_);
  QSize content;
  if (!content_.isEmpty()) {
    content = contentMetrics
                  .boundingRect(QRect(0, 0, balloon::ContentWidthLimit(area), 1 << 20),
                                Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, content_)
                  .size();
  }
  const balloon::Size client =
      balloon::ClientSize({header.width(), header.height()}, {content.width(), content.height()});
  placement_ = balloon::Place(balloon::WindowSize(client), {anchor_.x(), anchor_.y()}, area);
  const QPoint origin = ToQPoint(balloon::ClientOrigin(placement_.side));
  headerRect_ = QRect(origin, QSize(client.width, header.height()));
  contentRect_ = QRect(origin + QPoint(0, header.height() + balloon::kHeaderGap), content);
  setGeometry(ToQRect(placement_.window));
  if (DesktopComposites()) {
    setAttribute(Qt::WA_TranslucentBackground);
  } else {
    setMask(BalloonRegion(placement_.shape));
  }
}

void BalloonWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  PaintBalloon(painter, placement_.shape, background_, text_);
  painter.setPen(text_);
  painter.setFont(titleFont_);
  painter.drawText(headerRect_, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine, title_);
  painter.setFont(contentFont_);
  painter.drawText(contentRect_, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, content_);
}

bool BalloonWindow::eventFilter(QObject* watched, QEvent* event) {
  if (closing_) return QWidget::eventFilter(watched, event);
  const auto type = event->type();
  if (type == QEvent::MouseMove || type == QEvent::NonClientAreaMouseMove) {
    const QPoint at = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
    if (balloon::ClosesOn(options_, MouseEvent::Move, {at.x(), at.y()},
                          {launchCursor_.x(), launchCursor_.y()}, tolerance_)) {
      CloseBalloon();
    }
  } else if (const auto button = ButtonEvent(event)) {
    if (balloon::ClosesOn(options_, *button, {}, {}, tolerance_)) CloseBalloon();
  }
  return QWidget::eventFilter(watched, event);
}

void BalloonWindow::CheckCursor() {
  const QPoint at = QCursor::pos();
  if (at == polledCursor_) return;
  polledCursor_ = at;
  if (balloon::ClosesOn(options_, MouseEvent::Move, {at.x(), at.y()}, {launchCursor_.x(), launchCursor_.y()},
                        tolerance_)) {
    CloseBalloon();
  }
}

void BalloonWindow::CloseBalloon() {
  if (closing_) return;
  closing_ = true;
  if (cursorPoll_) cursorPoll_->stop();
  qApp->removeEventFilter(this);
  if ((options_ & balloon::kNoFadeOut) || !isVisible()) {
    close();
    return;
  }
  auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
  fade->setDuration(balloon::kFadeMilliseconds);
  fade->setStartValue(windowOpacity());
  fade->setEndValue(0.0);
  connect(fade, &QPropertyAnimation::finished, this, &QWidget::close);
  fade->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace ov
