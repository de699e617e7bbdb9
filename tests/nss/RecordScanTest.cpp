#include "nss/RecordScan.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "nss/Discovery.h"
#include "nss/FolderListing.h"
#include "records/ActivityLog.h"
#include "support/OneProcessor.h"
#include "support/TestDisk.h"
#include "support/Files.h"

namespace ov {
namespace {

using test::TestDisk;

// Opens the first pool of the disk, scans volume `v` into `tree` and checks
// the nodes against the builder's manifest, field by field and in order.
void ScanAndCompare(TestDisk& disk, RecoveryTree& tree, std::size_t v = 0, ActivityLog* log = nullptr) {
  Discovery d(disk.view());
  QuickPartitionScan(disk.view(), d.pools());
  ASSERT_GE(d.pools().poolCount(), 1u);
  d.OpenSelectedPool(disk.prompter);
  ASSERT_GT(d.volumes().size(), v);
  ScanVolume(disk.view(), d.currentPool(), d.volumes()[v].rootSector, d.pools().compactLayout(), tree, log);
  const auto& want = disk.manifest().pools[0].volumes[v];
  EXPECT_EQ(tree.folderCount, want.folderCount);
  EXPECT_EQ(tree.fileCount, want.fileCount);
  ASSERT_EQ(tree.folders().size(), want.folders.size());
  for (std::size_t i = 0; i < want.folders.size(); ++i) {
    const TreeNode& got = tree.folders()[i];
    EXPECT_EQ(got.objectId, want.folders[i].id) << i;
    EXPECT_EQ(got.parentId, want.folders[i].parentId) << i;
    EXPECT_EQ(got.name(), want.folders[i].name) << i;
    EXPECT_EQ(got.time, want.folders[i].time) << i;
    EXPECT_EQ(got.index, want.folders[i].index) << i;
    EXPECT_EQ(got.treeItem != kNoItem, want.folders[i].placed) << i;
    if (want.folders[i].placed) {
      EXPECT_EQ(tree.ItemPath(got.treeItem), want.folders[i].path) << i;
    }
  }
  ASSERT_EQ(tree.files().size(), want.files.size());
  for (std::size_t i = 0; i < want.files.size(); ++i) {
    const TreeNode& got = tree.files()[i];
    EXPECT_EQ(got.objectId, want.files[i].id) << i;
    EXPECT_EQ(got.parentId, want.files[i].parentId) << i;
    EXPECT_EQ(got.name(), want.files[i].name) << i;
    EXPECT_EQ(got.time, want.files[i].time) << i;
    EXPECT_EQ(got.index, want.files[i].index) << i;
    EXPECT_EQ(got.size, want.files[i].size) << i;
    EXPECT_EQ(got.blockCount, want.files[i].blockCount) << i;
    EXPECT_EQ(got.firstBlock, want.files[i].firstBlock) << i;
  }
}

using test::ReadFile;

TEST(ScanVolume, ThreeFoldersAndTwoFilesInOneLeafGiveTheirCountsAndLogLines) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "1MiB" } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "folder": "A" }, { "folder": "B" }, { "folder": "C" },
      { "file": "one.txt", "text": "1" }, { "file": "two.txt", "text": "22" } ] } ] } ] })");
  ASSERT_TRUE(disk.ok());
  RecoveryTree tree;
  ActivityLog log(disk.dir().path());
  ScanAndCompare(disk, tree, 0, &log);
  EXPECT_EQ(tree.folderCount, 3u);
  EXPECT_EQ(tree.fileCount, 2u);
  EXPECT_EQ(ReadFile(disk.dir() / "ActivityLog.txt"), "\r\nNo of Folders Found : 3\r\nNo of Files Found : 2");
  EXPECT_EQ(disk.manifest().pools[0].volumes[0].treeBlocks, 1u);  // the root is the only leaf
}

TEST(ScanVolume, TakesFilesOnlyWhenTheBlockCountMatchesTheSize) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "1MiB" } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "file": "two blocks", "size": 4097 },
      { "file": "one block", "size": 4097, "blockCount": 1 },
      { "file": "empty", "size": 0 },
      { "file": "three", "size": 8192, "blockCount": 3 } ] } ] } ] })");
  RecoveryTree tree;
  ScanAndCompare(disk, tree);
  ASSERT_EQ(tree.files().size(), 2u);
  EXPECT_EQ(tree.files()[0].name(), "two blocks");
  EXPECT_EQ(tree.files()[1].name(), "empty");
  EXPECT_EQ(tree.fileCount, 2u);
}

TEST(ScanVolume, KeepsOneNodeOfAFolderMetTwiceButCountsItTwice) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "1MiB" } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "folder": "Twice", "duplicate": true, "items": [ { "file": "x", "text": "x" } ] } ] } ] } ] })");
  RecoveryTree tree;
  ScanAndCompare(disk, tree);
  EXPECT_EQ(tree.folders().size(), 1u);
  EXPECT_EQ(tree.folderCount, 2u);
  EXPECT_EQ(tree.ItemCount(), 2u);  // Root and one item
}

