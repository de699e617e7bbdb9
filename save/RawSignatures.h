#pragma once
// What the raw scan looks for: the four document kinds it recovers, the six
// signature records (a header that starts a document and a marker that ends
// one), and the content probes that correct a compound document's kind.
//
// Every format is one row of a const table; the engine (save/RawScan.h)
// walks the tables and knows no format by itself. Patterns are raw bytes
// held in string views, so UTF-16LE texts and embedded zeros are exact.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace ov {

enum class RawFileKind : int { Word = 0, Excel = 1, PowerPoint = 2, Zip = 3 };
inline constexpr std::size_t kRawKindCount = 4;

struct RawKindInfo {
  RawFileKind kind;
  std::string_view listRow;      // row of the kind list
  std::string_view namePrefix;   // output name: prefix + ordinal + extension
  std::string_view extension;
  std::string_view counterText;  // counter row: text + count
};

// In kind order: the rows of the kind list and of the counter rows.
inline constexpr std::array<RawKindInfo, kRawKindCount> kRawKinds = {{
    {RawFileKind::Word, "Microsoft Word File(s) (.DOC)", "DOC", ".DOC", "Total Word File(s) Recovered :  "},
    {RawFileKind::Excel, "Microsoft Excel File(s) (.XLS)", "XLS", ".XLS", "Total Excel File(s) Recovered :  "},
    {RawFileKind::PowerPoint, "Microsoft PowerPoint File(s) (.PPT)", "PPT", ".PPT",
     "Total PowerPoint File(s) Recovered :  "},
    {RawFileKind::Zip, "Compressed File(s) (.Zip)", "ZIP", ".ZIP", "Total Zip File(s) Recovered :  "},
}};

inline constexpr std::size_t KindIndex(RawFileKind kind) { return static_cast<std::size_t>(kind); }
inline const RawKindInfo& InfoOf(RawFileKind kind) { return kRawKinds[KindIndex(kind)]; }

// "Total Word File(s) Recovered :  7".
std::string RawCounterRowText(RawFileKind kind, std::uint64_t count);
// "DOC7.DOC": the file a document of this kind and ordinal is written to.
std::string RawOutputName(RawFileKind kind, std::uint64_t ordinal);

// A pattern holds at most this many bytes.
inline constexpr std::size_t kMaxPatternBytes = 100;

struct RawSignature {
  std::string_view start;   // tested at sector boundaries
  std::string_view marker;  // searched at every byte
  RawFileKind markerKind;   // the kind a matching marker stands for
};

namespace raw_patterns {
using namespace std::string_view_literals;
// The compound-document signature.
inline constexpr std::string_view kCompound = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv;
inline constexpr std::string_view kExcel5Text = "Microsoft Excel 5.0"sv;
// "Microsoft Excel Workshet" (spelt so in the files) followed by 00 06.
inline constexpr std::string_view kExcelWorksheet = "Microsoft Excel Workshet\x00\x06"sv;
// UTF-16LE texts without their last zero byte.
inline constexpr std::string_view kWorkbook16 = "W\0o\0r\0k\0b\0o\0o\0k"sv;
inline constexpr std::string_view kPowerPoint16 =
    "P\0o\0w\0e\0r\0P\0o\0i\0n\0t\0 \0D\0o\0c\0u\0m\0e\0n\0t"sv;
inline constexpr std::string_view kZipLocalHeader = "PK\x03\x04\x0A"sv;
inline constexpr std::string_view kZipEndOfDirectory = "PK\x05\x06\x00"sv;
inline constexpr std::string_view kWordDocument = "Word.Document"sv;
inline constexpr std::string_view kExcelText = "Microsoft Excel"sv;
}  // namespace raw_patterns

// Records 0 to 5, in the order the scan tries them; a lower record wins a
// tie between ends.
inline constexpr std::array<RawSignature, 6> kRawSignatures = {{
    {raw_patterns::kCompound, raw_patterns::kWordDocument, RawFileKind::Word},
    {raw_patterns::kCompound, raw_patterns::kWorkbook16, RawFileKind::Excel},
    {raw_patterns::kCompound, raw_patterns::kExcelWorksheet, RawFileKind::Excel},
    {raw_patterns::kCompound, raw_patterns::kPowerPoint16, RawFileKind::PowerPoint},
    {raw_patterns::kExcel5Text, raw_patterns::kExcelWorksheet, RawFileKind::Excel},
    {raw_patterns::kZipLocalHeader, raw_patterns::kZipEndOfDirectory, RawFileKind::Zip},
}};

struct RawContentProbe {
  std::size_t offset;  // byte offset in the document
  std::string_view bytes;
  RawFileKind kind;
};

// Tried in this order on the first bytes of every document found; the first
// that matches sets the kind.
inline constexpr std::array<RawContentProbe, 3> kRawContentProbes = {{
    {2080, raw_patterns::kExcel5Text, RawFileKind::Excel},
    {4768, raw_patterns::kExcelText, RawFileKind::Excel},
    {1152, raw_patterns::kPowerPoint16, RawFileKind::PowerPoint},
}};

// How many leading bytes of a document the probes look at (10 sectors).
inline constexpr std::size_t kProbeBytes = 5120;

// The kind the first probe matching `head` (a document's first bytes)
// stands for; nothing when none matches. A probe that would reach past the
// end of `head` does not match.
std::optional<RawFileKind> ProbeContent(std::span<const std::byte> head);

// True when `pattern` lies at `offset` of `bytes` (false when it would run
// past the end).
bool PatternAt(std::span<const std::byte> bytes, std::size_t offset, std::string_view pattern);

}  // namespace ov
