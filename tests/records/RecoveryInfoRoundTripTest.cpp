// A scan of a built disk, saved to a recovery information file and loaded
// into a fresh run, must browse and save exactly like the original run.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>

#include "disk/Device.h"
#include "disk/SectorReader.h"
#include "nss/Discovery.h"
#include "nss/FolderListing.h"
#include "nss/PartitionScan.h"
#include "nss/RecordScan.h"
#include "records/RecoveryInfo.h"
#include "save/SaveRun.h"
#include "support/FakePrompter.h"
#include "support/TempDir.h"
#include "support/BuiltImage.h"
#include "support/ImageOpener.h"

namespace ov {
namespace {

using test::BuiltImage;
using test::FakePrompter;
using test::TempDir;

// A two-segment pool whose second segment comes first on the disk, so data
// and tree blocks are reached through the segment map; folders nested
// three deep, a repeated folder record, an orphan folder, a folder listed
// as a file, files with and without time stamps, an empty file, names with
// 8-bit characters, and a file whose data lies in the second segment.
constexpr const char* kDisk = R"({
  "seed": 8,
  "time": "2005-05-05 10:20:30",
  "partitions": [ { "type": "0x65", "start": 2048, "sections": [
      { "pool": "STORE", "segment": 1, "sectors": 4096, "dataOffset": 64 },
      { "pool": "STORE", "segment": 0, "sectors": 4096 } ] } ],
  "pools": [ { "name": "STORE", "volumes": [
    { "name": "EMPTY", "items": [] },
    { "name": "DATA", "tree": { "recordsPerLeaf": 5 }, "items": [
      { "folder": "Projects", "time": "2003-02-01 12:00:00", "duplicate": true, "items": [
        { "folder": "Alpha", "items": [
          { "folder": "Drafts", "items": [
            { "file": "plan.doc", "document": "word", "size": 12000 },
            { "file": "notes.txt", "lines": ["one", "two", "three"] } ] },
          { "file": "budget.xls", "document": "excel", "size": 9000, "segment": 1 } ] },
        { "folder": "Beta", "items": [
          { "file": "empty.dat", "size": 0 },
          { "file": "Caf\u00e9.txt", "text": "menu\r\n", "attributes": false } ] } ] },
      { "folder": "Lost", "parentId": "0x4444", "items": [
        { "file": "orphan.txt", "text": "nobody lists me\r\n" } ] },
      { "folder": "Shortcut.lnk", "fileFlag": true },
      { "file": "readme.txt", "size": 5000, "content": "prose", "time": 1100000000 },
      { "file": "big.bin", "size": 70000, "content": "random", "segment": 1 } ] } ] } ]
})";

using test::ImageOpener;

// One run of the program over the image: its disk, discovery state and tree.
struct Session {
  explicit Session(const std::filesystem::path& image)
      : opener(image), reader(opener, prompter), discovery(DiskView{&reader, std::string(DevicePathOf(0))}) {
    reader.SetOsFamily('N');
  }
  const DiskView& disk() const { return discovery.disk(); }

  // Finds the pools, opens `pool`, scans `volume`.
  void Scan(const std::string& pool, const std::string& volume) {
    QuickPartitionScan(disk(), discovery.pools());
    const auto& pools = discovery.pools().pools();
    for (std::size_t i = 0; i < pools.size(); ++i)
      if (pools[i].name == pool) discovery.selectedPool = static_cast<std::uint32_t>(i);
    ASSERT_TRUE(discovery.OpenSelectedPool(prompter));
    ASSERT_TRUE(discovery.PickVolume(VolumeIndex(volume)));
    ScanVolume(disk(), discovery.currentPool(), discovery.SelectedVolume()->rootSector,
               discovery.pools().compactLayout(), tree, nullptr);
  }
  std::size_t VolumeIndex(const std::string& name) const {
    for (std::size_t i = 0; i < discovery.volumes().size(); ++i)
      if (discovery.volumes()[i].name == name) return i;
    return discovery.volumes().size();
  }

