#pragma once
// Reading a container ahead of a caller that reads it one stretch after
// the other (a full-disk search, a raw scan, a large file).
//
// The container libraries' handles are not safe to share between threads,
// so each worker reads through a handle of its own on the same files. The
// disk is cut into blocks; the workers take the blocks after the caller's
// read, whichever worker is free the lowest block, into a ring of slots, so
// that the library's work (and any checking or inflating) overlaps the
// caller's work on the blocks before. A caller that would wait reads the
// lowest block no worker has begun itself: on two processors one worker
// and the caller share the work, with no third thread to take turns with.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "disk/AlignedBuffer.h"
#include "disk/ContainerDevice.h"
#include "disk/Device.h"

namespace ov {

// One handle on a container and the reading of whole stretches through it.
class StretchReader {
public:
  virtual ~StretchReader() = default;
  // Reads [offset, offset + bytes) into `out`; sectors found damaged (read,
  // but not to be trusted) go to `damaged`. False when the stretch could not
  // be read.
  virtual bool Read(std::byte* out, std::size_t bytes, std::uint64_t offset,
                    std::vector<BadSectorMap::Range>& damaged) = 0;
};

class ReadAhead {
public:
  static constexpr std::size_t kSlots = 8;

  // `own` is the caller's reader: while it waits, the caller reads blocks
  // that no worker has begun through it.
  ReadAhead(StretchReader& own, std::vector<std::unique_ptr<StretchReader>> readers, std::uint64_t size,
            std::size_t blockBytes);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // As StretchReader::Read, from the blocks ahead; queues the blocks after.
  bool Read(std::byte* out, std::size_t bytes, std::uint64_t offset, std::vector<BadSectorMap::Range>& damaged);
  // The caller went elsewhere: the blocks not yet begun are not wanted.
  void Forget();

private:
  struct Slot {
    enum State { Empty, Queued, Running, Done } state = Empty;
    std::uint64_t block = 0;
    bool ok = false;
    AlignedBuffer data;
    std::vector<BadSectorMap::Range> damaged;
  };
  void Queue(std::uint64_t from);
  Slot* NextQueued();
  void Run(Slot& slot, StretchReader& reader, std::unique_lock<std::mutex>& lock);
  void Work(StretchReader& reader);

  StretchReader& own_;
  std::vector<std::unique_ptr<StretchReader>> readers_;
  std::uint64_t size_;
  std::uint64_t block_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable work_, done_;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

// A container device whose long runs of reads one after the other are read
// ahead by workers, each with a handle from OpenReader.
class ReadAheadDevice : public ContainerDevice {
public:
  // Reads that follow one another before the workers take over.
  static constexpr int kStreak = 4;

protected:
  // `reader` serves the reads that are not read ahead.
  ReadAheadDevice(std::uint64_t sizeBytes, std::unique_ptr<StretchReader> reader, std::size_t blockBytes);
  // A further handle on the same container; nothing when it does not open.
  virtual std::unique_ptr<StretchReader> OpenReader() = 0;

  bool ReadBytes(std::byte* buffer, std::size_t bytes, std::uint64_t offset) final;

private:
  bool StartReadAhead();

  std::unique_ptr<StretchReader> reader_;
  std::uint64_t size_;
  std::size_t block_;
  std::unique_ptr<ReadAhead> ahead_;
  bool triedAhead_ = false;
  std::uint64_t end_ = ~std::uint64_t{0};
  int streak_ = 0;
  std::vector<BadSectorMap::Range> found_;
  BadSectorMap damaged_;
};

}  // namespace ov
