#include "nss/ObjectTree.h"

#include <sched.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_set>
#include <vector>

namespace ov {

namespace {

constexpr std::size_t kLastOffset = 4095;  // records and entries end before this

// The blocks still to read, breadth first, each once.
class BlockQueue {
public:
  explicit BlockQueue(std::uint64_t rootSector) : queue_{rootSector}, seen_{rootSector} {}
  bool empty() const { return queue_.empty(); }
  std::uint64_t Take() {
    const std::uint64_t sector = queue_.front();
    queue_.pop_front();
    return sector;
  }
  // Queues the child block `block` (a pool block number) unless it cannot be
  // placed on the disk; false in that case.
  bool Append(const PoolInfo& pool, std::uint32_t block) {
    std::uint64_t sector = std::uint64_t{block} * kSectorsPerBlock;
    if (!TranslateSector(pool, sector)) return false;
    if (seen_.insert(sector).second) queue_.push_back(sector);
    return true;
  }

private:
  std::deque<std::uint64_t> queue_;
  std::unordered_set<std::uint64_t> seen_;
};

// Reads the block at `sector` into `buffer`; unreadable sectors stay zeros.
// A readable block goes straight into the buffer; only a failed one takes
// the reader's bad-sector step.
void ReadBlock(const DiskView& disk, std::uint64_t sector, std::byte* buffer) {
  if (disk.ReadStretch(sector, kSectorsPerBlock, buffer)) return;
  std::memset(buffer, 0, kBlockSize);
  disk.Read(sector, kSectorsPerBlock, buffer);
}

// Queues the children a branch block lists, up to the first 0 or the first
// that cannot be placed.
void QueueBranchChildren(const Bytes& block, const PoolInfo& pool, BlockQueue& queue) {
  for (std::size_t at = 40; at < kLastOffset; at += 12) {
    const std::uint32_t child = block.U32(at).value_or(0);
    if (child == 0 || !queue.Append(pool, child)) break;
  }
}

void QueueLeafChild(const Bytes& block, std::size_t r, const PoolInfo& pool, BlockQueue& queue) {
  if (auto child = block.U32(r + 212)) queue.Append(pool, *child);
}

// Every child record of a leaf queues the block it names.
void QueueLeafChildren(const std::byte* leaf, const Bytes& block, const PoolInfo& pool, BlockQueue& queue) {
  ForEachLeafRecord(leaf, [&](std::size_t r, std::int16_t, std::uint32_t type) {
    if (type == kRecordTypeChild) QueueLeafChild(block, r, pool, queue);
    return true;
  });
}

bool IsBranch(const Bytes& block) { return block.Matches(0, "BRCH"); }
bool IsLeaf(const Bytes& block) { return block.Matches(0, "LEAF"); }

// The walk on the calling thread: branches queue their children, each leaf
// goes to `takeLeaf(bytes, block, sector, queue)`, which queues its own.
template <typename TakeLeaf>
void WalkBlocks(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector, TakeLeaf&& takeLeaf) {
  BlockQueue queue(rootSector);
  std::vector<std::byte> buffer(kBlockSize);
  while (!queue.empty()) {
    const std::uint64_t sector = queue.Take();
    ReadBlock(disk, sector, buffer.data());
    const Bytes block(buffer);
    if (IsBranch(block)) QueueBranchChildren(block, pool, queue);
    else if (IsLeaf(block)) takeLeaf(buffer.data(), block, sector, queue);
  }
}

}  // namespace

void WalkObjectTree(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector,
                    const RecordVisitor& visitRecord) {
  WalkBlocks(disk, pool, rootSector, [&](const std::byte* leaf, const Bytes& block, std::uint64_t sector, BlockQueue& queue) {
    // Records are taken in order, so a skip also leaves the leaf's later
    // child records unqueued.
    ForEachLeafRecord(leaf, [&](std::size_t r, std::int16_t length, std::uint32_t type) {
      if (type == kRecordTypeChild) {
        QueueLeafChild(block, r, pool, queue);
        return true;
      }
      return visitRecord({block, r, length, type, sector}) != VisitResult::SkipRestOfLeaf;
    });
  });
}

namespace {

// Leaf blocks handed from the reading thread to the visiting one, a batch
// at a time so the two rarely meet at the lock. Batches are reused.
struct LeafBatch {
  static constexpr std::size_t kBlocks = 16;
  std::vector<std::byte> bytes = std::vector<std::byte>(kBlocks * kBlockSize);
  std::uint64_t sectors[kBlocks] = {};
  std::size_t count = 0;
};

class LeafChannel {
public:
  static constexpr std::size_t kBatches = 4;

  LeafChannel() {
    for (auto& b : batches_) spare_.push_back(&b);
  }

