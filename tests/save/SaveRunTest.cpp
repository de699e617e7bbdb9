#include "save/SaveRun.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "nss/Discovery.h"
#include "nss/FolderListing.h"
#include "nss/NameSearch.h"
#include "nss/RecordScan.h"
#include "support/Files.h"
#include "support/TestDisk.h"

namespace ov {
namespace {

using test::TestDisk;

// Root
//   Docs            a.txt, b.doc
//     Old           c.txt
//   Mail            m.txt
// top.txt
constexpr const char* kVolume = R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "2MiB" } ] } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
    { "folder": "Docs", "items": [ { "file": "a.txt", "text": "a" }, { "file": "b.doc", "text": "b" },
                                   { "folder": "Old", "items": [ { "file": "c.txt", "text": "c" } ] } ] },
    { "folder": "Mail", "items": [ { "file": "m.txt", "text": "m" } ] },
    { "file": "top.txt", "text": "t" } ] } ] } ] })";

// A save run over the volume of `description`.
struct VolumeFixture : ::testing::Test {
  explicit VolumeFixture(const char* description) : disk(description), discovery(disk.view()) {
    QuickPartitionScan(disk.view(), discovery.pools());
    discovery.OpenSelectedPool(disk.prompter);
    ScanVolume(disk.view(), discovery.currentPool(), discovery.volumes()[0].rootSector, false, tree, nullptr);
    extractor = std::make_unique<Extractor>(disk.view(), discovery.currentPool(), tree, settings, disk.prompter,
                                            progress, listener);
    run = std::make_unique<SaveRun>(*extractor, tree, settings, progress, disk.prompter);
  }
  ItemHandle Item(const std::string& name) const {
    for (const auto& f : tree.folders()) {
      if (f.name() == name) return f.treeItem;
    }
    return kNoItem;
  }
  // The rows of the root listing, with `selected` per row by name.
  std::vector<SaveRow> RootRows(const std::set<std::string>& selected) const {
    std::vector<SaveRow> rows;
    for (const auto& row : ListFolder(tree, 0)) {
      rows.push_back({selected.count(row.name) > 0, row.folder, std::stoull(row.id),
                      std::stoull(row.size)});
    }
    return rows;
  }
  std::set<std::string> Written() const {
    std::set<std::string> files;
    if (!std::filesystem::exists(out.path())) return files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(out.path())) {
      if (e.is_regular_file()) files.insert(std::filesystem::relative(e.path(), out.path()).string());
    }
    return files;
  }

  TestDisk disk;
  Discovery discovery;
  RecoveryTree tree;
  SaveSettings settings;
  SaveProgress progress;
  SaveListener listener;
  std::unique_ptr<Extractor> extractor;
  std::unique_ptr<SaveRun> run;
  test::TempDir out;
};

struct RunFixture : VolumeFixture {
  RunFixture() : VolumeFixture(kVolume) {}
};

TEST_F(RunFixture, TreeWalkSavesCheckedFoldersFilesFirstButNotRootFiles) {
  tree.ClickCheck(kRootItem);
  run->Run(SaveSource::Tree, out.path(), {});
  EXPECT_EQ(Written(), (std::set<std::string>{"Docs/a.txt", "Docs/b.doc", "Docs/Old/c.txt", "Mail/m.txt"}));
  EXPECT_EQ(run->folderCounter(), 3u);
  EXPECT_EQ(progress.plannedFiles.load(), 5u);  // every selected file counts, the root's too
  EXPECT_TRUE(disk.prompter.Asked().empty());
}

TEST_F(RunFixture, TreeWalkFollowsPartialChecks) {
  tree.ClickCheck(Item("Old"));
  run->Run(SaveSource::Tree, out.path(), {});
  EXPECT_EQ(Written(), std::set<std::string>{"Docs/Old/c.txt"});  // Docs is only partly checked
  EXPECT_TRUE(std::filesystem::is_directory(out / "Docs"));
}

TEST_F(RunFixture, TreeWalkWithNothingBelowRootSaysNoFolderSelected) {
  run->Run(SaveSource::Tree, out.path(), {});
  EXPECT_TRUE(Written().empty());
  EXPECT_EQ(disk.prompter.Messages(), std::vector<std::string>{"No folder selected, select folders from left window"});
}

TEST_F(RunFixture, AnUnusableDestinationIsAnInvalidPath) {
  std::ofstream(out / "file") << "x";
  tree.ClickCheck(kRootItem);
  run->Run(SaveSource::Tree, out / "file" / "dest", {});
  run->Run(SaveSource::List, out / "file" / "dest", RootRows({"top.txt"}));
  EXPECT_EQ(disk.prompter.Messages(), (std::vector<std::string>{"Inavalid Path", "Inavlid Path"}));
  // The command line adds the path and the system's reason.
  const auto causes = disk.prompter.Causes();
  ASSERT_EQ(causes.size(), 2u);
  EXPECT_EQ(causes[0].first, (out / "file" / "dest").string());
  EXPECT_EQ(causes[0].second, "Not a directory");
}

