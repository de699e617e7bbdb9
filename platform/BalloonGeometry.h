#pragma once
// The balloon window's geometry and close rules as plain functions: its size
// from the measured texts, which side and quarter carry the tail, the body
// and tail shape, and where the window goes so that the tail's tip points at
// the anchor while the window stays inside the placement area.
//
// Coordinates are pixels; rectangles include left/top and exclude
// right/bottom. Shapes are in window coordinates, placements in screen
// coordinates.

#include <cstdint>
#include <optional>

namespace ov::balloon {

struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Option bits of a balloon.
inline constexpr std::uint32_t kCloseOnLeftUp = 0x0001;
inline constexpr std::uint32_t kCloseOnMiddleUp = 0x0002;
inline constexpr std::uint32_t kCloseOnRightUp = 0x0004;
inline constexpr std::uint32_t kCloseOnLeftDown = 0x0008;
inline constexpr std::uint32_t kCloseOnMiddleDown = 0x0010;
inline constexpr std::uint32_t kCloseOnRightDown = 0x0020;
inline constexpr std::uint32_t kCloseOnMouseMove = 0x0040;
inline constexpr std::uint32_t kDeleteWithWindow = 0x0200;
inline constexpr std::uint32_t kNoFadeIn = 0x4000;
inline constexpr std::uint32_t kNoFadeOut = 0x8000;
// Every close rule that a mouse event can trigger.
inline constexpr std::uint32_t kMouseCloseRules = 0x007F;
// The button rules that make the balloon take the mouse capture.
inline constexpr std::uint32_t kButtonUpRules = 0x0007;

inline constexpr int kMargin = 8;         // around the client area
inline constexpr int kTail = 20;          // height of the tail
inline constexpr int kCorner = 24;        // corner ellipse width and height
inline constexpr int kHeaderGap = 8;      // between title and content
inline constexpr int kFadeMilliseconds = 200;

// The options a launch really uses: the requested ones, plus deletion with
// the window, plus no fades when fading is unavailable.
std::uint32_t LaunchOptions(std::uint32_t requested, bool canFade);

// The hover tolerance from the system's hover width; 3 pixels when the
// width is unknown or below 1.
int HoverTolerance(std::optional<int> hoverWidth);

// The widest the content may wrap to: half the placement area's width.
int ContentWidthLimit(const Rect& area);

// Client size: the wider of title and content, title height + 8 + content
// height. Window size: client + 16 wide, client + 36 high.
Size ClientSize(Size header, Size content);
Size WindowSize(Size client);

struct TailSide {
  bool top = false;    // tail above the body (anchor in the upper half)
  bool right = false;  // tail near the right quarter (anchor in the right half)
  friend bool operator==(const TailSide&, const TailSide&) = default;
};

// Upper half: the anchor lies above the area's centre line; right half: it
// lies right of the centre.
TailSide ChooseTail(Point anchor, const Rect& area);

struct Shape {
  Rect body;   // the rounded rectangle
  Point base1;  // the tail's base ...
  Point base2;
  Point apex;   // ... and its tip
  friend bool operator==(const Shape&, const Shape&) = default;
};

// The body and tail of a window of the given size. `apexShift` moves all
// three tail points sideways within the window (placement does this when it
// pushes the window back into the area); the x values are clamped to
// 8 .. width - 8.
Shape MakeShape(Size window, TailSide side, int apexShift = 0);

// Where the client area starts inside the window.
Point ClientOrigin(TailSide side);

struct Placement {
  Rect window;  // screen rectangle of the window
  TailSide side;
  Shape shape;  // window coordinates
};

// Places the window so that the apex lies on the anchor. A window that
// would leave the area sideways is moved back to the area's edge and the
// apex moved within it by the opposite amount; one whose body (the window
// less the 20 tail pixels at top and bottom) would leave it upwards or
// downwards is moved back to the edge without moving the apex.
Placement Place(Size window, Point anchor, const Rect& area);

// The mouse events that the close rules look at.
enum class MouseEvent { Move, LeftDown, LeftUp, MiddleDown, MiddleUp, RightDown, RightUp };

// True when the event closes a balloon launched with `options` while the
// cursor stood at `launch`. A move closes it when it lies more than
// `tolerance` away from the launch position in x or in y.
bool ClosesOn(std::uint32_t options, MouseEvent event, Point at, Point launch, int tolerance);

}  // namespace ov::balloon
