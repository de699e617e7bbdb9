// Pools whose segments lie on several disks: the "disks" list, each disk's
// own partition table and section chain, and pool contents that do not
// depend on which disk a segment is on.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "mkimage/Content.h"
#include "support/BuiltImage.h"

namespace ov::test {
namespace {

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes.at(at))) |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes.at(at + 1))) << 8 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes.at(at + 2))) << 16 |
         static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes.at(at + 3))) << 24;
}

std::string ParseError(const std::string& json) { return mkimage::ParseDescriptionText(json).error; }

// Runs a command, with its output and exit code.
std::pair<int, std::string> Shell(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, output};
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) output.append(buf, n);
  int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// The pools of both layouts: ARCHIVE alone, SPAN over three segments. The
// second segment starts its data 64 sectors after its header (no marker block
// there), so a file placed before the others can run on into it from the first.
constexpr const char* kPools = R"("pools": [
    { "name": "ARCHIVE", "volumes": [ { "name": "OLD", "items": [ { "file": "old.txt", "text": "kept" } ] } ] },
    { "name": "SPAN", "free": "random", "volumes": [
      { "name": "DATA", "items": [
        { "file": "across.bin", "size": "40KiB", "content": "random", "firstBlock": 252, "crossSegments": true },
        { "file": "first.txt", "text": "in segment 0" },
        { "folder": "Reports", "items": [
          { "file": "later.bin", "size": "20KiB", "content": "random", "segment": 1 },
          { "file": "q1.doc", "document": "word", "size": "9000", "segment": 2 } ] } ] },
      { "name": "MAIL", "items": [ { "file": "inbox.txt", "text": "hello" } ] } ] } ])";

std::string OneDisk() {
  return std::string(R"({ "seed": 7, "partitions": [ { "type": "nss", "start": 2048, "sections": [
      { "pool": "ARCHIVE", "sectors": 512 },
      { "pool": "SPAN", "segment": 0, "sectors": 2048 },
      { "pool": "SPAN", "segment": 1, "sectors": 1024, "dataOffset": 64 },
      { "pool": "SPAN", "segment": 2, "sectors": 1024 } ] } ], )") + kPools + "}";
}

std::string TwoDisks() {
  return std::string(R"({ "seed": 7, "disks": [
    { "size": "4MiB", "partitions": [ { "type": "nss", "start": 2048, "sections": [
      { "pool": "ARCHIVE", "sectors": 512 },
      { "pool": "SPAN", "segment": 0, "sectors": 2048 },
      { "pool": "SPAN", "segment": 2, "sectors": 1024 } ] } ] },
    { "size": "2MiB", "output": "second.img", "unreadable": [ "100-101" ],
      "partitions": [ { "type": "nss", "start": 63, "sections": [
      { "pool": "SPAN", "segment": 1, "sectors": 1024, "dataOffset": 64 } ] } ] } ],
    "unreadable": [ { "file": "SPAN/DATA/Reports/later.bin", "sector": 1 } ], )") + kPools + "}";
}

TEST(MkimageDisks, ParseRejectsDisksBesideTopLevelPartitions) {
  EXPECT_EQ(ParseError(R"({ "disks": [ { "size": "1MiB" } ], "partitions": [] })"),
            "disks: goes instead of the top-level \"partitions\"; give it in each disk");
  EXPECT_EQ(ParseError(R"({ "disks": [ { "size": "1MiB" } ], "size": "1MiB" })"),
            "disks: goes instead of the top-level \"size\"; give it in each disk");
  EXPECT_EQ(ParseError(R"({ "disks": [] })"), "disks: expected a list of disks");
}

