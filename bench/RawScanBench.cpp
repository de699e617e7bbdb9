// Throughput of the raw signature scan.
//
// RawScanImage scans a whole disk image, named by $OVNSS_BENCH_IMAGE, into a
// fresh temporary folder, and reports bytes per second of image;
// RawScanImageExact does the same in exact mode;
// raw-scan-bench.sh builds the image and compares the result with reading
// the image with cat and with a carving tool. RawMarkerSearch measures the
// per-window marker search alone on random bytes.

#include <benchmark/benchmark.h>

#include "BenchSupport.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "disk/Device.h"
#include "disk/DiskView.h"
#include "disk/SectorReader.h"
#include "platform/Prompter.h"
#include "save/RawScan.h"
#include "save/RawWindow.h"

namespace {

using ov::bench::ImageOpener;
using ov::bench::QuietPrompter;

void ScanImage(benchmark::State& state, bool exact) {
  const char* image = std::getenv("OVNSS_BENCH_IMAGE");
  if (image == nullptr || !std::filesystem::exists(image)) {
    state.SkipWithError("set OVNSS_BENCH_IMAGE to a disk image");
    return;
  }
  const auto imageBytes = std::filesystem::file_size(image);
  const auto out = std::filesystem::temp_directory_path() / "ovnss-bench-raw";
  QuietPrompter prompter;
  ImageOpener opener(image);
  ov::SectorReader reader(opener, prompter);
  const ov::DiskView disk{&reader, std::string(ov::kDevicePathTable[0])};
  ov::RawScanRequest request;
  request.form.ticked = {true, true, true, true};
  request.diskSectors = imageBytes / ov::kSectorSize;
  request.destination = out;
  request.exact = exact;
  ov::RawScanListener listener;
  std::atomic<bool> stop{false};
  std::uint64_t found = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    state.ResumeTiming();
    const auto result = ov::RawScan(disk, request, prompter, listener, stop);
    found = result.documentsFound;
  }
  std::filesystem::remove_all(out);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * imageBytes));
  state.counters["documents"] = static_cast<double>(found);
}
void RawScanImage(benchmark::State& state) { ScanImage(state, false); }
BENCHMARK(RawScanImage)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same scan in exact mode.
void RawScanImageExact(benchmark::State& state) { ScanImage(state, true); }
BENCHMARK(RawScanImageExact)->Unit(benchmark::kMillisecond)->UseRealTime();

void RawMarkerSearch(benchmark::State& state) {
  std::vector<std::byte> window(ov::kRawWindowBytes);
  std::mt19937_64 random(7);
  for (auto& b : window) b = static_cast<std::byte>(random());
  for (auto _ : state) benchmark::DoNotOptimize(ov::LastRawMarkers(window, 0));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * window.size()));
}
BENCHMARK(RawMarkerSearch);

}  // namespace

BENCHMARK_MAIN();
