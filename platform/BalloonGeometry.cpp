#include "platform/BalloonGeometry.h"

#include <algorithm>
#include <cstdlib>

namespace ov::balloon {

std::uint32_t LaunchOptions(std::uint32_t requested, bool canFade) {
  std::uint32_t options = requested | kDeleteWithWindow;
  if (!canFade) options |= kNoFadeIn | kNoFadeOut;
  return options;
}

int HoverTolerance(std::optional<int> hoverWidth) {
  if (!hoverWidth || *hoverWidth < 1) return 3;
  return *hoverWidth;
}

int ContentWidthLimit(const Rect& area) { return std::max(1, area.width() / 2); }

Size ClientSize(Size header, Size content) {
  return {std::max(header.width, content.width), header.height + kHeaderGap + content.height};
}

Size WindowSize(Size client) { return {client.width + 2 * kMargin, client.height + 2 * kMargin + kTail}; }

TailSide ChooseTail(Point anchor, const Rect& area) {
  // Doubled coordinates keep the centre exact for odd sizes.
  const int centreX2 = area.left + area.right;
  const int centreY2 = area.top + area.bottom;
  return {2 * anchor.y < centreY2, 2 * anchor.x >= centreX2};
}

Shape MakeShape(Size window, TailSide side, int apexShift) {
  const int w = window.width;
  const int h = window.height;
  const int d = (w - kTail) / 4;
  // Right half: the base runs from 3d to 3d + 20 with the tip over its right
  // end; left half: from d + 20 to d with the tip over its left end.
  int baseX1 = side.right ? 3 * d : d + kTail;
  int baseX2 = side.right ? 3 * d + kTail : d;
  int apexX = side.right ? 3 * d + kTail : d;
  auto clampX = [&](int x) { return std::clamp(x + apexShift, kMargin, std::max(kMargin, w - kMargin)); };
  baseX1 = clampX(baseX1);
  baseX2 = clampX(baseX2);
  apexX = clampX(apexX);
  Shape shape;
  if (side.top) {
    shape.body = {0, kTail, w, h};
    shape.base1 = {baseX1, kTail + 1};
    shape.base2 = {baseX2, kTail + 1};
    shape.apex = {apexX, 1};
  } else {
    shape.body = {0, 0, w, h - kTail};
    shape.base1 = {baseX1, h - kTail - 2};
    shape.base2 = {baseX2, h - kTail - 2};
    shape.apex = {apexX, h - 2};
  }
  return shape;
}

Point ClientOrigin(TailSide side) { return {kMargin, kMargin + (side.top ? kTail : 0)}; }

Placement Place(Size window, Point anchor, const Rect& area) {
  Placement p;
  p.side = ChooseTail(anchor, area);
  const Shape first = MakeShape(window, p.side);
  int left = anchor.x - first.apex.x;
  int top = anchor.y - first.apex.y;

  int apexShift = 0;
  if (left < area.left) {
    apexShift = left - area.left;
    left = area.left;
  } else if (left + window.width > area.right) {
    apexShift = left + window.width - area.right;
    left = area.right - window.width;
  }
  if (top + kTail < area.top) {
    top = area.top - kTail;
  } else if (top + window.height - kTail > area.bottom) {
    top = area.bottom - window.height + kTail;
  }
  p.shape = MakeShape(window, p.side, apexShift);
  p.window = {left, top, left + window.width, top + window.height};
  return p;
}

bool ClosesOn(std::uint32_t options, MouseEvent event, Point at, Point launch, int tolerance) {
  switch (event) {
    case MouseEvent::Move:
      return (options & kCloseOnMouseMove) &&
             (std::abs(at.x - launch.x) > tolerance || std::abs(at.y - launch.y) > tolerance);
    case MouseEvent::LeftUp: return options & kCloseOnLeftUp;
    case MouseEvent::MiddleUp: return options & kCloseOnMiddleUp;
    case MouseEvent::RightUp: return options & kCloseOnRightUp;
    case MouseEvent::LeftDown: return options & kCloseOnLeftDown;
    case MouseEvent::MiddleDown: return options & kCloseOnMiddleDown;
    case MouseEvent::RightDown: return options & kCloseOnRightDown;
  }
  return false;
}

}  // namespace ov::balloon
