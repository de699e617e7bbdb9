#pragma once
// Loading an outside library by name, in place of LoadLibraryA and
// GetProcAddress. A Windows name such as "sectrd32.dll" stands for the shared
// object "sectrd32.so", looked for first in the given folders (the
// installation folder) and then on the dynamic loader's own search path.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ov {

class SharedLibrary {
public:
  // Nothing when no such library can be loaded.
  static std::unique_ptr<SharedLibrary> Load(std::string_view windowsName,
                                             const std::vector<std::filesystem::path>& folders);
  ~SharedLibrary();
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // The address of an exported symbol, or null.
  void* Symbol(const char* name) const;

  // "sectrd32.dll" -> "sectrd32.so"; names without ".dll" get ".so" appended
  // unless they already end in ".so".
  static std::string LinuxName(std::string_view windowsName);

private:
  explicit SharedLibrary(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace ov
