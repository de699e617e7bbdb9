// The disk as the exact measurers read it: reads through the sector reader,
// its stretch cache, the sectors the scan lends it, and the disk's end.

#include "save/ExactCarve.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "save/RawScanSupport.h"
#include "support/FakePrompter.h"

namespace ov {
namespace {

using test::FakePrompter;
using test::QuestionKind;
using test::SharedDeviceOpener;

class DiskBytes : public ::testing::Test {
protected:
  // A disk of `sectors` sectors whose byte at each offset is a function of
  // the offset, with the `bad` sectors unreadable.
  void MakeDisk(std::uint64_t sectors, BadSectorMap bad = {}) {
    auto memory = std::make_unique<MemoryDevice>(sectors);
    for (std::size_t i = 0; i < memory->bytes().size(); ++i) memory->bytes()[i] = Expected(i);
    std::unique_ptr<Device> device = std::move(memory);
    if (!bad.empty()) device = std::make_unique<FaultyDevice>(std::move(device), std::move(bad));
    opener_ = std::make_unique<SharedDeviceOpener>(std::move(device));
    reader_ = std::make_unique<SectorReader>(*opener_, prompter_);
    disk_ = DiskView{reader_.get(), std::string(kDevicePathTable[0])};
    bytes_ = std::make_unique<DiskExactBytes>(disk_, sectors);
  }
  static std::byte Expected(std::uint64_t offset) { return static_cast<std::byte>(offset * 7 + offset / 512); }
  // Reads `size` bytes at `offset`; empty when the read fails.
  std::vector<std::byte> Read(std::uint64_t offset, std::size_t size) {
    std::vector<std::byte> out(size);
    if (!bytes_->Read(offset, out)) return {};
    return out;
  }
  static bool FromDisk(const std::vector<std::byte>& bytes, std::uint64_t offset) {
    for (std::size_t i = 0; i < bytes.size(); ++i)
      if (bytes[i] != Expected(offset + i)) return false;
    return !bytes.empty();
  }

  FakePrompter prompter_;
  std::unique_ptr<SharedDeviceOpener> opener_;
  std::unique_ptr<SectorReader> reader_;
  DiskView disk_;
  std::unique_ptr<DiskExactBytes> bytes_;
};

TEST_F(DiskBytes, ReadsOfOneStretchCostOneDeviceRead) {
  MakeDisk(1000);
  EXPECT_TRUE(FromDisk(Read(130 * 512 + 7, 3000), 130 * 512 + 7));
  EXPECT_TRUE(FromDisk(Read(250 * 512, 512), 250 * 512));
  ASSERT_EQ(opener_->reads.size(), 1u);
  EXPECT_EQ(opener_->reads[0].first, 128u);
  EXPECT_EQ(opener_->reads[0].count, 128u);
}

TEST_F(DiskBytes, HeldSectorsAnswerTheReadsThatLieInsideThem) {
  MakeDisk(1000);
  // The sectors lent differ from the disk's, so where an answer came from shows.
  std::vector<std::byte> held(10 * 512, std::byte{0x5A});
  bytes_->Hold(300, held);
  EXPECT_EQ(Read(300 * 512, 10 * 512), held);
  EXPECT_EQ(Read(305 * 512 + 3, 100), std::vector<std::byte>(100, std::byte{0x5A}));
  EXPECT_TRUE(opener_->reads.empty());
  // A read running past them goes to the disk.
  EXPECT_TRUE(FromDisk(Read(309 * 512, 1024), 309 * 512));
  EXPECT_EQ(opener_->reads.size(), 1u);
  // And so does one before them.
  EXPECT_TRUE(FromDisk(Read(299 * 512 + 511, 2), 299 * 512 + 511));
  bytes_->Release();
  EXPECT_TRUE(FromDisk(Read(300 * 512, 512), 300 * 512));
}

TEST_F(DiskBytes, HeldSectorsPastTheDiskEndAreNotRead) {
  MakeDisk(100);
  std::vector<std::byte> held(40 * 512, std::byte{0});
  bytes_->Hold(80, held);
  EXPECT_EQ(Read(99 * 512, 512).size(), 512u);
  EXPECT_TRUE(Read(99 * 512, 513).empty());
  EXPECT_TRUE(Read(100 * 512, 1).empty());
}

TEST_F(DiskBytes, AnUnreadableSectorFailsOnlyTheReadsThatTouchIt) {
  BadSectorMap bad;
  bad.Add(140);
  MakeDisk(1000, bad);
  prompter_.badSectorAnswers = {BadSectorChoice::SkipAll};
  EXPECT_TRUE(FromDisk(Read(130 * 512, 4 * 512), 130 * 512));
  EXPECT_TRUE(FromDisk(Read(141 * 512, 512), 141 * 512));
  EXPECT_TRUE(Read(139 * 512 + 500, 20).empty());
  EXPECT_EQ(prompter_.Asked(QuestionKind::BadSector).size(), 1u);
}

}  // namespace
}  // namespace ov
