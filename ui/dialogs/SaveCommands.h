#pragma once
// The window's four ways to start a save, and the two recovery information
// items of its Options menu, as rules over the wizard's step and view.
// Qt-free: the window asks these before it calls the dialogs.

#include <optional>
#include <string_view>

#include "save/SaveRun.h"

namespace ov {

enum class SaveCommand {
  Menu,       // menu "&Save "
  Button,     // the small save button at the top left
  TreePopup,  // "Save" in the folder tree's pop-up (offered at step 3 only)
  ListPopup,  // "Save" in the file list's pop-up
  Found,      // "Save Ticked..." in the Find window
};

struct SaveCommandDecision {
  std::optional<SaveSource> source;     // the run to start, when it starts
  std::optional<std::string_view> message;  // the error to show instead (error icon)
};

// Every command needs the wizard at step 2 or later; before that only the
// button says so ("Go to step 2 and then use this option"), the others do
// nothing. The pop-up of the file list saves its rows, the Find window its
// ticked names, the others the ticks of the folder tree.
SaveCommandDecision DecideSaveCommand(SaveCommand command, int wizardStep);

// What a view of the wizard does to "Save Log" and "Load Log": enable,
// gray, or leave as they are. View 0 (leaving step 0 for the pools) enables
// "Load Log", view 1 (back at step 0) grays it; view 6 (the directory tree
// ready) enables "Save Log", view 7 (back from it) grays it.
struct RecoveryInfoItems {
  std::optional<bool> saveLog;
  std::optional<bool> loadLog;
};
RecoveryInfoItems RecoveryInfoItemsForView(int view);

}  // namespace ov
