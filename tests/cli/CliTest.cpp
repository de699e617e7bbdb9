// End-to-end tests of ovnss-cli on disks from the image builder: exit codes,
// JSON shapes and saved bytes, held against the builder's manifest.

#include <sys/wait.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "mkimage/ImageBuilder.h"
#include "support/CliRunner.h"
#include "platform/Text.h"
#include "support/TempDir.h"
#include "support/Files.h"
#include "support/ScopedEnv.h"

namespace ov {
namespace {

using nlohmann::json;

using test::ReadFile;
using CliRun = test::ShellRun;
using test::ShellQuote;
inline std::string Quote(const std::string& s) { return ShellQuote(s); }

class Cli : public test::CliFixture {};

constexpr const char* kDisk = R"({
  "partitions": [ { "type": "nss", "sections": [
      { "pool": "DATA", "segment": 1, "sectors": "2MiB" },
      { "pool": "MAIL", "sectors": "1MiB" },
      { "pool": "DATA", "segment": 0, "sectors": "1MiB" } ] } ],
  "pools": [
    { "name": "DATA", "volumes": [ { "name": "VOL1", "items": [
        { "folder": "Letters", "items": [
          { "file": "bank.doc", "document": "word", "size": "20KiB" },
          { "file": "notes.txt", "lines": [ "first", "second" ] },
          { "folder": "Old", "items": [ { "file": "1999.txt", "text": "old" } ] } ] },
        { "file": "top.xls", "document": "excel", "size": "9000" },
        { "file": "caf\u00e9.txt", "text": "menu" } ] },
      { "name": "VOL2" } ] },
    { "name": "MAIL", "volumes": [ { "name": "POST", "items": [ { "file": "inbox.txt", "text": "hi" } ] } ] } ]
})";

TEST_F(Cli, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Exec("").exit, 2);
  EXPECT_EQ(Exec("pools").exit, 2);  // --disk is required
  EXPECT_EQ(Exec("frobnicate").exit, 2);
  EXPECT_EQ(Exec("pools --disk x --mode sideways").exit, 2);
  const CliRun help = Exec("--help");
  EXPECT_EQ(help.exit, 0);
  EXPECT_NE(help.out.find("recover"), std::string::npos);
  EXPECT_EQ(Exec("save --help").exit, 0);
}

// Every line on standard error is the program's own: prefixed, and each
// said once.
void ExpectPrefixedLines(const std::string& err) {
  std::istringstream lines(err);
  std::set<std::string> seen;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.rfind("ovnss-cli: ", 0), 0u) << line;
    EXPECT_TRUE(seen.insert(line).second) << "twice: " << line;
  }
}

TEST_F(Cli, EveryUsageErrorExitsWithTwoAndSaysWhatWasWrong) {
  Build(kDisk);
  const std::string volume = Disk() + " --pool DATA --volume VOL1";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"frobnicate", "unknown command \"frobnicate\""},
      {"tree " + Disk(), "--pool is required"},
      {"ls " + Disk() + " --pool DATA", "--volume is required"},
      {"save " + Disk() + " --dest x", "--pool is required"},
      {"carve " + Disk() + " --dest raw --start abc", "Invalid Start Sector: --start abc"},
      {"carve " + Disk() + " --dest raw --kinds pdf", "unknown kind \"pdf\""},
      {"save " + volume + " --dest x --after yesterday", "--after yesterday"},
      {"save " + volume + " --dest x --replace ask", "--replace ask needs a terminal"},
      {"pools " + Disk() + " --bad-sectors maybe", "--bad-sectors"},
  };
  for (const auto& [args, text] : cases) {
    const CliRun r = Exec(args);
    EXPECT_EQ(r.exit, 2) << args << "\n" << r.err;
    EXPECT_NE(r.err.find(text), std::string::npos) << args << "\n" << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    ExpectPrefixedLines(r.err);
    EXPECT_TRUE(r.out.empty()) << args;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "raw"));
  EXPECT_FALSE(std::filesystem::exists(dir / "x"));
}

