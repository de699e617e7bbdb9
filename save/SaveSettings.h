#pragma once
// The options that decide which files a save run writes, and the editor the
// "Settings" window binds to.
//
// The extension list and the "File Updated" dates (read when a file is
// saved) and the selection mode (read when a run takes its files from the
// file list) act on saving; the deleted-files choice and the saving mode are
// kept and shown.

#include <array>
#include <cstdint>
#include <optional>
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

// The rows of the date lists: days "01" to "31", months "01" to "12", the
// "Earlier" years 1970 to 2099 and the "After" years 1970 to 2030.
inline constexpr int kFirstListYear = 1970;
inline constexpr int kDayRows = 31;
inline constexpr int kMonthRows = 12;
inline constexpr int kEarlierYearRows = 130;
inline constexpr int kAfterYearRows = 61;

struct SaveSettings {
  std::vector<std::string> extensions;  // in the order added; empty = no restriction
  SelectionMode selectionMode = SelectionMode::SaveSelected;
  DeletedFilter deletedFilter = DeletedFilter::IncludeDeleted;
  SavingMode savingMode = SavingMode::Auto;
  // Date list positions (0-based): "Earlier" 31/12/2030, "After" 01/01/1970.
  int earlierDay = 30, earlierMonth = 11, earlierYear = 60;
  int afterDay = 0, afterMonth = 0, afterYear = 0;
  // Hash manifests to write beside the saved files: MD5, SHA-1, SHA-256
  // (in the order of HashKind, save/Hashes.h).
  std::array<bool, 3> hashes{};

  // True when the extension list lets a file of this name through: the list
  // is empty, or the part after the last "." (the whole name without one)
  // equals an entry, ignoring case.
  bool Admits(std::string_view name) const;

  // True when the "File Updated" dates let a file of this time stamp
  // (seconds since 1970) through: from the start of the "After" day to the
  // end of the "Earlier" day, both in local time and both inclusive, as the
  // file list shows dates. A file without a time stamp (0) always passes.
  // "Earlier" left at its default, 31/12/2030, is no upper bound, so the
  // defaults let every file through; "After" at its default, 01/01/1970,
  // is no lower bound by its nature. A day past the end of its month (31/02)
  // stands for the month's last day. When "After" lies past "Earlier", no
  // stamped file passes.
  bool AdmitsTime(std::uint32_t time) const;
};

// Date list positions (day, month, year rows) of a "YYYY-MM-DD" text, for a
// year list of `yearRows` rows from 1970. Nothing when the text is not such
// a date or lies outside the lists.
std::optional<std::array<int, 3>> DatePositions(std::string_view text, int yearRows);

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
  void SetHash(std::size_t kind, bool on) {
    if (kind < working_.hashes.size()) working_.hashes[kind] = on;
  }
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
