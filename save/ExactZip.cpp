#include "save/ExactZip.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "disk/Bytes.h"

namespace ov {

namespace {

constexpr std::uint32_t kLocalHeader = 0x04034B50;      // PK 03 04
constexpr std::uint32_t kCentralHeader = 0x02014B50;    // PK 01 02
constexpr std::uint32_t kEndRecord = 0x06054B50;        // PK 05 06
constexpr std::uint32_t kEnd64Record = 0x06064B50;      // PK 06 06
constexpr std::uint32_t kEnd64Locator = 0x07064B50;     // PK 06 07
constexpr std::uint32_t kDescriptor = 0x08074B50;       // PK 07 08
constexpr std::uint32_t kDigitalSignature = 0x05054B50; // PK 05 05

constexpr std::size_t kLocalBytes = 30;
constexpr std::size_t kCentralBytes = 46;
constexpr std::size_t kEndBytes = 22;
constexpr std::size_t kEnd64Bytes = 56;
constexpr std::size_t kLocatorBytes = 20;

constexpr std::uint16_t kFlagDescriptor = 0x0008;
constexpr std::uint16_t kFlagMaskedHeaders = 0x2000;
constexpr std::uint16_t kZip64ExtraId = 0x0001;

// Compression methods of the Zip format's note: stored, shrunk, reduced,
// imploded, deflated, deflate64, terse, bzip2, lzma, cmpsc, terse, lz77,
// zstandard, mp3, xz, jpeg, wavpack, ppmd, and AES encryption.
constexpr std::array<std::uint16_t, 23> kKnownMethods = {0,  1,  2,  3,  4,  5,  6,  8,  9,  10, 12, 14,
                                                         16, 18, 19, 20, 93, 94, 95, 96, 97, 98, 99};

// Version 6.3 is the highest the format's note has defined.
constexpr std::uint8_t kHighestVersion = 63;

constexpr std::size_t kSearchChunk = 64 * 1024;

ExactMeasure Unmeasurable(std::string reason) {
  ExactMeasure m;
  m.verdict = ExactVerdict::Unmeasurable;
  m.reason = std::move(reason);
  return m;
}

// A failed step: why the archive cannot be measured.
struct Failure {
  std::string reason;
};

class ZipWalker {
public:
  ZipWalker(ExactBytes& bytes, std::uint64_t start) : bytes_(bytes), start_(start) {}

