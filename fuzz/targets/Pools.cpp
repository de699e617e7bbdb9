// The partition table, the section-chain walks, opening pools and walking
// their volumes' object trees, over a sparse disk.
#include <algorithm>
#include <array>

#include "fuzz/FuzzDisk.h"
#include "fuzz/Targets.h"
#include "nss/FolderListing.h"
#include "nss/PartitionScan.h"
#include "nss/Pools.h"
#include "nss/RecordScan.h"
#include "nss/RecoveryTree.h"
#include "nss/Volumes.h"

namespace ov::fuzz {

namespace {

void CheckPools(const PoolTable& table) {
  OV_FUZZ_CHECK(table.poolCount() <= kMaxPools);
  for (const PoolInfo& pool : table.pools()) {
    OV_FUZZ_CHECK(pool.segmentCount >= 1);
    OV_FUZZ_CHECK(pool.segmentCount < kMaxSegments);
    // A run starts where the single translation lands.
    for (std::uint64_t s : {std::uint64_t{0}, std::uint64_t{8}, std::uint64_t{pool.segmentLength[0]}}) {
      std::uint64_t sector = s;
      const bool translated = TranslateSector(pool, sector);
      const auto run = TranslateRun(pool, s);
      OV_FUZZ_CHECK(translated == run.has_value());
      if (run) OV_FUZZ_CHECK(run->diskSector == sector && run->sectors >= 1);
    }
  }
}

// The pools of the disk as both builders find them: the quick scan's
// partition, then the chains of every section header the input holds, as
// the whole-disk search would meet them.
PoolTable FindPools(FuzzDisk& disk) {
  PoolTable table(disk.view());
  QuickPartitionScan(disk.view(), table);
  CheckPools(table);
  PoolTable found(disk.view());
  found.SetCompactLayout(table.compactLayout());
  for (const auto& [sector, bytes] : disk.sectors()) {
    if (found.poolCount() >= kMaxPools) break;
    if (IsSectionHeader(bytes.data())) found.AddPoolsFromChain(sector);
  }
  CheckPools(found);
  return table.poolCount() ? std::move(table) : std::move(found);
}

std::vector<VolumeInfo> Open(FuzzDisk& disk, const PoolInfo& pool, bool compact) {
  std::uint64_t root = 0;
  auto volumes = OpenPool(disk.view(), pool, compact, disk.prompter, &root);
  OV_FUZZ_CHECK(volumes.size() <= kMaxVolumes);
  for (const VolumeInfo& v : volumes) OV_FUZZ_CHECK(v.name.size() <= 3 * kMaxVolumeNameLength);  // UTF-8 of at most 48 units
  return volumes;
}

constexpr std::size_t kPoolsTried = 3;
constexpr std::size_t kVolumesTried = 3;
constexpr std::size_t kFoldersListed = 64;

}  // namespace

// The same sectors read as a set of two disks split in the middle: every
// pool gathered over both, and nothing ever placed in a missing segment.
void FindPoolsOverTwoDisks(FuzzDisk& disk) {
  constexpr std::uint64_t kHalf = kSparseDiskSectors / 2;
  PoolTable table(disk.view(), {{0, kHalf, "a"}, {kHalf, kSparseDiskSectors - kHalf, "b"}});
  QuickPartitionScan(disk.view(), table);
  for (const auto& [sector, bytes] : disk.sectors()) {
    if (table.poolCount() >= kMaxPools) break;
    if (IsSectionHeader(bytes.data())) table.AddPoolsFromChain(sector);
  }
  CheckPools(table);
  for (const PoolInfo& pool : table.pools()) {
    std::uint64_t base = 0;
    for (std::size_t k = 0; k < pool.segmentCount; ++k) {
      if (pool.segmentMissing[k]) {
        std::uint64_t sector = base;
        OV_FUZZ_CHECK(!TranslateSector(pool, sector));
        OV_FUZZ_CHECK(ReachesMissingSegment(pool, base, 1));
      }
      if (pool.segmentMissing[k] && pool.segmentLength[k] == 0) break;
      OV_FUZZ_CHECK(pool.segmentMissing[k] || pool.segmentDisk[k] < 2);
      base += pool.segmentLength[k];
    }
  }
}

int FuzzPartitions(const std::uint8_t* data, std::size_t size) {
  auto disk = FuzzDisk::Sparse(data, size);
  FindPools(*disk);
  FindPoolsOverTwoDisks(*disk);
  return 0;
}

int FuzzPool(const std::uint8_t* data, std::size_t size) {
  auto disk = FuzzDisk::Sparse(data, size);
  const PoolTable table = FindPools(*disk);
  const std::size_t pools = std::min(table.poolCount(), kPoolsTried);
  for (std::size_t i = 0; i < pools; ++i) {
    Open(*disk, table.pools()[i], false);
    Open(*disk, table.pools()[i], true);
  }
  return 0;
}

int FuzzTree(const std::uint8_t* data, std::size_t size) {
  auto disk = FuzzDisk::Sparse(data, size);
  const PoolTable table = FindPools(*disk);
  const std::size_t pools = std::min(table.poolCount(), kPoolsTried);
  for (std::size_t i = 0; i < pools; ++i) {
    const PoolInfo& pool = table.pools()[i];
    const auto volumes = Open(*disk, pool, table.compactLayout());
    for (std::size_t v = 0; v < std::min(volumes.size(), kVolumesTried); ++v) {
      RecoveryTree tree;
      ScanVolume(disk->view(), pool, volumes[v].rootSector, table.compactLayout(), tree, nullptr);
      std::size_t listed = 0;
      for (ItemHandle item = 0; item < tree.ItemCount() && listed < kFoldersListed; ++item, ++listed) {
        const FolderView view = ShowFolder(tree, item);
        OV_FUZZ_CHECK(view.pathText.starts_with("\\"));
      }
      FolderStructureLines(tree);
    }
  }
  return 0;
}

}  // namespace ov::fuzz
