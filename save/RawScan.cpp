#include "save/RawScan.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <span>

#include "disk/AlignedBuffer.h"
#include "save/ExactCarve.h"
#include "save/OutputFile.h"
#include "save/RawWindow.h"

namespace ov {

namespace {

// The window's 40 reads go to the reader in groups, each one device read
// when readable; between groups the stop flag is tested, so a stop is seen
// within 160 sectors even on a disk whose reads are slow.
constexpr std::uint32_t kReadsPerGroup = 8;
static_assert(kRawReadsPerWindow % kReadsPerGroup == 0);

constexpr std::size_t kPieceBytes = std::size_t{kRawReadSectors} * kSectorSize;
// Exact mode copies the part of a document past its window inside the
// system in steps of this many bytes, with the stop flag tested between.
constexpr std::uint64_t kCopyBytes = std::uint64_t{4} << 20;

// However a scan ended, the form returns to idle: progress hidden with
// "0 % Completed", status cleared, counter rows deleted (the counters go with
// the scan). Files written stay.
void ReportIdle(RawScanListener& listener) {
  listener.OnProgress(0, PercentCompletedText(0));
  listener.OnProgressVisible(false);
  listener.OnStatus("");
  listener.OnResultsCleared();
}

class Scanner {
public:
  Scanner(const DiskView& disk, const RawScanRequest& request, RawRange range, RawScanListener& listener,
          std::atomic<bool>& stop)
      : disk_(disk), request_(request), range_(range), listener_(listener), stop_(stop),
        window_(kRawWindowBytes), piece_(kPieceBytes) {
    std::string error;
    folder_ = OutputFolder::Open(request.destination, &error);
    if (!folder_) folderError_ = error.empty() ? "cannot open the folder" : error;
    if (request.exact) {
      exactBytes_ = std::make_unique<DiskExactBytes>(disk, request.diskSectors);
    }
  }

  RawScanResult Run() {
    listener_.OnProgressVisible(true);
    std::uint64_t cursor = range_.start;
    while (cursor < range_.end) {
      if (StopRequested()) break;
      listener_.OnStatus(SearchingSectorText(cursor));
      const std::uint64_t windowStart = cursor;
      if (!ReadWindow(windowStart)) break;
      if (request_.exact) {
        cursor = ProcessWindowExact(windowStart);
      } else {
        cursor += kRawWindowSectors;
        ProcessWindow(windowStart);
      }
      if (stopped_) break;
      const std::uint64_t percent = cursor * 100 / range_.end;
      if (percent > shownPercent_) {
        shownPercent_ = percent;
        const int shown = static_cast<int>(std::min<std::uint64_t>(percent, 100));
        listener_.OnProgress(shown, PercentCompletedText(shown));
      }
      if (percent >= 100) break;
    }
    result_.end = stopped_ ? RawScanEnd::Stopped : RawScanEnd::Completed;
    result_.documentsFound = ordinal_;
    result_.recovered = counters_;
    ReportIdle(listener_);
    return std::move(result_);
  }

private:
  struct OpenDocument {
    std::uint64_t start;
    RawFileKind headerKind;
    std::string fallback;  // exact mode: why its length is not known
  };

  bool StopRequested() {
    if (stop_.load()) stopped_ = true;
    return stopped_;
  }

  // How many of `count` sectors from `first` lie on the disk; all of them
  // when the disk's size is unknown.
  std::uint64_t OnDisk(std::uint64_t first, std::uint64_t count) const {
    if (request_.diskSectors == 0) return count;
    if (first >= request_.diskSectors) return 0;
    return std::min(count, request_.diskSectors - first);
  }

  // Reads `count` sectors at `first` into `buffer` as one read of the
  // reader; sectors past the disk's end are zeros. True when every sector
  // on the disk was read.
  bool ReadClipped(std::uint64_t first, std::uint32_t count, std::byte* buffer) {
    const auto readable = static_cast<std::uint32_t>(OnDisk(first, count));
    const bool read = readable == 0 || disk_.Read(first, readable, buffer) != 0;
    std::memset(buffer + std::size_t{readable} * kSectorSize, 0, std::size_t{count - readable} * kSectorSize);
    return read;
  }

