// Byte-level checks of built images: every expectation is a fixed offset,
// a little-endian field or a signature, read straight from the image file.

#include <gtest/gtest.h>

#include "support/BuiltImage.h"
#include "tools/NssImageReader.h"

namespace ov::test {
namespace {

// Chain at 2048: TWO segment 1 (data offset 64), ONE, TWO segment 0 (marker
// in the third candidate). Section extents: 2048..3135, 3136..4191, 4192..6271.
constexpr const char* kTwoPools = R"({
  "seed": 5,
  "partitions": [ { "type": "0x65", "start": 2048, "sections": [
      { "pool": "TWO", "segment": 1, "sectors": 1024, "dataOffset": 64 },
      { "pool": "ONE", "sectors": 1024 },
      { "pool": "TWO", "segment": 0, "sectors": 2048, "offsetMarker": 3 } ] } ],
  "pools": [
    { "name": "ONE", "volumes": [ { "name": "VOL1", "items": [ { "file": "a.txt", "text": "hello" } ] } ] },
    { "name": "TWO", "volumes": [ { "name": "DATA", "tree": { "leafStart": 40 }, "items": [
        { "folder": "Docs", "time": "2004-01-02 03:04:05", "items": [
          { "file": "b.bin", "size": 9000, "content": "random", "time": 1000000000 } ] } ] } ] } ]
})";

TEST(MkimageLayout, PartitionTableEntryAndBootMark) {
  BuiltImage img(kTwoPools);
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  auto mbr = disk.Sector(0);
  EXPECT_EQ(mbr[510], 0x55);
  EXPECT_EQ(mbr[511], 0xAA);
  EXPECT_EQ(mbr[446 + 4], 0x65);
  EXPECT_EQ(Le32(mbr, 446 + 8), 2048u);
  EXPECT_EQ(Le32(mbr, 446 + 12), 6272u - 2048u);
  EXPECT_EQ(mbr[462 + 4], 0) << "slot 1 stays empty";
  EXPECT_EQ(img.manifest().diskSectors % 2048, 0u) << "the default size rounds up to whole MiB";
  EXPECT_GE(img.manifest().diskSectors, 6272u);
}

TEST(MkimageLayout, SectionHeadersLinkInChainOrder) {
  BuiltImage img(kTwoPools);
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  const std::uint64_t headers[] = {2048, 3136, 4192};
  for (int i = 0; i < 3; ++i) {
    auto h = disk.Sector(headers[i]);
    EXPECT_EQ(h[0], 1);
    EXPECT_EQ(Ascii(h, 1, 12), "Nw_PaRtItIoN");
    EXPECT_EQ(Le16(h, 16), 0x169);
    EXPECT_EQ(Le32(h, 188), i < 2 ? headers[i + 1] : 0u);
  }
  EXPECT_EQ(img.manifest().partitions.at(0).sectionHeaders, std::vector<std::uint64_t>(std::begin(headers), std::end(headers)));
}

TEST(MkimageLayout, SegmentDescriptorsMarkOnlyMultiSegmentPools) {
  BuiltImage img(kTwoPools);
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  auto seg1 = disk.Sector(2048 + 5);
  EXPECT_EQ(seg1[1], 'G');
  EXPECT_EQ(seg1[5], 'P');
  EXPECT_EQ(seg1[14], 'N');
  EXPECT_EQ(Le32(seg1, 20), 2u);
  EXPECT_EQ(Le32(seg1, 32), 1u);
  EXPECT_EQ(Le32(seg1, 36), 1024u);
  auto seg0 = disk.Sector(4192 + 5);
  EXPECT_EQ(Le32(seg0, 32), 0u);
  EXPECT_EQ(Le32(seg0, 36), 2048u);
  auto single = disk.Sector(3136 + 5);
  EXPECT_NE(single[1], 'G');
}

TEST(MkimageLayout, PoolNameSectorAndDataOffsetMarkers) {
  BuiltImage img(kTwoPools);
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  auto name = disk.Sector(2048 + 29);
  EXPECT_EQ(Le32(name, 32), 1024u);
  EXPECT_EQ(LowName(name, 40, 15), "TWO");
  EXPECT_EQ(Le16(name, 40), 'T');
  EXPECT_EQ(Le16(name, 46), 0) << "unused name units are zero";
  EXPECT_EQ(LowName(disk.Sector(3136 + 29), 40, 15), "ONE");

  auto first = disk.Sector(2048 + 32);
  EXPECT_EQ(first[0], 'H');
  EXPECT_EQ(first[1], 'O');
  EXPECT_EQ(Le16(first, 24), 64);
  // Marker in the third candidate: the first two, inside the data area,
  // must not look like markers.
  EXPECT_NE(Ascii(disk.Sector(4192 + 32), 0, 2), "HO");
  EXPECT_NE(Ascii(disk.Sector(4192 + 64), 0, 2), "HO");
  auto third = disk.Sector(4192 + 96);
  EXPECT_EQ(Ascii(third, 0, 2), "HO");
  EXPECT_EQ(Le16(third, 24), 32);
}

