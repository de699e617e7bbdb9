#include "disk/Inventory.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <thread>

#include "disk/Device.h"
#include "disk/SectorReader.h"

namespace ov {

namespace {

std::string DiskValue(int i) { return "Disk" + std::to_string(i); }

std::uint64_t ParseU64(std::string_view text) {
  std::uint64_t v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return ec == std::errc() ? v : 0;
}

// Reads a little-endian number of `width` bytes (at most 4) at `at`.
std::optional<std::uint32_t> ReadLe(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t width) {
  width = std::min<std::size_t>(width, 4);
  if (at > b.size() || width > b.size() - at) return std::nullopt;
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v |= std::uint32_t{b[at + i]} << (8 * i);
  return v;
}

// The subkeys an earlier run left, removed before the disks are described
// again, children before the key itself.
constexpr std::string_view kStaleKeys[] = {
    "OV WINDOWS\\Cylinder",        "OV WINDOWS\\Head",   "OV WINDOWS\\MediaType",     "OV WINDOWS\\Model",
    "OV WINDOWS\\SectorsPerTrack", "OV WINDOWS\\Size",   "OV WINDOWS\\DisplayDevice", "OV WINDOWS\\DevicePath",
    "OV WINDOWS"};

constexpr std::string_view kDescribedKeys[] = {kCylinderKey, kHeadKey, kMediaTypeKey, kModelKey, kSectorsPerTrackKey,
                                               kSizeKey};

}  // namespace

std::optional<Geometry> ParseGeometryAnswer(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) return std::nullopt;
  const std::size_t l1 = bytes[0];
  auto heads = ReadLe(bytes, 2, l1);
  if (!heads || l1 + 5 >= bytes.size()) return std::nullopt;
  const std::size_t l2 = bytes[l1 + 5];
  auto spt = ReadLe(bytes, l1 + 7, l2);
  if (!spt || l1 + l2 + 10 >= bytes.size()) return std::nullopt;
  const std::size_t l3 = bytes[l1 + l2 + 10];
  auto cyl = ReadLe(bytes, l1 + l2 + 12, l3);
  if (!cyl) return std::nullopt;
  return Geometry{*heads & 0xFFFFu, *spt & 0xFFFFu, *cyl & 0xFFFFu};
}

std::optional<int> DiskNumberOf(std::string_view itemText) {
  constexpr std::string_view kDisk = "Disk";
  if (itemText.substr(0, kDisk.size()) != kDisk) return std::nullopt;
  std::string_view digits = itemText.substr(kDisk.size());
  int n = 0;
  auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  if (ec != std::errc() || p != digits.data() + digits.size() || n < 0) return std::nullopt;
  return n;
}

DiskInventory::DiskInventory(Context context) : ctx_(std::move(context)) {}

void DiskInventory::Sleep(std::chrono::milliseconds ms) {
  if (ctx_.sleep) {
    ctx_.sleep(ms);
  } else {
    std::this_thread::sleep_for(ms);
  }
}

InventoryResult DiskInventory::TakeInventory() {
  return ctx_.osFamily == 'F' ? TakeInventory9x() : TakeInventoryNt();
}

InventoryResult DiskInventory::ListDisks() { return ctx_.osFamily == 'F' ? ListDisks9x() : ListDisksNt(); }

InventoryResult DiskInventory::TakeInventoryNt() {
  Registry& reg = ctx_.registry;
  const auto root = RegistryRoot::ClassesRoot;
  reg.Batch([&](Registry& r) {
    for (std::string_view key : kStaleKeys) r.DeleteKey(root, key);
    if (r.KeyExists(root, "OV WINDOWS")) {
      for (int i = 0; i < kMaxDisks; ++i) r.DeleteValue(root, "OV WINDOWS", DiskValue(i));
    }
  });
  if (!reg.CreateKey(root, "OV WINDOWS")) return {true, 1};
  InventoryResult r = ListDisksNt();
  if (r.endProgram || !disks_.empty()) return r;
  ctx_.runner.RunAndWait(OutsideProgram(ctx_.installPath, "MendWMI.exe"), {});
  return ListDisksNt();
}

