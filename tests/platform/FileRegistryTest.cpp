#include "platform/Registry.h"

#include "support/RunTogether.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace ov {
namespace {

namespace fs = std::filesystem;
using test::RunTogether;
using test::ScopedEnv;
using test::TempDir;

constexpr auto kClasses = RegistryRoot::ClassesRoot;

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << text;
}

// The folder's entries, sorted, leaving out the store's lock file, which a
// change creates once and leaves for the next.
std::vector<std::string> FolderEntries(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    if (name != ".registry.txt.lock") names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

ino_t Inode(const fs::path& file) {
  struct stat info {};
  EXPECT_EQ(::stat(file.c_str(), &info), 0);
  return info.st_ino;
}

TEST(FileRegistry, MissingFileIsAnEmptyRegistryAndTheFirstChangeCreatesIt) {
  TempDir dir;
  const fs::path file = dir / "config" / "ovnss" / "registry.txt";
  FileRegistry registry(file);
  EXPECT_FALSE(registry.KeyExists(kClasses, "OrlindavestrumNSS"));
  EXPECT_EQ(registry.ReadText(kClasses, "OrlindavestrumNSS", "FilePath"), "");
  EXPECT_TRUE(registry.ValueNames(kClasses, "OrlindavestrumNSS").empty());
  EXPECT_FALSE(registry.SetValue(kClasses, "OrlindavestrumNSS", "FilePath", "x"));
  EXPECT_FALSE(registry.DeleteKey(kClasses, "OrlindavestrumNSS"));
  EXPECT_FALSE(fs::exists(file.parent_path())) << "reads and failed changes write nothing";

  ASSERT_TRUE(registry.CreateKey(kClasses, "OrlindavestrumNSS"));
  ASSERT_TRUE(registry.SetValue(kClasses, "OrlindavestrumNSS", "FilePath", "/opt/ovnss"));
  EXPECT_EQ(ReadFile(file),
            "; OVNSS registry 1\n\n[HKEY_CLASSES_ROOT\\OrlindavestrumNSS]\n\"FilePath\"=\"/opt/ovnss\"\n");
  EXPECT_EQ(FolderEntries(file.parent_path()), std::vector<std::string>{"registry.txt"})
      << "no temporary file stays behind";
}

TEST(FileRegistry, TwoRegistriesOnOneFileSeeEachOthersChanges) {
  TempDir dir;
  FileRegistry first(dir / "registry.txt");
  FileRegistry second(dir / "registry.txt");

  ASSERT_TRUE(first.CreateKey(kClasses, "OV Windows"));
  EXPECT_TRUE(second.KeyExists(kClasses, "OV WINDOWS"));
  ASSERT_TRUE(second.SetValue(kClasses, "OV WINDOWS", "Disk0", "ST3000"));
  EXPECT_EQ(first.ReadText(kClasses, "OV Windows", "Disk0"), "ST3000");
  ASSERT_TRUE(first.SetValue(kClasses, "OV Windows", "Disk1", "WD"));
  EXPECT_EQ(second.ValueNames(kClasses, "OV Windows"), (std::vector<std::string>{"Disk0", "Disk1"}));
  ASSERT_TRUE(second.DeleteValue(kClasses, "OV Windows", "disk0"));
  EXPECT_EQ(first.ReadText(kClasses, "OV Windows", "Disk0"), "");
  ASSERT_TRUE(first.DeleteKey(kClasses, "OV Windows"));
  EXPECT_FALSE(second.KeyExists(kClasses, "OV Windows"));
}

TEST(FileRegistry, SeesWhatAnOutsideProgramWrote) {
  TempDir dir;
  const fs::path file = dir / "registry.txt";
  FileRegistry registry(file);
  ASSERT_TRUE(registry.CreateKey(kClasses, "OV Windows"));

  WriteFile(file, "; OVNSS registry 1\n[HKEY_CLASSES_ROOT\\OV Windows]\n\"Disk0\"=\"1\"\n\"Disk3\"=\"1\"\n");
  EXPECT_EQ(registry.ValueNames(kClasses, "OV Windows"), (std::vector<std::string>{"Disk0", "Disk3"}));

  // A change starts from the file as it is now, not from an older copy.
  ASSERT_TRUE(registry.SetValue(kClasses, "OV Windows", "Disk5", "1"));
  EXPECT_EQ(registry.ValueNames(kClasses, "OV Windows"), (std::vector<std::string>{"Disk0", "Disk3", "Disk5"}));

  fs::remove(file);
  EXPECT_FALSE(registry.KeyExists(kClasses, "OV Windows"));
}

TEST(FileRegistry, MalformedFileReadsAsEmptyAndIsNeverOverwritten) {
  TempDir dir;
  const fs::path file = dir / "registry.txt";
  const std::string text = "; OVNSS registry 1\n[HKEY_CLASSES_ROOT\\OrlindavestrumNSS]\n\"FilePath\"=\"/opt/ovnss\n";
  WriteFile(file, text);
  FileRegistry registry(file);

  EXPECT_FALSE(registry.KeyExists(kClasses, "OrlindavestrumNSS"));
  EXPECT_EQ(registry.ReadText(kClasses, "OrlindavestrumNSS", "FilePath"), "");
  EXPECT_FALSE(registry.CreateKey(kClasses, "OrlindavestrumNSS"));
  EXPECT_FALSE(registry.CreateKey(kClasses, "Other"));
  EXPECT_FALSE(registry.SetValue(kClasses, "OrlindavestrumNSS", "FilePath", "/new"));
  EXPECT_FALSE(registry.DeleteKey(kClasses, "OrlindavestrumNSS"));
  EXPECT_EQ(ReadFile(file), text);
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"registry.txt"});

  // Once mended, the file is used again.
  WriteFile(file, "; OVNSS registry 1\n");
  EXPECT_TRUE(registry.CreateKey(kClasses, "Other"));
}

