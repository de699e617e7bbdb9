// Disk images in containers made by the real tools read as the raw disk;
// damaged ones are named with the reason or read as unreadable sectors;
// ddrescue maps mark what the rescue did not read.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <random>

#include <zlib.h>

#include "disk/Adler32.h"
#include "disk/DiskDescriber.h"
#include "disk/ImageFormats.h"
#include "disk/RescueMap.h"
#include "disk/SectorReader.h"
#include "disk/VirtualDiskMap.h"
#include "support/Containers.h"
#include "support/FakePrompter.h"
#include "support/Files.h"

namespace ov {
namespace {

using test::ContainerSet;

const std::map<std::string, ImageKind> kKinds = {{"split", ImageKind::SplitRaw}, {"ewf", ImageKind::Ewf},
                                                 {"vmdk", ImageKind::Vmdk},      {"vhd", ImageKind::Vhd},
                                                 {"vhdx", ImageKind::Vhdx},      {"qcow", ImageKind::Qcow}};

// Reads the whole device in 1 MiB runs.
std::string ReadAll(Device& dev, bool unguarded) {
  std::string bytes(dev.SectorCount() * kSectorSize, '\0');
  for (std::uint64_t s = 0; s < dev.SectorCount(); s += 2048) {
    const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(2048, dev.SectorCount() - s));
    auto* at = reinterpret_cast<std::byte*>(bytes.data() + s * kSectorSize);
    if (!(unguarded ? dev.ReadUnguarded(s, n, at) : dev.Read(s, n, at))) {
      ADD_FAILURE() << "read of sectors " << s << "+" << n << " failed";
      break;
    }
  }
  return bytes;
}

TEST(ImageFormats, EveryContainerReadsAsTheRawDiskItHolds) {
  const ContainerSet& set = ContainerSet::Get();
  ASSERT_TRUE(set.ok());
  const std::string raw = test::ReadFile(set.raw());
  ASSERT_EQ(raw.size(), 8u << 20);
  EXPECT_EQ(DetectImageKind(set.raw()), ImageKind::Raw);
  for (const auto& c : test::kContainerFiles) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DetectImageKind(set / c.name), kKinds.at(c.kind));
    OpenedImage image = OpenImage(set / c.name);
    ASSERT_TRUE(image) << image.error;
    EXPECT_EQ(image.description.kind, kKinds.at(c.kind));
    EXPECT_EQ(image.description.sizeBytes, image.device->SectorCount() * kSectorSize);
    // Virtual PC disks are sized by a cylinder-head-sector geometry, so the
    // container may hold a few sectors more than the disk; never fewer.
    if (c.kind == std::string("vhd")) {
      EXPECT_GE(image.description.sizeBytes, raw.size());
      EXPECT_LT(image.description.sizeBytes, raw.size() + (1u << 20));
    } else {
      EXPECT_EQ(image.description.sizeBytes, raw.size());
    }
    const std::string guarded = ReadAll(*image.device, false);
    EXPECT_TRUE(guarded.compare(0, raw.size(), raw) == 0) << "the bytes differ from the raw image";
    EXPECT_EQ(guarded.find_first_not_of('\0', raw.size()), std::string::npos);
    EXPECT_TRUE(ReadAll(*image.device, true).compare(0, raw.size(), raw) == 0);
    // A run past the end fails and leaves the buffer alone.
    std::vector<std::byte> buffer(2 * kSectorSize, std::byte{0x5A});
    EXPECT_FALSE(image.device->Read(image.device->SectorCount() - 1, 2, buffer.data()));
    EXPECT_EQ(buffer[0], std::byte{0x5A});
  }
}

