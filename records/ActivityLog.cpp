#include "records/ActivityLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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

}  // namespace

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
  // Writers of this process take turns; each write opens, appends and closes.
  std::lock_guard lock(mutex_);
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && static_cast<std::uintmax_t>(st.st_size) > kActivityLogLimit) {
    ::close(fd);
    ::unlink(path_.c_str());
    fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
  }
  bool ok = ::lseek(fd, 0, SEEK_END) >= 0 && WriteAll(fd, text);
  ok = ::close(fd) == 0 && ok;
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
