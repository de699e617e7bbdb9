#include "mkimage/ImageBuilder.h"
#include "mkimage/RaidMembers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace ov::mkimage {

namespace {

constexpr std::uint64_t kSector = 512;
constexpr std::uint64_t kBlock = 4096;
constexpr std::uint64_t kSectorsPerBlock = 8;
constexpr std::uint64_t kRootParent = 0x7F;
constexpr std::uint64_t kFirstAutoId = 0x100;
constexpr int kLeafEnd = 4095;           // a record must end at or before this offset
constexpr int kBranchEntries = 338;      // 40 + 12 * i < 4095
constexpr int kPointerRecord = 224;      // child pointer record length (child block at 212)
constexpr int kAttributeEntry = 64;
constexpr int kMaxVolumesListed = 49;
constexpr std::string_view kCompactPoolName = "Netware 5 NSS Partition";

struct BuildError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& what) { throw BuildError(what); }

std::string Hex(std::uint64_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }
std::size_t Align8(std::size_t v) { return (v + 7) & ~std::size_t{7}; }

// ---- the image in memory, 4 KiB chunks, only where something was written -----

class SparseDisk {
public:
  explicit SparseDisk(std::uint64_t sectors) : bytes_(sectors * kSector) {}

  void Write(std::uint64_t offset, std::span<const std::uint8_t> data) {
    if (offset > bytes_ || data.size() > bytes_ - offset) Fail("write past the end of the disk at byte " + std::to_string(offset));
    std::size_t done = 0;
    while (done < data.size()) {
      std::uint64_t at = offset + done;
      auto& chunk = Chunk(at / kBlock);
      std::size_t inChunk = static_cast<std::size_t>(at % kBlock);
      std::size_t n = std::min<std::size_t>(kBlock - inChunk, data.size() - done);
      std::memcpy(chunk.data() + inChunk, data.data() + done, n);
      done += n;
    }
  }
  void WriteSectors(std::uint64_t sector, std::span<const std::uint8_t> data) { Write(sector * kSector, data); }

  void Save(const std::filesystem::path& path) const {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) Fail("cannot create " + path.string() + ": " + std::strerror(errno));
    bool ok = ::ftruncate(fd, static_cast<off_t>(bytes_)) == 0;
    for (const auto& [index, chunk] : chunks_) {
      if (!ok) break;
      if (std::all_of(chunk->begin(), chunk->end(), [](std::uint8_t b) { return b == 0; })) continue;
      std::uint64_t at = index * kBlock;
      std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, bytes_ - at));
      std::size_t done = 0;
      while (ok && done < n) {
        auto w = ::pwrite(fd, chunk->data() + done, n - done, static_cast<off_t>(at + done));
        if (w <= 0) ok = false;
        else done += static_cast<std::size_t>(w);
      }
    }
    int err = errno;
    if (::close(fd) != 0) ok = false;
    if (!ok) {
      std::error_code ec;
      std::filesystem::remove(path, ec);
      Fail("cannot write " + path.string() + ": " + std::strerror(err));
    }
  }

private:
  std::array<std::uint8_t, kBlock>& Chunk(std::uint64_t index) {
    auto& slot = chunks_[index];
    if (!slot) slot = std::make_unique<std::array<std::uint8_t, kBlock>>();
    return *slot;
  }
  std::uint64_t bytes_;
  std::map<std::uint64_t, std::unique_ptr<std::array<std::uint8_t, kBlock>>> chunks_;
};

// ---- sector claims: structures must not overlap ------------------------------

struct Claim {
  std::uint64_t first;
  std::uint64_t count;
  std::string what;
  std::size_t disk = 0;  // claims on different disks never meet
};

void CheckClaims(std::vector<Claim> claims) {
  std::sort(claims.begin(), claims.end(),
            [](const Claim& a, const Claim& b) { return a.disk != b.disk ? a.disk < b.disk : a.first < b.first; });
  for (std::size_t i = 1; i < claims.size(); ++i) {
    const auto& a = claims[i - 1];
    const auto& b = claims[i];
    if (a.disk == b.disk && b.first < a.first + a.count)
      Fail(b.what + " (sector " + std::to_string(b.first) + ") overlaps " + a.what + " (sectors " + std::to_string(a.first) +
           "-" + std::to_string(a.first + a.count - 1) + ")");
  }
}

// ---- names --------------------------------------------------------------------

struct Name {
  std::vector<std::uint16_t> units;
  std::string reader;  // the reader's 8-bit text, cut at the first NUL
};

Name MakeName(const std::string& utf8, std::size_t maxUnits, const std::string& what) {
  Name n;
  if (!Utf8ToUtf16(utf8, n.units)) Fail(what + ": name \"" + utf8 + "\" is not valid UTF-8");
  if (n.units.size() > maxUnits) Fail(what + ": name \"" + utf8 + "\" is longer than " + std::to_string(maxUnits) + " UTF-16 units");
  n.reader = LowBytes(n.units);
  auto nul = n.reader.find('\0');
  if (nul != std::string::npos) n.reader.resize(nul);
  return n;
}

void PutUnits(std::span<std::uint8_t> out, std::size_t at, const std::vector<std::uint16_t>& units) {
  for (std::size_t i = 0; i < units.size(); ++i) Put16(out, at + 2 * i, units[i]);
}

// ---- pools ----------------------------------------------------------------------

struct SegmentPlace {
  bool present = false;
  std::size_t disk = 0;       // the disk its section is on; header and start are that disk's sectors
  int partition = -1;         // index of the partition holding its section
  std::uint64_t header = 0;
  std::uint32_t dataOffset = 32;
  std::uint64_t start = 0;
  std::uint64_t length = 0;
  std::size_t chainPosition = 0;
};


enum : std::uint8_t { kFree = 0, kUsed = 1, kReserved = 2 };

struct PoolLayout {
  const Pool* desc = nullptr;
  bool compact = false;
  int partitionIndex = -1;      // the partition of segment 0, where a chain walk lists the pool
  std::vector<SegmentPlace> segments;
  std::uint64_t blocks = 0;
  std::uint32_t segmentSize = 0;
  std::vector<std::uint8_t> state;  // per block
  std::uint64_t hint = 0;
  std::vector<Claim>* claims = nullptr;

  std::uint64_t SegmentFirstBlock(std::size_t k) const {
    std::uint64_t base = 0;
    for (std::size_t i = 0; i < k; ++i) base += segments[i].length;
    return base / kSectorsPerBlock;
  }
  std::uint64_t SegmentBlocks(std::size_t k) const { return segments[k].length / kSectorsPerBlock; }
  std::size_t SegmentOf(std::uint64_t block) const {
    for (std::size_t k = 0; k < segments.size(); ++k)
      if (block < SegmentFirstBlock(k) + SegmentBlocks(k)) return k;
    Fail("pool " + desc->name + ": block " + std::to_string(block) + " is past the pool's end");
  }
  // Pool-relative sector to the disk and the sector on it, exactly as the
  // segment map reads: a segment's data lies on the disk of its section.
  std::pair<std::size_t, std::uint64_t> Locate(std::uint64_t poolSector) const {
    if (segments.size() == 1) return {segments[0].disk, segments[0].start + poolSector};
    std::uint64_t base = 0;
    for (const auto& s : segments) {
      if (poolSector < base + s.length) return {s.disk, s.start + (poolSector - base)};
      base += s.length;
    }
    Fail("pool " + desc->name + ": sector " + std::to_string(poolSector) + " is past the pool's end");
  }
  std::uint64_t BlockToDisk(std::uint64_t block) const { return Locate(block * kSectorsPerBlock).second; }
  std::size_t DiskOfBlock(std::uint64_t block) const { return Locate(block * kSectorsPerBlock).first; }
  // Writes data that starts at `block` and stays inside one segment.
  void Write(std::vector<SparseDisk>& disks, std::uint64_t block, std::span<const std::uint8_t> data) const {
    auto [disk, sector] = Locate(block * kSectorsPerBlock);
    disks[disk].WriteSectors(sector, data);
  }

  void Mark(std::uint64_t first, std::uint64_t count, const std::string& what) {
    for (std::uint64_t b = first; b < first + count; ++b) {
      if (b >= blocks) Fail(what + ": block " + std::to_string(b) + " is past the end of pool " + desc->name);
      if (state[b] != kFree) Fail(what + ": block " + std::to_string(b) + " of pool " + desc->name + " is already in use");
      state[b] = kUsed;
    }
    if (count > 0) {
      auto [disk, sector] = Locate(first * kSectorsPerBlock);
      claims->push_back({sector, count * kSectorsPerBlock, what, disk});
    }
  }

