#include "platform/HelpTexts.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <map>

namespace ov::help {
namespace {

namespace fs = std::filesystem;
using Kind = MenuTipDecision::Kind;
using test::TempDir;

const fs::path kProgramFolder = fs::path(OVNSS_TEST_BINARY_DIR) / "bin";

constexpr std::array<bool, 4> kAllTicked = {true, true, true, true};

TEST(HelpLanguageTest, LanguageAtStartTicksOnlyAnExactName) {
  const LanguageState lower = LanguageAtStart("englisha.dat");
  EXPECT_EQ(lower.file, "englisha.dat");
  EXPECT_EQ(lower.ticked, kAllTicked);

  const LanguageState absent = LanguageAtStart("");
  EXPECT_EQ(absent.file, "EnglishA.dat");
  EXPECT_EQ(absent.ticked, kAllTicked);

  const LanguageState other = LanguageAtStart("Klingon.dat");
  EXPECT_EQ(other.file, "EnglishA.dat");
  EXPECT_EQ(other.ticked, kAllTicked);

  const LanguageState german = LanguageAtStart("GermanA.dat");
  EXPECT_EQ(german.file, "GermanA.dat");
  EXPECT_EQ(german.ticked, (std::array<bool, 4>{false, false, false, true}));

  const auto french = LanguageForCommand(kCmdFrench);
  ASSERT_TRUE(french.has_value());
  EXPECT_EQ(french->file, "FrenchA.dat");
  EXPECT_EQ(french->ticked, (std::array<bool, 4>{false, false, true, false}));
  EXPECT_FALSE(LanguageForCommand(kCmdShowBalloonHelp).has_value());
  EXPECT_FALSE(LanguageForCommand(32864).has_value());
}

TEST(HelpLanguageTest, ChosenLanguageLastsForTheRunOnly) {
  RegistryStore registry;
  ASSERT_TRUE(registry.CreateKey(RegistryRoot::ClassesRoot, kProductKey));
  ASSERT_TRUE(registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, "LngFile", "DutchA.dat"));
  const std::string before = registry.Serialize();
  {
    HelpTexts help({registry, kProgramFolder, {kProgramFolder}, 'N'});
    help.Start();
    EXPECT_EQ(help.language().file, "DutchA.dat");
    EXPECT_TRUE(help.SetLanguage(kCmdFrench));
    EXPECT_EQ(help.language().file, "FrenchA.dat");
    EXPECT_EQ(help.LanguageFilePath(), (kProgramFolder / "FrenchA.dat").string());
    EXPECT_FALSE(help.SetLanguage(40003));
    EXPECT_EQ(help.language().file, "FrenchA.dat");
  }
  EXPECT_EQ(registry.Serialize(), before);
  HelpTexts restarted({registry, kProgramFolder, {kProgramFolder}, 'N'});
  restarted.Start();
  EXPECT_EQ(restarted.language().file, "DutchA.dat");
  EXPECT_EQ(restarted.language().ticked, (std::array<bool, 4>{true, false, false, false}));
}

TEST(MenuTipTest, PositionsFollowTheTable) {
  const ItemRect item{100, 200, 180, 218};
  EXPECT_EQ(MenuTipPosition(32858, item), (Point{290, 260}));
  EXPECT_EQ(MenuTipPosition(32855, item), (Point{310, 222}));
  EXPECT_EQ(MenuTipPosition(40003, item), (Point{410, 215}));
  EXPECT_EQ(MenuTipPosition(32863, item), (Point{480, 270}));
  EXPECT_EQ(MenuTipPosition(32776, item), (Point{190, 220})) << "any other item";
  EXPECT_TRUE(IsSystemMenuItem(0xF030));
  EXPECT_TRUE(IsSystemMenuItem(0xF120));
  EXPECT_FALSE(IsSystemMenuItem(0xF060)) << "close is the sixth item";
  EXPECT_FALSE(IsSystemMenuItem(16));
}

TEST(MenuTipTest, LaterPhraseWinsAndUnmatchedPromptStays) {
  std::vector<int> asked;
  const TextFetch fetch = [&](int n) -> std::optional<std::string> {
    asked.push_back(n);
    if (n == 9) return std::nullopt;
    return "text " + std::to_string(n);
  };
  EXPECT_EQ(TranslatePrompt("Select all files or Save files that have been ticked", fetch), "text 4");
  EXPECT_EQ(asked, (std::vector<int>{3, 4}));
  EXPECT_EQ(TranslatePrompt("Print Directory Information\nPrint", fetch), "text 15");
  EXPECT_EQ(TranslatePrompt("Update Orlindavestrum", fetch), "Update Orlindavestrum") << "text could not be had";
  EXPECT_EQ(TranslatePrompt("Nothing known", fetch), "Nothing known");
  EXPECT_EQ(TranslatePrompt("Online chat support \n(only for Tolvane's Data Recovery Centers)", fetch), "text 16");
}

TEST(MenuTipTest, SelectionsShowHideOrIgnore) {
  RegistryStore registry;
  ASSERT_TRUE(registry.CreateKey(RegistryRoot::ClassesRoot, kProductKey));
  ASSERT_TRUE(registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, "LngFile", "FrenchA.dat"));
  HelpTexts help({registry, kProgramFolder, {kProgramFolder}, 'N'});
  help.Start();
  const ItemRect item{10, 20, 110, 38};

