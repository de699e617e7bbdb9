// The record scan against reading the same blocks, on a volume of many
// files.
//
// ReadTreeBlocks walks the volume's object tree and only reads its blocks,
// on one thread; ScanTreeAndList is the program's scan (which reads ahead on
// a second thread while it decodes), the folder tree built, and the largest
// folder listed. Both read the disk image named by $OVNSS_BENCH_SCAN_IMAGE
// (core-bench.sh builds it) through the same reader, its first pool's first
// volume. ScanTreeAndList also reports the bytes the tree holds per node,
// names and indexes included (heap bytes and the large pages its stores
// mapped), and how its time splits between the scan (tree built included)
// and the listing.

#include <malloc.h>

#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "disk/DiskView.h"
#include "disk/SectorReader.h"
#include "nss/Discovery.h"
#include "nss/FolderListing.h"
#include "nss/ObjectTree.h"
#include "nss/PartitionScan.h"
#include "nss/RecordScan.h"
#include "platform/LargePages.h"
#include "platform/Prompter.h"

namespace {

using ov::bench::ImageOpener;
using ov::bench::QuietPrompter;

// The first volume of the first pool of the image, opened once.
struct Volume {
  QuietPrompter prompter;
  std::unique_ptr<ImageOpener> opener;
  std::unique_ptr<ov::SectorReader> reader;
  std::unique_ptr<ov::Discovery> discovery;
  ov::DiskView disk;
  bool ok = false;

  Volume() {
    const char* image = std::getenv("OVNSS_BENCH_SCAN_IMAGE");
    if (image == nullptr || !std::filesystem::exists(image)) return;
    opener = std::make_unique<ImageOpener>(image);
    reader = std::make_unique<ov::SectorReader>(*opener, prompter);
    disk = ov::DiskView{reader.get(), std::string(ov::kDevicePathTable[0])};
    discovery = std::make_unique<ov::Discovery>(disk);
    ov::QuickPartitionScan(disk, discovery->pools());
    discovery->OpenSelectedPool(prompter);
    ok = discovery->SelectedVolume() != nullptr;
  }
  std::uint64_t root() const { return discovery->SelectedVolume()->rootSector; }
};

Volume& TheVolume() {
  static Volume v;
  return v;
}

// The volume, or nothing once the benchmark is marked skipped.
Volume* OpenedVolume(benchmark::State& state) {
  Volume& v = TheVolume();
  if (v.ok) return &v;
  state.SkipWithError("set OVNSS_BENCH_SCAN_IMAGE to a disk image with a volume");
  return nullptr;
}

// Times walk(volume, records) over the volume, a walk that only counts
// records, and reports the count.
template <typename Walk>
void TimeWalk(benchmark::State& state, Walk&& walk) {
  Volume* v = OpenedVolume(state);
  if (v == nullptr) return;
  std::size_t records = 0;
  for (auto _ : state) {
    records = 0;
    walk(*v, records);
  }
  state.counters["records"] = static_cast<double>(records);
}

void ReadTreeBlocks(benchmark::State& state) {
  TimeWalk(state, [](Volume& v, std::size_t& records) {
    ov::WalkObjectTree(v.disk, v.discovery->currentPool(), v.root(), [&](const ov::LeafRecord&) {
      ++records;
      return ov::VisitResult::Continue;
    });
  });
}
BENCHMARK(ReadTreeBlocks)->Unit(benchmark::kMillisecond)->UseRealTime();

// The read-ahead walk alone: its reading with a visitor that only counts.
void ReadTreeBlocksAhead(benchmark::State& state) {
  TimeWalk(state, [](Volume& v, std::size_t& records) {
    ov::WalkObjectTreeReadingAhead(v.disk, v.discovery->currentPool(), v.root(),
                                   [&](const ov::LeafRecord&) { ++records; });
  });
}
BENCHMARK(ReadTreeBlocksAhead)->Unit(benchmark::kMillisecond)->UseRealTime();

// Heap bytes in use plus the large pages the tree's stores mapped.
std::size_t MemoryInUse() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd + ov::LargeBytesMapped();
}

// The folder with the most entries, found once before the timed runs.
std::uint64_t LargestFolder(const ov::RecoveryTree& tree, std::size_t& entries) {
  std::uint64_t key = 0;
  entries = tree.FilesUnder(0).size() + tree.FoldersUnder(0).size();
  for (const auto& f : tree.folders()) {
    const std::size_t n = tree.FilesUnder(f.objectId).size() + tree.FoldersUnder(f.objectId).size();
    if (n > entries) {
      entries = n;
      key = f.objectId;
    }
  }
  return key;
}

void ScanTreeAndList(benchmark::State& state) {
  Volume* opened = OpenedVolume(state);
  if (opened == nullptr) return;
  Volume& v = *opened;
  const bool compact = v.discovery->pools().compactLayout();
  std::size_t largest = 0;
  std::uint64_t key = 0;
  {
    ov::RecoveryTree tree;
    ov::ScanVolume(v.disk, v.discovery->currentPool(), v.root(), compact, tree, nullptr);
    key = LargestFolder(tree, largest);
  }
  double bytesPerNode = 0, scanMs = 0, listMs = 0;
  std::size_t nodes = 0;
  using Clock = std::chrono::steady_clock;
  for (auto _ : state) {
    state.PauseTiming();
    auto tree = std::make_unique<ov::RecoveryTree>();
    const std::size_t before = MemoryInUse();
    state.ResumeTiming();
    const auto t0 = Clock::now();
    ov::ScanVolume(v.disk, v.discovery->currentPool(), v.root(), compact, *tree, nullptr);
    const auto t1 = Clock::now();
    benchmark::DoNotOptimize(ov::ListFolder(*tree, key));
    const auto t2 = Clock::now();
    state.PauseTiming();
    scanMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
    listMs = std::chrono::duration<double, std::milli>(t2 - t1).count();
    nodes = tree->folders().size() + tree->files().size();
    bytesPerNode = static_cast<double>(MemoryInUse() - before) / static_cast<double>(nodes);
    tree.reset();
    state.ResumeTiming();
  }
  state.counters["nodes"] = static_cast<double>(nodes);
  state.counters["largestFolder"] = static_cast<double>(largest);
  state.counters["bytesPerNode"] = bytesPerNode;
  state.counters["scanMs"] = scanMs;
  state.counters["listMs"] = listMs;
}
BENCHMARK(ScanTreeAndList)->Unit(benchmark::kMillisecond)->UseRealTime();

// The full-disk pool search over the image named by
// $OVNSS_BENCH_SEARCH_IMAGE, read through the same reader as the program.
void FullDiskSearch(benchmark::State& state) {
  const char* image = std::getenv("OVNSS_BENCH_SEARCH_IMAGE");
  if (image == nullptr || !std::filesystem::exists(image)) {
    state.SkipWithError("set OVNSS_BENCH_SEARCH_IMAGE to a disk image");
    return;
  }
  QuietPrompter prompter;
  ImageOpener opener(image);
  ov::SectorReader reader(opener, prompter);
  const ov::DiskView disk{&reader, std::string(ov::kDevicePathTable[0])};
  const std::uint64_t sectors = std::filesystem::file_size(image) / ov::kSectorSize;
  std::size_t pools = 0;
  for (auto _ : state) {
    ov::PoolTable table(disk);
    std::atomic<int> stop{0};
    ov::SearchListener quiet;
    ov::FullDiskPoolSearch(disk, table, sectors, stop, quiet);
    pools = table.poolCount();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sectors * ov::kSectorSize));
  state.counters["pools"] = static_cast<double>(pools);
}
BENCHMARK(FullDiskSearch)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
