#pragma once
// A small reader of built images for the image builder's tests.
//
// It follows the on-disk reading rules on its own (partition table, section
// chains, segment maps, superblock, volume directory, object trees, object
// records) and shares no code with the builder, so a test that holds its
// findings against the builder's manifest checks the bytes, not the
// builder's idea of them. Object trees are walked breadth first with each
// block visited once, so looping trees end.

#include <cstdint>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ov::test {

class ImageFile {
public:
  explicit ImageFile(const std::filesystem::path& path) : in_(path, std::ios::binary) {}
  bool ok() const { return static_cast<bool>(in_); }

  std::vector<std::uint8_t> Read(std::uint64_t sector, std::uint32_t count) {
    std::vector<std::uint8_t> out(std::size_t{count} * 512, 0);
    in_.clear();
    in_.seekg(static_cast<std::streamoff>(sector * 512));
    in_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return out;
  }
  std::vector<std::uint8_t> Sector(std::uint64_t s) { return Read(s, 1); }
  std::vector<std::uint8_t> Block(std::uint64_t s) { return Read(s, 8); }

private:
  std::ifstream in_;
};

// Little-endian fields; out-of-range reads give 0 (tests check bounds
// separately where it matters).
inline std::uint64_t Le(const std::vector<std::uint8_t>& b, std::size_t at, int width) {
  std::uint64_t v = 0;
  for (int i = width - 1; i >= 0; --i) {
    std::size_t k = at + static_cast<std::size_t>(i);
    v = (v << 8) | (k < b.size() ? b[k] : 0u);
  }
  return v;
}
inline std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) { return static_cast<std::uint16_t>(Le(b, at, 2)); }
inline std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) { return static_cast<std::uint32_t>(Le(b, at, 4)); }
inline std::uint64_t Le64(const std::vector<std::uint8_t>& b, std::size_t at) { return Le(b, at, 8); }
inline std::string Ascii(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n && at + i < b.size(); ++i) s.push_back(static_cast<char>(b[at + i]));
  return s;
}
// n UTF-16LE units, low bytes kept, cut at the first NUL.
inline std::string LowName(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    char c = static_cast<char>(at + 2 * i < b.size() ? b[at + 2 * i] : 0);
    if (c == '\0') break;
    s.push_back(c);
  }
  return s;
}

struct ReadPool {
  std::string name;
  bool compact = false;
  std::uint32_t segmentSize = 0;
  std::uint32_t segmentCount = 0;
  std::vector<std::uint64_t> start;
  std::vector<std::uint32_t> length;

  std::optional<std::uint64_t> Translate(std::uint64_t p) const {
    if (segmentCount == 0) return std::nullopt;
    if (segmentCount == 1) return p + start[0];
    std::uint64_t base = 0;
    for (std::uint32_t k = 0; k < segmentCount; ++k) {
      if (p < base + length[k]) return start[k] + (p - base);
      base += length[k];
    }
    return std::nullopt;
  }
};

struct ReadVolume {
  std::string name;
  std::uint64_t rootSector = 0;
};

struct ReadNode {
  bool folder = false;
  std::uint64_t id = 0;
  std::uint64_t parent = 0;
  std::string name;
  std::uint32_t time = 0;
  std::uint32_t index = 0;
  std::uint64_t size = 0;
  std::uint32_t blockCount = 0;
  std::uint64_t firstBlock = 0;
};

struct ReadScan {
  std::vector<ReadNode> folders, files;
  std::uint32_t folderCount = 0, fileCount = 0;
  std::uint32_t blocks = 0;
};

class NssImageReader {
public:
  explicit NssImageReader(const std::filesystem::path& image) : disk_(image) {}
  bool ok() const { return disk_.ok(); }
  ImageFile& disk() { return disk_; }

  // The pools of the first NetWare partition of the table.
  std::vector<ReadPool> PoolsOfFirstNetWarePartition() {
    std::vector<ReadPool> pools;
    auto mbr = disk_.Sector(0);
    if (mbr[510] != 0x55 || mbr[511] != 0xAA) return pools;
    for (int n = 0; n < 4; ++n) {
      std::size_t e = 446 + 16 * static_cast<std::size_t>(n);
      std::uint8_t type = mbr[e + 4];
      std::uint32_t first = Le32(mbr, e + 8), count = Le32(mbr, e + 12);
      if (type == 0x69) {
        compact_ = true;
        ReadPool p;
        p.name = "Netware 5 NSS Partition";
        p.compact = true;
        p.segmentCount = 1;
        p.start = {std::uint64_t{first} + 32};
        p.length = {0};
        p.segmentSize = count;
        pools.push_back(p);
        return pools;
      }
      if (type == 0x65) return Chain(first);
    }
    return pools;
  }

