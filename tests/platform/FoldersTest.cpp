#include "platform/Folders.h"

#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace ov {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;

constexpr const char* kOverrides[] = {"OVNSS_DRIVE_C",     "OVNSS_WINDOWS_DIR", "OVNSS_SYSTEM_DIR",
                                      "OVNSS_TEMP_DIR",    "OVNSS_DESKTOP_DIR", "OVNSS_START_MENU_DIR",
                                      "XDG_DATA_HOME",     "XDG_DESKTOP_DIR",   "TMPDIR",
                                      "OVNSS_PROGRAM_FILES_DIR"};

// Clears every variable the folders depend on and sets HOME.
void Isolate(ScopedEnv& env) {
  for (const char* name : kOverrides) env.Unset(name);
  env.Set("HOME", "/home/tester");
}

TEST(KnownFolders, DefaultsFollowHomeAndTheBaseDirectories) {
  ScopedEnv env;
  Isolate(env);
  const auto folders = KnownFolders::FromEnvironment();
  EXPECT_EQ(folders.driveC, fs::path("/home/tester/.local/share/ovnss/drive_c"));
  EXPECT_EQ(folders.windows, fs::path("/home/tester/.local/share/ovnss/drive_c/Windows"));
  EXPECT_EQ(folders.system, fs::path("/home/tester/.local/share/ovnss/drive_c/Windows/System32"));
  EXPECT_EQ(folders.temp, fs::path("/tmp"));
  EXPECT_EQ(folders.desktop, fs::path("/home/tester/Desktop"));
  EXPECT_EQ(folders.startMenu, fs::path("/home/tester/.local/share/applications"));
  EXPECT_EQ(folders.programFiles, ::geteuid() == 0 ? fs::path("/opt") : fs::path("/home/tester/.local/opt"));

  env.Set("XDG_DATA_HOME", "/data").Set("TMPDIR", "/scratch").Set("XDG_DESKTOP_DIR", "/home/tester/Bureau");
  const auto xdg = KnownFolders::FromEnvironment();
  EXPECT_EQ(xdg.driveC, fs::path("/data/ovnss/drive_c"));
  EXPECT_EQ(xdg.system, fs::path("/data/ovnss/drive_c/Windows/System32"));
  EXPECT_EQ(xdg.temp, fs::path("/scratch"));
  EXPECT_EQ(xdg.desktop, fs::path("/home/tester/Bureau"));
  EXPECT_EQ(xdg.startMenu, fs::path("/data/applications"));

  env.Set("XDG_DATA_HOME", "not/absolute");  // ignored, as the base directory rules say
  EXPECT_EQ(KnownFolders::FromEnvironment().driveC, fs::path("/home/tester/.local/share/ovnss/drive_c"));
}

TEST(KnownFolders, OverridesWinAndChainToTheFoldersBelow) {
  ScopedEnv env;
  Isolate(env);
  env.Set("TMPDIR", "/scratch").Set("XDG_DESKTOP_DIR", "/xdg-desktop");
  env.Set("OVNSS_DRIVE_C", "/c");
  auto folders = KnownFolders::FromEnvironment();
  EXPECT_EQ(folders.driveC, fs::path("/c"));
  EXPECT_EQ(folders.windows, fs::path("/c/Windows"));
  EXPECT_EQ(folders.system, fs::path("/c/Windows/System32"));

  env.Set("OVNSS_WINDOWS_DIR", "/win").Set("OVNSS_TEMP_DIR", "/t").Set("OVNSS_DESKTOP_DIR", "/d");
  env.Set("OVNSS_START_MENU_DIR", "/sm").Set("OVNSS_PROGRAM_FILES_DIR", "/pf");
  folders = KnownFolders::FromEnvironment();
  EXPECT_EQ(folders.windows, fs::path("/win"));
  EXPECT_EQ(folders.system, fs::path("/win/System32"));
  EXPECT_EQ(folders.temp, fs::path("/t"));
  EXPECT_EQ(folders.desktop, fs::path("/d"));
  EXPECT_EQ(folders.startMenu, fs::path("/sm"));
  EXPECT_EQ(folders.programFiles, fs::path("/pf"));

  env.Set("OVNSS_SYSTEM_DIR", "/sys32").Set("OVNSS_TEMP_DIR", "");  // empty counts as unset
  folders = KnownFolders::FromEnvironment();
  EXPECT_EQ(folders.system, fs::path("/sys32"));
  EXPECT_EQ(folders.temp, fs::path("/scratch"));
}

