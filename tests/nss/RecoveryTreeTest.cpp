#include "nss/RecoveryTree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "nss/FolderListing.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Files.h"

namespace ov {
namespace {

// Root
//   A (10)          files a1, a2
//     B (11)        file b1
//     C (12)
//   D (13)
// E (20) under a missing parent 99, file e1
RecoveryTree Sample() {
  RecoveryTree t;
  t.AddFolderNode("A", 10, 0, 0, 0);
  t.AddFolderNode("E", 20, 99, 1, 0);
  t.AddFolderNode("B", 11, 10, 2, 0);
  t.AddFolderNode("C", 12, 10, 3, 0);
  t.AddFolderNode("D", 13, 0, 4, 0);
  t.AddFileNode("a1.doc", 100, 10, 0, 5, 1, 10, 0);
  t.AddFileNode("b1.txt", 101, 11, 1, 6, 1, 20, 0);
  t.AddFileNode("a2.c", 102, 10, 2, 7, 1, 30, 0);
  t.AddFileNode("e1", 103, 20, 3, 8, 1, 40, 0);
  t.AddFileNode("top", 104, 0, 4, 9, 1, 50, 0);
  t.BuildFolderTree();
  return t;
}

ItemHandle ItemOf(const RecoveryTree& t, std::string_view name) {
  for (const auto& f : t.folders()) {
    if (f.name() == name) return f.treeItem;
  }
  return kNoItem;
}

TEST(RecoveryTree, PlacesFoldersDepthFirstInListOrderAndHidesOrphans) {
  RecoveryTree t = Sample();
  EXPECT_EQ(t.ItemCount(), 5u);  // Root, A, B, C, D
  const ItemHandle a = ItemOf(t, "A");
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(ItemOf(t, "B"), 2u);
  EXPECT_EQ(ItemOf(t, "C"), 3u);
  EXPECT_EQ(ItemOf(t, "D"), 4u);
  EXPECT_EQ(ItemOf(t, "E"), kNoItem);
  EXPECT_EQ(t.Item(kRootItem).children, (std::vector<ItemHandle>{1, 4}));
  EXPECT_EQ(t.ItemPath(ItemOf(t, "C")), "A\\C");
  EXPECT_EQ(t.ItemPath(kRootItem), "");
  EXPECT_EQ(t.ItemText(kRootItem), "Root");
}

TEST(RecoveryTree, RefusesASecondFolderWithTheSameObjectId) {
  RecoveryTree t;
  EXPECT_TRUE(t.AddFolderNode("X", 5, 0, 0, 0));
  EXPECT_FALSE(t.AddFolderNode("X again", 5, 0, 1, 0));
  t.BuildFolderTree();
  EXPECT_EQ(t.folders().size(), 1u);
  EXPECT_EQ(t.ItemCount(), 2u);
}

TEST(RecoveryTree, CheckingRootSelectsEveryPlacedNodeButNotOrphans) {
  RecoveryTree t = Sample();
  t.ClickCheck(kRootItem);
  for (ItemHandle i = 0; i < t.ItemCount(); ++i) EXPECT_EQ(t.Item(i).state, CheckState::Checked);
  for (const auto& f : t.files()) EXPECT_EQ(f.selected, f.name() != "e1") << f.name();
  for (const auto& f : t.folders()) EXPECT_EQ(f.selected, f.name() != "E") << f.name();
}

TEST(RecoveryTree, PartlyCheckedTransitions) {
  RecoveryTree t = Sample();
  const ItemHandle a = ItemOf(t, "A"), b = ItemOf(t, "B"), c = ItemOf(t, "C");
  t.SetCheck(a, CheckState::Checked);
  EXPECT_EQ(t.Item(kRootItem).state, CheckState::PartlyChecked);  // D is not checked
  t.ClickCheck(b);                                                 // uncheck one of two
  EXPECT_EQ(t.Item(b).state, CheckState::Unchecked);
  EXPECT_EQ(t.Item(a).state, CheckState::PartlyChecked);
  EXPECT_FALSE(t.files()[1].selected);  // b1 lies in B
  EXPECT_TRUE(t.files()[0].selected);   // a1 lies in A, still checked
  t.ClickCheck(c);  // uncheck the second
  EXPECT_EQ(t.Item(a).state, CheckState::Unchecked);
  EXPECT_EQ(t.Item(kRootItem).state, CheckState::Unchecked);
  // A's own files keep the mark they got when A was checked.
  EXPECT_TRUE(t.files()[0].selected);
}

TEST(RecoveryTree, ClickingAPartlyCheckedFolderUnchecksEverythingBelow) {
  RecoveryTree t = Sample();
  const ItemHandle a = ItemOf(t, "A"), b = ItemOf(t, "B");
  t.ClickCheck(b);
  ASSERT_EQ(t.Item(a).state, CheckState::PartlyChecked);
  t.ClickCheck(a);
  EXPECT_EQ(t.Item(a).state, CheckState::Unchecked);
  EXPECT_EQ(t.Item(b).state, CheckState::Unchecked);
  EXPECT_FALSE(t.files()[1].selected);
}

TEST(RecoveryTree, LooksUpFoldersByItemAndFilesByIndex) {
  RecoveryTree t = Sample();
  ASSERT_NE(t.FolderByItem(ItemOf(t, "C")), nullptr);
  EXPECT_EQ(t.FolderByItem(ItemOf(t, "C"))->objectId, 12u);
  EXPECT_EQ(t.FolderByItem(kRootItem), nullptr);
  ASSERT_NE(t.FileByIndex(3), nullptr);
  EXPECT_EQ(t.FileByIndex(3)->name(), "e1");
  EXPECT_EQ(t.FileByIndex(77), nullptr);
  t.ReleaseTree();
  EXPECT_TRUE(t.folders().empty());
  EXPECT_TRUE(t.files().empty());
  EXPECT_EQ(t.ItemCount(), 1u);
}

TEST(RecoveryTree, DeepHierarchiesDoNotExhaustTheStack) {
  RecoveryTree t;
  constexpr std::uint32_t kDepth = 200000;
  for (std::uint32_t i = 1; i <= kDepth; ++i) t.AddFolderNode("d", i, i - 1, i - 1, 0);
  t.BuildFolderTree();
  EXPECT_EQ(t.ItemCount(), kDepth + 1);
  t.ClickCheck(kRootItem);
  EXPECT_EQ(t.Item(kDepth).state, CheckState::Checked);
}

TEST(RecoveryTree, ADeferredBuildGivesTheTreeOfLinkingWhileAdding) {
  // Small and large enough for the indexes to share one mapping; folders
  // met twice, parents met again after others, files under missing parents.
  for (std::uint32_t folders : {300u, 60000u}) {
    RecoveryTree direct, deferred;
    deferred.DeferParentIndex();
    std::uint64_t seed = folders;
    auto next = [&seed](std::uint64_t n) { return ((seed = seed * 6364136223846793005ull + 1442695040888963407ull) >> 33) % n; };
    for (std::uint32_t i = 0; i < folders; ++i) {
      const std::uint64_t id = i % 97 == 50 ? 1 + next(i) : 1 + i;  // now and then one met before
      const std::uint64_t parent = i == 0 ? 0 : next(4) == 0 ? 0 : 1 + next(i + 5);
      direct.AddFolderNode("f" + std::to_string(i), id, parent, i, i);
      EXPECT_TRUE(deferred.AddFolderNode("f" + std::to_string(i), id, parent, i, i));
    }
    for (std::uint32_t i = 0; i < folders / 2; ++i) {
      const std::uint64_t parent = next(3) == 0 ? 0 : 1 + next(folders + 10);
      for (RecoveryTree* t : {&direct, &deferred}) t->AddFileNode("x", 1u << 20 | i, parent, i, i, 1, 1, i);
    }
    direct.BuildFolderTree();
    deferred.BuildFolderTree();
    ASSERT_EQ(deferred.folders().size(), direct.folders().size());
    ASSERT_LT(direct.folders().size(), folders);
    for (std::size_t p = 0; p < direct.folders().size(); ++p) {
      const TreeNode &a = direct.folders()[p], &b = deferred.folders()[p];
      ASSERT_EQ(b.objectId, a.objectId) << p;
      ASSERT_EQ(b.name(), a.name()) << p;
      ASSERT_EQ(b.treeItem, a.treeItem) << p;
    }
    auto same = [](NodeRange a, NodeRange b) {
      return std::vector<std::uint32_t>(a.begin(), a.end()) == std::vector<std::uint32_t>(b.begin(), b.end());
    };
    for (std::uint64_t key = 0; key <= folders + 10; ++key) {
      ASSERT_TRUE(same(deferred.FoldersUnder(key), direct.FoldersUnder(key))) << key;
      ASSERT_TRUE(same(deferred.FilesUnder(key), direct.FilesUnder(key))) << key;
    }
    EXPECT_EQ(deferred.ItemCount(), direct.ItemCount());
    // After the build a folder met before is refused again at once.
    EXPECT_FALSE(deferred.AddFolderNode("late", 1, 0, 0, 0));
    EXPECT_TRUE(deferred.AddFolderNode("late", folders + 100, 0, 0, 0));
  }
}

// ------------------------------------------------------------ listing

TEST(FileTypes, FollowTheTableOrderAndItsCaseSensitiveForms) {
  EXPECT_EQ(FileTypeOf("report.DOC").text, "Microsoft Word File");
  EXPECT_EQ(FileTypeOf("report.Doc").text, "File");
  EXPECT_EQ(FileTypeOf("report.Doc").image, 19);
  EXPECT_EQ(FileTypeOf("index.html").text, "Internet File");
  EXPECT_EQ(FileTypeOf("main.c").text, "C++ Source File");
  EXPECT_EQ(FileTypeOf("main.C").image, 9);
  EXPECT_EQ(FileTypeOf("x.h").text, "Header File");
  EXPECT_EQ(FileTypeOf("song.au").text, "Sound File");
  EXPECT_EQ(FileTypeOf("a.RAR").text, "Winzip File");
  EXPECT_EQ(FileTypeOf("h").text, "File");
  // Only the part from the last dot counts.
  EXPECT_EQ(FileTypeOf("old.doc.txt").text, "Text File");
  EXPECT_EQ(FileTypeOf("backup.txt.zip").text, "Winzip File");
  EXPECT_EQ(FileTypeOf(".htm").text, "Internet File");
  EXPECT_EQ(FileTypeOf("x.").text, "File");
  EXPECT_EQ(FileTypeOf("doc").text, "File");
}

using Utc = test::ScopedUtc;

TEST(ListFolder, ListsFoldersThenFilesWithTheirColumns) {
  Utc utc;
  RecoveryTree t;
  t.AddFolderNode("Docs", 10, 0, 0, 1199696700);  // 2008-01-07 09:05 UTC
  t.AddFileNode("caf\xe9.txt", 50, 0, 7, 0, 2, 0x100001000ull, 0);
  t.BuildFolderTree();
  auto view = ShowFolder(t, kRootItem);
  EXPECT_EQ(view.pathText, "\\");
  ASSERT_EQ(view.rows.size(), 2u);
  const ListRow& folder = view.rows[0];
  EXPECT_TRUE(folder.folder);
  EXPECT_EQ(folder.type, "Folder");
  EXPECT_EQ(folder.size, "0");
  EXPECT_EQ(folder.date, "7-1-2008");
  EXPECT_EQ(folder.time, "9:5");
  EXPECT_EQ(folder.id, "1");  // its tree item
  const ListRow& file = view.rows[1];
  EXPECT_EQ(file.name, "caf\xc3\xa9.txt");  // Latin-1 byte shown as UTF-8
  EXPECT_EQ(file.type, "Text File");
  EXPECT_EQ(file.image, 20);
  EXPECT_EQ(file.size, "4096");  // low 32 bits
  EXPECT_EQ(file.id, "7");       // its index
  EXPECT_EQ(file.date, "1-1-1970");
  EXPECT_EQ(file.time, "0:0");
  auto inner = ShowFolder(t, 1);
  EXPECT_EQ(inner.pathText, "\\Docs");
  EXPECT_EQ(t.currentFolderItem, 1u);
}

// The listing converts a day's stamps from one conversion per day; every
// row must still read as the system's conversion of its own stamp, also on
// the days the clocks change, in zones of half-hour and odd offsets.
TEST(ListFolder, DatesAndTimesAreTheSystemsLocalTimeOnEveryDay) {
  // Stamps every 37 minutes and 13 seconds over two years, clock changes
  // included, and the first and last second of a day.
  std::vector<std::uint32_t> stamps{0, 86399, 86400, 1711846799, 1711846800, 1711850399};
  for (std::uint32_t t = 1680000000; t < 1680000000 + 2 * 365 * 86400u; t += 37 * 60 + 13) stamps.push_back(t);
  RecoveryTree t;
  for (std::uint32_t i = 0; i < stamps.size(); ++i) t.AddFileNode("f", 100 + i, 0, i, 0, 0, 0, stamps[i]);
  t.BuildFolderTree();
  for (const char* zone : {"Europe/Berlin", "America/St_Johns", "Australia/Lord_Howe", "Asia/Kathmandu", "UTC"}) {
    test::ScopedEnv env;
    env.Set("TZ", zone);
    tzset();
    const ListRows rows = ListFolder(t, 0);
    ASSERT_EQ(rows.size(), stamps.size());
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].date != ListDate(stamps[i]) || rows[i].time != ListTime(stamps[i])) ++wrong;
    }
    EXPECT_EQ(wrong, 0u) << zone;
  }
  tzset();
}

