#include "save/Extraction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "nss/ObjectTree.h"
#include "platform/Text.h"
#include "save/FileRuns.h"

namespace ov {

namespace {

// Sectors read and written per run: large runs keep the copy at disk speed;
// the stop and skip flags are still tested between runs.
constexpr std::uint32_t kRunSectors = 2048;

std::int64_t Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string MinutesSeconds(std::int64_t seconds) {
  return std::to_string(seconds / 60) + " Min " + std::to_string(seconds % 60) + " Sec";
}

std::string SafeFileName(std::string_view name) {
  std::string safe;
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    safe.push_back(c == '/' || c < 0x20 || c == 0x7F ? '_' : ch);
  }
  if (safe.empty() || safe == ".") return "_";
  if (safe == "..") return "__";
  std::string utf8 = Latin1ToUtf8(safe);
  if (utf8.size() > 255) {
    std::size_t cut = 255;
    while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
    utf8.resize(cut);
  }
  return utf8;
}

Extractor::Extractor(DiskView disk, const PoolInfo& pool, const RecoveryTree& tree, const SaveSettings& settings,
                     Prompter& prompter, SaveProgress& progress, SaveListener& listener)
    : clock(Now),
      disk_(std::move(disk)),
      pool_(pool),
      tree_(tree),
      settings_(settings),
      prompter_(prompter),
      progress_(progress),
      listener_(listener) {}

void Extractor::AskWriteError(const std::filesystem::path& target, const std::string& reason) {
  prompter_.NoteCause(target.string(), reason);
  if (prompter_.AskWriteError(target.string()) == WriteErrorChoice::Abort) {
    progress_.skipFile = false;
    progress_.abortRun = true;
  } else {
    progress_.skipFile = true;
    progress_.abortRun = false;
  }
}

void Extractor::ReportFileStart(const TreeNode& node, const std::filesystem::path& target) {
  if (progress_.plannedBytes == 0) progress_.plannedBytes = 1;
  const std::uint64_t planned = progress_.plannedBytes;
  const auto percent = static_cast<int>(progress_.bytesWritten * 100 / planned);
  listener_.SetProgress(percent);
  listener_.SetText(SaveField::ProgressText, std::to_string(percent) + "% Completed");
  listener_.SetText(SaveField::FilePath, target.string());
  listener_.SetText(SaveField::FileName, Latin1ToUtf8(node.name()));
  listener_.SetText(SaveField::DataWritten, std::to_string(progress_.bytesWritten / 1024 / 1024) + " MB");
  const std::uint64_t plannedMb = planned / 1024 / 1024;
  listener_.SetText(SaveField::DataPlanned, std::to_string(plannedMb == 0 ? 1 : plannedMb) + " MB");
  ++progress_.filesStarted;
  listener_.SetText(SaveField::TotalFiles,
                    std::to_string(progress_.filesStarted) + " / " + std::to_string(progress_.plannedFiles.load()));
}

void Extractor::ReportCopy(const TreeNode& node, std::uint64_t written) {
  listener_.SetText(SaveField::CurrentFile, std::to_string(static_cast<std::uint32_t>(written)) + " / " +
                                                std::to_string(static_cast<std::uint32_t>(node.size)));
  const std::int64_t elapsed = clock() - progress_.startTime;
  if (elapsed <= 0) return;
  const std::uint64_t rate = progress_.bytesWritten / static_cast<std::uint64_t>(elapsed);
  if (rate == 0) return;
  const std::uint64_t planned = progress_.plannedBytes;
  const std::uint64_t left = planned > progress_.bytesWritten ? planned - progress_.bytesWritten : 0;
  listener_.SetText(SaveField::TimeRemaining, MinutesSeconds(static_cast<std::int64_t>(left / rate)));
  listener_.SetText(SaveField::TimeElapsed, MinutesSeconds(elapsed));
}

void Extractor::RefuseLink(const std::filesystem::path& place) {
  progress_.refusedLinks.push_back(place);
  prompter_.ShowMessage(place.string() + ": " + std::string(OutputFolder::kLinkRefused), std::string(kProductTitle),
                        MessageIcon::Warning);
}

Extractor::CopyResult Extractor::Copy(const TreeNode& node, OutputFile& file, bool honourFlags,
                                      const std::function<void(std::uint64_t)>& report) {
  // The file's stretches on the disk, as the mount and the reports see
  // them: the copy ends at the file's size, when its blocks run out, or
  // where its run leaves the pool.
  const auto runs = FileDiskRuns(pool_, node);
  if (!runs) return CopyResult::Done;
  std::vector<std::byte> buffer(std::size_t{kRunSectors} * kSectorSize);
  std::uint64_t written = 0;
  for (const DiskRun& run : *runs) {
    for (std::uint64_t done = 0; done < run.bytes;) {
      if (honourFlags && (progress_.skipFile || progress_.abortRun)) {
        progress_.skipFile = false;
        return CopyResult::Stopped;
      }
      const std::uint64_t bytes = std::min<std::uint64_t>(std::uint64_t{kRunSectors} * kSectorSize, run.bytes - done);
      const auto n = static_cast<std::uint32_t>((bytes + kSectorSize - 1) / kSectorSize);
      const std::uint64_t sector = run.diskSector + done / kSectorSize;
      // Straight into the buffer when the whole stretch reads; otherwise
      // sector by sector with the bad-sector step, sectors that stay
      // unreadable written as zeros, never as stale bytes of another part
      // of the disk.
      if (!disk_.ReadStretch(sector, n, buffer.data())) {
        std::memset(buffer.data(), 0, std::size_t{n} * kSectorSize);
        disk_.ReadChunks(sector, 1, n, buffer.data(), false);
      }
      const std::span<const std::byte> piece(buffer.data(), static_cast<std::size_t>(bytes));
      if (!file.Write(piece)) return CopyResult::WriteFailed;
      if (observed_) observer->FileBytes(piece);
      written += bytes;
      done += bytes;
      if (report) report(written);
    }
  }
  return CopyResult::Done;
}

SaveOutcome Extractor::SaveFile(OutputFolder& folder, std::uint32_t keyLow, std::uint32_t keyHigh) {
  observed_ = false;
  const SaveOutcome outcome = SaveOne(folder, keyLow, keyHigh);
  if (observed_) observer->FileEnded(outcome);
  observed_ = false;
  ++progress_.outcomes[static_cast<std::size_t>(outcome)];
  return outcome;
}

SaveOutcome Extractor::SaveFile(const std::filesystem::path& folder, std::uint32_t keyLow, std::uint32_t keyHigh) {
  std::string error;
  const auto opened = OutputFolder::Open(folder, &error);
  if (!opened) {
    AskWriteError(folder, error);
    ++progress_.outcomes[static_cast<std::size_t>(SaveOutcome::CreateFailed)];
    return SaveOutcome::CreateFailed;
  }
  return SaveFile(*opened, keyLow, keyHigh);
}

SaveOutcome Extractor::SaveOne(OutputFolder& folder, std::uint32_t keyLow, std::uint32_t keyHigh) {
  progress_.skipFile = false;
  const TreeNode* node = keyHigh == 0 ? tree_.FileByIndex(keyLow) : nullptr;
  if (!node) return SaveOutcome::NotFound;
  if (!settings_.Admits(node->name()) || !settings_.AdmitsTime(node->time)) return SaveOutcome::Filtered;
  const std::string name = SafeFileName(node->name());
  if (FileReachesMissingSegment(pool_, *node)) {
    // Read in part it would pass for the whole file: it is named instead.
    progress_.missingSegmentFiles.push_back(
        {node->index, VolumePath(*node), folder.path() / name, std::uint64_t{node->blockCount} * kSectorsPerBlock});
    return SaveOutcome::MissingSegment;
  }
  std::uint64_t firstSector = node->firstBlock * kSectorsPerBlock;
  if (!TranslateSector(pool_, firstSector)) return SaveOutcome::Untranslatable;

  const std::filesystem::path target = folder.path() / name;
  const OutputFolder::Entry existing = folder.Find(name);
  if (existing == OutputFolder::Entry::Link) {
    RefuseLink(target);
    return SaveOutcome::Refused;
  }
  if (existing != OutputFolder::Entry::None) {
    if (progress_.replacePolicy == ReplacePolicy::NoToAll) return SaveOutcome::Declined;
    if (progress_.replacePolicy != ReplacePolicy::YesToAll) {
      switch (prompter_.AskReplaceFile(target.string())) {
        case ReplaceChoice::Yes: progress_.replacePolicy = ReplacePolicy::Yes; break;
        case ReplaceChoice::YesToAll: progress_.replacePolicy = ReplacePolicy::YesToAll; break;
        case ReplaceChoice::No: progress_.replacePolicy = ReplacePolicy::No; return SaveOutcome::Declined;
        case ReplaceChoice::NoToAll: progress_.replacePolicy = ReplacePolicy::NoToAll; return SaveOutcome::Declined;
      }
    }
  }

  std::string error;
  const auto file = folder.Create(name, &error);
  if (!file) {
    AskWriteError(target, error);
    return SaveOutcome::CreateFailed;
  }
  ReportFileStart(*node, target);
  if (observer) {
    observer->FileStarted(*node, target);
    observed_ = true;
  }
  const std::uint64_t unreadBefore = disk_.UnreadSectors();
  std::uint64_t counted = 0;
  const CopyResult result = Copy(*node, *file, true, [&](std::uint64_t written) {
    progress_.bytesWritten += written - counted;
    counted = written;
    ReportCopy(*node, written);
  });
  if (result == CopyResult::Stopped) {
    // A partial file never passes for a saved one: what was written goes.
    file->Discard();
    progress_.removedFiles.push_back(target);
    progress_.bytesRemoved += counted;
    return SaveOutcome::Skipped;
  }
  // The file keeps the time the volume recorded for it.
  if (node->time != 0) file->SetTime(node->time);
  if (result == CopyResult::WriteFailed || !file->Close()) {
    file->Discard();
    AskWriteError(target, file->error());
    return SaveOutcome::WriteFailed;
  }
  if (const std::uint64_t unread = disk_.UnreadSectors() - unreadBefore; unread > 0) {
    progress_.unreadFiles.push_back({node->index, VolumePath(*node), target, unread});
  }
  return SaveOutcome::Written;
}

std::string Extractor::VolumePath(const TreeNode& node) {
  std::string folder;
  if (node.parentId != 0) {
    if (folderItems_.empty()) {
      for (const TreeNode& f : tree_.folders()) {
        if (f.treeItem != kNoItem) folderItems_.emplace(f.objectId, f.treeItem);
      }
    }
    if (auto it = folderItems_.find(node.parentId); it != folderItems_.end()) folder = tree_.ItemPath(it->second);
  }
  return "\\" + (folder.empty() ? std::string() : folder + "\\") + std::string(node.name());
}

bool Extractor::OpenRecoveredFile(std::uint32_t keyLow, std::uint32_t keyHigh, const std::filesystem::path& tempFolder,
                                  ProcessRunner& runner) {
  const TreeNode* node = keyHigh == 0 ? tree_.FileByIndex(keyLow) : nullptr;
  if (!node || FileReachesMissingSegment(pool_, *node)) return false;
  std::uint64_t firstSector = node->firstBlock * kSectorsPerBlock;
  if (!TranslateSector(pool_, firstSector)) return false;
  std::string error;
  const auto folder = OutputFolder::Open(tempFolder, &error);
  const std::string name = SafeFileName(node->name());
  const std::filesystem::path target = tempFolder / name;
  // An earlier copy is replaced.
  const auto file = folder ? folder->Create(name, &error) : nullptr;
  if (!file) {
    AskWriteError(target, error);
    return false;
  }
  const CopyResult result = Copy(*node, *file, false, nullptr);
  if (result == CopyResult::WriteFailed || !file->Close()) {
    file->Discard();
    AskWriteError(target, file->error());
    return false;
  }
  if (!runner.ShellOpen(target)) {
    prompter_.ShowMessage("No program could be started to open this file. It was saved as " + target.string(),
                          std::string(kProductTitle), MessageIcon::Information);
    return false;
  }
  return true;
}

}  // namespace ov
