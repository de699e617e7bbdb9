// Reading descriptions: units, times, generated trees and the errors a
// hand-written description can contain.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <span>

#include "mkimage/Content.h"

#include "mkimage/Description.h"
#include "support/BuiltImage.h"

namespace ov::mkimage {
namespace {

std::string ErrorOf(const std::string& json) {
  auto r = ParseDescriptionText(json);
  return r.ok() ? std::string() : r.error;
}

std::string BuildErrorOf(const std::string& json) {
  test::BuiltImage img(json);
  return img.ok() ? std::string() : img.error();
}

TEST(MkimageDescription, TimesAreUtcSecondsSince1970) {
  std::uint32_t t = 0;
  ASSERT_TRUE(ParseTime("2004-03-15 09:30:00", t));
  EXPECT_EQ(t, 1079343000u);
  ASSERT_TRUE(ParseTime("2004-03-15T09:30", t));
  EXPECT_EQ(t, 1079343000u);
  ASSERT_TRUE(ParseTime("2004-03-15", t));
  EXPECT_EQ(t, 1079308800u);
  ASSERT_TRUE(ParseTime("2000-02-29 23:59:59", t));
  EXPECT_EQ(t, 951868799u);
  EXPECT_FALSE(ParseTime("2004-13-01", t));
  EXPECT_FALSE(ParseTime("yesterday", t));
  EXPECT_FALSE(ParseTime("1969-12-31", t));
}

TEST(MkimageDescription, SizesTakeUnits) {
  auto r = ParseDescriptionText(R"({ "size": "3 MiB", "partitions": [ { "type": "nss", "sections": [
      { "pool": "P", "sectors": "1MiB", "at": "0x800" } ] } ], "pools": [ { "name": "P" } ] })");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(*r.description->sizeBytes, 3u << 20);
  EXPECT_EQ(r.description->partitions[0].sections[0].sectors, 2048u);
  EXPECT_EQ(*r.description->partitions[0].sections[0].at, 2048u);
  EXPECT_EQ(ErrorOf(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "1000B" } ] } ] })"),
            "partitions[0].sections[0].sectors: is not a whole number of 512-byte sectors");
}

TEST(MkimageDescription, ErrorsNameThePlace) {
  EXPECT_EQ(ErrorOf(R"({ "sise": 5 })"), "description: unknown key \"sise\"");
  EXPECT_EQ(ErrorOf(R"({ "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [ { "file": "a", "folder": "b" } ] } ] } ] })"),
            "pools[0] \"P\".volumes[0] \"V\".items[0]: an item is either {\"folder\": NAME} or {\"file\": NAME}");
  EXPECT_EQ(ErrorOf(R"({ "partitions": [ { "type": "0x65", "slot": 4 } ] })"), "partitions[0].slot: must be 0 to 3");
  EXPECT_EQ(ErrorOf(R"({ "partitions": [ { "type": "0x69", "sectors": 100 } ] })"), "partitions[0]: a type 0x69 partition needs \"pool\"");
  EXPECT_EQ(ErrorOf(R"({ "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [ { "file": "a", "text": "x", "hex": "00" } ] } ] } ] })"),
            "pools[0] \"P\".volumes[0] \"V\".items[0] \"a\": give only one of \"text\", \"lines\", \"hex\", \"path\", \"document\", \"content\"");
  EXPECT_NE(ErrorOf("{ not json"), "");
  EXPECT_EQ(ErrorOf(R"({ "seed": -1 })"), "seed: must not be negative");
}

TEST(MkimageDescription, CommentsAreAllowed) {
  auto r = ParseDescriptionText("{ // a disk\n \"comment\": \"free text\", \"seed\": 3 /* three */ }");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.description->seed, 3u);
}

