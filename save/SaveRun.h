#pragma once
// A save run: the selection of the folder tree (checked folders), of the
// file list (rows chosen by the selection mode) or of the names a search
// found (the ticked ones) written under a destination folder, re-creating
// the folder structure.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "save/Extraction.h"

namespace ov {

// Found: the ticked names of a name search, each written at its own folder
// path below the destination.
enum class SaveSource { Tree = 1, List = 2, Found = 3 };

inline constexpr std::string_view kMsgInvalidPathTree = "Inavalid Path";
inline constexpr std::string_view kMsgInvalidPathList = "Inavlid Path";
inline constexpr std::string_view kMsgNoFolderSelected = "No folder selected, select folders from left window";
inline constexpr std::string_view kMsgGoToStep2 = "Go to step 2 and then use this option";
inline constexpr std::string_view kMsgTerminateCount = "Do you want to terminate this process?";

// One row of the file list as the save run sees it: whether the user selected
// it, whether it is a folder ("Folder" in its type column), its key (a
// folder's tree item or a file's index) and the number in its size column.
// A name found by a search is a row too: `selected` when ticked, and
// `holder` the tree item of the folder it lies in.
struct SaveRow {
  bool selected = false;
  bool folder = false;
  std::uint64_t key = 0;
  std::uint64_t size = 0;
  ItemHandle holder = kNoItem;
};

// Creates every folder of the path, from the first one down; failures are
// ignored. True when the whole path exists as a folder afterwards.
bool CreateFolderPath(const std::filesystem::path& path);

// The save button's rule: a tree save needs the wizard at step 2 or later.
// Answers the message to show, or nothing.
std::optional<std::string_view> SaveButtonRefusal(int wizardStep);

class SaveRun {
public:
  SaveRun(Extractor& extractor, const RecoveryTree& tree, const SaveSettings& settings, SaveProgress& progress,
          Prompter& prompter);

  // Counts the files and bytes the run plans to write into the progress
  // (the extension list is not applied). Stops where it stands when `stop`
  // becomes true; the run then goes on with what was counted.
  void CalculateSize(SaveSource source, const std::vector<SaveRow>& rows, const std::atomic<bool>& stop);

  // The whole run after the destination was chosen: the size calculation,
  // then the walk. An empty destination saves nothing.
  void Run(SaveSource source, const std::filesystem::path& destination, const std::vector<SaveRow>& rows);
  // The same, for a front end that shows the counting: `stopCount` ends the
  // size calculation where it stands (the walk still saves the whole
  // selection), and `counted` is called once the count has ended, before the
  // walk starts.
  void Run(SaveSource source, const std::filesystem::path& destination, const std::vector<SaveRow>& rows,
           const std::atomic<bool>& stopCount, const std::function<void()>& counted);

  // The walks themselves.
  void TreeWalk(const std::filesystem::path& destination);
  void ListWalk(const std::filesystem::path& destination, const std::vector<SaveRow>& rows);
  // The ticked found names: a file into its folder's path below the
  // destination, a folder with everything below it at its own path; a file
  // whose folder has no place in the tree into the destination itself. What
  // lies inside a ticked folder is written once, with that folder.
  void FoundWalk(const std::filesystem::path& destination, const std::vector<SaveRow>& rows);

  std::uint32_t folderCounter() const { return folderCounter_; }

private:
  bool Chosen(SaveSource source, const SaveRow& row) const;
  // The folder of `item` (its text, made safe) in `parent`, made if need
  // be; nothing when it cannot be made, which is said.
  std::shared_ptr<OutputFolder> MakeFolder(OutputFolder& parent, ItemHandle item);
  // The folder of `item`'s path below `base`, made as needed; nothing when
  // a part of it cannot be made (said as for any folder of a save).
  std::shared_ptr<OutputFolder> PathFolder(ItemHandle item, const std::shared_ptr<OutputFolder>& base);
  // Opens the destination, creating it; reports "Inavalid Path" or
  // "Inavlid Path" (`refusal`) with the reason when it cannot.
  std::shared_ptr<OutputFolder> OpenDestination(const std::filesystem::path& destination, std::string_view refusal);
  // Saves the folder of `top` with everything below it into `base`: each
  // folder's files, then its sub-folders in tree order; each folder takes
  // its recorded time once its contents are written. `tickedOnly` keeps to
  // the ticked items and selected files of the tree, and counts the folders.
  void SaveTree(ItemHandle top, const std::shared_ptr<OutputFolder>& base, bool tickedOnly);

  Extractor& extractor_;
  const RecoveryTree& tree_;
  const SaveSettings& settings_;
  SaveProgress& progress_;
  Prompter& prompter_;
  std::uint32_t folderCounter_ = 0;
};

}  // namespace ov
