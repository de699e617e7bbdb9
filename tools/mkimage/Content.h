#pragma once
// Deterministic content for disk images: a seeded generator, digests, and
// makers for real-looking names, texts and documents.
//
// Everything here depends only on its seed, so the same description always
// yields the same image, on every machine and compiler (no standard library
// distributions, whose output is implementation-defined).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ov::mkimage {

using Bytes = std::vector<std::uint8_t>;

// SplitMix64: small, fast and fully specified.
class Rng {
public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next();
  // Uniform in [0, bound); bound 0 gives 0.
  std::uint64_t Below(std::uint64_t bound);
  // Uniform in [low, high] (inclusive).
  std::uint64_t Between(std::uint64_t low, std::uint64_t high);
  bool Chance(unsigned percent) { return Below(100) < percent; }
  void Fill(std::span<std::uint8_t> out);

private:
  std::uint64_t state_;
};

// Seed for a named part of an image: mixes the image seed with a label so
// that adding one file does not change the bytes of every other one.
std::uint64_t DeriveSeed(std::uint64_t seed, std::string_view label);

std::string Sha256Hex(std::span<const std::uint8_t> data);
std::uint32_t Crc32(std::span<const std::uint8_t> data);

// Little-endian stores with bounds checks; they throw std::out_of_range
// inside the builder, which turns it into a build error.
void Put8(std::span<std::uint8_t> out, std::size_t at, std::uint8_t v);
void Put16(std::span<std::uint8_t> out, std::size_t at, std::uint16_t v);
void Put32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t v);
void Put64(std::span<std::uint8_t> out, std::size_t at, std::uint64_t v);
void PutBytes(std::span<std::uint8_t> out, std::size_t at, std::span<const std::uint8_t> v);
void PutText(std::span<std::uint8_t> out, std::size_t at, std::string_view v);

// UTF-8 to UTF-16 code units; invalid sequences become U+FFFD. Returns
// false (and leaves `out` partly filled) when the text is not valid UTF-8.
bool Utf8ToUtf16(std::string_view text, std::vector<std::uint16_t>& out);
// The 8-bit text a reader keeps from UTF-16 names: the low byte of each unit.
std::string LowBytes(const std::vector<std::uint16_t>& units);
// 8-bit text shown as Latin-1, converted to UTF-8 (for JSON output).
std::string Latin1ToUtf8(std::string_view text);

// The document kinds the raw scan recognises. Excel5 is an Excel workbook
// that starts with the "Microsoft Excel 5.0" text instead of a compound
// document header.
enum class DocumentKind { Word, Excel, PowerPoint, Zip, Excel5 };

// Parses "word", "excel", "excel5", "powerpoint", "zip"; false when unknown.
bool ParseDocumentKind(std::string_view text, DocumentKind& kind);
std::string_view DocumentKindName(DocumentKind kind);
// The raw scan's kind number: Word 0, Excel 1, PowerPoint 2, Zip 3.
int RawKindNumber(DocumentKind kind);

// A document of about `size` bytes (at least a few sectors). Compound
// documents and Excel 5 workbooks are whole sectors long; Zip archives are
// valid stored archives of their exact length. Every document carries the
// marker that ends it in the raw scan inside its last sector and nowhere
// else, except that a PowerPoint document also names its main stream in
// its directory at byte 1152. No sector but the first starts with a
// document header.
Bytes MakeDocument(DocumentKind kind, std::uint64_t size, std::uint64_t seed, std::string_view title);

// Plain text of about `size` bytes: sentences of office prose, CRLF lines.
Bytes MakeProse(std::uint64_t size, Rng& rng);
// Content that fits a file name's extension (.txt, .csv, .log, .ini, .htm,
// .doc, .xls, .ppt, .zip, anything else: binary noise).
Bytes MakeContentForName(std::string_view name, std::uint64_t size, std::uint64_t seed);

// Word lists for generated folder trees.
std::string MakeFolderName(Rng& rng, int depth);
std::string MakeFileName(Rng& rng);

}  // namespace ov::mkimage
