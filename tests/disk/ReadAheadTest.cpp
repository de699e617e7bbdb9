#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "disk/ReadAhead.h"

namespace ov {
namespace {

using Range = BadSectorMap::Range;

constexpr std::size_t kBlock = 4096;
constexpr std::uint64_t kSize = 50 * kBlock + 1536;  // a short last block

std::byte ByteAt(std::uint64_t at) { return static_cast<std::byte>((at * 131 + at / 4096) % 251); }

// A handle that makes up its bytes from their offsets, fails one block and
// marks one sector damaged, taking `delayMs` for each stretch.
struct FakeReader : StretchReader {
  FakeReader(std::atomic<int>& counter, int delayMs) : reads(counter), delay(delayMs) {}
  bool Read(std::byte* out, std::size_t bytes, std::uint64_t offset, std::vector<Range>& damaged) override {
    ++reads;
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    if (offset < 31 * kBlock && offset + bytes > 30 * kBlock) return false;
    if (offset <= 40 * kBlock && offset + bytes > 40 * kBlock) damaged.push_back({320, 320});
    for (std::size_t i = 0; i < bytes; ++i) out[i] = ByteAt(offset + i);
    return true;
  }
  std::atomic<int>& reads;  // outlives the handle, which the read-ahead owns
  int delay;
};

// Reads the disk in runs of `run` bytes, one after the other, with one
// jump back (off a block edge) after block 20, checking every byte; a run
// must fail exactly when it touches the failing block. Answers the damage
// reported.
std::vector<Range> ReadThrough(ReadAhead& ahead, std::size_t run) {
  std::vector<std::byte> buffer(run);
  std::vector<Range> damaged;
  bool jumped = false;
  for (std::uint64_t at = 0; at < kSize;) {
    const std::size_t n = std::min<std::uint64_t>(run, kSize - at);
    const bool onFailing = at < 31 * kBlock && at + n > 30 * kBlock;
    EXPECT_EQ(ahead.Read(buffer.data(), n, at, damaged), !onFailing) << at;
    std::size_t wrong = 0;
    while (!onFailing && wrong < n && buffer[wrong] == ByteAt(at + wrong)) ++wrong;
    EXPECT_TRUE(onFailing || wrong == n) << "byte " << at + wrong << " differs";
    at += n;
    if (!jumped && at >= 20 * kBlock) {
      ahead.Forget();
      at = 5 * kBlock + 7;
      jumped = true;
    }
  }
  return damaged;
}

TEST(ReadAhead, RunsReadTheSameWithAnyNumberOfWorkersAndTheCallerTakesBlocksWhenTheyAreSlow) {
  for (int workers : {0, 1, 2}) {
    for (std::size_t run : {std::size_t{1000}, kBlock, 3 * kBlock + 512}) {
      SCOPED_TRACE(testing::Message() << workers << " workers, runs of " << run);
      std::atomic<int> ownReads{0}, workerReads{0};
      FakeReader own(ownReads, 1);
      std::vector<std::unique_ptr<StretchReader>> readers;
      for (int w = 0; w < workers; ++w) readers.push_back(std::make_unique<FakeReader>(workerReads, 2));
      std::vector<Range> damaged;
      {
        ReadAhead ahead(own, std::move(readers), kSize, kBlock);
        damaged = ReadThrough(ahead, run);
      }  // ends with the workers still busy ahead
      ASSERT_FALSE(damaged.empty());
      EXPECT_EQ(damaged.front().first, 320u);
      // The caller and the workers share the blocks (a block takes the
      // caller 1 ms, a worker 2 ms: both find blocks no one has begun).
      EXPECT_GT(ownReads.load(), 0);
      EXPECT_EQ(workerReads.load() > 0, workers > 0);
    }
  }
}

}  // namespace
}  // namespace ov
