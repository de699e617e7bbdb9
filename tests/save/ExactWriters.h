#pragma once
// Small writers of compound documents and Zip archives for the tests of the
// exact mode: sound files of a chosen shape, built here so the tests need
// no office program.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "mkimage/Content.h"
#include "save/ExactCarve.h"

namespace ov::test {

using FileBytes = std::vector<std::uint8_t>;

inline void Put16(FileBytes& b, std::size_t at, std::uint16_t v) {
  b.at(at) = static_cast<std::uint8_t>(v);
  b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(FileBytes& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, static_cast<std::uint16_t>(v));
  Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}
inline void Put64(FileBytes& b, std::size_t at, std::uint64_t v) {
  Put32(b, at, static_cast<std::uint32_t>(v));
  Put32(b, at + 4, static_cast<std::uint32_t>(v >> 32));
}

// One damage to a good structure: the field at `at`, 32 bits wide or 16,
// set to `value`, and the reason a measurer gives for it.
struct FieldDamage {
  std::size_t at;
  std::uint32_t value;
  bool wide;
  std::string reason;
};

// `good` with the damage done.
inline FileBytes Damaged(FileBytes good, const FieldDamage& d) {
  if (d.wide) Put32(good, d.at, d.value);
  else Put16(good, d.at, static_cast<std::uint16_t>(d.value));
  return good;
}
inline std::uint32_t Get32(const FileBytes& b, std::size_t at) {
  return std::uint32_t{b.at(at)} | std::uint32_t{b.at(at + 1)} << 8 | std::uint32_t{b.at(at + 2)} << 16 |
         std::uint32_t{b.at(at + 3)} << 24;
}

// Bytes that never start a sector with a document header: every byte has
// its high bit set, and no header starts so.
inline FileBytes Filler(std::size_t size, std::uint32_t seed) {
  FileBytes out(size);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(0x80 | (x >> 24));
  }
  return out;
}

struct CompoundStream {
  std::string name;
  FileBytes data;
};

struct CompoundShape {
  unsigned sectorShift = 9;  // 9: 512-byte sectors (version 3); 12: 4096 (version 4)
  std::vector<CompoundStream> streams;
  std::uint32_t fatSectors = 0;  // at least this many FAT sectors (more than 109 need DIFAT sectors)
  bool fatAtEnd = false;         // the FAT (and DIFAT) sectors after the data instead of before it
};

// Where the writer put things, for tests that damage them.
struct CompoundLayout {
  std::uint32_t sectorBytes = 512;
  std::vector<std::uint32_t> fatSectors;
  std::vector<std::uint32_t> difatSectors;
  std::uint32_t directorySector = 0;
  std::vector<std::uint32_t> streamSectors;  // the first sector of each stream
  std::size_t Offset(std::uint32_t sector) const { return (std::size_t{sector} + 1) * sectorBytes; }
};

