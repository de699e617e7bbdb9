#include "records/RecoveryInfo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <random>
#include <sstream>

#include "support/FakePrompter.h"
#include "support/TempDir.h"

namespace ov {
namespace {

using test::FakePrompter;
using test::TempDir;

// Writes the file's fields the way the format lays them out, so the tests
// can describe files (valid, foreign or damaged) field by field.
class FileBytes {
public:
  FileBytes& Raw(std::string_view text) {
    for (char c : text) bytes.push_back(static_cast<std::byte>(c));
    return *this;
  }
  FileBytes& U8(std::uint8_t v) { return Le(v, 1); }
  FileBytes& U16(std::uint16_t v) { return Le(v, 2); }
  FileBytes& U32(std::uint32_t v) { return Le(v, 4); }
  FileBytes& U64(std::uint64_t v) { return Le(v, 8); }
  // A record with the length its name gives.
  FileBytes& Record(std::uint64_t id, std::uint32_t index, std::uint64_t parent, std::string_view name,
                    std::uint64_t firstBlock = 0, std::uint32_t blocks = 0, std::uint32_t time = 0,
                    std::uint64_t size = 0) {
    return RecordWithLength(static_cast<std::uint32_t>(49 + name.size()), id, index, parent, name, firstBlock,
                            blocks, time, size);
  }
  FileBytes& RecordWithLength(std::uint32_t length, std::uint64_t id, std::uint64_t index, std::uint64_t parent,
                              std::string_view name, std::uint64_t firstBlock = 0, std::uint32_t blocks = 0,
                              std::uint32_t time = 0, std::uint64_t size = 0) {
    return U32(length).U64(id).U64(index).U64(parent).U64(firstBlock).U32(blocks).Raw(name).U32(time).U64(size).U8(0);
  }
  // Header, selected volume 0, pool "P1" of one segment at 1000, superblock
  // 1008, root 4000, one volume "VOL1" at 5000.
  FileBytes& SimpleHead(std::string_view header = kRecoveryInfoHeader) {
    return Raw(header).U32(0).U32(2).Raw("P1").U32(2048).U32(1).U32(1000).U32(0).U32(1008).U64(4000).U16(1).U16(4).Raw(
        "VOL1").U64(5000);
  }

  std::vector<std::byte> bytes;

private:
  FileBytes& Le(std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<std::byte>((v >> (8 * i)) & 0xFF));
    return *this;
  }
};

void WriteFile(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::byte> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::byte> bytes(chars.size());
  std::transform(chars.begin(), chars.end(), bytes.begin(), [](char c) { return static_cast<std::byte>(c); });
  return bytes;
}

// Everything a load may change, as text, so "unchanged" is one comparison.
std::string Dump(const Discovery& d, const RecoveryTree& t) {
  std::ostringstream s;
  const PoolInfo& p = d.currentPool();
  s << "pool " << p.name << ' ' << p.segmentSize << ' ' << p.segmentCount;
  for (std::size_t k = 0; k < kMaxSegments; ++k) s << ' ' << p.segmentStart[k] << '/' << p.segmentLength[k];
  s << "\nsb " << d.superblockSector() << " root " << d.poolRootSector() << " sel " << d.selectedVolume << '\n';
  for (const auto& v : d.volumes()) s << "vol " << v.name << ' ' << v.rootSector << '\n';
  auto node = [&](const char* kind, const TreeNode& n) {
    s << kind << ' ' << n.objectId << ' ' << n.index << ' ' << n.indexHigh << ' ' << n.parentId << ' '
      << n.firstBlock << ' ' << n.blockCount << ' ' << n.time << ' ' << n.size << ' ' << n.name() << ' '
      << n.treeItem << ' ' << n.selected << '\n';
  };
  for (const auto& n : t.folders()) node("folder", n);
  for (const auto& n : t.files()) node("file", n);
  s << "counts " << t.folderCount << ' ' << t.fileCount << " items " << t.ItemCount() << " current "
    << t.currentFolderItem << '\n';
  for (ItemHandle i = 0; i < t.ItemCount(); ++i) {
    s << "item " << i << ' ' << t.ItemText(i) << ' ' << static_cast<int>(t.Item(i).state);
    for (auto c : t.Item(i).children) s << ' ' << c;
    s << '\n';
  }
  return s.str();
}

// A run state to save: a two-segment pool, two volumes, a few folders and
// files with times.
struct RunState {
  Discovery discovery{DiskView{}};
  RecoveryTree tree;