InventoryResult DiskInventory::ListDisksNt() {
  Registry& reg = ctx_.registry;
  const auto root = RegistryRoot::ClassesRoot;
  disks_.clear();
  if (!reg.CreateKey(root, kDisksKey)) return {};
  bool created = true;
  reg.Batch([&](Registry& r) {
    for (std::string_view key : kDescribedKeys) created = r.CreateKey(root, key) && created;
  });
  if (!created) return {true, 1};
  const auto program = OutsideProgram(ctx_.installPath, "MendWmi.exe");
  std::error_code ec;
  if (!std::filesystem::exists(program, ec)) return {};
  ctx_.runner.RunAndWait(program, {});
  if (!reg.KeyExists(root, kDisksKey)) {
    ctx_.prompter.ShowMessage(std::string(kMsgNotInstalledProperly), std::string(kProductTitle), MessageIcon::Error);
    return {true, 0};
  }
  for (int i = 0; i < kMaxDisks; ++i) {
    if (!reg.ReadText(root, kDisksKey, DiskValue(i)).empty()) disks_.push_back({DiskValue(i), i});
  }
  return {};
}

InventoryResult DiskInventory::TakeInventory9x() {
  Registry& reg = ctx_.registry;
  const auto root = RegistryRoot::ClassesRoot;
  ctx_.runner.Start(OutsideProgram(ctx_.installPath, "Fixcount.EXE"), {});
  while (ctx_.runner.TopLevelWindowExists("Fixcount")) Sleep(std::chrono::milliseconds(10));
  Sleep(std::chrono::milliseconds(1000));

  const std::filesystem::path folder = reg.ReadText(RegistryRoot::ClassesRoot, kProductKey, "FilePath");
  const auto geometryProgram = OutsideProgram(folder, "Chsprobe.exe");

  if (ctx_.reader.BindSectorLibrary()) {
    std::vector<std::byte> sector(kSectorSize);
    const auto drvn1 = ctx_.folders.Map("C:\\drvn1");
    const auto dp = ctx_.folders.Map("C:\\DP");
    for (int k = 0; k < kMaxBiosDrives; ++k) {
      const std::uint32_t drive = 0x80u + static_cast<std::uint32_t>(k);
      if (ctx_.reader.CallSectRead32(drive, 1, sector.data(), 0) == 0) continue;  // no such drive
      reg.CreateKey(root, "OV WINDOWS");
      reg.SetValue(root, "OV WINDOWS", std::to_string(drive), "");
      {
        std::error_code ec;
        std::filesystem::create_directories(drvn1.parent_path(), ec);
        std::ofstream out(drvn1, std::ios::binary | std::ios::trunc);
        out.put(static_cast<char>(drive));
      }
      ctx_.runner.RunAndWait(geometryProgram, {});
      for (std::string_view key : {kModelKey, kMediaTypeKey}) {
        reg.CreateKey(root, key);
        reg.SetValue(root, key, DiskValue(k), "Unknown");
      }
      std::ifstream in(dp, std::ios::binary);
      std::vector<std::uint8_t> answer((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      in.close();
      // An answer file that is missing or too short describes no geometry;
      // the drive is then not listed.
      if (auto g = ParseGeometryAnswer(answer)) {
        const std::pair<std::string_view, std::uint64_t> values[] = {
            {kHeadKey, g->heads},
            {kSectorsPerTrackKey, g->sectorsPerTrack},
            {kCylinderKey, g->cylinders},
            {kSizeKey, std::uint64_t{g->cylinders} * g->heads * g->sectorsPerTrack * kSectorSize}};
        for (auto [key, v] : values) {
          reg.CreateKey(root, key);
          reg.SetValue(root, key, DiskValue(k), std::to_string(v));
        }
      }
      std::error_code ec;
      std::filesystem::remove(dp, ec);
    }
  }
  return ListDisks9x();
}

InventoryResult DiskInventory::ListDisks9x() {
  disks_.clear();
  for (int i = 0; i < kMaxDisks; ++i) {
    if (!ctx_.registry.ReadText(RegistryRoot::ClassesRoot, kCylinderKey, DiskValue(i)).empty()) {
      disks_.push_back({DiskValue(i), i});
    }
  }
  return {};
}

std::vector<std::string> DiskInventory::DiskDetails(int i) {
  Registry& reg = ctx_.registry;
  const auto root = RegistryRoot::ClassesRoot;
  const std::string name = DiskValue(i);
  currentModel_ = reg.ReadText(root, kModelKey, name);
  const std::uint64_t size = ParseU64(reg.ReadText(root, kSizeKey, name));
  return {
      "Physical Disk Number : " + std::to_string(i),
      "Model   : " + currentModel_,
      "Media Type   : " + reg.ReadText(root, kMediaTypeKey, name),
      "Cylinder   : " + reg.ReadText(root, kCylinderKey, name),
      "Head   : " + reg.ReadText(root, kHeadKey, name),
      "Sectors Per Track   : " + reg.ReadText(root, kSectorsPerTrackKey, name),
      "Disk Size  : " + std::to_string(size / 1048576) + " MB",
  };
}

std::optional<std::vector<std::string>> DiskInventory::PickDisk(const std::string& itemText) {
  auto n = DiskNumberOf(itemText);
  if (!n) return std::nullopt;
  pickedItem_ = itemText;
  ctx_.reader.SetSourceName(itemText);
  return DiskDetails(*n);
}

void DiskInventory::CommitSelection() {
  if (auto n = DiskNumberOf(pickedItem_)) selectedDisk = static_cast<std::uint16_t>(*n);
}

std::uint64_t DiskInventory::DiskSizeInSectors(int i) const {
  return ParseU64(ctx_.registry.ReadText(RegistryRoot::ClassesRoot, "OV WINDOWS\\Size", DiskValue(i))) / kSectorSize;
}

std::optional<std::string> DiskInventory::ScanRefusal(int i) {
  if (i >= 0 && i < static_cast<int>(kDevicePathTable.size())) return std::nullopt;
  return "Disk" + std::to_string(i) + " cannot be scanned: only Disk0 to Disk9 can be read.";
}

// ------------------------------------------------------------ attached images

bool AttachImage(Registry& registry, const std::filesystem::path& image) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(image, ec);
  if (ec) return false;
  // Only something that reads as a disk can be attached: a regular file or a
  // block device, opened read-only.
  if (!FileDevice::Open(absolute)) return false;
  const auto current = AttachedImages(registry);
  if (std::find(current.begin(), current.end(), absolute) != current.end()) return true;
  const auto root = RegistryRoot::ClassesRoot;
  if (!registry.CreateKey(root, kAttachedImagesKey)) return false;
  for (int n = 0;; ++n) {
    const std::string name = "Image" + std::to_string(n);
    if (!registry.QueryValue(root, kAttachedImagesKey, name)) return registry.SetValue(root, kAttachedImagesKey, name, absolute.string());
  }
}

bool DetachImage(Registry& registry, const std::filesystem::path& image) {
  std::error_code ec;
  const auto absolute = std::filesystem::absolute(image, ec);
  const auto root = RegistryRoot::ClassesRoot;
  bool removed = false;
  for (const auto& name : registry.ValueNames(root, kAttachedImagesKey)) {
    if (std::filesystem::path(registry.ReadText(root, kAttachedImagesKey, name)) == absolute) {
      removed = registry.DeleteValue(root, kAttachedImagesKey, name) || removed;
    }
  }
  return removed;
}

std::vector<std::filesystem::path> AttachedImages(Registry& registry) {
  std::vector<std::filesystem::path> images;
  const auto root = RegistryRoot::ClassesRoot;
  for (const auto& name : registry.ValueNames(root, kAttachedImagesKey)) {
    std::string path = registry.ReadText(root, kAttachedImagesKey, name);
    if (!path.empty()) images.emplace_back(std::move(path));
  }
  return images;
}

}  // namespace ov
