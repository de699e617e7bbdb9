#pragma once
// A volume as a save of the whole of it would write it, without writing it:
// the same safe names in the same folders, the same file lengths and
// bytes, read on demand from the disk through the same translation. The
// read-only mount serves it.
//
// Where a save would meet two entries of one name in a folder, the first
// it writes stays there, as it does when existing files are kept: in the
// volume's root the folders come first, in every other folder the files;
// two folders of one name share the folder they are saved into; a file a
// save could not write (its data outside the pool, or its name taken by a
// folder) and a folder whose name is taken by a file are left out with
// what they hold.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk/DiskView.h"
#include "nss/Pools.h"
#include "nss/RecoveryTree.h"
#include "save/FileRuns.h"

namespace ov {

class SavedTree {
public:
  static constexpr std::uint32_t kRoot = 0;

  struct Entry {
    std::string name;                   // the safe name; "" for the root
    std::uint32_t parent = kRoot;
    bool folder = false;
    std::uint32_t time = 0;             // the recorded stamp, 0 when none (and for the root)
    std::uint64_t objectId = 0;
    std::uint64_t size = 0;             // files: the saved length
    std::vector<DiskRun> runs;          // files: where the bytes are
    std::string volumePath;             // "\\A\\b.doc", 8-bit as the volume names it
    std::vector<std::uint32_t> children;  // folders: entries, sorted by name
  };

  SavedTree(const RecoveryTree& tree, const PoolInfo& pool);

  const Entry& at(std::uint32_t entry) const { return entries_[entry]; }
  std::size_t size() const { return entries_.size(); }
  // The entry at `path` ("/", "/A/b.doc"; UTF-8 safe names), if any.
  std::optional<std::uint32_t> Find(std::string_view path) const;
  // The child of a folder entry by name.
  std::optional<std::uint32_t> Child(std::uint32_t folder, std::string_view name) const;

  // Reads up to `length` bytes of a file entry from `offset` into `out`, as
  // the save would have written them (unreadable sectors follow the
  // reader's bad-sector answer and read as zeros); answers the bytes read
  // (0 at or after the end) and adds to `unreadSectors` the sectors the
  // disk did not give. One reader at a time (it keeps a scratch buffer).
  std::size_t Read(const DiskView& disk, std::uint32_t entry, std::uint64_t offset, std::span<std::byte> out,
                   std::uint64_t& unreadSectors) const;

private:
  std::vector<Entry> entries_;
  mutable std::vector<std::byte> scratch_;
};

}  // namespace ov
