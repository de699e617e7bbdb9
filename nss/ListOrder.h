#pragma once
// The order of a folder's rows in the file list. The list shows a folder's
// folders, then its files, each part in the volume's order; a click on a
// column's header sorts both parts by that column, ascending, then
// descending, then back to the volume's order. Folders stay first. Sizes,
// dates and times sort by their values, not by their texts; names and types
// without regard to case.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "nss/RecoveryTree.h"

namespace ov {

// The list's columns: "Name", "Type", "Size", "Date", "Time", "ID".
enum class ListColumn : int { Name = 0, Type, Size, Date, Time, Id };
enum class ListSortOrder { Volume, Ascending, Descending };

// Which column the list is sorted by, and how; a header click moves it on.
struct ListSort {
  int column = -1;  // -1: the volume's order
  ListSortOrder order = ListSortOrder::Volume;
  // A click on `clicked`: another column sorts ascending; the same column
  // goes ascending, descending, the volume's order.
  void Click(int clicked);
};

// Sorts the rows of one folder as `sort` says. `rows` holds the positions
// of the folder's folders in tree.folders() (the first `folderRows`), then
// those of its files in tree.files(); each part is sorted on its own.
// Equal keys keep the volume's order.
void SortListRows(const RecoveryTree& tree, std::vector<std::uint32_t>& rows, std::size_t folderRows,
                  const ListSort& sort);

}  // namespace ov
