#pragma once
// The length and kind of a compound document (the D0 CF 11 E0 A1 B1 1A E1
// header) from its own structure.
//
// The header gives the sector size (512 bytes with major version 3, 4096
// with version 4), the number of FAT sectors and where they lie: the first
// 109 in the header's DIFAT, the rest in the DIFAT sector chain. The FAT
// says for every sector of the file whether it is in use; the document ends
// with its highest sector in use (sector n lies at byte (n + 1) x sector
// size, after the header's sector).
//
// Checked, each failure making the document Unmeasurable:
//  - the header's fixed fields: byte order FE FF, sector shift 9 with
//    version 3 or 12 with version 4, mini sector shift 6, mini stream
//    cutoff 4096, no directory sector count with version 3, at least one
//    FAT sector;
//  - every DIFAT and FAT sector lies inside the FAT's range and on the disk,
//    and the FAT marks them as DIFAT and FAT sectors; the DIFAT chain ends
//    where its count says;
//  - every FAT entry is free, an end of chain, a FAT or DIFAT mark, or a
//    sector inside the FAT's range;
//  - the directory chain stays in range, never loops, and starts with the
//    root entry.
// At most kMaxCompoundFatBytes of FAT are read; a larger FAT is Unmeasurable.
//
// The kind comes from the names of the root storage's own streams:
// "WordDocument" Word, "Workbook" or "Book" Excel, "PowerPoint Document"
// PowerPoint (in this order when a file has more than one). A sound file
// with none of them is NotWanted. A file whose highest sector lies past the
// end of the disk is Measured with `cut` set and its length up to the end.

#include <cstdint>

#include "save/ExactCarve.h"

namespace ov {

inline constexpr std::uint64_t kMaxCompoundFatBytes = 64ull << 20;

ExactMeasure MeasureCompound(ExactBytes& bytes, std::uint64_t start);

}  // namespace ov
