// The RAID set device against the plain disk it was cut from: every level and
// parity layout, data offsets, a missing member, unreadable member sectors.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "disk/ImageFormats.h"
#include "disk/RaidDevice.h"
#include "disk/RaidSetFile.h"
#include "support/BuiltImage.h"
#include "support/RaidSets.h"

namespace ov {
namespace {

using test::BuiltImage;
using test::RaidDisk;

std::vector<std::byte> ReadAll(Device& d, std::uint64_t sectors, std::uint32_t step) {
  std::vector<std::byte> out(sectors * kSectorSize);
  for (std::uint64_t at = 0; at < sectors; at += step) {
    const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(step, sectors - at));
    EXPECT_TRUE(d.Read(at, n, out.data() + at * kSectorSize)) << "sector " << at;
  }
  return out;
}

// Reads the whole set through `device` and holds it against the plain disk:
// the same bytes, then zeros to the set's end.
void ExpectSameAsPlain(Device& device, const std::filesystem::path& plain, std::uint32_t step = 2048,
                       std::uint64_t upTo = ~std::uint64_t{0}) {
  auto disk = FileDevice::Open(plain);
  ASSERT_TRUE(disk);
  ASSERT_GE(device.SectorCount(), disk->SectorCount());
  const auto want = ReadAll(*disk, std::min(upTo, disk->SectorCount()), 2048);
  const auto got = ReadAll(device, std::min(upTo, device.SectorCount()), step);
  ASSERT_TRUE(std::equal(want.begin(), want.end(), got.begin())) << "the set differs from the plain disk";
  EXPECT_TRUE(std::all_of(got.begin() + static_cast<std::ptrdiff_t>(want.size()), got.end(),
                          [](std::byte b) { return b == std::byte{0}; }));
}

struct Case {
  const char* name;
  const char* raid;
};

class RaidLevels : public ::testing::TestWithParam<Case> {};

TEST_P(RaidLevels, ReadsAsThePlainDisk) {
  BuiltImage built(RaidDisk(GetParam().raid));
  ASSERT_TRUE(built.ok()) << built.error();
  OpenedImage set = OpenImage(built.dir() / "set.json");
  ASSERT_TRUE(set) << set.error;
  EXPECT_EQ(set.description.kind, ImageKind::RaidSet);
  ExpectSameAsPlain(*set.device, built.image());
  // Reads that start and end inside chunks come out the same.
  ExpectSameAsPlain(*set.device, built.image(), 37, 6000);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RaidLevels,
    ::testing::Values(
        Case{"raid0", R"({ "level": "0", "chunk": "16KiB", "outputs": ["a", "b", "c"], "setFile": "set.json" })"},
        Case{"raid1", R"({ "level": "1", "offset": 63, "outputs": ["a", "b"], "setFile": "set.json" })"},
        Case{"raid5_ls", R"({ "level": "5", "chunk": "64KiB", "layout": "left-symmetric", "offset": 2048, "outputs": ["a", "b", "c", "d"], "setFile": "set.json" })"},
        Case{"raid5_la", R"({ "level": "5", "chunk": "4KiB", "layout": "left-asymmetric", "outputs": ["a", "b", "c", "d", "e"], "setFile": "set.json" })"},
        Case{"raid5_rs", R"({ "level": "5", "chunk": "32KiB", "layout": "right-symmetric", "offset": 8, "outputs": ["a", "b", "c"], "setFile": "set.json" })"},
        Case{"raid5_ra", R"({ "level": "5", "chunk": "4MiB", "layout": "right-asymmetric", "outputs": ["a", "b", "c", "d"], "setFile": "set.json" })"},
        Case{"raid10", R"({ "level": "10", "chunk": "8KiB", "offset": 2048, "outputs": ["a", "b", "c", "d"], "setFile": "set.json" })"},
        Case{"raid10_odd", R"({ "level": "10", "chunk": "16KiB", "outputs": ["a", "b", "c"], "setFile": "set.json" })"},
        Case{"span", R"({ "level": "span", "offset": 16, "spanSectors": [5000, 9000], "outputs": ["a", "b", "c"], "setFile": "set.json" })"}),
    [](const auto& param) { return std::string(param.param.name); });

// A set whose one member is gone, or whose member fails where it is bad.
class RaidRedundancy : public ::testing::Test {
protected:
  void Build(const std::string& raid) {
    built_ = std::make_unique<BuiltImage>(RaidDisk(raid));
    ASSERT_TRUE(built_->ok()) << built_->error();
  }
  // The members as devices; "x" is missing; members with a list of bad
  // sectors fail there.
  std::vector<std::unique_ptr<Device>> Members(const std::vector<std::string>& names) {
    std::vector<std::unique_ptr<Device>> members;
    for (const auto& n : names) {
      if (n == "x") {
        members.emplace_back();
        continue;
      }
      auto file = FileDevice::Open(built_->dir() / n);
      EXPECT_TRUE(file);
      auto bad = LoadBadSectorList(built_->dir() / (n + ".bad"));
      if (bad) members.push_back(std::make_unique<FaultyDevice>(std::move(file), *bad));
      else members.push_back(std::move(file));
    }
    return members;
  }
  std::unique_ptr<BuiltImage> built_;
};

TEST_F(RaidRedundancy, Raid5ReadsThroughParityWithAMemberMissing) {
  Build(R"({ "level": "5", "chunk": "16KiB", "layout": "left-symmetric", "offset": 2048, "outputs": ["a", "b", "c", "d"] })");
  for (int gone = 0; gone < 4; ++gone) {
    std::vector<std::string> names{"a", "b", "c", "d"};
    names[static_cast<std::size_t>(gone)] = "x";
    RaidGeometry g{RaidLevel::Raid5, 32, ParityLayout::LeftSymmetric, 2048, 4};
    std::string error;
    auto set = RaidDevice::Create(g, Members(names), error);
    ASSERT_TRUE(set) << error;
    ExpectSameAsPlain(*set, built_->image(), 100);
  }
}

TEST_F(RaidRedundancy, UnreadableMemberSectorsAreRebuiltOrReadFromTheCopy) {
  const char* sets[] = {
      R"({ "level": "5", "chunk": "16KiB", "layout": "right-asymmetric", "outputs": ["a", "b", "c"],
           "unreadable": [ { "member": 1, "sector": 100, "sectors": 40 }, { "member": 2, "sector": 3000 },
                           { "member": 0, "sector": 3001 } ] })",
      R"({ "level": "1", "outputs": ["a", "b", "c"],
           "unreadable": [ { "member": 0, "sector": 4000, "sectors": 100 }, { "member": 1, "sector": 4050 } ] })",
      R"({ "level": "10", "chunk": "8KiB", "outputs": ["a", "b", "c", "d"],
           "unreadable": [ { "member": 0, "sector": 10, "sectors": 9 }, { "member": 1, "sector": 19 } ] })"};
  const RaidGeometry geometries[] = {{RaidLevel::Raid5, 32, ParityLayout::RightAsymmetric, 0, 3},
                                     {RaidLevel::Raid1, 0, ParityLayout::LeftSymmetric, 0, 3},
                                     {RaidLevel::Raid10, 16, ParityLayout::LeftSymmetric, 0, 4}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(sets[i]);
    Build(sets[i]);
    std::vector<std::string> names{"a", "b", "c"};
    if (i == 2) names.push_back("d");
    std::string error;
    auto set = RaidDevice::Create(geometries[i], Members(names), error);
    ASSERT_TRUE(set) << error;
    ExpectSameAsPlain(*set, built_->image(), 512);
  }
}

