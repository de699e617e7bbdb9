#pragma once
// Where on the disk a saved file's bytes come from.
//
// A save copies a file from its one run of pool blocks, translated through
// the pool's segment map piece by piece; the copy ends at the file's size,
// when the blocks run out, or where the run leaves the pool. The stretches
// here follow the same rule, so their lengths add up to the saved file's
// length, and reading them gives the saved file's bytes.

#include <cstdint>
#include <optional>
#include <vector>

#include "nss/Pools.h"
#include "nss/RecoveryTree.h"

namespace ov {

struct DiskRun {
  std::uint64_t fileOffset = 0;  // bytes into the file
  std::uint64_t diskSector = 0;  // first disk sector
  std::uint64_t bytes = 0;       // whole sectors, except for the file's last run
};

// The stretches of a file, in file order, adjacent ones joined; nothing when
// a save would not write the file at all (its first sector lies outside the
// pool, or part of its data lies on a missing segment of the pool).
std::optional<std::vector<DiskRun>> FileDiskRuns(const PoolInfo& pool, const TreeNode& file);

// True when part of the file's data lies on a segment that no disk of the
// run gives: the file cannot be read whole, and is never saved in part.
bool FileReachesMissingSegment(const PoolInfo& pool, const TreeNode& file);

// The length of the saved file: the sum of its stretches.
std::uint64_t SavedLength(const std::vector<DiskRun>& runs);

}  // namespace ov