  // Ticks "Root" and saves the tree into `destination`.
  void SaveAll(const std::filesystem::path& destination) {
    tree.SetCheck(kRootItem, CheckState::Checked);
    SaveSettings settings;
    SaveProgress progress;
    SaveListener listener;
    Extractor extractor(disk(), discovery.currentPool(), tree, settings, prompter, progress, listener);
    SaveRun run(extractor, tree, settings, progress, prompter);
    run.Run(SaveSource::Tree, destination, {});
  }

  FakePrompter prompter;
  ImageOpener opener;
  SectorReader reader;
  Discovery discovery;
  RecoveryTree tree;
};

std::string Rows(const ListRows& rows) {
  std::ostringstream s;
  for (const auto& r : rows)
    s << r.folder << '|' << r.name << '|' << r.type << '|' << r.size << '|' << r.date << '|' << r.time << '|'
      << r.id << '|' << r.image << '\n';
  return s.str();
}

// What the user can see of a run: the pool and volume trees, the folder
// tree with every item's path and listing, the structure dump, and every
// node with the fields that drive extraction.
std::string Browse(const Session& s) {
  std::ostringstream out;
  const PoolInfo& pool = s.discovery.currentPool();
  out << "pool " << pool.name << " size " << pool.segmentSize << " segments " << pool.segmentCount;
  for (std::size_t k = 0; k < pool.segmentCount; ++k) out << ' ' << pool.segmentStart[k] << '+' << pool.segmentLength[k];
  out << "\nsuperblock " << s.discovery.superblockSector() << " root " << s.discovery.poolRootSector() << '\n';
  for (const auto& item : s.discovery.VolumeTree().items) out << "volume item " << item << '\n';
  for (const auto& v : s.discovery.volumes()) out << "volume " << v.name << ' ' << v.rootSector << '\n';
  out << "selected " << s.discovery.selectedVolume << '\n';
  const RecoveryTree& t = s.tree;
  for (ItemHandle i = 0; i < t.ItemCount(); ++i) {
    out << "item " << i << " \\" << t.ItemPath(i) << " key " << t.ItemKey(i) << '\n' << Rows(ListFolder(t, t.ItemKey(i)));
  }
  for (const auto& line : FolderStructureLines(t)) out << "line " << line << '\n';
  for (const auto& f : t.folders()) out << "folder " << f.objectId << ' ' << f.parentId << ' ' << f.index << ' ' << f.time << ' ' << f.name() << ' ' << f.treeItem << '\n';
  for (const auto& f : t.files())
    out << "file " << f.objectId << ' ' << f.parentId << ' ' << f.index << ' ' << f.time << ' ' << f.name() << " data "
        << f.firstBlock << ' ' << f.blockCount << ' ' << f.size << '\n';
  return out.str();
}

// Every regular file under `root`, by relative path, with its bytes.
std::map<std::string, std::string> Tree(const std::filesystem::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string rel = std::filesystem::relative(entry.path(), root).string();
    if (entry.is_directory()) {
      files[rel + "/"] = "";
      continue;
    }
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    files[rel] = bytes.str();
  }
  return files;
}

