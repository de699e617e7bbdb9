#include "save/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace ov {

namespace {

std::string Reason(int error) { return std::strerror(error); }

// A name for a file being written, beside its final one and unlike any
// name a save gives (those never start with ".ovnss-part-").
std::string TemporaryName() {
  static std::atomic<std::uint64_t> counter{0};
  return ".ovnss-part-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

timespec Stamp(std::int64_t seconds) {
  timespec t{};
  t.tv_sec = static_cast<time_t>(seconds);
  return t;
}

}  // namespace

OutputFile::~OutputFile() {
  if (!finished_) Discard();
}

bool OutputFile::Write(std::span<const std::byte> bytes) {
  if (fd_ < 0) {
    if (error_.empty()) error_ = "file is closed";
    return false;
  }
  const std::byte* at = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = ::write(fd_, at, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      error_ = Reason(errno);
      return false;
    }
    if (written == 0) {
      error_ = Reason(ENOSPC);
      return false;
    }
    at += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

std::optional<std::uint64_t> OutputFile::CopyFrom(const DiskView& disk, std::uint64_t first, std::uint64_t bytes) {
  if (fd_ < 0) {
    if (error_.empty()) error_ = "file is closed";
    return std::nullopt;
  }
  const off_t start = ::lseek(fd_, 0, SEEK_CUR);
  if (start < 0) {
    error_ = Reason(errno);
    return std::nullopt;
  }
  std::uint64_t copied = disk.CopyStretch(first, bytes, fd_);
  if (copied >= bytes) return bytes;
  // A copy that stopped short ends at its last whole sector, where the
  // caller goes on reading.
  copied -= copied % kSectorSize;
  const off_t end = start + static_cast<off_t>(copied);
  if (::ftruncate(fd_, end) != 0 || ::lseek(fd_, end, SEEK_SET) != end) {
    error_ = Reason(errno);
    return std::nullopt;
  }
  return copied;
}

bool OutputFile::Close() {
  if (finished_) return error_.empty();
  bool ok = true;
  if (time_) {
    const timespec times[2] = {Stamp(*time_), Stamp(*time_)};
    if (::futimens(fd_, times) != 0) {
      error_ = Reason(errno);
      ok = false;
    }
  }
  if (::close(fd_) != 0 && ok) {
    error_ = Reason(errno);
    ok = false;
  }
  fd_ = -1;
  if (ok && ::renameat(folderFd_, temporary_.c_str(), folderFd_, name_.c_str()) != 0) {
    error_ = Reason(errno);
    ok = false;
  }
  if (!ok) ::unlinkat(folderFd_, temporary_.c_str(), 0);
  finished_ = true;
  return ok;
}

void OutputFile::Discard() {
  if (finished_) return;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  ::unlinkat(folderFd_, temporary_.c_str(), 0);
  finished_ = true;
}

std::unique_ptr<OutputFolder> OutputFolder::Open(const std::filesystem::path& folder, std::string* error) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = Reason(errno);
    return nullptr;
  }
  return std::unique_ptr<OutputFolder>(new OutputFolder(fd, folder));
}

std::unique_ptr<OutputFolder> OutputFolder::Make(const std::filesystem::path& folder, std::string* error) {
  std::filesystem::path prefix;
  for (const auto& part : folder) {
    prefix /= part;
    if (part.empty() || part == prefix.root_path()) continue;
    ::mkdir(prefix.c_str(), 0777);  // the open below tells whether the path is usable
  }
  return Open(folder, error);
}

OutputFolder::~OutputFolder() {
  if (fd_ >= 0) ::close(fd_);
}

bool OutputFolder::IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

OutputFolder::Entry OutputFolder::Find(std::string_view name) const {
  if (!IsPlainName(name)) return Entry::Other;
  struct stat info {};
  if (::fstatat(fd_, std::string(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return Entry::None;
  if (S_ISLNK(info.st_mode)) return Entry::Link;
  return S_ISREG(info.st_mode) ? Entry::File : Entry::Other;
}

std::unique_ptr<OutputFile> OutputFolder::Create(std::string_view name, std::string* error) {
  auto fail = [&](std::string reason) -> std::unique_ptr<OutputFile> {
    if (error) *error = std::move(reason);
    return nullptr;
  };
  if (!IsPlainName(name)) return fail("not a plain file name");
  switch (Find(name)) {
    case Entry::Link: return fail(std::string(kLinkRefused));
    case Entry::Other: return fail("not a regular file");
    case Entry::None:
    case Entry::File: break;
  }
  // O_NONBLOCK keeps anything but a file from blocking the open; O_EXCL
  // makes sure the temporary file is a new one of ours.
  constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temporary = TemporaryName();
    fd = ::openat(fd_, temporary.c_str(), kFlags, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return fail(Reason(errno));
  return std::unique_ptr<OutputFile>(new OutputFile(fd, fd_, temporary, std::string(name), path_ / std::string(name)));
}

std::unique_ptr<OutputFolder> OutputFolder::Folder(std::string_view name, std::string* error) {
  auto fail = [&](std::string reason) -> std::unique_ptr<OutputFolder> {
    if (error) *error = std::move(reason);
    return nullptr;
  };
  if (!IsPlainName(name)) return fail("not a plain file name");
  const std::string plain(name);
  if (::mkdirat(fd_, plain.c_str(), 0777) != 0 && errno != EEXIST) return fail(Reason(errno));
  const int fd = ::openat(fd_, plain.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    const int openError = errno;
    return fail(Find(name) == Entry::Link ? std::string(kLinkRefused) : Reason(openError));
  }
  return std::unique_ptr<OutputFolder>(new OutputFolder(fd, path_ / plain));
}

bool OutputFolder::SetTime(std::int64_t seconds, std::string* error) {
  const timespec times[2] = {Stamp(seconds), Stamp(seconds)};
  if (::futimens(fd_, times) == 0) return true;
  if (error) *error = Reason(errno);
  return false;
}

}  // namespace ov
