#pragma once
// Resolving the reader's device paths to real sources on this platform.

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "disk/SectorReader.h"
#include "platform/Registry.h"

namespace ov {

// The file behind a device path: "\\.\PhysicalDrive<d>" is the block device
// or image recorded for disk d in "OV Windows\DevicePath"; the floppy path
// "\\.\A:" is $OVNSS_FLOPPY when set, else /dev/fd0. Nothing for any other
// path or an unrecorded disk.
std::optional<std::filesystem::path> ResolveDevicePath(Registry& registry, std::string_view devicePath);

// Opens the resolved file read-only.
class RegistryDeviceOpener : public DeviceOpener {
public:
  explicit RegistryDeviceOpener(Registry& registry) : registry_(registry) {}
  std::unique_ptr<Device> Open(std::string_view devicePath) override;

private:
  Registry& registry_;
};

}  // namespace ov
