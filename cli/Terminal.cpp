#include "cli/Terminal.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>

namespace ov::cli {

namespace {

std::atomic<bool>* gBoolFlag = nullptr;
std::atomic<int>* gIntFlag = nullptr;
volatile std::sig_atomic_t gInterrupted = 0;

void OnInterrupt(int signal) {
  if (gInterrupted != 0) {
    // A second signal: the user will not wait for a clean stop.
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  gInterrupted = signal;
  if (gBoolFlag) gBoolFlag->store(true);
  if (gIntFlag) gIntFlag->store(1);
}

// "a\nb" as "a b": a message is one line.
std::string OneLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  for (char& c : text) {
    if (c == '\n') c = ' ';
  }
  return text;
}

std::string Human(double bytes) {
  const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
  int u = 0;
  while (bytes >= 1024 && u < 4) {
    bytes /= 1024;
    ++u;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f %s", bytes, units[u]);
  return buf;
}

}  // namespace

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

void InstallInterruptHandler() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

void WatchInterrupt(std::atomic<bool>* flag) { gBoolFlag = flag; }
void WatchInterrupt(std::atomic<int>* flag) { gIntFlag = flag; }
bool Interrupted() { return gInterrupted != 0; }
int InterruptExitCode() { return gInterrupted == 0 ? 0 : 128 + gInterrupted; }

TerminalPrompter::TerminalPrompter() : interactive_(IsTerminal(0) && IsTerminal(2)) {}

int TerminalPrompter::Ask(const std::string& question, const std::string& choices, int defaultChoice) {
  std::cerr << question << " " << choices << " " << std::flush;
  std::string line;
  if (!std::getline(std::cin, line) || line.empty()) return defaultChoice;
  // Choices are written "[R]etry / [S]kip ..."; match the bracketed letters.
  int index = 0;
  for (std::size_t i = 0; i + 2 < choices.size(); ++i) {
    if (choices[i] == '[' && choices[i + 2] == ']') {
      if (std::tolower(static_cast<unsigned char>(choices[i + 1])) == std::tolower(static_cast<unsigned char>(line[0]))) {
        return index;
      }
      ++index;
    }
  }
  return defaultChoice;
}

BadSectorChoice TerminalPrompter::AskBadSector() {
  if (badSectorAnswer) return *badSectorAnswer;
  if (!interactive_) return BadSectorChoice::RetryAll;
  const int answer = Ask("Encountered Bad Sector(s) while reading disk.", "[R]etry / [S]kip / retry [A]ll / s[K]ip all", 0);
  return static_cast<BadSectorChoice>(answer);
}

void TerminalPrompter::NoteCause(const std::string& path, const std::string& reason) {
  causePath_ = path;
  causeReason_ = reason;
}

void TerminalPrompter::Report(const std::string& text, const std::string& after) {
  std::string line = kMessagePrefix + OneLine(text);
  if (!causePath_.empty()) line += (line.back() == ':' ? " " : ": ") + causePath_;
  if (!causeReason_.empty()) line += ": " + causeReason_;
  line += after;
  causePath_.clear();
  causeReason_.clear();
  std::cerr << line << "\n" << std::flush;
}

ReplaceChoice TerminalPrompter::AskReplaceFile(const std::string& path) {
  if (replaceAnswer) return *replaceAnswer;
  if (!interactive_) {
    // Skipping silently would pass for a save; guessing could overwrite.
    if (!unanswered_) {
      NoteCause(path, "no terminal to ask on; pass --replace yes-to-all or --replace no-to-all");
      Report("The File Already Exists.");
    }
    unanswered_ = true;
    errorShown_ = true;
    if (stopOnUnanswerable) stopOnUnanswerable->store(true);
    return ReplaceChoice::NoToAll;
  }
  const int answer = Ask("The File Already Exists. Do you want to replace the existing file.\n  " + path + "\n",
                         "[Y]es / [N]o / yes to [A]ll / no [T]o all", 1);
  constexpr ReplaceChoice kChoices[] = {ReplaceChoice::Yes, ReplaceChoice::No, ReplaceChoice::YesToAll,
                                        ReplaceChoice::NoToAll};
  return kChoices[answer];
}

WriteErrorChoice TerminalPrompter::AskWriteError(const std::string& path) {
  errorShown_ = true;
  if (causePath_.empty()) causePath_ = path;
  Report("Error copying current file :", " (There may be bad sectors or error in file system or not enough space in destination.)");
  if (!interactive_) return WriteErrorChoice::Abort;
  return Ask("", "[A]bort / [S]kip", 0) == 0 ? WriteErrorChoice::Abort : WriteErrorChoice::Skip;
}

bool TerminalPrompter::AskYesNo(const std::string& text, const std::string&) {
  if (!interactive_) return false;
  return Ask(text, "[Y]es / [N]o", 1) == 0;
}

void TerminalPrompter::ShowMessage(const std::string& text, const std::string&, MessageIcon icon) {
  if (icon == MessageIcon::Error || icon == MessageIcon::Warning) errorShown_ = true;
  Report(text);
}

ProgressBar::ProgressBar(std::string label)
    : label_(std::move(label)), enabled_(IsTerminal(2)), start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() { Finish(); }

void ProgressBar::Update(std::uint64_t done, std::uint64_t total, bool bytes) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (drawn_ && now - last_ < std::chrono::milliseconds(100)) return;
  last_ = now;
  drawn_ = true;
  const double seconds = std::chrono::duration<double>(now - start_).count();
  const int percent = total == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(done * 100 / total, 100));
  constexpr int kWidth = 30;
  std::string bar(static_cast<std::size_t>(percent * kWidth / 100), '#');
  bar.resize(kWidth, '.');
  std::string rate, left;
  if (seconds > 0.5 && done > 0) {
    const double perSecond = static_cast<double>(done) / seconds;
    if (bytes) rate = Human(perSecond) + "/s";
    const double remaining = total > done ? static_cast<double>(total - done) / perSecond : 0;
    left = std::to_string(static_cast<long long>(remaining)) + " s left";
  }
  std::fprintf(stderr, "\r%s [%s] %3d%% %s %s\033[K", label_.c_str(), bar.c_str(), percent, rate.c_str(),
               left.c_str());
  std::fflush(stderr);
}

void ProgressBar::Finish() {
  if (enabled_ && drawn_) {
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
  }
}

}  // namespace ov::cli