  ExactMeasure Measure() {
    std::uint64_t at = start_;
    std::uint64_t locals = 0;
    std::optional<std::uint32_t> signature = U32(at);
    while (signature == kLocalHeader) {
      std::string error;
      const std::optional<std::uint64_t> next = Entry(at, locals == 0, error);
      if (!next) return Unmeasurable(error);
      at = *next;
      ++locals;
      signature = U32(at);
    }
    if (!signature) return Unmeasurable("the archive runs past the end of the disk");

    const std::uint64_t directoryStart = at;
    std::uint64_t directoryEntries = 0;
    while (signature == kCentralHeader) {
      std::array<std::byte, kCentralBytes> h{};
      if (!bytes_.Read(at, h)) return Unmeasurable("the central directory runs past the end of the disk");
      const Bytes c(h);
      at += kCentralBytes + std::uint64_t{c.U16(28).value_or(0)} + c.U16(30).value_or(0) + c.U16(32).value_or(0);
      ++directoryEntries;
      signature = U32(at);
    }
    if (!signature) return Unmeasurable("the central directory runs past the end of the disk");
    const std::uint64_t directorySize = at - directoryStart;
    if (directoryEntries == 0) return Unmeasurable("no central directory follows the entries");
    if (signature == kDigitalSignature) {
      at += 6 + std::uint64_t{U16(at + 4).value_or(0)};
      signature = U32(at);
    }

    struct Zip64End {
      std::uint64_t entries, size, offset;
      std::uint32_t disk, directoryDisk;
    };
    std::optional<Zip64End> zip64;
    if (signature == kEnd64Record) {
      std::array<std::byte, kEnd64Bytes> h{};
      if (!bytes_.Read(at, h)) return Unmeasurable("the Zip64 end record runs past the end of the disk");
      const Bytes e(h);
      const std::uint64_t recordSize = e.U64(4).value_or(0);
      if (recordSize < kEnd64Bytes - 12 || recordSize > bytes_.size())
        return Unmeasurable("the Zip64 end record's size is wrong");
      zip64 = Zip64End{e.U64(32).value_or(0), e.U64(40).value_or(0), e.U64(48).value_or(0), e.U32(16).value_or(0),
                       e.U32(20).value_or(0)};
      at += 12 + recordSize;
      signature = U32(at);
      if (signature == kEnd64Locator) {
        at += kLocatorBytes;
        signature = U32(at);
      }
    }
    if (signature != kEndRecord) return Unmeasurable("no end record follows the central directory");

    std::array<std::byte, kEndBytes> h{};
    if (!bytes_.Read(at, h)) return Unmeasurable("the end record runs past the end of the disk");
    const Bytes e(h);
    const std::uint16_t disk = e.U16(4).value_or(1);
    const std::uint16_t directoryDisk = e.U16(6).value_or(1);
    const std::uint16_t entries = e.U16(10).value_or(0);
    const std::uint32_t size = e.U32(12).value_or(0);
    const std::uint32_t offset = e.U32(16).value_or(0);
    const std::uint64_t offsetFromFirst = directoryStart - start_;
    if ((disk != 0 && !(zip64 && disk == 0xFFFF)) || (directoryDisk != 0 && !(zip64 && directoryDisk == 0xFFFF)) ||
        (zip64 && (zip64->disk != 0 || zip64->directoryDisk != 0)))
      return Unmeasurable("the archive spans several disks");
    const bool entriesAgree = entries == 0xFFFF ? (zip64 && zip64->entries == directoryEntries)
                                                : entries == (directoryEntries & 0xFFFF) && directoryEntries < 0xFFFF;
    const bool sizeAgrees = size == 0xFFFFFFFF ? (zip64 && zip64->size == directorySize) : size == directorySize;
    const bool offsetAgrees = offset == 0xFFFFFFFF ? (zip64 && zip64->offset == offsetFromFirst) : offset == offsetFromFirst;
    const bool zip64Agrees =
        !zip64 || (zip64->entries == directoryEntries && zip64->size == directorySize && zip64->offset == offsetFromFirst);
    if (!entriesAgree || !sizeAgrees || !offsetAgrees || !zip64Agrees)
      return Unmeasurable("the end record does not describe the central directory");

    const std::uint64_t end = at + kEndBytes + e.U16(20).value_or(0);
    if (end > bytes_.size()) return Unmeasurable("the archive's comment runs past the end of the disk");
    ExactMeasure m;
    m.verdict = ExactVerdict::Measured;
    m.kind = RawFileKind::Zip;
    m.length = end - start_;
    return m;
  }

private:
  std::optional<std::uint16_t> U16(std::uint64_t at) {
    std::array<std::byte, 2> b{};
    if (!bytes_.Read(at, b)) return std::nullopt;
    return Bytes(b).U16(0);
  }
  std::optional<std::uint32_t> U32(std::uint64_t at) {
    std::array<std::byte, 4> b{};
    if (!bytes_.Read(at, b)) return std::nullopt;
    return Bytes(b).U32(0);
  }
  std::optional<std::uint64_t> U64(std::uint64_t at) {
    std::array<std::byte, 8> b{};
    if (!bytes_.Read(at, b)) return std::nullopt;
    return Bytes(b).U64(0);
  }

  // A header that may follow an entry's data.
  bool HeaderAt(std::uint64_t at) {
    const auto s = U32(at);
    return s == kLocalHeader || s == kCentralHeader || s == kEnd64Record || s == kEndRecord;
  }

  // The entry at `at`; the place after it, or nothing with `error` set.
  std::optional<std::uint64_t> Entry(std::uint64_t at, bool first, std::string& error) {
    std::array<std::byte, kLocalBytes> h{};
    if (!bytes_.Read(at, h)) {
      error = "a local header runs past the end of the disk";
      return std::nullopt;
    }
    const Bytes l(h);
    const std::uint16_t version = l.U16(4).value_or(0xFFFF);
    const std::uint16_t flags = l.U16(6).value_or(0);
    const std::uint16_t method = l.U16(8).value_or(0xFFFF);
    std::uint64_t compressed = l.U32(18).value_or(0);
    const std::uint32_t uncompressed = l.U32(22).value_or(0);
    const std::uint16_t nameLength = l.U16(26).value_or(0);
    const std::uint16_t extraLength = l.U16(28).value_or(0);
    if ((version & 0xFF) > kHighestVersion || nameLength == 0 ||
        std::find(kKnownMethods.begin(), kKnownMethods.end(), method) == kKnownMethods.end()) {
      error = first ? "the first local header does not look like one" : "a local header does not look like one";
      return std::nullopt;
    }
    if (flags & kFlagMaskedHeaders) {
      error = "the local headers are masked";
      return std::nullopt;
    }
    bool zip64 = false;
    if (compressed == 0xFFFFFFFF || uncompressed == 0xFFFFFFFF) {
      const auto sizes = Zip64CompressedSize(at + kLocalBytes + nameLength, extraLength);
      if (!sizes) {
        error = "a Zip64 entry has no Zip64 sizes";
        return std::nullopt;
      }
      compressed = *sizes;
      zip64 = true;
    }
    const std::uint64_t data = at + kLocalBytes + nameLength + extraLength;
    if (data > bytes_.size() || compressed > bytes_.size() - data) {
      error = "an entry runs past the end of the disk";
      return std::nullopt;
    }
    if (!(flags & kFlagDescriptor)) return data + compressed;
    if (compressed != 0) {
      if (const auto length = DescriptorAt(data + compressed, compressed, zip64)) return data + compressed + *length;
    }
    if (const auto end = SearchDescriptor(data, zip64)) return *end;
    error = "an entry's data descriptor cannot be found";
    return std::nullopt;
  }

