#pragma once
// The uninstaller's work: it removes what setup installed and nothing else.
//
// The installation is found as the program finds it, through "FilePath" of
// the product key. Removed: each file of the install list in the
// installation folder, the copies setup put into the Windows and system
// folders, the uninstaller itself, the desktop and menu entries that point
// into the installation (or at the uninstaller), the product key's values
// "FilePath", "Language" and "LngFile" (and the key once it is empty), and
// the folders setup made, once they are empty. With the user's home named
// (UninstallHome), also the links to the programs, the activity log (unless
// kept), the run files left at the root of drive C and the registry store
// once it is empty. Anything else in those folders (a user's own files)
// stays, and so do the folders that hold it.

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

// What the program made in the user's home beside the installation, which
// goes with it.
struct UninstallHome {
  std::filesystem::path binFolder;     // setup's links to the programs (~/.local/bin)
  std::filesystem::path logFolder;     // the user's state folder, which may hold the activity log
  std::filesystem::path registryFile;  // the user's registry store, removed once it holds nothing
  bool keepLog = false;                // the user keeps the activity log
};

UninstallResult Uninstall(Registry& registry, const KnownFolders& folders, const InstallList& list,
                          const UninstallHome& home = {});

}  // namespace ov::setup
