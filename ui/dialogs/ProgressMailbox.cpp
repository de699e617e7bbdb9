#include "ui/dialogs/ProgressMailbox.h"

#include <algorithm>

namespace ov {

void SaveMailbox::SetProgress(int percent) {
  std::lock_guard lock(mutex_);
  pending_.percent = percent;
}

void SaveMailbox::SetText(SaveField field, const std::string& text) {
  std::lock_guard lock(mutex_);
  pending_.texts[static_cast<std::size_t>(field)] = text;
}

bool SaveMailbox::Changes::empty() const {
  return !percent && std::none_of(texts.begin(), texts.end(), [](const auto& t) { return t.has_value(); });
}

SaveMailbox::Changes SaveMailbox::Take() {
  std::lock_guard lock(mutex_);
  Changes taken = std::move(pending_);
  pending_ = {};
  return taken;
}

void RawScanMailbox::OnStatus(const std::string& text) {
  std::lock_guard lock(mutex_);
  pending_.status = text;
}

void RawScanMailbox::OnProgressVisible(bool visible) {
  std::lock_guard lock(mutex_);
  pending_.progressVisible = visible;
}

void RawScanMailbox::OnProgress(int percent, const std::string& text) {
  std::lock_guard lock(mutex_);
  pending_.progress = {percent, text};
}

void RawScanMailbox::OnResultsCleared() {
  std::lock_guard lock(mutex_);
  results_.clear();
  pending_.results = results_;
}

void RawScanMailbox::OnResultRowInserted(std::size_t row, const std::string& text) {
  std::lock_guard lock(mutex_);
  results_.insert(results_.begin() + static_cast<std::ptrdiff_t>(std::min(row, results_.size())), text);
  pending_.results = results_;
}

void RawScanMailbox::OnResultRowChanged(std::size_t row, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (row < results_.size()) results_[row] = text;
  pending_.results = results_;
}

void RawScanMailbox::OnDocument(const RawDocument& document) {
  std::lock_guard lock(mutex_);
  ++documents_;
  if (document.exact) ++measured_;
  if (document.outcome == RawDocumentOutcome::CreateFailed || document.outcome == RawDocumentOutcome::WriteFailed) {
    pending_.failures.push_back(document);
  }
}

RawScanMailbox::Snapshot RawScanMailbox::Take() {
  std::lock_guard lock(mutex_);
  Snapshot taken = std::move(pending_);
  taken.documents = documents_;
  taken.measured = measured_;
  pending_ = {};
  return taken;
}

void RawScanMailbox::Reset() {
  std::lock_guard lock(mutex_);
  pending_ = {};
  results_.clear();
  documents_ = 0;
  measured_ = 0;
}

}  // namespace ov
