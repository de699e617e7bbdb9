#pragma once
// The raw scan's rules over one window of the disk: where documents start
// (the header list) and where they end (the end search).
//
// A window is 800 sectors read from the scan cursor. Everything here works
// on a window held in memory, so the rules can be checked without a disk;
// the engine in save/RawScan.h feeds it the windows it reads.
//
// Which sector ends a document: the end sector E is the last sector that
// belongs to the document, and the copy takes E - S + 1 sectors. The same
// rule serves both kinds of end: an end found through a marker is the sector
// holding the marker, so the marker (a Zip archive's end-of-directory record,
// for one) is written with the document; an end found through the next
// header is the sector just before that header, so the document stops short
// of the next one and never takes in a sector of it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "save/RawSignatures.h"

namespace ov {

inline constexpr std::uint32_t kRawReadSectors = 20;    // sectors per read
inline constexpr std::uint32_t kRawReadsPerWindow = 40;
inline constexpr std::uint32_t kRawWindowSectors = kRawReadSectors * kRawReadsPerWindow;  // 800
inline constexpr std::size_t kRawWindowBytes = std::size_t{kRawWindowSectors} * 512;       // 409,600
// The header list never holds more than this many headers.
inline constexpr std::size_t kMaxRawHeaders = 1000;

inline constexpr std::size_t kRawSignatureCount = kRawSignatures.size();

// A header found in a window: its sector, and the signature record whose
// start pattern matched there.
struct RawHeader {
  std::uint64_t sector = 0;
  std::size_t record = 0;
  friend bool operator==(const RawHeader&, const RawHeader&) = default;
};

// The header list of a window starting at sector `windowStart`. Records are
// tried in turn, 0 to 5, each at every sector boundary whose offset is below
// the window size minus the pattern's length. A match joins the list only
// when the list is empty or its sector lies after the last sector listed:
// the list stays ascending, and a later record's header that lies before a
// header already listed is not taken. At most kMaxRawHeaders headers.
std::vector<RawHeader> FindRawHeaders(std::span<const std::byte> window, std::uint64_t windowStart);

// For each record, the sector of the last place in the window where its
// marker lies, or nothing. Matches count at byte offsets below the window
// size minus the marker's length, so a marker touching the window's last
// byte, or running across into the next window, is not seen.
using RawMarkerSectors = std::array<std::optional<std::uint64_t>, kRawSignatureCount>;

// The last markers of every record, searched from byte `from` of the window
// on: a match that starts before it is not seen. The scan passes the offset
// of the window's first header when no document is open, since no marker
// before it can count for any document. Records that share a marker share
// one search.
RawMarkerSectors LastRawMarkers(std::span<const std::byte> window, std::uint64_t windowStart, std::size_t from = 0);

struct RawEnd {
  std::uint64_t sector = 0;  // the document's last sector
  std::size_t record = 0;    // the record that decided it
  friend bool operator==(const RawEnd&, const RawEnd&) = default;
};

// One document's end in a window, from the window's last markers.
//  - `start`: the document's first sector; `startedHere` says whether it
//    started in this window (else it continues from an earlier one).
//  - `nextHeader`: the header after the document's own in this window, or
//    for a continued document the window's first header; nothing when none.
//  - `lastEnd`: the end of the last document found; markers at or before
//    it do not count.
// A marker counts when it lies after `lastEnd` and, for a document that
// started here, not before `start`. Only the last match of a record can
// count: every earlier one lies lower and fails the same bounds. A counting
// marker at or past the next header is taken as that header - 1. The end is
// the smallest value over the records, the lower record winning a tie.
// Nothing when no marker counts.
std::optional<RawEnd> FindRawEnd(const RawMarkerSectors& markers, std::uint64_t start, bool startedHere,
                                 std::optional<std::uint64_t> nextHeader, std::uint64_t lastEnd);

}  // namespace ov
