#include "platform/BalloonGeometry.h"

#include <gtest/gtest.h>

namespace ov::balloon {
namespace {

const Rect kArea{0, 0, 1024, 740};

Point ApexOnScreen(const Placement& p) { return {p.window.left + p.shape.apex.x, p.window.top + p.shape.apex.y}; }

bool Inside(const Rect& inner, const Rect& outer) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

TEST(BalloonGeometryTest, SizesAndOptions) {
  EXPECT_EQ(ClientSize({80, 15}, {200, 45}), (Size{200, 68}));
  EXPECT_EQ(ClientSize({120, 15}, {0, 0}), (Size{120, 23}));
  EXPECT_EQ(WindowSize({200, 68}), (Size{216, 104}));
  EXPECT_EQ(ContentWidthLimit(kArea), 512);
  EXPECT_EQ(LaunchOptions(0x7F, true), 0x27Fu);
  EXPECT_EQ(LaunchOptions(0x7F, false), 0xC27Fu);
  EXPECT_EQ(HoverTolerance(std::nullopt), 3);
  EXPECT_EQ(HoverTolerance(0), 3);
  EXPECT_EQ(HoverTolerance(4), 4);
}

TEST(BalloonGeometryTest, ShapeByTailSideWithClampedTail) {
  const Size size{220, 100};  // d = 50
  const Shape topRight = MakeShape(size, {true, true});
  EXPECT_EQ(topRight.body, (Rect{0, 20, 220, 100}));
  EXPECT_EQ(topRight.base1, (Point{150, 21}));
  EXPECT_EQ(topRight.base2, (Point{170, 21}));
  EXPECT_EQ(topRight.apex, (Point{170, 1}));

  const Shape bottomLeft = MakeShape(size, {false, false});
  EXPECT_EQ(bottomLeft.body, (Rect{0, 0, 220, 80}));
  EXPECT_EQ(bottomLeft.base1, (Point{70, 78}));
  EXPECT_EQ(bottomLeft.base2, (Point{50, 78}));
  EXPECT_EQ(bottomLeft.apex, (Point{50, 98}));

  const Shape pushed = MakeShape(size, {false, true}, 45);
  EXPECT_EQ(pushed.base1.x, 195);
  EXPECT_EQ(pushed.base2.x, 212);
  EXPECT_EQ(pushed.apex.x, 212) << "clamped to width - 8";
  EXPECT_EQ(MakeShape(size, {false, false}, -60).apex.x, 8);
}

TEST(BalloonGeometryTest, TailSideByAnchorAgainstCentre) {
  EXPECT_EQ(ChooseTail({10, 10}, kArea), (TailSide{true, false}));
  EXPECT_EQ(ChooseTail({1000, 10}, kArea), (TailSide{true, true}));
  EXPECT_EQ(ChooseTail({10, 700}, kArea), (TailSide{false, false}));
  EXPECT_EQ(ChooseTail({1000, 700}, kArea), (TailSide{false, true}));
}

// Near each corner the tail points at the anchor and the body stays in the
// area; near the lower right the tail is at the bottom, right quarter.
TEST(BalloonGeometryTest, PlacedNearEachCornerInsideTheArea) {
  const Size size{300, 90};
  const Rect area{100, 50, 1124, 790};
  for (const Point anchor : {Point{106, 55}, Point{1118, 55}, Point{106, 785}, Point{1118, 785}}) {
    SCOPED_TRACE(::testing::Message() << anchor.x << "," << anchor.y);
    const Placement p = Place(size, anchor, area);
    const Rect body{p.window.left + p.shape.body.left, p.window.top + p.shape.body.top,
                    p.window.left + p.shape.body.right, p.window.top + p.shape.body.bottom};
    EXPECT_TRUE(Inside(body, area));
    EXPECT_GE(p.window.left, area.left);
    EXPECT_LE(p.window.right, area.right);
    EXPECT_GE(p.window.top, area.top - 20);
    EXPECT_LE(p.window.bottom, area.bottom + 20);
    const Point apex = ApexOnScreen(p);
    EXPECT_LE(std::abs(apex.x - anchor.x), 2) << "the tail follows a sideways shift";
    EXPECT_EQ(apex.y, anchor.y);
  }
  const Placement lowerRight = Place(size, {1118, 785}, area);
  EXPECT_EQ(lowerRight.side, (TailSide{false, true}));
  EXPECT_EQ(lowerRight.window.right, area.right);
}

TEST(BalloonGeometryTest, VerticalShiftLeavesTheApex) {
  const Size tall{200, 500};
  const Rect area{0, 0, 800, 600};
  const Placement p = Place(tall, {400, 320}, area);  // tail below, window would start above the area
  EXPECT_EQ(p.side.top, false);
  EXPECT_EQ(p.window.top, -20);
  EXPECT_EQ(p.shape.apex, MakeShape(tall, p.side).apex);
  const Placement unshifted = Place({200, 100}, {400, 320}, area);
  EXPECT_EQ(ApexOnScreen(unshifted), (Point{400, 320}));
}

TEST(BalloonGeometryTest, CloseRulesByOptionBits) {
  const Point launch{100, 100};
  EXPECT_FALSE(ClosesOn(0x7F, MouseEvent::Move, {103, 97}, launch, 3));
  EXPECT_TRUE(ClosesOn(0x7F, MouseEvent::Move, {104, 100}, launch, 3));
  EXPECT_TRUE(ClosesOn(0x7F, MouseEvent::Move, {100, 96}, launch, 3));
  EXPECT_FALSE(ClosesOn(0x3F, MouseEvent::Move, {200, 200}, launch, 3));
  EXPECT_TRUE(ClosesOn(kCloseOnRightUp, MouseEvent::RightUp, launch, launch, 3));
  EXPECT_FALSE(ClosesOn(kCloseOnRightUp, MouseEvent::RightDown, launch, launch, 3));
  EXPECT_TRUE(ClosesOn(kCloseOnMiddleDown, MouseEvent::MiddleDown, launch, launch, 3));
  EXPECT_FALSE(ClosesOn(kCloseOnLeftDown, MouseEvent::LeftUp, launch, launch, 3));
}

}  // namespace
}  // namespace ov::balloon
