// Replays every kept input of every fuzz target: the inputs of findings
// (fuzz/regressions/<target>) and the committed seeds (fuzz/corpus/<target>).
// An input that brings a finding back crashes, aborts or times out here.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/Targets.h"

namespace {

struct Target {
  const char* name;
  int (*function)(const std::uint8_t*, std::size_t);
};

const Target kTargets[] = {
    {"partitions", ov::fuzz::FuzzPartitions}, {"pool", ov::fuzz::FuzzPool},
    {"tree", ov::fuzz::FuzzTree},             {"recoveryinfo", ov::fuzz::FuzzRecoveryInfo},
    {"rawscan", ov::fuzz::FuzzRawScan},       {"measure", ov::fuzz::FuzzMeasure},
    {"registry", ov::fuzz::FuzzRegistry},     {"description", ov::fuzz::FuzzDescription},
    {"ewfchunks", ov::fuzz::FuzzEwfChunks},
};

std::vector<std::filesystem::path> KeptInputs(const std::string& target) {
  std::vector<std::filesystem::path> files;
  for (const char* kind : {"regressions", "corpus"}) {
    const auto dir = std::filesystem::path(OVNSS_FUZZ_DIR) / kind / target;
    if (!std::filesystem::is_directory(dir)) continue;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      if (entry.is_regular_file()) files.push_back(entry.path());
  }
  return files;
}

class FuzzReplay : public testing::TestWithParam<Target> {};

TEST_P(FuzzReplay, KeptInputsRunClean) {
  const auto files = KeptInputs(GetParam().name);
  // Every target keeps at least its seeds, so a missing folder is noticed.
  ASSERT_FALSE(files.empty()) << "no kept inputs for " << GetParam().name;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(GetParam().function(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzReplay, testing::ValuesIn(kTargets),
                         [](const testing::TestParamInfo<Target>& param) { return std::string(param.param.name); });

}  // namespace
