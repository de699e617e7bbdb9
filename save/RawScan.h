#pragma once
// The raw signature scan: reads a range of the selected disk window by
// window, finds documents of the four kinds by their headers and markers
// (save/RawSignatures.h, save/RawWindow.h) and writes those of the ticked
// kinds into the destination folder as DOC1.DOC, XLS2.XLS, ...
//
// RawScan blocks until the scan ends and runs on the caller's thread: the
// window runs it on a worker, the command line and the tests call it
// directly. It reports through a RawScanListener and asks through the
// Prompter (the range messages, and the sector reader's bad-sector
// question).
//
// Stopping: after the user confirms (ConfirmRawStop in save/RawStart.h) the
// stop flag is raised; the scan sees it before its next read of the disk
// (each window and each piece of a document's copy) and ends as a confirmed
// Stop ends it: the file being written is closed, files already written
// stay, the counters and the result list are reset. The flag is lowered
// when a scan starts and when it ends, so a Yes that comes after the scan
// ended cannot stop the next one.
//
// Output: files are created only inside the destination folder, by their
// generated names (save/OutputFile.h). A file that cannot be created or
// written does not stop the scan; the document is reported with its path
// and the reason, and listed in the result.
//
// Reads: each window is 800 sectors from the cursor, read as 40 reads of 20
// sectors (in one device read when the stretch is readable, with the same
// results as the separate reads). The last window is read whole, so up to
// 799 sectors past the range's end are searched too. Sectors past the end
// of the disk are never read: they are taken as zeros, where reading them
// would only fail and raise the bad-sector question for sectors that do not
// exist. An unreadable sector keeps whatever the window held before.
//
// Exact mode (RawScanRequest::exact, off by default): every sector of the
// window that starts with a compound-document header, a Zip local header
// (whatever its version byte) or the Excel 5 text is a candidate, in
// ascending order. A compound document or Zip archive is measured from its
// own structure (save/ExactCarve.h) and written byte for byte: its file
// holds exactly its length, with no size limit, cut only by the end of the
// disk. What the window holds is not read again: the measurers take it
// from the window (unless a sector of it could not be read), and the copy
// writes it from there and reads only the rest of the document. Its kind
// comes from its structure; a compound document of no recovered kind is
// not written. A candidate that lies inside a document of a ticked kind
// (an embedded archive or document) is part of it and is not written
// again: the scan goes on after the document, and the next window starts
// there when the document ends past this one. Documents inside one that is
// not written (a kind not ticked, no recovered kind) are candidates of
// their own.
// A candidate whose length cannot be established falls back to the
// signature rules: it is ended by a marker or before the next candidate,
// exactly as the default scan ends a document, and the result counts it. A
// Zip local header that cannot be measured and that the signature rules do
// not know (version byte other than 0A) is no document at all. Naming,
// counters, ticks, range, destination, stop and progress are those of the
// default scan.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "disk/DiskView.h"
#include "platform/Prompter.h"
#include "save/RawSignatures.h"
#include "save/RawStart.h"

namespace ov {

// Documents of these kinds are written with at most this many bytes after
// their first 20-sector piece; Zip archives are written whole.
inline constexpr std::uint64_t kRawSizeLimitBytes = 5'242'880;

// " Searching Sector :- " + sector.
std::string SearchingSectorText(std::uint64_t sector);
// percent + " % Completed".
std::string PercentCompletedText(int percent);

enum class RawDocumentOutcome {
  NotTicked,     // its kind is not ticked: counted in the ordinal only
  Written,       // the whole document was written
  Truncated,     // written up to the size limit
  CutAtDiskEnd,  // exact mode: written up to the end of the disk, where the document is cut off
  CreateFailed,  // the file could not be created; the document is skipped
  WriteFailed,   // a write failed; the file was closed where it stood
  Stopped,       // the scan was stopped while the document was being copied
};

// A document the scan found.
struct RawDocument {
  std::uint64_t ordinal = 0;  // from 1, across all kinds, in the order found
  RawFileKind kind = RawFileKind::Word;
  std::uint64_t startSector = 0;
  std::uint64_t endSector = 0;  // its last sector (inclusive)
  RawDocumentOutcome outcome = RawDocumentOutcome::NotTicked;
  std::filesystem::path file;  // the output file; empty when not ticked
  std::uint64_t bytesWritten = 0;
  std::string error;  // the system's reason for CreateFailed / WriteFailed
  // Exact mode: its length came from its structure; `size` is that length.
  bool exact = false;
  std::uint64_t size = 0;
  // Exact mode: why its length could not be established, when the signature
  // rules ended it instead; empty otherwise.
  std::string fallback;
};

// What a running scan reports. Calls come from the scanning thread.
class RawScanListener {
public:
  virtual ~RawScanListener() = default;
  // The status line; an empty text clears it.
  virtual void OnStatus(const std::string& /*text*/) {}
  virtual void OnProgressVisible(bool /*visible*/) {}
  // The progress bar's position (0 to 100) and its text.
  virtual void OnProgress(int /*percent*/, const std::string& /*text*/) {}
  // Every row of the result list deleted.
  virtual void OnResultsCleared() {}
  // A counter row inserted at `row` (laid out in kind order).
  virtual void OnResultRowInserted(std::size_t /*row*/, const std::string& /*text*/) {}
  // The text of the counter row at `row` changed.
  virtual void OnResultRowChanged(std::size_t /*row*/, const std::string& /*text*/) {}
  // A document was found and dealt with; failures to write carry the
  // file's path and the reason, so they are never silent.
  virtual void OnDocument(const RawDocument& /*document*/) {}
};

struct RawScanRequest {
  RawScanForm form;                   // kinds and range as the form holds them
  std::uint64_t diskSectors = 0;      // the disk's size from the inventory; 0 when unknown
  std::filesystem::path destination;  // the folder checked by CheckRawDestination
  bool exact = false;                 // exact mode (see the top of this file)
};

enum class RawScanEnd {
  Completed,     // the whole range was searched
  Stopped,       // the stop flag ended it
  InvalidRange,  // the range fields did not hold a range (message shown)
};

struct RawScanResult {
  RawScanEnd end = RawScanEnd::Completed;
  std::uint64_t documentsFound = 0;                   // the last ordinal given
  std::array<std::uint64_t, kRawKindCount> recovered{};  // counters before they were reset
  std::vector<RawDocument> failures;                  // documents that could not be written whole
  std::uint64_t fallbacks = 0;  // exact mode: documents of ticked kinds that the signature rules ended
};

// Runs a raw scan to its end. See the notes at the top of this file.
RawScanResult RawScan(const DiskView& disk, const RawScanRequest& request, Prompter& prompter,
                      RawScanListener& listener, std::atomic<bool>& stop);

}  // namespace ov
