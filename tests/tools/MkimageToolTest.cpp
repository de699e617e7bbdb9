// The ovnss-mkimage program, the partition tables it writes as sfdisk reads
// them, and sparse output.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "support/BuiltImage.h"

namespace ov::test {
namespace {

const std::string kTool = std::string(OVNSS_TEST_BINARY_DIR) + "/bin/ovnss-mkimage";

struct Run {
  int code = -1;
  std::string output;
};

Run Shell(const std::string& command) {
  Run run;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.output.append(buf, n);
  int status = ::pclose(pipe);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

constexpr const char* kDescription = R"({
  "partitions": [ { "type": "nss", "start": 2048, "sections": [ { "pool": "P", "sectors": 4096 } ] },
                  { "slot": 2, "type": "linux", "start": 16128, "sectors": 8000, "bootable": true } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [ { "file": "a.txt", "text": "abc" } ] } ] } ],
  "unreadable": [ "9000-9001" ]
})";

TEST(MkimageTool, WritesImageManifestAndSideList) {
  TempDir dir;
  std::ofstream(dir / "d.json") << kDescription;
  auto run = Shell(kTool + " " + Quote(dir / "d.json") + " -o " + Quote(dir / "d.img") + " --manifest " + Quote(dir / "m.json"));
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_NE(run.output.find("1 pools, 1 volumes, 0 folders, 1 files"), std::string::npos) << run.output;
  auto m = nlohmann::json::parse(Slurp(dir / "m.json"));
  EXPECT_EQ(m["pools"][0]["name"], "P");
  EXPECT_EQ(m["pools"][0]["segments"][0]["start"], 2080);
  const auto& file = m["pools"][0]["volumes"][0]["files"][0];
  EXPECT_EQ(file["name"], "a.txt");
  EXPECT_EQ(file["size"], 3);
  EXPECT_EQ(file["folder"], "");
  EXPECT_EQ(file["sha256"], "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(m["unreadable"][0]["first"], 9000);
  EXPECT_EQ(Slurp(dir / "d.img.bad"), "# Unreadable sectors, one sector or inclusive range first-last per line\n9000-9001\n");
  EXPECT_EQ(std::filesystem::file_size(dir / "d.img"), 24576u * 512) << "the contents end at sector 24128, rounded up to whole MiB";
}

TEST(MkimageTool, BadDescriptionExitsWithOne) {
  TempDir dir;
  std::ofstream(dir / "d.json") << R"({ "pools": [ { "nam": "P" } ] })";
  auto run = Shell(kTool + " " + Quote(dir / "d.json") + " -o " + Quote(dir / "d.img"));
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.output.find("pools[0]: unknown key \"nam\""), std::string::npos) << run.output;
  EXPECT_FALSE(std::filesystem::exists(dir / "d.img"));
}

TEST(MkimageTool, ImpossibleLayoutExitsWithTwo) {
  TempDir dir;
  std::ofstream(dir / "d.json") << R"({ "size": 4096, "partitions": [ { "type": "linux", "start": 2048, "sectors": 8 } ] })";
  auto run = Shell(kTool + " " + Quote(dir / "d.json") + " -o " + Quote(dir / "d.img"));
  EXPECT_EQ(run.code, 2) << run.output;
}

TEST(MkimageTool, SfdiskReadsThePartitionTable) {
  if (Shell("command -v sfdisk || test -x /usr/sbin/sfdisk || test -x /sbin/sfdisk").code != 0) GTEST_SKIP() << "sfdisk is not installed";
  BuiltImage img(kDescription);
  ASSERT_TRUE(img.ok()) << img.error();
  auto run = Shell("PATH=\"$PATH:/usr/sbin:/sbin\" sfdisk --dump " + Quote(img.image()));
  ASSERT_EQ(run.code, 0) << run.output;
  EXPECT_NE(run.output.find("label: dos"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("disk.img1 : start=        2048, size=        4128, type=65"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("disk.img3 : start=       16128, size=        8000, type=83, bootable"), std::string::npos) << run.output;
  EXPECT_EQ(run.output.find("disk.img2"), std::string::npos) << run.output;
}

TEST(MkimageTool, TwoGibibyteImageIsSparseAndQuick) {
  auto started = std::chrono::steady_clock::now();
  BuiltImage img(R"({ "size": "2GiB", "partitions": [ { "type": "nss", "start": 2048, "sections": [
      { "pool": "BIG", "sectors": "2000MiB" } ] } ],
    "pools": [ { "name": "BIG", "volumes": [ { "name": "V", "items": [
      { "file": "one.txt", "size": 100000, "content": "prose" } ] } ] } ] })");
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_TRUE(img.ok()) << img.error();
  EXPECT_LT(seconds, 20.0);
  struct stat st {};
  ASSERT_EQ(::stat(img.image().c_str(), &st), 0);
  EXPECT_EQ(static_cast<std::uint64_t>(st.st_size), 2ull << 30);
  EXPECT_LT(static_cast<std::uint64_t>(st.st_blocks) * 512, 4ull << 20) << "only sectors with content take space";
}

}  // namespace
}  // namespace ov::test
