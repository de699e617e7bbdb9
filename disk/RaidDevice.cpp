#include "disk/RaidDevice.h"

#include <algorithm>
#include <cstring>

namespace ov {

namespace {

void XorInto(std::byte* to, const std::byte* from, std::size_t bytes) {
  std::size_t i = 0;
  for (; i + 8 <= bytes; i += 8) {
    std::uint64_t a, b;
    std::memcpy(&a, to + i, 8);
    std::memcpy(&b, from + i, 8);
    a ^= b;
    std::memcpy(to + i, &a, 8);
  }
  for (; i < bytes; ++i) to[i] ^= from[i];
}

std::uint32_t MinMembers(RaidLevel level) {
  switch (level) {
    case RaidLevel::Raid5: return 3;
    case RaidLevel::Span: return 1;
    default: return 2;
  }
}

}  // namespace

std::uint64_t RaidDevice::SetSectors(const RaidGeometry& g, const std::vector<std::uint64_t>& memberSectors) {
  if (memberSectors.empty()) return 0;
  const std::uint64_t n = memberSectors.size();
  if (g.level == RaidLevel::Span) {
    std::uint64_t total = 0;
    for (auto s : memberSectors) total += s > g.offsetSectors ? s - g.offsetSectors : 0;
    return total;
  }
  const std::uint64_t smallest = *std::min_element(memberSectors.begin(), memberSectors.end());
  if (smallest <= g.offsetSectors) return 0;
  const std::uint64_t usable = smallest - g.offsetSectors;
  if (g.level == RaidLevel::Raid1) return usable;
  const std::uint64_t c = g.chunkSectors;
  const std::uint64_t rows = usable / c;
  switch (g.level) {
    case RaidLevel::Raid0: return rows * n * c;
    case RaidLevel::Raid5: return rows * (n - 1) * c;
    case RaidLevel::Raid10: return rows * n / 2 * c;
    default: return 0;
  }
}

std::unique_ptr<RaidDevice> RaidDevice::Create(const RaidGeometry& geometry, std::vector<std::unique_ptr<Device>> members,
                                               std::string& error) {
  RaidGeometry g = geometry;
  g.members = static_cast<std::uint32_t>(members.size());
  const std::string level = "RAID " + std::string(LevelName(g.level));
  if (g.members < MinMembers(g.level)) {
    error = level + " needs at least " + std::to_string(MinMembers(g.level)) + " members, not " +
            std::to_string(g.members);
    return nullptr;
  }
  if ((IsStriped(g.level)) && !ValidChunkSectors(g.chunkSectors)) {
    error = "the chunk size must be a power of two from 4 KiB to 4 MiB, not " +
            std::to_string(std::uint64_t{g.chunkSectors} * kSectorSize) + " bytes";
    return nullptr;
  }
  std::vector<std::uint64_t> sizes;
  std::uint32_t missing = 0;
  for (const auto& m : members) {
    if (!m) {
      ++missing;
      continue;
    }
    sizes.push_back(m->SectorCount());
  }
  if (missing > 0) {
    bool covered = true;
    if (g.level == RaidLevel::Raid0 || g.level == RaidLevel::Span) covered = false;
    if (g.level == RaidLevel::Raid5 && missing > 1) covered = false;
    if (g.level == RaidLevel::Raid1 && missing == g.members) covered = false;
    if (g.level == RaidLevel::Raid10)
      for (std::uint32_t k = 0; k < g.members; ++k) {
        const auto p = Raid10Place(k, g.members);
        if (!members[p.member[0]] && !members[p.member[1]]) covered = false;
      }
    if (!covered) {
      error = level + " cannot be read with " + std::to_string(missing) + (missing == 1 ? " member" : " members") +
              " missing";
      return nullptr;
    }
  }
  if (IsStriped(g.level) && std::adjacent_find(sizes.begin(), sizes.end(), std::not_equal_to<>()) != sizes.end()) {
    error = "the members of a " + level + " set must be of one size; these are of " +
            std::to_string(*std::min_element(sizes.begin(), sizes.end())) + " to " +
            std::to_string(*std::max_element(sizes.begin(), sizes.end())) + " sectors";
    return nullptr;
  }
  if (IsStriped(g.level) || g.level == RaidLevel::Raid1) {
    // A missing member counts as one of the others' size.
    while (sizes.size() < g.members) sizes.push_back(sizes.front());
  }
  const std::uint64_t sectors = SetSectors(g, sizes);
  if (sectors == 0) {
    error = "the members hold nothing after the data offset of " + std::to_string(g.offsetSectors) + " sectors";
    return nullptr;
  }
  return std::unique_ptr<RaidDevice>(new RaidDevice(g, std::move(members), sectors));
}

RaidDevice::RaidDevice(const RaidGeometry& g, std::vector<std::unique_ptr<Device>> members, std::uint64_t sectors)
    : g_(g), members_(std::move(members)), sectors_(sectors) {
  if (g_.level == RaidLevel::Span) {
    std::uint64_t at = 0;
    for (const auto& m : members_) {
      spanStart_.push_back(at);
      const std::uint64_t s = m->SectorCount();
      at += s > g_.offsetSectors ? s - g_.offsetSectors : 0;
    }
  }
}

bool RaidDevice::Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) {
  const std::size_t bytes = std::size_t{count} * kSectorSize;
  if (scratch_.size() < bytes) scratch_.resize(bytes);
  if (!ReadUnguarded(first, count, scratch_.data())) return false;
  std::memcpy(buffer, scratch_.data(), bytes);
  return true;
}

