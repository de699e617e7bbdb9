#pragma once
// Writes a disk image from a description, and reports what is on it.
//
// The image holds an MBR partition table, NetWare section chains (type 0x65)
// or compact pools (type 0x69), pool superblocks, volume directories,
// object trees with folder and file records, file data, raw documents and,
// on request, deliberate damage. The output file is sparse: only sectors
// with content are written. A description with "disks" writes one file per
// disk: the first to the image path, each further one to its "output" beside
// it, each with its own partition table and section chains.

#include <filesystem>
#include <optional>
#include <string>

#include "mkimage/Description.h"
#include "mkimage/Manifest.h"

namespace ov::mkimage {

struct BuildResult {
  std::optional<Manifest> manifest;
  std::string error;
  bool ok() const { return manifest.has_value(); }
};

// Lays the description out and writes the image to `imagePath` (created or
// truncated), and its further disks beside it. Errors (overlaps, sizes,
// names) come back as text; nothing half-written is left behind on failure,
// on any of the disks.
BuildResult BuildImage(const Description& description, const std::filesystem::path& imagePath);

// Where a further disk with the given "output" is written: relative to the
// folder of the image.
std::filesystem::path DiskImagePath(const std::filesystem::path& imagePath, const std::string& output);

// Parses a JSON description and builds it; the convenience that tests use.
BuildResult BuildImageFromJson(const std::string& jsonText, const std::filesystem::path& imagePath);

// Writes the unreadable-sector list next to an image ("<image>.bad") when
// the manifest has any, and removes a stale one otherwise. Returns false
// when the file cannot be written.
bool WriteUnreadableList(const Manifest& manifest, const std::filesystem::path& listPath);

// The same for every further disk: "<output>.bad" beside it. Returns the
// list that could not be written, or an empty path.
std::filesystem::path WriteFurtherUnreadableLists(const Manifest& manifest, const std::filesystem::path& imagePath);

}  // namespace ov::mkimage
