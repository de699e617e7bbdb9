// Pools whose segments lie on several disks, end to end through ovnss-cli:
// every listing and saved byte of a pool split over two disks equals those
// of the same pool built on one disk; a disk left out, a disk given twice,
// a segment on two disks and disks that disagree on a pool are each said.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>

#include "mkimage/ImageBuilder.h"
#include "support/CliRunner.h"
#include "support/Files.h"

namespace ov {
namespace {

using nlohmann::json;

// The pools of every description here. SPAN's DATA volume fills its first
// segment and runs on into the second; "late.txt" lies in the third and
// "across.bin" runs from the first segment into the second.
constexpr const char* kPools = R"("pools": [
  { "name": "SPAN", "free": "random", "volumes": [
    { "name": "DATA", "tree": { "recordsPerLeaf": 6 }, "items": [
      { "folder": "Early", "items": [ { "file": "early.txt", "size": 3000, "content": "prose", "segment": 0 } ] },
      { "file": "across.bin", "size": 20000, "content": "random", "firstBlock": 1533, "crossSegments": true },
      { "file": "late.txt", "size": 5000, "content": "prose", "segment": 2 } ],
      "generate": { "folders": 8, "files": 70, "maxDepth": 2, "minSize": "20KiB", "maxSize": "120KiB" } },
    { "name": "MAIL", "items": [ { "file": "inbox.txt", "lines": ["one", "two"] } ] } ] },
  { "name": "KEEP", "volumes": [ { "name": "OLD", "items": [ { "file": "keep.txt", "text": "kept" } ] } ] } ])";

// Segment 0: 6 MiB (blocks 0..1535), segment 1: 8 MiB, segment 2: 6 MiB.
std::string OneDisk() {
  return std::string(R"({ "size": "48MiB", "seed": 11, "partitions": [ { "type": "nss", "start": 2048, "sections": [
      { "pool": "SPAN", "segment": 0, "sectors": "6MiB" },
      { "pool": "KEEP", "sectors": "2MiB" },
      { "pool": "SPAN", "segment": 1, "sectors": "8MiB", "dataOffset": 64 },
      { "pool": "SPAN", "segment": 2, "sectors": "6MiB" } ] } ],)") +
         kPools + "}";
}

std::string TwoDisks(const std::string& second = "two-b.img") {
  return std::string(R"({ "seed": 11, "disks": [
    { "size": "24MiB", "partitions": [ { "type": "nss", "start": 2048, "sections": [
      { "pool": "SPAN", "segment": 0, "sectors": "6MiB" },
      { "pool": "KEEP", "sectors": "2MiB" },
      { "pool": "SPAN", "segment": 2, "sectors": "6MiB" } ] } ] },
    { "size": "16MiB", "output": ")") +
         second + R"(", "partitions": [ { "type": "nss", "start": 63, "sections": [
      { "pool": "SPAN", "segment": 1, "sectors": "8MiB", "dataOffset": 64 } ] } ] } ],)" +
         kPools + "}";
}

class PoolDisksCli : public test::CliFixture {
protected:
  void SetUp() override {
    for (const auto& [description, file] : {std::pair{OneDisk(), "one.img"}, std::pair{TwoDisks(), "two-a.img"}}) {
      auto built = mkimage::BuildImageFromJson(description, dir / file);
      ASSERT_TRUE(built.ok()) << built.error;
    }
  }
  bool SameTree(const std::string& a, const std::string& b) {
    return std::system(("diff -r '" + (dir / a).string() + "' '" + (dir / b).string() + "' >/dev/null").c_str()) == 0;
  }
  static constexpr const char* kBoth = "--disk two-a.img --disk two-b.img";
};

