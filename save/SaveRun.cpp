#include "save/SaveRun.h"

#include <system_error>
#include <unordered_set>

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

bool SaveRun::Chosen(SaveSource source, const SaveRow& row) const {
  // Found names are taken as ticked, whatever the list's selection mode.
  if (source == SaveSource::Found) return row.selected;
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
    if (!Chosen(source, row)) continue;
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
  progress_.missingSegmentFiles.clear();
  progress_.removedFiles.clear();
  progress_.refusedLinks.clear();
  progress_.bytesRemoved = 0;
  CalculateSize(source, rows, stopCount);
  if (counted) counted();
  progress_.replacePolicy = ReplacePolicy::Yes;
  if (source == SaveSource::Tree) {
    TreeWalk(destination);
  } else if (source == SaveSource::Found) {
    FoundWalk(destination, rows);
  } else {
    ListWalk(destination, rows);
  }
  progress_.abortRun = false;
}

std::shared_ptr<OutputFolder> SaveRun::OpenDestination(const std::filesystem::path& destination,
                                                       std::string_view refusal) {
  std::string error;
  std::shared_ptr<OutputFolder> folder = OutputFolder::Make(destination, &error);
  if (!folder) {
    prompter_.NoteCause(destination.string(), error);
    prompter_.ShowMessage(std::string(refusal), std::string(kProductTitle), MessageIcon::Error);
  }
  return folder;
}

std::shared_ptr<OutputFolder> SaveRun::MakeFolder(OutputFolder& parent, ItemHandle item) {
  const std::string name = SafeFileName(tree_.ItemText(item));
  std::string error;
  std::shared_ptr<OutputFolder> folder = parent.Folder(name, &error);
  if (!folder) {
    // A link in the way is never followed.
    const auto place = parent.path() / name;
    if (error == OutputFolder::kLinkRefused) {
      extractor_.RefuseLink(place);
    } else {
      extractor_.AskWriteError(place, error);
    }
  }
  return folder;
}

void SaveRun::SaveTree(ItemHandle top, const std::shared_ptr<OutputFolder>& base, bool tickedOnly) {
  // A frame with `done` set is a folder whose contents are written.
  struct Frame {
    ItemHandle item;
    std::shared_ptr<OutputFolder> parent;
    std::shared_ptr<OutputFolder> done;
  };
  std::vector<Frame> stack{{top, base, nullptr}};
  while (!stack.empty() && !progress_.abortRun) {
    Frame frame = std::move(stack.back());
    stack.pop_back();
    if (frame.done) {
      const TreeNode* node = tree_.FolderByItem(frame.item);
      if (node && node->time != 0) frame.done->SetTime(node->time);
      continue;
    }
    if (tickedOnly) {
      if (!Ticked(tree_.Item(frame.item))) continue;
      ++folderCounter_;
    }
    // Nothing below a folder that cannot be made is saved.
    std::shared_ptr<OutputFolder> folder = MakeFolder(*frame.parent, frame.item);
    if (!folder) continue;
    for (auto p : tree_.FilesUnder(tree_.ItemKey(frame.item))) {
      if (progress_.abortRun) break;
      const TreeNode& file = tree_.files()[p];
      if (!tickedOnly || file.selected) extractor_.SaveFile(*folder, file.index, file.indexHigh);
    }
    stack.push_back({frame.item, nullptr, folder});
    const auto& children = tree_.Item(frame.item).children;
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, folder, nullptr});
  }
}

void SaveRun::TreeWalk(const std::filesystem::path& destination) {
  folderCounter_ = 0;
  progress_.startTime = extractor_.clock();
  progress_.filesStarted = 0;
  const auto folder = OpenDestination(destination, kMsgInvalidPathTree);
  if (!folder) return;
  if (Ticked(tree_.Item(kRootItem))) {
    // Depth first: a folder's files, then its sub-folders in tree order.
    for (ItemHandle item : tree_.Item(kRootItem).children) {
      if (progress_.abortRun) break;
      SaveTree(item, folder, true);
    }
  }
  if (folderCounter_ == 0) {
    prompter_.ShowMessage(std::string(kMsgNoFolderSelected), std::string(kProductTitle), MessageIcon::Error);
  }
}

void SaveRun::ListWalk(const std::filesystem::path& destination, const std::vector<SaveRow>& rows) {
  progress_.startTime = extractor_.clock();
  progress_.filesStarted = 0;
  const auto folder = OpenDestination(destination, kMsgInvalidPathList);
  if (!folder) return;
  for (const auto& row : rows) {
    if (progress_.abortRun) break;
    if (!Chosen(SaveSource::List, row)) continue;
    if (!row.folder) {
      extractor_.SaveFile(*folder, static_cast<std::uint32_t>(row.key), static_cast<std::uint32_t>(row.key >> 32));
      continue;
    }
    const auto item = static_cast<ItemHandle>(row.key);
    if (row.key == kRootItem || !tree_.IsItem(item)) continue;
    SaveTree(item, folder, false);
  }
}

std::shared_ptr<OutputFolder> SaveRun::PathFolder(ItemHandle item, const std::shared_ptr<OutputFolder>& base) {
  std::vector<ItemHandle> chain;
  for (ItemHandle i = item; i != kRootItem && tree_.IsItem(i); i = tree_.Item(i).parent) chain.push_back(i);
  std::shared_ptr<OutputFolder> folder = base;
  for (auto it = chain.rbegin(); it != chain.rend() && folder; ++it) folder = MakeFolder(*folder, *it);
  return folder;
}

void SaveRun::FoundWalk(const std::filesystem::path& destination, const std::vector<SaveRow>& rows) {
  progress_.startTime = extractor_.clock();
  progress_.filesStarted = 0;
  const auto base = OpenDestination(destination, kMsgInvalidPathList);
  if (!base) return;
  auto isFolder = [&](const SaveRow& row) {
    const auto item = static_cast<ItemHandle>(row.key);
    return row.folder && row.key != kRootItem && row.key < kNoItem && tree_.IsItem(item);
  };
  std::unordered_set<ItemHandle> folders;
  for (const auto& row : rows) {
    if (row.selected && isFolder(row)) folders.insert(static_cast<ItemHandle>(row.key));
  }
  // Whether `item` is a ticked folder or lies inside one.
  auto inTicked = [&](ItemHandle item) {
    for (; item != kRootItem && tree_.IsItem(item); item = tree_.Item(item).parent) {
      if (folders.count(item)) return true;
    }
    return false;
  };
  for (const auto& row : rows) {
    if (progress_.abortRun) break;
    // A name whose folder has no place in the tree (an orphan) is written
    // into the destination itself rather than left out.
    if (!row.selected || (row.holder != kNoItem && !tree_.IsItem(row.holder)) || inTicked(row.holder)) continue;
    if (row.folder && !isFolder(row)) continue;
    const auto folder = PathFolder(row.holder, base);
    if (!folder) continue;
    if (row.folder) {
      SaveTree(static_cast<ItemHandle>(row.key), folder, false);
    } else {
      extractor_.SaveFile(*folder, static_cast<std::uint32_t>(row.key), static_cast<std::uint32_t>(row.key >> 32));
    }
  }
}

}  // namespace ov
