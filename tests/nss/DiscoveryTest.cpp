#include "nss/Discovery.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "nss/ObjectTree.h"
#include "nss/PartitionScan.h"
#include "support/TestDisk.h"

namespace ov {
namespace {

using test::TestDisk;

// The pools a reader found must be the builder's, segment for segment.
void ExpectPools(const PoolTable& table, const std::vector<const mkimage::ManifestPool*>& expected) {
  ASSERT_EQ(table.poolCount(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const PoolInfo& got = table.pools()[i];
    const mkimage::ManifestPool& want = *expected[i];
    EXPECT_EQ(got.name, want.name) << i;
    EXPECT_EQ(got.segmentSize, want.segmentSize) << i;
    ASSERT_EQ(got.segmentCount, want.segments.size()) << i;
    for (std::size_t k = 0; k < want.segments.size(); ++k) {
      EXPECT_EQ(got.segmentStart[k], want.segments[k].start) << i << "/" << k;
      if (want.segments.size() > 1) {
        EXPECT_EQ(got.segmentLength[k], want.segments[k].length) << i << "/" << k;
      }
    }
  }
}

// The builder's pools of one partition, in the order a chain walk completes them.
std::vector<const mkimage::ManifestPool*> All(const mkimage::Manifest& m, int slot = 0) {
  std::vector<const mkimage::ManifestPool*> pools;
  for (const auto& p : m.pools) {
    if (p.partitionSlot == slot) pools.push_back(&p);
  }
  return pools;
}

constexpr const char* kTwoPools = R"({
  "partitions": [ { "slot": 0, "type": "nss", "sections": [
      { "pool": "DATA", "segment": 1, "sectors": "2MiB", "dataOffset": 64 },
      { "pool": "MAIL", "sectors": "1MiB", "offsetMarker": 3 },
      { "pool": "DATA", "segment": 0, "sectors": "1MiB", "offsetField": 0 } ] },
    { "slot": 2, "type": "nss-compact", "sectors": "2MiB", "pool": "OLD" } ],
  "pools": [
    { "name": "DATA", "volumes": [ { "name": "VOL1", "items": [ { "file": "a.txt", "text": "a" } ] },
                                   { "name": "VOL2", "tree": { "leafStart": 40 } } ] },
    { "name": "MAIL", "directory": { "leafStart": 40 }, "volumes": [ { "name": "MAIL" } ] },
    { "name": "OLD", "volumes": [ { "name": "LEGACY" } ] } ]
})";

TEST(QuickPartitionScan, BuildsThePoolsOfTheFirstNetWareEntryOnly) {
  TestDisk disk(kTwoPools);
  ASSERT_TRUE(disk.ok());
  PoolTable pools(disk.view());
  QuickPartitionScan(disk.view(), pools);
  // Slot 0 (type 0x65) wins over the compact partition in slot 2; the pool
  // of two segments is found although its second segment comes first.
  ExpectPools(pools, All(disk.manifest()));
  ASSERT_EQ(pools.poolCount(), 2u);
  EXPECT_EQ(pools.pools()[1].name, "DATA");  // completed at its segment 0, the chain's last section
  EXPECT_FALSE(pools.compactLayout());
}

TEST(QuickPartitionScan, FindsNothingWithoutTheMarkOrANetWareEntry) {
  TestDisk disk(R"({ "size": "4MiB", "partitions": [ { "type": "linux", "sectors": 4000 } ] })");
  PoolTable pools(disk.view());
  QuickPartitionScan(disk.view(), pools);
  EXPECT_EQ(pools.poolCount(), 0u);
  TestDisk blank(R"({ "size": "1MiB" })");
  PoolTable none(blank.view());
  QuickPartitionScan(blank.view(), none);
  EXPECT_EQ(none.poolCount(), 0u);
}

TEST(QuickPartitionScan, ACompactPartitionSetsTheCompactLayoutForGood) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss-compact", "sectors": "2MiB", "pool": "OLD" } ],
                     "pools": [ { "name": "OLD", "volumes": [ { "name": "LEGACY" } ] } ] })");
  PoolTable pools(disk.view());
  QuickPartitionScan(disk.view(), pools);
  ExpectPools(pools, All(disk.manifest()));
  EXPECT_EQ(pools.pools()[0].name, "Netware 5 NSS Partition");
  EXPECT_TRUE(pools.compactLayout());
  pools.BuildPoolsFromPartition(0, kPartitionTypeNss, 0);  // a later scan does not clear it
  EXPECT_TRUE(pools.compactLayout());
}

