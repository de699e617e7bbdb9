#pragma once
// Resolving the reader's device paths to real sources on this platform.

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "disk/RescueMap.h"
#include "disk/SectorReader.h"
#include "platform/Registry.h"

namespace ov {

// The file behind a device path: "\\.\PhysicalDrive<d>" is the block device
// or image recorded for disk d in "OV Windows\DevicePath"; the floppy path
// "\\.\A:" is $OVNSS_FLOPPY when set, else /dev/fd0. Nothing for any other
// path or an unrecorded disk.
std::optional<std::filesystem::path> ResolveDevicePath(Registry& registry, std::string_view devicePath);

// Opens the resolved file read-only as the disk it holds (a raw image, a
// split one, or a container: see ImageFormats.h). With a rescue map set for
// that file, the sectors the map does not give as read fail every read.
class RegistryDeviceOpener : public DeviceOpener {
public:
  explicit RegistryDeviceOpener(Registry& registry) : registry_(registry) {}
  std::unique_ptr<Device> Open(std::string_view devicePath) override;

  // Reads of `image` (any path naming the same file) follow `map`.
  void SetRescueMap(const std::filesystem::path& image, RescueMap map);
  void ClearRescueMap() { mapped_.reset(); }

private:
  Registry& registry_;
  struct Mapped {
    std::filesystem::path image;
    RescueMap map;
  };
  std::optional<Mapped> mapped_;
};

}  // namespace ov
