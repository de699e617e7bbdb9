#include "records/ActivityLog.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>

#include "support/RunTogether.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/Files.h"

namespace ov {
namespace {

using test::ReadFile;
namespace fs = std::filesystem;

using Utc = test::ScopedUtc;

std::time_t At(int year, int month, int day, int hour, int minute) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  return timegm(&t);
}

TEST(LogTimeStamp, FollowsTheLogsOwnFormat) {
  Utc utc;
  EXPECT_EQ(LogTimeStamp(At(2008, 1, 7, 9, 5)), "9:05 - Monday, January 07, 2008");
  EXPECT_EQ(LogTimeStamp(At(2009, 3, 1, 14, 3)), "14:03 - Sunday, March 01, 2009");
  EXPECT_EQ(LogTimeStamp(At(2026, 12, 31, 0, 0)), "0:00 - Thursday, December 31, 2026");
}

TEST(ActivityLog, AFirstQuickRunReadsAsDocumented) {
  Utc utc;
  test::TempDir dir;
  ActivityLog log(dir.path());
  EXPECT_TRUE(log.AppendStartBlock(At(2008, 1, 7, 9, 5)));
  EXPECT_TRUE(log.AppendStepBlock("Disk0", "MODEL-X", "QUICK"));
  EXPECT_TRUE(log.AppendPartitionsFound(0));
  EXPECT_TRUE(log.AppendScanCounts(12, 340));
  EXPECT_EQ(ReadFile(dir / "ActivityLog.txt"),
            "\r\n-----------------------Start--------------------------\r\nOrlindavestrum For NSS\r\n"
            "Version 11.06.07\r\n9:05 - Monday, January 07, 2008\r\n\r\nSelected Disk : 0\r\n"
            "Model Number : MODEL-X\r\nSelected Mode : QUICK\r\nTotal Partitions Found : 0\r\n"
            "No of Folders Found : 12\r\nNo of Files Found : 340");
}

TEST(ActivityLog, RestartsAFileLargerThanFiveMebibytes) {
  test::TempDir dir;
  const auto file = dir / "ActivityLog.txt";
  ActivityLog log(dir.path());
  std::ofstream(file, std::ios::binary) << std::string(kActivityLogLimit, 'a');
  EXPECT_TRUE(log.AppendLog("x"));
  EXPECT_EQ(std::filesystem::file_size(file), kActivityLogLimit + 1);  // at the limit: appended
  EXPECT_TRUE(log.AppendLog("new"));
  EXPECT_EQ(ReadFile(file), "new");  // over the limit: started afresh
}

// The blocks of parallel runs: run k's i-th block, long enough that a write
// split or overwritten by another shows.
std::string Block(int k, int i) {
  return "\r\nRun " + std::to_string(k) + " block " + std::to_string(i) + " " + std::string(3000, 'a' + k) + ".";
}

// Every block of every run is in the log once, whole, and each run's blocks
// in the order it wrote them; nothing else is there.
void ExpectAllBlocks(const std::string& log, int runs, int blocks) {
  std::size_t total = 0;
  for (int k = 0; k < runs; ++k) {
    std::size_t last = 0;
    for (int i = 0; i < blocks; ++i) {
      const std::string block = Block(k, i);
      const auto at = log.find(block);
      ASSERT_NE(at, std::string::npos) << "run " << k << " block " << i << " is missing or torn";
      EXPECT_TRUE(i == 0 || at > last) << "run " << k << " block " << i << " is out of order";
      last = at;
      total += block.size();
    }
  }
  EXPECT_EQ(log.size(), total);
}

TEST(ActivityLog, BlocksOfRunsAppendingAtOnceAreAllThereWholeAndInOrder) {
  constexpr int kRuns = 8, kBlocks = 40;
  test::TempDir dir;
  ASSERT_TRUE(test::RunTogether(kRuns, [&](int k) {
    ActivityLog log(dir.path());
    for (int i = 0; i < kBlocks; ++i)
      if (!log.AppendLog(Block(k, i))) return false;
    return true;
  }));
  ExpectAllBlocks(ReadFile(dir / "ActivityLog.txt"), kRuns, kBlocks);
}

TEST(ActivityLog, AFullLogRestartedWhileOthersAppendLosesNoNewBlock) {
  constexpr int kRuns = 8, kBlocks = 10;
  test::TempDir dir;
  const auto file = dir / "ActivityLog.txt";
  std::ofstream(file).close();
  std::filesystem::resize_file(file, kActivityLogLimit + 1);
  ASSERT_TRUE(test::RunTogether(kRuns, [&](int k) {
    ActivityLog log(dir.path());
    for (int i = 0; i < kBlocks; ++i)
      if (!log.AppendLog(Block(k, i))) return false;
    return true;
  }));
  ExpectAllBlocks(ReadFile(file), kRuns, kBlocks);
}

TEST(ActivityLog, FailsQuietlyWithoutAPathOrAWritableFolder) {
  ActivityLog none{std::filesystem::path()};
  EXPECT_FALSE(none.AppendLog("x"));
  test::TempDir dir;
  ActivityLog missing(dir / "no" / "such" / "folder");
  EXPECT_FALSE(missing.AppendLog("x"));
}

TEST(ActivityLogFolder, TheInstallationFolderWhenTheUserMayWriteThere) {
  test::TempDir dir;
  test::ScopedEnv env;
  env.Set("XDG_STATE_HOME", (dir / "state").string());
  fs::create_directory(dir / "install");
  EXPECT_EQ(ActivityLogFolder(dir / "install"), dir / "install");
  EXPECT_FALSE(fs::exists(dir / "state"));  // nothing made where it is not used
  EXPECT_EQ(ActivityLogFolder({}), fs::path());
}

TEST(ActivityLogFolder, TheUsersStateFolderWhenTheInstallationIsNotWritable) {
  test::TempDir dir;
  test::ScopedEnv env;
  env.Set("XDG_STATE_HOME", (dir / "state").string());
  // A folder the log cannot be made in, whoever runs the test: a file stands
  // where the installation folder should be.
  std::ofstream(dir / "install") << "not a folder";
  const fs::path folder = ActivityLogFolder(dir / "install");
  EXPECT_EQ(folder, dir / "state" / "ovnss");
  ASSERT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
  ActivityLog log(folder);
  EXPECT_TRUE(log.AppendLog("x"));

  // A relative XDG_STATE_HOME is ignored, as the base directory rules say.
  env.Set("XDG_STATE_HOME", "relative");
  env.Set("HOME", (dir / "home").string());
  EXPECT_EQ(ActivityLogFolder(dir / "install"), dir / "home" / ".local" / "state" / "ovnss");
}

TEST(ActivityLogFolder, AReadOnlyInstallationSendsTheLogToTheStateFolder) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  test::TempDir dir;
  test::ScopedEnv env;
  env.Set("XDG_STATE_HOME", (dir / "state").string());
  fs::create_directory(dir / "install");
  fs::permissions(dir / "install", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(ActivityLogFolder(dir / "install"), dir / "state" / "ovnss");
  fs::permissions(dir / "install", fs::perms::owner_all);
}

}  // namespace
}  // namespace ov
