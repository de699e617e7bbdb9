#include "nss/NameSearch.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace ov {
namespace {

TEST(NamePattern, FindsTextAnywhereWithoutRegardToCaseWithStarAndQuestionMark) {
  EXPECT_TRUE(NamePattern("port").Matches("Report.DOC"));
  EXPECT_TRUE(NamePattern("REPORT").Matches("report.doc"));
  EXPECT_FALSE(NamePattern("reports").Matches("report.doc"));
  EXPECT_TRUE(NamePattern("*.doc").Matches("a.DOC"));
  EXPECT_TRUE(NamePattern("r?p*t").Matches("xxREPxxxT"));
  EXPECT_FALSE(NamePattern("r?p").Matches("rp"));
  EXPECT_TRUE(NamePattern("a*b*c").Matches("--aXXbYYc--"));
  EXPECT_FALSE(NamePattern("a*b*c").Matches("cba"));
  EXPECT_TRUE(NamePattern("?").Matches("x"));
  EXPECT_FALSE(NamePattern("?").Matches(""));
  EXPECT_TRUE(NamePattern("*").Matches("anything"));
  EXPECT_TRUE(NamePattern("").empty());
  EXPECT_FALSE(NamePattern("**").empty());
  EXPECT_FALSE(NamePattern("").Matches("x"));
}

// Root: folder "Docs" (10) with file "report.doc", folder "Old" (11) under it
// with "Report-old.DOC"; "top.txt" at the root; an orphan folder "Lost"
// whose parent is missing.
RecoveryTree Sample() {
  RecoveryTree t;
  t.AddFolderNode("Docs", 10, 0, 0, 0);
  t.AddFolderNode("Old", 11, 10, 1, 0);
  t.AddFolderNode("Lost report", 12, 99, 2, 0);
  t.AddFileNode("report.doc", 100, 10, 3, 1, 1, 5, 0);
  t.AddFileNode("Report-old.DOC", 101, 11, 4, 1, 1, 5, 0);
  t.AddFileNode("top.txt", 102, 0, 5, 1, 1, 5, 0);
  t.BuildFolderTree();
  return t;
}

TEST(NameSearch, HandsOverMatchesInBatchesAndNamesTheirFolders) {
  const RecoveryTree t = Sample();
  std::atomic<bool> stop{false};
  std::vector<NameMatch> all;
  int batches = 0;
  const auto r = SearchNames(t, NamePattern("REPORT"), stop, [&](std::vector<NameMatch>&& m) {
    ++batches;
    all.insert(all.end(), m.begin(), m.end());
  }, 1);
  // The orphan folder is not in the tree, so it is not found.
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(r.matches, 2u);
  EXPECT_FALSE(r.stopped);
  EXPECT_EQ(batches, 2);
  EXPECT_FALSE(all[0].folder);
  EXPECT_EQ(t.files()[all[0].position].name(), "report.doc");
  const FolderItems items(t);
  EXPECT_EQ(t.ItemPath(items.Holding(t, all[0])), "Docs");
  EXPECT_EQ(t.ItemPath(items.Holding(t, all[1])), "Docs\\Old");
  std::vector<NameMatch> top;
  SearchNames(t, NamePattern("*.txt"), stop, [&](std::vector<NameMatch>&& m) { top = m; });
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(items.Holding(t, top[0]), kRootItem);
}

TEST(NameSearch, StopsWhenAsked) {
  RecoveryTree t;
  for (std::uint32_t i = 0; i < 5000; ++i) t.AddFileNode("f" + std::to_string(i), 1000 + i, 0, i, 1, 1, 1, 0);
  t.BuildFolderTree();
  std::atomic<bool> stop{false};
  std::size_t seen = 0;
  const auto r = SearchNames(t, NamePattern("f"), stop, [&](std::vector<NameMatch>&& m) {
    seen += m.size();
    stop = true;  // the person closed the search after the first matches
  }, 16);
  EXPECT_TRUE(r.stopped);
  EXPECT_LT(seen, 5000u);
  EXPECT_GE(seen, 16u);
}

}  // namespace
}  // namespace ov
