#include "platform/SharedLibrary.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>

namespace ov {

std::string SharedLibrary::LinuxName(std::string_view windowsName) {
  std::string name(windowsName);
  auto endsWith = [&](std::string_view suffix) {
    if (name.size() < suffix.size()) return false;
    return std::equal(suffix.rbegin(), suffix.rend(), name.rbegin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                  std::tolower(static_cast<unsigned char>(b)); });
  };
  if (endsWith(".dll")) {
    name.resize(name.size() - 4);
  } else if (endsWith(".so")) {
    return name;
  }
  return name + ".so";
}

std::unique_ptr<SharedLibrary> SharedLibrary::Load(std::string_view windowsName,
                                                   const std::vector<std::filesystem::path>& folders) {
  const std::string file = LinuxName(windowsName);
  for (const auto& folder : folders) {
    const auto candidate = folder / file;
    if (void* h = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL)) return std::unique_ptr<SharedLibrary>(new SharedLibrary(h));
  }
  if (void* h = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL)) return std::unique_ptr<SharedLibrary>(new SharedLibrary(h));
  return nullptr;
}

SharedLibrary::~SharedLibrary() { ::dlclose(handle_); }

void* SharedLibrary::Symbol(const char* name) const { return ::dlsym(handle_, name); }

}  // namespace ov