TEST(KnownFolders, ShellFoldersByWindowsNameIgnoringCase) {
  KnownFolders folders;
  folders.desktop = "/d";
  folders.startMenu = "/sm";
  EXPECT_EQ(folders.ShellFolder("Desktop"), fs::path("/d"));
  EXPECT_EQ(folders.ShellFolder("DESKTOP"), fs::path("/d"));
  EXPECT_EQ(folders.ShellFolder("start menu"), fs::path("/sm"));
  EXPECT_EQ(folders.ShellFolder("Programs"), fs::path("/sm/Programs"));
  EXPECT_EQ(folders.ShellFolder("Startup"), std::nullopt);
  EXPECT_EQ(folders.ShellFolder("StartMenu"), std::nullopt);
  EXPECT_EQ(folders.ShellFolder(""), std::nullopt);
}

TEST(KnownFolders, MapsWindowsPathsToLocalOnes) {
  KnownFolders folders;
  folders.driveC = "/root/drive_c";
  EXPECT_EQ(folders.Map("C:\\DP"), fs::path("/root/drive_c/DP"));
  EXPECT_EQ(folders.Map("c:\\dp"), fs::path("/root/drive_c/dp"));
  EXPECT_EQ(folders.Map("C:\\TreeStructView.txt"), fs::path("/root/drive_c/TreeStructView.txt"));
  EXPECT_EQ(folders.Map("C:\\Program Files\\OV\\ActivityLog.txt"),
            fs::path("/root/drive_c/Program Files/OV/ActivityLog.txt"));
  EXPECT_EQ(folders.Map("C:\\\\drvn1"), fs::path("/root/drive_c/drvn1"));
  EXPECT_EQ(folders.Map("C:drvn1"), fs::path("/root/drive_c/drvn1"));
  EXPECT_EQ(folders.Map("C:\\"), fs::path("/root/drive_c"));
  EXPECT_EQ(folders.Map("C:"), fs::path("/root/drive_c"));
  EXPECT_EQ(folders.Map("D:\\Saved\\a.doc"), fs::path("/root/drive_d/Saved/a.doc"));
  EXPECT_EQ(folders.Map("z:\\"), fs::path("/root/drive_z"));

  folders.driveC = "/root/drive_c/";
  EXPECT_EQ(folders.Map("E:\\x"), fs::path("/root/drive_e/x"));
  EXPECT_EQ(folders.Map("C:\\x"), fs::path("/root/drive_c/x"));

  // Without a drive letter only the separators change.
  EXPECT_EQ(folders.Map("Saved\\a.doc"), fs::path("Saved/a.doc"));
  EXPECT_EQ(folders.Map("\\MendWMI.exe"), fs::path("/MendWMI.exe"));
  EXPECT_EQ(folders.Map("/already/local"), fs::path("/already/local"));
  EXPECT_EQ(folders.Map("1:\\x"), fs::path("1:/x"));
  EXPECT_EQ(folders.Map(""), fs::path(""));
}

TEST(KnownFolders, ARunsOwnFilesAtTheRootOfDriveCMapIntoItsRunFolder) {
  KnownFolders folders;
  folders.driveC = "/root/drive_c";
  folders.runDriveC = "/tmp/ovnss-run-1/drive_c";
  EXPECT_EQ(folders.Map("C:\\DP"), fs::path("/tmp/ovnss-run-1/drive_c/DP"));
  EXPECT_EQ(folders.Map("c:\\dp"), fs::path("/tmp/ovnss-run-1/drive_c/dp"));
  EXPECT_EQ(folders.Map("C:drvn1"), fs::path("/tmp/ovnss-run-1/drive_c/drvn1"));
  EXPECT_EQ(folders.Map("C:\\TreeStructView.txt"), fs::path("/tmp/ovnss-run-1/drive_c/TreeStructView.txt"));
  EXPECT_EQ(folders.Map("C:\\TreeStructPrint.dat"), fs::path("/tmp/ovnss-run-1/drive_c/TreeStructPrint.dat"));
  // Everything else stays where every run finds it.
  EXPECT_EQ(folders.Map("C:\\Program Files\\OV\\DP"), fs::path("/root/drive_c/Program Files/OV/DP"));
  EXPECT_EQ(folders.Map("C:\\DP.old"), fs::path("/root/drive_c/DP.old"));
  EXPECT_EQ(folders.Map("D:\\DP"), fs::path("/root/drive_d/DP"));

  ScopedEnv env;
  env.Set("OVNSS_RUN_DIR", "/tmp/ovnss-run-2").Set("OVNSS_DRIVE_C", "/c");
  EXPECT_EQ(KnownFolders::FromEnvironment().Map("C:\\DP"), fs::path("/tmp/ovnss-run-2/drive_c/DP"));
  env.Unset("OVNSS_RUN_DIR");
  EXPECT_EQ(KnownFolders::FromEnvironment().Map("C:\\DP"), fs::path("/c/DP"));
}

}  // namespace
}  // namespace ov
