#pragma once
// The record scan: every file system object record (type 3) of a volume's
// object tree becomes a folder or file node of the recovery tree.
//
// Object record fields (offsets from the record start; normal / compact):
//   object ID 8 (64-bit), object kind 18 (8 = folder, 0x18 = file),
//   size 24 (64-bit), block count 88 / 72, first block 92 / 76 (64-bit),
//   folder's parent ID 112 / 96 (32-bit), folder name area 124 / 108,
//   file's parent ID 128 / 112 (64-bit), file name area 140 / 124.
// Name area: length n at +0, n UTF-16 units at +2, then further entries of
// the same shape; the one of kind 2 after the name is the attribute entry,
// with 0xFFFF at +20 for a folder listed as a file and the time at +44.

#include <cstdint>
#include <optional>

#include "disk/Bytes.h"
#include "disk/DiskView.h"
#include "nss/ObjectTree.h"
#include "nss/Pools.h"
#include "nss/RecoveryTree.h"

namespace ov {

class ActivityLog;

inline constexpr std::uint8_t kObjectKindFolder = 8;
inline constexpr std::uint8_t kObjectKindFile = 0x18;
inline constexpr std::uint64_t kVolumeRootParent = 0x7F;

// The attribute entry of the name area that starts at `area`, or nothing.
std::optional<std::size_t> FindAttributeEntry(const Bytes& block, std::size_t area);

// Decodes one leaf record into the tree (the record visitor of the scan).
void VisitObjectRecord(const LeafRecord& record, bool compactLayout, RecoveryTree& tree);

// Walks the volume's tree from `rootSector` into `tree` (released first),
// logs the counts and builds the folder tree.
void ScanVolume(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector, bool compactLayout,
                RecoveryTree& tree, ActivityLog* log);

}  // namespace ov