// A compound document whose root holds the streams, each in regular sectors
// in one run; every sector of the file is in use.
inline FileBytes MakeCompound(const CompoundShape& shape, CompoundLayout* layoutOut = nullptr) {
  const std::uint32_t ss = 1u << shape.sectorShift;
  const std::uint32_t per = ss / 4;
  std::vector<std::uint32_t> streamSectors;
  std::uint32_t data = 0;
  for (const auto& s : shape.streams) {
    streamSectors.push_back(static_cast<std::uint32_t>((s.data.size() + ss - 1) / ss));
    data += streamSectors.back();
  }
  const std::uint32_t dirSectors = static_cast<std::uint32_t>(((shape.streams.size() + 1) * 128 + ss - 1) / ss);
  std::uint32_t fat = std::max<std::uint32_t>(shape.fatSectors, 1);
  std::uint32_t difat = 0;
  for (;;) {
    difat = fat > 109 ? (fat - 109 + per - 2) / (per - 1) : 0;
    if (std::uint64_t{fat} * per >= std::uint64_t{difat} + fat + dirSectors + data) break;
    ++fat;
  }
  CompoundLayout layout;
  layout.sectorBytes = ss;
  std::uint32_t next = 0;
  auto take = [&](std::uint32_t count) {
    const std::uint32_t first = next;
    next += count;
    return first;
  };
  std::uint32_t fatFirst = 0, difatFirst = 0;
  if (!shape.fatAtEnd) {
    difatFirst = take(difat);
    fatFirst = take(fat);
  }
  layout.directorySector = take(dirSectors);
  for (auto n : streamSectors) layout.streamSectors.push_back(take(n));
  if (shape.fatAtEnd) {
    difatFirst = take(difat);
    fatFirst = take(fat);
  }
  for (std::uint32_t i = 0; i < fat; ++i) layout.fatSectors.push_back(fatFirst + i);
  for (std::uint32_t i = 0; i < difat; ++i) layout.difatSectors.push_back(difatFirst + i);

  FileBytes out((std::size_t{next} + 1) * ss, 0);
  // Header.
  const char sig[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
  std::copy(sig, sig + 8, out.begin());
  Put16(out, 24, 0x3E);
  Put16(out, 26, shape.sectorShift == 12 ? 4 : 3);
  Put16(out, 28, 0xFFFE);
  Put16(out, 30, static_cast<std::uint16_t>(shape.sectorShift));
  Put16(out, 32, 6);
  Put32(out, 40, shape.sectorShift == 12 ? dirSectors : 0);
  Put32(out, 44, fat);
  Put32(out, 48, layout.directorySector);
  Put32(out, 56, 4096);
  Put32(out, 60, 0xFFFFFFFE);
  Put32(out, 68, difat ? difatFirst : 0xFFFFFFFE);
  Put32(out, 72, difat);
  for (std::uint32_t i = 0; i < 109; ++i) Put32(out, 76 + 4 * i, i < fat ? fatFirst + i : 0xFFFFFFFF);
  // DIFAT sectors.
  std::uint32_t listed = 109;
  for (std::uint32_t d = 0; d < difat; ++d) {
    const std::size_t at = layout.Offset(difatFirst + d);
    for (std::uint32_t i = 0; i + 1 < per; ++i, ++listed) Put32(out, at + 4 * i, listed < fat ? fatFirst + listed : 0xFFFFFFFF);
    Put32(out, at + 4 * (per - 1), d + 1 < difat ? difatFirst + d + 1 : 0xFFFFFFFE);
  }
  // FAT.
  std::vector<std::uint32_t> table(std::size_t{fat} * per, 0xFFFFFFFF);
  for (auto s : layout.fatSectors) table[s] = 0xFFFFFFFD;
  for (auto s : layout.difatSectors) table[s] = 0xFFFFFFFC;
  auto chain = [&](std::uint32_t first, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) table[first + i] = i + 1 < count ? first + i + 1 : 0xFFFFFFFE;
  };
  chain(layout.directorySector, dirSectors);
  for (std::size_t i = 0; i < streamSectors.size(); ++i) chain(layout.streamSectors[i], streamSectors[i]);
  for (std::size_t i = 0; i < table.size(); ++i) Put32(out, layout.Offset(fatFirst) + 4 * i, table[i]);
  // Directory: the root, then the streams linked as right siblings.
  auto entry = [&](std::size_t index, const std::string& name, std::uint8_t type) {
    const std::size_t at = layout.Offset(layout.directorySector) + index * 128;
    for (std::size_t i = 0; i < name.size(); ++i) Put16(out, at + 2 * i, static_cast<std::uint8_t>(name[i]));
    Put16(out, at + 64, static_cast<std::uint16_t>((name.size() + 1) * 2));
    out[at + 66] = type;
    out[at + 67] = 1;
    Put32(out, at + 68, 0xFFFFFFFF);
    Put32(out, at + 72, 0xFFFFFFFF);
    Put32(out, at + 76, 0xFFFFFFFF);
    return at;
  };
  const std::size_t root = entry(0, "Root Entry", 5);
  Put32(out, root + 116, 0xFFFFFFFE);
  if (!shape.streams.empty()) Put32(out, root + 76, 1);
  for (std::size_t i = 0; i < shape.streams.size(); ++i) {
    const std::size_t at = entry(i + 1, shape.streams[i].name, 2);
    if (i + 1 < shape.streams.size()) Put32(out, at + 72, static_cast<std::uint32_t>(i + 2));
    Put32(out, at + 116, layout.streamSectors[i]);
    Put64(out, at + 120, shape.streams[i].data.size());
    std::copy(shape.streams[i].data.begin(), shape.streams[i].data.end(),
              out.begin() + static_cast<std::ptrdiff_t>(layout.Offset(layout.streamSectors[i])));
  }
  if (layoutOut) *layoutOut = layout;
  return out;
}