  RunState() {
    PoolInfo pool;
    pool.name = "DATA";
    pool.segmentSize = 409600;
    pool.segmentCount = 2;
    pool.segmentStart[0] = 2048;
    pool.segmentStart[1] = 900000;
    pool.segmentLength[0] = 200000;
    pool.segmentLength[1] = 300000;
    discovery.Restore(pool, {{"SYS", 3000}, {"USERS", 0x1'0000'0000ull}}, 1, 2056, 0x1234'5678'9ABCull);
    tree.AddFolderNode("Docs", 10, 0, 0, 1200000000);
    tree.AddFolderNode("Old", 11, 10, 1, 0);
    tree.AddFileNode("a.doc", 100, 10, 0, 77, 2, 5000, 1300000000);
    tree.AddFileNode("top.txt", 101, 0, 1, 0x1'0000'0001ull, 1, 12, 0);
    tree.folderCount = 2;
    tree.fileCount = 2;
    tree.BuildFolderTree();
  }
};

// ---------------------------------------------------------------- layout

TEST(RecoveryInfoFormat, WritesTheFieldsInOrderWithTheirWidths) {
  RunState run;
  auto encoded = EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree));
  ASSERT_EQ(encoded.problem, "");
  FileBytes expect;
  expect.Raw("Tolvane Orlindavestrum NSS    2.02.05")
      .U32(1)
      .U32(4)
      .Raw("DATA")
      .U32(409600)
      .U32(2)
      .U32(2048)
      .U32(900000)
      .U32(200000)
      .U32(300000)
      .U32(2056)
      .U64(0x1234'5678'9ABCull)
      .U16(2)
      .U16(3)
      .Raw("SYS")
      .U16(5)
      .Raw("USERS")
      .U64(3000)
      .U64(0x1'0000'0000ull)
      .U32(2)
      .Record(10, 0, 0, "Docs", 0, 0, 1200000000)
      .Record(11, 1, 10, "Old")
      .U32(2)
      .Record(100, 0, 10, "a.doc", 77, 2, 1300000000, 5000)
      .Record(101, 1, 0, "top.txt", 0x1'0000'0001ull, 1, 0, 12);
  EXPECT_EQ(encoded.bytes, expect.bytes);
}

TEST(RecoveryInfoFormat, HeaderTextIs37Bytes) {
  EXPECT_EQ(kRecoveryInfoHeader.size(), 37u);
  EXPECT_EQ(kRecoveryInfoHeader.substr(22, 8), " NSS    ");
}

TEST(RecoveryInfoFormat, EmptyResultWritesZeroCountsAndLoadsAnEmptyTree) {
  RunState run;
  run.tree.ReleaseTree();
  auto encoded = EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree));
  ASSERT_EQ(encoded.problem, "");
  const std::size_t n = encoded.bytes.size();
  ASSERT_GE(n, 8u);
  for (std::size_t i = n - 8; i < n; ++i) EXPECT_EQ(encoded.bytes[i], std::byte{0}) << i;

  RunState fresh;
  auto decoded = DecodeRecoveryInfo(encoded.bytes);
  ASSERT_TRUE(decoded.info) << decoded.problem;
  ApplyRecoveryInfo(*decoded.info, fresh.discovery, fresh.tree);
  EXPECT_TRUE(fresh.tree.folders().empty());
  EXPECT_TRUE(fresh.tree.files().empty());
  EXPECT_EQ(fresh.tree.ItemCount(), 1u);
  EXPECT_EQ(fresh.tree.folderCount, 0u);
  EXPECT_EQ(fresh.tree.fileCount, 0u);
  EXPECT_TRUE(ListFolder(fresh.tree, 0).empty());
}

TEST(RecoveryInfoFormat, EmptyVolumeNameIsATwoByteZeroLength) {
  RunState run;
  run.discovery.Restore(run.discovery.currentPool(), {{"", 42}}, 0, 2056, 7);
  auto encoded = EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree));
  ASSERT_EQ(encoded.problem, "");
  // After the header (37), selected volume (4), name length and "DATA" (8),
  // segment size and count (8), 2 + 2 segment fields (16), superblock (4),
  // root (8): the volume count, then the name length.
  const std::size_t v = 37 + 4 + 8 + 8 + 16 + 4 + 8;
  EXPECT_EQ(encoded.bytes[v], std::byte{1});
  EXPECT_EQ(encoded.bytes[v + 2], std::byte{0});
  EXPECT_EQ(encoded.bytes[v + 3], std::byte{0});
  EXPECT_EQ(encoded.bytes[v + 4], std::byte{42});  // the root follows at once

  auto decoded = DecodeRecoveryInfo(encoded.bytes);
  ASSERT_TRUE(decoded.info) << decoded.problem;
  ASSERT_EQ(decoded.info->volumes.size(), 1u);
  EXPECT_EQ(decoded.info->volumes[0].name, "");
  EXPECT_EQ(decoded.info->volumes[0].rootSector, 42u);
}

