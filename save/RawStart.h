#pragma once
// The raw form and the checks its "Start &Recovery" button runs before a
// raw scan starts, and the confirmation its Stop asks for.
//
// The form holds what its controls hold: the ticked kinds, "Entire Disk" or
// "Sector Range", and the texts of the start and end sector fields. The
// window binds its controls to it; the checks run here, in order, and speak
// only through the Prompter, so the command line and the tests run the very
// same steps.
//
// Start, in order:
//   1. CheckRawForm: a kind must be ticked; with "Sector Range" the end and
//      start fields must hold sector numbers and start must lie below end.
//   2. The front end asks for the destination folder ("File Saving").
//   3. CheckRawDestination: an empty choice ends silently; otherwise the
//      folder must take a file, or be created.
//   4. The front end shows SearchingDiskText and runs RawScan.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Prompter.h"
#include "save/RawSignatures.h"

namespace ov {

inline constexpr std::string_view kMsgSelectFileType = "Please select file type for recovery";
inline constexpr std::string_view kMsgInvalidEndSector = "Invalid End Sector";
inline constexpr std::string_view kMsgInvalidStartSector = "Invalid Start Sector";
inline constexpr std::string_view kMsgStartNotBeforeEnd = "Start sector should be less than End sector";
inline constexpr std::string_view kMsgUnableToCreateDirectory = "Unable to Create Directory";
inline constexpr std::string_view kMsgTerminateRawScan = "Do you want terminate this process ?";

// The button's texts: before the first scan, after a scan, while scanning.
// It acts as Start whenever it does not read kRawStopButtonText.
inline constexpr std::string_view kRawStartButtonFirstText = "Start &Recovery";
inline constexpr std::string_view kRawStartButtonText = "&Start Recovery";
inline constexpr std::string_view kRawStopButtonText = "&Stop Searching";

// The file the destination test creates and deletes.
inline constexpr std::string_view kDestinationTestFile = "tempFile";

struct RawScanForm {
  std::array<bool, kRawKindCount> ticked{};  // kind list, in kind order
  bool entireDisk = true;                    // "Entire Disk", else "Sector Range"
  std::string startField;
  std::string endField;

  bool AnyTicked() const;
  bool IsTicked(RawFileKind kind) const { return ticked[KindIndex(kind)]; }
};

// A sector field's number: an optional sign and decimal digits, blanks
// around them allowed, within the signed 64-bit range. Nothing when the
// text is not such a number.
std::optional<std::int64_t> ParseSectorField(std::string_view text);

// The sectors a scan covers: from `start` up to, not including, `end`.
struct RawRange {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  friend bool operator==(const RawRange&, const RawRange&) = default;
};

enum class RawFormCheck { Ok, NoKindTicked, InvalidEnd, InvalidStart, StartNotBeforeEnd };

// Start's first checks, in order, each failure shown through the prompter
// and ending the checks:
//  - no kind ticked: "Please select file type for recovery" (information);
//  - with "Sector Range": an end field that is not a sector number gives
//    "Invalid End Sector" (error) and the field is refilled with the disk's
//    size in sectors; then a start field that is not one gives "Invalid
//    Start Sector" (error); then start >= end gives "Start sector should be
//    less than End sector" (error).
// A negative number is no sector number and fails as text that is not a
// number does. `diskSectors` is the disk's size from the inventory.
RawFormCheck CheckRawForm(RawScanForm& form, std::uint64_t diskSectors, Prompter& prompter);

// The range the scan reads, as it reads it when it starts: the whole disk,
// or the fields read again. A field that is not a sector number, or an end
// below the start, shows "Invalid End Sector" or "Invalid Start Sector"
// (error) and gives nothing.
std::optional<RawRange> RawScanRange(const RawScanForm& form, std::uint64_t diskSectors, Prompter& prompter);

enum class RawDestinationCheck { Ready, NoDestination, Unusable };

// Start's destination test for the folder chosen in the "File Saving"
// window. Empty: NoDestination, silently. Otherwise the file "tempFile" is
// created in the folder and deleted again; when it cannot be created, the
// folder itself is created and must then exist, else "Unable to Create
// Directory" (error) and Unusable. An existing "tempFile" is never opened
// or deleted: the test then only checks that the folder exists.
RawDestinationCheck CheckRawDestination(const std::filesystem::path& destination, Prompter& prompter);

// The status line when a scan starts: "Searching Disk - " + disk number.
std::string SearchingDiskText(unsigned disk);

// Stop: asks "Do you want terminate this process ?"; on Yes raises `stop`,
// which the running scan sees at its next read, and answers true.
bool ConfirmRawStop(Prompter& prompter, std::atomic<bool>& stop);

}  // namespace ov
