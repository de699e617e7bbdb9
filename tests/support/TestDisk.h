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
#include "support/BuiltImage.h"
#include "support/FakePrompter.h"
#include "support/ImageOpener.h"

namespace ov::test {

class TestDisk {
public:
  explicit TestDisk(const std::string& json) : built_(json), reader_(opener_, prompter) {
    if (!built_.ok()) {
      ADD_FAILURE() << "the image builder refused the description: " << built_.error();
      return;
    }
    for (const auto& [first, last] : built_.manifest().unreadable) opener_.bad.Add(first, last);
    opener_.image = built_.image();
  }

  bool ok() const { return built_.ok(); }
  const mkimage::Manifest& manifest() const { return built_.manifest(); }
  const std::filesystem::path& image() const { return built_.image(); }
  const TempDir& dir() const { return built_.dir(); }
  SectorReader& reader() { return reader_; }
  DiskView view() { return DiskView{&reader_, std::string(kDevicePathTable[0])}; }
  // The reads the device saw, for tests of read patterns.
  FaultyDevice* device() { return opener_.last; }

  FakePrompter prompter;

private:
  BuiltImage built_;
  ImageOpener opener_;
  SectorReader reader_;
};

}  // namespace ov::test
