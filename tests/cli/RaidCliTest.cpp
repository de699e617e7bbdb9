// "raid detect" and set files as disks, end to end through ovnss-cli.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "mkimage/ImageBuilder.h"
#include "support/CliRunner.h"
#include "support/Files.h"
#include "support/RaidSets.h"
#include "support/TempDir.h"

namespace ov {
namespace {

using nlohmann::json;

class RaidCli : public test::CliFixture {
protected:
  void SetUp() override {
    auto built = mkimage::BuildImageFromJson(
        test::RaidDisk(R"({ "level": "5", "chunk": "16KiB", "layout": "right-symmetric", "offset": 2048,
                            "outputs": ["m0", "m1", "m2", "m3"] })"),
        dir / "disk.img");
    ASSERT_TRUE(built.ok()) << built.error;
  }
};

TEST_F(RaidCli, DetectsWritesTheSetFileAndEveryCommandReadsIt) {
  const test::ShellRun found = Exec("raid detect --json --out server.raid m2 missing m0 m3");
  ASSERT_EQ(found.exit, 0) << found.err;
  const json j = json::parse(found.out);
  EXPECT_EQ(j["level"], "5");
  EXPECT_EQ(j["chunkBytes"], 16384);
  EXPECT_EQ(j["layout"], "right-symmetric");
  EXPECT_EQ(j["offsetSectors"], 2048);
  EXPECT_EQ(j["members"], json::parse(R"(["m0", null, "m2", "m3"])"));
  EXPECT_EQ(j["setFile"], "server.raid");

  // The set lists, and saves, what the plain disk does.
  for (const char* mode : {"quick", "advance"}) {
    const test::ShellRun plain = Exec(std::string("pools --json --mode ") + mode + " --disk disk.img");
    const test::ShellRun set = Exec(std::string("pools --json --mode ") + mode + " --disk server.raid");
    ASSERT_EQ(set.exit, 0) << set.err;
    EXPECT_EQ(json::parse(set.out)["pools"], json::parse(plain.out)["pools"]) << mode;
  }
  const test::ShellRun plainLs = Exec("ls --json --recursive --disk disk.img --pool DATA --volume VOL1");
  const test::ShellRun setLs = Exec("ls --json --recursive --disk server.raid --pool DATA --volume VOL1");
  ASSERT_EQ(setLs.exit, 0) << setLs.err;
  EXPECT_EQ(setLs.out, plainLs.out);
  ASSERT_EQ(Exec("save --disk disk.img --pool DATA --volume VOL1 --dest plain").exit, 0);
  const test::ShellRun saved = Exec("save --disk server.raid --pool DATA --volume VOL1 --dest set");
  ASSERT_EQ(saved.exit, 0) << saved.err;
  EXPECT_EQ(std::system(("diff -r '" + (dir / "plain").string() + "' '" + (dir / "set").string() + "' >/dev/null").c_str()), 0);
}

TEST_F(RaidCli, BadInputIsSaidAndNothingIsWritten) {
  const test::ShellRun twice = Exec("raid detect --out set.raid m0 m1 m0 m3");
  EXPECT_EQ(twice.exit, 1);
  EXPECT_EQ(twice.err, "ovnss-cli: m0 is given twice\n");
  EXPECT_FALSE(std::filesystem::exists(dir / "set.raid"));
  const test::ShellRun two = Exec("raid detect --json --out set.raid m0 missing missing m3");
  EXPECT_EQ(two.exit, 1);
  EXPECT_EQ(json::parse(two.out)["error"], "only one member may be missing, not 2");
  EXPECT_FALSE(std::filesystem::exists(dir / "set.raid"));
  EXPECT_EQ(Exec("raid detect --chunk 3K m0 m1 m2 m3").exit, 2);
  EXPECT_EQ(Exec("raid detect --order shuffled m0 m1").exit, 2);
}

TEST_F(RaidCli, WhatTheUserKnowsIsKept) {
  const test::ShellRun r = Exec("raid detect --json --level 5 --chunk 16K --layout right-symmetric --offset 2048 --order as-given m0 m1 m2 m3");
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out)["members"], nlohmann::json::parse(R"(["m0", "m1", "m2", "m3"])"));
  const test::ShellRun wrong = Exec("raid detect --layout left-asymmetric --order as-given m0 m1 m2 m3");
  EXPECT_EQ(wrong.exit, 1);
}

}  // namespace
}  // namespace ov