TEST(FileRegistry, UnreadableFileIsNotOverwritten) {
  TempDir dir;
  const fs::path file = dir / "registry.txt";
  fs::create_directory(file);  // exists, but cannot be read as a file
  FileRegistry registry(file);
  EXPECT_FALSE(registry.KeyExists(kClasses, "A"));
  EXPECT_FALSE(registry.CreateKey(kClasses, "A"));
  EXPECT_TRUE(fs::is_directory(file));
}

TEST(FileRegistry, ChangeFailsWhenTheFolderCannotBeMade) {
  TempDir dir;
  WriteFile(dir / "plain", "a file, not a folder");
  FileRegistry registry(dir / "plain" / "registry.txt");
  EXPECT_FALSE(registry.CreateKey(kClasses, "A"));
  EXPECT_EQ(ReadFile(dir / "plain"), "a file, not a folder");
}

TEST(FileRegistry, ChangeThatChangesNothingDoesNotRewriteTheFile) {
  TempDir dir;
  const fs::path file = dir / "registry.txt";
  FileRegistry registry(file);
  ASSERT_TRUE(registry.CreateKey(kClasses, "OV Windows"));
  ASSERT_TRUE(registry.SetValue(kClasses, "OV Windows", "Disk0", "1"));
  const ino_t before = Inode(file);

  EXPECT_TRUE(registry.CreateKey(kClasses, "OV WINDOWS"));
  EXPECT_TRUE(registry.SetValue(kClasses, "OV Windows", "disk0", "1"));
  EXPECT_FALSE(registry.DeleteValue(kClasses, "OV Windows", "Disk9"));
  EXPECT_EQ(Inode(file), before);

  ASSERT_TRUE(registry.SetValue(kClasses, "OV Windows", "Disk0", "2"));
  EXPECT_NE(Inode(file), before) << "a change replaces the file";
}

TEST(FileRegistry, ABatchReplacesTheFileOnceWithAllItsChanges) {
  TempDir dir;
  const fs::path file = dir / "registry.txt";
  FileRegistry registry(file);
  FileRegistry other(file);
  std::vector<ino_t> seen;
  ASSERT_TRUE(registry.Batch([&](Registry& r) {
    r.CreateKey(kClasses, "OV Windows\\Size");
    for (int i = 0; i < 5; ++i) r.SetValue(kClasses, "OV Windows\\Size", "Disk" + std::to_string(i), "512");
    seen.push_back(fs::exists(file) ? Inode(file) : 0);  // nothing written while the batch runs
  }));
  EXPECT_EQ(seen, std::vector<ino_t>{0});
  EXPECT_EQ(other.ReadText(kClasses, "OV Windows\\Size", "Disk4"), "512");

  WriteFile(file, "this is not a registry file");
  EXPECT_FALSE(registry.Batch([&](Registry& r) { r.CreateKey(kClasses, "X"); }));
  EXPECT_EQ(ReadFile(file), "this is not a registry file");
}

