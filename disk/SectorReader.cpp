#include "disk/SectorReader.h"

#include "platform/SharedLibrary.h"

#include <optional>

namespace ov {

std::string_view DevicePathOf(unsigned disk) {
  return disk < kDevicePathTable.size() ? kDevicePathTable[disk] : std::string_view();
}

char DetectOsFamily() { return 'N'; }

namespace {

// The BIOS drive number of the sector-read library for a device path: the
// drive digit '0' to '3' gives 0x80 to 0x83; the other disks have none.
std::optional<std::uint32_t> BiosDrive(std::string_view devicePath) {
  const char digit = devicePath.empty() ? '\0' : devicePath.back();
  if (digit < '0' || digit > '3') return std::nullopt;
  return 0x80u + static_cast<std::uint32_t>(digit - '0');
}

}  // namespace

SectorReader::SectorReader(DeviceOpener& opener, Prompter& prompter) : opener_(opener), prompter_(prompter) {}

SectorReader::~SectorReader() = default;

void SectorReader::SetSourceName(std::string name) {
  std::lock_guard lock(mutex_);
  constexpr std::string_view kFloppy = "Floppy";
  floppySource_ = name.size() >= kFloppy.size() && name.compare(name.size() - kFloppy.size(), kFloppy.size(), kFloppy) == 0;
}

void SectorReader::SetLibraryFolders(std::vector<std::filesystem::path> folders) {
  std::lock_guard lock(mutex_);
  libraryFolders_ = std::move(folders);
}

void SectorReader::CloseDevice() {
  std::lock_guard lock(mutex_);
  device_.reset();
  openPath_.clear();
}

std::uint32_t SectorReader::ReadSectors(std::string_view devicePath, std::uint32_t firstLow, std::uint32_t firstHigh,
                                        std::uint32_t count, std::byte* buffer) {
  std::lock_guard lock(mutex_);
  if (osFamily_ == 'F') return ReadLibrary(devicePath, firstLow, count, buffer);
  const std::uint64_t first = (std::uint64_t{firstHigh} << 32) | firstLow;
  return ReadDevicePath(floppySource_ ? kFloppyDevicePath : devicePath, first, count, buffer);
}

std::uint32_t SectorReader::ReadChunks(std::string_view devicePath, std::uint64_t first, std::uint32_t chunkSectors,
                                       std::uint32_t chunks, std::byte* buffer, bool tryWhole) {
  std::lock_guard lock(mutex_);
  if (chunks == 0) return 0;
  const std::uint64_t total = std::uint64_t{chunkSectors} * chunks;
  // One read of the whole stretch succeeds exactly when every chunk would;
  // only when it fails do the chunks go one by one, each with its own
  // bad-sector step, as separate reads would.
  if (tryWhole && total <= UINT32_MAX) {
    const auto count = static_cast<std::uint32_t>(total);
    if (osFamily_ == 'F') {
      // The library takes a 32-bit sector number; a stretch that would wrap
      // goes chunk by chunk, as separate reads would.
      const auto drive = BiosDrive(devicePath);
      if (drive && first + total <= UINT64_C(0x100000000) && BindSectorLibrary() &&
          sectRead32_(*drive, 0, 0, 1, count, buffer, static_cast<std::uint32_t>(first), 1) != 0) {
        return chunks;
      }
    } else if (Device* dev = DeviceFor(floppySource_ ? kFloppyDevicePath : devicePath)) {
      if (dev->Read(first, count, buffer)) return chunks;
    }
  }
  std::uint32_t whole = 0;
  for (std::uint32_t i = 0; i < chunks; ++i) {
    const std::uint64_t at = first + std::uint64_t{i} * chunkSectors;
    if (ReadSectors(devicePath, static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(at >> 32), chunkSectors,
                    buffer + std::size_t{i} * chunkSectors * kSectorSize) != 0) {
      ++whole;
    }
  }
  return whole;
}

bool SectorReader::ReadStretch(std::string_view devicePath, std::uint64_t first, std::uint32_t count,
                               std::byte* buffer) {
  std::lock_guard lock(mutex_);
  // The library path has no unguarded read; its callers take the chunked one.
  if (osFamily_ == 'F') return false;
  Device* dev = DeviceFor(floppySource_ ? kFloppyDevicePath : devicePath);
  return dev && dev->ReadUnguarded(first, count, buffer);
}

std::uint64_t SectorReader::CopyStretch(std::string_view devicePath, std::uint64_t first, std::uint64_t bytes,
                                        int to) {
  std::lock_guard lock(mutex_);
  if (osFamily_ == 'F') return 0;
  Device* dev = DeviceFor(floppySource_ ? kFloppyDevicePath : devicePath);
  return dev ? dev->CopyUnguarded(first, bytes, to) : 0;
}

Device* SectorReader::DeviceFor(std::string_view path) {
  if (!device_ || openPath_ != path) {
    device_ = opener_.Open(path);
    openPath_ = device_ ? std::string(path) : std::string();
  }
  return device_.get();
}

std::uint32_t SectorReader::ReadDevicePath(std::string_view devicePath, std::uint64_t first, std::uint32_t count,
                                           std::byte* buffer) {
  Device* dev = DeviceFor(devicePath);
  if (!dev) return 0;  // no such device: no message, no bad-sector step
  if (dev->Read(first, count, buffer)) return 1;
  if (BadSectorStep()) {
    // Sector by sector: readable sectors are filled, unreadable ones keep
    // the old buffer contents.
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!dev->Read(first + i, 1, buffer + std::size_t{i} * kSectorSize)) ++unreadSectors_;
    }
  } else {
    unreadSectors_ += count;
  }
  return 0;
}

