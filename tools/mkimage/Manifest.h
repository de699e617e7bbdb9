#pragma once
// What a correct reader must find on a built image.
//
// The builder fills this from the description and from where it placed
// things, never by reading the image back, so tests can hold a reader's
// findings against it. Where a structure was damaged on purpose, the
// manifest says what a reader that follows the on-disk rules ends up with
// (a dropped record is absent, a lost volume is marked not found) and lists
// the damage.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "mkimage/Content.h"

namespace ov::mkimage {

struct ManifestFolder {
  std::uint64_t id = 0;         // object ID (folders: low 32 bits only)
  std::uint64_t parentId = 0;   // as the reader keeps it: the root's 0x7F becomes 0
  std::string name;             // the reader's 8-bit name (low byte of each UTF-16 unit)
  std::uint32_t time = 0;       // 0 when the record has no attribute entry
  std::uint32_t index = 0;      // folder counter value when the record is met
  bool placed = false;          // reachable from the root through placed folders
  std::string path;             // placed folders: names from the root down, joined by "\"
};

struct ManifestFile {
  std::uint64_t id = 0;
  std::uint64_t parentId = 0;
  std::string name;
  std::uint32_t time = 0;
  std::uint32_t index = 0;      // file counter value when the record is met
  std::uint64_t size = 0;
  std::uint32_t blockCount = 0;
  std::uint64_t firstBlock = 0; // pool block
  std::uint64_t diskSector = 0; // absolute sector of the first data sector (0 for empty files)
  std::size_t disk = 0;         // the disk that sector is on (index into Manifest::disks)
  bool fromFolderRecord = false; // a folder record flagged 0xFFFF, listed as an empty file
  bool placed = false;          // its parent is the root or a placed folder
  std::string folder;           // path of the parent folder ("" = root)
  Bytes data;                   // the bytes a reader copies (size bytes)
  std::string sha256;
};

// A record that a reader following the on-disk rules must not list.
struct ManifestDropped {
  std::string name;
  std::string reason;  // "block count does not match size", "record runs past the block end"
};

struct ManifestVolume {
  std::string name;             // as listed (8-bit, at most 48 or 20 characters)
  bool found = true;            // false when a reader must skip this volume
  std::uint64_t rootBlock = 0;
  std::uint64_t rootSector = 0; // absolute disk sector of the root block
  std::size_t rootDisk = 0;     // the disk that sector is on
  std::uint32_t folderCount = 0; // the scan's counters
  std::uint32_t fileCount = 0;
  std::uint32_t treeBlocks = 0;  // distinct blocks of the object tree
  std::vector<ManifestFolder> folders;  // folder nodes (duplicates kept once), in scan order
  std::vector<ManifestFile> files;      // file nodes, in scan order
  std::vector<ManifestDropped> dropped;
};

struct ManifestSegment {
  std::uint32_t index = 0;
  std::uint64_t headerSector = 0;  // section header
  std::uint32_t dataOffset = 32;
  std::uint64_t start = 0;         // absolute sector where the data area begins
  std::uint64_t length = 0;        // sectors
  std::size_t disk = 0;            // the disk its section is on; the sectors above are that disk's
};

struct ManifestPool {
  std::string key;               // the pool's name in the description
  std::string name;              // as a reader lists it
  bool compact = false;          // type 0x69 partition, compact record layout
  int partitionSlot = 0;
  std::uint32_t segmentSize = 0;
  std::vector<ManifestSegment> segments;  // by segment index
  std::uint64_t blocks = 0;                // pool size in blocks
  std::uint64_t superblockSector = 0;  // on the disk of segment 0
  std::uint64_t rootBlock = 0;   // superblock field at 188: volume directory root (normal) or volume tree root (compact)
  bool superblockMark = true;
  std::vector<ManifestVolume> volumes;  // in the order a reader lists them (found ones first in record order)
};

struct ManifestPartition {
  std::size_t disk = 0;  // its sectors are this disk's
  int slot = 0;
  std::uint8_t type = 0;
  std::uint64_t first = 0;
  std::uint64_t sectors = 0;
  std::vector<std::uint64_t> sectionHeaders;  // type 0x65: headers in chain order
  bool chainLoops = false;
  bool ext2 = false;
};

struct ManifestDocument {
  DocumentKind kind = DocumentKind::Word;
  std::uint64_t firstSector = 0;
  std::uint64_t sectors = 0;       // sectors the document occupies
  std::uint64_t markerSector = 0;  // sector holding the marker that ends it (its last sector)
  std::uint64_t size = 0;          // exact length in bytes
  std::string source;              // "documents" or the file's "POOL/VOLUME/path"
  std::string sha256;              // of the exact bytes
  std::size_t disk = 0;            // the disk it lies on (a file's data may lie on a further disk)
};

// One disk of the description: the image itself first, then the "disks"
// after it.
struct ManifestDisk {
  std::string output;    // as the description gives it, relative to the image's folder; the image's name for the first disk
  std::uint64_t sectors = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> unreadable;  // this disk's, as Manifest::unreadable
};

struct Manifest {
  std::uint64_t diskSectors = 0;               // of the first disk
  std::vector<ManifestDisk> disks;             // every disk, the first one included
  std::vector<ManifestPartition> partitions;   // by disk, in slot order
  std::vector<ManifestPool> pools;             // per partition, in the order a chain walk finds them
  std::vector<ManifestDocument> documents;     // by disk and first sector
  std::vector<std::pair<std::uint64_t, std::uint64_t>> unreadable;  // first disk's: inclusive ranges, sorted, merged
  std::vector<std::string> damage;             // one line per deliberate damage

  const ManifestPool* FindPool(const std::string& key) const;
  const ManifestVolume* FindVolume(const std::string& poolKey, const std::string& volume) const;
};

const ManifestFile* FindFile(const ManifestVolume& volume, const std::string& folderPath, const std::string& name);

nlohmann::json ManifestToJson(const Manifest& manifest);

// The unreadable-sector list in the fault-injecting device's text format.
std::string UnreadableListText(const Manifest& manifest);
std::string UnreadableListText(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& ranges);

}  // namespace ov::mkimage
