#pragma once
// The activity log: "ActivityLog.txt" in the installation folder, 8-bit text
// with "\r\n" line ends, appended to by every run. The file is never kept
// open, and it is capped: a write that finds it larger than 5,242,880 bytes
// starts it afresh before appending. Several runs may append at once: each
// append holds the file alone (waiting while another writer has it), so the
// texts land whole and in the order each run wrote them.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/Version.h"

namespace ov {

inline constexpr std::string_view kActivityLogName = "ActivityLog.txt";
inline constexpr std::uintmax_t kActivityLogLimit = 0x500000;
inline constexpr std::string_view kVersionText = "Version 11.06.07";
static_assert(kVersionText.substr(8) == kVersion, "the log names the program's version");

class ActivityLog {
public:
  // The log in `installPath`; an empty path makes every append fail.
  explicit ActivityLog(const std::filesystem::path& installPath);

  // Appends the text's bytes. False when the path is empty or the file cannot
  // be opened, recreated or written; callers may ignore it.
  bool AppendLog(std::string_view text);

  const std::filesystem::path& path() const { return path_; }

  // The blocks other parts of the program write, each as one append.
  // Start block, when the main window opens.
  bool AppendStartBlock(std::time_t now);
  // "&Next" on the disk step: the disk's name ("Disk3"), model and mode word.
  bool AppendStepBlock(std::string_view diskName, std::string_view model, std::string_view modeWord);
  // After the quick scan.
  bool AppendPartitionsFound(std::size_t partitionEntries);
  // At the end of the record scan.
  bool AppendScanCounts(std::uint32_t folders, std::uint32_t files);

private:
  std::filesystem::path path_;
  std::mutex mutex_;
};

// The folder that holds the log of the installation in `installPath`: that
// folder when this user may write the log there, otherwise the user's state
// folder, $XDG_STATE_HOME/ovnss (~/.local/state/ovnss when unset or
// relative), made (mode 0700) when missing. Several users of one machine-wide
// installation so each keep their own log. Empty for an empty `installPath`.
std::filesystem::path ActivityLogFolder(const std::filesystem::path& installPath);
// The user's state folder for the log, whether or not it exists.
std::filesystem::path ActivityLogStateFolder();

// The log's time stamp in local time: "9:05 - Monday, January 07, 2008".
std::string LogTimeStamp(std::time_t when);

}  // namespace ov
