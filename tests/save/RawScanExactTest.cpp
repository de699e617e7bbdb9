// The raw scan's exact mode over builder images holding compound documents
// and Zip archives made by the writers of these tests, with junk between
// them.

#include "save/RawScan.h"
#include "save/RawWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "mkimage/Content.h"
#include "save/ExactWriters.h"
#include "save/RawScanSupport.h"
#include "support/FakePrompter.h"
#include "support/TempDir.h"
#include "support/BuiltImage.h"

namespace ov {
namespace {

using test::FileBytes;
using test::Filler;
using test::MakeCompound;
using test::MakeWord;
using test::MakeZip;
using test::ZipItem;
using test::ZipShape;

FileBytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ZipItem Item(std::string name, std::size_t size, std::uint32_t seed, bool deflate = false) {
  ZipItem item;
  item.name = std::move(name);
  item.data = Filler(size, seed);
  item.deflate = deflate;
  return item;
}

class RawExact : public test::RawScanFixture {
protected:
  RawExact() { request.exact = true; }

  // Places the documents at their sectors on a disk of `size` that is
  // junk elsewhere, and opens it as disk 0, with the `unreadable` sectors
  // failing every read that touches them.
  void Build(const std::string& size, const std::vector<std::pair<std::uint64_t, FileBytes>>& documents,
             bool junk = true, const std::vector<std::uint64_t>& unreadable = {}) {
    std::string json = R"({"size": ")" + size + R"(", "documents": [)";
    for (std::size_t i = 0; i < documents.size(); ++i) {
      const auto path = files_ / ("doc" + std::to_string(i));
      std::ofstream(path, std::ios::binary)
          .write(reinterpret_cast<const char*>(documents[i].second.data()),
                 static_cast<std::streamsize>(documents[i].second.size()));
      json += std::string(i ? "," : "") + R"({"kind": "zip", "path": ")" + path.string() + R"(", "at": )" +
              std::to_string(documents[i].first) + "}";
    }
    json += "]";
    if (junk) json += R"(, "fill": [{"at": 0, "sectors": ")" + size + R"("}])";
    json += "}";
    built_ = std::make_unique<test::BuiltImage>(json);
    ASSERT_TRUE(built_->ok()) << built_->error();
    std::unique_ptr<Device> device = FileDevice::Open(built_->image());
    if (!unreadable.empty()) {
      BadSectorMap bad;
      for (const std::uint64_t sector : unreadable) bad.Add(sector);
      device = std::make_unique<FaultyDevice>(std::move(device), std::move(bad));
    }
    opener_ = std::make_unique<test::SharedDeviceOpener>(std::move(device));
    UseOpener(*opener_);
    request.diskSectors = built_->manifest().diskSectors;
  }
  // Written files by name.
  std::map<std::string, FileBytes> Files() const {
    std::map<std::string, FileBytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(out.path()))
      files[entry.path().filename().string()] = ReadFile(entry.path());
    return files;
  }
  void ExpectFile(const std::string& name, const FileBytes& bytes) {
    const FileBytes written = ReadFile(out / name);
    EXPECT_EQ(written.size(), bytes.size()) << name;
    EXPECT_EQ(mkimage::Sha256Hex(written), mkimage::Sha256Hex(bytes)) << name;
  }
  // A scan that finds and writes exactly the Word document (its embedded
  // documents not on their own) and the archive after it.
  void ExpectWordThenZipOnly(const FileBytes& word, const FileBytes& zip) {
    const auto result = Scan();
    EXPECT_EQ(result.documentsFound, 2u);
    EXPECT_EQ(Files().size(), 2u);
    ExpectFile("DOC1.DOC", word);
    ExpectFile("ZIP2.ZIP", zip);
  }

  // How many reads that reached the device took in `sector`.
  std::size_t TimesRead(std::uint64_t sector) const {
    return static_cast<std::size_t>(std::count_if(opener_->reads.begin(), opener_->reads.end(), [&](const auto& read) {
      return read.first <= sector && sector - read.first < read.count;
    }));
  }

