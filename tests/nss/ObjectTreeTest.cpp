#include "nss/ObjectTree.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "nss/Discovery.h"
#include "support/OneProcessor.h"
#include "support/TestDisk.h"

namespace ov {
namespace {

using test::TestDisk;

using Visit = std::tuple<std::uint64_t, std::size_t, std::uint32_t, std::int16_t>;

struct OpenVolume {
  explicit OpenVolume(TestDisk& disk) : d(disk.view()) {
    QuickPartitionScan(disk.view(), d.pools());
    d.OpenSelectedPool(disk.prompter);
  }
  std::uint64_t root() const { return d.volumes().at(0).rootSector; }
  Discovery d;
};

std::vector<Visit> Walked(TestDisk& disk, const OpenVolume& v) {
  std::vector<Visit> visits;
  WalkObjectTree(disk.view(), v.d.currentPool(), v.root(), [&](const LeafRecord& r) {
    visits.emplace_back(r.blockSector, r.offset, r.type, r.length);
    return VisitResult::Continue;
  });
  return visits;
}

std::vector<Visit> ReadAhead(TestDisk& disk, const OpenVolume& v) {
  std::vector<Visit> visits;
  WalkObjectTreeReadingAhead(disk.view(), v.d.currentPool(), v.root(), [&](const LeafRecord& r) {
    visits.emplace_back(r.blockSector, r.offset, r.type, r.length);
  });
  return visits;
}

// Trees of many leaves (more than one hand-over of blocks), under branch
// blocks and under child-pointer leaves, whole and looping.
class ReadingAhead : public testing::TestWithParam<const char*> {};

TEST_P(ReadingAhead, VisitsTheSameRecordsInTheSameOrderAsTheWalk) {
  TestDisk disk(std::string(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "A", "sectors": "8MiB" } ] } ],
    "pools": [ { "name": "A", "volumes": [ { "name": "V", )") + GetParam() + R"(,
      "generate": { "folders": 60, "files": 400, "minSize": 1, "maxSize": 100 } } ] } ] })");
  ASSERT_TRUE(disk.ok());
  OpenVolume v(disk);
  const auto walked = Walked(disk, v);
  ASSERT_GT(walked.size(), 400u);
  EXPECT_EQ(ReadAhead(disk, v), walked);
  // On one processor the visitor queues the child records itself.
  test::OneProcessor one;
  ASSERT_TRUE(one.bound());
  EXPECT_EQ(ReadAhead(disk, v), walked);
}

INSTANTIATE_TEST_SUITE_P(Shapes, ReadingAhead,
                         testing::Values(R"("tree": { "recordsPerLeaf": 3, "fanout": 4 })",
                                         R"("tree": { "index": "pointers", "recordsPerLeaf": 2, "fanout": 3 })",
                                         R"("tree": { "recordsPerLeaf": 3 }, "treeLoop": true)",
                                         R"("tree": { "leafStart": 40 })"));

TEST(ReadingAhead, AFailingVisitorStopsTheReadingAndItsErrorReachesTheCaller) {
  TestDisk disk(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "A", "sectors": "8MiB" } ] } ],
    "pools": [ { "name": "A", "volumes": [ { "name": "V", "tree": { "recordsPerLeaf": 2 },
      "generate": { "folders": 50, "files": 500, "minSize": 1, "maxSize": 100 } } ] } ] })");
  ASSERT_TRUE(disk.ok());
  OpenVolume v(disk);
  const std::size_t readsBefore = disk.device()->calls().size();
  std::size_t visits = 0;
  EXPECT_THROW(WalkObjectTreeReadingAhead(disk.view(), v.d.currentPool(), v.root(),
                                          [&](const LeafRecord&) {
                                            if (++visits == 5) throw std::runtime_error("full");
                                          }),
               std::runtime_error);
  EXPECT_EQ(visits, 5u);
  // The reader stopped a few hand-overs ahead, not at the end of the tree.
  const std::size_t leaves = (550 + 1) / 2;
  EXPECT_LT(disk.device()->calls().size() - readsBefore, leaves / 2);
}

TEST(ReadingAhead, UnreadableTreeBlocksAreAskedAboutAndReadAsZerosLikeTheWalk) {
  const std::string description = R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "A", "sectors": "8MiB" } ] } ],
    "pools": [ { "name": "A", "volumes": [ { "name": "V", "tree": { "recordsPerLeaf": 3 },
      "generate": { "folders": 40, "files": 200, "minSize": 1, "maxSize": 100 } } ] } ] })";
  TestDisk whole(description);
  ASSERT_TRUE(whole.ok());
  OpenVolume wv(whole);
  // Spoil the block the walk reads halfway.
  const std::size_t readsBefore = whole.device()->calls().size();
  const std::size_t records = Walked(whole, wv).size();
  const auto& calls = whole.device()->calls();
  const std::uint64_t bad = calls.at(readsBefore + (calls.size() - readsBefore) / 2).first;
  TestDisk damaged(description.substr(0, description.size() - 1) + R"(, "unreadable": [ ")" +
                   std::to_string(bad) + "-" + std::to_string(bad + kSectorsPerBlock - 1) + R"(" ] })");
  ASSERT_TRUE(damaged.ok());
  OpenVolume dv(damaged);
  damaged.prompter.badSectorAnswers = {BadSectorChoice::SkipAll};
  const auto ahead = ReadAhead(damaged, dv);
  EXPECT_EQ(damaged.prompter.Asked().size(), 1u);
  damaged.prompter.badSectorAnswers = {BadSectorChoice::SkipAll};
  EXPECT_EQ(ahead, Walked(damaged, dv));
  EXPECT_LT(ahead.size(), records);
}

}  // namespace
}  // namespace ov
