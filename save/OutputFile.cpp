#include "save/OutputFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ov {

namespace {

std::string Reason(int error) { return std::strerror(error); }

}  // namespace

OutputFile::~OutputFile() { Close(); }

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
  if (fd_ < 0) return error_.empty();
  bool ok = true;
  if (::close(fd_) != 0) {
    error_ = Reason(errno);
    ok = false;
  }
  fd_ = -1;
  return ok;
}

std::unique_ptr<OutputFolder> OutputFolder::Open(const std::filesystem::path& folder, std::string* error) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = Reason(errno);
    return nullptr;
  }
  return std::unique_ptr<OutputFolder>(new OutputFolder(fd, folder));
}

OutputFolder::~OutputFolder() {
  if (fd_ >= 0) ::close(fd_);
}

bool OutputFolder::IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::unique_ptr<OutputFile> OutputFolder::Create(std::string_view name, std::string* error) {
  if (!IsPlainName(name)) {
    if (error) *error = "not a plain file name";
    return nullptr;
  }
  const std::string plain(name);
  constexpr int kFlags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  // O_NONBLOCK keeps a FIFO of that name from blocking the open; it has no
  // effect on regular files.
  int fd = ::openat(fd_, plain.c_str(), kFlags, 0666);
  if (fd < 0 && errno == ELOOP) {
    // A symbolic link of that name: replace the link itself rather than
    // write wherever it points.
    if (::unlinkat(fd_, plain.c_str(), 0) == 0) fd = ::openat(fd_, plain.c_str(), kFlags | O_EXCL, 0666);
  }
  if (fd < 0) {
    if (error) *error = Reason(errno);
    return nullptr;
  }
  // Only regular files are written (a FIFO or device of that name is not).
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    if (error) *error = "not a regular file";
    return nullptr;
  }
  return std::unique_ptr<OutputFile>(new OutputFile(fd));
}

}  // namespace ov