TEST(TranslateSector, MapsPoolSectorsAcrossSegments) {
  PoolInfo pool;
  pool.segmentCount = 2;
  pool.segmentStart[0] = 1000;
  pool.segmentStart[1] = 5000;
  pool.segmentLength[0] = 100;
  pool.segmentLength[1] = 100;
  std::uint64_t s = 150;
  ASSERT_TRUE(TranslateSector(pool, s));
  EXPECT_EQ(s, 5050u);
  s = 100;
  ASSERT_TRUE(TranslateSector(pool, s));
  EXPECT_EQ(s, 5000u);
  s = 200;
  EXPECT_FALSE(TranslateSector(pool, s));
  EXPECT_EQ(s, 200u);
  auto run = TranslateRun(pool, 90);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->diskSector, 1090u);
  EXPECT_EQ(run->sectors, 10u);
  PoolInfo empty;
  s = 1;
  EXPECT_FALSE(TranslateSector(empty, s));
  PoolInfo one;
  one.segmentCount = 1;
  one.segmentStart[0] = 64;
  s = UINT64_C(1) << 40;  // no upper bound for a single segment
  ASSERT_TRUE(TranslateSector(one, s));
  EXPECT_EQ(s, (UINT64_C(1) << 40) + 64);
}

TEST(Pools, AMarkedSegmentOtherThanTheFirstMakesNoPoolByItself) {
  TestDisk disk(kTwoPools);
  const auto& data = *disk.manifest().FindPool("DATA");
  PoolTable pools(disk.view());
  // The chain from segment 1's header: segment 0 is met later in the same
  // chain, so the pool is made there.
  EXPECT_EQ(pools.AddPoolsFromChain(data.segments[1].headerSector), 2u);
  // From the compact… from the last header: segment 0 alone, whose
  // segment 1 is not on this part of the chain.
  PoolTable tail(disk.view());
  EXPECT_EQ(tail.AddPoolsFromChain(data.segments[0].headerSector), 0u);
}

struct CountingListener : SearchListener {
  std::vector<std::string> statuses, found;
  std::vector<std::size_t> added;
  std::atomic<int>* stopAfterFirstStatus = nullptr;
  void OnStatus(const std::string& text) override {
    statuses.push_back(text);
    if (stopAfterFirstStatus) stopAfterFirstStatus->store(1);
  }
  void OnPoolsFound(const std::string& text) override { found.push_back(text); }
  void OnPoolAdded(std::size_t index) override { added.push_back(index); }
};

TEST(FullDiskPoolSearch, FindsEveryPoolOnceWithItsTexts) {
  TestDisk disk(kTwoPools);
  PoolTable pools(disk.view());
  std::atomic<int> stop{0};
  CountingListener listener;
  const std::uint64_t total = disk.manifest().diskSectors;
  FullDiskPoolSearch(disk.view(), pools, total, stop, listener);
  ExpectPools(pools, All(disk.manifest()));
  EXPECT_EQ(listener.added, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(listener.found.front(), "Pools Found : 0");
  EXPECT_EQ(listener.found.back(), "Pools Found : 2");
  ASSERT_FALSE(listener.statuses.empty());
  // The 88th read is the run at sector 87 * 8.
  EXPECT_EQ(listener.statuses[0], "Searching Pools 696 / " + std::to_string(total));
  EXPECT_EQ(stop.load(), 0);
}

TEST(FullDiskPoolSearch, FindsAHeaderInTheLastRunOfTheDisk) {
  // A one-section pool whose header lies in the disk's last 8 sectors but
  // one: the partition table does not mention it.
  TestDisk disk(R"({ "size": "2MiB",
    "partitions": [ { "type": "nss", "start": 2, "sections": [ { "pool": "P", "sectors": 256 } ] } ],
    "pools": [ { "name": "P" } ] })");
  ASSERT_TRUE(disk.ok());
  // Searching only the stretch that ends right after the header still finds it.
  const auto header = disk.manifest().partitions[0].sectionHeaders[0];
  PoolTable pools(disk.view());
  std::atomic<int> stop{0};
  SearchListener quiet;
  FullDiskPoolSearch(disk.view(), pools, header + 1, stop, quiet);
  EXPECT_EQ(pools.poolCount(), 1u);
}

