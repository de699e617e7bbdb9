#include "disk/EwfDevice.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstring>

#include "disk/Adler32.h"
#include "disk/ReadAhead.h"

namespace ov {

namespace {

using Range = BadSectorMap::Range;

// One handle on the set and what reading whole stretches through it needs.
class EwfReader : public StretchReader {
public:
  EwfReader(libewf_handle_t* handle, std::uint64_t size) : handle_(handle), size_(size) {
    size32_t chunk = 0;
    if (libewf_handle_get_chunk_size(handle_, &chunk, nullptr) == 1) chunk_ = chunk;
    if (chunk_ > 0) chunkBuffer_.resize(std::size_t{chunk_} + 4);
    if (!inflater_) chunk_ = 0;  // no memory: the library reads
  }
  ~EwfReader() override {
    libewf_handle_close(handle_, nullptr);
    libewf_handle_free(&handle_, nullptr);
  }
  EwfReader(const EwfReader&) = delete;
  EwfReader& operator=(const EwfReader&) = delete;

  // A second handle on the same files; nothing when they do not open.
  static std::unique_ptr<EwfReader> Open(const std::vector<std::filesystem::path>& files, std::uint64_t size) {
    std::vector<std::string> names;
    std::vector<char*> pointers;
    for (const auto& f : files) names.push_back(f.string());
    for (auto& n : names) pointers.push_back(n.data());
    libewf_handle_t* handle = nullptr;
    if (libewf_handle_initialize(&handle, nullptr) != 1) return nullptr;
    if (libewf_handle_open(handle, pointers.data(), static_cast<int>(pointers.size()), LIBEWF_OPEN_READ, nullptr) !=
        1) {
      libewf_handle_free(&handle, nullptr);
      return nullptr;
    }
    return std::make_unique<EwfReader>(handle, size);
  }

  // Reads [offset, offset + bytes) into `out`; sectors whose chunk failed its
  // checksum are added to `corrupt`. False when the library could not read.
  bool Read(std::byte* out, std::size_t bytes, std::uint64_t offset, std::vector<Range>& corrupt) override {
    return ReadChunks(out, bytes, offset) || ReadByLibrary(out, bytes, offset, corrupt);
  }

private:
  // The stretch chunk by chunk, when it starts on a chunk and every chunk in
  // it is as it should be.
  bool ReadChunks(std::byte* out, std::size_t bytes, std::uint64_t offset) {
    if (chunk_ == 0 || offset % chunk_ != 0 || offset + bytes > size_) return false;
    if (bytes % chunk_ != 0 && offset + bytes != size_) return false;
    if (libewf_handle_seek_offset(handle_, static_cast<off64_t>(offset), SEEK_SET, nullptr) < 0) return false;
    for (std::size_t at = 0; at < bytes;) {
      const std::size_t want = std::min<std::uint64_t>(chunk_, size_ - (offset + at));
      // Straight into its place when the checksum after it still fits.
      std::byte* into = at + chunkBuffer_.size() <= bytes ? out + at : chunkBuffer_.data();
      std::int8_t compressed = 0, checksumRead = 0;
      std::uint32_t checksum = 0;
      std::uint8_t checksumBytes[4] = {};
      libewf_error_t* error = nullptr;
      const ssize_t n = libewf_handle_read_chunk(handle_, into, chunkBuffer_.size(), &compressed, checksumBytes,
                                                 &checksum, &checksumRead, &error);
      if (error) libewf_error_free(&error);
      if (n <= 0) return false;
      const auto got = static_cast<std::size_t>(n);
      if (compressed != 0) {
        if (got > chunkBuffer_.size()) return false;
        if (into != chunkBuffer_.data()) std::memcpy(chunkBuffer_.data(), into, got);
        if (!Inflate(chunkBuffer_.data(), got, out + at, want)) return false;
      } else {
        // The library puts the stored checksum apart (and counts its four
        // bytes in the length) or leaves it after the data.
        std::uint32_t stored = 0;
        if (checksumRead != 0 && (got == want + 4 || got == want)) {
          stored = checksum;
        } else if (got == want + 4) {
          for (int i = 3; i >= 0; --i) stored = (stored << 8) | std::to_integer<std::uint32_t>(into[want + i]);
        } else {
          return false;
        }
        if (Adler32(1, into, want) != stored) return false;
        if (into != out + at) std::memcpy(out + at, into, want);
      }
      at += want;
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

  libewf_handle_t* handle_;
  std::uint64_t size_;
  std::uint32_t chunk_ = 0;
  AlignedBuffer chunkBuffer_;
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
  EwfDevice(libewf_handle_t* handle, std::uint64_t size, std::vector<std::filesystem::path> files)
      : ReadAheadDevice(size, std::make_unique<EwfReader>(handle, size), BlockBytes(handle)),
        size_(size),
        files_(std::move(files)) {}

protected:
  std::unique_ptr<StretchReader> OpenReader() override { return EwfReader::Open(files_, size_); }

private:
  // Whole chunks of about 1 MiB; no read-ahead without a chunk size.
  static std::size_t BlockBytes(libewf_handle_t* handle) {
    size32_t chunk = 0;
    if (libewf_handle_get_chunk_size(handle, &chunk, nullptr) != 1 || chunk == 0) return 0;
    return std::size_t{chunk} * std::max<std::size_t>(1, (std::size_t{1} << 20) / chunk);
  }

  std::uint64_t size_;
  std::vector<std::filesystem::path> files_;
};

}  // namespace

std::unique_ptr<Device> MakeEwfDevice(libewf_handle_t* handle, std::uint64_t sizeBytes,
                                      std::vector<std::filesystem::path> files) {
  return std::make_unique<EwfDevice>(handle, sizeBytes, std::move(files));
}

}  // namespace ov
