#pragma once
// Small helpers for tests that look at files and local times.

#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "support/ScopedEnv.h"

namespace ov::test {

// The whole file as bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Local time is UTC for the life of the object.
class ScopedUtc {
public:
  ScopedUtc() : env_(std::make_unique<ScopedEnv>()) {
    env_->Set("TZ", "UTC");
    tzset();
  }
  ~ScopedUtc() {
    env_.reset();
    tzset();
  }

private:
  std::unique_ptr<ScopedEnv> env_;
};

}  // namespace ov::test