TEST(MkimageDisks, ParseNeedsDistinctOutputsOnFurtherDisksOnly) {
  EXPECT_EQ(ParseError(R"({ "disks": [ { "size": "1MiB" }, { "size": "1MiB" } ] })"),
            "disks[1]: missing \"output\" (the file this disk is written to)");
  EXPECT_EQ(ParseError(R"({ "disks": [ { "size": "1MiB" }, { "output": "b.img" }, { "output": "./b.img" } ] })"),
            "disks[2].output: \"./b.img\" is the output of an earlier disk too");
  EXPECT_EQ(ParseError(R"({ "disks": [ { "output": "a.img" } ] })"),
            "disks[0].output: the first disk is the image itself and has no \"output\"");
  EXPECT_EQ(ParseError(R"({ "disks": [ { }, { "output": "b.img", "unreadable": [ { "file": "P/V/x" } ] } ] })"),
            "disks[1].unreadable[0]: unreadable files go in the top-level \"unreadable\"");
  auto ok = mkimage::ParseDescriptionText(R"({ "disks": [ { "diskSignature": 5 }, { "output": "b.img", "unreadable": [ 9 ] } ] })");
  ASSERT_TRUE(ok.ok()) << ok.error;
  EXPECT_EQ(ok.description->diskSignature, 5u);
  ASSERT_EQ(ok.description->moreDisks.size(), 1u);
  EXPECT_EQ(ok.description->moreDisks[0].output, "b.img");
  EXPECT_NE(ok.description->moreDisks[0].diskSignature, 0u);
  EXPECT_EQ(ok.description->moreDisks[0].unreadable.at(0).first, 9u);
}

TEST(MkimageDisks, EverySegmentIndexOnceOverAllDisks) {
  auto disks = [](const char* first, const char* second) {
    return std::string(R"({ "disks": [ { "partitions": [ { "type": "nss", "sections": [ )") + first +
           R"( ] } ] }, { "output": "b.img", "partitions": [ { "type": "nss", "sections": [ )" + second +
           R"( ] } ] } ], "pools": [ { "name": "P" } ] })";
  };
  BuiltImage missing(disks(R"({ "pool": "P", "segment": 0, "sectors": 512 })", R"({ "pool": "P", "segment": 2, "sectors": 512 })"));
  EXPECT_EQ(missing.error(), "pool \"P\": segment 1 is missing");
  BuiltImage twice(disks(R"({ "pool": "P", "segment": 0, "sectors": 512 }, { "pool": "P", "segment": 1, "sectors": 512 })",
                         R"({ "pool": "P", "segment": 1, "sectors": 512 })"));
  EXPECT_EQ(twice.error(), "pool \"P\": segment 1 appears twice");
  EXPECT_FALSE(std::filesystem::exists(twice.image()));
  EXPECT_FALSE(std::filesystem::exists(twice.dir() / "b.img"));
  BuiltImage fine(disks(R"({ "pool": "P", "segment": 1, "sectors": 512 })", R"({ "pool": "P", "segment": 0, "sectors": 512 })"));
  EXPECT_TRUE(fine.ok()) << fine.error();
}

