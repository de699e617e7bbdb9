// Deliberate damage: each kind is checked in the bytes and in what the
// manifest says a reader must end up with.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "disk/Device.h"
#include "support/BuiltImage.h"
#include "tools/NssImageReader.h"

namespace ov::test {
namespace {

std::string OnePool(const std::string& volume, const std::string& poolExtra = "") {
  return R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": 2048 } ] } ],
              "pools": [ { "name": "P")" + poolExtra + R"(, "volumes": [ )" + volume + R"( ] } ] })";
}

bool Mentions(const mkimage::Manifest& m, const std::string& text) {
  for (const auto& d : m.damage)
    if (d.find(text) != std::string::npos) return true;
  return false;
}

TEST(MkimageDamage, SectionChainLoopsBackToTheFirstHeader) {
  BuiltImage img(R"({ "partitions": [ { "type": "nss", "start": 2048, "chainLoop": true, "sections": [
      { "pool": "A", "sectors": 256 }, { "pool": "B", "sectors": 256 } ] } ],
    "pools": [ { "name": "A" }, { "name": "B" } ] })");
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  EXPECT_EQ(Le32(disk.Sector(2048), 188), 2048u + 288);
  EXPECT_EQ(Le32(disk.Sector(2048 + 288), 188), 2048u) << "the last link leads back to the first header";
  EXPECT_TRUE(img.manifest().partitions.at(0).chainLoops);
  EXPECT_TRUE(Mentions(img.manifest(), "loops"));
  NssImageReader reader(img.image());
  EXPECT_EQ(reader.PoolsOfFirstNetWarePartition().size(), 2u);
}

TEST(MkimageDamage, SectionLinkCanPointAnywhere) {
  BuiltImage img(R"({ "partitions": [ { "type": "nss", "start": 2048, "sections": [
      { "pool": "A", "sectors": 256, "link": 5000 }, { "pool": "B", "sectors": 256 } ] } ],
    "pools": [ { "name": "A" }, { "name": "B" } ] })");
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  EXPECT_EQ(Le32(disk.Sector(2048), 188), 5000u);
  NssImageReader reader(img.image());
  EXPECT_EQ(reader.PoolsOfFirstNetWarePartition().size(), 1u) << "the walk ends at a sector that is no header";
}

TEST(MkimageDamage, ObjectTreeLoopsBackToItsRoot) {
  BuiltImage img(OnePool(R"({ "name": "V", "treeLoop": true, "items": [ { "folder": "a" }, { "file": "f", "text": "x" } ] })"));
  ASSERT_TRUE(img.ok()) << img.error();
  const auto& pool = img.manifest().pools.at(0);
  const auto& vol = pool.volumes.at(0);
  ImageFile disk(img.image());
  auto root = disk.Block(vol.rootSector);
  ASSERT_EQ(Ascii(root, 0, 4), "BRCH");
  auto loopLeaf = disk.Block(pool.segments[0].start + 8 * Le32(root, 52));
  EXPECT_EQ(Le32(loopLeaf, 56 + 4), 0x2Cu);
  EXPECT_EQ(Le64(loopLeaf, 56 + 212), vol.rootBlock);
  EXPECT_EQ(vol.folders.size(), 1u);
  EXPECT_EQ(vol.files.size(), 1u);
  EXPECT_TRUE(Mentions(img.manifest(), "back to root block"));
  NssImageReader reader(img.image());
  auto pools = reader.PoolsOfFirstNetWarePartition();
  EXPECT_EQ(reader.Scan(pools.at(0), vol.rootSector, false).files.size(), 1u);
}

TEST(MkimageDamage, RecordLengthRunsPastTheBlockEnd) {
  BuiltImage img(OnePool(R"({ "name": "V", "items": [
    { "file": "good", "text": "g" }, { "file": "bad", "text": "b", "overrun": true }, { "file": "after", "text": "a" } ] })"));
  ASSERT_TRUE(img.ok()) << img.error();
  const auto& vol = img.manifest().pools.at(0).volumes.at(0);
  ImageFile disk(img.image());
  auto root = disk.Block(vol.rootSector);
  ASSERT_EQ(Ascii(root, 0, 4), "BRCH") << "the damaged record ends its leaf; the next record starts a new one";
  auto leaf = disk.Block(img.manifest().pools[0].segments[0].start + 8 * Le32(root, 40));
  std::size_t r = 56 + Le16(leaf, 56);
  auto length = static_cast<std::int16_t>(Le16(leaf, r));
  EXPECT_GT(r + static_cast<std::size_t>(length), 4095u);
  ASSERT_EQ(vol.files.size(), 2u);
  EXPECT_EQ(vol.files[0].name, "good");
  EXPECT_EQ(vol.files[1].name, "after");
  ASSERT_EQ(vol.dropped.size(), 1u);
  EXPECT_EQ(vol.dropped[0].name, "bad");
  EXPECT_EQ(vol.dropped[0].reason, "record runs past the block end");
}