  // `reads` reads of 20 sectors from `first`, in one device read where
  // they lie on the disk. True when every sector on the disk was read.
  bool ReadPieces(std::uint64_t first, std::uint32_t reads, std::byte* buffer) {
    const std::uint64_t whole = OnDisk(first, std::uint64_t{reads} * kRawReadSectors) / kRawReadSectors;
    bool read = true;
    // Straight into the buffer when the stretch reads whole; otherwise piece
    // by piece through the bad-sector step.
    if (whole > 0 && !disk_.ReadStretch(first, static_cast<std::uint32_t>(whole * kRawReadSectors), buffer)) {
      const auto pieces = static_cast<std::uint32_t>(whole);
      read = disk_.ReadChunks(first, kRawReadSectors, pieces, buffer, false) == pieces;
    }
    for (auto piece = static_cast<std::uint32_t>(whole); piece < reads; ++piece) {
      read = ReadClipped(first + std::uint64_t{piece} * kRawReadSectors, kRawReadSectors, buffer + piece * kPieceBytes) &&
             read;
    }
    return read;
  }

  // The window's 40 reads of 20 sectors. False when stopped first.
  bool ReadWindow(std::uint64_t windowStart) {
    windowRead_ = true;
    for (std::uint32_t group = 0; group < kRawReadsPerWindow; group += kReadsPerGroup) {
      if (StopRequested()) return false;
      windowRead_ = ReadPieces(windowStart + std::uint64_t{group} * kRawReadSectors, kReadsPerGroup,
                               window_.data() + std::size_t{group} * kPieceBytes) &&
                    windowRead_;
    }
    return true;
  }

  // Every header of the window once, in ascending order, after the document
  // still open from earlier windows. A document ends at its end search's
  // end; failing that, at the sector before the next header, since a
  // document never runs into the next one; failing that (it is the window's
  // last header), it stays open into the following windows.
  void ProcessWindow(std::uint64_t windowStart) {
    const std::span<const std::byte> window(window_.data(), window_.size());
    const std::vector<RawHeader> headers = FindRawHeaders(window, windowStart);
    if (!open_ && headers.empty()) return;
    // With no document open, no marker before the first header can count.
    const std::size_t from = open_ ? 0 : static_cast<std::size_t>(headers.front().sector - windowStart) * kSectorSize;
    const RawMarkerSectors markers = LastRawMarkers(window, windowStart, from);

    if (open_) {
      const std::optional<std::uint64_t> firstHeader =
          headers.empty() ? std::nullopt : std::optional<std::uint64_t>(headers.front().sector);
      const OpenDocument open = *open_;
      if (const auto end = FindRawEnd(markers, open.start, false, firstHeader, lastEnd_)) {
        open_.reset();
        Found(open.start, end->sector, kRawSignatures[end->record].markerKind, windowStart);
      } else if (firstHeader) {
        open_.reset();
        Found(open.start, *firstHeader - 1, open.headerKind, windowStart);
      } else {
        return;
      }
    }

    for (std::size_t i = 0; i < headers.size() && !stopped_; ++i) {
      const std::uint64_t start = headers[i].sector;
      const RawFileKind headerKind = kRawSignatures[headers[i].record].markerKind;
      const std::optional<std::uint64_t> next =
          i + 1 < headers.size() ? std::optional<std::uint64_t>(headers[i + 1].sector) : std::nullopt;
      if (const auto end = FindRawEnd(markers, start, true, next, lastEnd_)) {
        Found(start, end->sector, kRawSignatures[end->record].markerKind, windowStart);
      } else if (next) {
        Found(start, *next - 1, headerKind, windowStart);
      } else {
        open_ = OpenDocument{start, headerKind, {}};
      }
    }
  }