  // First fit of a contiguous run inside one segment (a file's data is read
  // as one run of disk sectors, so it must not cross a segment boundary).
  std::uint64_t Allocate(std::uint64_t count, std::optional<std::uint32_t> segment, const std::string& what) {
    for (std::size_t k = 0; k < segments.size(); ++k) {
      if (segment && *segment != k) continue;
      std::uint64_t b0 = SegmentFirstBlock(k), b1 = b0 + SegmentBlocks(k);
      std::uint64_t b = std::max(b0, segment ? b0 : hint);
      while (b + count <= b1) {
        std::uint64_t run = 0;
        while (run < count && state[b + run] == kFree) ++run;
        if (run == count) {
          Mark(b, count, what);
          while (hint < blocks && state[hint] != kFree) ++hint;
          return b;
        }
        b += run + 1;
      }
    }
    Fail(what + ": no room for " + std::to_string(count) + " contiguous blocks in pool " + desc->name +
         (segment ? " segment " + std::to_string(*segment) : std::string()));
  }
};

// ---- object trees -----------------------------------------------------------------

struct LeafRecord {
  Bytes bytes;
  bool overrun = false;
  int child = -1;        // child pointer: index of the tree block it points to
  int tag = -1;          // the flat item or volume this record stands for
  int patchAt = -1;      // offset of a 64-bit block number filled in after allocation
  std::uint64_t patchValue = 0;
};

struct TreeBlock {
  bool leaf = true;
  std::vector<LeafRecord> records;
  std::vector<int> children;  // branch blocks
  std::uint64_t block = 0;
};

struct Tree {
  std::vector<TreeBlock> blocks;
  int root = -1;
  int leafStart = 56;
  std::vector<std::string> damage;
};

struct PendingRecord {
  Bytes bytes;
  int tag = -1;
  bool overrun = false;
  bool isolated = false;   // alone in a leaf of its own
  bool duplicate = false;  // also written into an extra leaf
  int patchAt = -1;
};

LeafRecord ChildPointer(int child) {
  LeafRecord r;
  r.bytes.assign(kPointerRecord, 0);
  Put16(r.bytes, 0, static_cast<std::uint16_t>(kPointerRecord));
  Put32(r.bytes, 4, 0x2C);
  r.child = child;
  return r;
}

Tree BuildTree(const std::vector<PendingRecord>& pending, const TreeShape& shape, bool loop) {
  Tree tree;
  tree.leafStart = shape.leafStart;
  const int maxPerLeaf = shape.recordsPerLeaf > 0 ? shape.recordsPerLeaf : 1000;
  std::vector<int> leaves;
  auto newLeaf = [&] {
    tree.blocks.push_back(TreeBlock{});
    leaves.push_back(static_cast<int>(tree.blocks.size() - 1));
    return &tree.blocks.back();
  };
  auto toRecord = [](const PendingRecord& p) {
    LeafRecord r;
    r.bytes = p.bytes;
    r.overrun = p.overrun;
    r.tag = p.tag;
    r.patchAt = p.patchAt;
    return r;
  };
  auto pack = [&](const std::vector<const PendingRecord*>& list) {
    TreeBlock* leaf = nullptr;
    int used = 0;
    for (const auto* p : list) {
      auto len = static_cast<int>(p->bytes.size());
      if (shape.leafStart + len > kLeafEnd) Fail("a record of " + std::to_string(len) + " bytes does not fit in a leaf");
      bool fits = leaf != nullptr && !p->isolated && used + len <= kLeafEnd &&
                  static_cast<int>(leaf->records.size()) < maxPerLeaf;
      if (!fits) {
        leaf = newLeaf();
        used = shape.leafStart;
      }
      leaf->records.push_back(toRecord(*p));
      used += len;
      if (p->overrun || p->isolated) leaf = nullptr;  // the reader stops here; start afresh
    }
  };
  std::vector<const PendingRecord*> regular, copies;
  for (const auto& p : pending) {
    regular.push_back(&p);
    if (p.duplicate) copies.push_back(&p);
  }
  pack(regular);
  if (leaves.empty()) newLeaf();
  pack(copies);
  int loopLeaf = -1;
  if (loop) {
    newLeaf();
    loopLeaf = leaves.back();
  }
  // Index levels above the leaves.
  std::vector<int> level = leaves;
  const int pointerCapacity = (kLeafEnd - shape.leafStart) / kPointerRecord;
  int fanout = shape.pointerIndex ? pointerCapacity : kBranchEntries;
  if (shape.fanout > 0) fanout = std::min(fanout, shape.fanout);
  while (level.size() > 1) {
    std::vector<int> up;
    for (std::size_t i = 0; i < level.size(); i += static_cast<std::size_t>(fanout)) {
      TreeBlock index;
      index.leaf = shape.pointerIndex;
      for (std::size_t k = i; k < std::min(level.size(), i + static_cast<std::size_t>(fanout)); ++k) {
        if (shape.pointerIndex) index.records.push_back(ChildPointer(level[k]));
        else index.children.push_back(level[k]);
      }
      tree.blocks.push_back(std::move(index));
      up.push_back(static_cast<int>(tree.blocks.size() - 1));
    }
    level = std::move(up);
  }
  tree.root = level[0];
  if (loopLeaf >= 0) tree.blocks[static_cast<std::size_t>(loopLeaf)].records.push_back(ChildPointer(tree.root));
  return tree;
}

// Tree blocks in the order a breadth-first walk meets them, each once.
std::vector<int> BreadthFirst(const Tree& tree) {
  std::vector<int> order;
  std::vector<bool> seen(tree.blocks.size(), false);
  std::deque<int> queue{tree.root};
  seen[static_cast<std::size_t>(tree.root)] = true;
  while (!queue.empty()) {
    int b = queue.front();
    queue.pop_front();
    order.push_back(b);
    const auto& blk = tree.blocks[static_cast<std::size_t>(b)];
    std::vector<int> next = blk.children;
    for (const auto& r : blk.records) {
      if (r.overrun) break;
      if (r.child >= 0) next.push_back(r.child);
    }
    for (int c : next)
      if (!seen[static_cast<std::size_t>(c)]) {
        seen[static_cast<std::size_t>(c)] = true;
        queue.push_back(c);
      }
  }
  return order;
}

void AllocateTree(Tree& tree, PoolLayout& pool, const std::string& what) {
  for (int b : BreadthFirst(tree))
    tree.blocks[static_cast<std::size_t>(b)].block = pool.Allocate(1, std::nullopt, what);
  for (auto& blk : tree.blocks)  // blocks no walk reaches still need a home
    if (blk.block == 0) blk.block = pool.Allocate(1, std::nullopt, what);
}

void WriteTree(const Tree& tree, const PoolLayout& pool, std::vector<SparseDisk>& disks) {
  for (const auto& blk : tree.blocks) {
    Bytes out(kBlock, 0);
    std::span<std::uint8_t> b(out);
    PutText(b, 0, blk.leaf ? "LEAF" : "BRCH");
    Put64(b, 8, blk.block);
    if (blk.leaf) {
      Put32(b, 16, static_cast<std::uint32_t>(blk.records.size()));
      std::size_t r = static_cast<std::size_t>(tree.leafStart);
      for (const auto& rec : blk.records) {
        Bytes bytes = rec.bytes;
        std::span<std::uint8_t> rb(bytes);
        if (rec.child >= 0) Put64(rb, 212, tree.blocks[static_cast<std::size_t>(rec.child)].block);
        if (rec.patchAt >= 0) Put64(rb, static_cast<std::size_t>(rec.patchAt), rec.patchValue);
        if (rec.overrun) Put16(rb, 0, static_cast<std::uint16_t>(kBlock - r + 8));
        PutBytes(b, r, bytes);
        r += bytes.size();
      }
      if (tree.leafStart == 40) Put8(b, 42, 'N');
    } else {
      Put32(b, 16, static_cast<std::uint32_t>(blk.children.size()));
      for (std::size_t i = 0; i < blk.children.size(); ++i)
        Put64(b, 40 + 12 * i, tree.blocks[static_cast<std::size_t>(blk.children[i])].block);
    }
    pool.Write(disks, blk.block, out);
  }
}

