#include "disk/EwfDevice.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "disk/Adler32.h"
#include "disk/ContainerDevice.h"

namespace ov {

namespace {

using Range = BadSectorMap::Range;

// One handle on the set and what reading whole stretches through it needs.
class EwfReader {
public:
  EwfReader(libewf_handle_t* handle, std::uint64_t size) : handle_(handle), size_(size) {
    size32_t chunk = 0;
    if (libewf_handle_get_chunk_size(handle_, &chunk, nullptr) == 1) chunk_ = chunk;
    if (chunk_ > 0) chunkBuffer_.resize(std::size_t{chunk_} + 4);
  }
  ~EwfReader() {
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

  std::uint32_t chunkBytes() const { return chunk_; }

  // Reads [offset, offset + bytes) into `out`; sectors whose chunk failed its
  // checksum are added to `corrupt`. False when the library could not read.
  bool Read(std::byte* out, std::size_t bytes, std::uint64_t offset, std::vector<Range>& corrupt) {
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
      std::int8_t compressed = 0, checksumRead = 0;
      std::uint32_t checksum = 0;
      std::uint8_t checksumBytes[4] = {};
      libewf_error_t* error = nullptr;
      const ssize_t n = libewf_handle_read_chunk(handle_, chunkBuffer_.data(), chunkBuffer_.size(), &compressed,
                                                 checksumBytes, &checksum, &checksumRead, &error);
      if (error) libewf_error_free(&error);
      if (n <= 0) return false;
      const auto got = static_cast<std::size_t>(n);
      if (compressed != 0) {
        uLongf inflated = want;
        if (uncompress(reinterpret_cast<Bytef*>(out + at), &inflated, reinterpret_cast<const Bytef*>(chunkBuffer_.data()),
                       got) != Z_OK ||
            inflated != want) {
          return false;
        }
      } else {
        // The library puts the stored checksum apart (and counts its four
        // bytes in the length) or leaves it after the data.
        std::uint32_t stored = 0;
        if (checksumRead != 0 && (got == want + 4 || got == want)) {
          stored = checksum;
        } else if (got == want + 4) {
          for (int i = 3; i >= 0; --i) stored = (stored << 8) | std::to_integer<std::uint32_t>(chunkBuffer_[want + i]);
        } else {
          return false;
        }
        if (Adler32(1, chunkBuffer_.data(), want) != stored) return false;
        std::memcpy(out + at, chunkBuffer_.data(), want);
      }
      at += want;
    }
    return true;
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
  std::vector<std::byte> chunkBuffer_;
  std::uint32_t knownErrors_ = 0;
};

// Blocks of the disk read ahead of a caller reading one stretch after the
// other, each by whichever worker is free, into a ring of slots.
class ReadAhead {
public:
  static constexpr std::size_t kSlots = 8;

  ReadAhead(std::vector<std::unique_ptr<EwfReader>> readers, std::uint64_t size, std::size_t blockBytes)
      : readers_(std::move(readers)), size_(size), block_(blockBytes), slots_(kSlots) {
    for (auto& r : readers_) workers_.emplace_back([this, reader = r.get()] { Work(*reader); });
  }
  ~ReadAhead() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    work_.notify_all();
    for (auto& w : workers_) w.join();
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // As EwfReader::Read, from the blocks ahead; queues the blocks after.
  bool Read(std::byte* out, std::size_t bytes, std::uint64_t offset, std::vector<Range>& corrupt) {
    std::unique_lock lock(mutex_);
    const std::uint64_t last = (offset + bytes - 1) / block_;
    for (std::uint64_t b = offset / block_; b <= last; ++b) {
      Slot& slot = slots_[b % kSlots];
      // A worker may still be on an older block in this slot: queue again
      // each time one finishes.
      for (Queue(b); !(slot.block == b && slot.state == Slot::Done); Queue(b)) done_.wait(lock);
      if (!slot.ok) return false;
      const std::uint64_t start = std::max<std::uint64_t>(offset, b * block_);
      const std::uint64_t end = std::min<std::uint64_t>(offset + bytes, (b + 1) * block_);
      // The slot stays done until this thread queues another block into it.
      lock.unlock();
      std::memcpy(out + (start - offset), slot.data.data() + (start - b * block_), end - start);
      lock.lock();
      corrupt.insert(corrupt.end(), slot.corrupt.begin(), slot.corrupt.end());
    }
    return true;
  }