using test::ReadFile;

TEST(TreeDumps, WriteOneLinePerParentChildPair) {
  test::TempDir dir;
  RecoveryTree t;
  t.AddFolderNode("A", 1, 0, 0, 0);
  t.AddFolderNode("B", 2, 1, 1, 0);
  t.BuildFolderTree();
  ASSERT_TRUE(DumpTreeView(t, dir / "view.txt"));
  ASSERT_TRUE(DumpTreePrint(t, dir / "print.dat"));
  EXPECT_EQ(ReadFile(dir / "view.txt"), "Root-> A\r\nA-> B\r\n");
  EXPECT_EQ(ReadFile(dir / "print.dat"), "Root-> A\xE6" "A-> B\xE6");
  EXPECT_FALSE(DumpTreeView(t, dir / "view.txt" / "not-a-folder"));
}

TEST(TreeDumps, APartitionFolderBecomesRootDirectory) {
  RecoveryTree t;
  t.AddFolderNode("Partition1", 1, 0, 0, 0);
  t.AddFolderNode("Data", 2, 1, 1, 0);
  t.AddFolderNode("Old", 3, 2, 2, 0);
  t.BuildFolderTree();
  EXPECT_EQ(FolderStructureLines(t),
            (std::vector<std::string>{"Root-> Partition1", "Root Directory -> Data", "Root Directory -> Old"}));
}

}  // namespace
}  // namespace ov
