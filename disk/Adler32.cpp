#include "disk/Adler32.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ov {

namespace {

constexpr std::uint32_t kBase = 65521;
// The most bytes whose sums cannot overflow 32 bits before the modulo.
constexpr std::size_t kMaxRun = 5552;

std::uint32_t Scalar(std::uint32_t a, std::uint32_t b, const std::byte* p, std::size_t size) {
  while (size > 0) {
    const std::size_t n = std::min(size, kMaxRun);
    size -= n;
    for (std::size_t i = 0; i < n; ++i) {
      a += static_cast<std::uint8_t>(p[i]);
      b += a;
    }
    p += n;
    a %= kBase;
    b %= kBase;
  }
  return (b << 16) | a;
}

}  // namespace

std::uint32_t Adler32(std::uint32_t adler, const std::byte* data, std::size_t size) {
  std::uint32_t a = adler & 0xFFFF, b = adler >> 16;
#if defined(__SSE2__)
  // Over a run of rows of 16 bytes, byte j of row r (of R) adds itself to a
  // and (R - r - 1) * 16 + (16 - j) times itself to b: the first part comes
  // from the sums of the rows before each row, the second from fixed weights.
  const __m128i zero = _mm_setzero_si128();
  const __m128i weightsLow = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
  const __m128i weightsHigh = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
  while (size >= 16) {
    std::size_t rows = std::min(size, kMaxRun) / 16;
    size -= rows * 16;
    std::uint64_t b64 = b + std::uint64_t{a} * rows * 16;
    __m128i sums = zero, before = zero, weighted = zero;
    for (; rows > 0; --rows, data += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
      before = _mm_add_epi32(before, sums);
      sums = _mm_add_epi32(sums, _mm_sad_epu8(v, zero));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), weightsLow));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), weightsHigh));
    }
    alignas(16) std::uint32_t s[4], f[4], w[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(s), sums);
    _mm_store_si128(reinterpret_cast<__m128i*>(f), before);
    _mm_store_si128(reinterpret_cast<__m128i*>(w), weighted);
    const std::uint64_t rowSums = std::uint64_t{s[0]} + s[1] + s[2] + s[3];
    const std::uint64_t beforeSums = std::uint64_t{f[0]} + f[1] + f[2] + f[3];
    const std::uint64_t weights = std::uint64_t{w[0]} + w[1] + w[2] + w[3];
    a = static_cast<std::uint32_t>((a + rowSums) % kBase);
    b = static_cast<std::uint32_t>((b64 + 16 * beforeSums + weights) % kBase);
  }
#endif
  return Scalar(a, b, data, size);
}

}  // namespace ov
