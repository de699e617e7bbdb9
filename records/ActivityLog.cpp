#include "records/ActivityLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/Prompter.h"

namespace ov {

namespace {

constexpr const char* kDayNames[] = {"Sunday, ",   "Monday, ", "Tuesday, ", "Wednesday, ",
                                     "Thursday, ", "Friday, ", "Saturday, "};
constexpr const char* kMonthNames[] = {"January ", "February ", "March ",     "April ",   "May ",      "June ",
                                       "July ",    "August ",   "September ", "October ", "November ", "December "};

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// How long a write waits for the log while another writer has it.
constexpr std::chrono::seconds kLogWait{10};

// Takes the log for this writer alone: the lock stands for the "no sharing"
// open, and where that open fails while another writer has the file, this
// one tries again until the other is done, so no block is dropped for being
// written at the same moment as another.
bool TakeAlone(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + kLogWait;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace

std::filesystem::path ActivityLogStateFolder() {
  std::filesystem::path state;
  if (const char* named = std::getenv("XDG_STATE_HOME"); named != nullptr) state = named;
  // The base directory rules ignore a relative XDG_STATE_HOME.
  if (state.empty() || state.is_relative()) {
    const char* home = std::getenv("HOME");
    state = std::filesystem::path(home != nullptr && *home != '\0' ? home : "/") / ".local" / "state";
  }
  return state / "ovnss";
}

std::filesystem::path ActivityLogFolder(const std::filesystem::path& installPath) {
  if (installPath.empty()) return {};
  const auto log = installPath / kActivityLogName;
  // The log there if it can be appended to, or made there.
  if (::access(log.c_str(), W_OK) == 0) return installPath;
  if (errno == ENOENT && ::access(installPath.c_str(), W_OK | X_OK) == 0) return installPath;
  const auto state = ActivityLogStateFolder();
  std::error_code ec;
  if (!std::filesystem::is_directory(state, ec)) {
    std::filesystem::create_directories(state.parent_path(), ec);
    ::mkdir(state.c_str(), 0700);
  }
  return state;
}

std::string LogTimeStamp(std::time_t when) {
  std::tm t{};
  localtime_r(&when, &t);
  char buf[128];
  std::snprintf(buf, sizeof buf, "%d:%02d - %s%s%02d, %04d", t.tm_hour, t.tm_min, kDayNames[t.tm_wday % 7],
                kMonthNames[t.tm_mon % 12], t.tm_mday, t.tm_year + 1900);
  return buf;
}

ActivityLog::ActivityLog(const std::filesystem::path& installPath)
    : path_(installPath.empty() ? std::filesystem::path() : installPath / kActivityLogName) {}

bool ActivityLog::AppendLog(std::string_view text) {
  if (path_.empty()) return false;
  // Writers of this process take turns; writers of other processes (another
  // window or command line) wait on the file's lock. Each write opens,
  // appends and closes, so every block lands whole, after the ones before it.
  std::lock_guard lock(mutex_);
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = TakeAlone(fd);
  struct stat st {};
  // The log starts afresh by being emptied in place rather than deleted, so
  // a writer waiting on the old file writes to the new one, not to a file
  // that no longer has a name.
  if (ok && ::fstat(fd, &st) == 0 && static_cast<std::uintmax_t>(st.st_size) > kActivityLogLimit)
    ok = ::ftruncate(fd, 0) == 0;
  ok = ok && WriteAll(fd, text);
  ok = ::close(fd) == 0 && ok;  // closing releases the lock
  return ok;
}

bool ActivityLog::AppendStartBlock(std::time_t now) {
  return AppendLog("\r\n-----------------------Start--------------------------\r\n" + std::string(kProductTitle) +
                   "\r\n" + std::string(kVersionText) + "\r\n" + LogTimeStamp(now));
}

bool ActivityLog::AppendStepBlock(std::string_view diskName, std::string_view model, std::string_view modeWord) {
  const std::string_view number = diskName.size() > 4 ? diskName.substr(4) : std::string_view();
  return AppendLog("\r\n\r\nSelected Disk : " + std::string(number) + "\r\nModel Number : " + std::string(model) +
                   "\r\nSelected Mode : " + std::string(modeWord));
}

bool ActivityLog::AppendPartitionsFound(std::size_t partitionEntries) {
  return AppendLog("\r\nTotal Partitions Found : " + std::to_string(partitionEntries));
}

bool ActivityLog::AppendScanCounts(std::uint32_t folders, std::uint32_t files) {
  return AppendLog("\r\nNo of Folders Found : " + std::to_string(folders) + "\r\nNo of Files Found : " +
                   std::to_string(files));
}

}  // namespace ov
