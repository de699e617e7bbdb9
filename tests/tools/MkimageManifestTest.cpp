// The manifest against what an independent reader finds in the bytes.

#include <gtest/gtest.h>

#include "mkimage/Content.h"
#include "support/BuiltImage.h"
#include "tools/NssImageReader.h"

namespace ov::test {
namespace {

// Reads the first NetWare partition of `image` with the test reader and
// holds every finding against the manifest.
void ExpectReaderAgrees(const std::filesystem::path& image, const mkimage::Manifest& m) {
  NssImageReader reader(image);
  ASSERT_TRUE(reader.ok());
  auto pools = reader.PoolsOfFirstNetWarePartition();
  std::vector<const mkimage::ManifestPool*> expected;
  int slot = -1;
  for (const auto& p : m.partitions)
    if (p.type == 0x65 || p.type == 0x69) {
      slot = p.slot;
      break;
    }
  for (const auto& p : m.pools)
    if (p.partitionSlot == slot) expected.push_back(&p);
  ASSERT_EQ(pools.size(), expected.size());
  for (std::size_t i = 0; i < pools.size(); ++i) {
    const auto& got = pools[i];
    const auto& want = *expected[i];
    SCOPED_TRACE("pool " + want.name);
    EXPECT_EQ(got.name, want.name);
    EXPECT_EQ(got.segmentSize, want.segmentSize);
    ASSERT_EQ(got.segmentCount, want.segments.size());
    for (std::size_t k = 0; k < want.segments.size(); ++k) {
      EXPECT_EQ(got.start[k], want.segments[k].start);
      if (want.segments.size() > 1) {
        EXPECT_EQ(got.length[k], want.segments[k].length);
      }
    }
    auto volumes = reader.Volumes(got);
    std::vector<const mkimage::ManifestVolume*> listed;
    for (const auto& v : want.volumes)
      if (v.found) listed.push_back(&v);
    ASSERT_EQ(volumes.size(), listed.size());
    for (std::size_t v = 0; v < volumes.size(); ++v) {
      const auto& wv = *listed[v];
      SCOPED_TRACE("volume " + wv.name);
      EXPECT_EQ(volumes[v].name, wv.name);
      EXPECT_EQ(volumes[v].rootSector, wv.rootSector);
      auto scan = reader.Scan(got, volumes[v].rootSector, reader.compactLayout());
      EXPECT_EQ(scan.folderCount, wv.folderCount);
      EXPECT_EQ(scan.fileCount, wv.fileCount);
      EXPECT_EQ(scan.blocks, wv.treeBlocks);
      ASSERT_EQ(scan.folders.size(), wv.folders.size());
      for (std::size_t f = 0; f < scan.folders.size(); ++f) {
        const auto& a = scan.folders[f];
        const auto& b = wv.folders[f];
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.parent, b.parentId);
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.time, b.time);
        EXPECT_EQ(a.index, b.index);
      }
      ASSERT_EQ(scan.files.size(), wv.files.size());
      for (std::size_t f = 0; f < scan.files.size(); ++f) {
        const auto& a = scan.files[f];
        const auto& b = wv.files[f];
        SCOPED_TRACE("file " + b.name);
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.parent, b.parentId);
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.time, b.time);
        EXPECT_EQ(a.index, b.index);
        EXPECT_EQ(a.size, b.size);
        EXPECT_EQ(a.blockCount, b.blockCount);
        EXPECT_EQ(a.firstBlock, b.firstBlock);
        auto data = reader.FileData(got, a);
        EXPECT_EQ(data.size(), b.data.size());
        EXPECT_EQ(mkimage::Sha256Hex(data), b.sha256);
      }
    }
  }
}