TEST(ImageFormats, ContainersReadTheSameAheadInRunsAndAtRandom) {
  const ContainerSet& set = ContainerSet::Get();
  ASSERT_TRUE(set.ok());
  const std::string raw = test::ReadFile(set.raw());
  std::mt19937 random(7);
  for (const char* name : {"plain.E01", "packed.E01", "odd.E01", "split-sparse.vmdk", "stream.vmdk", "disk.qcow2",
                           "packed.qcow2", "small.qcow2", "sparse.vmdk", "dynamic.vhd"}) {
    SCOPED_TRACE(name);
    OpenedImage image = OpenImage(set / name);
    ASSERT_TRUE(image) << image.error;
    // A Virtual PC disk may hold a few sectors past the raw image's end;
    // the reads stay on the raw image's.
    const std::uint64_t sectors = std::min<std::uint64_t>(image.device->SectorCount(), raw.size() / kSectorSize);
    // Runs one after the other (read ahead), broken by jumps elsewhere of
    // any length and at any sector, chunk or not.
    std::vector<std::byte> buffer(300 * kSectorSize);
    std::uint64_t next = 0;
    for (int i = 0; i < 400; ++i) {
      std::uint64_t first = next;
      auto count = static_cast<std::uint32_t>(64);
      if (i % 9 == 8) {
        first = random() % sectors;
        count = 1 + random() % 300;
      }
      count = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, sectors - first));
      ASSERT_TRUE(image.device->Read(first, count, buffer.data())) << first << "+" << count;
      ASSERT_EQ(std::memcmp(buffer.data(), raw.data() + first * kSectorSize, std::size_t{count} * kSectorSize), 0)
          << first << "+" << count;
      next = first + count == sectors ? 0 : first + count;
    }
  }
  EXPECT_EQ(OpenImage(set / "odd.E01").device->SectorCount(), (8u << 20) / kSectorSize - 3);
  // The chunks' checksum is zlib's.
  std::vector<std::byte> bytes(70000);
  for (auto& b : bytes) b = static_cast<std::byte>(random());
  for (std::size_t n : {0, 1, 15, 16, 5552, 5553, 32768, 70000}) {
    EXPECT_EQ(Adler32(1, bytes.data(), n), adler32(1, reinterpret_cast<const Bytef*>(bytes.data()), n)) << n;
  }
  std::fill(bytes.begin(), bytes.end(), std::byte{0xFF});
  EXPECT_EQ(Adler32(1, bytes.data(), bytes.size()), adler32(1, reinterpret_cast<const Bytef*>(bytes.data()), 70000));
}

TEST(ImageFormats, SplitPartsAreFoundByNumberAndReadAcrossTheirEdges) {
  const ContainerSet& set = ContainerSet::Get();
  ASSERT_TRUE(set.ok());
  const auto parts = SplitRawParts(set / "split.img.001");
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[2].filename(), "split.img.003");
  EXPECT_TRUE(SplitRawParts(set / "split.img.002").empty());  // only the first part names the set
  EXPECT_TRUE(SplitRawParts(set.raw()).empty());
  OpenedImage image = OpenImage(set / "split.img.001");
  ASSERT_TRUE(image);
  EXPECT_EQ(image.description.mediaType, "Split disk image file (3 parts)");
  // Two sectors on each side of the first edge (3 MiB), by copy as well.
  const std::string raw = test::ReadFile(set.raw());
  const std::uint64_t edge = (3u << 20) / kSectorSize;
  std::vector<std::byte> four(4 * kSectorSize);
  ASSERT_TRUE(image.device->Read(edge - 2, 4, four.data()));
  EXPECT_EQ(std::memcmp(four.data(), raw.data() + (edge - 2) * kSectorSize, four.size()), 0);
  test::TempDir out;
  const int fd = ::open((out / "copy").c_str(), O_WRONLY | O_CREAT, 0644);
  EXPECT_EQ(image.device->CopyUnguarded(edge - 2, 4 * kSectorSize, fd), 4 * kSectorSize);
  ::close(fd);
  EXPECT_EQ(test::ReadFile(out / "copy"), raw.substr((edge - 2) * kSectorSize, 4 * kSectorSize));
}

