#include "save/RawSignatures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace ov {
namespace {

std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// UTF-16LE form of an ASCII text without its last zero byte, built here
// independently of the table.
std::string Utf16WithoutLastZero(std::string_view text) {
  std::string out;
  for (char c : text) {
    out += c;
    out += '\0';
  }
  out.pop_back();
  return out;
}

TEST(RawSignatures, KindRowsNamesAndCountersAreInKindOrder) {
  ASSERT_EQ(kRawKinds.size(), 4u);
  EXPECT_EQ(kRawKinds[0].listRow, "Microsoft Word File(s) (.DOC)");
  EXPECT_EQ(kRawKinds[1].listRow, "Microsoft Excel File(s) (.XLS)");
  EXPECT_EQ(kRawKinds[2].listRow, "Microsoft PowerPoint File(s) (.PPT)");
  EXPECT_EQ(kRawKinds[3].listRow, "Compressed File(s) (.Zip)");
  for (std::size_t i = 0; i < kRawKinds.size(); ++i) EXPECT_EQ(KindIndex(kRawKinds[i].kind), i);
}

TEST(RawSignatures, CounterRowsHaveTwoBlanksAfterTheColon) {
  EXPECT_EQ(RawCounterRowText(RawFileKind::Word, 0), "Total Word File(s) Recovered :  0");
  EXPECT_EQ(RawCounterRowText(RawFileKind::Excel, 12), "Total Excel File(s) Recovered :  12");
  EXPECT_EQ(RawCounterRowText(RawFileKind::PowerPoint, 3), "Total PowerPoint File(s) Recovered :  3");
  EXPECT_EQ(RawCounterRowText(RawFileKind::Zip, 1), "Total Zip File(s) Recovered :  1");
}

TEST(RawSignatures, OutputNamesArePrefixOrdinalExtension) {
  EXPECT_EQ(RawOutputName(RawFileKind::Word, 7), "DOC7.DOC");
  EXPECT_EQ(RawOutputName(RawFileKind::Excel, 1), "XLS1.XLS");
  EXPECT_EQ(RawOutputName(RawFileKind::PowerPoint, 10), "PPT10.PPT");
  EXPECT_EQ(RawOutputName(RawFileKind::Zip, 1), "ZIP1.ZIP");
}

TEST(RawSignatures, SixRecordsWithTheirExactBytes) {
  ASSERT_EQ(kRawSignatures.size(), 6u);
  const std::string compound = "D0 CF 11 E0 A1 B1 1A E1";
  for (int r = 0; r < 4; ++r) EXPECT_EQ(Hex(kRawSignatures[r].start), compound) << r;
  EXPECT_EQ(kRawSignatures[4].start, "Microsoft Excel 5.0");
  EXPECT_EQ(Hex(kRawSignatures[5].start), "50 4B 03 04 0A");

  EXPECT_EQ(kRawSignatures[0].marker, "Word.Document");
  EXPECT_EQ(kRawSignatures[1].marker, Utf16WithoutLastZero("Workbook"));
  EXPECT_EQ(kRawSignatures[1].marker.size(), 15u);
  const std::string worksheet = std::string("Microsoft Excel Workshet") + '\0' + '\x06';
  EXPECT_EQ(kRawSignatures[2].marker, worksheet);
  EXPECT_EQ(kRawSignatures[2].marker.size(), 26u);
  EXPECT_EQ(kRawSignatures[3].marker, Utf16WithoutLastZero("PowerPoint Document"));
  EXPECT_EQ(kRawSignatures[3].marker.size(), 37u);
  EXPECT_EQ(kRawSignatures[4].marker, worksheet);
  EXPECT_EQ(Hex(kRawSignatures[5].marker), "50 4B 05 06 00");

  const RawFileKind kinds[] = {RawFileKind::Word,       RawFileKind::Excel, RawFileKind::Excel,
                               RawFileKind::PowerPoint, RawFileKind::Excel, RawFileKind::Zip};
  for (std::size_t r = 0; r < 6; ++r) EXPECT_EQ(kRawSignatures[r].markerKind, kinds[r]) << r;
}

class Probe : public ::testing::Test {
protected:
  void Put(std::size_t offset, std::string_view text) { std::memcpy(head.data() + offset, text.data(), text.size()); }
  std::vector<std::byte> head = std::vector<std::byte>(kProbeBytes);
};

TEST_F(Probe, NothingMatchesPlainBytes) { EXPECT_EQ(ProbeContent(head), std::nullopt); }

TEST_F(Probe, PowerPointStreamNameAt1152) {
  Put(1152, Utf16WithoutLastZero("PowerPoint Document"));
  EXPECT_EQ(ProbeContent(head), RawFileKind::PowerPoint);
}

TEST_F(Probe, ExcelTextsComeBeforePowerPoint) {
  Put(1152, Utf16WithoutLastZero("PowerPoint Document"));
  Put(4768, "Microsoft Excel");
  EXPECT_EQ(ProbeContent(head), RawFileKind::Excel);
  Put(4768, "xxxxxxxxxxxxxxx");
  Put(2080, "Microsoft Excel 5.0");
  EXPECT_EQ(ProbeContent(head), RawFileKind::Excel);
}

TEST_F(Probe, TextsOneByteOffDoNotMatch) {
  Put(1153, Utf16WithoutLastZero("PowerPoint Document"));
  Put(2081, "Microsoft Excel 5.0");
  Put(4767, "Microsoft Excel");
  EXPECT_EQ(ProbeContent(head), std::nullopt);
}

TEST_F(Probe, ShortHeadsDoNotReachThePatterns) {
  Put(1152, Utf16WithoutLastZero("PowerPoint Document"));
  EXPECT_EQ(ProbeContent(std::span<const std::byte>(head).first(1152 + 36)), std::nullopt);
  EXPECT_EQ(ProbeContent(std::span<const std::byte>(head).first(1152 + 37)), RawFileKind::PowerPoint);
  EXPECT_EQ(ProbeContent({}), std::nullopt);
}

TEST(RawSignatures, PatternAtChecksBounds) {
  std::vector<std::byte> bytes(8, std::byte{'a'});
  EXPECT_TRUE(PatternAt(bytes, 6, "aa"));
  EXPECT_FALSE(PatternAt(bytes, 7, "aa"));
  EXPECT_FALSE(PatternAt(bytes, 9, "a"));
  EXPECT_TRUE(PatternAt(bytes, 8, ""));
}

}  // namespace
}  // namespace ov
