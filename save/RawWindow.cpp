#include "save/RawWindow.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define OV_MARKER_VECTORS 1
#endif

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

namespace ov {

namespace {

// The part of the window in which a pattern of `length` bytes may start:
// offsets below the window size minus the length.
std::size_t SearchLimit(std::size_t windowBytes, std::size_t length) {
  return windowBytes > length ? windowBytes - length : 0;
}

constexpr bool SharesStartWithEarlier(std::size_t record) {
  for (std::size_t r = 0; r < record; ++r)
    if (kRawSignatures[r].start == kRawSignatures[record].start) return true;
  return false;
}

constexpr std::optional<std::size_t> EarlierSameMarker(std::size_t record) {
  for (std::size_t r = 0; r < record; ++r)
    if (kRawSignatures[r].marker == kRawSignatures[record].marker) return r;
  return std::nullopt;
}


// The marker searches: one per distinct marker, records that share a
// marker share its search.
struct MarkerSearches {
  std::array<std::size_t, kRawSignatureCount> record{};  // the record of each search
  std::array<std::size_t, kRawSignatureCount> of{};      // the search of each record
  std::size_t count = 0;
};

constexpr MarkerSearches MakeMarkerSearches() {
  MarkerSearches m;
  for (std::size_t r = 0; r < kRawSignatures.size(); ++r) {
    if (const auto earlier = EarlierSameMarker(r)) {
      m.of[r] = m.of[*earlier];
    } else {
      m.record[m.count] = r;
      m.of[r] = m.count++;
    }
  }
  return m;
}
constexpr MarkerSearches kMarkerSearches = MakeMarkerSearches();

constexpr bool MarkersHaveTwoBytes() {
  for (const auto& s : kRawSignatures)
    if (s.marker.size() < 2) return false;
  return true;
}
static_assert(MarkersHaveTwoBytes(), "the marker search picks places by a marker's first two bytes");

constexpr std::size_t kNone = SIZE_MAX;

constexpr unsigned char MarkerByte(std::size_t search, std::size_t i) {
  return static_cast<unsigned char>(kRawSignatures[kMarkerSearches.record[search]].marker[i]);
}

// The lowest place a marker may start at: a match must start below the
// window size minus its length, so places past the last such offset of
// the longest-reaching marker need no test.
constexpr std::size_t ShortestMarker() {
  std::size_t n = SIZE_MAX;
  for (const auto& s : kRawSignatures) n = std::min(n, s.marker.size());
  return n;
}

#if OV_MARKER_VECTORS
// A bit for each of the `kWidth` places from `p` at which the first two
// bytes of some marker lie; the bytes up to p + kWidth are read.
template <std::size_t... U>
unsigned PairMaskSse2(const unsigned char* p, std::index_sequence<U...>) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
  __m128i hit = _mm_setzero_si128();
  ((hit = _mm_or_si128(hit, _mm_and_si128(_mm_cmpeq_epi8(a, _mm_set1_epi8(static_cast<char>(MarkerByte(U, 0)))),
                                          _mm_cmpeq_epi8(b, _mm_set1_epi8(static_cast<char>(MarkerByte(U, 1))))))),
   ...);
  return static_cast<unsigned>(_mm_movemask_epi8(hit));
}

template <std::size_t... U>
__attribute__((target("avx2"))) unsigned PairMaskAvx2(const unsigned char* p, std::index_sequence<U...>) {
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
  __m256i hit = _mm256_setzero_si256();
  ((hit = _mm256_or_si256(hit,
                          _mm256_and_si256(_mm256_cmpeq_epi8(a, _mm256_set1_epi8(static_cast<char>(MarkerByte(U, 0)))),
                                           _mm256_cmpeq_epi8(b, _mm256_set1_epi8(static_cast<char>(MarkerByte(U, 1))))))),
   ...);
  return static_cast<unsigned>(_mm256_movemask_epi8(hit));
}

using Searches = std::make_index_sequence<kMarkerSearches.count>;
#endif

// Calls `take(at)` for every place `at` from `from` on, ascending, at which
// a marker may start and the first two bytes of some marker lie.
template <std::size_t kWidth, typename Mask, typename Take>
void PairsBy(const unsigned char* bytes, std::size_t size, std::size_t from, Mask&& mask, Take&& take) {
  const std::size_t end = SearchLimit(size, ShortestMarker());  // no marker starts at or past it
  std::size_t at = from;
  // A vector reads kWidth + 1 bytes from its first place.
  for (; kWidth > 1 && at < end && at + kWidth + 1 <= size; at += kWidth) {
    for (unsigned bits = mask(bytes + at); bits != 0; bits &= bits - 1) {
      const std::size_t p = at + static_cast<std::size_t>(__builtin_ctz(bits));
      if (p < end) take(p);
    }
  }
  for (; at < end; ++at) {
    for (std::size_t u = 0; u < kMarkerSearches.count; ++u) {
      if (bytes[at] == MarkerByte(u, 0) && bytes[at + 1] == MarkerByte(u, 1)) {
        take(at);
        break;
      }
    }
  }
}

template <typename Take>
void ForEachMarkerPair(const unsigned char* bytes, std::size_t size, std::size_t from, Take&& take) {
#if OV_MARKER_VECTORS
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    PairsBy<32>(bytes, size, from, [](const unsigned char* p) { return PairMaskAvx2(p, Searches{}); }, take);
  } else {
    PairsBy<16>(bytes, size, from, [](const unsigned char* p) { return PairMaskSse2(p, Searches{}); }, take);
  }
#else
  PairsBy<1>(bytes, size, from, [](const unsigned char*) { return 0u; }, take);
#endif
}

}  // namespace