  // The compressed size from the Zip64 extra field of a local header (which
  // holds both sizes, the original one first).
  std::optional<std::uint64_t> Zip64CompressedSize(std::uint64_t extra, std::uint16_t length) {
    std::vector<std::byte> field(length);
    if (!bytes_.Read(extra, field)) return std::nullopt;
    const Bytes x(field);
    for (std::size_t at = 0; x.Has(at, 4);) {
      const std::uint16_t id = x.U16(at).value_or(0);
      const std::uint16_t size = x.U16(at + 2).value_or(0);
      if (id == kZip64ExtraId) {
        if (size < 16) return std::nullopt;
        return x.U64(at + 12);
      }
      at += 4 + std::size_t{size};
    }
    return std::nullopt;
  }

  // The length of a data descriptor at `at` that gives `compressed` as the
  // compressed size and is followed by a header; nothing when there is none.
  std::optional<std::uint64_t> DescriptorAt(std::uint64_t at, std::uint64_t compressed, bool zip64) {
    const bool withSignature = U32(at) == kDescriptor;
    const std::uint64_t sizeAt = at + (withSignature ? 8 : 4);
    const std::uint64_t fixed = withSignature ? 16 : 12;
    // A descriptor of a Zip64 entry holds 8-byte sizes; some writers use
    // them for other entries too.
    for (const bool wide : {zip64, !zip64}) {
      const std::uint64_t length = fixed + (wide ? 8 : 0);
      const auto size = wide ? U64(sizeAt) : std::optional<std::uint64_t>(U32(sizeAt));
      if (size == compressed && HeaderAt(at + length)) return length;
    }
    return std::nullopt;
  }

  // Searches the data from `data` on for its descriptor; the place after it.
  std::optional<std::uint64_t> SearchDescriptor(std::uint64_t data, bool zip64) {
    const std::uint64_t limit = std::min(bytes_.size(), data + kMaxZipDescriptorSearch);
    std::vector<std::byte> chunk(kSearchChunk);
    for (std::uint64_t from = data; from < limit;) {
      const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(kSearchChunk, limit - from));
      const auto piece = std::span(chunk).first(length);
      if (!bytes_.Read(from, piece)) return std::nullopt;
      const auto* const begin = reinterpret_cast<const unsigned char*>(piece.data());
      for (const unsigned char* p = begin; p + 1 < begin + length;) {
        p = static_cast<const unsigned char*>(std::memchr(p, 'P', static_cast<std::size_t>(begin + length - 1 - p)));
        if (p == nullptr) break;
        const std::uint64_t at = from + static_cast<std::uint64_t>(p - begin);
        ++p;
        if (*p != 'K') continue;
        const auto signature = U32(at);
        if (signature == kDescriptor) {
          if (const auto d = DescriptorAt(at, at - data, zip64)) return at + *d;
        } else if (signature == kLocalHeader || signature == kCentralHeader) {
          // A descriptor without its signature ends right before this header.
          for (const std::uint64_t back : {12u, 20u}) {
            if (at < data + back) continue;
            if (const auto d = DescriptorAt(at - back, at - back - data, zip64); d == back) return at;
          }
        }
      }
      // The last byte may be the 'P' of a header that continues in the next piece.
      from += length > 1 ? length - 1 : 1;
    }
    return std::nullopt;
  }

  ExactBytes& bytes_;
  const std::uint64_t start_;
};

}  // namespace

ExactMeasure MeasureZip(ExactBytes& bytes, std::uint64_t start) { return ZipWalker(bytes, start).Measure(); }

}  // namespace ov
