// Detection of RAID sets from members the image builder cut from known
// disks, given in a shuffled order; the answer must read as the plain disk.

#include <gtest/gtest.h>

#include "disk/ImageFormats.h"
#include "disk/RaidDetect.h"
#include "disk/RaidSetFile.h"
#include "support/BuiltImage.h"
#include "support/RaidSets.h"

namespace ov {
namespace {

using test::BuiltImage;
using test::RaidDisk;

struct Case {
  const char* name;
  const char* raid;
  std::vector<std::string> given;  // the members in the order given; "missing" for an absent one
  RaidLevel level;
  std::uint32_t chunkSectors;
  ParityLayout layout;
  std::uint64_t offset;
  std::vector<std::string> order;  // the set order
};

std::vector<std::optional<std::filesystem::path>> Paths(const BuiltImage& b, const std::vector<std::string>& names) {
  std::vector<std::optional<std::filesystem::path>> out;
  for (const auto& n : names) out.push_back(n == "missing" ? std::nullopt : std::optional(b.dir() / n));
  return out;
}

bool SameBytes(Device& a, Device& b, std::uint64_t sectors) {
  std::vector<std::byte> x(std::size_t{2048} * kSectorSize), y(x.size());
  for (std::uint64_t at = 0; at < sectors; at += 2048) {
    const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(2048, sectors - at));
    if (!a.Read(at, n, x.data()) || !b.Read(at, n, y.data())) return false;
    if (!std::equal(x.begin(), x.begin() + n * kSectorSize, y.begin())) return false;
  }
  return true;
}

class RaidDetection : public ::testing::TestWithParam<Case> {};

TEST_P(RaidDetection, FindsTheSetFromShuffledMembers) {
  const Case& c = GetParam();
  BuiltImage built(RaidDisk(c.raid));
  ASSERT_TRUE(built.ok()) << built.error();
  std::atomic<bool> stop{false};
  int last = -1;
  bool monotonic = true;
  const auto members = Paths(built, c.given);
  const auto result = DetectRaidFiles(members, {}, [&](int p) { monotonic = monotonic && p >= last, last = p; }, stop);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_TRUE(monotonic);
  EXPECT_EQ(last, 100);
  const auto& g = result.answer.geometry;
  EXPECT_EQ(g.level, c.level);
  if (IsStriped(c.level)) {
    EXPECT_EQ(g.chunkSectors, c.chunkSectors);
  }
  if (c.level == RaidLevel::Raid5) {
    EXPECT_EQ(g.layout, c.layout);
  }
  EXPECT_EQ(g.offsetSectors, c.offset);
  std::vector<std::string> order;
  for (int m : result.answer.order) order.push_back(m < 0 ? "missing" : c.given[static_cast<std::size_t>(m)]);
  if (c.level == RaidLevel::Raid10)  // the copies of a pair may come either way round
    for (std::size_t i = 0; i + 1 < order.size(); i += 2)
      if (order[i] > order[i + 1]) std::swap(order[i], order[i + 1]);
  if (c.level != RaidLevel::Raid1) {
    EXPECT_EQ(order, c.order);
  }
  EXPECT_GT(result.answer.Fit(), 0.9);

  RaidSet set;
  set.geometry = g;
  for (int m : result.answer.order) set.members.push_back(m < 0 ? std::nullopt : members[static_cast<std::size_t>(m)]);
  OpenedImage opened = OpenRaidSet(set, built.dir() / "found.json");
  ASSERT_TRUE(opened) << opened.error;
  auto plain = FileDevice::Open(built.image());
  EXPECT_TRUE(SameBytes(*opened.device, *plain, plain->SectorCount()));
}

const auto LS = ParityLayout::LeftSymmetric;
INSTANTIATE_TEST_SUITE_P(
    Sets, RaidDetection,
    ::testing::Values(
        Case{"raid5_ls", R"({ "level": "5", "chunk": "64KiB", "layout": "left-symmetric", "offset": 2048, "outputs": ["a", "b", "c", "d"] })",
             {"c", "a", "d", "b"}, RaidLevel::Raid5, 128, LS, 2048, {"a", "b", "c", "d"}},
        Case{"raid5_la", R"({ "level": "5", "chunk": "16KiB", "layout": "left-asymmetric", "outputs": ["a", "b", "c", "d", "e"] })",
             {"e", "d", "c", "b", "a"}, RaidLevel::Raid5, 32, ParityLayout::LeftAsymmetric, 0, {"a", "b", "c", "d", "e"}},
        Case{"raid5_rs", R"({ "level": "5", "chunk": "4KiB", "layout": "right-symmetric", "offset": 8, "outputs": ["a", "b", "c"] })",
             {"b", "c", "a"}, RaidLevel::Raid5, 8, ParityLayout::RightSymmetric, 8, {"a", "b", "c"}},
        Case{"raid5_ra", R"({ "level": "5", "chunk": "128KiB", "layout": "right-asymmetric", "outputs": ["a", "b", "c", "d"] })",
             {"d", "b", "a", "c"}, RaidLevel::Raid5, 256, ParityLayout::RightAsymmetric, 0, {"a", "b", "c", "d"}},
        Case{"raid5_missing", R"({ "level": "5", "chunk": "32KiB", "layout": "left-symmetric", "offset": 2048, "outputs": ["a", "b", "c", "d"] })",
             {"d", "missing", "b", "c"}, RaidLevel::Raid5, 64, LS, 2048, {"missing", "b", "c", "d"}},
        Case{"raid0", R"({ "level": "0", "chunk": "32KiB", "offset": 128, "outputs": ["a", "b", "c"] })",
             {"c", "b", "a"}, RaidLevel::Raid0, 64, LS, 128, {"a", "b", "c"}},
        Case{"raid1", R"({ "level": "1", "offset": 2048, "outputs": ["a", "b"] })",
             {"b", "a"}, RaidLevel::Raid1, 0, LS, 2048, {}},
        Case{"raid10", R"({ "level": "10", "chunk": "16KiB", "outputs": ["a", "b", "c", "d"] })",
             {"c", "a", "d", "b"}, RaidLevel::Raid10, 32, LS, 0, {"a", "b", "c", "d"}},
        Case{"raid10_missing", R"({ "level": "10", "chunk": "64KiB", "offset": 64, "outputs": ["a", "b", "c", "d"] })",
             {"d", "missing", "a", "c"}, RaidLevel::Raid10, 128, LS, 64, {"a", "missing", "c", "d"}},
        Case{"span", R"({ "level": "span", "spanSectors": [6000, 9000], "outputs": ["a", "b", "c"] })",
             {"c", "a", "b"}, RaidLevel::Span, 0, LS, 0, {"a", "b", "c"}}),
    [](const auto& param) { return std::string(param.param.name); });

class RaidDetectionRefuses : public ::testing::Test {
protected:
  RaidDetectResult Detect(const std::vector<std::optional<std::filesystem::path>>& members, RaidDetectOptions o = {}) {
    std::atomic<bool> stop{false};
    return DetectRaidFiles(members, o, {}, stop);
  }
};

TEST_F(RaidDetectionRefuses, AMemberGivenTwice) {
  BuiltImage b(RaidDisk(R"({ "level": "5", "chunk": "16KiB", "outputs": ["a", "b", "c"] })"));
  ASSERT_TRUE(b.ok()) << b.error();
  const auto r = Detect({b.dir() / "a", b.dir() / "b", b.dir() / "./a"});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, (b.dir() / "./a").string() + " is given twice");
}