TEST(RecoveryInfoFormat, TenByteNameGivesRecordLength59And63BytesOnDisk) {
  RunState run;
  run.tree.ReleaseTree();
  auto empty = EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree)).bytes;
  run.tree.AddFolderNode("0123456789", 5, 0, 0, 0);
  auto one = EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree)).bytes;
  EXPECT_EQ(one.size(), empty.size() + 63);
  // The record starts after the folder count, which follows the volume table.
  const std::size_t record = empty.size() - 4;
  EXPECT_EQ(one[record], std::byte{59});
  EXPECT_EQ(one[record + 1], std::byte{0});
  EXPECT_EQ(one[record + 62], std::byte{0});  // reserved
}

TEST(RecoveryInfoFormat, SavesAndLoadsEveryFieldBack) {
  RunState run;
  auto encoded = EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree));
  RunState fresh;
  fresh.tree.ReleaseTree();
  auto decoded = DecodeRecoveryInfo(encoded.bytes);
  ASSERT_TRUE(decoded.info) << decoded.problem;
  ApplyRecoveryInfo(*decoded.info, fresh.discovery, fresh.tree);
  EXPECT_EQ(Dump(fresh.discovery, fresh.tree), Dump(run.discovery, run.tree));
}

// ---------------------------------------------------------------- loading rules

TEST(RecoveryInfoLoad, AnyHeaderBytesLoadTheSame) {
  auto withHeader = [](std::string_view header) {
    FileBytes f;
    f.SimpleHead(header).U32(1).Record(10, 0, 0, "A").U32(1).Record(100, 0, 10, "x.txt", 9, 1, 0, 100);
    RunState run;
    auto decoded = DecodeRecoveryInfo(f.bytes);
    EXPECT_TRUE(decoded.info) << decoded.problem;
    if (decoded.info) ApplyRecoveryInfo(*decoded.info, run.discovery, run.tree);
    return Dump(run.discovery, run.tree);
  };
  const std::string base = withHeader(kRecoveryInfoHeader);
  EXPECT_EQ(withHeader("Tolvane Orlindavestrum NSS    2.06.04"), base);
  EXPECT_EQ(withHeader(std::string(37, '\0')), base);
  EXPECT_EQ(withHeader("xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"), base);
}

TEST(RecoveryInfoLoad, RepeatedFolderIdIsRefusedButTheStoredCountsStay) {
  FileBytes f;
  f.SimpleHead().U32(3).Record(10, 0, 0, "A").Record(10, 1, 0, "A again").Record(11, 2, 10, "B").U32(0);
  RunState run;
  auto decoded = DecodeRecoveryInfo(f.bytes);
  ASSERT_TRUE(decoded.info) << decoded.problem;
  ApplyRecoveryInfo(*decoded.info, run.discovery, run.tree);
  ASSERT_EQ(run.tree.folders().size(), 2u);
  EXPECT_EQ(run.tree.folders()[0].name(), "A");
  EXPECT_EQ(run.tree.folders()[1].name(), "B");
  EXPECT_EQ(run.tree.folderCount, 3u);
  EXPECT_EQ(run.tree.ItemCount(), 3u);  // Root, A, B
}

TEST(RecoveryInfoLoad, FoldersDropTheirDataFieldsAndNodesKeepTheirTime) {
  FileBytes f;
  f.SimpleHead()
      .U32(1)
      .Record(10, 0, 0, "A", /*firstBlock*/ 55, /*blocks*/ 3, /*time*/ 1111111111, /*size*/ 999)
      .U32(1)
      .Record(100, 4, 10, "x.doc", 66, 2, 1222222222, 8000);
  RunState run;
  auto decoded = DecodeRecoveryInfo(f.bytes);
  ASSERT_TRUE(decoded.info) << decoded.problem;
  ApplyRecoveryInfo(*decoded.info, run.discovery, run.tree);
  const TreeNode& folder = run.tree.folders().at(0);
  EXPECT_EQ(folder.firstBlock, 0u);
  EXPECT_EQ(folder.blockCount, 0u);
  EXPECT_EQ(folder.size, 0u);
  EXPECT_EQ(folder.time, 1111111111u);
  const TreeNode& file = run.tree.files().at(0);
  EXPECT_EQ(file.firstBlock, 66u);
  EXPECT_EQ(file.blockCount, 2u);
  EXPECT_EQ(file.size, 8000u);
  EXPECT_EQ(file.time, 1222222222u);
  EXPECT_EQ(file.index, 4u);
  auto rows = ListFolder(run.tree, 10);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].date, ListDate(1222222222));
  EXPECT_EQ(rows[0].time, ListTime(1222222222));
}

