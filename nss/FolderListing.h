#pragma once
// Listing a folder of the recovery tree, and writing the folder structure to
// the view and print files.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "nss/RecoveryTree.h"
#include "platform/LargePages.h"

namespace ov {

inline constexpr std::string_view kTreeViewFile = "C:\\TreeStructView.txt";
inline constexpr std::string_view kTreePrintFile = "C:\\TreeStructPrint.dat";

// One row of the file list. Texts are UTF-8; the type is one of the fixed
// texts of the type table.
struct ListRow {
  bool folder = false;
  std::string name;
  std::string_view type;
  std::string size;
  std::string date;
  std::string time;
  std::string id;
  int image = 0;
};

struct FileType {
  std::string_view text;
  int image;
};

// The type of a file by the end of its name, tried in table order with the
// case-sensitive forms; "File" (image 19) when nothing matches.
FileType FileTypeOf(std::string_view name);

// Date "d-m-yyyy" and time "h:m" of a time stamp in local time, without
// leading zeros.
std::string ListDate(std::uint32_t time);
std::string ListTime(std::uint32_t time);

// A folder's rows; a folder can hold a large share of a volume's files, so
// they live in large pages.
using ListRows = std::vector<ListRow, LargePageAllocator<ListRow>>;

// The folders, then the files, whose parent is `key`, in list order.
ListRows ListFolder(const RecoveryTree& tree, std::uint64_t key);

// What the window shows when a folder is opened.
struct FolderView {
  std::string pathText;  // "\" + ItemPath (UTF-8)
  ListRows rows;
};
// Opens `item`: remembers it as the current folder and lists it.
FolderView ShowFolder(RecoveryTree& tree, ItemHandle item);

// The lines of the folder structure, depth first from the root: the parent's
// text (the root's text for the root, else its item path; a text starting
// with "Partition" becomes "Root Directory "), "-> " and the child's text.
std::vector<std::string> FolderStructureLines(const RecoveryTree& tree);
// The same lines handed one at a time to `line`, none kept.
void ForEachFolderStructureLine(const RecoveryTree& tree, const std::function<void(const std::string&)>& line);
// Writes the lines, created anew, each followed by `lineEnd`. False when the
// file cannot be created or written.
bool DumpTree(const RecoveryTree& tree, const std::filesystem::path& file, std::string_view lineEnd);
inline bool DumpTreeView(const RecoveryTree& tree, const std::filesystem::path& file) {
  return DumpTree(tree, file, "\r\n");
}
inline bool DumpTreePrint(const RecoveryTree& tree, const std::filesystem::path& file) {
  return DumpTree(tree, file, "\xE6");
}

}  // namespace ov
