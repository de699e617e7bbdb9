#pragma once
// The length of a Zip archive from its own structure.
//
// From the first local header ("PK" 03 04, any version) the walk follows
// each entry: its local header, name and extra field, its data, and its
// data descriptor when the header's flag bit 3 says the sizes come after
// the data. Then the central directory ("PK" 01 02 entries), an optional
// digital signature, the Zip64 end record and locator when present, and the
// end record ("PK" 05 06) with its comment. The archive ends exactly after
// the comment.
//
// Data descriptors: when the local header's compressed size is set, the
// descriptor is looked for right after that many bytes; otherwise (or when
// it is not there) the data is searched for the first place where a
// descriptor, with or without its "PK" 07 08 signature, holds the distance
// from the data's start as its compressed size and is followed by the next
// header. The search reads at most kMaxZipDescriptorSearch bytes.
//
// Zip64 is followed: sizes from the local header's Zip64 extra field,
// 8-byte sizes in the descriptors of such entries, the Zip64 end record.
//
// Unmeasurable: a local header that does not look like one (version needed
// above 6.3, an unknown method, no name), masked local headers, anything
// between entries that is no known header, an end record that does not
// describe the central directory just walked (entry count, size and offset
// from the first local header), archives spanning several disks, and any
// read past the end of the disk.

#include <cstdint>

#include "save/ExactCarve.h"

namespace ov {

inline constexpr std::uint64_t kMaxZipDescriptorSearch = 0x100000000ull;  // what a 32-bit size can describe

ExactMeasure MeasureZip(ExactBytes& bytes, std::uint64_t start);

}  // namespace ov