TEST(RecoveryInfoRoundTrip, LoadedRunBrowsesAndSavesLikeTheScannedOne) {
  BuiltImage img(kDisk);
  ASSERT_TRUE(img.ok()) << img.error();
  TempDir dir;

  Session scanned(img.image());
  scanned.Scan("STORE", "DATA");
  ASSERT_EQ(scanned.discovery.currentPool().segmentCount, 2u);
  ASSERT_GE(scanned.tree.folders().size(), 5u);
  ASSERT_GE(scanned.tree.files().size(), 7u);
  auto saved = SaveRecoveryInfo((dir / "case1").string(), scanned.discovery, scanned.tree, scanned.prompter);
  ASSERT_TRUE(saved) << saved.message;
  EXPECT_EQ(saved.path, (dir / "CASE1.SAV").string());

  Session loaded(img.image());
  auto result = LoadRecoveryInfo(saved.path, loaded.discovery, loaded.tree, loaded.prompter);
  ASSERT_TRUE(result) << result.message;
  EXPECT_TRUE(loaded.prompter.Asked().empty());
  EXPECT_EQ(Browse(loaded), Browse(scanned));
  EXPECT_EQ(Rows(result.rootRows), Rows(ListFolder(scanned.tree, 0)));
  // The file keeps records, not the scan's counters: a repeated folder
  // record counted by the scan is not among them.
  EXPECT_EQ(scanned.tree.folderCount, 6u);
  EXPECT_EQ(loaded.tree.folderCount, 5u);
  EXPECT_EQ(loaded.tree.fileCount, scanned.tree.fileCount);
  // The manifest's truth, not just agreement between the two runs.
  const auto* volume = img.manifest().FindVolume("STORE", "DATA");
  ASSERT_NE(volume, nullptr);
  ASSERT_EQ(loaded.tree.files().size(), volume->files.size());
  for (std::size_t i = 0; i < volume->files.size(); ++i) {
    const auto& want = volume->files[i];
    const auto& got = loaded.tree.files()[i];
    SCOPED_TRACE(want.name);
    EXPECT_EQ(got.name(), want.name);
    EXPECT_EQ(got.firstBlock, want.firstBlock);
    EXPECT_EQ(got.blockCount, want.blockCount);
    EXPECT_EQ(got.size, want.size);
    EXPECT_EQ(got.time, want.time);
  }

  // A save of every file from both runs writes the same folders and bytes.
  scanned.SaveAll(dir / "from-scan");
  loaded.SaveAll(dir / "from-file");
  const auto fromScan = Tree(dir / "from-scan");
  const auto fromFile = Tree(dir / "from-file");
  EXPECT_GE(fromScan.size(), 8u);
  EXPECT_EQ(fromFile, fromScan);
  // And the bytes are the right ones, also for data in the second segment.
  for (const auto& want : volume->files) {
    if (!want.placed || want.folder.empty()) continue;
    std::string rel = want.folder;
    std::replace(rel.begin(), rel.end(), '\\', '/');
    const auto got = fromFile.find(rel + "/" + SafeFileName(want.name));
    ASSERT_NE(got, fromFile.end()) << rel << "/" << want.name;
    EXPECT_EQ(got->second, std::string(want.data.begin(), want.data.end())) << want.name;
  }
  EXPECT_EQ(fromFile.count("Projects/Alpha/budget.xls"), 1u);

  // Saving the loaded run writes the same file again.
  auto again = SaveRecoveryInfo((dir / "case2.sav").string(), loaded.discovery, loaded.tree, loaded.prompter);
  ASSERT_TRUE(again) << again.message;
  std::ifstream a(saved.path, std::ios::binary), b(again.path, std::ios::binary);
  std::ostringstream aa, bb;
  aa << a.rdbuf();
  bb << b.rdbuf();
  EXPECT_EQ(aa.str(), bb.str());
}

TEST(RecoveryInfoRoundTrip, EmptyVolumeLoadsIntoAnEmptyTree) {
  BuiltImage img(kDisk);
  ASSERT_TRUE(img.ok()) << img.error();
  TempDir dir;
  Session scanned(img.image());
  scanned.Scan("STORE", "EMPTY");
  EXPECT_TRUE(scanned.tree.folders().empty());
  EXPECT_TRUE(scanned.tree.files().empty());
  auto saved = SaveRecoveryInfo((dir / "empty").string(), scanned.discovery, scanned.tree, scanned.prompter);
  ASSERT_TRUE(saved) << saved.message;

  Session loaded(img.image());
  loaded.tree.AddFolderNode("stale", 1, 0, 0, 0);
  loaded.tree.BuildFolderTree();
  auto result = LoadRecoveryInfo(saved.path, loaded.discovery, loaded.tree, loaded.prompter);
  ASSERT_TRUE(result) << result.message;
  EXPECT_TRUE(result.rootRows.empty());
  EXPECT_EQ(loaded.tree.ItemCount(), 1u);
  EXPECT_EQ(Browse(loaded), Browse(scanned));
}

