#pragma once
// The RAID set file: a small JSON file that names a set's members and how
// they are laid out, so the set opens like any disk image (`--disk SET`,
// the window's disk list). The form is told by the contents:
//
//   {
//     "format": "ovnss-raid-set", "version": 1,
//     "level": "5",                  // "0", "1", "5", "10" or "span"
//     "chunkBytes": 65536,           // 4096 .. 4194304, a power of two; null for 1 and span
//     "layout": "left-symmetric",    // RAID 5 only, else null
//     "offsetSectors": 2048,         // controller metadata before the data, on every member
//     "members": ["m0.img", null, "/images/m2.E01", "m3.img"]
//   }
//
// Members are in set order; a relative path is taken from the set file's
// folder, null is a missing member. Each member is opened as the image it
// is (raw, split, E01, VMDK, VHD(X), QCOW2) or as a block device.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "disk/ImageFormats.h"
#include "disk/RaidLayout.h"

namespace ov {

inline constexpr std::string_view kRaidSetFormat = "ovnss-raid-set";

struct RaidSet {
  RaidGeometry geometry;
  std::vector<std::optional<std::filesystem::path>> members;  // nothing: missing
};

// Set files of every kind (RAID sets, disk sets) are small JSON texts (at
// most 64 KiB) that name their format and version 1.
//  - IsSetFileOf: the file is one naming `format`;
//  - ReadSetFile: hands the checked JSON to `read`, which throws on content
//    it refuses; false on any fault, with `error` naming `what` and the file
//    ("the RAID set file F: its version is not 1").
bool IsSetFileOf(const std::filesystem::path& path, std::string_view format);
bool ReadSetFile(const std::filesystem::path& path, std::string_view format, std::string_view what,
                 const std::function<void(const nlohmann::json&)>& read, std::string& error);

// True when the file is a set file (a small JSON text naming the format).
bool IsRaidSetFile(const std::filesystem::path& path);

// Reads a set file; member paths come back resolved against its folder.
// Nothing on any fault, with `error` saying which.
std::optional<RaidSet> LoadRaidSetFile(const std::filesystem::path& path, std::string& error);

// The set file's text. Members inside the set file's folder (or below it)
// are written relative to it, others absolute.
std::string RaidSetText(const RaidSet& set, const std::filesystem::path& setFile);
bool WriteRaidSetFile(const std::filesystem::path& path, const RaidSet& set, std::string& error);

// Opens every member and makes the set device; the description names the
// set ("RAID 5 set of 4 members, 1 missing").
OpenedImage OpenRaidSet(const RaidSet& set, const std::filesystem::path& setFile);
OpenedImage OpenRaidSetFile(const std::filesystem::path& path);

}  // namespace ov