// ---- volume contents ---------------------------------------------------------------

struct FlatItem {
  const Item* item = nullptr;
  std::string path;         // "folder/sub/name" within the volume
  std::uint64_t id = 0;
  std::uint64_t parentWritten = 0;
  Name name;
  std::uint32_t time = 0;
  std::uint64_t firstBlock = 0;
  std::uint32_t blockCount = 0;  // as written
  std::uint32_t trueBlocks = 0;
};

// Record field offsets of the two layouts.
struct RecordLayout {
  std::size_t blockCount, firstBlock, folderParent, folderName, fileParent, fileName;
};
constexpr RecordLayout kNormal{88, 92, 112, 124, 128, 140};
constexpr RecordLayout kCompact{72, 76, 96, 108, 112, 124};

PendingRecord EncodeObject(const FlatItem& f, const RecordLayout& L, int tag) {
  const Item& it = *f.item;
  std::vector<Name> extras;
  for (const auto& e : it.extraNames) {
    extras.push_back(MakeName(e, 255, "\"" + f.path + "\" extra name"));
    auto n = extras.back().units.size();
    if (n == 0 || n == 2) Fail("\"" + f.path + "\": an extra name must not be empty or two units long (it would end the name chain)");
  }
  std::size_t area = it.folder ? L.folderName : L.fileName;
  std::size_t end = area + 2 + 2 * f.name.units.size();
  for (const auto& e : extras) end += 2 + 2 * e.units.size();
  std::size_t attr = end;
  if (it.attributes) end += kAttributeEntry;
  Bytes rec(Align8(end + 1), 0);  // at least one zero byte ends the name chain
  std::span<std::uint8_t> r(rec);
  Put16(r, 0, static_cast<std::uint16_t>(rec.size()));
  Put32(r, 4, 3);
  Put64(r, 8, f.id);
  Put8(r, 18, it.folder ? 8 : 0x18);
  PendingRecord p;
  if (it.folder) {
    Put32(r, L.folderParent, static_cast<std::uint32_t>(f.parentWritten));
  } else {
    Put64(r, 24, it.data.size());
    Put32(r, L.blockCount, f.blockCount);
    Put64(r, L.fileParent, f.parentWritten);
    p.patchAt = static_cast<int>(L.firstBlock);
  }
  std::size_t at = area;
  Put8(r, at, static_cast<std::uint8_t>(f.name.units.size()));
  PutUnits(r, at + 2, f.name.units);
  at += 2 + 2 * f.name.units.size();
  for (const auto& e : extras) {
    Put8(r, at, static_cast<std::uint8_t>(e.units.size()));
    PutUnits(r, at + 2, e.units);
    at += 2 + 2 * e.units.size();
  }
  if (it.attributes) {
    Put8(r, attr, 2);
    Put16(r, attr + 20, it.fileFlag ? 0xFFFF : (it.folder ? 0x0010 : 0x0020));
    Put32(r, attr + 40, f.time);
    Put32(r, attr + 44, f.time);
    Put32(r, attr + 48, f.time);
  }
  p.bytes = std::move(rec);
  p.tag = tag;
  p.overrun = it.overrun;
  p.duplicate = it.duplicate;
  return p;
}

struct VolumeWork {
  const Volume* desc = nullptr;
  std::vector<FlatItem> items;
  Tree tree;
  std::uint64_t rootBlock = 0;
};

void Flatten(const std::vector<Item>& items, const std::string& prefix, std::uint64_t parentId, std::vector<FlatItem>& out,
             std::set<std::uint64_t>& explicitIds, std::uint64_t& nextId, std::uint32_t defaultTime) {
  for (const auto& it : items) {
    FlatItem f;
    f.item = &it;
    f.path = prefix.empty() ? it.name : prefix + "/" + it.name;
    if (it.id) {
      f.id = *it.id;
    } else {
      while (explicitIds.count(nextId) != 0) ++nextId;
      f.id = nextId++;
    }
    f.parentWritten = it.parentId ? *it.parentId : parentId;
    f.name = MakeName(it.name, 255, "\"" + f.path + "\"");
    f.time = it.time ? *it.time : defaultTime;
    if (!it.folder) {
      f.trueBlocks = static_cast<std::uint32_t>(CeilDiv(it.data.size(), kBlock));
      f.blockCount = it.blockCount ? *it.blockCount : f.trueBlocks;
    }
    if (!it.folder && it.fileFlag) Fail("\"" + f.path + "\": fileFlag is for folders");
    if (it.fileFlag && !it.attributes) Fail("\"" + f.path + "\": fileFlag needs the attribute entry");
    std::string path = f.path;  // copies: `out` grows during the recursion
    std::uint64_t id = f.id;
    out.push_back(std::move(f));
    if (it.folder) Flatten(it.children, path, id, out, explicitIds, nextId, defaultTime);
  }
}

void CollectIds(const std::vector<Item>& items, std::set<std::uint64_t>& ids) {
  for (const auto& it : items) {
    if (it.id) ids.insert(*it.id);
    CollectIds(it.children, ids);
  }
}

// What a reader's record scan and tree build make of a volume's tree.
void ScanVolume(const VolumeWork& vw, const PoolLayout& pool, ManifestVolume& mv) {
  std::map<std::uint64_t, std::size_t> folderById;
  for (int b : BreadthFirst(vw.tree)) {
    const auto& blk = vw.tree.blocks[static_cast<std::size_t>(b)];
    ++mv.treeBlocks;
    if (!blk.leaf) continue;
    for (const auto& rec : blk.records) {
      if (rec.overrun) {
        const auto& f = vw.items[static_cast<std::size_t>(rec.tag)];
        mv.dropped.push_back({f.name.reader, "record runs past the block end"});
        break;
      }
      if (rec.child >= 0 || rec.tag < 0) continue;
      const FlatItem& f = vw.items[static_cast<std::size_t>(rec.tag)];
      const Item& it = *f.item;
      if (f.name.units.empty() || f.name.reader.empty()) {
        mv.dropped.push_back({f.name.reader, "empty name"});
        continue;
      }
      std::uint32_t time = it.attributes ? f.time : 0;
      if (it.folder) {
        std::uint64_t parent = f.parentWritten & 0xFFFFFFFFu;
        if (parent == kRootParent) parent = 0;
        std::uint64_t id = f.id & 0xFFFFFFFFu;
        if (it.fileFlag) {
          ManifestFile mf;
          mf.id = id;
          mf.parentId = parent;
          mf.name = f.name.reader;
          mf.time = time;
          mf.index = mv.fileCount++;
          mf.fromFolderRecord = true;
          mf.sha256 = Sha256Hex({});
          mv.files.push_back(std::move(mf));
          continue;
        }
        std::uint32_t index = mv.folderCount++;
        if (folderById.count(id) != 0) continue;
        ManifestFolder mf;
        mf.id = id;
        mf.parentId = parent;
        mf.name = f.name.reader;
        mf.time = time;
        mf.index = index;
        folderById[id] = mv.folders.size();
        mv.folders.push_back(std::move(mf));
      } else {
        std::uint64_t size = it.data.size();
        if (f.blockCount != static_cast<std::uint32_t>(CeilDiv(size, kBlock))) {
          mv.dropped.push_back({f.name.reader, "block count does not match size"});
          continue;
        }
        ManifestFile mf;
        mf.id = f.id;
        mf.parentId = f.parentWritten == kRootParent ? 0 : f.parentWritten;
        mf.name = f.name.reader;
        mf.time = time;
        mf.index = mv.fileCount++;
        mf.size = size;
        mf.blockCount = f.blockCount;
        mf.firstBlock = f.firstBlock;
        mf.diskSector = size > 0 ? pool.BlockToDisk(f.firstBlock) : 0;
        mf.disk = size > 0 ? pool.DiskOfBlock(f.firstBlock) : 0;
        mf.data = it.data;
        mf.sha256 = Sha256Hex(it.data);
        mv.files.push_back(std::move(mf));
      }
    }
  }
  // Place folders from the root down, as the tree build does.
  std::map<std::uint64_t, std::string> placedPath;  // folder id -> path
  std::function<void(std::uint64_t, const std::string&)> place = [&](std::uint64_t key, const std::string& path) {
    for (auto& folder : mv.folders) {
      if (folder.placed || folder.parentId != key) continue;
      folder.placed = true;
      folder.path = path.empty() ? folder.name : path + "\\" + folder.name;
      placedPath[folder.id] = folder.path;
      place(folder.id, folder.path);
    }
  };
  place(0, "");
  for (auto& file : mv.files) {
    if (file.parentId == 0) {
      file.placed = true;
    } else if (auto it = placedPath.find(file.parentId); it != placedPath.end()) {
      file.placed = true;
      file.folder = it->second;
    }
  }
}

