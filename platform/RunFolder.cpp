#include "platform/RunFolder.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

namespace ov {

std::optional<std::filesystem::path> RunFolderFromEnvironment() {
  const char* value = std::getenv(kRunFolderVariable);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::filesystem::path(value);
}

RunFolder::RunFolder(const std::filesystem::path& parent) {
  std::error_code ec;
  std::filesystem::create_directories(parent, ec);
  std::string pattern = (parent / "ovnss-run-XXXXXX").string();
  if (::mkdtemp(pattern.data()) != nullptr)
    path_ = pattern;  // mode 0700
  else
    error_ = errno;
}

RunFolder::~RunFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace ov
