#pragma once
// Writes a disk image from a description, and reports what is on it.
//
// The image holds an MBR partition table, NetWare section chains (type 0x65)
// or compact pools (type 0x69), pool superblocks, volume directories,
// object trees with folder and file records, file data, raw documents and,
// on request, deliberate damage. The output file is sparse: only sectors
// with content are written.

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
// truncated). Errors (overlaps, sizes, names) come back as text; nothing
// half-written is left behind on failure.
BuildResult BuildImage(const Description& description, const std::filesystem::path& imagePath);

// Parses a JSON description and builds it; the convenience that tests use.
BuildResult BuildImageFromJson(const std::string& jsonText, const std::filesystem::path& imagePath);

// Writes the unreadable-sector list next to an image ("<image>.bad") when
// the manifest has any, and removes a stale one otherwise. Returns false
// when the file cannot be written.
bool WriteUnreadableList(const Manifest& manifest, const std::filesystem::path& listPath);

}  // namespace ov::mkimage
