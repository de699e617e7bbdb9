#include "save/RawStart.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ov {

namespace {

void ShowError(Prompter& prompter, std::string_view text) {
  prompter.ShowMessage(std::string(text), std::string(kProductTitle), MessageIcon::Error);
}

// A field's sector number, refusing negative numbers: no sector lies there.
std::optional<std::uint64_t> SectorOf(std::string_view field) {
  const auto value = ParseSectorField(field);
  if (!value || *value < 0) return std::nullopt;
  return static_cast<std::uint64_t>(*value);
}

bool IsFolder(const std::filesystem::path& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

bool RawScanForm::AnyTicked() const { return std::any_of(ticked.begin(), ticked.end(), [](bool t) { return t; }); }

std::optional<std::int64_t> ParseSectorField(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::uint64_t magnitude = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  constexpr auto kMax = static_cast<std::uint64_t>(INT64_MAX);
  if (!negative) {
    if (magnitude > kMax) return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
  }
  if (magnitude > kMax + 1) return std::nullopt;
  if (magnitude == kMax + 1) return INT64_MIN;
  return -static_cast<std::int64_t>(magnitude);
}

RawFormCheck CheckRawForm(RawScanForm& form, std::uint64_t diskSectors, Prompter& prompter) {
  if (!form.AnyTicked()) {
    prompter.ShowMessage(std::string(kMsgSelectFileType), std::string(kProductTitle), MessageIcon::Information);
    return RawFormCheck::NoKindTicked;
  }
  if (form.entireDisk) return RawFormCheck::Ok;
  const auto end = SectorOf(form.endField);
  if (!end) {
    ShowError(prompter, kMsgInvalidEndSector);
    form.endField = std::to_string(diskSectors);
    return RawFormCheck::InvalidEnd;
  }
  const auto start = SectorOf(form.startField);
  if (!start) {
    ShowError(prompter, kMsgInvalidStartSector);
    return RawFormCheck::InvalidStart;
  }
  if (*start >= *end) {
    ShowError(prompter, kMsgStartNotBeforeEnd);
    return RawFormCheck::StartNotBeforeEnd;
  }
  return RawFormCheck::Ok;
}

std::optional<RawRange> RawScanRange(const RawScanForm& form, std::uint64_t diskSectors, Prompter& prompter) {
  if (form.entireDisk) return RawRange{0, diskSectors};
  const auto end = SectorOf(form.endField);
  if (!end) {
    ShowError(prompter, kMsgInvalidEndSector);
    return std::nullopt;
  }
  const auto start = SectorOf(form.startField);
  if (!start || *end < *start) {
    ShowError(prompter, kMsgInvalidStartSector);
    return std::nullopt;
  }
  return RawRange{*start, *end};
}

RawDestinationCheck CheckRawDestination(const std::filesystem::path& destination, Prompter& prompter) {
  if (destination.empty()) return RawDestinationCheck::NoDestination;
  // path's "/" adds a separator only when the folder does not end in one.
  const std::filesystem::path probe = destination / std::string(kDestinationTestFile);
  // O_EXCL: a "tempFile" the user keeps there is neither truncated nor
  // deleted; the folder test below then decides.
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd >= 0) {
    ::close(fd);
    ::unlink(probe.c_str());
    return RawDestinationCheck::Ready;
  }
  // Only the folder itself is created, as a single folder; its parents must
  // exist.
  const int madeError = ::mkdir(destination.c_str(), 0777) == 0 ? 0 : errno;
  if (IsFolder(destination)) return RawDestinationCheck::Ready;
  prompter.NoteCause(destination.string(), std::strerror(madeError == EEXIST ? ENOTDIR : madeError));
  ShowError(prompter, kMsgUnableToCreateDirectory);
  return RawDestinationCheck::Unusable;
}

std::string SearchingDiskText(unsigned disk) { return "Searching Disk - " + std::to_string(disk); }

bool ConfirmRawStop(Prompter& prompter, std::atomic<bool>& stop) {
  if (!prompter.AskYesNo(std::string(kMsgTerminateRawScan), std::string(kProductTitle))) return false;
  stop.store(true);
  return true;
}

}  // namespace ov