TEST(RecoveryInfoLoad, IndexHighHalfAndReservedByteAndTrailingBytesAreIgnored) {
  FileBytes f;
  f.SimpleHead().U32(0).U32(1);
  f.U32(49 + 1).U64(100).U64(0x7'0000'0005ull).U64(0).U64(1).U32(1).Raw("z").U32(0).U64(3).U8(0xAB);
  f.Raw("trailing junk");
  auto decoded = DecodeRecoveryInfo(f.bytes);
  ASSERT_TRUE(decoded.info) << decoded.problem;
  ASSERT_EQ(decoded.info->files.size(), 1u);
  EXPECT_EQ(decoded.info->files[0].index, 5u);
  EXPECT_EQ(decoded.info->files[0].indexHigh, 0u);
  EXPECT_EQ(decoded.info->files[0].name, "z");
  EXPECT_EQ(decoded.info->files[0].size, 3u);
}

TEST(RecoveryInfoLoad, NamesAreBytes) {
  FileBytes f;
  f.SimpleHead().U32(1).Record(10, 0, 0, std::string("caf\xE9\0x", 6)).U32(0);
  auto decoded = DecodeRecoveryInfo(f.bytes);
  ASSERT_TRUE(decoded.info) << decoded.problem;
  EXPECT_EQ(decoded.info->folders.at(0).name, std::string("caf\xE9\0x", 6));
}

struct BadFile {
  const char* label;
  std::vector<std::byte> bytes;
  std::string problem;
};

std::vector<BadFile> BadFiles() {
  std::vector<BadFile> bad;
  bad.push_back({"short header", FileBytes().Raw("Tolvane").bytes, "it ends inside the header"});
  bad.push_back({"pool name too long", FileBytes().Raw(kRecoveryInfoHeader).U32(0).U32(24).Raw(std::string(24, 'p')).bytes,
                 "the pool name is 24 bytes long (at most 23)"});
  bad.push_back({"pool name past the end", FileBytes().Raw(kRecoveryInfoHeader).U32(0).U32(10).Raw("abc").bytes,
                 "it ends inside the pool name"});
  bad.push_back({"51 segments", FileBytes().Raw(kRecoveryInfoHeader).U32(0).U32(1).Raw("P").U32(8).U32(51).bytes,
                 "the segment count is 51 (at most 50)"});
  bad.push_back({"huge segment count",
                 FileBytes().Raw(kRecoveryInfoHeader).U32(0).U32(1).Raw("P").U32(8).U32(0xFFFFFFFF).bytes,
                 "the segment count is 4294967295 (at most 50)"});
  bad.push_back({"segment lengths cut",
                 FileBytes().Raw(kRecoveryInfoHeader).U32(0).U32(1).Raw("P").U32(8).U32(2).U32(1).U32(2).U32(3).bytes,
                 "it ends inside the segment lengths"});
  {
    FileBytes f;
    f.Raw(kRecoveryInfoHeader).U32(0).U32(1).Raw("P").U32(8).U32(1).U32(1).U32(0).U32(9).U64(0).U16(51);
    bad.push_back({"51 volumes", f.bytes, "the volume count is 51 (at most 50)"});
  }
  {
    FileBytes f;
    f.Raw(kRecoveryInfoHeader).U32(0).U32(1).Raw("P").U32(8).U32(1).U32(1).U32(0).U32(9).U64(0).U16(2);
    f.U16(1).Raw("A").U16(50).Raw(std::string(50, 'v'));
    bad.push_back({"volume name too long", f.bytes, "the name of volume 2 is 50 bytes long (at most 49)"});
  }
  {
    FileBytes f;
    f.SimpleHead();
    f.bytes.resize(f.bytes.size() - 3);
    bad.push_back({"volume roots cut", f.bytes, "it ends inside the root sector of volume 1"});
  }
  bad.push_back({"no folder count", FileBytes().SimpleHead().bytes, "it ends inside the folder count"});
  bad.push_back({"record length 48", FileBytes().SimpleHead().U32(2).Record(1, 0, 0, "A").RecordWithLength(48, 2, 1, 0, "").bytes,
                 "folder record 2 has record length 48 (at least 49)"});
  bad.push_back({"record length 0", FileBytes().SimpleHead().U32(0).U32(1).U32(0).bytes,
                 "file record 1 has record length 0 (at least 49)"});
  bad.push_back({"record past the end",
                 FileBytes().SimpleHead().U32(1).RecordWithLength(60, 1, 0, 0, "A").bytes,
                 "folder record 1 runs past the end of the file"});
  bad.push_back({"count above the records", FileBytes().SimpleHead().U32(2).Record(1, 0, 0, "A").bytes,
                 "it ends inside the length of folder record 2"});
  bad.push_back({"huge record count", FileBytes().SimpleHead().U32(0).U32(0xFFFFFFFF).Record(1, 0, 0, "f").bytes,
                 "it ends inside the length of file record 2"});
  bad.push_back({"no file count", FileBytes().SimpleHead().U32(0).bytes, "it ends inside the file count"});
  return bad;
}

