#include "nss/RecoveryTree.h"

#include <algorithm>

namespace ov {

namespace {
const std::vector<std::uint32_t> kNone;
}

RecoveryTree::RecoveryTree() { ReleaseTree(); }

bool RecoveryTree::AddFolderNode(std::string name, std::uint64_t objectId, std::uint64_t parentId,
                                 std::uint32_t index, std::uint32_t time) {
  const auto position = static_cast<std::uint32_t>(folders_.size());
  if (!folderById_.emplace(objectId, position).second) return false;
  TreeNode node;
  node.objectId = objectId;
  node.index = index;
  node.parentId = parentId;
  node.time = time;
  node.name = std::move(name);
  folders_.push_back(std::move(node));
  foldersByParent_[parentId].push_back(position);
  return true;
}

void RecoveryTree::AddFileNode(std::string name, std::uint64_t objectId, std::uint64_t parentId, std::uint32_t index,
                               std::uint64_t firstBlock, std::uint32_t blockCount, std::uint64_t size,
                               std::uint32_t time) {
  const auto position = static_cast<std::uint32_t>(files_.size());
  TreeNode node;
  node.objectId = objectId;
  node.index = index;
  node.parentId = parentId;
  node.firstBlock = firstBlock;
  node.blockCount = blockCount;
  node.size = size;
  node.time = time;
  node.name = std::move(name);
  files_.push_back(std::move(node));
  filesByParent_[parentId].push_back(position);
  fileByIndex_.emplace(index, position);  // the first node of an index is its key's
}

void RecoveryTree::ReleaseTree() {
  folders_.clear();
  files_.clear();
  folders_.shrink_to_fit();
  files_.shrink_to_fit();
  folderById_.clear();
  foldersByParent_.clear();
  filesByParent_.clear();
  fileByIndex_.clear();
  items_.assign(1, TreeItem{});
  currentFolderItem = kRootItem;
}

void RecoveryTree::BuildFolderTree() {
  items_.resize(1);
  items_[0].children.clear();
  items_[0].state = CheckState::Unchecked;
  for (auto& f : folders_) f.treeItem = kNoItem;
  PlaceChildren(kRootItem, 0);
}

void RecoveryTree::PlaceChildren(ItemHandle item, std::uint64_t key) {
  // Depth first, children in list order, with an explicit stack so a deep
  // (or damaged) hierarchy cannot exhaust the call stack.
  struct Frame {
    ItemHandle item;
    const std::vector<std::uint32_t>* children;
    std::size_t next;
  };
  std::vector<Frame> stack{{item, &FoldersUnder(key), 0}};
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (top.next == top.children->size()) {
      stack.pop_back();
      continue;
    }
    const std::uint32_t position = (*top.children)[top.next++];
    TreeNode& node = folders_[position];
    if (node.treeItem != kNoItem) continue;
    const auto handle = static_cast<ItemHandle>(items_.size());
    TreeItem child;
    child.parent = top.item;
    child.folder = position;
    items_.push_back(std::move(child));
    items_[top.item].children.push_back(handle);
    node.treeItem = handle;
    stack.push_back({handle, &FoldersUnder(node.objectId), 0});
  }
}

std::string RecoveryTree::ItemText(ItemHandle item) const {
  if (item == kRootItem) return std::string(kFolderTreeRoot);
  return folders_[items_.at(item).folder].name;
}

std::string RecoveryTree::ItemPath(ItemHandle item) const {
  std::vector<ItemHandle> chain;
  for (ItemHandle i = item; i != kRootItem && i != kNoItem; i = items_.at(i).parent) chain.push_back(i);
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!path.empty()) path += '\\';
    path += ItemText(*it);
  }
  return path;
}

std::uint64_t RecoveryTree::ItemKey(ItemHandle item) const {
  if (item == kRootItem) return 0;
  return folders_[items_.at(item).folder].objectId;
}

void RecoveryTree::MarkNodes(std::uint64_t key, bool selected) {
  for (auto p : FoldersUnder(key)) folders_[p].selected = selected;
  for (auto p : FilesUnder(key)) files_[p].selected = selected;
}

void RecoveryTree::SetCheck(ItemHandle item, CheckState state) {
  if (!IsItem(item)) return;
  const bool checking = state == CheckState::Checked;
  // The item and everything below it, depth first.
  std::vector<ItemHandle> stack{item};
  while (!stack.empty()) {
    const ItemHandle i = stack.back();
    stack.pop_back();
    items_[i].state = state;
    MarkNodes(ItemKey(i), checking);
    const auto& children = items_[i].children;
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
  }
  // The ancestors, nearest first.
  for (ItemHandle a = items_[item].parent; a != kNoItem; a = items_[a].parent) {
    const auto& children = items_[a].children;
    const bool all = std::all_of(children.begin(), children.end(),
                                 [&](ItemHandle c) { return items_[c].state == state; });
    items_[a].state = all ? state : CheckState::PartlyChecked;
  }
}

void RecoveryTree::ClickCheck(ItemHandle item) {
  if (!IsItem(item)) return;
  SetCheck(item, items_[item].state == CheckState::Unchecked ? CheckState::Checked : CheckState::Unchecked);
}

const TreeNode* RecoveryTree::FolderByItem(ItemHandle item) const {
  if (item == kRootItem || !IsItem(item)) return nullptr;
  return &folders_[items_[item].folder];
}

const TreeNode* RecoveryTree::FileByIndex(std::uint64_t index) const {
  auto it = fileByIndex_.find(index);
  return it == fileByIndex_.end() ? nullptr : &files_[it->second];
}

const std::vector<std::uint32_t>& RecoveryTree::FoldersUnder(std::uint64_t key) const {
  auto it = foldersByParent_.find(key);
  return it == foldersByParent_.end() ? kNone : it->second;
}

const std::vector<std::uint32_t>& RecoveryTree::FilesUnder(std::uint64_t key) const {
  auto it = filesByParent_.find(key);
  return it == filesByParent_.end() ? kNone : it->second;
}

}  // namespace ov