TEST(FullDiskPoolSearch, SectorsPastTheEndOfTheDiskAreNotAskedAbout) {
  // 1953 sectors: the last 8-sector run has one sector on the disk.
  TestDisk disk(R"({ "size": "999936B",
    "partitions": [ { "type": "nss", "start": 64, "sections": [ { "pool": "P", "sectors": 256 } ] } ], "pools": [ { "name": "P" } ] })");
  ASSERT_TRUE(disk.ok());
  ASSERT_EQ(disk.manifest().diskSectors, 1953u);
  PoolTable pools(disk.view());
  std::atomic<int> stop{0};
  SearchListener quiet;
  FullDiskPoolSearch(disk.view(), pools, disk.manifest().diskSectors, stop, quiet);
  EXPECT_EQ(pools.poolCount(), 1u);
  EXPECT_TRUE(disk.prompter.Asked().empty());
}

TEST(FullDiskPoolSearch, UnreadableRunsAreAskedAboutOnceEachAndReadAsZeros) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [
      { "pool": "A", "sectors": "1MiB" }, { "pool": "B", "sectors": "1MiB" } ] } ],
    "pools": [ { "name": "A" }, { "name": "B" } ], "unreadable": [ 3000, 3100 ] })");
  disk.prompter.badSectorAnswers = {BadSectorChoice::Skip, BadSectorChoice::Skip};
  PoolTable pools(disk.view());
  std::atomic<int> stop{0};
  SearchListener quiet;
  FullDiskPoolSearch(disk.view(), pools, disk.manifest().diskSectors, stop, quiet);
  EXPECT_EQ(pools.poolCount(), 2u);
  EXPECT_EQ(disk.prompter.Asked().size(), 2u);  // one question per failing 8-sector run
}

TEST(FullDiskPoolSearch, AStoppedSearchResetsTheFlag) {
  TestDisk disk(kTwoPools);
  PoolTable pools(disk.view());
  std::atomic<int> stop{0};
  CountingListener listener;
  listener.stopAfterFirstStatus = &stop;
  FullDiskPoolSearch(disk.view(), pools, disk.manifest().diskSectors, stop, listener);
  EXPECT_EQ(stop.load(), 0);
  EXPECT_EQ(listener.statuses.size(), 1u);
  std::atomic<int> already{1};
  FullDiskPoolSearch(disk.view(), pools, disk.manifest().diskSectors, already, listener);
  EXPECT_EQ(already.load(), 0);
  EXPECT_EQ(pools.poolCount(), 0u);
}

TEST(FullDiskPoolSearch, ASizeOfZeroSearchesNothing) {
  TestDisk disk(kTwoPools);
  PoolTable pools(disk.view());
  std::atomic<int> stop{0};
  SearchListener quiet;
  FullDiskPoolSearch(disk.view(), pools, 0, stop, quiet);
  EXPECT_EQ(pools.poolCount(), 0u);
  EXPECT_EQ(disk.device(), nullptr);  // not even opened
}

// ------------------------------------------------------------ volumes

TEST(OpenPool, ListsTheVolumesOfBothLeafLayoutsWithTheirRoots) {
  TestDisk disk(kTwoPools);
  Discovery d(disk.view());
  QuickPartitionScan(disk.view(), d.pools());
  for (const char* key : {"DATA", "MAIL"}) {
    const auto& want = *disk.manifest().FindPool(key);
    ASSERT_TRUE(d.PickPool(key == std::string("DATA") ? 1 : 0));
    ASSERT_TRUE(d.OpenSelectedPool(disk.prompter));
    ASSERT_EQ(d.volumes().size(), want.volumes.size()) << key;
    for (std::size_t v = 0; v < want.volumes.size(); ++v) {
      EXPECT_EQ(d.volumes()[v].name, want.volumes[v].name);
      EXPECT_EQ(d.volumes()[v].rootSector, want.volumes[v].rootSector);
    }
  }
  EXPECT_EQ(d.PoolTree(3).root, "Disk 3");
  EXPECT_EQ(d.PoolTree(3).items, (std::vector<std::string>{"MAIL", "DATA"}));
  EXPECT_EQ(d.VolumeTree().root, "volumes");
  EXPECT_EQ(*d.PickPool(1), (std::vector<std::string>{"Pool Name   :  DATA", "Pool Size      :   " +
                                                        std::to_string(d.pools().pools()[1].segmentSize / 2048) +
                                                        " MB"}));
  EXPECT_EQ(*d.PickVolume(0), std::vector<std::string>{"Volume Name   :  MAIL"});
  EXPECT_TRUE(disk.prompter.Asked().empty());
}

