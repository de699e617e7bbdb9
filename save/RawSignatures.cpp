#include "save/RawSignatures.h"

#include <cstring>

namespace ov {

namespace {

constexpr bool PatternsFit() {
  for (const auto& record : kRawSignatures) {
    if (record.start.empty() || record.start.size() > kMaxPatternBytes) return false;
    if (record.marker.empty() || record.marker.size() > kMaxPatternBytes) return false;
  }
  for (const auto& probe : kRawContentProbes) {
    if (probe.offset + probe.bytes.size() > kProbeBytes) return false;
  }
  return true;
}
static_assert(PatternsFit(), "every pattern fits its record and every probe the probed bytes");
static_assert(raw_patterns::kWorkbook16.size() == 15);
static_assert(raw_patterns::kPowerPoint16.size() == 37);
static_assert(raw_patterns::kExcelWorksheet.size() == 26);
static_assert(raw_patterns::kZipLocalHeader.size() == 5 && raw_patterns::kZipEndOfDirectory.size() == 5);

}  // namespace

std::string RawCounterRowText(RawFileKind kind, std::uint64_t count) {
  return std::string(InfoOf(kind).counterText) + std::to_string(count);
}

std::string RawOutputName(RawFileKind kind, std::uint64_t ordinal) {
  const auto& info = InfoOf(kind);
  return std::string(info.namePrefix) + std::to_string(ordinal) + std::string(info.extension);
}

bool PatternAt(std::span<const std::byte> bytes, std::size_t offset, std::string_view pattern) {
  if (offset > bytes.size() || bytes.size() - offset < pattern.size()) return false;
  return std::memcmp(bytes.data() + offset, pattern.data(), pattern.size()) == 0;
}

std::optional<RawFileKind> ProbeContent(std::span<const std::byte> head) {
  for (const auto& probe : kRawContentProbes) {
    if (PatternAt(head, probe.offset, probe.bytes)) return probe.kind;
  }
  return std::nullopt;
}

}  // namespace ov
