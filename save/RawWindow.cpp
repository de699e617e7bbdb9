#include "save/RawWindow.h"

#include <algorithm>

namespace ov {

namespace {

const char* Chars(std::span<const std::byte> bytes) { return reinterpret_cast<const char*>(bytes.data()); }

// The part of the window in which a pattern of `length` bytes may start:
// offsets below the window size minus the length.
std::size_t SearchLimit(std::size_t windowBytes, std::size_t length) {
  return windowBytes > length ? windowBytes - length : 0;
}

}  // namespace

std::vector<RawHeader> FindRawHeaders(std::span<const std::byte> window, std::uint64_t windowStart) {
  std::vector<RawHeader> headers;
  for (std::size_t record = 0; record < kRawSignatures.size(); ++record) {
    const std::string_view pattern = kRawSignatures[record].start;
    const std::size_t limit = SearchLimit(window.size(), pattern.size());
    for (std::size_t offset = 0; offset < limit; offset += 512) {
      if (!PatternAt(window, offset, pattern)) continue;
      const std::uint64_t sector = windowStart + offset / 512;
      if (!headers.empty() && sector <= headers.back().sector) continue;
      if (headers.size() >= kMaxRawHeaders) return headers;
      headers.push_back({sector, record});
    }
  }
  return headers;
}

RawMarkerFinder::RawMarkerFinder() {
  searchers_.reserve(kRawSignatures.size());
  for (const auto& record : kRawSignatures) {
    const char* first = record.marker.data();
    const char* last = first + record.marker.size();
    searchers_.emplace_back(Reverse(last), Reverse(first));
  }
}

RawMarkerSectors RawMarkerFinder::LastMarkers(std::span<const std::byte> window, std::uint64_t windowStart) const {
  RawMarkerSectors found{};
  for (std::size_t record = 0; record < kRawSignatures.size(); ++record) {
    const std::size_t length = kRawSignatures[record].marker.size();
    // A match must start below the limit, so it ends within the first
    // limit + length - 1 bytes; search that stretch from its end.
    const std::size_t limit = SearchLimit(window.size(), length);
    if (limit == 0) continue;
    const char* begin = Chars(window);
    const char* end = begin + limit + length - 1;
    const auto [hit, hitEnd] = searchers_[record](Reverse(end), Reverse(begin));
    if (hit == hitEnd) continue;
    // The reversed match ends (in reverse order) where the forward match starts.
    const char* matchStart = hitEnd.base();
    const auto offset = static_cast<std::size_t>(matchStart - begin);
    found[record] = windowStart + offset / 512;
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
