#pragma once
// Cuts a written disk image into the members of a RAID set, as a controller
// would have laid the same disk out, so tests and the sample data hold sets
// whose plain disk is known byte for byte.
//
// Each member starts with `offsetSectors` sectors of stand-in controller
// metadata (random bytes from the seed); its data follows in the layout of
// disk/RaidLayout.h. A set bigger than the disk reads zeros past its end.
// Members are written sparse; unreadable sectors of a member go to
// "<member>.bad" in the list form of the image's own list.

#include <cstdint>
#include <filesystem>
#include <string>

#include "mkimage/Description.h"

namespace ov::mkimage {

// Writes the members (and the set file, when asked) next to `image`. An
// empty text on success, else why not; nothing is left half-written.
std::string WriteRaidMembers(const RaidSection& raid, const std::filesystem::path& image, std::uint64_t seed);

}  // namespace ov::mkimage
