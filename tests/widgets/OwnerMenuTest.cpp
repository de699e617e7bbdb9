#include "widgets/OwnerMenu.h"

#include <gtest/gtest.h>

#include <QAction>

#include "widgets/TestLook.h"

namespace ov {
namespace {

QImage IconStrip() {
  // Two 16 × 15 cells: a red square and a blue one, each on the
  // transparent grey.
  QImage strip(32, 15, QImage::Format_RGB32);
  strip.fill(QColor::fromRgb(OwnerMenu::kIconTransparent));
  for (int y = 4; y < 11; ++y)
    for (int x = 4; x < 12; ++x) {
      strip.setPixel(x, y, qRgb(255, 0, 0));
      strip.setPixel(16 + x, y, qRgb(0, 0, 255));
    }
  return strip;
}

TEST(OwnerMenu, ItemsCarryCommandsAndIconsFromTheImageList) {
  OwnerMenu menu;
  QAction* save = menu.addItem(QStringLiteral("&Save "), 32830, 1);
  menu.addSeparator();
  OwnerMenu* help = menu.addSubMenu(QStringLiteral("&Help"));
  QAction* about = help->addItem(QStringLiteral("&About"), 32771);
  EXPECT_EQ(OwnerMenu::command(save), 32830);
  EXPECT_EQ(menu.findCommand(32771), about);
  EXPECT_EQ(menu.findCommand(1), nullptr);
  EXPECT_TRUE(save->icon().isNull());  // no image list yet

  menu.setImageList(IconStrip());
  EXPECT_EQ(menu.imageCount(), 2);
  const QImage blue = menu.image(1).toImage();
  EXPECT_EQ(blue.size(), QSize(OwnerMenu::kIconWidth, OwnerMenu::kIconHeight));
  EXPECT_EQ(qAlpha(blue.pixel(0, 0)), 0);
  EXPECT_EQ(blue.pixel(8, 8), qRgb(0, 0, 255));
  EXPECT_FALSE(save->icon().isNull());

  QList<int> chosen;
  QObject::connect(&menu, &OwnerMenu::commandChosen, [&](int command) { chosen.append(command); });
  save->trigger();
  EXPECT_EQ(chosen, QList<int>{32830});
  EXPECT_EQ(menu.selectedItem(), -1);
}

TEST(OwnerMenu, TheTwoLooksDrawTheirOwnFaceAndSelection) {
  OwnerMenu menu;
  menu.setImageList(IconStrip());
  QAction* first = menu.addItem(QStringLiteral("Save Log"), 32800, 0);
  menu.addItem(QStringLiteral("Load Log"), 32801);

  menu.setLook(MenuLook::Classic);
  menu.resize(menu.sizeHint());
  const QRect item = menu.actionGeometry(first);
  EXPECT_GE(item.height(), OwnerMenu::kIconHeight + 4);
  const QPoint blank(item.right() - 4, item.center().y());
  EXPECT_EQ(test::Pixel(test::Grab(menu), blank.x(), blank.y()), test::kButton);
  menu.setActiveAction(first);
  EXPECT_EQ(menu.selectedItem(), 0);
  EXPECT_EQ(test::Pixel(test::Grab(menu), blank.x(), blank.y()), test::kHighlight);

  menu.setActiveAction(nullptr);
  menu.setLook(MenuLook::Modern);
  menu.resize(menu.sizeHint());
  const QImage modern = test::Grab(menu);
  EXPECT_EQ(test::Pixel(modern, blank.x(), blank.y()), test::kBase);
  // The icon band in the button colour.
  EXPECT_EQ(test::Pixel(modern, item.left() + 1, item.top() + 1), test::kButton);
}

}  // namespace
}  // namespace ov
