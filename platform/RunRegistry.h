#pragma once
// The registry as one run of the program sees it.
//
// Several runs (a window and command lines) may be open at once. Most of the
// registry is shared by all of them: what the installer wrote, the language
// chosen. Some keys describe only what one run is working on (its disks, the
// images it attached); a run keeps those in a store of its own, so that runs
// never rebuild or delete each other's. `RunRegistry` routes every key of
// HKEY_CLASSES_ROOT whose first name is one of the run's keys (ignoring case,
// as key names do) to the run's store, and everything else to the shared one.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace ov {

class RunRegistry : public Registry {
public:
  // Both stores must outlive this object. `runKeys` are first key names
  // under HKEY_CLASSES_ROOT ("OV Windows").
  RunRegistry(Registry& shared, Registry& run, std::vector<std::string> runKeys);

  bool KeyExists(RegistryRoot root, std::string_view path) override;
  bool CreateKey(RegistryRoot root, std::string_view path) override;
  bool DeleteKey(RegistryRoot root, std::string_view path) override;
  std::optional<std::string> QueryValue(RegistryRoot root, std::string_view path,
                                        std::string_view name) override;
  bool SetValue(RegistryRoot root, std::string_view path, std::string_view name,
                std::string_view text) override;
  bool DeleteValue(RegistryRoot root, std::string_view path, std::string_view name) override;
  std::vector<std::string> ValueNames(RegistryRoot root, std::string_view path) override;
  // The changes run once, as a batch of the run's store inside a batch of
  // the shared one (each store replaced at most once); false when changes
  // could not be stored.
  bool Batch(const std::function<void(Registry&)>& changes) override;

  // The store that holds `path`.
  Registry& StoreOf(RegistryRoot root, std::string_view path);

private:
  Registry& shared_;
  Registry& run_;
  std::vector<std::string> runKeys_;
  bool* sharedTouched_ = nullptr;  // set when a change reaches the shared store
};

}  // namespace ov
