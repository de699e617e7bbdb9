#include "disk/Adler32.h"

#include <libdeflate.h>

namespace ov {

// libdeflate picks the widest vector code the processor has (AVX2 where
// there is): three to four times the speed of an SSE2 loop.
std::uint32_t Adler32(std::uint32_t adler, const std::byte* data, std::size_t size) {
  return libdeflate_adler32(adler, data, size);
}

}  // namespace ov
