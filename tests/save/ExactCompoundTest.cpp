// Measuring compound documents from their header, DIFAT, FAT and directory.

#include "save/ExactCompound.h"

#include <gtest/gtest.h>

#include "save/ExactWriters.h"

namespace ov {
namespace {

using test::CompoundLayout;
using test::CompoundShape;
using test::FileBytes;
using test::Filler;
using test::MakeCompound;
using test::Put32;

using test::CountingBytes;

ExactMeasure Measure(const FileBytes& disk, std::uint64_t start = 0) {
  CountingBytes bytes(disk);
  return MeasureCompound(bytes, start);
}

FileBytes WithJunk(FileBytes document, std::size_t junk) {
  const FileBytes tail = Filler(junk, 77);
  document.insert(document.end(), tail.begin(), tail.end());
  return document;
}

TEST(ExactCompound, WordOf512ByteSectorsEndsWithItsLastSector) {
  const FileBytes doc = test::MakeWord(20'000);
  const auto m = Measure(WithJunk(doc, 5000));
  ASSERT_EQ(m.verdict, ExactVerdict::Measured) << m.reason;
  EXPECT_EQ(m.kind, RawFileKind::Word);
  EXPECT_EQ(m.length, doc.size());
  EXPECT_FALSE(m.cut);
}

TEST(ExactCompound, WorkbookOf4096ByteSectors) {
  const FileBytes doc = MakeCompound({12, {{"Workbook", Filler(50'000, 2)}}, 0, false});
  ASSERT_EQ(doc.size() % 4096, 0u);
  const auto m = Measure(WithJunk(doc, 9000));
  ASSERT_EQ(m.verdict, ExactVerdict::Measured) << m.reason;
  EXPECT_EQ(m.kind, RawFileKind::Excel);
  EXPECT_EQ(m.length, doc.size());
}

TEST(ExactCompound, TheRootsStreamNamesDecideTheKind) {
  struct Case {
    std::vector<std::string> names;
    RawFileKind kind;
  };
  const Case cases[] = {
      {{"Book"}, RawFileKind::Excel},
      {{"\x05SummaryInformation", "PowerPoint Document", "Current User"}, RawFileKind::PowerPoint},
      {{"WORKBOOK"}, RawFileKind::Excel},
      {{"Workbook", "WordDocument"}, RawFileKind::Word},
  };
  for (const auto& c : cases) {
    CompoundShape shape;
    for (const auto& name : c.names) shape.streams.push_back({name, Filler(700, 3)});
    const auto m = Measure(MakeCompound(shape));
    ASSERT_EQ(m.verdict, ExactVerdict::Measured) << c.names.front() << ": " << m.reason;
    EXPECT_EQ(m.kind, c.kind) << c.names.front();
  }
}

TEST(ExactCompound, AFileOfAnotherKindIsNotWantedButMeasured) {
  const FileBytes doc = MakeCompound({9, {{"Contents", Filler(3000, 4)}, {"Word", Filler(600, 5)}}, 0, false});
  const auto m = Measure(doc);
  EXPECT_EQ(m.verdict, ExactVerdict::NotWanted);
  EXPECT_EQ(m.length, doc.size());
}

TEST(ExactCompound, DifatBeyondTheHeader) {
  CompoundLayout layout;
  const FileBytes doc = MakeCompound({9, {{"WordDocument", Filler(40'000, 6)}}, 300, true}, &layout);
  ASSERT_EQ(layout.fatSectors.size(), 300u);
  ASSERT_EQ(layout.difatSectors.size(), 2u);  // 191 FAT sectors past the header's 109, 127 per DIFAT sector
  const auto m = Measure(WithJunk(doc, 700));
  ASSERT_EQ(m.verdict, ExactVerdict::Measured) << m.reason;
  EXPECT_EQ(m.length, doc.size());
}

TEST(ExactCompound, DifatBeyondTheHeaderWith4096ByteSectors) {
  CompoundLayout layout;
  const FileBytes doc = MakeCompound({12, {{"PowerPoint Document", Filler(10'000, 7)}}, 112, false}, &layout);
  ASSERT_EQ(layout.difatSectors.size(), 1u);
  const auto m = Measure(WithJunk(doc, 4096));
  ASSERT_EQ(m.verdict, ExactVerdict::Measured) << m.reason;
  EXPECT_EQ(m.kind, RawFileKind::PowerPoint);
  EXPECT_EQ(m.length, doc.size());
}

TEST(ExactCompound, TrailingFreeSectorsAreNotPartOfIt) {
  CompoundLayout layout;
  FileBytes doc = MakeCompound({9, {{"WordDocument", Filler(4096, 8)}}, 0, false}, &layout);
  // Mark the stream's last sector free: the file now ends one sector earlier.
  const std::uint32_t last = layout.streamSectors[0] + 7;
  Put32(doc, layout.Offset(layout.fatSectors[0]) + 4 * last, 0xFFFFFFFF);
  Put32(doc, layout.Offset(layout.fatSectors[0]) + 4 * (last - 1), 0xFFFFFFFE);
  const auto m = Measure(doc);
  ASSERT_EQ(m.verdict, ExactVerdict::Measured) << m.reason;
  EXPECT_EQ(m.length, doc.size() - 512);
}

TEST(ExactCompound, AFileCutByTheDiskEndIsMeasuredUpToIt) {
  const FileBytes doc = test::MakeWord(30'000);
  const FileBytes disk(doc.begin(), doc.begin() + 10'000);
  const auto m = Measure(disk);
  ASSERT_EQ(m.verdict, ExactVerdict::Measured) << m.reason;
  EXPECT_TRUE(m.cut);
  EXPECT_EQ(m.length, 10'000u);
}

TEST(ExactCompound, ATruncatedFileWhoseFatIsGoneIsUnmeasurable) {
  const FileBytes doc = MakeCompound({9, {{"WordDocument", Filler(30'000, 9)}}, 0, true});
  const FileBytes disk(doc.begin(), doc.begin() + 20'000);
  const auto m = Measure(disk);
  EXPECT_EQ(m.verdict, ExactVerdict::Unmeasurable);
  EXPECT_EQ(m.reason, "a FAT sector lies past the end of the disk");
}

TEST(ExactCompound, AFatPointingOutsideItsRangeIsUnmeasurable) {
  CompoundLayout layout;
  FileBytes doc = MakeCompound({9, {{"WordDocument", Filler(3000, 10)}}, 0, false}, &layout);
  Put32(doc, layout.Offset(layout.fatSectors[0]) + 4 * layout.streamSectors[0], 5000);
  const auto m = Measure(doc);
  EXPECT_EQ(m.verdict, ExactVerdict::Unmeasurable);
  EXPECT_EQ(m.reason, "the FAT points outside its range");
}

TEST(ExactCompound, AFatSectorOutsideTheDiskIsUnmeasurable) {
  CompoundLayout layout;
  FileBytes doc = MakeCompound({9, {{"WordDocument", Filler(3000, 11)}}, 2, false}, &layout);
  // The second FAT sector's number is inside the FAT's range (256 entries)
  // but far past the end of this small disk.
  Put32(doc, 76 + 4, 250);
  EXPECT_EQ(Measure(doc).reason, "a FAT sector lies past the end of the disk");
  Put32(doc, 76 + 4, 0x7FFFFFFF);
  EXPECT_EQ(Measure(doc).reason, "a FAT sector lies outside the FAT's range");
}

TEST(ExactCompound, HeaderFieldsAreChecked) {
  const FileBytes good = test::MakeWord(3000);
  const test::FieldDamage cases[] = {
      {28, 0xFEFF, false, "the header's byte order is wrong"},
      {30, 12, false, "the header's version and sector size do not agree"},
      {26, 5, false, "the header's version and sector size do not agree"},
      {32, 7, false, "the header's mini sector size is wrong"},
      {56, 512, true, "the header's mini stream cutoff is wrong"},
      {40, 1, true, "the header counts directory sectors"},
      {44, 0, true, "the header counts no FAT sector"},
      {44, 0x40000000, true, "the FAT is too large"},
      {44, 110, true, "the header counts too few DIFAT sectors"},
  };
  for (const auto& c : cases) {
    const auto m = Measure(test::Damaged(good, c));
    EXPECT_EQ(m.verdict, ExactVerdict::Unmeasurable) << c.reason;
    EXPECT_EQ(m.reason, c.reason);
  }
}

TEST(ExactCompound, MarksAndChainsAreChecked) {
  CompoundLayout layout;
  const FileBytes good = MakeCompound({9, {{"WordDocument", Filler(3000, 12)}}, 0, false}, &layout);
  const std::size_t fat = layout.Offset(layout.fatSectors[0]);
  {
    FileBytes doc = good;
    Put32(doc, fat + 4 * layout.fatSectors[0], 0xFFFFFFFE);
    EXPECT_EQ(Measure(doc).reason, "a FAT sector is not marked as one");
  }
  {
    FileBytes doc = good;  // the directory chain runs into itself
    Put32(doc, fat + 4 * layout.directorySector, layout.directorySector);
    EXPECT_EQ(Measure(doc).reason, "the directory chain is broken");
  }
  {
    FileBytes doc = good;  // the directory's first entry is no root
    doc[layout.Offset(layout.directorySector) + 66] = 1;
    EXPECT_EQ(Measure(doc).reason, "the directory does not start with the root");
  }
  {
    FileBytes doc = good;  // a stream whose sibling link points back at itself
    Put32(doc, layout.Offset(layout.directorySector) + 128 + 72, 1);
    EXPECT_EQ(Measure(doc).reason, "the directory's links are broken");
  }
  {
    FileBytes doc = good;
    Put32(doc, fat, 0xFFFFFFFF);  // nothing in use at all
    for (std::size_t i = 0; i < 128; ++i) Put32(doc, fat + 4 * i, 0xFFFFFFFF);
    EXPECT_EQ(Measure(doc).reason, "no sector is in use");
  }
}

TEST(ExactCompound, AHeaderThatCannotBeReadIsUnmeasurable) {
  const FileBytes doc = test::MakeWord(3000);
  const FileBytes disk(doc.begin(), doc.begin() + 300);
  EXPECT_EQ(Measure(disk).reason, "the header cannot be read");
  EXPECT_EQ(Measure(doc, 1024).verdict, ExactVerdict::Unmeasurable);
}

TEST(ExactCompound, DamagedFilesNeverReadMoreThanTheirStructures) {
  // Every byte of the header and of the FAT sector in turn replaced: the
  // measure ends with some verdict, never reads far, and never gives a
  // length past the disk.
  CompoundLayout layout;
  const FileBytes good = WithJunk(MakeCompound({9, {{"WordDocument", Filler(9000, 13)}}, 0, false}, &layout), 4096);
  const std::size_t fat = layout.Offset(layout.fatSectors[0]);
  std::vector<std::size_t> places;
  for (std::size_t i = 0; i < 512; ++i) places.push_back(i);
  for (std::size_t i = 0; i < 512; ++i) places.push_back(fat + i);
  for (std::size_t i = 0; i < 256; ++i) places.push_back(layout.Offset(layout.directorySector) + i);
  for (const std::size_t at : places) {
    for (const std::uint8_t value : {0x00, 0x01, 0x7F, 0xFF}) {
      FileBytes doc = good;
      doc[at] = value;
      CountingBytes bytes(doc);
      const auto m = MeasureCompound(bytes, 0);
      EXPECT_LE(bytes.read, 4 * doc.size()) << at;
      if (m.verdict != ExactVerdict::Unmeasurable) {
        EXPECT_LE(m.length, doc.size()) << at;
      }
    }
  }
}

}  // namespace
}  // namespace ov
