#include "records/RecoveryInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include "disk/Bytes.h"
#include "save/OutputFile.h"

namespace ov {

namespace {

constexpr std::uint64_t kMaxU32 = std::numeric_limits<std::uint32_t>::max();
// The smallest a record can be in the file: its length field and the fixed fields.
constexpr std::size_t kSmallestRecord = 4 + kRecordFixedBytes;

const std::string kLoadFailure = "Unable to load the recovery information file: ";
const std::string kSaveFailure = "Unable to save the recovery information: ";

// Appends little-endian fields and raw texts.
class Writer {
public:
  void U8(std::uint8_t v) { bytes_.push_back(static_cast<std::byte>(v)); }
  void U16(std::uint16_t v) { Le(v, 2); }
  void U32(std::uint32_t v) { Le(v, 4); }
  void U64(std::uint64_t v) { Le(v, 8); }
  void Text(std::string_view text) {
    for (char c : text) bytes_.push_back(static_cast<std::byte>(c));
  }
  std::vector<std::byte> Take() { return std::move(bytes_); }

private:
  void Le(std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) bytes_.push_back(static_cast<std::byte>((v >> (8 * i)) & 0xFF));
  }
  std::vector<std::byte> bytes_;
};

// Reads fields in order over the whole file. The first field that does not
// fit records what it was, and every later read fails too.
class Reader {
public:
  explicit Reader(std::span<const std::byte> file) : bytes_(file) {}

  bool Skip(std::size_t n, std::string_view what) {
    if (!Check(n, what)) return false;
    pos_ += n;
    return true;
  }
  std::optional<std::uint8_t> U8(std::string_view what) { return Field(&Bytes::U8, 1, what); }
  std::optional<std::uint16_t> U16(std::string_view what) { return Field(&Bytes::U16, 2, what); }
  std::optional<std::uint32_t> U32(std::string_view what) { return Field(&Bytes::U32, 4, what); }
  std::optional<std::uint64_t> U64(std::string_view what) { return Field(&Bytes::U64, 8, what); }
  std::optional<std::string> Text(std::size_t n, std::string_view what) {
    if (!Check(n, what)) return std::nullopt;
    std::string text(n, '\0');
    const auto span = bytes_.span().subspan(pos_, n);
    std::transform(span.begin(), span.end(), text.begin(), [](std::byte b) { return static_cast<char>(b); });
    pos_ += n;
    return text;
  }

  std::size_t Remaining() const { return bytes_.size() - pos_; }
  bool StartsWith(std::string_view text) const { return bytes_.Matches(pos_, text); }
  bool Has(std::size_t n) const { return bytes_.Has(pos_, n); }
  const std::string& problem() const { return problem_; }
  void Fail(std::string problem) {
    if (problem_.empty()) problem_ = std::move(problem);
  }

private:
  bool Check(std::size_t n, std::string_view what) {
    if (!problem_.empty()) return false;
    if (bytes_.Has(pos_, n)) return true;
    Fail("it ends inside " + std::string(what));
    return false;
  }
  template <typename T>
  std::optional<T> Field(std::optional<T> (Bytes::*read)(std::size_t) const, std::size_t width,
                         std::string_view what) {
    if (!Check(width, what)) return std::nullopt;
    auto v = (bytes_.*read)(pos_);
    pos_ += width;
    return v;
  }

  Bytes bytes_;
  std::size_t pos_ = 0;
  std::string problem_;
};

void WriteRecord(Writer& out, const SavedNode& node) {
  out.U32(static_cast<std::uint32_t>(kRecordFixedBytes + node.name.size()));
  out.U64(node.objectId);
  out.U64(std::uint64_t{node.indexHigh} << 32 | node.index);
  out.U64(node.parentId);
  out.U64(node.firstBlock);
  out.U32(node.blockCount);
  out.Text(node.name);
  out.U32(node.time);
  out.U64(node.size);
  out.U8(0);  // reserved
}

std::string RecordProblem(std::string_view list, const std::vector<SavedNode>& nodes) {
  if (nodes.size() > kMaxU32) return "the " + std::string(list) + " list is too long for the file";
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].name.size() > kMaxU32 - kRecordFixedBytes)
      return "the name of " + std::string(list) + " " + std::to_string(i + 1) + " is too long for the file";
  }
  return {};
}

