#pragma once
// Builds a test image from a JSON description into a temporary folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "mkimage/ImageBuilder.h"
#include "support/TempDir.h"

namespace ov::test {

class BuiltImage {
public:
  explicit BuiltImage(const std::string& json, const std::string& name = "disk.img") : image_(dir_ / name) {
    auto result = mkimage::BuildImageFromJson(json, image_);
    error_ = result.error;
    if (result.ok()) manifest_ = std::move(*result.manifest);
  }
  bool ok() const { return manifest_.has_value(); }
  const std::string& error() const { return error_; }
  const mkimage::Manifest& manifest() const { return *manifest_; }
  const std::filesystem::path& image() const { return image_; }
  const TempDir& dir() const { return dir_; }

private:
  TempDir dir_;
  std::filesystem::path image_;
  std::optional<mkimage::Manifest> manifest_;
  std::string error_;
};

}  // namespace ov::test