TEST(MkimageLayout, ManifestSegmentMapMatchesTheSections) {
  BuiltImage img(kTwoPools);
  ASSERT_TRUE(img.ok()) << img.error();
  const auto& m = img.manifest();
  ASSERT_EQ(m.pools.size(), 2u);
  EXPECT_EQ(m.pools[0].name, "ONE") << "a chain walk completes ONE before TWO's segment 0";
  EXPECT_EQ(m.pools[1].name, "TWO");
  const auto& two = m.pools[1];
  ASSERT_EQ(two.segments.size(), 2u);
  EXPECT_EQ(two.segments[0].start, 4192u + 32);
  EXPECT_EQ(two.segments[0].length, 2048u);
  EXPECT_EQ(two.segments[1].start, 2048u + 64);
  EXPECT_EQ(two.segments[1].length, 1024u);
  EXPECT_EQ(two.segmentSize, 2048u) << "the size field of the pool's last section in the chain";
  EXPECT_EQ(m.pools[0].segments[0].start, 3136u + 32);
}

TEST(MkimageLayout, SuperblockVolumeRecordAndObjectRecords) {
  BuiltImage img(kTwoPools);
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  // Pool TWO: segment 0 data begins at 4224; block n < 256 lies at 4224 + 8n,
  // blocks from 256 on lie in segment 1 at 2112 + 8(n - 256).
  auto blockSector = [](std::uint64_t n) { return n < 256 ? 4224 + 8 * n : 2112 + 8 * (n - 256); };
  auto sb = disk.Sector(4224 + 8);
  EXPECT_EQ(Ascii(sb, 0, 3), "SPB");
  auto dir = disk.Block(blockSector(Le64(sb, 188)));
  ASSERT_EQ(Ascii(dir, 0, 4), "LEAF");
  EXPECT_NE(dir[42], 'N');
  const std::size_t r = 56;
  EXPECT_EQ(Le32(dir, r + 4), 0x33u);
  EXPECT_EQ(dir[r + 124], 4);
  EXPECT_EQ(LowName(dir, r + 126, 4), "DATA");
  std::size_t q = r + 126 + 8;
  while (dir[q] != 2) q += 2 * std::size_t{dir[q + 4]} + 6;
  std::uint64_t root = Le64(dir, q + 136);

  const auto& vol = img.manifest().pools[1].volumes.at(0);
  EXPECT_EQ(root, vol.rootBlock);
  EXPECT_EQ(blockSector(root), vol.rootSector);
  auto leaf = disk.Block(blockSector(root));
  ASSERT_EQ(Ascii(leaf, 0, 4), "LEAF");
  EXPECT_EQ(leaf[42], 'N') << "records start at 40";
  // Folder record at 40.
  EXPECT_EQ(Le32(leaf, 40 + 4), 3u);
  EXPECT_EQ(leaf[40 + 18], 8);
  EXPECT_EQ(Le32(leaf, 40 + 112), 0x7Fu);
  EXPECT_EQ(leaf[40 + 124], 4);
  EXPECT_EQ(LowName(leaf, 40 + 126, 4), "Docs");
  std::size_t attr = 40 + 124 + 2 + 8;
  EXPECT_EQ(leaf[attr], 2);
  EXPECT_EQ(Le32(leaf, attr + 44), 1073012645u);  // 2004-01-02 03:04:05 UTC
  std::uint64_t folderId = Le64(leaf, 40 + 8);
  // File record right after it.
  std::size_t f = 40 + Le16(leaf, 40);
  EXPECT_EQ(Le32(leaf, f + 4), 3u);
  EXPECT_EQ(leaf[f + 18], 0x18);
  EXPECT_EQ(Le64(leaf, f + 24), 9000u);
  EXPECT_EQ(Le32(leaf, f + 88), 3u);
  EXPECT_EQ(Le64(leaf, f + 128), folderId);
  EXPECT_EQ(LowName(leaf, f + 142, leaf[f + 140]), "b.bin");
  std::size_t fileAttr = f + 140 + 2 + 10;
  EXPECT_EQ(leaf[fileAttr], 2);
  EXPECT_EQ(Le32(leaf, fileAttr + 44), 1000000000u);
  EXPECT_EQ(Le16(leaf, f + Le16(leaf, f)), 0) << "a zero length ends the leaf";
  // The data.
  auto data = disk.Read(blockSector(Le64(leaf, f + 92)), 24);
  data.resize(9000);
  const auto* file = mkimage::FindFile(vol, "Docs", "b.bin");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(data, file->data);
  EXPECT_EQ(file->firstBlock, Le64(leaf, f + 92));
}