// The compact layout's pool carries the 23-character fixed name, which must
// survive the file.
TEST(RecoveryInfoRoundTrip, CompactPoolKeepsItsFixedName) {
  BuiltImage img(R"({
    "partitions": [ { "type": "0x69", "start": 2048, "sectors": 8192, "pool": "C" } ],
    "pools": [ { "name": "C", "volumes": [ { "name": "VOLC", "items": [
      { "folder": "F", "items": [ { "file": "x.txt", "text": "compact\r\n" } ] } ] } ] } ]
  })");
  ASSERT_TRUE(img.ok()) << img.error();
  TempDir dir;
  Session scanned(img.image());
  scanned.Scan(std::string(kCompactPoolName), "VOLC");
  ASSERT_EQ(scanned.discovery.currentPool().name, kCompactPoolName);
  ASSERT_EQ(scanned.tree.files().size(), 1u);
  auto saved = SaveRecoveryInfo((dir / "compact").string(), scanned.discovery, scanned.tree, scanned.prompter);
  ASSERT_TRUE(saved) << saved.message;
  Session loaded(img.image());
  auto result = LoadRecoveryInfo(saved.path, loaded.discovery, loaded.tree, loaded.prompter);
  ASSERT_TRUE(result) << result.message;
  EXPECT_EQ(Browse(loaded), Browse(scanned));
  scanned.SaveAll(dir / "a");
  loaded.SaveAll(dir / "b");
  EXPECT_EQ(Tree(dir / "b"), Tree(dir / "a"));
  EXPECT_EQ(Tree(dir / "b").at("F/x.txt"), "compact\r\n");
}

// Corruption of a real file: every truncation at a field boundary and random
// byte flips never crash and never leave a half-loaded run.
TEST(RecoveryInfoRoundTrip, DamagedCopiesOfARealFileNeverHalfLoad) {
  BuiltImage img(kDisk);
  ASSERT_TRUE(img.ok()) << img.error();
  TempDir dir;
  Session scanned(img.image());
  scanned.Scan("STORE", "DATA");
  auto saved = SaveRecoveryInfo((dir / "real").string(), scanned.discovery, scanned.tree, scanned.prompter);
  ASSERT_TRUE(saved) << saved.message;
  std::ifstream in(saved.path, std::ios::binary);
  std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::byte> full(chars.size());
  std::transform(chars.begin(), chars.end(), full.begin(), [](char c) { return static_cast<std::byte>(c); });

  // A run that already shows something, so "unchanged" means something.
  auto makeVictim = [&] {
    auto victim = std::make_unique<Session>(img.image());
    victim->Scan("STORE", "EMPTY");
    victim->tree.AddFolderNode("kept", 77, 0, 0, 0);
    victim->tree.BuildFolderTree();
    return victim;
  };
  auto victim = makeVictim();
  const std::string before = Browse(*victim);

  auto tryLoad = [&](const std::vector<std::byte>& bytes) {
    const auto path = dir / "DAMAGED.SAV";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    FakePrompter prompter;
    auto result = LoadRecoveryInfo(path.string(), victim->discovery, victim->tree, prompter);
    if (result) {
      // A flip the checks cannot see (a name byte, a sector number) loads;
      // the next attempt starts from the sample state again.
      victim = makeVictim();
      return true;
    }
    EXPECT_EQ(Browse(*victim), before);
    EXPECT_EQ(prompter.Messages().size(), 1u);
    return false;
  };

  for (std::size_t length = 0; length < full.size(); length += (length < 400 ? 1 : 7)) {
    SCOPED_TRACE(length);
    EXPECT_FALSE(tryLoad(std::vector<std::byte>(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length))));
  }
  std::mt19937 rng(8);
  std::uniform_int_distribution<std::size_t> where(0, full.size() - 1);
  for (int round = 0; round < 300; ++round) {
    auto bytes = full;
    bytes[where(rng)] = static_cast<std::byte>(rng() & 0xFF);
    bytes[where(rng)] = static_cast<std::byte>(rng() & 0xFF);
    SCOPED_TRACE(round);
    tryLoad(bytes);
  }
}

}  // namespace
}  // namespace ov
