#include "disk/EwfDevice.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "disk/Adler32.h"
#include "disk/Bytes.h"
#include "disk/EwfChunks.h"
#include "disk/ReadAhead.h"

namespace ov {

namespace {

using Range = BadSectorMap::Range;

// The segment files, open for reading at any offset from any thread, and
// where their chunks lie; no map when the files do not add up.
struct EwfFiles {
  std::vector<std::filesystem::path> paths;
  std::vector<int> fds;
  std::optional<EwfChunkMap> map;

  EwfFiles() = default;
  EwfFiles(const EwfFiles&) = delete;
  EwfFiles& operator=(const EwfFiles&) = delete;
  ~EwfFiles() {
    for (int fd : fds) ::close(fd);
  }

  static std::shared_ptr<const EwfFiles> Open(std::vector<std::filesystem::path> paths, std::uint32_t chunk,
                                              std::uint64_t size) {
    auto files = std::make_shared<EwfFiles>();
    files->paths = std::move(paths);
    std::vector<std::uint64_t> sizes;
    for (const auto& p : files->paths) {
      const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
      struct stat st {};
      if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0) ::close(fd);
        return files;
      }
      files->fds.push_back(fd);
      sizes.push_back(static_cast<std::uint64_t>(st.st_size));
    }
    const auto read = [&f = *files](std::size_t file, std::uint64_t offset, void* out, std::size_t bytes) {
      return ReadFullAt(f.fds[file], out, bytes, offset);
    };
    files->map = EwfChunkMap::Read(read, sizes, chunk, size);
    return files;
  }
};

libewf_handle_t* OpenHandle(const std::vector<std::filesystem::path>& files) {
  std::vector<std::string> names;
  std::vector<char*> pointers;
  for (const auto& f : files) names.push_back(f.string());
  for (auto& n : names) pointers.push_back(n.data());
  libewf_handle_t* handle = nullptr;
  if (libewf_handle_initialize(&handle, nullptr) != 1) return nullptr;
  if (libewf_handle_open(handle, pointers.data(), static_cast<int>(pointers.size()), LIBEWF_OPEN_READ, nullptr) != 1) {
    libewf_handle_free(&handle, nullptr);
    return nullptr;
  }
  return handle;
}

// The reading of whole stretches of the set: chunk by chunk from the files
// themselves, and through a library handle of its own (opened when first
// needed) for what that cannot read.
class EwfReader : public StretchReader {
public:
  EwfReader(std::shared_ptr<const EwfFiles> files, libewf_handle_t* handle, std::uint32_t chunk, std::uint64_t size)
      : files_(std::move(files)), handle_(handle), size_(size), chunk_(chunk) {
    if (!inflater_ || !files_->map) chunk_ = 0;  // the library reads
    if (chunk_ > 0) compressed_.resize(std::size_t{chunk_} + kCompressedSlack);
  }
  ~EwfReader() override {
    if (!handle_) return;
    libewf_handle_close(handle_, nullptr);
    libewf_handle_free(&handle_, nullptr);
  }
  EwfReader(const EwfReader&) = delete;
  EwfReader& operator=(const EwfReader&) = delete;

  // A further reader on the same files; nothing when it would need a
  // library handle that does not open.
  static std::unique_ptr<EwfReader> Open(std::shared_ptr<const EwfFiles> files, std::uint32_t chunk,
                                         std::uint64_t size) {
    libewf_handle_t* handle = nullptr;
    if (!files->map && !(handle = OpenHandle(files->paths))) return nullptr;
    return std::make_unique<EwfReader>(std::move(files), handle, chunk, size);
  }

  // Reads [offset, offset + bytes) into `out`; sectors whose chunk failed its
  // checksum are added to `corrupt`. False when the library could not read.
  bool Read(std::byte* out, std::size_t bytes, std::uint64_t offset, std::vector<Range>& corrupt) override {
    return ReadChunks(out, bytes, offset) || ReadByLibrary(out, bytes, offset, corrupt);
  }

private:
  // The stretch chunk by chunk, when it starts on a chunk and every chunk in
  // it is as it should be. The chunks stored as they are that follow one
  // another in a file are read in one go, each into its place, their
  // checksums aside.
  bool ReadChunks(std::byte* out, std::size_t bytes, std::uint64_t offset) {
    if (chunk_ == 0 || offset % chunk_ != 0 || offset > size_ || bytes > size_ - offset) return false;
    if (bytes % chunk_ != 0 && offset + bytes != size_) return false;
    const EwfChunkMap& map = *files_->map;
    std::uint64_t index = offset / chunk_;
    for (std::size_t at = 0; at < bytes;) {
      const EwfChunkMap::Chunk first = map.At(index);
      const int fd = files_->fds[first.file];
      if (first.compressed) {
        const std::size_t want = std::min<std::uint64_t>(chunk_, size_ - (offset + at));
        if (first.size > compressed_.size()) return false;
        if (!ReadFullAt(fd, compressed_.data(), first.size, first.offset)) return false;
        if (!Inflate(compressed_.data(), first.size, out + at, want)) return false;
        at += want;
        ++index;
        continue;
      }
      std::size_t n = 0;
      std::uint64_t end = first.offset;
      for (EwfChunkMap::Chunk c = first;;) {
        // The map holds such a chunk to its part of the disk and four bytes.
        const std::size_t want = c.size - 4;
        iov_[2 * n] = {out + at, want};
        iov_[2 * n + 1] = {sums_ + 4 * n, 4};
        at += want;
        end += c.size;
        ++index;
        ++n;
        if (at >= bytes || n == kRun) break;
        c = map.At(index);
        if (c.compressed || c.file != first.file || c.offset != end) break;
      }
      const std::uint64_t total = end - first.offset;
      ssize_t got = 0;
      do got = ::preadv(fd, iov_, static_cast<int>(2 * n), static_cast<off_t>(first.offset));
      while (got < 0 && errno == EINTR);
      if (got < 0 || static_cast<std::uint64_t>(got) != total) return false;
      for (std::size_t i = 0; i < n; ++i) {
        const auto* p = sums_ + 4 * i;
        const auto stored = LoadLe<std::uint32_t>(p);
        if (Adler32(1, static_cast<const std::byte*>(iov_[2 * i].iov_base), iov_[2 * i].iov_len) != stored) {
          return false;
        }
      }
    }
    return true;
  }

