#include "disk/EwfChunks.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "disk/Adler32.h"
#include "disk/Bytes.h"

namespace ov {

namespace {

constexpr std::size_t kFileHeader = 13;
constexpr std::size_t kDescriptor = 76;
constexpr std::size_t kTableHeader = 24;
constexpr std::uint32_t kCompressed = 0x80000000u;

std::uint32_t Le32(const std::byte* p) { return LoadLe<std::uint32_t>(p); }
std::uint64_t Le64(const std::byte* p) { return LoadLe<std::uint64_t>(p); }

}  // namespace

std::optional<EwfChunkMap> EwfChunkMap::Read(const ReadAt& read, const std::vector<std::uint64_t>& fileSizes,
                                             std::uint32_t chunkBytes, std::uint64_t mediaBytes) {
  if (chunkBytes == 0 || fileSizes.empty() || fileSizes.size() > 0xFFFF) return std::nullopt;
  const std::uint64_t chunks = mediaBytes / chunkBytes + (mediaBytes % chunkBytes != 0 ? 1 : 0);
  // The entries are read before they are known to fit: no more than the
  // disk has, and the files hold at least four bytes for each.
  std::uint64_t room = 0;
  for (std::uint64_t s : fileSizes) room += s;
  if (chunks > room / 4 || chunks > (std::uint64_t{1} << 40)) return std::nullopt;

  EwfChunkMap map;
  map.entries_.reserve(chunks);
  std::vector<std::byte> table;
  for (std::size_t f = 0; f < fileSizes.size(); ++f) {
    const std::uint64_t fileSize = fileSizes[f];
    std::array<std::byte, kFileHeader> header{};
    if (fileSize < kFileHeader || !read(f, 0, header.data(), header.size())) return std::nullopt;
    if (std::memcmp(header.data(), "EVF\x09\x0d\x0a\xff\x00", 8) != 0) return std::nullopt;
    if ((std::to_integer<unsigned>(header[9]) | std::to_integer<unsigned>(header[10]) << 8) != f + 1) {
      return std::nullopt;
    }
    // The data of the last "sectors" section seen in this file.
    std::uint64_t sectorsStart = 0, sectorsEnd = 0;
    bool ended = false;
    for (std::uint64_t at = kFileHeader; !ended;) {
      std::array<std::byte, kDescriptor> d{};
      if (at > fileSize || fileSize - at < kDescriptor || !read(f, at, d.data(), d.size())) return std::nullopt;
      if (Adler32(1, d.data(), 72) != Le32(d.data() + 72)) return std::nullopt;
      const auto* typeBytes = reinterpret_cast<const char*>(d.data());
      const std::string_view type(typeBytes, strnlen(typeBytes, 16));
      const std::uint64_t next = Le64(d.data() + 16), size = Le64(d.data() + 24);
      if (type == "next" || type == "done") {
        // The last section points at itself; only the last file is done.
        if (next != at || (type == "done") != (f + 1 == fileSizes.size())) return std::nullopt;
        ended = true;
        continue;
      }
      // Each section lies whole in the file, before the next one.
      if (size < kDescriptor || size > fileSize - at || next < at + size || next > fileSize) return std::nullopt;
      if (type == "sectors") {
        sectorsStart = at + kDescriptor;
        sectorsEnd = at + size;
      } else if (type == "table") {
        std::array<std::byte, kTableHeader> th{};
        if (size < kDescriptor + kTableHeader || !read(f, at + kDescriptor, th.data(), th.size())) return std::nullopt;
        if (Adler32(1, th.data(), 20) != Le32(th.data() + 20)) return std::nullopt;
        const std::uint32_t count = Le32(th.data());
        const std::uint64_t base = Le64(th.data() + 8);
        const std::uint64_t bytes = std::uint64_t{count} * 4;
        if (count == 0 || bytes > size - kDescriptor - kTableHeader) return std::nullopt;
        if (count > chunks - map.entries_.size() || sectorsEnd == 0 || base > sectorsEnd) return std::nullopt;
        // The entries, and their checksum when the section has room for it.
        const bool summed = bytes + 4 <= size - kDescriptor - kTableHeader;
        table.resize(bytes + (summed ? 4 : 0));
        if (!read(f, at + kDescriptor + kTableHeader, table.data(), table.size())) return std::nullopt;
        if (summed && Adler32(1, table.data(), bytes) != Le32(table.data() + bytes)) return std::nullopt;
        const Run run{map.entries_.size(), static_cast<std::uint32_t>(f), base, sectorsEnd};
        // Each chunk begins in the sectors section, after the one before,
        // and one stored as it is is as long as its part of the disk and
        // its checksum.
        for (std::uint32_t i = 0; i < count; ++i) {
          const std::uint32_t entry = Le32(table.data() + 4 * i);
          const std::uint64_t start = base + (entry & ~kCompressed);
          const std::uint64_t end =
              i + 1 < count ? base + (Le32(table.data() + 4 * (i + 1)) & ~kCompressed) : sectorsEnd;
          if (start < sectorsStart || end <= start || end > sectorsEnd) return std::nullopt;
          const std::uint64_t index = map.entries_.size();
          const std::uint64_t want = std::min<std::uint64_t>(chunkBytes, mediaBytes - index * chunkBytes);
          if ((entry & kCompressed) == 0 && end - start != want + 4) return std::nullopt;
          map.entries_.push_back(entry);
        }
        map.runs_.push_back(run);
        // A table belongs to the sectors section before it alone.
        sectorsStart = sectorsEnd = 0;
      }
      at = next;
    }
  }
  if (map.entries_.size() != chunks) return std::nullopt;
  return map;
}

EwfChunkMap::Chunk EwfChunkMap::At(std::uint64_t index) const {
  const auto after = std::upper_bound(runs_.begin(), runs_.end(), index,
                                      [](std::uint64_t i, const Run& r) { return i < r.first; });
  const Run& run = *(after - 1);
  const std::uint64_t last = after == runs_.end() ? entries_.size() : after->first;
  const std::uint32_t entry = entries_[index];
  Chunk c;
  c.file = run.file;
  c.offset = run.base + (entry & ~kCompressed);
  const std::uint64_t end = index + 1 < last ? run.base + (entries_[index + 1] & ~kCompressed) : run.end;
  c.size = end - c.offset;
  c.compressed = (entry & kCompressed) != 0;
  return c;
}

}  // namespace ov
