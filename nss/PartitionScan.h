#pragma once
// Finding where NetWare storage lies on the selected disk:
//  - the quick scan reads the partition table and hands the first NetWare
//    partition (type 0x65 or 0x69) to the pool builder;
//  - the full-disk search tests every sector for a NetWare section header
//    and hands each header to the pool builder;
//  - "Search More Partitions" probes one sector per cylinder for the primary
//    superblock of an ext2 file system and lists what it finds.

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "disk/DiskView.h"
#include "nss/Pools.h"
#include "platform/Prompter.h"

namespace ov {

inline constexpr std::string_view kMsgNoPartitionFound = "No NSS partition found, use advance mode";
inline constexpr std::size_t kMaxPartitionEntries = 500;

// One ext2 file system found by "Search More Partitions".
struct PartitionEntry {
  std::string label;            // "Mac Partition " + index
  std::uint64_t sectorCount = 0;
  std::uint64_t firstSector = 0;
};

// What a running search reports. Calls come from the searching thread.
class SearchListener {
public:
  virtual ~SearchListener() = default;
  virtual void OnStatus(const std::string& /*text*/) {}
  virtual void OnProgress(int /*percent*/) {}
  // The pools count field: "Pools Found : " + count.
  virtual void OnPoolsFound(const std::string& /*text*/) {}
  // A pool was added to the table at `index`.
  virtual void OnPoolAdded(std::size_t /*index*/) {}
  virtual void OnPartitionFound(const PartitionEntry& /*entry*/) {}
};

// Reads the partition table in sector 0 and builds the pools of the first
// NetWare entry. Finds nothing (and says nothing) without the 0x55 0xAA mark
// or a NetWare entry. Over several disks, every disk's table is read and
// the pools are gathered from the first NetWare entry of each.
void QuickPartitionScan(const DiskView& disk, PoolTable& pools);

// Tests every sector of the first `totalSectors` for a section header. The
// stop flag is tested before each 8-sector run and reset to 0 at the end,
// however the search ended. The table is emptied first.
void FullDiskPoolSearch(const DiskView& disk, PoolTable& pools, std::uint64_t totalSectors, std::atomic<int>& stop,
                        SearchListener& listener);

// The disk's geometry as the inventory describes it.
struct DiskGeometry {
  std::uint64_t cylinders = 0;
  std::uint64_t heads = 0;
  std::uint64_t sectorsPerTrack = 0;
};

// Probes sector 65 + j * H' * 63 of every cylinder j for an ext2 primary
// superblock. Shows "No NSS partition found, use advance mode" when none is
// found.
std::vector<PartitionEntry> SearchMorePartitions(const DiskView& disk, const DiskGeometry& geometry,
                                                 SearchListener& listener, Prompter& prompter);

// The status text of the full-disk search.
std::string SearchingPoolsText(std::uint64_t sector, std::uint64_t total);
std::string PoolsFoundText(std::size_t count);

}  // namespace ov
