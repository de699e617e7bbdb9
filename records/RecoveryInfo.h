#pragma once
// The recovery information file (".SAV"): what a scan found, written so that
// the results can be browsed and saved later without scanning again.
//
// The file is a flat little-endian stream, field after field, no padding;
// texts are 8-bit bytes preceded by their own length and never terminated:
//
//   header            37 bytes  "Tolvane Orlindavestrum NSS    2.02.05"
//   selectedVolume    u32
//   pool name         u32 n, then n bytes
//   segmentSize       u32
//   segmentCount k    u32, then k x u32 segmentStart, then k x u32 segmentLength
//   superblockSector  u32
//   poolRootSector    u64
//   volume count v    u16, then v x (u16 L, L bytes) names, then v x u64 roots
//   folder count f    u32, then f records
//   file count g      u32, then g records
//
// A record: u32 recordLength (the bytes that follow it: 49 + name length),
// u64 objectId, u64 index (index low, indexHigh high), u64 parentId,
// u64 firstBlock, u32 blockCount, the name, u32 time, u64 size, one
// reserved byte (0). A 10-byte name makes recordLength 59 and 63 bytes on
// disk.
//
// The loader skips the 37 header bytes without looking at them, and checks
// the whole file before it changes anything: the tables' limits, every
// recordLength at least 49, nothing running past the end of the file. A file
// that fails is named in a message and leaves the run state as it was.
//
// Sector numbers are 64-bit in memory but the segment starts and the
// superblock sector are 32-bit in the file: a pool that lies beyond sector
// 4294967295 is refused with a message instead of being written truncated.
//
// A run over several disks adds a disk table after the last file record
// (older readers leave bytes there alone):
//
//   mark              11 bytes  "OVNSS-DISKS"
//   version           u16 (1)
//   disks d           u16, then d x (u16 L, L bytes name, u64 first run
//                     sector, u64 sectors)
//   segments          segmentCount x (u16 disk, u8 missing, u64 start)
//   superblockSector  u64
//
// There the 32-bit fields before hold the same numbers cut to 4294967295,
// and the table's full ones count. Loaded into a run, every sector moves to
// the same place on the same disk among that run's disks (the same path,
// else the same file name and size, else the same position and size); a
// segment on a disk the run lacks is missing.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "nss/Discovery.h"
#include "nss/FolderListing.h"
#include "nss/Pools.h"
#include "nss/RecoveryTree.h"
#include "nss/Volumes.h"
#include "platform/Prompter.h"