// A Word document: a CompObj stream with the "Word.Document" text first
// (in the file's second data sector), then the WordDocument stream.
inline FileBytes MakeWord(std::size_t size, unsigned sectorShift = 9, std::uint32_t seed = 1) {
  FileBytes compObj = Filler(600, seed + 100);
  const std::string text = "Word.Document.8";
  std::copy(text.begin(), text.end(), compObj.begin() + 40);
  return MakeCompound({sectorShift, {{"\x01" "CompObj", compObj}, {"WordDocument", Filler(size, seed)}}, 0, false});
}

struct ZipItem {
  std::string name;
  FileBytes data;
  bool deflate = false;        // method 8 (version 0x14), as stored deflate blocks
  bool descriptor = false;     // sizes after the data (flag bit 3)
  bool descriptorSignature = true;
  bool sizesInHeader = false;  // with a descriptor: the local header keeps the sizes too
};

struct ZipShape {
  std::vector<ZipItem> items;
  std::string comment;
  bool zip64 = false;  // Zip64 sizes, offsets and end record
};

// Stored deflate blocks: a valid deflate stream of `data`.
inline FileBytes StoredDeflate(const FileBytes& data) {
  FileBytes out;
  std::size_t at = 0;
  do {
    const std::size_t n = std::min<std::size_t>(65535, data.size() - at);
    const bool last = at + n == data.size();
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<std::uint8_t>(n));
    out.push_back(static_cast<std::uint8_t>(n >> 8));
    out.push_back(static_cast<std::uint8_t>(~n));
    out.push_back(static_cast<std::uint8_t>(~n >> 8));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  } while (at < data.size());
  return out;
}

