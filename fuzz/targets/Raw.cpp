// The raw signature scan and the exact measurers, over the input as a disk.
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <string>

#include "fuzz/FuzzDisk.h"
#include "fuzz/Targets.h"
#include "save/ExactCarve.h"
#include "save/ExactCompound.h"
#include "save/ExactZip.h"
#include "save/RawScan.h"

namespace ov::fuzz {

namespace {

void CheckMeasure(const ExactMeasure& m, std::size_t size) {
  if (m.verdict == ExactVerdict::Unmeasurable) return;
  OV_FUZZ_CHECK(m.length > 0 && m.length <= size);
}

// One folder per process for the scan's documents, removed at exit.
const std::filesystem::path& Destination() {
  static const std::filesystem::path folder = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "ovnss-fuzz-XXXXXX").string();
    const char* made = mkdtemp(pattern.data());
    OV_FUZZ_CHECK(made != nullptr);
    std::atexit([] { std::error_code ec; std::filesystem::remove_all(Destination(), ec); });
    return std::filesystem::path(made);
  }();
  return folder;
}

}  // namespace

int FuzzMeasure(const std::uint8_t* data, std::size_t size) {
  MemoryExactBytes bytes(std::as_bytes(std::span(data, size)));
  CheckMeasure(MeasureCompound(bytes, 0), size);
  CheckMeasure(MeasureZip(bytes, 0), size);
  return 0;
}

int FuzzRawScan(const std::uint8_t* data, std::size_t size) {
  auto disk = FuzzDisk::Contiguous(data, size);
  RawScanListener listener;
  std::atomic<bool> stop{false};
  for (bool exact : {false, true}) {
    RawScanRequest request;
    request.form.ticked.fill(true);
    request.diskSectors = disk->sectorCount();
    request.destination = Destination();
    request.exact = exact;
    const RawScanResult result = RawScan(disk->view(), request, disk->prompter, listener, stop);
    OV_FUZZ_CHECK(result.end == RawScanEnd::Completed || disk->sectorCount() == 0);
    for (const RawDocument& d : result.failures) OV_FUZZ_CHECK(d.outcome != RawDocumentOutcome::Written);
  }
  return 0;
}

}  // namespace ov::fuzz
