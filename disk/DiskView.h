#pragma once
// The selected disk as the scanners see it: the sector reader plus the device
// path of the disk being read.

#include <cstddef>
#include <cstdint>
#include <string>

#include "disk/SectorReader.h"

namespace ov {

struct DiskView {
  SectorReader* reader = nullptr;
  std::string devicePath;

  // Reads `count` sectors at `first` (results and buffer rules of the reader).
  std::uint32_t Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) const {
    return reader->ReadSectors(devicePath, first, count, buffer);
  }
  bool ReadStretch(std::uint64_t first, std::uint32_t count, std::byte* buffer) const {
    return reader->ReadStretch(devicePath, first, count, buffer);
  }
  std::uint64_t CopyStretch(std::uint64_t first, std::uint64_t bytes, int to) const {
    return reader->CopyStretch(devicePath, first, bytes, to);
  }
  std::uint64_t UnreadSectors() const { return reader->UnreadSectors(); }
  std::uint32_t ReadChunks(std::uint64_t first, std::uint32_t chunkSectors, std::uint32_t chunks, std::byte* buffer,
                           bool tryWhole = true) const {
    return reader->ReadChunks(devicePath, first, chunkSectors, chunks, buffer, tryWhole);
  }
};

}  // namespace ov
