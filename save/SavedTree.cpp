#include "save/SavedTree.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "disk/Device.h"
#include "save/Extraction.h"

namespace ov {

namespace {

// Built in the order a save writes, with a name index per folder.
class Builder {
public:
  Builder(const RecoveryTree& tree, const PoolInfo& pool, std::vector<SavedTree::Entry>& entries)
      : tree_(tree), pool_(pool), entries_(entries) {
    entries_.push_back({});
    entries_[0].folder = true;
    entries_[0].volumePath = "\\";
  }

  void Run() {
    // The whole volume: each placed folder of the root with all below it,
    // then the root's files.
    for (auto p : tree_.FoldersUnder(0)) {
      if (tree_.folders()[p].treeItem != kNoItem) Subtree(tree_.folders()[p].treeItem);
    }
    for (auto p : tree_.FilesUnder(0)) AddFile(SavedTree::kRoot, tree_.files()[p]);
  }

private:
  void Subtree(ItemHandle top) {
    struct Frame {
      ItemHandle item;
      std::uint32_t parent;
    };
    std::vector<Frame> stack{{top, SavedTree::kRoot}};
    while (!stack.empty()) {
      const Frame frame = stack.back();
      stack.pop_back();
      const TreeNode* node = tree_.FolderByItem(frame.item);
      if (!node) continue;
      const auto folder = Folder(frame.parent, *node);
      if (!folder) continue;  // a file holds the name: nothing below is saved
      for (auto p : tree_.FilesUnder(tree_.ItemKey(frame.item))) AddFile(*folder, tree_.files()[p]);
      const auto& children = tree_.Item(frame.item).children;
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, *folder});
    }
  }

  std::optional<std::uint32_t> Folder(std::uint32_t parent, const TreeNode& node) {
    const std::string name = SafeFileName(node.name());
    if (const auto it = names_.find(Key(parent, name)); it != names_.end()) {
      if (entries_[it->second].folder) return it->second;
      return std::nullopt;
    }
    SavedTree::Entry e;
    e.folder = true;
    e.time = node.time;
    e.objectId = node.objectId;
    e.volumePath = VolumePath(parent, node.name());
    return Add(parent, name, std::move(e));
  }

  void AddFile(std::uint32_t parent, const TreeNode& node) {
    const std::string name = SafeFileName(node.name());
    if (names_.count(Key(parent, name))) return;
    auto runs = FileDiskRuns(pool_, node);
    if (!runs) return;
    SavedTree::Entry e;
    e.time = node.time;
    e.objectId = node.objectId;
    e.size = SavedLength(*runs);
    e.runs = std::move(*runs);
    e.volumePath = VolumePath(parent, node.name());
    Add(parent, name, std::move(e));
  }

  std::uint32_t Add(std::uint32_t parent, const std::string& name, SavedTree::Entry e) {
    const auto at = static_cast<std::uint32_t>(entries_.size());
    e.name = name;
    e.parent = parent;
    entries_.push_back(std::move(e));
    entries_[parent].children.push_back(at);
    names_.emplace(Key(parent, name), at);
    return at;
  }

  std::string VolumePath(std::uint32_t parent, std::string_view name) const {
    const std::string& base = entries_[parent].volumePath;
    return (base == "\\" ? base : base + "\\") + std::string(name);
  }

  static std::string Key(std::uint32_t parent, const std::string& name) {
    return std::to_string(parent) + "/" + name;
  }

  const RecoveryTree& tree_;
  const PoolInfo& pool_;
  std::vector<SavedTree::Entry>& entries_;
  std::unordered_map<std::string, std::uint32_t> names_;
};

}  // namespace

SavedTree::SavedTree(const RecoveryTree& tree, const PoolInfo& pool) {
  Builder(tree, pool, entries_).Run();
  for (Entry& e : entries_) {
    std::sort(e.children.begin(), e.children.end(),
              [&](std::uint32_t a, std::uint32_t b) { return entries_[a].name < entries_[b].name; });
  }
}

std::optional<std::uint32_t> SavedTree::Child(std::uint32_t folder, std::string_view name) const {
  const auto& children = entries_[folder].children;
  const auto it = std::lower_bound(children.begin(), children.end(), name,
                                   [&](std::uint32_t e, std::string_view n) { return entries_[e].name < n; });
  if (it == children.end() || entries_[*it].name != name) return std::nullopt;
  return *it;
}

std::optional<std::uint32_t> SavedTree::Find(std::string_view path) const {
  std::uint32_t at = kRoot;
  std::size_t pos = 0;
  while (pos < path.size()) {
    if (path[pos] == '/') {
      ++pos;
      continue;
    }
    const std::size_t end = std::min(path.find('/', pos), path.size());
    if (!entries_[at].folder) return std::nullopt;
    const auto child = Child(at, path.substr(pos, end - pos));
    if (!child) return std::nullopt;
    at = *child;
    pos = end;
  }
  return at;
}

std::size_t SavedTree::Read(const DiskView& disk, std::uint32_t entry, std::uint64_t offset, std::span<std::byte> out,
                            std::uint64_t& unreadSectors) const {
  const Entry& e = entries_[entry];
  if (e.folder || offset >= e.size) return 0;
  const std::uint64_t want = std::min<std::uint64_t>(out.size(), e.size - offset);
  // The run holding `offset`: the last that starts at or before it.
  auto run = std::upper_bound(e.runs.begin(), e.runs.end(), offset,
                              [](std::uint64_t o, const DiskRun& r) { return o < r.fileOffset; });
  --run;
  std::uint64_t done = 0;
  while (done < want && run != e.runs.end()) {
    const std::uint64_t at = offset + done;
    const std::uint64_t into = at - run->fileOffset;
    const std::uint64_t take = std::min(want - done, run->bytes - into);
    const std::uint64_t firstSector = run->diskSector + into / kSectorSize;
    const std::uint64_t skip = into % kSectorSize;
    const auto count = static_cast<std::uint32_t>((skip + take + kSectorSize - 1) / kSectorSize);
    // Whole sectors go straight into the caller's buffer; a stretch that
    // starts or ends inside a sector goes through the scratch buffer.
    const bool direct = skip == 0 && take % kSectorSize == 0;
    if (!direct) scratch_.resize(std::size_t{count} * kSectorSize);
    std::byte* into_ = direct ? out.data() + done : scratch_.data();
    // As the save reads: the whole stretch, or sector by sector with the
    // bad-sector step, what stays unread as zeros.
    if (!disk.ReadStretch(firstSector, count, into_)) {
      std::memset(into_, 0, std::size_t{count} * kSectorSize);
      const std::uint64_t before = disk.UnreadSectors();
      disk.ReadChunks(firstSector, 1, count, into_, false);
      unreadSectors += disk.UnreadSectors() - before;
    }
    if (!direct) std::memcpy(out.data() + done, scratch_.data() + skip, static_cast<std::size_t>(take));
    done += take;
    ++run;
  }
  return static_cast<std::size_t>(done);
}

}  // namespace ov
