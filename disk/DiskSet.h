#pragma once
// A disk set: several disks of one server read as one run, for pools whose
// segments lie on more than one disk.
//
// The run reads the disks one after the other as a single sector space: the
// first disk from sector 0, each further disk from the sector after the
// last one before it. Every structure of a disk (its partition table, its
// section chain) keeps that disk's own sector numbers, so a scanner turns
// them into run sectors by adding the disk's first sector.
//
// The set is kept in a small JSON file, recognised by its contents like
// the RAID set file, so it opens wherever a disk image does:
//
//   { "format": "ovnss-disk-set", "version": 1,
//     "disks": ["server-disk0.img", "/dev/sdc", "disk2.E01", "array.raid"] }
//
// Relative paths are taken from the set file's folder. A disk is any image
// or device the program opens, a RAID set file included; not a disk set.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "disk/ImageFormats.h"

namespace ov {

inline constexpr std::string_view kDiskSetFormat = "ovnss-disk-set";

// One disk of a run: where its sectors start among the run's sectors, how
// many it has, and what the user named it by.
struct DiskExtent {
  std::uint64_t first = 0;
  std::uint64_t sectors = 0;
  std::string name;
};

// The disks of a run in order; one entry (or none) for a run of one disk.
using DiskLayout = std::vector<DiskExtent>;

// The disk of `layout` that holds run sector `sector`, when one does.
std::optional<std::size_t> DiskOfSector(const DiskLayout& layout, std::uint64_t sector);

// True when the file is a disk set file.
bool IsDiskSetFile(const std::filesystem::path& path);

// The disks a set file names, resolved against its folder; nothing on any
// fault, with `error` saying which.
std::optional<std::vector<std::filesystem::path>> LoadDiskSetFile(const std::filesystem::path& path,
                                                                  std::string& error);

// Writes a set file naming `disks` (absolute paths are kept as given).
bool WriteDiskSetFile(const std::filesystem::path& path, const std::vector<std::filesystem::path>& disks,
                      std::string& error);

// Why the disks cannot make a set, or empty: fewer than two, a disk given
// twice (the same file or device under any name), a disk set inside a set.
std::string DiskSetProblem(const std::vector<std::filesystem::path>& disks);

// Opens every disk and reads them as one ("Disk set of 2 disks").
OpenedImage OpenDiskSet(const std::vector<std::filesystem::path>& disks, const std::filesystem::path& setFile = {});
OpenedImage OpenDiskSetFile(const std::filesystem::path& path);

// The layout of the set in `path` (the disks opened to learn their sizes);
// nothing when it is no disk set or cannot be opened.
std::optional<DiskLayout> DiskSetLayout(const std::filesystem::path& path, std::string* error = nullptr);

}  // namespace ov