// What keeps `info` from being written so that it loads back the same, or
// nothing.
std::string EncodeProblem(const RecoveryInfo& info) {
  const PoolInfo& pool = info.pool;
  if (pool.name.size() > kMaxSavedPoolName)
    return "the pool name is " + std::to_string(pool.name.size()) + " bytes long (at most " +
           std::to_string(kMaxSavedPoolName) + ")";
  if (pool.segmentCount > kMaxSavedSegments)
    return "the pool has " + std::to_string(pool.segmentCount) + " segments (at most " +
           std::to_string(kMaxSavedSegments) + ")";
  // With the disks recorded, the full sector numbers are in the disk table.
  const bool diskTable = info.disks.size() > 1;
  if (diskTable && info.disks.size() > kMaxSavedDisks)
    return "the run reads " + std::to_string(info.disks.size()) + " disks (at most " + std::to_string(kMaxSavedDisks) + ")";
  for (std::size_t k = 0; k < pool.segmentCount && !diskTable; ++k) {
    if (pool.segmentStart[k] > kMaxU32)
      return "segment " + std::to_string(k + 1) + " of the pool starts at sector " +
             std::to_string(pool.segmentStart[k]) + ", beyond the 32-bit sector numbers of the file";
  }
  if (info.superblockSector > kMaxU32 && !diskTable)
    return "the pool's superblock lies at sector " + std::to_string(info.superblockSector) +
           ", beyond the 32-bit sector numbers of the file";
  if (info.volumes.size() > kMaxSavedVolumes)
    return "the pool has " + std::to_string(info.volumes.size()) + " volumes (at most " +
           std::to_string(kMaxSavedVolumes) + ")";
  for (std::size_t v = 0; v < info.volumes.size(); ++v) {
    if (info.volumes[v].name.size() > kMaxSavedVolumeName)
      return "the name of volume " + std::to_string(v + 1) + " is " + std::to_string(info.volumes[v].name.size()) +
             " bytes long (at most " + std::to_string(kMaxSavedVolumeName) + ")";
  }
  if (auto problem = RecordProblem("folder", info.folders); !problem.empty()) return problem;
  return RecordProblem("file", info.files);
}

// One folder or file record; `what` and `number` name it in a problem.
std::optional<SavedNode> ReadRecord(Reader& in, std::string_view what, std::size_t number) {
  const std::string name = std::string(what) + " record " + std::to_string(number);
  auto length = in.U32("the length of " + name);
  if (!length) return std::nullopt;
  if (*length < kRecordFixedBytes) {
    in.Fail(name + " has record length " + std::to_string(*length) + " (at least " +
            std::to_string(kRecordFixedBytes) + ")");
    return std::nullopt;
  }
  if (!in.Has(*length)) {
    in.Fail(name + " runs past the end of the file");
    return std::nullopt;
  }
  // The whole record is inside the file now, so the reads below cannot fail.
  SavedNode node;
  node.objectId = in.U64(name).value_or(0);
  const std::uint64_t index = in.U64(name).value_or(0);
  node.index = static_cast<std::uint32_t>(index);  // the high half is always 0
  node.parentId = in.U64(name).value_or(0);
  node.firstBlock = in.U64(name).value_or(0);
  node.blockCount = in.U32(name).value_or(0);
  node.name = in.Text(*length - kRecordFixedBytes, name).value_or(std::string());
  node.time = in.U32(name).value_or(0);
  node.size = in.U64(name).value_or(0);
  in.Skip(1, name);  // reserved
  if (!in.problem().empty()) return std::nullopt;
  return node;
}

std::optional<std::vector<SavedNode>> ReadRecords(Reader& in, std::string_view what) {
  auto count = in.U32("the " + std::string(what) + " count");
  if (!count) return std::nullopt;
  std::vector<SavedNode> nodes;
  // Never trust a count for memory: no more records than the rest of the
  // file could hold.
  nodes.reserve(std::min<std::size_t>(*count, in.Remaining() / kSmallestRecord));
  for (std::uint32_t i = 0; i < *count; ++i) {
    auto node = ReadRecord(in, what, std::size_t{i} + 1);
    if (!node) return std::nullopt;
    nodes.push_back(std::move(*node));
  }
  return nodes;
}

