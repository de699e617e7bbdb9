#include "disk/SectorReader.h"

#include <fcntl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

#include "disk/Device.h"
#include "disk/DeviceOpener.h"
#include "support/FakePrompter.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"

namespace ov {
namespace {

using test::FakePrompter;
using test::QuestionKind;

constexpr std::byte kOld{0xEE};

// A disk whose sector s holds bytes (s * 7 + i) & 0xFF.
std::vector<std::byte> Pattern(std::uint64_t sectors) {
  std::vector<std::byte> bytes(sectors * kSectorSize);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::byte((i / kSectorSize * 7 + i) & 0xFF);
  return bytes;
}

// Hands out one faulty in-memory disk for the first device path and nothing
// for any other; remembers the paths asked for.
class TestOpener : public DeviceOpener {
public:
  TestOpener(std::uint64_t sectors, BadSectorMap bad) : bytes_(Pattern(sectors)), bad_(std::move(bad)) {}
  std::unique_ptr<Device> Open(std::string_view path) override {
    opened.emplace_back(path);
    if (path != kDevicePathTable[0] && path != kFloppyDevicePath) return nullptr;
    auto dev = std::make_unique<FaultyDevice>(std::make_unique<MemoryDevice>(bytes_), bad_);
    last = dev.get();
    return dev;
  }
  std::vector<std::string> opened;
  FaultyDevice* last = nullptr;
  const std::vector<std::byte>& bytes() const { return bytes_; }

private:
  std::vector<std::byte> bytes_;
  BadSectorMap bad_;
};

BadSectorMap Bad(std::initializer_list<std::uint64_t> sectors) {
  BadSectorMap map;
  for (auto s : sectors) map.Add(s);
  return map;
}

struct ReaderFixture : ::testing::Test {
  void Make(BadSectorMap bad) {
    opener = std::make_unique<TestOpener>(64, std::move(bad));
    reader = std::make_unique<SectorReader>(*opener, prompter);
  }
  std::vector<std::byte> Buffer(std::uint32_t sectors) { return std::vector<std::byte>(sectors * kSectorSize, kOld); }
  bool SectorIs(const std::vector<std::byte>& buf, std::uint32_t i, std::uint64_t diskSector) {
    return std::memcmp(buf.data() + i * kSectorSize, opener->bytes().data() + diskSector * kSectorSize, kSectorSize) == 0;
  }
  bool SectorIsOld(const std::vector<std::byte>& buf, std::uint32_t i) {
    return std::all_of(buf.begin() + i * kSectorSize, buf.begin() + (i + 1) * kSectorSize,
                       [](std::byte b) { return b == kOld; });
  }