// ---- the builder -------------------------------------------------------------------

struct PartitionPlace {
  const Partition* desc = nullptr;
  std::size_t disk = 0;
  std::uint64_t start = 0;
  std::uint64_t sectors = 0;
  std::vector<std::uint64_t> headers;  // per section, chain order
};

void EncodeChs(std::span<std::uint8_t> e, std::size_t at, std::uint64_t lba) {
  std::uint64_t c = lba / (255 * 63), h = (lba / 63) % 255, s = lba % 63 + 1;
  if (c > 1023) {
    c = 1023;
    h = 254;
    s = 63;
  }
  Put8(e, at, static_cast<std::uint8_t>(h));
  Put8(e, at + 1, static_cast<std::uint8_t>(s | ((c >> 2) & 0xC0)));
  Put8(e, at + 2, static_cast<std::uint8_t>(c & 0xFF));
}

// One disk to write: the image itself, or a further disk of a "disks" list.
struct DiskPlan {
  const std::vector<Partition>* partitions = nullptr;
  std::optional<std::uint64_t> sizeBytes;
  std::uint32_t signature = 0;
  std::string output;  // as the description gives it ("" for the image itself)
  const std::vector<SectorRange>* unreadable = nullptr;
};

// "disk 1: " before what goes wrong on a further disk; nothing on the first,
// so that one-disk descriptions keep their messages.
std::string DiskPrefix(std::size_t disk) { return disk == 0 ? std::string() : "disk " + std::to_string(disk) + ": "; }
std::string OfDisk(std::size_t disk) { return disk == 0 ? std::string() : " of disk " + std::to_string(disk); }

class Builder {
public:
  explicit Builder(const Description& d) : d_(d) {
    disks_.push_back({&d.partitions, d.sizeBytes, d.diskSignature, std::string(), &d.unreadable});
    for (const auto& more : d.moreDisks)
      disks_.push_back({&more.partitions, more.sizeBytes, more.diskSignature, more.output, &more.unreadable});
  }

  Manifest Run(const std::filesystem::path& imagePath) {
    // Where each disk goes: the first to the image, the others beside it.
    std::vector<std::filesystem::path> paths;
    for (const auto& plan : disks_) {
      paths.push_back(plan.output.empty() ? imagePath : DiskImagePath(imagePath, plan.output));
      for (std::size_t k = 0; k + 1 < paths.size(); ++k)
        if (paths[k].lexically_normal() == paths.back().lexically_normal())
          Fail(DiskPrefix(paths.size() - 1) + "it would be written to " + paths.back().string() + ", as disk " +
               std::to_string(k) + " is");
    }
    PlacePartitions();
    PlacePools();
    PlaceDocuments();
    for (std::size_t k = 0; k < disks_.size(); ++k) {
      const auto& plan = disks_[k];
      const std::string prefix = DiskPrefix(k);
      std::uint64_t end = 1;
      for (const auto& c : claims_)
        if (c.disk == k) end = std::max(end, c.first + c.count);
      for (const auto& p : parts_)
        if (p.disk == k) end = std::max(end, p.start + p.sectors);
      if (k == 0)
        for (const auto& f : d_.fills) end = std::max(end, f.at + f.sectors);
      for (const auto& r : *plan.unreadable) end = std::max(end, r.last + 1);
      std::uint64_t sectors = plan.sizeBytes ? *plan.sizeBytes / kSector : CeilDiv(end, 2048) * 2048;
      if (plan.sizeBytes && *plan.sizeBytes % kSector != 0) Fail(prefix + "size must be a whole number of 512-byte sectors");
      if (sectors < end)
        Fail(prefix + "size of " + std::to_string(sectors) + " sectors is too small: the contents reach sector " + std::to_string(end));
      if (sectors > 0xFFFFFFFFull) Fail(prefix + "the disk must stay below 2 TiB (sector numbers are 32-bit in the partition table)");
      ManifestDisk md;
      md.output = plan.output.empty() ? imagePath.filename().string() : plan.output;
      md.sectors = sectors;
      manifest_.disks.push_back(std::move(md));
      // Layouts of all pools and volumes are known: claims must not overlap.
      claims_.push_back({0, 1, "the partition table" + OfDisk(k), k});
    }
    manifest_.diskSectors = manifest_.disks[0].sectors;
    CheckClaims(claims_);

    std::vector<SparseDisk> disks;
    for (const auto& md : manifest_.disks) disks.emplace_back(md.sectors);
    WriteFills(disks[0]);
    WriteMbr(disks);
    WriteSections(disks);
    for (auto& pool : pools_) WritePool(pool, disks);
    for (const auto& [at, doc] : docs_) disks[0].WriteSectors(at, doc->data);
    ResolveUnreadable();
    FinishManifest();
    // All disks or none: a disk that cannot be written takes the ones
    // written before it away again.
    for (std::size_t k = 0; k < disks.size(); ++k) {
      try {
        disks[k].Save(paths[k]);
      } catch (const BuildError&) {
        std::error_code ec;
        for (std::size_t i = 0; i < k; ++i) std::filesystem::remove(paths[i], ec);
        throw;
      }
    }
    return std::move(manifest_);
  }

private:
  void PlacePartitions() {
    for (std::size_t k = 0; k < disks_.size(); ++k) PlacePartitions(k);
  }

  void PlacePartitions(std::size_t disk) {
    std::set<int> slots;
    std::uint64_t cursor = 2048;
    const std::size_t firstPart = parts_.size();
    for (const auto& p : *disks_[disk].partitions) {
      if (!slots.insert(p.slot).second) Fail(DiskPrefix(disk) + "partition slot " + std::to_string(p.slot) + " is used twice");
      PartitionPlace pp;
      pp.desc = &p;
      pp.disk = disk;
      pp.start = p.start ? *p.start : cursor;
      if (pp.start == 0) Fail(DiskPrefix(disk) + "a partition cannot start at sector 0 (the partition table)");
      std::string what = "partition in slot " + std::to_string(p.slot) + OfDisk(disk);
      std::uint64_t extent = 0;
      std::uint64_t at = pp.start;
      for (std::size_t i = 0; i < p.sections.size(); ++i) {
        const auto& s = p.sections[i];
        std::uint64_t e = s.at ? *s.at : at;
        if (i == 0 && e != pp.start) Fail(what + ": the first section must start at the partition's first sector");
        if (s.sectors < 128 || s.sectors % kSectorsPerBlock != 0)
          Fail(what + " section " + std::to_string(i) + ": sectors must be a multiple of 8 and at least 128");
        if (e < pp.start) Fail(what + " section " + std::to_string(i) + " lies before the partition");
        pp.headers.push_back(e);
        std::uint64_t len = s.dataOffset + s.sectors;
        claims_.push_back({e, s.dataOffset, what + " section " + std::to_string(i) + " header area", disk});
        extent = std::max(extent, e + len - pp.start);
        at = e + len;
      }
      pp.sectors = p.sectors ? *p.sectors : extent;
      if (pp.sectors == 0) Fail(what + ": give \"sectors\" or sections");
      if (extent > pp.sectors) Fail(what + ": its sections run past its " + std::to_string(pp.sectors) + " sectors");
      if (pp.start + pp.sectors > 0xFFFFFFFFull) Fail(what + " lies past the 32-bit sector range");
      if (p.type == 0x69 && pp.sectors < 32 + 3 * kSectorsPerBlock) Fail(what + " is too small for a pool");
      if (p.ext2) claims_.push_back({pp.start + 2, 2, what + " ext2 superblock", disk});
      cursor = CeilDiv(pp.start + pp.sectors, 2048) * 2048;
      parts_.push_back(pp);
    }
    // Sections must not overlap one another.
    std::vector<Claim> sections;
    for (std::size_t pi = firstPart; pi < parts_.size(); ++pi) {
      const auto& pp = parts_[pi];
      for (std::size_t i = 0; i < pp.headers.size(); ++i)
        sections.push_back({pp.headers[i], pp.desc->sections[i].dataOffset + pp.desc->sections[i].sectors,
                            "section " + std::to_string(i) + " of the partition in slot " + std::to_string(pp.desc->slot) +
                                OfDisk(disk)});
    }
    CheckClaims(sections);
    // Partitions must not overlap one another.
    std::vector<Claim> ranges;
    for (std::size_t pi = firstPart; pi < parts_.size(); ++pi)
      ranges.push_back({parts_[pi].start, parts_[pi].sectors, "partition in slot " + std::to_string(parts_[pi].desc->slot) + OfDisk(disk)});
    CheckClaims(ranges);
  }

