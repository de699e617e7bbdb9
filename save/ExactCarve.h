#pragma once
// Exact lengths for the raw scan: a document found at a sector boundary is
// measured from its own structure, so it can be written byte for byte
// instead of up to the sector that holds a marker.
//
// One measurer per format, each in its own file (save/ExactCompound.h for
// compound documents, save/ExactZip.h for Zip archives); the table below
// ties each header to its measurer. A measurer reads the disk only through
// an ExactBytes source, which refuses every read past the end of the disk,
// and it reads a bounded amount for any input: a damaged structure ends in
// an Unmeasurable verdict, never in a crash or an endless walk.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "disk/DiskView.h"
#include "save/RawSignatures.h"

namespace ov {

// Bytes of the disk, from byte 0 up to size(). Reads that reach past size()
// or over sectors that cannot be read fail as a whole.
class ExactBytes {
public:
  virtual ~ExactBytes() = default;
  virtual std::uint64_t size() const = 0;
  // Fills `out` with the bytes at `offset`; false when any of them lies
  // past size() or cannot be read.
  virtual bool Read(std::uint64_t offset, std::span<std::byte> out) = 0;
};

// Bytes held in memory (the disk of a test, or a document on its own).
class MemoryExactBytes : public ExactBytes {
public:
  explicit MemoryExactBytes(std::span<const std::byte> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool Read(std::uint64_t offset, std::span<std::byte> out) override;

private:
  std::span<const std::byte> bytes_;
};

// The disk through the sector reader, `diskSectors` long (0: size unknown,
// every read goes to the reader and fails where the device does). Recently
// read stretches of 128 sectors are kept, so walking many small headers
// costs one device read per stretch. In a stretch with an unreadable sector
// a read asks the reader for just its own sectors.
//
// A caller that already holds sectors read whole (the raw scan's window)
// lends them with Hold: a read that lies wholly inside them is answered
// from them, without the reader.
class DiskExactBytes : public ExactBytes {
public:
  DiskExactBytes(const DiskView& disk, std::uint64_t diskSectors);
  std::uint64_t size() const override { return size_; }
  bool Read(std::uint64_t offset, std::span<std::byte> out) override;

  // `sectors` holds the disk's sectors from `first` on, every one of them
  // read; they must stay as they are until the next Hold or Release.
  void Hold(std::uint64_t first, std::span<const std::byte> sectors);
  void Release() { held_ = {}; }

  static constexpr std::uint32_t kStretchSectors = 128;
  static constexpr std::size_t kStretches = 4;

private:
  struct Stretch {
    std::uint64_t first = UINT64_MAX;  // its first sector; UINT64_MAX when empty
    bool readable = false;
    std::uint64_t used = 0;  // for choosing the stretch to replace
    std::vector<std::byte> bytes;
  };
  const Stretch* Load(std::uint64_t first);
  bool ReadDirect(std::uint64_t offset, std::span<std::byte> out);

  const DiskView& disk_;
  std::uint64_t diskSectors_;
  std::uint64_t size_;
  std::array<Stretch, kStretches> stretches_;
  std::uint64_t clock_ = 0;
  std::uint64_t heldFirst_ = 0;  // the first byte of the held sectors
  std::span<const std::byte> held_;
};

enum class ExactVerdict {
  Measured,      // the structure holds together: `length` is the document's length
  NotWanted,     // a sound structure of no kind the scan recovers: not written
  Unmeasurable,  // the structure is damaged or cannot be read: the length is unknown
};

struct ExactMeasure {
  ExactVerdict verdict = ExactVerdict::Unmeasurable;
  RawFileKind kind = RawFileKind::Word;
  std::uint64_t length = 0;  // bytes from the document's first byte (Measured, NotWanted)
  bool cut = false;          // the structure runs past the end of the disk; `length` stops there
  std::string reason;        // what is wrong (Unmeasurable) or what it is (NotWanted)
};

// A measurer: the document whose header lies at byte `start` of `bytes`.
using ExactMeasurer = ExactMeasure (*)(ExactBytes& bytes, std::uint64_t start);

struct ExactFormat {
  std::string_view header;  // tested at sector boundaries
  ExactMeasurer measure;    // nothing: no structure to measure, the signature rules end it
};

// Every header the exact mode looks for. A compound document and a Zip
// archive are measured; an Excel 5 workbook has no structure that gives its
// length and is always ended by the signature rules. Zip archives are found
// by their local header whatever its version byte.
extern const std::array<ExactFormat, 3> kExactFormats;

// A header found at a sector boundary: its sector and its kExactFormats row.
struct ExactCandidate {
  std::uint64_t sector = 0;
  std::size_t format = 0;
  friend bool operator==(const ExactCandidate&, const ExactCandidate&) = default;
};

// Every sector of `window` (starting at sector `windowStart`) whose first
// bytes are one of the exact headers, ascending.
std::vector<ExactCandidate> FindExactCandidates(std::span<const std::byte> window, std::uint64_t windowStart);

// True when the bytes at the start of `head` are a header the signature
// rules know (a start pattern of kRawSignatures).
bool IsSignatureHeader(std::span<const std::byte> head);

// Measures the candidate at byte `start` with its format's measurer;
// Unmeasurable when the format has none.
ExactMeasure MeasureCandidate(ExactBytes& bytes, std::uint64_t start, std::size_t format);

}  // namespace ov
