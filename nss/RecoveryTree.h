#pragma once
// The recovery tree: the folders and files a record scan found, in scan
// order, the folder tree built from them under "Root" (key 0), and the
// user's check marks.
//
// Nodes know only their own object ID and their parent's. The tree keeps
// indexes by object ID and by parent so that adding, placing and listing are
// linear in the number of nodes, with the same results and order as walking
// the lists.
//
// Tree items have stable handles: 0 is "Root"; the others are numbered in
// the order they were placed and never change until the tree is released.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ov {

inline constexpr std::string_view kFolderTreeRoot = "Root";

using ItemHandle = std::uint32_t;
inline constexpr ItemHandle kRootItem = 0;
inline constexpr ItemHandle kNoItem = UINT32_MAX;

enum class CheckState : std::uint8_t { Unchecked = 1, Checked = 2, PartlyChecked = 3 };

struct TreeNode {
  std::uint64_t objectId = 0;    // folders: high half 0
  std::uint32_t index = 0;       // the scan's sequence number; a file's key
  std::uint32_t indexHigh = 0;   // always 0
  std::uint64_t parentId = 0;    // 0 = the volume root
  std::uint64_t firstBlock = 0;  // files: first data block, pool-relative
  std::uint32_t blockCount = 0;  // files: blocks allocated
  std::uint32_t time = 0;        // seconds since 1970; 0 when none
  std::uint64_t size = 0;        // files: bytes
  std::string name;              // 8-bit name
  ItemHandle treeItem = kNoItem; // folders: the item once placed
  bool selected = false;         // lies in a checked folder
};

struct TreeItem {
  ItemHandle parent = kNoItem;
  std::uint32_t folder = UINT32_MAX;  // position in the folder list; none for the root
  CheckState state = CheckState::Unchecked;
  std::vector<ItemHandle> children;
};

class RecoveryTree {
public:
  RecoveryTree();

  // Appends a folder unless a folder with the same object ID is already in
  // the list. True when it was added.
  bool AddFolderNode(std::string name, std::uint64_t objectId, std::uint64_t parentId, std::uint32_t index,
                     std::uint32_t time);
  // Appends a file; files are not tested for duplicates.
  void AddFileNode(std::string name, std::uint64_t objectId, std::uint64_t parentId, std::uint32_t index,
                   std::uint64_t firstBlock, std::uint32_t blockCount, std::uint64_t size, std::uint32_t time);

  // Places the folders under "Root": each folder whose parent is placed
  // becomes the last child of its parent's item, in list order, depth first.
  // Folders whose parent is never placed get no item.
  void BuildFolderTree();
  // Frees both lists and the items; the tree is empty afterwards.
  void ReleaseTree();

  const std::vector<TreeNode>& folders() const { return folders_; }
  const std::vector<TreeNode>& files() const { return files_; }
  std::vector<TreeNode>& files() { return files_; }
  std::uint32_t folderCount = 0;
  std::uint32_t fileCount = 0;

  // Items.
  const TreeItem& Item(ItemHandle item) const { return items_.at(item); }
  bool IsItem(ItemHandle item) const { return item < items_.size(); }
  std::size_t ItemCount() const { return items_.size(); }
  std::string ItemText(ItemHandle item) const;
  // Item texts from the first level below the root down to `item`, joined by
  // "\"; empty for the root.
  std::string ItemPath(ItemHandle item) const;
  // The key of an item: its folder's object ID, 0 for the root.
  std::uint64_t ItemKey(ItemHandle item) const;

  // Sets an item's check state and `selected` on every node below it, then
  // updates its ancestors.
  void SetCheck(ItemHandle item, CheckState state);
  // A click on the check box: a checked or partly checked item is unchecked,
  // an unchecked one checked.
  void ClickCheck(ItemHandle item);

  // Lookups.
  const TreeNode* FolderByItem(ItemHandle item) const;
  const TreeNode* FileByIndex(std::uint64_t index) const;
  // Positions in the folder and file lists of the nodes whose parent is `key`, in list order.
  const std::vector<std::uint32_t>& FoldersUnder(std::uint64_t key) const;
  const std::vector<std::uint32_t>& FilesUnder(std::uint64_t key) const;

  // The folder whose contents are listed.
  ItemHandle currentFolderItem = kRootItem;

private:
  void PlaceChildren(ItemHandle item, std::uint64_t key);
  void MarkNodes(std::uint64_t key, bool selected);

  std::vector<TreeNode> folders_;
  std::vector<TreeNode> files_;
  std::vector<TreeItem> items_;
  std::unordered_map<std::uint64_t, std::uint32_t> folderById_;
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> foldersByParent_;
  std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> filesByParent_;
  std::unordered_map<std::uint64_t, std::uint32_t> fileByIndex_;
};

}  // namespace ov