  void PlacePools() {
    std::map<std::string, std::size_t> byName;
    std::set<std::string> readerNames;
    pools_.resize(d_.pools.size());
    for (std::size_t i = 0; i < d_.pools.size(); ++i) {
      const auto& p = d_.pools[i];
      if (!byName.emplace(p.name, i).second) Fail("pool \"" + p.name + "\" is described twice");
      pools_[i].desc = &p;
      pools_[i].claims = &claims_;
    }
    auto poolOf = [&](const std::string& name, const std::string& where) -> PoolLayout& {
      auto it = byName.find(name);
      if (it == byName.end()) Fail(where + ": no pool named \"" + name + "\"");
      return pools_[it->second];
    };
    for (std::size_t pi = 0; pi < parts_.size(); ++pi) {
      const auto& pp = parts_[pi];
      const auto& p = *pp.desc;
      std::string where = "partition in slot " + std::to_string(p.slot) + OfDisk(pp.disk);
      if (p.type == 0x69) {
        auto& pool = poolOf(p.pool, where);
        if (pool.partitionIndex >= 0) Fail("pool \"" + p.pool + "\" is placed twice");
        pool.partitionIndex = static_cast<int>(pi);
        pool.compact = true;
        SegmentPlace s;
        s.present = true;
        s.disk = pp.disk;
        s.partition = static_cast<int>(pi);
        s.header = pp.start;
        s.start = pp.start + 32;
        s.length = (pp.sectors - 32) / kSectorsPerBlock * kSectorsPerBlock;
        pool.segments.push_back(s);
        pool.segmentSize = static_cast<std::uint32_t>(pp.sectors);
      }
      for (std::size_t si = 0; si < p.sections.size(); ++si) {
        const auto& s = p.sections[si];
        auto& pool = poolOf(s.pool, where + " section " + std::to_string(si));
        if (pool.compact) Fail("pool \"" + s.pool + "\" is both a compact pool and in a section chain");
        for (const auto& other : pool.segments)
          if (other.present && other.disk == pp.disk && other.partition != static_cast<int>(pi))
            Fail("pool \"" + s.pool + "\": all its segments on one disk must lie in one partition's section chain");
        pool.partitionIndex = static_cast<int>(pi);
        if (s.segment >= 49) Fail("pool \"" + s.pool + "\": segment index " + std::to_string(s.segment) + " is too large (at most 49 segments)");
        if (pool.segments.size() <= s.segment) pool.segments.resize(s.segment + 1);
        auto& seg = pool.segments[s.segment];
        if (seg.present) Fail("pool \"" + s.pool + "\": segment " + std::to_string(s.segment) + " appears twice");
        seg.present = true;
        seg.disk = pp.disk;
        seg.partition = static_cast<int>(pi);
        seg.header = pp.headers[si];
        seg.dataOffset = s.dataOffset;
        seg.start = seg.header + s.dataOffset;
        seg.length = s.sectors;
        seg.chainPosition = si;
      }
    }
    for (auto& pool : pools_) {
      const auto& p = *pool.desc;
      if (pool.partitionIndex < 0) Fail("pool \"" + p.name + "\" is not placed in any partition");
      for (std::size_t k = 0; k < pool.segments.size(); ++k)
        if (!pool.segments[k].present) Fail("pool \"" + p.name + "\": segment " + std::to_string(k) + " is missing");
      pool.partitionIndex = pool.segments[0].partition;
      if (!pool.compact) {
        auto name = MakeName(p.name, 15, "pool");
        if (name.reader.empty()) Fail("a pool needs a name");
        if (!readerNames.insert(name.reader).second) Fail("two pools are both named \"" + name.reader + "\"");
        // The segment size is read from the name sector of the section that
        // completes the pool: its last section in chain order (on the last
        // of its disks).
        const SegmentPlace* last = &pool.segments[0];
        for (const auto& s : pool.segments)
          if (std::pair(s.disk, s.chainPosition) > std::pair(last->disk, last->chainPosition)) last = &s;
        pool.segmentSize = static_cast<std::uint32_t>(last->length);
      }
      std::uint64_t sectors = 0;
      for (const auto& s : pool.segments) sectors += s.length;
      pool.blocks = sectors / kSectorsPerBlock;
      pool.state.assign(pool.blocks, kFree);
      if (pool.blocks < 4) Fail("pool \"" + p.name + "\" is too small");
      pool.state[0] = kReserved;  // block 0 holds nothing of ours (it may carry a data offset marker)
      claims_.push_back({pool.BlockToDisk(0), kSectorsPerBlock, "pool " + p.name + " block 0", pool.DiskOfBlock(0)});
      // Data offset candidates that fall inside data areas must stay free
      // of our data, or text such as "HOLIDAY" could pass for a marker.
      for (const auto& pp : parts_) {
        if (pool.compact) break;
        const auto& part = *pp.desc;
        for (std::size_t si = 0; si < part.sections.size(); ++si) {
          const auto& s = part.sections[si];
          if (s.pool != p.name) continue;
          int upto = s.offsetMarker == 0 ? 4 : s.offsetMarker;
          std::uint64_t base = pool.SegmentFirstBlock(s.segment) * kSectorsPerBlock;
          for (int c = 1; c <= upto; ++c) {
            std::uint64_t rel = 32ull * static_cast<std::uint64_t>(c);
            if (rel < s.dataOffset) continue;
            std::uint64_t block = (base + rel - s.dataOffset) / kSectorsPerBlock;
            if (block < pool.blocks && pool.state[block] == kFree) {
              pool.state[block] = kReserved;
              claims_.push_back({pool.BlockToDisk(block), kSectorsPerBlock, "pool " + p.name + " marker block", pool.DiskOfBlock(block)});
            }
          }
        }
      }
      pool.Mark(1, 1, "pool " + p.name + " superblock");
      LayOutPool(pool);
    }
  }