bool RaidDevice::ReadUnguarded(std::uint64_t first, std::uint32_t count, std::byte* buffer) {
  if (count == 0) return true;
  if (first >= sectors_ || count > sectors_ - first) return false;
  switch (g_.level) {
    case RaidLevel::Span: return ReadSpan(first, count, buffer);
    case RaidLevel::Raid0: return ReadRaid0(first, count, buffer);
    case RaidLevel::Raid1: return ReadRaid1(first, count, buffer);
    case RaidLevel::Raid10: return ReadRaid10(first, count, buffer);
    case RaidLevel::Raid5: return ReadRaid5(first, count, buffer);
  }
  return false;
}

bool RaidDevice::ReadMember(std::uint32_t member, std::uint64_t at, std::uint32_t count, std::byte* out) {
  Device* d = members_[member].get();
  return d && d->ReadUnguarded(at, count, out);
}

bool RaidDevice::ReadSpan(std::uint64_t first, std::uint32_t count, std::byte* out) {
  while (count > 0) {
    const auto it = std::upper_bound(spanStart_.begin(), spanStart_.end(), first) - 1;
    const auto m = static_cast<std::uint32_t>(it - spanStart_.begin());
    const std::uint64_t end = m + 1 < spanStart_.size() ? spanStart_[m + 1] : sectors_;
    const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, end - first));
    if (!ReadMember(m, g_.offsetSectors + (first - *it), n, out)) return false;
    first += n;
    count -= n;
    out += std::size_t{n} * kSectorSize;
  }
  return true;
}

bool RaidDevice::ReadRaid0(std::uint64_t first, std::uint32_t count, std::byte* out) {
  const std::uint64_t c = g_.chunkSectors, n = g_.members;
  while (count > 0) {
    const std::uint64_t k = first / c, from = first % c;
    const auto l = static_cast<std::uint32_t>(std::min<std::uint64_t>(c - from, count));
    if (!ReadMember(static_cast<std::uint32_t>(k % n), g_.offsetSectors + (k / n) * c + from, l, out)) return false;
    first += l;
    count -= l;
    out += std::size_t{l} * kSectorSize;
  }
  return true;
}

bool RaidDevice::ReadCopies(const std::uint32_t* members, const std::uint64_t* at, int copies, std::uint32_t count,
                            std::byte* out) {
  for (int i = 0; i < copies; ++i)
    if (ReadMember(members[i], at[i], count, out)) return true;
  // No copy gives the whole stretch: each sector from whichever copy has it.
  for (std::uint32_t s = 0; s < count; ++s) {
    bool ok = false;
    for (int i = 0; i < copies && !ok; ++i) ok = ReadMember(members[i], at[i] + s, 1, out + std::size_t{s} * kSectorSize);
    if (!ok) return false;
  }
  return true;
}

bool RaidDevice::ReadRaid1(std::uint64_t first, std::uint32_t count, std::byte* out) {
  std::vector<std::uint32_t> members;
  std::vector<std::uint64_t> at;
  for (std::uint32_t m = 0; m < g_.members; ++m) {
    if (!members_[m]) continue;
    members.push_back(m);
    at.push_back(g_.offsetSectors + first);
  }
  return ReadCopies(members.data(), at.data(), static_cast<int>(members.size()), count, out);
}

