#pragma once
// The files setup copies, in the order it copies them: the order fixes the
// progress values and the point at which a run stops.
//
// Most rows go into the installation folder. A few are recognised by name:
// the uninstaller goes into our Windows folder instead (and gets its menu
// entry); the drive lister is copied into the Windows folder too, and the
// disk-description reverter into the system folder too. The Windows names of
// those rows are recognised as well, so a list in either form installs alike.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ov::setup {

enum class RowKind {
  Plain,        // into the installation folder only
  Uninstaller,  // into the Windows folder instead, with its menu entry
  WindowsCopy,  // into the installation folder and the Windows folder
  SystemCopy,   // into the installation folder and the system folder
};

// "ovnss-uninstall" and "UninstallOV.exe" exactly; the drive lister
// ("ovnss-drvlist", "Drvlist.exe") and the reverter ("ovnss-revertwmi",
// "revertwmi.bat") ignoring case.
RowKind KindOf(std::string_view name);

using InstallList = std::vector<std::string>;

// This platform's list: every file the installed program needs, as the build
// lays them out in its program folder. Generated from setup/InstallList.txt.
InstallList PlatformInstallList();

}  // namespace ov::setup
