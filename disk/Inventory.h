#pragma once
// The disk inventory: which disks exist, their geometry and size.
//
// The inventory does not query disks itself. An outside program describes
// them in the registry key "OV Windows" (values "Disk" + i, and the subkeys
// Cylinder, Head, SectorsPerTrack, Size, Model, MediaType, DevicePath with
// one value "Disk" + i each); the inventory starts it, waits for it, and
// reads what it wrote. On the 'F' family the inventory probes the BIOS drives
// itself through the sector-read library and a geometry program.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"

namespace ov {

class SectorReader;

// Registry names shared with the disk-describing program.
inline constexpr std::string_view kDisksKey = "OV Windows";
inline constexpr std::string_view kCylinderKey = "OV Windows\\Cylinder";
inline constexpr std::string_view kHeadKey = "OV Windows\\Head";
inline constexpr std::string_view kSectorsPerTrackKey = "OV Windows\\SectorsPerTrack";
inline constexpr std::string_view kSizeKey = "OV Windows\\Size";
inline constexpr std::string_view kModelKey = "OV Windows\\Model";
inline constexpr std::string_view kMediaTypeKey = "OV Windows\\MediaType";
// Where each disk's block device or image file is recorded for the reader.
inline constexpr std::string_view kDevicePathKey = "OV Windows\\DevicePath";
// The disk images the user attached, values "Image" + n holding their paths.
inline constexpr std::string_view kAttachedImagesKey = "OV Attached Images";
// The keys that describe one run's disks, kept in the run's own store (see
// RunRegistry) so that runs open at once each list their own disks.
inline const std::vector<std::string> kRunOwnedKeys = {std::string(kDisksKey), std::string(kAttachedImagesKey)};
// The product key written by the installer.
inline constexpr std::string_view kProductKey = "OrlindavestrumNSS";

inline constexpr std::string_view kDiskTreeRoot = "My Computer";
inline constexpr std::string_view kMsgNotInstalledProperly = "Orlindavestrum for NSS is not Installed properly";

inline constexpr int kMaxDisks = 26;      // "Disk0" .. "Disk25"
inline constexpr int kMaxBiosDrives = 24;  // 0x80 .. 0x97

// One listed disk.
struct DiskInfo {
  std::string valueName;  // "Disk" + i
  std::int32_t number;    // 'N': the disk index i; 'F' probe: the BIOS drive number
};

// What the caller must do after an inventory step.
struct InventoryResult {
  bool endProgram = false;
  int exitCode = 0;
};

// Geometry answered by the geometry program in its answer file.
struct Geometry {
  std::uint32_t heads = 0;
  std::uint32_t sectorsPerTrack = 0;
  std::uint32_t cylinders = 0;
};

// Parses the geometry answer file: L1 at 0, heads at 2; L2 at L1 + 5,
// sectors per track at L1 + 7; L3 at L1 + L2 + 10, cylinders at L1 + L2 + 12;
// little-endian, at most 4 bytes read per number, low 16 bits used. Nothing
// when the file is too short for the fields it announces.
std::optional<Geometry> ParseGeometryAnswer(const std::vector<std::uint8_t>& bytes);

class DiskInventory {
public:
  struct Context {
    Registry& registry;
    ProcessRunner& runner;
    Prompter& prompter;
    SectorReader& reader;
    KnownFolders folders;
    std::filesystem::path installPath;
    char osFamily = 'N';
    // Pauses the calling thread; tests replace it to run without waiting.
    std::function<void(std::chrono::milliseconds)> sleep;
  };

  explicit DiskInventory(Context context);

  // Runs once at start-up: clears an earlier run's results and lists the
  // disks, starting the describing program as needed.
  InventoryResult TakeInventory();
  // Rebuilds the disk list from the registry.
  InventoryResult ListDisks();

  const std::vector<DiskInfo>& disks() const { return disks_; }

  // The seven detail rows of disk i; the disk's model becomes the current
  // model used by the reports.
  std::vector<std::string> DiskDetails(int i);
  const std::string& currentModel() const { return currentModel_; }

  // A click on a disk item: remembers its text as the source name (for the
  // floppy rule) and answers its detail rows. Nothing for an item that is not
  // a disk ("My Computer").
  std::optional<std::vector<std::string>> PickDisk(const std::string& itemText);
  // Leaving the disk step: the selected disk becomes the number after "Disk"
  // in the picked item's text.
  void CommitSelection();
  const std::string& pickedItem() const { return pickedItem_; }

  std::uint16_t selectedDisk = 0;

  // The size of disk i in sectors: its registry Size / 512 (0 when missing).
  std::uint64_t DiskSizeInSectors(int i) const;
  std::uint64_t SelectedDiskSizeInSectors() const { return DiskSizeInSectors(selectedDisk); }

  // Why disk i cannot be scanned (no device path for numbers 10 and above),
  // or nothing when it can.
  static std::optional<std::string> ScanRefusal(int i);

private:
  InventoryResult TakeInventoryNt();
  InventoryResult TakeInventory9x();
  InventoryResult ListDisksNt();
  InventoryResult ListDisks9x();
  void Sleep(std::chrono::milliseconds ms);

  Context ctx_;
  std::vector<DiskInfo> disks_;
  std::string currentModel_;
  std::string pickedItem_;
};

// The number after "Disk" in a disk item's text, or nothing.
std::optional<int> DiskNumberOf(std::string_view itemText);

// Attaching disk images, so they are listed as disks by the describing
// program. Attaching a path twice keeps one entry. Answers false when the
// path is not a regular file or block device that can be opened for reading.
bool AttachImage(Registry& registry, const std::filesystem::path& image);
bool DetachImage(Registry& registry, const std::filesystem::path& image);
std::vector<std::filesystem::path> AttachedImages(Registry& registry);

}  // namespace ov