  // Reading side. Nothing once the channel was stopped.
  LeafBatch* TakeSpare() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || !spare_.empty(); });
    if (stopped_) return nullptr;
    LeafBatch* b = spare_.back();
    spare_.pop_back();
    b->count = 0;
    return b;
  }
  void Publish(LeafBatch* b) {
    Change([&] {
      full_.push_back(b);
      fullCount_.store(full_.size(), std::memory_order_release);
    });
  }
  // No more batches will come.
  void Finish() {
    Change([&] {
      finished_ = true;
      over_.store(true, std::memory_order_release);
    });
  }

  // Visiting side. Nothing once every batch was taken after Finish, or once
  // the channel was stopped.
  LeafBatch* TakeFull() {
    // The next batch is usually a moment away: waiting for it awake costs
    // less than being woken.
    for (int i = 0; i < kSpins && fullCount_.load(std::memory_order_acquire) == 0 &&
                    !over_.load(std::memory_order_acquire);
         ++i) {
      Pause();
    }
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || finished_ || !full_.empty(); });
    if (stopped_ || full_.empty()) return nullptr;
    LeafBatch* b = full_.front();
    full_.pop_front();
    fullCount_.store(full_.size(), std::memory_order_release);
    return b;
  }
  void Return(LeafBatch* b) {
    Change([&] { spare_.push_back(b); });
  }

  // Either side gives up: the other stops at its next batch.
  void Stop() {
    Change([&] {
      stopped_ = true;
      over_.store(true, std::memory_order_release);
    });
  }

private:
  static constexpr int kSpins = 1 << 11;  // some tens of microseconds
  static void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }

  template <typename Step>
  void Change(Step&& step) {
    {
      std::lock_guard lock(mutex_);
      step();
    }
    changed_.notify_all();
  }

  LeafBatch batches_[kBatches];
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<LeafBatch*> spare_;
  std::deque<LeafBatch*> full_;
  std::atomic<std::size_t> fullCount_{0};  // full_.size(), for waiting awake
  std::atomic<bool> over_{false};          // finished_ or stopped_, for waiting awake
  bool finished_ = false;
  bool stopped_ = false;
};

// The walk without the visits. Leaf blocks go to the channel in walk order,
// after their child records were queued.
void ReadAhead(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector, LeafChannel& channel) {
  BlockQueue queue(rootSector);
  LeafBatch* batch = nullptr;
  while (!queue.empty()) {
    if (batch == nullptr && (batch = channel.TakeSpare()) == nullptr) return;
    const std::uint64_t sector = queue.Take();
    // A branch block takes the next free place only until it is read.
    std::byte* buffer = batch->bytes.data() + batch->count * kBlockSize;
    ReadBlock(disk, sector, buffer);
    const Bytes block(std::span<const std::byte>(buffer, kBlockSize));
    if (IsBranch(block)) {
      QueueBranchChildren(block, pool, queue);
    } else if (IsLeaf(block)) {
      QueueLeafChildren(buffer, block, pool, queue);
      batch->sectors[batch->count++] = sector;
      if (batch->count == LeafBatch::kBlocks) {
        channel.Publish(batch);
        batch = nullptr;
      }
    }
  }
  if (batch != nullptr && batch->count > 0) channel.Publish(batch);
}

// The visits: every leaf block, in order.
void VisitBatches(LeafChannel& channel, const LeafBlockSink& takeBlock) {
  while (LeafBatch* batch = channel.TakeFull()) {
    for (std::size_t i = 0; i < batch->count; ++i) {
      const Bytes block(std::span<const std::byte>(batch->bytes.data() + i * kBlockSize, kBlockSize));
      takeBlock(block, batch->sectors[i], nullptr);
    }
    channel.Return(batch);
  }
}

// The walk on the calling thread alone, leaf blocks handed over as they
// are read, with their child records for the visitor to queue.
void WalkLeafBlocks(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector,
                    const LeafBlockSink& takeBlock) {
  struct Leaf {
    const Bytes* block;
    BlockQueue* queue;
  } at{};
  const ChildRecordSink queueChild = [&at, &pool](std::size_t r) { QueueLeafChild(*at.block, r, pool, *at.queue); };
  WalkBlocks(disk, pool, rootSector, [&](const std::byte*, const Bytes& block, std::uint64_t sector, BlockQueue& queue) {
    at = {&block, &queue};
    takeBlock(block, sector, &queueChild);
  });
}

// The processors this process may run on: fewer than the machine has when
// it was bound to some of them (a reading thread and a visiting thread
// taking turns on one processor only wait for each other).
unsigned UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
  return std::thread::hardware_concurrency();
}

}  // namespace

void WalkLeafBlocksReadingAhead(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector,
                                const LeafBlockSink& takeBlock) {
  if (UsableProcessors() < 2) {
    WalkLeafBlocks(disk, pool, rootSector, takeBlock);
    return;
  }
  LeafChannel channel;
  std::exception_ptr visitError;
  std::thread visitor([&] {
    try {
      VisitBatches(channel, takeBlock);
    } catch (...) {
      visitError = std::current_exception();
      channel.Stop();
    }
  });
  {
    // Whatever way the reading ends, the visitor is told and waited for.
    struct Joiner {
      LeafChannel& channel;
      std::thread& thread;
      bool finished = false;
      ~Joiner() {
        if (!finished) channel.Stop();
        thread.join();
      }
    } joiner{channel, visitor};
    ReadAhead(disk, pool, rootSector, channel);
    channel.Finish();
    joiner.finished = true;
  }
  if (visitError) std::rethrow_exception(visitError);
}

void WalkObjectTreeReadingAhead(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector,
                                const RecordSink& takeRecord) {
  WalkLeafBlocksReadingAhead(disk, pool, rootSector,
                             [&](const Bytes& block, std::uint64_t sector, const ChildRecordSink* queueChild) {
    ForEachLeafRecord(block.span().data(), [&](std::size_t r, std::int16_t length, std::uint32_t type) {
      if (type != kRecordTypeChild) {
        takeRecord({block, r, length, type, sector});
      } else if (queueChild != nullptr) {
        (*queueChild)(r);
      }
      return true;
    });
  });
}

}  // namespace ov
