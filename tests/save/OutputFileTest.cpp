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
  EXPECT_TRUE(file->Close());
  EXPECT_EQ(ReadAll(dir / "DOC1.DOC"), "new");
}

TEST(OutputFolder, NeverWritesThroughASymbolicLink) {
  test::TempDir dir;
  test::TempDir elsewhere;
  std::ofstream(elsewhere / "target") << "untouched";
  std::filesystem::create_symlink(elsewhere / "target", dir / "ZIP1.ZIP");
  auto folder = OutputFolder::Open(dir.path());
  std::string error;
  EXPECT_FALSE(folder->Create("ZIP1.ZIP", &error));
  EXPECT_EQ(error, OutputFolder::kLinkRefused);
  EXPECT_EQ(ReadAll(elsewhere / "target"), "untouched");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "ZIP1.ZIP"));
}

TEST(OutputFolder, AFileTakesItsNameOnlyWhenClosedWhole) {
  test::TempDir dir;
  std::ofstream(dir / "a.txt") << "older";
  auto folder = OutputFolder::Open(dir.path());
  auto file = folder->Create("a.txt");
  ASSERT_TRUE(file);
  EXPECT_TRUE(file->Write(BytesOf("newer")));
  EXPECT_EQ(ReadAll(dir / "a.txt"), "older");  // meanwhile under a temporary name beside it
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
  file->SetTime(1079343000);
  EXPECT_TRUE(file->Close());
  struct stat info {};  // before reading, which may move the access time
  ASSERT_EQ(::stat((dir / "a.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 1079343000);
  EXPECT_EQ(info.st_atime, 1079343000);
  EXPECT_EQ(ReadAll(dir / "a.txt"), "newer");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  auto dropped = folder->Create("b.txt");
  ASSERT_TRUE(dropped);
  EXPECT_TRUE(dropped->Write(BytesOf("partial")));
  dropped.reset();  // never closed: nothing stays
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(OutputFolder, SubfoldersAreMadeInPlaceAndNeverThroughALink) {
  test::TempDir dir;
  test::TempDir elsewhere;
  std::filesystem::create_directory_symlink(elsewhere.path(), dir / "Shared");
  auto folder = OutputFolder::Open(dir.path());
  std::string error;
  EXPECT_FALSE(folder->Folder("Shared", &error));
  EXPECT_EQ(error, OutputFolder::kLinkRefused);
  EXPECT_FALSE(folder->Folder("..", &error));
  auto made = folder->Folder("New");
  ASSERT_TRUE(made);
  EXPECT_EQ(made->path(), dir / "New");
  EXPECT_TRUE(made->SetTime(1067781600));
  struct stat info {};
  ASSERT_EQ(::stat((dir / "New").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 1067781600);
  auto again = folder->Folder("New");  // an existing folder is opened
  EXPECT_TRUE(again);
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.path()));
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