TEST(MkimageDescription, FileContentSources) {
  auto r = ParseDescriptionText(R"({ "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "file": "t", "text": "héllo" }, { "file": "l", "lines": ["a", "b"] }, { "file": "h", "hex": "00 ff:10" },
      { "file": "z", "size": 5, "content": "zeros" }, { "file": "d", "document": "zip", "size": 900 },
      { "file": "n.xls", "size": 3000 } ] } ] } ] })");
  ASSERT_TRUE(r.ok()) << r.error;
  const auto& items = r.description->pools[0].volumes[0].items;
  EXPECT_EQ(std::string(items[0].data.begin(), items[0].data.end()), "h\xC3\xA9llo");
  EXPECT_EQ(std::string(items[1].data.begin(), items[1].data.end()), "a\r\nb\r\n");
  EXPECT_EQ(items[2].data, (Bytes{0x00, 0xFF, 0x10}));
  EXPECT_EQ(items[3].data, Bytes(5, 0));
  EXPECT_EQ(items[4].data[0], 'P');
  EXPECT_EQ(items[4].document, DocumentKind::Zip);
  EXPECT_EQ(items[5].document, DocumentKind::Excel) << "\"auto\" content follows the extension";
  EXPECT_EQ(items[5].data[0], 0xD0);
}

TEST(MkimageDescription, GeneratedTreesAreDeterministicAndUnique) {
  const char* json = R"({ "seed": 11, "pools": [ { "name": "P", "volumes": [ { "name": "V",
      "generate": { "folders": 30, "files": 120, "maxDepth": 3 } } ] } ] })";
  auto a = ParseDescriptionText(json), b = ParseDescriptionText(json);
  ASSERT_TRUE(a.ok() && b.ok());
  std::function<void(const std::vector<Item>&, const std::vector<Item>&, int&, int&)> same =
      [&](const std::vector<Item>& x, const std::vector<Item>& y, int& folders, int& files) {
        ASSERT_EQ(x.size(), y.size());
        std::set<std::string> names;
        for (std::size_t i = 0; i < x.size(); ++i) {
          EXPECT_EQ(x[i].name, y[i].name);
          EXPECT_EQ(x[i].data, y[i].data);
          EXPECT_TRUE(names.insert(x[i].name).second) << "two siblings named " << x[i].name;
          (x[i].folder ? folders : files)++;
          same(x[i].children, y[i].children, folders, files);
        }
      };
  int folders = 0, files = 0;
  same(a.description->pools[0].volumes[0].items, b.description->pools[0].volumes[0].items, folders, files);
  EXPECT_EQ(folders, 30);
  EXPECT_EQ(files, 120);
  auto c = ParseDescriptionText(std::string(json).replace(std::string(json).find("11"), 2, "12"));
  ASSERT_TRUE(c.ok());
  EXPECT_NE(c.description->pools[0].volumes[0].items[0].name + c.description->pools[0].volumes[0].items[1].name,
            a.description->pools[0].volumes[0].items[0].name + a.description->pools[0].volumes[0].items[1].name);
}

TEST(MkimageDescription, LayoutErrorsFromTheBuilder) {
  EXPECT_EQ(BuildErrorOf(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "Q", "sectors": 256 } ] } ] })"),
            "partition in slot 0 section 0: no pool named \"Q\"");
  EXPECT_EQ(BuildErrorOf(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "A very long pool", "sectors": 256 } ] } ],
                             "pools": [ { "name": "A very long pool" } ] })"),
            "pool: name \"A very long pool\" is longer than 15 UTF-16 units");
  EXPECT_EQ(BuildErrorOf(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "segment": 1, "sectors": 256 } ] } ],
                             "pools": [ { "name": "P" } ] })"),
            "pool \"P\": segment 0 is missing");
  EXPECT_NE(BuildErrorOf(R"({ "partitions": [ { "type": "linux", "start": 2048, "sectors": 4096 },
                                               { "type": "linux", "start": 4000, "sectors": 100 } ] })").find("overlaps"),
            std::string::npos);
  EXPECT_EQ(BuildErrorOf(R"({ "size": "1MiB", "partitions": [ { "type": "linux", "start": 2048, "sectors": 100 } ] })"),
            "size of 2048 sectors is too small: the contents reach sector 2148");
  EXPECT_EQ(BuildErrorOf(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": 256 } ] } ],
                             "pools": [ { "name": "P" } ], "documents": [ { "kind": "word", "at": 2082 } ] })"),
            "document 1 (sector 2082) overlaps pool P block 0 (sectors 2080-2087)");
  EXPECT_EQ(BuildErrorOf(R"({ "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": 256 } ] } ],
                             "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [ { "file": "big", "size": "1MiB" } ] } ] } ] })"),
            "file P/V/big: no room for 256 contiguous blocks in pool P");
}

