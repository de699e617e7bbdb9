// Runs of ovnss-cli started at the same moment, as a person running commands
// side by side (or beside the window) does: each must see its own disk,
// whatever the others attach and describe, and all of them log whole blocks
// to the one activity log.

#include <sys/wait.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "mkimage/ImageBuilder.h"
#include "platform/Registry.h"
#include "support/Files.h"
#include "support/TempDir.h"

namespace ov {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

TEST(ParallelRuns, EightRunsAtOnceOnDifferentImagesEachSeeTheirOwnDisk) {
  constexpr int kRuns = 8, kRounds = 50;
  test::TempDir dir;
  std::vector<fs::path> images;
  for (int k = 0; k < kRuns; ++k) {
    const std::string pool = "POOL" + std::to_string(k);
    images.push_back(dir / ("disk" + std::to_string(k) + ".img"));
    const auto built = mkimage::BuildImageFromJson(
        R"({"partitions": [ { "type": "nss", "sections": [ { "pool": ")" + pool +
            R"(", "sectors": "1MiB" } ] } ], "pools": [ { "name": ")" + pool + R"(", "volumes": [ { "name": "V" } ] } ]})",
        images.back());
    ASSERT_TRUE(built.ok()) << built.error;
  }
  // An installed program: every run logs to the installation's one log.
  const fs::path install = dir / "install";
  fs::create_directories(install);
  {
    FileRegistry shared(dir / "registry.txt");
    ASSERT_TRUE(shared.CreateKey(RegistryRoot::ClassesRoot, "OrlindavestrumNSS"));
    ASSERT_TRUE(shared.SetValue(RegistryRoot::ClassesRoot, "OrlindavestrumNSS", "FilePath", install.string()));
  }
  fs::create_directories(dir / "tmp");
  const std::string environment = "OVNSS_REGISTRY=" + Quote((dir / "registry.txt").string()) +
                                  " OVNSS_MACHINE_REGISTRY= OVNSS_TEMP_DIR=" + Quote((dir / "tmp").string()) +
                                  " OVNSS_DRIVE_C=" + Quote((dir / "c").string()) + " ";

  int wrong = 0;
  for (int round = 0; round < kRounds && wrong < 3; ++round) {
    std::vector<FILE*> runs;
    for (int k = 0; k < kRuns; ++k) {
      const auto err = dir / ("err" + std::to_string(k));
      runs.push_back(::popen((environment + Quote(OVNSS_TEST_BINARY_DIR "/bin/ovnss-cli") + " pools --json --disk " +
                              Quote(images[k].string()) + " 2>" + Quote(err.string()) + " </dev/null")
                                 .c_str(),
                             "r"));
    }
    for (int k = 0; k < kRuns; ++k) {
      ASSERT_NE(runs[k], nullptr);
      std::string out;
      char buf[4096];
      for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, runs[k])) > 0;) out.append(buf, n);
      const int status = ::pclose(runs[k]);
      const std::string err = test::ReadFile(dir / ("err" + std::to_string(k)));
      const auto parsed = nlohmann::json::parse(out, nullptr, false);
      const bool right = WIFEXITED(status) && WEXITSTATUS(status) == 0 && err.empty() && !parsed.is_discarded() &&
                         parsed["pools"].size() == 1 && parsed["pools"][0]["name"] == "POOL" + std::to_string(k);
      EXPECT_TRUE(right) << "round " << round << ", run " << k << ": " << err << out;
      wrong += right ? 0 : 1;
    }
  }
  ASSERT_EQ(wrong, 0);

  // Each run's step block names its own image's model, and every block of
  // every run is there whole.
  const std::string log = test::ReadFile(install / "ActivityLog.txt");
  EXPECT_EQ(Count(log, "\r\n-----------------------Start--------------------------\r\nOrlindavestrum For NSS\r\n"
                       "Version 11.06.07\r\n"),
            std::size_t{kRuns * kRounds});
  for (int k = 0; k < kRuns; ++k) {
    EXPECT_EQ(Count(log, "\r\nModel Number : disk" + std::to_string(k) + ".img\r\nSelected Mode : QUICK"),
              std::size_t{kRounds})
        << "run " << k;
  }
  EXPECT_EQ(Count(log, "\r\nTotal Partitions Found : 0"), std::size_t{kRuns * kRounds});
  // Nothing of a run stays behind: no run folder, no disk in the shared store.
  EXPECT_TRUE(fs::is_empty(dir / "tmp"));
  FileRegistry shared(dir / "registry.txt");
  EXPECT_FALSE(shared.KeyExists(RegistryRoot::ClassesRoot, "OV Windows"));
  EXPECT_FALSE(shared.KeyExists(RegistryRoot::ClassesRoot, "OV Attached Images"));
  EXPECT_EQ(shared.ReadText(RegistryRoot::ClassesRoot, "OrlindavestrumNSS", "FilePath"), install.string());
}

}  // namespace
}  // namespace ov
