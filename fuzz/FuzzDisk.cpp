#include "fuzz/FuzzDisk.h"

#include <algorithm>
#include <cstring>

namespace ov::fuzz {

SectorMap DecodeSparseDisk(const std::uint8_t* data, std::size_t size) {
  SectorMap sectors;
  std::size_t at = 0;
  while (at + 4 <= size) {
    std::uint64_t sector = 0;
    for (int i = 0; i < 4; ++i) sector |= std::uint64_t{data[at + i]} << (8 * i);
    at += 4;
    std::vector<std::byte> bytes(kSectorSize);
    const std::size_t n = std::min<std::size_t>(kSectorSize, size - at);
    std::memcpy(bytes.data(), data + at, n);
    at += n;
    sectors[sector % kSparseDiskSectors] = std::move(bytes);
  }
  return sectors;
}

bool SparseDevice::Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) {
  if (first >= sectorCount_ || count > sectorCount_ - first) return false;
  std::memset(buffer, 0, std::size_t{count} * kSectorSize);
  for (auto it = sectors_->lower_bound(first); it != sectors_->end() && it->first < first + count; ++it)
    std::memcpy(buffer + (it->first - first) * kSectorSize, it->second.data(), kSectorSize);
  return true;
}

FuzzDisk::FuzzDisk(std::shared_ptr<const SectorMap> sectors, std::vector<std::byte> bytes, std::uint64_t sectorCount)
    : sectors_(std::move(sectors)), bytes_(std::move(bytes)), sectorCount_(sectorCount), reader_(*this, prompter) {}

std::unique_ptr<FuzzDisk> FuzzDisk::Sparse(const std::uint8_t* data, std::size_t size) {
  auto sectors = std::make_shared<const SectorMap>(DecodeSparseDisk(data, size));
  return std::unique_ptr<FuzzDisk>(new FuzzDisk(std::move(sectors), {}, kSparseDiskSectors));
}

std::unique_ptr<FuzzDisk> FuzzDisk::Contiguous(const std::uint8_t* data, std::size_t size) {
  std::vector<std::byte> bytes((size + kSectorSize - 1) / kSectorSize * kSectorSize);
  if (size) std::memcpy(bytes.data(), data, size);
  const std::uint64_t sectors = bytes.size() / kSectorSize;
  return std::unique_ptr<FuzzDisk>(
      new FuzzDisk(std::make_shared<const SectorMap>(), std::move(bytes), sectors));
}

std::unique_ptr<Device> FuzzDisk::Open(std::string_view path) {
  if (path != kDevicePathTable[0]) return nullptr;
  if (!bytes_.empty()) return std::make_unique<MemoryDevice>(bytes_);
  return std::make_unique<SparseDevice>(sectors_, sectorCount_);
}

}  // namespace ov::fuzz