TEST(MkimageDamage, BlockCountThatDoesNotMatchTheSize) {
  BuiltImage img(OnePool(R"({ "name": "V", "items": [
    { "file": "short", "size": 5000, "content": "prose", "blockCount": 1 },
    { "file": "fine", "size": 4097, "content": "prose" } ] })"));
  ASSERT_TRUE(img.ok()) << img.error();
  const auto& vol = img.manifest().pools.at(0).volumes.at(0);
  ImageFile disk(img.image());
  auto leaf = disk.Block(vol.rootSector);
  EXPECT_EQ(Le64(leaf, 56 + 24), 5000u);
  EXPECT_EQ(Le32(leaf, 56 + 88), 1u);
  ASSERT_EQ(vol.files.size(), 1u);
  EXPECT_EQ(vol.files[0].name, "fine");
  EXPECT_EQ(vol.files[0].blockCount, 2u);
  EXPECT_EQ(vol.files[0].index, 0u) << "a dropped record does not count";
  EXPECT_EQ(vol.dropped.at(0).reason, "block count does not match size");
  EXPECT_TRUE(Mentions(img.manifest(), "block count 1 does not match size 5000"));
}

TEST(MkimageDamage, ParentThatDoesNotExist) {
  BuiltImage img(OnePool(R"({ "name": "V", "items": [
    { "folder": "lost", "parentId": 4660, "items": [ { "file": "inside", "text": "i" } ] } ] })"));
  ASSERT_TRUE(img.ok()) << img.error();
  const auto& vol = img.manifest().pools.at(0).volumes.at(0);
  ImageFile disk(img.image());
  EXPECT_EQ(Le32(disk.Block(vol.rootSector), 56 + 112), 4660u);
  ASSERT_EQ(vol.folders.size(), 1u);
  EXPECT_FALSE(vol.folders[0].placed);
  EXPECT_EQ(vol.folders[0].parentId, 4660u);
  ASSERT_EQ(vol.files.size(), 1u);
  EXPECT_FALSE(vol.files[0].placed);
  EXPECT_TRUE(Mentions(img.manifest(), "parent ID 0x1234 does not exist"));
}

TEST(MkimageDamage, SameRecordInTwoLeaves) {
  BuiltImage img(OnePool(R"({ "name": "V", "items": [
    { "folder": "twice", "duplicate": true }, { "file": "file twice", "text": "t", "duplicate": true } ] })"));
  ASSERT_TRUE(img.ok()) << img.error();
  const auto& pool = img.manifest().pools.at(0);
  const auto& vol = pool.volumes.at(0);
  ImageFile disk(img.image());
  auto root = disk.Block(vol.rootSector);
  ASSERT_EQ(Ascii(root, 0, 4), "BRCH");
  auto first = disk.Block(pool.segments[0].start + 8 * Le32(root, 40));
  auto second = disk.Block(pool.segments[0].start + 8 * Le32(root, 52));
  EXPECT_EQ(Le64(first, 56 + 8), Le64(second, 56 + 8));
  EXPECT_EQ(vol.folders.size(), 1u) << "a folder met twice is kept once";
  EXPECT_EQ(vol.folderCount, 2u) << "but counted twice";
  EXPECT_EQ(vol.files.size(), 2u) << "files are not tested for duplicates";
}