  FakePrompter prompter;
  std::unique_ptr<TestOpener> opener;
  std::unique_ptr<SectorReader> reader;
  std::string_view disk0 = kDevicePathTable[0];
};

TEST_F(ReaderFixture, WholeRunReadAnswersOneAndAsksNothing) {
  Make({});
  auto buf = Buffer(8);
  EXPECT_EQ(reader->ReadSectors(disk0, 16, 0, 8, buf.data()), 1u);
  for (std::uint32_t i = 0; i < 8; ++i) EXPECT_TRUE(SectorIs(buf, i, 16 + i));
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST_F(ReaderFixture, RetryRereadsEachSectorOnceAndKeepsOldBytesOfBadOnes) {
  Make(Bad({19, 21}));
  prompter.badSectorAnswers = {BadSectorChoice::Retry};
  auto buf = Buffer(8);
  EXPECT_EQ(reader->ReadSectors(disk0, 16, 0, 8, buf.data()), 0u);
  ASSERT_EQ(opener->last->calls().size(), 9u);  // the run, then each sector once
  for (std::uint32_t i = 0; i < 8; ++i) {
    EXPECT_EQ(opener->last->calls()[1 + i].first, 16u + i);
    EXPECT_EQ(opener->last->calls()[1 + i].count, 1u);
    if (i == 3 || i == 5) {
      EXPECT_TRUE(SectorIsOld(buf, i)) << i;
    } else {
      EXPECT_TRUE(SectorIs(buf, i, 16 + i)) << i;
    }
  }
  EXPECT_EQ(reader->Policy(), BadSectorPolicy::Retry);
  EXPECT_EQ(prompter.Asked(QuestionKind::BadSector).size(), 1u);
}

TEST_F(ReaderFixture, RetryAnswersZeroEvenWhenEverySingleSectorReads) {
  // A run that fails as a whole but whose sectors all read one by one: the
  // result is still 0 and the buffer holds the data.
  class FlakyOpener : public DeviceOpener {
  public:
    struct Dev : Device {
      MemoryDevice inner{Pattern(16)};
      bool Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) override {
        return count == 1 && inner.Read(first, count, buffer);
      }
      std::uint64_t SectorCount() const override { return 16; }
    };
    std::unique_ptr<Device> Open(std::string_view) override { return std::make_unique<Dev>(); }
  } flaky;
  SectorReader r(flaky, prompter);
  prompter.badSectorAnswers = {BadSectorChoice::Retry};
  auto buf = Buffer(8);
  EXPECT_EQ(r.ReadSectors(disk0, 0, 0, 8, buf.data()), 0u);
  EXPECT_EQ(std::memcmp(buf.data(), Pattern(16).data(), 8 * kSectorSize), 0);
}

TEST_F(ReaderFixture, SkipLeavesBufferUntouched) {
  Make(Bad({3}));
  prompter.badSectorAnswers = {BadSectorChoice::Skip, BadSectorChoice::Skip};
  auto buf = Buffer(8);
  EXPECT_EQ(reader->ReadSectors(disk0, 0, 0, 8, buf.data()), 0u);
  EXPECT_EQ(reader->ReadSectors(disk0, 0, 0, 8, buf.data()), 0u);
  for (std::uint32_t i = 0; i < 8; ++i) EXPECT_TRUE(SectorIsOld(buf, i));
  EXPECT_EQ(opener->last->calls().size(), 2u);
  EXPECT_EQ(prompter.Asked(QuestionKind::BadSector).size(), 2u);  // Skip holds for one read only
}

TEST_F(ReaderFixture, SkipAllIsRememberedAndNeverAsksAgain) {
  Make(Bad({3, 40}));
  prompter.badSectorAnswers = {BadSectorChoice::SkipAll};
  auto buf = Buffer(8);
  EXPECT_EQ(reader->ReadSectors(disk0, 0, 0, 8, buf.data()), 0u);
  EXPECT_EQ(reader->ReadSectors(disk0, 40, 0, 8, buf.data()), 0u);
  EXPECT_EQ(reader->ReadSectors(disk0, 8, 0, 8, buf.data()), 1u);
  EXPECT_EQ(reader->ReadSectors(disk0, 0, 0, 8, buf.data()), 0u);
  EXPECT_TRUE(SectorIs(buf, 0, 8));  // the failed reads left the good read's bytes
  EXPECT_EQ(prompter.Asked(QuestionKind::BadSector).size(), 1u);
  EXPECT_EQ(reader->Policy(), BadSectorPolicy::SkipAll);
}

TEST_F(ReaderFixture, RetryAllRetriesSilentlyFromThenOn) {
  Make(Bad({2, 33}));
  prompter.badSectorAnswers = {BadSectorChoice::RetryAll};
  auto buf = Buffer(4);
  EXPECT_EQ(reader->ReadSectors(disk0, 0, 0, 4, buf.data()), 0u);
  EXPECT_TRUE(SectorIsOld(buf, 2));
  EXPECT_EQ(reader->ReadSectors(disk0, 32, 0, 4, buf.data()), 0u);
  EXPECT_TRUE(SectorIs(buf, 0, 32));
  EXPECT_TRUE(SectorIs(buf, 2, 34));
  EXPECT_TRUE(SectorIs(buf, 1, 1));  // sector 33 failed and kept sector 1's bytes
  EXPECT_EQ(prompter.Asked(QuestionKind::BadSector).size(), 1u);
}

TEST_F(ReaderFixture, MissingDeviceFailsSilentlyWithBufferUntouched) {
  Make({});
  auto buf = Buffer(1);
  EXPECT_EQ(reader->ReadSectors(kDevicePathTable[5], 0, 0, 1, buf.data()), 0u);
  EXPECT_TRUE(SectorIsOld(buf, 0));
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST_F(ReaderFixture, FloppySourceReadsTheFloppyDeviceWhateverPathIsPassed) {
  Make({});
  reader->SetSourceName("Disk0 Floppy");
  auto buf = Buffer(1);
  EXPECT_EQ(reader->ReadSectors(kDevicePathTable[7], 5, 0, 1, buf.data()), 1u);
  EXPECT_EQ(opener->opened.back(), "\\\\.\\A:");
  reader->SetSourceName("Disk0");
  EXPECT_EQ(reader->ReadSectors(kDevicePathTable[0], 5, 0, 1, buf.data()), 1u);
  EXPECT_EQ(opener->opened.back(), kDevicePathTable[0]);
}

TEST_F(ReaderFixture, DeviceStaysOpenBetweenReads) {
  Make({});
  auto buf = Buffer(1);
  for (int i = 0; i < 5; ++i) reader->ReadSectors(disk0, static_cast<std::uint32_t>(i), 0, 1, buf.data());
  EXPECT_EQ(opener->opened.size(), 1u);
}

TEST_F(ReaderFixture, HighHalfOfTheSectorNumberIsUsed) {
  struct Recording : Device {
    std::uint64_t lastFirst = 0;
    bool Read(std::uint64_t first, std::uint32_t, std::byte*) override {
      lastFirst = first;
      return true;
    }
    std::uint64_t SectorCount() const override { return UINT64_MAX; }
  };
  struct Opener : DeviceOpener {
    Recording* dev = nullptr;
    std::unique_ptr<Device> Open(std::string_view) override {
      auto d = std::make_unique<Recording>();
      dev = d.get();
      return d;
    }
  } rec;
  SectorReader r(rec, prompter);
  auto buf = Buffer(1);
  EXPECT_EQ(r.ReadSectors(disk0, 7, 2, 1, buf.data()), 1u);
  EXPECT_EQ(rec.dev->lastFirst, (std::uint64_t{2} << 32) | 7);
}

TEST_F(ReaderFixture, ReadStretchReadsWithoutAskingAndFailsSilently) {
  Make(Bad({5}));
  auto buf = Buffer(8);
  EXPECT_TRUE(reader->ReadStretch(disk0, 8, 8, buf.data()));
  EXPECT_TRUE(SectorIs(buf, 0, 8));
  EXPECT_FALSE(reader->ReadStretch(disk0, 0, 8, buf.data()));  // sector 5 is bad
  EXPECT_FALSE(reader->ReadStretch(kDevicePathTable[6], 0, 1, buf.data()));  // no such device
  reader->SetOsFamily('F');
  EXPECT_FALSE(reader->ReadStretch(disk0, 8, 8, buf.data()));  // the library path has none
  EXPECT_TRUE(prompter.Asked().empty());
}

// ReadChunks must give what the same reads one by one give, for any bad
// sectors and any answers.
TEST(SectorReaderChunks, ChunkedReadMatchesSeparateReads) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 40; ++round) {
    BadSectorMap bad;
    const int nbad = static_cast<int>(rng() % 4);
    for (int i = 0; i < nbad; ++i) bad.Add(rng() % 64);
    const auto answer = static_cast<BadSectorChoice>(rng() % 4);

    FakePrompter p1, p2;
    for (int i = 0; i < 8; ++i) {
      p1.badSectorAnswers.push_back(answer);
      p2.badSectorAnswers.push_back(answer);
    }
    TestOpener o1(64, bad), o2(64, bad);
    SectorReader chunked(o1, p1), separate(o2, p2);
    std::vector<std::byte> a(64 * kSectorSize, kOld), b(64 * kSectorSize, kOld);
    const std::uint32_t whole = chunked.ReadChunks(kDevicePathTable[0], 0, 8, 8, a.data());
    std::uint32_t expected = 0;
    for (std::uint32_t c = 0; c < 8; ++c) {
      expected += separate.ReadSectors(kDevicePathTable[0], c * 8, 0, 8, b.data() + c * 8 * kSectorSize) != 0;
    }
    EXPECT_EQ(whole, expected) << "round " << round;
    EXPECT_EQ(a, b) << "round " << round;
    EXPECT_EQ(p1.Asked().size(), p2.Asked().size()) << "round " << round;
  }
}

// ------------------------------------------------------------ read-only

TEST(SourceIsReadOnly, ImagesAreOpenedReadOnlyAndNeverChanged) {
  test::TempDir dir;
  const auto image = dir / "disk.img";
  {
    std::ofstream out(image, std::ios::binary);
    auto bytes = Pattern(32);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  const auto before = std::filesystem::last_write_time(image);
  auto dev = FileDevice::Open(image);
  ASSERT_TRUE(dev);
  EXPECT_EQ(dev->OpenFlags() & O_ACCMODE, O_RDONLY);
  EXPECT_EQ(dev->SectorCount(), 32u);
  std::vector<std::byte> buf(32 * kSectorSize);
  EXPECT_TRUE(dev->Read(0, 32, buf.data()));
  EXPECT_EQ(buf, Pattern(32));
  EXPECT_FALSE(dev->Read(31, 2, buf.data()));  // past the end
  EXPECT_EQ(std::filesystem::last_write_time(image), before);
  EXPECT_EQ(std::filesystem::file_size(image), 32u * kSectorSize);
}

TEST(SourceIsReadOnly, AReadOnlyImageCanBeRead) {
  test::TempDir dir;
  const auto image = dir / "ro.img";
  { std::ofstream(image, std::ios::binary) << std::string(1024, 'x'); }
  std::filesystem::permissions(image, std::filesystem::perms::owner_read);
  auto dev = FileDevice::Open(image);
  ASSERT_TRUE(dev);
  std::vector<std::byte> buf(kSectorSize);
  EXPECT_TRUE(dev->Read(1, 1, buf.data()));
}

// -------------------------------------------------- sector-read library path

struct LibraryFixture : ::testing::Test {
  void SetUp() override {
    image = dir / "drive0.img";
    std::ofstream out(image, std::ios::binary);
    auto bytes = Pattern(64);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    log = dir / "calls.log";
    env.Set("FAKE_SECTRD32_DRIVE0", image.string()).Set("FAKE_SECTRD32_LOG", log.string()).Unset("FAKE_SECTRD32_BAD");
  }
  std::vector<std::string> Calls() {
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  test::TempDir dir;
  test::ScopedEnv env;
  std::filesystem::path image, log;
  FakePrompter prompter;
  TestOpener opener{1, {}};
};

TEST_F(LibraryFixture, ReadsThroughTheExportWithItsArguments) {
  SectorReader r(opener, prompter);
  r.SetOsFamily('F');
  r.SetLibraryFolders({OVNSS_FAKE_SECTRD32_DIR});
  std::vector<std::byte> buf(2 * kSectorSize);
  // The high half of the sector number is ignored on this path.
  EXPECT_EQ(r.ReadSectors(kDevicePathTable[0], 10, 5, 2, buf.data()), 1u);
  EXPECT_EQ(std::memcmp(buf.data(), Pattern(64).data() + 10 * kSectorSize, 2 * kSectorSize), 0);
  EXPECT_EQ(Calls(), std::vector<std::string>{"128 2 10"});
  EXPECT_TRUE(opener.opened.empty());
}

TEST_F(LibraryFixture, DrivesFourToNineAreRefused) {
  SectorReader r(opener, prompter);
  r.SetOsFamily('F');
  r.SetLibraryFolders({OVNSS_FAKE_SECTRD32_DIR});
  std::vector<std::byte> buf(kSectorSize, kOld);
  EXPECT_EQ(r.ReadSectors(kDevicePathTable[4], 0, 0, 1, buf.data()), 0u);
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(prompter.Asked().empty());
}

TEST_F(LibraryFixture, FailedReadGoesThroughTheBadSectorStep) {
  env.Set("FAKE_SECTRD32_BAD", "3");
  SectorReader r(opener, prompter);
  r.SetOsFamily('F');
  r.SetLibraryFolders({OVNSS_FAKE_SECTRD32_DIR});
  prompter.badSectorAnswers = {BadSectorChoice::Retry};
  std::vector<std::byte> buf(4 * kSectorSize, kOld);
  EXPECT_EQ(r.ReadSectors(kDevicePathTable[0], 2, 0, 4, buf.data()), 0u);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"128 4 2", "128 1 2", "128 1 3", "128 1 4", "128 1 5"}));
  EXPECT_EQ(buf[kSectorSize], kOld);  // sector 3 kept the old bytes
  EXPECT_EQ(std::memcmp(buf.data(), Pattern(64).data() + 2 * kSectorSize, kSectorSize), 0);
}

