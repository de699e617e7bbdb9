#pragma once
// Opening a pool: its superblock (pool block 1) and the volumes it lists.
//
// Superblock: 'S','P','B' at 0 (normal layout only); at 188 the 64-bit block
// number of the volume directory's root (normal layout) or of the volume's
// object tree (compact layout); at 204, compact layout only, the volume name
// as 20 UTF-16 units.
//
// Volume record (type 0x33 in the volume directory): name length at 124 (a
// value above 48 counts as 0), the name at 126, then a chain of entries
// (kind byte at +0, length m at +4, 2m + 6 bytes long) up to the first entry
// of kind 2, whose 64-bit block number at +136 is the root of the volume's
// object tree.

#include <cstdint>
#include <string>
#include <vector>

#include "disk/DiskView.h"
#include "nss/Pools.h"
#include "platform/Prompter.h"

namespace ov {

inline constexpr std::size_t kMaxVolumes = 49;
inline constexpr std::size_t kMaxVolumeNameLength = 48;
inline constexpr std::string_view kMsgNoSuperblock = "Super block information not found";

struct VolumeInfo {
  std::string name;
  std::uint64_t rootSector = 0;  // disk sector of the first block of the object tree
};

// Reads the pool's superblock and lists its volumes. In the normal layout a
// superblock without its signature shows "Super block information not
// found" and lists nothing; a root that cannot be translated lists nothing
// and says nothing. When `rootSector` is given it receives the disk sector
// the volume listing started from (the volume directory's root, or in the
// compact layout the volume's own root), or 0 when the listing did not start.
std::vector<VolumeInfo> OpenPool(const DiskView& disk, const PoolInfo& pool, bool compactLayout, Prompter& prompter,
                                 std::uint64_t* rootSector = nullptr);

// The details rows of a pool and of a volume.
std::vector<std::string> PoolDetails(const PoolInfo& pool);
std::vector<std::string> VolumeDetails(const VolumeInfo& volume);

// The segments of a pool as a run over `layout` holds them: for each, the
// disk it lies on (0-based, with the name the disk was given by), its first
// sector on that disk (of the data) and its length, or that it is missing.
struct PoolSegment {
  std::uint32_t index = 0;
  bool missing = false;
  std::uint16_t disk = 0;
  std::string diskName;
  std::uint64_t diskSector = 0;
  std::uint64_t sectors = 0;
};
std::vector<PoolSegment> PoolSegments(const PoolInfo& pool, const DiskLayout& layout);
// One row per segment: "Segment 1   :  disk 2 (b.img), sector 2080, 12 MB"
// or "Segment 1   :  missing".
std::vector<std::string> PoolSegmentRows(const PoolInfo& pool, const DiskLayout& layout);
// Shown when a pool whose first segment is missing is opened.
std::string MissingFirstSegmentText(const PoolInfo& pool);

}  // namespace ov
