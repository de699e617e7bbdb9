// The segment map of a pool that lacks segments: nothing is placed in a
// missing segment, nor after one whose length no disk told.

#include <gtest/gtest.h>

#include "nss/Pools.h"

namespace ov {
namespace {

PoolInfo ThreeSegments() {
  PoolInfo pool;
  pool.segmentCount = 3;
  pool.segmentStart = {1000, 50000, 9000};
  pool.segmentLength = {100, 200, 300};
  return pool;
}

TEST(MissingSegments, SectorsInOrAfterAMissingSegmentAreNeverPlaced) {
  PoolInfo pool = ThreeSegments();
  EXPECT_FALSE(pool.HasMissingSegments());
  pool.segmentMissing[1] = true;  // its length known (two disks told the same)
  EXPECT_TRUE(pool.HasMissingSegments());
  std::uint64_t s = 99;
  ASSERT_TRUE(TranslateSector(pool, s));
  EXPECT_EQ(s, 1099u);
  s = 100;
  EXPECT_FALSE(TranslateSector(pool, s));
  s = 299;
  EXPECT_FALSE(TranslateSector(pool, s));
  s = 300;
  ASSERT_TRUE(TranslateSector(pool, s));
  EXPECT_EQ(s, 9000u);
  const auto run = TranslateRun(pool, 50);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->sectors, 50u);  // ends where the missing segment begins
  EXPECT_FALSE(ReachesMissingSegment(pool, 0, 100));
  EXPECT_TRUE(ReachesMissingSegment(pool, 90, 11));
  EXPECT_TRUE(ReachesMissingSegment(pool, 299, 1));
  EXPECT_FALSE(ReachesMissingSegment(pool, 300, 300));

  // A missing segment of unknown length: whatever follows cannot be placed.
  pool.segmentLength[1] = 0;
  s = 350;
  EXPECT_FALSE(TranslateSector(pool, s));
  EXPECT_TRUE(ReachesMissingSegment(pool, 400, 1));
  EXPECT_FALSE(ReachesMissingSegment(pool, 0, 100));

  // A pool of one segment, claimed twice, is not read at all.
  PoolInfo single;
  single.segmentCount = 1;
  single.segmentStart[0] = 500;
  single.segmentMissing[0] = true;
  s = 0;
  EXPECT_FALSE(TranslateSector(single, s));
  EXPECT_FALSE(TranslateRun(single, 0));
}

}  // namespace
}  // namespace ov
