#pragma once
// What the disk-describing outside program does on this platform: it lists
// the machine's block devices (from the kernel's /sys/block) and the disk
// images the user attached, and writes them to the registry as the inventory
// expects: "OV Windows" value "Disk" + i (the device path), and value
// "Disk" + i of the subkeys Cylinder, Head, SectorsPerTrack (the usual
// 255-head, 63-sector translation), Size (bytes), Model, MediaType and
// DevicePath.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace ov {

struct DescribedDisk {
  std::filesystem::path devicePath;  // /dev/sda or the image file
  std::uint64_t sizeBytes = 0;
  std::string model;
  std::string mediaType;
  std::uint32_t cylinders = 0;
  std::uint32_t heads = 0;
  std::uint32_t sectorsPerTrack = 0;
};

inline constexpr std::string_view kMediaFixed = "Fixed hard disk media";
inline constexpr std::string_view kMediaRemovable = "Removable Media";
inline constexpr std::string_view kMediaImage = "Disk image file";

// Lists whole disks under `sysBlock` (loop, RAM and compressed-RAM devices,
// device-mapper nodes and empty devices are left out), sorted by name, with
// their nodes under `devDir`.
std::vector<DescribedDisk> ListBlockDevices(const std::filesystem::path& sysBlock, const std::filesystem::path& devDir);
// Where ListBlockDevices looks: the kernel's block folder and the device
// nodes. The disk-listing programs take both as `--sys DIR` and `--dev DIR`.
struct BlockDeviceFolders {
  std::filesystem::path sys = "/sys/block";
  std::filesystem::path dev = "/dev";
};
// Reads `--sys DIR` and `--dev DIR` from a program's arguments; nothing when
// any other argument is given (the caller prints its usage and exits 2).
std::optional<BlockDeviceFolders> ParseBlockDeviceFolders(int argc, char** argv);

// Describes an attached image; nothing-sized (0 bytes) when it cannot be read.
DescribedDisk DescribeImage(const std::filesystem::path& image);

// Writes the disks to the registry, numbered from 0 in the given order (at
// most 26). Returns how many were written.
int WriteDiskDescriptions(Registry& registry, const std::vector<DescribedDisk>& disks);

// The whole program: block devices first, then the attached images.
int DescribeDisks(Registry& registry, const std::filesystem::path& sysBlock = "/sys/block",
                  const std::filesystem::path& devDir = "/dev");

}  // namespace ov