TEST_F(Cli, ADiskWithoutPoolsIsAnError) {
  Build(R"({ "size": "2MiB", "documents": [ { "kind": "zip", "size": "3000", "at": 100 } ] })");
  const CliRun pools = Exec("pools " + Disk());
  EXPECT_EQ(pools.exit, 1);
  EXPECT_EQ(pools.err, "ovnss-cli: no NSS pools found on " + image.string() + "\n");
  const CliRun listed = Exec("pools --json " + Disk());
  EXPECT_EQ(listed.exit, 1);
  EXPECT_EQ(listed.Json()["pools"].size(), 0u);
  const CliRun recover = Exec("recover --json " + Disk() + " --dest rec");
  EXPECT_EQ(recover.exit, 1);
  EXPECT_EQ(recover.err, "ovnss-cli: no NSS pools found on " + image.string() + "\n");
  EXPECT_TRUE(recover.out.empty());
}

TEST_F(Cli, SaveRefusesPlantedLinksByNameAndKeepsTheVolumesTimes) {
  Build(kDisk);
  test::TempDir elsewhere;
  std::filesystem::create_directories(dir / "out");
  std::filesystem::create_directory_symlink(elsewhere.path(), dir / "out" / "Letters");
  const CliRun r = Exec("save --json " + Disk() + " --pool DATA --volume VOL1 --dest out");
  EXPECT_EQ(r.exit, 1);
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
  EXPECT_EQ(r.err,
            "ovnss-cli: out/Letters: a symbolic link is in the way; it is not followed\n"
            "ovnss-cli: 1 place(s) held a symbolic link and were not saved\n");
  EXPECT_EQ(r.Json()["files"], 2);  // the root's files still saved
  EXPECT_EQ(r.Json()["refusedLinks"], json({"out/Letters"}));
  const auto* top = mkimage::FindFile(*manifest.FindVolume("DATA", "VOL1"), "", "top.xls");
  ASSERT_NE(top, nullptr);
  struct stat info {};
  ASSERT_EQ(::stat((dir / "out" / "top.xls").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, static_cast<time_t>(top->time));
}

TEST_F(Cli, LsColumnsAreCountedInLettersNotBytes) {
  Build(kDisk);
  const CliRun r = Exec("ls " + Disk() + " --pool DATA --volume VOL1");
  ASSERT_EQ(r.exit, 0) << r.err;
  // The type column starts at the same letter on every line.
  std::istringstream lines(r.out);
  std::set<std::size_t> typeColumns;
  for (std::string line; std::getline(lines, line);) {
    const std::size_t type = line.find_first_not_of(' ', line.find("  "));
    // Letters before it: every byte but UTF-8 continuation bytes.
    typeColumns.insert(static_cast<std::size_t>(std::count_if(
        line.begin(), line.begin() + static_cast<std::ptrdiff_t>(type),
        [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; })));
  }
  EXPECT_EQ(typeColumns.size(), 1u) << r.out;
  EXPECT_NE(r.out.find("\\caf\xc3\xa9.txt"), std::string::npos) << r.out;
}

TEST_F(Cli, AMissingOrUnreadableDiskIsAReportedError) {
  const CliRun missing = Exec("pools --disk " + Quote((dir / "nope.img").string()));
  EXPECT_EQ(missing.exit, 1);
  EXPECT_NE(missing.err.find("nope.img"), std::string::npos) << missing.err;
  EXPECT_EQ(missing.err.find('\n'), missing.err.size() - 1) << "one line: " << missing.err;
  const CliRun folder = Exec("pools --disk " + Quote(dir.path().string()));
  EXPECT_EQ(folder.exit, 1);
}

TEST_F(Cli, PoolsAndVolumesMatchTheBuilder) {
  Build(kDisk);
  for (const char* mode : {"quick", "advance"}) {
    const CliRun r = Exec("pools --json --mode " + std::string(mode) + " " + Disk());
    ASSERT_EQ(r.exit, 0) << r.err;
    const json pools = r.Json()["pools"];
    ASSERT_EQ(pools.size(), manifest.pools.size());
    for (std::size_t i = 0; i < pools.size(); ++i) {
      EXPECT_EQ(pools[i]["index"], i);
      EXPECT_EQ(pools[i]["name"], manifest.pools[i].name);
      EXPECT_EQ(pools[i]["segmentSize"], manifest.pools[i].segmentSize);
      ASSERT_EQ(pools[i]["segments"].size(), manifest.pools[i].segments.size());
      for (std::size_t k = 0; k < manifest.pools[i].segments.size(); ++k) {
        EXPECT_EQ(pools[i]["segments"][k]["start"], manifest.pools[i].segments[k].start);
      }
    }
  }
  const CliRun v = Exec("volumes --json " + Disk() + " --pool DATA");
  ASSERT_EQ(v.exit, 0) << v.err;
  const auto* data = manifest.FindPool("DATA");
  ASSERT_EQ(v.Json()["volumes"].size(), data->volumes.size());
  EXPECT_EQ(v.Json()["volumes"][1]["name"], "VOL2");
  EXPECT_EQ(v.Json()["volumes"][0]["rootSector"], data->volumes[0].rootSector);
  EXPECT_EQ(Exec("volumes " + Disk() + " --pool NOPE").exit, 1);
}

TEST_F(Cli, LsListsEveryPlacedFileWithItsPathSizeTimeAndId) {
  Build(kDisk);
  const CliRun r = Exec("ls --json --recursive " + Disk() + " --pool DATA --volume VOL1");
  ASSERT_EQ(r.exit, 0) << r.err;
  const json j = r.Json();
  const auto& vol = *manifest.FindVolume("DATA", "VOL1");
  EXPECT_EQ(j["fileCount"], vol.fileCount);
  EXPECT_EQ(j["folderCount"], vol.folderCount);
  std::map<std::string, json> byPath;
  for (const auto& e : j["entries"]) byPath[e["path"]] = e;
  for (const auto& f : vol.files) {
    const std::string path = "\\" + Latin1ToUtf8(f.folder.empty() ? "" : f.folder + "\\") + Latin1ToUtf8(f.name);
    ASSERT_TRUE(byPath.count(path)) << path;
    EXPECT_EQ(byPath[path]["size"], f.size);
    EXPECT_EQ(byPath[path]["time"], f.time);
    EXPECT_EQ(byPath[path]["id"], f.index);
  }
  EXPECT_EQ(byPath["\\Letters"]["type"], "Folder");
  EXPECT_EQ(byPath["\\Letters\\bank.doc"]["type"], "Microsoft Word File");
  EXPECT_TRUE(byPath.count("\\caf\xc3\xa9.txt"));  // the 8-bit name shown as UTF-8
  // Only the folder itself without --recursive; "/" separates too.
  const CliRun one = Exec("ls --json " + Disk() + " --pool DATA --volume VOL1 /Letters");
  ASSERT_EQ(one.exit, 0) << one.err;
  EXPECT_EQ(one.Json()["entries"].size(), 3u);
  EXPECT_EQ(Exec("ls " + Disk() + " --pool DATA --volume VOL1 /Nothing").exit, 1);
}

TEST_F(Cli, SaveWritesTheBuildersBytesAndFollowsPathsAndFilters) {
  Build(kDisk);
  const CliRun all = Exec("save --json " + Disk() + " --pool DATA --volume VOL1 --dest out");
  ASSERT_EQ(all.exit, 0) << all.err;
  const auto& vol = *manifest.FindVolume("DATA", "VOL1");
  for (const auto& f : vol.files) {
    std::string folder = Latin1ToUtf8(f.folder);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    const auto path = dir / "out" / folder / Latin1ToUtf8(f.name);
    EXPECT_EQ(ReadFile(path), std::string(f.data.begin(), f.data.end())) << path;
  }
  EXPECT_EQ(all.Json()["files"], vol.files.size());

  const CliRun some = Exec("save " + Disk() + " --pool DATA --volume VOL1 --dest some --ext txt Letters '\\top.xls'");
  ASSERT_EQ(some.exit, 0) << some.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "some" / "Letters" / "Old" / "1999.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir / "some" / "Letters" / "notes.txt"));
  EXPECT_FALSE(std::filesystem::exists(dir / "some" / "Letters" / "bank.doc"));  // filtered
  EXPECT_FALSE(std::filesystem::exists(dir / "some" / "top.xls"));               // filtered

  // Existing files: without a terminal nobody can be asked, which is a
  // usage error naming the options; kept with no-to-all, replaced with
  // yes-to-all.
  std::ofstream(dir / "out" / "top.xls") << "mine";
  const CliRun asked = Exec("save " + Disk() + " --pool DATA --volume VOL1 --dest out top.xls");
  EXPECT_EQ(asked.exit, 2);
  EXPECT_EQ(asked.err.rfind("ovnss-cli: The File Already Exists.: out/top.xls: no terminal to ask on", 0), 0u)
      << asked.err;
  EXPECT_NE(asked.err.find("--replace no-to-all"), std::string::npos) << asked.err;
  EXPECT_EQ(ReadFile(dir / "out" / "top.xls"), "mine");
  EXPECT_EQ(Exec("save " + Disk() + " --pool DATA --volume VOL1 --dest out --replace ask top.xls").exit, 2);
  ASSERT_EQ(Exec("save " + Disk() + " --pool DATA --volume VOL1 --dest out --replace no-to-all top.xls").exit, 0);
  EXPECT_EQ(ReadFile(dir / "out" / "top.xls"), "mine");
  ASSERT_EQ(Exec("save " + Disk() + " --pool DATA --volume VOL1 --dest out --replace yes-to-all top.xls").exit, 0);
  EXPECT_NE(ReadFile(dir / "out" / "top.xls"), "mine");
}

TEST_F(Cli, SaveAfterAndBeforeBoundTheFilesByTheirDays) {
  Build(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "2MiB" } ] } ],
    "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "file": "old.txt", "text": "a", "time": "1999-12-31 23:59:59" },
      { "file": "mid.txt", "text": "b", "time": "2004-03-15 09:30:00" },
      { "file": "new.txt", "text": "c", "time": "2040-01-01 00:00:00" },
      { "file": "none.txt", "text": "d", "attributes": false } ] } ] } ] })");
  test::ScopedEnv env;
  env.Set("TZ", "UTC");  // the days are local days
  const std::string volume = Disk() + " --pool P --volume V";
  const CliRun all = Exec("save --json " + volume + " --dest all");
  ASSERT_EQ(all.exit, 0) << all.err;
  EXPECT_EQ(all.Json()["files"], 4);  // the defaults keep nothing out, 2040 included
  const CliRun some = Exec("save --json " + volume + " --dest some --after 2000-01-01 --before 2004-03-15");
  ASSERT_EQ(some.exit, 0) << some.err;
  EXPECT_EQ(some.Json()["files"], 2);
  EXPECT_EQ(some.Json()["filtered"], 2);
  EXPECT_TRUE(std::filesystem::exists(dir / "some" / "mid.txt"));
  EXPECT_TRUE(std::filesystem::exists(dir / "some" / "none.txt"));
  for (const char* bad : {"--after 2031-01-01", "--after 2004-02-30", "--before 2100-01-01", "--before 15/03/2004"}) {
    const CliRun r = Exec("save " + volume + " --dest bad " + bad);
    EXPECT_EQ(r.exit, 2) << bad;
    EXPECT_NE(r.err.find("YYYY-MM-DD"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "bad"));
}