  // Exact mode: the window's candidates in ascending order; answers where
  // the next window starts (past this one when a document found here runs
  // on beyond it).
  std::uint64_t ProcessWindowExact(std::uint64_t windowStart) {
    const std::span<const std::byte> window(window_.data(), window_.size());
    const std::uint64_t windowEnd = windowStart + kRawWindowSectors;
    windowStart_ = windowStart;
    // The measurers take what they need of the window from it, unless a
    // sector of it could not be read.
    if (windowRead_) {
      exactBytes_->Hold(windowStart, window);
    } else {
      exactBytes_->Release();
    }
    std::optional<RawMarkerSectors> markers;  // searched only when a document waits for its end
    auto lastMarkers = [&]() -> const RawMarkerSectors& {
      if (!markers) markers = LastRawMarkers(window, windowStart);
      return *markers;
    };

    for (const ExactCandidate& candidate : FindExactCandidates(window, windowStart)) {
      if (StopRequested()) return windowEnd;
      if (candidate.sector < resume_) continue;  // part of a document already found
      // The next candidate ends the document waiting for its end.
      if (open_) EndOpenDocument(lastMarkers(), candidate.sector, windowStart);
      if (stopped_) return windowEnd;

      const auto head = window.subspan(static_cast<std::size_t>(candidate.sector - windowStart) * kSectorSize);
      ExactMeasure measure = MeasureCandidate(*exactBytes_, candidate.sector * kSectorSize, candidate.format);
      // A header only the exact mode knows, with nothing behind it.
      if (measure.verdict == ExactVerdict::Unmeasurable && !IsSignatureHeader(head)) continue;

      if (measure.verdict == ExactVerdict::Unmeasurable) {
        std::size_t record = 0;
        while (!PatternAt(head, 0, kRawSignatures[record].start)) ++record;
        open_ = OpenDocument{candidate.sector, kRawSignatures[record].markerKind, std::move(measure.reason)};
        openedIn_ = windowStart;
        continue;
      }
      // A compound document of no recovered kind is not written, and the
      // documents inside it may be.
      if (measure.verdict != ExactVerdict::Measured) continue;
      const std::uint64_t endByte = candidate.sector * kSectorSize + measure.length;
      RawDocument document;
      document.kind = measure.kind;
      document.startSector = candidate.sector;
      document.endSector = (endByte - 1) / kSectorSize;
      document.exact = true;
      document.size = measure.length;
      cut_ = measure.cut;
      Deliver(document);
      if (stopped_) return windowEnd;
      // A document written holds whatever lies inside it; one of a kind not
      // ticked is not written, and the documents inside it may be.
      if (!request_.form.IsTicked(document.kind)) continue;
      lastEnd_ = document.endSector;
      resume_ = (endByte + kSectorSize - 1) / kSectorSize;
      // Its copy has used the window's buffer (see WriteExact); every later
      // candidate of the window lies inside it anyway.
      if (resume_ > windowEnd) return resume_;
    }
    if (open_) EndOpenDocument(lastMarkers(), std::nullopt, windowStart);
    return windowEnd;
  }

  // Ends the document waiting for its end by the signature rules: at its
  // marker in this window, or before `nextHeader`; else it waits on.
  void EndOpenDocument(const RawMarkerSectors& markers, std::optional<std::uint64_t> nextHeader,
                       std::uint64_t windowStart) {
    OpenDocument open = *open_;
    const bool startedHere = openedIn_ == windowStart;
    if (const auto end = FindRawEnd(markers, open.start, startedHere, nextHeader, lastEnd_)) {
      open_.reset();
      Found(open.start, end->sector, kRawSignatures[end->record].markerKind, windowStart, std::move(open.fallback));
    } else if (nextHeader) {
      open_.reset();
      Found(open.start, *nextHeader - 1, open.headerKind, windowStart, std::move(open.fallback));
    }
  }

  // The document's first bytes for the content probes: from the window when
  // they lie in it, else read from the disk.
  std::optional<RawFileKind> Probe(std::uint64_t start, std::uint64_t windowStart) {
    constexpr std::uint32_t kProbeSectors = kProbeBytes / kSectorSize;
    if (start >= windowStart && start - windowStart + kProbeSectors <= kRawWindowSectors) {
      const std::size_t offset = static_cast<std::size_t>(start - windowStart) * kSectorSize;
      return ProbeContent(std::span<const std::byte>(window_.data(), window_.size()).subspan(offset, kProbeBytes));
    }
    std::vector<std::byte> head(kProbeBytes);
    ReadClipped(start, kProbeSectors, head.data());
    return ProbeContent(head);
  }

  void Found(std::uint64_t start, std::uint64_t end, RawFileKind kind, std::uint64_t windowStart,
             std::string fallback = {}) {
    if (StopRequested()) return;
    if (const auto probed = Probe(start, windowStart)) kind = *probed;
    lastEnd_ = end;
    RawDocument document;
    document.kind = kind;
    document.startSector = start;
    document.endSector = end;
    document.fallback = std::move(fallback);
    Deliver(document);
  }

  // Gives the document its ordinal and, when its kind is ticked, counts it,
  // writes it and reports it.
  void Deliver(RawDocument& document) {
    document.ordinal = ++ordinal_;
    const RawFileKind kind = document.kind;
    if (!request_.form.IsTicked(kind)) {
      document.outcome = RawDocumentOutcome::NotTicked;
      listener_.OnDocument(document);
      return;
    }
    if (!rowsLaidOut_) LayOutRows();
    const std::size_t k = KindIndex(kind);
    ++counters_[k];
    listener_.OnResultRowChanged(rows_[k], RawCounterRowText(kind, counters_[k]));
    if (document.exact) {
      WriteExact(document);
    } else {
      Write(document);
    }
    if (!document.fallback.empty()) ++result_.fallbacks;
    if (document.outcome == RawDocumentOutcome::Stopped) stopped_ = true;
    if (document.outcome == RawDocumentOutcome::CreateFailed || document.outcome == RawDocumentOutcome::WriteFailed) {
      result_.failures.push_back(document);
    }
    listener_.OnDocument(document);
  }

