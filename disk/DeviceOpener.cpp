#include "disk/DeviceOpener.h"

#include <cstdlib>

#include "disk/Inventory.h"

namespace ov {

std::optional<std::filesystem::path> ResolveDevicePath(Registry& registry, std::string_view devicePath) {
  if (devicePath == kFloppyDevicePath) {
    const char* floppy = std::getenv("OVNSS_FLOPPY");
    return std::filesystem::path(floppy && *floppy ? floppy : "/dev/fd0");
  }
  for (unsigned d = 0; d < kDevicePathTable.size(); ++d) {
    if (kDevicePathTable[d] != devicePath) continue;
    std::string file = registry.ReadText(RegistryRoot::ClassesRoot, kDevicePathKey, "Disk" + std::to_string(d));
    if (file.empty()) return std::nullopt;
    return std::filesystem::path(file);
  }
  return std::nullopt;
}

std::unique_ptr<Device> RegistryDeviceOpener::Open(std::string_view devicePath) {
  auto file = ResolveDevicePath(registry_, devicePath);
  if (!file) return nullptr;
  return FileDevice::Open(*file);
}

}  // namespace ov
