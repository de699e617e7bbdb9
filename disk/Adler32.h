#pragma once
// Adler-32, the checksum an E01 file keeps after each stored chunk; the same
// value zlib's adler32() gives, as libdeflate computes it.

#include <cstddef>
#include <cstdint>

namespace ov {

// The running checksum `adler` (1 to start) carried over `size` bytes.
std::uint32_t Adler32(std::uint32_t adler, const std::byte* data, std::size_t size);

}  // namespace ov
