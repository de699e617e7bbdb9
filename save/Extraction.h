#pragma once
// Copying one recovered file from the disk to an ordinary file.
//
// A file's data is one contiguous run of pool blocks: firstBlock * 8 for
// blockCount * 8 sectors, cut to the file's size. The run is translated
// through the pool's segment map piece by piece, so data that crosses a
// segment boundary is read from the right disk area.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "disk/DiskView.h"
#include "nss/Pools.h"
#include "nss/RecoveryTree.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Prompter.h"
#include "save/OutputFile.h"
#include "save/SaveSettings.h"

namespace ov {

enum class ReplacePolicy { Yes = 0, No = 1, YesToAll = 2, NoToAll = 3 };

// What became of one file.
enum class SaveOutcome {
  NotFound,        // no file has that key
  Filtered,        // the extension list or the "File Updated" dates keep it out
  Untranslatable,  // its first sector lies outside the pool
  Declined,        // an existing file was kept (No, No to All)
  CreateFailed,    // the target could not be created (write-error question asked)
  WriteFailed,     // writing failed part-way; the partial file was removed
  Skipped,         // stopped by Skip or Stop; the partial file was removed
  Written,
  Refused,         // a symbolic link holds its name; it was not followed
  MissingSegment,  // part of its data lies on a pool segment no disk of the run gives: not saved
};

// A saved file that holds sectors the disk would not give: they were
// written as zeros, so the file is not to be trusted there.
struct UnreadFile {
  std::uint32_t key = 0;       // the file's key (index)
  std::string path;            // in the volume, 8-bit: "\\A\\b.doc"
  std::filesystem::path target;
  std::uint64_t unreadSectors = 0;
};

// The state of a running save, shared by the worker and the "Saving"
// window's buttons (which only set the two flags).
struct SaveProgress {
  std::atomic<std::uint32_t> plannedFiles{0};
  std::atomic<std::uint64_t> plannedBytes{0};
  std::uint32_t filesStarted = 0;
  std::uint64_t bytesWritten = 0;
  std::int64_t startTime = 0;
  std::atomic<bool> skipFile{false};
  std::atomic<bool> abortRun{false};
  ReplacePolicy replacePolicy = ReplacePolicy::Yes;
  // How many files of the run ended each way, indexed by SaveOutcome.
  std::array<std::uint32_t, 10> outcomes{};
  std::uint32_t Count(SaveOutcome o) const { return outcomes[static_cast<std::size_t>(o)]; }
  // The files of the run, in the order saved, that hold unread sectors
  // (written whole or stopped part-way); cleared when a run starts.
  std::vector<UnreadFile> unreadFiles;
  // The files not saved because part of their data lies on a missing
  // segment (their target is where they would have gone).
  std::vector<UnreadFile> missingSegmentFiles;
  // Files stopped part-way, removed so that no partial file stays under a
  // final name; and the places where a symbolic link was in the way (files
  // and folders), not followed. Cleared when a run starts.
  std::vector<std::filesystem::path> removedFiles;
  std::vector<std::filesystem::path> refusedLinks;
  // Of bytesWritten, those of the removed files: bytesWritten less these
  // are the bytes that stay saved.
  std::uint64_t bytesRemoved = 0;
};

// The value fields of the "Saving" window.
enum class SaveField {
  ProgressText,   // "37% Completed"
  FileName,       // "File Name :"
  FilePath,       // "File Path :"
  TotalFiles,     // "Total Files Recovered :"  n / m
  CurrentFile,    // "Recovered Current File :"  written / size
  DataWritten,    // "Total Data Recovered :" first field, "N MB"
  DataPlanned,    // "Total Data Recovered :" second field, "N MB"
  TimeRemaining,  // "Time Remaining :"  "m Min s Sec"
  TimeElapsed,    // "Time Elapsed :"
};

class SaveListener {
public:
  virtual ~SaveListener() = default;
  virtual void SetProgress(int /*percent*/) {}
  virtual void SetText(SaveField /*field*/, const std::string& /*text*/) {}
};

// Watches the files a save creates as it writes them (hashes, reports):
// FileStarted once a file is created, FileBytes with every stretch of bytes
// in the order written, FileEnded with how the file ended.
class SaveObserver {
public:
  virtual ~SaveObserver() = default;
  virtual void FileStarted(const TreeNode& node, const std::filesystem::path& target) = 0;
  virtual void FileBytes(std::span<const std::byte> bytes) = 0;
  virtual void FileEnded(SaveOutcome outcome) = 0;
};

inline constexpr std::string_view kWriteErrorText =
    "Error copying current file :\nThere may be bad sectors or error in file system or not enough space in "
    "destination.";

// "m Min s Sec".
std::string MinutesSeconds(std::int64_t seconds);

// A name from the disk made safe for the local file system: each 8-bit byte
// read as Latin-1 and written as UTF-8; "/", NUL and control characters
// become "_"; "." and ".." (and the empty name) become "_", "__" and "_";
// cut to 255 bytes on a character boundary. Nothing made from it can leave
// the folder it is written into.
std::string SafeFileName(std::string_view name);

class Extractor {
public:
  Extractor(DiskView disk, const PoolInfo& pool, const RecoveryTree& tree, const SaveSettings& settings,
            Prompter& prompter, SaveProgress& progress, SaveListener& listener);

  // Saves the file with key keyHigh:keyLow into `folder`, under a
  // temporary name until it is whole, with the volume's recorded time.
  SaveOutcome SaveFile(OutputFolder& folder, std::uint32_t keyLow, std::uint32_t keyHigh);
  // The same into the folder at that path (opened for this file).
  SaveOutcome SaveFile(const std::filesystem::path& folder, std::uint32_t keyLow, std::uint32_t keyHigh);

  // A symbolic link where a file or folder is to go: reported, noted in
  // the progress, not followed.
  void RefuseLink(const std::filesystem::path& place);
  // The write-error question for `target`, with the system's reason; sets
  // the flags by the answer.
  void AskWriteError(const std::filesystem::path& target, const std::string& reason);

  // Copies the file into `tempFolder` and opens it with the desktop's
  // associated program. False when nothing could be written or opened (a
  // message then says where the copy is, when there is one).
  bool OpenRecoveredFile(std::uint32_t keyLow, std::uint32_t keyHigh, const std::filesystem::path& tempFolder,
                         ProcessRunner& runner);

  // The clock, in whole seconds; tests replace it.
  std::function<std::int64_t()> clock;
  // Told about every file SaveFile creates, when set.
  SaveObserver* observer = nullptr;

private:
  SaveOutcome SaveOne(OutputFolder& folder, std::uint32_t keyLow, std::uint32_t keyHigh);
  enum class CopyResult { Done, Stopped, WriteFailed };
  // Copies the node's data into the file; `report` is called after each
  // run with the bytes written so far.
  CopyResult Copy(const TreeNode& node, OutputFile& file, bool honourFlags,
                  const std::function<void(std::uint64_t)>& report);
  void ReportFileStart(const TreeNode& node, const std::filesystem::path& target);
  void ReportCopy(const TreeNode& node, std::uint64_t written);
  // "\\folder\\name" of a file in the volume.
  std::string VolumePath(const TreeNode& node);

  DiskView disk_;
  const PoolInfo& pool_;
  const RecoveryTree& tree_;
  const SaveSettings& settings_;
  Prompter& prompter_;
  SaveProgress& progress_;
  SaveListener& listener_;
  std::unordered_map<std::uint64_t, ItemHandle> folderItems_;  // object ID -> item, made when first needed
  bool observed_ = false;  // the observer was told of the file being saved
};

}  // namespace ov
