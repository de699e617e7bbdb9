#include "save/ExactCompound.h"

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

#include "disk/Bytes.h"

namespace ov {

namespace {

constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatMark = 0xFFFFFFFD;
constexpr std::uint32_t kDifatMark = 0xFFFFFFFC;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

constexpr std::size_t kHeaderBytes = 512;
constexpr std::size_t kHeaderDifatEntries = 109;
constexpr std::size_t kHeaderDifatAt = 76;
constexpr std::size_t kDirectoryEntryBytes = 128;

enum DirectoryType : std::uint8_t { kStream = 2, kRoot = 5 };

struct StreamKind {
  std::string_view name;
  RawFileKind kind;
};

// The root's streams that make a document one of the recovered kinds, in
// the order they decide.
constexpr std::array<StreamKind, 4> kStreamKinds = {{
    {"WordDocument", RawFileKind::Word},
    {"Workbook", RawFileKind::Excel},
    {"Book", RawFileKind::Excel},
    {"PowerPoint Document", RawFileKind::PowerPoint},
}};

ExactMeasure Unmeasurable(std::string reason) {
  ExactMeasure m;
  m.verdict = ExactVerdict::Unmeasurable;
  m.reason = std::move(reason);
  return m;
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the directory entry's name (UTF-16LE, its length in bytes with
// the terminator at 64) is `name`, compared as the format compares names:
// without regard to the case of ASCII letters.
bool NameIs(const Bytes& entry, std::string_view name) {
  const std::uint16_t length = entry.U16(64).value_or(0);
  if (length != (name.size() + 1) * 2) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto unit = entry.U16(2 * i);
    if (!unit || *unit > 0x7F || LowerAscii(static_cast<char>(*unit)) != LowerAscii(name[i])) return false;
  }
  return true;
}

class CompoundReader {
public:
  CompoundReader(ExactBytes& bytes, std::uint64_t start) : bytes_(bytes), start_(start) {}

  ExactMeasure Measure() {
    std::array<std::byte, kHeaderBytes> header{};
    if (!bytes_.Read(start_, header)) return Unmeasurable("the header cannot be read");
    const Bytes h(header);
    const std::uint16_t major = h.U16(26).value_or(0);
    const std::uint16_t shift = h.U16(30).value_or(0);
    if (h.U16(28) != 0xFFFE) return Unmeasurable("the header's byte order is wrong");
    if (!((major == 3 && shift == 9) || (major == 4 && shift == 12)))
      return Unmeasurable("the header's version and sector size do not agree");
    if (h.U16(32) != 6) return Unmeasurable("the header's mini sector size is wrong");
    if (h.U32(56) != 4096) return Unmeasurable("the header's mini stream cutoff is wrong");
    if (major == 3 && h.U32(40) != 0) return Unmeasurable("the header counts directory sectors");
    sectorBytes_ = std::uint32_t{1} << shift;
    perSector_ = sectorBytes_ / 4;

    const std::uint32_t fatSectors = h.U32(44).value_or(0);
    if (fatSectors == 0) return Unmeasurable("the header counts no FAT sector");
    if (std::uint64_t{fatSectors} * sectorBytes_ > kMaxCompoundFatBytes) return Unmeasurable("the FAT is too large");
    entries_ = std::uint64_t{fatSectors} * perSector_;

    // Where the FAT sectors lie: the header's DIFAT, then its chain.
    std::vector<std::uint32_t> fatAt;
    std::vector<std::uint32_t> difatAt;
    for (std::size_t i = 0; i < kHeaderDifatEntries && fatAt.size() < fatSectors; ++i)
      fatAt.push_back(h.U32(kHeaderDifatAt + 4 * i).value_or(kFree));
    if (fatAt.size() < fatSectors) {
      const std::uint64_t perDifat = perSector_ - 1;
      const std::uint64_t needed = (fatSectors - fatAt.size() + perDifat - 1) / perDifat;
      if (h.U32(72).value_or(0) < needed) return Unmeasurable("the header counts too few DIFAT sectors");
      std::uint32_t next = h.U32(68).value_or(kEndOfChain);
      std::vector<std::byte> sector(sectorBytes_);
      for (std::uint64_t d = 0; d < needed; ++d) {
        if (!InRange(next)) return Unmeasurable("the DIFAT chain leaves the FAT's range");
        if (!ReadSector(next, sector)) return Unmeasurable("a DIFAT sector lies past the end of the disk");
        difatAt.push_back(next);
        const Bytes s(sector);
        for (std::uint32_t i = 0; i < perDifat && fatAt.size() < fatSectors; ++i)
          fatAt.push_back(s.U32(4 * i).value_or(kFree));
        next = s.U32(4 * perDifat).value_or(kEndOfChain);
      }
    }

    fat_.reserve(static_cast<std::size_t>(entries_));
    std::vector<std::byte> sector(sectorBytes_);
    for (const std::uint32_t at : fatAt) {
      if (!InRange(at)) return Unmeasurable("a FAT sector lies outside the FAT's range");
      if (!ReadSector(at, sector)) return Unmeasurable("a FAT sector lies past the end of the disk");
      const Bytes s(sector);
      for (std::uint32_t i = 0; i < perSector_; ++i) fat_.push_back(s.U32(4 * i).value_or(kFree));
    }

    std::optional<std::uint64_t> highest;
    for (std::size_t i = 0; i < fat_.size(); ++i) {
      const std::uint32_t e = fat_[i];
      if (e == kFree) continue;
      if (e != kEndOfChain && e != kFatMark && e != kDifatMark && !InRange(e))
        return Unmeasurable("the FAT points outside its range");
      highest = i;
    }
    if (!highest) return Unmeasurable("no sector is in use");
    for (const std::uint32_t at : fatAt)
      if (fat_[at] != kFatMark) return Unmeasurable("a FAT sector is not marked as one");
    for (const std::uint32_t at : difatAt)
      if (fat_[at] != kDifatMark) return Unmeasurable("a DIFAT sector is not marked as one");

    ExactMeasure m;
    m.length = (*highest + 2) * sectorBytes_;
    const std::optional<RawFileKind> kind = KindFromDirectory(h.U32(48).value_or(kEndOfChain), m.reason);
    if (!m.reason.empty()) return Unmeasurable(m.reason);
    if (kind) {
      m.verdict = ExactVerdict::Measured;
      m.kind = *kind;
    } else {
      m.verdict = ExactVerdict::NotWanted;
      m.reason = "a compound document of another kind";
    }
    const std::uint64_t room = bytes_.size() > start_ ? bytes_.size() - start_ : 0;
    if (m.length > room) {
      m.length = room;
      m.cut = true;
    }
    return m;
  }

private:
  bool InRange(std::uint32_t sector) const { return sector < entries_; }