  void LayOutPool(PoolLayout& pool) {
    const Pool& p = *pool.desc;
    if (pool.compact && p.volumes.size() != 1) Fail("compact pool \"" + p.name + "\" holds exactly one volume");
    const RecordLayout& L = pool.compact ? kCompact : kNormal;
    std::set<std::string> volumeNames;
    // The volume directory first (normal layout), so that it sits early in
    // the pool as on a freshly made pool.
    std::vector<PendingRecord> volumeRecords;
    if (!pool.compact) {
      for (std::size_t v = 0; v < p.volumes.size(); ++v) {
        const auto& vol = p.volumes[v];
        auto name = MakeName(vol.name, 48, "pool " + p.name + " volume");
        if (vol.nameLength && *vol.nameLength != 0 && *vol.nameLength <= 48)
          Fail("volume \"" + vol.name + "\": nameLength may only be 0 or above 48 (values a reader skips)");
        std::size_t q = 126 + 2 * name.units.size();
        std::size_t end = vol.noRootEntry ? q + 16 : q + 14 + 144;
        Bytes rec(Align8(end + 1), 0);
        std::span<std::uint8_t> r(rec);
        Put16(r, 0, static_cast<std::uint16_t>(rec.size()));
        Put32(r, 4, 0x33);
        Put64(r, 8, v + 1);
        Put8(r, 124, static_cast<std::uint8_t>(vol.nameLength ? *vol.nameLength : static_cast<int>(name.units.size())));
        PutUnits(r, 126, name.units);
        PendingRecord pr;
        if (vol.noRootEntry) {
          Put8(r, q, 1);
          Put8(r, q + 4, 255);  // 516 bytes: the chain runs on through empty space to the block end
          pr.isolated = true;
        } else {
          Put8(r, q, 1);
          Put8(r, q + 4, 4);
          Put32(r, q + 6, 0x0000000F);  // volume attributes
          Put8(r, q + 14, 2);
          Put8(r, q + 14 + 4, 69);
          pr.patchAt = static_cast<int>(q + 14 + 136);
        }
        pr.bytes = std::move(rec);
        pr.tag = static_cast<int>(v);
        volumeRecords.push_back(std::move(pr));
      }
      directory_[&pool] = BuildTree(volumeRecords, p.directory, false);
      AllocateTree(directory_[&pool], pool, "pool " + p.name + " volume directory");
    }
    auto& works = volumes_[&pool];
    works.resize(p.volumes.size());
    for (std::size_t v = 0; v < p.volumes.size(); ++v) {
      const auto& vol = p.volumes[v];
      if (!volumeNames.insert(vol.name).second) Fail("pool \"" + p.name + "\" has two volumes named \"" + vol.name + "\"");
      if (pool.compact) MakeName(vol.name, 20, "compact pool " + p.name + " volume");
      auto& vw = works[v];
      vw.desc = &vol;
      std::set<std::uint64_t> ids;
      CollectIds(vol.items, ids);
      std::uint64_t nextId = kFirstAutoId;
      Flatten(vol.items, "", kRootParent, vw.items, ids, nextId, d_.time);
      std::vector<PendingRecord> records;
      for (std::size_t i = 0; i < vw.items.size(); ++i) records.push_back(EncodeObject(vw.items[i], L, static_cast<int>(i)));
      vw.tree = BuildTree(records, vol.tree, vol.treeLoop);
      std::string label = p.name + "/" + vol.name;
      AllocateTree(vw.tree, pool, "volume " + label + " object tree");
      vw.rootBlock = vw.tree.blocks[static_cast<std::size_t>(vw.tree.root)].block;
      // File data.
      for (auto& f : vw.items) {
        const Item& it = *f.item;
        if (it.folder) continue;
        std::string what = "file " + label + "/" + f.path;
        if (f.trueBlocks == 0) {
          f.firstBlock = it.firstBlock ? *it.firstBlock : 0;
          continue;
        }
        if (it.firstBlock) {
          auto k = pool.SegmentOf(*it.firstBlock);
          if (!it.crossSegments && *it.firstBlock + f.trueBlocks > pool.SegmentFirstBlock(k) + pool.SegmentBlocks(k))
            Fail(what + ": its data would cross the end of segment " + std::to_string(k));
          if (it.crossSegments) {
            // Block by block: the run's disk sectors are not contiguous.
            for (std::uint64_t b = 0; b < f.trueBlocks; ++b) pool.Mark(*it.firstBlock + b, 1, what);
          } else {
            pool.Mark(*it.firstBlock, f.trueBlocks, what);
          }
          f.firstBlock = *it.firstBlock;
        } else {
          if (it.segment && *it.segment >= pool.segments.size()) Fail(what + ": pool has no segment " + std::to_string(*it.segment));
          f.firstBlock = pool.Allocate(f.trueBlocks, it.segment, what);
        }
      }
      for (auto& blk : vw.tree.blocks)
        for (auto& rec : blk.records)
          if (rec.patchAt >= 0 && rec.tag >= 0) rec.patchValue = vw.items[static_cast<std::size_t>(rec.tag)].firstBlock;
    }
    if (!pool.compact) {
      for (auto& blk : directory_[&pool].blocks)
        for (auto& rec : blk.records)
          if (rec.patchAt >= 0 && rec.tag >= 0) rec.patchValue = works[static_cast<std::size_t>(rec.tag)].rootBlock;
    }
  }

  void PlaceDocuments() {
    std::uint64_t end = 0;
    for (const auto& pp : parts_)
      if (pp.disk == 0) end = std::max(end, pp.start + pp.sectors);
    std::uint64_t cursor = d_.documentsAt ? *d_.documentsAt : CeilDiv(std::max<std::uint64_t>(end, 1), 800) * 800;
    for (std::size_t i = 0; i < d_.documents.size(); ++i) {
      const auto& doc = d_.documents[i];
      std::uint64_t sectors = CeilDiv(doc.data.size(), kSector);
      std::uint64_t at;
      if (doc.at) {
        at = *doc.at;
      } else {
        // Keep each document inside one 800-sector window of a whole-disk scan.
        if (sectors <= 800 && cursor % 800 + sectors > 800) cursor = CeilDiv(cursor, 800) * 800;
        at = cursor;
        cursor = at + sectors + 8;
      }
      claims_.push_back({at, sectors, "document " + std::to_string(i + 1)});
      docs_.emplace_back(at, &doc);
      ManifestDocument md;
      md.kind = doc.kind;
      md.firstSector = at;
      md.sectors = sectors;
      md.markerSector = at + sectors - 1;
      md.size = doc.data.size();
      md.source = "documents";
      md.sha256 = Sha256Hex(doc.data);
      manifest_.documents.push_back(md);
    }
  }

  void WriteFills(SparseDisk& disk) {
    for (std::size_t i = 0; i < d_.fills.size(); ++i) {
      const auto& f = d_.fills[i];
      if (f.with == FreeFill::Zero) continue;
      Rng rng(DeriveSeed(d_.seed, "fill " + std::to_string(i)));
      Bytes chunk(kBlock);
      for (std::uint64_t s = 0; s < f.sectors; s += kSectorsPerBlock) {
        std::uint64_t n = std::min<std::uint64_t>(kSectorsPerBlock, f.sectors - s);
        rng.Fill(chunk);
        disk.WriteSectors(f.at + s, std::span<const std::uint8_t>(chunk).first(n * kSector));
      }
    }
  }

  void WriteMbr(std::vector<SparseDisk>& disks) {
    for (std::size_t k = 0; k < disks.size(); ++k) WriteMbr(k, disks[k]);
    std::stable_sort(manifest_.partitions.begin(), manifest_.partitions.end(), [](const ManifestPartition& a, const ManifestPartition& b) {
      return a.disk != b.disk ? a.disk < b.disk : a.slot < b.slot;
    });
  }

  void WriteMbr(std::size_t diskIndex, SparseDisk& disk) {
    Bytes mbr(kSector, 0);
    std::span<std::uint8_t> m(mbr);
    Put32(m, 440, disks_[diskIndex].signature);
    for (const auto& pp : parts_) {
      if (pp.disk != diskIndex) continue;
      std::size_t e = 446 + 16 * static_cast<std::size_t>(pp.desc->slot);
      Put8(m, e, pp.desc->bootable ? 0x80 : 0x00);
      EncodeChs(m, e + 1, pp.start);
      Put8(m, e + 4, pp.desc->type);
      EncodeChs(m, e + 5, pp.start + pp.sectors - 1);
      Put32(m, e + 8, static_cast<std::uint32_t>(pp.start));
      Put32(m, e + 12, static_cast<std::uint32_t>(pp.sectors));
      ManifestPartition mp;
      mp.disk = pp.disk;
      mp.slot = pp.desc->slot;
      mp.type = pp.desc->type;
      mp.first = pp.start;
      mp.sectors = pp.sectors;
      mp.sectionHeaders = pp.headers;
      mp.chainLoops = pp.desc->chainLoop;
      mp.ext2 = pp.desc->ext2.has_value();
      manifest_.partitions.push_back(mp);
      if (pp.desc->ext2) WriteExt2(pp, disk);
    }
    Put8(m, 510, 0x55);
    Put8(m, 511, 0xAA);
    disk.WriteSectors(0, mbr);
  }

  void WriteExt2(const PartitionPlace& pp, SparseDisk& disk) {
    const auto& e = *pp.desc->ext2;
    std::uint64_t blockSize = 1024ull << e.logBlockSize;
    std::uint32_t blocks = e.blocks ? e.blocks : static_cast<std::uint32_t>(pp.sectors * kSector / blockSize);
    Bytes sb(1024, 0);
    std::span<std::uint8_t> s(sb);
    Put32(s, 0, blocks / 4);                 // inodes
    Put32(s, 4, blocks);                     // blocks
    Put32(s, 12, blocks - blocks / 16);      // free blocks
    Put32(s, 16, blocks / 4 - 11);           // free inodes
    Put32(s, 20, e.logBlockSize == 0 ? 1 : 0);  // first data block
    Put32(s, 24, e.logBlockSize);
    Put32(s, 28, e.logBlockSize);
    Put32(s, 32, 8192);                      // blocks per group
    Put32(s, 40, 2048);                      // inodes per group
    Put16(s, 56, 0xEF53);
    Put16(s, 58, 1);                         // clean
    Put32(s, 76, 1);                         // revision 1
    Put32(s, 84, 11);                        // first inode
    Put16(s, 88, 128);                       // inode size
    Put16(s, 90, 0);                         // block group 0: the primary superblock
    PutText(s, 120, "data");                 // volume name
    disk.WriteSectors(pp.start + 2, sb);
  }

