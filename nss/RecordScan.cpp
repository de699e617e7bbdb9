#include "nss/RecordScan.h"

#include <algorithm>
#include <array>

#include "records/ActivityLog.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

// The attribute entry of the name area at `area` in a whole block, as
// FindAttributeEntry finds it; 0 for none (an entry never starts at 0).
std::size_t AttributeEntryAt(const std::byte* b, std::size_t area) {
  std::size_t p = area;
  while (p <= kLastOffset) {
    const auto length = static_cast<std::uint8_t>(b[p]);
    if (length == 0) return 0;
    p += 2 * std::size_t{length} + 2;
    if (p > kLastOffset) return 0;
    if (static_cast<std::uint8_t>(b[p]) == kAttributeKind) return p;
  }
  return 0;
}

Attributes AttributesAt(const std::byte* b, std::size_t area) {
  Attributes a;
  if (const std::size_t e = AttributeEntryAt(b, area)) {
    if (e + 48 <= kBlockSize) a.time = LoadLe<std::uint32_t>(b + e + 44);
    a.listedAsFile = e + 22 <= kBlockSize && LoadLe<std::uint16_t>(b + e + 20) == 0xFFFF;
  }
  return a;
}

// The low bytes of `n` UTF-16LE units at `units` into `out`, up to the
// first that is 0: how many came before it. Sixteen units at a time where
// the block holds the whole stretch of 32 bytes; `out` has room for `n`
// rounded up to sixteen.
std::size_t LowBytesUpToZero(const std::byte* units, std::size_t n, const std::byte* blockEnd, char* out) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const __m128i zero = _mm_setzero_si128();
  for (; i < n && units + 2 * i + 32 <= blockEnd; i += 16) {
    const __m128i a = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 2 * i)), lowBytes);
    const __m128i b = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 2 * i + 16)), lowBytes);
    const __m128i packed = _mm_packus_epi16(a, b);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), packed);
    // Zeros among the units still wanted end the name.
    auto zeros = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(packed, zero)));
    if (n - i < 16) zeros &= (1u << (n - i)) - 1;
    if (zeros != 0) return i + static_cast<std::size_t>(__builtin_ctz(zeros));
  }
  if (i >= n) return n;
#endif
  for (; i < n; ++i) {
    const char c = static_cast<char>(units[2 * i]);
    if (c == '\0') return i;
    out[i] = c;
  }
  return n;
}

// The name of the name area at `area` decoded straight into the tree's name
// store: its length, 0 when the record is to be dropped (no units, units
// past the block, or a first unit whose low byte is 0).
std::size_t DecodeName(const std::byte* b, std::size_t area, RecoveryTree& tree, char*& name) {
  const std::size_t n = static_cast<std::uint8_t>(b[area]);
  if (n == 0 || area + 2 + 2 * n > kBlockSize) return 0;
  name = tree.NameRoom((n + 15) & ~std::size_t{15});
  return LowBytesUpToZero(b + area + 2, n, b + kBlockSize, name);
}

// VisitObjectRecord for a type-3 record whose fixed fields all lie inside
// the block (up to the file name area's length byte): the same checks and
// nodes, read with one load per field and the name decoded in place.
void DecodeObjectRecord(const std::byte* b, std::size_t r, const Layout& at, RecoveryTree& tree) {
  const auto kind = static_cast<std::uint8_t>(b[r + 18]);
  const auto id = LoadLe<std::uint64_t>(b + r + 8);
  if (kind == kObjectKindFolder) {
    const std::size_t area = r + at.folderNameArea;
    std::uint64_t parent = LoadLe<std::uint32_t>(b + r + at.folderParent);
    if (parent == kVolumeRootParent) parent = 0;
    char* name = nullptr;
    const std::size_t length = DecodeName(b, area, tree, name);
    if (length == 0) return;
    const Attributes attr = AttributesAt(b, area);
    const std::uint64_t folderId = id & 0xFFFFFFFFu;
    if (attr.listedAsFile) {
      tree.AddFileNode({name, length}, folderId, parent, tree.fileCount, 0, 0, 0, attr.time);
      ++tree.fileCount;
    } else {
      // A folder refused as a duplicate still counts.
      tree.AddFolderNode({name, length}, folderId, parent, tree.folderCount, attr.time);
      ++tree.folderCount;
    }
    return;
  }
  if (kind == kObjectKindFile) {
    const std::size_t area = r + at.fileNameArea;
    const auto size = LoadLe<std::uint64_t>(b + r + 24);
    const auto blockCount = LoadLe<std::uint32_t>(b + r + at.blockCount);
    const std::uint64_t blocksNeeded = size / 4096 + (size % 4096 != 0 ? 1 : 0);
    if (static_cast<std::uint32_t>(blocksNeeded) != blockCount) return;  // taken as damaged
    char* name = nullptr;
    const std::size_t length = DecodeName(b, area, tree, name);
    if (length == 0) return;
    const auto firstBlock = LoadLe<std::uint64_t>(b + r + at.firstBlock);
    const auto parentField = LoadLe<std::uint64_t>(b + r + at.fileParent);
    const std::uint64_t parent = parentField == kVolumeRootParent ? 0 : parentField;
    const Attributes attr = AttributesAt(b, area);
    tree.AddFileNode({name, length}, id, parent, tree.fileCount, firstBlock, blockCount, size, attr.time);
    ++tree.fileCount;
  }
}

// Every object record of a leaf block into the tree, in order; child
// records to `queueChild` when set.
void DecodeLeafBlock(const Bytes& block, std::uint64_t sector, bool compactLayout, RecoveryTree& tree,
                     const ChildRecordSink* queueChild) {
  const Layout& at = compactLayout ? kCompact : kNormal;
  const std::byte* b = block.span().data();
  // The last fixed field either layout reads is the file name area's length.
  const std::size_t fixedFields = std::max(kNormal.fileNameArea, kCompact.fileNameArea) + 1;
  ForEachLeafRecord(b, [&](std::size_t r, std::int16_t length, std::uint32_t type) {
    if (type != kRecordTypeObject) {
      if (type == kRecordTypeChild && queueChild != nullptr) (*queueChild)(r);
      return true;
    }
    if (r + fixedFields <= kBlockSize) {
      DecodeObjectRecord(b, r, at, tree);
    } else {
      VisitObjectRecord({block, r, length, type, sector}, compactLayout, tree);
    }
    return true;
  });
}

}  // namespace

void ScanVolume(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector, bool compactLayout,
                RecoveryTree& tree, ActivityLog* log) {
  tree.ReleaseTree();
  tree.folderCount = 0;
  tree.fileCount = 0;
  tree.DeferParentIndex();
  WalkLeafBlocksReadingAhead(disk, pool, rootSector,
                             [&](const Bytes& block, std::uint64_t sector, const ChildRecordSink* queueChild) {
    DecodeLeafBlock(block, sector, compactLayout, tree, queueChild);
  });
  if (log) log->AppendScanCounts(tree.folderCount, tree.fileCount);
  tree.BuildFolderTree();
}

}  // namespace ov