  // One counter row per ticked kind, in kind order, from row 0.
  void LayOutRows() {
    listener_.OnResultsCleared();
    std::size_t row = 0;
    for (const auto& info : kRawKinds) {
      if (!request_.form.IsTicked(info.kind)) continue;
      rows_[KindIndex(info.kind)] = row;
      listener_.OnResultRowInserted(row, RawCounterRowText(info.kind, 0));
      ++row;
    }
    rowsLaidOut_ = true;
  }

  // Creates the document's output file by its generated name; on failure
  // the document is marked CreateFailed with the reason and nothing is
  // returned.
  std::unique_ptr<OutputFile> CreateOutput(RawDocument& document) {
    const std::string name = RawOutputName(document.kind, document.ordinal);
    document.file = request_.destination / name;
    std::unique_ptr<OutputFile> file;
    if (folder_) {
      file = folder_->Create(name, &document.error);
    } else {
      document.error = folderError_;
    }
    if (!file) document.outcome = RawDocumentOutcome::CreateFailed;
    return file;
  }

  // Copies sectors start..end (inclusive) as pieces of at most 20 sectors.
  // Kinds other than Zip stop before the piece that would take the bytes
  // written after the first piece beyond the size limit: the first piece
  // and at most the limit's worth of sectors after it. The bytes are copied
  // inside the system where the disk's source allows it, a stretch of
  // several pieces at a time; whatever it cannot copy (an unreadable
  // sector, sectors past the disk's end, a device that does not copy) is
  // read and written piece by piece as before, through the bad-sector step,
  // the stop flag tested before each piece.
  void Write(RawDocument& document) {
    std::unique_ptr<OutputFile> file = CreateOutput(document);
    if (!file) return;
    document.outcome = RawDocumentOutcome::Written;
    std::uint64_t sectors = document.endSector - document.startSector + 1;
    constexpr std::uint64_t kLimitedSectors = kRawReadSectors + kRawSizeLimitBytes / kSectorSize;
    static_assert(kRawSizeLimitBytes % kPieceBytes == 0, "the limit falls between whole pieces");
    bool truncated = false;
    if (document.kind != RawFileKind::Zip && sectors > kLimitedSectors) {
      sectors = kLimitedSectors;
      truncated = true;
    }
    constexpr std::uint64_t kCopySectors = kCopyBytes / kSectorSize;
    const std::uint64_t end = document.startSector + sectors;
    for (std::uint64_t at = document.startSector; at < end;) {
      if (StopRequested()) {
        document.outcome = RawDocumentOutcome::Stopped;
        break;
      }
      const std::uint64_t stretchEnd = std::min(end, at + kCopySectors);
      const std::uint64_t onDisk = OnDisk(at, stretchEnd - at);
      if (onDisk > 0) {
        const std::uint64_t wanted = onDisk * kSectorSize;
        const auto copied = file->CopyFrom(disk_, at, wanted);
        if (!copied) {
          document.outcome = RawDocumentOutcome::WriteFailed;
          document.error = file->error();
          file->Discard();
          return;
        }
        document.bytesWritten += *copied;
        at += *copied / kSectorSize;
        if (at == stretchEnd) continue;
      }
      // The rest of the stretch, piece by piece.
      while (at < stretchEnd) {
        if (StopRequested()) {
          document.outcome = RawDocumentOutcome::Stopped;
          break;
        }
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kRawReadSectors, stretchEnd - at));
        const std::size_t bytes = std::size_t{count} * kSectorSize;
        ReadClipped(at, count, piece_.data());
        if (!file->Write(std::span<const std::byte>(piece_.data(), bytes))) {
          document.outcome = RawDocumentOutcome::WriteFailed;
          document.error = file->error();
          file->Discard();
          return;
        }
        document.bytesWritten += bytes;
        at += count;
      }
      if (document.outcome == RawDocumentOutcome::Stopped) break;
    }
    if (truncated && document.outcome == RawDocumentOutcome::Written) document.outcome = RawDocumentOutcome::Truncated;
    if (!file->Close() && document.outcome != RawDocumentOutcome::Stopped) {
      document.outcome = RawDocumentOutcome::WriteFailed;
      document.error = file->error();
    }
  }

