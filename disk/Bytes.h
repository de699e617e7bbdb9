#pragma once
// Little-endian fields over byte spans, with bounds checks.
//
// On-disk records are read field by field through these helpers, never by
// casting a buffer to a struct. A field that would pass the end of its span
// reads as nothing, and the caller treats that as the end of the structure.

#include <bit>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace ov {

// The little-endian value of sizeof(T) bytes at `at`, which the caller has
// checked lie inside its buffer.
template <typename T>
T LoadLe(const std::byte* at) {
  if constexpr (std::endian::native == std::endian::little) {
    // One load; the byte loop below is not always merged into one.
    T v;
    std::memcpy(&v, at, sizeof(T));
    return v;
  } else {
    using U = std::make_unsigned_t<T>;
    U v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) v = static_cast<U>(v | static_cast<U>(static_cast<U>(at[i]) << (8 * i)));
    return static_cast<T>(v);
  }
}

class Bytes {
public:
  Bytes() = default;
  explicit Bytes(std::span<const std::byte> span) : span_(span) {}

  std::size_t size() const { return span_.size(); }
  // True when `width` bytes starting at `offset` lie inside the span.
  bool Has(std::size_t offset, std::size_t width) const {
    return offset <= span_.size() && width <= span_.size() - offset;
  }

  std::optional<std::uint8_t> U8(std::size_t offset) const {
    if (!Has(offset, 1)) return std::nullopt;
    return static_cast<std::uint8_t>(span_[offset]);
  }
  std::optional<std::uint16_t> U16(std::size_t offset) const { return Le<std::uint16_t>(offset); }
  std::optional<std::uint32_t> U32(std::size_t offset) const { return Le<std::uint32_t>(offset); }
  std::optional<std::uint64_t> U64(std::size_t offset) const { return Le<std::uint64_t>(offset); }
  std::optional<std::int16_t> I16(std::size_t offset) const {
    auto v = U16(offset);
    if (!v) return std::nullopt;
    return static_cast<std::int16_t>(*v);
  }

  // True when the bytes at `offset` equal `text` (without a terminator).
  bool Matches(std::size_t offset, std::string_view text) const {
    if (!Has(offset, text.size())) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (static_cast<char>(span_[offset + i]) != text[i]) return false;
    }
    return true;
  }

  // `units` UTF-16LE code units at `offset`, keeping the low byte of each;
  // the text ends at the first code unit whose low byte is 0. Nothing when
  // the units pass the end of the span.
  std::optional<std::string> LowBytes16(std::size_t offset, std::size_t units) const {
    if (!Has(offset, units * 2)) return std::nullopt;
    std::string text;
    for (std::size_t i = 0; i < units; ++i) {
      const char c = static_cast<char>(span_[offset + 2 * i]);
      if (c == '\0') break;
      text.push_back(c);
    }
    return text;
  }
  // The same into the caller's buffer, for readers of many names; nothing
  // also when the buffer is too small.
  std::optional<std::string_view> LowBytes16(std::size_t offset, std::size_t units, std::span<char> out) const {
    if (!Has(offset, units * 2) || units > out.size()) return std::nullopt;
    std::size_t n = 0;
    for (; n < units; ++n) {
      const char c = static_cast<char>(span_[offset + 2 * n]);
      if (c == '\0') break;
      out[n] = c;
    }
    return std::string_view(out.data(), n);
  }

  std::span<const std::byte> span() const { return span_; }

private:
  template <typename T>
  std::optional<T> Le(std::size_t offset) const {
    if (!Has(offset, sizeof(T))) return std::nullopt;
    return LoadLe<T>(span_.data() + offset);
  }

  std::span<const std::byte> span_;
};

}  // namespace ov
