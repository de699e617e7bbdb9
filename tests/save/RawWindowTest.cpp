#include "save/RawWindow.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace ov {
namespace {

constexpr std::uint64_t kBase = 8000;  // the window's first sector

// An in-memory window of noise-free zeros into which the tests place the
// scan's own patterns (from the signature table) at chosen offsets.
class Window : public ::testing::Test {
protected:
  void Put(std::size_t offset, std::string_view pattern) {
    ASSERT_LE(offset + pattern.size(), bytes.size());
    std::memcpy(bytes.data() + offset, pattern.data(), pattern.size());
  }
  void Header(std::uint64_t sector, std::size_t record) { Put(sector * 512, kRawSignatures[record].start); }
  void Marker(std::size_t offset, std::size_t record) { Put(offset, kRawSignatures[record].marker); }
  std::vector<RawHeader> Headers() const { return FindRawHeaders(bytes, kBase); }
  RawMarkerSectors Markers(std::size_t from = 0) const { return LastRawMarkers(bytes, kBase, from); }

  std::vector<std::byte> bytes = std::vector<std::byte>(kRawWindowBytes);
};

TEST(RawWindowSizes, EightHundredSectorsInFortyReadsOfTwenty) {
  EXPECT_EQ(kRawWindowSectors, 800u);
  EXPECT_EQ(kRawReadSectors, 20u);
  EXPECT_EQ(kRawReadsPerWindow, 40u);
  EXPECT_EQ(kRawWindowBytes, 409'600u);
}

TEST_F(Window, NoHeadersInAnEmptyWindow) { EXPECT_TRUE(Headers().empty()); }

TEST_F(Window, HeadersOnlyAtSectorBoundaries) {
  Put(3 * 512 + 1, kRawSignatures[0].start);
  Put(9 * 512 + 256, kRawSignatures[5].start);
  EXPECT_TRUE(Headers().empty());
  Header(0, 0);
  Header(799, 5);
  EXPECT_EQ(Headers(), (std::vector<RawHeader>{{kBase, 0}, {kBase + 799, 5}}));
}

TEST_F(Window, CompoundHeaderIsListedOnceUnderRecordZero) {
  Header(40, 0);
  EXPECT_EQ(Headers(), (std::vector<RawHeader>{{kBase + 40, 0}}));
}

TEST_F(Window, ExcelFiveTextStartsADocument) {
  Header(12, 4);
  EXPECT_EQ(Headers(), (std::vector<RawHeader>{{kBase + 12, 4}}));
}

TEST_F(Window, ZipWhoseFifthByteIs14IsNoHeader) {
  Put(5 * 512, std::string_view("PK\x03\x04\x14", 5));
  EXPECT_TRUE(Headers().empty());
  Put(6 * 512, std::string_view("PK\x03\x04\x0A", 5));
  EXPECT_EQ(Headers(), (std::vector<RawHeader>{{kBase + 6, 5}}));
}

TEST_F(Window, LaterRecordBeforeAListedHeaderIsNotTaken) {
  Header(100, 5);  // Zip, record 5
  Header(700, 0);  // compound document, record 0, found first
  EXPECT_EQ(Headers(), (std::vector<RawHeader>{{kBase + 700, 0}}));
}

TEST_F(Window, LaterRecordAfterTheListedHeadersIsTaken) {
  Header(100, 0);
  Header(300, 4);
  Header(700, 5);
  Header(200, 5);  // before the Excel 5 header: dropped
  EXPECT_EQ(Headers(), (std::vector<RawHeader>{{kBase + 100, 0}, {kBase + 300, 4}, {kBase + 700, 5}}));
}

TEST_F(Window, EverySectorCanHoldAHeader) {
  for (std::uint64_t s = 0; s < kRawWindowSectors; ++s) Header(s, 5);
  const auto headers = Headers();
  ASSERT_EQ(headers.size(), 800u);
  EXPECT_EQ(headers.back().sector, kBase + 799);
}

TEST_F(Window, LastMarkerOfEachRecord) {
  Marker(10 * 512 + 7, 0);
  Marker(30 * 512 + 500, 0);  // runs across into sector 31: counts for 30
  Marker(50 * 512, 5);
  const auto markers = Markers();
  EXPECT_EQ(markers[0], kBase + 30);
  EXPECT_EQ(markers[5], kBase + 50);
  for (std::size_t r : {1u, 2u, 3u, 4u}) EXPECT_EQ(markers[r], std::nullopt) << r;
}

TEST_F(Window, ExcelWorksheetMarkerServesRecordsTwoAndFour) {
  Marker(77 * 512 + 3, 2);
  const auto markers = Markers();
  EXPECT_EQ(markers[2], kBase + 77);
  EXPECT_EQ(markers[4], kBase + 77);
}

TEST_F(Window, MarkerTouchingTheWindowsLastByteIsNotSeen) {
  const std::string_view zip = kRawSignatures[5].marker;
  Marker(kRawWindowBytes - zip.size(), 5);
  EXPECT_EQ(Markers()[5], std::nullopt);
  Marker(kRawWindowBytes - zip.size() - 1, 5);
  EXPECT_EQ(Markers()[5], kBase + 799);
}

TEST_F(Window, SearchFromAnOffsetSeesOnlyMatchesStartingThere) {
  Marker(3 * 512 + 10, 3);
  EXPECT_EQ(Markers(3 * 512 + 10)[3], kBase + 3);
  EXPECT_EQ(Markers(3 * 512 + 11)[3], std::nullopt);
  Marker(5 * 512, 0);
  Marker(9 * 512, 0);
  EXPECT_EQ(Markers(6 * 512)[0], kBase + 9);
  EXPECT_EQ(Markers(kRawWindowBytes)[0], std::nullopt);
}

TEST_F(Window, RepeatedMarkersGiveTheLast) {
  for (std::size_t s = 0; s < 800; s += 3) Marker(s * 512 + 1, 5);
  EXPECT_EQ(Markers()[5], kBase + 798);
}

TEST_F(Window, MarkerAtTheWindowsFirstByte) {
  Marker(0, 3);
  EXPECT_EQ(Markers()[3], kBase);
}

// The last match of each record, byte by byte, as the rules state it.
RawMarkerSectors MarkersByEveryByte(std::span<const std::byte> window, std::size_t from) {
  RawMarkerSectors found{};
  for (std::size_t record = 0; record < kRawSignatures.size(); ++record) {
    const std::string_view marker = kRawSignatures[record].marker;
    for (std::size_t at = from; at + marker.size() < window.size(); ++at) {
      if (PatternAt(window, at, marker)) found[record] = kBase + at / 512;
    }
  }
  return found;
}

TEST(RawMarkerSearch, SameLastMarkersAsTestingEveryByte) {
  // Bytes drawn mostly from the markers' own, so that their leading pairs
  // and part-markers are everywhere; whole markers planted at the vector
  // edges and at the end, in windows of sizes that leave a tail.
  std::mt19937 random(5);
  std::string alphabet;
  for (const auto& s : kRawSignatures) alphabet += s.marker.substr(0, 3);
  for (std::size_t size : {std::size_t{kRawWindowBytes}, std::size_t{4099}, std::size_t{70}, std::size_t{6}}) {
    for (int round = 0; round < 20; ++round) {
      std::vector<std::byte> window(size);
      for (auto& b : window) {
        const auto pick = random() % (alphabet.size() + 8);
        b = static_cast<std::byte>(pick < alphabet.size() ? alphabet[pick] : random());
      }
      for (int k = 0; k < 6; ++k) {
        const std::string_view marker = kRawSignatures[random() % kRawSignatures.size()].marker;
        if (marker.size() + 2 >= size) continue;
        const std::size_t edge = (random() % (size / 16 + 1)) * 16 + random() % 3;
        const std::size_t at = k == 0 ? size - marker.size() - 1 - round % 2 : std::min(edge, size - marker.size());
        std::memcpy(window.data() + at, marker.data(), marker.size());
      }
      for (std::size_t from : {std::size_t{0}, std::size_t{1}, size / 3, size - 1}) {
        EXPECT_EQ(LastRawMarkers(window, kBase, from), MarkersByEveryByte(window, from))
            << "size " << size << " round " << round << " from " << from;
      }
    }
  }
}

// FindRawEnd works on the last markers only.
RawMarkerSectors MarkersAt(std::initializer_list<std::pair<std::size_t, std::uint64_t>> at) {
  RawMarkerSectors markers{};
  for (auto [record, sector] : at) markers[record] = sector;
  return markers;
}

TEST(RawEndSearch, NoMarkersNoEnd) {
  EXPECT_EQ(FindRawEnd({}, 100, true, std::nullopt, 0), std::nullopt);
  EXPECT_EQ(FindRawEnd({}, 100, true, 200, 0), std::nullopt);
}

TEST(RawEndSearch, SmallestEndOverTheRecordsWins) {
  const auto markers = MarkersAt({{0, 150}, {3, 120}, {5, 180}});
  EXPECT_EQ(FindRawEnd(markers, 100, true, std::nullopt, 0), (RawEnd{120, 3}));
}

TEST(RawEndSearch, LowerRecordWinsATie) {
  const auto markers = MarkersAt({{4, 130}, {2, 130}, {3, 130}});
  EXPECT_EQ(FindRawEnd(markers, 100, true, std::nullopt, 0), (RawEnd{130, 2}));
}

TEST(RawEndSearch, MarkerInTheHeaderSectorEndsAOneSectorDocument) {
  EXPECT_EQ(FindRawEnd(MarkersAt({{5, 100}}), 100, true, std::nullopt, 0), (RawEnd{100, 5}));
}

TEST(RawEndSearch, MarkerBeforeTheStartDoesNotCountForADocumentStartedHere) {
  EXPECT_EQ(FindRawEnd(MarkersAt({{0, 99}}), 100, true, std::nullopt, 0), std::nullopt);
  // Continued from an earlier window: the start does not bound it.
  EXPECT_EQ(FindRawEnd(MarkersAt({{0, 99}}), 10, false, std::nullopt, 0), (RawEnd{99, 0}));
}

TEST(RawEndSearch, MarkersAtOrBeforeTheLastEndAreIgnored) {
  EXPECT_EQ(FindRawEnd(MarkersAt({{0, 150}}), 10, false, std::nullopt, 150), std::nullopt);
  EXPECT_EQ(FindRawEnd(MarkersAt({{0, 151}}), 10, false, std::nullopt, 150), (RawEnd{151, 0}));
}

TEST(RawEndSearch, MarkerAtOrPastTheNextHeaderEndsBeforeIt) {
  EXPECT_EQ(FindRawEnd(MarkersAt({{5, 300}}), 100, true, 200, 0), (RawEnd{199, 5}));
  EXPECT_EQ(FindRawEnd(MarkersAt({{5, 200}}), 100, true, 200, 0), (RawEnd{199, 5}));
  EXPECT_EQ(FindRawEnd(MarkersAt({{5, 199}}), 100, true, 200, 0), (RawEnd{199, 5}));
  EXPECT_EQ(FindRawEnd(MarkersAt({{5, 150}}), 100, true, 200, 0), (RawEnd{150, 5}));
}

TEST(RawEndSearch, ClampedMarkerCompetesWithTheOthers) {
  // Word's marker lies past the next header (taken as 199); Zip's at 199
  // ties with it and the lower record, Word, decides.
  EXPECT_EQ(FindRawEnd(MarkersAt({{0, 400}, {5, 199}}), 100, true, 200, 0), (RawEnd{199, 0}));
  EXPECT_EQ(FindRawEnd(MarkersAt({{0, 400}, {5, 180}}), 100, true, 200, 0), (RawEnd{180, 5}));
}

TEST(RawEndSearch, ContinuedDocumentEndsBeforeTheWindowsFirstHeader) {
  EXPECT_EQ(FindRawEnd(MarkersAt({{1, 9000}}), 7000, false, 8500, 0), (RawEnd{8499, 1}));
}

// The window rules together: headers, then markers, then ends.
TEST_F(Window, TwoDocumentsInOneWindow) {
  Header(10, 0);
  Marker(40 * 512 + 100, 0);  // the first document's Word marker
  Header(60, 5);
  Marker(90 * 512 + 30, 5);
  const auto headers = Headers();
  ASSERT_EQ(headers.size(), 2u);
  const auto markers = Markers();
  EXPECT_EQ(FindRawEnd(markers, headers[0].sector, true, headers[1].sector, 0), (RawEnd{kBase + 40, 0}));
  EXPECT_EQ(FindRawEnd(markers, headers[1].sector, true, std::nullopt, kBase + 40), (RawEnd{kBase + 90, 5}));
}

TEST_F(Window, OnlyTheLastMatchOfARecordCounts) {
  // Both documents carry "Word.Document"; only the second one's counts, so
  // the first document ends before the second header.
  Header(10, 0);
  Marker(20 * 512, 0);
  Header(60, 0);
  Marker(70 * 512, 0);
  const auto headers = Headers();
  ASSERT_EQ(headers.size(), 2u);
  const auto markers = Markers();
  EXPECT_EQ(FindRawEnd(markers, kBase + 10, true, kBase + 60, 0), (RawEnd{kBase + 59, 0}));
  EXPECT_EQ(FindRawEnd(markers, kBase + 60, true, std::nullopt, kBase + 59), (RawEnd{kBase + 70, 0}));
}

}  // namespace
}  // namespace ov
