#include "nss/Volumes.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "disk/Bytes.h"
#include "nss/ObjectTree.h"

namespace ov {

namespace {

constexpr std::size_t kRootOffset = 188;
constexpr std::size_t kCompactNameOffset = 204;
constexpr std::size_t kCompactNameUnits = 20;
constexpr std::size_t kNameLengthOffset = 124;
constexpr std::size_t kNameOffset = 126;
constexpr std::uint8_t kRootEntryKind = 2;
constexpr std::size_t kRootEntryBlock = 136;

// The volume named by one volume record, or nothing when the record is
// skipped (empty name, no kind-2 entry inside the block, untranslatable root).
std::optional<VolumeInfo> ReadVolumeRecord(const LeafRecord& rec, const PoolInfo& pool) {
  const Bytes& b = rec.block;
  const std::size_t r = rec.offset;
  std::size_t n = b.U8(r + kNameLengthOffset).value_or(0);
  if (n > kMaxVolumeNameLength) n = 0;
  if (n == 0) return std::nullopt;
  auto name = b.LowBytes16(r + kNameOffset, n);
  if (!name) return std::nullopt;
  for (std::size_t q = r + kNameOffset + 2 * n;;) {
    auto kind = b.U8(q);
    if (!kind) return std::nullopt;
    if (*kind == kRootEntryKind) {
      auto block = b.U64(q + kRootEntryBlock);
      if (!block) return std::nullopt;
      std::uint64_t sector = *block * kSectorsPerBlock;
      if (!TranslateSector(pool, sector)) return std::nullopt;
      return VolumeInfo{*name, sector};
    }
    auto m = b.U8(q + 4);
    if (!m) return std::nullopt;
    q += 2 * std::size_t{*m} + 6;
  }
}

}  // namespace

std::vector<VolumeInfo> OpenPool(const DiskView& disk, const PoolInfo& pool, bool compactLayout, Prompter& prompter,
                                 std::uint64_t* rootSector) {
  std::vector<VolumeInfo> volumes;
  std::uint64_t unused = 0;
  std::uint64_t& startedFrom = rootSector ? *rootSector : unused;
  startedFrom = 0;
  if (pool.segmentCount > 0 && pool.segmentMissing[0]) {
    // The superblock is in the first segment: without it nothing of the
    // pool can be listed, and a guess would read another disk's sectors.
    prompter.ShowMessage(MissingFirstSegmentText(pool), std::string(kProductTitle), MessageIcon::Error);
    return volumes;
  }
  std::byte sector[kSectorSize];
  std::memset(sector, 0, sizeof sector);
  disk.Read(pool.segmentStart[0] + kSectorsPerBlock, 1, sector);
  const Bytes super(sector);
  std::uint64_t root = super.U64(kRootOffset).value_or(0) * kSectorsPerBlock;

  if (compactLayout) {
    // The compact layout names one volume in the superblock; its root is used
    // as read when it cannot be translated.
    TranslateSector(pool, root);
    startedFrom = root;
    std::string name = super.LowBytes16(kCompactNameOffset, kCompactNameUnits).value_or(std::string());
    if (!name.empty()) volumes.push_back({std::move(name), root});
    return volumes;
  }

  if (!super.Matches(0, "SPB")) {
    prompter.ShowMessage(std::string(kMsgNoSuperblock), std::string(kProductTitle), MessageIcon::Error);
    return volumes;
  }
  if (!TranslateSector(pool, root)) return volumes;
  startedFrom = root;
  WalkObjectTree(disk, pool, root, [&](const LeafRecord& rec) {
    if (rec.type != kRecordTypeVolume) return VisitResult::Continue;
    if (volumes.size() >= kMaxVolumes) return VisitResult::SkipRestOfLeaf;
    if (auto v = ReadVolumeRecord(rec, pool)) volumes.push_back(std::move(*v));
    return VisitResult::Continue;
  });
  return volumes;
}

std::vector<std::string> PoolDetails(const PoolInfo& pool) {
  return {"Pool Name   :  " + pool.name, "Pool Size      :   " + std::to_string(pool.segmentSize / 2048) + " MB"};
}

std::string MissingFirstSegmentText(const PoolInfo& pool) {
  return "Segment 0 of pool " + pool.name + " is on none of the disks given, so its volumes cannot be listed";
}

std::vector<PoolSegment> PoolSegments(const PoolInfo& pool, const DiskLayout& layout) {
  std::vector<PoolSegment> segments;
  const std::size_t count = std::min<std::size_t>(pool.segmentCount, kMaxSegments);
  for (std::size_t k = 0; k < count; ++k) {
    PoolSegment s;
    s.index = static_cast<std::uint32_t>(k);
    s.missing = pool.segmentMissing[k];
    s.disk = pool.segmentDisk[k];
    s.sectors = count == 1 ? pool.segmentSize : pool.segmentLength[k];
    const std::uint64_t base = s.disk < layout.size() ? layout[s.disk].first : 0;
    s.diskSector = s.missing || pool.segmentStart[k] < base ? 0 : pool.segmentStart[k] - base;
    s.diskName = s.disk < layout.size() ? layout[s.disk].name : std::string();
    segments.push_back(std::move(s));
  }
  return segments;
}

std::vector<std::string> PoolSegmentRows(const PoolInfo& pool, const DiskLayout& layout) {
  std::vector<std::string> rows;
  for (const PoolSegment& s : PoolSegments(pool, layout)) {
    std::string row = "Segment " + std::to_string(s.index) + "   :  ";
    if (s.missing) {
      row += "missing";
    } else {
      row += "disk " + std::to_string(s.disk + 1);
      if (!s.diskName.empty()) row += " (" + std::filesystem::path(s.diskName).filename().string() + ")";
      row += ", sector " + std::to_string(s.diskSector) + ", " + std::to_string(s.sectors / 2048) + " MB";
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::vector<std::string> VolumeDetails(const VolumeInfo& volume) { return {"Volume Name   :  " + volume.name}; }

}  // namespace ov