  void WriteSections(std::vector<SparseDisk>& disks) {
    for (const auto& pp : parts_) {
      const auto& p = *pp.desc;
      SparseDisk& disk = disks[pp.disk];
      for (std::size_t i = 0; i < p.sections.size(); ++i) {
        const auto& s = p.sections[i];
        std::uint64_t e = pp.headers[i];
        const PoolLayout* pool = nullptr;
        for (const auto& pl : pools_)
          if (pl.desc->name == s.pool) pool = &pl;
        // Header.
        Bytes h(kSector, 0);
        std::span<std::uint8_t> hs(h);
        Put8(hs, 0, 1);
        PutText(hs, 1, "Nw_PaRtItIoN");
        Put16(hs, 16, 0x169);
        Put32(hs, 20, static_cast<std::uint32_t>(s.dataOffset + s.sectors));  // section length
        std::uint64_t link = i + 1 < p.sections.size() ? pp.headers[i + 1] : 0;
        if (i + 1 == p.sections.size() && p.chainLoop) {
          link = pp.headers[0];
          manifest_.damage.push_back("partition in slot " + std::to_string(p.slot) + OfDisk(pp.disk) + ": the section chain loops from sector " +
                                     std::to_string(e) + " back to " + std::to_string(link));
        }
        if (s.link) {
          link = *s.link;
          manifest_.damage.push_back("partition in slot " + std::to_string(p.slot) + OfDisk(pp.disk) + ": section at " + std::to_string(e) +
                                     " links to sector " + std::to_string(link));
        }
        Put32(hs, 188, static_cast<std::uint32_t>(link));
        disk.WriteSectors(e, h);
        // Segment descriptor.
        Bytes desc(kSector, 0);
        if (pool->segments.size() > 1) {
          std::span<std::uint8_t> ds(desc);
          Put8(ds, 1, 'G');
          Put8(ds, 5, 'P');
          Put8(ds, 14, 'N');
          Put32(ds, 20, static_cast<std::uint32_t>(pool->segments.size()));
          Put32(ds, 32, s.segment);
          Put32(ds, 36, static_cast<std::uint32_t>(s.sectors));
          disk.WriteSectors(e + 5, desc);
        }
        // Pool name sector.
        Bytes ns(kSector, 0);
        std::span<std::uint8_t> nss(ns);
        Put32(nss, 32, static_cast<std::uint32_t>(s.sectors));
        PutUnits(nss, 40, MakeName(s.pool, 15, "pool").units);
        disk.WriteSectors(e + 29, ns);
        // Data offset marker.
        if (s.offsetMarker > 0) {
          Bytes ho(kSector, 0);
          std::span<std::uint8_t> hos(ho);
          Put8(hos, 0, 'H');
          Put8(hos, 1, 'O');
          Put16(hos, 24, s.offsetField ? *s.offsetField : static_cast<std::uint16_t>(s.dataOffset));
          disk.WriteSectors(e + 32 * static_cast<std::uint64_t>(s.offsetMarker), ho);
        }
      }
    }
  }

  void WritePool(PoolLayout& pool, std::vector<SparseDisk>& disks) {
    const Pool& p = *pool.desc;
    ManifestPool mp;
    mp.key = p.name;
    mp.compact = pool.compact;
    mp.name = pool.compact ? std::string(kCompactPoolName) : MakeName(p.name, 15, "pool").reader;
    mp.partitionSlot = parts_[static_cast<std::size_t>(pool.partitionIndex)].desc->slot;
    mp.segmentSize = pool.segmentSize;
    mp.blocks = pool.blocks;
    mp.superblockSector = pool.segments[0].start + kSectorsPerBlock;
    mp.superblockMark = !p.noSuperblockMark;
    for (std::size_t k = 0; k < pool.segments.size(); ++k) {
      const auto& s = pool.segments[k];
      mp.segments.push_back({static_cast<std::uint32_t>(k), s.header, s.dataOffset, s.start, s.length, s.disk});
    }
    if (p.noSuperblockMark) manifest_.damage.push_back("pool " + p.name + ": the superblock lacks its 'S','P','B' mark");

    // Superblock.
    Bytes sb(kSector, 0);
    std::span<std::uint8_t> sbs(sb);
    if (!p.noSuperblockMark) PutText(sbs, 0, "SPB");
    Put32(sbs, 4, 1);  // version
    Put64(sbs, 8, pool.blocks);
    auto& works = volumes_[&pool];
    if (pool.compact) {
      mp.rootBlock = works[0].rootBlock;
      PutUnits(sbs, 204, MakeName(works[0].desc->name, 20, "volume").units);
    } else {
      auto& dir = directory_[&pool];
      mp.rootBlock = dir.blocks[static_cast<std::size_t>(dir.root)].block;
      WriteTree(dir, pool, disks);
    }
    Put64(sbs, 188, mp.rootBlock);
    disks[pool.segments[0].disk].WriteSectors(mp.superblockSector, sb);

    // Volumes, in the order a reader lists them.
    std::vector<std::size_t> order;
    if (pool.compact) {
      order.push_back(0);
    } else {
      for (int b : BreadthFirst(directory_[&pool]))
        for (const auto& rec : directory_[&pool].blocks[static_cast<std::size_t>(b)].records)
          if (rec.tag >= 0 && rec.child < 0) order.push_back(static_cast<std::size_t>(rec.tag));
    }
    int listed = 0;
    for (std::size_t v : order) {
      auto& vw = works[v];
      const Volume& vol = *vw.desc;
      std::string label = p.name + "/" + vol.name;
      WriteTree(vw.tree, pool, disks);
      for (const auto& f : vw.items) {
        if (f.item->folder || f.item->data.empty()) continue;
        if (!f.item->crossSegments) {
          pool.Write(disks, f.firstBlock, f.item->data);
          continue;
        }
        // Each block goes where the segment map puts it.
        const Bytes& data = f.item->data;
        for (std::size_t at = 0, b = 0; at < data.size(); at += kBlock, ++b) {
          const std::size_t n = std::min<std::size_t>(kBlock, data.size() - at);
          pool.Write(disks, f.firstBlock + b,
                     std::span<const std::uint8_t>(data).subspan(at, n));
        }
      }
      ManifestVolume mv;
      auto name = MakeName(vol.name, pool.compact ? 20 : 48, "volume");
      mv.name = name.reader;
      mv.rootBlock = vw.rootBlock;
      mv.rootSector = pool.BlockToDisk(vw.rootBlock);
      mv.rootDisk = pool.DiskOfBlock(vw.rootBlock);
      if (pool.compact) {
        mv.found = !mv.name.empty();
      } else {
        int n = vol.nameLength ? *vol.nameLength : static_cast<int>(name.units.size());
        if (n > 48) n = 0;
        mv.found = !p.noSuperblockMark && n != 0 && !vol.noRootEntry && listed < kMaxVolumesListed;
        if (mv.found) ++listed;
      }
      if (vol.noRootEntry) manifest_.damage.push_back("volume " + label + ": its record has no root entry");
      if (vol.nameLength) manifest_.damage.push_back("volume " + label + ": its record gives name length " + std::to_string(*vol.nameLength));
      ScanVolume(vw, pool, mv);
      NoteItemDamage(vw, label);
      for (const auto& f : vw.items) {
        const Item& it = *f.item;
        if (it.folder || !it.document || it.data.empty()) continue;
        ManifestDocument md;
        md.kind = *it.document;
        md.firstSector = pool.BlockToDisk(f.firstBlock);
        md.disk = pool.DiskOfBlock(f.firstBlock);
        md.size = it.data.size();
        md.sectors = CeilDiv(md.size, kSector);
        md.markerSector = md.firstSector + md.sectors - 1;
        md.source = label + "/" + f.path;
        md.sha256 = Sha256Hex(it.data);
        manifest_.documents.push_back(md);
      }
      if (vol.treeLoop)
        manifest_.damage.push_back("volume " + label + ": a child pointer leads from the last leaf back to root block " +
                                   std::to_string(vw.rootBlock));
      mp.volumes.push_back(std::move(mv));
    }
    // Free space.
    if (p.free == FreeFill::Random) {
      Rng rng(DeriveSeed(d_.seed, "free space of pool " + p.name));
      Bytes chunk(kBlock);
      for (std::uint64_t b = 0; b < pool.blocks; ++b) {
        if (pool.state[b] != kFree) continue;
        rng.Fill(chunk);
        pool.Write(disks, b, chunk);
      }
    }
    poolManifests_[&pool] = std::move(mp);
  }

