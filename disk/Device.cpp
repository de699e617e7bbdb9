#include "disk/Device.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <linux/fs.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ov {

// ---------------------------------------------------------------- FileDevice

std::unique_ptr<FileDevice> FileDevice::Open(const std::filesystem::path& path) {
  // Read-only, always: nothing in the program may write to a source disk.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::uint64_t bytes = 0;
  if (S_ISBLK(st.st_mode)) {
    if (::ioctl(fd, BLKGETSIZE64, &bytes) != 0) bytes = 0;
  } else if (S_ISREG(st.st_mode)) {
    bytes = static_cast<std::uint64_t>(st.st_size);
  } else {
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<FileDevice>(new FileDevice(fd, path, bytes / kSectorSize));
}

FileDevice::FileDevice(int fd, std::filesystem::path path, std::uint64_t sectors)
    : fd_(fd), path_(std::move(path)), sectorCount_(sectors) {}

FileDevice::~FileDevice() { ::close(fd_); }

int FileDevice::OpenFlags() const { return ::fcntl(fd_, F_GETFL); }

bool ReadFullAt(int fd, void* out, std::size_t bytes, std::uint64_t offset) {
  auto* p = static_cast<char*>(out);
  while (bytes > 0) {
    const ssize_t n = ::pread(fd, p, bytes, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // an error, or the end of the file
    p += n;
    bytes -= static_cast<std::size_t>(n);
    offset += static_cast<std::uint64_t>(n);
  }
  return true;
}

bool FileDevice::ReadUnguarded(std::uint64_t first, std::uint32_t count, std::byte* buffer) {
  if (count == 0) return true;
  if (first >= sectorCount_ || count > sectorCount_ - first) return false;
  return ReadFullAt(fd_, buffer, std::size_t{count} * kSectorSize, first * kSectorSize);
}

std::uint64_t FileDevice::CopyUnguarded(std::uint64_t first, std::uint64_t bytes, int to) {
  if (first >= sectorCount_) return 0;
  bytes = std::min<std::uint64_t>(bytes, (sectorCount_ - first) * kSectorSize);
  auto from = static_cast<loff_t>(first * kSectorSize);
  std::uint64_t done = 0;
  while (done < bytes) {
    const ssize_t n = ::copy_file_range(fd_, &from, to, nullptr, static_cast<std::size_t>(bytes - done), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // not a regular file, another file system, an error: the caller reads the rest
    done += static_cast<std::uint64_t>(n);
  }
  return done;
}

bool FileDevice::Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) {
  if (count == 0) return true;
  // Read into a scratch buffer and copy only a complete run: a read that
  // fails half-way must leave the caller's buffer as it was.
  const std::size_t want = std::size_t{count} * kSectorSize;
  if (scratch_.size() < want) scratch_.resize(want);
  if (!ReadUnguarded(first, count, scratch_.data())) return false;
  std::memcpy(buffer, scratch_.data(), want);
  return true;
}

// -------------------------------------------------------------- MemoryDevice

MemoryDevice::MemoryDevice(std::vector<std::byte> bytes) : bytes_(std::move(bytes)) {}

MemoryDevice::MemoryDevice(std::uint64_t sectors) : bytes_(sectors * kSectorSize) {}

bool MemoryDevice::Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) {
  const std::uint64_t total = SectorCount();
  if (first > total || count > total - first) return false;
  std::memcpy(buffer, bytes_.data() + first * kSectorSize, std::size_t{count} * kSectorSize);
  return true;
}

// -------------------------------------------------------------- BadSectorMap

void BadSectorMap::Add(std::uint64_t first, std::uint64_t last) {
  if (last < first) std::swap(first, last);
  Range r{first, last};
  // Skip the ranges that end before r and do not touch it; then swallow every
  // range that overlaps or touches r.
  auto it = std::lower_bound(ranges_.begin(), ranges_.end(), r.first,
                             [](const Range& a, std::uint64_t f) { return a.last < f && a.last + 1 < f; });
  auto end = it;
  while (end != ranges_.end() && (end->first == 0 || end->first - 1 <= r.last)) {
    r.first = std::min(r.first, end->first);
    r.last = std::max(r.last, end->last);
    ++end;
  }
  it = ranges_.erase(it, end);
  ranges_.insert(it, r);
}

bool BadSectorMap::Contains(std::uint64_t sector) const { return Intersects(sector, 1); }

bool BadSectorMap::Intersects(std::uint64_t first, std::uint64_t count) const {
  if (count == 0) return false;
  const std::uint64_t last = (count - 1 > UINT64_MAX - first) ? UINT64_MAX : first + count - 1;
  // The first range that ends at or after `first`.
  auto it = std::lower_bound(ranges_.begin(), ranges_.end(), first,
                             [](const Range& a, std::uint64_t s) { return a.last < s; });
  return it != ranges_.end() && it->first <= last;
}

// -------------------------------------------------------------- FaultyDevice

FaultyDevice::FaultyDevice(std::unique_ptr<Device> inner, BadSectorMap badSectors)
    : inner_(std::move(inner)), bad_(std::move(badSectors)) {}

bool FaultyDevice::Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) {
  bool ok = !bad_.Intersects(first, count) && inner_->Read(first, count, buffer);
  calls_.push_back({first, count, ok});
  return ok;
}

// ------------------------------------------------------------ bad-sector list

namespace {

bool ParseNumber(std::string_view s, std::uint64_t& out) {
  if (s.empty()) return false;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && p == s.data() + s.size();
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<BadSectorMap> ParseBadSectorList(std::string_view text, std::size_t* badLine) {
  BadSectorMap map;
  std::size_t lineNo = 0;
  while (!text.empty()) {
    ++lineNo;
    std::size_t nl = text.find('\n');
    std::string_view line = Trim(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (line.empty() || line.front() == '#') continue;
    std::size_t dash = line.find('-');
    std::uint64_t first = 0, last = 0;
    bool ok = dash == std::string_view::npos
                  ? ParseNumber(line, first) && (last = first, true)
                  : ParseNumber(Trim(line.substr(0, dash)), first) && ParseNumber(Trim(line.substr(dash + 1)), last) &&
                        first <= last;
    if (!ok) {
      if (badLine) *badLine = lineNo;
      return std::nullopt;
    }
    map.Add(first, last);
  }
  return map;
}

std::optional<BadSectorMap> LoadBadSectorList(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return ParseBadSectorList(ss.str());
}

}  // namespace ov