TEST(MkimageDamage, VolumesAReaderMustSkip) {
  BuiltImage img(OnePool(R"({ "name": "OK" }, { "name": "NOROOT", "noRootEntry": true },
                            { "name": "LONG", "nameLength": 49 }, { "name": "ALSO" })"));
  ASSERT_TRUE(img.ok()) << img.error();
  const auto& vols = img.manifest().pools.at(0).volumes;
  ASSERT_EQ(vols.size(), 4u);
  EXPECT_TRUE(vols[0].found);
  EXPECT_FALSE(vols[1].found);
  EXPECT_FALSE(vols[2].found);
  EXPECT_TRUE(vols[3].found);
  NssImageReader reader(img.image());
  auto volumes = reader.Volumes(reader.PoolsOfFirstNetWarePartition().at(0));
  ASSERT_EQ(volumes.size(), 2u);
  EXPECT_EQ(volumes[0].name, "OK");
  EXPECT_EQ(volumes[1].name, "ALSO");
}

TEST(MkimageDamage, SuperblockWithoutItsMark) {
  BuiltImage img(OnePool(R"({ "name": "V" })", R"(, "noSuperblockMark": true)"));
  ASSERT_TRUE(img.ok()) << img.error();
  ImageFile disk(img.image());
  const auto& pool = img.manifest().pools.at(0);
  EXPECT_NE(Ascii(disk.Sector(pool.superblockSector), 0, 3), "SPB");
  EXPECT_FALSE(pool.volumes.at(0).found);
}

TEST(MkimageDamage, UnreadableSectorsGoToTheSideList) {
  BuiltImage img(OnePool(R"({ "name": "V", "items": [ { "folder": "d", "items": [
      { "file": "hurt.bin", "size": 10000, "content": "random" } ] } ] })") .insert(1, R"("unreadable": [ 7, "100-103", 101, { "file": "P/V/d/hurt.bin", "sector": 9, "sectors": 3 } ], )"));
  ASSERT_TRUE(img.ok()) << img.error();
  const auto& m = img.manifest();
  const auto& file = m.pools.at(0).volumes.at(0).files.at(0);
  ASSERT_EQ(m.unreadable.size(), 3u);
  EXPECT_EQ(m.unreadable[0], std::make_pair(std::uint64_t{7}, std::uint64_t{7}));
  EXPECT_EQ(m.unreadable[1], std::make_pair(std::uint64_t{100}, std::uint64_t{103})) << "overlaps merge";
  EXPECT_EQ(m.unreadable[2], std::make_pair(file.diskSector + 9, file.diskSector + 11));

  auto list = img.dir() / "disk.img.bad";
  ASSERT_TRUE(mkimage::WriteUnreadableList(m, list));
  std::ifstream in(list);
  std::stringstream text;
  text << in.rdbuf();
  std::string expected = "# Unreadable sectors, one sector or inclusive range first-last per line\n7\n100-103\n" +
                         std::to_string(file.diskSector + 9) + "-" + std::to_string(file.diskSector + 11) + "\n";
  EXPECT_EQ(text.str(), expected);
}

TEST(MkimageDamage, SideListReadsBackThroughTheDiskLayer) {
  BuiltImage img(OnePool(R"({ "name": "V" })").insert(1, R"("unreadable": [ 3, "10-12", "4096-4200" ], )"));
  ASSERT_TRUE(img.ok()) << img.error();
  auto map = ParseBadSectorList(mkimage::UnreadableListText(img.manifest()));
  ASSERT_TRUE(map.has_value());
  ASSERT_EQ(map->ranges().size(), 3u);
  EXPECT_EQ(map->ranges()[1].first, 10u);
  EXPECT_EQ(map->ranges()[1].last, 12u);
  EXPECT_TRUE(map->Contains(4200));
  EXPECT_FALSE(map->Contains(4201));
}

TEST(MkimageDamage, NoUnreadableSectorsRemovesAStaleList) {
  BuiltImage img(OnePool(R"({ "name": "V" })"));
  ASSERT_TRUE(img.ok()) << img.error();
  auto list = img.dir() / "disk.img.bad";
  std::ofstream(list) << "12\n";
  ASSERT_TRUE(mkimage::WriteUnreadableList(img.manifest(), list));
  EXPECT_FALSE(std::filesystem::exists(list));
}

TEST(MkimageDamage, UnreadableFileSectorsMustLieInTheFile) {
  BuiltImage img(OnePool(R"({ "name": "V", "items": [ { "file": "f", "text": "x" } ] })").insert(1, R"("unreadable": [ { "file": "P/V/f", "sector": 8 } ], )"));
  EXPECT_FALSE(img.ok());
  EXPECT_NE(img.error().find("outside its 8 data sectors"), std::string::npos) << img.error();
}

}  // namespace
}  // namespace ov::test
