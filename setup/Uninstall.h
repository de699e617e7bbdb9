#pragma once
// The uninstaller's work: it removes what setup installed and nothing else.
//
// The installation is found as the program finds it, through "FilePath" of
// the product key. Removed: each file of the install list in the
// installation folder, the copies setup put into the Windows and system
// folders, the uninstaller itself, the desktop and menu entries that point
// into the installation (or at the uninstaller), the product key's values
// "FilePath", "Language" and "LngFile" (and the key once it is empty), and
// the folders setup made, once they are empty. Anything else in those
// folders (the program's activity log, a user's own files) stays, and so do
// the folders that hold it.

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Folders.h"
#include "platform/Registry.h"
#include "setup/InstallList.h"

namespace ov::setup {

struct UninstallResult {
  bool installed = false;                  // "FilePath" named a folder
  std::filesystem::path installFolder;
  std::vector<std::filesystem::path> removed;
  std::vector<std::filesystem::path> kept;  // files left in the installation folder
};

UninstallResult Uninstall(Registry& registry, const KnownFolders& folders, const InstallList& list);

}  // namespace ov::setup
