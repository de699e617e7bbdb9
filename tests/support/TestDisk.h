#pragma once
// A disk built by the image builder from a JSON description, opened through
// the real reader the way the program opens a disk: registry device path,
// read-only file, and the builder's unreadable sectors injected by a
// fault-injecting device.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "disk/Device.h"
#include "disk/DiskView.h"
#include "disk/SectorReader.h"
#include "mkimage/ImageBuilder.h"
#include "support/FakePrompter.h"
#include "support/TempDir.h"

namespace ov::test {

class TestDisk {
public:
  explicit TestDisk(const std::string& json) : reader_(opener_, prompter) {
    image_ = dir_ / "disk.img";
    auto result = mkimage::BuildImageFromJson(json, image_);
    if (!result.ok()) {
      ADD_FAILURE() << "the image builder refused the description: " << result.error;
      return;
    }
    manifest_ = std::move(*result.manifest);
    for (const auto& [first, last] : manifest_.unreadable) opener_.bad.Add(first, last);
    opener_.image = image_;
  }

  bool ok() const { return !opener_.image.empty(); }
  const mkimage::Manifest& manifest() const { return manifest_; }
  const std::filesystem::path& image() const { return image_; }
  const TempDir& dir() const { return dir_; }
  SectorReader& reader() { return reader_; }
  DiskView view() { return DiskView{&reader_, std::string(kDevicePathTable[0])}; }
  // The reads the device saw, for tests of read patterns.
  FaultyDevice* device() { return opener_.last; }

  FakePrompter prompter;

private:
  struct Opener : DeviceOpener {
    std::filesystem::path image;
    BadSectorMap bad;
    FaultyDevice* last = nullptr;
    std::unique_ptr<Device> Open(std::string_view path) override {
      if (path != kDevicePathTable[0] || image.empty()) return nullptr;
      auto file = FileDevice::Open(image);
      if (!file) return nullptr;
      auto dev = std::make_unique<FaultyDevice>(std::move(file), bad);
      last = dev.get();
      return dev;
    }
  };

  TempDir dir_;
  std::filesystem::path image_;
  mkimage::Manifest manifest_;
  Opener opener_;
  SectorReader reader_;
};

}  // namespace ov::test