// The disk table: the mark, its version, the disks (name, first run
// sector, sectors), then per segment its disk, whether it is missing and
// its full start, then the full superblock sector.
void WriteDiskTable(Writer& out, const RecoveryInfo& info) {
  out.Text(kDiskTableMark);
  out.U16(kDiskTableVersion);
  out.U16(static_cast<std::uint16_t>(info.disks.size()));
  for (const auto& disk : info.disks) {
    const std::string name = disk.name.substr(0, kMaxSavedDiskName);
    out.U16(static_cast<std::uint16_t>(name.size()));
    out.Text(name);
    out.U64(disk.first);
    out.U64(disk.sectors);
  }
  for (std::size_t k = 0; k < info.pool.segmentCount; ++k) {
    out.U16(info.pool.segmentDisk[k]);
    out.U8(info.pool.segmentMissing[k] ? 1 : 0);
    out.U64(info.pool.segmentStart[k]);
  }
  out.U64(info.superblockSector);
}

bool ReadDiskTable(Reader& in, RecoveryInfo& info) {
  in.Skip(kDiskTableMark.size(), "the disk table");
  auto version = in.U16("the disk table's version");
  if (!version) return false;
  if (*version != kDiskTableVersion) {
    in.Fail("its disk table has version " + std::to_string(*version) + ", which this program does not read");
    return false;
  }
  auto count = in.U16("the disk count");
  if (!count) return false;
  if (*count < 2 || *count > kMaxSavedDisks) {
    in.Fail("the disk count is " + std::to_string(*count) + " (2 to " + std::to_string(kMaxSavedDisks) + ")");
    return false;
  }
  for (std::uint16_t d = 0; d < *count; ++d) {
    const std::string what = "disk " + std::to_string(d + 1) + " of the disk table";
    auto length = in.U16(what);
    if (!length) return false;
    auto name = in.Text(*length, what);
    auto first = in.U64(what);
    auto sectors = in.U64(what);
    if (!sectors) return false;
    info.disks.push_back({*first, *sectors, std::move(*name)});
  }
  for (std::uint32_t k = 0; k < info.pool.segmentCount; ++k) {
    const std::string what = "segment " + std::to_string(k) + " of the disk table";
    auto disk = in.U16(what);
    auto missing = in.U8(what);
    auto start = in.U64(what);
    if (!start) return false;
    if (*disk >= *count) {
      in.Fail(what + " names disk " + std::to_string(*disk + 1) + " of " + std::to_string(*count));
      return false;
    }
    info.pool.segmentDisk[k] = *disk;
    info.pool.segmentMissing[k] = *missing != 0;
    info.pool.segmentStart[k] = *start;
  }
  auto superblock = in.U64("the superblock sector of the disk table");
  if (!superblock) return false;
  info.superblockSector = *superblock;
  return true;
}

