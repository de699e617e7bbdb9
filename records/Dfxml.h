#pragma once
// A report of a save as Digital Forensics XML (DFXML), the form fiwalk and
// other forensic tools write and read: the source image, the volume, and a
// fileobject for each file written whole, with its name (the path from the
// destination), size, inode (object ID), modification time, the byte runs
// it was read from on the disk (img_offset: bytes from the start of the
// disk) and its digests.
//
// NSS volumes live in pools whose segments may lie anywhere on the disk, so
// the volume element carries no single offset; it names the pool and the
// volume in elements of this program (pool_name, volume_name) and the file
// system type "NSS".

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "nss/Pools.h"
#include "save/Hashes.h"

namespace ov {

struct DfxmlRun {
  std::string program = "ovnss-cli";
  std::string version;
  std::string commandLine;
  std::string startTime;   // ISO 8601, UTC
  std::string imagePath;   // the disk or image read
  std::uint64_t imageSectors = 0;
  std::string poolName;    // UTF-8
  std::string volumeName;  // UTF-8
};

// "2004-03-15T09:30:00Z"; empty for 0 (no stamp).
std::string IsoTime(std::int64_t seconds);

// Writes & < > " ' as XML entities; bytes that XML 1.0 cannot carry (other
// control characters) as "?".
std::string XmlEscape(std::string_view text);

// Writes the report, a fileobject at a time.
void WriteDfxmlReport(std::ostream& out, const DfxmlRun& run, const PoolInfo& pool,
                      const std::vector<SavedFile>& files, const std::vector<HashKind>& kinds);

}  // namespace ov