  void NoteItemDamage(const VolumeWork& vw, const std::string& label) {
    std::set<std::uint64_t> ids;
    for (const auto& f : vw.items)
      if (f.item->folder) ids.insert(f.id);
    for (const auto& f : vw.items) {
      const Item& it = *f.item;
      std::string what = (it.folder ? "folder " : "file ") + label + "/" + f.path;
      if (it.parentId && *it.parentId != kRootParent && ids.count(*it.parentId) == 0)
        manifest_.damage.push_back(what + ": parent ID " + Hex(*it.parentId) + " does not exist");
      else if (it.parentId)
        manifest_.damage.push_back(what + ": parent ID changed to " + Hex(*it.parentId));
      if (it.blockCount && *it.blockCount != f.trueBlocks)
        manifest_.damage.push_back(what + ": block count " + std::to_string(*it.blockCount) + " does not match size " +
                                   std::to_string(it.data.size()));
      if (it.overrun) manifest_.damage.push_back(what + ": its record length runs past the block end");
      if (it.duplicate) manifest_.damage.push_back(what + ": its record is written in two leaves");
    }
  }

  void ResolveUnreadable() {
    std::vector<std::vector<std::pair<std::uint64_t, std::uint64_t>>> perDisk(disks_.size());
    for (std::size_t k = 0; k < disks_.size(); ++k)
      for (const auto& r : *disks_[k].unreadable) {
        if (r.last >= manifest_.disks[k].sectors)
          Fail(DiskPrefix(k) + "unreadable sector " + std::to_string(r.last) + " is past the end of the disk");
        perDisk[k].emplace_back(r.first, r.last);
      }
    for (const auto& u : d_.unreadableFiles) {
      auto slash1 = u.path.find('/');
      auto slash2 = slash1 == std::string::npos ? std::string::npos : u.path.find('/', slash1 + 1);
      if (slash2 == std::string::npos) Fail("unreadable file \"" + u.path + "\": write POOL/VOLUME/path");
      std::string poolName = u.path.substr(0, slash1);
      std::string volName = u.path.substr(slash1 + 1, slash2 - slash1 - 1);
      std::string rest = u.path.substr(slash2 + 1);
      const FlatItem* found = nullptr;
      const PoolLayout* foundPool = nullptr;
      for (auto& pool : pools_) {
        if (pool.desc->name != poolName) continue;
        for (const auto& vw : volumes_[&pool])
          if (vw.desc->name == volName)
            for (const auto& f : vw.items)
              if (!f.item->folder && f.path == rest) {
                found = &f;
                foundPool = &pool;
              }
      }
      if (!found) Fail("unreadable file \"" + u.path + "\" is not described");
      std::uint64_t fileSectors = std::uint64_t{found->trueBlocks} * kSectorsPerBlock;
      if (u.sector + u.sectors > fileSectors)
        Fail("unreadable file \"" + u.path + "\": sectors " + std::to_string(u.sector) + "+" + std::to_string(u.sectors) +
             " lie outside its " + std::to_string(fileSectors) + " data sectors");
      // The file's data lies in one segment, so its sectors are one run on one disk.
      auto [disk, sector] = foundPool->Locate(found->firstBlock * kSectorsPerBlock);
      std::uint64_t first = sector + u.sector;
      perDisk[disk].emplace_back(first, first + u.sectors - 1);
    }
    for (std::size_t k = 0; k < perDisk.size(); ++k) {
      auto& ranges = perDisk[k];
      std::sort(ranges.begin(), ranges.end());
      auto& out = manifest_.disks[k].unreadable;
      for (const auto& r : ranges) {
        if (!out.empty() && r.first <= out.back().second + 1) out.back().second = std::max(out.back().second, r.second);
        else out.push_back(r);
      }
      for (const auto& r : out)
        manifest_.damage.push_back(DiskPrefix(k) + (r.first == r.second ? "unreadable sector " + std::to_string(r.first)
                                                                        : "unreadable sectors " + std::to_string(r.first) + "-" +
                                                                              std::to_string(r.second)));
    }
    manifest_.unreadable = manifest_.disks[0].unreadable;
  }

  void FinishManifest() {
    // Pools in the order a chain walk from each partition's start lists them:
    // a one-segment pool at its section, a larger one at its segment 0.
    std::vector<std::size_t> partOrder(parts_.size());
    for (std::size_t i = 0; i < partOrder.size(); ++i) partOrder[i] = i;
    std::stable_sort(partOrder.begin(), partOrder.end(), [&](std::size_t a, std::size_t b) {
      return std::pair(parts_[a].disk, parts_[a].desc->slot) < std::pair(parts_[b].disk, parts_[b].desc->slot);
    });
    for (std::size_t pi : partOrder) {
      std::vector<std::pair<std::size_t, const PoolLayout*>> found;
      for (const auto& pool : pools_) {
        if (static_cast<std::size_t>(pool.partitionIndex) != pi) continue;
        found.emplace_back(pool.compact ? 0 : pool.segments[0].chainPosition, &pool);
      }
      std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      for (const auto& [pos, pool] : found) manifest_.pools.push_back(std::move(poolManifests_[pool]));
    }
    std::sort(manifest_.documents.begin(), manifest_.documents.end(),
              [](const ManifestDocument& a, const ManifestDocument& b) {
                return a.disk != b.disk ? a.disk < b.disk : a.firstSector < b.firstSector;
              });
  }

  const Description& d_;
  std::vector<DiskPlan> disks_;
  std::vector<PartitionPlace> parts_;
  std::vector<PoolLayout> pools_;
  std::map<const PoolLayout*, Tree> directory_;
  std::map<const PoolLayout*, std::vector<VolumeWork>> volumes_;
  std::map<const PoolLayout*, ManifestPool> poolManifests_;
  std::vector<std::pair<std::uint64_t, const Document*>> docs_;
  std::vector<Claim> claims_;
  Manifest manifest_;
};

}  // namespace

BuildResult BuildImage(const Description& description, const std::filesystem::path& imagePath) {
  BuildResult result;
  try {
    Builder builder(description);
    result.manifest = builder.Run(imagePath);
    if (description.raid) {
      if (auto error = WriteRaidMembers(*description.raid, imagePath, description.seed); !error.empty()) {
        result.manifest.reset();
        result.error = error;
      }
    }
  } catch (const BuildError& e) {
    result.error = e.what();
  } catch (const std::out_of_range& e) {
    result.error = std::string("a field does not fit its structure: ") + e.what();
  } catch (const std::bad_alloc&) {
    result.error = "out of memory while laying out the image";
  }
  return result;
}

BuildResult BuildImageFromJson(const std::string& jsonText, const std::filesystem::path& imagePath) {
  auto parsed = ParseDescriptionText(jsonText);
  if (!parsed.ok()) {
    BuildResult r;
    r.error = parsed.error;
    return r;
  }
  return BuildImage(*parsed.description, imagePath);
}

namespace {

bool WriteRanges(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges, const std::filesystem::path& listPath) {
  std::error_code ec;
  if (ranges.empty()) {
    std::filesystem::remove(listPath, ec);
    return true;
  }
  std::ofstream out(listPath, std::ios::binary | std::ios::trunc);
  out << UnreadableListText(ranges);
  return static_cast<bool>(out);
}

}  // namespace

bool WriteUnreadableList(const Manifest& manifest, const std::filesystem::path& listPath) {
  return WriteRanges(manifest.unreadable, listPath);
}

std::filesystem::path WriteFurtherUnreadableLists(const Manifest& manifest, const std::filesystem::path& imagePath) {
  for (std::size_t k = 1; k < manifest.disks.size(); ++k) {
    auto list = DiskImagePath(imagePath, manifest.disks[k].output);
    list += ".bad";
    if (!WriteRanges(manifest.disks[k].unreadable, list)) return list;
  }
  return {};
}

std::filesystem::path DiskImagePath(const std::filesystem::path& imagePath, const std::string& output) {
  return imagePath.parent_path() / output;
}

}  // namespace ov::mkimage