TEST(RecoveryInfoLoad, DamagedFilesNameTheProblemAndChangeNothing) {
  TempDir dir;
  for (const auto& bad : BadFiles()) {
    SCOPED_TRACE(bad.label);
    auto decoded = DecodeRecoveryInfo(bad.bytes);
    EXPECT_FALSE(decoded.info);
    EXPECT_EQ(decoded.problem, bad.problem);

    const auto path = dir / "bad.sav";
    WriteFile(path, bad.bytes);
    RunState run;
    const std::string before = Dump(run.discovery, run.tree);
    FakePrompter prompter;
    auto result = LoadRecoveryInfo(path.string(), run.discovery, run.tree, prompter);
    EXPECT_EQ(result.status, RecoveryInfoStatus::Damaged);
    const std::string message = "Unable to load the recovery information file: " + bad.problem + ". Nothing was loaded.";
    EXPECT_EQ(result.message, message);
    ASSERT_EQ(prompter.Asked().size(), 1u);
    EXPECT_EQ(prompter.Asked()[0].text, message);
    EXPECT_EQ(prompter.Asked()[0].caption, "Orlindavestrum For NSS");
    EXPECT_EQ(prompter.Asked()[0].icon, MessageIcon::Error);
    EXPECT_EQ(Dump(run.discovery, run.tree), before);
  }
}

TEST(RecoveryInfoLoad, LimitsThemselvesLoad) {
  FileBytes f;
  f.Raw(kRecoveryInfoHeader).U32(49).U32(23).Raw(kCompactPoolName).U32(8).U32(50);
  for (int k = 0; k < 50; ++k) f.U32(1000u + static_cast<std::uint32_t>(k));
  for (int k = 0; k < 50; ++k) f.U32(10);
  f.U32(1008).U64(0).U16(50);
  for (int v = 0; v < 50; ++v) f.U16(49).Raw(std::string(49, static_cast<char>('A' + v % 26)));
  for (int v = 0; v < 50; ++v) f.U64(static_cast<std::uint64_t>(v));
  f.U32(1).Record(1, 0, 0, "").U32(0);
  auto decoded = DecodeRecoveryInfo(f.bytes);
  ASSERT_TRUE(decoded.info) << decoded.problem;
  EXPECT_EQ(decoded.info->pool.name, kCompactPoolName);
  EXPECT_EQ(decoded.info->pool.segmentStart[49], 1049u);
  EXPECT_EQ(decoded.info->volumes.size(), 50u);
  EXPECT_EQ(decoded.info->volumes[49].rootSector, 49u);
  EXPECT_EQ(decoded.info->folders.at(0).name, "");
}

// ---------------------------------------------------------------- files and paths

TEST(RecoveryInfoPathRule, UpperCasesTheNameAndAppendsSavUnlessItEndsInSav) {
  EXPECT_EQ(RecoveryInfoPath("case1"), "CASE1.SAV");
  EXPECT_EQ(RecoveryInfoPath("case1.sav"), "CASE1.SAV");
  EXPECT_EQ(RecoveryInfoPath("oldsav"), "OLDSAV");
  EXPECT_EQ(RecoveryInfoPath("c:\\work\\case1"), "c:\\work\\CASE1.SAV");
  EXPECT_EQ(RecoveryInfoPath("/home/Ann/runs/case1.Sav"), "/home/Ann/runs/CASE1.SAV");
  EXPECT_EQ(RecoveryInfoPath("/tmp/sav/x"), "/tmp/sav/X.SAV");
  EXPECT_EQ(RecoveryInfoPath("caf\xe9"), "CAF\xe9.SAV");
}