bool SectorReader::BindSectorLibrary() {
  std::lock_guard lock(mutex_);
  if (sectRead32_) return true;
  if (!library_) {
    library_ = SharedLibrary::Load("sectrd32.dll", libraryFolders_);
    if (!library_) {
      prompter_.ShowMessage(std::string(kMsgSectorLibraryMissing), std::string(kProductTitle), MessageIcon::Error);
      return false;
    }
  }
  sectRead32_ = reinterpret_cast<SectRead32Function>(library_->Symbol("SectRead32"));
  if (!sectRead32_) {
    prompter_.ShowMessage(std::string(kMsgSectorExportMissing), std::string(kProductTitle), MessageIcon::Error);
    return false;
  }
  return true;
}

std::uint32_t SectorReader::CallSectRead32(std::uint32_t drive, std::uint32_t count, void* buffer,
                                           std::uint32_t first) {
  std::lock_guard lock(mutex_);
  return sectRead32_ ? sectRead32_(drive, 0, 0, 1, count, buffer, first, 1) : 0;
}

std::uint32_t SectorReader::ReadLibrary(std::string_view devicePath, std::uint32_t firstLow, std::uint32_t count,
                                        std::byte* buffer) {
  if (!BindSectorLibrary()) return 0;
  // BIOS drive numbers exist for the first four physical disks only; the
  // others are refused on this path.
  const auto bios = BiosDrive(devicePath);
  if (!bios) return 0;
  const std::uint32_t drive = *bios;
  const std::uint32_t result = sectRead32_(drive, 0, 0, 1, count, buffer, firstLow, 1);
  if (result != 0) return result;
  if (BadSectorStep()) {
    for (std::uint32_t i = 0; i < count; ++i) {
      if (sectRead32_(drive, 0, 0, 1, 1, buffer + std::size_t{i} * kSectorSize, firstLow + i, 1) == 0) ++unreadSectors_;
    }
  } else {
    unreadSectors_ += count;
  }
  return 0;
}

bool SectorReader::BadSectorStep() {
  int policy = policy_.load();
  if (policy != static_cast<int>(BadSectorPolicy::RetryAll) && policy != static_cast<int>(BadSectorPolicy::SkipAll)) {
    policy = static_cast<int>(prompter_.AskBadSector());
    policy_.store(policy);
  }
  return policy == static_cast<int>(BadSectorPolicy::Retry) || policy == static_cast<int>(BadSectorPolicy::RetryAll);
}

}  // namespace ov
