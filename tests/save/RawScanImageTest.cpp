// The raw scan over disk images from the image builder: documents placed at
// given sectors, checked against what the builder reports it wrote.

#include "save/RawScan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mkimage/Content.h"
#include "save/RawScanSupport.h"
#include "support/ImageOpener.h"
#include "support/FakePrompter.h"
#include "support/TempDir.h"
#include "support/BuiltImage.h"

namespace ov {
namespace {

using test::BuiltImage;
using test::FakePrompter;
using test::RawFormModel;

using test::ImageOpener;

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class RawImage : public test::RawScanFixture {
protected:
  // Builds the image; every test scans disk 0 = this image.
  void Build(const std::string& json) {
    built_ = std::make_unique<BuiltImage>(json);
    ASSERT_TRUE(built_->ok()) << built_->error();
    BadSectorMap bad;
    for (auto [first, last] : built_->manifest().unreadable) bad.Add(first, last);
    opener_ = std::make_unique<ImageOpener>(built_->image(), bad);
    UseOpener(*opener_);
    request.diskSectors = built_->manifest().diskSectors;
  }
  const mkimage::ManifestDocument& Placed(std::size_t i) const { return built_->manifest().documents.at(i); }
  // Bytes of the image file itself.
  std::vector<std::uint8_t> ImageBytes(std::uint64_t firstSector, std::uint64_t bytes) const {
    std::ifstream in(built_->image(), std::ios::binary);
    in.seekg(static_cast<std::streamoff>(firstSector * 512));
    std::vector<std::uint8_t> data(bytes);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(bytes));
    return data;
  }

  // The written file holds the document's sectors: its exact bytes, then
  // the rest of its last sector.
  void ExpectWhole(const std::string& name, const mkimage::ManifestDocument& document) {
    const auto bytes = ReadFile(out / name);
    ASSERT_EQ(bytes.size(), document.sectors * 512) << name;
    EXPECT_EQ(mkimage::Sha256Hex(std::span(bytes).first(document.size)), document.sha256) << name;
  }


private:
  std::unique_ptr<BuiltImage> built_;
  std::unique_ptr<ImageOpener> opener_;
};

TEST_F(RawImage, OnlyZipTickedWritesZip1AndOneCounterRow) {
  Build(R"({"size": "2MiB", "documents": [
    {"kind": "zip", "size": 9000, "at": 100},
    {"kind": "word", "size": 12000, "at": 1000}]})");
  Tick({RawFileKind::Zip});
  const auto result = Scan();

  EXPECT_EQ(result.end, RawScanEnd::Completed);
  ExpectWhole("ZIP1.ZIP", Placed(0));
  EXPECT_FALSE(std::filesystem::exists(out / "DOC2.DOC"));
  ASSERT_EQ(model.rowsAtDocument.size(), 2u);
  EXPECT_EQ(model.rowsAtDocument[0], std::vector<std::string>{"Total Zip File(s) Recovered :  1"});
  EXPECT_EQ(model.rowsAtDocument[1], std::vector<std::string>{"Total Zip File(s) Recovered :  1"});
  // The scan's end empties the list.
  EXPECT_TRUE(model.rows.empty());
  EXPECT_EQ(result.recovered, (std::array<std::uint64_t, 4>{0, 0, 0, 1}));
}

TEST_F(RawImage, ZipBeforeACompoundDocumentInTheSameWindowIsNotFound) {
  // Compound headers are listed first; a Zip header below the last one
  // listed does not join the list.
  Build(R"({"size": "2MiB", "documents": [
    {"kind": "zip", "size": 9000, "at": 100},
    {"kind": "word", "size": 12000, "at": 300}]})");
  const auto result = Scan();
  EXPECT_EQ(result.documentsFound, 1u);
  ExpectWhole("DOC1.DOC", Placed(1));
}

TEST_F(RawImage, PowerPointStreamNameMakesAPowerPointWhateverMarkerEndsIt) {
  // A Word document right after the presentation: its marker, taken as the
  // sector before its header, ties with the presentation's own marker and
  // the Word record, being lower, ends the presentation. The stream name
  // at byte 1152 still makes it a presentation.
  Build(R"({"size": "2MiB", "documents": [
    {"kind": "powerpoint", "size": 12000, "at": 100},
    {"kind": "word", "size": 12000, "at": 124}]})");
  ASSERT_EQ(Placed(0).firstSector + Placed(0).sectors, Placed(1).firstSector);
  Scan();
  ASSERT_EQ(model.documents.size(), 2u);
  EXPECT_EQ(model.documents[0].kind, RawFileKind::PowerPoint);
  EXPECT_EQ(model.documents[0].endSector, Placed(0).markerSector);
  ExpectWhole("PPT1.PPT", Placed(0));
  ExpectWhole("DOC2.DOC", Placed(1));
}

TEST_F(RawImage, LargeWordIsCutAtTheLimitAndZipOfTheSameSizeIsWhole) {
  // 8 MB shows the rule as well as 40 MB would: anything past the first
  // piece and 5 MiB more is left out, whatever the size.
  Build(R"({"size": "24MiB", "documents": [
    {"kind": "word", "size": 8000000, "at": 2048},
    {"kind": "zip", "size": 8000000, "at": 20000}]})");
  const auto result = Scan();
  ASSERT_EQ(model.documents.size(), 2u);
  EXPECT_EQ(model.documents[0].outcome, RawDocumentOutcome::Truncated);
  EXPECT_EQ(model.documents[0].endSector, Placed(0).markerSector);
  const auto word = ReadFile(out / "DOC1.DOC");
  ASSERT_EQ(word.size(), 10'240u + 5'242'880u);
  EXPECT_TRUE(word == ImageBytes(Placed(0).firstSector, word.size()));
  ExpectWhole("ZIP2.ZIP", Placed(1));
  EXPECT_EQ(model.documents[1].outcome, RawDocumentOutcome::Written);
  EXPECT_TRUE(result.failures.empty());
}