  // Pools of the section chain that starts at `a`.
  std::vector<ReadPool> Chain(std::uint64_t a) {
    std::vector<ReadPool> pools;
    std::set<std::uint64_t> seen;
    for (std::uint64_t e = a; e != 0 && seen.insert(e).second && pools.size() < 50;) {
      auto h = disk_.Sector(e);
      if (h[0] != 1) break;
      if (Le16(h, 16) == 0x169) {
        auto nameSector = disk_.Sector(e + 29);
        auto desc = disk_.Sector(e + 5);
        std::string name = LowName(nameSector, 40, 15);
        if (desc[1] == 'G' && desc[5] == 'P' && desc[14] == 'N') {
          std::uint32_t count = Le32(desc, 20);
          if (Le32(desc, 32) == 0 && count < 50) {
            ReadPool p;
            if (Collect(p, name, a, count)) pools.push_back(p);
          }
        } else {
          ReadPool p;
          p.name = name;
          p.segmentCount = 1;
          p.segmentSize = Le32(nameSector, 32);
          p.start = {e + DataOffset(e)};
          p.length = {0};
          pools.push_back(p);
        }
      }
      e = Le32(h, 188);
    }
    return pools;
  }

  std::uint32_t DataOffset(std::uint64_t e) {
    for (int i = 1; i <= 4; ++i) {
      auto s = disk_.Sector(e + 32 * static_cast<std::uint64_t>(i));
      if (s[0] == 'H' && s[1] == 'O') {
        std::uint16_t v = Le16(s, 24);
        return v == 0 ? 32 : v;
      }
    }
    return 32;
  }

  bool Collect(ReadPool& p, const std::string& name, std::uint64_t start, std::uint32_t count) {
    p.start.assign(50, 0);
    p.length.assign(50, 0);
    std::uint32_t counted = 0;
    std::set<std::uint64_t> seen;
    for (std::uint64_t e = start; e != 0 && seen.insert(e).second;) {
      auto h = disk_.Sector(e);
      if (h[0] != 1) return false;
      if (Le16(h, 16) == 0x169) {
        auto nameSector = disk_.Sector(e + 29);
        auto desc = disk_.Sector(e + 5);
        if (desc[1] == 'G' && desc[5] == 'P' && desc[14] == 'N' && LowName(nameSector, 40, 15) == name) {
          std::uint32_t k = Le32(desc, 32);
          if (k < 50) {
            p.length[k] = Le32(desc, 36);
            p.start[k] = e + DataOffset(e);
          }
          p.name = name;
          p.segmentCount = Le32(desc, 20);
          p.segmentSize = Le32(nameSector, 32);
          if (++counted == count) return true;
        }
      }
      e = Le32(h, 188);
    }
    return false;
  }

  // The volumes of a pool; empty when the superblock lacks its mark.
  std::vector<ReadVolume> Volumes(const ReadPool& pool) {
    std::vector<ReadVolume> out;
    auto sb = disk_.Sector(pool.start[0] + 8);
    if (pool.compact) {
      auto root = pool.Translate(Le64(sb, 188) * 8);
      std::string name = LowName(sb, 204, 20);
      if (!name.empty() && root) out.push_back({name, *root});
      return out;
    }
    if (sb[0] != 'S' || sb[1] != 'P' || sb[2] != 'B') return out;
    auto root = pool.Translate(Le64(sb, 188) * 8);
    if (!root) return out;
    Walk(pool, *root, [&](const std::vector<std::uint8_t>& b, std::size_t r) {
      if (Le32(b, r + 4) != 0x33 || out.size() > 48) return;
      std::size_t n = b[r + 124];
      if (n > 48) n = 0;
      if (n == 0) return;
      std::string name = LowName(b, r + 126, n);
      std::size_t q = r + 126 + 2 * n;
      while (q < 4096 && b[q] != 2) q = q + 4 < 4096 ? q + 2 * std::size_t{b[q + 4]} + 6 : 4096;
      if (q + 144 > 4096) return;
      auto rootSector = pool.Translate(Le64(b, q + 136) * 8);
      if (rootSector) out.push_back({name, *rootSector});
    });
    return out;
  }

