#include "nss/RecoveryTree.h"

#include <algorithm>

namespace ov {

void RecoveryTree::Groups::Link(NodeList& list, std::uint32_t position) {
  const std::uint64_t key = list[position].parentId;
  if (last == nullptr || lastKey != key) {
    last = byParent.Insert(key, Group{}).first;
    lastKey = key;
  }
  if (last->count == 0) {
    last->first = position;
  } else {
    list[last->last].nextSameParent = position;
  }
  last->last = position;
  ++last->count;
  linked = position + 1;
}

void RecoveryTree::Groups::LinkRest(NodeList& list) {
  const auto size = static_cast<std::uint32_t>(list.size());
  if (linked != 0) {
    for (std::uint32_t p = linked; p < size; ++p) Link(list, p);
    return;
  }
  // The whole list, from its end: each node's link is the group's first
  // node so far, so only the node at hand and its group are written, never
  // an earlier node far back in the list.
  Group* group = nullptr;
  std::uint64_t key = 0;
  for (std::uint32_t p = size; p-- > 0;) {
    TreeNode& node = list[p];
    if (group == nullptr || node.parentId != key) {
      key = node.parentId;
      group = byParent.Insert(key, Group{}).first;
    }
    if (group->count == 0) group->last = p;
    node.nextSameParent = group->first;
    group->first = p;
    ++group->count;
  }
  last = nullptr;
  linked = size;
}

NodeRange RecoveryTree::Groups::Under(const NodeList& list, std::uint64_t key) const {
  const Group* group = byParent.Find(key);
  if (group == nullptr) return NodeRange(&list, kNoNode, 0);
  return NodeRange(&list, group->first, group->count);
}

RecoveryTree::RecoveryTree() { ReleaseTree(); }

void RecoveryTree::SetName(TreeNode& node, std::string_view name) {
  const std::string_view kept = names_.Keep(name.substr(0, kMaxNodeName));
  node.nameData = kept.data();
  node.nameLength = static_cast<std::uint16_t>(kept.size());
}

bool RecoveryTree::AddFolderNode(std::string_view name, std::uint64_t objectId, std::uint64_t parentId,
                                 std::uint32_t index, std::uint32_t time) {
  const auto position = static_cast<std::uint32_t>(folders_.size());
  if (!deferParentIndex_ && !folderById_.Insert(objectId, position).second) return false;
  TreeNode node;
  node.objectId = objectId;
  node.index = index;
  node.parentId = parentId;
  node.time = time;
  SetName(node, name);
  folders_.push_back(node);
  if (deferParentIndex_) {
    folderGroups_.CountRun(parentId);
  } else {
    folderGroups_.Link(folders_, position);
  }
  return true;
}

void RecoveryTree::AddFileNode(std::string_view name, std::uint64_t objectId, std::uint64_t parentId, std::uint32_t index,
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
  SetName(node, name);
  files_.push_back(node);
  if (deferParentIndex_) {
    fileGroups_.CountRun(parentId);
  } else {
    fileGroups_.Link(files_, position);
  }
  // The first node of an index is its key's.
  if (index != position && !(index < position && files_[index].index == index)) {
    fileIndexExceptions_.emplace(index, position);
  }
}

void RecoveryTree::ReleaseTree() {
  folders_.clear();
  files_.clear();
  names_.Clear();
  folderById_.clear();
  folderGroups_ = Groups();
  fileGroups_ = Groups();
  indexMemory_.reset();  // after the indexes that lay in it
  fileIndexExceptions_.clear();
  deferParentIndex_ = false;
  items_.assign(1, TreeItem{});
  currentFolderItem = kRootItem;
}

void RecoveryTree::PlaceIndexes() {
  const std::size_t folders = folderById_.size() + folders_.size();
  const std::size_t folderRuns = folderGroups_.byParent.size() + folderGroups_.runs;
  const std::size_t fileRuns = fileGroups_.byParent.size() + fileGroups_.runs;
  auto line = [](std::size_t bytes) { return (bytes + 63) / 64 * 64; };
  const std::size_t byId = line(IdMap<std::uint32_t>::TableBytes(folders));
  const std::size_t byFolderParent = line(IdMap<Group>::TableBytes(folderRuns));
  const std::size_t total = byId + byFolderParent + line(IdMap<Group>::TableBytes(fileRuns));
  // Below half a large page, each index keeps a table of its own.
  if (total < kLargePageBytes / 2) {
    folderById_.Reserve(folders);
    folderGroups_.byParent.Reserve(folderRuns);
    fileGroups_.byParent.Reserve(fileRuns);
    return;
  }
  const std::size_t bytes = std::max(total, kLargePageBytes);
  IndexMemory memory(static_cast<std::byte*>(AllocateZeroed(bytes)), FreeIndexMemory{bytes});
  folderById_.ReserveAt(folders, memory.get());
  folderGroups_.byParent.ReserveAt(folderRuns, memory.get() + byId);
  fileGroups_.byParent.ReserveAt(fileRuns, memory.get() + byId + byFolderParent);
  indexMemory_ = std::move(memory);  // the tables moved out of the old one
}

void RecoveryTree::DropLaterDuplicateFolders() {
  const auto size = static_cast<std::uint32_t>(folders_.size());
  std::uint32_t kept = 0;
  for (std::uint32_t p = 0; p < size; ++p) {
    if (!folderById_.Insert(folders_[p].objectId, kept).second) continue;
    if (kept != p) folders_[kept] = folders_[p];
    ++kept;
  }
  folders_.Truncate(kept);
}

void RecoveryTree::BuildFolderTree() {
  if (deferParentIndex_) {
    PlaceIndexes();
    DropLaterDuplicateFolders();
  }
  folderGroups_.LinkRest(folders_);
  fileGroups_.LinkRest(files_);
  deferParentIndex_ = false;
  items_.resize(1);
  items_.reserve(folders_.size() + 1);
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
    NodeRange::iterator next, end;
  };
  const NodeRange top = FoldersUnder(key);
  std::vector<Frame> stack{{item, top.begin(), top.end()}};
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.end) {
      stack.pop_back();
      continue;
    }
    const std::uint32_t position = *frame.next++;
    const ItemHandle parentItem = frame.item;
    TreeNode& node = folders_[position];
    if (node.treeItem != kNoItem) continue;
    const auto handle = static_cast<ItemHandle>(items_.size());
    TreeItem child;
    child.parent = parentItem;
    child.folder = position;
    items_.push_back(std::move(child));
    items_[parentItem].children.push_back(handle);
    node.treeItem = handle;
    const NodeRange below = FoldersUnder(node.objectId);
    stack.push_back({handle, below.begin(), below.end()});
  }
}

std::string RecoveryTree::ItemText(ItemHandle item) const {
  if (item == kRootItem) return std::string(kFolderTreeRoot);
  return std::string(folders_[items_.at(item).folder].name());
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
  if (index < files_.size() && files_[index].index == index) {
    // Unless an earlier node took this index first.
    auto it = fileIndexExceptions_.find(index);
    return it != fileIndexExceptions_.end() && it->second < index ? &files_[it->second] : &files_[index];
  }
  auto it = fileIndexExceptions_.find(index);
  return it == fileIndexExceptions_.end() ? nullptr : &files_[it->second];
}

NodeRange RecoveryTree::FoldersUnder(std::uint64_t key) const { return folderGroups_.Under(folders_, key); }

NodeRange RecoveryTree::FilesUnder(std::uint64_t key) const { return fileGroups_.Under(files_, key); }

}  // namespace ov
