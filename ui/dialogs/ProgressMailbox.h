#pragma once
// Mailboxes between a worker and the window: the worker reports through the
// core's listener interfaces as often as it likes; each report only replaces
// the last value kept, under a lock. The window takes what changed on its
// own timer and paints it, so a fast copy costs the worker a lock and a
// string assignment per report, never a repaint.
//
// Qt-free: the dialogs drain them, the tests read them directly.

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "save/Extraction.h"
#include "save/RawScan.h"

namespace ov {

inline constexpr std::size_t kSaveFieldCount = static_cast<std::size_t>(SaveField::TimeElapsed) + 1;

// The "Saving" window's fields as the save worker last set them.
class SaveMailbox : public SaveListener {
public:
  void SetProgress(int percent) override;
  void SetText(SaveField field, const std::string& text) override;

  struct Changes {
    std::optional<int> percent;
    std::array<std::optional<std::string>, kSaveFieldCount> texts;
    bool empty() const;
  };
  // What changed since the last call; each field once, with its last value.
  Changes Take();

private:
  std::mutex mutex_;
  Changes pending_;
};

// The raw form's status line, progress and result list as the scan last
// left them, and the documents it dealt with.
class RawScanMailbox : public RawScanListener {
public:
  void OnStatus(const std::string& text) override;
  void OnProgressVisible(bool visible) override;
  void OnProgress(int percent, const std::string& text) override;
  void OnResultsCleared() override;
  void OnResultRowInserted(std::size_t row, const std::string& text) override;
  void OnResultRowChanged(std::size_t row, const std::string& text) override;
  void OnDocument(const RawDocument& document) override;

  struct Snapshot {
    std::optional<std::string> status;
    std::optional<bool> progressVisible;
    std::optional<std::pair<int, std::string>> progress;
    std::optional<std::vector<std::string>> results;  // the whole list, when it changed
    std::uint64_t documents = 0;   // dealt with since the scan started
    std::uint64_t measured = 0;    // of them, measured from their own structure (exact mode)
    std::vector<RawDocument> failures;  // not written whole, since the last Take
  };
  Snapshot Take();
  // Forgets everything; called when a scan starts.
  void Reset();

private:
  std::mutex mutex_;
  Snapshot pending_;
  std::vector<std::string> results_;
  std::uint64_t documents_ = 0;
  std::uint64_t measured_ = 0;
};

}  // namespace ov
