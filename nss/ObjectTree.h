#pragma once
// The walk over an NSS object tree: branch blocks ("BRCH") list child blocks
// at 40 + 12 * i; leaf blocks ("LEAF") hold records of a 16-bit length, from
// 40 when byte 42 is 'N', else from 56. A record of type 0x2C points at a
// child block (at + 212); every other record goes to the visitor.
//
// The walk is breadth first and reads each block at most once, so a damaged
// tree whose blocks point back at themselves or at an ancestor still ends.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>

#include "disk/Bytes.h"
#include "disk/DiskView.h"
#include "nss/Pools.h"

namespace ov {

inline constexpr std::size_t kBlockSize = 4096;
inline constexpr std::uint32_t kSectorsPerBlock = 8;
inline constexpr std::uint32_t kRecordTypeChild = 0x2C;
inline constexpr std::uint32_t kRecordTypeVolume = 0x33;
inline constexpr std::uint32_t kRecordTypeObject = 3;

// One leaf record: the whole 4096-byte block and the record's place in it.
// Fields are read relative to `offset`; reads stay inside the block.
struct LeafRecord {
  Bytes block;
  std::size_t offset = 0;
  std::int16_t length = 0;
  std::uint32_t type = 0;
  std::uint64_t blockSector = 0;  // disk sector of the block, for reports
};

enum class VisitResult { Continue, SkipRestOfLeaf };

using RecordVisitor = std::function<VisitResult(const LeafRecord&)>;

// Walks the tree whose root block starts at disk sector `rootSector`, with
// child block numbers translated over `pool`. Unreadable blocks read as
// zeros and are ignored.
void WalkObjectTree(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector,
                    const RecordVisitor& visitRecord);

// Calls `take(offset, length, type)` for each record of the leaf block of
// kBlockSize bytes at `block`, in order, until it answers false: records
// start at 40 when byte 42 is 'N', else at 56, and end at the first whose
// length is below 1 or would pass offset 4095. A type that would pass the
// end of the block reads as 0.
template <typename Take>
void ForEachLeafRecord(const std::byte* block, Take&& take) {
  constexpr std::size_t kLast = kBlockSize - 1;
  std::size_t r = static_cast<char>(block[42]) == 'N' ? 40 : 56;
  while (r + 2 <= kBlockSize) {
    const std::int16_t length = LoadLe<std::int16_t>(block + r);
    if (length < 1 || r + static_cast<std::size_t>(length) > kLast) break;
    const std::uint32_t type = r + 8 <= kBlockSize ? LoadLe<std::uint32_t>(block + r + 4) : 0;
    if (!take(r, length, type)) break;
    r += static_cast<std::size_t>(length);
  }
}

using RecordSink = std::function<void(const LeafRecord&)>;

// The same walk for a visitor that takes every record: the same records in
// the same order, but `takeRecord` runs on a second thread while the calling
// thread reads the blocks ahead, so decoding overlaps the reading. Only the
// calling thread reads the disk (and asks about bad sectors); `takeRecord`
// must touch nothing the reading uses. When `takeRecord` throws, the
// reading stops and the exception goes on to the caller. When the process
// may run on one processor only, the walk runs on the calling thread alone.
void WalkObjectTreeReadingAhead(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector,
                                const RecordSink& takeRecord);

// Queues the block that the child record at an offset of the leaf at hand
// names.
using ChildRecordSink = std::function<void(std::size_t recordOffset)>;

// A whole leaf block (kBlockSize bytes) and its disk sector. With
// `queueChild` set, the walk left the leaf's child records to the visitor,
// which passes each one's offset to it, in record order, as it goes
// through the records; without, they were queued already.
using LeafBlockSink =
    std::function<void(const Bytes& block, std::uint64_t blockSector, const ChildRecordSink* queueChild)>;

// The same walk handing over whole leaf blocks, in walk order, for a
// visitor that goes through their records itself (ForEachLeafRecord) and
// takes every one but the child pointers: one call per block instead of
// one per record. Threads, errors and reading as WalkObjectTreeReadingAhead.
// On the calling thread alone, the visitor queues the child records, so
// each leaf's records are gone through once.
void WalkLeafBlocksReadingAhead(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector,
                                const LeafBlockSink& takeBlock);

}  // namespace ov
