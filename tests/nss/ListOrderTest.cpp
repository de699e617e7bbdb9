#include "nss/ListOrder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ov {
namespace {

// Root: folders "beta" (time 30), "Alpha" (time 10); files "b.TXT" 900 bytes
// at time 5, "a.doc" 1000 bytes at 50, "C.xls" 80 bytes at 20, "A.doc" 7
// bytes at 50.
RecoveryTree Sample() {
  RecoveryTree t;
  t.AddFolderNode("beta", 10, 0, 0, 30);
  t.AddFolderNode("Alpha", 11, 0, 1, 10);
  t.AddFileNode("b.TXT", 100, 0, 2, 1, 1, 900, 5);
  t.AddFileNode("a.doc", 101, 0, 3, 1, 1, 1000, 50);
  t.AddFileNode("C.xls", 102, 0, 4, 1, 1, 80, 20);
  t.AddFileNode("A.doc", 103, 0, 5, 1, 1, 7, 50);
  t.BuildFolderTree();
  return t;
}

std::vector<std::string> Names(const RecoveryTree& t, const std::vector<std::uint32_t>& rows, std::size_t folders) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    out.emplace_back(i < folders ? t.folders()[rows[i]].name() : t.files()[rows[i]].name());
  }
  return out;
}

using V = std::vector<std::string>;

TEST(ListOrder, HeaderClicksGoAscendingDescendingThenBackToTheVolumesOrder) {
  ListSort s;
  s.Click(2);
  EXPECT_EQ(s.column, 2);
  EXPECT_EQ(s.order, ListSortOrder::Ascending);
  s.Click(2);
  EXPECT_EQ(s.order, ListSortOrder::Descending);
  s.Click(2);
  EXPECT_EQ(s.column, -1);
  EXPECT_EQ(s.order, ListSortOrder::Volume);
  s.Click(2);
  s.Click(0);  // another column starts ascending
  EXPECT_EQ(s.column, 0);
  EXPECT_EQ(s.order, ListSortOrder::Ascending);
}

TEST(ListOrder, SortsEachPartByValueWithFoldersFirstAndComesBack) {
  const RecoveryTree t = Sample();
  std::vector<std::uint32_t> rows = {0, 1, 0, 1, 2, 3};
  const std::vector<std::uint32_t> volume = rows;
  ListSort s;
  s.Click(static_cast<int>(ListColumn::Name));
  SortListRows(t, rows, 2, s);
  // Case does not count; names equal but for case go by their bytes.
  EXPECT_EQ(Names(t, rows, 2), (V{"Alpha", "beta", "A.doc", "a.doc", "b.TXT", "C.xls"}));
  s.Click(static_cast<int>(ListColumn::Name));
  SortListRows(t, rows, 2, s);
  EXPECT_EQ(Names(t, rows, 2), (V{"beta", "Alpha", "C.xls", "b.TXT", "a.doc", "A.doc"}));
  s.Click(static_cast<int>(ListColumn::Name));
  SortListRows(t, rows, 2, s);
  EXPECT_EQ(rows, volume);

  // Sizes by number: 80 before 900 before 1000, which as texts would not be.
  s = {};
  s.Click(static_cast<int>(ListColumn::Size));
  SortListRows(t, rows, 2, s);
  EXPECT_EQ(Names(t, rows, 2), (V{"beta", "Alpha", "A.doc", "C.xls", "b.TXT", "a.doc"}));
  // Dates by the time stamp; equal stamps keep the volume's order.
  s = {};
  s.Click(static_cast<int>(ListColumn::Date));
  SortListRows(t, rows, 2, s);
  EXPECT_EQ(Names(t, rows, 2), (V{"Alpha", "beta", "b.TXT", "C.xls", "a.doc", "A.doc"}));
  s = {};
  s.Click(static_cast<int>(ListColumn::Type));
  SortListRows(t, rows, 2, s);
  // Types by their text: "Microsoft Excel File", "Microsoft Word File",
  // "Text File"; the folders are all "Folder" and keep their order.
  EXPECT_EQ(Names(t, rows, 2), (V{"beta", "Alpha", "C.xls", "a.doc", "A.doc", "b.TXT"}));
}

TEST(ListOrder, AnEmptyOrAllFoldersListSorts) {
  const RecoveryTree t = Sample();
  std::vector<std::uint32_t> none;
  ListSort s;
  s.Click(0);
  SortListRows(t, none, 0, s);
  EXPECT_TRUE(none.empty());
  std::vector<std::uint32_t> folders = {0, 1};
  SortListRows(t, folders, 5, s);  // more folder rows than rows: all are folders
  EXPECT_EQ(Names(t, folders, 2), (V{"Alpha", "beta"}));
}

}  // namespace
}  // namespace ov
