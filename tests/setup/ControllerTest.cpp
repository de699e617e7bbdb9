// The installer's rules before the copy run: registry preparation, the text
// base, the message library, the folder rules and the quit question.

#include <gmock/gmock.h>

#include "setup/Shortcuts.h"
#include "setup/TextLibrary.h"
#include "SetupFixture.h"

namespace ov::setup::test {
namespace {

using ::testing::ElementsAre;

TEST(SetupStart, RegistryPointsAtTheStagedTextsAndTheOldPathIsKept) {
  Sandbox box;
  box.registry.CreateKey(RegistryRoot::ClassesRoot, kProductKey);
  box.registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, kFilePathValue, "/old/place");
  SetupController setup(box.platform, box.dialogs, WindowsInstallList());
  setup.PrepareRegistry();
  EXPECT_EQ(setup.SavedFilePath(), "/old/place");
  EXPECT_EQ(box.Value(kFilePathValue), (box.Staging() / "WyndbarrowEnglish.dat").string());
  EXPECT_EQ(box.Value(kLanguageValue), "English");
}

TEST(SetupFolderStep, TextBaseIsEightForFrenchAndShiftsEveryText) {
  Sandbox box;
  auto setup = box.Ready();
  EXPECT_EQ(setup->TextBase(), 6);
  EXPECT_THAT(box.askedTexts, ElementsAre(0, 1, 2, 3, 4, 5));
  const auto texts = setup->LoadProgressTexts();
  ASSERT_TRUE(texts);
  EXPECT_EQ(texts->group, "Text 8");
  EXPECT_EQ(texts->label, "Text 9");
  EXPECT_EQ(texts->hidden, "Text 92");

  Sandbox french;
  SetupController other(french.platform, french.dialogs, WindowsInstallList());
  other.PrepareRegistry();
  french.registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, kLanguageValue, "French");
  ASSERT_TRUE(other.OpenFolderStep());
  EXPECT_EQ(other.TextBase(), 8);
  EXPECT_THAT(french.askedTexts, ElementsAre(0, 1, 2, 3, 4, 5, 6, 7));
  EXPECT_EQ(other.LoadProgressTexts()->hidden, "Text 94");
  EXPECT_TRUE(french.dialogs.Boxes().empty());
}

TEST(SetupFolderStep, EachOpeningFailureShowsItsBoxAndEndsSetup) {
  struct Case {
    LibraryStatus status;
    int failingText;
    bool languageKey;
    std::string_view message;
  };
  for (const Case& c : {Case{LibraryStatus::Loaded, -1, false, kMsgNoLanguageKey},
                        Case{LibraryStatus::NotFound, -1, true, kMsgLibraryMissing},
                        Case{LibraryStatus::NoExport, -1, true, kMsgNoExport},
                        Case{LibraryStatus::Loaded, 3, true, kMsgTextFailed}}) {
    Sandbox box;
    box.libraryStatus = c.status;
    box.failingText = c.failingText;
    SetupController setup(box.platform, box.dialogs, WindowsInstallList());
    if (c.languageKey) setup.PrepareRegistry();
    EXPECT_FALSE(setup.OpenFolderStep()) << c.message;
    EXPECT_THAT(box.dialogs.Boxes(), ElementsAre(Box{"error", std::string(c.message), "Orlindavestrum"}));
    EXPECT_EQ(setup.InstallFolder(), box.Install().string());  // the default was shown first
  }
}

TEST(SetupTextLibrary, LoadsByNameAndTellsAMissingExportFromAMissingLibrary) {
  auto loaded = LoadTextLibrary({OVNSS_SETUP_STANDIN_DIR});
  ASSERT_EQ(loaded.status, LibraryStatus::Loaded);
  EXPECT_EQ(loaded.texts->Text(92), "Text 92");
  EXPECT_EQ(loaded.texts->Text(100), std::nullopt);
  EXPECT_EQ(LoadTextLibrary({OVNSS_SETUP_NOEXPORT_DIR}).status, LibraryStatus::NoExport);
  ov::test::TempDir empty;
  EXPECT_EQ(LoadTextLibrary({empty.path()}).status, LibraryStatus::NotFound);
}

TEST(SetupBrowse, ChosenFolderOrRootGetsTheProductFolderWithOneSeparator) {
  Sandbox box;
  auto setup = box.Ready();
  setup->ApplyBrowsedFolder("/data/Apps");
  EXPECT_EQ(setup->InstallFolder(), "/data/Apps/Orlindavestrum for NSS");
  setup->ApplyBrowsedFolder("/data/Apps/");
  EXPECT_EQ(setup->InstallFolder(), "/data/Apps/Orlindavestrum for NSS");
  setup->ApplyBrowsedFolder("/");
  EXPECT_EQ(setup->InstallFolder(), "/Orlindavestrum for NSS");
  setup->ApplyBrowsedFolder("");
  EXPECT_EQ(setup->InstallFolder(), "/Orlindavestrum for NSS");
  EXPECT_TRUE(box.dialogs.Boxes().empty());
}

TEST(SetupBrowse, FloppyDrivesAreRefusedAndTheFolderStays) {
  Sandbox box;
  auto setup = box.Ready();
  for (const char* floppy : {"A:\\", "a:", "B:\\Apps", "b"}) setup->ApplyBrowsedFolder(floppy);
  EXPECT_EQ(setup->InstallFolder(), box.Install().string());
  const Box refused{"error", std::string(kMsgFloppy), "Orlindavestrum"};
  EXPECT_THAT(box.dialogs.Boxes(), ElementsAre(refused, refused, refused, refused));
}

