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

bool PoolInfo::HasMissingSegments() const {
  const std::size_t segments = std::min<std::size_t>(segmentCount, kMaxSegments);
  return std::any_of(segmentMissing.begin(), segmentMissing.begin() + static_cast<std::ptrdiff_t>(segments),
                     [](bool missing) { return missing; });
}

bool TranslateSector(const PoolInfo& pool, std::uint64_t& sector) {
  if (pool.segmentCount == 1 && !pool.segmentMissing[0]) {
    sector += pool.segmentStart[0];
    return true;
  }
  const auto run = TranslateRun(pool, sector);
  if (!run) return false;
  sector = run->diskSector;
  return true;
}

std::optional<SectorRun> TranslateRun(const PoolInfo& pool, std::uint64_t sector) {
  if (pool.segmentCount == 0) return std::nullopt;
  if (pool.segmentCount == 1 && !pool.segmentMissing[0]) return SectorRun{sector + pool.segmentStart[0], UINT64_MAX};
  std::uint64_t base = 0;
  const std::size_t segments = std::min<std::size_t>(pool.segmentCount, kMaxSegments);
  for (std::size_t k = 0; k < segments; ++k) {
    const std::uint64_t end = base + pool.segmentLength[k];
    if (pool.segmentMissing[k]) {
      // Where a segment of unknown length is missing, no later sector can
      // be placed either.
      if (pool.segmentLength[k] == 0 || sector < end) return std::nullopt;
    } else if (sector < end) {
      return SectorRun{pool.segmentStart[k] + (sector - base), end - sector};
    }
    base = end;
  }
  return std::nullopt;
}

