#pragma once
// The device over an open E01 set (its segment files, in order).
//
// The chunks are read from the segment files themselves, by the map their
// tables give (disk/EwfChunks): those stored as they are, one after the
// other, in one read straight into place, their Adler-32 checked here; the
// compressed ones inflated. Whatever is unusual about a chunk (a checksum
// that does not match, a chunk that does not inflate to its size) sends its
// stretch back to the library's own reading, which hands it out as it stands
// and lists it as a checksum error: those sectors read as unreadable. A set
// whose tables do not add up is read by the library alone. A long run of
// reads one after the other (a full-disk search, a raw scan, a large file)
// is read ahead, so that reading and taking the chunks apart overlap the
// caller's work on the last ones.

#include <libewf.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "disk/Device.h"

namespace ov {

// Takes over `handle`, opened read-only on `files`.
std::unique_ptr<Device> MakeEwfDevice(libewf_handle_t* handle, std::uint64_t sizeBytes,
                                      std::vector<std::filesystem::path> files);

}  // namespace ov
