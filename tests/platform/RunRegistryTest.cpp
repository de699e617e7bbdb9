#include "platform/RunRegistry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/TempDir.h"

namespace ov {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;

constexpr auto kClasses = RegistryRoot::ClassesRoot;
const std::vector<std::string> kOwn = {"OV Windows", "OV Attached Images"};

TEST(RunRegistry, TheRunsKeysGoToItsOwnStoreAndEverythingElseIsShared) {
  RegistryStore shared, own;
  RunRegistry registry(shared, own, kOwn);
  ASSERT_TRUE(registry.CreateKey(kClasses, "OV WINDOWS\\Size"));
  ASSERT_TRUE(registry.SetValue(kClasses, "ov windows\\size", "Disk0", "512"));
  ASSERT_TRUE(registry.CreateKey(kClasses, "OV Attached Images"));
  ASSERT_TRUE(registry.CreateKey(kClasses, "OrlindavestrumNSS"));
  ASSERT_TRUE(registry.SetValue(kClasses, "OrlindavestrumNSS", "FilePath", "/opt/ovnss"));
  // Names that only begin like a run's key, and other roots, are shared.
  ASSERT_TRUE(registry.CreateKey(kClasses, "OV Windows Extra"));
  ASSERT_TRUE(registry.CreateKey(RegistryRoot::CurrentUser, "OV Windows"));

  EXPECT_EQ(own.ReadText(kClasses, "OV Windows\\Size", "Disk0"), "512");
  EXPECT_TRUE(own.KeyExists(kClasses, "OV Attached Images"));
  EXPECT_FALSE(own.KeyExists(kClasses, "OrlindavestrumNSS"));
  EXPECT_FALSE(shared.KeyExists(kClasses, "OV Windows"));
  EXPECT_EQ(shared.ReadText(kClasses, "OrlindavestrumNSS", "FilePath"), "/opt/ovnss");
  EXPECT_TRUE(shared.KeyExists(kClasses, "OV Windows Extra"));
  EXPECT_TRUE(shared.KeyExists(RegistryRoot::CurrentUser, "OV Windows"));

  EXPECT_EQ(registry.ValueNames(kClasses, "OV Windows\\Size"), std::vector<std::string>{"Disk0"});
  EXPECT_TRUE(registry.DeleteValue(kClasses, "OV Windows\\Size", "Disk0"));
  EXPECT_TRUE(registry.DeleteKey(kClasses, "OV Windows\\Size"));
  EXPECT_FALSE(own.KeyExists(kClasses, "OV Windows\\Size"));
}

TEST(RunRegistry, TwoRunsListTheirOwnDisksAndShareTheInstallation) {
  TempDir dir;
  FileRegistry shared(dir / "registry.txt");
  FileRegistry firstOwn(dir / "run1" / "registry.txt"), secondOwn(dir / "run2" / "registry.txt");
  RunRegistry first(shared, firstOwn, kOwn), second(shared, secondOwn, kOwn);

  ASSERT_TRUE(first.CreateKey(kClasses, "OrlindavestrumNSS"));
  ASSERT_TRUE(first.SetValue(kClasses, "OrlindavestrumNSS", "Language", "3"));
  ASSERT_TRUE(first.CreateKey(kClasses, "OV Windows"));
  ASSERT_TRUE(first.SetValue(kClasses, "OV Windows", "Disk0", "/images/a.img"));
  EXPECT_FALSE(second.KeyExists(kClasses, "OV Windows"));
  ASSERT_TRUE(second.CreateKey(kClasses, "OV Windows"));
  ASSERT_TRUE(second.SetValue(kClasses, "OV Windows", "Disk0", "/images/b.img"));
  ASSERT_TRUE(second.DeleteKey(kClasses, "OV WINDOWS"));

  EXPECT_EQ(first.ReadText(kClasses, "OV Windows", "Disk0"), "/images/a.img");
  EXPECT_EQ(second.ReadText(kClasses, "OrlindavestrumNSS", "Language"), "3");
  EXPECT_EQ(ReadFile(dir / "registry.txt").find("OV Windows"), std::string::npos) << "nothing of a run is shared";
}

TEST(RunRegistry, ABatchChangesBothStoresAndADamagedSharedStoreKeepsOnlyItsOwnChangesBack) {
  TempDir dir;
  FileRegistry shared(dir / "registry.txt"), own(dir / "run" / "registry.txt");
  RunRegistry registry(shared, own, kOwn);
  ASSERT_TRUE(registry.Batch([](Registry& r) {
    r.CreateKey(kClasses, "OV Windows");
    r.SetValue(kClasses, "OV Windows", "Disk0", "/dev/sda");
    r.CreateKey(kClasses, "OrlindavestrumNSS");
    r.SetValue(kClasses, "OrlindavestrumNSS", "FilePath", "/opt/ovnss");
  }));
  EXPECT_EQ(own.ReadText(kClasses, "OV Windows", "Disk0"), "/dev/sda");
  EXPECT_EQ(shared.ReadText(kClasses, "OrlindavestrumNSS", "FilePath"), "/opt/ovnss");

  // A person's broken edit of the shared file does not stop a run from
  // describing its disks, and is itself left alone.
  std::ofstream(dir / "registry.txt", std::ios::trunc) << "not a registry";
  EXPECT_TRUE(registry.Batch([](Registry& r) { r.SetValue(kClasses, "OV Windows", "Disk1", "/dev/sdb"); }));
  EXPECT_EQ(own.ReadText(kClasses, "OV Windows", "Disk1"), "/dev/sdb");
  EXPECT_FALSE(registry.Batch([](Registry& r) {
    r.SetValue(kClasses, "OV Windows", "Disk2", "/dev/sdc");
    r.CreateKey(kClasses, "OrlindavestrumNSS");
  }));
  EXPECT_EQ(own.ReadText(kClasses, "OV Windows", "Disk2"), "/dev/sdc");
  EXPECT_EQ(ReadFile(dir / "registry.txt"), "not a registry");
}

}  // namespace
}  // namespace ov
