#pragma once
// The window's views as data: for each view code the element changes that
// arrange the window, and for each picture code the step picture of each
// recovery mode. Plain data, no widgets: the window applies a view by id.

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ui/window/Ids.h"

namespace ov::window {

enum class RecoveryMode : int { None = 0, Quick = 1, Advance = 2, Raw = 3 };

enum class Change {
  Hide,
  Show,
  Disable,   // an element, or a menu item (grayed)
  Enable,
  Uncheck,   // a radio button, or every tick of a check-box list
  Check,
  Clear,     // a list loses its rows
  EmptyText,
  SetText,
  Picture,   // ShowStepPicture(picture)
  PictureFile,  // a picture by its file name
  ZeroProgress,
  DetailsColumns,  // the single "Details" column
  FileColumns,     // the six columns of the results step
  RemoveColumns,
};

// Which modes a change applies in. "Advance" means every mode but Quick,
// as the pictures of the pool and volume steps have it.
enum class When { Always, Quick, Advance };

struct ViewChange {
  Change change;
  int id = 0;                  // element or command; the picture code for Picture
  When when = When::Always;
  std::string_view text = {};  // SetText, PictureFile
};

// The changes of one view code, in order; empty for a code that is not a
// view (which changes nothing).
std::span<const ViewChange> ViewChanges(int code);
// The view codes that have changes.
std::span<const int> ViewCodes();

// True when a change applies in `mode`.
bool Applies(const ViewChange& c, RecoveryMode mode);

// The file name of step picture `code` in `mode`, or nothing when the
// picture stays as it is (or the code names no picture).
std::optional<std::string_view> StepPictureFile(int code, RecoveryMode mode);
// Every picture file the window may load.
std::span<const std::string_view> AllStepPictureFiles();

// The clock text: "%02i:%02i" on a 12-hour dial; hours 13 to 23 become 1
// to 11, 0 stays 0.
std::string ClockText(int hour, int minute);

}  // namespace ov::window
