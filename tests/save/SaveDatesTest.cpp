// The "File Updated" dates of the save settings: which time stamps they let
// through, and a save run that honours them.

#include <gtest/gtest.h>

#include <ctime>
#include <set>

#include "nss/Discovery.h"
#include "nss/RecordScan.h"
#include "save/SaveRun.h"
#include "support/ScopedEnv.h"
#include "support/TestDisk.h"

namespace ov {
namespace {

// Seconds since 1970 of a UTC time.
std::uint32_t Utc(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  return static_cast<std::uint32_t>(timegm(&tm));
}

// The dates are days of local time; these tests fix the zone.
struct DatesFixture : ::testing::Test {
  DatesFixture() {
    env.Set("TZ", "UTC");
    tzset();
  }
  ~DatesFixture() override { tzset(); }
  void After(std::string_view day) {
    const auto rows = DatePositions(day, kAfterYearRows);
    ASSERT_TRUE(rows) << day;
    settings.afterDay = (*rows)[0];
    settings.afterMonth = (*rows)[1];
    settings.afterYear = (*rows)[2];
  }
  void Before(std::string_view day) {
    const auto rows = DatePositions(day, kEarlierYearRows);
    ASSERT_TRUE(rows) << day;
    settings.earlierDay = (*rows)[0];
    settings.earlierMonth = (*rows)[1];
    settings.earlierYear = (*rows)[2];
  }
  test::ScopedEnv env;
  SaveSettings settings;
};

TEST_F(DatesFixture, TheDefaultsLetEveryFileThroughEvenPast2030) {
  for (std::uint32_t t : {0u, 1u, Utc(2004, 3, 15, 9, 30), Utc(2031, 6, 1), UINT32_MAX}) {
    EXPECT_TRUE(settings.AdmitsTime(t)) << t;
  }
}

TEST_F(DatesFixture, BothDaysAreInclusiveAndAFileWithoutAStampPasses) {
  After("2004-03-15");
  Before("2004-03-16");
  EXPECT_FALSE(settings.AdmitsTime(Utc(2004, 3, 14, 23, 59, 59)));
  EXPECT_TRUE(settings.AdmitsTime(Utc(2004, 3, 15)));
  EXPECT_TRUE(settings.AdmitsTime(Utc(2004, 3, 16, 23, 59, 59)));
  EXPECT_FALSE(settings.AdmitsTime(Utc(2004, 3, 17)));
  EXPECT_TRUE(settings.AdmitsTime(0));
  // Earlier set to 31/12/2030 by hand is the default again: no upper bound.
  Before("2030-12-31");
  EXPECT_TRUE(settings.AdmitsTime(Utc(2040, 1, 1)));
  // After past Earlier: no stamped file.
  Before("2004-03-14");
  EXPECT_FALSE(settings.AdmitsTime(Utc(2004, 3, 14, 12)));
  EXPECT_FALSE(settings.AdmitsTime(Utc(2004, 3, 15, 12)));
  EXPECT_TRUE(settings.AdmitsTime(0));
}

TEST_F(DatesFixture, ADayPastTheMonthsEndStandsForItsLastDay) {
  settings.earlierDay = 30;  // 31/02/2003
  settings.earlierMonth = 1;
  settings.earlierYear = 2003 - kFirstListYear;
  EXPECT_TRUE(settings.AdmitsTime(Utc(2003, 2, 28, 23, 59, 59)));
  EXPECT_FALSE(settings.AdmitsTime(Utc(2003, 3, 1)));
  settings.afterDay = 30;  // 31/02/2000, a leap year
  settings.afterMonth = 1;
  settings.afterYear = 2000 - kFirstListYear;
  EXPECT_FALSE(settings.AdmitsTime(Utc(2000, 2, 28, 23, 59, 59)));
  EXPECT_TRUE(settings.AdmitsTime(Utc(2000, 2, 29)));
}

TEST_F(DatesFixture, TheBoundsAreLocalDays) {
  env.Set("TZ", "EST5");
  tzset();
  After("2004-03-15");  // starts 05:00 UTC
  EXPECT_FALSE(settings.AdmitsTime(Utc(2004, 3, 15, 4, 59, 59)));
  EXPECT_TRUE(settings.AdmitsTime(Utc(2004, 3, 15, 5)));
}

TEST(DatePositions, ReadDaysWithinTheListsOnly) {
  EXPECT_EQ(DatePositions("1970-01-01", kAfterYearRows), (std::array<int, 3>{0, 0, 0}));
  EXPECT_EQ(DatePositions("2030-12-31", kAfterYearRows), (std::array<int, 3>{30, 11, 60}));
  EXPECT_EQ(DatePositions("2099-12-31", kEarlierYearRows), (std::array<int, 3>{30, 11, 129}));
  for (const char* bad : {"2031-01-01", "1969-12-31", "2004-02-30", "2004-13-01", "2004-3-15", "2004/03/15",
                          "2004-03-15x", "", "abcd-ef-gh"}) {
    EXPECT_FALSE(DatePositions(bad, kAfterYearRows)) << bad;
  }
  EXPECT_TRUE(DatePositions("2004-02-29", kAfterYearRows));
  EXPECT_TRUE(DatePositions("2031-01-01", kEarlierYearRows));
  EXPECT_FALSE(DatePositions("2100-01-01", kEarlierYearRows));
}

// Files of three days and one without a time stamp.
constexpr const char* kDatedVolume = R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "2MiB" } ] } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
    { "folder": "Docs", "items": [
      { "file": "early.txt", "text": "a", "time": "2004-03-14 23:59:59" },
      { "file": "first.txt", "text": "b", "time": "2004-03-15 00:00:00" },
      { "file": "last.txt", "text": "c", "time": "2004-03-16 23:59:59" },
      { "file": "late.txt", "text": "d", "time": "2004-03-17 00:00:00" },
      { "file": "unstamped.txt", "text": "e", "attributes": false } ] } ] } ] } ] })";

TEST_F(DatesFixture, ASaveRunWritesOnlyTheFilesOfTheDays) {
  test::TestDisk disk(kDatedVolume);
  ASSERT_TRUE(disk.ok());
  Discovery discovery(disk.view());
  QuickPartitionScan(disk.view(), discovery.pools());
  discovery.OpenSelectedPool(disk.prompter);
  RecoveryTree tree;
  ScanVolume(disk.view(), discovery.currentPool(), discovery.volumes()[0].rootSector, false, tree, nullptr);
  After("2004-03-15");
  Before("2004-03-16");
  SaveProgress progress;
  SaveListener listener;
  Extractor extractor(disk.view(), discovery.currentPool(), tree, settings, disk.prompter, progress, listener);
  SaveRun run(extractor, tree, settings, progress, disk.prompter);
  tree.ClickCheck(kRootItem);
  test::TempDir out;
  run.Run(SaveSource::Tree, out.path(), {});
  std::set<std::string> written;
  for (const auto& e : std::filesystem::directory_iterator(out / "Docs")) written.insert(e.path().filename());
  EXPECT_EQ(written, (std::set<std::string>{"first.txt", "last.txt", "unstamped.txt"}));
  EXPECT_EQ(progress.Count(SaveOutcome::Filtered), 2u);
  EXPECT_EQ(progress.plannedFiles.load(), 5u);  // the size count applies no filter
}

}  // namespace
}  // namespace ov
