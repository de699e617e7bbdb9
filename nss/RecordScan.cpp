#include "nss/RecordScan.h"

#include <array>

#include "records/ActivityLog.h"

namespace ov {

namespace {

struct Layout {
  std::size_t blockCount, firstBlock, folderParent, folderNameArea, fileParent, fileNameArea;
};
constexpr Layout kNormal{88, 92, 112, 124, 128, 140};
constexpr Layout kCompact{72, 76, 96, 108, 112, 124};

constexpr std::size_t kLastOffset = 4095;
constexpr std::size_t kAttributeKind = 2;

struct Attributes {
  std::uint32_t time = 0;
  bool listedAsFile = false;
};

Attributes ReadAttributes(const Bytes& block, std::size_t area) {
  Attributes a;
  if (auto e = FindAttributeEntry(block, area)) {
    a.time = block.U32(*e + 44).value_or(0);
    a.listedAsFile = block.U16(*e + 20) == 0xFFFF;
  }
  return a;
}

}  // namespace

std::optional<std::size_t> FindAttributeEntry(const Bytes& block, std::size_t area) {
  std::size_t p = area;
  while (true) {
    if (p > kLastOffset) return std::nullopt;
    const auto length = block.U8(p);
    if (!length || *length == 0) return std::nullopt;
    p += 2 * std::size_t{*length} + 2;
    if (p > kLastOffset) return std::nullopt;
    if (block.U8(p) == kAttributeKind) return p;
  }
}

void VisitObjectRecord(const LeafRecord& record, bool compactLayout, RecoveryTree& tree) {
  if (record.type != kRecordTypeObject) return;
  const Layout& at = compactLayout ? kCompact : kNormal;
  const Bytes& b = record.block;
  const std::size_t r = record.offset;
  const auto kind = b.U8(r + 18);
  const auto id = b.U64(r + 8);
  if (!kind || !id) return;

  if (*kind == kObjectKindFolder) {
    const std::size_t area = r + at.folderNameArea;
    const std::size_t n = b.U8(area).value_or(0);
    auto parentField = b.U32(r + at.folderParent);
    if (!parentField) return;
    std::uint64_t parent = *parentField;
    if (parent == kVolumeRootParent) parent = 0;
    const Attributes attr = ReadAttributes(b, area);
    std::array<char, 255> buffer;
    const auto name = b.LowBytes16(area + 2, n, buffer);
    if (n == 0 || !name || name->empty()) return;
    const std::uint64_t folderId = *id & 0xFFFFFFFFu;
    if (attr.listedAsFile) {
      tree.AddFileNode(*name, folderId, parent, tree.fileCount, 0, 0, 0, attr.time);
      ++tree.fileCount;
    } else {
      // A folder refused as a duplicate still counts.
      tree.AddFolderNode(*name, folderId, parent, tree.folderCount, attr.time);
      ++tree.folderCount;
    }
    return;
  }

  if (*kind == kObjectKindFile) {
    const std::size_t area = r + at.fileNameArea;
    const std::size_t n = b.U8(area).value_or(0);
    const auto size = b.U64(r + 24);
    const auto blockCount = b.U32(r + at.blockCount);
    const auto firstBlock = b.U64(r + at.firstBlock);
    const auto parentField = b.U64(r + at.fileParent);
    if (!size || !blockCount || !firstBlock || !parentField) return;
    const std::uint64_t blocksNeeded = *size / 4096 + (*size % 4096 != 0 ? 1 : 0);
    if (static_cast<std::uint32_t>(blocksNeeded) != *blockCount) return;  // taken as damaged
    std::array<char, 255> buffer;
    const auto name = b.LowBytes16(area + 2, n, buffer);
    if (n == 0 || !name || name->empty()) return;
    const std::uint64_t parent = *parentField == kVolumeRootParent ? 0 : *parentField;
    const Attributes attr = ReadAttributes(b, area);
    tree.AddFileNode(*name, *id, parent, tree.fileCount, *firstBlock, *blockCount, *size, attr.time);
    ++tree.fileCount;
  }
}

void ScanVolume(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector, bool compactLayout,
                RecoveryTree& tree, ActivityLog* log) {
  tree.ReleaseTree();
  tree.folderCount = 0;
  tree.fileCount = 0;
  WalkObjectTreeReadingAhead(disk, pool, rootSector,
                             [&](const LeafRecord& record) { VisitObjectRecord(record, compactLayout, tree); });
  if (log) log->AppendScanCounts(tree.folderCount, tree.fileCount);
  tree.BuildFolderTree();
}

}  // namespace ov
