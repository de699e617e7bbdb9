// The libFuzzer entry of one target, named by OVNSS_FUZZ_FUNCTION.
#include "fuzz/Targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return ov::fuzz::OVNSS_FUZZ_FUNCTION(data, size);
}