TEST(RecoveryInfoFile, SaveWritesUnderThePathRuleAndLoadReadsItBack) {
  TempDir dir;
  RunState run;
  FakePrompter prompter;
  auto saved = SaveRecoveryInfo((dir / "case1").string(), run.discovery, run.tree, prompter);
  ASSERT_TRUE(saved) << saved.message;
  EXPECT_EQ(saved.path, (dir / "CASE1.SAV").string());
  EXPECT_TRUE(std::filesystem::exists(dir / "CASE1.SAV"));
  EXPECT_FALSE(std::filesystem::exists(dir / "case1"));
  EXPECT_TRUE(prompter.Asked().empty());
  EXPECT_EQ(ReadFile(dir / "CASE1.SAV"), EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree)).bytes);

  RunState fresh;
  fresh.tree.ReleaseTree();
  auto loaded = LoadRecoveryInfo(saved.path, fresh.discovery, fresh.tree, prompter);
  ASSERT_TRUE(loaded) << loaded.message;
  EXPECT_TRUE(prompter.Asked().empty());
  EXPECT_EQ(Dump(fresh.discovery, fresh.tree), Dump(run.discovery, run.tree));
  ASSERT_EQ(loaded.rootRows.size(), 2u);
  EXPECT_EQ(loaded.rootRows[0].name, "Docs");
  EXPECT_EQ(loaded.rootRows[1].name, "top.txt");
}

TEST(RecoveryInfoFile, SaveTruncatesAnExistingFile) {
  TempDir dir;
  WriteFile(dir / "OLD.SAV", std::vector<std::byte>(100000, std::byte{7}));
  RunState run;
  FakePrompter prompter;
  ASSERT_TRUE(SaveRecoveryInfo((dir / "old.sav").string(), run.discovery, run.tree, prompter));
  EXPECT_EQ(ReadFile(dir / "OLD.SAV"), EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree)).bytes);
}

TEST(RecoveryInfoFile, SaveIntoAMissingFolderIsUnableToOpenFile) {
  TempDir dir;
  RunState run;
  FakePrompter prompter;
  auto result = SaveRecoveryInfo((dir / "missing" / "case1").string(), run.discovery, run.tree, prompter);
  EXPECT_EQ(result.status, RecoveryInfoStatus::CannotOpen);
  ASSERT_EQ(prompter.Asked().size(), 1u);
  EXPECT_EQ(prompter.Asked()[0].text, "Unable to open file");
  EXPECT_EQ(prompter.Asked()[0].caption, "Orlindavestrum For NSS");
  EXPECT_EQ(prompter.Asked()[0].icon, MessageIcon::Error);
}

TEST(RecoveryInfoFile, SectorsBeyond32BitsAreRefusedBeforeTheFileIsTouched) {
  TempDir dir;
  const std::vector<std::byte> old(10, std::byte{1});
  WriteFile(dir / "BIG.SAV", old);
  RunState run;
  PoolInfo pool = run.discovery.currentPool();
  pool.segmentStart[1] = 0x1'0000'0000ull;
  run.discovery.Restore(pool, run.discovery.volumes(), 0, 2056, 0);
  FakePrompter prompter;
  auto result = SaveRecoveryInfo((dir / "big").string(), run.discovery, run.tree, prompter);
  EXPECT_EQ(result.status, RecoveryInfoStatus::DoesNotFit);
  EXPECT_EQ(result.message,
            "Unable to save the recovery information: segment 2 of the pool starts at sector 4294967296, beyond the "
            "32-bit sector numbers of the file.");
  ASSERT_EQ(prompter.Messages().size(), 1u);
  EXPECT_EQ(ReadFile(dir / "BIG.SAV"), old);

  // A superblock sector past 32 bits likewise.
  pool.segmentStart[1] = 900000;
  run.discovery.Restore(pool, run.discovery.volumes(), 0, 0x1'0000'0008ull, 0);
  EXPECT_EQ(EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree)).problem,
            "the pool's superblock lies at sector 4294967304, beyond the 32-bit sector numbers of the file");
  // Starts past 32 bits in unused slots do not matter.
  pool.segmentStart[2] = 0x1'0000'0000ull;
  run.discovery.Restore(pool, run.discovery.volumes(), 0, 2056, 0);
  EXPECT_EQ(EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree)).problem, "");
}

TEST(RecoveryInfoFile, SaveRefusesWhatCouldNotBeLoadedBack) {
  RunState run;
  PoolInfo pool = run.discovery.currentPool();
  run.discovery.Restore(pool, {{std::string(50, 'v'), 1}}, 0, 2056, 0);
  EXPECT_EQ(EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree)).problem,
            "the name of volume 1 is 50 bytes long (at most 49)");
  pool.name = std::string(24, 'p');
  run.discovery.Restore(pool, {}, 0, 2056, 0);
  EXPECT_EQ(EncodeRecoveryInfo(CaptureRecoveryInfo(run.discovery, run.tree)).problem,
            "the pool name is 24 bytes long (at most 23)");
}

