#include "disk/VirtualDiskMap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "disk/Bytes.h"
#include "disk/Device.h"

namespace ov {

namespace {

constexpr std::uint64_t kUnusable = ~std::uint64_t{0};
// The second-level tables kept at once; past this the cache starts over, so
// a disk of terabytes does not keep every table of it.
constexpr std::size_t kTableCacheBytes = std::size_t{64} << 20;

template <typename T>
T LoadBe(const std::byte* at) {
  T v = LoadLe<T>(at);
  if constexpr (sizeof(T) == 8) return __builtin_bswap64(v);
  if constexpr (sizeof(T) == 4) return __builtin_bswap32(v);
}

// QCOW2 entries: the cluster offset lies in bits 9-55.
constexpr std::uint64_t kQcowOffset = 0x00fffffffffffe00ULL;
constexpr std::uint64_t kQcowCompressed = 1ULL << 62;
constexpr std::uint64_t kQcowZero = 1ULL;  // version 3: the cluster reads as zeros
// Bits that must be clear in a first-level entry (all but "copied" and the
// offset) and in a plain second-level one (bits 1-8 and 56-61).
constexpr std::uint64_t kQcowTopReserved = 0x7f000000000001ffULL;
constexpr std::uint64_t kQcowEntryReserved = 0x3f000000000001feULL;

int OpenReadOnly(const std::filesystem::path& path, std::uint64_t& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  bytes = static_cast<std::uint64_t>(st.st_size);
  return fd;
}

bool PowerOfTwoIn(std::uint64_t v, std::uint64_t low, std::uint64_t high) {
  return std::has_single_bit(v) && v >= low && v <= high;
}

}  // namespace

VirtualDiskMap::VirtualDiskMap(int fd, Format format, std::uint64_t fileBytes)
    : fd_(fd), format_(format), fileBytes_(fileBytes) {}

VirtualDiskMap::~VirtualDiskMap() { ::close(fd_); }

std::unique_ptr<VirtualDiskMap> VirtualDiskMap::ForQcow(const std::filesystem::path& path, std::uint64_t diskBytes) {
  std::uint64_t fileBytes = 0;
  const int fd = OpenReadOnly(path, fileBytes);
  if (fd < 0) return nullptr;
  std::array<std::byte, 104> h{};
  std::unique_ptr<VirtualDiskMap> map(new VirtualDiskMap(fd, Format::Qcow2, fileBytes));
  if (!map->ReadFile(h.data(), 72, 0) || LoadBe<std::uint32_t>(&h[0]) != 0x514649fbU) return nullptr;
  const auto version = LoadBe<std::uint32_t>(&h[4]);
  if (version == 3) {
    // Only the "dirty" mark is allowed of the incompatible features: it
    // concerns the reference counts, not where the clusters are.
    if (!map->ReadFile(h.data() + 72, 32, 72) || (LoadBe<std::uint64_t>(&h[72]) & ~std::uint64_t{1}) != 0) {
      return nullptr;
    }
    map->format_ = Format::Qcow3;
  } else if (version != 2) {
    return nullptr;
  }
  const auto clusterBits = LoadBe<std::uint32_t>(&h[20]);
  if (LoadBe<std::uint64_t>(&h[8]) != 0 || clusterBits < 9 || clusterBits > 21 ||  // a backing file, odd clusters
      LoadBe<std::uint64_t>(&h[24]) != diskBytes || LoadBe<std::uint32_t>(&h[32]) != 0 || diskBytes == 0) {
    return nullptr;
  }
  map->diskBytes_ = diskBytes;
  map->clusterBytes_ = std::uint32_t{1} << clusterBits;
  map->entriesPerTable_ = map->clusterBytes_ / 8;
  map->entryBytes_ = 8;
  const std::uint64_t span = std::uint64_t{map->clusterBytes_} * map->entriesPerTable_;
  const std::uint64_t needed = (diskBytes + span - 1) / span;
  if (LoadBe<std::uint32_t>(&h[36]) < needed) return nullptr;
  auto top = map->ReadEntries(LoadBe<std::uint64_t>(&h[40]), needed);
  if (top.empty()) return nullptr;
  for (auto& e : top) {
    const std::uint64_t at = e & kQcowOffset;
    if ((e & kQcowTopReserved) != 0 || at % map->clusterBytes_ != 0) e = kUnusable;
    else e = at;
  }
  map->top_ = std::move(top);
  map->tables_.resize(map->top_.size());
  return map;
}

std::unique_ptr<VirtualDiskMap> VirtualDiskMap::ForSparseVmdk(const std::filesystem::path& path,
                                                              std::uint64_t diskBytes) {
  std::uint64_t fileBytes = 0;
  const int fd = OpenReadOnly(path, fileBytes);
  if (fd < 0) return nullptr;
  std::array<std::byte, 79> h{};
  std::unique_ptr<VirtualDiskMap> map(new VirtualDiskMap(fd, Format::Vmdk, fileBytes));
  if (!map->ReadFile(h.data(), h.size(), 0) || LoadLe<std::uint32_t>(&h[0]) != 0x564d444bU) return nullptr;
  const auto version = LoadLe<std::uint32_t>(&h[4]);
  const auto flags = LoadLe<std::uint32_t>(&h[8]);
  const auto grainSectors = LoadLe<std::uint64_t>(&h[20]);
  const auto perTable = LoadLe<std::uint32_t>(&h[44]);
  const auto directory = LoadLe<std::uint64_t>(&h[56]);
  // Compressed grains and stream markers belong to the stream-optimized kind.
  if (version < 1 || version > 3 || (flags & (3U << 16)) != 0 || LoadLe<std::uint16_t>(&h[77]) != 0 ||
      LoadLe<std::uint64_t>(&h[12]) * 512 != diskBytes || diskBytes == 0 || !PowerOfTwoIn(grainSectors, 8, 4096) ||
      !PowerOfTwoIn(perTable, 1, 1U << 16) || directory == 0 || directory > fileBytes / 512) {
    return nullptr;
  }
  map->diskBytes_ = diskBytes;
  map->clusterBytes_ = static_cast<std::uint32_t>(grainSectors * 512);
  map->entriesPerTable_ = perTable;
  map->entryBytes_ = 4;
  const std::uint64_t span = std::uint64_t{map->clusterBytes_} * perTable;
  auto top = map->ReadEntries(directory * 512, (diskBytes + span - 1) / span);
  if (top.empty()) return nullptr;
  for (auto& e : top) e = e * 512;  // sectors to bytes; 0 stays "none"
  map->top_ = std::move(top);
  map->tables_.resize(map->top_.size());
  return map;
}

std::vector<std::uint64_t> VirtualDiskMap::ReadEntries(std::uint64_t at, std::uint64_t count) const {
  if (count == 0 || at > fileBytes_ || count > (fileBytes_ - at) / entryBytes_) return {};
  std::vector<std::byte> raw(count * entryBytes_);
  if (!ReadFile(raw.data(), raw.size(), at)) return {};
  std::vector<std::uint64_t> entries(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::byte* p = raw.data() + i * entryBytes_;
    entries[i] = entryBytes_ == 8 ? LoadBe<std::uint64_t>(p) : LoadLe<std::uint32_t>(p);
  }
  return entries;
}

const std::vector<std::uint64_t>* VirtualDiskMap::Table(std::uint64_t index) {
  if (tables_[index]) return tables_[index].get();
  if (tablesLoaded_ * entriesPerTable_ * sizeof(std::uint64_t) >= kTableCacheBytes) {
    for (auto& t : tables_) t.reset();
    tablesLoaded_ = 0;
  }
  auto entries = ReadEntries(top_[index], entriesPerTable_);
  if (entries.empty()) return nullptr;
  tables_[index] = std::make_unique<std::vector<std::uint64_t>>(std::move(entries));
  ++tablesLoaded_;
  return tables_[index].get();
}

VirtualDiskMap::Place VirtualDiskMap::Decode(std::uint64_t e) const {
  if (format_ == Format::Vmdk) {
    // 0 is a grain never written; 1 (a zeroed grain on some hosts) is left
    // to the library.
    if (e == 0) return {Place::Zero, 0};
    if (e == 1) return {Place::Elsewhere, 0};
    return {Place::Data, e * 512};
  }
  if ((e & kQcowCompressed) != 0 || (e & kQcowEntryReserved) != 0) return {Place::Elsewhere, 0};
  if ((e & kQcowZero) != 0) return {format_ == Format::Qcow3 ? Place::Zero : Place::Elsewhere, 0};
  const std::uint64_t at = e & kQcowOffset;
  if (at == 0) return {Place::Zero, 0};  // never written, and there is no backing file
  if (at % clusterBytes_ != 0) return {Place::Elsewhere, 0};
  return {Place::Data, at};
}

VirtualDiskMap::Place VirtualDiskMap::Locate(std::uint64_t cluster) {
  const std::uint64_t index = cluster / entriesPerTable_;
  if (index >= top_.size()) return {Place::Elsewhere, 0};
  if (top_[index] == 0) return {Place::Zero, 0};
  if (top_[index] == kUnusable) return {Place::Elsewhere, 0};
  const auto* table = Table(index);
  if (!table) return {Place::Elsewhere, 0};
  return Decode((*table)[cluster % entriesPerTable_]);
}

bool VirtualDiskMap::ReadFile(std::byte* out, std::size_t bytes, std::uint64_t at) const {
  return ReadFullAt(fd_, out, bytes, at);
}

bool VirtualDiskMap::Read(std::byte* out, std::size_t bytes, std::uint64_t offset) {
  if (offset > diskBytes_ || bytes > diskBytes_ - offset) return false;
  while (bytes > 0) {
    const std::uint64_t within = offset % clusterBytes_;
    std::size_t n = std::min<std::uint64_t>(clusterBytes_ - within, bytes);
    const Place p = Locate(offset / clusterBytes_);
    if (p.kind == Place::Elsewhere) return false;
    if (p.kind == Place::Zero) {
      std::memset(out, 0, n);
    } else {
      // The clusters that follow in the file as on the disk join this read.
      const std::uint64_t from = p.at + within;
      while (n < bytes) {
        const Place next = Locate((offset + n) / clusterBytes_);
        if (next.kind != Place::Data || next.at != from + n) break;
        n += std::min<std::size_t>(clusterBytes_, bytes - n);
      }
      if (!ReadFile(out, n, from)) return false;
    }
    out += n;
    bytes -= n;
    offset += n;
  }
  return true;
}

}  // namespace ov