  std::unique_ptr<test::SharedDeviceOpener> opener_;

private:
  test::TempDir files_;
  std::unique_ptr<test::BuiltImage> built_;
};

TEST_F(RawExact, EveryDocumentIsWrittenByteForByte) {
  ZipShape described{{Item("a.xml", 30'000, 1, true), Item("b.xml", 200, 2, true)}, "archive comment", false};
  ZipShape streamed{{Item("c", 9000, 3, true), Item("d", 5000, 4)}, "", false};
  for (auto& item : streamed.items) item.descriptor = true;
  const FileBytes word = MakeWord(40'000);
  const FileBytes excel = MakeCompound({12, {{"Workbook", Filler(60'000, 5)}}, 0, false});
  const FileBytes slides = MakeCompound({9, {{"PowerPoint Document", Filler(20'000, 6)}, {"Current User", Filler(60, 7)}}, 0, true});
  const FileBytes zip1 = MakeZip(described);
  const FileBytes zip2 = MakeZip(streamed);
  const FileBytes big = MakeWord(6'000'000, 9, 8);
  const FileBytes after = MakeZip({{Item("e", 100, 9)}, "", false});
  const std::uint64_t bigAt = 4000;
  const std::uint64_t afterAt = bigAt + (big.size() + 511) / 512;
  Build("16MiB", {{100, word}, {790, excel}, {1000, slides}, {1700, zip1}, {1800, zip2}, {bigAt, big}, {afterAt, after}});

  const auto result = Scan();
  EXPECT_EQ(result.end, RawScanEnd::Completed);
  EXPECT_EQ(result.documentsFound, 7u);
  EXPECT_EQ(result.fallbacks, 0u);
  EXPECT_EQ(result.recovered, (std::array<std::uint64_t, 4>{2, 1, 1, 3}));
  EXPECT_EQ(Files().size(), 7u);
  ExpectFile("DOC1.DOC", word);
  ExpectFile("XLS2.XLS", excel);
  ExpectFile("PPT3.PPT", slides);
  ExpectFile("ZIP4.ZIP", zip1);
  ExpectFile("ZIP5.ZIP", zip2);
  ExpectFile("DOC6.DOC", big);
  ExpectFile("ZIP7.ZIP", after);
  ASSERT_EQ(model.documents.size(), 7u);
  const auto& d = model.documents[5];
  EXPECT_TRUE(d.exact);
  EXPECT_EQ(d.outcome, RawDocumentOutcome::Written);
  EXPECT_EQ(d.size, big.size());
  EXPECT_EQ(d.startSector, bigAt);
  EXPECT_EQ(d.endSector, afterAt - 1);
  EXPECT_EQ(d.bytesWritten, big.size());
  EXPECT_TRUE(d.fallback.empty());
}

TEST_F(RawExact, OffByDefaultTheSignatureRulesStillDecide) {
  const FileBytes word = MakeWord(40'000);
  Build("2MiB", {{100, word}});
  request.exact = false;
  Scan();
  // The "Word.Document" text in the document's fourth sector ends it there.
  EXPECT_EQ(ReadFile(out / "DOC1.DOC").size(), 4u * 512);
  ASSERT_EQ(model.documents.size(), 1u);
  EXPECT_FALSE(model.documents[0].exact);

  request.exact = true;
  Scan();
  ExpectFile("DOC1.DOC", word);
}

TEST_F(RawExact, EmbeddedDocumentsAreNotWrittenTwice) {
  const FileBytes inner = MakeZip({{Item("inner", 3000, 10)}, "", false});
  const FileBytes sheet = MakeCompound({9, {{"Workbook", Filler(3000, 11)}}, 0, false});
  FileBytes stream = Filler(20'000, 12);
  std::copy(inner.begin(), inner.end(), stream.begin());
  std::copy(sheet.begin(), sheet.end(), stream.begin() + 8192);
  const FileBytes word = MakeCompound({9, {{"WordDocument", stream}}, 0, false});
  const FileBytes next = MakeZip({{Item("next", 700, 13)}, "", false});
  Build("2MiB", {{100, word}, {300, next}});
  ExpectWordThenZipOnly(word, next);
}

TEST_F(RawExact, DocumentsInsideOneThatIsNotWrittenAreTheirOwn) {
  const FileBytes inner = MakeZip({{Item("inner", 3000, 14)}, "", false});
  FileBytes stream = Filler(20'000, 15);
  std::copy(inner.begin(), inner.end(), stream.begin() + 4096);
  const FileBytes word = MakeCompound({9, {{"WordDocument", stream}}, 0, false});
  // A compound document of no recovered kind, holding a Word document.
  FileBytes contents = Filler(50'000, 16);
  std::copy(word.begin(), word.end(), contents.begin());
  const FileBytes other = MakeCompound({9, {{"Contents", contents}}, 0, false});
  Build("2MiB", {{100, word}, {500, other}});

  Tick({RawFileKind::Zip});
  auto result = Scan();
  // The Word document is found but not ticked; the archive inside it is
  // written. Inside the other document, the Word document is found again.
  EXPECT_EQ(result.documentsFound, 4u);
  EXPECT_EQ(Files().size(), 2u);
  ExpectFile("ZIP2.ZIP", inner);
  ExpectFile("ZIP4.ZIP", inner);

  Tick({RawFileKind::Word, RawFileKind::Zip});
  result = Scan();
  EXPECT_EQ(result.documentsFound, 2u);
  ExpectFile("DOC1.DOC", word);
  ExpectFile("DOC2.DOC", word);
  EXPECT_FALSE(std::filesystem::exists(out / "ZIP3.ZIP"));
}

TEST_F(RawExact, UnmeasurableDocumentsFallBackToTheSignatureRules) {
  test::CompoundLayout layout;
  FileBytes word = MakeCompound({9, {{"\x01" "CompObj", FileBytes(600, 0)}, {"WordDocument", Filler(9000, 17)}}, 0, false},
                                &layout);
  const std::string text = "Word.Document.8";
  std::copy(text.begin(), text.end(), word.begin() + static_cast<std::ptrdiff_t>(layout.Offset(layout.streamSectors[0]) + 40));
  test::Put32(word, layout.Offset(layout.fatSectors[0]) + 4 * layout.streamSectors[1], 9999);
  // A stored archive (version 0A) and a deflated one (version 14), both
  // with an end record that counts the wrong number of entries.
  FileBytes stored = MakeZip({{Item("s", 2000, 18)}, "", false});
  FileBytes deflated = MakeZip({{Item("t", 2000, 19, true)}, "", false});
  for (FileBytes* zip : {&stored, &deflated}) test::Put16(*zip, zip->size() - 22 + 10, 2);
  Build("2MiB", {{100, word}, {300, stored}, {1000, deflated}});

  const auto result = Scan();
  EXPECT_EQ(result.fallbacks, 2u);
  EXPECT_EQ(result.documentsFound, 2u);
  ASSERT_EQ(model.documents.size(), 2u);
  EXPECT_EQ(model.documents[0].fallback, "the FAT points outside its range");
  EXPECT_FALSE(model.documents[0].exact);
  // The Word document ends at the sector holding its marker; the archive at
  // the sector holding its end record.
  EXPECT_EQ(model.documents[0].endSector, 100 + 1 + layout.streamSectors[0]);
  EXPECT_EQ(model.documents[1].fallback, "the end record does not describe the central directory");
  EXPECT_EQ(model.documents[1].endSector, 300 + (stored.size() - 22) / 512);
  const auto files = Files();
  EXPECT_EQ(files.size(), 2u);
  EXPECT_EQ(files.at("DOC1.DOC"), FileBytes(word.begin(), word.begin() + (layout.streamSectors[0] + 2) * 512));
  EXPECT_EQ(ReadFile(out / "ZIP2.ZIP").size(), (model.documents[1].endSector - 300 + 1) * 512);
}

TEST_F(RawExact, ADocumentCutByTheDiskEndIsWrittenUpToIt) {
  const FileBytes word = MakeWord(40'000);
  const FileBytes kept(word.begin(), word.begin() + 20'000);
  Build("1MiB", {{2008, kept}}, false);
  Scan();
  ASSERT_EQ(model.documents.size(), 1u);
  EXPECT_EQ(model.documents[0].outcome, RawDocumentOutcome::CutAtDiskEnd);
  EXPECT_EQ(model.documents[0].size, 40u * 512);
  FileBytes expected = kept;
  expected.resize(40 * 512, 0);  // the rest of the disk's last sector
  ExpectFile("DOC1.DOC", expected);
}

TEST_F(RawExact, StopEndsTheCopyOfALongDocument) {
  const FileBytes big = MakeWord(3'000'000);
  Build("8MiB", {{100, big}}, false);
  opener_->copiesOn = false;  // read and written by the program
  opener_->onRead = [&](const test::SharedDeviceOpener::ReadCall& call) {
    if (call.first >= 100 + 2000) stop = true;
  };
  const auto result = Scan();
  EXPECT_EQ(result.end, RawScanEnd::Stopped);
  ASSERT_EQ(model.documents.size(), 1u);
  EXPECT_EQ(model.documents[0].outcome, RawDocumentOutcome::Stopped);
  EXPECT_LT(model.documents[0].bytesWritten, big.size());
  EXPECT_EQ(model.documents[0].bytesWritten, ReadFile(out / "DOC1.DOC").size());
}

TEST_F(RawExact, DocumentsMeetingTheWindowsEndsAreWrittenWhole) {
  // Windows start at sectors 0, 800, 1600, ... until a document runs past
  // one; the next window then starts right after that document.
  const FileBytes endsAtWindowEnd = MakeZip({{Item("a", 20 * 512 - 200, 20)}, "", false});
  const std::uint64_t firstAt = 800 - (endsAtWindowEnd.size() + 511) / 512;
  const FileBytes crossing = MakeZip({{Item("b", 9000, 21), Item("c", 7000, 22, true)}, "ends past", false});
  const FileBytes inOneWindow = MakeWord(3000, 9, 23);
  const FileBytes spanning = MakeWord(900'000, 9, 24);
  const FileBytes right = MakeZip({{Item("d", 300, 25)}, "", false});
  const std::uint64_t spanningAt = 1660;
  const std::uint64_t rightAt = spanningAt + (spanning.size() + 511) / 512;
  Build("4MiB", {{firstAt, endsAtWindowEnd}, {1595, crossing}, {1640, inOneWindow}, {spanningAt, spanning}, {rightAt, right}});

  const auto result = Scan();
  EXPECT_EQ(result.documentsFound, 5u);
  EXPECT_EQ(Files().size(), 5u);
  ExpectFile("ZIP1.ZIP", endsAtWindowEnd);
  ExpectFile("ZIP2.ZIP", crossing);
  ExpectFile("DOC3.DOC", inOneWindow);
  ExpectFile("DOC4.DOC", spanning);
  ExpectFile("ZIP5.ZIP", right);
  EXPECT_EQ(model.documents[0].endSector, 799u);
}

TEST_F(RawExact, TheSectorsOfADocumentAreReadOnce) {
  test::CompoundLayout layout;
  const FileBytes big = MakeCompound({9, {{"WordDocument", Filler(3'000'000, 26)}}, 0, false}, &layout);
  const std::uint64_t at = 100;
  const std::uint64_t end = at + big.size() / 512;
  Build("8MiB", {{at, big}});
  opener_->copiesOn = false;  // read and written by the program
  Scan();
  ExpectFile("DOC1.DOC", big);
  // The first window holds the document's first sectors and is written from;
  // the copy reads the rest; the scan goes on after the document. Only the
  // measuring reads the header, the FAT and the directory again, and the
  // copy's last 20-sector piece may reach past the document's end.
  const std::uint64_t measured = at + 1 + layout.directorySector;
  for (std::uint64_t sector = (measured / 128 + 1) * 128; sector < end + 800; ++sector) {
    if (sector >= end && sector < end + 20) continue;
    ASSERT_EQ(TimesRead(sector), 1u) << sector;
  }
}

TEST_F(RawExact, PastItsWindowADocumentIsCopiedBySystemOnceAndInOrder) {
  const FileBytes big = MakeWord(9'000'000, 9, 40);
  const std::uint64_t at = 100;
  Build("16MiB", {{at, big}});
  Scan();
  ExpectFile("DOC1.DOC", big);
  // The copies take up where the window ends and follow each other to the
  // document's last byte; the program reads none of those sectors.
  const std::uint64_t windowEnd = kRawWindowSectors;
  std::uint64_t next = windowEnd;
  std::uint64_t left = big.size() - (windowEnd - at) * 512;
  for (const auto& copy : opener_->copies) {
    EXPECT_EQ(copy.first, next);
    EXPECT_EQ(copy.copied, copy.bytes);
    next += copy.copied / 512;
    left -= copy.copied;
  }
  EXPECT_EQ(left, 0u);
  EXPECT_GT(opener_->copies.size(), 1u);  // in steps, the stop flag tested between
  for (std::uint64_t sector = windowEnd; sector < at + big.size() / 512; sector += 97) {
    ASSERT_EQ(TimesRead(sector), 0u) << sector;
  }
}

TEST_F(RawExact, ACopyThatStopsShortIsFinishedByReading) {
  const FileBytes big = MakeWord(2'000'000, 9, 41);
  Build("8MiB", {{100, big}});
  opener_->copyLimit = 300'000 + 100;  // not a whole number of sectors
  Scan();
  ExpectFile("DOC1.DOC", big);
  ASSERT_FALSE(opener_->copies.empty());
  EXPECT_EQ(opener_->copies[0].copied, 300'100u);
}

TEST_F(RawExact, StopEndsADocumentBeingCopiedBySystem) {
  const FileBytes big = MakeWord(12'000'000, 9, 42);
  Build("16MiB", {{100, big}}, false);
  opener_->onCopy = [&](const test::SharedDeviceOpener::CopyCall&) { stop = true; };
  const auto result = Scan();
  EXPECT_EQ(result.end, RawScanEnd::Stopped);
  ASSERT_EQ(model.documents.size(), 1u);
  EXPECT_EQ(model.documents[0].outcome, RawDocumentOutcome::Stopped);
  EXPECT_EQ(opener_->copies.size(), 1u);
  EXPECT_LT(model.documents[0].bytesWritten, big.size());
  EXPECT_EQ(model.documents[0].bytesWritten, ReadFile(out / "DOC1.DOC").size());
}

TEST_F(RawExact, CandidatesInsideADocumentThatRunsPastTheWindowAreSkipped) {
  const FileBytes inner = MakeZip({{Item("inner", 2000, 27)}, "", false});
  const FileBytes sheet = MakeCompound({9, {{"Workbook", Filler(3000, 28)}}, 0, false});
  FileBytes stream = Filler(1'200'000, 29);
  // One archive in the window that finds the document, one past it, and a
  // workbook in a later window.
  for (const std::size_t offset : {std::size_t{50 * 512}, std::size_t{900 * 512}}) {
    std::copy(inner.begin(), inner.end(), stream.begin() + static_cast<std::ptrdiff_t>(offset));
  }
  std::copy(sheet.begin(), sheet.end(), stream.begin() + 1900 * 512);
  const FileBytes word = MakeCompound({9, {{"WordDocument", stream}}, 0, true});
  const FileBytes next = MakeZip({{Item("next", 700, 30)}, "", false});
  const std::uint64_t nextAt = 200 + (word.size() + 511) / 512 + 3;
  Build("4MiB", {{200, word}, {nextAt, next}});
  ExpectWordThenZipOnly(word, next);
}

TEST_F(RawExact, AnUnreadableSectorIsAskedAboutOnceAndTheRestOfTheCopyIsExact) {
  const FileBytes big = MakeWord(1'500'000, 9, 31);
  // One unreadable sector in the window that finds the document, one in the
  // part its copy reads; neither holds the header, the FAT or the directory.
  const std::uint64_t at = 100;
  Build("4MiB", {{at, big}}, true, {500, 2400});
  prompter.badSectorAnswers = {BadSectorChoice::Retry, BadSectorChoice::Retry};
  Scan();
  EXPECT_TRUE(prompter.AllAnswersUsed());
  EXPECT_EQ(prompter.Asked(test::QuestionKind::BadSector).size(), 2u);
  ASSERT_EQ(model.documents.size(), 1u);
  EXPECT_EQ(model.documents[0].outcome, RawDocumentOutcome::Written);
  EXPECT_EQ(model.documents[0].bytesWritten, big.size());
  // Every sector but the two unreadable ones holds the document's bytes.
  FileBytes written = ReadFile(out / "DOC1.DOC");
  ASSERT_EQ(written.size(), big.size());
  FileBytes expected = big;
  for (const std::uint64_t sector : {500u, 2400u}) {
    const auto from = static_cast<std::ptrdiff_t>((sector - at) * 512);
    std::fill(written.begin() + from, written.begin() + from + 512, std::uint8_t{0});
    std::fill(expected.begin() + from, expected.begin() + from + 512, std::uint8_t{0});
  }
  EXPECT_TRUE(written == expected);
}

TEST_F(RawExact, AWindowWithAnUnreadableSectorIsNotMeasuredFrom) {
  const FileBytes word = MakeWord(30'000, 9, 32);
  // Where MakeWord puts things: the same shape, laid out alike.
  test::CompoundLayout layout;
  MakeCompound({9, {{"\x01" "CompObj", FileBytes(600, 0)}, {"WordDocument", Filler(30'000, 32)}}, 0, false}, &layout);
  // The document's FAT sector cannot be read: what the window holds there
  // is not the disk's, so the measurer must find the sector unreadable.
  const std::uint64_t fat = 100 + 1 + layout.fatSectors[0];
  Build("2MiB", {{100, word}}, true, {fat});
  // Retried sector by sector, the window holds the header.
  prompter.badSectorAnswers = {BadSectorChoice::RetryAll};
  const auto result = Scan();
  EXPECT_EQ(result.fallbacks, 1u);
  ASSERT_EQ(model.documents.size(), 1u);
  EXPECT_FALSE(model.documents[0].exact);
  EXPECT_EQ(model.documents[0].fallback, "a FAT sector lies past the end of the disk");
}

}  // namespace
}  // namespace ov