std::optional<RecoveryInfo> Decode(Reader& in) {
  RecoveryInfo info;
  if (!in.Skip(kRecoveryInfoHeaderSize, "the header")) return std::nullopt;
  auto selected = in.U32("the selected volume");
  if (!selected) return std::nullopt;
  info.selectedVolume = *selected;

  auto nameLength = in.U32("the pool name length");
  if (!nameLength) return std::nullopt;
  if (*nameLength > kMaxSavedPoolName) {
    in.Fail("the pool name is " + std::to_string(*nameLength) + " bytes long (at most " +
            std::to_string(kMaxSavedPoolName) + ")");
    return std::nullopt;
  }
  auto poolName = in.Text(*nameLength, "the pool name");
  auto segmentSize = in.U32("the segment size");
  auto segmentCount = in.U32("the segment count");
  if (!segmentCount) return std::nullopt;
  if (*segmentCount > kMaxSavedSegments) {
    in.Fail("the segment count is " + std::to_string(*segmentCount) + " (at most " +
            std::to_string(kMaxSavedSegments) + ")");
    return std::nullopt;
  }
  info.pool.name = *poolName;
  info.pool.segmentSize = *segmentSize;
  info.pool.segmentCount = *segmentCount;
  for (std::uint32_t k = 0; k < *segmentCount; ++k) {
    auto start = in.U32("the segment starts");
    if (!start) return std::nullopt;
    info.pool.segmentStart[k] = *start;
  }
  for (std::uint32_t k = 0; k < *segmentCount; ++k) {
    auto length = in.U32("the segment lengths");
    if (!length) return std::nullopt;
    info.pool.segmentLength[k] = *length;
  }
  auto superblock = in.U32("the superblock sector");
  auto root = in.U64("the pool root sector");
  auto volumeCount = in.U16("the volume count");
  if (!volumeCount) return std::nullopt;
  if (*volumeCount > kMaxSavedVolumes) {
    in.Fail("the volume count is " + std::to_string(*volumeCount) + " (at most " +
            std::to_string(kMaxSavedVolumes) + ")");
    return std::nullopt;
  }
  info.superblockSector = *superblock;
  info.poolRootSector = *root;
  info.volumes.resize(*volumeCount);
  for (std::size_t v = 0; v < info.volumes.size(); ++v) {
    const std::string name = "the name of volume " + std::to_string(v + 1);
    auto length = in.U16(name);
    if (!length) return std::nullopt;
    if (*length > kMaxSavedVolumeName) {
      in.Fail(name + " is " + std::to_string(*length) + " bytes long (at most " +
              std::to_string(kMaxSavedVolumeName) + ")");
      return std::nullopt;
    }
    auto text = in.Text(*length, name);
    if (!text) return std::nullopt;
    info.volumes[v].name = std::move(*text);
  }
  for (std::size_t v = 0; v < info.volumes.size(); ++v) {
    auto sector = in.U64("the root sector of volume " + std::to_string(v + 1));
    if (!sector) return std::nullopt;
    info.volumes[v].rootSector = *sector;
  }

  auto folders = ReadRecords(in, "folder");
  if (!folders) return std::nullopt;
  info.folders = std::move(*folders);
  auto files = ReadRecords(in, "file");
  if (!files) return std::nullopt;
  info.files = std::move(*files);
  // After the last file record: the disk table of a run over several
  // disks. Any other bytes there are not part of the format and are left
  // alone, as an older reader leaves the table.
  if (in.StartsWith(kDiskTableMark) && !ReadDiskTable(in, info)) return std::nullopt;
  return info;
}

// An open file descriptor, closed when the object goes.
class Fd {
public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

private:
  int fd_;
};

std::optional<std::vector<std::byte>> ReadAll(int fd) {
  std::vector<std::byte> bytes;
  std::byte chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    if (n == 0) return bytes;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
}

RecoveryInfoResult Fail(Prompter& prompter, RecoveryInfoStatus status, std::string message) {
  prompter.ShowMessage(message, std::string(kProductTitle), MessageIcon::Error);
  RecoveryInfoResult result;
  result.status = status;
  result.message = std::move(message);
  return result;
}

std::vector<SavedNode> SavedNodes(const NodeList& list) {
  std::vector<SavedNode> saved;
  saved.reserve(list.size());
  for (const TreeNode& n : list) {
    saved.push_back({n.objectId, n.parentId, n.firstBlock, n.size, std::string(n.name()), n.index, n.blockCount, n.time});
  }
  return saved;
}

}  // namespace

RecoveryInfo CaptureRecoveryInfo(const Discovery& discovery, const RecoveryTree& tree) {
  RecoveryInfo info;
  info.selectedVolume = discovery.selectedVolume;
  info.pool = discovery.currentPool();
  if (discovery.layout().size() > 1) info.disks = discovery.layout();
  info.superblockSector = discovery.superblockSector();
  info.poolRootSector = discovery.poolRootSector();
  info.volumes = discovery.volumes();
  info.folders = SavedNodes(tree.folders());
  info.files = SavedNodes(tree.files());
  return info;
}

EncodedRecoveryInfo EncodeRecoveryInfo(const RecoveryInfo& info) {
  EncodedRecoveryInfo encoded;
  encoded.problem = EncodeProblem(info);
  if (!encoded.problem.empty()) return encoded;

  Writer out;
  const PoolInfo& pool = info.pool;
  out.Text(kRecoveryInfoHeader);
  out.U32(info.selectedVolume);
  out.U32(static_cast<std::uint32_t>(pool.name.size()));
  out.Text(pool.name);
  out.U32(pool.segmentSize);
  out.U32(pool.segmentCount);
  auto u32 = [](std::uint64_t v) { return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, kMaxU32)); };
  for (std::size_t k = 0; k < pool.segmentCount; ++k) out.U32(u32(pool.segmentStart[k]));
  for (std::size_t k = 0; k < pool.segmentCount; ++k) out.U32(pool.segmentLength[k]);
  out.U32(u32(info.superblockSector));
  out.U64(info.poolRootSector);
  out.U16(static_cast<std::uint16_t>(info.volumes.size()));
  for (const auto& volume : info.volumes) {
    out.U16(static_cast<std::uint16_t>(volume.name.size()));
    out.Text(volume.name);
  }
  for (const auto& volume : info.volumes) out.U64(volume.rootSector);
  out.U32(static_cast<std::uint32_t>(info.folders.size()));
  for (const auto& node : info.folders) WriteRecord(out, node);
  out.U32(static_cast<std::uint32_t>(info.files.size()));
  for (const auto& node : info.files) WriteRecord(out, node);
  if (info.disks.size() > 1) WriteDiskTable(out, info);
  encoded.bytes = out.Take();
  return encoded;
}

