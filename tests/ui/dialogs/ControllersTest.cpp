// The Qt-free parts the dialogs bind to: the raw form's rules, the save
// commands' rules and the mailboxes between worker and window.

#include <gtest/gtest.h>

#include <fstream>

#include "support/FakePrompter.h"
#include "support/TempDir.h"
#include "ui/dialogs/ProgressMailbox.h"
#include "ui/dialogs/RawFormController.h"
#include "ui/dialogs/SaveCommands.h"

namespace ov {
namespace {

using test::FakePrompter;

struct RawForm : ::testing::Test {
  std::optional<RawScanRequest> Press(std::filesystem::path destination) {
    return form.Press([&] { return destination; }, prompter, stop);
  }
  RawFormController form{1'000'000, 3};
  FakePrompter prompter;
  std::atomic<bool> stop{false};
  test::TempDir out;
};

TEST_F(RawForm, SectorRangeShowsTheLowWordSignedAndScansTheWholeSize) {
  form.SetDisk((std::uint64_t{1} << 32) + 0x80000005u, 0);
  form.form.ticked[3] = true;
  form.ChooseSectorRange();
  EXPECT_EQ(form.form.startField, "0");
  EXPECT_EQ(form.form.endField, "-2147483643");
  const auto request = Press(out.path());
  ASSERT_TRUE(request);
  EXPECT_EQ(request->form.endField, std::to_string((std::uint64_t{1} << 32) + 0x80000005u));
  EXPECT_FALSE(request->exact);
  form.Finished();
  form.form.endField = "4000";  // typed: taken as typed
  EXPECT_EQ(Press(out.path())->form.endField, "4000");
  form.ChooseEntireDisk();
  EXPECT_EQ(form.form.startField, "");
  EXPECT_FALSE(form.fieldsEnabled());
}

TEST_F(RawForm, ChecksShowTheirMessagesInOrderAndAnEndThatIsNoNumberIsRefilled) {
  EXPECT_FALSE(Press(out.path()));
  form.form.ticked[0] = true;
  form.ChooseSectorRange();
  form.form.endField = "x";
  EXPECT_FALSE(Press(out.path()));
  EXPECT_EQ(form.form.endField, "1000000");
  form.form.startField = "-1";
  EXPECT_FALSE(Press(out.path()));
  form.form.startField = "1000000";
  EXPECT_FALSE(Press(out.path()));
  const auto asked = prompter.Asked();
  ASSERT_EQ(asked.size(), 4u);
  EXPECT_EQ(asked[0].text, "Please select file type for recovery");
  EXPECT_EQ(asked[0].icon, MessageIcon::Information);
  EXPECT_EQ(asked[1].text, "Invalid End Sector");
  EXPECT_EQ(asked[2].text, "Invalid Start Sector");
  EXPECT_EQ(asked[3].text, "Start sector should be less than End sector");
  for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(asked[i].icon, MessageIcon::Error);
  EXPECT_FALSE(form.scanning());
  EXPECT_EQ(form.buttonText(), "Start &Recovery");
}

TEST_F(RawForm, NoDestinationEndsSilentlyAndAnUnusableOneSaysSo) {
  form.form.ticked[1] = true;
  EXPECT_FALSE(Press(""));
  EXPECT_TRUE(prompter.Asked().empty());
  { std::ofstream(out / "file") << "x"; }
  EXPECT_FALSE(Press(out / "file" / "sub"));
  EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Unable to Create Directory"});
  EXPECT_FALSE(form.scanning());
}

TEST_F(RawForm, StopAnsweredNoGoesOnAndYesRaisesTheFlagOnce) {
  form.form.ticked[2] = true;
  form.exact = true;
  const auto request = Press(out.path());
  ASSERT_TRUE(request);
  EXPECT_TRUE(request->exact);
  EXPECT_TRUE(form.scanning());
  EXPECT_FALSE(form.controlsEnabled());
  EXPECT_EQ(form.buttonText(), "&Stop Searching");
  EXPECT_EQ(form.status(), "Searching Disk - 3");
  prompter.yesNoAnswers = {false, true};
  EXPECT_FALSE(Press(out.path()));
  EXPECT_FALSE(stop);
  EXPECT_TRUE(form.buttonEnabled());
  EXPECT_FALSE(Press(out.path()));
  EXPECT_TRUE(stop);
  EXPECT_FALSE(form.buttonEnabled());  // until the scan has ended
  EXPECT_FALSE(Press(out.path()));     // not asked again
  EXPECT_EQ(prompter.Asked(test::QuestionKind::YesNo).size(), 2u);
  EXPECT_EQ(prompter.Asked().back().text, "Do you want terminate this process ?");
  form.Finished();
  EXPECT_EQ(form.buttonText(), "&Start Recovery");
  EXPECT_EQ(form.status(), "");
  EXPECT_TRUE(form.controlsEnabled());
}

TEST(SaveCommands, OnlyTheButtonSpeaksBeforeStepTwoAndTheListPopupSavesRows) {
  for (auto command : {SaveCommand::Menu, SaveCommand::TreePopup, SaveCommand::ListPopup, SaveCommand::Found}) {
    const auto d = DecideSaveCommand(command, 1);
    EXPECT_FALSE(d.source);
    EXPECT_FALSE(d.message);
  }
  EXPECT_EQ(DecideSaveCommand(SaveCommand::Button, 0).message, "Go to step 2 and then use this option");
  EXPECT_EQ(DecideSaveCommand(SaveCommand::Button, 2).source, SaveSource::Tree);
  EXPECT_EQ(DecideSaveCommand(SaveCommand::Menu, 3).source, SaveSource::Tree);
  EXPECT_EQ(DecideSaveCommand(SaveCommand::TreePopup, 3).source, SaveSource::Tree);
  EXPECT_EQ(DecideSaveCommand(SaveCommand::ListPopup, 2).source, SaveSource::List);
  EXPECT_EQ(DecideSaveCommand(SaveCommand::Found, 3).source, SaveSource::Found);
  EXPECT_EQ(RecoveryInfoItemsForView(0).loadLog, true);
  EXPECT_EQ(RecoveryInfoItemsForView(1).loadLog, false);
  EXPECT_EQ(RecoveryInfoItemsForView(6).saveLog, true);
  EXPECT_EQ(RecoveryInfoItemsForView(7).saveLog, false);
  EXPECT_FALSE(RecoveryInfoItemsForView(6).loadLog);
  EXPECT_FALSE(RecoveryInfoItemsForView(3).saveLog);
}

TEST(Mailboxes, KeepTheLastReportOfEachFieldAndTheWholeResultList) {
  SaveMailbox save;
  for (int i = 0; i <= 37; ++i) save.SetProgress(i);
  save.SetText(SaveField::FileName, "a");
  save.SetText(SaveField::FileName, "b");
  auto changes = save.Take();
  EXPECT_EQ(changes.percent, 37);
  EXPECT_EQ(changes.texts[static_cast<std::size_t>(SaveField::FileName)], "b");
  EXPECT_FALSE(changes.texts[static_cast<std::size_t>(SaveField::FilePath)]);
  EXPECT_TRUE(save.Take().empty());

  RawScanMailbox raw;
  raw.OnResultRowInserted(0, "Word 0");
  raw.OnResultRowInserted(1, "Zip 0");
  raw.OnResultRowChanged(1, "Zip 1");
  RawDocument measured;
  measured.exact = true;
  measured.outcome = RawDocumentOutcome::Written;
  raw.OnDocument(measured);
  RawDocument failed;
  failed.outcome = RawDocumentOutcome::CreateFailed;
  raw.OnDocument(failed);
  auto s = raw.Take();
  EXPECT_EQ(s.results, (std::vector<std::string>{"Word 0", "Zip 1"}));
  EXPECT_EQ(s.documents, 2u);
  EXPECT_EQ(s.measured, 1u);
  EXPECT_EQ(s.failures.size(), 1u);
  raw.OnResultsCleared();
  s = raw.Take();
  EXPECT_EQ(s.results, std::vector<std::string>{});
  EXPECT_TRUE(s.failures.empty());
  EXPECT_EQ(s.documents, 2u);  // counted for the whole scan
}

}  // namespace
}  // namespace ov
