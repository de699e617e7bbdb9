// The directory tree step over a volume of many files: sorting its largest
// folder by each column, and finding names in the whole volume (the time
// to the first matches and to the end). The volume is the first of the
// image named by $OVNSS_BENCH_SCAN_IMAGE (bench/scan-image.json: 20,000
// folders and 200,000 files; its largest folder holds some 14,000 rows),
// scanned once before the timed runs.
//
//   OVNSS_BENCH_SCAN_IMAGE=scan.img ovnss_bench --benchmark_filter='SortLargestFolder|FindNames'

#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "disk/DiskView.h"
#include "nss/Discovery.h"
#include "nss/ListOrder.h"
#include "nss/NameSearch.h"
#include "nss/PartitionScan.h"
#include "nss/RecordScan.h"

namespace {

struct Scanned {
  ov::bench::QuietPrompter prompter;
  std::unique_ptr<ov::bench::ImageOpener> opener;
  std::unique_ptr<ov::SectorReader> reader;
  ov::RecoveryTree tree;
  std::uint64_t largest = 0;
  std::size_t largestRows = 0;
  bool ok = false;

  Scanned() {
    const char* image = std::getenv("OVNSS_BENCH_SCAN_IMAGE");
    if (image == nullptr || !std::filesystem::exists(image)) return;
    opener = std::make_unique<ov::bench::ImageOpener>(image);
    reader = std::make_unique<ov::SectorReader>(*opener, prompter);
    const ov::DiskView disk{reader.get(), std::string(ov::kDevicePathTable[0])};
    ov::Discovery discovery(disk);
    ov::QuickPartitionScan(disk, discovery.pools());
    discovery.OpenSelectedPool(prompter);
    if (!discovery.SelectedVolume()) return;
    ov::ScanVolume(disk, discovery.currentPool(), discovery.SelectedVolume()->rootSector,
                   discovery.pools().compactLayout(), tree, nullptr);
    largestRows = tree.FilesUnder(0).size() + tree.FoldersUnder(0).size();
    for (const auto& f : tree.folders()) {
      const std::size_t n = tree.FilesUnder(f.objectId).size() + tree.FoldersUnder(f.objectId).size();
      if (n > largestRows) {
        largestRows = n;
        largest = f.objectId;
      }
    }
    ok = true;
  }
};

Scanned* TheVolume(benchmark::State& state) {
  static Scanned v;
  if (v.ok) return &v;
  state.SkipWithError("set OVNSS_BENCH_SCAN_IMAGE to a disk image with a volume (bench/scan-image.json)");
  return nullptr;
}

// One header click on the largest folder: by name, type, size, date.
void SortLargestFolder(benchmark::State& state) {
  Scanned* v = TheVolume(state);
  if (!v) return;
  std::vector<std::uint32_t> rows;
  for (auto p : v->tree.FoldersUnder(v->largest)) rows.push_back(p);
  const std::size_t folders = rows.size();
  for (auto p : v->tree.FilesUnder(v->largest)) rows.push_back(p);
  const std::vector<std::uint32_t> volume = rows;
  ov::ListSort sort;
  sort.Click(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    rows = volume;
    state.ResumeTiming();
    ov::SortListRows(v->tree, rows, folders, sort);
    benchmark::DoNotOptimize(rows.data());
  }
  state.counters["rows"] = static_cast<double>(rows.size());
}
BENCHMARK(SortLargestFolder)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// A search of every name of the volume, as the find box runs it; reports
// the time to the first batch of matches and the number found.
void FindNames(benchmark::State& state, const char* text) {
  Scanned* v = TheVolume(state);
  if (!v) return;
  using Clock = std::chrono::steady_clock;
  const ov::NamePattern pattern(text);
  double firstMs = 0;
  std::size_t found = 0;
  for (auto _ : state) {
    std::atomic<bool> stop{false};
    const auto t0 = Clock::now();
    bool first = true;
    found = ov::SearchNames(v->tree, pattern, stop, [&](std::vector<ov::NameMatch>&&) {
              if (first) firstMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
              first = false;
            }).matches;
  }
  state.counters["firstMs"] = firstMs;
  state.counters["matches"] = static_cast<double>(found);
  state.counters["names"] = static_cast<double>(v->tree.folders().size() + v->tree.files().size());
}
BENCHMARK_CAPTURE(FindNames, Text, "12")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(FindNames, Wildcards, "1*2?3")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
