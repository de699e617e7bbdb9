// The volume as the mount shows it must be what a save of the whole volume
// writes: held against a real save, names that collide included.

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "disk/SectorReader.h"
#include "nss/Discovery.h"
#include "nss/PartitionScan.h"
#include "nss/RecordScan.h"
#include "save/SaveRun.h"
#include "save/SavedTree.h"
#include "support/BuiltImage.h"
#include "support/FakePrompter.h"
#include "support/Files.h"
#include "support/ImageOpener.h"
#include "support/TempDir.h"

namespace ov {
namespace {

// Two segments (files cross between them); in Letters a file and a folder
// of one name, two files of one name and a name made safe; in the root a
// folder and a file of one name and two folders of one name.
constexpr const char* kDisk = R"({
  "partitions": [ { "type": "nss", "sections": [
      { "pool": "P", "segment": 1, "sectors": "1MiB", "dataOffset": 160 },
      { "pool": "P", "segment": 0, "sectors": "1MiB" } ] } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "folder": "Letters", "items": [
        { "file": "X", "text": "file X" },
        { "folder": "X", "items": [ { "file": "hidden.txt", "text": "under a taken name" } ] },
        { "file": "dup.txt", "text": "first" },
        { "file": "dup.txt", "text": "second" },
        { "file": "..", "text": "dots" },
        { "file": "big.bin", "size": "700KiB", "content": "random", "firstBlock": 200, "crossSegments": true } ] },
      { "folder": "Y", "items": [ { "file": "in-y.txt", "text": "folder Y" } ] },
      { "folder": "Same", "items": [ { "file": "one.txt", "text": "1" } ] },
      { "folder": "Same", "items": [ { "file": "two.txt", "text": "2" } ] },
      { "file": "Y", "text": "file Y" } ] } ] } ]
})";

struct Volume {
  explicit Volume(const std::filesystem::path& image)
      : opener(image), reader(opener, prompter), discovery(DiskView{&reader, std::string(DevicePathOf(0))}) {
    reader.SetOsFamily('N');
    QuickPartitionScan(disk(), discovery.pools());
    EXPECT_TRUE(discovery.OpenSelectedPool(prompter));
    EXPECT_TRUE(discovery.PickVolume(0));
    ScanVolume(disk(), discovery.currentPool(), discovery.SelectedVolume()->rootSector,
               discovery.pools().compactLayout(), tree, nullptr);
  }
  const DiskView& disk() const { return discovery.disk(); }

  // The command line's save of the whole volume: each placed folder of the
  // root, then the root's files.
  void SaveAll(const std::filesystem::path& destination) {
    std::vector<SaveRow> rows;
    for (auto p : tree.FoldersUnder(0)) rows.push_back({true, true, tree.folders()[p].treeItem, 0});
    for (auto p : tree.FilesUnder(0)) rows.push_back({true, false, tree.files()[p].index, tree.files()[p].size});
    // A name taken by the other kind cannot be written: skip it and go on.
    prompter.writeErrorAnswers.assign(8, WriteErrorChoice::Skip);
    prompter.replaceAnswers.assign(8, ReplaceChoice::No);  // as without a terminal
    SaveSettings settings;
    SaveProgress progress;
    SaveListener listener;
    Extractor extractor(disk(), discovery.currentPool(), tree, settings, prompter, progress, listener);
    SaveRun run(extractor, tree, settings, progress, prompter);
    run.Run(SaveSource::List, destination, rows);
  }

  test::FakePrompter prompter;
  test::ImageOpener opener;
  SectorReader reader;
  Discovery discovery;
  RecoveryTree tree;
};

// Path -> bytes ("/" for folders) of a saved folder and of the saved tree.
std::map<std::string, std::string> OnDisk(const std::filesystem::path& root) {
  std::map<std::string, std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    out[e.path().lexically_relative(root).generic_string()] = e.is_directory() ? "/" : test::ReadFile(e.path());
  }
  return out;
}

std::map<std::string, std::string> Shown(const SavedTree& t, const DiskView& disk) {
  std::map<std::string, std::string> out;
  std::vector<std::pair<std::uint32_t, std::string>> stack{{SavedTree::kRoot, ""}};
  while (!stack.empty()) {
    const auto [entry, path] = stack.back();
    stack.pop_back();
    for (std::uint32_t child : t.at(entry).children) {
      const std::string p = (path.empty() ? "" : path + "/") + t.at(child).name;
      if (t.at(child).folder) {
        out[p] = "/";
        stack.push_back({child, p});
        continue;
      }
      // In odd pieces, as a reader asks.
      std::string bytes;
      std::vector<std::byte> buffer(1000);
      std::uint64_t unread = 0;
      while (const std::size_t n = t.Read(disk, child, bytes.size(), buffer, unread)) {
        bytes.append(reinterpret_cast<const char*>(buffer.data()), n);
      }
      EXPECT_EQ(bytes.size(), t.at(child).size) << p;
      out[p] = bytes;
    }
  }
  return out;
}

TEST(SavedTree, IsWhatASaveOfTheWholeVolumeWrites) {
  test::BuiltImage img(kDisk);
  ASSERT_TRUE(img.ok()) << img.error();
  Volume run(img.image());
  test::TempDir out;
  run.SaveAll(out.path());
  const SavedTree tree(run.tree, run.discovery.currentPool());
  const auto shown = Shown(tree, run.disk());
  EXPECT_EQ(shown, OnDisk(out.path()));
  // The rules, spelt out.
  EXPECT_EQ(shown.at("Letters/X"), "file X");        // files before folders below the root
  EXPECT_EQ(shown.at("Letters/dup.txt"), "first");   // the first of a name stays
  EXPECT_EQ(shown.at("Letters/__"), "dots");         // safe names
  EXPECT_EQ(shown.at("Y"), "/");                     // folders first in the root
  EXPECT_EQ(shown.at("Same/one.txt"), "1");          // folders of one name share
  EXPECT_EQ(shown.at("Same/two.txt"), "2");
  EXPECT_EQ(tree.Find("/Letters/big.bin"), tree.Find("Letters//big.bin"));
  EXPECT_FALSE(tree.Find("/Letters/X/hidden.txt"));
  EXPECT_FALSE(tree.Find("/nothing"));
  const auto big = tree.Find("/Letters/big.bin");
  ASSERT_TRUE(big);
  EXPECT_EQ(tree.at(*big).runs.size(), 2u) << "big.bin should cross the segments";
  std::vector<std::byte> buffer(10);
  std::uint64_t unread = 0;
  EXPECT_EQ(tree.Read(run.disk(), *big, tree.at(*big).size, buffer, unread), 0u);  // at the end
  EXPECT_EQ(tree.at(*big).volumePath, "\\Letters\\big.bin");
}

}  // namespace
}  // namespace ov