TEST(MkimageDisks, SegmentsLandOnTheirDisksWithTheirOwnTablesAndHeaders) {
  BuiltImage img(TwoDisks());
  ASSERT_TRUE(img.ok()) << img.error();
  const auto& m = img.manifest();
  ASSERT_EQ(m.disks.size(), 2u);
  EXPECT_EQ(m.disks[0].output, "disk.img");
  EXPECT_EQ(m.disks[1].output, "second.img");
  EXPECT_EQ(m.disks[0].sectors, 8192u);
  EXPECT_EQ(m.disks[1].sectors, 4096u);
  EXPECT_EQ(m.diskSectors, 8192u);
  ASSERT_EQ(m.partitions.size(), 2u);
  EXPECT_EQ(m.partitions[1].disk, 1u);
  EXPECT_EQ(m.partitions[1].first, 63u);
  EXPECT_EQ(m.partitions[1].sectionHeaders, std::vector<std::uint64_t>{63});

  const auto* span = m.FindPool("SPAN");
  ASSERT_NE(span, nullptr);
  ASSERT_EQ(span->segments.size(), 3u);
  EXPECT_EQ(span->segments[0].disk, 0u);
  EXPECT_EQ(span->segments[1].disk, 1u);
  EXPECT_EQ(span->segments[1].headerSector, 63u);
  EXPECT_EQ(span->segments[1].start, 63u + 64);
  EXPECT_EQ(span->segments[2].disk, 0u);
  EXPECT_EQ(span->blocks, (2048u + 1024 + 1024) / 8);
  const auto* data = m.FindVolume("SPAN", "DATA");
  ASSERT_NE(data, nullptr);
  const auto* later = mkimage::FindFile(*data, "Reports", "later.bin");
  ASSERT_NE(later, nullptr);
  EXPECT_EQ(later->disk, 1u);
  EXPECT_EQ(later->diskSector, span->segments[1].start + (later->firstBlock - 256) * 8);
  const auto* doc = mkimage::FindFile(*data, "Reports", "q1.doc");
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(doc->disk, 0u);
  EXPECT_EQ(doc->diskSector, span->segments[2].start + (doc->firstBlock - 384) * 8);
  // The disk's own range, and a sector of a file whose data lies on it.
  EXPECT_EQ(m.disks[1].unreadable,
            (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{100, 101}, {later->diskSector + 1, later->diskSector + 1}}));
  EXPECT_TRUE(m.unreadable.empty());

  // Each file holds its own table and chain, with the pool's segment count
  // and the segment's index in the descriptor after each header.
  const std::string first = Slurp(img.image()), second = Slurp(img.dir() / "second.img");
  ASSERT_EQ(first.size(), 8192u * 512);
  ASSERT_EQ(second.size(), 4096u * 512);
  EXPECT_EQ(static_cast<std::uint8_t>(second[446 + 4]), 0x65);
  EXPECT_EQ(Le32(second, 446 + 8), 63u);
  EXPECT_EQ(Le32(second, 446 + 12), 64u + 1024);
  EXPECT_NE(Le32(first, 440), Le32(second, 440));
  for (std::uint32_t k = 0; k < 3; ++k) {
    const auto& seg = span->segments[k];
    const std::string& bytes = seg.disk == 0 ? first : second;
    SCOPED_TRACE("segment " + std::to_string(k));
    EXPECT_EQ(bytes.substr(seg.headerSector * 512 + 1, 12), "Nw_PaRtItIoN");
    const std::size_t desc = (seg.headerSector + 5) * 512;
    EXPECT_EQ(bytes.at(desc + 1), 'G');
    EXPECT_EQ(Le32(bytes, desc + 20), 3u);
    EXPECT_EQ(Le32(bytes, desc + 32), k);
  }
  // The chain of the second disk ends after its one section.
  EXPECT_EQ(Le32(second, 63 * 512 + 188), 0u);
  EXPECT_EQ(mkimage::WriteFurtherUnreadableLists(m, img.image()), std::filesystem::path());
  EXPECT_NE(Slurp(img.dir() / "second.img.bad").find("\n100-101\n"), std::string::npos);
}

TEST(MkimageDisks, PoolContentsDoNotDependOnWhichDiskASegmentIsOn) {
  BuiltImage one(OneDisk());
  BuiltImage two(TwoDisks());
  ASSERT_TRUE(one.ok()) << one.error();
  ASSERT_TRUE(two.ok()) << two.error();
  const std::string oneBytes = Slurp(one.image());
  const std::string twoBytes[] = {Slurp(two.image()), Slurp(two.dir() / "second.img")};
  for (const char* key : {"ARCHIVE", "SPAN"}) {
    SCOPED_TRACE(key);
    const auto* a = one.manifest().FindPool(key);
    const auto* b = two.manifest().FindPool(key);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->blocks, b->blocks);
    EXPECT_EQ(a->rootBlock, b->rootBlock);
    ASSERT_EQ(a->volumes.size(), b->volumes.size());
    for (std::size_t v = 0; v < a->volumes.size(); ++v) {
      EXPECT_EQ(a->volumes[v].rootBlock, b->volumes[v].rootBlock);
      ASSERT_EQ(a->volumes[v].files.size(), b->volumes[v].files.size());
      for (std::size_t f = 0; f < a->volumes[v].files.size(); ++f) {
        EXPECT_EQ(a->volumes[v].files[f].firstBlock, b->volumes[v].files[f].firstBlock);
        EXPECT_EQ(a->volumes[v].files[f].sha256, b->volumes[v].files[f].sha256);
      }
    }
    // Block by block, through each layout's own segment map.
    auto blockOf = [](const mkimage::ManifestPool& pool, std::uint64_t block, const std::string* disks) {
      std::uint64_t sector = block * 8;
      for (const auto& s : pool.segments) {
        if (sector < s.length) return disks[s.disk].substr((s.start + sector) * 512, 4096);
        sector -= s.length;
      }
      return std::string();
    };
    std::size_t differing = 0;
    for (std::uint64_t blk = 0; blk < a->blocks; ++blk)
      differing += blockOf(*a, blk, &oneBytes) != blockOf(*b, blk, twoBytes) ? 1 : 0;
    EXPECT_EQ(differing, 0u);
  }
  const auto* across = mkimage::FindFile(*two.manifest().FindVolume("SPAN", "DATA"), "", "across.bin");
  ASSERT_NE(across, nullptr);
  EXPECT_EQ(across->firstBlock, 252u);  // four blocks in segment 0, the rest on the second disk
}

