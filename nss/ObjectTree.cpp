#include "nss/ObjectTree.h"

#include <cstring>
#include <deque>
#include <unordered_set>
#include <vector>

namespace ov {

namespace {

constexpr std::size_t kLastOffset = 4095;  // records and entries end before this

}  // namespace

void WalkObjectTree(const DiskView& disk, const PoolInfo& pool, std::uint64_t rootSector,
                    const RecordVisitor& visitRecord) {
  std::deque<std::uint64_t> queue{rootSector};
  std::unordered_set<std::uint64_t> seen{rootSector};
  auto append = [&](std::uint64_t sector) {
    if (seen.insert(sector).second) queue.push_back(sector);
  };
  std::vector<std::byte> buffer(kBlockSize);
  while (!queue.empty()) {
    const std::uint64_t sector = queue.front();
    queue.pop_front();
    std::memset(buffer.data(), 0, buffer.size());
    disk.Read(sector, kSectorsPerBlock, buffer.data());
    const Bytes block(buffer);
    if (block.Matches(0, "BRCH")) {
      for (std::size_t at = 40; at < kLastOffset; at += 12) {
        const std::uint32_t child = block.U32(at).value_or(0);
        if (child == 0) break;
        std::uint64_t childSector = std::uint64_t{child} * kSectorsPerBlock;
        if (!TranslateSector(pool, childSector)) break;
        append(childSector);
      }
    } else if (block.Matches(0, "LEAF")) {
      std::size_t r = block.U8(42) == 'N' ? 40 : 56;
      while (true) {
        const auto length = block.I16(r);
        if (!length || *length < 1 || r + static_cast<std::size_t>(*length) > kLastOffset) break;
        const std::uint32_t type = block.U32(r + 4).value_or(0);
        if (type == kRecordTypeChild) {
          if (auto child = block.U32(r + 212)) {
            std::uint64_t childSector = std::uint64_t{*child} * kSectorsPerBlock;
            if (TranslateSector(pool, childSector)) append(childSector);
          }
        } else if (visitRecord({block, r, *length, type, sector}) == VisitResult::SkipRestOfLeaf) {
          break;
        }
        r += static_cast<std::size_t>(*length);
      }
    }
  }
}

}  // namespace ov
