#include "disk/Inventory.h"

#include <gtest/gtest.h>

#include <fstream>

#include "disk/DeviceOpener.h"
#include "disk/DiskDescriber.h"
#include "disk/SectorReader.h"
#include "support/FakeProcessRunner.h"
#include "support/FakePrompter.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace ov {
namespace {

using test::FakeProcessRunner;
using test::FakePrompter;

void WriteFile(const std::filesystem::path& p, const std::string& text) {
  std::filesystem::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

// A fake /sys/block: sda (fixed), sdb (removable), and devices the describer
// leaves out.
std::filesystem::path MakeSysBlock(const test::TempDir& dir) {
  const auto sys = dir / "sys/block";
  WriteFile(sys / "sda/size", "16777216\n");  // 8 GiB
  WriteFile(sys / "sda/removable", "0\n");
  WriteFile(sys / "sda/device/model", "WDC WD80EFAX    \n");
  WriteFile(sys / "sdb/size", "2097152\n");
  WriteFile(sys / "sdb/removable", "1\n");
  WriteFile(sys / "loop0/size", "1000\n");
  WriteFile(sys / "zram0/size", "1000\n");
  WriteFile(sys / "sdc/size", "0\n");  // an empty card reader slot
  return sys;
}

struct InventoryFixture : ::testing::Test {
  InventoryFixture() : opener(registry), reader(opener, prompter) {
    install = dir / "install";
    std::filesystem::create_directories(install);
    folders.driveC = dir / "drive_c";
  }
  DiskInventory Make(char family = 'N') {
    return DiskInventory({registry, runner, prompter, reader, folders, install, family,
                          [this](std::chrono::milliseconds ms) { sleeps.push_back(ms); }});
  }
  // Makes the describing program present and answering with the fake sys tree.
  void InstallDescriber() {
    WriteFile(install / "ovnss-mendwmi", "");
    sys = MakeSysBlock(dir);
    runner.OnRun("ovnss-mendwmi", [this](const std::vector<std::string>&) {
      DescribeDisks(registry, sys, "/dev");
      return 0;
    });
  }

  test::TempDir dir;
  RegistryStore registry;
  FakeProcessRunner runner;
  FakePrompter prompter;
  RegistryDeviceOpener opener;
  SectorReader reader;
  KnownFolders folders;
  std::filesystem::path install, sys;
  std::vector<std::chrono::milliseconds> sleeps;
};

TEST_F(InventoryFixture, ListsBlockDevicesThenAttachedImagesWithTheirDetails) {
  InstallDescriber();
  const auto image = dir / "server.img";
  WriteFile(image, std::string(1024 * 1024, '\0'));
  ASSERT_TRUE(AttachImage(registry, image));
  auto inv = Make();
  EXPECT_FALSE(inv.TakeInventory().endProgram);
  ASSERT_EQ(inv.disks().size(), 3u);
  EXPECT_EQ(inv.disks()[0].valueName, "Disk0");
  EXPECT_EQ(inv.disks()[2].number, 2);
  EXPECT_EQ(inv.DiskDetails(0), (std::vector<std::string>{
                                    "Physical Disk Number : 0", "Model   : WDC WD80EFAX",
                                    "Media Type   : Fixed hard disk media", "Cylinder   : 1044", "Head   : 255",
                                    "Sectors Per Track   : 63", "Disk Size  : 8192 MB"}));
  EXPECT_EQ(inv.currentModel(), "WDC WD80EFAX");
  EXPECT_EQ(inv.DiskDetails(1)[2], "Media Type   : Removable Media");
  EXPECT_EQ(inv.DiskDetails(2)[1], "Model   : server.img");
  EXPECT_EQ(inv.DiskDetails(2)[6], "Disk Size  : 1 MB");
  EXPECT_EQ(inv.DiskSizeInSectors(2), 2048u);
  // The reader finds the image behind the third disk's device path.
  EXPECT_EQ(ResolveDevicePath(registry, kDevicePathTable[2]), std::filesystem::absolute(image));
  EXPECT_EQ(ResolveDevicePath(registry, kDevicePathTable[0]), std::filesystem::path("/dev/sda"));
  EXPECT_FALSE(ResolveDevicePath(registry, kDevicePathTable[3]));
}

TEST_F(InventoryFixture, ClearsAnEarlierRunsResults) {
  registry.CreateKey(RegistryRoot::ClassesRoot, "OV Windows\\Size");
  registry.SetValue(RegistryRoot::ClassesRoot, "OV Windows", "Disk5", "old");
  registry.SetValue(RegistryRoot::ClassesRoot, "OV Windows\\Size", "Disk5", "1");
  registry.CreateKey(RegistryRoot::ClassesRoot, "OV WINDOWS\\DisplayDevice");
  auto inv = Make();  // no describing program installed
  EXPECT_FALSE(inv.TakeInventory().endProgram);
  EXPECT_TRUE(inv.disks().empty());
  EXPECT_EQ(registry.ReadText(RegistryRoot::ClassesRoot, "OV Windows\\Size", "Disk5"), "");
  EXPECT_FALSE(registry.KeyExists(RegistryRoot::ClassesRoot, "OV Windows\\DisplayDevice"));
  // Nothing listed: the program is tried once more; it is missing, so -1.
  EXPECT_EQ(runner.Calls(test::ProcessCallKind::RunAndWait).size(), 1u);
}

TEST_F(InventoryFixture, GapsInTheDiskNumbersAreKept) {
  WriteFile(install / "ovnss-mendwmi", "");
  runner.OnRun("ovnss-mendwmi", [this](const std::vector<std::string>&) {
    registry.SetValue(RegistryRoot::ClassesRoot, "OV Windows", "Disk0", "x");
    registry.SetValue(RegistryRoot::ClassesRoot, "OV Windows", "Disk2", "y");
    registry.SetValue(RegistryRoot::ClassesRoot, "OV Windows", "Disk12", "z");
    return 0;
  });
  auto inv = Make();
  inv.TakeInventory();
  ASSERT_EQ(inv.disks().size(), 3u);
  EXPECT_EQ(inv.disks()[1].valueName, "Disk2");
  EXPECT_EQ(inv.disks()[1].number, 2);
  EXPECT_EQ(inv.disks()[2].number, 12);
  // Disk12 is listed but has no device path.
  EXPECT_TRUE(DiskInventory::ScanRefusal(12));
  EXPECT_FALSE(DiskInventory::ScanRefusal(9));
  EXPECT_EQ(DevicePathOf(12), "");
  // No size value: 0 sectors.
  EXPECT_EQ(inv.DiskSizeInSectors(2), 0u);
}

TEST_F(InventoryFixture, MissingDisksKeyAfterTheProgramEndsTheProgram) {
  WriteFile(install / "ovnss-mendwmi", "");
  runner.OnRun("ovnss-mendwmi", [this](const std::vector<std::string>&) {
    for (auto key : {"Cylinder", "Head", "MediaType", "Model", "SectorsPerTrack", "Size"}) {
      registry.DeleteKey(RegistryRoot::ClassesRoot, std::string("OV Windows\\") + key);
    }
    registry.DeleteKey(RegistryRoot::ClassesRoot, "OV Windows");
    return 0;
  });
  auto inv = Make();
  EXPECT_TRUE(inv.TakeInventory().endProgram);
  EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Orlindavestrum for NSS is not Installed properly"});
}

TEST_F(InventoryFixture, PickingADiskSetsTheSourceAndLeavingTheStepSelectsIt) {
  InstallDescriber();
  auto inv = Make();
  inv.TakeInventory();
  EXPECT_FALSE(inv.PickDisk("My Computer"));
  auto rows = inv.PickDisk("Disk1");
  ASSERT_TRUE(rows);
  EXPECT_EQ((*rows)[0], "Physical Disk Number : 1");
  EXPECT_EQ(inv.selectedDisk, 0);
  inv.CommitSelection();
  EXPECT_EQ(inv.selectedDisk, 1);
}

TEST_F(InventoryFixture, AttachingIsIdempotentAndDetachingForgets) {
  const auto image = dir / "a.img";
  WriteFile(image, std::string(512, '\0'));
  EXPECT_TRUE(AttachImage(registry, image));
  EXPECT_TRUE(AttachImage(registry, image));
  EXPECT_FALSE(AttachImage(registry, dir / "missing.img"));
  EXPECT_EQ(AttachedImages(registry).size(), 1u);
  EXPECT_TRUE(DetachImage(registry, image));
  EXPECT_TRUE(AttachedImages(registry).empty());
}

TEST(DiskDescriber, SkipsVirtualAndEmptyDevicesAndUsesTheUsualTranslation) {
  test::TempDir dir;
  auto disks = ListBlockDevices(MakeSysBlock(dir), "/dev");
  ASSERT_EQ(disks.size(), 2u);
  EXPECT_EQ(disks[0].devicePath, "/dev/sda");
  EXPECT_EQ(disks[0].sizeBytes, 16777216ull * 512);
  EXPECT_EQ(disks[0].cylinders, 16777216u / 16065);
  EXPECT_EQ(disks[1].model, "Unknown");
  EXPECT_EQ(disks[1].mediaType, kMediaRemovable);
}

// --------------------------------------------------------------- 'F' family

TEST(GeometryAnswer, ReadsTheThreeNumbersAtTheirLengthDependentOffsets) {
  // L1 = 2: heads 0x0010; L2 = 1: 63; L3 = 2: 1023.
  std::vector<std::uint8_t> dp = {2, 0, 0x10, 0x00, 0, 0, 0, 1, 0, 63, 0, 0, 0, 2, 0, 0xFF, 0x03};
  auto g = ParseGeometryAnswer(dp);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->heads, 16u);
  EXPECT_EQ(g->sectorsPerTrack, 63u);
  EXPECT_EQ(g->cylinders, 1023u);
  dp.pop_back();
  EXPECT_FALSE(ParseGeometryAnswer(dp));
  EXPECT_FALSE(ParseGeometryAnswer({}));
}

TEST(GeometryAnswer, ReadsAtMostFourBytesAndKeepsTheLow16Bits) {
  // L1 = 6: only four bytes are read, 0x00020010 -> low 16 bits 0x0010.
  std::vector<std::uint8_t> dp = {6, 0, 0x10, 0, 2, 0, 9, 9, 0, 0, 0, 1, 0, 63, 0, 0, 0, 1, 0, 5};
  auto g = ParseGeometryAnswer(dp);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->heads, 16u);
  EXPECT_EQ(g->sectorsPerTrack, 63u);
  EXPECT_EQ(g->cylinders, 5u);
}

