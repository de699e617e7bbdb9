#include "disk/RescueMap.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace ov {

namespace {

// A number as ddrescue writes and reads it: 0x-hexadecimal or decimal.
bool ParseNumber(std::string_view s, std::uint64_t& out) {
  if (s.empty() || s.front() == '-' || s.front() == '+') return false;
  const std::string text(s);
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), &end, text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') ? 16 : 10);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  out = v;
  return true;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

bool IsStatus(std::string_view s, std::string_view allowed) { return s.size() == 1 && allowed.find(s[0]) != std::string_view::npos; }

}  // namespace

std::optional<RescueMap> RescueMap::Parse(std::string_view text, std::string* error) {
  RescueMap map;
  bool statusLine = false;
  std::size_t lineNo = 0;
  auto fail = [&](const std::string& why) -> std::optional<RescueMap> {
    if (error) *error = "line " + std::to_string(lineNo) + ": " + why;
    return std::nullopt;
  };
  while (!text.empty()) {
    ++lineNo;
    const std::size_t nl = text.find('\n');
    const std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    const auto f = Fields(line);
    if (f.empty() || f[0].front() == '#') continue;
    if (!statusLine) {
      // current_pos current_status [current_pass]
      std::uint64_t pos = 0;
      if (f.size() < 2 || f.size() > 3 || !ParseNumber(f[0], pos) || !IsStatus(f[1], "?*/-FGA+")) {
        return fail("not the status line of a ddrescue map (\"pos status [pass]\")");
      }
      statusLine = true;
      continue;
    }
    Area a{};
    if (f.size() != 3 || !ParseNumber(f[0], a.pos) || !ParseNumber(f[1], a.size) || !IsStatus(f[2], "?*/-+")) {
      return fail("not an area of a ddrescue map (\"pos size status\")");
    }
    if (a.size == 0 || a.pos + a.size < a.pos) return fail("an empty or overflowing area");
    if (!map.areas_.empty() && a.pos < map.areas_.back().pos + map.areas_.back().size) {
      return fail("areas overlap or are out of order");
    }
    a.status = f[2][0];
    map.areas_.push_back(a);
  }
  if (!statusLine) {
    lineNo = 0;
    return fail("no status line: this is not a ddrescue map");
  }
  return map;
}

std::optional<RescueMap> RescueMap::Load(const std::filesystem::path& file, std::string* error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot read the map " + file.string() + ": " + std::strerror(errno);
    return std::nullopt;
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  std::string why;
  auto map = Parse(ss.str(), &why);
  if (!map && error) *error = file.string() + " is not a ddrescue map: " + why;
  return map;
}

BadSectorMap RescueMap::UnreadableSectors(std::uint64_t sectorCount) const {
  BadSectorMap bad;
  if (sectorCount == 0) return bad;
  // Sectors wholly inside finished areas are readable; every sector between
  // them (partly finished ones included) is not.
  std::uint64_t next = 0;  // first sector not yet known readable
  auto markUpTo = [&](std::uint64_t end) {  // [next, end) unreadable
    end = std::min(end, sectorCount);
    if (end > next) bad.Add(next, end - 1);
  };
  for (const Area& a : areas_) {
    if (a.status != '+') continue;
    const std::uint64_t first = (a.pos + kSectorSize - 1) / kSectorSize;
    const std::uint64_t end = (a.pos + a.size) / kSectorSize;
    if (end <= first) continue;
    markUpTo(first);
    next = std::max(next, end);
    if (next >= sectorCount) return bad;
  }
  markUpTo(sectorCount);
  return bad;
}

std::optional<std::filesystem::path> FindRescueMap(const std::filesystem::path& image) {
  std::vector<std::filesystem::path> candidates = {image.string() + ".map", image.string() + ".mapfile"};
  if (image.has_extension()) {
    auto bare = image;
    candidates.push_back(bare.replace_extension(".map"));
    candidates.push_back(bare.replace_extension(".mapfile"));
  }
  for (const auto& c : candidates) {
    std::error_code ec;
    if (c != image && std::filesystem::is_regular_file(c, ec)) return c;
  }
  return std::nullopt;
}

bool MaskedDevice::Read(std::uint64_t first, std::uint32_t count, std::byte* buffer) {
  return !unreadable_.Intersects(first, count) && inner_->Read(first, count, buffer);
}

bool MaskedDevice::ReadUnguarded(std::uint64_t first, std::uint32_t count, std::byte* buffer) {
  return !unreadable_.Intersects(first, count) && inner_->ReadUnguarded(first, count, buffer);
}

std::uint64_t MaskedDevice::CopyUnguarded(std::uint64_t first, std::uint64_t bytes, int to) {
  // Only up to the first unreadable sector; the caller reads the rest.
  const std::uint64_t sectors = (bytes + kSectorSize - 1) / kSectorSize;
  const auto& ranges = unreadable_.ranges();
  auto r = std::lower_bound(ranges.begin(), ranges.end(), first,
                            [](const BadSectorMap::Range& a, std::uint64_t s) { return a.last < s; });
  if (r != ranges.end()) {
    if (r->first <= first) return 0;
    if (r->first < first + sectors) bytes = (r->first - first) * kSectorSize;
  }
  return inner_->CopyUnguarded(first, bytes, to);
}

}  // namespace ov