  // One compressed chunk (a zlib stream, which checks itself) to exactly
  // `want` bytes. The chunks of an empty stretch of the disk are all the
  // same few bytes: one seen to inflate to zeros is known again by them.
  bool Inflate(const std::byte* in, std::size_t size, std::byte* out, std::size_t want) {
    if (want == chunk_ && size == zeroChunk_.size() && std::memcmp(in, zeroChunk_.data(), size) == 0) {
      std::memset(out, 0, want);
      return true;
    }
    std::size_t inflated = 0;
    if (libdeflate_zlib_decompress(inflater_.get(), in, size, out, want, &inflated) != LIBDEFLATE_SUCCESS ||
        inflated != want) {
      return false;
    }
    if (want == chunk_ && size <= kSmallChunk && zeroChunk_.empty() && IsZero(out, want)) zeroChunk_.assign(in, in + size);
    return true;
  }

  static bool IsZero(const std::byte* p, std::size_t size) {
    return size == 0 || (p[0] == std::byte{0} && std::memcmp(p, p + 1, size - 1) == 0);
  }

  // The library's own reading: a chunk whose checksum does not match is
  // handed out as it stands and listed as a checksum error.
  bool ReadByLibrary(std::byte* out, std::size_t bytes, std::uint64_t offset, std::vector<Range>& corrupt) {
    if (!handle_ && !(handle_ = OpenHandle(files_->paths))) return false;
    libewf_error_t* error = nullptr;
    const ssize_t n = libewf_handle_read_random(handle_, out, bytes, static_cast<off64_t>(offset), &error);
    if (error) libewf_error_free(&error);
    std::uint32_t errors = 0;
    if (libewf_handle_get_number_of_checksum_errors(handle_, &errors, nullptr) == 1 && errors != knownErrors_) {
      for (std::uint32_t i = knownErrors_; i < errors; ++i) {
        std::uint64_t start = 0, count = 0;
        if (libewf_handle_get_checksum_error(handle_, i, &start, &count, nullptr) == 1 && count > 0) {
          corrupt.push_back({start, start + count - 1});
        }
      }
      knownErrors_ = errors;
    }
    return n >= 0 && static_cast<std::size_t>(n) == bytes;
  }

  // A compressed chunk larger than its part of the disk by more than this
  // (no zlib stream of a chunk is) is read by the library.
  static constexpr std::size_t kCompressedSlack = 4096;
  // At most this many chunks are read in one go.
  static constexpr std::size_t kRun = 512;
  std::shared_ptr<const EwfFiles> files_;
  libewf_handle_t* handle_;
  std::uint64_t size_;
  std::uint32_t chunk_;
  std::vector<std::byte> compressed_;
  iovec iov_[2 * kRun];
  std::byte sums_[4 * kRun];
  // At most this many compressed bytes are compared with an empty chunk's.
  static constexpr std::size_t kSmallChunk = 256;
  std::vector<std::byte> zeroChunk_;
  struct FreeInflater {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
  };
  std::unique_ptr<libdeflate_decompressor, FreeInflater> inflater_{libdeflate_alloc_decompressor()};
  std::uint32_t knownErrors_ = 0;
};

class EwfDevice : public ReadAheadDevice {
public:
  EwfDevice(libewf_handle_t* handle, std::uint64_t size, std::shared_ptr<const EwfFiles> files, std::uint32_t chunk)
      : ReadAheadDevice(size, std::make_unique<EwfReader>(files, handle, chunk, size), BlockBytes(chunk)),
        size_(size),
        chunk_(chunk),
        files_(std::move(files)) {}

protected:
  std::unique_ptr<StretchReader> OpenReader() override { return EwfReader::Open(files_, chunk_, size_); }

private:
  // Whole chunks of about 1 MiB; no read-ahead without a chunk size.
  static std::size_t BlockBytes(std::uint32_t chunk) {
    if (chunk == 0) return 0;
    return std::size_t{chunk} * std::max<std::size_t>(1, (std::size_t{1} << 20) / chunk);
  }

  std::uint64_t size_;
  std::uint32_t chunk_;
  std::shared_ptr<const EwfFiles> files_;
};

}  // namespace

std::unique_ptr<Device> MakeEwfDevice(libewf_handle_t* handle, std::uint64_t sizeBytes,
                                      std::vector<std::filesystem::path> files) {
  size32_t chunk = 0;
  if (libewf_handle_get_chunk_size(handle, &chunk, nullptr) != 1) chunk = 0;
  auto opened = EwfFiles::Open(std::move(files), chunk, sizeBytes);
  return std::make_unique<EwfDevice>(handle, sizeBytes, std::move(opened), chunk);
}

}  // namespace ov