TEST_F(LibraryFixture, MissingLibraryAndMissingExportShowTheirMessages) {
  {
    SectorReader r(opener, prompter);
    r.SetOsFamily('F');
    r.SetLibraryFolders({dir.path()});
    std::vector<std::byte> buf(kSectorSize);
    EXPECT_EQ(r.ReadSectors(kDevicePathTable[0], 0, 0, 1, buf.data()), 0u);
  }
  {
    SectorReader r(opener, prompter);
    r.SetOsFamily('F');
    r.SetLibraryFolders({OVNSS_FAKE_SECTRD32_NOEXPORT_DIR});
    std::vector<std::byte> buf(kSectorSize);
    EXPECT_EQ(r.ReadSectors(kDevicePathTable[0], 0, 0, 1, buf.data()), 0u);
  }
  ASSERT_EQ(prompter.Asked().size(), 2u);
  EXPECT_EQ(prompter.Asked()[0].text, "sectrd32.dll not found");
  EXPECT_EQ(prompter.Asked()[1].text, "Sectread32 function not found");
  for (const auto& q : prompter.Asked()) {
    EXPECT_EQ(q.caption, "Orlindavestrum For NSS");
    EXPECT_EQ(q.icon, MessageIcon::Error);
  }
}

}  // namespace
}  // namespace ov
