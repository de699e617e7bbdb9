#pragma once
// The raw form's behaviour, without widgets: what its controls hold and
// show, and what its one button does. The form's panel binds its controls
// to this object and repaints from it; the checks themselves are the
// core's (save/RawStart.h).
//
// The end sector field: "Sector Range" fills it with the disk's size in
// sectors as the form has always shown it, its low 32 bits as a signed
// number; while the field still holds that text the scan's range ends at
// the disk's full 64-bit size, so a disk of 2^31 sectors or more is still
// searched to its end. A number the user types is taken as typed.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/Prompter.h"
#include "save/RawScan.h"
#include "save/RawStart.h"

namespace ov {

// The number a 32-bit sector field shows for a sector count.
std::string LowWordText(std::uint64_t sectors);

class RawFormController {
public:
  RawFormController(std::uint64_t diskSectors = 0, unsigned diskNumber = 0)
      : diskSectors_(diskSectors), disk_(diskNumber) {}
  // The disk the form scans: its size from the inventory and its number.
  void SetDisk(std::uint64_t diskSectors, unsigned diskNumber) {
    diskSectors_ = diskSectors;
    disk_ = diskNumber;
  }

  // The form as the user set it. The panel writes the ticks and the field
  // texts straight into it.
  RawScanForm form;
  bool exact = false;  // the exact-size check box; off by default

  // Showing the form: no kind ticked, "Entire Disk", nothing scanned.
  void Open();
  void ChooseEntireDisk();
  void ChooseSectorRange();

  // The button. While it does not read "&Stop Searching" it starts: the
  // form's checks, then `askDestination` (the "File Saving" window; an
  // empty answer ends silently), then the destination test. The answer is
  // the scan to run, and the form is then scanning. While scanning it asks
  // whether to stop; on Yes `stop` is raised and the form waits for the
  // scan to end (the button is disabled meanwhile).
  std::optional<RawScanRequest> Press(const std::function<std::filesystem::path()>& askDestination,
                                      Prompter& prompter, std::atomic<bool>& stop);
  // The scan ended (completed or stopped): the controls come back, the bar
  // hides with "0 % Completed", the status line clears, the button reads
  // "&Start Recovery".
  void Finished();

  bool scanning() const { return scanning_; }
  bool stopping() const { return stopping_; }
  const std::string& buttonText() const { return buttonText_; }
  bool buttonEnabled() const { return !stopping_; }
  // The kind list, the two range radios and the exact check box.
  bool controlsEnabled() const { return !scanning_; }
  bool fieldsEnabled() const { return !scanning_ && !form.entireDisk; }
  const std::string& status() const { return status_; }
  std::uint64_t diskSectors() const { return diskSectors_; }

private:
  std::uint64_t diskSectors_;
  unsigned disk_;
  std::string filledEnd_;  // the text "Sector Range" put into the end field
  bool scanning_ = false;
  bool stopping_ = false;
  std::string buttonText_{kRawStartButtonFirstText};
  std::string status_;
};

}  // namespace ov
