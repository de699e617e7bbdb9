#pragma once
// Where the data of a RAID set lies on its members.
//
// Plain arithmetic shared by the set device (RaidDevice.h), the detection
// (RaidDetect.h) and the image builder, which writes members from a disk.
// Every member keeps `offsetSectors` sectors of controller metadata before
// its data; a member's data is cut into chunks of `chunkSectors`, and the
// chunk at the same place on every member forms a row.
//
//  - RAID 0: chunk k of the set is chunk k / n of member k mod n.
//  - RAID 1: every member holds the whole set.
//  - RAID 5: row r holds n - 1 data chunks and their parity (their XOR) on
//    the member ParityMember(r); data chunk i of the row is on DataMember(r, i).
//  - RAID 10 (near, two copies): the set's chunk k is written twice, as the
//    "device chunks" 2k and 2k + 1, laid out row by row over the members.
//  - span: the members' data one after the other (no chunks).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ov {

enum class RaidLevel { Raid0, Raid1, Raid5, Raid10, Span };
enum class ParityLayout { LeftAsymmetric, RightAsymmetric, LeftSymmetric, RightSymmetric };

inline constexpr std::uint32_t kMinChunkSectors = 8;     // 4 KiB
inline constexpr std::uint32_t kMaxChunkSectors = 8192;  // 4 MiB

struct RaidGeometry {
  RaidLevel level = RaidLevel::Raid5;
  std::uint32_t chunkSectors = 128;  // 64 KiB; unused by RAID 1 and span
  ParityLayout layout = ParityLayout::LeftSymmetric;  // RAID 5 only
  std::uint64_t offsetSectors = 0;
  std::uint32_t members = 0;
};

// The member holding row `row`'s parity (RAID 5, n members).
inline std::uint32_t ParityMember(ParityLayout layout, std::uint64_t row, std::uint32_t n) {
  const auto r = static_cast<std::uint32_t>(row % n);
  const bool left = layout == ParityLayout::LeftAsymmetric || layout == ParityLayout::LeftSymmetric;
  return left ? n - 1 - r : r;
}

// The member holding data chunk `i` (0 .. n - 2) of row `row` (RAID 5).
inline std::uint32_t DataMember(ParityLayout layout, std::uint64_t row, std::uint32_t i, std::uint32_t n) {
  const std::uint32_t parity = ParityMember(layout, row, n);
  if (layout == ParityLayout::LeftSymmetric || layout == ParityLayout::RightSymmetric) return (parity + 1 + i) % n;
  return i < parity ? i : i + 1;
}

// The two members that hold the set's chunk `k` in RAID 10 (near, two
// copies), with the row they share or follow each other in.
struct MirrorPlace {
  std::uint32_t member[2];
  std::uint64_t row[2];
};
inline MirrorPlace Raid10Place(std::uint64_t k, std::uint32_t n) {
  MirrorPlace p{};
  for (int c = 0; c < 2; ++c) {
    const std::uint64_t device = 2 * k + static_cast<std::uint64_t>(c);
    p.member[c] = static_cast<std::uint32_t>(device % n);
    p.row[c] = device / n;
  }
  return p;
}

inline bool ValidChunkSectors(std::uint32_t sectors) {
  return sectors >= kMinChunkSectors && sectors <= kMaxChunkSectors && (sectors & (sectors - 1)) == 0;
}

inline std::string_view LevelName(RaidLevel level) {
  switch (level) {
    case RaidLevel::Raid0: return "0";
    case RaidLevel::Raid1: return "1";
    case RaidLevel::Raid5: return "5";
    case RaidLevel::Raid10: return "10";
    case RaidLevel::Span: return "span";
  }
  return "?";
}

inline std::optional<RaidLevel> ParseLevel(std::string_view text) {
  if (text == "0" || text == "raid0") return RaidLevel::Raid0;
  if (text == "1" || text == "raid1") return RaidLevel::Raid1;
  if (text == "5" || text == "raid5") return RaidLevel::Raid5;
  if (text == "10" || text == "raid10") return RaidLevel::Raid10;
  if (text == "span" || text == "linear") return RaidLevel::Span;
  return std::nullopt;
}

inline std::string_view LayoutName(ParityLayout layout) {
  switch (layout) {
    case ParityLayout::LeftAsymmetric: return "left-asymmetric";
    case ParityLayout::RightAsymmetric: return "right-asymmetric";
    case ParityLayout::LeftSymmetric: return "left-symmetric";
    case ParityLayout::RightSymmetric: return "right-symmetric";
  }
  return "?";
}

inline std::optional<ParityLayout> ParseLayout(std::string_view text) {
  for (auto l : {ParityLayout::LeftAsymmetric, ParityLayout::RightAsymmetric, ParityLayout::LeftSymmetric,
                 ParityLayout::RightSymmetric})
    if (text == LayoutName(l)) return l;
  return std::nullopt;
}

// Whether the level stripes its data in chunks (and so needs members of one size).
inline bool IsStriped(RaidLevel level) {
  return level == RaidLevel::Raid0 || level == RaidLevel::Raid5 || level == RaidLevel::Raid10;
}

}  // namespace ov
