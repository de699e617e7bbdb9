#pragma once
// A RAID set read as one disk.
//
// The members are devices of any kind the program reads (images, containers,
// block devices), or nothing for a member that is missing. Reads go to the
// members a chunk at a time; where a member cannot give a stretch (missing,
// or an unreadable sector), RAID 5 rebuilds it from the rest of its row and
// RAID 1 and 10 read the other copy, first for the whole stretch and then
// sector by sector. Only a sector that no redundancy covers fails the read,
// and then the sector reader's bad-sector policy takes over.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/Device.h"
#include "disk/RaidLayout.h"

namespace ov {

class RaidDevice : public Device {
public:
  // Nothing when the members cannot make a set of this geometry; `error`
  // then says why. `members[i]` null is a missing member.
  static std::unique_ptr<RaidDevice> Create(const RaidGeometry& geometry, std::vector<std::unique_ptr<Device>> members,
                                            std::string& error);

  bool Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) override;
  bool ReadUnguarded(std::uint64_t first, std::uint32_t count, std::byte* buffer) override;
  std::uint64_t SectorCount() const override { return sectors_; }
  const RaidGeometry& geometry() const { return g_; }

  // The set size that members of `memberSectors` sectors each (the smallest,
  // for striped levels) give; 0 when nothing is left after the offset.
  static std::uint64_t SetSectors(const RaidGeometry& geometry, const std::vector<std::uint64_t>& memberSectors);

private:
  RaidDevice(const RaidGeometry& g, std::vector<std::unique_ptr<Device>> members, std::uint64_t sectors);
  bool ReadSpan(std::uint64_t first, std::uint32_t count, std::byte* out);
  bool ReadRaid0(std::uint64_t first, std::uint32_t count, std::byte* out);
  bool ReadRaid1(std::uint64_t first, std::uint32_t count, std::byte* out);
  bool ReadRaid10(std::uint64_t first, std::uint32_t count, std::byte* out);
  bool ReadRaid5(std::uint64_t first, std::uint32_t count, std::byte* out);
  // Reads member sectors from the first copy that gives them, whole or
  // sector by sector.
  bool ReadCopies(const std::uint32_t* members, const std::uint64_t* at, int copies, std::uint32_t count, std::byte* out);
  bool ReadMember(std::uint32_t member, std::uint64_t at, std::uint32_t count, std::byte* out);

  struct Piece {  // one stretch of a RAID 5 row inside a request
    std::uint32_t member;
    std::uint32_t from;  // sector inside the chunk
    std::uint32_t count;
    std::byte* out;
    bool ok;
  };
  bool RebuildPiece(std::uint64_t row, const Piece& piece, const std::vector<Piece>& rowPieces);

  RaidGeometry g_;
  std::vector<std::unique_ptr<Device>> members_;
  std::vector<std::uint64_t> spanStart_;  // span: first set sector of each member
  std::uint64_t sectors_;
  std::vector<std::byte> scratch_;
  std::vector<std::byte> other_;
  std::vector<Piece> pieces_;
};

}  // namespace ov