TEST(MkimageDisks, AFurtherDiskThatCannotBeWrittenTakesTheFirstAway) {
  TempDir dir;
  auto result = mkimage::BuildImageFromJson(R"({ "disks": [
      { "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "segment": 0, "sectors": 512 } ] } ] },
      { "output": "no-such-folder/b.img", "partitions": [ { "type": "nss", "sections": [
        { "pool": "P", "segment": 1, "sectors": 512 } ] } ] } ], "pools": [ { "name": "P" } ] })",
                                            dir / "a.img");
  EXPECT_FALSE(result.ok());
  EXPECT_NE(result.error.find("cannot create"), std::string::npos) << result.error;
  EXPECT_FALSE(std::filesystem::exists(dir / "a.img"));
}

TEST(MkimageDisks, ToolWritesEveryDiskAndItsListAndSaysSo) {
  TempDir dir;
  std::ofstream(dir / "two.json") << TwoDisks();
  auto [code, output] = Shell(std::string(OVNSS_TEST_BINARY_DIR) + "/bin/ovnss-mkimage '" + (dir / "two.json").string() +
                              "' -o '" + (dir / "first.img").string() + "'");
  ASSERT_EQ(code, 0) << output;
  EXPECT_NE(output.find("first.img: 8192 sectors, 1 partitions, 2 pools, 3 volumes"), std::string::npos) << output;
  EXPECT_NE(output.find((dir / "second.img").string() + ": disk 1, 4096 sectors, 1 partitions, 2 unreadable ranges"),
            std::string::npos)
      << output;
  EXPECT_EQ(std::filesystem::file_size(dir / "second.img"), 4096u * 512);
  EXPECT_TRUE(std::filesystem::exists(dir / "second.img.bad"));
  EXPECT_FALSE(std::filesystem::exists(dir / "first.img.bad"));
}

TEST(MkimageDisks, SamplePoolSpansItsTwoDisksAsItsReadmeSays) {
  auto parsed = mkimage::ParseDescriptionFile(std::filesystem::path(OVNSS_SOURCE_DIR) / "samples" / "sample-pool-disks.json");
  ASSERT_TRUE(parsed.ok()) << parsed.error;
  TempDir dir;
  auto built = mkimage::BuildImage(*parsed.description, dir / "sample-pool-disk-1.img");
  ASSERT_TRUE(built.ok()) << built.error;
  const auto& m = *built.manifest;
  ASSERT_EQ(m.disks.size(), 2u);
  EXPECT_TRUE(std::filesystem::exists(dir / "sample-pool-disk-2.img"));
  const auto* archive = m.FindPool("ARCHIVE");
  const auto* span = m.FindPool("SPAN");
  ASSERT_TRUE(archive && span);
  EXPECT_EQ(archive->segments.size(), 1u);
  ASSERT_EQ(span->segments.size(), 3u);
  EXPECT_EQ(span->segments[0].disk, 0u);
  EXPECT_EQ(span->segments[1].disk, 1u);
  EXPECT_EQ(span->segments[2].disk, 0u);
  const auto* data = m.FindVolume("SPAN", "DATA");
  ASSERT_NE(data, nullptr);
  ASSERT_NE(m.FindVolume("SPAN", "MAIL"), nullptr);
  for (const char* name : {"plan.txt", "budget-2004.xls", "kickoff.doc"}) {
    const auto* f = mkimage::FindFile(*data, "Projects\\2004", name);
    ASSERT_NE(f, nullptr) << name;
    EXPECT_EQ(f->disk, 1u) << name;
  }
  const auto* survey = mkimage::FindFile(*data, "Reports", "survey-2004.doc");
  ASSERT_NE(survey, nullptr);
  const std::uint64_t segmentEnd = span->segments[0].length / 8;
  EXPECT_LT(survey->firstBlock, segmentEnd);
  EXPECT_GT(survey->firstBlock + survey->blockCount, segmentEnd);
  EXPECT_EQ(survey->disk, 0u);
}

}  // namespace
}  // namespace ov::test
