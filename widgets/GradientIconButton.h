#pragma once
// A small icon button with a gradient face that can also act as a check box
// or as a radio button of a group of its own.

#include <QAbstractButton>
#include <QColor>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <array>

namespace ov {

class GradientIconButton;

// Number of colours in each gradient palette of the face.
inline constexpr int kGradientSteps = 129;
using GradientPalette = std::array<QRgb, kGradientSteps>;

// The colours from `from` (index 0) to `to` (index 128), linear in each
// channel.
GradientPalette MakeGradientPalette(const QColor& from, const QColor& to);

// The radio buttons that clear each other. Setting one radio button of a
// group clears every other checked radio button of that group and of no
// other; a button in no group clears nothing. The group does not own its
// buttons; a destroyed button leaves it by itself.
class GradientButtonGroup : public QObject {
  Q_OBJECT

public:
  explicit GradientButtonGroup(QObject* parent = nullptr);

  void addButton(GradientIconButton* button);
  void removeButton(GradientIconButton* button);
  QList<GradientIconButton*> buttons() const;
  // The checked radio button, or nullptr.
  GradientIconButton* checkedButton() const;

private:
  friend class GradientIconButton;
  void radioSet(GradientIconButton* setter);

  QList<QPointer<GradientIconButton>> buttons_;
};

class GradientIconButton : public QAbstractButton {
  Q_OBJECT

public:
  enum Kind { PushButton = 0, CheckBox = 2, RadioButton = 4 };

  explicit GradientIconButton(QWidget* parent = nullptr);

  // A check box toggles on a click or on the space key going down; a radio
  // button is set by them (and cleared only by another of its group or by
  // setChecked(false)).
  void setKind(Kind kind);
  Kind kind() const { return kind_; }

  // The group whose other radio buttons this one clears; nullptr leaves any.
  void setGroup(GradientButtonGroup* group);
  GradientButtonGroup* group() const { return group_; }

  // The tooltip for each state; with no checked text set, the unchecked one
  // shows in both.
  void setToolTips(const QString& unchecked, const QString& checked = QString());
  QString uncheckedToolTip() const { return uncheckedTip_; }
  QString checkedToolTip() const { return checkedTip_; }

  // The face palettes, from the palette's light, button and dark colours as
  // they are when the button is made or its palette changes: at rest light →
  // halfway from button to dark; pressed or checked dark → button (lit from
  // below, so it looks sunk); hot light → button, under a highlight outline.
  const GradientPalette& restPalette() const { return rest_; }
  const GradientPalette& downPalette() const { return down_; }
  const GradientPalette& hotPalette() const { return hotPalette_; }

  QSize sizeHint() const override;

protected:
  void paintEvent(QPaintEvent* event) override;
  void nextCheckState() override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;

private:
  friend class GradientButtonGroup;
  void onToggled(bool checked);
  void clearByGroup();
  void updateToolTip();
  void makePalettes();

  Kind kind_ = PushButton;
  QPointer<GradientButtonGroup> group_;
  QString uncheckedTip_;
  QString checkedTip_;
  bool hot_ = false;
  GradientPalette rest_{};
  GradientPalette down_{};
  GradientPalette hotPalette_{};
};

}  // namespace ov