TEST_F(InventoryFixture, ProbesBiosDrivesThroughTheLibraryAndTheGeometryProgram) {
  test::ScopedEnv env;
  const auto image = dir / "drive.img";
  WriteFile(image, std::string(4096, '\0'));
  env.Set("FAKE_SECTRD32_DRIVE0", image.string()).Set("FAKE_SECTRD32_DRIVE2", image.string());
  env.Unset("FAKE_SECTRD32_BAD").Unset("FAKE_SECTRD32_LOG");
  reader.SetLibraryFolders({OVNSS_FAKE_SECTRD32_DIR});
  registry.CreateKey(RegistryRoot::ClassesRoot, kProductKey);
  registry.SetValue(RegistryRoot::ClassesRoot, kProductKey, "FilePath", install.string());
  runner.OpenWindow("Fixcount");
  std::vector<int> drivesAsked;
  runner.OnRun("ovnss-chsprobe", [&](const std::vector<std::string>&) {
    std::ifstream in(folders.Map("C:\\drvn1"), std::ios::binary);
    const int drive = in.get();
    drivesAsked.push_back(drive);
    // Heads 16 (L1 = 2), 63 sectors per track, cylinders 100 + drive index.
    const char dp[] = {2, 0, 0x10, 0, 0, 0, 0, 1, 0, 63, 0, 0, 0, 1, 0, static_cast<char>(100 + drive - 0x80)};
    std::ofstream(folders.Map("C:\\DP"), std::ios::binary).write(dp, sizeof dp);
    return 0;
  });
  auto inv = DiskInventory({registry, runner, prompter, reader, folders, install, 'F',
                            [&](std::chrono::milliseconds ms) {
                              sleeps.push_back(ms);
                              runner.CloseWindow("Fixcount");
                            }});
  inv.TakeInventory();
  EXPECT_EQ(drivesAsked, (std::vector<int>{0x80, 0x82}));
  ASSERT_EQ(inv.disks().size(), 2u);
  EXPECT_EQ(inv.disks()[1].valueName, "Disk2");
  EXPECT_EQ(inv.disks()[1].number, 2);
  const auto root = RegistryRoot::ClassesRoot;
  EXPECT_EQ(registry.ReadText(root, "OV Windows\\Head", "Disk2"), "16");
  EXPECT_EQ(registry.ReadText(root, "OV Windows\\Cylinder", "Disk2"), "102");
  EXPECT_EQ(registry.ReadText(root, "OV Windows\\Size", "Disk2"), std::to_string(102ull * 16 * 63 * 512));
  EXPECT_EQ(registry.ReadText(root, "OV Windows\\Model", "Disk0"), "Unknown");
  EXPECT_TRUE(registry.QueryValue(root, "OV WINDOWS", "130"));
  EXPECT_FALSE(std::filesystem::exists(folders.Map("C:\\DP")));
  ASSERT_EQ(runner.Calls(test::ProcessCallKind::Start).size(), 1u);
  EXPECT_EQ(runner.Calls(test::ProcessCallKind::Start)[0].program.filename(), "ovnss-fixcount");
  ASSERT_FALSE(sleeps.empty());
  EXPECT_EQ(sleeps.back(), std::chrono::milliseconds(1000));
}

TEST_F(InventoryFixture, MissingLibraryStopsTheProbeWithItsMessage) {
  reader.SetLibraryFolders({dir.path()});
  auto inv = Make('F');
  inv.TakeInventory();
  EXPECT_TRUE(inv.disks().empty());
  EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"sectrd32.dll not found"});
}

}  // namespace
}  // namespace ov