TEST(ImageFormats, DetailsSayWhatTheContainerSaysOfTheDisk) {
  const ContainerSet& set = ContainerSet::Get();
  ASSERT_TRUE(set.ok());
  const DescribedDisk e01 = DescribeImage(set / "plain.E01");
  EXPECT_EQ(e01.model, "NetWare server disk");
  EXPECT_EQ(e01.mediaType, "E01 image file (5 segments), uncompressed, case C-42, evidence E-7");
  EXPECT_EQ(e01.sizeBytes, 8u << 20);
  EXPECT_NE(DescribeImage(set / "packed.E01").mediaType.find(", compressed"), std::string::npos);
  EXPECT_EQ(DescribeImage(set / "sparse.vmdk").mediaType, "VMDK virtual disk, monolithic sparse");
  EXPECT_EQ(DescribeImage(set / "split-flat.vmdk").mediaType, "VMDK virtual disk, split flat");
  EXPECT_EQ(DescribeImage(set / "disk.vhdx").mediaType, "VHDX virtual disk, dynamic");
  EXPECT_EQ(DescribeImage(set / "fixed.vhd").mediaType, "VHD virtual disk, fixed");
  EXPECT_EQ(DescribeImage(set / "disk.qcow2").mediaType, "QCOW2 virtual disk (version 3)");
  const DescribedDisk raw = DescribeImage(set.raw());
  EXPECT_EQ(raw.mediaType, kMediaImage);
  EXPECT_EQ(raw.model, "disk.img");
}

TEST(ImageFormats, DamagedContainersAreNamedOrReadAsUnreadableSectors) {
  const ContainerSet& set = ContainerSet::Get();
  ASSERT_TRUE(set.ok());
  // A container cut inside its headers does not open; the message names
  // the file and the form.
  for (const char* name : {"cut.E01", "cut.qcow2", "truncated.E01"}) {
    const OpenedImage cut = OpenImage(set / name);
    EXPECT_FALSE(cut) << name;
    EXPECT_EQ(cut.error.rfind((set / name).string() + " cannot be read as ", 0), 0u) << cut.error;
  }
  // Of a set, the segment cut short is named: the library alone would
  // hand out wrong bytes for its lost chunks.
  EXPECT_NE(OpenImage(set / "truncated.E01").error.find((set / "truncated.E03").string() + " is cut short"),
            std::string::npos);

  // Chunks that fail their checksum and clusters past a file's cut end fail
  // to read: their sectors, and only they, are unreadable.
  const std::string raw = test::ReadFile(set.raw());
  for (const char* name : {"corrupt.E01", "truncated.qcow2"}) {
    SCOPED_TRACE(name);
    OpenedImage image = OpenImage(set / name);
    ASSERT_TRUE(image) << image.error;
    std::uint64_t bad = 0, good = 0;
    std::vector<std::byte> block(64 * kSectorSize);
    for (std::uint64_t s = 0; s < image.device->SectorCount(); s += 64) {
      if (image.device->Read(s, 64, block.data())) {
        ++good;
        EXPECT_EQ(std::memcmp(block.data(), raw.data() + s * kSectorSize, block.size()), 0) << "chunk at " << s;
      } else {
        ++bad;
      }
    }
    EXPECT_GT(bad, 0u);
    EXPECT_GT(good, bad);
  }
  // Through the sector reader they count as unread, under the policy.
  struct Opener : DeviceOpener {
    std::filesystem::path file;
    std::unique_ptr<Device> Open(std::string_view) override { return OpenImage(file).device; }
  } opener;
  opener.file = set / "corrupt.E01";
  test::FakePrompter prompter;
  prompter.badSectorAnswers = {BadSectorChoice::SkipAll};
  SectorReader reader(opener, prompter);
  std::vector<std::byte> all(2048 * kSectorSize);
  for (std::uint64_t s = 0; s < (8u << 20) / kSectorSize; s += 2048) {
    reader.ReadSectors(kDevicePathTable[0], s, 2048, all.data());
  }
  const auto asked = prompter.Asked();
  EXPECT_EQ(std::count_if(asked.begin(), asked.end(),
                          [](const test::AskedQuestion& q) { return q.kind == test::QuestionKind::BadSector; }),
            1);  // Skip All holds for every later read
  EXPECT_EQ(reader.UnreadSectors() % 2048, 0u);
  EXPECT_GE(reader.UnreadSectors(), 2048u);
}

