#include "save/RawStart.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "support/FakePrompter.h"
#include "support/TempDir.h"

namespace ov {
namespace {

using test::FakePrompter;
using test::QuestionKind;

RawScanForm RangeForm(std::string start, std::string end) {
  RawScanForm form;
  form.ticked[KindIndex(RawFileKind::Word)] = true;
  form.entireDisk = false;
  form.startField = std::move(start);
  form.endField = std::move(end);
  return form;
}

TEST(SectorField, Numbers) {
  EXPECT_EQ(ParseSectorField("0"), 0);
  EXPECT_EQ(ParseSectorField("12345"), 12345);
  EXPECT_EQ(ParseSectorField("  42 "), 42);
  EXPECT_EQ(ParseSectorField("+7"), 7);
  EXPECT_EQ(ParseSectorField("-7"), -7);
  EXPECT_EQ(ParseSectorField("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(ParseSectorField("-9223372036854775808"), INT64_MIN);
}

TEST(SectorField, NotNumbers) {
  for (const char* text : {"", " ", "-", "+", "12a", "a12", "1 2", "0x10", "1.5", "9223372036854775808",
                           "99999999999999999999999", "--1"}) {
    EXPECT_EQ(ParseSectorField(text), std::nullopt) << text;
  }
}

TEST(RawForm, NothingTickedAsksForAFileType) {
  FakePrompter prompter;
  RawScanForm form;
  EXPECT_EQ(CheckRawForm(form, 1000, prompter), RawFormCheck::NoKindTicked);
  const auto asked = prompter.Asked();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "Please select file type for recovery");
  EXPECT_EQ(asked[0].caption, "Orlindavestrum For NSS");
  EXPECT_EQ(asked[0].icon, MessageIcon::Information);
}

TEST(RawForm, NothingTickedComesBeforeTheRangeChecks) {
  FakePrompter prompter;
  RawScanForm form = RangeForm("x", "y");
  form.ticked = {};
  EXPECT_EQ(CheckRawForm(form, 1000, prompter), RawFormCheck::NoKindTicked);
  EXPECT_EQ(prompter.Messages().size(), 1u);
  EXPECT_EQ(form.endField, "y");
}

TEST(RawForm, EntireDiskIgnoresTheFields) {
  FakePrompter prompter;
  RawScanForm form = RangeForm("x", "y");
  form.entireDisk = true;
  EXPECT_EQ(CheckRawForm(form, 1000, prompter), RawFormCheck::Ok);
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST(RawForm, InvalidEndRefillsTheEndFieldWithTheDiskSize) {
  FakePrompter prompter;
  RawScanForm form = RangeForm("also bad", "abc");
  EXPECT_EQ(CheckRawForm(form, 2'097'152, prompter), RawFormCheck::InvalidEnd);
  EXPECT_EQ(form.endField, "2097152");
  const auto asked = prompter.Asked();
  ASSERT_EQ(asked.size(), 1u);  // the start field is not looked at
  EXPECT_EQ(asked[0].text, "Invalid End Sector");
  EXPECT_EQ(asked[0].icon, MessageIcon::Error);
}

TEST(RawForm, InvalidStart) {
  FakePrompter prompter;
  RawScanForm form = RangeForm("1O0", "500");
  EXPECT_EQ(CheckRawForm(form, 1000, prompter), RawFormCheck::InvalidStart);
  EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Invalid Start Sector"});
  EXPECT_EQ(prompter.Asked()[0].icon, MessageIcon::Error);
  EXPECT_EQ(form.endField, "500");
}

TEST(RawForm, NegativeNumbersAreNoSectors) {
  FakePrompter prompter;
  RawScanForm form = RangeForm("-5", "100");
  EXPECT_EQ(CheckRawForm(form, 1000, prompter), RawFormCheck::InvalidStart);
  form = RangeForm("0", "-1");
  EXPECT_EQ(CheckRawForm(form, 1000, prompter), RawFormCheck::InvalidEnd);
  EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"Invalid Start Sector", "Invalid End Sector"}));
}

TEST(RawForm, StartMustLieBelowEnd) {
  FakePrompter prompter;
  RawScanForm equal = RangeForm("100", "100");
  EXPECT_EQ(CheckRawForm(equal, 1000, prompter), RawFormCheck::StartNotBeforeEnd);
  RawScanForm above = RangeForm("101", "100");
  EXPECT_EQ(CheckRawForm(above, 1000, prompter), RawFormCheck::StartNotBeforeEnd);
  EXPECT_EQ(prompter.Messages(), (std::vector<std::string>{"Start sector should be less than End sector",
                                                           "Start sector should be less than End sector"}));
  RawScanForm below = RangeForm("99", "100");
  EXPECT_EQ(CheckRawForm(below, 1000, prompter), RawFormCheck::Ok);
  EXPECT_EQ(prompter.Messages().size(), 2u);
}

TEST(RawForm, EndBeyondTheDiskIsAccepted) {
  FakePrompter prompter;
  RawScanForm form = RangeForm("0", "5000");
  EXPECT_EQ(CheckRawForm(form, 1000, prompter), RawFormCheck::Ok);
}

TEST(RawScanRangeTest, EntireDiskIsZeroToTheDiskSize) {
  FakePrompter prompter;
  RawScanForm form;
  EXPECT_EQ(RawScanRange(form, 4096, prompter), (RawRange{0, 4096}));
}

TEST(RawScanRangeTest, FieldsAreReadAgain) {
  FakePrompter prompter;
  EXPECT_EQ(RawScanRange(RangeForm("10", "20"), 4096, prompter), (RawRange{10, 20}));
  // An empty range is a range: the scan reads nothing.
  EXPECT_EQ(RawScanRange(RangeForm("20", "20"), 4096, prompter), (RawRange{20, 20}));
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST(RawScanRangeTest, BadFieldsEndTheScanWithTheirMessage) {
  FakePrompter prompter;
  EXPECT_EQ(RawScanRange(RangeForm("10", "x"), 4096, prompter), std::nullopt);
  EXPECT_EQ(RawScanRange(RangeForm("x", "10"), 4096, prompter), std::nullopt);
  EXPECT_EQ(RawScanRange(RangeForm("30", "20"), 4096, prompter), std::nullopt);
  EXPECT_EQ(prompter.Messages(),
            (std::vector<std::string>{"Invalid End Sector", "Invalid Start Sector", "Invalid Start Sector"}));
}

TEST(RawDestination, EmptyChoiceEndsSilently) {
  FakePrompter prompter;
  EXPECT_EQ(CheckRawDestination({}, prompter), RawDestinationCheck::NoDestination);
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST(RawDestination, WritableFolderKeepsNoTestFile) {
  FakePrompter prompter;
  test::TempDir dir;
  EXPECT_EQ(CheckRawDestination(dir.path(), prompter), RawDestinationCheck::Ready);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  // A folder given with a trailing separator works the same.
  EXPECT_EQ(CheckRawDestination(dir.path().string() + "/", prompter), RawDestinationCheck::Ready);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST(RawDestination, AUsersTempFileIsLeftAlone) {
  FakePrompter prompter;
  test::TempDir dir;
  std::ofstream(dir / "tempFile") << "keep me";
  EXPECT_EQ(CheckRawDestination(dir.path(), prompter), RawDestinationCheck::Ready);
  std::ifstream in(dir / "tempFile");
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "keep me");
}

TEST(RawDestination, MissingFolderIsCreated) {
  FakePrompter prompter;
  test::TempDir dir;
  const auto folder = dir / "Recovered";
  EXPECT_EQ(CheckRawDestination(folder, prompter), RawDestinationCheck::Ready);
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST(RawDestination, OnlyTheLastFolderIsCreated) {
  FakePrompter prompter;
  test::TempDir dir;
  const auto folder = dir / "a" / "b";
  EXPECT_EQ(CheckRawDestination(folder, prompter), RawDestinationCheck::Unusable);
  EXPECT_FALSE(std::filesystem::exists(dir / "a"));
  const auto asked = prompter.Asked();
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "Unable to Create Directory");
  EXPECT_EQ(asked[0].icon, MessageIcon::Error);
}

TEST(RawDestination, AFileInThePlaceOfTheFolderIsUnusable) {
  FakePrompter prompter;
  test::TempDir dir;
  std::ofstream(dir / "plain") << "x";
  EXPECT_EQ(CheckRawDestination(dir / "plain", prompter), RawDestinationCheck::Unusable);
  EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Unable to Create Directory"});
}

TEST(RawStartTexts, StatusAndButtons) {
  EXPECT_EQ(SearchingDiskText(2), "Searching Disk - 2");
  EXPECT_EQ(kRawStartButtonFirstText, "Start &Recovery");
  EXPECT_EQ(kRawStartButtonText, "&Start Recovery");
  EXPECT_EQ(kRawStopButtonText, "&Stop Searching");
}

TEST(RawStop, YesRaisesTheStopFlag) {
  FakePrompter prompter;
  prompter.yesNoAnswers = {true};
  std::atomic<bool> stop{false};
  EXPECT_TRUE(ConfirmRawStop(prompter, stop));
  EXPECT_TRUE(stop.load());
  const auto asked = prompter.Asked(QuestionKind::YesNo);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].text, "Do you want terminate this process ?");
  EXPECT_EQ(asked[0].caption, "Orlindavestrum For NSS");
}

TEST(RawStop, NoLeavesTheFlagDown) {
  FakePrompter prompter;
  prompter.yesNoAnswers = {false};
  std::atomic<bool> stop{false};
  EXPECT_FALSE(ConfirmRawStop(prompter, stop));
  EXPECT_FALSE(stop.load());
}

}  // namespace
}  // namespace ov