TEST(FileRegistry, ReplacementKeepsTheFilePermissions) {
  TempDir dir;
  const fs::path file = dir / "registry.txt";
  WriteFile(file, "; OVNSS registry 1\n");
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  FileRegistry registry(file);
  ASSERT_TRUE(registry.CreateKey(kClasses, "A"));
  struct stat info {};
  ASSERT_EQ(::stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST(FileRegistry, TheNewFileReplacesTheOldOnlyWhenComplete) {
  TempDir dir;
  const fs::path file = dir / "registry.txt";
  FileRegistry registry(file);
  ASSERT_TRUE(registry.CreateKey(kClasses, "A"));
  const std::string old = ReadFile(file);

  int calls = 0;
  registry.beforeReplace = [&] {
    ++calls;
    // The registry file still holds the old text, and the complete new text
    // waits in one temporary file beside it.
    EXPECT_EQ(ReadFile(file), old);
    std::vector<fs::path> temps;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      if (entry.path() != file && entry.path().filename() != ".registry.txt.lock") temps.push_back(entry.path());
    ASSERT_EQ(temps.size(), 1u);
    RegistryStore pending;
    ASSERT_TRUE(pending.Parse(ReadFile(temps[0])));
    EXPECT_EQ(pending.ReadText(kClasses, "A", "v"), "new");
  };
  ASSERT_TRUE(registry.SetValue(kClasses, "A", "v", "new"));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(registry.ReadText(kClasses, "A", "v"), "new");
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"registry.txt"});
}

TEST(FileRegistryDeathTest, WriteInterruptedBeforeTheReplaceLeavesTheOldFile) {
  // The child must share this test's folder, so it is forked, not re-run.
  GTEST_FLAG_SET(death_test_style, "fast");
  TempDir dir;
  const fs::path file = dir / "registry.txt";
  {
    FileRegistry registry(file);
    ASSERT_TRUE(registry.CreateKey(kClasses, "OrlindavestrumNSS"));
    ASSERT_TRUE(registry.SetValue(kClasses, "OrlindavestrumNSS", "FilePath", "/opt/old"));
  }
  const std::string old = ReadFile(file);

  EXPECT_EXIT(
      {
        FileRegistry registry(file);
        registry.beforeReplace = [] { ::_exit(7); };
        registry.SetValue(kClasses, "OrlindavestrumNSS", "FilePath", "/opt/new");
        registry.SetValue(kClasses, "OrlindavestrumNSS", "Language", "2");
        ::_exit(0);
      },
      ::testing::ExitedWithCode(7), "");

  // The child died with its new file written but not yet in place.
  EXPECT_EQ(FolderEntries(dir.path()).size(), 2u) << "the child's temporary file is left over";
  EXPECT_TRUE(fs::exists(dir / ".registry.txt.lock")) << "and its lock file, which binds nobody once it died";
  EXPECT_EQ(ReadFile(file), old);
  FileRegistry registry(file);
  EXPECT_EQ(registry.ReadText(kClasses, "OrlindavestrumNSS", "FilePath"), "/opt/old");
  EXPECT_EQ(registry.ValueNames(kClasses, "OrlindavestrumNSS"), std::vector<std::string>{"FilePath"});

  // The leftover neither blocks nor joins the next change.
  ASSERT_TRUE(registry.SetValue(kClasses, "OrlindavestrumNSS", "Language", "1"));
  EXPECT_EQ(registry.ReadText(kClasses, "OrlindavestrumNSS", "FilePath"), "/opt/old");
  EXPECT_EQ(registry.ReadText(kClasses, "OrlindavestrumNSS", "Language"), "1");
}