std::vector<RawHeader> FindRawHeaders(std::span<const std::byte> window, std::uint64_t windowStart) {
  std::vector<RawHeader> headers;
  for (std::size_t record = 0; record < kRawSignatures.size(); ++record) {
    const std::string_view pattern = kRawSignatures[record].start;
    // A record whose start pattern an earlier record shares matches at the
    // same sectors, none of them after the last one listed: it adds nothing.
    if (SharesStartWithEarlier(record)) continue;
    const std::size_t limit = SearchLimit(window.size(), pattern.size());
    const auto lead = static_cast<std::byte>(pattern.front());
    for (std::size_t offset = 0; offset < limit; offset += 512) {
      if (window[offset] != lead || !PatternAt(window, offset, pattern)) continue;
      const std::uint64_t sector = windowStart + offset / 512;
      if (!headers.empty() && sector <= headers.back().sector) continue;
      if (headers.size() >= kMaxRawHeaders) return headers;
      headers.push_back({sector, record});
    }
  }
  return headers;
}

RawMarkerSectors LastRawMarkers(std::span<const std::byte> window, std::uint64_t windowStart, std::size_t from) {
  // One pass over the window for every marker at once: the places where the
  // first two bytes of some marker lie are picked out a vector at a time,
  // and only there is the whole marker compared. The places come in
  // ascending order, so the last match found of a marker is its last.
  std::array<std::size_t, kMarkerSearches.count> last;
  last.fill(kNone);
  const auto* const bytes = reinterpret_cast<const unsigned char*>(window.data());
  const std::size_t size = window.size();
  ForEachMarkerPair(bytes, size, from, [&](std::size_t at) {
    for (std::size_t u = 0; u < kMarkerSearches.count; ++u) {
      const std::string_view marker = kRawSignatures[kMarkerSearches.record[u]].marker;
      if (at < SearchLimit(size, marker.size()) && bytes[at] == static_cast<unsigned char>(marker[0]) &&
          bytes[at + 1] == static_cast<unsigned char>(marker[1]) &&
          std::memcmp(bytes + at, marker.data(), marker.size()) == 0) {
        last[u] = at;
      }
    }
  });
  RawMarkerSectors found{};
  for (std::size_t record = 0; record < kRawSignatures.size(); ++record) {
    const std::size_t u = kMarkerSearches.of[record];
    if (last[u] != kNone) found[record] = windowStart + last[u] / 512;
  }
  return found;
}

std::optional<RawEnd> FindRawEnd(const RawMarkerSectors& markers, std::uint64_t start, bool startedHere,
                                 std::optional<std::uint64_t> nextHeader, std::uint64_t lastEnd) {
  std::optional<RawEnd> best;
  for (std::size_t record = 0; record < markers.size(); ++record) {
    if (!markers[record]) continue;
    const std::uint64_t sector = *markers[record];
    if (sector <= lastEnd) continue;
    if (startedHere && sector < start) continue;
    std::uint64_t end = sector;
    if (nextHeader && sector >= *nextHeader) end = *nextHeader - 1;
    if (!best || end < best->sector) best = RawEnd{end, record};
  }
  return best;
}

}  // namespace ov