TEST_F(PoolDisksCli, APoolOverTwoDisksListsAndSavesAsOnOneDisk) {
  for (const char* mode : {"quick", "advance"}) {
    const test::ShellRun one = Exec(std::string("pools --json --mode ") + mode + " --disk one.img");
    const test::ShellRun two = Exec(std::string("pools --json --mode ") + mode + " " + kBoth);
    ASSERT_EQ(two.exit, 0) << two.err;
    EXPECT_EQ(two.err, "");
    const json got = json::parse(two.out), want = json::parse(one.out);
    ASSERT_EQ(got["pools"].size(), 2u) << mode;
    EXPECT_TRUE(got["problems"].empty());
    for (std::size_t p = 0; p < 2; ++p) {
      EXPECT_EQ(got["pools"][p]["name"], want["pools"][p]["name"]);
      for (std::size_t k = 0; k < got["pools"][p]["segments"].size(); ++k) {
        const json& s = got["pools"][p]["segments"][k];
        EXPECT_EQ(s["missing"], false);
        EXPECT_EQ(s["length"], want["pools"][p]["segments"][k]["length"]);
      }
    }
    // The second segment is the second disk's, at that disk's own sector.
    const json& middle = got["pools"][0]["segments"][1];
    EXPECT_EQ(middle["disk"], 1);
    EXPECT_EQ(middle["diskStart"], 63 + 64);
  }
  for (const char* volume : {"DATA", "MAIL"}) {
    const std::string args = std::string(" --pool SPAN --volume ") + volume;
    const test::ShellRun one = Exec("ls --json --recursive --disk one.img" + args);
    const test::ShellRun two = Exec(std::string("ls --json --recursive ") + kBoth + args);
    ASSERT_EQ(two.exit, 0) << two.err;
    EXPECT_EQ(two.out, one.out) << volume;
  }
  ASSERT_EQ(Exec("recover --disk one.img --dest one-out").exit, 0);
  const test::ShellRun both = Exec(std::string("recover ") + kBoth + " --dest two-out");
  ASSERT_EQ(both.exit, 0) << both.err;
  EXPECT_TRUE(SameTree("one-out", "two-out"));
  EXPECT_EQ(test::ReadFile(dir / "two-out" / "SPAN" / "DATA" / "late.txt").size(), 5000u);

  // Found over two disks, written to a recovery information file and read
  // back with the disks given the other way round: the disk table puts every
  // segment where its disk now lies.
  ASSERT_EQ(Exec(std::string("save-info ") + kBoth + " --pool SPAN --volume DATA --out span.sav").exit, 0);
  const test::ShellRun swapped = Exec("save --disk two-b.img --disk two-a.img --from span.sav --dest swapped");
  ASSERT_EQ(swapped.exit, 0) << swapped.err;
  ASSERT_EQ(Exec("save --disk one.img --pool SPAN --volume DATA --dest plain").exit, 0);
  EXPECT_TRUE(SameTree("plain", "swapped"));
}