TEST(RecoveryInfoFile, UnopenableFilesAreUnableToOpenFileAndChangeNothing) {
  TempDir dir;
  RunState source;
  FakePrompter quiet;
  auto saved = SaveRecoveryInfo((dir / "good").string(), source.discovery, source.tree, quiet);
  ASSERT_TRUE(saved);
  const auto readOnly = dir / "READONLY.SAV";
  std::filesystem::copy_file(saved.path, readOnly);
  ::chmod(readOnly.c_str(), 0444);
  std::filesystem::create_directory(dir / "FOLDER.SAV");

  for (const std::string& path : {readOnly.string(), (dir / "MISSING.SAV").string(), (dir / "FOLDER.SAV").string()}) {
    SCOPED_TRACE(path);
    RunState run;
    run.tree.ReleaseTree();
    run.tree.AddFolderNode("keep", 1, 0, 0, 0);
    run.tree.BuildFolderTree();
    const std::string before = Dump(run.discovery, run.tree);
    FakePrompter prompter;
    auto result = LoadRecoveryInfo(path, run.discovery, run.tree, prompter);
    EXPECT_EQ(result.status, RecoveryInfoStatus::CannotOpen);
    EXPECT_EQ(prompter.Messages(), std::vector<std::string>{"Unable to open file"});
    ASSERT_EQ(prompter.Asked().size(), 1u);
    EXPECT_EQ(prompter.Asked()[0].caption, "Orlindavestrum For NSS");
    EXPECT_EQ(prompter.Asked()[0].icon, MessageIcon::Error);
    EXPECT_EQ(Dump(run.discovery, run.tree), before);
  }
}

// ---------------------------------------------------------------- robustness

// Loads `bytes` into a run holding the sample state; the load either
// succeeds or leaves the state exactly as it was.
void LoadNeverHalfLoads(const std::vector<std::byte>& bytes, const std::filesystem::path& file) {
  WriteFile(file, bytes);
  RunState run;
  const std::string before = Dump(run.discovery, run.tree);
  FakePrompter prompter;
  auto result = LoadRecoveryInfo(file.string(), run.discovery, run.tree, prompter);
  if (result) {
    EXPECT_TRUE(prompter.Asked().empty());
  } else {
    EXPECT_EQ(result.status, RecoveryInfoStatus::Damaged);
    EXPECT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(Dump(run.discovery, run.tree), before);
  }
}

TEST(RecoveryInfoRobustness, EveryTruncationOfAValidFileIsRefusedWithoutChange) {
  TempDir dir;
  RunState source;
  const auto full = EncodeRecoveryInfo(CaptureRecoveryInfo(source.discovery, source.tree)).bytes;
  for (std::size_t length = 0; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    std::vector<std::byte> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_FALSE(DecodeRecoveryInfo(cut).info);
    RunState run;
    const std::string before = Dump(run.discovery, run.tree);
    FakePrompter prompter;
    WriteFile(dir / "CUT.SAV", cut);
    auto result = LoadRecoveryInfo((dir / "CUT.SAV").string(), run.discovery, run.tree, prompter);
    EXPECT_EQ(result.status, RecoveryInfoStatus::Damaged);
    EXPECT_EQ(prompter.Messages().size(), 1u);
    EXPECT_EQ(Dump(run.discovery, run.tree), before);
  }
  EXPECT_TRUE(DecodeRecoveryInfo(full).info);
}

TEST(RecoveryInfoRobustness, RandomByteFlipsNeverCrashOrHalfLoad) {
  TempDir dir;
  RunState source;
  const auto full = EncodeRecoveryInfo(CaptureRecoveryInfo(source.discovery, source.tree)).bytes;
  std::mt19937 rng(20240607);
  std::uniform_int_distribution<std::size_t> where(0, full.size() - 1);
  std::uniform_int_distribution<int> value(0, 255);
  std::uniform_int_distribution<int> howMany(1, 4);
  for (int round = 0; round < 400; ++round) {
    auto bytes = full;
    for (int n = howMany(rng); n > 0; --n) bytes[where(rng)] = static_cast<std::byte>(value(rng));
    SCOPED_TRACE(round);
    LoadNeverHalfLoads(bytes, dir / "FLIP.SAV");
  }
}

TEST(RecoveryInfoRobustness, ExtremeCountsAndLengthsNeverCrashOrHalfLoad) {
  TempDir dir;
  RunState source;
  const auto full = EncodeRecoveryInfo(CaptureRecoveryInfo(source.discovery, source.tree)).bytes;
  // Every 16- and 32-bit position of the file gets the values that stress a
  // count or a length.
  const std::uint32_t extremes[] = {0, 1, 48, 49, 50, 51, 0x7FFF, 0xFFFF, 0x7FFFFFFF, 0xFFFFFFFF};
  for (std::size_t at = 0; at + 4 <= full.size(); ++at) {
    for (std::uint32_t v : extremes) {
      auto bytes = full;
      for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
      auto decoded = DecodeRecoveryInfo(bytes);
      EXPECT_TRUE(decoded.info || !decoded.problem.empty()) << at << ' ' << v;
    }
  }
  // A few of them through the whole load.
  for (std::size_t at : {std::size_t{41}, std::size_t{53}, std::size_t{57}, full.size() - 4}) {
    for (std::uint32_t v : extremes) {
      auto bytes = full;
      for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::byte>((v >> (8 * i)) & 0xFF);
      SCOPED_TRACE(std::to_string(at) + " " + std::to_string(v));
      LoadNeverHalfLoads(bytes, dir / "EXTREME.SAV");
    }
  }
}

}  // namespace
}  // namespace ov