TEST_F(RaidRedundancy, OnlyWhatNoRedundancyCoversFails) {
  // Member b is missing and member c cannot read its sector 40: the set
  // sectors that need both fail, their neighbours do not, and a failed
  // read leaves the buffer as it was.
  Build(R"({ "level": "5", "chunk": "4KiB", "layout": "left-asymmetric", "outputs": ["a", "b", "c"],
             "unreadable": [ { "member": 2, "sector": 40 } ] })");
  std::string error;
  auto set = RaidDevice::Create({RaidLevel::Raid5, 8, ParityLayout::LeftAsymmetric, 0, 3}, Members({"a", "x", "c"}), error);
  ASSERT_TRUE(set) << error;
  // Row 5 (member sectors 40..47): parity on member 2 - 5 mod 3 = 0, data 0
  // on member 1 (missing), data 1 on member 2: set sectors 80..87 hold data
  // 0, so set sector 80 needs members a and c at sector 40.
  std::vector<std::byte> buf(kSectorSize * 8, std::byte{0x5A});
  EXPECT_FALSE(set->Read(80, 1, buf.data()));
  EXPECT_TRUE(std::all_of(buf.begin(), buf.end(), [](std::byte b) { return b == std::byte{0x5A}; }));
  EXPECT_TRUE(set->Read(81, 7, buf.data()));
  EXPECT_FALSE(set->Read(76, 8, buf.data()));
  // Set sector 88 is data 1 of row 5, on member c itself: its own sector 40.
  EXPECT_FALSE(set->Read(88, 1, buf.data()));
  EXPECT_TRUE(set->Read(89, 7, buf.data()));

  // RAID 0 has nothing to rebuild from.
  Build(R"({ "level": "0", "chunk": "4KiB", "outputs": ["a", "b"], "unreadable": [ { "member": 1, "sector": 9 } ] })");
  auto striped = RaidDevice::Create({RaidLevel::Raid0, 8, ParityLayout::LeftSymmetric, 0, 2}, Members({"a", "b"}), error);
  ASSERT_TRUE(striped);
  EXPECT_FALSE(striped->Read(25, 1, buf.data()));  // chunk 3 = member 1, row 1
  EXPECT_TRUE(striped->Read(24, 1, buf.data()));
}

