#include "nss/PartitionScan.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "disk/AlignedBuffer.h"
#include "disk/Bytes.h"

namespace ov {

namespace {

constexpr std::size_t kEntryOffset = 446;
constexpr std::size_t kEntrySize = 16;
constexpr std::uint32_t kRunSectors = 8;       // one block per logical read
constexpr std::uint32_t kReportEvery = 88;     // logical reads between status updates
// Runs read per device call (128 KiB, small enough to stay in the cache
// while it is tested); the results equal testing every 8-sector run.
constexpr std::uint32_t kRunsPerRead = 32;

}  // namespace

std::string SearchingPoolsText(std::uint64_t sector, std::uint64_t total) {
  return "Searching Pools " + std::to_string(sector) + " / " + std::to_string(total);
}

std::string PoolsFoundText(std::size_t count) { return "Pools Found : " + std::to_string(count); }

namespace {

// The first NetWare entry of the partition table in `sector`, if any.
struct NetWareEntry {
  std::uint8_t type = 0;
  std::uint32_t first = 0;
  std::uint32_t sectors = 0;
};

std::optional<NetWareEntry> FirstNetWareEntry(const DiskView& disk, std::uint64_t sector) {
  std::byte mbr[kSectorSize];
  std::memset(mbr, 0, sizeof mbr);
  disk.Read(sector, 1, mbr);
  const Bytes b(mbr);
  if (b.U8(510) != 0x55 || b.U8(511) != 0xAA) return std::nullopt;
  for (std::size_t n = 0; n < 4; ++n) {
    const std::size_t entry = kEntryOffset + kEntrySize * n;
    const std::uint8_t type = b.U8(entry + 4).value_or(0);
    if (type != kPartitionTypeNss && type != kPartitionTypeCompact) continue;
    return NetWareEntry{type, b.U32(entry + 8).value_or(0), b.U32(entry + 12).value_or(0)};
  }
  return std::nullopt;
}

}  // namespace

void QuickPartitionScan(const DiskView& disk, PoolTable& pools) {
  if (pools.severalDisks()) {
    // Every disk's own table: a pool's segments may lie on any of them.
    pools.Clear();
    for (std::size_t k = 0; k < pools.layout().size(); ++k) {
      if (auto entry = FirstNetWareEntry(disk, pools.layout()[k].first))
        pools.AddPartitionOfDisk(k, entry->first, entry->type, entry->sectors);
    }
    return;
  }
  if (auto entry = FirstNetWareEntry(disk, 0)) pools.BuildPoolsFromPartition(entry->first, entry->type, entry->sectors);
}

void FullDiskPoolSearch(const DiskView& disk, PoolTable& pools, std::uint64_t totalSectors, std::atomic<int>& stop,
                        SearchListener& listener) {
  pools.Clear();
  listener.OnPoolsFound(PoolsFoundText(0));
  // On a page: reads from the page cache fill such a buffer fastest.
  AlignedBuffer buffer(std::size_t{kRunSectors} * kRunsPerRead * kSectorSize);
  std::uint32_t reads = 0;
  std::uint64_t s = 0;
  while (s < totalSectors && stop.load() != 1) {
    // Up to kRunsPerRead runs. The last run of a disk whose size is not a
    // multiple of 8 sectors is cut at the disk's end: sectors that do not
    // exist read as zeros instead of raising the bad-sector question.
    const std::uint64_t runsLeft = (totalSectors - s + kRunSectors - 1) / kRunSectors;
    const auto runs = static_cast<std::uint32_t>(std::min<std::uint64_t>(runsLeft, kRunsPerRead));
    const auto sectors = static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{runs} * kRunSectors,
                                                                            totalSectors - s));
    const std::uint32_t wholeRuns = sectors / kRunSectors;
    const std::uint32_t tail = sectors % kRunSectors;
    // Straight into the buffer when the whole stretch reads; otherwise run by
    // run with the bad-sector step, unreadable runs reading as zeros so that
    // stale bytes are never taken for headers.
    if (tail != 0) std::memset(buffer.data() + std::size_t{sectors} * kSectorSize, 0, (kRunSectors - tail) * kSectorSize);
    if (!disk.ReadStretch(s, sectors, buffer.data())) {
      std::memset(buffer.data(), 0, std::size_t{sectors} * kSectorSize);
      disk.ReadChunks(s, kRunSectors, wholeRuns, buffer.data(), false);
      if (tail != 0) {
        disk.ReadChunks(s + std::uint64_t{wholeRuns} * kRunSectors, tail, 1,
                        buffer.data() + std::size_t{wholeRuns} * kRunSectors * kSectorSize, false);
      }
    }
    for (std::uint32_t run = 0; run < runs; ++run, s += kRunSectors) {
      if (run > 0 && stop.load() == 1) break;
      if (++reads == kReportEvery) {
        reads = 0;
        listener.OnStatus(SearchingPoolsText(s, totalSectors));
        listener.OnProgress(static_cast<int>(std::min<std::uint64_t>(s * 100 / totalSectors, 100)));
      }
      const std::byte* runBytes = buffer.data() + std::size_t{run} * kRunSectors * kSectorSize;
      for (std::uint32_t k = 0; k < kRunSectors; ++k) {
        if (!IsSectionHeader(runBytes + std::size_t{k} * kSectorSize)) continue;
        const std::size_t before = pools.poolCount();
        pools.AddPoolsFromChain(s + k);
        listener.OnPoolsFound(PoolsFoundText(pools.poolCount()));
        for (std::size_t i = before; i < pools.poolCount(); ++i) listener.OnPoolAdded(i);
      }
    }
  }
  stop.store(0);
}

std::vector<PartitionEntry> SearchMorePartitions(const DiskView& disk, const DiskGeometry& geometry,
                                                 SearchListener& listener, Prompter& prompter) {
  std::uint64_t cylinders = 0, heads = 0;
  if (geometry.sectorsPerTrack == 63) {
    cylinders = geometry.cylinders;
    heads = geometry.heads;
  } else {
    cylinders = geometry.sectorsPerTrack * geometry.heads * geometry.cylinders / 16065;
    heads = 255;
  }
  std::vector<PartitionEntry> entries;
  std::byte sector[kSectorSize];
  for (std::uint64_t j = 0; j < cylinders; ++j) {
    listener.OnProgress(static_cast<int>(j * 100 / cylinders));
    const std::uint64_t p = 65 + j * heads * 63;
    std::memset(sector, 0, sizeof sector);
    disk.Read(p, 1, sector);
    const Bytes b(sector);
    if (b.U8(56) != 0x53 || b.U8(57) != 0xEF || b.U16(90) != 0) continue;
    if (entries.size() >= kMaxPartitionEntries) break;
    const std::uint32_t logSize = b.U32(24).value_or(0);
    // Block sizes beyond 2^32 bytes are not ext2's; they count as no size.
    const std::uint64_t sectorsPerBlock = logSize <= 22 ? (std::uint64_t{1024} << logSize) / 512 : 0;
    PartitionEntry entry;
    entry.firstSector = p - 2;
    entry.sectorCount = std::uint64_t{b.U32(4).value_or(0)} * sectorsPerBlock;
    entry.label = "Mac Partition " + std::to_string(entries.size());
    listener.OnPartitionFound(entry);
    entries.push_back(std::move(entry));
  }
  if (entries.empty()) {
    prompter.ShowMessage(std::string(kMsgNoPartitionFound), std::string(kProductTitle), MessageIcon::Information);
  }
  return entries;
}

}  // namespace ov