TEST_F(RawImage, HundredSectorRangeFindsADocumentInTheRestOfItsWindow) {
  Build(R"({"size": "2MiB", "documents": [{"kind": "excel", "size": 20000, "at": 500}]})");
  request.form.entireDisk = false;
  request.form.startField = "0";
  request.form.endField = "100";
  Scan();
  ExpectWhole("XLS1.XLS", Placed(0));
}

TEST_F(RawImage, SecondScanOverwritesTheFirstScansFiles) {
  Build(R"({"size": "2MiB", "documents": [{"kind": "word", "size": 12000, "at": 64}]})");
  std::ofstream(out / "DOC1.DOC") << std::string(100'000, 'x');
  Scan();
  ExpectWhole("DOC1.DOC", Placed(0));
  Scan();
  ExpectWhole("DOC1.DOC", Placed(0));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);
}

TEST_F(RawImage, DocumentSpanningSeveralWindows) {
  Build(R"({"size": "8MiB", "documents": [
    {"kind": "word", "size": "1MiB", "at": 700},
    {"kind": "zip", "size": "700KiB", "at": 5000}]})");
  Scan();
  ASSERT_EQ(model.documents.size(), 2u);
  EXPECT_EQ(model.documents[0].endSector, Placed(0).markerSector);
  ExpectWhole("DOC1.DOC", Placed(0));
  ExpectWhole("ZIP2.ZIP", Placed(1));
}

TEST_F(RawImage, PresentationEndsAtItsDirectoryWhenItsLastSectorLiesInALaterWindow) {
  // The directory in the presentation's third sector names its main stream
  // with the PowerPoint marker; with the trailer's marker beyond this
  // window, that is the last match the window holds, and it ends the
  // document.
  Build(R"({"size": "8MiB", "documents": [{"kind": "powerpoint", "size": "1MiB", "at": 700}]})");
  Scan();
  ASSERT_EQ(model.documents.size(), 1u);
  EXPECT_EQ(model.documents[0].kind, RawFileKind::PowerPoint);
  EXPECT_EQ(model.documents[0].endSector, 702u);
  EXPECT_EQ(std::filesystem::file_size(out / "PPT1.PPT"), 3u * 512);
}

TEST_F(RawImage, TwoDocumentsInOneWindow) {
  Build(R"({"size": "2MiB", "documents": [
    {"kind": "excel5", "size": 30000, "at": 100},
    {"kind": "zip", "size": 20000, "at": 300}]})");
  Scan();
  ASSERT_EQ(model.documents.size(), 2u);
  ExpectWhole("XLS1.XLS", Placed(0));
  ExpectWhole("ZIP2.ZIP", Placed(1));
  EXPECT_EQ(model.rowsAtDocument[1],
            (std::vector<std::string>{"Total Word File(s) Recovered :  0", "Total Excel File(s) Recovered :  1",
                                      "Total PowerPoint File(s) Recovered :  0", "Total Zip File(s) Recovered :  1"}));
}

TEST_F(RawImage, EveryKindAmongRandomBytesIsWrittenExactly) {
  Build(R"({"size": "16MiB", "seed": 11,
    "fill": [{"at": 0, "sectors": 1000, "with": "random"},
             {"at": 1100, "sectors": 2900, "with": "random"},
             {"at": 4200, "sectors": 5800, "with": "random"},
             {"at": 10500, "sectors": 9500, "with": "random"}],
    "documents": [
      {"kind": "word", "size": 30000, "at": 1000},
      {"kind": "excel", "size": 60000, "at": 4000},
      {"kind": "powerpoint", "size": 90000, "at": 10000},
      {"kind": "zip", "size": 300000, "at": 20000},
      {"kind": "excel5", "size": 25000, "at": 30000}]})");
  const auto result = Scan();
  ASSERT_EQ(result.documentsFound, 5u);
  const char* names[] = {"DOC1.DOC", "XLS2.XLS", "PPT3.PPT", "ZIP4.ZIP", "XLS5.XLS"};
  for (std::size_t i = 0; i < 5; ++i) {
    ExpectWhole(names[i], Placed(i));
    EXPECT_EQ(model.documents[i].startSector, Placed(i).firstSector) << i;
  }
  EXPECT_EQ(result.recovered, (std::array<std::uint64_t, 4>{1, 2, 1, 1}));
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST_F(RawImage, UnreadableSectorInADocumentIsAskedAboutAndLeftAsTheBufferHeldIt) {
  Build(R"({"size": "2MiB", "unreadable": ["105"],
    "documents": [{"kind": "zip", "size": 9000, "at": 100}]})");
  // Once for the window's read, once for the copy's; Retry reads the other
  // sectors one by one.
  prompter.badSectorAnswers = {BadSectorChoice::Retry, BadSectorChoice::Retry};
  Scan();
  EXPECT_TRUE(prompter.AllAnswersUsed());
  const auto file = ReadFile(out / "ZIP1.ZIP");
  auto expected = ImageBytes(100, Placed(0).sectors * 512);
  // The copy's buffer held nothing before this document's first piece.
  std::fill(expected.begin() + 5 * 512, expected.begin() + 6 * 512, std::uint8_t{0});
  EXPECT_TRUE(file == expected);
}

}  // namespace
}  // namespace ov