TEST_F(RaidRedundancy, WholeChunksPerMemberRead) {
  Build(R"({ "level": "5", "chunk": "64KiB", "layout": "left-symmetric", "outputs": ["a", "b", "c", "d"] })");
  std::vector<std::unique_ptr<Device>> members;
  std::vector<FaultyDevice*> watched;
  for (const char* n : {"a", "b", "c", "d"}) {
    auto f = std::make_unique<FaultyDevice>(FileDevice::Open(built_->dir() / n), BadSectorMap{});
    watched.push_back(f.get());
    members.push_back(std::move(f));
  }
  std::string error;
  auto set = RaidDevice::Create({RaidLevel::Raid5, 128, ParityLayout::LeftSymmetric, 0, 4}, std::move(members), error);
  ASSERT_TRUE(set);
  std::vector<std::byte> buf(std::size_t{2048} * kSectorSize);
  ASSERT_TRUE(set->Read(0, 2048, buf.data()));  // 1 MiB: 16 chunks
  std::size_t calls = 0;
  for (auto* w : watched) {
    calls += w->calls().size();
    for (const auto& c : w->calls()) EXPECT_EQ(c.count, 128u);
  }
  EXPECT_EQ(calls, 16u);
}

TEST(RaidDeviceCreate, RefusesSetsItCannotRead) {
  auto mem = [](std::uint64_t sectors) { return std::make_unique<MemoryDevice>(sectors); };
  auto members = [&](std::initializer_list<std::uint64_t> sizes) {
    std::vector<std::unique_ptr<Device>> v;
    for (auto s : sizes) v.push_back(s ? mem(s) : nullptr);
    return v;
  };
  std::string error;
  EXPECT_FALSE(RaidDevice::Create({RaidLevel::Raid5, 128, ParityLayout::LeftSymmetric, 0, 0}, members({1024, 0, 0}), error));
  EXPECT_EQ(error, "RAID 5 cannot be read with 2 members missing");
  EXPECT_FALSE(RaidDevice::Create({RaidLevel::Raid5, 128, ParityLayout::LeftSymmetric, 0, 0}, members({1024, 1024, 1000}), error));
  EXPECT_EQ(error, "the members of a RAID 5 set must be of one size; these are of 1000 to 1024 sectors");
  EXPECT_FALSE(RaidDevice::Create({RaidLevel::Raid0, 24, ParityLayout::LeftSymmetric, 0, 0}, members({1024, 1024}), error));
  EXPECT_EQ(error, "the chunk size must be a power of two from 4 KiB to 4 MiB, not 12288 bytes");
  EXPECT_FALSE(RaidDevice::Create({RaidLevel::Raid10, 8, ParityLayout::LeftSymmetric, 0, 0}, members({0, 0, 64, 64}), error));
  EXPECT_EQ(error, "RAID 10 cannot be read with 2 members missing");
  EXPECT_FALSE(RaidDevice::Create({RaidLevel::Raid1, 8, ParityLayout::LeftSymmetric, 64, 0}, members({64, 64}), error));
  EXPECT_EQ(error, "the members hold nothing after the data offset of 64 sectors");
  // Two missing members of different pairs leave every chunk a copy.
  auto ok = RaidDevice::Create({RaidLevel::Raid10, 8, ParityLayout::LeftSymmetric, 0, 0}, members({64, 0, 64, 0}), error);
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->SectorCount(), 128u);
  // Span takes members of any size.
  auto span = RaidDevice::Create({RaidLevel::Span, 0, ParityLayout::LeftSymmetric, 8, 0}, members({100, 50}), error);
  ASSERT_TRUE(span);
  EXPECT_EQ(span->SectorCount(), 134u);
}

