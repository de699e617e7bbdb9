#pragma once
// The base of the devices whose sectors a container library hands out.

#include <cstring>
#include <vector>

#include "disk/Device.h"

namespace ov {

// A container read through a library: whole sectors at byte offsets.
class ContainerDevice : public Device {
public:
  explicit ContainerDevice(std::uint64_t sizeBytes) : sectors_(sizeBytes / kSectorSize) {}
  std::uint64_t SectorCount() const override { return sectors_; }

  bool ReadUnguarded(std::uint64_t first, std::uint32_t count, std::byte* buffer) override {
    if (count == 0) return true;
    if (first >= sectors_ || count > sectors_ - first) return false;
    return ReadBytes(buffer, std::size_t{count} * kSectorSize, first * kSectorSize);
  }
  bool Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) override {
    // A failed read must leave the caller's buffer as it was.
    const std::size_t want = std::size_t{count} * kSectorSize;
    if (scratch_.size() < want) scratch_.resize(want);
    if (!ReadUnguarded(first, count, scratch_.data())) return false;
    std::memcpy(buffer, scratch_.data(), want);
    return true;
  }

protected:
  virtual bool ReadBytes(std::byte* buffer, std::size_t bytes, std::uint64_t offset) = 0;

private:
  std::uint64_t sectors_;
  std::vector<std::byte> scratch_;
};

}  // namespace ov