TEST(MkimageLayout, CompactPoolUsesItsOwnOffsets) {
  BuiltImage img(R"({
    "partitions": [ { "type": "nss-compact", "start": 2048, "sectors": 4096, "pool": "C" } ],
    "pools": [ { "name": "C", "volumes": [ { "name": "CVOL", "items": [
      { "folder": "Dir", "items": [ { "file": "x.txt", "text": "compact" } ] } ] } ] } ]
  })");
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  EXPECT_EQ(disk.Sector(0)[446 + 4], 0x69);
  auto sb = disk.Sector(2048 + 32 + 8);
  EXPECT_EQ(LowName(sb, 204, 20), "CVOL");
  std::uint64_t root = Le64(sb, 188);
  auto leaf = disk.Block(2080 + 8 * root);
  ASSERT_EQ(Ascii(leaf, 0, 4), "LEAF");
  const std::size_t r = 56;
  EXPECT_EQ(leaf[r + 18], 8);
  EXPECT_EQ(Le32(leaf, r + 96), 0x7Fu);
  EXPECT_EQ(LowName(leaf, r + 110, leaf[r + 108]), "Dir");
  std::size_t f = r + Le16(leaf, r);
  EXPECT_EQ(leaf[f + 18], 0x18);
  EXPECT_EQ(Le64(leaf, f + 24), 7u);
  EXPECT_EQ(Le32(leaf, f + 72), 1u);
  EXPECT_EQ(Le64(leaf, f + 112), Le64(leaf, r + 8));
  EXPECT_EQ(LowName(leaf, f + 126, leaf[f + 124]), "x.txt");
  auto data = disk.Sector(2080 + 8 * Le64(leaf, f + 76));
  EXPECT_EQ(Ascii(data, 0, 7), "compact");

  const auto& pool = img.manifest().pools.at(0);
  EXPECT_TRUE(pool.compact);
  EXPECT_EQ(pool.name, "Netware 5 NSS Partition");
  EXPECT_EQ(pool.segments.at(0).start, 2080u);
  EXPECT_EQ(pool.segmentSize, 4096u);
}

TEST(MkimageLayout, BranchBlockListsLeavesAt40Every12Bytes) {
  BuiltImage img(R"({
    "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": 2048 } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "tree": { "recordsPerLeaf": 1 }, "items": [
      { "folder": "a" }, { "folder": "b" }, { "folder": "c" } ] } ] } ]
  })");
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  const auto& pool = img.manifest().pools.at(0);
  const auto& vol = pool.volumes.at(0);
  auto root = disk.Block(vol.rootSector);
  ASSERT_EQ(Ascii(root, 0, 4), "BRCH");
  std::vector<std::string> names;
  for (std::size_t off = 40; off < 76; off += 12) {
    auto leaf = disk.Block(pool.segments[0].start + 8 * Le32(root, off));
    ASSERT_EQ(Ascii(leaf, 0, 4), "LEAF");
    names.push_back(LowName(leaf, 56 + 126, leaf[56 + 124]));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(Le32(root, 76), 0u) << "a zero entry ends the list";
  EXPECT_EQ(vol.treeBlocks, 4u);
}

TEST(MkimageLayout, PointerIndexUsesChildPointerRecords) {
  BuiltImage img(R"({
    "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": 2048 } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "tree": { "recordsPerLeaf": 1, "index": "pointers" }, "items": [
      { "folder": "a" }, { "folder": "b" } ] } ] } ]
  })");
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  const auto& pool = img.manifest().pools.at(0);
  auto root = disk.Block(pool.volumes.at(0).rootSector);
  ASSERT_EQ(Ascii(root, 0, 4), "LEAF");
  for (std::size_t r = 56, i = 0; i < 2; ++i, r += 224) {
    EXPECT_EQ(Le16(root, r), 224);
    EXPECT_EQ(Le32(root, r + 4), 0x2Cu);
    auto child = disk.Block(pool.segments[0].start + 8 * Le64(root, r + 212));
    EXPECT_EQ(LowName(child, 56 + 126, 1), i == 0 ? "a" : "b");
  }
}

TEST(MkimageLayout, NamesKeepTheLowByteOfEachUnit) {
  BuiltImage img(R"({
    "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": 2048 } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [ { "folder": "ał" } ] } ] } ]
  })");
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  const auto& vol = img.manifest().pools.at(0).volumes.at(0);
  auto leaf = disk.Block(vol.rootSector);
  EXPECT_EQ(Le16(leaf, 56 + 126), 0x0061);
  EXPECT_EQ(Le16(leaf, 56 + 128), 0x0142);
  EXPECT_EQ(vol.folders.at(0).name, std::string("a\x42"));
}

TEST(MkimageLayout, Ext2SuperblockForThePartitionSearch) {
  BuiltImage img(R"({
    "partitions": [ { "type": "linux", "start": 16128, "sectors": 16065, "ext2": { "blockSize": 4096 } } ]
  })");
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  auto sb = disk.Sector(16128 + 2);
  EXPECT_EQ(sb[56], 0x53);
  EXPECT_EQ(sb[57], 0xEF);
  EXPECT_EQ(Le16(sb, 90), 0);
  EXPECT_EQ(Le32(sb, 24), 2u);
  EXPECT_EQ(Le32(sb, 4), 16065u * 512 / 4096);
}

}  // namespace
}  // namespace ov::test
