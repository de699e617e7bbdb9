#include "save/SaveRun.h"

#include <system_error>

namespace ov {

namespace {

bool Ticked(const TreeItem& item) { return item.state != CheckState::Unchecked; }

}  // namespace

bool CreateFolderPath(const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::path prefix;
  for (const auto& part : path) {
    prefix /= part;
    if (part == prefix.root_path() || part.empty()) continue;
    std::filesystem::create_directory(prefix, ec);
  }
  return std::filesystem::is_directory(path, ec);
}

std::optional<std::string_view> SaveButtonRefusal(int wizardStep) {
  if (wizardStep >= 2) return std::nullopt;
  return kMsgGoToStep2;
}

SaveRun::SaveRun(Extractor& extractor, const RecoveryTree& tree, const SaveSettings& settings, SaveProgress& progress,
                 Prompter& prompter)
    : extractor_(extractor), tree_(tree), settings_(settings), progress_(progress), prompter_(prompter) {}

bool SaveRun::Chosen(const SaveRow& row) const {
  switch (settings_.selectionMode) {
    case SelectionMode::SaveSelected: return row.selected;
    case SelectionMode::SaveAll: return true;
    case SelectionMode::InvertSelection: return !row.selected;
  }
  return false;
}

void SaveRun::CalculateSize(SaveSource source, const std::vector<SaveRow>& rows, const std::atomic<bool>& stop) {
  progress_.plannedFiles = 0;
  progress_.plannedBytes = 0;
  progress_.bytesWritten = 0;
  auto add = [&](std::uint64_t bytes) {
    ++progress_.plannedFiles;
    progress_.plannedBytes += bytes;
  };
  if (source == SaveSource::Tree) {
    for (const auto& file : tree_.files()) {
      if (stop) return;
      if (file.selected) add(file.size);
    }
    return;
  }
  for (const auto& row : rows) {
    if (stop) return;
    if (!Chosen(row)) continue;
    if (!row.folder) {
      add(row.size);
      continue;
    }
    if (!tree_.IsItem(static_cast<ItemHandle>(row.key)) || row.key == kRootItem) continue;
    std::vector<ItemHandle> stack{static_cast<ItemHandle>(row.key)};
    while (!stack.empty() && !stop) {
      const ItemHandle item = stack.back();
      stack.pop_back();
      for (auto p : tree_.FilesUnder(tree_.ItemKey(item))) add(tree_.files()[p].size);
      const auto& children = tree_.Item(item).children;
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
    }
  }
}

void SaveRun::Run(SaveSource source, const std::filesystem::path& destination, const std::vector<SaveRow>& rows) {
  const std::atomic<bool> noStop{false};
  Run(source, destination, rows, noStop, nullptr);
}

void SaveRun::Run(SaveSource source, const std::filesystem::path& destination, const std::vector<SaveRow>& rows,
                  const std::atomic<bool>& stopCount, const std::function<void()>& counted) {
  if (destination.empty()) return;
  progress_.abortRun = false;
  progress_.outcomes = {};
  progress_.unreadFiles.clear();
  CalculateSize(source, rows, stopCount);
  if (counted) counted();
  progress_.replacePolicy = ReplacePolicy::Yes;
  if (source == SaveSource::Tree) {
    TreeWalk(destination);
  } else {
    ListWalk(destination, rows);
  }
  progress_.abortRun = false;
}

std::filesystem::path SaveRun::ItemFolder(const std::filesystem::path& destination, ItemHandle item) const {
  std::vector<ItemHandle> chain;
  for (ItemHandle i = item; i != kRootItem && i != kNoItem; i = tree_.Item(i).parent) chain.push_back(i);
  std::filesystem::path folder = destination;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) folder /= SafeFileName(tree_.ItemText(*it));
  return folder;
}

void SaveRun::TreeWalk(const std::filesystem::path& destination) {
  folderCounter_ = 0;
  progress_.startTime = extractor_.clock();
  progress_.filesStarted = 0;
  if (!CreateFolderPath(destination)) {
    prompter_.ShowMessage(std::string(kMsgInvalidPathTree), std::string(kProductTitle), MessageIcon::Error);
    return;
  }
  if (Ticked(tree_.Item(kRootItem))) {
    // Depth first: a folder's files, then its sub-folders in tree order.
    std::vector<ItemHandle> stack;
    const auto& top = tree_.Item(kRootItem).children;
    for (auto it = top.rbegin(); it != top.rend(); ++it) stack.push_back(*it);
    while (!stack.empty() && !progress_.abortRun) {
      const ItemHandle item = stack.back();
      stack.pop_back();
      if (!Ticked(tree_.Item(item))) continue;
      ++folderCounter_;
      const auto target = ItemFolder(destination, item);
      CreateFolderPath(target);
      for (auto p : tree_.FilesUnder(tree_.ItemKey(item))) {
        if (progress_.abortRun) break;
        const TreeNode& file = tree_.files()[p];
        if (file.selected) extractor_.SaveFile(target, file.index, file.indexHigh);
      }
      const auto& children = tree_.Item(item).children;
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back(*it);
    }
  }
  if (folderCounter_ == 0) {
    prompter_.ShowMessage(std::string(kMsgNoFolderSelected), std::string(kProductTitle), MessageIcon::Error);
  }
}

void SaveRun::ListWalk(const std::filesystem::path& destination, const std::vector<SaveRow>& rows) {
  progress_.startTime = extractor_.clock();
  progress_.filesStarted = 0;
  if (!CreateFolderPath(destination)) {
    prompter_.ShowMessage(std::string(kMsgInvalidPathList), std::string(kProductTitle), MessageIcon::Error);
    return;
  }
  for (const auto& row : rows) {
    if (progress_.abortRun) break;
    if (!Chosen(row)) continue;
    if (!row.folder) {
      extractor_.SaveFile(destination, static_cast<std::uint32_t>(row.key), static_cast<std::uint32_t>(row.key >> 32));
      continue;
    }
    const auto item = static_cast<ItemHandle>(row.key);
    if (row.key == kRootItem || !tree_.IsItem(item)) continue;
    SaveSubtree(item, destination, tree_.ItemText(item));
  }
}

void SaveRun::SaveSubtree(ItemHandle item, const std::filesystem::path& base, const std::string& name) {
  struct Frame {
    ItemHandle item;
    std::filesystem::path base;
    std::string name;
  };
  std::vector<Frame> stack{{item, base, name}};
  while (!stack.empty()) {
    if (progress_.abortRun) return;
    Frame frame = std::move(stack.back());
    stack.pop_back();
    const auto target = frame.base / SafeFileName(frame.name);
    CreateFolderPath(target);
    for (auto p : tree_.FilesUnder(tree_.ItemKey(frame.item))) {
      if (progress_.abortRun) return;
      const TreeNode& file = tree_.files()[p];
      extractor_.SaveFile(target, file.index, file.indexHigh);
    }
    const auto& children = tree_.Item(frame.item).children;
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, target, tree_.ItemText(*it)});
  }
}

}  // namespace ov
