// The sample disk is found from where the program lies, never from a path
// fixed at build time.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "session/Session.h"
#include "support/TempDir.h"

namespace ov {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "disk";
}

TEST(SampleDisk, APackageKeepsItInTheSharedDataFolder) {
  test::TempDir dir;
  fs::create_directories(dir / "usr" / "lib" / "ovnss");
  EXPECT_EQ(FindSampleDisk(dir / "usr" / "lib" / "ovnss"), std::nullopt);
  Touch(dir / "usr" / "share" / "ovnss" / "sample-disk.img");
  EXPECT_EQ(FindSampleDisk(dir / "usr" / "lib" / "ovnss"), dir / "usr" / "share" / "ovnss" / "sample-disk.img");
}

TEST(SampleDisk, TheBuildTreeAndAnInstallationFolderFindTheirsToo) {
  test::TempDir dir;
  Touch(dir / "build" / "share" / "ovnss" / "sample-disk.img");
  EXPECT_EQ(FindSampleDisk(dir / "build" / "bin"), dir / "build" / "share" / "ovnss" / "sample-disk.img");
  Touch(dir / "build" / "bin" / "sample-disk.img");  // beside the program comes first
  EXPECT_EQ(FindSampleDisk(dir / "build" / "bin"), dir / "build" / "bin" / "sample-disk.img");
  // A folder of that name is no disk.
  fs::create_directories(dir / "other" / "share" / "ovnss" / "sample-disk.img");
  EXPECT_EQ(FindSampleDisk(dir / "other" / "bin"), std::nullopt);
}

TEST(SampleDisk, ThePlacesLookedAtAreNamedForTheMessage) {
  const auto places = SampleDiskPlaces("/usr/lib/ovnss");
  ASSERT_EQ(places.size(), 3u);
  EXPECT_EQ(places[0], fs::path("/usr/lib/ovnss/sample-disk.img"));
  EXPECT_EQ(places[1], fs::path("/usr/lib/share/ovnss/sample-disk.img"));
  EXPECT_EQ(places[2], fs::path("/usr/share/ovnss/sample-disk.img"));
}

}  // namespace
}  // namespace ov
