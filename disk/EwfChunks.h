#pragma once
// Where each chunk of an E01 set lies in its segment files, read from the
// files' own section chains, so that the chunks can be read straight from
// the files.
//
// Every segment file starts with its number and a chain of sections, each
// with a descriptor (its type, the offset of the next one, its size, an
// Adler-32 of the descriptor). A "sectors" section holds chunks one after
// the other; the "table" after it gives each chunk's offset from the table's
// base (the top bit set for a compressed chunk, a zlib stream); a chunk ends
// where the next begins, the last where its sectors section ends. A chunk
// stored as it is carries its Adler-32 after it. "next" ends every segment
// but the last, which ends with "done".
//
// The chains come from files nobody vouches for: anything that does not
// add up (a checksum, an offset outside its section or file, a chunk stored
// as it is but not of its size, more or fewer chunks than the disk has)
// makes the whole map unusable, and the library reads instead.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace ov {

class EwfChunkMap {
public:
  struct Chunk {
    std::uint32_t file = 0;
    std::uint64_t offset = 0;  // in the file
    std::uint64_t size = 0;    // stored: with the checksum, or the zlib stream
    bool compressed = false;
  };

  // Reads `size` bytes at `offset` of segment file `file`; false when they
  // are not all there.
  using ReadAt = std::function<bool(std::size_t file, std::uint64_t offset, void* out, std::size_t size)>;

  // The map of a set of `fileSizes.size()` segment files holding a disk of
  // `mediaBytes` in chunks of `chunkBytes`; nothing when the files do not
  // add up.
  static std::optional<EwfChunkMap> Read(const ReadAt& read, const std::vector<std::uint64_t>& fileSizes,
                                         std::uint32_t chunkBytes, std::uint64_t mediaBytes);

  std::uint64_t chunks() const { return entries_.size(); }
  // Chunk `index` (< chunks()).
  Chunk At(std::uint64_t index) const;

private:
  // The chunks of one table.
  struct Run {
    std::uint64_t first;  // the index of its first chunk
    std::uint32_t file;
    std::uint64_t base;
    std::uint64_t end;  // where its last chunk ends: the end of its sectors section
  };
  std::vector<Run> runs_;
  std::vector<std::uint32_t> entries_;
};

}  // namespace ov