  // The caller went elsewhere: the blocks not yet begun are not wanted.
  void Forget() {
    std::lock_guard lock(mutex_);
    for (Slot& s : slots_) {
      if (s.state == Slot::Queued) s.state = Slot::Empty;
    }
  }

private:
  struct Slot {
    enum State { Empty, Queued, Running, Done } state = Empty;
    std::uint64_t block = 0;
    bool ok = false;
    std::vector<std::byte> data;
    std::vector<Range> corrupt;
  };

  // Claims the slots of blocks `from` .. `from` + kSlots - 1 (those on the
  // disk) for those blocks, unless a worker is still on an older one.
  void Queue(std::uint64_t from) {
    bool queued = false;
    for (std::uint64_t b = from; b < from + kSlots && b * block_ < size_; ++b) {
      Slot& s = slots_[b % kSlots];
      if (s.block == b && s.state != Slot::Empty) continue;
      if (s.state == Slot::Running) continue;
      s.block = b;
      s.state = Slot::Queued;
      queued = true;
    }
    if (queued) work_.notify_all();
  }

  void Work(EwfReader& reader) {
    std::unique_lock lock(mutex_);
    for (;;) {
      Slot* next = nullptr;
      work_.wait(lock, [&] {
        if (stop_) return true;
        for (Slot& s : slots_) {
          if (s.state == Slot::Queued && (!next || s.block < next->block)) next = &s;
        }
        return next != nullptr;
      });
      if (stop_) return;
      next->state = Slot::Running;
      const std::uint64_t at = next->block * block_;
      const std::size_t bytes = std::min<std::uint64_t>(block_, size_ - at);
      next->data.resize(block_);
      next->corrupt.clear();
      lock.unlock();
      const bool ok = reader.Read(next->data.data(), bytes, at, next->corrupt);
      lock.lock();
      next->ok = ok;
      next->state = Slot::Done;
      done_.notify_all();
    }
  }

  std::vector<std::unique_ptr<EwfReader>> readers_;
  std::uint64_t size_;
  std::uint64_t block_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable work_, done_;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

class EwfDevice : public ContainerDevice {
public:
  // Reads that follow one another before the workers take over.
  static constexpr int kStreak = 4;

  EwfDevice(libewf_handle_t* handle, std::uint64_t size, std::vector<std::filesystem::path> files)
      : ContainerDevice(size), reader_(handle, size), size_(size), files_(std::move(files)) {}

protected:
  bool ReadBytes(std::byte* buffer, std::size_t bytes, std::uint64_t offset) override {
    const bool follows = offset == end_;
    streak_ = follows ? streak_ + 1 : 0;
    end_ = offset + bytes;
    found_.clear();
    bool ok = false;
    if (streak_ >= kStreak && StartReadAhead()) {
      // A block the workers could not read is read again here, whole.
      ok = ahead_->Read(buffer, bytes, offset, found_) || reader_.Read(buffer, bytes, offset, found_);
    } else {
      if (ahead_ && !follows) ahead_->Forget();
      ok = reader_.Read(buffer, bytes, offset, found_);
    }
    for (const Range& r : found_) corrupt_.Add(r.first, r.last);
    return ok && (corrupt_.empty() || !corrupt_.Intersects(offset / kSectorSize, bytes / kSectorSize));
  }

private:
  bool StartReadAhead() {
    if (ahead_) return true;
    if (triedAhead_) return false;
    triedAhead_ = true;
    const std::uint32_t chunk = reader_.chunkBytes();
    if (chunk == 0) return false;
    const unsigned workers = std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
    std::vector<std::unique_ptr<EwfReader>> readers;
    for (unsigned i = 0; i < workers; ++i) {
      auto r = EwfReader::Open(files_, size_);
      if (!r) break;
      readers.push_back(std::move(r));
    }
    if (readers.empty()) return false;
    const std::size_t block = std::size_t{chunk} * std::max<std::size_t>(1, (std::size_t{1} << 20) / chunk);
    ahead_ = std::make_unique<ReadAhead>(std::move(readers), size_, block);
    return true;
  }

  EwfReader reader_;
  std::uint64_t size_;
  std::vector<std::filesystem::path> files_;
  std::unique_ptr<ReadAhead> ahead_;
  bool triedAhead_ = false;
  std::uint64_t end_ = ~std::uint64_t{0};
  int streak_ = 0;
  std::vector<Range> found_;
  BadSectorMap corrupt_;
};

}  // namespace

std::unique_ptr<Device> MakeEwfDevice(libewf_handle_t* handle, std::uint64_t sizeBytes,
                                      std::vector<std::filesystem::path> files) {
  return std::make_unique<EwfDevice>(handle, sizeBytes, std::move(files));
}

}  // namespace ov