namespace ov {

inline constexpr std::string_view kRecoveryInfoHeader = "Tolvane Orlindavestrum NSS    2.02.05";
inline constexpr std::size_t kRecoveryInfoHeaderSize = 37;
static_assert(kRecoveryInfoHeader.size() == kRecoveryInfoHeaderSize);
// The bytes of a record after its length field, name excluded.
inline constexpr std::uint32_t kRecordFixedBytes = 49;
inline constexpr std::string_view kRecoveryInfoExtension = ".SAV";
inline constexpr std::string_view kMsgUnableToOpenFile = "Unable to open file";
inline constexpr std::string_view kMsgUnableToWriteFile = "Unable to write file";

// Limits of the tables a file loads into: the pool name (the 15 characters
// read from disk, or the 23 of the compact layout's fixed name), the segment
// table, the 50 volume slots and the 49 bytes of a name in a slot.
inline constexpr std::size_t kMaxSavedPoolName = kCompactPoolName.size();
inline constexpr std::size_t kMaxSavedSegments = kMaxSegments;
inline constexpr std::size_t kMaxSavedVolumes = 50;
inline constexpr std::size_t kMaxSavedVolumeName = 49;
inline constexpr std::string_view kDiskTableMark = "OVNSS-DISKS";
inline constexpr std::uint16_t kDiskTableVersion = 1;
inline constexpr std::size_t kMaxSavedDisks = 64;
inline constexpr std::size_t kMaxSavedDiskName = 4096;

// A folder or file node as the file stores it, with a name of its own
// (treeItem and selected are not part of the file).
struct SavedNode {
  std::uint64_t objectId = 0;
  std::uint64_t parentId = 0;
  std::uint64_t firstBlock = 0;
  std::uint64_t size = 0;
  std::string name;  // 8-bit name
  std::uint32_t index = 0;
  std::uint32_t blockCount = 0;
  std::uint32_t time = 0;
  static constexpr std::uint32_t indexHigh = 0;  // with index, the 64-bit key
};

// Everything the file holds.
struct RecoveryInfo {
  std::uint32_t selectedVolume = 0;
  PoolInfo pool;
  std::uint64_t superblockSector = 0;
  std::uint64_t poolRootSector = 0;
  std::vector<VolumeInfo> volumes;
  std::vector<SavedNode> folders;
  std::vector<SavedNode> files;
  // The disks of a run over several (empty for one disk).
  DiskLayout disks;
};

// What the run state holds now, ready to be written.
RecoveryInfo CaptureRecoveryInfo(const Discovery& discovery, const RecoveryTree& tree);

// The file's bytes, or the reason why the information cannot be written
// without losing part of it (a sector number beyond 32 bits, a table too
// large for its count field).
struct EncodedRecoveryInfo {
  std::vector<std::byte> bytes;
  std::string problem;  // empty when `bytes` is the file
};
EncodedRecoveryInfo EncodeRecoveryInfo(const RecoveryInfo& info);

// The checked contents of a file, or what is wrong with it (the first
// problem met, in file order). Any 37 header bytes are accepted.
struct DecodedRecoveryInfo {
  std::optional<RecoveryInfo> info;
  std::string problem;  // set when `info` is empty
};
DecodedRecoveryInfo DecodeRecoveryInfo(std::span<const std::byte> file);

// Puts loaded information into the run state: the pool copy, volumes and
// selectedVolume go to `discovery`; the tree is released, the folders are
// added (a repeated object ID is refused) with firstBlock, blockCount and
// size 0, then the files; folderCount and fileCount become the stored
// counts; the folder tree is rebuilt. Nodes keep their stored time.
void ApplyRecoveryInfo(const RecoveryInfo& info, Discovery& discovery, RecoveryTree& tree);

// The name a chosen save path is written under: the file name upper-cased,
// with ".SAV" appended unless it already ends in "SAV" ("case1" and
// "case1.sav" give "CASE1.SAV", "oldsav" gives "OLDSAV"). Only the last
// component is changed: the folder the dialog chose keeps its spelling,
// because on this system's file systems case tells folders apart.
std::string RecoveryInfoPath(std::string_view chosen);

enum class RecoveryInfoStatus {
  Ok,
  CannotOpen,    // "Unable to open file"
  CannotWrite,   // the file was created but not written whole
  DoesNotFit,    // the run state cannot be written in the file's widths
  Damaged,       // the file failed the checks; nothing was loaded
};

struct RecoveryInfoResult {
  RecoveryInfoStatus status = RecoveryInfoStatus::Ok;
  std::string message;      // the text shown to the user; empty on success
  std::string path;         // save: the path written (after the path rule)
  ListRows rootRows;  // load: the root folder's listing
  explicit operator bool() const { return status == RecoveryInfoStatus::Ok; }
};

// Writes the run state to the file named by the path rule, created anew
// (an existing file is truncated). Failures are shown through `prompter`
// (error icon, product title) and change nothing else; a run state that does
// not fit the file's widths is refused before the file is touched. Nothing
// is shown on success.
RecoveryInfoResult SaveRecoveryInfo(std::string_view chosenPath, const Discovery& discovery,
                                    const RecoveryTree& tree, Prompter& prompter);
// The same at exactly `path`, its name as given. The file is written under
// a temporary name beside it and put in place when whole; a symbolic link
// of that name is refused, never followed. The failure messages are noted
// with the path and the system's reason (Prompter::NoteCause).
RecoveryInfoResult SaveRecoveryInfoAt(const std::filesystem::path& path, const Discovery& discovery,
                                      const RecoveryTree& tree, Prompter& prompter);

// Reads the file at `path` into the run state and lists the root folder. The
// file must open for reading and updating: a missing, unreadable or
// read-only file (one without any write permission bit) shows "Unable to
// open file". A file that fails the checks shows what is wrong with it.
// In both cases the pool, the volumes and the tree stay as they were.
RecoveryInfoResult LoadRecoveryInfo(const std::string& path, Discovery& discovery, RecoveryTree& tree,
                                    Prompter& prompter);

}  // namespace ov
