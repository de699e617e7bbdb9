#include "widgets/GradientIconButton.h"

#include <QEnterEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>

namespace ov {

GradientPalette MakeGradientPalette(const QColor& from, const QColor& to) {
  GradientPalette palette{};
  const int last = kGradientSteps - 1;
  for (int i = 0; i < kGradientSteps; ++i) {
    auto channel = [i, last](int a, int b) { return a + (b - a) * i / last; };
    palette[i] = qRgb(channel(from.red(), to.red()), channel(from.green(), to.green()),
                      channel(from.blue(), to.blue()));
  }
  return palette;
}

// --- group ---

GradientButtonGroup::GradientButtonGroup(QObject* parent) : QObject(parent) {}

void GradientButtonGroup::addButton(GradientIconButton* button) {
  if (button == nullptr) return;
  if (button->group_ != this) {
    button->setGroup(this);
    return;
  }
  if (!buttons_.contains(button)) buttons_.append(button);
}

void GradientButtonGroup::removeButton(GradientIconButton* button) {
  buttons_.removeAll(button);
  if (button != nullptr && button->group_ == this) button->group_ = nullptr;
}

QList<GradientIconButton*> GradientButtonGroup::buttons() const {
  QList<GradientIconButton*> out;
  for (const auto& button : buttons_) {
    if (button) out.append(button.data());
  }
  return out;
}

GradientIconButton* GradientButtonGroup::checkedButton() const {
  for (const auto& button : buttons_) {
    if (button && button->kind() == GradientIconButton::RadioButton && button->isChecked()) return button.data();
  }
  return nullptr;
}

void GradientButtonGroup::radioSet(GradientIconButton* setter) {
  for (const auto& button : buttons()) {
    if (button != setter) button->clearByGroup();
  }
}

// --- button ---

GradientIconButton::GradientIconButton(QWidget* parent) : QAbstractButton(parent) {
  // Radio buttons clear each other only through a group of ours, never by
  // Qt's rule of siblings.
  setAutoExclusive(false);
  setIconSize(QSize(16, 16));
  makePalettes();
  connect(this, &QAbstractButton::toggled, this, &GradientIconButton::onToggled);
}

void GradientIconButton::setKind(Kind kind) {
  kind_ = kind;
  setCheckable(kind_ != PushButton);
  makePalettes();
  updateToolTip();
  update();
}

void GradientIconButton::setGroup(GradientButtonGroup* group) {
  if (group_ == group) return;
  if (group_) group_->removeButton(this);
  group_ = group;
  if (group_) group_->addButton(this);
}

void GradientIconButton::setToolTips(const QString& unchecked, const QString& checked) {
  uncheckedTip_ = unchecked;
  checkedTip_ = checked;
  updateToolTip();
}

void GradientIconButton::updateToolTip() {
  setToolTip(isChecked() && !checkedTip_.isEmpty() ? checkedTip_ : uncheckedTip_);
}

void GradientIconButton::onToggled(bool checked) {
  if (checked && kind_ == RadioButton && group_) group_->radioSet(this);
  updateToolTip();
  update();
}

void GradientIconButton::clearByGroup() {
  if (kind_ == RadioButton && isChecked()) setChecked(false);
}

void GradientIconButton::nextCheckState() {
  if (kind_ == RadioButton) {
    setChecked(true);
  } else if (kind_ == CheckBox) {
    setChecked(!isChecked());
  }
}

void GradientIconButton::keyPressEvent(QKeyEvent* event) {
  // Check boxes and radio buttons change as the space key goes down.
  if (kind_ != PushButton && event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    if (!event->isAutoRepeat()) click();
    event->accept();
    return;
  }
  QAbstractButton::keyPressEvent(event);
}

void GradientIconButton::keyReleaseEvent(QKeyEvent* event) {
  if (kind_ != PushButton && event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QAbstractButton::keyReleaseEvent(event);
}

void GradientIconButton::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  hot_ = true;
  update();
}

void GradientIconButton::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  hot_ = false;
  update();
}

void GradientIconButton::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange) makePalettes();
  QAbstractButton::changeEvent(event);
}

void GradientIconButton::makePalettes() {
  const QColor light = palette().color(QPalette::Light);
  const QColor face = palette().color(QPalette::Button);
  const QColor dark = palette().color(QPalette::Dark);
  // Halfway from the face to the shadow: the foot of the resting face.
  const QColor foot = QColor::fromRgb(MakeGradientPalette(face, dark)[kGradientSteps / 2]);
  rest_ = MakeGradientPalette(light, foot);
  down_ = MakeGradientPalette(dark, face);
  hotPalette_ = MakeGradientPalette(light, face);
}

QSize GradientIconButton::sizeHint() const { return iconSize() + QSize(8, 8); }

void GradientIconButton::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QRect all = rect();
  const bool down = isDown() || isChecked();
  const GradientPalette& face = down ? down_ : (hot_ && isEnabled() ? hotPalette_ : rest_);

  // The face inside the outline: the palette spread over its rows, top to
  // bottom.
  const QRect inner = all.adjusted(1, 1, -1, -1);
  const int span = std::max(1, inner.height() - 1);
  for (int y = inner.top(); y <= inner.bottom(); ++y) {
    const int index = std::min(kGradientSteps - 1, (y - inner.top()) * (kGradientSteps - 1) / span);
    painter.setPen(QColor::fromRgb(face[index]));
    painter.drawLine(inner.left(), y, inner.right(), y);
  }

  // A one-pixel outline: the highlight colour while hot, darker while
  // pressed or checked.
  const bool hot = hot_ && isEnabled() && !down;
  painter.setPen(palette().color(hot ? QPalette::Highlight : (down ? QPalette::Shadow : QPalette::Dark)));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(all.adjusted(0, 0, -1, -1));

  if (!icon().isNull()) {
    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    const QPixmap image = icon().pixmap(iconSize(), devicePixelRatio(), mode);
    const QSize size = image.deviceIndependentSize().toSize();
    QPoint at((all.width() - size.width()) / 2, (all.height() - size.height()) / 2);
    if (down) at += QPoint(1, 1);
    painter.drawPixmap(at, image);
  }
  if (hasFocus()) {
    painter.setPen(QPen(palette().color(QPalette::ButtonText), 1, Qt::DotLine));
    painter.drawRect(all.adjusted(2, 2, -3, -3));
  }
}

}  // namespace ov