  bool ReadSector(std::uint32_t sector, std::span<std::byte> out) {
    return bytes_.Read(start_ + (std::uint64_t{sector} + 1) * sectorBytes_, out);
  }

  // The kind named by the root storage's streams; nothing for a sound
  // directory of another kind. A damaged directory sets `error`.
  std::optional<RawFileKind> KindFromDirectory(std::uint32_t first, std::string& error) {
    std::vector<std::byte> directory;
    std::vector<bool> seen(fat_.size(), false);
    for (std::uint32_t at = first; at != kEndOfChain; at = fat_[at]) {
      if (!InRange(at) || seen[at] || fat_[at] == kFree) {
        error = "the directory chain is broken";
        return std::nullopt;
      }
      seen[at] = true;
      const std::size_t end = directory.size();
      directory.resize(end + sectorBytes_);
      if (!ReadSector(at, std::span(directory).subspan(end))) {
        error = "a directory sector lies past the end of the disk";
        return std::nullopt;
      }
    }
    const std::size_t count = directory.size() / kDirectoryEntryBytes;
    auto entry = [&](std::size_t i) {
      return Bytes(std::span<const std::byte>(directory).subspan(i * kDirectoryEntryBytes, kDirectoryEntryBytes));
    };
    if (count == 0 || entry(0).U8(66) != kRoot) {
      error = "the directory does not start with the root";
      return std::nullopt;
    }
    // The root's children form a tree through their left and right links.
    std::vector<std::uint32_t> pending{entry(0).U32(76).value_or(kNoStream)};
    std::vector<bool> visited(count, false);
    std::array<bool, kStreamKinds.size()> named{};
    while (!pending.empty()) {
      const std::uint32_t id = pending.back();
      pending.pop_back();
      if (id == kNoStream) continue;
      if (id >= count || visited[id]) {
        error = "the directory's links are broken";
        return std::nullopt;
      }
      visited[id] = true;
      const Bytes e = entry(id);
      if (e.U8(66) == kStream) {
        for (std::size_t k = 0; k < kStreamKinds.size(); ++k) named[k] = named[k] || NameIs(e, kStreamKinds[k].name);
      }
      pending.push_back(e.U32(68).value_or(kNoStream));
      pending.push_back(e.U32(72).value_or(kNoStream));
    }
    for (std::size_t k = 0; k < kStreamKinds.size(); ++k)
      if (named[k]) return kStreamKinds[k].kind;
    return std::nullopt;
  }

  ExactBytes& bytes_;
  const std::uint64_t start_;
  std::uint32_t sectorBytes_ = 512;
  std::uint32_t perSector_ = 128;
  std::uint64_t entries_ = 0;
  std::vector<std::uint32_t> fat_;
};

}  // namespace

ExactMeasure MeasureCompound(ExactBytes& bytes, std::uint64_t start) { return CompoundReader(bytes, start).Measure(); }

}  // namespace ov
