#pragma once
// What the benchmarks share: a prompter that answers without a person and
// an opener that reads one image file for every device path.

#include <filesystem>
#include <memory>
#include <string>

#include "disk/Device.h"
#include "disk/SectorReader.h"
#include "platform/Prompter.h"

namespace ov::bench {

// Answers every question without a person: unreadable sectors are skipped.
class QuietPrompter : public Prompter {
public:
  BadSectorChoice AskBadSector() override { return BadSectorChoice::SkipAll; }
  ReplaceChoice AskReplaceFile(const std::string&) override { return ReplaceChoice::YesToAll; }
  WriteErrorChoice AskWriteError(const std::string&) override { return WriteErrorChoice::Skip; }
  bool AskYesNo(const std::string&, const std::string&) override { return false; }
  void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

class ImageOpener : public DeviceOpener {
public:
  explicit ImageOpener(std::filesystem::path image) : image_(std::move(image)) {}
  std::unique_ptr<Device> Open(std::string_view) override { return FileDevice::Open(image_); }

private:
  std::filesystem::path image_;
};

}  // namespace ov::bench