TEST(FileRegistry, ProcessesChangingTheStoreAtOnceKeepEveryChange) {
  TempDir dir;
  const fs::path file = dir / "registry.txt";
  {
    FileRegistry registry(file);
    ASSERT_TRUE(registry.CreateKey(kClasses, "OrlindavestrumNSS"));
    ASSERT_TRUE(registry.SetValue(kClasses, "OrlindavestrumNSS", "FilePath", "/opt/ovnss"));
  }
  constexpr int kWriters = 4, kValues = 40;
  // Writers set values of their own in one key; a reader meanwhile must
  // always find the value that was there before, in a whole file.
  ASSERT_TRUE(RunTogether(kWriters + 1, [&](int k) {
    FileRegistry registry(file);
    if (k == kWriters) {
      for (int i = 0; i < 400; ++i)
        if (registry.ReadText(kClasses, "OrlindavestrumNSS", "FilePath") != "/opt/ovnss") return false;
      return true;
    }
    for (int i = 0; i < kValues; ++i) {
      if (!registry.SetValue(kClasses, "OrlindavestrumNSS", "P" + std::to_string(k) + "-" + std::to_string(i), "x"))
        return false;
    }
    return true;
  }));
  FileRegistry registry(file);
  EXPECT_EQ(registry.ValueNames(kClasses, "OrlindavestrumNSS").size(), std::size_t{1 + kWriters * kValues});
  EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::string>{"registry.txt"}) << "no temporary file stays behind";
}

TEST(FileRegistry, TwoProcessesSettingDifferentValuesAtTheSameMomentBothKeepTheirs) {
  TempDir dir;
  const fs::path file = dir / "registry.txt";
  for (int round = 0; round < 20; ++round) {
    fs::remove(file);
    ASSERT_TRUE(RunTogether(2, [&](int k) {
      FileRegistry registry(file);
      return registry.Batch([&](Registry& r) {
        r.CreateKey(kClasses, "OrlindavestrumNSS");
        r.SetValue(kClasses, "OrlindavestrumNSS", k == 0 ? "Language" : "LngFile", k == 0 ? "2" : "German.lng");
      });
    }));
    FileRegistry registry(file);
    ASSERT_EQ(registry.ReadText(kClasses, "OrlindavestrumNSS", "Language"), "2") << "round " << round;
    ASSERT_EQ(registry.ReadText(kClasses, "OrlindavestrumNSS", "LngFile"), "German.lng") << "round " << round;
  }
}

TEST(FileRegistry, MachineWideValuesLieBeneathTheUsersAndAreNeverWritten) {
  TempDir dir;
  const fs::path machineFile = dir / "etc" / "registry.txt";
  fs::create_directories(machineFile.parent_path());
  const std::string machineText =
      "; OVNSS registry 1\n[HKEY_CLASSES_ROOT\\OrlindavestrumNSS]\n\"FilePath\"=\"/usr/lib/ovnss\"\n"
      "\"Language\"=\"1\"\n[HKEY_CURRENT_USER\\Mine]\n\"x\"=\"1\"\n";
  WriteFile(machineFile, machineText);
  FileRegistry registry(dir / "registry.txt", machineFile);

  EXPECT_TRUE(registry.KeyExists(kClasses, "OrlindavestrumNSS"));
  EXPECT_EQ(registry.ReadText(kClasses, "ORLINDAVESTRUMNSS", "FilePath"), "/usr/lib/ovnss");
  EXPECT_FALSE(registry.KeyExists(RegistryRoot::CurrentUser, "Mine")) << "the user's own root has no machine layer";
  EXPECT_TRUE(registry.CreateKey(kClasses, "OrlindavestrumNSS"));
  EXPECT_FALSE(fs::exists(dir / "registry.txt")) << "opening a machine-wide key writes nothing";

  // A per-user value wins, and the machine's shows again once it is gone.
  ASSERT_TRUE(registry.SetValue(kClasses, "OrlindavestrumNSS", "Language", "3"));
  EXPECT_EQ(registry.ReadText(kClasses, "OrlindavestrumNSS", "Language"), "3");
  EXPECT_EQ(registry.ValueNames(kClasses, "OrlindavestrumNSS"), (std::vector<std::string>{"Language", "FilePath"}));
  EXPECT_EQ(FileRegistry(dir / "registry.txt").ValueNames(kClasses, "OrlindavestrumNSS"),
            std::vector<std::string>{"Language"});
  ASSERT_TRUE(registry.DeleteValue(kClasses, "OrlindavestrumNSS", "Language"));
  EXPECT_EQ(registry.ReadText(kClasses, "OrlindavestrumNSS", "Language"), "1");
  EXPECT_FALSE(registry.DeleteValue(kClasses, "OrlindavestrumNSS", "FilePath")) << "machine-wide values stay";
  ASSERT_TRUE(registry.DeleteKey(kClasses, "OrlindavestrumNSS"));
  EXPECT_FALSE(registry.DeleteKey(kClasses, "OrlindavestrumNSS"));
  EXPECT_TRUE(registry.KeyExists(kClasses, "OrlindavestrumNSS"));
  EXPECT_EQ(ReadFile(machineFile), machineText);

  // A damaged machine file adds nothing and stops nothing.
  WriteFile(machineFile, "[not a registry");
  EXPECT_FALSE(registry.KeyExists(kClasses, "OrlindavestrumNSS"));
  EXPECT_TRUE(registry.CreateKey(kClasses, "OrlindavestrumNSS"));
  EXPECT_EQ(ReadFile(machineFile), "[not a registry");
}

