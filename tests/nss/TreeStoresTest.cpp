// The stores under the recovery tree: the block list of nodes, the ID map
// and the name store, and the large-page memory they come from.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "nss/BlockList.h"
#include "nss/IdMap.h"
#include "nss/NameStore.h"
#include "nss/RecoveryTree.h"
#include "platform/LargePages.h"

namespace ov {
namespace {

struct Record {
  std::uint64_t a;
  std::uint64_t b;
};

TEST(BlockList, KeepsEveryRecordAndItsPositionAcrossTheFirstBlockAndTheLargeOnes) {
  BlockList<Record> list;
  const std::size_t n = 3 * BlockList<Record>::kPerBlock + 17;  // the small first block, then four large ones
  for (std::uint64_t i = 0; i < n; ++i) list.push_back({i, ~i});
  ASSERT_EQ(list.size(), n);
  for (std::uint64_t i = 0; i < n; i += 997) {
    EXPECT_EQ(list[i].a, i);
    EXPECT_EQ(list[i].b, ~i);
  }
  EXPECT_EQ(list.back().a, n - 1);
  EXPECT_EQ(std::count_if(list.begin(), list.end(), [](const Record& r) { return r.a + r.b == ~0ull; }),
            static_cast<std::ptrdiff_t>(n));
  EXPECT_EQ(list.end() - list.begin(), static_cast<std::ptrdiff_t>(n));
  EXPECT_THROW(list.at(n), std::out_of_range);

  BlockList<Record> moved(std::move(list));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(moved.at(n - 1).a, n - 1);
  moved.clear();
  EXPECT_TRUE(moved.empty());
  moved.push_back({7, 7});
  EXPECT_EQ(moved[0].a, 7u);
}

TEST(BlockList, AddressesStayPutOnceTheFirstBlockIsALargePage) {
  BlockList<Record> list;
  for (std::uint64_t i = 0; i <= BlockList<Record>::kSmallRecords; ++i) list.push_back({i, i});
  const Record* first = &list[0];
  for (std::uint64_t i = 0; i < 2 * BlockList<Record>::kPerBlock; ++i) list.push_back({i, i});
  EXPECT_EQ(&list[0], first);
}

TEST(IdMap, FindsWhatWasInsertedAndKeepsTheFirstValueOfAKey) {
  IdMap<std::uint32_t> map;
  EXPECT_EQ(map.Find(0), nullptr);
  std::vector<std::uint64_t> keys{0, 1, UINT64_MAX, 0x7F};
  // Keys that differ only in their high half, and a long stride.
  for (std::uint64_t i = 1; i <= 5000; ++i) keys.push_back(i << 32);
  for (std::uint64_t i = 1; i <= 50000; ++i) keys.push_back(0x100 + i * 4096);
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const auto [value, added] = map.Insert(keys[i], static_cast<std::uint32_t>(i));
    ASSERT_TRUE(added) << keys[i];
    EXPECT_EQ(*value, i);
  }
  EXPECT_EQ(map.size(), keys.size());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::uint32_t* value = map.Find(keys[i]);
    ASSERT_NE(value, nullptr) << keys[i];
    EXPECT_EQ(*value, i);
  }
  EXPECT_FALSE(map.Insert(UINT64_MAX, 99).second);
  EXPECT_EQ(*map.Find(UINT64_MAX), 2u);
  EXPECT_EQ(map.Find(2), nullptr);
  map.clear();
  EXPECT_EQ(map.Find(0), nullptr);
  EXPECT_EQ(map.size(), 0u);
}

TEST(IdMap, ATableInTheCallersMemoryIsUsedUntilItGrowsAndNeverFreed) {
  // Zeroed memory of the caller's: freeing it would upset the heap checker.
  std::vector<std::uint64_t> memory(IdMap<std::uint32_t>::TableBytes(100) / sizeof(std::uint64_t));
  for (bool grow : {false, true}) {
    std::fill(memory.begin(), memory.end(), 0);
    IdMap<std::uint32_t> map;
    map.Insert(7, 70);
    map.ReserveAt(100, memory.data());
    EXPECT_EQ(*map.Find(7), 70u);  // moved in
    EXPECT_NE(std::count(memory.begin(), memory.end(), 0u), static_cast<std::ptrdiff_t>(memory.size()));
    const std::uint32_t more = grow ? 1000 : 50;
    for (std::uint32_t k = 1; k <= more; ++k) map.Insert(1000 + k, k);
    EXPECT_EQ(*map.Find(7), 70u);
    EXPECT_EQ(*map.Find(1000 + more), more);
  }
}

TEST(NameStore, KeepsEveryNameIntactAcrossItsBlocks) {
  NameStore store;
  std::vector<std::string> names;
  std::vector<std::string_view> kept;
  for (int i = 0; i < 60000; ++i) {
    std::string name = "name " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 40), 'x');
    name += '\0';
    name += '\xE9';
    names.push_back(name);
    kept.push_back(store.Keep(name));
  }
  std::string huge(3 * kLargePageBytes, 'h');  // longer than any block
  const std::string_view hugeKept = store.Keep(huge);
  EXPECT_TRUE(store.Keep("").empty());
  for (std::size_t i = 0; i < names.size(); ++i) ASSERT_EQ(kept[i], names[i]) << i;
  EXPECT_EQ(hugeKept, huge);
  EXPECT_GE(store.BytesHeld(), huge.size());

  NameStore moved(std::move(store));
  EXPECT_EQ(kept[12345], names[12345]);  // the blocks went along, they did not move
  moved.Clear();
  EXPECT_EQ(moved.BytesHeld(), 0u);
}

TEST(RecoveryTree, ANameLongerThanANodeHoldsIsCut) {
  RecoveryTree tree;
  const std::string name(kMaxNodeName + 10, 'n');
  tree.AddFileNode(name, 0x100, 0, 0, 1, 1, 10, 0);
  EXPECT_EQ(tree.files()[0].name(), std::string_view(name).substr(0, kMaxNodeName));
  EXPECT_EQ(sizeof(TreeNode), 64u);
}

TEST(LargePages, LargeRequestsAreMappedAlignedInWholeLargePagesAndGivenBack) {
  const std::size_t before = LargeBytesMapped();
  void* block = AllocateLarge(kLargePageBytes + 1);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kLargePageBytes, 0u);
  EXPECT_EQ(LargeBytesMapped() - before, 2 * kLargePageBytes);
  static_cast<char*>(block)[kLargePageBytes] = 1;  // the last byte asked for is there
  FreeLarge(block, kLargePageBytes + 1);
  EXPECT_EQ(LargeBytesMapped(), before);

  void* small = AllocateLarge(100);  // from the heap
  EXPECT_EQ(LargeBytesMapped(), before);
  FreeLarge(small, 100);

  // Between the two: whole small pages of its own, present and zero.
  auto* mid = static_cast<unsigned char*>(AllocateLarge(kMappedRequestBytes + 1));
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(mid) % kSmallPageBytes, 0u);
  EXPECT_EQ(LargeBytesMapped() - before, kMappedRequestBytes + kSmallPageBytes);
  EXPECT_EQ(mid[0], 0);
  mid[kMappedRequestBytes] = 1;
  FreeLarge(mid, kMappedRequestBytes + 1);
  EXPECT_EQ(LargeBytesMapped(), before);
}

}  // namespace
}  // namespace ov
