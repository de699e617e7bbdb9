#include "disk/ReadAhead.h"

#include <algorithm>
#include <cstring>

namespace ov {

using Range = BadSectorMap::Range;

ReadAhead::ReadAhead(StretchReader& own, std::vector<std::unique_ptr<StretchReader>> readers, std::uint64_t size,
                     std::size_t blockBytes)
    : own_(own), readers_(std::move(readers)), size_(size), block_(blockBytes), slots_(kSlots) {
  for (auto& r : readers_) workers_.emplace_back([this, reader = r.get()] { Work(*reader); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  work_.notify_all();
  for (auto& w : workers_) w.join();
}

bool ReadAhead::Read(std::byte* out, std::size_t bytes, std::uint64_t offset, std::vector<Range>& damaged) {
  std::unique_lock lock(mutex_);
  const std::uint64_t last = (offset + bytes - 1) / block_;
  for (std::uint64_t b = offset / block_; b <= last; ++b) {
    Slot& slot = slots_[b % kSlots];
    // A worker may still be on an older block in this slot: queue again
    // each time one finishes. Rather than wait, the caller reads the next
    // block no worker has begun.
    for (Queue(b); !(slot.block == b && slot.state == Slot::Done); Queue(b)) {
      if (Slot* next = NextQueued()) {
        Run(*next, own_, lock);
      } else {
        done_.wait(lock);
      }
    }
    if (!slot.ok) return false;
    const std::uint64_t start = std::max<std::uint64_t>(offset, b * block_);
    const std::uint64_t end = std::min<std::uint64_t>(offset + bytes, (b + 1) * block_);
    // The slot stays done until this thread queues another block into it.
    lock.unlock();
    std::memcpy(out + (start - offset), slot.data.data() + (start - b * block_), end - start);
    lock.lock();
    damaged.insert(damaged.end(), slot.damaged.begin(), slot.damaged.end());
  }
  return true;
}

void ReadAhead::Forget() {
  std::lock_guard lock(mutex_);
  for (Slot& s : slots_) {
    if (s.state == Slot::Queued) s.state = Slot::Empty;
  }
}

// Claims the slots of blocks `from` .. `from` + kSlots - 1 (those on the
// disk) for those blocks, unless a worker is still on an older one.
void ReadAhead::Queue(std::uint64_t from) {
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

// The lowest queued block's slot, if any.
ReadAhead::Slot* ReadAhead::NextQueued() {
  Slot* next = nullptr;
  for (Slot& s : slots_) {
    if (s.state == Slot::Queued && (!next || s.block < next->block)) next = &s;
  }
  return next;
}

// Reads the queued `slot`'s block through `reader`, the lock released meanwhile.
void ReadAhead::Run(Slot& slot, StretchReader& reader, std::unique_lock<std::mutex>& lock) {
  slot.state = Slot::Running;
  const std::uint64_t at = slot.block * block_;
  const std::size_t bytes = std::min<std::uint64_t>(block_, size_ - at);
  slot.data.resize(block_);
  slot.damaged.clear();
  lock.unlock();
  const bool ok = reader.Read(slot.data.data(), bytes, at, slot.damaged);
  lock.lock();
  slot.ok = ok;
  slot.state = Slot::Done;
  done_.notify_all();
}

void ReadAhead::Work(StretchReader& reader) {
  std::unique_lock lock(mutex_);
  for (;;) {
    Slot* next = nullptr;
    work_.wait(lock, [&] { return stop_ || (next = NextQueued()) != nullptr; });
    if (stop_) return;
    Run(*next, reader, lock);
  }
}

ReadAheadDevice::ReadAheadDevice(std::uint64_t sizeBytes, std::unique_ptr<StretchReader> reader, std::size_t blockBytes)
    : ContainerDevice(sizeBytes), reader_(std::move(reader)), size_(sizeBytes), block_(blockBytes) {}

bool ReadAheadDevice::ReadBytes(std::byte* buffer, std::size_t bytes, std::uint64_t offset) {
  const bool follows = offset == end_;
  streak_ = follows ? streak_ + 1 : 0;
  end_ = offset + bytes;
  found_.clear();
  bool ok = false;
  if (streak_ >= kStreak && StartReadAhead()) {
    // A block the workers could not read is read again here, whole.
    ok = ahead_->Read(buffer, bytes, offset, found_) || reader_->Read(buffer, bytes, offset, found_);
  } else {
    if (ahead_ && !follows) ahead_->Forget();
    ok = reader_->Read(buffer, bytes, offset, found_);
  }
  for (const Range& r : found_) damaged_.Add(r.first, r.last);
  return ok && (damaged_.empty() || !damaged_.Intersects(offset / kSectorSize, bytes / kSectorSize));
}

bool ReadAheadDevice::StartReadAhead() {
  if (ahead_) return true;
  if (triedAhead_) return false;
  triedAhead_ = true;
  if (block_ == 0) return false;
  // The caller reads too, when the workers are behind.
  const unsigned workers = std::clamp(std::thread::hardware_concurrency(), 2u, 3u) - 1;
  std::vector<std::unique_ptr<StretchReader>> readers;
  for (unsigned i = 0; i < workers; ++i) {
    auto r = OpenReader();
    if (!r) break;
    readers.push_back(std::move(r));
  }
  if (readers.empty()) return false;
  ahead_ = std::make_unique<ReadAhead>(*reader_, std::move(readers), size_, block_);
  return true;
}

}  // namespace ov
