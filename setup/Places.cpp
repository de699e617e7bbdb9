#include "setup/Places.h"

#include <unistd.h>

#include <cstdlib>

#include "platform/Registry.h"

namespace ov::setup {

namespace {

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

std::filesystem::path Home() {
  const char* home = std::getenv("HOME");
  return home != nullptr && *home != '\0' ? std::filesystem::path(home) : std::filesystem::path("/");
}

}  // namespace

SetupPlaces PlacesFor(bool machineWide) {
  SetupPlaces places;
  places.machineWide = machineWide;
  places.folders = KnownFolders::FromEnvironment();
  places.registryFile = FileRegistry::DefaultLocation();
  places.binFolder = Home() / ".local" / "bin";
  if (machineWide) {
    const auto machine = FileRegistry::DefaultMachineLocation();
    if (!Named("OVNSS_REGISTRY") && !machine.empty()) places.registryFile = machine;
    if (!Named("OVNSS_START_MENU_DIR")) places.folders.startMenu = "/usr/local/share/applications";
    if (!Named("OVNSS_WINDOWS_DIR")) places.folders.windows = "/usr/local/lib/ovnss-setup";
    if (!Named("OVNSS_SYSTEM_DIR")) places.folders.system = places.folders.windows / "System32";
    places.binFolder = "/usr/local/bin";
  }
  if (const char* bin = std::getenv("OVNSS_BIN_DIR"); bin != nullptr) places.binFolder = bin;  // empty: no links
  return places;
}

SetupPlaces PlacesOfThisProcess() { return PlacesFor(::geteuid() == 0); }

}  // namespace ov::setup
