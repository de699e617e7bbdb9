// The raw scan engine over in-memory disks: its read pattern, progress,
// stopping and output handling. Whole-disk scenarios with real documents
// live in RawScanImageTest.cpp.

#include "save/RawScan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "save/RawScanSupport.h"
#include "save/RawWindow.h"
#include "support/FakePrompter.h"
#include "support/TempDir.h"

namespace ov {
namespace {

using test::FakePrompter;
using test::QuestionKind;
using test::RawFormModel;
using test::SharedDeviceOpener;

class RawEngine : public test::RawScanFixture {
protected:
  // A zeroed disk of `sectors` sectors, optionally with unreadable ones.
  void MakeDisk(std::uint64_t sectors, BadSectorMap bad = {}) {
    auto memory = std::make_unique<MemoryDevice>(sectors);
    memory_ = memory.get();
    std::unique_ptr<Device> device = std::move(memory);
    if (!bad.empty()) device = std::make_unique<FaultyDevice>(std::move(device), std::move(bad));
    opener_ = std::make_unique<SharedDeviceOpener>(std::move(device));
    UseOpener(*opener_);
    request.diskSectors = sectors;
  }
  // The scan's own patterns, from the signature table, at a byte position.
  void Put(std::uint64_t byte, std::string_view pattern) {
    std::memcpy(memory_->bytes().data() + byte, pattern.data(), pattern.size());
  }
  void Header(std::uint64_t sector, std::size_t record) { Put(sector * 512, kRawSignatures[record].start); }
  void Marker(std::uint64_t sector, std::size_t record) { Put(sector * 512 + 100, kRawSignatures[record].marker); }

  // Every sector the device was asked for, in order.
  std::vector<std::uint64_t> SectorsRead() const {
    std::vector<std::uint64_t> sectors;
    for (const auto& read : opener_->reads)
      for (std::uint32_t i = 0; i < read.count; ++i) sectors.push_back(read.first + i);
    return sectors;
  }
  std::uintmax_t SizeOf(const std::string& name) const { return std::filesystem::file_size(out / name); }


