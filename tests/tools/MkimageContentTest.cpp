#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "mkimage/Content.h"

namespace ov::mkimage {
namespace {

TEST(MkimageContent, Sha256OfKnownTexts) {
  std::string abc = "abc";
  EXPECT_EQ(Sha256Hex({reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()}),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  std::string longer(1000, 'a');
  EXPECT_EQ(Sha256Hex({reinterpret_cast<const std::uint8_t*>(longer.data()), longer.size()}),
            "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
}

TEST(MkimageContent, Crc32OfKnownText) {
  std::string text = "123456789";
  EXPECT_EQ(Crc32({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}), 0xCBF43926u);
}

}  // namespace
}  // namespace ov::mkimage

// ---- documents for the raw scan ---------------------------------------------

namespace ov::mkimage {
namespace {

using Pattern = std::vector<std::uint8_t>;

std::uint32_t Le32At(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24);
}

Pattern Text(std::string_view s) { return Pattern(s.begin(), s.end()); }
Pattern Utf16WithoutLastZero(std::string_view s) {
  Pattern p;
  for (char c : s) {
    p.push_back(static_cast<std::uint8_t>(c));
    p.push_back(0);
  }
  p.pop_back();
  return p;
}

const Pattern kCompound = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
const Pattern kZipStart = {0x50, 0x4B, 0x03, 0x04, 0x0A};
const Pattern kZipEnd = {0x50, 0x4B, 0x05, 0x06, 0x00};

Pattern Workshet() {
  Pattern p = Text("Microsoft Excel Workshet");
  p.push_back(0x00);
  p.push_back(0x06);
  return p;
}

struct MarkerRow {
  Pattern marker;
  int kind;
};
std::vector<MarkerRow> Markers() {
  return {{Text("Word.Document"), 0},
          {Utf16WithoutLastZero("Workbook"), 1},
          {Workshet(), 1},
          {Utf16WithoutLastZero("PowerPoint Document"), 2},
          {Workshet(), 1},
          {kZipEnd, 3}};
}

std::vector<std::size_t> Find(const Bytes& doc, const Pattern& p) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i + p.size() <= doc.size(); ++i)
    if (std::equal(p.begin(), p.end(), doc.begin() + static_cast<std::ptrdiff_t>(i))) at.push_back(i);
  return at;
}

bool StartsWith(const Bytes& doc, std::size_t at, const Pattern& p) {
  return at + p.size() <= doc.size() && std::equal(p.begin(), p.end(), doc.begin() + static_cast<std::ptrdiff_t>(at));
}

// What a raw scan makes of one document alone: the kind of the earliest
// marker (the last match of each marker counts), then the content probes.
int RawKindOf(const Bytes& doc, std::size_t& endSector) {
  endSector = SIZE_MAX;
  int kind = -1;
  for (const auto& row : Markers()) {
    auto hits = Find(doc, row.marker);
    if (hits.empty()) continue;
    std::size_t sector = hits.back() / 512;
    if (sector < endSector) {
      endSector = sector;
      kind = row.kind;
    }
  }
  if (StartsWith(doc, 2080, Text("Microsoft Excel 5.0")) || StartsWith(doc, 4768, Text("Microsoft Excel"))) kind = 1;
  else if (StartsWith(doc, 1152, Utf16WithoutLastZero("PowerPoint Document"))) kind = 2;
  return kind;
}

class MkimageDocuments : public ::testing::TestWithParam<std::tuple<const char*, std::uint64_t>> {};

TEST_P(MkimageDocuments, StartEndAndKindMatchTheRawScan) {
  auto [name, size] = GetParam();
  DocumentKind kind{};
  ASSERT_TRUE(ParseDocumentKind(name, kind));
  Bytes doc = MakeDocument(kind, size, 77, "Title");
  ASSERT_GE(doc.size(), kind == DocumentKind::Zip ? 22u : 1536u);
  // Header at the first sector only.
  const Pattern& start = kind == DocumentKind::Zip ? kZipStart : kind == DocumentKind::Excel5 ? Text("Microsoft Excel 5.0") : kCompound;
  EXPECT_TRUE(StartsWith(doc, 0, start));
  for (std::size_t at = 512; at < doc.size(); at += 512)
    for (const Pattern* p : {&kCompound, &kZipStart}) EXPECT_FALSE(StartsWith(doc, at, *p)) << "header at byte " << at;
  for (std::size_t at = 512; at < doc.size(); at += 512) EXPECT_FALSE(StartsWith(doc, at, Text("Microsoft Excel 5.0")));
  // It ends in its last sector, as the kind it is.
  std::size_t endSector = 0;
  int raw = RawKindOf(doc, endSector);
  EXPECT_EQ(endSector, (doc.size() - 1) / 512);
  EXPECT_EQ(raw, RawKindNumber(kind));
  if (kind != DocumentKind::Zip) {
    EXPECT_EQ(doc.size() % 512, 0u);
  }
  if (kind == DocumentKind::PowerPoint) {
    EXPECT_TRUE(StartsWith(doc, 1152, Utf16WithoutLastZero("PowerPoint Document")));
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, MkimageDocuments,
                         ::testing::Values(std::make_tuple("word", 20000), std::make_tuple("excel", 30000),
                                           std::make_tuple("powerpoint", 45000), std::make_tuple("zip", 33000),
                                           std::make_tuple("excel5", 9000), std::make_tuple("word", 100),
                                           std::make_tuple("zip", 10), std::make_tuple("word", 6u << 20),
                                           std::make_tuple("zip", 700000)),
                         [](const auto& param) {
                           return std::string(std::get<0>(param.param)) + "_" + std::to_string(std::get<1>(param.param));
                         });

TEST(MkimageContent, ZipArchivesAreValidStoredArchives) {
  for (std::uint64_t size : {10u, 3000u, 33000u, 200000u}) {
    Bytes zip = MakeDocument(DocumentKind::Zip, size, size, "z");
    ASSERT_GE(zip.size(), 22u);
    std::size_t eocd = zip.size() - 22;
    ASSERT_EQ(Le32At(zip, eocd), 0x06054B50u);
    std::uint16_t count = static_cast<std::uint16_t>(zip[eocd + 10] | zip[eocd + 11] << 8);
    std::size_t central = Le32At(zip, eocd + 16);
    ASSERT_EQ(central + Le32At(zip, eocd + 12), eocd);
    for (std::uint16_t i = 0; i < count; ++i) {
      ASSERT_EQ(Le32At(zip, central), 0x02014B50u);
      std::uint32_t crc = Le32At(zip, central + 16);
      std::uint32_t length = Le32At(zip, central + 24);
      std::size_t nameLength = zip[central + 28] | zip[central + 29] << 8;
      std::size_t local = Le32At(zip, central + 42);
      ASSERT_EQ(Le32At(zip, local), 0x04034B50u);
      EXPECT_EQ(zip[local + 4], 0x0A);
      EXPECT_TRUE(local == 0 || local % 512 != 0);
      std::size_t data = local + 30 + nameLength;
      EXPECT_EQ(Crc32(std::span<const std::uint8_t>(zip).subspan(data, length)), crc);
      central += 46 + nameLength;
    }
  }
}

TEST(MkimageContent, DocumentsDependOnlyOnTheirSeed) {
  EXPECT_EQ(MakeDocument(DocumentKind::Word, 9000, 1, "a"), MakeDocument(DocumentKind::Word, 9000, 1, "a"));
  EXPECT_NE(MakeDocument(DocumentKind::Word, 9000, 1, "a"), MakeDocument(DocumentKind::Word, 9000, 2, "a"));
}

TEST(MkimageContent, Utf8BecomesUtf16AndLowBytes) {
  std::vector<std::uint16_t> units;
  EXPECT_TRUE(Utf8ToUtf16("Łódź", units));
  EXPECT_EQ(units, (std::vector<std::uint16_t>{0x0141, 0x00F3, 0x0064, 0x017A}));
  EXPECT_EQ(LowBytes(units), std::string("\x41\xF3\x64\x7A"));
  EXPECT_EQ(Latin1ToUtf8("\xF3"), "ó");
  EXPECT_TRUE(Utf8ToUtf16("\xF0\x9F\x98\x80", units));
  EXPECT_EQ(units, (std::vector<std::uint16_t>{0xD83D, 0xDE00}));
  EXPECT_FALSE(Utf8ToUtf16("a\xC3", units));
  EXPECT_FALSE(Utf8ToUtf16("\xFF", units));
}

}  // namespace
}  // namespace ov::mkimage
