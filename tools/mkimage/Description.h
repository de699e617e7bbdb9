#pragma once
// The in-memory form of a disk image description.
//
// A description is written by hand as JSON (see docs/image-description.md)
// and parsed into these records; the builder (ImageBuilder.h) lays them out
// and writes the image. Units: "sectors" are 512 bytes, "blocks" are the
// pool's 4096-byte blocks; sizes of files and documents are in bytes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "mkimage/Content.h"

namespace ov::mkimage {

// Shape of an object tree (a volume's, or a pool's volume directory).
struct TreeShape {
  int leafStart = 56;        // 40 (byte 42 of each leaf is 'N') or 56
  bool pointerIndex = false; // index levels as leaves of child pointers instead of branch blocks
  int fanout = 0;            // children per index block; 0 = as many as fit
  int recordsPerLeaf = 0;    // 0 = as many as fit
};

// A folder or file of a volume.
struct Item {
  bool folder = false;
  std::string name;                    // UTF-8; written as UTF-16LE
  std::vector<std::string> extraNames; // further name entries before the attribute entry
  std::optional<std::uint64_t> id;     // object ID; assigned from 0x100 upwards when absent
  std::optional<std::uint64_t> parentId; // written instead of the real parent's ID
  std::optional<std::uint32_t> time;   // seconds since 1970; the volume's default when absent
  bool attributes = true;              // write the attribute entry (time, flags)
  bool fileFlag = false;               // folders only: 0xFFFF at attribute entry + 20
  bool duplicate = false;              // write the record once more, in another leaf
  bool overrun = false;                // record length runs past the block end
  // Files.
  Bytes data;
  std::optional<DocumentKind> document; // the data is a generated document of this kind
  std::optional<std::uint32_t> blockCount;   // written instead of the true count
  std::optional<std::uint64_t> firstBlock;   // place the data at this pool block
  std::optional<std::uint32_t> segment;      // place the data in this segment
  bool crossSegments = false;          // data at firstBlock may run on into the next segment
  std::vector<Item> children;          // folders only
};

struct Volume {
  std::string name;
  TreeShape tree;
  std::vector<Item> items;
  bool treeLoop = false;        // a child pointer from the last leaf back to the root
  bool noRootEntry = false;     // the volume record has no kind-2 entry
  std::optional<int> nameLength; // written instead of the true name length
};

enum class FreeFill { Zero, Random };

struct Pool {
  std::string name;
  TreeShape directory;          // shape of the volume directory (normal layout)
  FreeFill free = FreeFill::Zero;
  bool noSuperblockMark = false;
  std::vector<Volume> volumes;
};

// One NetWare section of a type 0x65 partition (chain order = list order).
struct Section {
  std::optional<std::uint64_t> at; // absolute sector of the section header
  std::string pool;
  std::uint32_t segment = 0;
  std::uint64_t sectors = 0;       // length of the data area (the segment)
  std::uint32_t dataOffset = 32;   // data area start, in sectors from the header
  int offsetMarker = 1;            // 1..4: which candidate sector carries 'H','O'; 0 = none
  std::optional<std::uint16_t> offsetField; // value written at 24 of the marker
  std::optional<std::uint32_t> link;        // written instead of the next header's sector
};

struct Ext2Content {
  std::uint32_t blocks = 0;
  std::uint32_t logBlockSize = 0;  // block size = 1024 << logBlockSize
};

struct Partition {
  int slot = 0;
  std::uint8_t type = 0;
  bool bootable = false;
  std::optional<std::uint64_t> start;
  std::optional<std::uint64_t> sectors;
  std::vector<Section> sections;  // type 0x65
  bool chainLoop = false;         // the last section links back to the first
  std::string pool;               // type 0x69: the compact pool kept here
  std::optional<Ext2Content> ext2;
};

struct Document {
  DocumentKind kind = DocumentKind::Word;
  std::optional<std::uint64_t> at;
  Bytes data;
};

struct FillRegion {
  std::uint64_t at = 0;
  std::uint64_t sectors = 0;
  FreeFill with = FreeFill::Random;
};

struct UnreadableFile {
  std::string path;  // "POOL/VOLUME/folder/.../file"
  std::uint64_t sector = 0;   // first sector within the file's data
  std::uint64_t sectors = 1;
};

struct SectorRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // inclusive
};

// Members of a RAID set cut from the image (see RaidMembers.h).
struct RaidSection {
  std::string level = "5";          // "0", "1", "5", "10" or "span"
  std::uint64_t chunkBytes = 65536;
  std::string layout = "left-symmetric";
  std::uint64_t offsetSectors = 0;  // metadata sectors before the data of every member
  std::vector<std::string> outputs; // one file per member, relative to the image's folder
  std::vector<std::uint64_t> spanSectors;  // span: data sectors of each member but the last
  struct Unreadable {
    std::size_t member = 0;
    SectorRange range;  // member sectors
  };
  std::vector<Unreadable> unreadable;
  std::string setFile;              // also write a set file naming the members, when given
};

// A further disk of a server whose pools grow across disks: its own
// partition table, partitions and section chains, written to its own file.
// Sector numbers ("at", "start", unreadable ranges) are sectors of this disk.
struct DiskDescription {
  std::optional<std::uint64_t> sizeBytes;
  std::uint32_t diskSignature = 0;
  std::vector<Partition> partitions;
  std::string output;                 // relative to the folder of the first disk's image
  std::vector<SectorRange> unreadable;
};

struct Description {
  // The first disk (the image itself): its size, signature and partitions.
  std::optional<std::uint64_t> sizeBytes;
  std::uint64_t seed = 1;
  std::uint32_t time = 1079343000;  // 2004-03-15 09:30:00 UTC
  std::uint32_t diskSignature = 0;
  std::vector<Partition> partitions;
  // Disks 1, 2, ... of a description that lists "disks"; empty for one disk.
  // Pools are shared: a pool's segments may lie on any of the disks.
  std::vector<DiskDescription> moreDisks;
  std::vector<Pool> pools;
  std::vector<Document> documents;
  std::optional<std::uint64_t> documentsAt;
  std::vector<FillRegion> fills;
  std::vector<SectorRange> unreadable;
  std::vector<UnreadableFile> unreadableFiles;
  std::optional<RaidSection> raid;
};

// Outcome of parsing: the description, or a message naming the place.
struct ParseResult {
  std::optional<Description> description;
  std::string error;
  bool ok() const { return description.has_value(); }
};

// The most file and document content a description may make when it does
// not give the disk's size (with a size, the disk bounds it).
inline constexpr std::uint64_t kContentLimit = std::uint64_t{8} << 30;

// Parses a description. `baseDir` resolves "path" contents of files.
ParseResult ParseDescription(const nlohmann::json& json, const std::filesystem::path& baseDir = {},
                             std::uint64_t contentLimit = kContentLimit);
ParseResult ParseDescriptionText(const std::string& text, const std::filesystem::path& baseDir = {},
                                 std::uint64_t contentLimit = kContentLimit);
ParseResult ParseDescriptionFile(const std::filesystem::path& file);

// "2004-03-15 09:30:00" (or with 'T', seconds and time optional) as UTC
// seconds since 1970; false when malformed.
bool ParseTime(const std::string& text, std::uint32_t& out);

}  // namespace ov::mkimage