  // Breadth-first over branch and leaf blocks, each block once; `visit`
  // gets every leaf record that is not a child pointer.
  template <class Visit> std::uint32_t Walk(const ReadPool& pool, std::uint64_t rootSector, Visit visit) {
    std::deque<std::uint64_t> queue{rootSector};
    std::set<std::uint64_t> seen{rootSector};
    std::uint32_t blocks = 0;
    auto enqueue = [&](std::uint64_t blockNumber) {
      auto s = pool.Translate(blockNumber * 8);
      if (s && seen.insert(*s).second) queue.push_back(*s);
      return s.has_value();
    };
    while (!queue.empty()) {
      auto b = disk_.Block(queue.front());
      queue.pop_front();
      ++blocks;
      std::string magic = Ascii(b, 0, 4);
      if (magic == "BRCH") {
        for (std::size_t off = 40; off < 4095; off += 12) {
          std::uint32_t child = Le32(b, off);
          if (child == 0 || !enqueue(child)) break;
        }
      } else if (magic == "LEAF") {
        std::size_t r = b[42] == 'N' ? 40 : 56;
        for (;;) {
          auto len = static_cast<std::int16_t>(Le16(b, r));
          if (len < 1 || r + static_cast<std::size_t>(len) > 4095) break;
          if (Le32(b, r + 4) == 0x2C) enqueue(Le32(b, r + 212));
          else visit(b, r);
          r += static_cast<std::size_t>(len);
        }
      }
    }
    return blocks;
  }

  static std::optional<std::size_t> Attribute(const std::vector<std::uint8_t>& b, std::size_t a) {
    std::size_t p = a;
    for (;;) {
      if (p > 4095 || b[p] == 0) return std::nullopt;
      p += 2 * std::size_t{b[p]} + 2;
      if (p > 4095) return std::nullopt;
      if (b[p] == 2) return p;
    }
  }

  ReadScan Scan(const ReadPool& pool, std::uint64_t rootSector, bool compact) {
    ReadScan scan;
    const std::size_t blockCountAt = compact ? 72 : 88, firstBlockAt = compact ? 76 : 92;
    const std::size_t folderParentAt = compact ? 96 : 112, folderNameAt = compact ? 108 : 124;
    const std::size_t fileParentAt = compact ? 112 : 128, fileNameAt = compact ? 124 : 140;
    std::set<std::uint64_t> folderIds;
    scan.blocks = Walk(pool, rootSector, [&](const std::vector<std::uint8_t>& b, std::size_t r) {
      if (Le32(b, r + 4) != 3) return;
      std::uint8_t kind = b[r + 18];
      ReadNode n;
      n.id = Le64(b, r + 8);
      if (kind == 8) {
        std::size_t a = r + folderNameAt;
        n.name = LowName(b, a + 2, b[a]);
        n.parent = Le32(b, r + folderParentAt);
        if (n.parent == 0x7F) n.parent = 0;
        auto attr = Attribute(b, a);
        n.time = attr ? Le32(b, *attr + 44) : 0;
        n.id &= 0xFFFFFFFFu;
        if (b[a] == 0 || n.name.empty()) return;
        if (attr && Le16(b, *attr + 20) == 0xFFFF) {
          n.index = scan.fileCount++;
          scan.files.push_back(n);
          return;
        }
        n.folder = true;
        n.index = scan.folderCount++;
        if (folderIds.insert(n.id).second) scan.folders.push_back(n);
      } else if (kind == 0x18) {
        std::size_t a = r + fileNameAt;
        n.name = LowName(b, a + 2, b[a]);
        n.size = Le64(b, r + 24);
        n.blockCount = Le32(b, r + blockCountAt);
        n.firstBlock = Le64(b, r + firstBlockAt);
        n.parent = Le64(b, r + fileParentAt);
        if (n.parent == 0x7F) n.parent = 0;
        std::uint32_t need = static_cast<std::uint32_t>(n.size / 4096 + (n.size % 4096 != 0 ? 1 : 0));
        if (need != n.blockCount || b[a] == 0 || n.name.empty()) return;
        auto attr = Attribute(b, a);
        n.time = attr ? Le32(b, *attr + 44) : 0;
        n.index = scan.fileCount++;
        scan.files.push_back(n);
      }
    });
    return scan;
  }

  // A file's bytes as a copy reads them: one run from the translated first sector.
  std::vector<std::uint8_t> FileData(const ReadPool& pool, const ReadNode& file) {
    std::vector<std::uint8_t> out;
    if (file.size == 0 || file.blockCount == 0) return out;
    auto first = pool.Translate(file.firstBlock * 8);
    if (!first) return out;
    out = disk_.Read(*first, file.blockCount * 8);
    out.resize(static_cast<std::size_t>(file.size));
    return out;
  }

  bool compactLayout() const { return compact_; }

private:
  ImageFile disk_;
  bool compact_ = false;
};

}  // namespace ov::test
