#include "disk/DeviceOpener.h"

#include <cstdlib>

#include "disk/ImageFormats.h"
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
  OpenedImage image = OpenImage(*file);
  if (!image) return nullptr;
  std::error_code ec;
  if (mapped_ && std::filesystem::equivalent(mapped_->image, *file, ec)) {
    auto unreadable = mapped_->map.UnreadableSectors(image.device->SectorCount());
    return std::make_unique<MaskedDevice>(std::move(image.device), std::move(unreadable));
  }
  return std::move(image.device);
}

void RegistryDeviceOpener::SetRescueMap(const std::filesystem::path& image, RescueMap map) {
  mapped_ = Mapped{image, std::move(map)};
}

}  // namespace ov
