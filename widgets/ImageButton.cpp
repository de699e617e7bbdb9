#include "widgets/ImageButton.h"

#include <QApplication>
#include <QEnterEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

#include "platform/Process.h"

namespace ov {

namespace {

constexpr int kImageTextGap = 4;

ProcessRunner& SystemRunner() {
  static SystemProcessRunner runner;
  return runner;
}

}  // namespace

QColor OffsetColor(const QColor& color, int shade) {
  if (shade < -255 || shade > 255) return color;
  const int r = color.red();
  const int g = color.green();
  const int b = color.blue();
  if (shade > 0) shade = std::min(shade, 255 - std::max({r, g, b}));
  if (shade < 0) shade = std::max(shade, -std::min({r, g, b}));
  return QColor(r + shade, g + shade, b + shade, color.alpha());
}

ImageButton::ImageButton(QWidget* parent) : QPushButton(parent) { init(); }

ImageButton::ImageButton(const QString& text, QWidget* parent) : QPushButton(text, parent) { init(); }

void ImageButton::init() {
  setDefaultColors();
  setMouseTracking(true);
  connect(this, &QAbstractButton::clicked, this, &ImageButton::onClicked);
}

void ImageButton::setColor(ColorRole role, const QColor& color) {
  colors_[role] = color;
  update();
}

QColor ImageButton::color(ColorRole role) const { return colors_[role]; }

bool ImageButton::offsetColor(ColorRole role, int shade) {
  if (shade < -255 || shade > 255) return false;
  setColor(role, OffsetColor(colors_[role], shade));
  return true;
}

void ImageButton::setDefaultColors() {
  const QColor face = palette().color(QPalette::Button);
  const QColor text = palette().color(QPalette::ButtonText);
  colors_ = {face, text, face, text, face, text};
  update();
}

void ImageButton::applyStepLook(ImageAlignment alignment) {
  setColor(HotBackground, OffsetColor(colors_[NormalBackground], kStepHotShade));
  setColor(HotText, QColor::fromRgb(kStepHotText));
  setImageAlignment(alignment);
}

void ImageButton::setImageAlignment(ImageAlignment alignment) {
  alignment_ = alignment;
  update();
}

void ImageButton::setTrackAlways(bool always) { trackAlways_ = always; }

void ImageButton::setDrawFocusRect(bool draw) {
  drawFocusRect_ = draw;
  update();
}

void ImageButton::setTransparent(bool transparent) {
  transparent_ = transparent;
  update();
}

void ImageButton::setCheckBox(bool checkBox) {
  setCheckable(checkBox);
  update();
}

void ImageButton::setDropDownMenu(QMenu* menu) { menu_ = menu; }

void ImageButton::setLink(const QString& link) { link_ = link; }

void ImageButton::setProcessRunner(ProcessRunner* runner) { runner_ = runner; }

void ImageButton::setHot(bool hot) {
  if (hot == hot_) return;
  hot_ = hot;
  update();
  emit hotChanged(hot_);
}

void ImageButton::enterEvent(QEnterEvent* event) {
  QPushButton::enterEvent(event);
  // A press that started elsewhere and is dragged over the button does not
  // make it hot.
  if (!isFlat() || !isEnabled()) return;
  if ((QApplication::mouseButtons() & Qt::LeftButton) && !hot_) return;
  if (trackAlways_ || QApplication::activeWindow() != nullptr) setHot(true);
}

void ImageButton::mouseMoveEvent(QMouseEvent* event) {
  QPushButton::mouseMoveEvent(event);
  if (!isFlat() || !isEnabled() || hot_) return;
  if ((event->buttons() & Qt::LeftButton) || !rect().contains(event->position().toPoint())) return;
  if (trackAlways_ || QApplication::activeWindow() != nullptr) setHot(true);
}

void ImageButton::leaveEvent(QEvent* event) {
  QPushButton::leaveEvent(event);
  setHot(false);
}

void ImageButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && !isEnabled()) setHot(false);
  QPushButton::changeEvent(event);
}

void ImageButton::onClicked() {
  setFocus(Qt::MouseFocusReason);
  // A check box toggles through QAbstractButton before this runs; the
  // menu and the link are for plain buttons only.
  if (isCheckable()) return;
  if (menu_) {
    emit menuAboutToShow();
    QAction* chosen = menu_->exec(mapToGlobal(rect().bottomLeft()));
    setHot(rect().contains(mapFromGlobal(QCursor::pos())) && hot_);
    if (chosen != nullptr) {
      bool ok = false;
      const int command = chosen->data().toInt(&ok);
      emit menuCommand(ok ? command : -1);
    }
    return;
  }
  if (!link_.isEmpty()) {
    ProcessRunner& runner = runner_ != nullptr ? *runner_ : SystemRunner();
    if (!runner.ShellOpen(link_.toStdString())) emit linkFailed(link_);
  }
}

