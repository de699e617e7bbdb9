#include "disk/Device.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

#include "support/BuiltImage.h"
#include "support/Files.h"
#include "support/TempDir.h"

namespace ov {
namespace {

TEST(BadSectorMap, MergesTouchingAndOverlappingRanges) {
  BadSectorMap m;
  m.Add(10, 12);
  m.Add(14);
  m.Add(13);
  m.Add(5, 6);
  m.Add(0, 5);
  ASSERT_EQ(m.ranges().size(), 2u);
  EXPECT_EQ(m.ranges()[0].first, 0u);
  EXPECT_EQ(m.ranges()[0].last, 6u);
  EXPECT_EQ(m.ranges()[1].first, 10u);
  EXPECT_EQ(m.ranges()[1].last, 14u);
  EXPECT_TRUE(m.Contains(14));
  EXPECT_FALSE(m.Contains(7));
  EXPECT_FALSE(m.Intersects(7, 3));
  EXPECT_TRUE(m.Intersects(7, 4));
  EXPECT_FALSE(m.Intersects(15, 0));
}

TEST(BadSectorMap, HandlesTheTopOfTheSectorRange) {
  BadSectorMap m;
  m.Add(UINT64_MAX);
  m.Add(UINT64_MAX - 1);
  ASSERT_EQ(m.ranges().size(), 1u);
  EXPECT_TRUE(m.Intersects(UINT64_MAX - 5, 100));
  EXPECT_FALSE(m.Intersects(0, 100));
}

TEST(BadSectorList, ParsesNumbersRangesCommentsAndBlankLines) {
  auto m = ParseBadSectorList("# unreadable\n7\n\n  100-103 \r\n8\n");
  ASSERT_TRUE(m);
  ASSERT_EQ(m->ranges().size(), 2u);
  EXPECT_EQ(m->ranges()[0].first, 7u);
  EXPECT_EQ(m->ranges()[0].last, 8u);
  EXPECT_EQ(m->ranges()[1].first, 100u);
  EXPECT_EQ(m->ranges()[1].last, 103u);
}

TEST(BadSectorList, RejectsMalformedLinesWithTheirNumber) {
  for (const char* text : {"1\nx\n", "1\n5-2\n", "1\n-3\n", "1\n3-\n", "1\n99999999999999999999999\n"}) {
    std::size_t line = 0;
    EXPECT_FALSE(ParseBadSectorList(text, &line)) << text;
    EXPECT_EQ(line, 2u) << text;
  }
}

TEST(BadSectorList, LoadsFromAFile) {
  test::TempDir dir;
  std::ofstream(dir / "list") << "3\n";
  auto m = LoadBadSectorList(dir / "list");
  ASSERT_TRUE(m);
  EXPECT_TRUE(m->Contains(3));
  EXPECT_FALSE(LoadBadSectorList(dir / "missing"));
}

TEST(FaultyDevice, FailsReadsTouchingBadSectorsAndLeavesTheBufferAlone) {
  std::vector<std::byte> bytes(8 * kSectorSize, std::byte{1});
  BadSectorMap bad;
  bad.Add(4);
  FaultyDevice dev(std::make_unique<MemoryDevice>(bytes), bad);
  std::vector<std::byte> buf(4 * kSectorSize, std::byte{9});
  EXPECT_FALSE(dev.Read(2, 4, buf.data()));
  EXPECT_EQ(buf, std::vector<std::byte>(4 * kSectorSize, std::byte{9}));
  EXPECT_TRUE(dev.Read(0, 4, buf.data()));
  EXPECT_FALSE(dev.Read(6, 4, buf.data()));  // past the end
  ASSERT_EQ(dev.calls().size(), 3u);
  EXPECT_FALSE(dev.calls()[0].ok);
  EXPECT_TRUE(dev.calls()[1].ok);
}

TEST(FileDevice, CopiesBytesOfAnImageInsideTheSystemUpToItsEnd) {
  test::BuiltImage built(R"({ "size": "64KiB", "fill": [ { "at": 0, "sectors": 128 } ] })");
  ASSERT_TRUE(built.ok());
  const std::string image = test::ReadFile(built.image());
  ASSERT_NE(image.find_first_not_of('\0', 5 * kSectorSize), std::string::npos);  // junk, not zeros
  auto dev = FileDevice::Open(built.image());
  ASSERT_TRUE(dev);
  test::TempDir dir;
  const auto target = dir / "copy";
  const int to = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(to, 0);
  ASSERT_EQ(::write(to, "head", 4), 4);
  // Byte-exact, from the file's position on, and again right after.
  EXPECT_EQ(dev->CopyUnguarded(5, 10 * kSectorSize + 100, to), 10 * kSectorSize + 100);
  EXPECT_EQ(dev->CopyUnguarded(120, 100 * kSectorSize, to), 8 * kSectorSize);  // the image ends first
  EXPECT_EQ(dev->CopyUnguarded(128, 1, to), 0u);
  ::close(to);
  EXPECT_EQ(test::ReadFile(target), "head" + image.substr(5 * kSectorSize, 10 * kSectorSize + 100) +
                                        image.substr(120 * kSectorSize));

  // Into a pipe the system does not copy; the caller reads instead.
  int pipe[2];
  ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
  EXPECT_EQ(dev->CopyUnguarded(0, kSectorSize, pipe[1]), 0u);
  ::close(pipe[0]);
  ::close(pipe[1]);
  MemoryDevice memory{std::vector<std::byte>(kSectorSize)};
  EXPECT_EQ(memory.CopyUnguarded(0, kSectorSize, 1), 0u);
}

}  // namespace
}  // namespace ov