  const MenuTipDecision saveLog = help.MenuSelect(32858, item, "Save the recovery information\n", false, false);
  EXPECT_EQ(saveLog.kind, Kind::Show);
  EXPECT_EQ(saveLog.at, (Point{200, 80}));
  EXPECT_EQ(saveLog.text, "Enregistrer les informations de r\xE9" "cup\xE9ration");

  EXPECT_EQ(help.MenuSelect(32860, item, "", true, false).kind, Kind::Hide) << "opens a submenu";
  EXPECT_EQ(help.MenuSelect(0, {}, "", false, true).kind, Kind::Hide) << "menu closing";
  EXPECT_EQ(help.MenuSelect(0xF020, item, "Minimize", false, false).kind, Kind::Ignore);

  TempDir noLibrary;
  HelpTexts english({registry, kProgramFolder, {noLibrary.path()}, 'N'});
  english.Start();
  EXPECT_EQ(english.MenuSelect(32858, item, "Save the recovery information", false, false).text,
            "Save the recovery information")
      << "without the library the prompt stays English";

  EXPECT_FALSE(help.ToggleBalloonHelp());
  EXPECT_EQ(help.MenuSelect(32858, item, "Save the recovery information", false, false).kind, Kind::Nothing);
  EXPECT_EQ(help.MenuSelect(32860, item, "", true, false).kind, Kind::Nothing);
  EXPECT_EQ(help.MenuSelect(0xF020, item, "", false, false).kind, Kind::Ignore);
  EXPECT_TRUE(help.ToggleBalloonHelp());
}

TEST(ModeBalloonTest, TextsByFamilyAndLibrary) {
  RegistryStore registry;
  ASSERT_TRUE(registry.CreateKey(RegistryRoot::ClassesRoot, kProductKey));
  ASSERT_TRUE(registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, "LngFile", "GermanA.dat"));
  TempDir noLibrary;

  HelpTexts nt({registry, kProgramFolder, {kProgramFolder}, 'N'});
  nt.Start();
  EXPECT_EQ(nt.ModeHover(Mode::Advance),
            (BalloonText{"Advance Mode",
                         "In cases where Quick Mode does not show the required \nfiles to be recovered, then choose "
                         "Advance mode."}))
      << "the NT family uses no library text";
  EXPECT_EQ(nt.ModeHover(Mode::Raw)->content,
            "This mode will be used when above modes fail. It will recover \nDOC, XLS, PPT and ZIP files without "
            "original file names.");

  HelpTexts nineX({registry, kProgramFolder, {kProgramFolder}, 'F'});
  nineX.Start();
  EXPECT_EQ(nineX.ModeHover(Mode::Quick),
            (BalloonText{"Dieser Modus analysiert den Datentr\xE4ger schnell und zeigt die Dateien an.", ""}));

  HelpTexts nineXAlone({registry, kProgramFolder, {noLibrary.path()}, 'F'});
  nineXAlone.Start();
  EXPECT_EQ(nineXAlone.ModeHover(Mode::Raw),
            (BalloonText{"Use this mode when above modes fails to recover files", ""}));

  HelpTexts noFile({registry, noLibrary.path(), {kProgramFolder}, 'F'});
  noFile.Start();
  EXPECT_EQ(noFile.ModeHover(Mode::Advance)->title, "Use this mode when Quick Mode fails to recover files")
      << "a language file that cannot be read falls back to English";

  nt.ToggleBalloonHelp();
  EXPECT_FALSE(nt.ModeHover(Mode::Quick).has_value());
}

}  // namespace
}  // namespace ov::help