TEST(FileRegistry, DefaultMachineLocationFollowsTheEnvironment) {
  ScopedEnv env;
  env.Unset("OVNSS_MACHINE_REGISTRY");
  EXPECT_EQ(FileRegistry::DefaultMachineLocation(), fs::path("/etc/ovnss/registry.txt"));
  env.Set("OVNSS_MACHINE_REGISTRY", "/opt/ovnss/registry.txt");
  EXPECT_EQ(FileRegistry::DefaultMachineLocation(), fs::path("/opt/ovnss/registry.txt"));
  env.Set("OVNSS_MACHINE_REGISTRY", "");
  EXPECT_EQ(FileRegistry::DefaultMachineLocation(), fs::path());
}

TEST(FileRegistry, DefaultLocationFollowsTheEnvironment) {
  ScopedEnv env;
  env.Set("HOME", "/home/tester").Unset("XDG_CONFIG_HOME").Unset("OVNSS_REGISTRY");
  EXPECT_EQ(FileRegistry::DefaultLocation(), fs::path("/home/tester/.config/ovnss/registry.txt"));
  env.Set("XDG_CONFIG_HOME", "relative/ignored");
  EXPECT_EQ(FileRegistry::DefaultLocation(), fs::path("/home/tester/.config/ovnss/registry.txt"));
  env.Set("XDG_CONFIG_HOME", "");
  EXPECT_EQ(FileRegistry::DefaultLocation(), fs::path("/home/tester/.config/ovnss/registry.txt"));
  env.Set("XDG_CONFIG_HOME", "/xdg");
  EXPECT_EQ(FileRegistry::DefaultLocation(), fs::path("/xdg/ovnss/registry.txt"));
  env.Set("OVNSS_REGISTRY", "/elsewhere/reg.txt");
  EXPECT_EQ(FileRegistry::DefaultLocation(), fs::path("/elsewhere/reg.txt"));
}

TEST(FileRegistry, EveryProgramReadsTheUsersValuesOverTheMachineWideOnes) {
  TempDir dir;
  ScopedEnv env;
  env.Set("OVNSS_REGISTRY", (dir / "user.txt").string()).Set("OVNSS_MACHINE_REGISTRY", (dir / "machine.txt").string());
  WriteFile(dir / "machine.txt",
            "; OVNSS registry 1\n\n[HKEY_CLASSES_ROOT\\OrlindavestrumNSS]\n\"FilePath\"=\"/usr/lib/ovnss\"\n");
  FileRegistry registry = FileRegistry::UserAndMachine();
  EXPECT_EQ(registry.ReadText(kClasses, "OrlindavestrumNSS", "FilePath"), "/usr/lib/ovnss");
  EXPECT_TRUE(registry.Empty());  // the user's own file holds nothing yet
  ASSERT_TRUE(registry.SetValue(kClasses, "OrlindavestrumNSS", "FilePath", "/home/me/ovnss"));
  EXPECT_EQ(registry.ReadText(kClasses, "OrlindavestrumNSS", "FilePath"), "/home/me/ovnss");
  EXPECT_FALSE(registry.Empty());
  ASSERT_TRUE(registry.DeleteValue(kClasses, "OrlindavestrumNSS", "FilePath"));
  registry.DeleteKey(kClasses, "OrlindavestrumNSS");
  EXPECT_TRUE(registry.Empty());
}

}  // namespace
}  // namespace ov