namespace ov {
namespace {

// A run over two disks writes the disk table after the records, with the
// full sector numbers; loaded into a run whose disks lie elsewhere, every
// sector moves with its disk, and a segment on a disk the run lacks is
// missing.
TEST(RecoveryInfoDiskTable, RecordsEachSegmentsDiskAndMovesWithTheDisks) {
  const DiskLayout written = {{0, 0x1'2000'0000ull, "a.img"}, {0x1'2000'0000ull, 50000, "b.img"}};
  Discovery discovery{DiskView{}, written};
  PoolInfo pool;
  pool.name = "SPAN";
  pool.segmentCount = 3;
  pool.segmentStart = {0x1'1000'0000ull, 0x1'2000'0000ull + 127, 0};
  pool.segmentLength = {1000, 2000, 0};
  pool.segmentDisk = {0, 1, 0};
  pool.segmentMissing[2] = true;
  discovery.Restore(pool, {{"DATA", 0x1'2000'0000ull + 500}}, 0, 0x1'1000'0008ull, 0x1'2000'0000ull + 400);
  RecoveryTree tree;
  const auto encoded = EncodeRecoveryInfo(CaptureRecoveryInfo(discovery, tree));
  ASSERT_EQ(encoded.problem, "");
  FileBytes table;
  table.Raw("OVNSS-DISKS").U16(1).U16(2);
  table.U16(5).Raw("a.img").U64(0).U64(0x1'2000'0000ull);
  table.U16(5).Raw("b.img").U64(0x1'2000'0000ull).U64(50000);
  table.U16(0).U8(0).U64(0x1'1000'0000ull);
  table.U16(1).U8(0).U64(0x1'2000'0000ull + 127);
  table.U16(0).U8(1).U64(0);
  table.U64(0x1'1000'0008ull);
  ASSERT_GT(encoded.bytes.size(), table.bytes.size());
  EXPECT_TRUE(std::equal(table.bytes.begin(), table.bytes.end(), encoded.bytes.end() - static_cast<std::ptrdiff_t>(table.bytes.size())));

  // Given the other way round, from another folder: each disk is known by
  // its file name and size.
  Discovery later{DiskView{}, {{0, 50000, "/elsewhere/b.img"}, {50000, 0x1'2000'0000ull, "/elsewhere/a.img"}}};
  auto decoded = DecodeRecoveryInfo(encoded.bytes);
  ASSERT_TRUE(decoded.info) << decoded.problem;
  ApplyRecoveryInfo(*decoded.info, later, tree);
  const PoolInfo& got = later.currentPool();
  EXPECT_EQ(got.segmentStart[0], 50000 + 0x1'1000'0000ull);
  EXPECT_EQ(got.segmentStart[1], 127u);
  EXPECT_TRUE(got.segmentMissing[2]);
  EXPECT_EQ(later.superblockSector(), 50000 + 0x1'1000'0008ull);
  EXPECT_EQ(later.poolRootSector(), 400u);
  EXPECT_EQ(later.volumes()[0].rootSector, 500u);

  // A disk of another size in its place is not taken for it.
  Discovery other{DiskView{}, {{0, 0x1'2000'0000ull, "a.img"}, {0x1'2000'0000ull, 40000, "c.img"}}};
  ApplyRecoveryInfo(*decoded.info, other, tree);
  EXPECT_FALSE(other.currentPool().segmentMissing[0]);
  EXPECT_TRUE(other.currentPool().segmentMissing[1]);

  // One disk only: what lay on the second is missing.
  Discovery alone{DiskView{}};
  ApplyRecoveryInfo(*decoded.info, alone, tree);
  EXPECT_FALSE(alone.currentPool().segmentMissing[0]);
  EXPECT_TRUE(alone.currentPool().segmentMissing[1]);

  // A damaged table is named, and nothing loads.
  auto cut = encoded.bytes;
  cut.resize(cut.size() - 3);
  EXPECT_EQ(DecodeRecoveryInfo(cut).problem, "it ends inside the superblock sector of the disk table");
}

}  // namespace
}  // namespace ov
