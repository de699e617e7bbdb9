#include "nss/ListOrder.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "nss/FolderListing.h"

namespace ov {

void ListSort::Click(int clicked) {
  if (clicked != column || order == ListSortOrder::Volume) {
    column = clicked;
    order = ListSortOrder::Ascending;
  } else if (order == ListSortOrder::Ascending) {
    order = ListSortOrder::Descending;
  } else {
    column = -1;
    order = ListSortOrder::Volume;
  }
}

namespace {

// <0, 0, >0 as a is before, with, after b, without regard to case; names
// equal but for case go by their bytes.
int CompareText(std::string_view a, std::string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return a.compare(b);
}

// One row with what it sorts by, made once per row.
struct Keyed {
  std::uint64_t number;  // size, time stamp or key
  std::string_view text;  // name or type
  std::uint32_t position;
};

void SortPart(const NodeList& nodes, std::uint32_t* first, std::uint32_t* last, ListColumn column, bool descending,
              bool folders) {
  std::vector<Keyed> keyed;
  keyed.reserve(static_cast<std::size_t>(last - first));
  for (std::uint32_t* p = first; p != last; ++p) {
    const TreeNode& n = nodes[*p];
    Keyed k{0, {}, *p};
    switch (column) {
      case ListColumn::Name: k.text = n.name(); break;
      case ListColumn::Type: k.text = folders ? std::string_view("Folder") : FileTypeOf(n.name()).text; break;
      case ListColumn::Size: k.number = static_cast<std::uint32_t>(n.size); break;
      case ListColumn::Date:
      case ListColumn::Time: k.number = n.time; break;
      case ListColumn::Id: k.number = folders ? n.treeItem : n.index; break;
    }
    keyed.push_back(k);
  }
  const bool byText = column == ListColumn::Name || column == ListColumn::Type;
  auto before = [&](const Keyed& a, const Keyed& b) {
    const int c = byText ? CompareText(a.text, b.text) : (a.number < b.number ? -1 : a.number > b.number ? 1 : 0);
    // Equal keys keep the volume's order, whatever order the rows had.
    if (c == 0) return a.position < b.position;
    return descending ? c > 0 : c < 0;
  };
  std::sort(keyed.begin(), keyed.end(), before);
  for (std::size_t i = 0; i < keyed.size(); ++i) first[i] = keyed[i].position;
}

}  // namespace

void SortListRows(const RecoveryTree& tree, std::vector<std::uint32_t>& rows, std::size_t folderRows,
                  const ListSort& sort) {
  folderRows = std::min(folderRows, rows.size());
  if (sort.order == ListSortOrder::Volume) {
    // The volume's order is the order of the lists themselves.
    std::sort(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(folderRows));
    std::sort(rows.begin() + static_cast<std::ptrdiff_t>(folderRows), rows.end());
    return;
  }
  const auto column = static_cast<ListColumn>(sort.column);
  const bool descending = sort.order == ListSortOrder::Descending;
  SortPart(tree.folders(), rows.data(), rows.data() + folderRows, column, descending, true);
  SortPart(tree.files(), rows.data() + folderRows, rows.data() + rows.size(), column, descending, false);
}

}  // namespace ov
