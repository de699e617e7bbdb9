#include "save/RawWindow.h"

#include <algorithm>
#include <cstring>

namespace ov {

namespace {

const char* Chars(std::span<const std::byte> bytes) { return reinterpret_cast<const char*>(bytes.data()); }

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
  RawMarkerSectors found{};
  for (std::size_t record = 0; record < kRawSignatures.size(); ++record) {
    if (const auto earlier = EarlierSameMarker(record)) {
      found[record] = found[*earlier];
      continue;
    }
    const std::string_view marker = kRawSignatures[record].marker;
    // A match must start below the limit, so it lies within the first
    // limit + length - 1 bytes. The search runs forwards with memmem and
    // keeps the last match; each byte is passed over once.
    const std::size_t limit = SearchLimit(window.size(), marker.size());
    if (from >= limit) continue;
    const char* const begin = Chars(window);
    const char* at = begin + from;
    const char* const end = begin + limit + marker.size() - 1;
    const char* last = nullptr;
    while (at < end) {
      const void* hit = ::memmem(at, static_cast<std::size_t>(end - at), marker.data(), marker.size());
      if (hit == nullptr) break;
      last = static_cast<const char*>(hit);
      at = last + 1;
    }
    if (last != nullptr) found[record] = windowStart + static_cast<std::size_t>(last - begin) / 512;
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
