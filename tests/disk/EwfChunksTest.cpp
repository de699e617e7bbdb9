// The chunk map of an E01 set, read from the segment files ewfacquirestream
// makes, finds every chunk of the disk; a set that does not add up has none.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <fstream>
#include <set>

#include "disk/EwfChunks.h"
#include "support/Containers.h"
#include "support/Files.h"

namespace ov {
namespace {

using test::ContainerSet;

struct Segments {
  std::vector<std::string> bytes;
  std::vector<std::uint64_t> sizes;
  EwfChunkMap::ReadAt reader() const {
    return [this](std::size_t f, std::uint64_t at, void* out, std::size_t n) {
      if (at > bytes[f].size() || n > bytes[f].size() - at) return false;
      std::memcpy(out, bytes[f].data() + at, n);
      return true;
    };
  }
};

// name.E01, name.E02, ... as far as they go, the first `count` of them.
Segments Load(const std::string& name, std::size_t count = 99) {
  Segments s;
  for (int i = 1; s.bytes.size() < count; ++i) {
    const auto path = ContainerSet::Get() / (name + (i < 10 ? ".E0" : ".E") + std::to_string(i));
    if (!std::filesystem::exists(path)) break;
    s.bytes.push_back(test::ReadFile(path));
    s.sizes.push_back(s.bytes.back().size());
  }
  return s;
}

// Every chunk of the map, inflated or taken as it is, against the disk.
void ExpectChunksAreTheDisk(const std::string& name, std::uint64_t diskBytes) {
  SCOPED_TRACE(name);
  const std::string raw = test::ReadFile(ContainerSet::Get().raw()).substr(0, diskBytes);
  const Segments s = Load(name);
  const auto map = EwfChunkMap::Read(s.reader(), s.sizes, 32768, diskBytes);
  ASSERT_TRUE(map);
  ASSERT_EQ(map->chunks(), (diskBytes + 32767) / 32768);
  std::set<std::uint32_t> files;
  std::size_t compressed = 0;
  for (std::uint64_t i = 0; i < map->chunks(); ++i) {
    const EwfChunkMap::Chunk c = map->At(i);
    files.insert(c.file);
    const std::string_view stored(s.bytes[c.file].data() + c.offset, c.size);
    const std::string want = raw.substr(i * 32768, 32768);
    std::string got(want.size(), '\0');
    if (c.compressed) {
      ++compressed;
      uLongf n = got.size();
      ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(got.data()), &n, reinterpret_cast<const Bytef*>(stored.data()),
                           stored.size()),
                Z_OK)
          << i;
      ASSERT_EQ(n, want.size()) << i;
    } else {
      ASSERT_EQ(stored.size(), want.size() + 4) << i;
      got = stored.substr(0, want.size());
    }
    ASSERT_EQ(got, want) << "chunk " << i;
  }
  EXPECT_EQ(files.size(), s.bytes.size());  // the tables of every segment
  EXPECT_EQ(compressed > 0, name != "plain");
}

TEST(EwfChunks, TheMapOfEverySegmentFindsEachChunkOfTheDisk) {
  ASSERT_TRUE(ContainerSet::Get().ok());
  ExpectChunksAreTheDisk("plain", 8u << 20);
  ExpectChunksAreTheDisk("packed", 8u << 20);
  ExpectChunksAreTheDisk("odd", (8u << 20) - 3 * 512);
}

TEST(EwfChunks, ASetThatDoesNotAddUpHasNoMap) {
  ASSERT_TRUE(ContainerSet::Get().ok());
  const Segments plain = Load("plain");
  ASSERT_EQ(plain.bytes.size(), 5u);
  EXPECT_TRUE(EwfChunkMap::Read(plain.reader(), plain.sizes, 32768, 8u << 20));
  // Another chunk size or disk size, fewer segments, one cut short or
  // inside its headers, none at all.
  EXPECT_FALSE(EwfChunkMap::Read(plain.reader(), plain.sizes, 65536, 8u << 20));
  EXPECT_FALSE(EwfChunkMap::Read(plain.reader(), plain.sizes, 32768, (8u << 20) + 32768));
  EXPECT_FALSE(EwfChunkMap::Read(plain.reader(), plain.sizes, 32768, (8u << 20) - 512));
  const Segments four = Load("plain", 4);
  EXPECT_FALSE(EwfChunkMap::Read(four.reader(), four.sizes, 32768, 8u << 20));
  for (const char* name : {"truncated", "cut"}) {
    const Segments damaged = Load(name);
    EXPECT_FALSE(EwfChunkMap::Read(damaged.reader(), damaged.sizes, 32768, 8u << 20)) << name;
  }
  EXPECT_FALSE(EwfChunkMap::Read(plain.reader(), {}, 32768, 8u << 20));
  // The corrupt set's tables are whole: its damaged chunk is the reader's to find.
  const Segments corrupt = Load("corrupt");
  EXPECT_TRUE(EwfChunkMap::Read(corrupt.reader(), corrupt.sizes, 32768, 8u << 20));
}

}  // namespace
}  // namespace ov