bool ReachesMissingSegment(const PoolInfo& pool, std::uint64_t first, std::uint64_t count) {
  if (count == 0 || !pool.HasMissingSegments()) return false;
  std::uint64_t base = 0;
  const std::size_t segments = std::min<std::size_t>(pool.segmentCount, kMaxSegments);
  for (std::size_t k = 0; k < segments; ++k) {
    const std::uint64_t end = base + pool.segmentLength[k];
    if (pool.segmentMissing[k]) {
      if (pool.segmentLength[k] == 0) return first + count > base;
      if (first < end && first + count > base) return true;
    }
    base = end;
  }
  return false;
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
  // A link names a sector of the disk the chain lies on.
  std::uint64_t base = 0;
  if (severalDisks()) {
    const auto disk = DiskOfSector(layout_, start);
    if (!disk) return;
    base = layout_[*disk].first;
  }
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
    e = base + s.next;
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

std::size_t PoolTable::AddPoolsFromChain(std::uint64_t headerSector) {
  return severalDisks() ? GatherChain(headerSector) : WalkChain(headerSector, true);
}

// ------------------------------------------------------------ several disks

std::string PoolTable::DiskName(std::uint16_t disk) const {
  std::string name = "disk " + std::to_string(disk + 1);
  if (disk < layout_.size() && !layout_[disk].name.empty()) name += " (" + layout_[disk].name + ")";
  return name;
}

void PoolTable::AddPartitionOfDisk(std::size_t disk, std::uint64_t firstSector, std::uint8_t type,
                                   std::uint32_t sectorCount) {
  if (disk >= layout_.size()) return;
  const std::uint64_t first = layout_[disk].first + firstSector;
  if (type == kPartitionTypeCompact) {
    Found f;
    f.e = first;
    f.disk = static_cast<std::uint16_t>(disk);
    f.name = std::string(kCompactPoolName);
    f.segmentSize = sectorCount;
    f.start = first + 32;
    compactLayout_ = true;
    if (std::none_of(sections_.begin(), sections_.end(), [&](const Found& g) { return g.e == f.e; }))
      sections_.push_back(std::move(f));
    AssemblePools();
    return;
  }
  GatherChain(first);
}

std::size_t PoolTable::GatherChain(std::uint64_t start) {
  const std::size_t before = pools_.size();
  WalkSections(start, [&](const SectionView& v) {
    if (std::any_of(sections_.begin(), sections_.end(), [&](const Found& f) { return f.e == v.e; })) return true;
    Found f;
    f.e = v.e;
    f.disk = static_cast<std::uint16_t>(DiskOfSector(layout_, v.e).value_or(0));
    f.name = v.name;
    f.segmentSize = v.segmentSize;
    f.multiSegment = v.descriptor.multiSegment;
    f.count = v.descriptor.count;
    f.index = v.descriptor.index;
    f.length = v.descriptor.length;
    f.start = v.e + FindDataOffset(v.e);
    sections_.push_back(std::move(f));
    return true;
  });
  AssemblePools();
  return pools_.size() > before ? pools_.size() - before : 0;
}

void PoolTable::AssemblePools() {
  pools_.clear();
  problems_.clear();
  // A one-segment pool is its section; a pool of several segments is every
  // section met under its name, wherever it lies. Pools keep the order in
  // which their first section was met, so a table only grows at its end as
  // further chains are read.
  // Segments the one-disk walk would not take are not taken here either.
  auto takes = [](const Found& f) { return f.index < kMaxSegments && f.count > 0 && f.count < kMaxSegments; };
  std::vector<std::size_t> order;  // index of each pool's first section
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const Found& f = sections_[i];
    if (f.multiSegment) {
      if (!takes(f)) continue;
      const bool seen = std::any_of(order.begin(), order.end(), [&](std::size_t j) {
        return sections_[j].multiSegment && sections_[j].name == f.name;
      });
      if (seen) continue;
    }
    order.push_back(i);
  }
  auto at = [&](const Found& f) { return DiskName(f.disk) + " at sector " + std::to_string(f.e - layout_[f.disk].first); };
  for (std::size_t first : order) {
    if (pools_.size() >= kMaxPools) break;
    const Found& head = sections_[first];
    PoolInfo pool;
    pool.name = head.name;
    if (!head.multiSegment) {
      pool.segmentCount = 1;
      pool.segmentSize = head.segmentSize;
      pool.segmentStart[0] = head.start;
      pool.segmentDisk[0] = head.disk;
      pools_.push_back(std::move(pool));
      continue;
    }
    std::vector<const Found*> mine;
    for (const Found& f : sections_) {
      if (f.multiSegment && f.name == head.name && takes(f))
        mine.push_back(&f);
    }
    // The count the first segment gives, else the count of the first
    // section met; sections that give another count are not taken.
    const auto zero = std::find_if(mine.begin(), mine.end(), [](const Found* f) { return f->index == 0; });
    const Found& teller = zero != mine.end() ? **zero : head;
    pool.segmentCount = teller.count;
    pool.segmentSize = teller.segmentSize;
    for (const Found* f : mine) {
      if (f->count == teller.count) continue;
      problems_.push_back("Pool \"" + head.name + "\": segment " + std::to_string(f->index) + " on " + at(*f) +
                          " says the pool has " + std::to_string(f->count) + " segments, segment " +
                          std::to_string(teller.index) + " on " + at(teller) + " says " +
                          std::to_string(teller.count) + "; segment " + std::to_string(f->index) + " on " +
                          DiskName(f->disk) + " is not used");
    }
    for (std::uint32_t k = 0; k < pool.segmentCount; ++k) {
      std::vector<const Found*> claims;
      for (const Found* f : mine)
        if (f->count == teller.count && f->index == k) claims.push_back(f);
      if (claims.size() == 1) {
        pool.segmentStart[k] = claims[0]->start;
        pool.segmentLength[k] = claims[0]->length;
        pool.segmentDisk[k] = claims[0]->disk;
        continue;
      }
      pool.segmentMissing[k] = true;
      if (claims.empty()) {
        problems_.push_back("Pool \"" + head.name + "\": segment " + std::to_string(k) + " of " +
                            std::to_string(pool.segmentCount) + " is on none of the disks given; its data cannot be read");
        continue;
      }
      // Two places for one segment: which one holds the pool's data cannot be
      // told, so neither is read. Where both tell the same length, the
      // segments after it can still be placed.
      std::string where;
      for (std::size_t c = 0; c < claims.size(); ++c) where += (c == 0 ? "" : c + 1 == claims.size() ? " and on " : ", on ") + at(*claims[c]);
      const bool sameLength = std::all_of(claims.begin(), claims.end(),
                                          [&](const Found* f) { return f->length == claims[0]->length; });
      pool.segmentLength[k] = sameLength ? claims[0]->length : 0;
      pool.segmentDisk[k] = claims[0]->disk;
      problems_.push_back("Pool \"" + head.name + "\": segment " + std::to_string(k) + " is on " + where +
                          "; neither is used, and its data cannot be read");
    }
    pools_.push_back(std::move(pool));
  }
}

}  // namespace ov
