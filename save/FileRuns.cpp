#include "save/FileRuns.h"

#include <algorithm>

#include "nss/ObjectTree.h"

namespace ov {

namespace {

// The sectors a save reads: the file's blocks, cut to its size.
std::uint64_t SectorsRead(const TreeNode& file) {
  return std::min<std::uint64_t>(std::uint64_t{file.blockCount} * kSectorsPerBlock,
                                 (file.size + kSectorSize - 1) / kSectorSize);
}

}  // namespace

bool FileReachesMissingSegment(const PoolInfo& pool, const TreeNode& file) {
  return ReachesMissingSegment(pool, file.firstBlock * kSectorsPerBlock, SectorsRead(file));
}

std::optional<std::vector<DiskRun>> FileDiskRuns(const PoolInfo& pool, const TreeNode& file) {
  if (FileReachesMissingSegment(pool, file)) return std::nullopt;
  const std::uint64_t first = file.firstBlock * kSectorsPerBlock;
  std::uint64_t firstSector = first;
  if (!TranslateSector(pool, firstSector)) return std::nullopt;
  const std::uint64_t totalSectors = std::uint64_t{file.blockCount} * kSectorsPerBlock;
  std::vector<DiskRun> runs;
  std::uint64_t done = 0;
  for (std::uint64_t i = 0; i < totalSectors && done < file.size;) {
    const auto run = TranslateRun(pool, first + i);
    if (!run) break;
    const std::uint64_t sectorsForRest = (file.size - done + kSectorSize - 1) / kSectorSize;
    const std::uint64_t n = std::min({totalSectors - i, sectorsForRest, run->sectors});
    const std::uint64_t bytes = std::min<std::uint64_t>(n * kSectorSize, file.size - done);
    if (!runs.empty() && runs.back().diskSector + runs.back().bytes / kSectorSize == run->diskSector &&
        runs.back().bytes % kSectorSize == 0) {
      runs.back().bytes += bytes;
    } else {
      runs.push_back({done, run->diskSector, bytes});
    }
    done += bytes;
    i += n;
  }
  return runs;
}

std::uint64_t SavedLength(const std::vector<DiskRun>& runs) {
  return runs.empty() ? 0 : runs.back().fileOffset + runs.back().bytes;
}

}  // namespace ov