TEST(ImageFormats, PlainVirtualDisksAreReadByTheirClusterMapAndTheRestLeftToTheLibrary) {
  const ContainerSet& set = ContainerSet::Get();
  ASSERT_TRUE(set.ok());
  const std::string raw = test::ReadFile(set.raw());
  const std::uint64_t size = raw.size();
  // How many 100 KiB stretches (across clusters, not on their edges) the map
  // reads, each checked against the raw image; -1 when it does not take the file.
  const auto mapped = [&](std::unique_ptr<VirtualDiskMap> map) {
    if (!map) return -1;
    int read = 0;
    std::vector<std::byte> block(100 << 10);
    for (std::uint64_t at = 0; at < size; at += block.size()) {
      const std::size_t n = std::min<std::uint64_t>(block.size(), size - at);
      if (!map->Read(block.data(), n, at)) continue;
      EXPECT_EQ(std::memcmp(block.data(), raw.data() + at, n), 0) << at;
      ++read;
    }
    return read;
  };
  const int all = static_cast<int>((size + (100 << 10) - 1) / (100 << 10));
  EXPECT_EQ(mapped(VirtualDiskMap::ForQcow(set / "disk.qcow2", size)), all);
  EXPECT_EQ(mapped(VirtualDiskMap::ForQcow(set / "small.qcow2", size)), all);  // version 2, 4 KiB clusters
  EXPECT_EQ(mapped(VirtualDiskMap::ForSparseVmdk(set / "sparse.vmdk", size)), all);
  // Compressed clusters, and clusters past the cut end of a file, are not read here.
  const int packed = mapped(VirtualDiskMap::ForQcow(set / "packed.qcow2", size));
  EXPECT_GE(packed, 0);
  EXPECT_LT(packed, all);
  const int truncated = mapped(VirtualDiskMap::ForQcow(set / "truncated.qcow2", size));
  EXPECT_GT(truncated, 0);
  EXPECT_LT(truncated, all);
  // Files of another kind, or whose header disagrees with the library's size.
  EXPECT_EQ(mapped(VirtualDiskMap::ForSparseVmdk(set / "stream.vmdk", size)), -1);
  EXPECT_EQ(mapped(VirtualDiskMap::ForSparseVmdk(set / "disk.qcow2", size)), -1);
  EXPECT_EQ(mapped(VirtualDiskMap::ForQcow(set / "sparse.vmdk", size)), -1);
  EXPECT_EQ(mapped(VirtualDiskMap::ForQcow(set / "cut.qcow2", size)), -1);
  EXPECT_EQ(mapped(VirtualDiskMap::ForQcow(set / "disk.qcow2", size + kSectorSize)), -1);
}

TEST(ImageFormats, AFileThatIsNoContainerOfItsKindIsNamed) {
  test::TempDir dir;
  std::ofstream(dir / "fake.vmdk") << "# Disk DescriptorFile\nnonsense\n";
  const OpenedImage fake = OpenImage(dir / "fake.vmdk");
  EXPECT_FALSE(fake);
  EXPECT_EQ(fake.error.rfind((dir / "fake.vmdk").string() + " cannot be read as a VMDK virtual disk", 0), 0u)
      << fake.error;
  const OpenedImage missing = OpenImage(dir / "missing.img");
  EXPECT_FALSE(missing);
  EXPECT_NE(missing.error.find("missing.img"), std::string::npos);
}