TEST(RaidLayoutTest, ParityLayoutsPlaceParityAndDataAsTheirNamesSay) {
  // Rows 0..3 of a 4-member set: parity member, then the members of data 0..2.
  struct Want {
    ParityLayout layout;
    std::uint32_t rows[4][4];
  };
  const Want wants[] = {
      {ParityLayout::LeftAsymmetric, {{3, 0, 1, 2}, {2, 0, 1, 3}, {1, 0, 2, 3}, {0, 1, 2, 3}}},
      {ParityLayout::RightAsymmetric, {{0, 1, 2, 3}, {1, 0, 2, 3}, {2, 0, 1, 3}, {3, 0, 1, 2}}},
      {ParityLayout::LeftSymmetric, {{3, 0, 1, 2}, {2, 3, 0, 1}, {1, 2, 3, 0}, {0, 1, 2, 3}}},
      {ParityLayout::RightSymmetric, {{0, 1, 2, 3}, {1, 2, 3, 0}, {2, 3, 0, 1}, {3, 0, 1, 2}}}};
  for (const auto& w : wants)
    for (std::uint64_t r = 0; r < 4; ++r) {
      EXPECT_EQ(ParityMember(w.layout, r + 4, 4), w.rows[r][0]) << LayoutName(w.layout) << " row " << r;
      for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(DataMember(w.layout, r, i, 4), w.rows[r][i + 1]) << LayoutName(w.layout);
    }
}

TEST(RaidSetFileTest, ReadsWritesAndRefuses) {
  test::TempDir dir;
  RaidSet set;
  set.geometry = {RaidLevel::Raid5, 128, ParityLayout::RightSymmetric, 2048, 3};
  set.members = {dir / "m0.img", std::nullopt, std::filesystem::path("/elsewhere/m2.img")};
  std::string error;
  ASSERT_TRUE(WriteRaidSetFile(dir / "set.json", set, error));
  const auto text = RaidSetText(set, dir / "set.json");
  EXPECT_NE(text.find("\"m0.img\""), std::string::npos);
  EXPECT_NE(text.find("\"/elsewhere/m2.img\""), std::string::npos);
  EXPECT_TRUE(IsRaidSetFile(dir / "set.json"));
  auto back = LoadRaidSetFile(dir / "set.json", error);
  ASSERT_TRUE(back) << error;
  EXPECT_EQ(back->geometry.chunkSectors, 128u);
  EXPECT_EQ(back->geometry.layout, ParityLayout::RightSymmetric);
  EXPECT_EQ(back->geometry.offsetSectors, 2048u);
  EXPECT_EQ(back->members[0], dir / "m0.img");
  EXPECT_FALSE(back->members[1]);
  // The members do not exist: the set does not open, and says which.
  OpenedImage opened = OpenImage(dir / "set.json");
  EXPECT_FALSE(opened);
  EXPECT_NE(opened.error.find((dir / "m0.img").string()), std::string::npos) << opened.error;

  std::ofstream(dir / "bad.json") << R"({ "format": "ovnss-raid-set", "version": 1, "level": "6", "members": ["a"] })";
  EXPECT_FALSE(LoadRaidSetFile(dir / "bad.json", error));
  EXPECT_EQ(error, "the RAID set file " + (dir / "bad.json").string() + ": unknown level \"6\"");
  std::ofstream(dir / "chunk.json")
      << R"({ "format": "ovnss-raid-set", "version": 1, "level": "0", "chunkBytes": 5000, "members": ["a", "b"] })";
  EXPECT_FALSE(LoadRaidSetFile(dir / "chunk.json", error));
  EXPECT_NE(error.find("chunkBytes must be a power of two"), std::string::npos);
  std::ofstream(dir / "other.json") << R"({ "level": "0" })";
  EXPECT_FALSE(IsRaidSetFile(dir / "other.json"));
}

}  // namespace
}  // namespace ov
