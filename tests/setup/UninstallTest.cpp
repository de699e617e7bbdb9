// The uninstaller takes away what setup installed and nothing else.

#include <gmock/gmock.h>

#include "setup/InstallList.h"
#include "setup/Places.h"
#include "setup/Shortcuts.h"
#include "setup/Uninstall.h"
#include "SetupFixture.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace ov::setup::test {
namespace {

using ::testing::ElementsAre;

TEST(SetupUninstall, RemovesTheInstallationItsEntriesAndValuesButNotTheUsersFiles) {
  const InstallList list = PlatformInstallList();
  ASSERT_EQ(KindOf("ovnss-uninstall"), RowKind::Uninstaller);
  Sandbox box(list);
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  Recorder recorder;
  ASSERT_EQ(setup->RunInstall(recorder), InstallOutcome::Completed);
  ASSERT_TRUE(fs::exists(box.platform.folders.windows / "ovnss-uninstall"));
  ASSERT_TRUE(fs::exists(box.platform.folders.windows / "ovnss-drvlist"));
  ASSERT_TRUE(fs::exists(box.platform.folders.system / "ovnss-revertwmi"));

  // What is not setup's: the program's log, a foreign menu entry, another value.
  WriteFile(box.Install() / "ActivityLog.txt", "the runs");
  WriteShortcut(box.Menu() / "Other.desktop", Shortcut{"/usr/bin/other", {}, "Other", {}});
  box.registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, "Custom", "kept");
  WriteFile(box.dir / "Desktop" / "notes.txt", "mine");

  UninstallHome keepingTheLog;
  keepingTheLog.keepLog = true;
  const auto result = Uninstall(box.registry, box.platform.folders, list, keepingTheLog);
  EXPECT_TRUE(result.installed);
  for (const auto& name : list) EXPECT_FALSE(fs::exists(box.Install() / name)) << name;
  EXPECT_FALSE(fs::exists(box.platform.folders.windows / "ovnss-uninstall"));
  EXPECT_FALSE(fs::exists(box.platform.folders.windows / "ovnss-drvlist"));
  EXPECT_FALSE(fs::exists(box.platform.folders.system));
  EXPECT_FALSE(fs::exists(box.dir / "Desktop" / kProgramShortcut));
  EXPECT_FALSE(fs::exists(box.Menu() / kProgramShortcut));
  EXPECT_FALSE(fs::exists(box.Menu() / kUninstallShortcut));
  EXPECT_TRUE(fs::exists(box.Menu() / "Other.desktop"));
  EXPECT_TRUE(fs::exists(box.dir / "Desktop" / "notes.txt"));
  EXPECT_THAT(result.kept, ElementsAre(box.Install() / "ActivityLog.txt"));
  EXPECT_EQ(box.Value(kFilePathValue), "");
  EXPECT_EQ(box.Value(kLngFileValue), "");
  EXPECT_THAT(box.registry.ValueNames(RegistryRoot::ClassesRoot, kProductKey), ElementsAre("Custom"));

  // Once the log is gone too, a second run leaves nothing of the product.
  fs::remove(box.Install() / "ActivityLog.txt");
  fs::remove(box.Menu() / "Other.desktop");
  box.registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, kFilePathValue, box.Install().string());
  box.registry.DeleteValue(RegistryRoot::ClassesRoot, kProductKey, "Custom");
  Uninstall(box.registry, box.platform.folders, list);
  EXPECT_FALSE(fs::exists(box.Install()));
  EXPECT_FALSE(fs::exists(box.dir / "opt"));  // the programs folder setup made for it
  EXPECT_FALSE(fs::exists(box.Menu().parent_path()));  // "Programs", which setup made
  EXPECT_FALSE(box.registry.KeyExists(RegistryRoot::ClassesRoot, kProductKey));
}

TEST(SetupUninstall, WithoutAnInstallationItTouchesNoFiles) {
  Sandbox box(PlatformInstallList());
  WriteFile(box.dir / "opt" / "ovnss-cli", "someone else's");
  const auto result = Uninstall(box.registry, box.platform.folders, PlatformInstallList());
  EXPECT_FALSE(result.installed);
  EXPECT_TRUE(result.removed.empty());
  EXPECT_TRUE(fs::exists(box.dir / "opt" / "ovnss-cli"));
}