  // Exact mode: writes the document's `size` bytes from its first sector,
  // which lies in the window. The bytes the window holds are written from
  // it; the rest is copied by the system straight from an image file where
  // it can, and otherwise read a window's worth at a time into the window's
  // buffer, which the scan no longer needs once the document runs past the
  // window (its later candidates lie inside the document). The stop flag
  // is tested before each piece.
  void WriteExact(RawDocument& document) {
    std::unique_ptr<OutputFile> file = CreateOutput(document);
    if (!file) return;
    document.outcome = cut_ ? RawDocumentOutcome::CutAtDiskEnd : RawDocumentOutcome::Written;
    const std::span<const std::byte> window(window_.data(), window_.size());
    const std::size_t offset = static_cast<std::size_t>(document.startSector - windowStart_) * kSectorSize;
    std::span<const std::byte> piece =
        window.subspan(offset, static_cast<std::size_t>(std::min<std::uint64_t>(document.size, window.size() - offset)));
    auto failed = [&] {
      document.outcome = RawDocumentOutcome::WriteFailed;
      document.error = file->error();
      file->Discard();
    };
    for (std::uint64_t done = 0; done < document.size;) {
      if (StopRequested()) {
        document.outcome = RawDocumentOutcome::Stopped;
        break;
      }
      if (done > 0) {
        // Past the window: `done` is a whole number of sectors. The system
        // copies what it can straight from the disk's source to the file;
        // the rest is read into the window's buffer and written from there.
        exactBytes_->Release();
        const std::uint64_t wanted = std::min(kCopyBytes, document.size - done);
        const auto copied = file->CopyFrom(disk_, document.startSector + done / kSectorSize, wanted);
        if (!copied) return failed();
        document.bytesWritten += *copied;
        done += *copied;
        if (*copied == wanted) continue;
        const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(window.size(), document.size - done));
        const auto reads = static_cast<std::uint32_t>((bytes + kPieceBytes - 1) / kPieceBytes);
        ReadPieces(document.startSector + done / kSectorSize, reads, window_.data());
        piece = window.first(bytes);
      }
      if (!file->Write(piece)) return failed();
      document.bytesWritten += piece.size();
      done += piece.size();
    }
    if (!file->Close() && document.outcome != RawDocumentOutcome::Stopped) {
      document.outcome = RawDocumentOutcome::WriteFailed;
      document.error = file->error();
    }
  }

  const DiskView& disk_;
  const RawScanRequest& request_;
  const RawRange range_;
  RawScanListener& listener_;
  std::atomic<bool>& stop_;

  AlignedBuffer window_;  // on a page: the kernel fills such a buffer fastest
  bool windowRead_ = false;  // every sector of the window on the disk was read
  AlignedBuffer piece_;
  std::unique_ptr<OutputFolder> folder_;
  std::string folderError_;

  std::optional<OpenDocument> open_;
  std::uint64_t openedIn_ = 0;  // exact mode: the window the open document started in
  std::unique_ptr<DiskExactBytes> exactBytes_;
  std::uint64_t windowStart_ = 0;  // exact mode: the first sector of the window being searched
  std::uint64_t resume_ = 0;       // exact mode: the first sector after the last document found
  bool cut_ = false;               // exact mode: the document being written is cut by the disk's end
  std::uint64_t lastEnd_ = 0;
  std::uint64_t ordinal_ = 0;
  std::array<std::uint64_t, kRawKindCount> counters_{};
  std::array<std::size_t, kRawKindCount> rows_{};
  bool rowsLaidOut_ = false;
  std::uint64_t shownPercent_ = 0;
  bool stopped_ = false;
  RawScanResult result_;
};

}  // namespace

std::string SearchingSectorText(std::uint64_t sector) { return " Searching Sector :- " + std::to_string(sector); }

std::string PercentCompletedText(int percent) { return std::to_string(percent) + " % Completed"; }

RawScanResult RawScan(const DiskView& disk, const RawScanRequest& request, Prompter& prompter,
                      RawScanListener& listener, std::atomic<bool>& stop) {
  stop.store(false);
  RawScanResult result;
  if (const auto range = RawScanRange(request.form, request.diskSectors, prompter)) {
    result = Scanner(disk, request, *range, listener, stop).Run();
  } else {
    result.end = RawScanEnd::InvalidRange;
    ReportIdle(listener);
  }
  stop.store(false);
  return result;
}

}  // namespace ov
