#pragma once
// Disk 0 of a test: an image file, opened read-only as the program opens a
// disk, with the listed sectors failing as a damaged disk's would. The
// device of the last open records its reads.

#include <filesystem>
#include <memory>
#include <string_view>

#include "disk/Device.h"
#include "disk/SectorReader.h"

namespace ov::test {

class ImageOpener : public DeviceOpener {
public:
  explicit ImageOpener(std::filesystem::path imageFile = {}, BadSectorMap unreadable = {})
      : image(std::move(imageFile)), bad(std::move(unreadable)) {}
  std::unique_ptr<Device> Open(std::string_view path) override {
    if (path != kDevicePathTable[0] || image.empty()) return nullptr;
    auto file = FileDevice::Open(image);
    if (!file) return nullptr;
    auto dev = std::make_unique<FaultyDevice>(std::move(file), bad);
    last = dev.get();
    return dev;
  }

  std::filesystem::path image;
  BadSectorMap bad;
  FaultyDevice* last = nullptr;
};

}  // namespace ov::test