TEST(SetupUninstall, WhatTheProgramMadeInTheHomeGoesUnlessTheLogIsKept) {
  const InstallList list = PlatformInstallList();
  Sandbox box(list);
  box.platform.binFolder = box.dir / "bin";
  auto setup = box.Ready();
  ASSERT_TRUE(setup->AcceptFolder());
  Recorder recorder;
  ASSERT_EQ(setup->RunInstall(recorder), InstallOutcome::Completed);
  ASSERT_TRUE(fs::is_symlink(box.dir / "bin" / "ovnss-cli"));
  WriteFile(box.dir / "state" / "ovnss" / "ActivityLog.txt", "the runs");
  WriteFile(box.platform.folders.driveC / "TreeStructView.txt", "an old run's list");
  WriteFile(box.dir / "bin" / "other", "someone else's");

  UninstallHome home;
  home.binFolder = box.dir / "bin";
  home.logFolder = box.dir / "state" / "ovnss";
  home.keepLog = true;
  Uninstall(box.registry, box.platform.folders, list, home);
  EXPECT_FALSE(fs::exists(fs::symlink_status(box.dir / "bin" / "ovnss-cli")));
  EXPECT_TRUE(fs::exists(box.dir / "bin" / "other"));
  EXPECT_TRUE(fs::exists(box.dir / "state" / "ovnss" / "ActivityLog.txt"));  // kept, as asked
  EXPECT_FALSE(fs::exists(box.platform.folders.driveC));

  home.keepLog = false;
  box.registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, kFilePathValue, box.Install().string());
  fs::create_directories(box.Install());
  Uninstall(box.registry, box.platform.folders, list, home);
  EXPECT_FALSE(fs::exists(box.dir / "state" / "ovnss"));
}

TEST(SetupUninstall, TheUsersStoreGoesOnceItHoldsNothing) {
  ov::test::TempDir dir;
  const fs::path file = dir / "config" / "ovnss" / "registry.txt";
  {
    FileRegistry registry(file);
    ASSERT_TRUE(registry.CreateKey(RegistryRoot::ClassesRoot, kProductKey));
    ASSERT_TRUE(registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, kFilePathValue, (dir / "gone").string()));
  }
  FileRegistry registry(file);
  UninstallHome home;
  home.registryFile = file;
  KnownFolders folders;
  folders.driveC = dir / "c";
  folders.windows = dir / "c" / "Windows";
  folders.system = dir / "c" / "Windows" / "System32";
  folders.desktop = dir / "Desktop";
  folders.startMenu = dir / "applications";
  Uninstall(registry, folders, InstallList{}, home);
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(fs::exists(dir / "config" / "ovnss"));
}

TEST(SetupPlaces, RootInstallsForTheWholeMachine) {
  ov::test::ScopedEnv env;
  for (const char* name : {"OVNSS_REGISTRY", "OVNSS_START_MENU_DIR", "OVNSS_WINDOWS_DIR", "OVNSS_SYSTEM_DIR",
                           "OVNSS_BIN_DIR", "OVNSS_MACHINE_REGISTRY"})
    env.Unset(name);
  env.Set("HOME", "/home/tester").Unset("XDG_CONFIG_HOME");
  const auto user = PlacesFor(false);
  EXPECT_EQ(user.registryFile, fs::path("/home/tester/.config/ovnss/registry.txt"));
  EXPECT_EQ(user.binFolder, fs::path("/home/tester/.local/bin"));
  const auto machine = PlacesFor(true);
  EXPECT_EQ(machine.registryFile, fs::path("/etc/ovnss/registry.txt"));
  EXPECT_EQ(machine.folders.startMenu, fs::path("/usr/local/share/applications"));
  EXPECT_EQ(machine.folders.windows, fs::path("/usr/local/lib/ovnss-setup"));
  EXPECT_EQ(machine.binFolder, fs::path("/usr/local/bin"));
  env.Set("OVNSS_REGISTRY", "/tmp/r.txt").Set("OVNSS_BIN_DIR", "");
  EXPECT_EQ(PlacesFor(true).registryFile, fs::path("/tmp/r.txt"));
  EXPECT_EQ(PlacesFor(true).binFolder, fs::path());
}

}  // namespace
}  // namespace ov::setup::test
