#include "disk/DiskDescriber.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

#include "disk/Device.h"
#include "disk/ImageFormats.h"
#include "disk/Inventory.h"

namespace ov {

namespace {

std::string ReadTrimmed(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::ostringstream ss;
  ss << in.rdbuf();
  std::string s = ss.str();
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\r' || s.back() == '\t')) s.pop_back();
  std::size_t start = s.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : s.substr(start);
}

// The translation BIOSes and Windows report for large disks.
void SetGeometry(DescribedDisk& d) {
  d.heads = 255;
  d.sectorsPerTrack = 63;
  const std::uint64_t cylinders = d.sizeBytes / kSectorSize / (255 * 63);
  d.cylinders = static_cast<std::uint32_t>(std::min<std::uint64_t>(cylinders, UINT32_MAX));
}

bool Skipped(const std::string& name) {
  for (std::string_view prefix : {"loop", "ram", "zram", "dm-", "md", "sr", "fd", "nbd"}) {
    if (name.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

}  // namespace

std::vector<DescribedDisk> ListBlockDevices(const std::filesystem::path& sysBlock, const std::filesystem::path& devDir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(sysBlock, ec)) {
    std::string name = entry.path().filename().string();
    if (!Skipped(name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  std::vector<DescribedDisk> disks;
  for (const auto& name : names) {
    const auto dir = sysBlock / name;
    std::uint64_t sectors = 0;
    const std::string size = ReadTrimmed(dir / "size");
    std::from_chars(size.data(), size.data() + size.size(), sectors);
    if (sectors == 0) continue;
    DescribedDisk d;
    d.devicePath = devDir / name;
    d.sizeBytes = sectors * 512;  // the kernel counts 512-byte units here
    d.model = ReadTrimmed(dir / "device" / "model");
    if (d.model.empty()) d.model = "Unknown";
    d.mediaType = ReadTrimmed(dir / "removable") == "1" ? kMediaRemovable : kMediaFixed;
    SetGeometry(d);
    disks.push_back(std::move(d));
  }
  return disks;
}

std::optional<BlockDeviceFolders> ParseBlockDeviceFolders(int argc, char** argv) {
  BlockDeviceFolders folders;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--sys") == 0 && i + 1 < argc) {
      folders.sys = argv[++i];
    } else if (std::strcmp(argv[i], "--dev") == 0 && i + 1 < argc) {
      folders.dev = argv[++i];
    } else {
      return std::nullopt;
    }
  }
  return folders;
}

DescribedDisk DescribeImage(const std::filesystem::path& image) {
  DescribedDisk d;
  d.devicePath = image;
  // The size, and what the container says of the disk, come from the
  // container; a raw image is described by its file.
  const OpenedImage opened = OpenImage(image);
  d.sizeBytes = opened ? opened.device->SectorCount() * kSectorSize : 0;
  d.model = opened && !opened.description.model.empty() ? opened.description.model : image.filename().string();
  d.mediaType = opened && opened.description.kind != ImageKind::Raw ? opened.description.mediaType
                                                                    : std::string(kMediaImage);
  SetGeometry(d);
  return d;
}

int WriteDiskDescriptions(Registry& registry, const std::vector<DescribedDisk>& disks) {
  const auto root = RegistryRoot::ClassesRoot;
  for (std::string_view key : {kDisksKey, kCylinderKey, kHeadKey, kSectorsPerTrackKey, kSizeKey, kModelKey,
                               kMediaTypeKey, kDevicePathKey}) {
    registry.CreateKey(root, key);
  }
  int n = 0;
  for (const auto& d : disks) {
    if (n >= kMaxDisks) break;
    const std::string value = "Disk" + std::to_string(n);
    registry.SetValue(root, kDisksKey, value, d.devicePath.string());
    registry.SetValue(root, kCylinderKey, value, std::to_string(d.cylinders));
    registry.SetValue(root, kHeadKey, value, std::to_string(d.heads));
    registry.SetValue(root, kSectorsPerTrackKey, value, std::to_string(d.sectorsPerTrack));
    registry.SetValue(root, kSizeKey, value, std::to_string(d.sizeBytes));
    registry.SetValue(root, kModelKey, value, d.model);
    registry.SetValue(root, kMediaTypeKey, value, d.mediaType);
    registry.SetValue(root, kDevicePathKey, value, d.devicePath.string());
    ++n;
  }
  return n;
}

int DescribeDisks(Registry& registry, const std::filesystem::path& sysBlock, const std::filesystem::path& devDir) {
  auto disks = ListBlockDevices(sysBlock, devDir);
  for (const auto& image : AttachedImages(registry)) disks.push_back(DescribeImage(image));
  int written = 0;
  registry.Batch([&](Registry& r) { written = WriteDiskDescriptions(r, disks); });
  return written;
}

}  // namespace ov