bool RaidDevice::ReadRaid10(std::uint64_t first, std::uint32_t count, std::byte* out) {
  const std::uint64_t c = g_.chunkSectors;
  while (count > 0) {
    const std::uint64_t k = first / c, from = first % c;
    const auto l = static_cast<std::uint32_t>(std::min<std::uint64_t>(c - from, count));
    const MirrorPlace p = Raid10Place(k, g_.members);
    const std::uint64_t at[2] = {g_.offsetSectors + p.row[0] * c + from, g_.offsetSectors + p.row[1] * c + from};
    if (!ReadCopies(p.member, at, 2, l, out)) return false;
    first += l;
    count -= l;
    out += std::size_t{l} * kSectorSize;
  }
  return true;
}

bool RaidDevice::ReadRaid5(std::uint64_t first, std::uint32_t count, std::byte* out) {
  const std::uint64_t c = g_.chunkSectors;
  const std::uint32_t n = g_.members, perRow = n - 1;
  while (count > 0) {
    const std::uint64_t row = first / c / perRow;
    pieces_.clear();
    // Every stretch of this row the request covers, read straight from its member.
    while (count > 0 && first / c / perRow == row) {
      const std::uint64_t k = first / c;
      const auto from = static_cast<std::uint32_t>(first % c);
      const auto l = static_cast<std::uint32_t>(std::min<std::uint64_t>(c - from, count));
      const std::uint32_t member = DataMember(g_.layout, row, static_cast<std::uint32_t>(k % perRow), n);
      pieces_.push_back({member, from, l, out, false});
      first += l;
      count -= l;
      out += std::size_t{l} * kSectorSize;
    }
    const std::uint64_t base = g_.offsetSectors + row * c;
    for (Piece& p : pieces_) p.ok = ReadMember(p.member, base + p.from, p.count, p.out);
    for (std::size_t i = 0; i < pieces_.size(); ++i) {
      if (pieces_[i].ok) continue;
      if (!RebuildPiece(row, pieces_[i], pieces_)) return false;
      pieces_[i].ok = true;
    }
  }
  return true;
}

bool RaidDevice::RebuildPiece(std::uint64_t row, const Piece& piece, const std::vector<Piece>& rowPieces) {
  const std::size_t bytes = std::size_t{piece.count} * kSectorSize;
  const std::uint64_t at = g_.offsetSectors + row * g_.chunkSectors + piece.from;
  // The same stretch of another member, from the request when it was read
  // there already.
  auto held = [&](std::uint32_t member) -> const std::byte* {
    for (const Piece& q : rowPieces)
      if (q.member == member && q.ok && q.from <= piece.from && q.from + q.count >= piece.from + piece.count)
        return q.out + std::size_t{piece.from - q.from} * kSectorSize;
    return nullptr;
  };
  if (other_.size() < bytes) other_.resize(bytes);
  std::memset(piece.out, 0, bytes);
  bool whole = true;
  for (std::uint32_t j = 0; j < g_.members && whole; ++j) {
    if (j == piece.member) continue;
    const std::byte* src = held(j);
    if (!src) {
      if (!ReadMember(j, at, piece.count, other_.data())) {
        whole = false;
        break;
      }
      src = other_.data();
    }
    XorInto(piece.out, src, bytes);
  }
  if (whole) return true;
  // Some other member fails in this stretch too: sector by sector, each
  // from its own member where it reads, else from the rest of the row.
  for (std::uint32_t s = 0; s < piece.count; ++s) {
    std::byte* sector = piece.out + std::size_t{s} * kSectorSize;
    if (ReadMember(piece.member, at + s, 1, sector)) continue;
    std::memset(sector, 0, kSectorSize);
    for (std::uint32_t j = 0; j < g_.members; ++j) {
      if (j == piece.member) continue;
      const std::byte* src = held(j);
      if (src) {
        src += std::size_t{s} * kSectorSize;
      } else {
        if (!ReadMember(j, at + s, 1, other_.data())) return false;
        src = other_.data();
      }
      XorInto(sector, src, kSectorSize);
    }
  }
  return true;
}

}  // namespace ov
