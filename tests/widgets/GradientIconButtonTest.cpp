#include "widgets/GradientIconButton.h"

#include <gtest/gtest.h>

#include <QKeyEvent>

#include <memory>

#include "widgets/TestLook.h"

namespace ov {
namespace {

TEST(GradientPalette, RunsFromOneColourToTheOther) {
  const GradientPalette palette = MakeGradientPalette(QColor(255, 255, 255), QColor(127, 127, 127));
  EXPECT_EQ(palette.size(), 129u);
  EXPECT_EQ(palette[0], qRgb(255, 255, 255));
  EXPECT_EQ(palette[64], qRgb(191, 191, 191));
  EXPECT_EQ(palette[128], qRgb(127, 127, 127));

  GradientIconButton button;
  EXPECT_EQ(button.restPalette()[0], test::kLight);
  EXPECT_EQ(button.restPalette()[128], qRgb(0xA0, 0xA0, 0xA0));  // halfway from face to shadow
  EXPECT_EQ(button.downPalette()[0], test::kDark);
  EXPECT_EQ(button.downPalette()[128], test::kButton);
  EXPECT_EQ(button.hotPalette()[128], test::kButton);
}

std::unique_ptr<GradientIconButton> Radio(QWidget* parent, GradientButtonGroup* group) {
  auto button = std::make_unique<GradientIconButton>(parent);
  button->setKind(GradientIconButton::RadioButton);
  button->setGroup(group);
  return button;
}

TEST(GradientIconButtonRadio, SettingOneClearsTheOthersOfItsGroupOnly) {
  QWidget dialog;
  GradientButtonGroup modes;
  GradientButtonGroup ranges;
  auto quick = Radio(&dialog, &modes);
  auto advanced = Radio(&dialog, &modes);
  auto raw = Radio(&dialog, &modes);
  auto entire = Radio(&dialog, &ranges);
  auto loose = Radio(&dialog, nullptr);

  entire->setChecked(true);
  loose->setChecked(true);
  quick->click();
  EXPECT_TRUE(quick->isChecked());
  advanced->click();
  EXPECT_FALSE(quick->isChecked());
  EXPECT_TRUE(advanced->isChecked());
  EXPECT_FALSE(raw->isChecked());
  EXPECT_EQ(modes.checkedButton(), advanced.get());
  EXPECT_TRUE(entire->isChecked());
  EXPECT_TRUE(loose->isChecked());

  // A radio button is set by a click, not toggled.
  advanced->click();
  EXPECT_TRUE(advanced->isChecked());

  // A button that leaves the group stops clearing it.
  raw->setGroup(&ranges);
  raw->setChecked(true);
  EXPECT_TRUE(advanced->isChecked());
  EXPECT_FALSE(entire->isChecked());
  EXPECT_EQ(modes.buttons().size(), 2);
}

TEST(GradientIconButtonCheck, SpaceKeyTogglesOnTheWayDownAndTooltipFollows) {
  GradientIconButton button;
  button.setKind(GradientIconButton::CheckBox);
  button.setToolTips(QStringLiteral("Show the log"), QStringLiteral("Hide the log"));
  EXPECT_EQ(button.toolTip(), QStringLiteral("Show the log"));

  QKeyEvent down(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
  QApplication::sendEvent(&button, &down);
  EXPECT_TRUE(button.isChecked());
  EXPECT_EQ(button.toolTip(), QStringLiteral("Hide the log"));
  QKeyEvent up(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier);
  QApplication::sendEvent(&button, &up);
  EXPECT_TRUE(button.isChecked());
  button.click();
  EXPECT_FALSE(button.isChecked());

  // With no checked text, the unchecked one shows in both states.
  button.setToolTips(QStringLiteral("Save Data"));
  button.setChecked(true);
  EXPECT_EQ(button.toolTip(), QStringLiteral("Save Data"));

  GradientIconButton push;
  push.click();
  EXPECT_FALSE(push.isChecked());
}

TEST(GradientIconButtonPaint, FaceIsTheGradientLightToFace) {
  GradientIconButton button;
  button.resize(24, 129 + 2);
  const QImage rest = test::Grab(button);
  EXPECT_EQ(test::Pixel(rest, 12, 0), test::kDark);  // outline
  EXPECT_EQ(test::Pixel(rest, 12, 1), button.restPalette()[0]);
  EXPECT_EQ(test::Pixel(rest, 12, 129), button.restPalette()[128]);
  button.setKind(GradientIconButton::CheckBox);
  button.setChecked(true);
  const QImage down = test::Grab(button);
  EXPECT_EQ(test::Pixel(down, 12, 65), button.downPalette()[64]);
}

}  // namespace
}  // namespace ov
