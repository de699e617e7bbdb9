#pragma once
// Sources of 512-byte sectors.
//
// A `Device` reads runs of whole sectors. Its one contract: a read either
// fills the whole run and answers true, or answers false and leaves the
// caller's buffer exactly as it was. The sector reader builds the bad-sector
// policy on top of that.
//
// Real sources are image files and block devices, always opened read-only.
// Tests use an in-memory disk and a fault-injecting decorator driven by a
// list of unreadable sectors.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

inline constexpr std::uint32_t kSectorSize = 512;

// Reads `bytes` bytes at byte `offset` of the open file `fd` into `out`,
// across short reads and interruptions. False on an error or when the file
// ends first (`out` may then hold part of the bytes).
bool ReadFullAt(int fd, void* out, std::size_t bytes, std::uint64_t offset);

class Device {
public:
  virtual ~Device() = default;
  // Reads `count` sectors starting at `first` into `buffer` (at least
  // count * 512 bytes). True when the whole run was read; false leaves the
  // buffer untouched. A run that reaches past the end of the source fails.
  virtual bool Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) = 0;
  // The size of the source in whole sectors.
  virtual std::uint64_t SectorCount() const = 0;
  // As Read, but a failed read may leave any bytes in the buffer. Lets a
  // source skip the copy that keeps the buffer intact on failure.
  virtual bool ReadUnguarded(std::uint64_t first, std::uint32_t count, std::byte* buffer) {
    return Read(first, count, buffer);
  }
  // Copies `bytes` bytes from the start of sector `first` to the open file
  // `to` at its current position, inside the system, without the bad-sector
  // step. Answers how many bytes were copied; fewer than asked (0 when the
  // source cannot copy this way) leaves the rest to the caller, which reads
  // it the usual way.
  virtual std::uint64_t CopyUnguarded(std::uint64_t first, std::uint64_t bytes, int to) {
    (void)first, (void)bytes, (void)to;
    return 0;
  }
};

// An image file or a block device, opened read-only (O_RDONLY | O_CLOEXEC) and
// kept open until the object goes away.
class FileDevice : public Device {
public:
  // Nothing when the path cannot be opened for reading.
  static std::unique_ptr<FileDevice> Open(const std::filesystem::path& path);
  ~FileDevice() override;
  FileDevice(const FileDevice&) = delete;
  FileDevice& operator=(const FileDevice&) = delete;

  bool Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) override;
  bool ReadUnguarded(std::uint64_t first, std::uint32_t count, std::byte* buffer) override;
  // Image files copy with copy_file_range; block devices do not copy.
  std::uint64_t CopyUnguarded(std::uint64_t first, std::uint64_t bytes, int to) override;
  std::uint64_t SectorCount() const override { return sectorCount_; }
  const std::filesystem::path& path() const { return path_; }
  // The open flags, so a test can prove the source is never writable.
  int OpenFlags() const;

private:
  FileDevice(int fd, std::filesystem::path path, std::uint64_t sectors);
  int fd_;
  std::filesystem::path path_;
  std::uint64_t sectorCount_;
  std::vector<std::byte> scratch_;
};

// A disk held in memory, for tests.
class MemoryDevice : public Device {
public:
  explicit MemoryDevice(std::vector<std::byte> bytes);
  explicit MemoryDevice(std::uint64_t sectors);
  bool Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) override;
  std::uint64_t SectorCount() const override { return bytes_.size() / kSectorSize; }
  std::vector<std::byte>& bytes() { return bytes_; }

private:
  std::vector<std::byte> bytes_;
};

// A set of unreadable sectors held as sorted, merged inclusive ranges, so a
// list that names millions of sectors stays small.
class BadSectorMap {
public:
  void Add(std::uint64_t first, std::uint64_t last);
  void Add(std::uint64_t sector) { Add(sector, sector); }
  bool Contains(std::uint64_t sector) const;
  // True when any sector of [first, first + count) is listed.
  bool Intersects(std::uint64_t first, std::uint64_t count) const;
  bool empty() const { return ranges_.empty(); }
  struct Range {
    std::uint64_t first;
    std::uint64_t last;
  };
  const std::vector<Range>& ranges() const { return ranges_; }

private:
  std::vector<Range> ranges_;
};

// Wraps another device and fails every read that touches one of the listed
// sectors, as a disk with unreadable sectors would. Records the reads it saw.
class FaultyDevice : public Device {
public:
  FaultyDevice(std::unique_ptr<Device> inner, BadSectorMap badSectors);
  bool Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) override;
  std::uint64_t SectorCount() const override { return inner_->SectorCount(); }

  struct ReadCall {
    std::uint64_t first;
    std::uint32_t count;
    bool ok;
  };
  const std::vector<ReadCall>& calls() const { return calls_; }

private:
  std::unique_ptr<Device> inner_;
  BadSectorMap bad_;
  std::vector<ReadCall> calls_;
};

// Parses a list of unreadable sectors: one entry per line, a decimal sector
// number or an inclusive range "first-last"; blank lines and lines starting
// with '#' are ignored. Nothing when a line is malformed (its 1-based number
// goes to `badLine` when given).
std::optional<BadSectorMap> ParseBadSectorList(std::string_view text, std::size_t* badLine = nullptr);
// Reads and parses such a list from a file; nothing when unreadable or malformed.
std::optional<BadSectorMap> LoadBadSectorList(const std::filesystem::path& file);

}  // namespace ov
