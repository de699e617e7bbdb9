#pragma once
// ddrescue's map files: which parts of a disk the rescue read.
//
// A map lists byte areas of the disk, each with its status: '+' finished
// (read), '?' not tried, '*' not trimmed, '/' not scraped, '-' bad sector.
// Everything the map does not give as finished counts as unreadable: a
// rescued image holds zeros there, not the disk's data, so a read that
// touches such a sector fails like a read of a bad sector.
//
// Format: lines starting with '#' are comments; the first other line is the
// status line ("pos status [pass]"); each further line is "pos size status",
// the numbers decimal or 0x-hexadecimal, in bytes.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "disk/Device.h"

namespace ov {

class RescueMap {
public:
  struct Area {
    std::uint64_t pos;
    std::uint64_t size;
    char status;
  };
  // Nothing when the text is no ddrescue map; `error` then says which line
  // is wrong and why.
  static std::optional<RescueMap> Parse(std::string_view text, std::string* error = nullptr);
  // Reads and parses a map file; the error names the file.
  static std::optional<RescueMap> Load(const std::filesystem::path& file, std::string* error = nullptr);

  const std::vector<Area>& areas() const { return areas_; }
  // The sectors of a disk of `sectorCount` sectors that the map does not
  // give as finished, those past the map's end included. A sector counts
  // as unreadable when any of its bytes is.
  BadSectorMap UnreadableSectors(std::uint64_t sectorCount) const;

private:
  std::vector<Area> areas_;
};

// The map beside an image, as ddrescue users name it: IMAGE.map or
// IMAGE.mapfile (the image's whole name followed by the ending), else the
// name with its last ending replaced (disk.img -> disk.map, disk.mapfile).
// Nothing when there is none.
std::optional<std::filesystem::path> FindRescueMap(const std::filesystem::path& image);

// A device whose listed sectors fail every read that touches them; the
// others read, also unguarded and by copy, at the speed of the inner device.
class MaskedDevice : public Device {
public:
  MaskedDevice(std::unique_ptr<Device> inner, BadSectorMap unreadable)
      : inner_(std::move(inner)), unreadable_(std::move(unreadable)) {}
  bool Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) override;
  bool ReadUnguarded(std::uint64_t first, std::uint32_t count, std::byte* buffer) override;
  std::uint64_t CopyUnguarded(std::uint64_t first, std::uint64_t bytes, int to) override;
  std::uint64_t SectorCount() const override { return inner_->SectorCount(); }
  const BadSectorMap& unreadable() const { return unreadable_; }

private:
  std::unique_ptr<Device> inner_;
  BadSectorMap unreadable_;
};

}  // namespace ov
