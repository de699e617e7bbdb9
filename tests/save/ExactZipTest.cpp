// Measuring Zip archives by walking their entries to the end record.

#include "save/ExactZip.h"

#include <gtest/gtest.h>

#include "save/ExactWriters.h"

namespace ov {
namespace {

using test::FileBytes;
using test::Filler;
using test::MakeZip;
using test::Put16;
using test::Put32;
using test::ZipItem;
using test::ZipShape;

using test::CountingBytes;

ExactMeasure Measure(const FileBytes& disk, std::uint64_t start = 0) {
  CountingBytes bytes(disk);
  return MeasureZip(bytes, start);
}

// The archive followed by bytes that look like more of a Zip.
FileBytes WithJunk(FileBytes zip) {
  const std::string junk = "PK\x03\x04 PK\x05\x06 and more";
  zip.insert(zip.end(), junk.begin(), junk.end());
  const FileBytes tail = Filler(3000, 5);
  zip.insert(zip.end(), tail.begin(), tail.end());
  return zip;
}

ZipItem Item(std::string name, std::size_t size, std::uint32_t seed) {
  ZipItem item;
  item.name = std::move(name);
  item.data = Filler(size, seed);
  return item;
}

TEST(ExactZip, StoredArchiveEndsWithItsEndRecord) {
  const FileBytes zip = MakeZip({{Item("a.txt", 3000, 1), Item("b/c.bin", 70'000, 2)}, "", false});
  const auto m = Measure(WithJunk(zip));
  ASSERT_EQ(m.verdict, ExactVerdict::Measured) << m.reason;
  EXPECT_EQ(m.kind, RawFileKind::Zip);
  EXPECT_EQ(m.length, zip.size());
}

TEST(ExactZip, DeflatedEntriesOfVersion14) {
  ZipShape shape{{Item("doc.xml", 90'000, 3), Item("x", 10, 4)}, "", false};
  for (auto& item : shape.items) item.deflate = true;
  const FileBytes zip = MakeZip(shape);
  ASSERT_EQ(zip[4], 0x14);
  const auto m = Measure(WithJunk(zip));
  ASSERT_EQ(m.verdict, ExactVerdict::Measured) << m.reason;
  EXPECT_EQ(m.length, zip.size());
}

TEST(ExactZip, TheCommentIsPartOfTheArchive) {
  const FileBytes zip = MakeZip({{Item("a", 100, 5)}, "a comment with PK\x05\x06 inside", false});
  const auto m = Measure(WithJunk(zip));
  ASSERT_EQ(m.verdict, ExactVerdict::Measured) << m.reason;
  EXPECT_EQ(m.length, zip.size());
}

TEST(ExactZip, DataDescriptorsWithAndWithoutSignature) {
  for (const bool signature : {true, false}) {
    for (const bool sizesInHeader : {false, true}) {
      ZipShape shape{{Item("one", 5000, 6), Item("empty", 0, 7), Item("three", 40'000, 8)}, "c", false};
      for (auto& item : shape.items) {
        item.descriptor = true;
        item.descriptorSignature = signature;
        item.sizesInHeader = sizesInHeader;
        item.deflate = item.name == "three";
      }
      const FileBytes zip = MakeZip(shape);
      const auto m = Measure(WithJunk(zip));
      ASSERT_EQ(m.verdict, ExactVerdict::Measured) << signature << sizesInHeader << ": " << m.reason;
      EXPECT_EQ(m.length, zip.size()) << signature << sizesInHeader;
    }
  }
}

TEST(ExactZip, ADescriptorSearchIsNotFooledBySignaturesInTheData) {
  // The data holds a descriptor signature whose size does not fit, and a
  // local header signature; only the real descriptor ends the entry.
  ZipItem tricky = Item("t", 2000, 9);
  const std::string fake("PK\x07\x08zzzz\x10\x00\x00\x00yyyyPK\x03\x04", 20);
  std::copy(fake.begin(), fake.end(), tricky.data.begin() + 500);
  tricky.descriptor = true;
  const FileBytes zip = MakeZip({{tricky, Item("u", 100, 10)}, "", false});
  const auto m = Measure(WithJunk(zip));
  ASSERT_EQ(m.verdict, ExactVerdict::Measured) << m.reason;
  EXPECT_EQ(m.length, zip.size());
}

TEST(ExactZip, Zip64ArchivesAreFollowed) {
  ZipShape shape{{Item("big", 20'000, 11), Item("small", 30, 12)}, "z", true};
  shape.items[1].descriptor = true;
  const FileBytes zip = MakeZip(shape);
  const auto m = Measure(WithJunk(zip));
  ASSERT_EQ(m.verdict, ExactVerdict::Measured) << m.reason;
  EXPECT_EQ(m.length, zip.size());
}

TEST(ExactZip, StartedInsideAnArchiveTheOffsetsDoNotAgree) {
  // A later local header that happens to lie at a sector boundary walks to
  // the same end record, whose directory offset counts from the real start.
  const FileBytes zip = MakeZip({{Item("a", 1000, 13), Item("b", 1000, 14)}, "", false});
  const auto m = Measure(zip, 30 + 1 + 1000);
  EXPECT_EQ(m.verdict, ExactVerdict::Unmeasurable);
  EXPECT_EQ(m.reason, "the end record does not describe the central directory");
}

TEST(ExactZip, DamagedArchivesAreUnmeasurable) {
  const FileBytes good = MakeZip({{Item("a", 1000, 15), Item("b", 1000, 16)}, "note", false});
  const std::size_t second = 30 + 1 + 1000;
  const std::size_t directory = 2 * second;
  const std::size_t end = good.size() - 22 - 4;
  const test::FieldDamage cases[] = {
      {8, 77, false, "the first local header does not look like one"},
      {4, 64, false, "the first local header does not look like one"},
      {26, 0, false, "the first local header does not look like one"},
      {second + 8, 7, false, "a local header does not look like one"},
      {6, 0x2000, false, "the local headers are masked"},
      {18, 1001, true, "no central directory follows the entries"},
      {second, 0x12345678, true, "no central directory follows the entries"},
      {18, 0xFFFFFFFF, true, "a Zip64 entry has no Zip64 sizes"},
      {18, 0x7FFFFFFF, true, "an entry runs past the end of the disk"},
      {end + 10, 3, false, "the end record does not describe the central directory"},
      {end + 12, 1, true, "the end record does not describe the central directory"},
      {end + 4, 1, false, "the archive spans several disks"},
      {end + 20, 100, false, "the archive's comment runs past the end of the disk"},
      {directory + 28, 5000, false, "the central directory runs past the end of the disk"},
      {end, 0x06064B50, true, "the Zip64 end record runs past the end of the disk"},
  };
  for (const auto& c : cases) {
    const auto m = Measure(test::Damaged(good, c));
    EXPECT_EQ(m.verdict, ExactVerdict::Unmeasurable) << c.reason;
    EXPECT_EQ(m.reason, c.reason) << c.at;
  }
}

TEST(ExactZip, ATruncatedArchiveIsUnmeasurable) {
  const FileBytes zip = MakeZip({{Item("a", 5000, 17)}, "", false});
  for (const std::size_t cut : {std::size_t{20}, std::size_t{3000}, zip.size() - 30, zip.size() - 1}) {
    const FileBytes disk(zip.begin(), zip.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_EQ(Measure(disk).verdict, ExactVerdict::Unmeasurable) << cut;
  }
}

TEST(ExactZip, AMissingDescriptorIsSearchedForToTheDiskEndOnly) {
  ZipItem item = Item("a", 5000, 18);
  item.descriptor = true;
  FileBytes zip = MakeZip({{item}, "", false});
  zip.resize(30 + 1 + 5000);  // the descriptor and everything after it lost
  CountingBytes bytes(zip);
  const auto m = MeasureZip(bytes, 0);
  EXPECT_EQ(m.reason, "an entry's data descriptor cannot be found");
  EXPECT_LE(bytes.read, 4 * zip.size());
}

TEST(ExactZip, DamagedArchivesNeverReadWithoutBound) {
  ZipShape shape{{Item("a", 3000, 19), Item("b", 300, 20)}, "cc", false};
  shape.items[0].descriptor = true;
  shape.items[1].deflate = true;
  const FileBytes good = WithJunk(MakeZip(shape));
  for (std::size_t at = 0; at < good.size(); at += (at < 40 || at > 3000 ? 1 : 97)) {
    for (const std::uint8_t value : {0x00, 0x08, 0xFF}) {
      FileBytes zip = good;
      zip[at] = value;
      CountingBytes bytes(zip);
      const auto m = MeasureZip(bytes, 0);
      EXPECT_LE(bytes.read, 16 * zip.size()) << at;
      if (m.verdict == ExactVerdict::Measured) {
        EXPECT_LE(m.length, zip.size()) << at;
      }
    }
  }
}

}  // namespace
}  // namespace ov