TEST_F(PoolDisksCli, ALeftOutDiskNamesItsSegmentAndItsFilesAreUnreadableNotWrong) {
  // one.img stands in for a disk of another server that holds SPAN's
  // segments itself: every segment is claimed twice, and none is used.
  const test::ShellRun pools = Exec("pools --json --disk two-a.img --disk one.img");
  ASSERT_EQ(pools.exit, 0) << pools.err;
  EXPECT_NE(pools.err.find("ovnss-cli: Pool \"SPAN\": segment 0 is on disk 1 (" + (dir / "two-a.img").string() +
                           ") at sector "),
            std::string::npos)
      << pools.err;
  EXPECT_NE(pools.err.find(" and on disk 2 (" + (dir / "one.img").string() + ") at sector "), std::string::npos);
  EXPECT_NE(pools.err.find("; neither is used, and its data cannot be read\n"), std::string::npos);
  EXPECT_EQ(json::parse(pools.out)["pools"][0]["segments"][0]["missing"], true);

  // The second disk left out; a disk with no NetWare partition stands in.
  ASSERT_TRUE(mkimage::BuildImageFromJson(R"({ "size": "4MiB" })", dir / "blank.img").ok());
  const std::string partial = "--disk two-a.img --disk blank.img";
  const test::ShellRun listed = Exec("pools --json " + partial);
  ASSERT_EQ(listed.exit, 0) << listed.err;
  const json span = json::parse(listed.out)["pools"][0];
  EXPECT_EQ(span["name"], "SPAN");
  EXPECT_EQ(span["segments"][0]["missing"], false);
  EXPECT_EQ(span["segments"][1]["missing"], true);
  EXPECT_EQ(span["segments"][2]["missing"], false);
  EXPECT_EQ(listed.err, "ovnss-cli: Pool \"SPAN\": segment 1 of 3 is on none of the disks given; its data cannot be read\n");

  const test::ShellRun ls = Exec("ls --json --recursive " + partial + " --pool SPAN --volume DATA");
  ASSERT_EQ(ls.exit, 0) << ls.err;
  bool early = false, across = false, late = false;
  const json entries = json::parse(ls.out)["entries"];
  for (const json& e : entries) {
    if (e["name"] == "early.txt") early = !e.contains("unreadable");
    if (e["name"] == "across.bin") across = e.value("unreadable", false);
    if (e["name"] == "late.txt") late = e.value("unreadable", false);
  }
  EXPECT_TRUE(early);
  EXPECT_TRUE(across);  // runs into the missing segment
  EXPECT_TRUE(late);    // after a missing segment of unknown length
  const test::ShellRun text = Exec("ls --recursive " + partial + " --pool SPAN --volume DATA");
  EXPECT_NE(text.out.find("late.txt"), std::string::npos);
  EXPECT_NE(text.out.find("[unreadable: on a missing pool segment]"), std::string::npos);

  const test::ShellRun saved = Exec("save --json " + partial + " --pool SPAN --volume DATA --dest part");
  EXPECT_EQ(saved.exit, 1);
  const json summary = json::parse(saved.out);
  EXPECT_GE(summary["missingSegmentFiles"].size(), 2u);
  ASSERT_EQ(Exec("save --disk one.img --pool SPAN --volume DATA --dest plain").exit, 0);
  // What was saved is the file, byte for byte; what could not be read whole is not there.
  EXPECT_EQ(test::ReadFile(dir / "part" / "Early" / "early.txt"), test::ReadFile(dir / "plain" / "Early" / "early.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "part" / "across.bin"));
  EXPECT_FALSE(std::filesystem::exists(dir / "part" / "late.txt"));
}

TEST_F(PoolDisksCli, BadSetsAreRefusedOrNamed) {
  const test::ShellRun twice = Exec("pools --disk two-a.img --disk ./two-a.img");
  EXPECT_EQ(twice.exit, 1);
  EXPECT_EQ(twice.err, "ovnss-cli: the same disk is given twice: " + (dir / "two-a.img").string() + " (disk 1) and " +
                           (dir / "two-a.img").string() + " (disk 2)\n");
  const test::ShellRun map = Exec(std::string("pools --map x.map ") + kBoth);
  EXPECT_EQ(map.exit, 2);
  const test::ShellRun absent = Exec("pools --disk two-a.img --disk gone.img");
  EXPECT_EQ(absent.exit, 1);
  EXPECT_EQ(absent.err, "ovnss-cli: cannot open gone.img for reading: No such file or directory\n");

  // A second disk of another build of the pool, which counts two segments.
  const std::string other = R"({ "seed": 11, "disks": [
    { "size": "16MiB", "partitions": [ { "type": "nss", "start": 2048, "sections": [
      { "pool": "SPAN", "segment": 0, "sectors": "6MiB" } ] } ] },
    { "size": "16MiB", "output": "other-b.img", "partitions": [ { "type": "nss", "start": 63, "sections": [
      { "pool": "SPAN", "segment": 1, "sectors": "8MiB", "dataOffset": 64 } ] } ] } ],
    "pools": [ { "name": "SPAN", "volumes": [ { "name": "DATA" } ] } ] })";
  ASSERT_TRUE(mkimage::BuildImageFromJson(other, dir / "other-a.img").ok());
  const test::ShellRun mixed = Exec("pools --json --disk two-a.img --disk other-b.img");
  ASSERT_EQ(mixed.exit, 0) << mixed.err;
  EXPECT_NE(mixed.err.find("ovnss-cli: Pool \"SPAN\": segment 1 on disk 2 (" + (dir / "other-b.img").string() +
                           ") at sector "),
            std::string::npos)
      << mixed.err;
  EXPECT_NE(mixed.err.find(" says the pool has 2 segments, segment 0 on disk 1 (" + (dir / "two-a.img").string() +
                           ") at sector "),
            std::string::npos);
  EXPECT_NE(mixed.err.find(" says 3; segment 1 on disk 2 (" + (dir / "other-b.img").string() + ") is not used\n"),
            std::string::npos);
  EXPECT_EQ(json::parse(mixed.out)["pools"][0]["segments"][1]["missing"], true);
}

}  // namespace
}  // namespace ov