TEST(MkimageManifest, ReaderFindsWhatTheManifestSays) {
  BuiltImage img(R"({
    "seed": 9,
    "partitions": [ { "type": "nss", "sections": [
      { "pool": "BIG", "segment": 2, "sectors": 512 },
      { "pool": "BIG", "segment": 0, "sectors": 256 },
      { "pool": "SMALL", "sectors": 1024, "offsetMarker": 0 },
      { "pool": "BIG", "segment": 1, "sectors": 384, "dataOffset": 40 } ] } ],
    "pools": [
      { "name": "BIG", "directory": { "recordsPerLeaf": 2 }, "volumes": [
        { "name": "ONE", "generate": { "folders": 6, "files": 20, "maxSize": 9000 } },
        { "name": "TWO", "tree": { "leafStart": 40, "recordsPerLeaf": 3, "fanout": 2 },
          "generate": { "folders": 4, "files": 12, "maxSize": 7000 } },
        { "name": "THREE", "tree": { "index": "pointers", "recordsPerLeaf": 2 },
          "items": [ { "file": "in segment 2.txt", "segment": 2, "size": 5000, "content": "prose" } ] } ] },
      { "name": "SMALL", "volumes": [ { "name": "S", "items": [
        { "folder": "x", "items": [ { "file": "empty" }, { "file": "four k", "size": 4096, "content": "random" } ] } ] } ] } ]
  })");
  ASSERT_TRUE(img.ok()) << img.error();
  ExpectReaderAgrees(img.image(), img.manifest());
  const auto* three = img.manifest().FindVolume("BIG", "THREE");
  ASSERT_NE(three, nullptr);
  const auto& pool = *img.manifest().FindPool("BIG");
  // Segment 2 holds pool sectors 640 .. 1151: blocks 80 .. 143.
  EXPECT_GE(three->files.at(0).firstBlock, 80u);
  EXPECT_EQ(three->files.at(0).diskSector, pool.segments[2].start + 8 * (three->files[0].firstBlock - 80));
}

TEST(MkimageManifest, CompactPoolIsReadWithTheCompactLayout) {
  BuiltImage img(R"({
    "partitions": [ { "type": "0x69", "start": 4096, "sectors": 8192, "pool": "C" } ],
    "pools": [ { "name": "C", "volumes": [ { "name": "A rather long name!!", "generate": { "folders": 5, "files": 15 } } ] } ]
  })");
  ASSERT_TRUE(img.ok()) << img.error();
  ExpectReaderAgrees(img.image(), img.manifest());
  EXPECT_EQ(img.manifest().pools.at(0).volumes.at(0).name, "A rather long name!!");
}

TEST(MkimageManifest, FolderPathsFollowThePlacedTree) {
  BuiltImage img(R"({
    "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": 1024 } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "folder": "a", "items": [ { "folder": "b", "items": [ { "file": "c.txt", "text": "c" } ] } ] },
      { "file": "top.txt", "text": "t" } ] } ] } ]
  })");
  ASSERT_TRUE(img.ok()) << img.error();
  const auto* v = img.manifest().FindVolume("P", "V");
  ASSERT_NE(v, nullptr);
  ASSERT_EQ(v->folders.size(), 2u);
  EXPECT_EQ(v->folders[1].path, "a\\b");
  ASSERT_NE(mkimage::FindFile(*v, "a\\b", "c.txt"), nullptr);
  ASSERT_NE(mkimage::FindFile(*v, "", "top.txt"), nullptr);
  EXPECT_EQ(v->files[0].index, 0u);
  EXPECT_EQ(v->files[1].index, 1u);
}

TEST(MkimageManifest, SampleDiskReadsBackCompletely) {
  TempDir dir;
  auto parsed = mkimage::ParseDescriptionFile(std::filesystem::path(OVNSS_SOURCE_DIR) / "samples" / "sample-disk.json");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  auto built = mkimage::BuildImage(*parsed.description, dir / "sample.img");
  ASSERT_TRUE(built.ok()) << built.error;
  const auto& m = *built.manifest;
  ExpectReaderAgrees(dir / "sample.img", m);

  // What the sample promises: two pools, one of two segments whose sections
  // lie out of order in the chain, several volumes, a few hundred folders
  // and files, some damage, and raw documents of every kind.
  ASSERT_EQ(m.pools.size(), 2u);
  const auto* users = m.FindPool("USERS");
  ASSERT_NE(users, nullptr);
  ASSERT_EQ(users->segments.size(), 2u);
  const auto& headers = m.partitions.at(0).sectionHeaders;
  auto pos = [&](std::uint64_t h) { return std::find(headers.begin(), headers.end(), h) - headers.begin(); };
  EXPECT_GT(pos(users->segments[0].headerSector), pos(users->segments[1].headerSector));
  std::size_t volumes = 0, nodes = 0;
  for (const auto& p : m.pools)
    for (const auto& v : p.volumes) {
      ++volumes;
      nodes += v.folders.size() + v.files.size();
    }
  EXPECT_GE(volumes, 3u);
  EXPECT_GE(nodes, 300u);
  EXPECT_GE(m.damage.size(), 4u);
  EXPECT_FALSE(m.unreadable.empty());
  bool kinds[4] = {};
  for (const auto& d : m.documents)
    if (d.source == "documents") kinds[mkimage::RawKindNumber(d.kind)] = true;
  EXPECT_TRUE(kinds[0] && kinds[1] && kinds[2] && kinds[3]);
}

}  // namespace
}  // namespace ov::test