DecodedRecoveryInfo DecodeRecoveryInfo(std::span<const std::byte> file) {
  Reader in(file);
  DecodedRecoveryInfo decoded;
  decoded.info = Decode(in);
  if (!decoded.info) decoded.problem = in.problem().empty() ? "it cannot be read" : in.problem();
  return decoded;
}

namespace {

// Which disk of the run now is each disk the file was written over: the
// one at the same path; else the one of the same file name and size; else
// the one at the same position, if of the same size. A disk found in none of
// these ways is not in the run.
std::vector<std::optional<std::size_t>> MatchDisks(const DiskLayout& written, const DiskLayout& now) {
  std::vector<std::optional<std::size_t>> match(written.size());
  std::vector<bool> taken(now.size(), false);
  auto take = [&](auto&& same) {
    for (std::size_t i = 0; i < written.size(); ++i) {
      if (match[i]) continue;
      for (std::size_t j = 0; j < now.size(); ++j) {
        if (!taken[j] && same(written[i], now[j], i, j)) {
          match[i] = j;
          taken[j] = true;
          break;
        }
      }
    }
  };
  take([](const DiskExtent& a, const DiskExtent& b, std::size_t, std::size_t) { return a.name == b.name; });
  take([](const DiskExtent& a, const DiskExtent& b, std::size_t, std::size_t) {
    return a.sectors == b.sectors &&
           std::filesystem::path(a.name).filename() == std::filesystem::path(b.name).filename();
  });
  take([](const DiskExtent& a, const DiskExtent& b, std::size_t i, std::size_t j) {
    return i == j && a.sectors == b.sectors;
  });
  return match;
}

// A sector of the disks the file was written over, as a sector of the disks
// the run reads now: the same place on the same disk. Nothing when the run
// lacks that disk. A run of one disk holds the first disk only.
std::optional<std::uint64_t> Rebase(const DiskLayout& written, const DiskLayout& now,
                                    const std::vector<std::optional<std::size_t>>& match, std::uint64_t sector) {
  const auto disk = DiskOfSector(written, sector);
  if (!disk) return std::nullopt;
  const std::uint64_t offset = sector - written[*disk].first;
  if (now.size() <= 1) {
    if (*disk != 0) return std::nullopt;
    return offset;
  }
  if (!match[*disk]) return std::nullopt;
  return now[*match[*disk]].first + offset;
}

}  // namespace

void ApplyRecoveryInfo(const RecoveryInfo& info, Discovery& discovery, RecoveryTree& tree) {
  PoolInfo pool = info.pool;
  std::vector<VolumeInfo> volumes = info.volumes;
  std::uint64_t superblock = info.superblockSector, root = info.poolRootSector;
  if (info.disks.size() > 1) {
    // Written over several disks: every sector is moved to where the same
    // disk lies in this run; a segment on a disk this run lacks is missing.
    const DiskLayout& now = discovery.layout();
    const auto match = MatchDisks(info.disks, now);
    auto moved = [&](std::uint64_t sector) { return Rebase(info.disks, now, match, sector); };
    for (std::size_t k = 0; k < std::min<std::size_t>(pool.segmentCount, kMaxSegments); ++k) {
      if (pool.segmentMissing[k]) continue;
      const auto sector = moved(pool.segmentStart[k]);
      pool.segmentMissing[k] = !sector;
      pool.segmentStart[k] = sector.value_or(0);
    }
    superblock = moved(superblock).value_or(0);
    root = moved(root).value_or(0);
    for (auto& volume : volumes) volume.rootSector = moved(volume.rootSector).value_or(0);
  }
  discovery.Restore(pool, std::move(volumes), info.selectedVolume, superblock, root);
  tree.ReleaseTree();
  for (const auto& node : info.folders)
    tree.AddFolderNode(node.name, node.objectId, node.parentId, node.index, node.time);
  tree.folderCount = static_cast<std::uint32_t>(info.folders.size());
  for (const auto& node : info.files)
    tree.AddFileNode(node.name, node.objectId, node.parentId, node.index, node.firstBlock, node.blockCount,
                     node.size, node.time);
  tree.fileCount = static_cast<std::uint32_t>(info.files.size());
  tree.BuildFolderTree();
}

