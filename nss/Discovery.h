#pragma once
// The discovery state of a run: the pool table, the ext2 entries, the pool
// that is open with its volumes, and the choices made in them; plus the pool
// and volume trees as plain item lists that every front end shows.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "disk/DiskView.h"
#include "nss/PartitionScan.h"
#include "nss/Pools.h"
#include "nss/Volumes.h"

namespace ov {

inline constexpr std::string_view kVolumeTreeRoot = "volumes";

// A tree of one level: a root and its children, in order.
struct ItemList {
  std::string root;
  std::vector<std::string> items;
};

class Discovery {
public:
  explicit Discovery(DiskView disk, DiskLayout layout = {}) : disk_(disk), pools_(disk, std::move(layout)) {}

  const DiskView& disk() const { return disk_; }
  // The disks of the run, when it reads several as one (else empty or one).
  const DiskLayout& layout() const { return pools_.layout(); }
  PoolTable& pools() { return pools_; }
  const PoolTable& pools() const { return pools_; }
  std::vector<PartitionEntry>& partitions() { return partitions_; }
  const std::vector<PartitionEntry>& partitions() const { return partitions_; }
  const std::vector<VolumeInfo>& volumes() const { return volumes_; }
  // The pool copied by the last OpenPool: the map every translation uses.
  const PoolInfo& currentPool() const { return currentPool_; }
  // The open pool's superblock sector (its first segment's start + 8) and the
  // sector its volume listing started from (0 when it did not start); both
  // are kept so a saved run can be written back as it was read.
  std::uint64_t superblockSector() const { return superblockSector_; }
  std::uint64_t poolRootSector() const { return poolRootSector_; }

  std::uint32_t selectedPool = 0;
  std::uint32_t selectedVolume = 0;

  // Copies the selected pool into the current-pool map and lists its
  // volumes. False when no pool is selected.
  bool OpenSelectedPool(Prompter& prompter);
  bool Translate(std::uint64_t& sector) const { return TranslateSector(currentPool_, sector); }
  // The selected volume, when there is one.
  const VolumeInfo* SelectedVolume() const;

  // Restores a pool and volumes read back from a saved run.
  void Restore(const PoolInfo& pool, std::vector<VolumeInfo> volumes, std::uint32_t volume);
  void Restore(const PoolInfo& pool, std::vector<VolumeInfo> volumes, std::uint32_t volume,
               std::uint64_t superblockSector, std::uint64_t poolRootSector);

  // Pool tree: root "Disk " + disk number; the pools in table order, then the
  // ext2 entries.
  ItemList PoolTree(std::uint16_t diskNumber) const;
  // Volume tree: root "volumes"; the volumes in order.
  ItemList VolumeTree() const;
  // A click on pool tree item `item` (0-based child index): selects the pool
  // it names and answers its details rows; items of ext2 entries select
  // nothing.
  std::optional<std::vector<std::string>> PickPool(std::size_t item);
  std::optional<std::vector<std::string>> PickVolume(std::size_t item);

private:
  DiskView disk_;
  PoolTable pools_;
  std::vector<PartitionEntry> partitions_;
  PoolInfo currentPool_;
  std::uint64_t superblockSector_ = 0;
  std::uint64_t poolRootSector_ = 0;
  std::vector<VolumeInfo> volumes_;
};

}  // namespace ov