TEST_F(RunFixture, AnEmptyDestinationSavesNothingAndSaysNothing) {
  tree.ClickCheck(kRootItem);
  run->Run(SaveSource::Tree, "", {});
  EXPECT_TRUE(disk.prompter.Asked().empty());
  EXPECT_EQ(progress.plannedFiles.load(), 0u);
}

TEST_F(RunFixture, ListWalkFolderRowsBringTheirWholeSubtreeTickedOrNot) {
  run->Run(SaveSource::List, out.path(), RootRows({"Docs", "top.txt"}));
  EXPECT_EQ(Written(), (std::set<std::string>{"Docs/a.txt", "Docs/b.doc", "Docs/Old/c.txt", "top.txt"}));
  EXPECT_EQ(progress.plannedFiles.load(), 4u);
  EXPECT_EQ(progress.Count(SaveOutcome::Written), 4u);
}

TEST_F(RunFixture, FoundNamesGoToTheirOwnFolderPathsAndATickedFolderBringsItsInsideOnce) {
  // The rows a name search gives, ticked by name; the selection mode of the
  // file list does not apply to them.
  settings.selectionMode = SelectionMode::InvertSelection;
  const FolderItems holders(tree);
  auto row = [&](const std::string& name, bool ticked) {
    for (bool folder : {true, false}) {
      const NodeList& nodes = folder ? tree.folders() : tree.files();
      for (std::uint32_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].name() != name) continue;
        const std::uint64_t key = folder ? nodes[i].treeItem : (std::uint64_t{nodes[i].indexHigh} << 32 | nodes[i].index);
        return SaveRow{ticked, folder, key, nodes[i].size, holders.Holding(tree, {folder, i})};
      }
    }
    ADD_FAILURE() << name;
    return SaveRow{};
  };
  run->Run(SaveSource::Found, out.path(),
           {row("c.txt", true), row("a.txt", false), row("m.txt", true), row("Mail", true), row("top.txt", true)});
  EXPECT_EQ(Written(), (std::set<std::string>{"Docs/Old/c.txt", "Mail/m.txt", "top.txt"}));
  EXPECT_EQ(progress.Count(SaveOutcome::Written), 3u);
  EXPECT_TRUE(disk.prompter.Asked().empty());  // m.txt is not written twice, so no replace question
  EXPECT_EQ(test::ReadFile(out / "Docs" / "Old" / "c.txt"), "c");
}

// A file whose folder is not in the volume.
struct OrphanFixture : VolumeFixture {
  OrphanFixture()
      : VolumeFixture(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "2MiB" } ] } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
    { "file": "lost.txt", "text": "l", "parentId": "0x4711" } ] } ] } ] })") {}
};

TEST_F(OrphanFixture, AFoundFileWithoutAPlacedFolderIsWrittenIntoTheDestination) {
  ASSERT_EQ(tree.files().size(), 1u);
  const TreeNode& lost = tree.files()[0];
  ASSERT_EQ(FolderItems(tree).Holding(tree, {false, 0}), kNoItem);
  run->Run(SaveSource::Found, out.path(), {SaveRow{true, false, lost.index, lost.size, kNoItem}});
  EXPECT_EQ(Written(), std::set<std::string>{"lost.txt"});
  EXPECT_EQ(test::ReadFile(out / "lost.txt"), "l");
}

TEST_F(RunFixture, AStoppedCountStillSavesTheWholeSelectionAndSaysWhenItEnded) {
  tree.ClickCheck(kRootItem);
  const std::atomic<bool> stopped{true};
  int counted = 0;
  run->Run(SaveSource::Tree, out.path(), {}, stopped, [&] {
    ++counted;
    EXPECT_TRUE(Written().empty());  // before the walk
  });
  EXPECT_EQ(counted, 1);
  EXPECT_EQ(progress.plannedFiles.load(), 0u);
  EXPECT_EQ(Written(), (std::set<std::string>{"Docs/a.txt", "Docs/b.doc", "Docs/Old/c.txt", "Mail/m.txt"}));
}

TEST_F(RunFixture, SelectionModesChooseTheRows) {
  settings.selectionMode = SelectionMode::InvertSelection;
  run->Run(SaveSource::List, out.path(), RootRows({"Docs", "Mail", "top.txt"}));
  EXPECT_TRUE(Written().empty());
  EXPECT_TRUE(disk.prompter.Asked().empty());
  settings.selectionMode = SelectionMode::SaveAll;
  run->Run(SaveSource::List, out.path(), RootRows({}));
  EXPECT_EQ(Written().size(), 5u);
}

