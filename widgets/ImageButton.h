#pragma once
// A push button with an image beside or above its text, hover ("hot")
// colours, and optional check-box, drop-down menu or link behaviour.

#include <QColor>
#include <QPointer>
#include <QPushButton>
#include <QString>

#include <array>

class QMenu;

namespace ov {

class ProcessRunner;

// Shifts the red, green and blue of `color` by the same amount. `shade` must
// lie in −255 … 255 (otherwise the colour comes back unchanged); it is
// reduced as far as needed so that no channel leaves 0 … 255, so the colour's
// hue is kept.
QColor OffsetColor(const QColor& color, int shade);

class ImageButton : public QPushButton {
  Q_OBJECT

public:
  // The six colours: background and text for the hot or pressed state, for
  // the normal state and for the focused state.
  enum ColorRole {
    HotBackground = 0,
    HotText = 1,
    NormalBackground = 2,
    NormalText = 3,
    FocusBackground = 4,
    FocusText = 5,
  };
  enum ImageAlignment { ImageLeft = 0, ImageAbove = 1, ImageRight = 2 };

  // The focus rectangle lies this far inside the button's edge.
  static constexpr int kFocusInset = 3;
  // The look of the window's step buttons: hot background = face + 30, hot
  // text green.
  static constexpr int kStepHotShade = 30;
  static constexpr QRgb kStepHotText = 0xFF008000;

  explicit ImageButton(QWidget* parent = nullptr);
  ImageButton(const QString& text, QWidget* parent = nullptr);

  // Backgrounds default to the palette's button face, texts to its button
  // text.
  void setColor(ColorRole role, const QColor& color);
  QColor color(ColorRole role) const;
  // Shifts one colour as OffsetColor does; false (and nothing changed) when
  // `shade` is outside −255 … 255.
  bool offsetColor(ColorRole role, int shade);
  // Restores the six default colours.
  void setDefaultColors();
  // The window's "&Next" and "&Back" look: hot background = the normal
  // face shifted by kStepHotShade, hot text kStepHotText, and the given
  // image alignment. Hover colours show on flat buttons; pressed ones on all.
  void applyStepLook(ImageAlignment alignment);

  void setImageAlignment(ImageAlignment alignment);
  ImageAlignment imageAlignment() const { return alignment_; }

  // A flat button has no 3-D edge and turns hot while the pointer is over
  // it (QPushButton::setFlat). Non-flat buttons never turn hot.
  bool isHot() const { return hot_; }
  // Hot even while no window of the application is active.
  void setTrackAlways(bool always);
  bool trackAlways() const { return trackAlways_; }
  // Whether a flat button draws its focus rectangle (non-flat ones always do).
  void setDrawFocusRect(bool draw);
  bool drawFocusRect() const { return drawFocusRect_; }
  // A transparent button leaves its face unpainted, so the parent shows
  // through.
  void setTransparent(bool transparent);
  bool transparent() const { return transparent_; }

  // Check-box behaviour: a click toggles the checked state.
  void setCheckBox(bool checkBox);
  bool isCheckBox() const { return isCheckable(); }

  // A menu shown under the button on a click (when it is not a check box).
  // `notify`, when given, is told first through menuAboutToShow(); the
  // chosen action's command (its data() as int, else -1) is sent to the
  // owner through menuCommand() after the menu closes.
  void setDropDownMenu(QMenu* menu);
  QMenu* dropDownMenu() const { return menu_; }

  // A link opened through the desktop's opener on a click (when the button
  // is neither a check box nor has a menu). The runner is the system's
  // unless the caller sets one (tests); it must outlive the button.
  void setLink(const QString& link);
  QString link() const { return link_; }
  void setProcessRunner(ProcessRunner* runner);

  // Room for the image and the text as the alignment places them, inside
  // the frame, the edge and the focus rectangle.
  QSize sizeHint() const override;

signals:
  void hotChanged(bool hot);
  void menuAboutToShow();
  void menuCommand(int command);
  // The link could not be opened.
  void linkFailed(const QString& link);

protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  void init();
  void setHot(bool hot);
  void onClicked();
  QColor backgroundNow() const;
  QColor textNow() const;

  std::array<QColor, 6> colors_;
  ImageAlignment alignment_ = ImageLeft;
  bool hot_ = false;
  bool trackAlways_ = false;
  bool drawFocusRect_ = true;
  bool transparent_ = false;
  QPointer<QMenu> menu_;
  QString link_;
  ProcessRunner* runner_ = nullptr;
};

}  // namespace ov
