#include "ui/dialogs/RawFormController.h"

namespace ov {

std::string LowWordText(std::uint64_t sectors) {
  return std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(sectors)));
}

void RawFormController::Open() {
  form.ticked = {};
  ChooseEntireDisk();
  status_.clear();
}

void RawFormController::ChooseEntireDisk() {
  form.entireDisk = true;
  form.startField.clear();
  form.endField.clear();
}

void RawFormController::ChooseSectorRange() {
  form.entireDisk = false;
  form.startField = "0";
  filledEnd_ = LowWordText(diskSectors_);
  form.endField = filledEnd_;
}

std::optional<RawScanRequest> RawFormController::Press(const std::function<std::filesystem::path()>& askDestination,
                                                       Prompter& prompter, std::atomic<bool>& stop) {
  if (scanning_) {
    if (!stopping_ && ConfirmRawStop(prompter, stop)) stopping_ = true;
    return std::nullopt;
  }
  RawScanRequest request;
  request.form = form;
  if (!form.entireDisk && form.endField == filledEnd_) request.form.endField = std::to_string(diskSectors_);
  request.diskSectors = diskSectors_;
  request.exact = exact;
  const RawFormCheck check = CheckRawForm(request.form, diskSectors_, prompter);
  if (check == RawFormCheck::InvalidEnd) {
    // An end field that was no number is refilled, as "Sector Range" fills it.
    filledEnd_ = LowWordText(diskSectors_);
    form.endField = filledEnd_;
  }
  if (check != RawFormCheck::Ok) return std::nullopt;
  request.destination = askDestination();
  if (CheckRawDestination(request.destination, prompter) != RawDestinationCheck::Ready) return std::nullopt;
  scanning_ = true;
  stopping_ = false;
  buttonText_ = kRawStopButtonText;
  status_ = SearchingDiskText(disk_);
  return request;
}

void RawFormController::Finished() {
  scanning_ = false;
  stopping_ = false;
  buttonText_ = kRawStartButtonText;
  status_.clear();
}

}  // namespace ov
