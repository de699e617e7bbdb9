#include "save/OutputFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "support/TempDir.h"

namespace ov {
namespace {

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::span<const std::byte> BytesOf(std::string_view text) { return std::as_bytes(std::span(text)); }

TEST(OutputFolder, WritesAFileInTheFolder) {
  test::TempDir dir;
  auto folder = OutputFolder::Open(dir.path());
  ASSERT_TRUE(folder);
  auto file = folder->Create("DOC1.DOC");
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->Write(BytesOf("hello ")));
  EXPECT_TRUE(file->Write(BytesOf("world")));
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(ReadAll(dir / "DOC1.DOC"), "hello world");
}

TEST(OutputFolder, ReplacesAnExistingFile) {
  test::TempDir dir;
  std::ofstream(dir / "DOC1.DOC") << "an older and longer content";
  auto folder = OutputFolder::Open(dir.path());
  auto file = folder->Create("DOC1.DOC");
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->Write(BytesOf("new")));
  file.reset();  // closing through the destructor
  EXPECT_EQ(ReadAll(dir / "DOC1.DOC"), "new");
}

TEST(OutputFolder, NeverWritesThroughASymbolicLink) {
  test::TempDir dir;
  test::TempDir elsewhere;
  std::ofstream(elsewhere / "target") << "untouched";
  std::filesystem::create_symlink(elsewhere / "target", dir / "ZIP1.ZIP");
  auto folder = OutputFolder::Open(dir.path());
  auto file = folder->Create("ZIP1.ZIP");
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->Write(BytesOf("archive")));
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(ReadAll(elsewhere / "target"), "untouched");
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "ZIP1.ZIP"));
  EXPECT_EQ(ReadAll(dir / "ZIP1.ZIP"), "archive");
}

TEST(OutputFolder, RefusesNamesThatLeaveTheFolder) {
  test::TempDir dir;
  std::filesystem::create_directory(dir / "sub");
  auto folder = OutputFolder::Open(dir / "sub");
  for (const char* name : {"", ".", "..", "../escape", "a/b", "/tmp/x"}) {
    std::string error;
    EXPECT_FALSE(folder->Create(name, &error)) << name;
    EXPECT_FALSE(error.empty()) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "escape"));
}

TEST(OutputFolder, ReportsWhyAFileCannotBeCreated) {
  test::TempDir dir;
  std::filesystem::create_directory(dir / "DOC1.DOC");
  auto folder = OutputFolder::Open(dir.path());
  std::string error;
  EXPECT_FALSE(folder->Create("DOC1.DOC", &error));
  EXPECT_FALSE(error.empty());
}

TEST(OutputFolder, MissingFolderCannotBeOpened) {
  test::TempDir dir;
  std::string error;
  EXPECT_FALSE(OutputFolder::Open(dir / "missing", &error));
  EXPECT_FALSE(error.empty());
}

TEST(OutputFolder, DevicesAreNotWritten) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no writable /dev/full";
  auto folder = OutputFolder::Open("/dev");
  ASSERT_TRUE(folder);
  std::string error;
  EXPECT_FALSE(folder->Create("full", &error));
  EXPECT_EQ(error, "not a regular file");
}

}  // namespace
}  // namespace ov