  MemoryDevice* memory_ = nullptr;
  std::unique_ptr<SharedDeviceOpener> opener_;
};

TEST_F(RawEngine, AHundredSectorRangeStillReadsAFullWindow) {
  MakeDisk(4000);
  request.form.entireDisk = false;
  request.form.startField = "1000";
  request.form.endField = "1100";
  const auto result = Scan();
  EXPECT_EQ(result.end, RawScanEnd::Completed);
  std::vector<std::uint64_t> expected(800);
  for (std::uint64_t i = 0; i < 800; ++i) expected[i] = 1000 + i;
  EXPECT_EQ(SectorsRead(), expected);
}

TEST_F(RawEngine, StatusAndProgressPerWindow) {
  MakeDisk(3200);
  Scan();
  EXPECT_EQ(model.statuses, (std::vector<std::string>{" Searching Sector :- 0", " Searching Sector :- 800",
                                                      " Searching Sector :- 1600", " Searching Sector :- 2400",
                                                      ""}));
  EXPECT_EQ(model.progressTexts, (std::vector<std::string>{"25 % Completed", "50 % Completed", "75 % Completed",
                                                           "100 % Completed", "0 % Completed"}));
  EXPECT_FALSE(model.progressVisible);
  EXPECT_EQ(model.progress, 0);
}

TEST_F(RawEngine, PercentIsOfTheEndSectorAndCappedAt100) {
  MakeDisk(4000);
  request.form.entireDisk = false;
  request.form.startField = "1000";
  request.form.endField = "1100";
  Scan();
  // 1800 * 100 / 1100 is 163: shown as 100.
  EXPECT_EQ(model.progressTexts, (std::vector<std::string>{"100 % Completed", "0 % Completed"}));
}

TEST_F(RawEngine, SectorsPastTheDiskAreNeitherReadNorAskedAbout) {
  MakeDisk(1000);  // the second window holds only 200 sectors of the disk
  Header(900, 5);
  Marker(905, 5);
  const auto result = Scan();
  EXPECT_TRUE(prompter.Asked().empty());
  const auto sectors = SectorsRead();
  EXPECT_LT(*std::max_element(sectors.begin(), sectors.end()), 1000u);
  EXPECT_EQ(result.documentsFound, 1u);
  EXPECT_EQ(SizeOf("ZIP1.ZIP"), 6u * 512);
}

TEST_F(RawEngine, StalePastTheDiskEndFindsNoPhantomDocuments) {
  // The first window holds a document at sector 50; the last window covers
  // sector 850, past the disk's end, where no document may be seen again.
  MakeDisk(820);
  Header(50, 5);
  Marker(52, 5);
  const auto result = Scan();
  EXPECT_EQ(result.documentsFound, 1u);
}

TEST_F(RawEngine, UnreadableStretchAsksOnceAndReadsInTwentySectorRuns) {
  BadSectorMap bad;
  bad.Add(45);
  MakeDisk(1600, bad);
  prompter.badSectorAnswers = {BadSectorChoice::SkipAll};
  Scan();
  EXPECT_EQ(prompter.Asked(QuestionKind::BadSector).size(), 1u);
  // The stretch holding the bad sector fails as a whole, then goes as the
  // separate 20-sector reads, of which only the one holding it fails.
  std::vector<std::pair<std::uint64_t, std::uint32_t>> failed;
  for (const auto& read : opener_->reads) {
    EXPECT_EQ(read.first % 20, 0u);
    if (!read.ok) failed.emplace_back(read.first, read.count);
  }
  EXPECT_EQ(failed, (std::vector<std::pair<std::uint64_t, std::uint32_t>>{{0, 160}, {40, 20}}));
}

TEST_F(RawEngine, DocumentBytesAreCopiedFromStartThroughEnd) {
  MakeDisk(1600);
  Header(10, 5);
  Marker(40, 5);
  for (std::uint64_t s = 10; s <= 41; ++s) memory_->bytes()[s * 512 + 7] = std::byte(s);
  Scan();
  const auto file = out / "ZIP1.ZIP";
  ASSERT_EQ(std::filesystem::file_size(file), 31u * 512);
  std::ifstream in(file, std::ios::binary);
  std::vector<char> data(31 * 512);
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  EXPECT_EQ(0, std::memcmp(data.data(), memory_->bytes().data() + 10 * 512, data.size()));
}

TEST_F(RawEngine, DocumentOpenAtTheEndOfTheRangeIsNotWritten) {
  MakeDisk(1600);
  Header(1500, 0);
  const auto result = Scan();
  EXPECT_EQ(result.documentsFound, 0u);
  EXPECT_TRUE(std::filesystem::is_empty(out.path()));
  EXPECT_TRUE(model.rows.empty());
}

TEST_F(RawEngine, HeaderWithoutAMarkerEndsBeforeTheNextHeader) {
  // No marker anywhere: each document ends before the next header and takes
  // the kind its header stands for; the last one stays open to the end.
  MakeDisk(800);
  Header(10, 0);  // compound document
  Header(30, 4);  // Excel 5 workbook
  Header(60, 4);
  const auto result = Scan();
  ASSERT_EQ(model.documents.size(), 2u);
  EXPECT_EQ(model.documents[0].startSector, 10u);
  EXPECT_EQ(model.documents[0].endSector, 29u);
  EXPECT_EQ(model.documents[0].kind, RawFileKind::Word);
  EXPECT_EQ(model.documents[1].startSector, 30u);
  EXPECT_EQ(model.documents[1].endSector, 59u);
  EXPECT_EQ(model.documents[1].kind, RawFileKind::Excel);
  EXPECT_EQ(result.recovered, (std::array<std::uint64_t, 4>{1, 1, 0, 0}));
  EXPECT_EQ(SizeOf("DOC1.DOC"), 20u * 512);
  EXPECT_EQ(SizeOf("XLS2.XLS"), 30u * 512);
}

TEST_F(RawEngine, MarkerPastTheNextHeaderGivesItsKind) {
  // The archive's marker, taken as the sector before the archive, ends the
  // compound document before it, and makes it a Zip.
  MakeDisk(800);
  Header(10, 0);
  Header(30, 5);
  Marker(35, 5);
  Scan();
  ASSERT_EQ(model.documents.size(), 2u);
  EXPECT_EQ(model.documents[0].kind, RawFileKind::Zip);
  EXPECT_EQ(model.documents[0].endSector, 29u);
  EXPECT_TRUE(std::filesystem::exists(out / "ZIP1.ZIP"));
  EXPECT_EQ(SizeOf("ZIP2.ZIP"), 6u * 512);
}

TEST_F(RawEngine, UntickedKindsCountInTheOrdinalOnly) {
  MakeDisk(800);
  Header(10, 4);
  Marker(12, 4);
  Header(20, 5);
  Marker(22, 5);
  request.form.ticked = {false, false, false, true};
  const auto result = Scan();
  EXPECT_EQ(result.documentsFound, 2u);
  ASSERT_EQ(model.documents.size(), 2u);
  EXPECT_EQ(model.documents[0].kind, RawFileKind::Excel);
  EXPECT_EQ(model.documents[0].outcome, RawDocumentOutcome::NotTicked);
  EXPECT_TRUE(std::filesystem::exists(out / "ZIP2.ZIP"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);
  // Before the first ticked document the list keeps whatever it held.
  EXPECT_TRUE(model.rowsAtDocument[0].empty());
  EXPECT_EQ(model.rowsAtDocument[1], std::vector<std::string>{"Total Zip File(s) Recovered :  1"});
}

TEST_F(RawEngine, StopConfirmedEndsTheScanAndResetsTheForm) {
  MakeDisk(8000);
  Header(10, 5);
  Marker(12, 5);
  prompter.yesNoAnswers = {true};
  model.onDocument = [&](const RawDocument&) { ConfirmRawStop(prompter, stop); };
  const auto result = Scan();
  EXPECT_EQ(result.end, RawScanEnd::Stopped);
  EXPECT_EQ(model.rowsAtDocument[0], std::vector<std::string>({"Total Word File(s) Recovered :  0",
                                                               "Total Excel File(s) Recovered :  0",
                                                               "Total PowerPoint File(s) Recovered :  0",
                                                               "Total Zip File(s) Recovered :  1"}));
  EXPECT_TRUE(model.rows.empty());
  EXPECT_EQ(model.status, "");
  EXPECT_EQ(model.progressText, "0 % Completed");
  EXPECT_FALSE(model.progressVisible);
  EXPECT_TRUE(std::filesystem::exists(out / "ZIP1.ZIP"));  // files written stay
  EXPECT_EQ(SectorsRead().size(), 800u + 3);  // one window and the archive, nothing after the stop
  EXPECT_FALSE(stop.load());
}

TEST_F(RawEngine, StopDeclinedLetsTheScanGoOn) {
  MakeDisk(8000);
  Header(10, 5);
  Marker(12, 5);
  prompter.yesNoAnswers = {false};
  model.onDocument = [&](const RawDocument&) { ConfirmRawStop(prompter, stop); };
  const auto result = Scan();
  EXPECT_EQ(result.end, RawScanEnd::Completed);
  EXPECT_EQ(SectorsRead().size(), 8000u + 3);  // the whole disk and the archive
}

TEST_F(RawEngine, StopDuringACopyEndsItAtTheNextPiece) {
  MakeDisk(8000);
  Header(10, 5);
  Marker(3000, 5);  // an archive that runs over four windows
  // The flag goes up while the copy reads its second piece (sectors 30-49).
  opener_->onRead = [&](const SharedDeviceOpener::ReadCall& read) {
    if (read.first == 30 && read.count == 20) stop = true;
  };
  const auto result = Scan();
  EXPECT_EQ(result.end, RawScanEnd::Stopped);
  ASSERT_EQ(model.documents.size(), 1u);
  EXPECT_EQ(model.documents[0].outcome, RawDocumentOutcome::Stopped);
  EXPECT_EQ(model.documents[0].endSector, 3000u);
  EXPECT_EQ(SizeOf("ZIP1.ZIP"), 40u * 512);
  EXPECT_TRUE(model.rows.empty());
  EXPECT_TRUE(result.failures.empty());
}

TEST_F(RawEngine, DocumentRunningOverSeveralWindowsIsWrittenWhole) {
  MakeDisk(8000);
  Header(10, 5);
  Marker(3000, 5);
  const auto result = Scan();
  EXPECT_EQ(result.end, RawScanEnd::Completed);
  EXPECT_EQ(SizeOf("ZIP1.ZIP"), 2991u * 512);
}

TEST_F(RawEngine, StaleStopFromAnEarlierScanIsCleared) {
  MakeDisk(1600);
  stop = true;
  const auto result = Scan();
  EXPECT_EQ(result.end, RawScanEnd::Completed);
  EXPECT_EQ(SectorsRead().size(), 1600u);
}

TEST_F(RawEngine, InvalidRangeEndsBeforeAnyRead) {
  MakeDisk(1600);
  request.form.entireDisk = false;
  request.form.startField = "500";
  request.form.endField = "400";
  const auto result = Scan();
  EXPECT_EQ(result.end, RawScanEnd::InvalidRange);
  EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Invalid Start Sector"});
  EXPECT_TRUE(opener_->reads.empty());
  EXPECT_EQ(model.status, "");
}

TEST_F(RawEngine, FilesThatCannotBeCreatedAreReportedAndTheScanGoesOn) {
  MakeDisk(800);
  Header(10, 5);
  Marker(12, 5);
  Header(20, 5);
  Marker(22, 5);
  std::filesystem::create_directory(out / "ZIP1.ZIP");  // in the way of the first
  const auto result = Scan();
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_EQ(result.failures[0].outcome, RawDocumentOutcome::CreateFailed);
  EXPECT_EQ(result.failures[0].file, out / "ZIP1.ZIP");
  EXPECT_FALSE(result.failures[0].error.empty());
  EXPECT_EQ(model.documents[0].outcome, RawDocumentOutcome::CreateFailed);
  // The counter was raised all the same; the second archive is written.
  EXPECT_EQ(model.rowsAtDocument[1][3], "Total Zip File(s) Recovered :  2");
  EXPECT_EQ(SizeOf("ZIP2.ZIP"), 3u * 512);
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST_F(RawEngine, MissingFolderFailsEachDocumentWithItsReason) {
  MakeDisk(800);
  Header(10, 5);
  Marker(12, 5);
  request.destination = out / "gone";
  const auto result = Scan();
  ASSERT_EQ(result.failures.size(), 1u);
  EXPECT_FALSE(result.failures[0].error.empty());
  EXPECT_FALSE(std::filesystem::exists(out / "gone"));
}

}  // namespace
}  // namespace ov
