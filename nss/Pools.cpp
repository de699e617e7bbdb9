#include "nss/Pools.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <unordered_set>

#include "disk/Bytes.h"

namespace ov {

namespace {

constexpr std::size_t kLinkOffset = 188;
constexpr std::size_t kMarkOffset = 16;
constexpr std::uint64_t kNameSector = 29;
constexpr std::uint64_t kDescriptorSector = 5;
constexpr std::uint32_t kDefaultDataOffset = 32;

struct Section {
  bool header = false;       // byte 0 is 1
  bool marked = false;       // 0x169 at 16
  std::uint64_t next = 0;    // link at 188
};

}  // namespace

// The segment descriptor at e + 5.
struct SegmentDescriptor {
  bool multiSegment = false;  // 'G', 'P', 'N' at 1, 5, 14
  std::uint32_t count = 0;
  std::uint32_t index = 0;
  std::uint32_t length = 0;
};

namespace {

Section ParseSection(const Bytes& b) {
  Section s;
  s.header = b.U8(0) == 1;
  s.marked = b.U16(kMarkOffset) == kSectionMark;
  s.next = b.U32(kLinkOffset).value_or(0);
  return s;
}

SegmentDescriptor ParseDescriptor(const Bytes& b) {
  SegmentDescriptor d;
  d.multiSegment = b.U8(1) == 'G' && b.U8(5) == 'P' && b.U8(14) == 'N';
  d.count = b.U32(20).value_or(0);
  d.index = b.U32(32).value_or(0);
  d.length = b.U32(36).value_or(0);
  return d;
}

}  // namespace

bool TranslateSector(const PoolInfo& pool, std::uint64_t& sector) {
  if (pool.segmentCount == 0) return false;
  if (pool.segmentCount == 1) {
    sector += pool.segmentStart[0];
    return true;
  }
  std::uint64_t base = 0;
  const std::size_t segments = std::min<std::size_t>(pool.segmentCount, kMaxSegments);
  for (std::size_t k = 0; k < segments; ++k) {
    if (sector < base + pool.segmentLength[k]) {
      sector = pool.segmentStart[k] + (sector - base);
      return true;
    }
    base += pool.segmentLength[k];
  }
  return false;
}

std::optional<SectorRun> TranslateRun(const PoolInfo& pool, std::uint64_t sector) {
  if (pool.segmentCount == 0) return std::nullopt;
  if (pool.segmentCount == 1) return SectorRun{sector + pool.segmentStart[0], UINT64_MAX};
  std::uint64_t base = 0;
  const std::size_t segments = std::min<std::size_t>(pool.segmentCount, kMaxSegments);
  for (std::size_t k = 0; k < segments; ++k) {
    if (sector < base + pool.segmentLength[k]) {
      return SectorRun{pool.segmentStart[k] + (sector - base), base + pool.segmentLength[k] - sector};
    }
    base += pool.segmentLength[k];
  }
  return std::nullopt;
}

bool IsSectionHeader(const std::byte* sector) {
  Bytes b(std::span<const std::byte>(sector, kSectorSize));
  return b.U8(0) == 1 && b.Matches(1, kSectionSignature) && b.U16(kMarkOffset) == kSectionMark;
}

bool PoolTable::ReadSector(std::uint64_t sector, std::byte* buffer) {
  // An unreadable sector reads as zeros, so stale bytes of an earlier read
  // are never taken for a structure.
  std::memset(buffer, 0, kSectorSize);
  return disk_.Read(sector, 1, buffer) != 0;
}

std::uint32_t PoolTable::FindDataOffset(std::uint64_t e) {
  std::byte buf[kSectorSize];
  for (std::uint64_t i = 1; i <= 4; ++i) {
    ReadSector(e + 32 * i, buf);
    Bytes b(buf);
    if (b.U8(0) == 'H' && b.U8(1) == 'O') {
      const std::uint16_t offset = b.U16(24).value_or(0);
      return offset == 0 ? kDefaultDataOffset : offset;
    }
  }
  return kDefaultDataOffset;
}

// One marked section of a chain, as the builders see it.
struct PoolTable::SectionView {
  std::uint64_t e = 0;
  std::string name;
  std::uint32_t segmentSize = 0;
  SegmentDescriptor descriptor;
};

void PoolTable::WalkSections(std::uint64_t start, const std::function<bool(const SectionView&)>& visit) {
  std::byte header[kSectorSize], nameSector[kSectorSize], descriptor[kSectorSize];
  std::unordered_set<std::uint64_t> visited;
  // A chain that comes back to a section it already visited ends there, as
  // at a link of 0.
  for (std::uint64_t e = start; visited.insert(e).second;) {
    ReadSector(e, header);
    const Section s = ParseSection(Bytes(header));
    if (!s.header) return;
    if (s.marked) {
      ReadSector(e + kNameSector, nameSector);
      ReadSector(e + kDescriptorSector, descriptor);
      const Bytes n(nameSector);
      const SectionView view{e, n.LowBytes16(40, 15).value_or(std::string()), n.U32(32).value_or(0),
                             ParseDescriptor(Bytes(descriptor))};
      if (!visit(view)) return;
    }
    if (s.next == 0) return;
    e = s.next;
  }
}

bool PoolTable::CollectSegments(PoolInfo& pool, const std::string& name, std::uint64_t start, std::uint32_t count) {
  std::uint32_t counted = 0;
  bool complete = false;
  WalkSections(start, [&](const SectionView& v) {
    const SegmentDescriptor& d = v.descriptor;
    // A segment that names another segment count belongs to no pool of
    // this count: taking its count would give the pool more segments than
    // its table holds.
    if (!d.multiSegment || d.index >= kMaxSegments || d.count != count || v.name != name) return true;
    pool.segmentLength[d.index] = d.length;
    pool.segmentStart[d.index] = v.e + FindDataOffset(v.e);
    pool.name = name;
    pool.segmentCount = d.count;
    pool.segmentSize = v.segmentSize;
    complete = ++counted == count;
    return !complete;
  });
  return complete;
}

std::size_t PoolTable::WalkChain(std::uint64_t start, bool dedupe) {
  const std::size_t before = pools_.size();
  auto counts = [&](const PoolInfo& pool) {
    if (!dedupe) return true;
    return std::none_of(pools_.begin(), pools_.end(),
                        [&](const PoolInfo& p) { return p.segmentStart[0] == pool.segmentStart[0]; });
  };
  WalkSections(start, [&](const SectionView& v) {
    const SegmentDescriptor& d = v.descriptor;
    PoolInfo pool;
    bool made = false;
    if (d.multiSegment) {
      // Only the first segment of a pool makes the pool; the others are
      // gathered by the walk that CollectSegments makes.
      if (d.index == 0 && d.count < kMaxSegments) made = CollectSegments(pool, v.name, start, d.count);
    } else {
      pool.name = v.name;
      pool.segmentCount = 1;
      pool.segmentSize = v.segmentSize;
      pool.segmentStart[0] = v.e + FindDataOffset(v.e);
      made = true;
    }
    if (made && counts(pool)) pools_.push_back(std::move(pool));
    return pools_.size() < kMaxPools;
  });
  return pools_.size() - before;
}

void PoolTable::BuildPoolsFromPartition(std::uint64_t firstSector, std::uint8_t type, std::uint32_t sectorCount) {
  pools_.clear();
  if (type == kPartitionTypeCompact) {
    PoolInfo pool;
    pool.name = std::string(kCompactPoolName);
    pool.segmentCount = 1;
    pool.segmentStart[0] = firstSector + 32;
    pool.segmentSize = sectorCount;
    compactLayout_ = true;
    pools_.push_back(std::move(pool));
    return;
  }
  WalkChain(firstSector, false);
}

std::size_t PoolTable::AddPoolsFromChain(std::uint64_t headerSector) { return WalkChain(headerSector, true); }

}  // namespace ov
