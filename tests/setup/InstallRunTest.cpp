// The copy run: progress and stop rules over the Windows build's 40-entry
// list, the special rows, the disk count of the 9x family, the shortcuts and
// the values written at the end.

#include <gmock/gmock.h>

#include <algorithm>

#include "setup/InstallList.h"
#include "setup/Shortcuts.h"
#include "setup/Uninstall.h"
#include "SetupFixture.h"

namespace ov::setup::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

TEST(SetupInstall, TheFifthOfFortyMissingStopsAtTenAndStillWritesTheValues) {
  Sandbox box;
  fs::remove(box.Source() / "Portio01.vxd");
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  Recorder recorder;
  EXPECT_EQ(setup->RunInstall(recorder), InstallOutcome::Incomplete);

  EXPECT_THAT(recorder.progress, ElementsAre(0, 2, 5, 7, 10));
  EXPECT_THAT(recorder.captions, ElementsAre("Installation Not Completed Successfully"));
  EXPECT_EQ(box.dialogs.Boxes().back(), (Box{"error", "Text 15", "Orlindavestrum"}));
  for (const char* name : {"OVNSS.exe", "Drvlist.exe", "Sectrd16.dll", "Sectrd32.dll"})
    EXPECT_EQ(ReadFile(box.Install() / name), std::string("contents of ") + name);
  EXPECT_FALSE(fs::exists(box.Install() / "Fixcount.exe"));
  EXPECT_TRUE(fs::exists(box.platform.folders.windows / "Drvlist.exe"));
  EXPECT_EQ(box.Value(kFilePathValue), box.Install().string());
  EXPECT_EQ(box.Value(kLngFileValue), "EnglishA.dat");
  EXPECT_EQ(setup->State(), kStateFinished);
  EXPECT_FALSE(fs::exists(box.Menu() / kProgramShortcut));  // no shortcuts for an incomplete run
}

TEST(SetupInstall, ACompleteRunCopiesEveryRowToItsPlaceAndMakesTheShortcuts) {
  Sandbox box;
  auto setup = box.Ready();
  setup->ChooseLanguage("German");
  ASSERT_TRUE(setup->AcceptFolder());
  Recorder recorder;
  EXPECT_EQ(setup->RunInstall(recorder), InstallOutcome::Completed);

  // 39 rows move the bar (the uninstaller's row 27 does not), then the end.
  EXPECT_EQ(recorder.progress.size(), 40u);
  EXPECT_THAT(recorder.progress, Not(Contains(67)));
  EXPECT_EQ(recorder.progress.end()[-2], 97);
  EXPECT_EQ(recorder.progress.back(), 100);
  EXPECT_THAT(recorder.captions, ElementsAre("Text 10"));
  EXPECT_FALSE(fs::exists(box.Install() / "UninstallOV.exe"));
  EXPECT_TRUE(fs::exists(box.platform.folders.windows / "UninstallOV.exe"));
  EXPECT_TRUE(fs::exists(box.platform.folders.system / "revertwmi.bat"));
  EXPECT_TRUE(fs::exists(box.Install() / "revertwmi.bat"));
  EXPECT_EQ(ShortcutTarget(box.Menu() / kUninstallShortcut), box.platform.folders.windows / "UninstallOV.exe");
  // The uninstaller asks in a window: no terminal, and a name that says what it removes.
  EXPECT_NE(ReadFile(box.Menu() / kUninstallShortcut).find("Terminal=false\n"), std::string::npos);
  EXPECT_NE(ReadFile(box.Menu() / kUninstallShortcut).find("Name=Uninstall Orlindavestrum for NSS\n"),
            std::string::npos);
  EXPECT_EQ(ShortcutTarget(box.dir / "Desktop" / kProgramShortcut), box.Install() / "ovnss");
  EXPECT_EQ(ShortcutTarget(box.Menu() / kProgramShortcut), box.Install() / "ovnss");
  EXPECT_THAT(box.dialogs.Boxes(), ElementsAre(Box{"question", "Text 16", "Orlindavestrum"},
                                               Box{"information", std::string(kCompleted), "Orlindavestrum"}));
  EXPECT_EQ(box.Value(kLngFileValue), "GermanA.dat");
}

TEST(SetupInstall, AMissingUninstallerNeitherStopsTheRunNorMakesItsShortcut) {
  Sandbox box;
  fs::remove(box.Source() / "UninstallOV.exe");
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  Recorder recorder;
  EXPECT_EQ(setup->RunInstall(recorder), InstallOutcome::Completed);
  EXPECT_EQ(recorder.progress.back(), 100);
  EXPECT_FALSE(fs::exists(box.Menu() / kUninstallShortcut));
  EXPECT_TRUE(fs::exists(box.Menu() / kProgramShortcut));
}

TEST(SetupInstall, NoToTheShortcutQuestionKeepsOnlyTheMenuEntry) {
  Sandbox box;
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  box.dialogs.Answer(false);
  Recorder recorder;
  EXPECT_EQ(setup->RunInstall(recorder), InstallOutcome::Completed);
  EXPECT_FALSE(fs::exists(box.dir / "Desktop"));  // not even the folder is made for a refused shortcut
  EXPECT_EQ(ShortcutTarget(box.Menu() / kProgramShortcut), box.Install() / "ovnss");
}