TEST(OpenPool, ReadsTheCompactLayoutsSingleVolume) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss-compact", "sectors": "2MiB", "pool": "OLD" } ],
                     "pools": [ { "name": "OLD", "volumes": [ { "name": "LEGACY" } ] } ] })");
  Discovery d(disk.view());
  QuickPartitionScan(disk.view(), d.pools());
  d.OpenSelectedPool(disk.prompter);
  ASSERT_EQ(d.volumes().size(), 1u);
  EXPECT_EQ(d.volumes()[0].name, "LEGACY");
  EXPECT_EQ(d.volumes()[0].rootSector, disk.manifest().pools[0].volumes[0].rootSector);
}

TEST(OpenPool, SkipsVolumesWithBadNamesOrNoRootAndSaysWhenTheSuperblockIsGone) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [
      { "pool": "A", "sectors": "1MiB" }, { "pool": "B", "sectors": "1MiB" } ] } ],
    "pools": [ { "name": "A", "volumes": [ { "name": "GOOD" }, { "name": "LONG", "nameLength": 49 },
                                           { "name": "ZERO", "nameLength": 0 }, { "name": "NOROOT", "noRootEntry": true },
                                           { "name": "LAST" } ] },
               { "name": "B", "noSuperblockMark": true, "volumes": [ { "name": "V" } ] } ] })");
  Discovery d(disk.view());
  QuickPartitionScan(disk.view(), d.pools());
  d.PickPool(0);
  d.OpenSelectedPool(disk.prompter);
  EXPECT_EQ(d.VolumeTree().items, (std::vector<std::string>{"GOOD", "LAST"}));
  d.PickPool(1);
  d.OpenSelectedPool(disk.prompter);
  EXPECT_TRUE(d.volumes().empty());
  ASSERT_EQ(disk.prompter.Asked().size(), 1u);
  EXPECT_EQ(disk.prompter.Asked()[0].text, "Super block information not found");
  EXPECT_EQ(disk.prompter.Asked()[0].icon, MessageIcon::Error);
}

TEST(OpenPool, ListsAtMostFortyNineVolumes) {
  std::string volumes;
  for (int i = 0; i < 52; ++i) volumes += std::string(i ? "," : "") + R"({ "name": "V)" + std::to_string(i) + "\" }";
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "A", "sectors": "4MiB" } ] } ],
                     "pools": [ { "name": "A", "volumes": [ )" + volumes + "] } ] }");
  ASSERT_TRUE(disk.ok());
  Discovery d(disk.view());
  QuickPartitionScan(disk.view(), d.pools());
  d.OpenSelectedPool(disk.prompter);
  EXPECT_EQ(d.volumes().size(), 49u);
  EXPECT_EQ(d.volumes().back().name, "V48");
}

// ------------------------------------------------------------ damage

TEST(Damage, ALoopingChainEndsWithThePoolsFoundSoFar) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "chainLoop": true, "sections": [
      { "pool": "A", "sectors": "1MiB" }, { "pool": "B", "sectors": "1MiB" } ] } ],
    "pools": [ { "name": "A" }, { "name": "B" } ] })");
  ASSERT_TRUE(disk.ok());
  PoolTable pools(disk.view());
  QuickPartitionScan(disk.view(), pools);
  ExpectPools(pools, All(disk.manifest()));
  PoolTable searched(disk.view());
  std::atomic<int> stop{0};
  SearchListener quiet;
  FullDiskPoolSearch(disk.view(), searched, disk.manifest().diskSectors, stop, quiet);
  EXPECT_EQ(searched.poolCount(), 2u);
}

TEST(Damage, ALinkToANonHeaderEndsTheWalk) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [
      { "pool": "A", "sectors": "1MiB", "link": 7 }, { "pool": "B", "sectors": "1MiB" } ] } ],
    "pools": [ { "name": "A" }, { "name": "B" } ] })");
  PoolTable pools(disk.view());
  QuickPartitionScan(disk.view(), pools);
  ASSERT_EQ(pools.poolCount(), 1u);
  EXPECT_EQ(pools.pools()[0].name, "A");
}

