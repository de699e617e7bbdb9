#include "save/ExactCarve.h"

#include <algorithm>
#include <cstring>

#include "save/ExactCompound.h"
#include "save/ExactZip.h"

namespace ov {

namespace {

constexpr std::size_t kSectorBytes = 512;

using namespace std::string_view_literals;
constexpr std::string_view kZipLocalHeaderAnyVersion = "PK\x03\x04"sv;

}  // namespace

const std::array<ExactFormat, 3> kExactFormats = {{
    {raw_patterns::kCompound, &MeasureCompound},
    {kZipLocalHeaderAnyVersion, &MeasureZip},
    {raw_patterns::kExcel5Text, nullptr},
}};

bool MemoryExactBytes::Read(std::uint64_t offset, std::span<std::byte> out) {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset) return false;
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
  return true;
}

DiskExactBytes::DiskExactBytes(const DiskView& disk, std::uint64_t diskSectors)
    : disk_(disk), diskSectors_(diskSectors), size_(diskSectors == 0 ? UINT64_MAX : diskSectors * kSectorBytes) {}

const DiskExactBytes::Stretch* DiskExactBytes::Load(std::uint64_t first) {
  ++clock_;
  for (auto& s : stretches_) {
    if (s.first == first) {
      s.used = clock_;
      return s.readable ? &s : nullptr;
    }
  }
  auto& s = *std::min_element(stretches_.begin(), stretches_.end(),
                              [](const Stretch& a, const Stretch& b) { return a.used < b.used; });
  std::uint64_t sectors = kStretchSectors;
  if (diskSectors_ != 0) sectors = std::min<std::uint64_t>(sectors, diskSectors_ - first);
  s.bytes.resize(static_cast<std::size_t>(sectors) * kSectorBytes);
  s.first = first;
  s.used = clock_;
  // Straight into the stretch when it reads whole; otherwise through the
  // reader's bad-sector step. A stretch that cannot be read whole is
  // remembered as such, so the reader is not asked for it again.
  const auto count = static_cast<std::uint32_t>(sectors);
  s.readable = disk_.ReadStretch(first, count, s.bytes.data()) || disk_.Read(first, count, s.bytes.data()) != 0;
  return s.readable ? &s : nullptr;
}

void DiskExactBytes::Hold(std::uint64_t first, std::span<const std::byte> sectors) {
  heldFirst_ = first * kSectorBytes;
  held_ = sectors;
}

bool DiskExactBytes::ReadDirect(std::uint64_t offset, std::span<std::byte> out) {
  const std::uint64_t first = offset / kSectorBytes;
  const std::uint64_t last = (offset + out.size() - 1) / kSectorBytes;
  std::vector<std::byte> buffer(static_cast<std::size_t>(last - first + 1) * kSectorBytes);
  if (disk_.Read(first, static_cast<std::uint32_t>(last - first + 1), buffer.data()) == 0) return false;
  std::memcpy(out.data(), buffer.data() + (offset - first * kSectorBytes), out.size());
  return true;
}

bool DiskExactBytes::Read(std::uint64_t offset, std::span<std::byte> out) {
  if (out.empty()) return offset <= size_;
  if (offset > size_ || out.size() > size_ - offset) return false;
  if (offset >= heldFirst_ && offset - heldFirst_ <= held_.size() && out.size() <= held_.size() - (offset - heldFirst_)) {
    std::memcpy(out.data(), held_.data() + (offset - heldFirst_), out.size());
    return true;
  }
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t at = offset + done;
    const std::uint64_t first = at / kSectorBytes / kStretchSectors * kStretchSectors;
    const std::uint64_t within = at - first * kSectorBytes;
    const Stretch* s = Load(first);
    if (s == nullptr) {
      // An unreadable sector in the stretch: only the bytes asked for count.
      const std::uint64_t stretchEnd = (first + kStretchSectors) * kSectorBytes;
      const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(out.size() - done, stretchEnd - at));
      if (!ReadDirect(at, out.subspan(done, length))) return false;
      done += length;
      continue;
    }
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(out.size() - done, s->bytes.size() - within));
    std::memcpy(out.data() + done, s->bytes.data() + within, length);
    done += length;
  }
  return true;
}

std::vector<ExactCandidate> FindExactCandidates(std::span<const std::byte> window, std::uint64_t windowStart) {
  std::vector<ExactCandidate> found;
  for (std::size_t offset = 0; offset < window.size(); offset += kSectorBytes) {
    const auto lead = static_cast<char>(window[offset]);
    for (std::size_t f = 0; f < kExactFormats.size(); ++f) {
      if (lead == kExactFormats[f].header.front() && PatternAt(window, offset, kExactFormats[f].header)) {
        found.push_back({windowStart + offset / kSectorBytes, f});
        break;
      }
    }
  }
  return found;
}

bool IsSignatureHeader(std::span<const std::byte> head) {
  return std::any_of(kRawSignatures.begin(), kRawSignatures.end(),
                     [&](const RawSignature& s) { return PatternAt(head, 0, s.start); });
}

ExactMeasure MeasureCandidate(ExactBytes& bytes, std::uint64_t start, std::size_t format) {
  if (format >= kExactFormats.size() || kExactFormats[format].measure == nullptr) {
    ExactMeasure m;
    m.reason = "no structure gives its length";
    return m;
  }
  return kExactFormats[format].measure(bytes, start);
}

}  // namespace ov
