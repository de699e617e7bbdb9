// The E01 chunk map over the input as segment files.
#include <algorithm>
#include <cstring>
#include <vector>

#include "disk/EwfChunks.h"
#include "fuzz/FuzzDisk.h"
#include "fuzz/Targets.h"

namespace ov::fuzz {

// The input: the disk's size (8 bytes, little-endian), the chunk size as a
// power of two times 512 (1 byte), the number of segment files (1 byte),
// then the files, each but the last led by its size (4 bytes).
int FuzzEwfChunks(const std::uint8_t* data, std::size_t size) {
  if (size < 10) return 0;
  std::uint64_t media = 0;
  for (int i = 7; i >= 0; --i) media = (media << 8) | data[i];
  const std::uint32_t chunk = 512u << (data[8] % 8);
  const std::size_t count = 1 + data[9] % 4;
  std::vector<std::pair<const std::uint8_t*, std::size_t>> files;
  std::size_t at = 10;
  for (std::size_t f = 0; f < count; ++f) {
    std::size_t bytes = size - at;
    if (f + 1 < count) {
      if (size - at < 4) return 0;
      std::uint32_t n = 0;
      std::memcpy(&n, data + at, 4);
      at += 4;
      bytes = std::min<std::size_t>(n, size - at);
    }
    files.emplace_back(data + at, bytes);
    at += bytes;
  }
  std::vector<std::uint64_t> sizes;
  for (const auto& f : files) sizes.push_back(f.second);
  const auto read = [&](std::size_t f, std::uint64_t offset, void* out, std::size_t n) {
    if (offset > files[f].second || n > files[f].second - offset) return false;
    std::memcpy(out, files[f].first + offset, n);
    return true;
  };
  const auto map = EwfChunkMap::Read(read, sizes, chunk, media);
  if (!map) return 0;
  // Every chunk lies whole in its file; one stored as it is holds its part
  // of the disk and its checksum.
  OV_FUZZ_CHECK(map->chunks() == media / chunk + (media % chunk != 0 ? 1 : 0));
  for (std::uint64_t i = 0; i < map->chunks(); ++i) {
    const EwfChunkMap::Chunk c = map->At(i);
    OV_FUZZ_CHECK(c.file < files.size() && c.size > 0);
    OV_FUZZ_CHECK(c.offset <= files[c.file].second && c.size <= files[c.file].second - c.offset);
    if (!c.compressed) OV_FUZZ_CHECK(c.size == std::min<std::uint64_t>(chunk, media - i * chunk) + 4);
  }
  return 0;
}

}  // namespace ov::fuzz