TEST(Damage, ALoopingObjectTreeIsWalkedOnce) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "A", "sectors": "2MiB" } ] } ],
    "pools": [ { "name": "A", "volumes": [ { "name": "V", "treeLoop": true, "tree": { "recordsPerLeaf": 3 },
                                             "generate": { "folders": 10, "files": 30 } } ] } ] })");
  Discovery d(disk.view());
  QuickPartitionScan(disk.view(), d.pools());
  d.OpenSelectedPool(disk.prompter);
  ASSERT_EQ(d.volumes().size(), 1u);
  std::size_t records = 0;
  WalkObjectTree(disk.view(), d.currentPool(), d.volumes()[0].rootSector, [&](const LeafRecord&) {
    ++records;
    return VisitResult::Continue;
  });
  EXPECT_EQ(records, 40u);
  // Each block of the tree was read once.
  std::set<std::uint64_t> blocks;
  std::size_t blockReads = 0;
  for (const auto& call : disk.device()->calls()) {
    if (call.count == kSectorsPerBlock && call.first >= d.volumes()[0].rootSector) {
      ++blockReads;
      blocks.insert(call.first);
    }
  }
  EXPECT_EQ(blocks.size(), disk.manifest().pools[0].volumes[0].treeBlocks);
}

TEST(Damage, UnreadableSectorsUnderSkipAllLeaveThePartialResults) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [
      { "pool": "A", "sectors": "1MiB" }, { "pool": "B", "sectors": "1MiB" } ] } ],
    "pools": [ { "name": "A" }, { "name": "B" } ],
    "unreadable": [ "2100-2200" ] })");
  ASSERT_TRUE(disk.ok());
  disk.prompter.badSectorAnswers = {BadSectorChoice::SkipAll};
  PoolTable pools(disk.view());
  std::atomic<int> stop{0};
  SearchListener quiet;
  FullDiskPoolSearch(disk.view(), pools, disk.manifest().diskSectors, stop, quiet);
  // Both chains are still reached: headers do not lie in the bad stretch.
  EXPECT_EQ(pools.poolCount(), 2u);
  EXPECT_EQ(disk.prompter.Asked().size(), 1u);
}

// ------------------------------------------------------------ ext2

// Makes an ext2 file system with mke2fs and places it at `first` of a
// builder image, as a partition starting one track after a cylinder boundary.
bool PlaceExt2(const TestDisk& disk, std::uint64_t first, std::uint64_t sectors) {
  if (std::system("command -v mke2fs >/dev/null 2>&1") != 0) return false;
  const auto fs = disk.dir() / "fs.img";
  const std::string make = "mke2fs -q -F -t ext2 -b 1024 " + fs.string() + " " + std::to_string(sectors / 2) + " >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) return false;
  const std::string place = "dd if=" + fs.string() + " of=" + disk.image().string() + " bs=512 seek=" +
                            std::to_string(first) + " conv=notrunc status=none";
  return std::system(place.c_str()) == 0;
}

TEST(SearchMorePartitions, FindsExt2FileSystemsMadeByMke2fsAtCylinderBoundaries) {
  TestDisk disk(R"({ "size": "40MiB" })");
  ASSERT_TRUE(disk.ok());
  const std::uint64_t first = 63 + 2 * 16065;  // cylinder 2 of a 255-head disk
  if (!PlaceExt2(disk, first, 8192)) GTEST_SKIP() << "mke2fs is not available";
  SearchListener quiet;
  const DiskGeometry g{81920 / 16065, 255, 63};
  auto entries = SearchMorePartitions(disk.view(), g, quiet, disk.prompter);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].label, "Mac Partition 0");
  EXPECT_EQ(entries[0].firstSector, first);
  EXPECT_EQ(entries[0].sectorCount, 8192u);
  EXPECT_TRUE(disk.prompter.Asked().empty());
}

TEST(SearchMorePartitions, ProbesOneSectorPerCylinderByTheGeometryRule) {
  TestDisk disk(R"({ "size": "8MiB" })");
  SearchListener quiet;
  // 63 sectors per track and 16 heads: every 1008 sectors from 65.
  auto entries = SearchMorePartitions(disk.view(), DiskGeometry{16, 16, 63}, quiet, disk.prompter);
  EXPECT_TRUE(entries.empty());
  std::vector<std::uint64_t> probes;
  for (const auto& call : disk.device()->calls()) probes.push_back(call.first);
  ASSERT_EQ(probes.size(), 16u);
  EXPECT_EQ(probes[0], 65u);
  EXPECT_EQ(probes[1], 65u + 1008);
  EXPECT_EQ(disk.prompter.Messages(), std::vector<std::string>{"No NSS partition found, use advance mode"});
  // Other sector counts: cylinders recomputed over 255 heads.
  TestDisk other(R"({ "size": "20MiB" })");
  SearchMorePartitions(other.view(), DiskGeometry{100, 16, 32}, quiet, other.prompter);
  EXPECT_EQ(other.device()->calls().size(), 100u * 16 * 32 / 16065);
}

}  // namespace
}  // namespace ov
