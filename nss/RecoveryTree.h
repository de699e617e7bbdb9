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

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "nss/BlockList.h"
#include "nss/IdMap.h"
#include "nss/NameStore.h"

namespace ov {

inline constexpr std::string_view kFolderTreeRoot = "Root";

using ItemHandle = std::uint32_t;
inline constexpr ItemHandle kRootItem = 0;
inline constexpr ItemHandle kNoItem = UINT32_MAX;

enum class CheckState : std::uint8_t { Unchecked = 1, Checked = 2, PartlyChecked = 3 };

inline constexpr std::uint32_t kNoNode = UINT32_MAX;

// One folder or file. Packed for volumes of millions of nodes into 64
// bytes: the wide fields first, the name kept in the tree's name store, and
// the high half of the key, always 0, is no field.
struct TreeNode {
  std::uint64_t objectId = 0;    // folders: high half 0
  std::uint64_t parentId = 0;    // 0 = the volume root
  std::uint64_t firstBlock = 0;  // files: first data block, pool-relative
  std::uint64_t size = 0;        // files: bytes
  const char* nameData = nullptr;
  std::uint32_t index = 0;       // the scan's sequence number; a file's key
  std::uint32_t blockCount = 0;  // files: blocks allocated
  std::uint32_t time = 0;        // seconds since 1970; 0 when none
  ItemHandle treeItem = kNoItem; // folders: the item once placed
  std::uint32_t nextSameParent = kNoNode;  // the next node of this list with the same parent
  std::uint16_t nameLength = 0;
  bool selected = false;         // lies in a checked folder
  static constexpr std::uint32_t indexHigh = 0;  // with index, the 64-bit key

  // The 8-bit name; valid until the tree is released.
  std::string_view name() const { return {nameData, nameLength}; }
};

// Names on disk are at most 255 units; a longer one (from a saved run) is
// cut to this length.
inline constexpr std::size_t kMaxNodeName = UINT16_MAX;

// A list of nodes in scan order.
using NodeList = BlockList<TreeNode>;

// The positions, in list order, of the nodes of one list that share a
// parent. Walks the nodes' own links; no storage of its own.
class NodeRange {
public:
  class iterator {
  public:
    using value_type = std::uint32_t;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    iterator(const NodeList* list, std::uint32_t at) : list_(list), at_(at) {}
    std::uint32_t operator*() const { return at_; }
    iterator& operator++() {
      at_ = (*list_)[at_].nextSameParent;
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      ++*this;
      return old;
    }
    bool operator==(const iterator& other) const { return at_ == other.at_; }

  private:
    const NodeList* list_ = nullptr;
    std::uint32_t at_ = kNoNode;
  };

  NodeRange() = default;
  NodeRange(const NodeList* list, std::uint32_t first, std::uint32_t count)
      : list_(list), first_(first), count_(count) {}
  iterator begin() const { return iterator(list_, first_); }
  iterator end() const { return iterator(list_, kNoNode); }
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }

private:
  const NodeList* list_ = nullptr;
  std::uint32_t first_ = kNoNode;
  std::uint32_t count_ = 0;
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
  bool AddFolderNode(std::string_view name, std::uint64_t objectId, std::uint64_t parentId, std::uint32_t index,
                     std::uint32_t time);
  // Appends a file; files are not tested for duplicates.
  void AddFileNode(std::string_view name, std::uint64_t objectId, std::uint64_t parentId, std::uint32_t index,
                   std::uint64_t firstBlock, std::uint32_t blockCount, std::uint64_t size, std::uint32_t time);

  // Room in the name store for a name of up to `bytes` bytes: a name
  // written there and passed to the next AddFolderNode or AddFileNode is
  // kept in place, without a copy (the record scan decodes names into it).
  char* NameRoom(std::size_t bytes) { return names_.Room(bytes); }

  // For a scan that adds many nodes to an empty tree: from now until the
  // next BuildFolderTree or ReleaseTree, adding leaves out the test for a
  // folder met before and the index by parent (FoldersUnder, FilesUnder),
  // which BuildFolderTree then does in one pass over each list, with the
  // same result. AddFolderNode answers true meanwhile; the later folders of
  // an object ID leave the list in BuildFolderTree.
  void DeferParentIndex() { deferParentIndex_ = true; }

  // Places the folders under "Root": each folder whose parent is placed
  // becomes the last child of its parent's item, in list order, depth first.
  // Folders whose parent is never placed get no item.
  void BuildFolderTree();
  // Frees both lists and the items; the tree is empty afterwards.
  void ReleaseTree();

  const NodeList& folders() const { return folders_; }
  const NodeList& files() const { return files_; }
  NodeList& files() { return files_; }
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
  NodeRange FoldersUnder(std::uint64_t key) const;
  NodeRange FilesUnder(std::uint64_t key) const;

  // The folder whose contents are listed.
  ItemHandle currentFolderItem = kRootItem;

private:
  // Keeps `name` (cut to kMaxNodeName) in the name store for `node`.
  void SetName(TreeNode& node, std::string_view name);
  // The nodes of one list with one parent: the first and last, linked
  // through nextSameParent, and how many.
  struct Group {
    std::uint32_t first = kNoNode;
    std::uint32_t last = kNoNode;
    std::uint32_t count = 0;
  };
  // Link links the node at `position`, the list's first unlinked one, into
  // its parent's group. Consecutive nodes mostly share a parent, so the last
  // group found is kept (it holds until the next new parent is inserted,
  // which replaces it). LinkRest links every node not linked yet. While
  // linking is deferred, CountRun counts the runs of nodes with the same
  // parent, at least as many as the groups, so the index is sized once.
  struct Groups {
    IdMap<Group> byParent;
    std::uint64_t lastKey = 0;
    Group* last = nullptr;
    std::uint32_t linked = 0;  // nodes linked, from the list's start
    std::uint64_t runKey = 0;
    std::uint32_t runs = 0;
    void CountRun(std::uint64_t key) {
      if (runs == 0 || key != runKey) {
        runKey = key;
        ++runs;
      }
    }
    void Link(NodeList& list, std::uint32_t position);
    void LinkRest(NodeList& list);
    NodeRange Under(const NodeList& list, std::uint64_t key) const;
  };

  // One mapping for the indexes a deferred build sizes at once. Lookups
  // spread over all of an index, so in pages of 4 KiB nearly each one costs
  // a TLB miss; in a large page, none does, and the indexes of a volume of
  // some hundred thousand nodes share one.
  struct FreeIndexMemory {
    std::size_t bytes;
    void operator()(std::byte* memory) const noexcept { FreeLarge(memory, bytes); }
  };
  using IndexMemory = std::unique_ptr<std::byte, FreeIndexMemory>;

  // Sizes the folder index and both indexes by parent for the nodes added
  // while deferred, in one IndexMemory when they are large.
  void PlaceIndexes();
  // Of the folders that share an object ID, keeps the first; the list
  // closes up behind the others.
  void DropLaterDuplicateFolders();
  void PlaceChildren(ItemHandle item, std::uint64_t key);
  void MarkNodes(std::uint64_t key, bool selected);

  bool deferParentIndex_ = false;
  IndexMemory indexMemory_;
  NameStore names_;
  NodeList folders_;
  NodeList files_;
  std::vector<TreeItem> items_;
  IdMap<std::uint32_t> folderById_;
  Groups folderGroups_;
  Groups fileGroups_;
  // Files whose index is not their position in the list (read back from a
  // saved run); a scan numbers files by position.
  std::unordered_map<std::uint64_t, std::uint32_t> fileIndexExceptions_;
};

}  // namespace ov
