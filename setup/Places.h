#pragma once
// Where setup and the uninstaller put and find an installation.
//
// A user's installation lives in the user's home: the registry store
// (~/.config/ovnss/registry.txt), the menu entries, the uninstaller in the
// drive-C folder and the links in ~/.local/bin. Run by root, the
// installation serves every user of the machine: the registry values go into
// the machine-wide store (/etc/ovnss/registry.txt) that every program reads
// beneath the user's, the menu entries into /usr/local/share/applications,
// the uninstaller into /usr/local/lib/ovnss-setup and the links into
// /usr/local/bin. Each place still yields to its environment variable
// (OVNSS_REGISTRY, OVNSS_START_MENU_DIR, OVNSS_WINDOWS_DIR, OVNSS_SYSTEM_DIR,
// OVNSS_BIN_DIR).

#include <filesystem>

#include "platform/Folders.h"

namespace ov::setup {

struct SetupPlaces {
  std::filesystem::path registryFile;
  KnownFolders folders;
  std::filesystem::path binFolder;
  bool machineWide = false;
};

// The places for a user with `machineWide` false, for root with true.
SetupPlaces PlacesFor(bool machineWide);
// The places of this process (machine-wide when run by root).
SetupPlaces PlacesOfThisProcess();

}  // namespace ov::setup
