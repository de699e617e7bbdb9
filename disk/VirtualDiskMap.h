#pragma once
// Reading the common virtual disks straight from their file.
//
// A QCOW2 file and a monolithic sparse VMDK both place the disk in clusters
// (grains) found through a two-level table: a first table, read whole at
// open, names the second-level tables, and each entry of those says where a
// cluster lies in the file or that it holds zeros. When the file is of the
// plain kind such a table describes (no backing or parent disk, no
// encryption, no compressed or otherwise special clusters in the stretch
// read), the stretch is read here with one pread per run of clusters that
// lie one after the other in the file, straight into the caller's buffer.
//
// Anything else answers "not here", and the caller reads the stretch
// through the format's library as before: a cluster compressed, marked in a
// way not known here, or lying past the end of the file (a cut copy) is the
// library's to read or to fail. The tables are untrusted bytes: every offset
// is checked against the file before it is used.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace ov {

class VirtualDiskMap {
public:
  // Nothing when the file is not of the plain kind read here, or cannot be
  // read; `diskBytes` is the size its library gives, which the file's own
  // header must agree with.
  static std::unique_ptr<VirtualDiskMap> ForQcow(const std::filesystem::path& path, std::uint64_t diskBytes);
  // A VMDK whose one extent is the sparse file `path` itself, with no parent.
  static std::unique_ptr<VirtualDiskMap> ForSparseVmdk(const std::filesystem::path& path, std::uint64_t diskBytes);
  ~VirtualDiskMap();
  VirtualDiskMap(const VirtualDiskMap&) = delete;
  VirtualDiskMap& operator=(const VirtualDiskMap&) = delete;

  // Reads [offset, offset + bytes) of the disk into `out`. False when some
  // cluster in it is not read here or the file could not give it: the
  // caller then reads the whole stretch another way (`out` may be changed).
  bool Read(std::byte* out, std::size_t bytes, std::uint64_t offset);

private:
  enum class Format { Qcow2, Qcow3, Vmdk };
  // Where one cluster of the disk is.
  struct Place {
    enum Kind { Data, Zero, Elsewhere } kind;
    std::uint64_t at;  // its byte offset in the file, for Data
  };
  VirtualDiskMap(int fd, Format format, std::uint64_t fileBytes);
  // `count` table entries of `entryBytes_` bytes at byte `at` of the file;
  // empty when they do not lie in the file or cannot be read.
  std::vector<std::uint64_t> ReadEntries(std::uint64_t at, std::uint64_t count) const;
  Place Locate(std::uint64_t cluster);
  // The second-level table at first-level index `index`, read on first use;
  // nothing when it cannot be.
  const std::vector<std::uint64_t>* Table(std::uint64_t index);
  Place Decode(std::uint64_t entry) const;
  bool ReadFile(std::byte* out, std::size_t bytes, std::uint64_t at) const;

  int fd_;
  Format format_;
  std::uint64_t fileBytes_;
  std::uint64_t diskBytes_ = 0;
  std::uint32_t clusterBytes_ = 0;
  std::uint32_t entriesPerTable_ = 0;  // second-level entries
  std::uint32_t entryBytes_ = 0;       // 8 for QCOW, 4 for VMDK
  // First-level entries as byte offsets of their table in the file; 0 for
  // none (zeros), kUnusable for an entry that does not point into the file.
  std::vector<std::uint64_t> top_;
  std::vector<std::unique_ptr<std::vector<std::uint64_t>>> tables_;
  std::size_t tablesLoaded_ = 0;
};

}  // namespace ov