TEST(SetupInstall, TheProgramsAreLinkedIntoTheBinFolderButNeverOverSomeonesFile) {
  Sandbox box(PlatformInstallList());
  box.platform.binFolder = box.dir / "bin";
  WriteFile(box.dir / "bin" / "ovnss-cli", "someone's own program");
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  Recorder recorder;
  ASSERT_EQ(setup->RunInstall(recorder), InstallOutcome::Completed);
  EXPECT_EQ(fs::read_symlink(box.dir / "bin" / "ovnss"), box.Install() / "ovnss");
  EXPECT_EQ(ReadFile(box.dir / "bin" / "ovnss-cli"), "someone's own program");
}

TEST(SetupInstall, ARowInAFolderGoesIntoThatFolderOfTheInstallation) {
  Sandbox box(InstallList{"ovnss", "OrlindavestrumHelp.chm", "OrlindavestrumHelp/index.html"});
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  Recorder recorder;
  ASSERT_EQ(setup->RunInstall(recorder), InstallOutcome::Completed);
  EXPECT_EQ(ReadFile(box.Install() / "OrlindavestrumHelp" / "index.html"),
            "contents of OrlindavestrumHelp/index.html");
  const auto result = Uninstall(box.registry, box.platform.folders, setup->List());
  EXPECT_FALSE(fs::exists(box.Install()));
}

TEST(SetupInstall, EveryWayOfInstallingCarriesTheHelp) {
  const InstallList list = PlatformInstallList();
  EXPECT_NE(std::find(list.begin(), list.end(), "OrlindavestrumHelp.chm"), list.end());
  EXPECT_NE(std::find(list.begin(), list.end(), "OrlindavestrumHelp/index.html"), list.end());
}

TEST(SetupInstall, ACopyThatFailsStopsTheRunInsteadOfPassingForDone) {
  Sandbox box;
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  fs::create_directories(box.Install() / "Sectrd16.dll");  // a folder where the file must go
  Recorder recorder;
  EXPECT_EQ(setup->RunInstall(recorder), InstallOutcome::Incomplete);
  EXPECT_EQ(recorder.progress.back(), 5);  // 2 of 40 handled
  EXPECT_THAT(recorder.captions, ElementsAre("Installation Not Completed Successfully"));
  for (const auto& entry : fs::directory_iterator(box.Install()))
    EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << entry.path();
}

TEST(SetupInstall, TheRunCleansTheStagingFolder) {
  Sandbox box;
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  for (const char* name : {"ovnss-setup", "TextLibNSS.so", "WyndbarrowEnglish.dat", "OVNSS.exe"})
    WriteFile(box.Staging() / name, "staged");
  Recorder recorder;
  setup->RunInstall(recorder);
  EXPECT_FALSE(fs::exists(box.Staging()));
}

TEST(SetupDiskCount, TheNtFamilyCountsNoDisks) {
  Sandbox box;
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  Recorder recorder;
  EXPECT_EQ(setup->RunInstall(recorder), InstallOutcome::Completed);
  EXPECT_TRUE(box.runner.Calls().empty());
}

// The 9x family: the stand-in disk counter leaves its byte in TOLINFO.TXT.
struct CountCase {
  std::string byte;
  InstallOutcome outcome;
  bool tooMany;
};

class SetupDiskCountByte : public ::testing::TestWithParam<CountCase> {};

TEST_P(SetupDiskCountByte, DecidesWhetherSetupGoesOn) {
  Sandbox box;
  box.platform.osFamily = 'F';
  WriteFile(box.Source() / "ovnss-fixcount", "tool");
  WriteFile(box.platform.folders.driveC / "TOLINFO.TXT", "left over");
  const std::string byte = GetParam().byte;
  const fs::path info = box.platform.folders.driveC / "TOLINFO.TXT";
  box.runner.OnRun("ovnss-fixcount", [&](const std::vector<std::string>&) {
    EXPECT_FALSE(fs::exists(info));  // the old answer is gone before the tool runs
    WriteFile(info, byte);
    return 0;
  });
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  Recorder recorder;
  EXPECT_EQ(setup->RunInstall(recorder), GetParam().outcome);
  EXPECT_EQ(box.runner.Calls(ov::test::ProcessCallKind::RunAndWait).size(), 1u);
  const auto boxes = box.dialogs.Boxes();
  const bool toldTooMany =
      !boxes.empty() && boxes.front() == Box{"error", std::string(kMsgTooManyDisks), "Setup"};
  EXPECT_EQ(toldTooMany, GetParam().tooMany);
  if (GetParam().outcome == InstallOutcome::Ended) {
    EXPECT_TRUE(recorder.progress.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Bytes, SetupDiskCountByte,
                         ::testing::Values(CountCase{"\x01", InstallOutcome::Completed, false},
                                           CountCase{"\x02", InstallOutcome::Ended, true},
                                           CountCase{"1", InstallOutcome::Ended, true},
                                           CountCase{std::string(1, '\0'), InstallOutcome::Ended, false},
                                           CountCase{"\xff", InstallOutcome::Completed, false},
                                           CountCase{"", InstallOutcome::Completed, false}));

TEST(SetupDiskCount, AMissingCounterIsReportedAndEndsSetupWithoutAnotherBox) {
  Sandbox box;
  box.platform.osFamily = 'F';
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  Recorder recorder;
  EXPECT_EQ(setup->RunInstall(recorder), InstallOutcome::Ended);
  EXPECT_THAT(box.dialogs.Boxes(),
              ElementsAre(Box{"error", std::string(kMsgNoDiskCounter), "error: physical routine"}));
  EXPECT_TRUE(box.runner.Calls().empty());
  EXPECT_EQ(box.Value(kFilePathValue), (box.Staging() / "WyndbarrowEnglish.dat").string());
}

}  // namespace
}  // namespace ov::setup::test