std::string RecoveryInfoPath(std::string_view chosen) {
  const std::size_t slash = chosen.find_last_of("/\\");
  const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
  std::string path(chosen);
  std::transform(path.begin() + static_cast<std::ptrdiff_t>(nameStart), path.end(),
                 path.begin() + static_cast<std::ptrdiff_t>(nameStart), [](char c) {
                   return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
                 });
  const std::string_view name = std::string_view(path).substr(nameStart);
  if (!name.ends_with("SAV")) path += kRecoveryInfoExtension;
  return path;
}

RecoveryInfoResult SaveRecoveryInfo(std::string_view chosenPath, const Discovery& discovery,
                                    const RecoveryTree& tree, Prompter& prompter) {
  return SaveRecoveryInfoAt(RecoveryInfoPath(chosenPath), discovery, tree, prompter);
}

RecoveryInfoResult SaveRecoveryInfoAt(const std::filesystem::path& path, const Discovery& discovery,
                                      const RecoveryTree& tree, Prompter& prompter) {
  // Encode first: what does not fit is refused before an existing file is touched.
  EncodedRecoveryInfo encoded = EncodeRecoveryInfo(CaptureRecoveryInfo(discovery, tree));
  if (!encoded.problem.empty())
    return Fail(prompter, RecoveryInfoStatus::DoesNotFit, kSaveFailure + encoded.problem + ".");

  std::string error;
  const std::filesystem::path parent = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  const auto folder = OutputFolder::Open(parent, &error);
  const auto file = folder ? folder->Create(path.filename().string(), &error) : nullptr;
  if (!file) {
    prompter.NoteCause(path.string(), error);
    return Fail(prompter, RecoveryInfoStatus::CannotOpen, std::string(kMsgUnableToOpenFile));
  }
  // A partial file would only be refused when loaded: it never takes the name.
  if (!file->Write(std::as_bytes(std::span(encoded.bytes))) || !file->Close()) {
    file->Discard();
    prompter.NoteCause(path.string(), file->error());
    return Fail(prompter, RecoveryInfoStatus::CannotWrite, std::string(kMsgUnableToWriteFile));
  }
  RecoveryInfoResult result;
  result.path = path.string();
  return result;
}

RecoveryInfoResult LoadRecoveryInfo(const std::string& path, Discovery& discovery, RecoveryTree& tree,
                                    Prompter& prompter) {
  // Opened for reading and updating: a file that may not be written is not
  // loaded. Permission checks do not bind a privileged user, so a file
  // without any write permission bit counts as read-only too.
  Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
  const int openError = errno;
  struct stat st {};
  if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) {
    prompter.NoteCause(path, fd.get() < 0                ? std::string(std::strerror(openError))
                             : !S_ISREG(st.st_mode)      ? std::string("not a regular file")
                                                         : std::string("the file may not be written"));
    return Fail(prompter, RecoveryInfoStatus::CannotOpen, std::string(kMsgUnableToOpenFile));
  }
  auto bytes = ReadAll(fd.get());
  fd.Close();
  if (!bytes) return Fail(prompter, RecoveryInfoStatus::CannotOpen, std::string(kMsgUnableToOpenFile));

  DecodedRecoveryInfo decoded = DecodeRecoveryInfo(*bytes);
  if (!decoded.info)
    return Fail(prompter, RecoveryInfoStatus::Damaged, kLoadFailure + decoded.problem + ". Nothing was loaded.");
  ApplyRecoveryInfo(*decoded.info, discovery, tree);
  RecoveryInfoResult result;
  result.path = path;
  result.rootRows = ListFolder(tree, 0);  // key 0: the volume root
  return result;
}

}  // namespace ov
