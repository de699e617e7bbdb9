#include "widgets/ImageButton.h"

#include <gtest/gtest.h>

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include "support/FakeProcessRunner.h"
#include "widgets/TestLook.h"

namespace ov {
namespace {

using test::CountColor;
using test::Grab;
using test::kButton;
using test::Pixel;

TEST(OffsetColor, ShiftsAllChannelsAndKeepsThemInRange) {
  EXPECT_EQ(OffsetColor(QColor(100, 50, 20), 30), QColor(130, 80, 50));
  EXPECT_EQ(OffsetColor(QColor(200, 100, 50), 100), QColor(255, 155, 105));  // reduced to 55
  EXPECT_EQ(OffsetColor(QColor(200, 100, 50), -100), QColor(150, 50, 0));    // reduced to -50
  EXPECT_EQ(OffsetColor(QColor(200, 100, 50), 256), QColor(200, 100, 50));   // refused
  ImageButton button;
  EXPECT_FALSE(button.offsetColor(ImageButton::NormalText, -256));
  EXPECT_TRUE(button.offsetColor(ImageButton::NormalBackground, 255));
  EXPECT_EQ(button.color(ImageButton::NormalBackground), QColor(255, 255, 255));
}

void Enter(QWidget& widget) {
  QEnterEvent event(QPointF(5, 5), QPointF(5, 5), widget.mapToGlobal(QPointF(5, 5)));
  QApplication::sendEvent(&widget, &event);
}

void Leave(QWidget& widget) {
  QEvent event(QEvent::Leave);
  QApplication::sendEvent(&widget, &event);
}

TEST(ImageButtonHover, StepButtonTurnsHotWithItsOwnColours) {
  ImageButton button(QStringLiteral("&Next"));
  button.resize(90, 26);
  button.setFlat(true);
  button.setTrackAlways(true);
  button.applyStepLook(ImageButton::ImageRight);
  EXPECT_EQ(button.imageAlignment(), ImageButton::ImageRight);
  EXPECT_EQ(button.color(ImageButton::HotBackground).rgb(), 0xFFDEDEDEu);  // face + 30
  const QRgb green = 0xFF008000;

  const QImage normal = Grab(button);
  EXPECT_EQ(Pixel(normal, 2, 13), kButton);
  EXPECT_EQ(CountColor(normal, normal.rect(), green), 0);
  EXPECT_GT(CountColor(normal, normal.rect(), test::kButtonText), 10);

  Enter(button);
  EXPECT_TRUE(button.isHot());
  const QImage hot = Grab(button);
  EXPECT_EQ(Pixel(hot, 4, 13), 0xFFDEDEDEu);
  EXPECT_GT(CountColor(hot, hot.rect(), green), 10);
  EXPECT_EQ(CountColor(hot, hot.rect(), test::kButtonText), 0);

  Leave(button);
  EXPECT_FALSE(button.isHot());
  EXPECT_EQ(Grab(button), normal);
}

TEST(ImageButtonHover, OnlyFlatButtonsTurnHot) {
  ImageButton button(QStringLiteral("Plain"));
  button.setTrackAlways(true);
  Enter(button);
  EXPECT_FALSE(button.isHot());
  // Without tracking always, a flat button waits for an active window.
  ImageButton flat(QStringLiteral("Flat"));
  flat.setFlat(true);
  if (QApplication::activeWindow() == nullptr) {
    Enter(flat);
    EXPECT_FALSE(flat.isHot());
  }
}

TEST(ImageButtonPaint, FocusedOrDefaultButtonGetsABlackFrameAndAFocusRectangle) {
  QWidget window;
  ImageButton button(QStringLiteral("OK"), &window);
  button.setGeometry(0, 0, 80, 26);
  EXPECT_NE(Pixel(Grab(button), 0, 0), 0xFF000000u);
  button.setDefault(true);
  const QImage framed = Grab(button);
  EXPECT_EQ(Pixel(framed, 0, 0), 0xFF000000u);
  EXPECT_EQ(Pixel(framed, 79, 25), 0xFF000000u);
  EXPECT_EQ(Pixel(framed, 40, 1), test::kLight);  // the edge, inside the frame
}

TEST(ImageButtonPaint, FocusRectangleLiesThreePixelsInside) {
  QWidget window;
  window.resize(120, 40);
  ImageButton button(QStringLiteral("Go"), &window);
  button.setGeometry(0, 0, 80, 26);
  button.setFlat(true);
  button.setDrawFocusRect(false);
  ASSERT_TRUE(test::ShowAndSettle(window));
  window.activateWindow();
  button.setFocus();
  if (!test::WaitUntil([&] { return button.hasFocus(); }, 2000)) GTEST_SKIP() << "this platform gives no window the focus";

  const QRgb text = test::kButtonText;
  const QRect row3(4, 3, 72, 1);
  EXPECT_EQ(CountColor(Grab(button), row3, text), 0);  // a flat button without the flag draws none
  button.setDrawFocusRect(true);
  const QImage flat = Grab(button);
  EXPECT_GT(CountColor(flat, row3, text), 20);  // dotted: every other pixel
  EXPECT_EQ(CountColor(flat, QRect(4, 2, 72, 1), text), 0);
  EXPECT_GT(CountColor(flat, QRect(3, 4, 1, 18), text), 5);
  EXPECT_GT(CountColor(flat, QRect(76, 4, 1, 18), text), 5);
}

TEST(ImageButtonClick, CheckBoxBeforeMenuBeforeLink) {
  test::FakeProcessRunner runner;
  ImageButton button(QStringLiteral("Site"));
  button.setProcessRunner(&runner);
  button.setLink(QStringLiteral("https://example.org/help"));

  button.setCheckBox(true);
  button.click();
  EXPECT_TRUE(button.isChecked());
  button.click();
  EXPECT_FALSE(button.isChecked());
  EXPECT_TRUE(runner.Calls().empty());

  button.setCheckBox(false);
  button.click();
  const auto opened = runner.Calls(test::ProcessCallKind::ShellOpen);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].program.string(), "https://example.org/help");

  QString failed;
  QObject::connect(&button, &ImageButton::linkFailed, [&](const QString& link) { failed = link; });
  runner.shellOpenResult = false;
  button.click();
  EXPECT_EQ(failed, QStringLiteral("https://example.org/help"));
}

TEST(ImageButtonClick, DropDownMenuSendsTheChosenCommand) {
  test::FakeProcessRunner runner;
  ImageButton button(QStringLiteral("More"));
  button.setProcessRunner(&runner);
  button.setLink(QStringLiteral("never-opened"));
  QMenu menu;
  menu.addAction(QStringLiteral("One"))->setData(32851);
  menu.addAction(QStringLiteral("Two"))->setData(32860);
  button.setDropDownMenu(&menu);

  int told = 0;
  QList<int> commands;
  QObject::connect(&button, &ImageButton::menuAboutToShow, [&] { ++told; });
  QObject::connect(&button, &ImageButton::menuCommand, [&](int command) { commands.append(command); });
  // Choose the second item once the menu is up.
  QTimer::singleShot(50, [&menu] {
    for (int key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return}) {
      QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
      QApplication::sendEvent(&menu, &press);
    }
  });
  button.click();
  EXPECT_EQ(told, 1);
  EXPECT_EQ(commands, QList<int>{32860});
  EXPECT_TRUE(runner.Calls().empty());
}

}  // namespace
}  // namespace ov
