#pragma once
// The options that decide which files a save run writes, and the editor the
// "Settings" window binds to.
//
// Only the extension list (read when a file is saved) and the selection mode
// (read when a run takes its files from the file list) act on saving; the
// other options are kept and shown.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Prompter.h"

namespace ov {

enum class SelectionMode { SaveSelected = 0, SaveAll = 1, InvertSelection = 2 };
enum class DeletedFilter { IncludeDeleted = 0, ExcludeDeleted = 1, DeletedOnly = 2 };
enum class SavingMode { Auto = 0, Fat1 = 1, Fat2 = 2, Contiguous = 3 };

inline constexpr std::size_t kMaxExtensions = 100;
inline constexpr std::size_t kMaxExtensionLength = 4;

struct SaveSettings {
  std::vector<std::string> extensions;  // in the order added; empty = no restriction
  SelectionMode selectionMode = SelectionMode::SaveSelected;
  DeletedFilter deletedFilter = DeletedFilter::IncludeDeleted;
  SavingMode savingMode = SavingMode::Auto;
  // Date list positions (0-based): "Earlier" 31/12/2030, "After" 01/01/1970.
  int earlierDay = 30, earlierMonth = 11, earlierYear = 60;
  int afterDay = 0, afterMonth = 0, afterYear = 0;

  // True when the extension list lets a file of this name through: the list
  // is empty, or the part after the last "." (the whole name without one)
  // equals an entry, ignoring case.
  bool Admits(std::string_view name) const;
};

// Texts of the settings window's choices, in their order.
inline constexpr std::string_view kSelectionModeTexts[] = {"Save Selected File(s)", "Save all File(s)",
                                                           "Invert Selection"};
inline constexpr std::string_view kDeletedFilterTexts[] = {"Include Deleted File(s)", "Exclude Deleted File(s)",
                                                           "Save Deleted Files only"};
inline constexpr std::string_view kSavingModeTexts[] = {"Auto", "FAT1 ", "FAT2", "Contigious"};

// The "Settings" window's behaviour over a working copy of the settings.
class SettingsEditor {
public:
  SettingsEditor(SaveSettings& settings, Prompter& prompter);

  const SaveSettings& working() const { return working_; }
  // The extension list box, top row first: the entries in list order when
  // the window opened, new entries inserted at the top.
  const std::vector<std::string>& listBox() const { return listBox_; }
  int selectedRow() const { return selectedRow_; }
  bool removeEnabled() const { return removeEnabled_; }
  // The edit field; cleared by a successful Add, kept after a refusal.
  std::string editText;

  // "&Add ": checks in order, each failing check shows its message. True when
  // the entry was added.
  bool Add();
  // "&Remove": deletes the selected row's entry and selects the first row.
  void Remove();
  void SelectRow(int row);

  void SetSelectionMode(SelectionMode mode) { working_.selectionMode = mode; }
  void SetEarlier(int day, int month, int year);
  void SetAfter(int day, int month, int year);

  // "&Apply": the working copy becomes the settings. "Cancel" (or closing)
  // leaves them as they were.
  void Apply();
  void Cancel() {}

private:
  void Message(std::string_view text, MessageIcon icon);

  SaveSettings& settings_;
  Prompter& prompter_;
  SaveSettings working_;
  std::vector<std::string> listBox_;
  int selectedRow_ = -1;
  bool removeEnabled_ = true;
};

}  // namespace ov