// Content is made while parsing: a size no disk could hold is refused before
// anything is allocated, bounded by the disk when it is given, else by the limit.
TEST(MkimageDescription, ContentBeyondTheDiskOrTheLimitIsRefused) {
  EXPECT_EQ(ErrorOf(R"({ "size": "1MiB", "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "file": "a", "content": "zeros", "size": "600KiB" }, { "file": "b.doc", "document": "word", "size": "600KiB" } ] } ] } ] })"),
            "pools[0] \"P\".volumes[0] \"V\".items[1] \"b.doc\".size: the content comes to more than 1048576 bytes, the size of the disk");
  EXPECT_EQ(ErrorOf(R"({ "documents": [ { "kind": "zip", "size": 64424509440 } ] })"),
            "documents[0].size: the content comes to more than 8589934592 bytes");
  auto r = ParseDescriptionText(R"({ "pools": [ { "name": "P", "volumes": [ { "name": "V",
      "generate": { "files": 1000000, "minSize": "1MiB", "maxSize": "1MiB" } } ] } ] })", {}, 64u << 20);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error.find("the content comes to more than 67108864 bytes"), std::string::npos) << r.error;
}

TEST(MkimageDescription, DocumentsGivenAsBytesArePlacedAsTheyAre) {
  test::TempDir dir;
  const std::string bytes = "PK\x03\x04\x14 given by path";
  std::ofstream(dir / "a.zip", std::ios::binary) << bytes;
  test::BuiltImage img(R"({ "size": "1MiB", "documents": [
      { "kind": "word", "hex": "D0 CF 11 E0:A1 B1 1A E1 00 01", "at": 100 },
      { "kind": "zip", "path": ")" + (dir / "a.zip").string() + R"(", "at": 300 } ] })");
  ASSERT_TRUE(img.ok()) << img.error();
  const auto& docs = img.manifest().documents;
  ASSERT_EQ(docs.size(), 2u);
  EXPECT_EQ(docs[0].firstSector, 100u);
  EXPECT_EQ(docs[0].size, 10u);
  EXPECT_EQ(docs[0].sectors, 1u);
  EXPECT_EQ(docs[1].size, bytes.size());
  EXPECT_EQ(docs[1].sha256, Sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));

  std::ifstream in(img.image(), std::ios::binary);
  std::string sector(512, '\0');
  in.seekg(100 * 512);
  in.read(sector.data(), 512);
  EXPECT_EQ(sector.substr(0, 11), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\x00\x01\x00", 11));
  in.seekg(300 * 512);
  in.read(sector.data(), 512);
  EXPECT_EQ(sector.substr(0, bytes.size() + 1), bytes + std::string(1, '\0'));
}

TEST(MkimageDescription, DocumentsGivenAsBytesTakeNoGeneratorKeys) {
  EXPECT_EQ(ErrorOf(R"({ "documents": [ { "kind": "zip", "hex": "50 4B", "size": 100 } ] })"),
            "documents[0].size: goes only with a generated document, not with \"hex\" or \"path\"");
  EXPECT_EQ(ErrorOf(R"({ "documents": [ { "kind": "zip", "hex": "", "at": 10 } ] })"), "documents[0]: the document is empty");
  EXPECT_EQ(ErrorOf(R"({ "documents": [ { "kind": "zip", "hex": "50", "path": "x" } ] })"),
            "documents[0]: give only one of \"text\", \"lines\", \"hex\", \"path\", \"document\", \"content\"");
  EXPECT_NE(ErrorOf(R"({ "documents": [ { "kind": "zip", "path": "/no/such/file" } ] })").find("cannot read"),
            std::string::npos);
}

}  // namespace
}  // namespace ov::mkimage