TEST_F(Cli, ASaveThatCannotWriteIsAReportedError) {
  Build(kDisk);
  std::ofstream(dir / "blocker") << "a file where the destination should be";
  const CliRun r = Exec("save " + Disk() + " --pool DATA --volume VOL1 --dest blocker/out");
  EXPECT_EQ(r.exit, 1);
  // The system's text, then the path and the system's reason, once.
  EXPECT_EQ(r.err, "ovnss-cli: Inavlid Path: blocker/out: Not a directory\n");
}

TEST_F(Cli, SaveInfoAndFromGiveTheSameListing) {
  Build(kDisk);
  const CliRun saved = Exec("save-info --json " + Disk() + " --pool DATA --volume VOL1 --out CASE1.SAV");
  ASSERT_EQ(saved.exit, 0) << saved.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "CASE1.SAV"));
  // Exactly the path given, as any program writes it.
  ASSERT_EQ(Exec("save-info " + Disk() + " --pool DATA --volume VOL1 --out 'My Info.dat'").exit, 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "My Info.dat"));
  const CliRun missing = Exec("save-info " + Disk() + " --pool DATA --volume VOL1 --out nowhere/x.sav");
  EXPECT_EQ(missing.exit, 1);
  EXPECT_EQ(missing.err, "ovnss-cli: Unable to open file: nowhere/x.sav: No such file or directory\n");
  const CliRun direct = Exec("ls --json --recursive " + Disk() + " --pool DATA --volume VOL1");
  const CliRun loaded = Exec("ls --json --recursive " + Disk() + " --from CASE1.SAV");
  ASSERT_EQ(loaded.exit, 0) << loaded.err;
  EXPECT_EQ(direct.Json()["entries"], loaded.Json()["entries"]);
  std::ofstream(dir / "junk.SAV") << "not a recovery information file";
  EXPECT_EQ(Exec("ls " + Disk() + " --from junk.SAV").exit, 1);
}

