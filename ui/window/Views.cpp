#include "ui/window/Views.h"

#include <array>
#include <cstdio>
#include <string>

namespace ov::window {

namespace {

using C = Change;
using W = When;

// The menu items view 6 enables and view 7 grays again.
#define RESULT_ITEMS(change)                                                                          \
  {change, kCmdSave}, {change, kCmdSaveLog}, {change, kCmdSaveSettings}, {change, kCmdViewList},      \
      {change, kCmdPrintList}, {change, kCmdEmailList}

// The Raw form: one panel holds its elements (the kinds, the method, the
// report, the button, the bar and the status) and resets them itself when
// it opens: nothing ticked, "Entire Disk", an empty report.
#define RAW_ELEMENTS(change) {change, kKindGroup}

constexpr ViewChange kView0[] = {
    {C::Hide, kModesGroup}, {C::Hide, kQuickButton}, {C::Hide, kAdvanceButton}, {C::Hide, kRawButton},
    {C::Picture, 4}, {C::Clear, kDetailsList}, {C::Hide, kSelectDiskGroup}, {C::Disable, kDiskTree},
    {C::Disable, kNextButton}, {C::Show, kStatusLine},
    {C::Show, kStopButton, W::Advance}, {C::Show, kSearchProgress, W::Advance},
    {C::SetText, kStatusLine, W::Advance, kSearchingPartitions},
    {C::Enable, kCmdLoadLog},
};

constexpr ViewChange kView1[] = {
    {C::Hide, kMoreButton}, {C::Picture, 1},
    {C::Show, kQuickButton}, {C::Show, kAdvanceButton}, {C::Show, kRawButton},
    {C::Disable, kQuickButton}, {C::Disable, kAdvanceButton}, {C::Disable, kRawButton},
    {C::Uncheck, kQuickButton}, {C::Uncheck, kAdvanceButton}, {C::Uncheck, kRawButton},
    {C::EmptyText, kStatusText}, {C::Show, kDiskTree}, {C::Enable, kDiskTree},
    {C::Show, kModesGroup}, {C::Show, kSelectDiskGroup}, {C::Hide, kBackButton}, {C::Disable, kNextButton},
    {C::EmptyText, kStatusLine}, {C::Hide, kStopButton}, {C::Hide, kSearchProgress}, {C::Hide, kPoolTree},
    {C::Disable, kCmdLoadLog},
};

constexpr ViewChange kView3[] = {
    {C::Hide, kModesGroup}, {C::Picture, 6, W::Advance}, {C::Hide, kDiskTree},
    {C::Show, kPoolTree}, {C::Enable, kPoolTree}, {C::EmptyText, kStatusText}, {C::EmptyText, kStatusLine},
    {C::Hide, kStopButton}, {C::Hide, kSearchProgress}, {C::Show, kBackButton}, {C::Enable, kBackButton},
    {C::Disable, kNextButton}, {C::Clear, kDetailsList},
};

constexpr ViewChange kView4[] = {
    {C::Picture, 7, W::Quick}, {C::Picture, 8, W::Advance}, {C::Hide, kPoolTree}, {C::Disable, kPoolTree},
    {C::Show, kVolumeTree}, {C::Clear, kDetailsList}, {C::Disable, kBackButton}, {C::Disable, kNextButton},
    {C::Hide, kMoreButton},
};

constexpr ViewChange kView5[] = {
    {C::Hide, kStopButton}, {C::Hide, kVolumeTree}, {C::Disable, kVolumeTree}, {C::Show, kFolderTree},
    {C::Disable, kFolderTree}, {C::Clear, kDetailsList}, {C::FileColumns, kDetailsList},
    {C::EmptyText, kStatusLine},
};

constexpr ViewChange kView6[] = {
    {C::Picture, 9}, {C::Hide, kSearchProgress}, {C::ZeroProgress, kSearchProgress}, {C::Enable, kBackButton},
    RESULT_ITEMS(C::Enable), {C::EmptyText, kStatusLine},
};

constexpr ViewChange kView7[] = {
    {C::Picture, 4, W::Quick}, {C::Picture, 6, W::Advance}, {C::Clear, kDetailsList},
    {C::RemoveColumns, kDetailsList}, {C::EmptyText, kStatusLine}, {C::DetailsColumns, kDetailsList},
    RESULT_ITEMS(C::Disable),
};

constexpr ViewChange kView8[] = {
    {C::PictureFile, kPicture, W::Always, "Step4_1.bmp"}, RAW_ELEMENTS(C::Show), {C::Disable, kNextButton},
    {C::Hide, kDetailsList}, {C::Hide, kQuickButton}, {C::Hide, kAdvanceButton}, {C::Hide, kRawButton},
    {C::Hide, kModesGroup}, {C::Hide, kDiskTree}, {C::Hide, kSelectDiskGroup}, {C::Show, kBackButton},
    {C::Enable, kBackButton},
};

constexpr ViewChange kView88[] = {
    {C::Picture, 1}, RAW_ELEMENTS(C::Hide), {C::Disable, kNextButton}, {C::Show, kDetailsList}, {C::Show, kQuickButton}, {C::Show, kAdvanceButton},
    {C::Show, kRawButton}, {C::Show, kModesGroup}, {C::Show, kDiskTree}, {C::Show, kSelectDiskGroup},
    {C::Hide, kBackButton}, {C::Disable, kBackButton},
};

constexpr ViewChange kView9[] = {
    {C::Disable, kPoolTree}, {C::Disable, kMoreButton}, {C::Disable, kBackButton}, {C::Disable, kNextButton},
    {C::Show, kMoreProgress},
};

constexpr ViewChange kView10[] = {
    {C::Enable, kPoolTree}, {C::Enable, kBackButton}, {C::Hide, kMoreProgress},
};

#undef RESULT_ITEMS
#undef RAW_ELEMENTS

struct ViewEntry {
  int code;
  std::span<const ViewChange> changes;
};

constexpr ViewEntry kViews[] = {
    {0, kView0}, {1, kView1}, {3, kView3}, {4, kView4}, {5, kView5}, {6, kView6},
    {7, kView7}, {8, kView8}, {88, kView88}, {9, kView9}, {10, kView10},
};

constexpr int kCodes[] = {0, 1, 3, 4, 5, 6, 7, 8, 88, 9, 10};

struct PictureEntry {
  int code;
  std::string_view quick, advance, raw;  // empty raw: unchanged
};

constexpr PictureEntry kPictures[] = {
    {1, "Step1.bmp", "Step1.bmp", "Step1.bmp"},
    {2, "Step2.bmp", "Step2.bmp", "Step2.bmp"},
    {3, "Step3.bmp", "Step3.bmp", "Step3.bmp"},
    {4, "help4.bmp", "help4old.bmp", "help4old.bmp"},
    {5, "help4.bmp", "help4.bmp", "help4.bmp"},
    {6, "help5.bmp", "SelectPoolAdvance.bmp", "SelectPoolAdvance.bmp"},
    {7, "help5.bmp", "help5.bmp", "help5.bmp"},
    {8, "mount6.bmp", "SelectVolumeAdvance.bmp", "SelectVolumeAdvance.bmp"},
    {9, "step6_1.bmp", "SaveFilesAdvance8.bmp", ""},
    {101, "mount7Advance.bmp", "mount7Advance.bmp", "mount7Advance.bmp"},
    {102, "SelectVolumeAdvance.bmp", "SelectVolumeAdvance.bmp", "SelectVolumeAdvance.bmp"},
};

constexpr std::string_view kAllPictures[] = {
    "Step1.bmp", "Step2.bmp", "Step3.bmp", "help4.bmp", "help4old.bmp", "help5.bmp",
    "SelectPoolAdvance.bmp", "mount6.bmp", "SelectVolumeAdvance.bmp", "step6_1.bmp",
    "SaveFilesAdvance8.bmp", "mount7Advance.bmp", "Step4_1.bmp",
};

}  // namespace

std::span<const ViewChange> ViewChanges(int code) {
  for (const auto& v : kViews) {
    if (v.code == code) return v.changes;
  }
  return {};
}

std::span<const int> ViewCodes() { return kCodes; }

bool Applies(const ViewChange& c, RecoveryMode mode) {
  switch (c.when) {
    case When::Always: return true;
    case When::Quick: return mode == RecoveryMode::Quick;
    case When::Advance: return mode != RecoveryMode::Quick;
  }
  return false;
}

std::optional<std::string_view> StepPictureFile(int code, RecoveryMode mode) {
  for (const auto& p : kPictures) {
    if (p.code != code) continue;
    // No mode chosen yet: the pictures of the first steps are the same in
    // every mode.
    const std::string_view name =
        mode == RecoveryMode::Raw ? p.raw : mode == RecoveryMode::Advance ? p.advance : p.quick;
    if (name.empty()) return std::nullopt;
    return name;
  }
  return std::nullopt;
}

std::span<const std::string_view> AllStepPictureFiles() { return kAllPictures; }

std::string ClockText(int hour, int minute) {
  char text[16];
  std::snprintf(text, sizeof text, "%02i:%02i", hour > 12 ? hour - 12 : hour, minute);
  return text;
}

}  // namespace ov::window