TEST(SetupNext, AnExistingInstallationIsAskedAboutAndNoKeepsTheStep) {
  Sandbox box;
  auto setup = box.Ready();
  WriteFile(box.Install() / "ovnss", "installed before");
  box.dialogs.Answer(false);
  EXPECT_FALSE(setup->AcceptFolder());
  EXPECT_EQ(setup->State(), kStateWaiting);
  EXPECT_TRUE(setup->AcceptFolder());  // Yes the second time
  EXPECT_EQ(setup->State(), kStateProceed);
  const Box asked{"question", std::string(kMsgAlreadyInstalled), "Orlindavestrum"};
  EXPECT_THAT(box.dialogs.Boxes(), ElementsAre(asked, asked));
}

TEST(SetupNext, AFolderThatCannotBeMadeGivesWayToTheDefault) {
  Sandbox box;
  auto setup = box.Ready();
  setup->ApplyBrowsedFolder((box.dir / "no" / "such").string());
  EXPECT_FALSE(setup->AcceptFolder());
  EXPECT_EQ(setup->InstallFolder(), box.Install().string());
  EXPECT_THAT(box.dialogs.Boxes(), ElementsAre(Box{"error", std::string(kMsgCannotCreate), "Orlindavestrum"}));
  EXPECT_TRUE(setup->AcceptFolder());  // the default is made one level below the programs folder
  EXPECT_TRUE(fs::is_directory(box.Install()));
}

TEST(SetupQuit, YesPutsTheOldPathBackAndCleansOnlyTheStagedFiles) {
  Sandbox box;
  box.registry.CreateKey(RegistryRoot::ClassesRoot, kProductKey);
  box.registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, kFilePathValue, "/old/place");
  auto setup = box.Ready();
  for (const char* name : {"ovnss-setup", "TextLibNSS.so", "WyndbarrowEnglish.dat", "Step1.bmp"})
    WriteFile(box.Staging() / name, "staged");
  box.dialogs.Answer(false);
  EXPECT_FALSE(setup->ConfirmQuit());
  EXPECT_TRUE(fs::exists(box.Staging() / "ovnss-setup"));
  EXPECT_TRUE(setup->ConfirmQuit());
  EXPECT_EQ(box.Value(kFilePathValue), "/old/place");
  EXPECT_FALSE(fs::exists(box.Staging()));
  EXPECT_EQ(box.dialogs.Boxes().front(),
            (Box{"question", "Do you want to quit from Setup?" + std::string(25, ' '), "Setup"}));

  WriteFile(box.Staging() / "ovnss-setup", "staged");
  WriteFile(box.Staging() / "notes.txt", "not ours");
  setup->CleanStaging();
  EXPECT_FALSE(fs::exists(box.Staging() / "ovnss-setup"));
  EXPECT_TRUE(fs::exists(box.Staging() / "notes.txt"));
}

TEST(SetupQuit, EndingEarlyInAnyWayLeavesAnEarlierInstallationWorking) {
  Sandbox box;
  box.registry.CreateKey(RegistryRoot::ClassesRoot, kProductKey);
  box.registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, kFilePathValue, "/opt/earlier");
  box.libraryStatus = LibraryStatus::NotFound;
  SetupController setup(box.platform, box.dialogs, WindowsInstallList());
  setup.PrepareRegistry();
  WriteFile(box.Staging() / "ovnss-setup", "staged");
  EXPECT_FALSE(setup.OpenFolderStep());
  setup.Abandon();
  EXPECT_EQ(box.Value(kFilePathValue), "/opt/earlier");
  EXPECT_FALSE(fs::exists(box.Staging()));

  // Without an earlier value, none is left behind (not even an empty one).
  Sandbox fresh;
  SetupController first(fresh.platform, fresh.dialogs, WindowsInstallList());
  first.PrepareRegistry();
  first.Abandon();
  EXPECT_EQ(fresh.registry.QueryValue(RegistryRoot::ClassesRoot, kProductKey, kFilePathValue), std::nullopt);
}

TEST(SetupShortcuts, DesktopEntriesQuoteTheTargetAndReadBack) {
  ov::test::TempDir dir;
  const Shortcut shortcut{"/opt/Orlindavestrum for NSS/$x\\\"ovnss\"%", "/opt/Orlindavestrum for NSS/", "Orlindavestrum NSS", {}};
  const std::string text = DesktopEntryText(shortcut);
  EXPECT_NE(text.find("Exec=\"/opt/Orlindavestrum for NSS/\\\\$x\\\\\\\\\\\\\"ovnss\\\\\"%%\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Name=Orlindavestrum NSS\n"), std::string::npos);
  ASSERT_TRUE(WriteShortcut(dir / "a.desktop", shortcut));
  EXPECT_EQ(ShortcutTarget(dir / "a.desktop"), shortcut.target);
  EXPECT_NE(fs::status(dir / "a.desktop").permissions() & fs::perms::owner_exec, fs::perms::none);
  WriteFile(dir / "b.desktop", "not an entry\n");
  EXPECT_EQ(ShortcutTarget(dir / "b.desktop"), std::nullopt);
}

}  // namespace
}  // namespace ov::setup::test