// ------------------------------------------------------------- rescue maps

TEST(RescueMap, ParsesDdrescueMapsAndNamesTheWrongLine) {
  const auto map = RescueMap::Parse(
      "# Mapfile. Created by GNU ddrescue version 1.27\n# current_pos  current_status  current_pass\n"
      "0x00010000     +               1\n#      pos        size  status\n"
      "0x00000000  0x00000300  +\n0x00000300  0x00000100  -\n1024  0x400  /\n0x00000800  0x00100000  +\n");
  ASSERT_TRUE(map);
  ASSERT_EQ(map->areas().size(), 4u);
  EXPECT_EQ(map->areas()[2].pos, 1024u);
  EXPECT_EQ(map->areas()[2].status, '/');
  // Sector 0 is read; sector 1 is partly bad, 2-3 not scraped; 4.. read up
  // to byte 0x100800, so sector 2052 and all past the map are unreadable.
  const BadSectorMap bad = map->UnreadableSectors(4000);
  ASSERT_EQ(bad.ranges().size(), 2u);
  EXPECT_EQ(bad.ranges()[0].first, 1u);
  EXPECT_EQ(bad.ranges()[0].last, 3u);
  EXPECT_EQ(bad.ranges()[1].first, 2052u);
  EXPECT_EQ(bad.ranges()[1].last, 3999u);

  std::string error;
  EXPECT_FALSE(RescueMap::Parse("0 +\n0 0x200 +\n0x100 0x200 +\n", &error));
  EXPECT_EQ(error, "line 3: areas overlap or are out of order");
  EXPECT_FALSE(RescueMap::Parse("# only comments\n", &error));
  EXPECT_FALSE(RescueMap::Parse("0 +\n0 512 x\n", &error));
  EXPECT_EQ(error, "line 2: not an area of a ddrescue map (\"pos size status\")");
  EXPECT_FALSE(RescueMap::Parse("sector,status\n", &error));
  EXPECT_EQ(error.rfind("line 1:", 0), 0u);
  EXPECT_FALSE(RescueMap::Load("/nonexistent/disk.map", &error));
  EXPECT_NE(error.find("/nonexistent/disk.map"), std::string::npos);
}

TEST(RescueMap, IsFoundBesideTheImageAndMasksReadsAndCopies) {
  test::TempDir dir;
  const auto image = dir / "disk.img";
  EXPECT_FALSE(FindRescueMap(image));
  std::ofstream(dir / "disk.mapfile") << "0 +\n";
  EXPECT_EQ(FindRescueMap(image), dir / "disk.mapfile");
  std::ofstream(dir / "disk.img.map") << "0 +\n";
  EXPECT_EQ(FindRescueMap(image), dir / "disk.img.map");  // the whole name first

  std::vector<std::byte> bytes(64 * kSectorSize);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::byte>(i / kSectorSize);
  { std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size()); }
  BadSectorMap bad;
  bad.Add(10, 11);
  MaskedDevice dev(FileDevice::Open(image), bad);
  std::vector<std::byte> buffer(4 * kSectorSize);
  EXPECT_TRUE(dev.ReadUnguarded(6, 4, buffer.data()));
  EXPECT_FALSE(dev.Read(8, 4, buffer.data()));
  EXPECT_FALSE(dev.ReadUnguarded(11, 1, buffer.data()));
  const int fd = ::open((dir / "copy").c_str(), O_WRONLY | O_CREAT, 0644);
  EXPECT_EQ(dev.CopyUnguarded(4, 20 * kSectorSize, fd), 6 * kSectorSize);  // stops before sector 10
  EXPECT_EQ(dev.CopyUnguarded(10, kSectorSize, fd), 0u);
  ::close(fd);
  EXPECT_EQ(test::ReadFile(dir / "copy").size(), 6 * kSectorSize);
}

}  // namespace
}  // namespace ov
