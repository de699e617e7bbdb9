#pragma once
// A recovery mode button. The left button press is swallowed, so a click
// chooses nothing; the keyboard chooses the mode, and moving the pointer
// over an enabled button chooses it (where the balloon explains it).

#include <QMouseEvent>
#include <QRadioButton>

namespace ov::window {

class ModeButton : public QRadioButton {
  Q_OBJECT
public:
  using QRadioButton::QRadioButton;

signals:
  void hovered();

protected:
  void mousePressEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) {
      e->accept();
      return;
    }
    QRadioButton::mousePressEvent(e);
  }
  void mouseReleaseEvent(QMouseEvent* e) override {
    if (e->button() == Qt::LeftButton) {
      e->accept();
      return;
    }
    QRadioButton::mouseReleaseEvent(e);
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (isEnabled()) emit hovered();
    QRadioButton::mouseMoveEvent(e);
  }
  void enterEvent(QEnterEvent* e) override {
    if (isEnabled()) emit hovered();
    QRadioButton::enterEvent(e);
  }
};

}  // namespace ov::window