TEST_F(RaidDetectionRefuses, ATruncatedMemberOfAStripedSet) {
  BuiltImage b(RaidDisk(R"({ "level": "5", "chunk": "16KiB", "outputs": ["a", "b", "c"] })"));
  ASSERT_TRUE(b.ok()) << b.error();
  std::filesystem::resize_file(b.dir() / "b", std::filesystem::file_size(b.dir() / "b") - 4096);
  const auto r = Detect({b.dir() / "a", b.dir() / "b", b.dir() / "c"});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error.rfind("the members are not of one size, as the members of a striped set are (is one truncated?):", 0), 0u)
      << r.error;
  RaidDetectOptions given;
  given.level = RaidLevel::Raid0;
  EXPECT_EQ(Detect({b.dir() / "a", b.dir() / "b"}, given).error.substr(0, 30), "the members are not of one siz");
}

TEST_F(RaidDetectionRefuses, MembersOfDifferentSets) {
  BuiltImage one(RaidDisk(R"({ "level": "5", "chunk": "16KiB", "outputs": ["a", "b", "c"] })", 1));
  BuiltImage two(RaidDisk(R"({ "level": "5", "chunk": "16KiB", "outputs": ["a", "b", "c"] })", 2));
  ASSERT_TRUE(one.ok() && two.ok());
  const auto r = Detect({one.dir() / "a", two.dir() / "b", one.dir() / "c"});
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("do not make a set"), std::string::npos) << r.error;
}

TEST_F(RaidDetectionRefuses, MembersWithoutNssStructures) {
  BuiltImage b(R"({ "size": "4MiB", "partitions": [ { "type": "linux", "start": 63, "sectors": 4000, "ext2": {} } ],
                    "fill": [ { "at": 4096, "sectors": 4096 } ],
                    "raid": { "level": "0", "chunk": "8KiB", "outputs": ["a", "b"] } })");
  ASSERT_TRUE(b.ok()) << b.error();
  const auto r = Detect({b.dir() / "b", b.dir() / "a"});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error.rfind("no NSS structures", 0), 0u) << r.error;
  const auto blank = Detect({b.dir() / "a", b.dir() / "b", std::nullopt, std::nullopt});
  EXPECT_EQ(blank.error, "only one member may be missing, not 2");
}

TEST_F(RaidDetectionRefuses, ToChooseBetweenAnswersThatFitAlike) {
  // Everything lies in the set's first chunk: any chunk size that holds it
  // and any order that puts that chunk in place read alike.
  BuiltImage b(R"({ "size": "1MiB", "partitions": [ { "type": "nss", "start": 64, "sections": [ { "pool": "P", "sectors": 1024 } ] } ],
                    "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [ { "file": "a.txt", "text": "a" } ] } ] } ],
                    "raid": { "level": "5", "chunk": "4MiB", "outputs": ["a", "b", "c"] } })");
  ASSERT_TRUE(b.ok()) << b.error();
  const auto r = Detect({b.dir() / "a", b.dir() / "b", b.dir() / "c"});
  EXPECT_FALSE(r.ok);
  EXPECT_GE(r.ties.size(), 2u);
  EXPECT_EQ(r.error.rfind("two or more answers fit equally well", 0), 0u) << r.error;
  EXPECT_NE(r.error.find("\n  RAID 5, chunk "), std::string::npos) << r.error;
}

TEST_F(RaidDetectionRefuses, WhenStopped) {
  BuiltImage b(RaidDisk(R"({ "level": "5", "chunk": "16KiB", "outputs": ["a", "b", "c"] })"));
  ASSERT_TRUE(b.ok());
  std::atomic<bool> stop{true};
  const auto r = DetectRaidFiles({b.dir() / "a", b.dir() / "b", b.dir() / "c"}, {}, {}, stop);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "stopped");
}

}  // namespace
}  // namespace ov
