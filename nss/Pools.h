#pragma once
// NSS pools: building the pool table from NetWare section chains, and the
// translation from pool-relative sectors to disk sectors.
//
// A type 0x65 partition is a chain of sections, each starting with a section
// header (byte 0 = 1, "Nw_PaRtItIoN" at 1, 0x169 at 16, the next header's
// sector at 188). The sectors after a header describe the section:
//   e + 29  pool name sector: segment size at 32, 15 UTF-16 units of name at 40
//   e + 5   segment descriptor: 'G','P','N' at 1, 5, 14 for a segment of a
//           multi-segment pool; segment count at 20, index at 32, length at 36
//   e + 32, e + 64, e + 96, e + 128: data offset candidates ('H','O' at 0,
//           the offset from e at 24; 0 means 32)
// A type 0x69 partition holds one pool in the compact layout.
//
// A pool may have segments on several disks of a server. A run over a disk
// set (disk/DiskSet.h) reads each disk's chain with that disk's own sector
// numbers and gathers a pool's segments from every disk: the pool's map then
// turns a pool sector into a run sector, which names the disk and its sector.
// A segment that no disk holds, or that two disks claim, is missing: its
// sectors (and, when its length is unknown, every sector after it) cannot be
// read, so nothing is ever read from a wrong place.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "disk/DiskSet.h"
#include "disk/DiskView.h"

namespace ov {

inline constexpr std::size_t kMaxPools = 50;
inline constexpr std::size_t kMaxSegments = 50;
inline constexpr std::uint8_t kPartitionTypeNss = 0x65;
inline constexpr std::uint8_t kPartitionTypeCompact = 0x69;
inline constexpr std::string_view kCompactPoolName = "Netware 5 NSS Partition";
inline constexpr std::uint16_t kSectionMark = 0x169;
inline constexpr std::string_view kSectionSignature = "Nw_PaRtItIoN";

struct PoolInfo {
  std::string name;
  std::uint32_t segmentSize = 0;   // from the pool name sector, in sectors
  std::uint32_t segmentCount = 0;  // 1 .. 49
  std::array<std::uint64_t, kMaxSegments> segmentStart{};   // disk sector of each segment's data
  std::array<std::uint32_t, kMaxSegments> segmentLength{};  // sectors; used when segmentCount > 1
  // Runs over several disks: the disk of the run's set that holds each
  // segment, and the segments no disk gives (a missing segment's length is
  // 0 when no disk told it).
  std::array<std::uint16_t, kMaxSegments> segmentDisk{};
  std::array<bool, kMaxSegments> segmentMissing{};

  bool HasMissingSegments() const;
};

// Pool-relative sector -> disk sector over one pool's segment map. False when
// the pool has no segment or the sector lies past its last segment, in a
// missing segment, or after a missing segment of unknown length.
bool TranslateSector(const PoolInfo& pool, std::uint64_t& sector);

// A stretch of consecutive disk sectors that a pool-relative sector starts:
// the disk sector and how many sectors of the same segment follow it (itself
// included; unbounded for a one-segment pool).
struct SectorRun {
  std::uint64_t diskSector = 0;
  std::uint64_t sectors = 0;
};
// Translates `sector` and tells how far the segment it lies in goes on, so a
// long read never runs past a segment's end into unrelated disk sectors.
std::optional<SectorRun> TranslateRun(const PoolInfo& pool, std::uint64_t sector);

// True when a pool sector of the `count` from `first` lies in a missing
// segment or after one of unknown length: data that cannot be read whole.
bool ReachesMissingSegment(const PoolInfo& pool, std::uint64_t first, std::uint64_t count);

// True when the 512 bytes hold a full NetWare section header (the test of the
// whole-disk search: byte 0 = 1, the signature and the mark).
bool IsSectionHeader(const std::byte* sector);

// The pool table of a run and the builders that fill it.
class PoolTable {
public:
  explicit PoolTable(DiskView disk, DiskLayout layout = {}) : disk_(std::move(disk)), layout_(std::move(layout)) {}

  // The disks of the run; more than one makes the table gather each pool's
  // segments over all of them.
  const DiskLayout& layout() const { return layout_; }
  bool severalDisks() const { return layout_.size() > 1; }
  // What the last build found wrong with the segments of several disks: a
  // segment claimed by two disks, disks that disagree on a pool's segment
  // count, segments on none of the disks. One line each.
  const std::vector<std::string>& problems() const { return problems_; }

  const std::vector<PoolInfo>& pools() const { return pools_; }
  std::size_t poolCount() const { return pools_.size(); }
  void Clear() {
    pools_.clear();
    sections_.clear();
    problems_.clear();
  }

  // Set once a type 0x69 partition was made into a pool; never cleared
  // during the run. Chooses the compact record layout.
  bool compactLayout() const { return compactLayout_; }
  void SetCompactLayout(bool on) { compactLayout_ = on; }

  // Empties the table and fills it from one partition.
  void BuildPoolsFromPartition(std::uint64_t firstSector, std::uint8_t type, std::uint32_t sectorCount);
  // Several disks: adds the pools of one disk's partition (sectors of that
  // disk) to what the other disks gave, without emptying the table.
  void AddPartitionOfDisk(std::size_t disk, std::uint64_t firstSector, std::uint8_t type, std::uint32_t sectorCount);
  // Adds the new pools of the chain that starts at `headerSector`; a pool
  // whose first segment starts where a pool of the table starts does not
  // count. Returns how many pools were added (they are the table's last).
  std::size_t AddPoolsFromChain(std::uint64_t headerSector);

  // The data offset of the section at `e`, in sectors from e.
  std::uint32_t FindDataOffset(std::uint64_t e);
  // Fills `pool` with the `count` segments of the pool called `name` found
  // on the chain from `start`; false when the chain ends first.
  bool CollectSegments(PoolInfo& pool, const std::string& name, std::uint64_t start, std::uint32_t count);

private:
  struct SectionView;
  // A marked section met on one of several disks.
  struct Found {
    std::uint64_t e = 0;
    std::uint16_t disk = 0;
    std::string name;
    std::uint32_t segmentSize = 0;
    bool multiSegment = false;
    std::uint32_t count = 0;
    std::uint32_t index = 0;
    std::uint32_t length = 0;
    std::uint64_t start = 0;  // data start
  };
  // Several disks: walks a chain into the sections met so far and builds
  // the table again from all of them.
  std::size_t GatherChain(std::uint64_t start);
  void AssemblePools();
  std::string DiskName(std::uint16_t disk) const;
  // Calls `visit` for every section of the chain from `start` that carries
  // the mark, in chain order, until it answers false or the chain ends.
  void WalkSections(std::uint64_t start, const std::function<bool(const SectionView&)>& visit);
  // The walk over one chain; `dedupe` drops pools already in the table.
  std::size_t WalkChain(std::uint64_t start, bool dedupe);
  bool ReadSector(std::uint64_t sector, std::byte* buffer);

  DiskView disk_;
  DiskLayout layout_;
  std::vector<PoolInfo> pools_;
  std::vector<Found> sections_;
  std::vector<std::string> problems_;
  bool compactLayout_ = false;
};

}  // namespace ov