inline FileBytes MakeZip(const ZipShape& shape) {
  FileBytes out;
  auto append = [&](std::size_t n) {
    out.resize(out.size() + n, 0);
    return out.size() - n;
  };
  auto text = [&](const std::string& s) { out.insert(out.end(), s.begin(), s.end()); };
  struct Placed {
    std::uint32_t crc;
    std::uint64_t compressed, size, offset;
  };
  std::vector<Placed> placed;
  for (const auto& item : shape.items) {
    const FileBytes body = item.deflate ? StoredDeflate(item.data) : item.data;
    const std::uint32_t crc = mkimage::Crc32(item.data);
    const std::uint64_t offset = out.size();
    const std::size_t h = append(30);
    const bool sizes = !item.descriptor || item.sizesInHeader;
    Put32(out, h, 0x04034B50);
    Put16(out, h + 4, shape.zip64 ? 45 : item.deflate ? 0x14 : 0x0A);
    Put16(out, h + 6, item.descriptor ? 0x0008 : 0);
    Put16(out, h + 8, item.deflate ? 8 : 0);
    Put32(out, h + 14, sizes ? crc : 0);
    Put32(out, h + 18, shape.zip64 ? 0xFFFFFFFF : sizes ? static_cast<std::uint32_t>(body.size()) : 0);
    Put32(out, h + 22, shape.zip64 ? 0xFFFFFFFF : sizes ? static_cast<std::uint32_t>(item.data.size()) : 0);
    Put16(out, h + 26, static_cast<std::uint16_t>(item.name.size()));
    Put16(out, h + 28, shape.zip64 ? 20 : 0);
    text(item.name);
    if (shape.zip64) {
      const std::size_t x = append(20);
      Put16(out, x, 1);
      Put16(out, x + 2, 16);
      Put64(out, x + 4, sizes ? item.data.size() : 0);
      Put64(out, x + 12, sizes ? body.size() : 0);
    }
    out.insert(out.end(), body.begin(), body.end());
    if (item.descriptor) {
      if (item.descriptorSignature) Put32(out, append(4), 0x08074B50);
      Put32(out, append(4), crc);
      if (shape.zip64) {
        Put64(out, append(8), body.size());
        Put64(out, append(8), item.data.size());
      } else {
        Put32(out, append(4), static_cast<std::uint32_t>(body.size()));
        Put32(out, append(4), static_cast<std::uint32_t>(item.data.size()));
      }
    }
    placed.push_back({crc, body.size(), item.data.size(), offset});
  }
  const std::uint64_t directory = out.size();
  for (std::size_t i = 0; i < shape.items.size(); ++i) {
    const auto& item = shape.items[i];
    const std::size_t c = append(46);
    Put32(out, c, 0x02014B50);
    Put16(out, c + 4, 0x0314);
    Put16(out, c + 6, shape.zip64 ? 45 : item.deflate ? 0x14 : 0x0A);
    Put16(out, c + 8, item.descriptor ? 0x0008 : 0);
    Put16(out, c + 10, item.deflate ? 8 : 0);
    Put32(out, c + 16, placed[i].crc);
    Put32(out, c + 20, shape.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(placed[i].compressed));
    Put32(out, c + 24, shape.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(placed[i].size));
    Put16(out, c + 28, static_cast<std::uint16_t>(item.name.size()));
    Put16(out, c + 30, shape.zip64 ? 28 : 0);
    Put32(out, c + 42, shape.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(placed[i].offset));
    text(item.name);
    if (shape.zip64) {
      const std::size_t x = append(28);
      Put16(out, x, 1);
      Put16(out, x + 2, 24);
      Put64(out, x + 4, placed[i].size);
      Put64(out, x + 12, placed[i].compressed);
      Put64(out, x + 20, placed[i].offset);
    }
  }
  const std::uint64_t directorySize = out.size() - directory;
  if (shape.zip64) {
    const std::uint64_t end64 = out.size();
    const std::size_t e = append(56);
    Put32(out, e, 0x06064B50);
    Put64(out, e + 4, 44);
    Put16(out, e + 12, 45);
    Put16(out, e + 14, 45);
    Put64(out, e + 24, shape.items.size());
    Put64(out, e + 32, shape.items.size());
    Put64(out, e + 40, directorySize);
    Put64(out, e + 48, directory);
    const std::size_t l = append(20);
    Put32(out, l, 0x07064B50);
    Put64(out, l + 8, end64);
    Put32(out, l + 16, 1);
  }
  const std::size_t e = append(22);
  Put32(out, e, 0x06054B50);
  Put16(out, e + 8, shape.zip64 ? 0xFFFF : static_cast<std::uint16_t>(shape.items.size()));
  Put16(out, e + 10, shape.zip64 ? 0xFFFF : static_cast<std::uint16_t>(shape.items.size()));
  Put32(out, e + 12, shape.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(directorySize));
  Put32(out, e + 16, shape.zip64 ? 0xFFFFFFFF : static_cast<std::uint32_t>(directory));
  Put16(out, e + 20, static_cast<std::uint16_t>(shape.comment.size()));
  text(shape.comment);
  return out;
}

// The bytes of a disk, with the total of bytes read counted, so tests can
// hold a parser to a bound on what it reads.
class CountingBytes : public ExactBytes {
public:
  explicit CountingBytes(const FileBytes& bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, std::span<std::byte> out) override {
    read += out.size();
    MemoryExactBytes memory(std::as_bytes(std::span(bytes_)));
    return memory.Read(offset, out);
  }
  std::uint64_t read = 0;

private:
  const FileBytes& bytes_;
};

}  // namespace ov::test