QSize ImageButton::sizeHint() const {
  const QSize image = icon().isNull() ? QSize(0, 0) : iconSize();
  const QSize label = text().isEmpty() ? QSize(0, 0) : fontMetrics().size(Qt::TextShowMnemonic, text());
  const int gap = (!icon().isNull() && !text().isEmpty()) ? kImageTextGap : 0;
  const QSize content = alignment_ == ImageAbove
                            ? QSize(std::max(image.width(), label.width()), image.height() + gap + label.height())
                            : QSize(image.width() + gap + label.width(), std::max(image.height(), label.height()));
  // Frame, edge and focus rectangle on each side, and some air.
  return (content + QSize(2 * (kFocusInset + 2) + 12, 2 * (kFocusInset + 2) + 4)).expandedTo(QSize(24, 23));
}

QColor ImageButton::backgroundNow() const {
  if (hot_ || isDown() || isChecked()) return colors_[HotBackground];
  return hasFocus() ? colors_[FocusBackground] : colors_[NormalBackground];
}

QColor ImageButton::textNow() const {
  if (hot_ || isDown() || isChecked()) return colors_[HotText];
  return hasFocus() ? colors_[FocusText] : colors_[NormalText];
}

void ImageButton::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  QRect face = rect();
  const bool pressed = isDown() || isChecked();

  // Background: a non-flat button that has the focus or is the default one
  // gets a one-pixel black frame, and the rest is drawn inside it.
  if (!isFlat() && (hasFocus() || isDefault())) {
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(face.adjusted(0, 0, -1, -1));
    face.adjust(1, 1, -1, -1);
  }
  if (!transparent_) painter.fillRect(face, backgroundNow());

  // Border: a 3-D edge on ordinary buttons (sunken while pressed); a thin
  // one on flat buttons only while hot or pressed.
  const QColor light = palette().color(QPalette::Light);
  const QColor mid = palette().color(QPalette::Mid);
  const QColor dark = palette().color(QPalette::Shadow);
  auto edge = [&painter](QRect r, const QColor& topLeft, const QColor& bottomRight) {
    painter.setPen(topLeft);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
  };
  if (!isFlat()) {
    if (pressed) {
      edge(face, dark, light);
      edge(face.adjusted(1, 1, -1, -1), mid, colors_[HotBackground]);
    } else {
      edge(face, light, dark);
      edge(face.adjusted(1, 1, -1, -1), colors_[NormalBackground], mid);
    }
  } else if (pressed) {
    edge(face, mid, light);
  } else if (hot_) {
    edge(face, light, mid);
  }

  // Image and text, side by side or stacked, centred as a block; a pressed
  // button's content moves one pixel down and right.
  const QRect content = face.adjusted(3, 3, -3, -3).translated(pressed ? QPoint(1, 1) : QPoint());
  const QIcon::Mode mode = !isEnabled() ? QIcon::Disabled : (hot_ ? QIcon::Active : QIcon::Normal);
  const QPixmap image = icon().isNull() ? QPixmap() : icon().pixmap(iconSize(), devicePixelRatio(), mode);
  const QSize imageSize = image.isNull() ? QSize(0, 0) : image.deviceIndependentSize().toSize();
  const QFontMetrics metrics(font());
  const QString shown = text();
  const QSize textSize = shown.isEmpty() ? QSize(0, 0) : metrics.size(Qt::TextShowMnemonic, shown);
  const int gap = (!image.isNull() && !shown.isEmpty()) ? kImageTextGap : 0;

  QRect imageRect;
  QRect textRect;
  if (alignment_ == ImageAbove) {
    const int height = imageSize.height() + gap + textSize.height();
    const int top = content.top() + (content.height() - height) / 2;
    imageRect = QRect(content.left() + (content.width() - imageSize.width()) / 2, top, imageSize.width(),
                      imageSize.height());
    textRect = QRect(content.left(), top + imageSize.height() + gap, content.width(), textSize.height());
  } else {
    const int width = imageSize.width() + gap + textSize.width();
    const int left = content.left() + (content.width() - width) / 2;
    const int imageLeft = alignment_ == ImageLeft ? left : left + textSize.width() + gap;
    const int textLeft = alignment_ == ImageLeft ? left + imageSize.width() + gap : left;
    imageRect = QRect(imageLeft, content.top() + (content.height() - imageSize.height()) / 2, imageSize.width(),
                      imageSize.height());
    textRect = QRect(textLeft, content.top(), textSize.width(), content.height());
  }
  if (!image.isNull()) painter.drawPixmap(imageRect.topLeft(), image);
  if (!shown.isEmpty()) {
    painter.setFont(font());
    painter.setPen(isEnabled() ? textNow() : palette().color(QPalette::Disabled, QPalette::ButtonText));
    const int flags = Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    painter.drawText(textRect, flags, shown);
  }

  if (hasFocus() && (!isFlat() || drawFocusRect_)) {
    painter.setPen(QPen(textNow(), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(kFocusInset, kFocusInset, -kFocusInset - 1, -kFocusInset - 1));
  }
}

}  // namespace ov
