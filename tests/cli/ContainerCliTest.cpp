// ovnss-cli on the same disk in every container the real tools make: the
// same listing and saved bytes as the raw image; a damaged container is a
// one-line error naming it; a ddrescue map marks the sectors the rescue did
// not read, and the save names the file that holds them.

#include <sys/wait.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>

#include "platform/Text.h"
#include "support/Containers.h"
#include "support/Files.h"
#include "support/TempDir.h"

namespace ov {
namespace {

using nlohmann::json;
using test::ContainerSet;
using test::ReadFile;

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct CliResult {
  int exit = -1;
  std::string out, err;
};

class ContainerCli : public ::testing::Test {
protected:
  CliResult Exec(const std::string& args) {
    const auto err = dir / "stderr.txt";
    const std::string cmd = "cd " + Quote(dir.path().string()) + " && OVNSS_REGISTRY=" +
                            Quote((dir / "registry.txt").string()) + " " +
                            Quote(OVNSS_TEST_BINARY_DIR "/bin/ovnss-cli") + " " + args + " 2>" + Quote(err.string()) +
                            " </dev/null";
    CliResult r;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
      char buf[4096];
      std::size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
      const int status = ::pclose(p);
      r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    r.err = ReadFile(err);
    return r;
  }
  // Every saved file under `folder`, by its path below it.
  static std::map<std::string, std::string> Saved(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
      if (e.is_regular_file()) files[std::filesystem::relative(e.path(), folder).string()] = ReadFile(e.path());
    }
    return files;
  }
  const ContainerSet& set = ContainerSet::Get();
  test::TempDir dir;
};

TEST_F(ContainerCli, EveryContainerGivesTheRawDisksListingAndSavedBytes) {
  ASSERT_TRUE(set.ok());
  const std::string volume = " --pool DATA --volume VOL1";
  const CliResult rawList = Exec("ls -r --json --disk " + Quote(set.raw().string()) + volume);
  ASSERT_EQ(rawList.exit, 0) << rawList.err;
  ASSERT_EQ(json::parse(rawList.out)["fileCount"], set.manifest().FindVolume("DATA", "VOL1")->files.size());
  ASSERT_EQ(Exec("save --disk " + Quote(set.raw().string()) + volume + " --dest raw").exit, 0);
  const auto rawSaved = Saved(dir / "raw");
  ASSERT_EQ(rawSaved.size(), set.manifest().FindVolume("DATA", "VOL1")->files.size());
  for (const auto& c : test::kContainerFiles) {
    SCOPED_TRACE(c.name);
    const std::string disk = " --disk " + Quote((set / c.name).string());
    const CliResult list = Exec("ls -r --json" + disk + volume);
    ASSERT_EQ(list.exit, 0) << list.err;
    EXPECT_EQ(json::parse(list.out), json::parse(rawList.out));
    const CliResult save = Exec("save --json" + disk + volume + " --dest " + Quote(c.name));
    ASSERT_EQ(save.exit, 0) << save.err;
    EXPECT_TRUE(json::parse(save.out)["unreadFiles"].empty());
    EXPECT_TRUE(Saved(dir / c.name) == rawSaved);
  }
}

TEST_F(ContainerCli, DetailsAndDamageAreReported) {
  ASSERT_TRUE(set.ok());
  const CliResult disks = Exec("disks --json --disk " + Quote((set / "plain.E01").string()));
  ASSERT_EQ(disks.exit, 0) << disks.err;
  bool found = false;
  const json listed = json::parse(disks.out);
  for (const auto& d : listed["disks"]) {
    if (d["path"].get<std::string>() != (set / "plain.E01").string()) continue;
    found = true;
    EXPECT_EQ(d["sectors"], (8u << 20) / 512);
    EXPECT_EQ(d["details"][1], "Model   : NetWare server disk");
    EXPECT_EQ(d["details"][2], "Media Type   : E01 image file (5 segments), uncompressed, case C-42, evidence E-7");
  }
  EXPECT_TRUE(found) << disks.out;

  const CliResult cut = Exec("pools --disk " + Quote((set / "cut.E01").string()));
  EXPECT_EQ(cut.exit, 1);
  EXPECT_EQ(cut.err.rfind("ovnss-cli: " + (set / "cut.E01").string() + " cannot be read as an E01 image", 0),
            0u)
      << cut.err;
  EXPECT_EQ(std::count(cut.err.begin(), cut.err.end(), '\n'), 1) << cut.err;

  std::ofstream(dir / "bad.map") << "this is no map\n";
  const CliResult badMap = Exec("pools --disk " + Quote(set.raw().string()) + " --map bad.map");
  EXPECT_EQ(badMap.exit, 1);
  EXPECT_NE(badMap.err.find("bad.map is not a ddrescue map: line 1"), std::string::npos) << badMap.err;
}

TEST_F(ContainerCli, AMapMarksTheSectorsTheRescueDidNotReadAndTheSaveNamesTheirFile) {
  ASSERT_TRUE(set.ok());
  const auto* vol = set.manifest().FindVolume("DATA", "VOL1");
  const auto* big = mkimage::FindFile(*vol, "Letters", "big.bin");
  ASSERT_NE(big, nullptr);
  // ddrescue copies the disk but the 10 sectors from the file's 100th:
  // the map gives them as not tried, the rescued image holds zeros there.
  const std::uint64_t holeStart = (big->diskSector + 100) * 512, holeEnd = holeStart + 10 * 512;
  const std::string raw = Quote(set.raw().string());
  const std::string rescue = "cd " + Quote(dir.path().string()) + " && ddrescue -q -s " +
                             std::to_string(holeStart) + " " + raw + " rescued.img rescued.map && ddrescue -q -i " +
                             std::to_string(holeEnd) + " " + raw + " rescued.img rescued.map";
  ASSERT_EQ(std::system(rescue.c_str()), 0);

  const CliResult save = Exec("save --json --disk rescued.img --map rescued.map --pool DATA --volume VOL1 --dest out");
  ASSERT_EQ(save.exit, 0) << save.err;
  EXPECT_EQ(json::parse(save.out)["unreadFiles"],
            json::parse(R"([{"path": "\\Letters\\big.bin", "unreadSectors": 10}])"));
  for (const auto& f : vol->files) {
    std::string expected(f.data.begin(), f.data.end());
    if (&f == big) std::fill_n(expected.begin() + 100 * 512, 10 * 512, '\0');
    std::string folder = Latin1ToUtf8(f.folder);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    EXPECT_EQ(ReadFile(dir / "out" / folder / Latin1ToUtf8(f.name)), expected) << f.name;
  }

  const CliResult text = Exec("save --disk rescued.img --map rescued.map --pool DATA --volume VOL1 --dest again");
  ASSERT_EQ(text.exit, 0) << text.err;
  EXPECT_EQ(text.out, "\\Letters\\big.bin: 10 unread sector(s), saved as zeros\n5 file(s), " +
                          std::to_string(json::parse(save.out)["bytes"].get<std::uint64_t>()) +
                          " bytes saved to again; 1 file(s) hold unread sectors\n");
  // Without the map the rescued image reads whole: nothing is reported.
  const CliResult unmapped = Exec("save --json --disk rescued.img --pool DATA --volume VOL1 --dest plain");
  ASSERT_EQ(unmapped.exit, 0) << unmapped.err;
  EXPECT_TRUE(json::parse(unmapped.out)["unreadFiles"].empty());
}

}  // namespace
}  // namespace ov
