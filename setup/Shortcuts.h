#pragma once
// Shortcuts as freedesktop desktop entries: the program's entry on the
// desktop and in the applications menu, and the uninstaller's menu entry.

#include <filesystem>
#include <optional>
#include <string>

namespace ov::setup {

struct Shortcut {
  std::filesystem::path target;         // the program to start
  std::filesystem::path workingFolder;  // empty: none
  std::string description;              // the entry's name
  std::filesystem::path icon;           // empty: a stock icon
  bool terminal = false;                // runs in a terminal window
};

// The desktop entry's text: Type=Application with the target quoted in Exec
// as the freedesktop desktop-entry format asks (so folders with blanks work).
std::string DesktopEntryText(const Shortcut& shortcut);

// Writes the entry (through a temporary file, so no half-written entry is
// left) and marks it executable, as desktops require of launchers they
// trust. False when it could not be written.
bool WriteShortcut(const std::filesystem::path& file, const Shortcut& shortcut);

// The program an entry starts (its Exec key unquoted), or nothing when the
// file is not a desktop entry of ours.
std::optional<std::filesystem::path> ShortcutTarget(const std::filesystem::path& file);

}  // namespace ov::setup