TEST_F(Cli, TreeAndRecoverCoverEveryVolume) {
  Build(kDisk);
  const CliRun tree = Exec("tree " + Disk() + " --pool DATA --volume VOL1");
  ASSERT_EQ(tree.exit, 0) << tree.err;
  EXPECT_EQ(tree.out, "Root-> Letters\nLetters-> Old\n");
  const CliRun treeJson = Exec("tree --json " + Disk() + " --pool DATA --volume VOL1");
  ASSERT_EQ(treeJson.exit, 0) << treeJson.err;
  EXPECT_EQ(treeJson.Json()["lines"], json({"Root-> Letters", "Letters-> Old"}));
  const CliRun r = Exec("recover --json " + Disk() + " --dest rec");
  ASSERT_EQ(r.exit, 0) << r.err;
  const json s = r.Json();  // one document and nothing else
  EXPECT_EQ(s["pools"], 2);
  EXPECT_EQ(s["volumes"], 3);
  EXPECT_EQ(s["files"], 6);
  EXPECT_EQ(ReadFile(dir / "rec" / "MAIL" / "POST" / "inbox.txt"), "hi");
}

TEST_F(Cli, TreeWritesTheViewFileAndPrintsThePdf) {
  Build(kDisk);
  const CliRun view = Exec("tree " + Disk() + " --pool DATA --volume VOL1 --view-file list.txt");
  ASSERT_EQ(view.exit, 0) << view.err;
  EXPECT_EQ(ReadFile(dir / "list.txt"), "Root-> Letters\r\nLetters-> Old\r\n");
  const CliRun pdf = Exec("tree --json " + Disk() + " --pool DATA --volume VOL1 --pdf list.pdf");
  ASSERT_EQ(pdf.exit, 0) << pdf.err;
  EXPECT_EQ(pdf.Json()["pages"], 1);
  std::string text;
  if (FILE* p = ::popen(("pdftotext -q -layout " + Quote((dir / "list.pdf").string()) + " -").c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
    ::pclose(p);
  }
  const std::string header = text.substr(0, text.find('\n'));
  EXPECT_EQ(header.rfind("Orlindavestrum Log ", 0), 0u) << text;
  EXPECT_EQ(header.back(), '1') << text;
  EXPECT_EQ(text.substr(header.size()), "\nRoot-> Letters\nLetters-> Old\n\f");
  const CliRun nowhere = Exec("tree " + Disk() + " --pool DATA --volume VOL1 --pdf nowhere/list.pdf");
  EXPECT_EQ(nowhere.exit, 1);
  EXPECT_EQ(nowhere.err, "ovnss-cli: cannot write the PDF file nowhere/list.pdf: No such file or directory\n");
}

TEST_F(Cli, CarveWritesTheDocumentsOfTheRange) {
  // The Zip lies in a window of its own: a Zip header after a compound
  // header in the same window is not taken by the scan's header rule.
  Build(R"({ "size": "4MiB", "documentsAt": 1600, "documents": [
      { "kind": "word", "size": "12KiB" }, { "kind": "excel", "size": "9KiB" }, { "kind": "zip", "size": "3000", "at": 2400 } ] })");
  const CliRun r = Exec("carve --json " + Disk() + " --dest raw --kinds word,zip --start 800 --end 8000");
  ASSERT_EQ(r.exit, 0) << r.err;
  const json docs = r.Json()["documents"];
  ASSERT_EQ(docs.size(), 2u);
  EXPECT_EQ(docs[0]["name"], "DOC1.DOC");
  EXPECT_EQ(docs[0]["kind"], "Word");
  EXPECT_EQ(docs[0]["start"], manifest.documents[0].firstSector);
  EXPECT_EQ(docs[0]["end"], manifest.documents[0].markerSector);
  EXPECT_EQ(docs[1]["name"], "ZIP3.ZIP");
  EXPECT_EQ(docs[1]["start"], 2400);
  EXPECT_FALSE(std::filesystem::exists(dir / "raw" / "XLS2.XLS"));  // found, not ticked
  EXPECT_EQ(std::filesystem::file_size(dir / "raw" / "DOC1.DOC"),
            (manifest.documents[0].markerSector - manifest.documents[0].firstSector + 1) * 512);
  const CliRun bad = Exec("carve " + Disk() + " --dest raw --start 9 --end 3");
  EXPECT_EQ(bad.exit, 2);
  EXPECT_EQ(bad.err, "ovnss-cli: Start sector should be less than End sector\n");
}