TEST_F(RunFixture, StopEndsTheRunBeforeTheNextFile) {
  struct Stopper : SaveListener {
    SaveProgress* progress = nullptr;
    void SetText(SaveField f, const std::string&) override {
      if (f == SaveField::FileName) progress->abortRun = true;
    }
  } stopper;
  stopper.progress = &progress;
  Extractor e(disk.view(), discovery.currentPool(), tree, settings, disk.prompter, progress, stopper);
  SaveRun stopping(e, tree, settings, progress, disk.prompter);
  tree.ClickCheck(kRootItem);
  stopping.Run(SaveSource::Tree, out.path(), {});
  EXPECT_EQ(progress.Count(SaveOutcome::Skipped), 1u);
  // The stopped file never takes its name, and the progress names it.
  EXPECT_TRUE(Written().empty());
  EXPECT_EQ(progress.removedFiles, std::vector<std::filesystem::path>{out / "Docs" / "a.txt"});
  EXPECT_EQ(progress.bytesRemoved, progress.bytesWritten);
  EXPECT_FALSE(std::filesystem::exists(out / "Mail"));
  EXPECT_FALSE(progress.abortRun.load());  // cleared when the run ends
}

TEST_F(RunFixture, TheSizeCalculationStopsWhereItStands) {
  std::atomic<bool> stop{true};
  tree.ClickCheck(kRootItem);
  run->CalculateSize(SaveSource::Tree, {}, stop);
  EXPECT_EQ(progress.plannedFiles.load(), 0u);
  std::atomic<bool> go{false};
  run->CalculateSize(SaveSource::List, RootRows({"Docs"}), go);
  EXPECT_EQ(progress.plannedFiles.load(), 3u);
  EXPECT_EQ(progress.plannedBytes.load(), 3u);
}

// A volume whose names try to leave the destination, for a destination
// with symbolic links planted where its folders and files go.
//   ..        (2003-11-02 14:00)   ..   x.txt (2004-03-15 09:30)
//   Shared                         Phone List.txt
// link.txt
constexpr const char* kHostile = R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "2MiB" } ] } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
    { "folder": "..", "time": "2003-11-02 14:00", "items": [
        { "file": "..", "text": "dots" }, { "file": "x.txt", "text": "x", "time": "2004-03-15 09:30" } ] },
    { "folder": "Shared", "items": [ { "file": "Phone List.txt", "text": "p" } ] },
    { "file": "link.txt", "text": "l" } ] } ] } ] })";

struct HostileFixture : VolumeFixture {
  HostileFixture() : VolumeFixture(kHostile) { settings.selectionMode = SelectionMode::SaveAll; }
  std::vector<SaveRow> RootRows() const { return VolumeFixture::RootRows({}); }
  static std::set<std::string> Entries(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
      names.insert(e.path().lexically_relative(folder).string());
    }
    return names;
  }

  test::TempDir elsewhere;
};

TEST_F(HostileFixture, PlantedLinksAreRefusedByNameAndTheRestIsSaved) {
  ASSERT_TRUE(disk.ok());
  std::ofstream(elsewhere / "file") << "untouched";
  std::filesystem::create_directory_symlink(elsewhere.path(), out / "Shared");
  std::filesystem::create_symlink(elsewhere / "file", out / "link.txt");
  run->Run(SaveSource::List, out.path(), RootRows());

  EXPECT_EQ(Entries(elsewhere.path()), std::set<std::string>{"file"});
  EXPECT_EQ(test::ReadFile(elsewhere / "file"), "untouched");
  // ".." as a folder and as a file stay inside, under names of their own.
  EXPECT_EQ(Entries(out.path()), (std::set<std::string>{"Shared", "link.txt", "__", "__/__", "__/x.txt"}));
  EXPECT_EQ(test::ReadFile(out / "__" / "__"), "dots");
  EXPECT_EQ(progress.Count(SaveOutcome::Written), 2u);
  EXPECT_EQ(progress.refusedLinks, (std::vector<std::filesystem::path>{out / "Shared", out / "link.txt"}));
  const auto messages = disk.prompter.Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], (out / "Shared").string() + ": a symbolic link is in the way; it is not followed");
}

TEST_F(HostileFixture, SavedFilesAndFoldersKeepTheVolumesTimes) {
  ASSERT_TRUE(disk.ok());
  run->Run(SaveSource::List, out.path(), RootRows());
  struct stat file {}, folder {};
  ASSERT_EQ(::stat((out / "__" / "x.txt").c_str(), &file), 0);
  ASSERT_EQ(::stat((out / "__").c_str(), &folder), 0);
  EXPECT_EQ(file.st_mtime, 1079343000);  // 2004-03-15 09:30 UTC
  EXPECT_EQ(file.st_atime, 1079343000);
  // Set after its contents were written, which would have made it new.
  EXPECT_EQ(folder.st_mtime, 1067781600);  // 2003-11-02 14:00 UTC
  EXPECT_EQ(folder.st_atime, 1067781600);
}

}  // namespace
}  // namespace ov
