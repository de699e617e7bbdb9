#pragma once
// The sector reader: the only way the program reads a disk.
//
// Every scan and every file copy asks it for a run of 512-byte sectors of the
// selected disk, named by its device path ("\\.\PhysicalDrive0" to
// "\\.\PhysicalDrive9"). It owns the bad-sector policy and settles it with the
// user through the prompter's "Bad Sector Encountered" question.
//
// Two ways to reach sectors, chosen by the operating-system family:
//  - 'N': the device path is resolved by a `DeviceOpener` to an image file or
//    block device, opened read-only and kept open between reads;
//  - 'F': the outside sector-read library "sectrd32" and its `SectRead32`
//    export, loaded by name on first use and kept for the rest of the run.
//
// The result of a read is non-zero when the whole run was read in one call,
// and 0 otherwise (also after the bad-sector step re-read part of the run).
// Every sector that was not read keeps the bytes the buffer held before.
//
// Thread safety: the reader may be called from any thread; calls are
// serialised. The policy is an atomic and may be read or reset at any time.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "disk/Device.h"
#include "platform/Prompter.h"

namespace ov {

class SharedLibrary;

// The ten device paths a disk number can name. The drive digit is the last
// character (index 17).
inline constexpr std::array<std::string_view, 10> kDevicePathTable = {
    "\\\\.\\PhysicalDrive0", "\\\\.\\PhysicalDrive1", "\\\\.\\PhysicalDrive2", "\\\\.\\PhysicalDrive3",
    "\\\\.\\PhysicalDrive4", "\\\\.\\PhysicalDrive5", "\\\\.\\PhysicalDrive6", "\\\\.\\PhysicalDrive7",
    "\\\\.\\PhysicalDrive8", "\\\\.\\PhysicalDrive9"};

// The device path of a disk number; empty for numbers 10 and above, which
// have no path and cannot be scanned.
std::string_view DevicePathOf(unsigned disk);

// The floppy device path that a source ending in "Floppy" reads instead.
inline constexpr std::string_view kFloppyDevicePath = "\\\\.\\A:";

// The bad-sector policy values.
enum class BadSectorPolicy : int { Retry = 0, Skip = 1, RetryAll = 2, SkipAll = 3 };

// Messages of the sector-read library path.
inline constexpr std::string_view kMsgSectorLibraryMissing = "sectrd32.dll not found";
inline constexpr std::string_view kMsgSectorExportMissing = "Sectread32 function not found";

// The operating-system family: 'N' chooses the device path, 'F' the
// sector-read library. This build always detects 'N'.
char DetectOsFamily();

// Turns a device path into an open source. Returns nothing when the device
// cannot be opened; the reader then fails the read silently.
class DeviceOpener {
public:
  virtual ~DeviceOpener() = default;
  virtual std::unique_ptr<Device> Open(std::string_view devicePath) = 0;
};

// The signature of the library's export: BIOS drive number, 0, 0, 1, sector
// count, buffer, first sector, 1. Non-zero means the sectors were read. The
// buffer argument is pointer-sized on this platform.
using SectRead32Function = std::uint32_t (*)(std::uint32_t drive, std::uint32_t, std::uint32_t, std::uint32_t,
                                             std::uint32_t count, void* buffer, std::uint32_t first,
                                             std::uint32_t);

class SectorReader {
public:
  SectorReader(DeviceOpener& opener, Prompter& prompter);
  ~SectorReader();

  // Reads `count` sectors at the 64-bit sector firstHigh:firstLow of the
  // device named by `devicePath` into `buffer` (count * 512 bytes).
  std::uint32_t ReadSectors(std::string_view devicePath, std::uint32_t firstLow, std::uint32_t firstHigh,
                            std::uint32_t count, std::byte* buffer);
  std::uint32_t ReadSectors(std::string_view devicePath, std::uint64_t first, std::uint32_t count,
                            std::byte* buffer) {
    return ReadSectors(devicePath, static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(first >> 32),
                       count, buffer);
  }

  // Reads `chunks` consecutive runs of `chunkSectors` sectors each, with the
  // same results and buffer contents as that many ReadSectors calls in
  // order, but in one device read when the whole stretch is readable
  // (`tryWhole` false skips that attempt, for callers whose own whole read
  // just failed). Returns how many of the runs were read whole.
  std::uint32_t ReadChunks(std::string_view devicePath, std::uint64_t first, std::uint32_t chunkSectors,
                           std::uint32_t chunks, std::byte* buffer, bool tryWhole = true);

  // Reads `count` sectors straight into `buffer`, without the bad-sector
  // step and without keeping the buffer intact on failure: true when the
  // whole run was read. Scanners that zero or re-read what failed use it to
  // read at the speed of the disk; on false they fall back to ReadChunks.
  bool ReadStretch(std::string_view devicePath, std::uint64_t first, std::uint32_t count, std::byte* buffer);
  // Copies `bytes` bytes from sector `first` to the open file `to`, inside
  // the system, the same way: how many were copied (0 where the source
  // cannot copy); the caller reads the rest.
  std::uint64_t CopyStretch(std::string_view devicePath, std::uint64_t first, std::uint64_t bytes, int to);

  // The operating-system family, 'N' or 'F'.
  void SetOsFamily(char family) { osFamily_ = family; }
  char osFamily() const { return osFamily_; }

  // The text of the selected disk item; a text ending in "Floppy" makes the
  // 'N' path read the floppy device.
  void SetSourceName(std::string name);

  // Folders searched first for the sector-read library (the installation
  // folder).
  void SetLibraryFolders(std::vector<std::filesystem::path> folders);

  std::atomic<int>& policy() { return policy_; }
  // Sectors that reads have left unread since the reader was made: every
  // sector of a run given up (Skip) and every sector whose own re-read
  // failed (Retry). A copy compares it before and after to learn how much
  // of its data it could not read.
  std::uint64_t UnreadSectors() const { return unreadSectors_.load(); }
  BadSectorPolicy Policy() const { return static_cast<BadSectorPolicy>(policy_.load()); }

  // Loads the sector-read library and finds its export, once; shows the
  // library's messages and answers false when either is missing.
  bool BindSectorLibrary();
  // Calls the bound export. Only valid after BindSectorLibrary() succeeded.
  std::uint32_t CallSectRead32(std::uint32_t drive, std::uint32_t count, void* buffer, std::uint32_t first);

  // Closes the cached device, so the next read opens it afresh.
  void CloseDevice();

private:
  std::uint32_t ReadDevicePath(std::string_view devicePath, std::uint64_t first, std::uint32_t count,
                               std::byte* buffer);
  std::uint32_t ReadLibrary(std::string_view devicePath, std::uint32_t firstLow, std::uint32_t count,
                            std::byte* buffer);
  // Asks or applies the policy; true means retry sector by sector.
  bool BadSectorStep();
  Device* DeviceFor(std::string_view path);

  DeviceOpener& opener_;
  Prompter& prompter_;
  std::atomic<int> policy_{0};
  std::atomic<std::uint64_t> unreadSectors_{0};
  char osFamily_ = 'N';
  bool floppySource_ = false;
  std::vector<std::filesystem::path> libraryFolders_;

  std::recursive_mutex mutex_;
  std::string openPath_;
  std::unique_ptr<Device> device_;
  std::unique_ptr<SharedLibrary> library_;
  SectRead32Function sectRead32_ = nullptr;
};

}  // namespace ov