TEST_F(Cli, CarveExactWritesDocumentsByteForByteAndCountsFallbacks) {
  Build(R"({ "size": "4MiB", "documents": [
      { "kind": "word", "size": "40KiB", "at": 800 }, { "kind": "zip", "size": "3000", "at": 900 },
      { "kind": "excel5", "size": "6000", "at": 1000 } ] })");
  const CliRun r = Exec("carve --json --exact " + Disk() + " --dest raw");
  ASSERT_EQ(r.exit, 0) << r.err;
  const json out = r.Json();
  const json docs = out["documents"];
  ASSERT_EQ(docs.size(), 3u);
  for (std::size_t i = 0; i < 2; ++i) {
    const auto& placed = manifest.documents[i];
    EXPECT_EQ(docs[i]["exact"], true) << i;
    EXPECT_EQ(docs[i]["size"], placed.size) << i;
    EXPECT_EQ(docs[i]["end"], placed.firstSector + (placed.size - 1) / 512) << i;
    const std::string bytes = ReadFile(dir / "raw" / docs[i]["name"].get<std::string>());
    EXPECT_EQ(bytes.size(), placed.size) << i;
  }
  EXPECT_EQ(docs[0]["name"], "DOC1.DOC");
  EXPECT_EQ(docs[1]["name"], "ZIP2.ZIP");
  EXPECT_EQ(docs[2]["name"], "XLS3.XLS");
  EXPECT_EQ(docs[2]["exact"], false);
  EXPECT_EQ(docs[2]["fallback"], "no structure gives its length");
  EXPECT_EQ(out["fallbacks"], 1);

  const CliRun text = Exec("carve --exact " + Disk() + " --dest raw2");
  ASSERT_EQ(text.exit, 0) << text.err;
  EXPECT_NE(text.out.find("Documents ended by the signature rules (length unknown): 1\n"), std::string::npos) << text.out;
}

}  // namespace
}  // namespace ov