TEST(ScanVolume, FolderFlaggedAsFileAndRootParentAndLowByteNames) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "1MiB" } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "folder": "Looks like a file", "fileFlag": true },
      { "folder": "ał", "items": [ { "file": "Łódź.txt", "text": "x", "extraNames": ["LODZ.TXT"] } ] },
      { "file": "no time", "text": "t", "attributes": false } ] } ] } ] })");
  RecoveryTree tree;
  ScanAndCompare(disk, tree);
  ASSERT_EQ(tree.folders().size(), 1u);
  EXPECT_EQ(tree.folders()[0].name(), "aB");  // 0x0061 0x0142
  EXPECT_EQ(tree.folders()[0].parentId, 0u);
  bool flagged = false;
  for (const auto& f : tree.files()) {
    if (f.name() == "Looks like a file") {
      flagged = true;
      EXPECT_EQ(f.size, 0u);
      EXPECT_EQ(f.parentId, 0u);
    }
    if (f.name() == "no time") {
      EXPECT_EQ(f.time, 0u);
    }
  }
  EXPECT_TRUE(flagged);
}

TEST(ScanVolume, HidesFoldersWithoutAPlacedParentAndTheirFiles) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "1MiB" } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "folder": "Orphan", "parentId": "0x4711", "items": [ { "file": "lost.txt", "text": "l" } ] },
      { "folder": "Home" } ] } ] } ] })");
  RecoveryTree tree;
  ScanAndCompare(disk, tree);
  auto rows = ListFolder(tree, 0);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].name, "Home");
}

TEST(ScanVolume, ReadsTheCompactLayout) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss-compact", "sectors": "2MiB", "pool": "OLD" } ],
    "pools": [ { "name": "OLD", "volumes": [ { "name": "LEGACY", "tree": { "recordsPerLeaf": 4 },
      "generate": { "folders": 8, "files": 20 } } ] } ] })");
  RecoveryTree tree;
  ScanAndCompare(disk, tree);
  EXPECT_EQ(tree.fileCount, 20u);
}

TEST(ScanVolume, DamagedTreesEndWithTheNodesFoundSoFar) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "2MiB" } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "treeLoop": true,
      "tree": { "index": "pointers", "recordsPerLeaf": 5 },
      "items": [ { "folder": "Long", "overrun": true }, { "file": "after", "text": "a" } ],
      "generate": { "folders": 6, "files": 25 } } ] } ] })");
  ASSERT_TRUE(disk.ok());
  RecoveryTree tree;
  ScanAndCompare(disk, tree);
  EXPECT_FALSE(disk.manifest().pools[0].volumes[0].dropped.empty());
}

// The scan decodes whole blocks itself; record by record through the
// record visitor must give the same nodes, whatever the names' lengths (one
// to 255 units, around the widths decoded at once) and wherever the
// records lie in their blocks.
TEST(ScanVolume, DecodesEveryRecordAsTheRecordVisitorDoes) {
  std::string items;
  for (std::size_t n : {1, 15, 16, 17, 31, 32, 33, 47, 100, 200, 255}) {
    items += (items.empty() ? "" : ", ") + std::string(R"({ "folder": ")") + std::string(n, 'd') +
             R"(", "items": [ { "file": ")" + std::string(n, 'f') + R"(", "text": "x" } ] })";
  }
  for (const char* layout : {"\"type\": \"nss\", \"sections\": [ { \"pool\": \"P\", \"sectors\": \"8MiB\" } ]",
                             "\"type\": \"nss-compact\", \"sectors\": \"8MiB\", \"pool\": \"P\""}) {
    TestDisk disk(std::string(R"({ "partitions": [ { )") + layout + R"( } ],
      "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [ )" + items + R"( ],
        "generate": { "folders": 40, "files": 600, "minSize": 1, "maxSize": 9000 } } ] } ] })");
    ASSERT_TRUE(disk.ok()) << layout;
    Discovery d(disk.view());
    QuickPartitionScan(disk.view(), d.pools());
    d.OpenSelectedPool(disk.prompter);
    const bool compact = d.pools().compactLayout();
    RecoveryTree scanned, scannedOnOne, visited;
    ScanVolume(disk.view(), d.currentPool(), d.volumes()[0].rootSector, compact, scanned, nullptr);
    {
      test::OneProcessor one;  // the scan's one-thread way
      ASSERT_TRUE(one.bound());
      ScanVolume(disk.view(), d.currentPool(), d.volumes()[0].rootSector, compact, scannedOnOne, nullptr);
    }
    WalkObjectTree(disk.view(), d.currentPool(), d.volumes()[0].rootSector, [&](const LeafRecord& r) {
      VisitObjectRecord(r, compact, visited);
      return VisitResult::Continue;
    });
    visited.BuildFolderTree();
    ASSERT_GT(scanned.files().size(), 600u);
    auto same = [](const NodeList& a, const NodeList& b) {
      if (a.size() != b.size()) return false;
      for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name() != b[i].name() || a[i].objectId != b[i].objectId || a[i].parentId != b[i].parentId ||
            a[i].index != b[i].index || a[i].time != b[i].time || a[i].size != b[i].size ||
            a[i].blockCount != b[i].blockCount || a[i].firstBlock != b[i].firstBlock ||
            a[i].treeItem != b[i].treeItem || a[i].nextSameParent != b[i].nextSameParent) {
          return false;
        }
      }
      return true;
    };
    EXPECT_TRUE(same(scanned.folders(), visited.folders())) << layout;
    EXPECT_TRUE(same(scanned.files(), visited.files())) << layout;
    EXPECT_TRUE(same(scannedOnOne.folders(), visited.folders())) << layout;
    EXPECT_TRUE(same(scannedOnOne.files(), visited.files())) << layout;
    EXPECT_EQ(scanned.folderCount, visited.folderCount);
    EXPECT_EQ(scanned.fileCount, visited.fileCount);
  }
}

}  // namespace
}  // namespace ov
