// The uninstaller takes away what setup installed and nothing else.

#include <gmock/gmock.h>

#include "setup/InstallList.h"
#include "setup/Shortcuts.h"
#include "setup/Uninstall.h"
#include "SetupFixture.h"

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

  const auto result = Uninstall(box.registry, box.platform.folders, list);
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

}  // namespace
}  // namespace ov::setup::test
