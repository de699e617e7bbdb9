#pragma once
// The command line's answers to the program's questions, and its progress
// display on standard error.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "disk/SectorReader.h"
#include "nss/PartitionScan.h"
#include "platform/Prompter.h"
#include "save/Extraction.h"

namespace ov::cli {

// True when the descriptor is a terminal.
bool IsTerminal(int fd);

// Every line the command line writes on standard error starts with this.
inline constexpr const char* kMessagePrefix = "ovnss-cli: ";

// Questions: asked on the terminal when standard input is one; otherwise the
// scripted defaults answer (bad sectors per --bad-sectors, replace per
// --replace, write errors abort the run). A replace question that no option
// answers and no terminal can ask is a usage error: it is reported, the
// run stopped through `stopOnUnanswerable`, and unanswered() set. Messages
// go to standard error on one line each, the system's own text first, then
// the path and the system's reason when the core noted them; an error
// message marks the run as failed.
class TerminalPrompter : public Prompter {
public:
  TerminalPrompter();

  // What to answer without asking: set from the options.
  std::optional<BadSectorChoice> badSectorAnswer;
  std::optional<ReplaceChoice> replaceAnswer;

  BadSectorChoice AskBadSector() override;
  ReplaceChoice AskReplaceFile(const std::string& path) override;
  WriteErrorChoice AskWriteError(const std::string& path) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
  void NoteCause(const std::string& path, const std::string& reason) override;

  bool errorShown() const { return errorShown_; }
  bool unanswered() const { return unanswered_; }
  // Set while a save runs: a question nobody can answer stops it.
  std::atomic<bool>* stopOnUnanswerable = nullptr;

private:
  // Reads one answer line and returns the index of the first choice whose
  // key letter it starts with, or the default.
  int Ask(const std::string& question, const std::string& choices, int defaultChoice);
  // One line on standard error: the prefix, `text` (its line breaks made
  // blanks), the noted cause, which is used up, and `after`.
  void Report(const std::string& text, const std::string& after = {});
  bool interactive_;
  std::atomic<bool> errorShown_{false};
  bool unanswered_ = false;
  std::string causePath_, causeReason_;
};

// A progress bar with percent, throughput and time left, drawn on standard
// error at most ten times a second, and only when it is a terminal.
class ProgressBar {
public:
  explicit ProgressBar(std::string label);
  ~ProgressBar();
  // `done` of `total` units; bytes when `bytes` is set (throughput shown).
  void Update(std::uint64_t done, std::uint64_t total, bool bytes);
  void Finish();

private:
  std::string label_;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_, last_;
};

// Search progress as a bar.
class SearchProgress : public SearchListener {
public:
  SearchProgress(std::string label, std::uint64_t totalSectors) : bar_(std::move(label)), total_(totalSectors) {}
  void OnProgress(int percent) override { bar_.Update(total_ * static_cast<std::uint64_t>(percent) / 100, total_, true); }
  void Finish() { bar_.Finish(); }

private:
  ProgressBar bar_;
  std::uint64_t total_;
};

// Save progress as a bar over bytes.
class SaveProgressBar : public SaveListener {
public:
  explicit SaveProgressBar(const SaveProgress& progress) : progress_(progress), bar_("Saving") {}
  void SetText(SaveField field, const std::string&) override {
    if (field == SaveField::CurrentFile || field == SaveField::TotalFiles) {
      bar_.Update(progress_.bytesWritten, progress_.plannedBytes, true);
    }
  }
  void Finish() { bar_.Finish(); }

private:
  const SaveProgress& progress_;
  ProgressBar bar_;
};

// Ctrl-C (SIGINT) and SIGTERM set the flags registered here, so long work
// stops cleanly through its own stop flags; a second signal ends the
// program at once.
void InstallInterruptHandler();
void WatchInterrupt(std::atomic<bool>* flag);
void WatchInterrupt(std::atomic<int>* flag);
bool Interrupted();
// The exit code after the signal received: 128 + its number (130 for
// Ctrl-C, 143 for SIGTERM); 0 when none came.
int InterruptExitCode();

}  // namespace ov::cli
